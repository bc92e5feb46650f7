// Host paths that stay on their drive whatever links lie on the way.
#include "rules/drive_bound_path.h"

#include <algorithm>
#include <system_error>

#include "platform/windows_paths.h"

namespace engine::rules {

namespace fs = std::filesystem;

namespace {

// The path without a trailing separator ("dir/" as "dir").
fs::path trimmed(const fs::path& path) {
    fs::path normal = path.lexically_normal();
    return normal.has_filename() || !normal.has_parent_path() ? normal : normal.parent_path();
}

} // namespace

bool isWithin(const fs::path& inner, const fs::path& outer) {
    const fs::path in = trimmed(inner);
    const fs::path out = trimmed(outer);
    auto i = in.begin();
    for (auto o = out.begin(); o != out.end(); ++o, ++i) {
        if (i == in.end() || *o != *i) {
            return false;
        }
    }
    return true;
}

std::optional<fs::path> driveBoundHostPath(const platform::DriveTable& drives,
                                           std::string_view windowsPath) {
    const std::string drive = platform::driveOf(windowsPath);
    const auto host = platform::toHostPath(drives, windowsPath);
    if (drive.empty() || !host) {
        return std::nullopt;
    }
    const platform::Drive* entry = drives.find(drive[0]);
    std::error_code error;
    const fs::path root = fs::weakly_canonical(entry->root, error);
    if (error) {
        return std::nullopt;
    }
    const fs::path relative = host->lexically_relative(entry->root);
    if (relative == ".") {
        return root; // the drive's root itself
    }
    if (relative.empty() || *relative.begin() == "..") {
        return std::nullopt;
    }
    const fs::path folder = fs::weakly_canonical(host->parent_path(), error);
    if (error || !isWithin(folder, root)) {
        return std::nullopt;
    }
    return folder / host->filename();
}

} // namespace engine::rules
