// The user's temporary folders: reading TEMP and TMP, and emptying them.
#include "rules/temp_folders.h"

#include "context/context.h"
#include "platform/character_count.h"
#include "platform/latin_case.h"
#include "platform/windows_paths.h"
#include "registry/reg_engine.h"
#include "rules/manual_record.h"

namespace engine::rules {

namespace {

std::string readEnvironment(Context& context, std::string_view name) {
    return registry::RegEngineReadString(
        context.registry, manualRecord(context, "LoadedUserHive\\Environment", name));
}

void clearOne(Context& context, const std::string& folder, EntryRemover& remover,
              std::vector<std::string>& messages) {
    if (!platform::DirectoryExists(context.drives, folder)) {
        return;
    }
    ClearResult result = ClearFolder(context, folder, remover);
    messages.insert(messages.end(), result.messages.begin(), result.messages.end());
    switch (result.outcome) {
    case ClearOutcome::Cleared:
        messages.emplace_back(kTempCleared);
        break;
    case ClearOutcome::Failed:
        messages.emplace_back(kTempNotCleared);
        break;
    case ClearOutcome::Refused:
        break; // the reason is what the operator must read
    }
}

} // namespace

std::string tempFolderFromValue(std::string_view value, std::string_view userHive) {
    if (value.find('%') == std::string_view::npos) {
        return std::string(value);
    }
    const auto slash = userHive.find_last_of('\\');
    const std::string_view folder =
        slash == std::string_view::npos ? std::string_view{} : userHive.substr(0, slash + 1);
    return std::string(folder) + std::string(platform::dropCharacters(value, 14));
}

TempFolders LoadTempFolders(Context& context) {
    TempFolders folders;
    folders.Temp = tempFolderFromValue(readEnvironment(context, "TEMP"), context.CurrentUserHive);
    folders.Tmp = tempFolderFromValue(readEnvironment(context, "TMP"), context.CurrentUserHive);
    folders.TmpShown = !platform::equalIgnoringLatinCase(folders.Temp, folders.Tmp);
    return folders;
}

std::vector<std::string> ClearTempFolders(Context& context, const TempFolders& folders,
                                          EntryRemover& remover) {
    std::vector<std::string> messages;
    if (folders.TempTicked) {
        clearOne(context, folders.Temp, remover, messages);
    }
    if (folders.TmpTicked && folders.TmpShown) {
        clearOne(context, folders.Tmp, remover, messages);
    }
    return messages;
}

std::vector<std::string> ClearTempFolders(Context& context, const TempFolders& folders) {
    RealEntryRemover remover;
    return ClearTempFolders(context, folders, remover);
}

} // namespace engine::rules
