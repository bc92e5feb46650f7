// The console's autorun lists: filling them from the mounted hives and the
// startup folders, moving entries on a toggle, and the text of edValue.
#include "rules/autoruns.h"

#include "context/context.h"
#include "platform/latin_case.h"
#include "platform/windows_paths.h"
#include "registry/reg_engine.h"
#include "rules/autorun_value_move.h"
#include "rules/manual_record.h"
#include "rules/shortcut_target.h"
#include "rules/startup_folders.h"

namespace engine::rules {

namespace {

constexpr std::array<std::string_view, 10> kKeys = {
    "LoadedHiveSoftware\\Microsoft\\Windows\\CurrentVersion\\Run",
    "LoadedHiveSoftware\\Microsoft\\Windows\\CurrentVersion\\RunOnce",
    "LoadedHiveSoftware\\Microsoft\\Windows\\CurrentVersion\\RunOnceEx",
    "LoadedHiveSoftware\\Microsoft\\Windows\\CurrentVersion\\Policies\\Explorer\\Run",
    "",
    "LoadedUserHive\\Software\\Microsoft\\Windows\\CurrentVersion\\Run",
    "LoadedUserHive\\Software\\Microsoft\\Windows\\CurrentVersion\\RunOnce",
    "LoadedUserHive\\Software\\Microsoft\\Windows\\CurrentVersion\\RunOnceEx",
    "LoadedUserHive\\Software\\Microsoft\\Windows\\CurrentVersion\\Policies\\Explorer\\Run",
    "",
};

constexpr std::string_view kXpProductName = "Microsoft Windows XP";

std::string disabledKey(std::string_view key) {
    return std::string(key) + "\\" + std::string(kAutorunsDisabled);
}

std::string disabledFolder(std::string_view folder) {
    return std::string(folder) + "\\" + std::string(kAutorunsDisabled);
}

void append(std::vector<AutorunEntry>& list, const std::vector<std::string>& names, bool checked) {
    for (const std::string& name : names) {
        list.push_back({name, checked});
    }
}

std::vector<std::string> valueNames(Context& context, std::string_view key) {
    std::vector<std::string> names;
    registry::RegEngineValueNames(context.registry, manualRecord(context, key), names);
    return names;
}

// The active names of a key, `between` (the system-file check, for "Run"),
// then the disabled names of its AutorunsDisabled subkey.
std::vector<AutorunEntry> registryList(Context& context, std::string_view key,
                                       const std::function<void()>& between = {}) {
    std::vector<AutorunEntry> list;
    const std::vector<std::string> active = valueNames(context, key);
    if (between) {
        between();
    }
    append(list, active, true);
    const std::string disabled = disabledKey(key);
    if (registry::RegEngineKeyExists(context.registry, manualRecord(context, disabled))) {
        append(list, valueNames(context, disabled), false);
    }
    return list;
}

std::vector<AutorunEntry> fileList(Context& context, const std::string& folder) {
    std::vector<AutorunEntry> list;
    if (folder.empty()) {
        return list;
    }
    append(list, ListStartupFiles(context.drives, folder), true);
    const std::string disabled = disabledFolder(folder);
    if (platform::DirectoryExists(context.drives, disabled)) {
        append(list, ListStartupFiles(context.drives, disabled), false);
    }
    return list;
}

AutorunGroup fill(Context& context, AutorunScope scope, std::string folder,
                  const std::function<void()>& afterRun) {
    AutorunGroup group;
    group.Scope = scope;
    for (std::size_t tab = 0; tab < kFilesTab; ++tab) {
        group.Lists[tab] = registryList(context, autorunKey(autorunList(scope, tab)),
                                        tab == 0 ? afterRun : std::function<void()>{});
    }
    group.StartupFolder = std::move(folder);
    group.Lists[kFilesTab] = fileList(context, group.StartupFolder);
    return group;
}

// A shortcut's target as edValue shows it: one on drive x: is shown on the
// drive of the installation's SystemRoot (left as it is when SystemRoot
// names no drive).
std::string shownTarget(const Context& context, std::string target) {
    const std::string_view systemRoot = context.LoadedSystemRoot;
    const bool onX =
        target.size() >= 2 && platform::lowerLatin(target[0]) == 'x' && target[1] == ':';
    if (onX && systemRoot.size() >= 2 && systemRoot[1] == ':') {
        target.replace(0, 2, systemRoot.substr(0, 2));
    }
    return target;
}

} // namespace

AutorunList autorunList(AutorunScope scope, std::size_t tab) {
    const std::size_t first = scope == AutorunScope::System ? 0 : kAutorunTabCount;
    return static_cast<AutorunList>(first + (tab < kAutorunTabCount ? tab : kFilesTab));
}

std::string_view autorunKey(AutorunList list) {
    return kKeys[static_cast<std::size_t>(list)];
}

AutorunGroup FillSystemAutoruns(Context& context, const std::function<void()>& systemFileCheck) {
    const bool xp = context.LoadedProductName == kXpProductName;
    return fill(context, AutorunScope::System, CommonStartupFolder(context),
                xp ? systemFileCheck : std::function<void()>{});
}

AutorunGroup FillUserAutoruns(Context& context) {
    return fill(context, AutorunScope::User, UserStartupFolder(context), {});
}

std::optional<std::string> ToggleAutorun(Context& context, AutorunGroup& group, std::size_t tab,
                                         std::size_t item, bool checked) {
    if (tab >= kAutorunTabCount || item >= group.Lists[tab].size()) {
        return std::nullopt;
    }
    AutorunEntry& entry = group.Lists[tab][item];
    if (entry.Checked == checked) {
        return std::nullopt;
    }
    if (tab == kFilesTab) {
        const bool moved =
            MoveStartupFile(context.drives, group.StartupFolder, entry.Name, checked);
        if (moved) {
            entry.Checked = checked;
        }
        return std::string(moved ? kFileMoved : kFileNotMoved);
    }
    const ValueMove outcome = MoveAutorunValue(
        context.registry, autorunKey(autorunList(group.Scope, tab)), entry.Name, checked);
    switch (outcome) {
    case ValueMove::Moved:
        entry.Checked = checked;
        return std::nullopt;
    case ValueMove::NameTaken:
        return std::string(kValueNameTaken);
    case ValueMove::Missing:
    case ValueMove::Failed:
        break;
    }
    return std::string(kValueNotMoved);
}

std::string AutorunCommand(Context& context, const AutorunGroup& group, std::size_t tab,
                           std::size_t item) {
    if (tab >= kAutorunTabCount || item >= group.Lists[tab].size()) {
        return {};
    }
    const AutorunEntry& entry = group.Lists[tab][item];
    if (tab != kFilesTab) {
        const std::string_view key = autorunKey(autorunList(group.Scope, tab));
        const std::string from = entry.Checked ? std::string(key) : disabledKey(key);
        return registry::RegEngineReadString(context.registry,
                                             manualRecord(context, from, entry.Name));
    }
    if (group.StartupFolder.empty()) {
        return {};
    }
    const std::string folder =
        entry.Checked ? group.StartupFolder : disabledFolder(group.StartupFolder);
    const std::string path = folder + "\\" + entry.Name;
    if (fileExtension(entry.Name) != ".lnk") {
        return path;
    }
    const std::string target = ResolveShortcut(context.drives, path);
    return target.empty() ? target : shownTarget(context, target);
}

} // namespace engine::rules
