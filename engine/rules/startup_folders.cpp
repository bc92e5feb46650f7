// The startup folders: where they are, what they hold, and moving a file
// between a folder and its hidden AutorunsDisabled subfolder.
#include "rules/startup_folders.h"

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <system_error>

#include <fcntl.h>
#include <sys/xattr.h>
#include <unistd.h>

#include "context/context.h"
#include "hive/names.h"
#include "platform/character_count.h"
#include "platform/windows_paths.h"
#include "registry/reg_engine.h"
#include "rules/manual_record.h"

namespace engine::rules {

namespace fs = std::filesystem;

namespace {

constexpr std::string_view kSystemShellFolders =
    "LoadedHiveSoftware\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders";
constexpr std::string_view kUserShellFolders =
    "LoadedUserHive\\Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\User Shell Folders";
constexpr std::string_view kUserPlainShellFolders =
    "LoadedUserHive\\Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders";

// The length of "%USERPROFILE%\", which a user's folder value drops.
constexpr std::size_t kProfileVariableLength = 14;

// Windows' hidden attribute.
constexpr std::uint8_t kHidden = 0x02;

// A folder text that names more than a drive's root (or a profile folder
// itself): something besides separators is left.
bool namesAFolder(std::string_view rest) {
    return rest.find_first_not_of("\\/") != std::string_view::npos;
}

// The folder part of a file path, with its trailing backslash.
std::string folderOf(std::string_view file) {
    const auto end = file.find_last_of("\\:");
    return end == std::string_view::npos ? std::string{} : std::string(file.substr(0, end + 1));
}

bool isRealFolder(const fs::path& path) {
    std::error_code error;
    return fs::is_directory(fs::symlink_status(path, error));
}

bool entryExists(const fs::path& path) {
    std::error_code error;
    return fs::exists(fs::symlink_status(path, error));
}

// A name that stays inside its folder.
bool plainFileName(std::string_view name) {
    return !name.empty() && name != "." && name != ".." &&
           name.find_first_of("\\/") == std::string_view::npos;
}

// Marks a folder hidden where the volume keeps Windows attributes: ntfs-3g
// (and the newer ntfs3 driver) show them as the big-endian extended
// attribute system.ntfs_attrib_be. Other file systems (FAT and exFAT as Linux
// mounts them, a plain folder) keep no hidden attribute, so there is nothing
// to set there. The move does not depend on it.
void setHidden(const fs::path& folder) {
    std::array<std::uint8_t, 4> attributes{};
    if (::getxattr(folder.c_str(), "system.ntfs_attrib_be", attributes.data(), attributes.size()) !=
        static_cast<ssize_t>(attributes.size())) {
        return;
    }
    attributes[3] |= kHidden;
    ::setxattr(folder.c_str(), "system.ntfs_attrib_be", attributes.data(), attributes.size(), 0);
}

// Renames a file without ever replacing one at the destination, as
// MoveFileA does. Where the volume's driver cannot refuse a replacement
// itself (FUSE drivers such as ntfs-3g), the destination is looked at first;
// nothing else runs meanwhile.
bool moveWithoutReplacing(const fs::path& from, const fs::path& to) {
    if (!entryExists(from) || isRealFolder(from)) {
        return false;
    }
    if (::renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0) {
        return true;
    }
    if (errno != EINVAL && errno != ENOSYS && errno != ENOTSUP) {
        return false;
    }
    return !entryExists(to) && std::rename(from.c_str(), to.c_str()) == 0;
}

} // namespace

std::string_view fileExtension(std::string_view name) {
    const auto dot = name.rfind('.');
    return dot == std::string_view::npos ? std::string_view{} : name.substr(dot);
}

std::string CommonStartupFolder(Context& context) {
    const std::string value = registry::RegEngineReadString(
        context.registry, manualRecord(context, kSystemShellFolders, "Common Startup"));
    const std::string rest = platform::dropCharacters(value, 2);
    if (!namesAFolder(rest)) {
        return {};
    }
    return context.CurrentSystemHive.substr(0, 2) + rest;
}

std::string UserStartupFolder(Context& context) {
    const std::string_view key =
        registry::RegEngineValueExists(context.registry,
                                       manualRecord(context, kUserShellFolders, "Startup"))
            ? kUserShellFolders
            : kUserPlainShellFolders;
    const std::string value =
        registry::RegEngineReadString(context.registry, manualRecord(context, key, "Startup"));
    if (value.find('%') != std::string::npos) {
        const std::string rest = platform::dropCharacters(value, kProfileVariableLength);
        return namesAFolder(rest) ? folderOf(context.CurrentUserHive) + rest : std::string{};
    }
    const std::string rest = platform::dropCharacters(value, 2);
    return namesAFolder(rest) ? context.CurrentUserHive.substr(0, 2) + rest : std::string{};
}

std::vector<std::string> ListStartupFiles(const platform::DriveTable& drives,
                                          std::string_view folder) {
    std::vector<std::string> names;
    const auto host = folder.empty() ? std::nullopt : platform::toHostPath(drives, folder);
    std::error_code error;
    if (!host || !fs::is_directory(*host, error)) {
        return names;
    }
    std::vector<std::pair<std::u16string, std::string>> entries;
    fs::directory_iterator it(*host, error);
    for (const fs::directory_iterator end; !error && it != end; it.increment(error)) {
        // A link to a folder is a folder to Windows as well.
        std::error_code typeError;
        if (it->is_directory(typeError)) {
            continue;
        }
        std::string name = it->path().filename().string();
        if (fileExtension(name) == ".ini") {
            continue;
        }
        auto wide = hive::fromUtf8(name);
        entries.emplace_back(wide ? std::move(*wide) : std::u16string{}, std::move(name));
    }
    std::sort(entries.begin(), entries.end(), [](const auto& a, const auto& b) {
        const int order = hive::compareNames(a.first, b.first);
        return order != 0 ? order < 0 : a.second < b.second;
    });
    for (auto& entry : entries) {
        names.push_back(std::move(entry.second));
    }
    return names;
}

bool MoveStartupFile(const platform::DriveTable& drives, std::string_view folder,
                     std::string_view name, bool enable) {
    if (folder.empty() || !plainFileName(name)) {
        return false;
    }
    const std::string disabledFolder = std::string(folder) + "\\" + std::string(kAutorunsDisabled);
    // The moved entry is the file or link itself; the folders on the way
    // are resolved on the drive.
    constexpr auto kEntry = platform::LastComponent::AsEntry;
    const auto folderHost = platform::toHostPath(drives, folder);
    const auto disabledHost = platform::toHostPath(drives, disabledFolder, kEntry);
    const auto activeHost =
        platform::toHostPath(drives, std::string(folder) + "\\" + std::string(name), kEntry);
    const auto hiddenHost =
        platform::toHostPath(drives, disabledFolder + "\\" + std::string(name), kEntry);
    if (!folderHost || !disabledHost || !activeHost || !hiddenHost || !isRealFolder(*folderHost)) {
        return false;
    }

    bool moved = false;
    if (enable) {
        moved = isRealFolder(*disabledHost) && moveWithoutReplacing(*hiddenHost, *activeHost);
    } else {
        std::error_code error;
        if (!entryExists(*disabledHost) && fs::create_directory(*disabledHost, error)) {
            setHidden(*disabledHost);
        }
        // Only into a real folder: never through a link out of this one.
        moved = isRealFolder(*disabledHost) && moveWithoutReplacing(*activeHost, *hiddenHost);
    }
    // Goes only when empty.
    if (isRealFolder(*disabledHost)) {
        ::rmdir(disabledHost->c_str());
    }
    return moved;
}

} // namespace engine::rules
