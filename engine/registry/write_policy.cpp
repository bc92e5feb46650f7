// Whether a file of a target may be written: the rule every writer keeps.
#include "registry/write_policy.h"

#include <algorithm>
#include <system_error>

#include <sys/stat.h>
#include <unistd.h>

#include "platform/hibernation.h"
#include "platform/windows_paths.h"

namespace engine::registry {

namespace fs = std::filesystem;

namespace {

// Windows' read-only attribute, where the NTFS driver shows it.
constexpr std::uint32_t kAttributeReadOnly = 0x1;

// Nobody may write the file: no write permission bit, or (for a user other
// than root) the system says so.
bool writeForbidden(const fs::path& file) {
    std::error_code ec;
    const fs::perms perms = fs::status(file, ec).permissions();
    if (ec) {
        return true;
    }
    const fs::perms anyWrite =
        fs::perms::owner_write | fs::perms::group_write | fs::perms::others_write;
    if ((perms & anyWrite) == fs::perms::none) {
        return true;
    }
    return ::access(file.c_str(), W_OK) != 0;
}

fs::path folderOf(const fs::path& file) {
    return file.has_parent_path() ? file.parent_path() : fs::path(".");
}

bool isThere(const fs::path& path) {
    std::error_code ec;
    return fs::symlink_status(path, ec).type() != fs::file_type::not_found && !ec;
}

} // namespace

std::optional<WriteRefusal> writeRefusal(const fs::path& volumeRoot, const fs::path& file,
                                         hive::FileIo& io) {
    if (!volumeRoot.empty() && platform::volumeIsHibernated(volumeRoot)) {
        return WriteRefusal{WriteBlock::Hibernated,
                            "на томе " + volumeRoot.string() +
                                " образ гибернации Windows: изменения на нём будут потеряны"};
    }
    const bool present = isThere(file);
    // A file still to be created lies on its folder's volume; a folder that
    // is not there either is for the writer itself to fail on.
    const auto facts = io.facts(present ? file : folderOf(file));
    if (facts && facts->readOnlyVolume) {
        return WriteRefusal{WriteBlock::ReadOnly,
                            file.string() + ": том смонтирован только для чтения"};
    }
    if (!present) {
        return std::nullopt;
    }
    if (writeForbidden(file)) {
        return WriteRefusal{WriteBlock::ReadOnly, file.string() + ": файл нельзя изменять"};
    }
    if (facts && facts->attributes && (*facts->attributes & kAttributeReadOnly) != 0) {
        return WriteRefusal{WriteBlock::ReadOnly,
                            file.string() + ": у файла атрибут «только чтение»"};
    }
    return std::nullopt;
}

fs::path mountPointOf(const fs::path& file) {
    std::error_code ec;
    fs::path at = fs::absolute(file, ec).lexically_normal();
    while (!ec && !isThere(at) && at.has_relative_path()) {
        at = at.parent_path();
    }
    at = fs::canonical(at, ec);
    struct stat st {};
    if (ec || ::stat(at.c_str(), &st) != 0) {
        return {};
    }
    if (!fs::is_directory(at, ec)) {
        at = at.parent_path();
    }
    // Up the folders while the parent lies on the same device.
    while (at.has_relative_path()) {
        struct stat parent {};
        if (::stat(at.parent_path().c_str(), &parent) != 0 || parent.st_dev != st.st_dev) {
            break;
        }
        at = at.parent_path();
    }
    return at;
}

fs::path volumeRootOf(const platform::DriveTable& drives, const fs::path& file) {
    std::error_code ec;
    const fs::path where = fs::weakly_canonical(fs::absolute(file, ec), ec);
    fs::path best;
    for (const platform::Drive& drive : drives.drives()) {
        const fs::path root = fs::weakly_canonical(drive.root, ec);
        if (ec) {
            continue;
        }
        const auto [rootEnd, whereAt] =
            std::mismatch(root.begin(), root.end(), where.begin(), where.end());
        if (rootEnd == root.end() && root.string().size() > best.string().size()) {
            best = drive.root;
        }
    }
    return best.empty() ? mountPointOf(file) : best;
}

fs::path driveRootOf(const platform::DriveTable& drives, std::string_view windowsPath) {
    const std::string drive = platform::driveOf(windowsPath);
    const platform::Drive* d = drive.empty() ? nullptr : drives.find(drive.front());
    return d != nullptr ? d->root : fs::path();
}

std::string_view writeRefusalNote(WriteBlock block) {
    switch (block) {
    case WriteBlock::Hibernated:
        return "Том в спящем режиме (быстрый запуск Windows): загрузите Windows и завершите "
               "работу полностью, затем повторите";
    case WriteBlock::ReadOnly:
        break;
    }
    return "Файл или том нельзя изменять (только чтение, сжатие или шифрование NTFS): "
           "подключите том для записи или снимите эти атрибуты, затем повторите";
}

} // namespace engine::registry
