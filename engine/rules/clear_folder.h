#pragma once

#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

namespace engine {
struct Context;
}

namespace engine::rules {

// Removes one entry of a folder being emptied; false when it could not be
// removed. The real one unlinks a file or link and removes an empty folder;
// tests put one in front of it that refuses chosen entries.
class EntryRemover {
public:
    virtual ~EntryRemover() = default;
    virtual bool removeFile(const std::filesystem::path& file) = 0;
    virtual bool removeFolder(const std::filesystem::path& folder) = 0;
};
class RealEntryRemover final : public EntryRemover {
public:
    bool removeFile(const std::filesystem::path& file) override;
    bool removeFolder(const std::filesystem::path& folder) override;
};

enum class ClearOutcome {
    Cleared, // everything inside is gone
    Failed,  // a file could not be deleted (the cleaning stopped there), a
             // subfolder could not be removed, or the folder could not be listed
    Refused, // a folder that must never be emptied: nothing was touched
};

struct ClearResult {
    ClearOutcome outcome = ClearOutcome::Failed;
    // The status-line messages in order: "Не могу войти в каталог: " + the
    // folder, "Не могу удалить файл: " + the file's name, or the refusal.
    std::vector<std::string> messages;
};

// Empties a folder (a Windows path, through the drive table) and keeps the
// folder itself. Entries go in the order Windows lists an NTFS folder (by
// upper-cased name): a file is made normal (attributes cleared) and deleted,
// and the first that cannot be deleted ends the whole cleaning; a subfolder
// is emptied the same way and removed, and a subfolder whose emptying ended
// in failure ends it too; a subfolder that stays after being emptied makes
// the result Failed, but the cleaning goes on. A symbolic link or NTFS
// junction is removed itself: what it points at is never touched, and
// another volume mounted inside is not entered. Refused, with the reason as
// its message, for a folder that is (or, links followed, leads to) a drive
// root, a Windows folder, a profiles folder, a user's profile, a folder above
// any of them, a folder holding a mounted hive or its log, or a folder
// outside its drive.
ClearResult ClearFolder(Context& context, std::string_view folder, EntryRemover& remover);
ClearResult ClearFolder(Context& context, std::string_view folder);

} // namespace engine::rules
