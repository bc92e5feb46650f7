#pragma once

#include <filesystem>
#include <string>
#include <string_view>

#include "platform/drive_table.h"

namespace engine::rules {

// The target path a shell link (.lnk) names, as Windows wrote it into the
// link ("C:\Program Files\App\app.exe"); empty when the path is empty, the
// file cannot be read or is no shell link, or the link names no local or
// network path. The link file is a Windows path, mapped through the drive
// table; it is only read.
std::string ResolveShortcut(const platform::DriveTable& drives, std::string_view linkPath);

// The same for a link file at a host path.
std::string shortcutTarget(const std::filesystem::path& linkFile);

} // namespace engine::rules
