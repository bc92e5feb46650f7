#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <set>
#include <span>

#include "hive/error.h"

namespace engine::hive {

// The bytes of one open hive file, base block included. The file is mapped
// copy-on-write: reading touches only the pages that are read, and a change
// stays in this process's memory (its pages are remembered as dirty) until the
// owner writes it back. Address space for growth is reserved up front, so a
// pointer into the image stays valid for the image's whole life.
class HiveImage {
public:
    static constexpr std::size_t kPageSize = 4096;

    static Result<HiveImage> mapFile(const std::filesystem::path& file);
    // An image of bytes held in memory (fuzzing, recovered hives, tests).
    static Result<HiveImage> fromBytes(std::span<const std::uint8_t> bytes);

    HiveImage(HiveImage&& other) noexcept;
    HiveImage& operator=(HiveImage&& other) noexcept;
    HiveImage(const HiveImage&) = delete;
    HiveImage& operator=(const HiveImage&) = delete;
    ~HiveImage();

    // Bytes that can be read: the file's length, or more once grown.
    std::size_t size() const { return size_; }
    // The length of the file the image was made from.
    std::size_t originalSize() const { return originalSize_; }
    const std::uint8_t* data() const { return base_; }

    // Writable bytes [offset, offset + length), which must lie inside size();
    // the pages they cover are marked dirty.
    std::uint8_t* writable(std::size_t offset, std::size_t length);
    // Makes size() at least newSize (zero-filled), within the reservation.
    Result<void> grow(std::size_t newSize);
    // Indices of the kPageSize pages changed since mapping or the last clear.
    const std::set<std::size_t>& dirtyPages() const { return dirtyPages_; }
    void clearDirtyPages() { dirtyPages_.clear(); }

    // Asks the kernel to read the whole file ahead, for a pass that reads
    // every page (the structural check before the first change).
    void prefetchAll() const;

    // Undoing a change that failed half-way: the bytes are put back by the
    // caller, the size and the dirty pages here.
    void restore(std::size_t size, std::set<std::size_t> dirtyPages);

private:
    HiveImage() = default;
    void release() noexcept;

    std::uint8_t* base_ = nullptr;
    std::size_t reserved_ = 0;   // bytes of address space owned from base_
    std::size_t accessible_ = 0; // bytes from base_ that are mapped readable
    std::size_t size_ = 0;
    std::size_t originalSize_ = 0;
    std::set<std::size_t> dirtyPages_;
};

} // namespace engine::hive
