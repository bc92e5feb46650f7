#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/drive_table.h"
#include "platform/path_in_root.h"

namespace engine::platform {

// Windows paths ("c:\WINDOWS\system32\config\software") stand for host paths
// through the drive table. Each component is matched exactly first and, when
// no entry has that exact name, without case (as Windows matches: each UTF-16
// unit upper-cased), so a Windows 7 disk spelled Windows/System32/config/SOFTWARE
// is found under any spelling. A component that matches nothing is kept as
// written (the path of a file still to be created). "." and ".." are resolved
// within the drive, and so is every symbolic link on the way (path_in_root.h):
// an absolute link target means the drive's root, no ".." climbs above it, so
// a path never leaves its drive's folder whatever links a locker planted.
// The last component is followed too, unless `last` says it is the entry
// itself that is meant. Forward slashes count as backslashes.
//
// nullopt when the path does not start with a drive letter and a colon, the
// drive is not in the table, or the links on the way loop.
std::optional<std::filesystem::path> toHostPath(const DriveTable& drives,
                                                std::string_view windowsPath,
                                                LastComponent last = LastComponent::Followed);

// The same, saying also whether a link on the way pointed off the drive.
std::optional<PathInRoot> toPathInRoot(const DriveTable& drives, std::string_view windowsPath,
                                       LastComponent last = LastComponent::Followed);

// The lower-case drive of a Windows path ("c:"), empty when it has none.
std::string driveOf(std::string_view windowsPath);

// FileExists: a regular file (or a link to one) is at that path.
bool FileExists(const DriveTable& drives, std::string_view windowsPath);
// DirectoryExists: a folder is at that path.
bool DirectoryExists(const DriveTable& drives, std::string_view windowsPath);

// ListFixedDrives: the roots ("c:\") of the fixed drives in letter order,
// except the running system's drive, the drive of `windir` (the environment
// variable, lower-cased; nullopt or empty excludes nothing).
std::vector<std::string> ListFixedDrives(const DriveTable& drives,
                                         const std::optional<std::string>& windir);

// ListSubfolders: the names of every folder entry of `folder` (which ends in
// a backslash), hidden ones included, in the order Windows lists an NTFS
// folder (by upper-cased name, whatever order the host's driver gives), with
// "." and ".." first as Windows lists them in any folder but a drive root.
// Empty when the folder cannot be listed.
std::vector<std::string> ListSubfolders(const DriveTable& drives, std::string_view folder);

} // namespace engine::platform
