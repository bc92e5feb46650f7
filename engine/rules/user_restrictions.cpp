// The console's user groups: the user's start values and the policies that
// block the task manager, the registry editor and the command prompt.
#include "rules/user_restrictions.h"

#include <algorithm>
#include <cstdint>

#include "context/context.h"
#include "registry/hive_mounting.h"
#include "registry/reg_engine.h"
#include "rules/manual_record.h"
#include "rules/watched_keys.h"

namespace engine::rules {

namespace {

int readPolicy(Context& context, std::string_view key, std::string_view value) {
    registry::TRegEngine& record = manualRecord(context, key, value);
    const bool exists = registry::RegEngineValueExists(context.registry, record);
    return policyIndex(exists,
                       exists ? registry::RegEngineReadInteger(context.registry, record) : 0);
}

// One registry operation after another on a record of the save's own,
// remembering whether any of them failed.
class Writer {
public:
    explicit Writer(Context& context)
        : registry_(context.registry) {}

    void at(std::string_view key, std::string_view value) {
        record_.KeyPath = std::string(key);
        record_.ValueName = std::string(value);
    }
    bool exists() { return check(registry::RegEngineValueExists(registry_, record_)); }
    void remove() {
        registry::RegEngineDeleteValue(registry_, record_);
        check(true);
    }
    void writeString(const std::string& text) {
        registry::RegEngineWriteString(registry_, record_, text);
        check(true);
    }
    void writeInteger(std::int32_t value) {
        registry::RegEngineWriteInteger(registry_, record_, value);
        check(true);
    }
    std::string message(std::string_view saved) const {
        return std::string(failed_ ? kSaveFailed : saved);
    }

private:
    bool check(bool result) {
        failed_ = failed_ || record_.Status != 0;
        return result;
    }

    registry::OfflineRegistry& registry_;
    registry::TRegEngine record_;
    bool failed_ = false;
};

void deleteShellWhenBlank(Writer& writer, const std::string& edit, std::string_view key) {
    if (!edit.empty()) {
        return;
    }
    writer.at(key, "Shell");
    if (writer.exists()) {
        writer.remove();
    }
}

void savePolicy(Writer& writer, int index, std::string_view key, std::string_view value) {
    writer.at(key, value);
    switch (index) {
    case kNotSet:
        if (writer.exists()) {
            writer.remove();
        }
        break;
    case kBlocked:
        writer.writeInteger(1);
        break;
    case kUnblocked:
        writer.writeInteger(0);
        break;
    default:
        break;
    }
}

} // namespace

TextColour policyColour(int index) {
    return index == kBlocked ? TextColour::Red : TextColour::Black;
}

int policyIndex(bool exists, int value) {
    if (!exists) {
        return kNotSet;
    }
    // 1 - v taken in 64 bits: v may be any 32-bit integer, INT32_MIN included.
    const std::int64_t index = 1 - static_cast<std::int64_t>(value);
    return static_cast<int>(std::clamp<std::int64_t>(index, kNoSelection, kNotSet));
}

UserStartValues LoadUserStartValues(Context& context) {
    UserStartValues values;
    values.AdminShell = registry::RegEngineReadString(
        context.registry, manualRecord(context, kUserPolicyKey, "shell"));
    values.UserShell = registry::RegEngineReadString(
        context.registry, manualRecord(context, kUserWinlogonKey, "shell"));
    values.Load = registry::RegEngineReadString(context.registry,
                                                manualRecord(context, kUserWindowsKey, "load"));
    return values;
}

ToolPolicies LoadToolPolicies(Context& context) {
    ToolPolicies policies;
    policies.Regedit = readPolicy(context, kUserPolicyKey, "DisableRegistryTools");
    policies.Taskman = readPolicy(context, kUserPolicyKey, "DisableTaskMgr");
    policies.Cmd = readPolicy(context, kUserCommandPolicyKey, "DisableCMD");
    return policies;
}

std::string HealUserAdminShell(UserStartValues& values) {
    values.AdminShell.clear();
    return "Значение удалено...";
}

std::string HealUserShell(UserStartValues& values) {
    values.UserShell.clear();
    return "Значение удалено...";
}

std::string HealUserLoad(UserStartValues& values) {
    values.Load.clear();
    return "Значение удалено...";
}

std::vector<std::string> UserDefaults(UserStartValues& values) {
    std::vector<std::string> messages;
    messages.push_back(HealUserAdminShell(values));
    messages.push_back(HealUserShell(values));
    messages.push_back(HealUserLoad(values));
    messages.emplace_back("Значения установлены по умолчанию...");
    return messages;
}

std::string SaveUserStartValues(Context& context, const UserStartValues& values) {
    // Without the hive every value reads as absent and nothing would be done.
    if (context.registry.find(registry::kUserMount) == nullptr) {
        return std::string(kSaveFailed);
    }
    Writer writer(context);
    deleteShellWhenBlank(writer, values.AdminShell, kUserPolicyKey);
    deleteShellWhenBlank(writer, values.UserShell, kUserWinlogonKey);
    if (values.Load.empty()) {
        writer.at(kUserWindowsKey, "Load");
        if (writer.exists()) {
            writer.writeString("");
        }
    }
    return writer.message("Изменения реестра пользователя сохранены...");
}

std::string ToolsDefaults(ToolPolicies& policies) {
    policies.Taskman = kNotSet;
    policies.Regedit = kNotSet;
    policies.Cmd = kNotSet;
    return "Значения установлены по умолчанию...";
}

std::string SaveToolPolicies(Context& context, const ToolPolicies& policies) {
    if (context.registry.find(registry::kUserMount) == nullptr) {
        return std::string(kSaveFailed);
    }
    Writer writer(context);
    savePolicy(writer, policies.Regedit, kUserPolicyKey, "DisableRegistryTools");
    savePolicy(writer, policies.Taskman, kUserPolicyKey, "DisableTaskMgr");
    savePolicy(writer, policies.Cmd, kUserCommandPolicyKey, "DisableCMD");
    return writer.message("Значения Административные инструменты сохранены...");
}

} // namespace engine::rules
