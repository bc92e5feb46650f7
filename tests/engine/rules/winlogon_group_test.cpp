// The console's Winlogon group over real mounted SOFTWARE hives: what it
// shows and judges, which key it takes on a 64-bit installation, the resets
// (on screen only) and what Save writes.
#include <filesystem>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "context/context.h"
#include "registry/hive_mounting.h"
#include "rules/winlogon_group.h"
#include "support/target_tree.h"

#include "support/hive_dump_diff.h"

namespace engine::rules {
namespace {

namespace fs = std::filesystem;
using test::dword;
using test::PlantedValue;
using test::sz;
using test::WindowsKind;
using test::dumpdiff::Change;
using test::dumpdiff::HiveSnapshot;
using test::dumpdiff::szLine;
using Strings = std::vector<std::string>;

const std::string kWinlogon = "Microsoft\\Windows NT\\CurrentVersion\\Winlogon";
const std::string kWowWinlogon = "Wow6432Node\\" + kWinlogon;
constexpr TextColour kBlack = TextColour::Black;
constexpr TextColour kRed = TextColour::Red;

// One installation on drive c:, its SOFTWARE hive mounted as the console
// mounts it.
class WinlogonGroupTest : public ::testing::Test {
protected:
    fs::path install(WindowsKind kind, const std::vector<PlantedValue>& extra) {
        kind_ = kind;
        hive_ = tree_.addInstallation('c', folder(), kind, extra);
        context_ = tree_.context();
        return hive_;
    }
    std::string folder() const { return kind_ == WindowsKind::Xp32 ? "WINDOWS" : "Windows"; }
    void mount() {
        ASSERT_TRUE(registry::LoadHive(context_, registry::kSoftwareMount,
                                       "c:\\" + folder() + "\\system32\\config\\software"))
            << context_.registry.lastOutcome().detail;
    }
    void unmount() { ASSERT_TRUE(registry::UnloadHive(context_, registry::kSoftwareMount)); }
    WinlogonGroup load() {
        WinlogonGroup group;
        mount();
        group = LoadWinlogonGroup(context_, files_);
        return group;
    }

