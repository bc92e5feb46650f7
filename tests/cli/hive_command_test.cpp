#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "cli/app.h"
#include "cli_run.h"
#include "support/test_files.h"

namespace cli {
namespace {

TEST(HiveCommand, ExitCodesSayYesNoOrCouldNot) {
    const std::string xp = test::testdata("hives/xp-ntuser.dat").string();
    const struct {
        std::vector<std::string> args;
        int status;
        const char* shown; // part of what is printed
    } cases[] = {
        {{"hive", "check", xp}, kExitOk, "можно изменять"},
        {{"hive", "check", test::testdata("hives/corrupt/WrongOrderHive").string()},
         kExitRefused,
         "не по порядку"},
        {{"hive", "get", xp, "Control Panel\\Desktop", "Wallpaper"},
         kExitOk,
         "REG_SZ \"C:\\\\WINDOWS\\\\web\\\\wallpaper\\\\Bliss.bmp\"\n"},
        {{"hive", "get", xp, "Control Panel\\Desktop", "NoSuchValue"}, kExitRefused, "Нет такого"},
        {{"hive", "get", xp, "No\\Such\\Key", "x"}, kExitRefused, "Нет такого раздела"},
        {{"hive", "dump", xp, "No\\Such\\Key"}, kExitError, "нет такого раздела"},
        {{"hive", "dump", "/nonexistent/hive"}, kExitError, "/nonexistent/hive"},
        {{"hive", "set", xp, "Software", "x", "REG_WHATEVER", "y", "--output", "/tmp/none"},
         kExitError,
         "Неизвестный тип"},
    };
    for (const auto& c : cases) {
        const CliRun r = runCli(c.args);
        EXPECT_EQ(r.status, c.status) << c.args[1] << " " << c.args.back() << "\n"
                                      << r.out << r.err;
        EXPECT_NE((r.out + r.err).find(c.shown), std::string::npos) << c.args[1] << "\n"
                                                                    << r.out << r.err;
    }
}

TEST(HiveCommand, ChangesGoToANewFileThatReadsBack) {
    test::TempDir dir;
    const std::string source = test::testdata("hives/win7-ntuser.dat").string();
    const std::string first = (dir / "first").string();
    const std::string second = (dir / "second").string();
    const std::string third = (dir / "third").string();

    ASSERT_EQ(runCli({"hive", "set", source, "Software\\Тест\\Run", "Locker", "REG_EXPAND_SZ",
                      "%TEMP%\\locker.exe", "--output", first})
                  .status,
              kExitOk);
    ASSERT_EQ(
        runCli({"hive", "rename", first, "software\\тест", "Проверка", "--output", second}).status,
        kExitOk);
    const CliRun got = runCli({"hive", "get", second, "Software\\ПРОВЕРКА\\Run", "locker"});
    EXPECT_EQ(got.out, "REG_EXPAND_SZ \"%TEMP%\\\\locker.exe\"\n");

    ASSERT_EQ(
        runCli({"hive", "delete", second, "Software\\Проверка\\Run", "Locker", "--output", third})
            .status,
        kExitOk);
    EXPECT_EQ(runCli({"hive", "dump", third, "Software\\Проверка"}).out,
              "[Software\\Проверка]\n[Software\\Проверка\\Run]\n");
    EXPECT_EQ(runCli({"hive", "check", third}).status, kExitOk);
    // The source is untouched and an existing file is never overwritten.
    EXPECT_EQ(runCli({"hive", "get", source, "Software\\Тест\\Run", "Locker"}).status,
              kExitRefused);
    EXPECT_EQ(runCli({"hive", "delete", third, "Software\\Проверка", "--output", first}).status,
              kExitError);
}

TEST(HiveCommand, WritesChangesBackInPlaceThroughTheHivesLog) {
    test::TempDir dir;
    const auto file = test::copyTestFile("hives/win81-ntuser.dat", dir.path());
    const std::string hive = file.string();
    const CliRun set =
        runCli({"hive", "set", hive, "Software\\Microsoft\\Windows\\CurrentVersion\\Run", "Locker",
                "REG_SZ", "c:\\locker.exe"});
    ASSERT_EQ(set.status, kExitOk) << set.out << set.err;
    EXPECT_NE(set.out.find("win81-ntuser.dat.LOG"), std::string::npos) << set.out;
    EXPECT_EQ(
        runCli({"hive", "get", hive, "Software\\Microsoft\\Windows\\CurrentVersion\\Run", "locker"})
            .out,
        "REG_SZ \"c:\\\\locker.exe\"\n");
    EXPECT_EQ(runCli({"hive", "check", hive}).status, kExitOk);
    // Deleting what is not there changes nothing and says so.
    EXPECT_EQ(runCli({"hive", "delete", hive, "Software", "NoSuchValue"}).status, kExitRefused);
}

} // namespace
} // namespace cli
