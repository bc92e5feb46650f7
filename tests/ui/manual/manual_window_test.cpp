// The manual console driven as a technician meets it, over fixture disks: the
// three states and every step between them, failed mounts and unmounts, the
// exit panel, the Winlogon and user groups with what their saves leave in the
// hives, the backups, and the tools.
#include <chrono>
#include <filesystem>
#include <fstream>
#include <optional>
#include <string>
#include <vector>

#include <QComboBox>
#include <QGroupBox>
#include <QLineEdit>
#include <QListWidget>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QStyle>
#include <QTabBar>
#include <QTabWidget>
#include <QTest>
#include <QToolButton>

#include <gtest/gtest.h>

#include "context/context.h"
#include "manual/manual_window.h"
#include "platform/launcher.h"
#include "regedit/registry_editor_commands.h"
#include "regedit/registry_editor_window.h"
#include "registry/hive_mounting.h"
#include "rules/system_files.h"
#include "support/faulty_file_io.h"
#include "support/hive_dump_diff.h"
#include "support/recording_launcher.h"
#include "support/target_tree.h"
#include "support/test_files.h"

namespace {

namespace fs = std::filesystem;
using test::dword;
using test::PlantedValue;
using test::sz;
using test::WindowsKind;
using test::dumpdiff::dwordLine;
using test::dumpdiff::HiveSnapshot;
using test::dumpdiff::szLine;
using Start = test::RecordingLauncher::Start;
using engine::platform::ShowMode;

const std::string kWinlogon = "Microsoft\\Windows NT\\CurrentVersion\\Winlogon";
const std::string kPolicy = "Software\\Microsoft\\Windows\\CurrentVersion\\Policies\\System";
const std::string kCmdPolicy = "Software\\Policies\\Microsoft\\Windows\\System";
const Start kTaskkill{"taskkill /f /im regedit.exe", ShowMode::MinimizedNoActive};

// Answers the system-file question of an XP load and counts the asks.
struct CountingQuestion final : engine::rules::RestoreQuestion {
    engine::rules::RestoreAnswer ask(const std::array<engine::rules::SystemFileRow, 4>&) override {
        ++asked;
        return {};
    }
    int asked = 0;
};

// An XP on c: with two profiles and a Windows 10 on d: with one, unless a
// test builds its own disks first.
class ManualWindowTest : public ::testing::Test {
protected:
    void SetUp() override {
        xpHive_ = tree_.addInstallation('c', "WINDOWS", WindowsKind::Xp32, xpExtra_);
        tree_.addProfile('c', WindowsKind::Xp32, "Admin");
        userHive_ = tree_.addProfile('c', WindowsKind::Xp32, "Буся");
        tree_.addInstallation('d', "Windows", WindowsKind::Win10x64);
        tree_.addProfile('d', WindowsKind::Win10x64, "User", "hives/win7-ntuser.dat");
    }
    void TearDown() override {
        if (window_) {
            context_.privileges = {};
            // Leave nothing mounted behind the temporary folder's removal.
            engine::registry::UnloadHive(context_, engine::registry::kUserMount);
            engine::registry::UnloadHive(context_, engine::registry::kSoftwareMount);
        }
    }

    TfmManual& open() {
        context_ = tree_.context();
        ShellHooks hooks;
        hooks.wait = [this](std::chrono::milliseconds time) { waits_.push_back(time); };
        hooks.saveFileName = [this](QWidget*, const FileDialogSpec& spec) {
            dialogs_.push_back(spec);
            return chosenFile_;
        };
        hooks.openFileName = hooks.saveFileName;
        hooks.showError = [this](QWidget*, const QString& text) { errors_.push_back(text); };
        hooks.showBox = [this](QMessageBox& box) {
            boxes_.push_back(box.text().toStdString());
            if (box.standardButtons().testFlag(QMessageBox::Yes)) {
                const bool yes = !answers_.empty() && answers_.front();
                if (!answers_.empty()) {
                    answers_.erase(answers_.begin());
                }
                return yes ? QMessageBox::Yes : QMessageBox::No;
            }
            return QMessageBox::Ok;
        };
        window_ = std::make_unique<TfmManual>(context_, launcher_, question_, hooks);
        window_->show();
        return *window_;
    }

