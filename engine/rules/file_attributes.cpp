// Clearing a file's Windows attributes in-process, on NTFS through the
// driver's extended attributes.
#include "rules/file_attributes.h"

#include <array>
#include <cerrno>
#include <cstring>
#include <system_error>

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/xattr.h>
#include <unistd.h>

#include "hive/unique_fd.h"

namespace engine::rules {

namespace {

std::string reason(const std::filesystem::path& file, int error) {
    return file.string() + ": " + std::error_code(error, std::generic_category()).message();
}

// The attribute word of one of the drivers' extended attributes: ntfs-3g's
// big-endian one, or ntfs3's (one byte, or four in host order).
struct AttributeForm {
    const char* name;
    bool bigEndian;
};
constexpr std::array<AttributeForm, 2> kForms{{
    {"system.ntfs_attrib_be", true},
    {"system.dos_attrib", false},
}};

// Clears the bits in the first form the file has. False with errno when the
// driver refused the change; true also when the file system has none.
bool clearNtfsAttributes(int fd) {
    for (const AttributeForm& form : kForms) {
        std::array<std::uint8_t, 4> b{};
        const ssize_t n = ::fgetxattr(fd, form.name, b.data(), b.size());
        if (n != 1 && n != 4) {
            continue;
        }
        std::uint32_t value = 0;
        if (n == 1) {
            value = b[0];
        } else if (form.bigEndian) {
            value = (std::uint32_t{b[0]} << 24) | (std::uint32_t{b[1]} << 16) |
                    (std::uint32_t{b[2]} << 8) | std::uint32_t{b[3]};
        } else {
            std::memcpy(&value, b.data(), b.size());
        }
        if ((value & kClearedAttributes) == 0) {
            return true;
        }
        value &= ~kClearedAttributes;
        if (n == 1) {
            b[0] = static_cast<std::uint8_t>(value);
        } else if (form.bigEndian) {
            b = {static_cast<std::uint8_t>(value >> 24), static_cast<std::uint8_t>(value >> 16),
                 static_cast<std::uint8_t>(value >> 8), static_cast<std::uint8_t>(value)};
        } else {
            std::memcpy(b.data(), &value, b.size());
        }
        return ::fsetxattr(fd, form.name, b.data(), static_cast<std::size_t>(n), 0) == 0;
    }
    return true;
}

} // namespace

tl::expected<void, std::string> ClearFileAttributes(const std::filesystem::path& file) {
    // O_PATH would not let the attributes be changed, and a plain open would
    // follow a link: O_NOFOLLOW refuses one (ELOOP). Read access is not
    // needed beyond the open itself.
    int fd = ::open(file.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd < 0 && errno == EACCES) {
        // Not even readable by us: give the owner read and write first.
        struct stat st {};
        if (::lstat(file.c_str(), &st) != 0 || !(S_ISREG(st.st_mode) || S_ISDIR(st.st_mode)) ||
            ::chmod(file.c_str(), (st.st_mode & 07777) | S_IRUSR | S_IWUSR) != 0) {
            return tl::unexpected(reason(file, errno));
        }
        fd = ::open(file.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    }
    if (fd < 0) {
        return tl::unexpected(reason(file, errno));
    }
    const hive::UniqueFd owned(fd);
    struct stat st {};
    if (::fstat(fd, &st) != 0) {
        return tl::unexpected(reason(file, errno));
    }
    if (!clearNtfsAttributes(fd)) {
        return tl::unexpected(reason(file, errno));
    }
    if ((st.st_mode & S_IWUSR) == 0 &&
        ::fchmod(fd, static_cast<mode_t>((st.st_mode & 07777) | S_IWUSR)) != 0) {
        // A volume whose permissions are fixed by its mount (ntfs-3g without
        // "permissions") keeps read-only in the attribute cleared above.
        if (errno != EPERM && errno != ENOTSUP) {
            return tl::unexpected(reason(file, errno));
        }
    }
    return {};
}

} // namespace engine::rules
