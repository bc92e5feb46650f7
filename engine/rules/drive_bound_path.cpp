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
    auto resolved = platform::toPathInRoot(drives, windowsPath, platform::LastComponent::AsEntry);
    if (!resolved || resolved->leftRoot) {
        return std::nullopt;
    }
    return std::move(resolved->host);
}

} // namespace engine::rules