    template <typename T = QWidget>
    T* find(const char* name) const {
        auto* widget = window_->findChild<T*>(QString::fromUtf8(name));
        EXPECT_NE(widget, nullptr) << name;
        return widget;
    }
    void click(const char* name) const { find<QPushButton>(name)->click(); }
    bool enabled(const char* name) const { return find(name)->isEnabled(); }
    // Shown on its page, whichever page is in front.
    bool shown(const char* name) const { return !find(name)->isHidden(); }
    bool tabShown(const char* name) const {
        auto* tabs = find<QTabWidget>("pcTabs");
        return tabs->isTabVisible(tabs->indexOf(find(name)));
    }
    std::string status() const { return window_->statusText().toStdString(); }
    std::string text(const char* name) const { return find<QLineEdit>(name)->text().toStdString(); }
    std::vector<std::string> info() const {
        std::vector<std::string> lines;
        for (const QString& line : find<QPlainTextEdit>("meInfo")->toPlainText().split('\n')) {
            lines.push_back(line.toStdString());
        }
        return lines;
    }
    std::vector<std::string> items(const char* name) const {
        std::vector<std::string> lines;
        if (auto* combo = window_->findChild<QComboBox*>(QString::fromUtf8(name))) {
            for (int i = 0; i < combo->count(); ++i) {
                lines.push_back(combo->itemText(i).toStdString());
            }
        } else {
            auto* list = find<QListWidget>(name);
            for (int i = 0; i < list->count(); ++i) {
                lines.push_back(list->item(i)->text().toStdString());
            }
        }
        return lines;
    }
    std::string exitCaption() const { return find<QPushButton>("pnPanel")->text().toStdString(); }
    QColor colour(const char* name) const { return find(name)->palette().color(QPalette::Text); }

    enum class State { Nothing, System, User };
    // The console's state table, control by control.
    void expectState(State state) const {
        SCOPED_TRACE(static_cast<int>(state));
        const bool nothing = state == State::Nothing;
        const bool user = state == State::User;
        EXPECT_EQ(enabled("cbChoice"), nothing);
        EXPECT_EQ(enabled("btLoad"), nothing);
        EXPECT_EQ(enabled("btUnload"), state == State::System);
        EXPECT_EQ(enabled("btSaveAll"), nothing);
        EXPECT_EQ(enabled("btRecovAll"), nothing);
        for (const char* name : {"gbAll", "gbFiles", "gbChoiceUser", "gbAutorunAll"}) {
            EXPECT_EQ(shown(name), !nothing) << name;
        }
        EXPECT_EQ(tabShown("tsAutorun"), !nothing);
        EXPECT_EQ(tabShown("tsHosts"), !nothing);
        if (!nothing) {
            for (const char* name : {"cbChoiceUser", "btUserLoad", "btSaveUser", "btRecovUser"}) {
                EXPECT_EQ(enabled(name), !user) << name;
            }
            EXPECT_EQ(enabled("btUserUnload"), user);
        }
        for (const char* name : {"gbUser", "gbAdmin", "gbUserRun", "gbTemp", "gbProxy"}) {
            EXPECT_EQ(shown(name), user) << name;
        }
        EXPECT_TRUE(tabShown("ts1"));
        EXPECT_TRUE(tabShown("ts3"));
    }

