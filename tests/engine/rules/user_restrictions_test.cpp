// The console's user groups over real mounted user hives: the start values
// and their blanking, the three policies as radio groups, and what each of
// the two saves writes.
#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "context/context.h"
#include "registry/hive_mounting.h"
#include "registry/reg_engine.h"
#include "rules/user_restrictions.h"
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
using test::dumpdiff::dwordLine;
using test::dumpdiff::HiveSnapshot;
using test::dumpdiff::szLine;
using Strings = std::vector<std::string>;

const std::string kPolicy = "Software\\Microsoft\\Windows\\CurrentVersion\\Policies\\System";
const std::string kUserWinlogon = "Software\\Microsoft\\Windows NT\\CurrentVersion\\Winlogon";
const std::string kUserWindows = "Software\\Microsoft\\Windows NT\\CurrentVersion\\Windows";
const std::string kCmdPolicy = "Software\\Policies\\Microsoft\\Windows\\System";
constexpr const char* kUserHive = "c:\\Documents and Settings\\Admin\\NTUSER.DAT";

// A user hive grown from the real empty hive with the planted values, in the
// profile of an XP installation on c:, mounted as the console mounts it.
class UserGroupsTest : public ::testing::Test {
protected:
    fs::path makeUser(const std::vector<PlantedValue>& values) {
        tree_ = test::TargetTree();
        hive_ = tree_.addProfile('c', WindowsKind::Xp32, "Admin");
        fs::remove(hive_);
        test::makeHive(hive_, values);
        context_ = tree_.context();
        return hive_;
    }
    void mount() {
        ASSERT_TRUE(registry::LoadHive(context_, registry::kUserMount, kUserHive))
            << context_.registry.lastOutcome().detail;
    }
    void unmount() { ASSERT_TRUE(registry::UnloadHive(context_, registry::kUserMount)); }

    test::TargetTree tree_;
    fs::path hive_;
    Context context_;
};

TEST_F(UserGroupsTest, PoliciesSelectOneMinusTheValue) {
    struct Case {
        const char* what;
        std::vector<PlantedValue> values; // planted as each of the three policies
        int index;
    };
    const auto each = [](auto make) {
        return std::vector<PlantedValue>{make(kPolicy, "DisableTaskMgr"),
                                         make(kPolicy, "DisableRegistryTools"),
                                         make(kCmdPolicy, "DisableCMD")};
    };
    const auto asDword = [&](std::uint32_t v) {
        return each([v](const std::string& k, const char* n) { return dword(k, n, v); });
    };
    const std::vector<Case> cases = {
        {"1: blocked", asDword(1), kBlocked},
        {"0: unblocked", asDword(0), kUnblocked},
        {"absent, keys present", {test::keyOnly(kPolicy), test::keyOnly(kCmdPolicy)}, kNotSet},
        {"absent, no keys", {test::keyOnly("Software")}, kNotSet},
        {"-1", asDword(0xFFFFFFFF), kNotSet},
        {"-2 counts as not set", asDword(0xFFFFFFFE), kNotSet},
        {"the lowest integer counts as not set", asDword(0x80000000), kNotSet},
        {"2: no selection", asDword(2), kNoSelection},
        {"the highest integer: no selection", asDword(0x7FFFFFFF), kNoSelection},
        {"a string reads as -1",
         each([](const std::string& k, const char* n) { return sz(k, n, "1"); }), kNotSet},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        test::TargetTree tree;
        tree.addInstallation('c', "WINDOWS", WindowsKind::Xp32);
        const fs::path hive = tree.addProfile('c', WindowsKind::Xp32, "Admin");
        fs::remove(hive);
        test::makeHive(hive, c.values);
        Context context = tree.context();
        ASSERT_TRUE(registry::LoadHive(context, registry::kUserMount, kUserHive));
        const ToolPolicies policies = LoadToolPolicies(context);
        EXPECT_EQ(policies.Taskman, c.index);
        EXPECT_EQ(policies.Regedit, c.index);
        EXPECT_EQ(policies.Cmd, c.index);
    }
}

