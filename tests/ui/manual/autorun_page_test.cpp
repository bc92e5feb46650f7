// The page "Автозагрузка" standing alone over a mounted fixture installation
// and user: what the lists show and how they are ticked, a tick or untick
// moving the entry and the boxes then telling where it lives (also after a
// move that failed), the command of the selected item in edValue and its
// emptying on a tab switch, and the system-file check run on XP only.
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include <QGroupBox>
#include <QLineEdit>
#include <QListWidget>
#include <QTabWidget>
#include <QTest>

#include <gtest/gtest.h>

#include "context/context.h"
#include "manual/autorun_page.h"
#include "registry/hive_mounting.h"
#include "registry/reg_engine.h"
#include "support/target_tree.h"
#include "support/test_files.h"

namespace {

namespace fs = std::filesystem;
namespace registry = engine::registry;
using test::sz;
using test::WindowsKind;
using Strings = std::vector<std::string>;
// A list as it stands on screen: each item's caption and whether it is ticked.
using Items = std::vector<std::pair<std::string, bool>>;

const std::string kRun = "Microsoft\\Windows\\CurrentVersion\\Run";
const std::string kRunOnce = "Microsoft\\Windows\\CurrentVersion\\RunOnce";
const std::string kMountedRun = "LoadedHiveSoftware\\" + kRun;
const std::string kStartup = "Documents and Settings/All Users/Start Menu/Programs/Startup";
const std::string kWindowsStartup =
    "c:\\Documents and Settings\\All Users\\Start Menu\\Programs\\Startup";
constexpr const char* kSoftwareHive = "c:\\WINDOWS\\system32\\config\\software";
constexpr const char* kUserHive = "c:\\Documents and Settings\\Admin\\NTUSER.DAT";

void writeFile(const fs::path& file, const std::string& text) {
    fs::create_directories(file.parent_path());
    std::ofstream(file, std::ios::binary) << text;
}

// An XP on c: with two active Run entries and a disabled one, a RunOnce
// entry, a common startup folder holding a program, a shortcut and a
// disabled script; the user Admin with one Run entry and a disabled RunOnce
// entry. Both hives mounted and the context set as the console leaves it.
class AutorunPageTest : public ::testing::Test {
protected:
    void SetUp() override {
        tree_.addInstallation(
            'c', "WINDOWS", WindowsKind::Xp32,
            {
                sz(kRun, "Locker", "C:\\WINDOWS\\locker.exe"),
                sz(kRun, "Sound", "C:\\WINDOWS\\sound.exe /tray"),
                sz(kRun + "\\AutorunsDisabled", "Old", "C:\\old.exe"),
                sz(kRunOnce, "Once", "C:\\once.exe"),
                sz("Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders", "Common Startup",
                   "C:\\Documents and Settings\\All Users\\Start Menu\\Programs\\Startup"),
            });
        writeFile(startup() / "agent.exe", "MZ");
        fs::copy_file(test::testdata("links/nero-info-tool.lnk"), startup() / "nero.lnk");
        writeFile(startup() / "AutorunsDisabled" / "old.bat", "@echo off");
        const fs::path user = tree_.addProfile('c', WindowsKind::Xp32, "Admin");
        fs::remove(user);
        test::makeHive(
            user, {
                      sz("Software\\" + kRun, "UserTool", "C:\\tool.exe"),
                      sz("Software\\" + kRunOnce + "\\AutorunsDisabled", "Later", "C:\\later.exe"),
                  });
        context_ = tree_.context();
        ASSERT_TRUE(registry::LoadHive(context_, registry::kSoftwareMount, kSoftwareHive));
        ASSERT_TRUE(registry::LoadHive(context_, registry::kUserMount, kUserHive));
        context_.CurrentSystemHive = kSoftwareHive;
        context_.CurrentUserHive = kUserHive;
        context_.LoadedProductName = "Microsoft Windows XP";
        context_.LoadedSystemRoot = "C:\\WINDOWS";
        page_ = std::make_unique<AutorunPage>(
            context_, [this](const std::string& message) { status_.push_back(message); }, nullptr);
        page_->show();
    }
    void TearDown() override {
        page_.reset();
        (void)registry::UnloadHive(context_, registry::kUserMount);
        (void)registry::UnloadHive(context_, registry::kSoftwareMount);
    }

