// The user checks of the automatic pass on the mounted user hive: the shell
// set in the user's policy and Winlogon keys, the `load` entry, and the locks
// on the registry editor, the task manager and the command prompt.
#include <cstdint>
#include <string>
#include <string_view>

#include "automatic/auto_pass.h"
#include "automatic/pass_values.h"
#include "context/context.h"
#include "registry/reg_engine.h"
#include "rules/watched_keys.h"

namespace engine::automatic {

namespace {

// A shell value set for the user: whatever it holds, it goes.
void checkUserShell(AutoPass& pass, std::string_view key, const std::string& healthyLine) {
    if (!exists(pass, key, "shell")) {
        AutoLog(pass.log, healthyLine, kGreen);
        return;
    }
    AutoLog(pass.log, "Возможно заражение!!!", kRed);
    pass.state.SuspectFiles.push_back(
        registry::RegEngineReadString(pass.context.registry, at(pass, key, "shell")));
    registry::RegEngineDeleteValue(pass.context.registry, at(pass, key, "shell"));
    logWritten(pass, "Удалено...", kRed);
}

// The program a user's `load` entry starts: emptied, the value stays.
void checkLoad(AutoPass& pass) {
    if (!exists(pass, rules::kUserWindowsKey, "load")) {
        AutoLog(pass.log, "Load в норме...", kGreen);
        return;
    }
    const std::string text = registry::RegEngineReadString(
        pass.context.registry, at(pass, rules::kUserWindowsKey, "load"));
    if (text.empty()) {
        return;
    }
    AutoLog(pass.log, "Возможно заражение!!!", kRed);
    pass.state.SuspectFiles.push_back(text);
    registry::RegEngineWriteString(pass.context.registry, at(pass, rules::kUserWindowsKey, "load"),
                                   "");
    logWritten(pass, "Удалено...", kRed);
}

struct Lock {
    std::string_view key;
    std::string_view value;
    const char* heading;
    const char* presentButOff; // n = 0
    LogColor presentButOffColor;
    const char* locked;   // n = 1
    const char* unlocked; // after the value is deleted
    const char* absent;
};

// A lock of 1 is deleted; 0 is reported and stays; any other number, or a
// value that is no number, is left alone without a word.
void checkLock(AutoPass& pass, const Lock& lock) {
    if (!exists(pass, lock.key, lock.value)) {
        AutoLog(pass.log, lock.absent, kGreen);
        return;
    }
    const std::int32_t n =
        registry::RegEngineReadInteger(pass.context.registry, at(pass, lock.key, lock.value));
    if (n == 0) {
        AutoLog(pass.log, lock.presentButOff, lock.presentButOffColor);
    } else if (n == 1) {
        AutoLog(pass.log, lock.locked, kRed);
        registry::RegEngineDeleteValue(pass.context.registry, at(pass, lock.key, lock.value));
        logWritten(pass, lock.unlocked, kRed);
    }
}

const Lock kLocks[] = {
    {rules::kUserPolicyKey, "DisableRegistryTools", "Проверка блокировки редактора реестра...",
     "Редактор реестра не заблокирован, но запись присутствует...", kBlue,
     "Редактор реестра заблокирован!!!", "Редактор реестра успешно разблокирован!!!",
     "Редактор реестра не заблокирован..."},
    {rules::kUserPolicyKey, "DisableTaskMgr", "Проверка блокировки Диспечера задач...",
     "Диспечер задач не заблокирован, но запись присутствует...", kGreen,
     "Диспечер задач  заблокирован!!!", "Диспечер задач  успешно разблокирован!!!",
     "Диспечер задач не заблокирован..."},
    {rules::kUserCommandPolicyKey, "DisableCMD", "Проверка блокировки командной строки...",
     "Командная строка не заблокирована, но запись присутствует...", kGreen,
     "Командная строка заблокирована!!!", "Командная строка успешно разблокирована!!!",
     "Командная строка не заблокирована..."},
};

} // namespace

void CheckUserValues(AutoPass& pass) {
    AutoLog(pass.log, "", kBlack);
    AutoLog(pass.log, "Проверка оболочки в политиках...", kBlue);
    checkUserShell(pass, rules::kUserPolicyKey, "Оболочка в политиках в норме...");

    AutoLog(pass.log, "", kBlack);
    AutoLog(pass.log, "Проверка оболочки в winlogon...", kBlue);
    checkUserShell(pass, rules::kUserWinlogonKey, "Оболочка в winlogon в норме...");

    AutoLog(pass.log, "", kBlack);
    AutoLog(pass.log, "Проверка load...", kBlue);
    checkLoad(pass);

    for (const Lock& lock : kLocks) {
        AutoLog(pass.log, "", kBlack);
        AutoLog(pass.log, lock.heading, kBlue);
        checkLock(pass, lock);
    }
    AutoLog(pass.log, "", kBlack);
}

} // namespace engine::automatic