TEST(PolicyColour, RedOnlyWhileBlockedIsSelected) {
    EXPECT_EQ(policyColour(kBlocked), TextColour::Red);
    EXPECT_EQ(policyColour(kUnblocked), TextColour::Black);
    EXPECT_EQ(policyColour(kNotSet), TextColour::Black);
    EXPECT_EQ(policyColour(kNoSelection), TextColour::Black);
    EXPECT_EQ(kTaskmanCaptions.items[kNotSet], "Не задан.");
    EXPECT_EQ(kRegeditCaptions.items[kNotSet], "Не задан");
    EXPECT_EQ(kCmdCaptions.items[kNotSet], "Не задан");
}

TEST_F(UserGroupsTest, StartValuesAreReadAndBlankedOnScreenOnly) {
    makeUser({sz(kPolicy, "Shell", "C:\\lock.exe"), sz(kUserWinlogon, "Shell", "C:\\w.exe"),
              sz(kUserWindows, "load", "C:\\load.exe"), dword(kPolicy, "DisableTaskMgr", 1)});
    const HiveSnapshot before(hive_);
    mount();
    UserStartValues values = LoadUserStartValues(context_);
    EXPECT_EQ(values.AdminShell, "C:\\lock.exe");
    EXPECT_EQ(values.UserShell, "C:\\w.exe");
    EXPECT_EQ(values.Load, "C:\\load.exe");

    EXPECT_EQ(UserDefaults(values),
              (Strings{"Значение удалено...", "Значение удалено...", "Значение удалено...",
                       "Значения установлены по умолчанию..."}));
    EXPECT_EQ(values.AdminShell, "");
    EXPECT_EQ(values.UserShell, "");
    EXPECT_EQ(values.Load, "");
    ToolPolicies policies = LoadToolPolicies(context_);
    EXPECT_EQ(ToolsDefaults(policies), "Значения установлены по умолчанию...");
    EXPECT_EQ(policies.Taskman, kNotSet);
    EXPECT_EQ(policies.Regedit, kNotSet);
    EXPECT_EQ(policies.Cmd, kNotSet);

    unmount();
    before.expectUntouched();
}

