// The console's Winlogon group: reading, judging, resetting and saving the
// shell, the user-initialisation program, Taskman and GinaDll.
#include "rules/winlogon_group.h"

#include "context/context.h"
#include "platform/latin_case.h"
#include "registry/hive_mounting.h"
#include "registry/reg_engine.h"
#include "rules/manual_record.h"
#include "rules/split_comma_list.h"
#include "rules/watched_keys.h"
#include "rules/winlogon_defaults.h"

namespace engine::rules {

namespace {

std::string readString(Context& context, std::string_view key, std::string_view value) {
    return registry::RegEngineReadString(context.registry, manualRecord(context, key, value));
}

WinlogonValues readValues(Context& context, WinlogonKey key) {
    const std::string_view path = winlogonKeyPath(key);
    return {readString(context, path, "shell"), readString(context, path, "userinit"),
            readString(context, path, "Taskman"), readString(context, path, "GinaDll")};
}

void appendItems(const std::string& text, std::vector<std::string>& files) {
    std::vector<std::string> items;
    SplitCommaList(text, items);
    files.insert(files.end(), items.begin(), items.end());
}

} // namespace

WinlogonGroup LoadWinlogonGroup(Context& context, std::vector<std::string>& files) {
    context.LoadedProductName = readString(context, kCurrentVersionKey, "ProductName");
    context.LoadedSystemRoot = readString(context, kCurrentVersionKey, "SystemRoot");

    WinlogonGroup group;
    group.SystemRoot = context.LoadedSystemRoot;
    context.ManualRegEngine.KeyPath = std::string(kWowWinlogonKey);
    group.Is64Bit = registry::RegEngineKeyExists(context.registry, context.ManualRegEngine);

    WinlogonValues values = readValues(context, WinlogonKey::Native);
    if (group.Is64Bit && !judgeWinlogon(WinlogonKey::Native, values, group.SystemRoot).any()) {
        WinlogonValues wow = readValues(context, WinlogonKey::Wow6432Node);
        if (judgeWinlogon(WinlogonKey::Wow6432Node, wow, group.SystemRoot).any()) {
            values = std::move(wow);
            group.Key = WinlogonKey::Wow6432Node;
        }
    }
    group.Shell = std::move(values.shell);
    group.Userinit = std::move(values.userinit);
    group.Taskman = std::move(values.taskman);
    group.GinaDll = std::move(values.gina);
    leChange(group, files);
    return group;
}

void leChange(WinlogonGroup& group, std::vector<std::string>& files) {
    files.clear();
    if (!group.Taskman.empty()) {
        appendItems(group.Taskman, files);
    }
    if (!group.GinaDll.empty()) {
        appendItems(group.GinaDll, files);
    }

    const WinlogonVerdict verdict = judgeWinlogon(
        group.Key, {group.Shell, group.Userinit, group.Taskman, group.GinaDll}, group.SystemRoot);
    std::vector<std::string> items;
    if (!verdict.userinit) {
        group.UserinitColour = TextColour::Black;
    } else {
        group.UserinitColour = TextColour::Red;
        SplitCommaList(group.Userinit, items);
        for (const std::string& item : items) {
            if (!isHealthyUserinit(item, group.SystemRoot)) {
                files.push_back(item);
            }
        }
    }

    if (!verdict.shell) {
        group.ShellColour = TextColour::Black;
    } else {
        group.ShellColour = TextColour::Red;
        SplitCommaList(group.Shell, items);
        for (const std::string& item : items) {
            if (!isHealthyShell(item)) {
                files.push_back(item);
            }
        }
    }
}

std::string userinitResetValue(const WinlogonGroup& group) {
    return group.Is64Bit ? std::string(kUserinitName) : userinitDefault32(group.SystemRoot);
}

std::string HealShell(WinlogonGroup& group) {
    group.Shell = std::string(kDefaultShell);
    group.ShellColour = TextColour::Black;
    return "Оболочка установлена по умолчанию...";
}

std::string HealUserinit(WinlogonGroup& group) {
    group.Userinit = userinitResetValue(group);
    group.UserinitColour = TextColour::Black;
    return "Программа инициализации пользователя установлена по умолчанию...";
}

std::string HealTaskman(WinlogonGroup& group) {
    group.Taskman.clear();
    return "Значение Taskman удалено...";
}

std::string HealGina(WinlogonGroup& group) {
    group.GinaDll.clear();
    return "Значение GinaDLL удалено...";
}

std::vector<std::string> HealAll(WinlogonGroup& group) {
    std::vector<std::string> messages;
    messages.push_back(HealGina(group));
    messages.push_back(HealTaskman(group));
    messages.push_back(HealUserinit(group));
    messages.push_back(HealShell(group));
    // The closing message as the console has always worded it.
    messages.emplace_back("Все значения установлены но умолчанию...");
    return messages;
}

std::string SaveWinlogonGroup(Context& context, const WinlogonGroup& group) {
    // Without the hive every value reads as absent and nothing would be done.
    if (context.registry.find(registry::kSoftwareMount) == nullptr) {
        return std::string(kSaveFailed);
    }
    registry::OfflineRegistry& registry = context.registry;
    registry::TRegEngine record;
    record.KeyPath = std::string(winlogonKeyPath(group.Key));
    bool failed = false;
    const auto note = [&] { failed = failed || record.Status != 0; };

    // An empty edit of a value the Wow6432Node key lacks: nothing to write.
    const auto write = [&](const std::string& edit, const char* value) {
        record.ValueName = value;
        if (edit.empty() && group.Key == WinlogonKey::Wow6432Node) {
            const bool exists = registry::RegEngineValueExists(registry, record);
            note();
            if (!exists) {
                return;
            }
        }
        registry::RegEngineWriteString(registry, record, edit);
        note();
    };
    write(group.Shell, "Shell");
    write(group.Userinit, "Userinit");
    const auto deleteWhenBlank = [&](const std::string& edit, const char* value) {
        if (!edit.empty()) {
            return;
        }
        record.ValueName = value;
        const bool exists = registry::RegEngineValueExists(registry, record);
        note();
        if (exists) {
            registry::RegEngineDeleteValue(registry, record);
            note();
        }
    };
    deleteWhenBlank(group.Taskman, "Taskman");
    deleteWhenBlank(group.GinaDll, "GinaDLL");
    return std::string(failed ? kSaveFailed : kWinlogonSaved);
}

} // namespace engine::rules
