#pragma once

#include <array>
#include <cstddef>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace engine {
struct Context;
}

namespace engine::rules {

// The console's tab "Автозагрузка": two groups of five check lists, what the
// mounted installation starts machine-wide and what it starts for the
// mounted user. An entry is active (ticked) where it lives in its key or
// startup folder, and disabled (unticked) in that key's AutorunsDisabled
// subkey or that folder's hidden AutorunsDisabled subfolder; toggling moves
// it between the two and never deletes it.

enum class AutorunScope { System, User };

// The ten lists, group by group in tab order.
enum class AutorunList {
    RunAll,          // clbRunAll
    RunOnceAll,      // clbRunOnceAll
    RunExAll,        // clbRunExAll
    RunExplorerAll,  // clbRunExplorerAll
    FilesAll,        // clbFilesAll
    UserRun,         // clbUserRun
    RunOnceUser,     // clbRunOnceUser
    RunOnceExUser,   // clbRunOnceExUser
    ExplorerRunUser, // clbExplorerRunUser
    FilesUser,       // clbFilesUser
};

inline constexpr std::string_view kSystemAutorunsCaption = "Автозагрузка для всех"; // gbAutorunAll
inline constexpr std::string_view kUserAutorunsCaption = "Автозагрузка пользователя"; // gbUserRun
// The five inner tabs of each group, in order; the last one lists files.
inline constexpr std::size_t kAutorunTabCount = 5;
inline constexpr std::size_t kFilesTab = 4;
inline constexpr std::array<std::string_view, kAutorunTabCount> kAutorunTabs = {
    "Run", "RunOnce", "RunOnceEx", "Explorer Run", "Файлы"};

// The list on a group's tab.
AutorunList autorunList(AutorunScope scope, std::size_t tab);
// A registry list's key below HKEY_LOCAL_MACHINE; empty for the two file
// lists, whose folder is the group's StartupFolder.
std::string_view autorunKey(AutorunList list);

// One item of a check list: a value name, or a file name without folder.
struct AutorunEntry {
    std::string Name;
    bool Checked = true;
    friend bool operator==(const AutorunEntry&, const AutorunEntry&) = default;
};

// One group as it stands on screen.
struct AutorunGroup {
    AutorunScope Scope = AutorunScope::System;
    // By tab: each list's active entries in the order the registry or the
    // folder gives them, then its disabled ones.
    std::array<std::vector<AutorunEntry>, kAutorunTabCount> Lists;
    // CommonStartupFolder or UserStartupFolder, as computed at filling; empty
    // when the hive names none (the list "Файлы" is empty then).
    std::string StartupFolder;
};

// Fills gbAutorunAll after the SOFTWARE hive is mounted: the four registry
// lists, then the files of CommonStartupFolder. On Windows XP
// (context.LoadedProductName exactly "Microsoft Windows XP", letter case
// included) `systemFileCheck` runs once the list "Run" has its active names
// and before anything else is read; elsewhere it does not run.
AutorunGroup FillSystemAutoruns(Context& context, const std::function<void()>& systemFileCheck);
// Fills gbUserRun after the user hive is mounted: the four registry lists of
// the user, then the files of UserStartupFolder.
AutorunGroup FillUserAutoruns(Context& context);

// The status-line messages of the toggles.
inline constexpr std::string_view kFileMoved = "Файл перемещен успешно...";
inline constexpr std::string_view kFileNotMoved = "Файл не перемещен!!!";
// A registry entry that could not be moved (a successful move shows nothing).
inline constexpr std::string_view kValueNotMoved = "Значение не перемещено!!!";
inline constexpr std::string_view kValueNameTaken =
    "Значение не перемещено: там уже есть другое значение с таким именем!!!";

// The operator ticked (`checked` true) or unticked an item: moves the entry
// into place, as MoveAutorunValue and MoveStartupFile do. The entry's Checked
// then tells where it lives: the new state when it moved, the old one when it
// did not (the window shows the box accordingly). Returns the status-line
// message: kFileMoved or kFileNotMoved for a file; for a registry value
// nothing when it moved, kValueNotMoved or kValueNameTaken when it did not.
// An item already in that state, or an index outside the lists, changes
// nothing and shows nothing.
std::optional<std::string> ToggleAutorun(Context& context, AutorunGroup& group, std::size_t tab,
                                         std::size_t item, bool checked);

// What edValue shows for the selected item. A registry entry: its text as a
// string value (REG_SZ or REG_EXPAND_SZ) from its key, or from the key's
// AutorunsDisabled subkey when unticked; empty when it cannot be read so. A
// file: its Windows path (in AutorunsDisabled when unticked); for a name
// whose extension is exactly ".lnk" (letter case counts) the shortcut's
// target instead, with a target on drive x: (either case) shown on the drive
// of context.LoadedSystemRoot; empty when the link cannot be read.
std::string AutorunCommand(Context& context, const AutorunGroup& group, std::size_t tab,
                           std::size_t item);

} // namespace engine::rules