TEST_F(UserGroupsTest, UserSaveCarriesOutOnlyTheBlanking) {
    using Edit = void (*)(UserStartValues&);
    struct Case {
        const char* what;
        std::vector<PlantedValue> values;
        Edit edit;
        std::vector<Change> changes;
    };
    const std::vector<PlantedValue> all = {
        sz(kPolicy, "Shell", "C:\\lock.exe"), dword(kPolicy, "DisableTaskMgr", 1),
        sz(kUserWinlogon, "Shell", "C:\\w.exe"), sz(kUserWindows, "load", "C:\\load.exe")};
    const std::vector<Case> cases = {
        {"nothing blanked", all, [](UserStartValues&) {}, {}},
        {"all blanked: shells deleted, load kept empty",
         all,
         [](UserStartValues& v) { UserDefaults(v); },
         {{kPolicy, "Shell", std::nullopt},
          {kUserWinlogon, "Shell", std::nullopt},
          {kUserWindows, "load", szLine("load", "")}}},
        {"only the Winlogon shell blanked",
         all,
         [](UserStartValues& v) { HealUserShell(v); },
         {{kUserWinlogon, "Shell", std::nullopt}}},
        {"a blank load that does not exist is not created",
         {sz(kPolicy, "Shell", "C:\\lock.exe"), test::keyOnly(kUserWindows)},
         [](UserStartValues& v) { UserDefaults(v); },
         {{kPolicy, "Shell", std::nullopt}}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        makeUser(c.values);
        const HiveSnapshot before(hive_);
        mount();
        UserStartValues values = LoadUserStartValues(context_);
        c.edit(values);
        EXPECT_EQ(SaveUserStartValues(context_, values),
                  "Изменения реестра пользователя сохранены...");
        unmount();
        if (c.changes.empty()) {
            before.expectUntouched();
        } else {
            before.expectChanged(c.changes);
        }
    }
}

TEST_F(UserGroupsTest, ToolsSaveWritesEachChoiceOnItsOwnValue) {
    using Edit = void (*)(ToolPolicies&);
    struct Case {
        const char* what;
        std::vector<PlantedValue> values;
        Edit edit;
        std::vector<Change> changes;
    };
    const std::vector<Case> cases = {
        {"2 leaves no selection and stays; a string DisableCMD is deleted",
         {dword(kPolicy, "DisableRegistryTools", 2), dword(kPolicy, "DisableTaskMgr", 1),
          sz(kCmdPolicy, "DisableCMD", "1")},
         [](ToolPolicies&) {},
         {{kCmdPolicy, "DisableCMD", std::nullopt}}},
        {"not set for the registry editor deletes only that value",
         {sz(kPolicy, "Shell", "C:\\lock.exe"), dword(kPolicy, "DisableRegistryTools", 1),
          dword(kPolicy, "DisableTaskMgr", 1)},
         [](ToolPolicies& p) { p.Regedit = kNotSet; },
         {{kPolicy, "DisableRegistryTools", std::nullopt}}},
        {"defaults delete all three",
         {dword(kPolicy, "DisableRegistryTools", 1), dword(kPolicy, "DisableTaskMgr", 0),
          dword(kCmdPolicy, "DisableCMD", 1)},
         [](ToolPolicies& p) { ToolsDefaults(p); },
         {{kPolicy, "DisableRegistryTools", std::nullopt},
          {kPolicy, "DisableTaskMgr", std::nullopt},
          {kCmdPolicy, "DisableCMD", std::nullopt}}},
        {"unblocked writes 0, blocked writes 1",
         {dword(kPolicy, "DisableTaskMgr", 1), test::keyOnly(kCmdPolicy)},
         [](ToolPolicies& p) {
             p.Taskman = kUnblocked;
             p.Cmd = kBlocked;
         },
         {{kPolicy, "DisableTaskMgr", dwordLine("DisableTaskMgr", 0)},
          {kCmdPolicy, "DisableCMD", dwordLine("DisableCMD", 1)}}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        makeUser(c.values);
        const HiveSnapshot before(hive_);
        mount();
        ToolPolicies policies = LoadToolPolicies(context_);
        c.edit(policies);
        EXPECT_EQ(SaveToolPolicies(context_, policies),
                  "Значения Административные инструменты сохранены...");
        unmount();
        before.expectChanged(c.changes);
    }
}

TEST_F(UserGroupsTest, BlockingCreatesAMissingKey) {
    makeUser({test::keyOnly("Software\\Microsoft")});
    mount();
    ToolPolicies policies = LoadToolPolicies(context_);
    policies.Cmd = kBlocked;
    policies.Taskman = kUnblocked;
    SaveToolPolicies(context_, policies);
    unmount();

    mount();
    const ToolPolicies again = LoadToolPolicies(context_);
    EXPECT_EQ(again.Cmd, kBlocked);
    EXPECT_EQ(again.Taskman, kUnblocked);
    EXPECT_EQ(again.Regedit, kNotSet);
    registry::TRegEngine record{
        false, "LoadedUserHive\\Software\\Policies\\Microsoft\\Windows\\System", "DisableCMD", 0};
    EXPECT_EQ(registry::RegEngineReadInteger(context_.registry, record), 1);
    EXPECT_EQ(record.Status, 0) << "a REG_DWORD";
}

TEST_F(UserGroupsTest, SavesWithoutTheHiveSayTheyFailed) {
    makeUser({sz(kPolicy, "Shell", "C:\\lock.exe"), dword(kPolicy, "DisableTaskMgr", 1)});
    mount();
    UserStartValues values = LoadUserStartValues(context_);
    ToolPolicies policies = LoadToolPolicies(context_);
    UserDefaults(values);
    policies.Taskman = kUnblocked;
    unmount();
    EXPECT_EQ(SaveUserStartValues(context_, values), kSaveFailed);
    EXPECT_EQ(SaveToolPolicies(context_, policies), kSaveFailed);
}

} // namespace
} // namespace engine::rules
