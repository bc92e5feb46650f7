// The image-hijack sweep through the console's message boxes: what each box
// shows (icon, lines, buttons), answered No then Yes, and what the hive holds
// afterwards.
#include <filesystem>
#include <ostream>
#include <string>
#include <vector>

#include <QMessageBox>
#include <QPushButton>

#include <gtest/gtest.h>

#include "context/context.h"
#include "manual/hijack_prompts.h"
#include "registry/hive_mounting.h"
#include "support/hive_dump_diff.h"
#include "support/target_tree.h"

namespace {

namespace fs = std::filesystem;
using test::dumpdiff::HiveSnapshot;

const std::string kIfeo = "Microsoft\\Windows NT\\CurrentVersion\\Image File Execution Options";

// One box as a person saw it.
struct SeenBox {
    QMessageBox::Icon icon;
    std::string text;
    QMessageBox::StandardButtons buttons;
    bool operator==(const SeenBox&) const = default;
};

void PrintTo(const SeenBox& box, std::ostream* out) {
    *out << "{icon " << box.icon << ", \"" << box.text << "\", buttons 0x" << std::hex
         << box.buttons.toInt() << std::dec << "}";
}

TEST(HijackPromptBoxes, TheSweepAsksInBoxesAndDeletesOnlyWhatWasConfirmed) {
    test::TargetTree tree;
    const fs::path hive =
        tree.addInstallation('c', "WINDOWS", test::WindowsKind::Xp32,
                             {test::sz(kIfeo + "\\regedit.exe", "Debugger", "c:\\locker\\a.exe"),
                              test::dword(kIfeo + "\\notepad.exe", "GlobalFlag", 0x200),
                              test::sz(kIfeo + "\\taskmgr.exe", "Debugger", "ntsd -d")});
    const HiveSnapshot before(hive);
    engine::Context context = tree.context();
    context.CurrentSystemHive = "c:\\WINDOWS\\system32\\config\\software";
    ASSERT_TRUE(engine::registry::LoadHive(context, engine::registry::kSoftwareMount,
                                           context.CurrentSystemHive));

    std::vector<SeenBox> seen;
    std::vector<QMessageBox::StandardButton> answers = {QMessageBox::No, QMessageBox::Yes,
                                                        QMessageBox::Ok};
    HijackPromptBoxes prompts(nullptr, [&](QMessageBox& box) {
        seen.push_back({box.icon(), box.text().toStdString(), box.standardButtons()});
        if (answers.empty()) {
            return QMessageBox::NoButton; // a box more than expected: closed
        }
        const QMessageBox::StandardButton answer = answers.front();
        answers.erase(answers.begin());
        return answer;
    });
    engine::rules::RemoveImageHijacks(context, prompts);

    const QMessageBox::StandardButtons yesNo = QMessageBox::Yes | QMessageBox::No;
    EXPECT_EQ(seen, (std::vector<SeenBox>{
                        {QMessageBox::Warning,
                         "Found HiJack!!! \nregedit.exe ---> c:\\locker\\a.exe\n DELETE? ", yesNo},
                        {QMessageBox::Warning,
                         "Found HiJack!!! \ntaskmgr.exe ---> ntsd -d\n DELETE? ", yesNo},
                        {QMessageBox::Information, "Deleted!!!", QMessageBox::Ok},
                    }));

    // A second sweep offers only what was left, and a box closed without an
    // answer keeps it.
    seen.clear();
    answers = {QMessageBox::NoButton};
    engine::rules::RemoveImageHijacks(context, prompts);
    ASSERT_EQ(seen.size(), 1u);
    EXPECT_EQ(seen[0].text, "Found HiJack!!! \nregedit.exe ---> c:\\locker\\a.exe\n DELETE? ");

    ASSERT_TRUE(engine::registry::UnloadHive(context, engine::registry::kSoftwareMount));
    before.expectChanged({{kIfeo + "\\taskmgr.exe", "Debugger", std::nullopt}});
}

TEST(HijackPromptBoxes, TheProgramsBoxesDefaultToNoAndEscapeMeansNo) {
    // What the boxes are before anyone answers: Enter and Escape never delete.
    HijackPromptBoxes prompts(nullptr, [&](QMessageBox& box) {
        EXPECT_EQ(box.defaultButton(), box.button(QMessageBox::No));
        EXPECT_EQ(box.escapeButton(), box.button(QMessageBox::No));
        return QMessageBox::No;
    });
    EXPECT_FALSE(prompts.confirm("Found HiJack!!! \rx.exe ---> y\r DELETE? "));
}

} // namespace
