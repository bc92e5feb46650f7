#pragma once

#include <array>
#include <string>

#include "hive/file_io.h"
#include "rules/file_version_info.h"

namespace engine {
struct Context;
}

namespace engine::rules {

bool IsGenuineTaskmgr(const TFileVersionInfo& info);
bool IsGenuineUserinit(const TFileVersionInfo& info);

// The four files the check looks at, in the dialog's row order.
enum class SystemFile { Userinit, UserinitCache, Taskmgr, TaskmgrCache };

// How the restore dialog was closed: "Восстановить" (Ok), "Отменить" (No),
// the close box (Cancel).
enum class DialogResult { Ok, No, Cancel };

struct SystemFileRow {
    SystemFile file;
    std::string label;       // "Userinit.exe", "dllcache\Userinit.exe", ...
    std::string windowsPath; // the file checked
    bool genuine = false;    // green and no check box; red with its box otherwise
};

// The question the check asks when a file is not the system's own: the four
// rows in dialog order; the answer says how the dialog closed and which rows
// are ticked. The ticks belong to whoever answers (the dialog keeps them
// between calls of a run); only ticks of rows that are not genuine count.
struct RestoreAnswer {
    DialogResult result = DialogResult::Cancel;
    std::array<bool, 4> ticked{}; // indexed by SystemFile
};
class RestoreQuestion {
public:
    virtual ~RestoreQuestion() = default;
    virtual RestoreAnswer ask(const std::array<SystemFileRow, 4>& rows) = 0;
};

// Checks taskmgr.exe and userinit.exe in system32 and system32\dllcache of
// the installation SystemFolders[index]; asks when one is not genuine and
// replaces the chosen ones with the clean copies from context.backupFolder,
// each through a complete synced copy renamed over it (attributes and NTFS
// security kept), never a file the write policy keeps from being written
// (registry/write_policy.h); `io` does the file operations. True
// when all four are genuine, or when the operator chose files to restore and
// every one of those copies succeeded; false when the dialog was not closed
// with Ok, nothing was chosen, or any copy failed. An index outside
// SystemFolders: false, and nothing is asked.
bool CheckSystemFiles(Context& context, int index, RestoreQuestion& question, hive::FileIo& io);
// The same on the real files.
bool CheckSystemFiles(Context& context, int index, RestoreQuestion& question);

} // namespace engine::rules
