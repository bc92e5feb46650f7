#pragma once

#include <filesystem>
#include <optional>
#include <string_view>

#include "platform/drive_table.h"

namespace engine::rules {

// The host path of a Windows path that is to be changed (deleted, cleared,
// replaced), only when it cannot lead outside its drive: the path starts
// with a drive letter of the table, and its folder, with every symbolic link
// and NTFS junction on the way followed, lies inside that drive's folder.
// (The last component itself is not followed: whatever it is, it is what
// gets changed.) nullopt otherwise, a bare file name included.
std::optional<std::filesystem::path> driveBoundHostPath(const platform::DriveTable& drives,
                                                        std::string_view windowsPath);

// Whether `inner` is `outer` or lies below it (both taken as given: compare
// canonical paths).
bool isWithin(const std::filesystem::path& inner, const std::filesystem::path& outer);

} // namespace engine::rules
