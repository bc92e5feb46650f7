#include "hive/file_io.h"

#include <array>
#include <cerrno>
#include <cstring>
#include <string>

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <sys/vfs.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <fmt/format.h>

namespace engine::hive {

namespace {

Error systemError(const std::string& what, const std::filesystem::path& file, int code) {
    return Error{what + ": " + std::strerror(code), file.string(), {}, false};
}

class PosixFile final : public OpenFile {
public:
    PosixFile(int fd, std::filesystem::path path)
        : fd_(fd)
        , path_(std::move(path)) {}
    PosixFile(const PosixFile&) = delete;
    PosixFile& operator=(const PosixFile&) = delete;
    ~PosixFile() override { ::close(fd_); }

    Result<std::uint64_t> size() override {
        struct stat st {};
        if (::fstat(fd_, &st) != 0) {
            return tl::unexpected(systemError("не удалось узнать размер файла", path_, errno));
        }
        return static_cast<std::uint64_t>(st.st_size);
    }

    Result<std::size_t> read(std::uint64_t offset, std::span<std::uint8_t> buffer) override {
        std::size_t done = 0;
        while (done < buffer.size()) {
            const ssize_t n = ::pread(fd_, buffer.data() + done, buffer.size() - done,
                                      static_cast<off_t>(offset + done));
            if (n < 0 && errno == EINTR) {
                continue;
            }
            if (n < 0) {
                return tl::unexpected(systemError("не удалось прочитать файл", path_, errno));
            }
            if (n == 0) {
                break;
            }
            done += static_cast<std::size_t>(n);
        }
        return done;
    }

    Result<std::size_t> write(std::uint64_t offset, std::span<const std::uint8_t> bytes) override {
        for (;;) {
            const ssize_t n = ::pwrite(fd_, bytes.data(), bytes.size(), static_cast<off_t>(offset));
            // Interrupted before anything was written: nothing to distrust.
            if (n < 0 && errno == EINTR) {
                continue;
            }
            if (n < 0) {
                return tl::unexpected(systemError("не удалось записать в файл", path_, errno));
            }
            return static_cast<std::size_t>(n);
        }
    }

    Result<void> sync() override {
        if (::fdatasync(fd_) != 0) {
            return tl::unexpected(systemError("не удалось сбросить файл на диск", path_, errno));
        }
        return {};
    }

private:
    int fd_;
    std::filesystem::path path_;
};

} // namespace

// The file's Windows attributes from the NTFS driver's extended attributes:
// ntfs-3g shows them as system.ntfs_attrib_be (big-endian) and
// system.ntfs_attrib (native order), ntfs3 also as system.dos_attrib (only the
// low byte there).
std::optional<std::uint32_t> ntfsAttributes(const std::filesystem::path& file) {
    std::array<std::uint8_t, 4> b{};
    if (::getxattr(file.c_str(), "system.ntfs_attrib_be", b.data(), b.size()) == 4) {
        return (std::uint32_t{b[0]} << 24) | (std::uint32_t{b[1]} << 16) |
               (std::uint32_t{b[2]} << 8) | std::uint32_t{b[3]};
    }
    if (::getxattr(file.c_str(), "system.ntfs_attrib", b.data(), b.size()) == 4) {
        std::uint32_t value = 0;
        std::memcpy(&value, b.data(), b.size());
        return value;
    }
    const ssize_t n = ::getxattr(file.c_str(), "system.dos_attrib", b.data(), b.size());
    if (n == 1) {
        return std::uint32_t{b[0]};
    }
    if (n == 4) {
        std::uint32_t value = 0;
        std::memcpy(&value, b.data(), b.size());
        return value;
    }
    return std::nullopt;
}

Result<Opened> PosixFileIo::open(const std::filesystem::path& file, bool create) {
    Opened opened;
    // Never written through a link: a hive or log is the entry at its path.
    int fd = ::open(file.c_str(), O_RDWR | O_CLOEXEC | O_NOFOLLOW);
    if (fd < 0 && errno == ENOENT && create) {
        fd = ::open(file.c_str(), O_RDWR | O_CLOEXEC | O_NOFOLLOW | O_CREAT | O_EXCL, 0644);
        opened.created = fd >= 0;
    }
    if (fd < 0) {
        return tl::unexpected(systemError("не удалось открыть файл для записи", file, errno));
    }
    struct stat st {};
    if (::fstat(fd, &st) != 0) {
        const int code = errno;
        ::close(fd);
        return tl::unexpected(systemError("не удалось прочитать свойства файла", file, code));
    }
    if (!S_ISREG(st.st_mode)) {
        ::close(fd);
        return tl::unexpected(Error{"не обычный файл", file.string(), {}, false});
    }
    opened.file = std::make_unique<PosixFile>(fd, file);
    return opened;
}

Result<void> PosixFileIo::syncFolder(const std::filesystem::path& folder) {
    const int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) {
        return tl::unexpected(systemError("не удалось открыть папку", folder, errno));
    }
    const int rc = ::fsync(fd);
    const int code = errno;
    ::close(fd);
    if (rc != 0) {
        return tl::unexpected(systemError("не удалось сбросить папку на диск", folder, code));
    }
    return {};
}

Result<FileFacts> PosixFileIo::facts(const std::filesystem::path& file) {
    struct stat st {};
    if (::stat(file.c_str(), &st) != 0) {
        return tl::unexpected(systemError("не удалось прочитать свойства файла", file, errno));
    }
    struct statvfs vfs {};
    if (::statvfs(file.c_str(), &vfs) != 0) {
        return tl::unexpected(systemError("не удалось прочитать свойства тома", file, errno));
    }
    FileFacts facts;
    facts.size = static_cast<std::uint64_t>(st.st_size);
    facts.allocated = static_cast<std::uint64_t>(st.st_blocks) * 512;
    facts.readOnlyVolume = (vfs.f_flag & ST_RDONLY) != 0;
    struct statfs fs {};
    constexpr decltype(fs.f_type) kNtfsMagic = 0x5346544e;
    facts.ntfsVolume = ::statfs(file.c_str(), &fs) == 0 && fs.f_type == kNtfsMagic;
    facts.attributes = ntfsAttributes(file);
    return facts;
}

Result<void> writeExactly(OpenFile& file, std::uint64_t offset,
                          std::span<const std::uint8_t> bytes) {
    auto written = file.write(offset, bytes);
    if (!written) {
        return tl::unexpected(written.error());
    }
    if (*written != bytes.size()) {
        return fail(fmt::format("записано только {} байт из {} (смещение 0x{:x})", *written,
                                bytes.size(), offset));
    }
    return {};
}

} // namespace engine::hive
