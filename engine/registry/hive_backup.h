#pragma once

#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

#include "hive/error.h"
#include "hive/file_io.h"
#include "platform/drive_table.h"
#include "registry/write_policy.h"

namespace engine::registry {

// Backups of the two hives the console lets a person change by hand: the
// SOFTWARE hive of an installation and the NTUSER.DAT of a user. A backup is
// a copy of the hive as Windows would load it, with no header of its own: a
// byte-for-byte copy of a clean hive file, and of a hive Windows left dirty
// the hive recovered from its transaction logs, as one clean file.
enum class BackupKind { Software, UserHive };

// The save and open dialogs of one kind of backup.
struct BackupDialogs {
    std::string_view saveTitle;
    std::string_view openTitle;
    std::string_view filterName;
    std::string_view pattern;          // "*.backregall"
    std::string_view defaultExtension; // without the dot
};
BackupDialogs backupDialogs(BackupKind kind);

// The status line after a backup: saved, or the kind's own failure text.
std::string backupMessage(BackupKind kind, bool saved);

enum class RestoreOutcome {
    Restored,
    // The chosen file is not a hive that could be loaded: nothing was copied.
    NotAHive,
    // The copy could not be made: the hive is as it was.
    CopyFailed,
    // The hive's file may not be written (write_policy.h): nothing was copied.
    Refused,
};

struct RestoreResult {
    RestoreOutcome outcome = RestoreOutcome::CopyFailed;
    // Refused: what keeps the hive from being written.
    WriteBlock block = WriteBlock::ReadOnly;
    // Why it was not restored, for a person.
    std::string reason;
    // The transaction logs of the replaced hive, moved aside: where they went.
    std::vector<std::filesystem::path> logsSetAside;
};

// The status line after a restore.
std::string restoreMessage(const RestoreResult& result);

// Copies the hive at a Windows path (through the drive table) to a host
// file, replacing an existing backup only once the new copy is complete and
// on the disk: the copy goes to a temporary file in the backup's folder and
// is renamed over it. A failed copy leaves the old backup as it was. Refused
// when the backup may not be written (write_policy.h), and for a dirty hive
// whose logs cannot be applied (a copy of its primary alone would not be a
// hive that could be put back).
hive::Result<void> backupHive(const platform::DriveTable& drives, std::string_view hivePath,
                              const std::filesystem::path& backupFile, hive::FileIo& io);

// Puts a backup back over the hive file at a Windows path, unless the hive's
// file may not be written (write_policy.h: Refused). The backup must be
// a hive that could be loaded: it opens, passes the structural check and is
// clean (a copy of a hive left dirty lacks the changes its logs held); any
// other file is refused and the hive is not touched. The copy is made into a
// temporary file beside the hive, made durable and renamed over the hive,
// which keeps its permissions (and on NTFS its security descriptor and
// Windows attributes); a copy that fails midway leaves the old hive.
// The replaced hive's transaction logs describe another state of it, and a
// later interrupted write could chain into their entries, so they are moved
// aside (renamed with the suffix ".before-restore"), never deleted.
RestoreResult restoreHive(const platform::DriveTable& drives, std::string_view hivePath,
                          const std::filesystem::path& backupFile, hive::FileIo& io);

} // namespace engine::registry
