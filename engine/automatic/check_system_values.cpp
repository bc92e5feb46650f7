// The installation checks of the automatic pass: the system files of a
// Windows XP, and the Winlogon shell, user-initialisation program, Taskman
// and GinaDll values, healed without asking.
#include <string>
#include <string_view>
#include <vector>

#include "automatic/auto_pass.h"
#include "automatic/pass_values.h"
#include "context/context.h"
#include "platform/latin_case.h"
#include "registry/reg_engine.h"
#include "rules/split_comma_list.h"
#include "rules/system_files.h"
#include "rules/watched_keys.h"
#include "rules/winlogon_defaults.h"

namespace engine::automatic {

namespace {

using platform::equalIgnoringLatinCase;

void checkShell(AutoPass& pass, std::string_view winlogon, const std::string& shell, bool locked) {
    AutoLog(pass.log, "Проверка оболочки..." + shell, kBlack);
    if (!locked) {
        AutoLog(pass.log, "Оболочка в норме...", kGreen);
        return;
    }
    AutoLog(pass.log, "Возможно заражение или блокировка...!!!", kRed);
    std::vector<std::string> items;
    if (rules::SplitCommaList(shell, items) > 0) {
        for (const std::string& item : items) {
            if (!equalIgnoringLatinCase(item, rules::kHealthyShell)) {
                pass.state.SuspectFiles.push_back(item);
            }
        }
    }
    AutoLog(pass.log, "Восстановление оболочки...!!!", kRed);
    registry::RegEngineWriteString(pass.context.registry, at(pass, winlogon, "shell"),
                                   std::string(rules::kDefaultShell));
    logWritten(pass, "Оболочка восстановлена...!!!", kBlue);
}

void checkUserinit(AutoPass& pass, std::string_view winlogon, const std::string& userinit,
                   bool locked, const std::string& systemRoot, const std::string& resetValue) {
    AutoLog(pass.log, "Получение программы инициализации пользователя..." + userinit, kBlack);
    if (!locked) {
        AutoLog(pass.log, "Программа инициализации пользователя в норме...", kGreen);
        return;
    }
    std::vector<std::string> items;
    if (rules::SplitCommaList(userinit, items) > 0) {
        const std::string path = rules::userinitPath(systemRoot);
        for (const std::string& item : items) {
            if (!equalIgnoringLatinCase(item, rules::kUserinitName) &&
                !equalIgnoringLatinCase(item, path)) {
                pass.state.SuspectFiles.push_back(item);
            }
        }
    }
    AutoLog(pass.log, "Возможно заражение или блокировка...!!!", kRed);
    AutoLog(pass.log, "Восстановление программы инициализации пользователя...!!!", kRed);
    registry::RegEngineWriteString(pass.context.registry, at(pass, winlogon, "Userinit"),
                                   resetValue);
    logWritten(pass, "Программа инициализации пользователя восстановлена...!!!", kBlue);
}

// Taskman and GinaDll: absent by default. A value with text is taken out; one
// whose text is empty is reported but stays.
void checkAbsentValue(AutoPass& pass, std::string_view winlogon, std::string_view value,
                      const std::string& text, bool locked, const std::string& heading) {
    AutoLog(pass.log, heading, kBlue);
    registry::OfflineRegistry& registry = pass.context.registry;
    if (!registry::RegEngineValueExists(registry, at(pass, winlogon, value))) {
        return;
    }
    AutoLog(pass.log, "Возможно заражение или блокировка...!!!", kRed);
    if (!locked) {
        return;
    }
    pass.state.SuspectFiles.push_back(text);
    registry::RegEngineDeleteValue(registry, at(pass, winlogon, value));
    logWritten(pass, "Значение удалено...!!!", kBlue);
}

// Steps 4 to 7 on one Winlogon key, judged as the console judges it, with the
// Userinit reset value of that key.
void checkWinlogon(AutoPass& pass, rules::WinlogonKey key, const std::string& systemRoot,
                   const std::string& userinitReset) {
    const std::string_view winlogon = rules::winlogonKeyPath(key);
    const rules::WinlogonValues values{
        readString(pass, winlogon, "shell"), readString(pass, winlogon, "Userinit"),
        readString(pass, winlogon, "Taskman"), readString(pass, winlogon, "GinaDll")};
    const rules::WinlogonVerdict verdict = rules::judgeWinlogon(key, values, systemRoot);
    checkShell(pass, winlogon, values.shell, verdict.shell);
    checkUserinit(pass, winlogon, values.userinit, verdict.userinit, systemRoot, userinitReset);
    checkAbsentValue(pass, winlogon, "Taskman", values.taskman, verdict.taskman,
                     "Проверка Значения Taskman...!!!");
    checkAbsentValue(pass, winlogon, "GinaDll", values.gina, verdict.gina,
                     "Проверка Значения GinaDll...!!!");
}

} // namespace

void CheckSystemValues(AutoPass& pass, int index) {
    Context& context = pass.context;

    context.LoadedProductName = readString(pass, rules::kCurrentVersionKey, "ProductName");
    if (context.LoadedProductName == "Microsoft Windows XP") {
        if (rules::CheckSystemFiles(context, index, pass.restore)) {
            AutoLog(pass.log, "Файлы в порядке...", kBlue);
        } else {
            AutoLog(pass.log, "Требуется вмешательство! Файлы заменены!!!", kRed);
        }
    }

    const std::string systemRoot = readString(pass, rules::kCurrentVersionKey, "SystemRoot");
    AutoLog(pass.log, "Получение системного каталога..." + systemRoot, kBlack);

    // A 64-bit Windows starts its logon from the native Winlogon key, and its
    // 32-bit programs see the Wow6432Node one: a locker may sit in either, so
    // both are checked, the native key first with the reset value of a
    // native key. A 32-bit installation has only the native key. A Shell or
    // Userinit that the Wow6432Node key lacks is healthy there and is not
    // written (judgeWinlogon).
    checkWinlogon(pass, rules::WinlogonKey::Native, systemRoot,
                  rules::userinitDefault32(systemRoot));
    if (context.Is64BitSystem) {
        checkWinlogon(pass, rules::WinlogonKey::Wow6432Node, systemRoot,
                      std::string(rules::kUserinitName));
    }
}

} // namespace engine::automatic
