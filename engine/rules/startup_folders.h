#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "platform/drive_table.h"

namespace engine {
struct Context;
}

namespace engine::rules {

// The startup folders of the mounted installation and user, and their files.
// A disabled startup file lives under the same name in the hidden subfolder
// "AutorunsDisabled" of its folder.

inline constexpr std::string_view kAutorunsDisabled = "AutorunsDisabled";

// The machine-wide startup folder as the live system sees it: "Common
// Startup" of the mounted SOFTWARE hive's Shell Folders key, its first two
// characters (the drive as the installation names it) replaced by the drive
// of context.CurrentSystemHive: 'C:\Docs\All Users\Startup' with the hive on
// d: gives 'd:\Docs\All Users\Startup'. Empty when the value is missing or
// names nothing beyond its drive: no folder, rather than the drive's root.
std::string CommonStartupFolder(Context& context);

// The mounted user's startup folder: "Startup" of the user's User Shell
// Folders key when that key has the value, else of Shell Folders. A text
// with a "%" anywhere loses its first 14 characters (the length of
// "%USERPROFILE%\") and is put after the folder of context.CurrentUserHive
// (ending in a backslash); any other text has its first two characters
// replaced by the drive of CurrentUserHive. Empty when nothing is left after
// the drive or the profile folder.
std::string UserStartupFolder(Context& context);

// The names of the files directly in `folder` (a Windows path), in the order
// Windows lists an NTFS folder (by upper-cased name), hidden and system files
// included; folders are not listed, nor a file whose extension is exactly
// ".ini" (letter case counts: 'desktop.ini' is left out, 'DESKTOP.INI'
// listed). Empty when the folder cannot be listed.
std::vector<std::string> ListStartupFiles(const platform::DriveTable& drives,
                                          std::string_view folder);

// Moves the file `name` of `folder` into folder\AutorunsDisabled (enable
// false; the subfolder is created hidden when missing) or back (enable true),
// then removes the subfolder if it is empty. Never replaces a file: the move
// fails when the destination name is taken. False when nothing was moved.
bool MoveStartupFile(const platform::DriveTable& drives, std::string_view folder,
                     std::string_view name, bool enable);

// The extension of a file name as Windows programs take it: from the last
// dot on ("a.b.lnk" gives ".lnk"; no dot gives "").
std::string_view fileExtension(std::string_view name);

} // namespace engine::rules
