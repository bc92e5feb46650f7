// The two modes over the same 64-bit installations: what the Wow6432Node
// Winlogon key holds is a lock, or not, for the automatic pass and for the
// manual console alike.
#include <clocale>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "automatic/auto_pass.h"
#include "context/context.h"
#include "registry/hive_mounting.h"
#include "registry/reg_engine.h"
#include "rules/system_files.h"
#include "rules/winlogon_group.h"
#include "support/hive_dump_diff.h"
#include "support/target_tree.h"

#include "expected_log.h"

namespace engine::automatic {
namespace {

namespace fs = std::filesystem;
using namespace test::autolog;
using rules::TextColour;
using rules::WinlogonKey;
using test::sz;
using test::WindowsKind;
using test::dumpdiff::Change;
using test::dumpdiff::HiveSnapshot;
using test::dumpdiff::szLine;
using Strings = std::vector<std::string>;

const std::string kWinlogon = "Microsoft\\Windows NT\\CurrentVersion\\Winlogon";
const std::string kWowWinlogon = "Wow6432Node\\" + kWinlogon;
const std::string kHive = "c:\\Windows\\System32\\config\\SOFTWARE";

class NoRestore final : public rules::RestoreQuestion {
public:
    rules::RestoreAnswer ask(const std::array<rules::SystemFileRow, 4>&) override {
        ADD_FAILURE() << "no file check but on Windows XP";
        return {};
    }
};

// Changes a hive through the engine before the test looks at it: what the
// fixture cannot plant (a value or a key taken away).
void edit(test::TargetTree& tree, const std::function<void(Context&)>& change) {
    Context context = tree.context();
    ASSERT_TRUE(registry::LoadHive(context, registry::kSoftwareMount, kHive));
    change(context);
    ASSERT_TRUE(registry::UnloadHive(context, registry::kSoftwareMount));
}

void deleteWow(Context& context, const char* value) {
    registry::TRegEngine record;
    record.KeyPath = std::string(rules::kWowWinlogonKey);
    record.ValueName = value;
    if (value[0] == '\0') {
        registry::RegEngineDeleteKey(context.registry, record);
    } else {
        registry::RegEngineDeleteValue(context.registry, record);
    }
    ASSERT_EQ(record.Status, 0);
}

TEST(Wow64Winlogon, BothModesJudgeTheWow6432NodeKeyAlike) {
    ::setenv("TZ", "UTC", 1);
    ::tzset();
    std::setlocale(LC_TIME, "C");
    struct Case {
        const char* what;
        std::vector<test::PlantedValue> planted;
        std::vector<const char*> removed; // "" for the whole Wow6432Node key
        bool wowKey;                      // the key is there after all
        std::string shell, userinit;      // the Wow6432Node values as read
        bool shellLock, userinitLock;     // the one verdict both modes give
    };
    const std::vector<Case> cases = {
        {"no Wow6432Node Winlogon key: a 32-bit installation",
         {},
         {""},
         false,
         "",
         "",
         false,
         false},
        {"the key without Shell or Userinit", {}, {"Shell"}, true, "", "", false, false},
        {"Shell present and empty",
         {sz(kWowWinlogon, "Shell", "")},
         {},
         true,
         "",
         "",
         false,
         false},
        {"the system's values",
         {sz(kWowWinlogon, "Shell", "explorer.exe"), sz(kWowWinlogon, "Userinit", "userinit.exe")},
         {},
         true,
         "explorer.exe",
         "userinit.exe",
         false,
         false},
        {"a locker's shell",
         {sz(kWowWinlogon, "Shell", "C:\\ProgramData\\lock.exe")},
         {},
         true,
         "C:\\ProgramData\\lock.exe",
         "",
         true,
         false},
        {"a locker's Userinit beside an absent Shell",
         {sz(kWowWinlogon, "Userinit", "userinit.exe,C:\\ProgramData\\svc.exe")},
         {"Shell"},
         true,
         "",
         "userinit.exe,C:\\ProgramData\\svc.exe",
         false,
         true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        test::TargetTree tree;
        const fs::path hive = tree.addInstallation('c', "Windows", WindowsKind::Win7x64, c.planted);
        for (const char* value : c.removed) {
            edit(tree, [&](Context& context) { deleteWow(context, value); });
        }
        const HiveSnapshot before(hive);

        // The console: the native key is healthy, so the Wow6432Node key is
        // shown exactly when it holds a lock, with the verdict's colours.
        {
            Context context = tree.context();
            ASSERT_TRUE(registry::LoadHive(context, registry::kSoftwareMount, kHive));
            Strings files;
            const rules::WinlogonGroup group = rules::LoadWinlogonGroup(context, files);
            EXPECT_EQ(group.Is64Bit, c.wowKey);
            const bool shown = c.shellLock || c.userinitLock;
            EXPECT_EQ(group.Key, shown ? WinlogonKey::Wow6432Node : WinlogonKey::Native);
            if (shown) {
                EXPECT_EQ(group.ShellColour, c.shellLock ? TextColour::Red : TextColour::Black);
                EXPECT_EQ(group.UserinitColour,
                          c.userinitLock ? TextColour::Red : TextColour::Black);
            }
            ASSERT_TRUE(registry::UnloadHive(context, registry::kSoftwareMount));
            before.expectUntouched();
        }

        // The pass: the same verdict, healed where it is a lock, and nothing
        // written where it is not.
        Context context = tree.context();
        AutoState state;
        LogLines sink;
        NoRestore restore;
        AutoPass pass{context, state, sink, restore, [] { return std::time_t{1700000000}; }};
        StartAutoPass(pass);

        Log wow;
        if (c.wowKey) {
            wow = join({c.shellLock ? shellHealed(c.shell) : shellHealthy(c.shell),
                        c.userinitLock ? userinitHealed(c.userinit) : userinitHealthy(c.userinit),
                        kTaskmanAbsent, kGinaAbsent});
        }
        Strings suspects;
        if (c.shellLock) {
            suspects.push_back(c.shell);
        }
        if (c.userinitLock) {
            suspects.push_back("C:\\ProgramData\\svc.exe");
        }
        EXPECT_TRUE(
            sameLog(join({passStart({"c:\\Windows"}),
                          systemLoaded("Windows 7 Ultimate", kWin7Build, "C:\\Windows", c.wowKey),
                          systemRoot("C:\\Windows"), shellHealthy("Explorer.exe"),
                          userinitHealthy("C:\\Windows\\system32\\userinit.exe,"), kTaskmanAbsent,
                          kGinaAbsent, wow, kSystemDone, kUsersStart, kNoUsers, summary(suspects)}),
                    sink.lines));
        std::vector<Change> changes;
        if (c.shellLock) {
            changes.push_back({kWowWinlogon, "Shell", szLine("Shell", "Explorer.exe")});
        }
        if (c.userinitLock) {
            changes.push_back({kWowWinlogon, "Userinit", szLine("Userinit", "userinit.exe")});
        }
        if (changes.empty()) {
            before.expectUntouched();
        } else {
            before.expectChangedAndReadable(changes);
        }
        EXPECT_FALSE(state.ChangesNotWritten);
    }
}

} // namespace
} // namespace engine::automatic
