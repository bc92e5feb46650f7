// The system-file restore dialog as the operator sees and answers it: the
// rows' colours and boxes, the three ways it closes, and the ticks it keeps
// from one question to the next.
#include <array>
#include <functional>
#include <string>
#include <vector>

#include <QApplication>
#include <QCheckBox>
#include <QColor>
#include <QLabel>
#include <QPushButton>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

#include "rules/change_dialog.h"

namespace {

using engine::rules::DialogResult;
using engine::rules::RestoreAnswer;
using engine::rules::SystemFile;
using engine::rules::SystemFileRow;

const std::array<const char*, 4> kLabels = {"Userinit.exe", "dllcache\\Userinit.exe", "taskmgr.exe",
                                            "dllcache\\taskmgr.exe"};
const QColor kGreen(0, 128, 0);
const QColor kRed(255, 0, 0);

// The four rows in dialog order, each genuine or not.
std::array<SystemFileRow, 4> rows(const std::array<bool, 4>& genuine) {
    std::array<SystemFileRow, 4> result;
    for (std::size_t i = 0; i < result.size(); ++i) {
        result[i].file = static_cast<SystemFile>(i);
        result[i].label = kLabels[i];
        result[i].windowsPath = std::string("c:\\WINDOWS\\system32\\") + kLabels[i];
        result[i].genuine = genuine[i];
    }
    return result;
}

class ChangeDialogTest : public ::testing::Test {
protected:
    QLabel& label(std::size_t row) {
        static const std::array<const char*, 4> names = {"lbUserinit", "lbUserinitCashe",
                                                         "lbTaskmgr", "lbTaskMgrCashe"};
        return *found<QLabel>(names[row]);
    }
    QCheckBox& box(std::size_t row) {
        static const std::array<const char*, 4> names = {"cbRecUserinit", "cbRecUserinitCashe",
                                                         "cbRecTaskmgr", "cbRecTaskmgrCashe"};
        return *found<QCheckBox>(names[row]);
    }
    QPushButton& button(const char* name) { return *found<QPushButton>(name); }

    // Asks the dialog; `operate` runs while it is open (modal, on screen) and
    // closes it as the operator would.
    RestoreAnswer askAndOperate(const std::array<SystemFileRow, 4>& question,
                                const std::function<void()>& operate) {
        bool operated = false;
        QTimer::singleShot(0, &dialog_, [&] {
            operated = true;
            EXPECT_TRUE(dialog_.isVisible());
            EXPECT_EQ(QApplication::activeModalWidget(), &dialog_);
            operate();
            if (dialog_.isVisible()) {
                ADD_FAILURE() << "the dialog is still open";
                dialog_.done(QDialog::Rejected);
            }
        });
        const RestoreAnswer answer = dialog_.ask(question);
        EXPECT_TRUE(operated);
        EXPECT_FALSE(dialog_.isVisible());
        return answer;
    }

