#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "cli/app.h"
#include "cli_run.h"
#include "support/target_tree.h"

namespace cli {
namespace {

TEST(ScanCommand, PrintsTheInstallationsOnTheGivenDrives) {
    test::TargetTree tree;
    tree.addInstallation('c', "WINDOWS", test::WindowsKind::Xp32);
    tree.addInstallation('d', "Windows", test::WindowsKind::Win7x64);
    const std::string separator(58, '-');
    const auto result =
        runCli({"scan", "--drive", "c=" + tree.drive('c').string(), "--drive",
                "D=" + tree.drive('d').string(), "--cdrom", "e=" + tree.drive('c').string()});
    EXPECT_EQ(result.status, kExitOk) << result.err;
    EXPECT_EQ(result.out, separator + "\n  Путь к системе - c:\\WINDOWS\n" +
                              "  Путь к системе - d:\\Windows\n" + separator + "\n");
}

TEST(ScanCommand, RefusesBadUsageInOneLine) {
    test::TempDir dir;
    const std::string folder = dir.path().string();
    const struct {
        std::vector<std::string> args;
        const char* says;
    } cases[] = {
        {{"scan", "--no-such-option"}, "--no-such-option"},
        {{"scan", "--drive", "1=" + folder}, "от a до z"},
        {{"scan", "--drive", "cd=" + folder}, "от a до z"},
        {{"scan", "--removable", "c=" + folder + "/missing"}, "missing"},
        {{"scan", "--cdrom", folder}, "БУКВА=ПАПКА"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.args.back());
        const auto result = runCli(c.args);
        EXPECT_EQ(result.status, kExitError);
        EXPECT_TRUE(result.out.empty()) << result.out;
        EXPECT_NE(result.err.find(c.says), std::string::npos) << result.err;
        EXPECT_EQ(result.err.find('\n'), result.err.size() - 1) << result.err;
    }
}

TEST(ScanCommand, HelpNamesTheDriveOptions) {
    const auto result = runCli({"scan", "--help"});
    EXPECT_EQ(result.status, kExitOk);
    for (const char* option : {"--drive", "--removable", "--cdrom", "MountedDevices"}) {
        EXPECT_NE(result.out.find(option), std::string::npos) << option;
    }
}

} // namespace
} // namespace cli
