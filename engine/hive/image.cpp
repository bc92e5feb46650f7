#include "hive/image.h"

#include <cerrno>
#include <cstring>
#include <utility>

#include "hive/unique_fd.h"
#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

namespace engine::hive {

namespace {

// Hive offsets are 32-bit and Windows keeps a hive below 2 GiB; growth room
// beyond the file is reserved as address space only.
constexpr std::size_t kGrowthReserve = std::size_t{1} << 31;
// Hives up to this size are read whole at open.
constexpr std::size_t kReadWholeBelow = std::size_t{4} << 20;

std::size_t roundUpToPage(std::size_t n) {
    return (n + HiveImage::kPageSize - 1) / HiveImage::kPageSize * HiveImage::kPageSize;
}

Error systemError(const std::string& what) {
    return Error{what + ": " + std::strerror(errno), {}, {}, false};
}

} // namespace

Result<HiveImage> HiveImage::mapFile(const std::filesystem::path& file) {
    UniqueFd fd(::open(file.c_str(), O_RDONLY | O_CLOEXEC));
    if (fd.get() < 0) {
        return tl::unexpected(systemError("не удалось открыть"));
    }
    struct stat st {};
    if (::fstat(fd.get(), &st) != 0) {
        return tl::unexpected(systemError("не удалось прочитать свойства файла"));
    }
    if (!S_ISREG(st.st_mode)) {
        return fail("не обычный файл");
    }
    const auto fileSize = static_cast<std::size_t>(st.st_size);
    if (fileSize > kGrowthReserve) {
        return fail("файл слишком велик для куста");
    }

    HiveImage image;
    image.reserved_ = roundUpToPage(fileSize) + kGrowthReserve;
    void* area = ::mmap(nullptr, image.reserved_, PROT_NONE,
                        MAP_PRIVATE | MAP_ANONYMOUS | MAP_NORESERVE, -1, 0);
    if (area == MAP_FAILED) {
        return tl::unexpected(systemError("не удалось зарезервировать память"));
    }
    image.base_ = static_cast<std::uint8_t*>(area);
    if (fileSize > 0) {
        void* mapped = ::mmap(image.base_, fileSize, PROT_READ | PROT_WRITE,
                              MAP_PRIVATE | MAP_FIXED, fd.get(), 0);
        if (mapped == MAP_FAILED) {
            return tl::unexpected(systemError("не удалось отобразить файл в память"));
        }
        // A lookup reads a few scattered cells: in a large hive read ahead
        // nothing; a small one (a user's hive) is cheaper read in one go.
        ::madvise(image.base_, fileSize, fileSize <= kReadWholeBelow ? MADV_WILLNEED : MADV_RANDOM);
    }
    image.accessible_ = roundUpToPage(fileSize);
    image.size_ = fileSize;
    image.originalSize_ = fileSize;
    return image;
}

Result<HiveImage> HiveImage::fromBytes(std::span<const std::uint8_t> bytes) {
    HiveImage image;
    image.reserved_ = roundUpToPage(bytes.size()) + kGrowthReserve;
    void* area = ::mmap(nullptr, image.reserved_, PROT_NONE,
                        MAP_PRIVATE | MAP_ANONYMOUS | MAP_NORESERVE, -1, 0);
    if (area == MAP_FAILED) {
        return tl::unexpected(systemError("не удалось зарезервировать память"));
    }
    image.base_ = static_cast<std::uint8_t*>(area);
    if (auto grown = image.grow(bytes.size()); !grown) {
        return tl::unexpected(grown.error());
    }
    if (!bytes.empty()) {
        std::memcpy(image.base_, bytes.data(), bytes.size());
    }
    image.originalSize_ = bytes.size();
    return image;
}

HiveImage::HiveImage(HiveImage&& other) noexcept
    : base_(std::exchange(other.base_, nullptr))
    , reserved_(std::exchange(other.reserved_, 0))
    , accessible_(std::exchange(other.accessible_, 0))
    , size_(std::exchange(other.size_, 0))
    , originalSize_(std::exchange(other.originalSize_, 0))
    , dirtyPages_(std::move(other.dirtyPages_)) {}

HiveImage& HiveImage::operator=(HiveImage&& other) noexcept {
    if (this != &other) {
        release();
        base_ = std::exchange(other.base_, nullptr);
        reserved_ = std::exchange(other.reserved_, 0);
        accessible_ = std::exchange(other.accessible_, 0);
        size_ = std::exchange(other.size_, 0);
        originalSize_ = std::exchange(other.originalSize_, 0);
        dirtyPages_ = std::move(other.dirtyPages_);
    }
    return *this;
}

HiveImage::~HiveImage() {
    release();
}

void HiveImage::release() noexcept {
    if (base_ != nullptr) {
        ::munmap(base_, reserved_);
        base_ = nullptr;
    }
}

std::uint8_t* HiveImage::writable(std::size_t offset, std::size_t length) {
    if (length > 0) {
        for (std::size_t page = offset / kPageSize; page <= (offset + length - 1) / kPageSize;
             ++page) {
            dirtyPages_.insert(page);
        }
    }
    return base_ + offset;
}

void HiveImage::prefetchAll() const {
    if (originalSize_ == 0) {
        return;
    }
    // Faults taken in file order, with the kernel told to read ahead
    // sequentially, bring the file in at the disk's streaming speed; the
    // structural check that follows walks the cells in tree order, which would
    // otherwise take one small read per page.
    ::madvise(base_, originalSize_, MADV_SEQUENTIAL);
    volatile std::uint8_t sink = 0;
    for (std::size_t offset = 0; offset < originalSize_; offset += kPageSize) {
        sink = sink + base_[offset];
    }
    ::madvise(base_, originalSize_, MADV_NORMAL);
}

void HiveImage::restore(std::size_t size, std::set<std::size_t> dirtyPages) {
    if (size < size_) {
        size_ = size;
    }
    dirtyPages_ = std::move(dirtyPages);
}

Result<void> HiveImage::grow(std::size_t newSize) {
    if (newSize <= size_) {
        return {};
    }
    if (newSize > reserved_) {
        return fail("куст не может расти дальше");
    }
    const std::size_t needed = roundUpToPage(newSize);
    if (needed > accessible_) {
        if (::mprotect(base_ + accessible_, needed - accessible_, PROT_READ | PROT_WRITE) != 0) {
            return tl::unexpected(systemError("не удалось увеличить куст в памяти"));
        }
        accessible_ = needed;
    }
    // Bytes between the old end and a page boundary may be a file's tail:
    // make sure the new region reads as zeros.
    std::memset(base_ + size_, 0, newSize - size_);
    size_ = newSize;
    return {};
}

} // namespace engine::hive
