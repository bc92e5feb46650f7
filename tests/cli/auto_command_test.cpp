#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "cli/app.h"
#include "cli/auto_command.h"
#include "cli/log_rendering.h"
#include "cli_run.h"
#include "support/pe_builder.h"
#include "support/target_tree.h"
#include "support/test_files.h"

namespace cli {
namespace {

namespace fs = std::filesystem;
using engine::automatic::LogColor;
using engine::automatic::LogLine;

const std::string kEqualsRule(42, '=');
const std::string kWinlogon = "Microsoft\\Windows NT\\CurrentVersion\\Winlogon";
constexpr const char* kFilesHealthy = "Файлы в порядке...";
constexpr const char* kFilesReplaced = "Требуется вмешательство! Файлы заменены!!!";

// ---- a strict reader of the one JSON shape the command writes ----------------

void appendUtf8(std::string& out, char32_t code) {
    if (code < 0x80) {
        out += static_cast<char>(code);
    } else if (code < 0x800) {
        out += static_cast<char>(0xC0 | (code >> 6));
        out += static_cast<char>(0x80 | (code & 0x3F));
    } else if (code < 0x10000) {
        out += static_cast<char>(0xE0 | (code >> 12));
        out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (code & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (code >> 18));
        out += static_cast<char>(0x80 | ((code >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (code & 0x3F));
    }
}

// A JSON string literal at `at` (RFC 8259: no raw control characters, only the
// standard escapes); `at` moves past it.
std::optional<std::string> readJsonString(const std::string& json, std::size_t& at) {
    if (at >= json.size() || json[at] != '"') {
        return std::nullopt;
    }
    std::string text;
    for (++at; at < json.size(); ++at) {
        const unsigned char c = static_cast<unsigned char>(json[at]);
        if (c == '"') {
            ++at;
            return text;
        }
        if (c < 0x20) {
            return std::nullopt;
        }
        if (c != '\\') {
            text += static_cast<char>(c);
            continue;
        }
        if (++at >= json.size()) {
            return std::nullopt;
        }
        const std::string simple = "\"\\/bfnrt";
        const std::string meaning = "\"\\/\b\f\n\r\t";
        if (const auto k = simple.find(json[at]); k != std::string::npos) {
            text += meaning[k];
        } else if (json[at] == 'u' && at + 4 < json.size()) {
            appendUtf8(text,
                       static_cast<char32_t>(std::stoul(json.substr(at + 1, 4), nullptr, 16)));
            at += 4;
        } else {
            return std::nullopt;
        }
    }
    return std::nullopt;
}

// {"color":"...","text":"..."} exactly, as a log line.
std::optional<LogLine> parseJsonLine(const std::string& json) {
    std::size_t at = 0;
    const auto expect = [&](const std::string& part) {
        if (json.compare(at, part.size(), part) != 0) {
            return false;
        }
        at += part.size();
        return true;
    };
    if (!expect(R"({"color":)")) {
        return std::nullopt;
    }
    const auto color = readJsonString(json, at);
    if (!color || !expect(R"(,"text":)")) {
        return std::nullopt;
    }
    const auto text = readJsonString(json, at);
    if (!text || !expect("}") || at != json.size()) {
        return std::nullopt;
    }
    const std::pair<const char*, LogColor> colours[] = {{"blue", LogColor::Blue},
                                                        {"green", LogColor::Green},
                                                        {"red", LogColor::Red},
                                                        {"black", LogColor::Black}};
    for (const auto& [name, value] : colours) {
        if (*color == name) {
            return LogLine{value, *text};
        }
    }
    return std::nullopt;
}

std::vector<std::string> lines(const std::string& text) {
    std::vector<std::string> result;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) {
        result.push_back(line);
    }
    return result;
}

std::vector<LogLine> parseJsonLog(const std::string& out) {
    std::vector<LogLine> log;
    for (const auto& line : lines(out)) {
        const auto parsed = parseJsonLine(line);
        EXPECT_TRUE(parsed) << "not a log line in JSON: " << line;
        if (parsed) {
            log.push_back(*parsed);
        }
    }
    return log;
}

bool contains(const std::vector<LogLine>& log, const LogLine& line) {
    return std::find(log.begin(), log.end(), line) != log.end();
}

// ---- fixtures ----------------------------------------------------------------

std::string fileText(const fs::path& file) {
    std::ifstream in(file, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
}

void writeFile(const fs::path& file, const std::string& text) {
    fs::create_directories(file.parent_path());
    std::ofstream(file, std::ios::binary) << text;
}

// NO_COLOR set or unset for one test, restored afterwards.
class NoColor {
public:
    explicit NoColor(const char* value) {
        if (const char* old = std::getenv("NO_COLOR")) {
            old_ = old;
        }
        if (value != nullptr) {
            ::setenv("NO_COLOR", value, 1);
        } else {
            ::unsetenv("NO_COLOR");
        }
    }
    NoColor(const NoColor&) = delete;
    NoColor& operator=(const NoColor&) = delete;
    ~NoColor() {
        if (old_) {
            ::setenv("NO_COLOR", old_->c_str(), 1);
        } else {
            ::unsetenv("NO_COLOR");
        }
    }

private:
    std::optional<std::string> old_;
};

const std::string kLocker = "locker in place of taskmgr";
const std::string kCleanTaskmgr = "clean taskmgr";
const std::string kCleanUserinit = "clean userinit";
const std::string kGenuine = "genuine";

// The system's own taskmgr.exe and userinit.exe (real PE files with the
// version strings of Windows XP), built once for all tests.
const fs::path& genuineFiles() {
    static const test::TempDir folder;
    static const bool built = [] {
        test::writeGenuineXpSystemFiles(folder.path());
        return true;
    }();
    static_cast<void>(built);
    return folder.path();
}

// The system files of a locked XP: userinit.exe genuine and missing from the
// cache, taskmgr.exe replaced by a locker and genuine in the cache. Rows 2
// and 3 of the dialog are offered.
void lockSystemFiles(const fs::path& system32) {
    fs::create_directories(system32 / "dllcache");
    fs::copy_file(genuineFiles() / "userinit.exe", system32 / "userinit.exe");
    fs::copy_file(genuineFiles() / "taskmgr.exe", system32 / "dllcache" / "taskmgr.exe");
    writeFile(system32 / "taskmgr.exe", kLocker);
}

// The four files in dialog order (userinit, its cache, taskmgr, its cache):
// kGenuine for the system's own file, "-" for a missing one, else the text.
std::vector<std::string> systemFiles(const fs::path& system32) {
    std::vector<std::string> result;
    for (const char* name :
         {"userinit.exe", "dllcache/userinit.exe", "taskmgr.exe", "dllcache/taskmgr.exe"}) {
        const fs::path file = system32 / name;
        const std::string text = fs::exists(file) ? fileText(file) : "-";
        result.push_back(text == fileText(genuineFiles() / fs::path(name).filename()) ? kGenuine
                                                                                      : text);
    }
    return result;
}

// A locked Windows XP on c:: a foreign shell, a user whose Task Manager is
// blocked, the system files of lockSystemFiles, and the clean copies in a
// BACKUP folder beside.
struct LockedXp {
    test::TargetTree tree;
    test::TempDir work;
    fs::path system32;
    fs::path backup;

    LockedXp() {
        tree.addInstallation('c', "WINDOWS", test::WindowsKind::Xp32,
                             {test::sz(kWinlogon, "Shell", "C:\\WINDOWS\\locker.exe")});
        const fs::path ntuser = tree.addProfile('c', test::WindowsKind::Xp32, "Admin");
        test::plantValues(
            ntuser, {test::dword("Software\\Microsoft\\Windows\\CurrentVersion\\Policies\\System",
                                 "DisableTaskMgr", 1)});
        system32 = tree.drive('c') / "WINDOWS" / "system32";
        lockSystemFiles(system32);
        backup = work / "BACKUP";
        writeFile(backup / "taskmgr.exe", kCleanTaskmgr);
        writeFile(backup / "userinit.exe", kCleanUserinit);
    }

    std::vector<std::string> args(const std::string& restore) {
        std::vector<std::string> result = {
            "auto",         "--drive",      "c=" + tree.drive('c').string(), "--format", "jsonl",
            "--backup-dir", backup.string()};
        if (!restore.empty()) {
            result.push_back("--restore-files");
            result.push_back(restore);
        }
        return result;
    }

    std::vector<std::string> files() const { return systemFiles(system32); }
};

// ---- rendering ---------------------------------------------------------------

TEST(LogRendering, JsonStringEscapesWhatJsonRequiresAndKeepsTheRest) {
    const struct {
        std::string text;
        std::string json;
    } cases[] = {
        {"", R"("")"},
        {R"(say "hi")", R"("say \"hi\"")"},
        {R"(C:\WINDOWS\system32\userinit.exe,)", R"("C:\\WINDOWS\\system32\\userinit.exe,")"},
        {"a\nb\rc\td\be\ff", R"("a\nb\rc\td\be\ff")"},
        {std::string("\x00\x01\x1b[2J\x1f", 7), R"("\u0000\u0001\u001b[2J\u001f")"},
        {"Диспечер задач  заблокирован!!!", R"("Диспечер задач  заблокирован!!!")"},
        {"© ® € \x7f 😀", "\"© ® € \x7f 😀\""},
        // an unpaired surrogate as the engine keeps it (three-byte form)
        {"x\xed\xa0\x80y", R"("x\ud800y")"},
        // bytes that are not UTF-8: a stray continuation, a cut sequence, an
        // overlong form, a byte never used
        {"a\x80"
         "b",
         R"("a\ufffdb")"},
        {"a\xd0", R"("a\ufffd")"},
        {"\xc0\xaf", R"("\ufffd\ufffd")"},
        {"\xff", R"("\ufffd")"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.json);
        EXPECT_EQ(jsonString(c.text), c.json);
    }
}

TEST(LogRendering, JsonLinesReadBackAsTheLine) {
    const LogLine lines[] = {
        {LogColor::Blue, kEqualsRule},
        {LogColor::Green, "Оболочка в норме..."},
        {LogColor::Red, "C:\\Documents and Settings\\\"x\"\t\x01.exe"},
        {LogColor::Black, ""},
    };
    for (const auto& line : lines) {
        const std::string json = jsonLine(line);
        EXPECT_EQ(json.find('\n'), std::string::npos) << json;
        EXPECT_EQ(parseJsonLine(json), line) << json;
    }
    EXPECT_EQ(jsonLine({LogColor::Green, "ok"}), R"({"color":"green","text":"ok"})");
}

TEST(LogRendering, TerminalLinesColourAndDefuseControlCharacters) {
    const struct {
        LogLine line;
        bool colour;
        std::string shown;
    } cases[] = {
        {{LogColor::Blue, "Проверка пользователей..."},
         true,
         "\x1b[34mПроверка пользователей...\x1b[0m"},
        {{LogColor::Green, "Оболочка в норме..."}, true, "\x1b[32mОболочка в норме...\x1b[0m"},
        {{LogColor::Red, "Удалено..."}, true, "\x1b[31mУдалено...\x1b[0m"},
        {{LogColor::Black, "Проверка начата"}, true, "Проверка начата"},
        {{LogColor::Red, ""}, true, ""},
        {{LogColor::Red, "Удалено..."}, false, "Удалено..."},
        // a value a locker wrote must not steer the terminal
        {{LogColor::Red, "x\x1b]0;title\x07\x1b[2Jy"}, false, "x\\x1b]0;title\\x07\\x1b[2Jy"},
        {{LogColor::Red, "a\nb\tc\x7f"}, true, "\x1b[31ma\\x0ab\\x09c\\x7f\x1b[0m"},
        {{LogColor::Black, "\xc2\x9b"
                           "31m and \xff"},
         false,
         "\\u009b31m and \\xff"},
        {{LogColor::Black, "C:\\WINDOWS © Бухгалтер"}, false, "C:\\WINDOWS © Бухгалтер"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.line.text);
        EXPECT_EQ(terminalLine(c.line, c.colour), c.shown);
    }
}

// ---- the command ---------------------------------------------------------------

TEST(AutoCommand, WritesTheLogOfALockedTreeAsJsonLines) {
    LockedXp xp;
    const auto result = runCli(xp.args("none"));
    ASSERT_EQ(result.status, kExitOk) << result.err;
    EXPECT_TRUE(result.err.empty()) << result.err;
    const auto log = parseJsonLog(result.out);
    ASSERT_GE(log.size(), 3U);
    EXPECT_EQ(log.front(), (LogLine{LogColor::Blue, kEqualsRule}));
    EXPECT_EQ(log[1].color, LogColor::Blue);
    EXPECT_EQ(log[1].text.rfind("Старт автоматической проверки...", 0), 0U) << log[1].text;
    for (const LogLine& expected : {
             LogLine{LogColor::Black, "  Путь к системе - c:\\WINDOWS"},
             LogLine{LogColor::Green, "Система успешно загружена..."},
             LogLine{LogColor::Black, "Проверка оболочки...C:\\WINDOWS\\locker.exe"},
             LogLine{LogColor::Red, "Возможно заражение или блокировка...!!!"},
             LogLine{LogColor::Blue, "Оболочка восстановлена...!!!"},
             LogLine{LogColor::Red, kFilesReplaced},
             LogLine{LogColor::Black, "Загружен реестр пользователя:   Admin"},
             LogLine{LogColor::Red, "Диспечер задач  заблокирован!!!"},
             LogLine{LogColor::Red, "Возможные файлы вирусов и блокировщиков: "},
         }) {
        EXPECT_TRUE(contains(log, expected)) << expected.text;
    }
    EXPECT_EQ(log.back(), (LogLine{LogColor::Red, "C:\\WINDOWS\\locker.exe"}));

    // The pass healed the tree: a second one finds nothing to do but the files.
    const auto again = parseJsonLog(runCli(xp.args("none")).out);
    EXPECT_TRUE(contains(again, {LogColor::Green, "Оболочка в норме..."}));
    EXPECT_TRUE(contains(again, {LogColor::Green, "Диспечер задач не заблокирован..."}));
    EXPECT_FALSE(contains(again, {LogColor::Red, "Возможные файлы вирусов и блокировщиков: "}));
}

// A SOFTWARE hive whose write-back fails (folders where its transaction logs
// would be written): the pass runs to its end, says which repairs are lost,
// and exits 3; once the disk is mended, a second pass writes them and exits 0.
TEST(AutoCommand, ExitsThreeWhenRepairsDoNotReachTheDisk) {
    LockedXp xp;
    const fs::path config = xp.system32 / "config";
    const auto software = fileText(config / "software");
    for (const char* log : {"software.LOG", "software.LOG1", "software.LOG2"}) {
        fs::create_directories(config / log);
    }
    const auto result = runCli(xp.args("none"));
    ASSERT_EQ(result.status, kExitNotWritten) << result.err;
    EXPECT_TRUE(result.err.empty()) << result.err;
    const auto log = parseJsonLog(result.out);
    const auto unloaded =
        std::find(log.begin(), log.end(), LogLine{LogColor::Red, "Система не выгружена..."});
    ASSERT_NE(unloaded, log.end()) << result.out;
    ASSERT_NE(unloaded + 1, log.end());
    EXPECT_EQ(unloaded[1].color, LogColor::Red);
    EXPECT_EQ(unloaded[1].text.rfind("Исправления этого куста не записаны на диск (", 0), 0U)
        << unloaded[1].text;
    EXPECT_NE(unloaded[1].text.find("запустите проверку снова"), std::string::npos);
    EXPECT_EQ(fileText(config / "software"), software);
    // The user hive was still repaired and written.
    EXPECT_TRUE(contains(log, {LogColor::Red, "Диспечер задач  успешно разблокирован!!!"}));

    for (const char* folder : {"software.LOG", "software.LOG1", "software.LOG2"}) {
        fs::remove(config / folder);
    }
    const auto again = runCli(xp.args("none"));
    ASSERT_EQ(again.status, kExitOk) << again.err;
    const auto second = parseJsonLog(again.out);
    EXPECT_TRUE(contains(second, {LogColor::Blue, "Оболочка восстановлена...!!!"}));
    EXPECT_TRUE(contains(second, {LogColor::Green, "Система успешно выгружена..."}));
    EXPECT_TRUE(contains(second, {LogColor::Green, "Диспечер задач не заблокирован..."}));
}

TEST(AutoCommand, ColoursTextOnlyForATerminalWithoutNoColorOrWhenForced) {
    test::TempDir empty;
    const std::vector<std::string> base = {"auto", "--drive", "c=" + empty.path().string()};
    const struct {
        const char* name;
        std::vector<std::string> extra;
        bool outIsTerminal;
        const char* noColor;
        bool coloured;
    } cases[] = {
        {"not a terminal", {}, false, nullptr, false},
        {"a terminal", {}, true, nullptr, true},
        {"a terminal, --color=auto", {"--color=auto"}, true, nullptr, true},
        {"a terminal, NO_COLOR", {}, true, "1", false},
        {"a terminal, NO_COLOR empty", {}, true, "", true},
        {"a terminal, --color=never", {"--color=never"}, true, nullptr, false},
        {"a file, --color=always", {"--color=always"}, false, nullptr, true},
        {"NO_COLOR, --color always", {"--color", "always"}, false, "1", true},
        {"jsonl on a terminal", {"--format=jsonl", "--color=always"}, true, nullptr, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const NoColor noColor(c.noColor);
        auto args = base;
        args.insert(args.end(), c.extra.begin(), c.extra.end());
        const auto result = runCli(args, {.outIsTerminal = c.outIsTerminal});
        ASSERT_EQ(result.status, kExitOk) << result.err;
        const auto shown = lines(result.out);
        ASSERT_GE(shown.size(), 2U);
        if (c.coloured) {
            EXPECT_EQ(shown.front(), "\x1b[34m" + kEqualsRule + "\x1b[0m");
            EXPECT_NE(std::find(shown.begin(), shown.end(),
                                "\x1b[31mНе удалось обнаружить ни одной доступной системы.\x1b[0m"),
                      shown.end())
                << result.out;
            EXPECT_NE(std::find(shown.begin(), shown.end(), "Получение списка систем завершено."),
                      shown.end())
                << "a black line keeps the terminal's colour\n"
                << result.out;
        } else {
            EXPECT_EQ(result.out.find('\x1b'), std::string::npos) << result.out;
        }
        if (c.extra.empty() || c.extra.front() != "--format=jsonl") {
            EXPECT_EQ(shown.back(),
                      c.coloured ? "\x1b[34m" + kEqualsRule + "\x1b[0m" : kEqualsRule);
        } else {
            EXPECT_EQ(parseJsonLine(shown.back()), (LogLine{LogColor::Blue, kEqualsRule}));
        }
    }
}

TEST(AutoCommand, RestoreFilesNoneOrAllAnswersTheDialog) {
    const std::vector<std::string> untouched = {kGenuine, "-", kLocker, kGenuine};
    const struct {
        const char* restore;
        std::vector<std::string> files;
        const char* filesLine;
    } cases[] = {
        {"none", untouched, kFilesReplaced},
        // without the option and without a terminal to ask on: none
        {"", untouched, kFilesReplaced},
        // only the offered rows: the genuine files stay as they are
        {"all", {kGenuine, kCleanUserinit, kCleanTaskmgr, kGenuine}, kFilesHealthy},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.restore);
        LockedXp xp;
        const auto result = runCli(xp.args(c.restore));
        ASSERT_EQ(result.status, kExitOk) << result.err;
        EXPECT_TRUE(result.err.empty()) << "nothing asked: " << result.err;
        EXPECT_EQ(xp.files(), c.files);
        const LogColor colour = c.filesLine == kFilesHealthy ? LogColor::Blue : LogColor::Red;
        EXPECT_TRUE(contains(parseJsonLog(result.out), {colour, c.filesLine})) << result.out;
    }
}

TEST(AutoCommand, AsksRowByRowOnTheTerminal) {
    const std::vector<std::string> untouched = {kGenuine, "-", kLocker, kGenuine};
    const struct {
        const char* name;
        const char* restore; // "": the default, with a terminal on stdin
        std::string answers;
        std::vector<std::string> files;
        const char* filesLine;
    } cases[] = {
        {"only taskmgr.exe",
         "ask",
         "n\ny\ny\n",
         {kGenuine, "-", kCleanTaskmgr, kGenuine},
         kFilesHealthy},
        {"the default on a terminal",
         "",
         "n\ny\ny\n",
         {kGenuine, "-", kCleanTaskmgr, kGenuine},
         kFilesHealthy},
        {"Russian answers, a wrong one asked again",
         "ask",
         "да\nмб\nН\nДа\n",
         {kGenuine, kCleanUserinit, kLocker, kGenuine},
         kFilesHealthy},
        {"ticked, then \"Отменить\"", "ask", "y\ny\nn\n", untouched, kFilesReplaced},
        {"the confirmation needs an answer",
         "ask",
         "y\ny\n\ny\n",
         {kGenuine, kCleanUserinit, kCleanTaskmgr, kGenuine},
         kFilesHealthy},
        {"input ends: closed", "ask", "y\n", untouched, kFilesReplaced},
        {"nothing ticked, then \"Восстановить\"", "ask", "\n\ny\n", untouched, kFilesReplaced},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        LockedXp xp;
        const auto result = runCli(xp.args(c.restore), {.in = c.answers, .inIsTerminal = true});
        ASSERT_EQ(result.status, kExitOk) << result.err;
        EXPECT_EQ(xp.files(), c.files);
        const LogColor colour = c.filesLine == kFilesHealthy ? LogColor::Blue : LogColor::Red;
        EXPECT_TRUE(contains(parseJsonLog(result.out), {colour, c.filesLine})) << result.out;
        // The dialog goes to standard error, so the log stays JSON.
        for (const char* shown :
             {"Проверка файлов...", "  Userinit.exe - в порядке",
              "  taskmgr.exe - заменён или отсутствует (c:\\WINDOWS\\system32\\taskmgr.exe)",
              "Восстановить dllcache\\Userinit.exe? [y/N]"}) {
            EXPECT_NE(result.err.find(shown), std::string::npos) << shown << "\n" << result.err;
        }
        EXPECT_EQ(result.err.find("Восстановить Userinit.exe?"), std::string::npos)
            << "a genuine file is not offered\n"
            << result.err;
    }
}

TEST(AutoCommand, TheTerminalDialogKeepsItsTicksForTheNextInstallation) {
    LockedXp xp;
    xp.tree.addInstallation('d', "WINDOWS", test::WindowsKind::Xp32);
    const fs::path second = xp.tree.drive('d') / "WINDOWS" / "system32";
    lockSystemFiles(second);
    auto args = xp.args("ask");
    args.push_back("--drive");
    args.push_back("d=" + xp.tree.drive('d').string());
    // c: both offered rows ticked, then "Отменить"; d: the boxes left as they
    // were, then "Восстановить".
    const auto result = runCli(args, {.in = "y\ny\nn\n\n\ny\n"});
    ASSERT_EQ(result.status, kExitOk) << result.err;
    EXPECT_EQ(xp.files(), (std::vector<std::string>{kGenuine, "-", kLocker, kGenuine}));
    EXPECT_EQ(systemFiles(second),
              (std::vector<std::string>{kGenuine, kCleanUserinit, kCleanTaskmgr, kGenuine}));
    EXPECT_NE(result.err.find("Восстановить taskmgr.exe? [Y/n]"), std::string::npos) << result.err;
    const auto log = parseJsonLog(result.out);
    const auto replaced = std::find(log.begin(), log.end(), LogLine{LogColor::Red, kFilesReplaced});
    const auto healthy = std::find(log.begin(), log.end(), LogLine{LogColor::Blue, kFilesHealthy});
    EXPECT_TRUE(replaced < healthy && healthy != log.end()) << result.out;
}

TEST(AutoCommand, RefusesBadUsageInOneLine) {
    test::TempDir dir;
    const std::string drive = "c=" + dir.path().string();
    const struct {
        std::vector<std::string> args;
        const char* says;
    } cases[] = {
        {{"auto", "--drive", drive, "--format", "xml"}, "xml"},
        {{"auto", "--drive", drive, "--color", "sometimes"}, "sometimes"},
        {{"auto", "--drive", drive, "--restore-files", "some"}, "some"},
        {{"auto", "--drive", drive, "--backup-dir"}, "--backup-dir"},
        {{"auto", "--drive", drive, "--countdown", "15"}, "--countdown"},
        {{"auto", "--drive", "1=" + dir.path().string()}, "от a до z"},
        {{"auto", "--drive", "c=" + dir.path().string() + "/missing"}, "missing"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.says);
        const auto result = runCli(c.args);
        EXPECT_EQ(result.status, kExitError);
        EXPECT_TRUE(result.out.empty()) << result.out;
        EXPECT_NE(result.err.find(c.says), std::string::npos) << result.err;
        EXPECT_EQ(result.err.find('\n'), result.err.size() - 1) << result.err;
    }
}

} // namespace
} // namespace cli
