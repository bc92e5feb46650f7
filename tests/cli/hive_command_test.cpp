#include <filesystem>
#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "cli/app.h"
#include "cli_run.h"
#include "support/ntfs_volume.h"
#include "support/test_files.h"
#include "support/write_conditions.h"

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

// The three changes, each one that would change the hive.
std::vector<std::vector<std::string>> changesOf(const std::string& hive) {
    return {
        {"hive", "set", hive, "Software\\Тест", "Locker", "REG_SZ", "c:\\locker.exe"},
        {"hive", "delete", hive, "Control Panel\\Desktop", "Wallpaper"},
        {"hive", "rename", hive, "Control Panel", "Панель"},
    };
}

// set, delete and rename write only what a mount would: nothing on a volume
// holding a hibernation image, nothing into a read-only file or volume. With
// --output the new file is what gets written, so its volume decides, and the
// hive is only read.
TEST(HiveCommand, WritesOnlyWhatTheWritePolicyAllows) {
    namespace fs = std::filesystem;
    const std::string source = test::testdata("hives/xp-ntuser.dat").string();
    {
        test::TempDir dir;
        const fs::path hive = test::copyTestFile("hives/xp-ntuser.dat", dir.path());
        fs::permissions(hive, fs::perms::owner_read | fs::perms::group_read);
        for (const auto& args : changesOf(hive.string())) {
            const CliRun r = runCli(args);
            EXPECT_EQ(r.status, kExitError) << args[1] << "\n" << r.out << r.err;
            EXPECT_NE(r.err.find("нельзя изменять"), std::string::npos) << r.err;
            EXPECT_EQ(test::readFile(hive), test::readFile(source));
        }
    }

    test::TempDir work;
    std::string whyNot;
    auto volume = test::NtfsVolume::create(work.path(), whyNot);
    if (!volume) {
        GTEST_SKIP() << "no NTFS volume: " << whyNot;
    }
    fs::create_directories(volume->root() / "Users");
    const fs::path hive = test::copyTestFile("hives/xp-ntuser.dat", volume->root() / "Users");
    test::plantHibernationImage(volume->root());
    for (const auto& args : changesOf(hive.string())) {
        const CliRun r = runCli(args);
        EXPECT_EQ(r.status, kExitError) << args[1] << "\n" << r.out << r.err;
        EXPECT_NE(r.err.find("образ гибернации"), std::string::npos) << r.err;
        EXPECT_EQ(test::readFile(hive), test::readFile(source));
    }
    // A new file on the hibernated volume is refused; the hibernated hive
    // written to a new file elsewhere is only read.
    const fs::path onVolume = volume->root() / "changed";
    const CliRun into =
        runCli({"hive", "delete", source, "Control Panel", "--output", onVolume.string()});
    EXPECT_EQ(into.status, kExitError) << into.out << into.err;
    EXPECT_FALSE(fs::exists(onVolume));
    const fs::path elsewhere = work / "changed";
    const CliRun from =
        runCli({"hive", "delete", hive.string(), "Control Panel", "--output", elsewhere.string()});
    EXPECT_EQ(from.status, kExitOk) << from.out << from.err;
    EXPECT_EQ(test::readFile(hive), test::readFile(source));

    // Once Windows has shut down fully, the hive is written; not when the
    // volume is mounted read-only.
    fs::remove(volume->root() / "hiberfil.sys");
    ASSERT_EQ(volume->remount("ro"), std::nullopt);
    const CliRun readOnly = runCli(changesOf(hive.string())[0]);
    EXPECT_EQ(readOnly.status, kExitError) << readOnly.out << readOnly.err;
    EXPECT_NE(readOnly.err.find("только для чтения"), std::string::npos) << readOnly.err;
    ASSERT_EQ(volume->remount(""), std::nullopt);
    const CliRun fine = runCli(changesOf(hive.string())[0]);
    EXPECT_EQ(fine.status, kExitOk) << fine.out << fine.err;
}

} // namespace
} // namespace cli
