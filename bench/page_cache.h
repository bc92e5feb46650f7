#pragma once

#include <cstddef>
#include <filesystem>

#include "hive/error.h"

namespace bench {

// What the kernel holds of a file, counted in pages of the system page size.

std::size_t systemPageSize();
std::size_t pagesOf(std::size_t bytes);

// Pages of the mapped range [data, data + length) that are resident, by
// mincore(). For a file mapping that is the file's page-cache state, whether or
// not this process touched the page. `data` must be page-aligned.
engine::hive::Result<std::size_t> residentPages(const void* data, std::size_t length);

// Pages of the range that are mapped into this process's page tables (present
// in /proc/self/pagemap): the pages it has touched, plus neighbours the kernel
// mapped in with them from the page cache (fault-around).
engine::hive::Result<std::size_t> mappedPages(const void* data, std::size_t length);

// Pages of the file in the page cache: mincore() on a fresh read-only mapping.
engine::hive::Result<std::size_t> cachedPagesOfFile(const std::filesystem::path& file);

// Drops the file's pages from the page cache: fsync(), then
// posix_fadvise(POSIX_FADV_DONTNEED). Returns how many pages are still cached
// afterwards (pages mapped by some process stay).
engine::hive::Result<std::size_t> evictFromPageCache(const std::filesystem::path& file);

// Reads the whole file once, so that its pages are in the page cache.
engine::hive::Result<void> readWholeFile(const std::filesystem::path& file);

} // namespace bench