    TfmChange dialog_;

private:
    template <class Widget>
    Widget* found(const char* name) {
        auto* widget = dialog_.findChild<Widget*>(QString::fromLatin1(name));
        EXPECT_NE(widget, nullptr) << name;
        return widget;
    }
};

TEST_F(ChangeDialogTest, LooksAsCreated) {
    EXPECT_EQ(dialog_.windowTitle(), QString("Проверка файлов..."));
    EXPECT_EQ(dialog_.size(), QSize(350, 215));
    EXPECT_EQ(dialog_.minimumSize(), dialog_.maximumSize());
    const Qt::WindowFlags flags = dialog_.windowFlags();
    EXPECT_TRUE(flags & Qt::WindowStaysOnTopHint);
    EXPECT_TRUE(flags & Qt::WindowCloseButtonHint);
    EXPECT_FALSE(flags & (Qt::WindowMinimizeButtonHint | Qt::WindowMaximizeButtonHint));
    EXPECT_EQ(dialog_.font().family(), QString("Tahoma"));
    EXPECT_EQ(dialog_.font().pixelSize(), 11);

    auto* test = dialog_.findChild<QLabel*>("lbTest");
    ASSERT_NE(test, nullptr);
    EXPECT_EQ(test->text(), QString("Проверяемая система.."));
    EXPECT_TRUE(test->font().bold());
    EXPECT_EQ(test->font().pixelSize(), 13);

    for (std::size_t row = 0; row < 4; ++row) {
        SCOPED_TRACE(row);
        EXPECT_EQ(label(row).text(), QString(kLabels[row]));
        EXPECT_TRUE(label(row).font().bold());
        EXPECT_EQ(label(row).font().pixelSize(), 16);
        EXPECT_EQ(box(row).text(), QString("Восстановить"));
        EXPECT_FALSE(box(row).isChecked());
    }
    EXPECT_EQ(button("btRecover").text(), QString("Восстановить"));
    EXPECT_EQ(button("btCancel").text(), QString("Отменить"));
}

// On screen: the rows top to bottom, each box at the right of its label, the
// buttons at the bottom right, and no text cut short.
TEST_F(ChangeDialogTest, LaysOutItsControlsWithoutClippingThem) {
    askAndOperate(rows({false, false, false, false}), [&] {
        const auto place = [&](QWidget& widget) {
            return QRect(widget.mapTo(&dialog_, QPoint()), widget.size());
        };
        const auto unclipped = [&](QWidget& widget) {
            SCOPED_TRACE(widget.objectName().toStdString());
            EXPECT_GE(widget.width(), widget.sizeHint().width());
            EXPECT_GE(widget.height(), widget.sizeHint().height());
            EXPECT_TRUE(dialog_.rect().contains(place(widget)));
        };
        unclipped(*dialog_.findChild<QLabel*>("lbTest"));
        for (std::size_t row = 0; row < 4; ++row) {
            SCOPED_TRACE(row);
            unclipped(label(row));
            unclipped(box(row));
            EXPECT_GE(place(box(row)).left(), place(label(row)).right());
            if (row > 0) {
                EXPECT_GE(place(label(row)).top(), place(label(row - 1)).bottom());
            }
        }
        unclipped(button("btRecover"));
        unclipped(button("btCancel"));
        EXPECT_GE(place(button("btRecover")).top(), place(label(3)).bottom());
        EXPECT_GE(place(button("btCancel")).left(), place(button("btRecover")).right());
        EXPECT_GT(place(button("btRecover")).left(), dialog_.width() / 2);
        dialog_.close();
    });
}

// Which rows are red with a box and which green without one, as the
// operator sees them while the dialog is open.
TEST_F(ChangeDialogTest, ShowsEveryRowGreenOrRedWithItsBoxOnlyWhenBad) {
    const std::vector<std::array<bool, 4>> cases = {
        {false, false, false, false},
        {true, true, true, false}, // only the cached task manager is bad
        {false, true, true, true},
        {true, false, false, true},
    };
    for (const auto& genuine : cases) {
        SCOPED_TRACE(::testing::PrintToString(genuine));
        askAndOperate(rows(genuine), [&] {
            for (std::size_t row = 0; row < 4; ++row) {
                SCOPED_TRACE(row);
                EXPECT_EQ(label(row).palette().color(QPalette::WindowText),
                          genuine[row] ? kGreen : kRed);
                EXPECT_EQ(box(row).isVisible(), !genuine[row]);
                EXPECT_EQ(label(row).text(), QString(kLabels[row]));
            }
            button("btCancel").click();
        });
    }
}

TEST_F(ChangeDialogTest, EachWayOfClosingGivesItsResultWithTheTicks) {
    struct Case {
        const char* how;
        std::function<void()> close;
        DialogResult result;
    };
    const std::vector<Case> cases = {
        {"Восстановить", [&] { QTest::mouseClick(&button("btRecover"), Qt::LeftButton); },
         DialogResult::Ok},
        {"Отменить", [&] { QTest::mouseClick(&button("btCancel"), Qt::LeftButton); },
         DialogResult::No},
        {"the close box", [&] { dialog_.close(); }, DialogResult::Cancel},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.how);
        const RestoreAnswer answer = askAndOperate(rows({false, true, false, false}), [&] {
            // Tick the task manager's box, leave the other two bad rows.
            QTest::mouseClick(&box(2), Qt::LeftButton);
            EXPECT_TRUE(box(2).isChecked());
            c.close();
        });
        EXPECT_EQ(answer.result, c.result);
        EXPECT_EQ(answer.ticked, (std::array<bool, 4>{false, false, true, false}));
        box(2).setChecked(false);
    }
}

