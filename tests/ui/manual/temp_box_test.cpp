// The group "Временные файлы" standing alone over a mounted user hive: the
// folders and boxes a person sees after a user load, a cleaning of the ticked
// folder only, and the refusal to empty a drive's root.
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include <QCheckBox>
#include <QLineEdit>
#include <QPushButton>

#include <gtest/gtest.h>

#include "context/context.h"
#include "manual/temp_box.h"
#include "registry/hive_mounting.h"
#include "support/target_tree.h"

namespace {

namespace fs = std::filesystem;
using Strings = std::vector<std::string>;

void touch(const fs::path& file) {
    fs::create_directories(file.parent_path());
    std::ofstream(file) << "tmp";
}

class TempBoxTest : public ::testing::Test {
protected:
    // A user of an XP on c: whose Environment holds TEMP and TMP, mounted as
    // the console mounts it.
    void mountUser(const std::string& temp, const std::string& tmp) {
        tree_.addInstallation('c', "WINDOWS", test::WindowsKind::Xp32);
        hive_ = tree_.addProfile('c', test::WindowsKind::Xp32, "Admin");
        fs::remove(hive_);
        test::makeHive(hive_, {test::expandSz("Environment", "TEMP", temp),
                               test::expandSz("Environment", "TMP", tmp)});
        context_ = tree_.context();
        context_.CurrentUserHive = "c:\\Documents and Settings\\Admin\\NTUSER.DAT";
        ASSERT_TRUE(engine::registry::LoadHive(context_, engine::registry::kUserMount,
                                               context_.CurrentUserHive));
        box_ = std::make_unique<TempBox>(
            context_, [this](const std::string& message) { status_.push_back(message); }, nullptr);
        box_->show();
    }
    void TearDown() override {
        (void)engine::registry::UnloadHive(context_, engine::registry::kUserMount);
    }

    template <typename T = QWidget>
    T* find(const char* name) const {
        auto* widget = box_->findChild<T*>(QString::fromUtf8(name));
        EXPECT_NE(widget, nullptr) << name;
        return widget;
    }
    std::string text(const char* name) const { return find<QLineEdit>(name)->text().toStdString(); }
    bool shown(const char* name) const { return find(name)->isVisibleTo(box_.get()); }

    test::TargetTree tree_;
    fs::path hive_;
    engine::Context context_;
    Strings status_;
    std::unique_ptr<TempBox> box_;
};

TEST_F(TempBoxTest, ShowsBothFoldersAndCleansOnlyTheTickedOne) {
    mountUser("%USERPROFILE%\\Local Settings\\Temp", "C:\\Temp");
    const fs::path temp = hive_.parent_path() / "Local Settings" / "Temp";
    const fs::path tmp = tree_.drive('c') / "Temp";
    touch(temp / "a.tmp");
    touch(temp / "sub" / "b.tmp");
    touch(tmp / "kept.tmp");
    box_->load();

    EXPECT_EQ(box_->objectName().toStdString(), "gbTemp");
    EXPECT_EQ(box_->title().toStdString(), "Временные файлы");
    EXPECT_EQ(text("leTemp"), "c:\\Documents and Settings\\Admin\\Local Settings\\Temp");
    EXPECT_EQ(text("leTMP"), "C:\\Temp");
    EXPECT_TRUE(shown("leTMP") && shown("cbTmp"));
    auto* cbTemp = find<QCheckBox>("cbTemp");
    auto* cbTmp = find<QCheckBox>("cbTmp");
    EXPECT_FALSE(cbTemp->isChecked() || cbTmp->isChecked());

    find<QPushButton>("btDelTemp")->click();
    EXPECT_TRUE(status_.empty()) << "nothing ticked, nothing done";
    EXPECT_TRUE(fs::exists(temp / "a.tmp"));

    cbTemp->click();
    find<QPushButton>("btDelTemp")->click();
    EXPECT_EQ(status_, Strings{"Очищена папка временных файлов..."});
    EXPECT_TRUE(fs::is_directory(temp));
    EXPECT_TRUE(fs::is_empty(temp));
    EXPECT_TRUE(fs::exists(tmp / "kept.tmp"));

    // The next user load unticks the boxes.
    cbTmp->click();
    box_->load();
    EXPECT_FALSE(cbTemp->isChecked() || cbTmp->isChecked());
}

TEST_F(TempBoxTest, TmpEqualButForCaseIsHiddenAndADriveRootIsNeverEmptied) {
    mountUser("C:\\", "c:\\");
    touch(tree_.drive('c') / "keep.txt");
    box_->load();
    EXPECT_EQ(text("leTemp"), "C:\\");
    EXPECT_FALSE(shown("leTMP"));
    EXPECT_FALSE(shown("cbTmp"));

    find<QCheckBox>("cbTemp")->click();
    find<QPushButton>("btDelTemp")->click();
    EXPECT_EQ(status_, Strings{"Очистка отменена: папка C:\\ является корнем диска..."});
    EXPECT_TRUE(fs::exists(tree_.drive('c') / "keep.txt"));
    EXPECT_TRUE(fs::exists(hive_));
}

} // namespace
