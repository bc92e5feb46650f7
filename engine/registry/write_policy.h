#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

#include "hive/file_io.h"
#include "platform/drive_table.h"

namespace engine::registry {

// Why a file of a target may not be written.
enum class WriteBlock {
    // The volume holds a hibernation image: Windows, resuming from it, would
    // undo or damage whatever was written.
    Hibernated,
    // The volume is mounted read-only, or the file has no write permission
    // or Windows' read-only attribute.
    ReadOnly,
};

struct WriteRefusal {
    WriteBlock block = WriteBlock::ReadOnly;
    std::string detail; // the engine's own words, for a log line or a terminal
};

// The one rule every writer of a target's files keeps: a mount (before it
// takes a hive it would write back), the command line's in-place hive
// changes, hive restores and system-file restores. `file` is the file that
// gets written; when it does not exist yet, the volume of its folder is what
// counts. `volumeRoot` is the root folder of the volume that holds it (a
// drive's folder); empty when not known, and then no hibernation image is
// looked for. The facts of the file and its volume come from `io`, so that
// tests can make a volume read-only.
std::optional<WriteRefusal> writeRefusal(const std::filesystem::path& volumeRoot,
                                         const std::filesystem::path& file, hive::FileIo& io);

// The root of the mounted file system that holds `file` (or its folder,
// when the file does not exist yet): where Windows keeps hiberfil.sys when
// the file system is one of its volumes. Empty when no part of the path
// exists.
std::filesystem::path mountPointOf(const std::filesystem::path& file);

// The root of the volume that holds a host file: the folder of the drive
// (the deepest, when drives nest) whose folder holds it, else mountPointOf.
std::filesystem::path volumeRootOf(const platform::DriveTable& drives,
                                   const std::filesystem::path& file);

// The root of the drive of a Windows path ("c:\..."); empty when the path
// names no drive of the table.
std::filesystem::path driveRootOf(const platform::DriveTable& drives, std::string_view windowsPath);

// What an operator can do about a refusal, in the console's words.
std::string_view writeRefusalNote(WriteBlock block);

} // namespace engine::registry
