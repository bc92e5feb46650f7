#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "rules/clear_folder.h"

namespace engine {
struct Context;
}

namespace engine::rules {

// The console's group of the mounted user's temporary folders (gbTemp).
struct TempFolders {
    std::string Temp;        // leTemp
    std::string Tmp;         // leTMP
    bool TempTicked = false; // cbTemp "Выбрать"
    bool TmpTicked = false;  // cbTmp "Выбрать"
    // leTMP and cbTmp are shown only when TMP differs from TEMP (letter case
    // of A to Z aside).
    bool TmpShown = true;
};

inline constexpr std::string_view kTempCleared = "Очищена папка временных файлов...";
inline constexpr std::string_view kTempNotCleared = "Не удалось очистить папку временных файлов...";

// The folder a TEMP or TMP value names: a value holding "%" loses its first
// 14 characters (as "%USERPROFILE%\" is long) and gets the folder of
// `userHive` (the NTUSER.DAT path up to its last backslash, included) in
// front; any other value is kept as it is.
std::string tempFolderFromValue(std::string_view value, std::string_view userHive);

// Part of the user loading: both boxes unticked, "TEMP" and "TMP" of the
// user's Environment key as folders of CurrentUserHive. Reads through
// context.ManualRegEngine.
TempFolders LoadTempFolders(Context& context);

// "Очистить": each ticked (and, for TMP, shown) folder that exists is
// emptied with ClearFolder; then kTempCleared or kTempNotCleared, or, for a
// folder that must not be emptied, the refusal stays the last word. A
// folder that does not exist is skipped without a message. Returns the
// status-line messages in order.
std::vector<std::string> ClearTempFolders(Context& context, const TempFolders& folders,
                                          EntryRemover& remover);
std::vector<std::string> ClearTempFolders(Context& context, const TempFolders& folders);

} // namespace engine::rules
