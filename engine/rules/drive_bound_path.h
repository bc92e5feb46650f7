#pragma once

#include <filesystem>
#include <optional>
#include <string_view>

#include "platform/drive_table.h"

namespace engine::rules {

// The host path of a Windows path that is to be changed (deleted, cleared,
// replaced), resolved inside its drive (windows_paths.h) with every link on
// the way followed but the last component's own: whatever it is, it is what
// gets changed. nullopt when the path names no drive of the table (a bare file
// name included), or a link on the way pointed off the drive: a change meant
// for a place outside is not made anywhere else either.
std::optional<std::filesystem::path> driveBoundHostPath(const platform::DriveTable& drives,
                                                        std::string_view windowsPath);

// Whether `inner` is `outer` or lies below it (both taken as given: compare
// canonical paths).
bool isWithin(const std::filesystem::path& inner, const std::filesystem::path& outer);

} // namespace engine::rules
