// The registry editor window over two mounted hives, as the operator sees and
// uses it: where openAt lands, what the value list shows, and each change of
// the "Правка" menu reaching the mounted hive (read back through the engine)
// and the window.
#include <string>
#include <vector>

#include <QAction>

#include "ui/regedit/regedit_fixture.h"

namespace regedit_test {
namespace {

using engine::hive::kRegDword;
using engine::hive::kRegMultiSz;
using engine::hive::kRegSz;

TEST_F(RegeditTest, OpenAtAMountSelectsItAndShowsItsValues) {
    struct Case {
        QString path;
        QString selected;
        QStringList someRow;
    };
    const QString currentVersion =
        kSoftware + QStringLiteral("\\Microsoft\\Windows NT\\CurrentVersion");
    const std::vector<Case> cases = {
        {kSoftware,
         QStringLiteral("LoadedHiveSoftware"),
         {QStringLiteral("(По умолчанию)"), QStringLiteral("REG_SZ"),
          QStringLiteral("(значение не присвоено)")}},
        {kUser,
         QStringLiteral("LoadedUserHive"),
         {QStringLiteral("(По умолчанию)"), QStringLiteral("REG_SZ"),
          QStringLiteral("(значение не присвоено)")}},
        {currentVersion,
         QStringLiteral("CurrentVersion"),
         {QStringLiteral("ProductName"), QStringLiteral("REG_SZ"),
          QStringLiteral("Windows 7 Ultimate")}},
        {kRun,
         QStringLiteral("Run"),
         {QStringLiteral("Count"), QStringLiteral("REG_DWORD"), QStringLiteral("0x00000007 (7)")}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.path.toStdString());
        window().openAt(c.path);
        EXPECT_TRUE(window().isVisible());
        EXPECT_EQ(window().windowTitle(), QStringLiteral("Редактор реестра"));
        EXPECT_EQ(selectedKey(), c.selected);
        EXPECT_EQ(window().currentKeyPath(), c.path);
        EXPECT_EQ(statusText(), QStringLiteral("Компьютер\\") + c.path);
        EXPECT_EQ(row(c.someRow[0]), c.someRow);
        // The default value's row comes first.
        ASSERT_FALSE(rows().empty());
        EXPECT_EQ(rows().front()[0], QStringLiteral("(По умолчанию)"));
    }
    // The tree: the computer, its two roots, the mounts below
    // HKEY_LOCAL_MACHINE in mount order, and the user hive's own keys.
    const QTreeWidgetItem* computer = keys().topLevelItem(0);
    ASSERT_NE(computer, nullptr);
    EXPECT_EQ(computer->text(0), QStringLiteral("Компьютер"));
    ASSERT_EQ(computer->childCount(), 2);
    EXPECT_EQ(computer->child(0)->text(0), QStringLiteral("HKEY_LOCAL_MACHINE"));
    EXPECT_EQ(computer->child(1)->text(0), QStringLiteral("HKEY_CURRENT_USER"));
    EXPECT_EQ(computer->child(1)->childCount(), 0);
    const QTreeWidgetItem* machine = computer->child(0);
    ASSERT_EQ(machine->childCount(), 2);
    EXPECT_EQ(machine->child(0)->text(0), QStringLiteral("LoadedHiveSoftware"));
    EXPECT_EQ(machine->child(1)->text(0), QStringLiteral("LoadedUserHive"));

    window().openAt(kUser);
    keys().currentItem()->setExpanded(true);
    EXPECT_TRUE(shownSubkeys().contains(QStringLiteral("Software")));
    EXPECT_EQ(shownSubkeys().size(), static_cast<qsizetype>(hiveSubkeys(kUser).size()));
}

TEST_F(RegeditTest, OpenAtAMissingKeySelectsItsDeepestExistingAncestor) {
    const std::vector<std::pair<QString, QString>> cases = {
        {kRun + QStringLiteral("\\NoSuchKey\\Deeper"), kRun},
        {kSoftware + QStringLiteral("\\microsoft\\WINDOWS\\NoSuchKey"),
         kSoftware + QStringLiteral("\\Microsoft\\Windows")},
        {QStringLiteral("HKEY_LOCAL_MACHINE\\LoadedOtherHive\\Software"),
         QStringLiteral("HKEY_LOCAL_MACHINE")},
        {QStringLiteral("HKEY_CURRENT_USER\\Software"), QStringLiteral("HKEY_CURRENT_USER")},
        {QStringLiteral("HKEY_USERS\\.DEFAULT"), QString()},
    };
    for (const auto& [asked, shown] : cases) {
        SCOPED_TRACE(asked.toStdString());
        window().openAt(asked);
        EXPECT_EQ(window().currentKeyPath(), shown);
        EXPECT_EQ(statusText(), shown.isEmpty() ? QStringLiteral("Компьютер")
                                                : QStringLiteral("Компьютер\\") + shown);
    }
}

TEST_F(RegeditTest, KeysAreCreatedRenamedAndDeletedInTheMountedHive) {
    window().openAt(kRun);
    // Created and named at once; the name asked for starts as the free one.
    answers = {QStringLiteral("Ключ")};
    action("acCreateKey").trigger();
    ASSERT_EQ(questions.size(), 1u);
    EXPECT_EQ(questions[0].text, QStringLiteral("Новый раздел #1"));
    EXPECT_EQ(hiveSubkeys(kRun), (std::vector<std::string>{"Child", "Ключ"}));
    EXPECT_EQ(selectedKey(), QStringLiteral("Ключ"));
    EXPECT_EQ(window().currentKeyPath(), kRun + QStringLiteral("\\Ключ"));

    // Cancelling the name keeps the numbered one.
    window().openAt(kRun);
    action("acCreateKey").trigger();
    EXPECT_EQ(hiveSubkeys(kRun), (std::vector<std::string>{"Child", "Ключ", "Новый раздел #1"}));

    // Renaming: a taken name is refused and changes nothing.
    window().openAt(kRun + QStringLiteral("\\Ключ"));
    ASSERT_TRUE(action("acRename").isEnabled());
    answers = {QStringLiteral("child")};
    action("acRename").trigger();
    ASSERT_EQ(errors.size(), 1u);
    EXPECT_EQ(hiveSubkeys(kRun), (std::vector<std::string>{"Child", "Ключ", "Новый раздел #1"}));
    answers = {QStringLiteral("Раздел")};
    action("acRename").trigger();
    EXPECT_EQ(hiveSubkeys(kRun), (std::vector<std::string>{"Child", "Новый раздел #1", "Раздел"}));
    EXPECT_EQ(window().currentKeyPath(), kRun + QStringLiteral("\\Раздел"));

    // Deleting asks first; "No" keeps the key.
    confirmAnswer = false;
    action("acDelete").trigger();
    EXPECT_EQ(confirmations.size(), 1u);
    EXPECT_EQ(hiveSubkeys(kRun).size(), 3u);
    confirmAnswer = true;
    action("acDelete").trigger();
    EXPECT_EQ(hiveSubkeys(kRun), (std::vector<std::string>{"Child", "Новый раздел #1"}));
    EXPECT_EQ(window().currentKeyPath(), kRun);
    EXPECT_EQ(shownSubkeys(),
              (QStringList{QStringLiteral("Child"), QStringLiteral("Новый раздел #1")}));
    EXPECT_EQ(errors.size(), 1u);
}

TEST_F(RegeditTest, ValuesAreCreatedEditedRenamedAndDeletedInTheMountedHive) {
    window().openAt(kRun);
    answers = {QStringLiteral("Счётчик")};
    window().createValueClick(kRegDword);
    EXPECT_EQ(questions.back().text, QStringLiteral("Новый параметр #1"));
    EXPECT_EQ(row(QStringLiteral("Счётчик")),
              (QStringList{QStringLiteral("Счётчик"), QStringLiteral("REG_DWORD"),
                           QStringLiteral("0x00000000 (0)")}));

    // Edited from the number it holds, in decimal or hex.
    clickValue(QStringLiteral("Счётчик"));
    ASSERT_TRUE(action("acModify").isEnabled());
    answers = {QStringLiteral("42")};
    action("acModify").trigger();
    EXPECT_EQ(questions.back().text, QStringLiteral("0x00000000"));
    EXPECT_FALSE(questions.back().multiLine);
    EXPECT_EQ(row(QStringLiteral("Счётчик"))->at(2), QStringLiteral("0x0000002a (42)"));
    auto stored = hiveValue(kRun, "Счётчик");
    ASSERT_TRUE(stored);
    EXPECT_EQ(stored->type, kRegDword);
    EXPECT_EQ(stored->data, (std::vector<std::uint8_t>{42, 0, 0, 0}));

    // Text that is no number is refused with a message; the value stays.
    answers = {QStringLiteral("сорок")};
    action("acModify").trigger();
    EXPECT_EQ(errors.size(), 1u);
    EXPECT_EQ(hiveValue(kRun, "Счётчик")->data, (std::vector<std::uint8_t>{42, 0, 0, 0}));

    // A multi-string is edited one item per line.
    answers = {std::nullopt, QStringLiteral("один\nдва")};
    window().createValueClick(kRegMultiSz);
    clickValue(QStringLiteral("Новый параметр #1"));
    action("acModify").trigger();
    EXPECT_TRUE(questions.back().multiLine);
    EXPECT_EQ(row(QStringLiteral("Новый параметр #1"))->at(2), QStringLiteral("один два"));
    EXPECT_EQ(hiveValue(kRun, "Новый параметр #1")->type, kRegMultiSz);

    // The default value's row, not set, is set by editing it.
    clickValue(QStringLiteral("(По умолчанию)"));
    EXPECT_FALSE(action("acDelete").isEnabled());
    EXPECT_FALSE(action("acRename").isEnabled());
    answers = {QStringLiteral("по умолчанию")};
    action("acModify").trigger();
    EXPECT_EQ(questions.back().text, QString());
    EXPECT_EQ(hiveValue(kRun, "")->type, kRegSz);
    EXPECT_EQ(rows().front()[2], QStringLiteral("по умолчанию"));

    // Renamed with its data; a taken name is refused.
    clickValue(QStringLiteral("Счётчик"));
    answers = {QStringLiteral("sidebar")};
    action("acRename").trigger();
    EXPECT_EQ(errors.size(), 2u);
    answers = {QStringLiteral("Другой")};
    action("acRename").trigger();
    EXPECT_FALSE(hiveValue(kRun, "Счётчик"));
    EXPECT_EQ(hiveValue(kRun, "Другой")->data, (std::vector<std::uint8_t>{42, 0, 0, 0}));
    EXPECT_FALSE(row(QStringLiteral("Счётчик")));
    EXPECT_TRUE(row(QStringLiteral("Другой")));

    // Deleted after the question.
    clickValue(QStringLiteral("Другой"));
    confirmAnswer = false;
    action("acDelete").trigger();
    EXPECT_TRUE(hiveValue(kRun, "Другой"));
    confirmAnswer = true;
    action("acDelete").trigger();
    EXPECT_FALSE(hiveValue(kRun, "Другой"));
    EXPECT_FALSE(row(QStringLiteral("Другой")));
    EXPECT_EQ(confirmations.size(), 2u);
    EXPECT_EQ(errors.size(), 2u);
}

TEST_F(RegeditTest, TheRootsAndTheMountsOwnKeysCannotBeRenamedOrDeleted) {
    for (const QString& path : {kSoftware, kUser, QStringLiteral("HKEY_LOCAL_MACHINE")}) {
        SCOPED_TRACE(path.toStdString());
        window().openAt(path);
        EXPECT_FALSE(action("acDelete").isEnabled());
        EXPECT_FALSE(action("acRename").isEnabled());
        // Invoked anyway (a shortcut, say): refused with a message, without
        // asking and without a change.
        errors.clear();
        window().deleteClick();
        window().renameClick();
        EXPECT_EQ(errors.size(), 2u);
        EXPECT_TRUE(confirmations.empty());
        EXPECT_TRUE(questions.empty());
    }
    EXPECT_NE(context_.registry.find(engine::registry::kSoftwareMount), nullptr);
    EXPECT_EQ(hiveSubkeys(kRun), std::vector<std::string>{"Child"});
    // A mount's key takes new keys and values; HKEY_LOCAL_MACHINE does not.
    window().openAt(kUser);
    EXPECT_TRUE(action("acCreateKey").isEnabled());
    window().openAt(QStringLiteral("HKEY_LOCAL_MACHINE"));
    EXPECT_FALSE(action("acCreateKey").isEnabled());
}

// A hive unmounted behind the window's back (without taskkill): what it still
// shows gives messages, never a change elsewhere or a crash.
TEST_F(RegeditTest, AHiveUnmountedWhileShownGivesMessages) {
    window().openAt(kUser + QStringLiteral("\\Software"));
    ASSERT_TRUE(engine::registry::UnloadHive(context_, engine::registry::kUserMount));
    window().createKeyClick();
    window().createValueClick(kRegSz);
    EXPECT_EQ(errors.size(), 2u);
    window().refresh();
    EXPECT_EQ(window().currentKeyPath(), QStringLiteral("HKEY_LOCAL_MACHINE"));
    keys().currentItem()->setExpanded(true);
    EXPECT_EQ(shownSubkeys(), QStringList{QStringLiteral("LoadedHiveSoftware")});
}

} // namespace
} // namespace regedit_test