    test::TargetTree tree_;
    WindowsKind kind_ = WindowsKind::Xp32;
    fs::path hive_;
    Context context_;
    Strings files_ = {"left from before"};
};

TEST_F(WinlogonGroupTest, LoadingJudgesTheValuesAndListsTheForeignPrograms) {
    struct Case {
        const char* what;
        std::vector<PlantedValue> values;
        TextColour shell;
        TextColour userinit;
        Strings files;
    };
    const std::vector<Case> cases = {
        {"the fixture's defaults", {}, kBlack, kBlack, {}},
        {"shell in capitals, bare userinit",
         {sz(kWinlogon, "Shell", "EXPLORER.EXE"), sz(kWinlogon, "Userinit", "userinit.exe")},
         kBlack,
         kBlack,
         {}},
        {"userinit without its comma, other case",
         {sz(kWinlogon, "Userinit", "c:\\windows\\SYSTEM32\\USERINIT.EXE")},
         kBlack,
         kBlack,
         {}},
        {"a space after the shell is not the default",
         {sz(kWinlogon, "Shell", "explorer.exe ")},
         kRed,
         kBlack,
         {"explorer.exe "}},
        {"the default shell followed by a locker",
         {sz(kWinlogon, "Shell", "explorer.exe,C:\\x\\locker.exe")},
         kRed,
         kBlack,
         {"C:\\x\\locker.exe"}},
        {"the default userinit followed by a second program",
         {sz(kWinlogon, "Userinit", "C:\\WINDOWS\\system32\\userinit.exe,C:\\WINDOWS\\ms.exe")},
         kBlack,
         kRed,
         {"C:\\WINDOWS\\ms.exe"}},
        {"userinit under another drive letter than the installation names",
         {sz(kWinlogon, "Userinit", "D:\\WINDOWS\\system32\\userinit.exe,")},
         kBlack,
         kRed,
         {"D:\\WINDOWS\\system32\\userinit.exe"}},
        {"empty shell and userinit are red and list nothing",
         {sz(kWinlogon, "Shell", ""), sz(kWinlogon, "Userinit", "")},
         kRed,
         kRed,
         {}},
        {"a shell of another type reads as empty",
         {dword(kWinlogon, "Shell", 1)},
         kRed,
         kBlack,
         {}},
        {"taskman starting with a comma lists an empty entry",
         {sz(kWinlogon, "Taskman", ",C:\\a.exe")},
         kBlack,
         kBlack,
         {"", "C:\\a.exe"}},
        {"entries in the order Taskman, GinaDll, Userinit, Shell",
         {sz(kWinlogon, "Shell", "s.exe, explorer.exe"),
          sz(kWinlogon, "Userinit", "userinit.exe,u.exe"), sz(kWinlogon, "GinaDll", "g.dll"),
          sz(kWinlogon, "Taskman", "t.exe")},
         kRed,
         kRed,
         {"t.exe", "g.dll", "u.exe", "s.exe"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        test::TargetTree tree;
        tree.addInstallation('c', "WINDOWS", WindowsKind::Xp32, c.values);
        Context context = tree.context();
        ASSERT_TRUE(registry::LoadHive(context, registry::kSoftwareMount,
                                       "c:\\WINDOWS\\system32\\config\\software"));
        Strings files = {"left from before"};
        const WinlogonGroup group = LoadWinlogonGroup(context, files);
        EXPECT_EQ(group.ShellColour, c.shell);
        EXPECT_EQ(group.UserinitColour, c.userinit);
        EXPECT_EQ(files, c.files);
        EXPECT_FALSE(group.Is64Bit);
        EXPECT_EQ(group.Key, WinlogonKey::Native);
    }
}

TEST_F(WinlogonGroupTest, LoadingReadsTheEditsAndTheInstallationsNames) {
    install(WindowsKind::Xp32, {sz(kWinlogon, "Shell", "explorer.exe,C:\\x\\locker.exe"),
                                sz(kWinlogon, "Taskman", "C:\\t.exe")});
    const WinlogonGroup group = load();
    EXPECT_EQ(group.Shell, "explorer.exe,C:\\x\\locker.exe");
    EXPECT_EQ(group.Userinit, "C:\\WINDOWS\\system32\\userinit.exe,");
    EXPECT_EQ(group.Taskman, "C:\\t.exe");
    EXPECT_EQ(group.GinaDll, "");
    EXPECT_EQ(context_.LoadedProductName, "Microsoft Windows XP");
    EXPECT_EQ(context_.LoadedSystemRoot, "C:\\WINDOWS");
}

// A 64-bit installation: the native key is what its logon reads, so a locker
// there is shown (and saved away) first; the Wow6432Node key is shown only
// when it alone holds something suspect.
TEST_F(WinlogonGroupTest, A64BitInstallationShowsTheKeyThatHoldsTheLocker) {
    struct Case {
        const char* what;
        std::vector<PlantedValue> values;
        WinlogonKey key;
        std::string shell;
        Strings files;
    };
    const std::vector<Case> cases = {
        {"both healthy (no Userinit in the Wow6432Node key)",
         {},
         WinlogonKey::Native,
         "Explorer.exe",
         {}},
        {"locker in the native key only",
         {sz(kWinlogon, "Shell", "C:\\lock.exe")},
         WinlogonKey::Native,
         "C:\\lock.exe",
         {"C:\\lock.exe"}},
        {"locker in both keys",
         {sz(kWinlogon, "Shell", "C:\\lock.exe"), sz(kWowWinlogon, "Shell", "C:\\wow.exe")},
         WinlogonKey::Native,
         "C:\\lock.exe",
         {"C:\\lock.exe"}},
        {"native Taskman is suspect while the Wow6432Node shell is too",
         {sz(kWinlogon, "Taskman", "C:\\t.exe"), sz(kWowWinlogon, "Shell", "C:\\wow.exe")},
         WinlogonKey::Native,
         "Explorer.exe",
         {"C:\\t.exe"}},
        {"locker in the Wow6432Node key only",
         {sz(kWowWinlogon, "Shell", "explorer.exe,C:\\wow.exe")},
         WinlogonKey::Wow6432Node,
         "explorer.exe,C:\\wow.exe",
         {"C:\\wow.exe"}},
        {"GinaDll in the Wow6432Node key only",
         {sz(kWowWinlogon, "GinaDll", "C:\\g.dll")},
         WinlogonKey::Wow6432Node,
         "explorer.exe",
         {"C:\\g.dll"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        test::TargetTree tree;
        tree.addInstallation('c', "Windows", WindowsKind::Win7x64, c.values);
        Context context = tree.context();
        ASSERT_TRUE(registry::LoadHive(context, registry::kSoftwareMount,
                                       "c:\\Windows\\System32\\config\\SOFTWARE"));
        Strings files;
        const WinlogonGroup group = LoadWinlogonGroup(context, files);
        EXPECT_TRUE(group.Is64Bit);
        EXPECT_EQ(group.Key, c.key);
        EXPECT_EQ(group.Shell, c.shell);
        EXPECT_EQ(files, c.files);
    }
}

TEST_F(WinlogonGroupTest, ResetsChangeOnlyTheScreenUntilSave) {
    install(WindowsKind::Xp32,
            {sz(kWinlogon, "Shell", "C:\\lock.exe"), sz(kWinlogon, "Userinit", "C:\\u.exe"),
             sz(kWinlogon, "Taskman", "C:\\t.exe"), sz(kWinlogon, "GinaDll", "C:\\g.dll")});
    const HiveSnapshot before(hive_);
    WinlogonGroup group = load();
    const Strings judged = files_;

    EXPECT_EQ(HealShell(group), "Оболочка установлена по умолчанию...");
    EXPECT_EQ(group.Shell, "Explorer.exe");
    EXPECT_EQ(group.ShellColour, kBlack);
    EXPECT_EQ(HealUserinit(group),
              "Программа инициализации пользователя установлена по умолчанию...");
    EXPECT_EQ(group.Userinit, "C:\\WINDOWS\\system32\\userinit.exe,");
    EXPECT_EQ(group.UserinitColour, kBlack);
    EXPECT_EQ(HealTaskman(group), "Значение Taskman удалено...");
    EXPECT_EQ(HealGina(group), "Значение GinaDLL удалено...");
    EXPECT_EQ(group.Taskman, "");
    EXPECT_EQ(group.GinaDll, "");
    EXPECT_EQ(files_, judged) << "the list is rebuilt only by the judge";

    unmount();
    before.expectUntouched();
}

TEST_F(WinlogonGroupTest, HealAllResetsInItsOrderAndEndsWithItsMessage) {
    install(WindowsKind::Xp32,
            {sz(kWinlogon, "Shell", "C:\\lock.exe"), sz(kWinlogon, "GinaDll", "C:\\g.dll")});
    WinlogonGroup group = load();
    EXPECT_EQ(HealAll(group),
              (Strings{"Значение GinaDLL удалено...", "Значение Taskman удалено...",
                       "Программа инициализации пользователя установлена по умолчанию...",
                       "Оболочка установлена по умолчанию...",
                       "Все значения установлены но умолчанию..."}));
    EXPECT_EQ(group.Shell, "Explorer.exe");
    EXPECT_EQ(group.Userinit, "C:\\WINDOWS\\system32\\userinit.exe,");
    EXPECT_EQ(group.GinaDll, "");
    EXPECT_EQ(group.ShellColour, kBlack);
    EXPECT_EQ(group.UserinitColour, kBlack);
}

TEST_F(WinlogonGroupTest, SaveWritesOnlyWhatTheEditsSay) {
    using Edit = void (*)(WinlogonGroup&);
    struct Case {
        const char* what;
        std::vector<PlantedValue> values;
        Edit edit;
        std::vector<Change> changes;
    };
    const std::string native = kWinlogon;
    const std::vector<Case> cases = {
        {"nothing reset: Shell and Userinit rewritten as they were, Taskman kept",
         {sz(kWinlogon, "Shell", "C:\\lock.exe"), sz(kWinlogon, "Taskman", "C:\\t.exe")},
         [](WinlogonGroup&) {},
         {}},
        {"everything reset",
         {sz(kWinlogon, "Shell", "explorer.exe,C:\\lock.exe"),
          sz(kWinlogon, "Userinit", "C:\\u.exe"), sz(kWinlogon, "Taskman", "C:\\t.exe"),
          sz(kWinlogon, "GinaDll", "C:\\g.dll")},
         [](WinlogonGroup& g) { HealAll(g); },
         {{native, "Shell", szLine("Shell", "Explorer.exe")},
          {native, "Userinit", szLine("Userinit", "C:\\WINDOWS\\system32\\userinit.exe,")},
          {native, "Taskman", std::nullopt},
          {native, "GinaDll", std::nullopt}}},
        {"only Taskman reset: GinaDll stays",
         {sz(kWinlogon, "Taskman", "C:\\t.exe"), sz(kWinlogon, "GinaDll", "C:\\g.dll")},
         [](WinlogonGroup& g) { HealTaskman(g); },
         {{native, "Taskman", std::nullopt}}},
        {"an existing empty Taskman is deleted",
         {sz(kWinlogon, "Taskman", "")},
         [](WinlogonGroup&) {},
         {{native, "Taskman", std::nullopt}}},
        {"an empty Shell edit writes an empty string, it does not delete",
         {dword(kWinlogon, "Shell", 7)},
         [](WinlogonGroup&) {},
         {{native, "Shell", szLine("Shell", "")}}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        test::TargetTree tree;
        const fs::path hive = tree.addInstallation('c', "WINDOWS", WindowsKind::Xp32, c.values);
        const HiveSnapshot before(hive);
        Context context = tree.context();
        ASSERT_TRUE(registry::LoadHive(context, registry::kSoftwareMount,
                                       "c:\\WINDOWS\\system32\\config\\software"));
        Strings files;
        WinlogonGroup group = LoadWinlogonGroup(context, files);
        c.edit(group);
        EXPECT_EQ(SaveWinlogonGroup(context, group), "Изменения реестра сохранены...");
        ASSERT_TRUE(registry::UnloadHive(context, registry::kSoftwareMount));
        before.expectChanged(c.changes);
    }
}

// Saving a 64-bit installation writes into the key it showed; the reset
// userinit is the bare name, which the next loading judges healthy.
TEST_F(WinlogonGroupTest, A64BitSaveWritesTheShownKeyOnly) {
    install(WindowsKind::Win7x64, {sz(kWowWinlogon, "Userinit", "userinit.exe,C:\\wow.exe"),
                                   sz(kWowWinlogon, "Taskman", "C:\\t.exe")});
    const HiveSnapshot before(hive_);
    WinlogonGroup group = load();
    ASSERT_EQ(group.Key, WinlogonKey::Wow6432Node);
    HealAll(group);
    EXPECT_EQ(group.Userinit, "userinit.exe");
    EXPECT_EQ(SaveWinlogonGroup(context_, group), "Изменения реестра сохранены...");
    unmount();
    before.expectChanged({{kWowWinlogon, "Shell", szLine("Shell", "Explorer.exe")},
                          {kWowWinlogon, "Userinit", szLine("Userinit", "userinit.exe")},
                          {kWowWinlogon, "Taskman", std::nullopt}});

    const WinlogonGroup again = load();
    EXPECT_EQ(again.Key, WinlogonKey::Native);
    EXPECT_EQ(again.UserinitColour, kBlack);
    EXPECT_EQ(files_, Strings{});
}

TEST_F(WinlogonGroupTest, ANative64BitLockerIsResetWithTheBareUserinit) {
    install(WindowsKind::Win10x64, {sz(kWinlogon, "Userinit", "C:\\lock.exe")});
    const HiveSnapshot before(hive_);
    WinlogonGroup group = load();
    ASSERT_EQ(group.Key, WinlogonKey::Native);
    EXPECT_EQ(group.UserinitColour, kRed);
    HealUserinit(group);
    leChange(group, files_);
    EXPECT_EQ(group.UserinitColour, kBlack);
    EXPECT_EQ(SaveWinlogonGroup(context_, group), "Изменения реестра сохранены...");
    unmount();
    before.expectChanged({{kWinlogon, "Userinit", szLine("Userinit", "userinit.exe")}});
}

// The Wow6432Node key need not hold Shell or Userinit: shown without them,
// they are black, and a save that leaves their edits empty creates neither.
TEST_F(WinlogonGroupTest, AWow6432NodeSaveCreatesNoValueItLacked) {
    install(WindowsKind::Win7x64, {sz(kWowWinlogon, "Taskman", "C:\\t.exe")});
    const HiveSnapshot before(hive_);
    WinlogonGroup group = load();
    ASSERT_EQ(group.Key, WinlogonKey::Wow6432Node);
    EXPECT_EQ(group.Userinit, "");
    EXPECT_EQ(group.UserinitColour, kBlack);
    EXPECT_EQ(files_, Strings{"C:\\t.exe"});
    HealTaskman(group);
    EXPECT_EQ(SaveWinlogonGroup(context_, group), "Изменения реестра сохранены...");
    unmount();
    // Shell is rewritten as it was; no Userinit appears.
    before.expectChanged({{kWowWinlogon, "Taskman", std::nullopt}});
}

TEST_F(WinlogonGroupTest, SaveWithoutTheHiveSaysItFailed) {
    install(WindowsKind::Xp32, {sz(kWinlogon, "Shell", "C:\\lock.exe")});
    const HiveSnapshot before(hive_);
    WinlogonGroup group = load();
    HealAll(group);
    unmount();
    EXPECT_EQ(SaveWinlogonGroup(context_, group), kSaveFailed);
    before.expectUntouched();
}

} // namespace
} // namespace engine::rules
