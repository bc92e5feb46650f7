// The toolbar: docked across the work area at the edge chosen, docked again
// after a display mode change, its mode list, its buttons and tools menu.
#include <QAction>
#include <QComboBox>
#include <QFontMetrics>
#include <QGuiApplication>
#include <QMenu>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>

#include <gtest/gtest.h>

#include "ui/shell/shell_fixture.h"

namespace {

using engine::platform::ShowMode;
using Start = test::RecordingLauncher::Start;

template <typename Widget>
Widget& child(QWidget& window, const char* name) {
    auto* found = window.findChild<Widget*>(QString::fromUtf8(name));
    if (found == nullptr) {
        throw std::runtime_error(std::string("no control ") + name);
    }
    return *found;
}

QRect workArea() {
    return QGuiApplication::primaryScreen()->availableGeometry();
}

QRect dockedAt(bool bottom) {
    const QRect area = workArea();
    return {area.left(), bottom ? area.bottom() + 1 - 103 : area.top(), area.width(), 103};
}

TEST(Toolbar, DockedEdgeSurvivesADisplayModeChange) {
    test::Shell shell;
    TfmWelcome& toolbar = shell.windows->fmWelcome;
    toolbar.show();
    EXPECT_EQ(toolbar.geometry(), dockedAt(false));
    EXPECT_TRUE(child<QRadioButton>(toolbar, "rbTop").isChecked());

    child<QRadioButton>(toolbar, "rbBottom").click();
    EXPECT_EQ(toolbar.geometry(), dockedAt(true));

    // Moved away (as a window system may do while the screen changes).
    toolbar.move(0, 200);
    auto& modes = child<QComboBox>(toolbar, "cbScreen");
    modes.setCurrentIndex(2);
    child<QPushButton>(toolbar, "Button2").click();
    ASSERT_EQ(shell.display.changes.size(), 1u);
    EXPECT_EQ(shell.display.changes[0], shell.display.modes[2]);
    EXPECT_EQ(toolbar.geometry(), dockedAt(true));

    child<QRadioButton>(toolbar, "rbTop").click();
    EXPECT_EQ(toolbar.geometry(), dockedAt(false));
}

TEST(Toolbar, ChangeWithNoModeChosenChangesNothing) {
    test::Shell shell;
    TfmWelcome& toolbar = shell.windows->fmWelcome;
    toolbar.show();
    auto& modes = child<QComboBox>(toolbar, "cbScreen");
    EXPECT_EQ(modes.currentIndex(), -1);
    EXPECT_FALSE(modes.isEditable());
    QStringList items;
    for (int i = 0; i < modes.count(); ++i) {
        items << modes.itemText(i);
    }
    EXPECT_EQ(items, (QStringList{QStringLiteral("1024 x 768 - 32 bit"),
                                  QStringLiteral("800 x 600 - 32 bit"),
                                  QStringLiteral("1280 x 1024 - 16 bit")}));

    child<QPushButton>(toolbar, "Button2").click();
    EXPECT_TRUE(shell.display.changes.empty());
    EXPECT_EQ(toolbar.geometry(), dockedAt(false));
}

TEST(Toolbar, ButtonsAndToolsMenuOpenWindowsAndStartPrograms) {
    test::Shell shell;
    auto& w = *shell.windows;
    TfmWelcome& toolbar = w.fmWelcome;
    toolbar.show();
    shell.launcher.starts.clear(); // the recovery module's start

    for (const char* name : {"btStart", "btHelp", "btDonate"}) {
        child<QPushButton>(toolbar, name).click();
    }
    EXPECT_EQ(shell.opened, (std::vector<QDialog*>{&w.fmChoose, &w.fmHelp, &w.fmDonate}));

    child<QPushButton>(toolbar, "Button3").click();
    QStringList captions;
    for (QAction* action : child<QMenu>(toolbar, "pmMenu").actions()) {
        captions << action->text();
        action->trigger();
    }
    EXPECT_EQ(captions,
              (QStringList{QStringLiteral("TotalCMD 2k10 "), QStringLiteral("Командная строка"),
                           QStringLiteral("Редактор реестра"), QStringLiteral("Диспечер задач")}));
    const std::string fileManager = "\"Y:\\FileManager\\TotalCMD\\TC.exe\"";
    EXPECT_EQ(shell.launcher.starts, (std::vector<Start>{{fileManager, ShowMode::Normal},
                                                         {fileManager, ShowMode::Normal},
                                                         {"\"cmd.exe\"", ShowMode::Normal},
                                                         {"\"regedit.exe\"", ShowMode::Normal},
                                                         {"\"taskmgr.exe\"", ShowMode::Normal}}));

    child<QPushButton>(toolbar, "btClose").click();
    EXPECT_FALSE(toolbar.isVisible());
}

TEST(Toolbar, CloseAndDonateStandSideBySideInThatOrderAtTheRightEnd) {
    test::Shell shell;
    TfmWelcome& toolbar = shell.windows->fmWelcome;
    toolbar.show();
    auto at = [&](const char* name) {
        auto& widget = child<QWidget>(toolbar, name);
        return QRect(widget.mapTo(&toolbar, QPoint(0, 0)), widget.size());
    };
    const QRect close = at("btClose");
    const QRect donate = at("btDonate");
    EXPECT_LE(close.right(), donate.left());
    EXPECT_EQ(close.top(), donate.top());
    EXPECT_EQ(close.height(), donate.height());
    EXPECT_LT(at("gbPrograms").right(), close.left());
}

TEST(Toolbar, EveryControlFitsTheStripWithoutClipping) {
    test::Shell shell;
    TfmWelcome& toolbar = shell.windows->fmWelcome;
    toolbar.show();
    EXPECT_EQ(toolbar.height(), 103);
    EXPECT_LE(toolbar.minimumSizeHint().width(), workArea().width());
    EXPECT_TRUE(toolbar.windowFlags() & Qt::FramelessWindowHint);
    EXPECT_TRUE(child<QPushButton>(toolbar, "btStart").font().bold());
    for (QPushButton* b : toolbar.findChildren<QPushButton*>()) {
        const QRect inWindow(b->mapTo(&toolbar, QPoint(0, 0)), b->size());
        EXPECT_TRUE(toolbar.rect().contains(inWindow)) << b->objectName().toStdString();
        const QFontMetrics metrics(b->font());
        EXPECT_LT(metrics.horizontalAdvance(b->text()), b->width())
            << b->objectName().toStdString();
        EXPECT_GE(b->height(), metrics.height()) << b->objectName().toStdString();
    }
}

} // namespace