    test::TargetTree tree_;
    std::vector<PlantedValue> xpExtra_;
    fs::path xpHive_;
    fs::path userHive_;
    engine::Context context_;
    test::RecordingLauncher launcher_;
    CountingQuestion question_;
    std::vector<std::chrono::milliseconds> waits_;
    std::vector<FileDialogSpec> dialogs_;
    std::optional<QString> chosenFile_;
    std::vector<QString> errors_;
    std::vector<bool> answers_; // Yes/No questions, in turn
    std::vector<std::string> boxes_;
    std::unique_ptr<TfmManual> window_;
};

TEST_F(ManualWindowTest, OpeningListsTheSystemsInOrderAndSelectsTheFirst) {
    open();
    EXPECT_EQ(window_->windowTitle().toStdString(), "Ручной режим...");
    EXPECT_EQ(window_->size(), QSize(689, 490));
    EXPECT_EQ(items("cbChoice"),
              (std::vector<std::string>{"Система на диске C:", "Система на диске D:"}));
    EXPECT_EQ(find<QComboBox>("cbChoice")->currentIndex(), 0);
    EXPECT_EQ(status(), "Выберите и загрузите систему из списка...");
    EXPECT_EQ(info(), std::vector<std::string>{"Не загружено..."});
    EXPECT_EQ(exitCaption(), "Для выхода нажмите здесь.");
    expectState(State::Nothing);
}

TEST_F(ManualWindowTest, WithoutSystemsLoadIsDisabledAndThePanelCloses) {
    tree_ = test::TargetTree();
    tree_.drive('c');
    open();
    EXPECT_EQ(items("cbChoice"), std::vector<std::string>{"Систем не найдено..."});
    EXPECT_FALSE(enabled("btLoad"));
    click("pnPanel");
    EXPECT_FALSE(window_->isVisible());
    EXPECT_EQ(window_->result(), QDialog::Accepted);
}

TEST_F(ManualWindowTest, WalksTheThreeStatesUpAndDown) {
    open();
    click("btLoad");
    EXPECT_EQ(status(),
              "Загруженo: " + std::string("  Операционная система: Microsoft Windows XP"));
    // The last letter of the status word is the Latin o.
    EXPECT_EQ(status().substr(0, std::string("Загружен").size() + 1), "Загруженo");
    EXPECT_EQ(info(), (std::vector<std::string>{
                          "  Информация о загруженной системе:",
                          "  Операционная система: Microsoft Windows XP",
                          info()[2], // the build, as the fixture names it
                          "  Системный каталог: C:\\WINDOWS",
                      }));
    EXPECT_EQ(exitCaption(), "Для выхода выгрузите все кусты реестра...Нажмите здесь...");
    EXPECT_EQ(question_.asked, 1) << "an XP load checks taskmgr.exe and userinit.exe";
    expectState(State::System);
    // The profiles of the mounted system, the last one selected.
    EXPECT_EQ(items("cbChoiceUser"), (std::vector<std::string>{"Admin", "Буся"}));
    EXPECT_EQ(find<QComboBox>("cbChoiceUser")->currentIndex(), 1);

    click("btUserLoad");
    EXPECT_EQ(status(), "Загружен реестр пользователя Буся");
    EXPECT_EQ(context_.CurrentUserHive, "c:\\Documents and Settings\\Буся\\NTUSER.DAT");
    expectState(State::User);

    click("btUserUnload");
    EXPECT_EQ(status(), "Пользователь выгружен...");
    EXPECT_TRUE(context_.CurrentUserHive.empty());
    expectState(State::System);

    click("btUnload");
    EXPECT_EQ(status(), "Выгружено всё...");
    EXPECT_EQ(info(), std::vector<std::string>{"Не загружено..."});
    EXPECT_EQ(exitCaption(), "Для выхода нажмите здесь...");
    EXPECT_TRUE(text("leShell").empty());
    EXPECT_TRUE(context_.CurrentSystemHive.empty());
    expectState(State::Nothing);

    // Every mount and unmount ended a running editor first; only the user
    // unmount waited for it.
    EXPECT_EQ(launcher_.starts, (std::vector<Start>{kTaskkill, kTaskkill, kTaskkill}));
    EXPECT_EQ(waits_, std::vector<std::chrono::milliseconds>{std::chrono::milliseconds(1000)});
}

TEST_F(ManualWindowTest, TheSecondSystemLoadsWithoutTheXpCheck) {
    open();
    find<QComboBox>("cbChoice")->setCurrentIndex(1);
    click("btLoad");
    EXPECT_EQ(context_.CurrentSystemHive, "d:\\Windows\\system32\\config\\software");
    EXPECT_EQ(question_.asked, 0);
    EXPECT_EQ(items("cbChoiceUser"), std::vector<std::string>{"User"});
    expectState(State::System);
}

TEST_F(ManualWindowTest, ASystemWithoutUserHivesCanStillBeUnmounted) {
    tree_ = test::TargetTree();
    tree_.addInstallation('c', "WINDOWS", WindowsKind::Xp32);
    open();
    click("btLoad");
    EXPECT_TRUE(items("cbChoiceUser").empty());
    click("btUserLoad");
    EXPECT_TRUE(context_.CurrentUserHive.empty());
    expectState(State::System);
    click("pnPanel");
    expectState(State::Nothing);
}

TEST_F(ManualWindowTest, TheExitPanelUnmountsOneHivePerClickUserFirst) {
    open();
    click("btLoad");
    click("btUserLoad");
    click("pnPanel");
    EXPECT_EQ(status(), "Пользователь выгружен...");
    EXPECT_EQ(exitCaption(), "Для выхода выгрузите все кусты реестра...Нажмите здесь...");
    expectState(State::System);
    click("pnPanel");
    EXPECT_EQ(status(), "Выгружено всё...");
    EXPECT_EQ(exitCaption(), "Для выхода нажмите здесь...");
    expectState(State::Nothing);
    EXPECT_TRUE(window_->isVisible());
    click("pnPanel");
    EXPECT_FALSE(window_->isVisible());
    EXPECT_TRUE(context_.registry.mounts().empty());
}

TEST_F(ManualWindowTest, EscapeAndTheWindowManagerCannotCloseIt) {
    open();
    click("btLoad");
    window_->reject();
    window_->close();
    EXPECT_TRUE(window_->isVisible());
}

TEST_F(ManualWindowTest, AFailedMountKeepsNothingLoadedAndSaysWhy) {
    {
        std::ofstream damage(xpHive_, std::ios::binary | std::ios::trunc);
        damage << std::string(8192, 'x');
    }
    open();
    click("btLoad");
    EXPECT_EQ(status(), "Ошибка загрузки...");
    EXPECT_TRUE(context_.CurrentSystemHive.empty());
    ASSERT_EQ(info().size(), 1u);
    EXPECT_NE(info()[0].find("не является кустом"), std::string::npos) << info()[0];
    expectState(State::Nothing);
    EXPECT_EQ(exitCaption(), "Для выхода нажмите здесь.");
}

TEST_F(ManualWindowTest, AFailedUserMountKeepsTheSystemState) {
    open();
    click("btLoad");
    fs::remove(userHive_);
    click("btUserLoad");
    EXPECT_EQ(status(), "Ошибка загрузки...");
    expectState(State::System);
    EXPECT_TRUE(enabled("btUserLoad"));
}

TEST_F(ManualWindowTest, FailedUnmountsKeepTheStateAndShowTheWholeReport) {
    open();
    click("btLoad");
    click("btUserLoad");
    // Changes in both hives, then a disk that refuses every write.
    click("btHealAll");
    click("btSave");
    click("btToolsDefaults");
    find<QRadioButton>("rgTaskman0")->click();
    click("btToolsSave");
    engine::hive::PosixFileIo real;
    const auto breakNextWrite = [&] {
        context_.registry.setFileIo(std::make_shared<test::FaultyFileIo>(
            real, test::FaultyFileIo::Fault::WriteError, std::size_t{1}));
    };

    breakNextWrite();
    click("btUserUnload");
    EXPECT_EQ(status(), "Ошибка выгрузки ...");
    expectState(State::User);
    breakNextWrite();
    click("pnPanel"); // tries the user again, failing again
    EXPECT_EQ(status(), "Ошибка выгрузки ...");
    expectState(State::User);

    context_.registry.setFileIo(nullptr);
    click("btUserUnload");
    expectState(State::System);
    breakNextWrite();
    click("btUnload");
    EXPECT_EQ(status(), "Ошибка выгрузки...");
    EXPECT_EQ(info().size(), 7u) << "the whole report after a failed unmount";
    EXPECT_EQ(info()[2], "  Операционная система: Microsoft Windows XP");
    expectState(State::System);

    context_.registry.setFileIo(nullptr);
    click("btUnload");
    expectState(State::Nothing);
}

TEST_F(ManualWindowTest, APrivilegeErrorEndsTheClickWithTheSystemsText) {
    open();
    context_.privileges.ntFamily = true;
    context_.privileges.adjust = [](std::string_view, bool) -> std::uint32_t { return 1300; };
    click("btLoad");
    ASSERT_EQ(errors_.size(), 1u);
    EXPECT_EQ(errors_[0].toStdString(), engine::registry::systemMessage(1300));
    expectState(State::Nothing);
    EXPECT_TRUE(context_.registry.mounts().empty());
}

// ---------------------------------------------------------------------------
// The Winlogon group.

class LockedXpTest : public ManualWindowTest {
protected:
    LockedXpTest() {
        xpExtra_ = {sz(kWinlogon, "Shell", "explorer.exe,C:\\x\\locker.exe"),
                    sz(kWinlogon, "Taskman", "C:\\x\\tm.exe"),
                    sz(kWinlogon, "Userinit", "C:\\WINDOWS\\system32\\userinit.exe,")};
    }
};

TEST_F(LockedXpTest, ShowsTheLockerInRedAndListsItsFiles) {
    open();
    click("btLoad");
    EXPECT_EQ(text("leShell"), "explorer.exe,C:\\x\\locker.exe");
    EXPECT_EQ(colour("leShell"), QColor(Qt::red));
    EXPECT_EQ(colour("leUserinit"), QColor(Qt::black));
    EXPECT_EQ(colour("leTaskman"), QColor(Qt::red));
    EXPECT_EQ(items("clbFiles"), (std::vector<std::string>{"C:\\x\\tm.exe", "C:\\x\\locker.exe"}));
    EXPECT_EQ(find<QListWidget>("clbFiles")->item(0)->checkState(), Qt::Unchecked);
}

TEST_F(LockedXpTest, ResetsChangeTheScreenOnlyUntilSave) {
    open();
    click("btLoad");
    const HiveSnapshot before(xpHive_);
    click("btHealShell");
    EXPECT_EQ(status(), "Оболочка установлена по умолчанию...");
    EXPECT_EQ(text("leShell"), "Explorer.exe");
    EXPECT_EQ(colour("leShell"), QColor(Qt::black));
    click("btHealAll");
    EXPECT_EQ(status(), "Все значения установлены но умолчанию...");
    EXPECT_TRUE(text("leTaskman").empty());
    // The list is rebuilt only by the judge: a click on the user group.
    EXPECT_EQ(items("clbFiles").size(), 2u);
    QTest::mouseClick(find("gbChoiceUser"), Qt::LeftButton, {}, QPoint(300, 70));
    EXPECT_TRUE(items("clbFiles").empty());
    click("btSave");
    EXPECT_EQ(status(), "Изменения реестра сохранены...");
    click("btUnload");
    before.expectChangedAndReadable(
        {{kWinlogon, "Shell", szLine("Shell", "Explorer.exe")},
         {kWinlogon, "Userinit", szLine("Userinit", "C:\\WINDOWS\\system32\\userinit.exe,")},
         {kWinlogon, "Taskman", std::nullopt}});
}

TEST_F(LockedXpTest, UnloadingWithoutSaveLeavesTheHiveAsItWas) {
    open();
    click("btLoad");
    const HiveSnapshot before(xpHive_);
    click("btHealAll");
    click("btUnload");
    before.expectUntouched();
}

TEST_F(ManualWindowTest, ASixtyFourBitLockerInTheNativeKeyIsShown) {
    tree_ = test::TargetTree();
    tree_.addInstallation('c', "Windows", WindowsKind::Win10x64,
                          {sz(kWinlogon, "Shell", "C:\\ProgramData\\lock.exe")});
    open();
    click("btLoad");
    EXPECT_EQ(text("leShell"), "C:\\ProgramData\\lock.exe");
    EXPECT_EQ(colour("leShell"), QColor(Qt::red));
    click("btHealUserinit");
    EXPECT_EQ(text("leUserinit"), "userinit.exe");
}

TEST_F(ManualWindowTest, TheHijackSweepAsksForEachHitAndDeletesOnYes) {
    const std::string ifeo =
        "Microsoft\\Windows NT\\CurrentVersion\\Image File Execution Options\\taskmgr.exe";
    tree_ = test::TargetTree();
    const auto hive = tree_.addInstallation('c', "WINDOWS", WindowsKind::Xp32,
                                            {sz(ifeo, "Debugger", "C:\\x\\locker.exe")});
    open();
    click("btLoad");
    answers_ = {false};
    click("Button3");
    ASSERT_EQ(boxes_.size(), 1u);
    EXPECT_NE(boxes_[0].find("C:\\x\\locker.exe"), std::string::npos) << boxes_[0];
    answers_ = {true};
    click("Button3");
    EXPECT_EQ(boxes_.back(), "Deleted!!!");
    const HiveSnapshot before(hive);
    click("btUnload");
    before.expectChanged({{ifeo, "Debugger", std::nullopt}});
}

TEST_F(ManualWindowTest, TheBootSectorButtonsStartTheirCommands) {
    open();
    click("Button1");
    click("Button2");
    find<QComboBox>("cbChoice")->setCurrentIndex(1);
    click("btLoad");
    launcher_.starts.clear();
    click("btBoot");
    EXPECT_EQ(launcher_.starts,
              (std::vector<Start>{{"\"bootsect.exe\" /nt60 D: /mbr", ShowMode::Normal}}));
}

TEST_F(ManualWindowTest, EachAutorunGroupShowsItsFiveTabsWhole) {
    open();
    click("btLoad");
    click("btUserLoad");
    find<QTabWidget>("pcTabs")->setCurrentWidget(find("tsAutorun"));
    for (const char* name : {"pcRunAll", "pcUserRun"}) {
        SCOPED_TRACE(name);
        auto* tabs = find<QTabWidget>(name);
        ASSERT_TRUE(tabs->isVisible());
        QTabBar* bar = tabs->tabBar();
        ASSERT_EQ(bar->count(), 5);
        // No scroll arrows stand in for a tab, and every tab lies inside
        // the group's tab set with room for its caption as the style lays it.
        for (const QToolButton* arrow : bar->findChildren<QToolButton*>()) {
            EXPECT_FALSE(arrow->isVisible());
        }
        const int padding = bar->style()->pixelMetric(QStyle::PM_TabBarTabHSpace, nullptr, bar);
        for (int tab = 0; tab < bar->count(); ++tab) {
            SCOPED_TRACE(bar->tabText(tab).toStdString());
            const QRect shown(bar->mapTo(tabs, bar->tabRect(tab).topLeft()),
                              bar->tabRect(tab).size());
            EXPECT_TRUE(tabs->rect().contains(shown)) << shown.x() << "+" << shown.width();
            EXPECT_TRUE(bar->rect().contains(bar->tabRect(tab)));
            EXPECT_GE(bar->tabRect(tab).width(),
                      bar->fontMetrics().horizontalAdvance(bar->tabText(tab)) + padding);
        }
    }
}

// ---------------------------------------------------------------------------
// The user groups.

class LockedUserTest : public ManualWindowTest {
protected:
    void SetUp() override {
        ManualWindowTest::SetUp();
        test::plantValues(userHive_, {dword(kPolicy, "DisableTaskMgr", 1),
                                      dword(kPolicy, "DisableRegistryTools", 2),
                                      sz(kCmdPolicy, "DisableCMD", "1"),
                                      sz(kPolicy, "Shell", "C:\\x\\locker.exe")});
        open();
        click("btLoad");
        click("btUserLoad");
    }
    int selected(const char* group) const {
        for (int item = 0; item < 3; ++item) {
            const std::string name = group + std::to_string(item);
            if (find<QRadioButton>(name.c_str())->isChecked()) {
                return item;
            }
        }
        return -1;
    }
};

TEST_F(LockedUserTest, PoliciesShowAsRadioGroupsInTheirColours) {
    EXPECT_EQ(selected("rgTaskman"), 0);
    EXPECT_EQ(find("rgTaskman")->palette().color(QPalette::WindowText), QColor(Qt::red));
    EXPECT_EQ(selected("rgRegedit"), -1) << "2 leaves the group without a selection";
    EXPECT_EQ(selected("rgCmd"), 2) << "a string reads as not set";
    EXPECT_EQ(find("rgCmd")->palette().color(QPalette::WindowText), QColor(Qt::black));
    EXPECT_EQ(text("leUserAdminShell"), "C:\\x\\locker.exe");
    EXPECT_EQ(colour("leUserAdminShell"), QColor(Qt::red));

    find<QRadioButton>("rgTaskman1")->click();
    EXPECT_EQ(find("rgTaskman")->palette().color(QPalette::WindowText), QColor(Qt::black));
}

TEST_F(LockedUserTest, SavesWriteTheirChoices) {
    const HiveSnapshot before(userHive_);
    find<QRadioButton>("rgTaskman1")->click();
    click("btToolsSave");
    EXPECT_EQ(status(), "Значения Административные инструменты сохранены...");
    click("btUserAdminHeal");
    EXPECT_EQ(status(), "Значение удалено...");
    click("btUserSave");
    EXPECT_EQ(status(), "Изменения реестра пользователя сохранены...");
    click("btUserUnload");
    before.expectChangedAndReadable({{kPolicy, "DisableTaskMgr", dwordLine("DisableTaskMgr", 0)},
                                     {kCmdPolicy, "DisableCMD", std::nullopt},
                                     {kPolicy, "Shell", std::nullopt}});
}

// ---------------------------------------------------------------------------
// Backups.

TEST_F(ManualWindowTest, BackupsCopyTheHiveAndRestoresPutItBack) {
    open();
    const fs::path backup = xpHive_.parent_path().parent_path().parent_path() / "soft.backregall";
    chosenFile_ = QString::fromStdString(backup.string());
    click("btSaveAll");
    EXPECT_EQ(status(), "Файл успешно сохранен...");
    EXPECT_EQ(test::readFile(backup), test::readFile(xpHive_));
    ASSERT_EQ(dialogs_.size(), 1u);
    EXPECT_EQ(dialogs_[0].title.toStdString(), "Сохранение реестра...");
    EXPECT_EQ(dialogs_[0].filter.toStdString(), "Сохранненый реестр (*.backregall)");
    EXPECT_EQ(dialogs_[0].defaultSuffix.toStdString(), "backregall");

    // A changed hive, then the copy put back over it.
    const auto original = test::readFile(xpHive_);
    test::plantValues(xpHive_, {sz(kWinlogon, "Shell", "C:\\x\\locker.exe")});
    ASSERT_NE(test::readFile(xpHive_), original);
    click("btRecovAll");
    EXPECT_EQ(status(), "Файл реестра успешно восстановлен...");
    EXPECT_EQ(test::readFile(xpHive_), original);

    // Cancelling a dialog changes nothing, not even the status line.
    chosenFile_.reset();
    click("btRecovAll");
    EXPECT_EQ(status(), "Файл реестра успешно восстановлен...");
}

TEST_F(ManualWindowTest, ARestoreRefusesAFileThatIsNotAHive) {
    open();
    const fs::path junk = xpHive_.parent_path() / "junk.backregall";
    std::ofstream(junk) << "not a hive";
    const auto original = test::readFile(xpHive_);
    chosenFile_ = QString::fromStdString(junk.string());
    click("btRecovAll");
    EXPECT_EQ(status().rfind("Файл не восстановлен: выбранный файл не является исправным кустом "
                             "реестра",
                             0),
              0u)
        << status();
    EXPECT_EQ(test::readFile(xpHive_), original);
}

TEST_F(ManualWindowTest, UserBackupsActOnTheSelectedProfile) {
    open();
    click("btLoad");
    const fs::path backup = userHive_.parent_path() / "user.backregusr";
    chosenFile_ = QString::fromStdString(backup.string());
    click("btSaveUser");
    EXPECT_EQ(status(), "Файл успешно сохранен...");
    EXPECT_EQ(test::readFile(backup), test::readFile(userHive_));
    EXPECT_EQ(dialogs_.back().filter.toStdString(), "Сохранненый реестр (*.backregusr)");
}

// ---------------------------------------------------------------------------
// Tools.

TEST_F(ManualWindowTest, ToolsShowTheirMessageAndStartTheirPrograms) {
    open();
    click("btCmd");
    EXPECT_EQ(status(), "Запуск командной строки...");
    click("btRegedit");
    EXPECT_EQ(status(), "Запуск редактора реестра...");
    EXPECT_EQ(launcher_.starts, (std::vector<Start>{{"cmd.exe", ShowMode::Normal},
                                                    {"regedit.exe", ShowMode::Normal}}));
}

// With the program's own launcher: the editor comes up at a mount, and the
// unmount's taskkill closes it before the hive goes.
TEST_F(ManualWindowTest, TheEditorOpensAtAMountAndTheUnmountClosesIt) {
    context_ = tree_.context();
    engine::platform::ProcessLauncher launcher({}, "");
    ShellHooks hooks;
    hooks.wait = [](std::chrono::milliseconds) {};
    window_ = std::make_unique<TfmManual>(context_, launcher, question_, hooks);
    takeOverEditorCommands(launcher, window_->registryEditor());
    window_->show();
    RegistryEditorWindow& editor = window_->registryEditor();

    click("btLoad");
    click("btRegeditAll");
    EXPECT_EQ(status(), "Запуск редактора реестра куст SOFTWARE для всех...");
    ASSERT_TRUE(editor.isVisible());
    EXPECT_EQ(editor.currentKeyPath().toStdString(), "HKEY_LOCAL_MACHINE\\LoadedHiveSoftware");

    click("btUserLoad"); // its taskkill closes the editor
    EXPECT_FALSE(editor.isVisible());
    click("btRegeditUser");
    EXPECT_EQ(status(), "Запуск редактора реестра куст пользователя...");
    ASSERT_TRUE(editor.isVisible());
    EXPECT_EQ(editor.currentKeyPath().toStdString(), "HKEY_LOCAL_MACHINE\\LoadedUserHive");

    click("btUserUnload");
    EXPECT_FALSE(editor.isVisible());
    EXPECT_EQ(status(), "Пользователь выгружен...");
    click("btRegedit"); // "regedit.exe": the editor again, at the key it showed last
    EXPECT_TRUE(editor.isVisible());
    click("btUnload");
    EXPECT_FALSE(editor.isVisible());
    EXPECT_TRUE(context_.registry.mounts().empty());
}

} // namespace
