// The group "Возможно файлы блокировщиков или вирусов" standing alone: the
// judge's entries unticked, the warning on selection, the tick buttons, and
// the marks two presses of "Удалить выбранное" leave on the entries.
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include <QListWidget>
#include <QPushButton>

#include <gtest/gtest.h>

#include "context/context.h"
#include "manual/files_box.h"
#include "support/target_tree.h"

namespace {

namespace fs = std::filesystem;
using Strings = std::vector<std::string>;

void touch(const fs::path& file) {
    fs::create_directories(file.parent_path());
    std::ofstream(file) << "MZ";
}

class FilesBoxTest : public ::testing::Test {
protected:
    void SetUp() override {
        locker_ = tree_.drive('c') / "x" / "locker.exe";
        kept_ = tree_.drive('c') / "x" / "kept.exe";
        touch(locker_);
        touch(kept_);
        context_ = tree_.context();
        box_ = std::make_unique<FilesBox>(
            context_, [this](const std::string& message) { status_.push_back(message); }, nullptr);
        box_->show();
        list_ = box_->findChild<QListWidget*>(QStringLiteral("clbFiles"));
        ASSERT_NE(list_, nullptr);
    }
    void click(const char* name) const {
        auto* button = box_->findChild<QPushButton*>(QString::fromUtf8(name));
        ASSERT_NE(button, nullptr) << name;
        button->click();
    }
    Strings texts() const {
        Strings lines;
        for (int row = 0; row < list_->count(); ++row) {
            lines.push_back(list_->item(row)->text().toStdString());
        }
        return lines;
    }
    std::vector<bool> ticks() const {
        std::vector<bool> ticked;
        for (int row = 0; row < list_->count(); ++row) {
            ticked.push_back(list_->item(row)->checkState() == Qt::Checked);
        }
        return ticked;
    }

    test::TargetTree tree_;
    fs::path locker_;
    fs::path kept_;
    engine::Context context_;
    Strings status_;
    std::unique_ptr<FilesBox> box_;
    QListWidget* list_ = nullptr;
};

TEST_F(FilesBoxTest, EntriesComeUntickedAndTheTickButtonsSetThemAll) {
    box_->setEntries({"C:\\x\\locker.exe", "C:\\x\\kept.exe"});
    EXPECT_EQ(texts(), (Strings{"C:\\x\\locker.exe", "C:\\x\\kept.exe"}));
    EXPECT_EQ(ticks(), (std::vector<bool>{false, false}));
    EXPECT_TRUE(list_->item(0)->flags() & Qt::ItemIsUserCheckable);
    EXPECT_TRUE(status_.empty());

    list_->setCurrentRow(1);
    EXPECT_EQ(status_, Strings{"Убедитесь что файлы не являютя системными или важными..."});
    click("btCheck");
    EXPECT_EQ(ticks(), (std::vector<bool>{true, true}));
    click("btUncheck");
    EXPECT_EQ(ticks(), (std::vector<bool>{false, false}));

    // Deleting with nothing ticked does nothing and shows nothing.
    status_.clear();
    click("btDeleteFiles");
    EXPECT_TRUE(status_.empty());
    EXPECT_TRUE(fs::exists(locker_));

    // A new judgement replaces the entries, unticked.
    click("btCheck");
    box_->setEntries({"C:\\y.exe"});
    EXPECT_EQ(texts(), Strings{"C:\\y.exe"});
    EXPECT_EQ(ticks(), std::vector<bool>{false});
}

TEST_F(FilesBoxTest, DeletingMarksTheTickedEntriesOverTwoPresses) {
    box_->setEntries({"C:\\x\\locker.exe", "C:\\x\\kept.exe", "C:\\x\\absent.exe"});
    // The technician ticks the first and the last by hand.
    list_->item(0)->setCheckState(Qt::Checked);
    list_->item(2)->setCheckState(Qt::Checked);
    click("btDeleteFiles");

    EXPECT_EQ(texts(), (Strings{"C:\\x\\locker.exe  - Удален...", "C:\\x\\kept.exe",
                                "C:\\x\\absent.exe  - Не найден..."}));
    EXPECT_EQ(status_, (Strings{"Удаление файла успешно...", "Файл не найден..."}));
    EXPECT_EQ(ticks(), (std::vector<bool>{true, false, true})) << "ticks stay";
    EXPECT_FALSE(fs::exists(locker_));
    EXPECT_TRUE(fs::exists(kept_));

    status_.clear();
    click("btDeleteFiles");
    EXPECT_EQ(texts(), (Strings{"C:\\x\\locker.exe  - Удален...  - Не найден...", "C:\\x\\kept.exe",
                                "C:\\x\\absent.exe  - Не найден...  - Не найден..."}));
    EXPECT_EQ(status_, (Strings{"Файл не найден...", "Файл не найден..."}));
    EXPECT_TRUE(fs::exists(kept_));
}

} // namespace