    fs::path startup() { return tree_.drive('c') / kStartup; }
    template <typename T = QWidget>
    T* find(const char* name) const {
        auto* widget = page_->findChild<T*>(QString::fromUtf8(name));
        EXPECT_NE(widget, nullptr) << name;
        return widget;
    }
    QListWidget* list(const char* name) const { return find<QListWidget>(name); }
    Items items(const char* name) const {
        Items shown;
        QListWidget* widget = list(name);
        for (int row = 0; row < widget->count(); ++row) {
            const QListWidgetItem* item = widget->item(row);
            shown.emplace_back(item->text().toStdString(), item->checkState() == Qt::Checked);
        }
        return shown;
    }
    bool shown(const char* name) const { return find(name)->isVisibleTo(page_.get()); }
    std::string edValue() const { return find<QLineEdit>("edValue")->text().toStdString(); }

    // What a person does: the space bar on an item ticks or unticks it, a
    // click on its caption selects it.
    void toggle(const char* name, int row) const {
        QListWidget* widget = list(name);
        widget->setCurrentRow(row);
        QTest::keyClick(widget, Qt::Key_Space);
    }
    void click(const char* name, int row) const {
        QListWidget* widget = list(name);
        QTest::mouseClick(widget->viewport(), Qt::LeftButton, {},
                          widget->visualItemRect(widget->item(row)).center());
    }

    Strings valueNames(const std::string& key) {
        registry::TRegEngine record;
        record.KeyPath = key;
        Strings names;
        registry::RegEngineValueNames(context_.registry, record, names);
        return names;
    }
    std::string text(const std::string& key, const std::string& name) {
        registry::TRegEngine record;
        record.KeyPath = key;
        record.ValueName = name;
        return registry::RegEngineReadString(context_.registry, record);
    }

