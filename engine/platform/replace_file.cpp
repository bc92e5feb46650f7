// Crash-safe replacement of a file: a complete, synced temporary file beside
// it, renamed over it.
#include "platform/replace_file.h"

#include <cerrno>
#include <cstdlib>
#include <optional>
#include <string>
#include <system_error>
#include <vector>

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <fmt/format.h>

#include "hive/unique_fd.h"

namespace engine::platform {

namespace {

using hive::fail;
using hive::Result;

std::string systemError(int error) {
    return std::error_code(error, std::generic_category()).message();
}

// The mode and owner a new file takes over from the one it replaces.
struct Ownership {
    mode_t mode = 0644;
    uid_t owner = 0;
    gid_t group = 0;
};

std::optional<Ownership> ownershipOf(const std::filesystem::path& file) {
    struct stat st {};
    if (file.empty() || ::stat(file.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) {
        return std::nullopt;
    }
    return Ownership{static_cast<mode_t>(st.st_mode & 07777), st.st_uid, st.st_gid};
}

// A temporary file beside `target`, removed with the object unless kept.
class TemporaryFile {
public:
    TemporaryFile() = default;
    TemporaryFile(const TemporaryFile&) = delete;
    TemporaryFile& operator=(const TemporaryFile&) = delete;
    ~TemporaryFile() {
        if (!path_.empty()) {
            std::error_code ignored;
            std::filesystem::remove(path_, ignored);
        }
    }

    Result<void> create(const std::filesystem::path& target) {
        std::string pattern =
            (target.parent_path() / ("." + target.filename().string() + ".XXXXXX")).string();
        const hive::UniqueFd fd(::mkostemp(pattern.data(), O_CLOEXEC));
        if (fd.get() < 0) {
            return fail(fmt::format("не удалось создать временный файл в папке {}: {}",
                                    target.parent_path().string(), systemError(errno)));
        }
        path_ = pattern;
        return {};
    }
    const std::filesystem::path& path() const { return path_; }
    void keep() { path_.clear(); }

private:
    std::filesystem::path path_;
};

// Fills the temporary file through `io`, gives it the mode and owner, and
// makes it durable.
Result<void> fill(const std::filesystem::path& temporary, const ContentWriter& write,
                  const Ownership& ownership, hive::FileIo& io) {
    auto opened = io.open(temporary, false);
    if (!opened) {
        return tl::unexpected(opened.error());
    }
    hive::OpenFile& out = *opened->file;
    if (auto written = write(out); !written) {
        return written;
    }
    if (::chmod(temporary.c_str(), ownership.mode) != 0) {
        return fail(fmt::format("не удалось задать права файла {}: {}", temporary.string(),
                                systemError(errno)));
    }
    // The owner only where the file system keeps one; a volume that ignores
    // owners (an NTFS or FAT mount) is no reason to fail.
    if (::chown(temporary.c_str(), ownership.owner, ownership.group) != 0 && errno != EPERM &&
        errno != ENOTSUP) {
        return fail(fmt::format("не удалось задать владельца файла {}: {}", temporary.string(),
                                systemError(errno)));
    }
    return out.sync();
}

// On an NTFS volume the replaced file's security descriptor and Windows
// attributes (which ntfs-3g shows as extended attributes) go over to the file
// that replaces it, so that Windows finds it protected as before. A volume
// without them has nothing to carry over.
Result<void> keepNtfsSecurity(const std::filesystem::path& from, const std::filesystem::path& to) {
    for (const char* name : {"system.ntfs_acl", "system.ntfs_attrib_be"}) {
        std::vector<char> value(64 * 1024);
        const ssize_t size = ::getxattr(from.c_str(), name, value.data(), value.size());
        if (size < 0) {
            continue; // not an NTFS volume, or nothing of that kind
        }
        if (::setxattr(to.c_str(), name, value.data(), static_cast<std::size_t>(size), 0) != 0) {
            return fail(fmt::format("не удалось перенести {} на файл {}: {}", name, to.string(),
                                    systemError(errno)));
        }
    }
    return {};
}

std::filesystem::path folderOf(const std::filesystem::path& file) {
    return file.has_parent_path() ? file.parent_path() : std::filesystem::path(".");
}

} // namespace

Result<void> replaceFile(const std::filesystem::path& target, const ContentWriter& write,
                         hive::FileIo& io, const std::filesystem::path& ownershipFrom) {
    std::optional<Ownership> ownership = ownershipOf(target);
    if (!ownership) {
        ownership = ownershipOf(ownershipFrom);
    }
    TemporaryFile temporary;
    if (auto created = temporary.create(target); !created) {
        return created;
    }
    if (auto filled = fill(temporary.path(), write, ownership.value_or(Ownership{}), io); !filled) {
        return filled;
    }
    if (auto kept = keepNtfsSecurity(target, temporary.path()); !kept) {
        return kept;
    }
    if (::rename(temporary.path().c_str(), target.c_str()) != 0) {
        return fail(
            fmt::format("не удалось заменить файл {}: {}", target.string(), systemError(errno)));
    }
    temporary.keep();
    return io.syncFolder(folderOf(target));
}

} // namespace engine::platform
