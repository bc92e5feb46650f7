#include "bench/page_cache.h"

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstring>
#include <utility>
#include <vector>

#include "hive/unique_fd.h"
#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

namespace bench {

using engine::hive::Error;
using engine::hive::Result;

namespace {

tl::unexpected<Error> systemError(const std::string& what, const std::filesystem::path& file) {
    return tl::unexpected(Error{what + ": " + std::strerror(errno), file.string(), {}, false});
}

// An owned read-only shared mapping of a whole file.
class Mapping {
public:
    Mapping(void* data, std::size_t length)
        : data_(data)
        , length_(length) {}
    Mapping(const Mapping&) = delete;
    Mapping& operator=(const Mapping&) = delete;
    ~Mapping() {
        if (data_ != nullptr) {
            ::munmap(data_, length_);
        }
    }
    const void* data() const { return data_; }

private:
    void* data_;
    std::size_t length_;
};

Result<std::size_t> fileSize(int fd, const std::filesystem::path& file) {
    struct stat st {};
    if (::fstat(fd, &st) != 0) {
        return systemError("не удалось прочитать свойства файла", file);
    }
    return static_cast<std::size_t>(st.st_size);
}

} // namespace

std::size_t systemPageSize() {
    return static_cast<std::size_t>(::sysconf(_SC_PAGESIZE));
}

std::size_t pagesOf(std::size_t bytes) {
    return (bytes + systemPageSize() - 1) / systemPageSize();
}

Result<std::size_t> residentPages(const void* data, std::size_t length) {
    std::vector<unsigned char> vec(pagesOf(length));
    if (length == 0) {
        return 0;
    }
    if (::mincore(const_cast<void*>(data), length, vec.data()) != 0) {
        return systemError("mincore не удался", {});
    }
    return static_cast<std::size_t>(
        std::count_if(vec.begin(), vec.end(), [](unsigned char c) { return (c & 1) != 0; }));
}

Result<std::size_t> mappedPages(const void* data, std::size_t length) {
    const std::filesystem::path pagemap = "/proc/self/pagemap";
    engine::hive::UniqueFd fd(::open(pagemap.c_str(), O_RDONLY | O_CLOEXEC));
    if (fd.get() < 0) {
        return systemError("не удалось открыть", pagemap);
    }
    // One 64-bit entry a virtual page; bit 63 says the page is present.
    const std::size_t first = reinterpret_cast<std::uintptr_t>(data) / systemPageSize();
    std::vector<std::uint64_t> entries(pagesOf(length));
    const std::size_t bytes = entries.size() * sizeof(std::uint64_t);
    std::size_t done = 0;
    while (done < bytes) {
        const ssize_t n =
            ::pread(fd.get(), reinterpret_cast<char*>(entries.data()) + done, bytes - done,
                    static_cast<off_t>(first * sizeof(std::uint64_t) + done));
        if (n <= 0) {
            return systemError("не удалось прочитать", pagemap);
        }
        done += static_cast<std::size_t>(n);
    }
    return static_cast<std::size_t>(std::count_if(entries.begin(), entries.end(),
                                                  [](std::uint64_t e) { return (e >> 63) != 0; }));
}

Result<std::size_t> cachedPagesOfFile(const std::filesystem::path& file) {
    engine::hive::UniqueFd fd(::open(file.c_str(), O_RDONLY | O_CLOEXEC));
    if (fd.get() < 0) {
        return systemError("не удалось открыть", file);
    }
    auto size = fileSize(fd.get(), file);
    if (!size || *size == 0) {
        return size;
    }
    void* area = ::mmap(nullptr, *size, PROT_READ, MAP_SHARED, fd.get(), 0);
    if (area == MAP_FAILED) {
        return systemError("не удалось отобразить файл в память", file);
    }
    const Mapping mapping(area, *size);
    return residentPages(mapping.data(), *size);
}

Result<std::size_t> evictFromPageCache(const std::filesystem::path& file) {
    {
        engine::hive::UniqueFd fd(::open(file.c_str(), O_RDONLY | O_CLOEXEC));
        if (fd.get() < 0) {
            return systemError("не удалось открыть", file);
        }
        // Dirty pages are not dropped: write them first.
        if (::fsync(fd.get()) != 0) {
            return systemError("fsync не удался", file);
        }
        const int rc = ::posix_fadvise(fd.get(), 0, 0, POSIX_FADV_DONTNEED);
        if (rc != 0) {
            errno = rc;
            return systemError("posix_fadvise не удался", file);
        }
    }
    return cachedPagesOfFile(file);
}

Result<void> readWholeFile(const std::filesystem::path& file) {
    engine::hive::UniqueFd fd(::open(file.c_str(), O_RDONLY | O_CLOEXEC));
    if (fd.get() < 0) {
        return systemError("не удалось открыть", file);
    }
    std::vector<char> buffer(std::size_t{1} << 20);
    while (true) {
        const ssize_t n = ::read(fd.get(), buffer.data(), buffer.size());
        if (n < 0) {
            return systemError("не удалось прочитать", file);
        }
        if (n == 0) {
            return {};
        }
    }
}

} // namespace bench
