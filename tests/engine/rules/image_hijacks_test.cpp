// The sweep over Image File Execution Options: every "Debugger" offered in
// registry order with its exact question, only the confirmed ones deleted.
#include <filesystem>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "context/context.h"
#include "registry/hive_mounting.h"
#include "rules/image_hijacks.h"
#include "support/hive_dump_diff.h"
#include "support/target_tree.h"

namespace engine::rules {
namespace {

namespace fs = std::filesystem;
using test::dumpdiff::Change;
using test::dumpdiff::HiveSnapshot;
using Strings = std::vector<std::string>;

const std::string kIfeo = "Microsoft\\Windows NT\\CurrentVersion\\Image File Execution Options";
constexpr const char* kSoftware = "c:\\WINDOWS\\system32\\config\\software";

// Answers from a script, remembering what it was asked and told.
class ScriptedPrompts final : public HijackPrompts {
public:
    explicit ScriptedPrompts(std::vector<bool> answers)
        : answers_(std::move(answers)) {}
    bool confirm(const std::string& text) override {
        asked.push_back(text);
        events.push_back("ask");
        const bool yes = next_ < answers_.size() && answers_[next_];
        ++next_;
        return yes;
    }
    void inform(const std::string& text) override { events.push_back(text); }
    Strings asked;
    Strings events;

private:
    std::vector<bool> answers_;
    std::size_t next_ = 0;
};

TEST(ImageHijacks, NoThenYesDeletesOnlyTheSecondAndASecondSweepFindsNothing) {
    test::TargetTree tree;
    const fs::path hive =
        tree.addInstallation('c', "WINDOWS", test::WindowsKind::Xp32,
                             {test::sz(kIfeo + "\\regedit.exe", "Debugger", "c:\\locker\\a.exe"),
                              test::dword(kIfeo + "\\notepad.exe", "GlobalFlag", 0x200),
                              test::sz(kIfeo + "\\taskmgr.exe", "Debugger", "ntsd -d"),
                              test::dword(kIfeo + "\\taskmgr.exe", "GlobalFlag", 2)});
    const HiveSnapshot before(hive);
    Context context = tree.context();
    ASSERT_TRUE(registry::LoadHive(context, registry::kSoftwareMount, kSoftware));

    ScriptedPrompts prompts({false, true});
    RemoveImageHijacks(context, prompts);
    EXPECT_EQ(prompts.asked,
              (Strings{"Found HiJack!!! \rregedit.exe ---> c:\\locker\\a.exe\r DELETE? ",
                       "Found HiJack!!! \rtaskmgr.exe ---> ntsd -d\r DELETE? "}));
    EXPECT_EQ(prompts.events, (Strings{"ask", "ask", "Deleted!!!"}));

    ScriptedPrompts yesToAll({true, true, true});
    RemoveImageHijacks(context, yesToAll);
    EXPECT_EQ(yesToAll.asked.size(), 1u) << "only regedit.exe is left";
    ScriptedPrompts again({true});
    RemoveImageHijacks(context, again);
    EXPECT_TRUE(again.events.empty());

    ASSERT_TRUE(registry::UnloadHive(context, registry::kSoftwareMount));
    before.expectChanged({{kIfeo + "\\regedit.exe", "Debugger", std::nullopt},
                          {kIfeo + "\\taskmgr.exe", "Debugger", std::nullopt}});
}

TEST(ImageHijacks, ADebuggerThatIsNotTextIsOfferedEmptyAndAMissingKeyAsksNothing) {
    test::TargetTree tree;
    tree.addInstallation('c', "WINDOWS", test::WindowsKind::Xp32,
                         {test::dword(kIfeo + "\\cmd.exe", "Debugger", 1)});
    Context context = tree.context();
    ASSERT_TRUE(registry::LoadHive(context, registry::kSoftwareMount, kSoftware));
    ScriptedPrompts prompts({false});
    RemoveImageHijacks(context, prompts);
    EXPECT_EQ(prompts.asked, Strings{"Found HiJack!!! \rcmd.exe ---> \r DELETE? "});

    ASSERT_TRUE(registry::UnloadHive(context, registry::kSoftwareMount));
    ScriptedPrompts unmounted({true});
    RemoveImageHijacks(context, unmounted);
    EXPECT_TRUE(unmounted.events.empty());
}

} // namespace
} // namespace engine::rules