    test::TargetTree tree_;
    engine::Context context_;
    Strings status_;
    std::unique_ptr<AutorunPage> page_;
};

TEST_F(AutorunPageTest, ListsShowEachSourceWithDisabledEntriesUntickedAndGroupsShowOnCue) {
    EXPECT_FALSE(shown("gbAutorunAll"));
    EXPECT_FALSE(shown("gbUserRun"));
    EXPECT_EQ(page_->systemGroup()->title().toStdString(), "Автозагрузка для всех");
    EXPECT_EQ(page_->userGroup()->title().toStdString(), "Автозагрузка пользователя");
    for (const char* tabs : {"pcRunAll", "pcUserRun"}) {
        Strings captions;
        auto* widget = find<QTabWidget>(tabs);
        for (int tab = 0; tab < widget->count(); ++tab) {
            captions.push_back(widget->tabText(tab).toStdString());
        }
        EXPECT_EQ(captions, (Strings{"Run", "RunOnce", "RunOnceEx", "Explorer Run", "Файлы"}))
            << tabs;
    }

    page_->fillSystem({});
    EXPECT_EQ(items("clbRunAll"), (Items{{"Locker", true}, {"Sound", true}, {"Old", false}}));
    EXPECT_EQ(items("clbRunOnceAll"), (Items{{"Once", true}}));
    EXPECT_EQ(items("clbRunExAll"), Items{});
    EXPECT_EQ(items("clbRunExplorerAll"), Items{});
    EXPECT_EQ(items("clbFilesAll"),
              (Items{{"agent.exe", true}, {"nero.lnk", true}, {"old.bat", false}}));
    EXPECT_FALSE(shown("gbAutorunAll")) << "filling alone does not show the group";
    page_->showSystem();
    EXPECT_TRUE(shown("gbAutorunAll"));

    page_->fillUser();
    EXPECT_TRUE(shown("gbUserRun"));
    EXPECT_EQ(items("clbUserRun"), (Items{{"UserTool", true}}));
    EXPECT_EQ(items("clbRunOnceUser"), (Items{{"Later", false}}));
    for (const char* name : {"clbRunOnceExUser", "clbExplorerRunUser", "clbFilesUser"}) {
        EXPECT_EQ(items(name), Items{}) << name;
    }

    page_->hideUser();
    EXPECT_FALSE(shown("gbUserRun"));
    EXPECT_TRUE(shown("gbAutorunAll"));
    page_->hideSystem();
    EXPECT_FALSE(shown("gbAutorunAll"));
    EXPECT_TRUE(status_.empty()) << "filling says nothing";
}

TEST_F(AutorunPageTest, SystemFileCheckRunsForWindowsXpOnly) {
    struct Case {
        const char* product;
        int checks;
    };
    for (const Case& c :
         {Case{"Microsoft Windows XP", 1}, Case{"microsoft windows xp", 0},
          Case{"Microsoft Windows XP Professional", 0}, Case{"Windows 7 Ultimate", 0}}) {
        SCOPED_TRACE(c.product);
        context_.LoadedProductName = c.product;
        int checks = 0;
        page_->fillSystem([&] { ++checks; });
        EXPECT_EQ(checks, c.checks);
        EXPECT_EQ(items("clbRunAll").size(), 3u) << "the lists are filled either way";
    }
}

TEST_F(AutorunPageTest, UntickingMovesTheValueIntoAutorunsDisabledAndTickingBringsItBack) {
    page_->fillSystem({});
    page_->showSystem();
    const std::string disabled = kMountedRun + "\\AutorunsDisabled";

    toggle("clbRunAll", 0);
    EXPECT_EQ(items("clbRunAll"), (Items{{"Locker", false}, {"Sound", true}, {"Old", false}}));
    EXPECT_EQ(valueNames(kMountedRun), Strings{"Sound"});
    EXPECT_EQ(valueNames(disabled), (Strings{"Old", "Locker"}));
    EXPECT_EQ(text(disabled, "Locker"), "C:\\WINDOWS\\locker.exe");
    EXPECT_TRUE(status_.empty()) << "a registry move that worked says nothing";

    // A fresh reading lists it among the disabled ones.
    page_->fillSystem({});
    EXPECT_EQ(items("clbRunAll"), (Items{{"Sound", true}, {"Old", false}, {"Locker", false}}));

    toggle("clbRunAll", 2);
    EXPECT_EQ(items("clbRunAll"), (Items{{"Sound", true}, {"Old", false}, {"Locker", true}}));
    EXPECT_EQ(valueNames(kMountedRun), (Strings{"Sound", "Locker"}));
    EXPECT_EQ(valueNames(disabled), Strings{"Old"});
    EXPECT_EQ(text(kMountedRun, "Locker"), "C:\\WINDOWS\\locker.exe");

    // The user's lists go to the user's keys.
    page_->fillUser();
    toggle("clbRunOnceUser", 0);
    EXPECT_EQ(items("clbRunOnceUser"), (Items{{"Later", true}}));
    EXPECT_EQ(text("LoadedUserHive\\Software\\" + kRunOnce, "Later"), "C:\\later.exe");
    EXPECT_TRUE(status_.empty());
}

TEST_F(AutorunPageTest, StartupFileMovesIntoTheSubfolderAndBack) {
    page_->fillSystem({});
    page_->showSystem();
    find<QTabWidget>("pcRunAll")->setCurrentIndex(4);

    toggle("clbFilesAll", 0);
    EXPECT_EQ(items("clbFilesAll"),
              (Items{{"agent.exe", false}, {"nero.lnk", true}, {"old.bat", false}}));
    EXPECT_FALSE(fs::exists(startup() / "agent.exe"));
    EXPECT_TRUE(fs::exists(startup() / "AutorunsDisabled" / "agent.exe"));

    toggle("clbFilesAll", 0);
    EXPECT_EQ(items("clbFilesAll"),
              (Items{{"agent.exe", true}, {"nero.lnk", true}, {"old.bat", false}}));
    EXPECT_TRUE(fs::exists(startup() / "agent.exe"));
    EXPECT_FALSE(fs::exists(startup() / "AutorunsDisabled" / "agent.exe"));
    EXPECT_EQ(status_, (Strings{"Файл перемещен успешно...", "Файл перемещен успешно..."}));
}

// A move that cannot be made leaves the entry where it was: the box goes
// back to its old state, the status line says why (once), and nothing is lost.
TEST_F(AutorunPageTest, AFailedMoveSetsTheBoxBackAndSaysWhy) {
    struct Case {
        const char* list;
        int tab;
        std::function<void()> spoil;
        const char* message;
    };
    const std::string disabled = kMountedRun + "\\AutorunsDisabled";
    const std::vector<Case> cases = {
        {"clbRunAll", 0,
         [&] {
             // Another "Locker" already sits in AutorunsDisabled.
             registry::TRegEngine record;
             record.KeyPath = disabled;
             record.ValueName = "Locker";
             registry::RegEngineWriteString(context_.registry, record, "C:\\other.exe");
         },
         "Значение не перемещено: там уже есть другое значение с таким именем!!!"},
        {"clbFilesAll", 4, [&] { fs::remove(startup() / "agent.exe"); }, "Файл не перемещен!!!"},
    };
    page_->showSystem();
    for (const Case& c : cases) {
        SCOPED_TRACE(c.list);
        page_->fillSystem({});
        find<QTabWidget>("pcRunAll")->setCurrentIndex(c.tab);
        c.spoil();
        status_.clear();
        toggle(c.list, 0);
        const Items after = items(c.list);
        ASSERT_FALSE(after.empty());
        EXPECT_TRUE(after[0].second) << "the entry did not move, so its box stays ticked";
        EXPECT_EQ(status_, Strings{c.message});
    }
    EXPECT_EQ(text(kMountedRun, "Locker"), "C:\\WINDOWS\\locker.exe");
    EXPECT_EQ(text(disabled, "Locker"), "C:\\other.exe");
}

TEST_F(AutorunPageTest, EdValueShowsTheSelectedCommandAndEmptiesOnATabSwitch) {
    page_->fillSystem({});
    page_->showSystem();
    page_->fillUser();

    click("clbRunAll", 1);
    EXPECT_EQ(edValue(), "C:\\WINDOWS\\sound.exe /tray");
    click("clbRunAll", 2);
    EXPECT_EQ(edValue(), "C:\\old.exe") << "a disabled entry's command, from AutorunsDisabled";

    auto* tabs = find<QTabWidget>("pcRunAll");
    tabs->setCurrentIndex(1);
    EXPECT_EQ(edValue(), "");
    tabs->setCurrentIndex(0);
    EXPECT_EQ(edValue(), "") << "coming back selects nothing anew";
    click("clbRunAll", 2);
    EXPECT_EQ(edValue(), "C:\\old.exe") << "clicking the still selected item shows it again";

    tabs->setCurrentIndex(4);
    click("clbFilesAll", 0);
    EXPECT_EQ(edValue(), kWindowsStartup + "\\agent.exe");
    click("clbFilesAll", 1);
    EXPECT_EQ(edValue(), "C:\\Program Files (x86)\\Nero\\Nero 9\\Nero InfoTool\\InfoTool.exe");
    click("clbFilesAll", 2);
    EXPECT_EQ(edValue(), kWindowsStartup + "\\AutorunsDisabled\\old.bat");

    click("clbUserRun", 0);
    EXPECT_EQ(edValue(), "C:\\tool.exe");
    find<QTabWidget>("pcUserRun")->setCurrentIndex(3);
    EXPECT_EQ(edValue(), "");

    // A new loading selects nothing, so no command of the old lists stays.
    click("clbFilesAll", 0);
    page_->fillSystem({});
    EXPECT_EQ(edValue(), "");
    EXPECT_TRUE(status_.empty());
}

} // namespace
