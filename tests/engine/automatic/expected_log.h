#pragma once

// The pieces the expected logs of the automatic pass are built from: every
// text here is the literal line the operator sees.

#include <initializer_list>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "automatic/auto_log.h"
#include "support/independent_readers.h"

namespace test::autolog {

using engine::automatic::LogColor;
using engine::automatic::LogLine;
using Log = std::vector<LogLine>;

inline LogLine blue(std::string text) {
    return {LogColor::Blue, std::move(text)};
}
inline LogLine green(std::string text) {
    return {LogColor::Green, std::move(text)};
}
inline LogLine red(std::string text) {
    return {LogColor::Red, std::move(text)};
}
inline LogLine black(std::string text) {
    return {LogColor::Black, std::move(text)};
}
inline const LogLine kEmpty{LogColor::Black, ""};

inline Log join(std::initializer_list<Log> pieces) {
    Log log;
    for (const Log& piece : pieces) {
        log.insert(log.end(), piece.begin(), piece.end());
    }
    return log;
}

// The log as "colour | text" lines, so that a difference reads plainly.
inline std::vector<std::string> readable(const Log& log) {
    std::vector<std::string> lines;
    for (const LogLine& line : log) {
        lines.push_back(std::string(engine::automatic::colorName(line.color)) + " | " + line.text);
    }
    return lines;
}

inline ::testing::AssertionResult sameLog(const Log& expected, const Log& actual) {
    return test::sameLines("expected", readable(expected), "logged", readable(actual));
}

inline const std::string kEquals = "==========================================";
inline const std::string kPlus = "+++++++++++++++++++++++++++++++++++++++++++++++++++++";
inline const std::string kDashes = "----------------------------------------------------------";

// The fixed clock of the tests, 22:13:20 UTC, as the C locale writes it.
inline const std::string kTime = "22:13:20";

// The start of a pass and the discovery listing; with the count when
// something was found.
inline Log passStart(const std::vector<std::string>& folders) {
    Log log = {blue(kEquals), blue("Старт автоматической проверки..." + kTime), kEmpty,
               blue("Получение списка систем для проверки."), black(kDashes)};
    for (const std::string& folder : folders) {
        log.push_back(black("  Путь к системе - " + folder));
    }
    log.push_back(black(kDashes));
    log.push_back(black("Получение списка систем завершено."));
    if (!folders.empty()) {
        log.push_back(kEmpty);
        log.push_back(black("Количество найденных систем: " + std::to_string(folders.size())));
    }
    return log;
}

inline const Log kNothingFound = {red("Не удалось обнаружить ни одной доступной системы."),
                                  blue("Выходим..."), blue(kEquals)};

inline Log systemLoaded(const std::string& product, const std::string& build,
                        const std::string& root, bool is64) {
    return {black(kPlus),
            blue("Попытка загрузки системы..."),
            green("Система успешно загружена..."),
            black(kDashes),
            black("  Информация о загруженной системе:"),
            black("  Операционная система: " + product),
            black("  Номер сборки: " + build),
            black("  Системный каталог: " + root),
            black(is64 ? "  64 битная версия" : "  32 битная версия"),
            black(kDashes),
            black("Проверка начата"),
            kEmpty};
}
inline const std::string kXpBuild = "2600.xpsp_sp3_gdr.080814-1236";
inline const std::string kWin7Build = "7601.win7sp1_gdr.130828-1532";

inline Log systemNotLoaded(const std::string& hive) {
    return {black(kPlus), blue("Попытка загрузки системы..."),
            red("Куст " + hive + " не загружен...")};
}

inline const Log kSystemDone = {kEmpty, black("Проверка закончена"),
                                green("Система успешно выгружена...")};

inline const Log kFilesGood = {blue("Файлы в порядке...")};
inline const Log kFilesBad = {red("Требуется вмешательство! Файлы заменены!!!")};

inline Log systemRoot(const std::string& root) {
    return {black("Получение системного каталога..." + root)};
}

inline const LogLine kInfection = red("Возможно заражение или блокировка...!!!");

inline Log shellHealthy(const std::string& shell) {
    return {black("Проверка оболочки..." + shell), green("Оболочка в норме...")};
}
inline Log shellHealed(const std::string& shell) {
    return {black("Проверка оболочки..." + shell), kInfection, red("Восстановление оболочки...!!!"),
            blue("Оболочка восстановлена...!!!")};
}
inline Log userinitHealthy(const std::string& userinit) {
    return {black("Получение программы инициализации пользователя..." + userinit),
            green("Программа инициализации пользователя в норме...")};
}
inline Log userinitHealed(const std::string& userinit) {
    return {black("Получение программы инициализации пользователя..." + userinit), kInfection,
            red("Восстановление программы инициализации пользователя...!!!"),
            blue("Программа инициализации пользователя восстановлена...!!!")};
}
inline const Log kTaskmanAbsent = {blue("Проверка Значения Taskman...!!!")};
inline const Log kTaskmanRemoved = {blue("Проверка Значения Taskman...!!!"), kInfection,
                                    blue("Значение удалено...!!!")};
inline const Log kTaskmanEmpty = {blue("Проверка Значения Taskman...!!!"), kInfection};
inline const Log kGinaAbsent = {blue("Проверка Значения GinaDll...!!!")};
inline const Log kGinaRemoved = {blue("Проверка Значения GinaDll...!!!"), kInfection,
                                 blue("Значение удалено...!!!")};

inline const Log kUsersStart = {black(kPlus), blue("Проверка пользователей...")};
inline const Log kNoUsers = {blue("Пользователей не найдено...")};

inline Log userLoaded(const std::string& name) {
    return {black(kPlus), black("Загружен реестр пользователя:   " + name)};
}
inline Log userDone(const std::string& name) {
    return {black("Выгружаем пользователя: " + name), blue("Пользователь выгружен...")};
}
inline const Log kUserNotLoaded = {black(kPlus), red("Ошибка загрузки...")};

// The six user checks, each after an empty line and its heading, with the
// lines that follow each heading.
struct UserOutcome {
    Log policyShell, winlogonShell, load, registryTools, taskMgr, cmd;
};
inline Log userChecks(const UserOutcome& o) {
    return join({{kEmpty, blue("Проверка оболочки в политиках...")},
                 o.policyShell,
                 {kEmpty, blue("Проверка оболочки в winlogon...")},
                 o.winlogonShell,
                 {kEmpty, blue("Проверка load...")},
                 o.load,
                 {kEmpty, blue("Проверка блокировки редактора реестра...")},
                 o.registryTools,
                 {kEmpty, blue("Проверка блокировки Диспечера задач...")},
                 o.taskMgr,
                 {kEmpty, blue("Проверка блокировки командной строки...")},
                 o.cmd,
                 {kEmpty}});
}
inline const Log kSilent = {};
inline const Log kRemoved = {red("Возможно заражение!!!"), red("Удалено...")};
inline const Log kPolicyShellHealthy = {green("Оболочка в политиках в норме...")};
inline const Log kWinlogonShellHealthy = {green("Оболочка в winlogon в норме...")};
inline const Log kLoadAbsent = {green("Load в норме...")};
inline const Log kRegistryToolsAbsent = {green("Редактор реестра не заблокирован...")};
inline const Log kRegistryToolsZero = {
    blue("Редактор реестра не заблокирован, но запись присутствует...")};
inline const Log kRegistryToolsUnlocked = {red("Редактор реестра заблокирован!!!"),
                                           red("Редактор реестра успешно разблокирован!!!")};
inline const Log kTaskMgrAbsent = {green("Диспечер задач не заблокирован...")};
inline const Log kTaskMgrZero = {
    green("Диспечер задач не заблокирован, но запись присутствует...")};
inline const Log kTaskMgrUnlocked = {red("Диспечер задач  заблокирован!!!"),
                                     red("Диспечер задач  успешно разблокирован!!!")};
inline const Log kCmdAbsent = {green("Командная строка не заблокирована...")};
inline const Log kCmdZero = {green("Командная строка не заблокирована, но запись присутствует...")};
inline const Log kCmdUnlocked = {red("Командная строка заблокирована!!!"),
                                 red("Командная строка успешно разблокирована!!!")};

// A user hive with nothing set, as the real XP and Windows 7 NTUSER.DAT files
// are (their `load` is present and empty).
inline const UserOutcome kHealthyRealUser = {
    kPolicyShellHealthy,  kWinlogonShellHealthy, kSilent,
    kRegistryToolsAbsent, kTaskMgrAbsent,        kCmdAbsent};

inline Log summary(const std::vector<std::string>& suspects) {
    Log log = {kEmpty, black(kPlus), blue("Завершение автоматической проверки..." + kTime),
               black("Все найденные системы проверены...")};
    if (suspects.empty()) {
        log.push_back(blue("Проблем не обнаружено...Воспользуйтесь ручным режимом..."));
        return log;
    }
    log.push_back(red("Возможные файлы вирусов и блокировщиков: "));
    log.push_back(kEmpty);
    for (const std::string& suspect : suspects) {
        log.push_back(red(suspect));
    }
    return log;
}

// Our own lines beside the pass's, when a hive did not mount for a reason the
// operator can act on, or was recovered from its logs.
inline const std::string kNotAHiveNote = "Файл не является кустом реестра или его заголовок "
                                         "разрушен: восстановите куст из резервной копии";
inline const std::string kDamagedNote = "Куст повреждён, изменять его небезопасно: проверьте диск "
                                        "(chkdsk) или восстановите куст из резервной копии";
inline const std::string kDirtyNote = "Куст не был сохранён до конца, а его журналы непригодны: "
                                      "загрузите Windows и завершите работу полностью, затем "
                                      "повторите";
inline const std::string kHibernatedNote = "Том в спящем режиме (быстрый запуск Windows): "
                                           "загрузите Windows и завершите работу полностью, затем "
                                           "повторите";
inline const std::string kReadOnlyNote = "Файл или том нельзя изменять (только чтение, сжатие или "
                                         "шифрование NTFS): подключите том для записи или снимите "
                                         "эти атрибуты, затем повторите";
inline const std::string kRecoveredNote =
    "Куст восстановлен из журналов транзакций: Windows не успела сохранить его до конца";

} // namespace test::autolog