TEST_F(ChangeDialogTest, ABoxKeepsItsTickForTheNextQuestionUntilItsFileIsGenuine) {
    // First installation: every file bad; the operator ticks two, then refuses.
    RestoreAnswer first = askAndOperate(rows({false, false, false, false}), [&] {
        QTest::mouseClick(&box(0), Qt::LeftButton);
        QTest::mouseClick(&box(3), Qt::LeftButton);
        button("btCancel").click();
    });
    EXPECT_EQ(first.result, DialogResult::No);
    EXPECT_EQ(first.ticked, (std::array<bool, 4>{true, false, false, true}));

    // Second installation: the cached task manager is bad again and its box
    // opens ticked; userinit.exe is genuine there, so its box is hidden and
    // unticked.
    RestoreAnswer second = askAndOperate(rows({true, false, false, false}), [&] {
        EXPECT_TRUE(box(3).isChecked());
        EXPECT_FALSE(box(0).isVisible());
        EXPECT_FALSE(box(0).isChecked());
        EXPECT_FALSE(box(1).isChecked());
        button("btRecover").click();
    });
    EXPECT_EQ(second.result, DialogResult::Ok);
    EXPECT_EQ(second.ticked, (std::array<bool, 4>{false, false, false, true}));

    // Third: userinit.exe bad again; its box comes back unticked.
    askAndOperate(rows({false, true, true, true}), [&] {
        EXPECT_TRUE(box(0).isVisible());
        EXPECT_FALSE(box(0).isChecked());
        button("btCancel").click();
    });
}

TEST_F(ChangeDialogTest, TabGoesThroughTheShownBoxesThenRecoverThenCancel) {
    const std::vector<std::pair<std::array<bool, 4>, std::vector<std::string>>> cases = {
        {{false, false, false, false},
         {"cbRecUserinit", "cbRecUserinitCashe", "cbRecTaskmgr", "cbRecTaskmgrCashe", "btRecover",
          "btCancel", "cbRecUserinit"}},
        {{true, false, true, false},
         {"cbRecUserinitCashe", "cbRecTaskmgrCashe", "btRecover", "btCancel",
          "cbRecUserinitCashe"}},
    };
    for (const auto& [genuine, order] : cases) {
        SCOPED_TRACE(::testing::PrintToString(genuine));
        askAndOperate(rows(genuine), [&, &order = order] {
            ASSERT_TRUE(QTest::qWaitForWindowActive(&dialog_));
            QWidget* first = dialog_.findChild<QWidget*>(QString::fromStdString(order.front()));
            first->setFocus(Qt::TabFocusReason);
            std::vector<std::string> visited = {
                QApplication::focusWidget()
                    ? QApplication::focusWidget()->objectName().toStdString()
                    : std::string("(none)")};
            for (std::size_t i = 1; i < order.size(); ++i) {
                QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
                QWidget* focus = QApplication::focusWidget();
                visited.push_back(focus ? focus->objectName().toStdString() : "(none)");
            }
            EXPECT_EQ(visited, order);
            dialog_.close();
        });
    }
}

} // namespace
