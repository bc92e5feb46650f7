// "regedit.exe" and "taskkill /f /im regedit.exe" through the real launcher
// (with no tool folder and an empty PATH, so nothing outside can start):
// the first opens the editor window, the second closes it so that its hive
// can be unmounted.
#include <string>
#include <vector>

#include "platform/launcher.h"
#include "regedit/registry_editor_commands.h"
#include "ui/regedit/regedit_fixture.h"

namespace regedit_test {
namespace {

using engine::platform::ProcessLauncher;
using engine::platform::ShowMode;

class RegeditCommandsTest : public RegeditTest {
protected:
    void SetUp() override {
        RegeditTest::SetUp();
        takeOverEditorCommands(launcher_, window());
    }
    void run(const std::string& commandLine, ShowMode show = ShowMode::Normal) {
        launcher_.run(commandLine, show);
    }
    ProcessLauncher launcher_{{}, ""};
};

TEST_F(RegeditCommandsTest, RegeditOpensAndTaskkillClosesSoTheHiveCanBeUnmounted) {
    ASSERT_FALSE(window().isVisible());
    run("regedit.exe");
    EXPECT_TRUE(window().isVisible());
    EXPECT_EQ(selectedKey(), QStringLiteral("Компьютер"));

    window().openAt(kUser + QStringLiteral("\\Software"));
    run("taskkill /f /im regedit.exe", ShowMode::MinimizedNoActive);
    EXPECT_FALSE(window().isVisible());
    // Nothing of the hive is left in the window.
    EXPECT_EQ(keys().topLevelItemCount(), 0);
    EXPECT_EQ(values().rowCount(), 0);
    ASSERT_TRUE(engine::registry::UnloadHive(context_, engine::registry::kUserMount))
        << context_.registry.lastOutcome().detail;

    // Opened again at the key it showed last, or what is left of it.
    run("REGEDIT.EXE");
    EXPECT_TRUE(window().isVisible());
    EXPECT_EQ(window().currentKeyPath(), QStringLiteral("HKEY_LOCAL_MACHINE"));
    window().openAt(kRun);
    run("taskkill /F /IM Regedit.exe");
    run("C:\\WINDOWS\\regedit.exe");
    EXPECT_EQ(window().currentKeyPath(), kRun);
}

TEST_F(RegeditCommandsTest, OnlyTaskkillOfTheEditorClosesIt) {
    const std::vector<std::pair<std::string, bool>> cases = {
        {"taskkill /f /im regedit.exe", true},
        {"TASKKILL.EXE /IM REGEDIT.EXE /F", true},
        {"taskkill /f /im notepad.exe", false},
        {"taskkill /f regedit.exe", false},
        {"taskkill /f /im regedit", false},
        {"taskkill /f /pid 1234", false},
        {"taskkill", false},
    };
    for (const auto& [commandLine, closes] : cases) {
        SCOPED_TRACE(commandLine);
        window().openAt(kRun);
        run(commandLine, ShowMode::MinimizedNoActive);
        EXPECT_EQ(window().isVisible(), !closes);
        EXPECT_EQ(keys().topLevelItemCount() == 0, closes);
    }
}

} // namespace
} // namespace regedit_test
