// The program's start: the windows made once in their order, the toolbar's
// first scan before any other window exists, the recovery module started,
// and every control readable by accessibility tools.
#include <QAbstractButton>
#include <QAccessible>
#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QGroupBox>
#include <QIcon>
#include <QImage>
#include <QMenu>
#include <QPlainTextEdit>
#include <QTextEdit>

#include <gtest/gtest.h>

#include "regedit/registry_editor_window.h"
#include "shell/program_icon.h"
#include "ui/shell/shell_fixture.h"

namespace {

using Lines = std::vector<std::string>;
using engine::platform::ShowMode;

QStringList shellWindowsAlive() {
    QStringList names;
    for (QWidget* widget : QApplication::topLevelWidgets()) {
        if (widget->objectName().startsWith(QStringLiteral("fm"))) {
            names << widget->objectName();
        }
    }
    return names;
}

TEST(ProgramStart, ToolbarScansFirstThenTheOtherWindowsInOrder) {
    QStringList aliveAtModes;
    Lines hivesAtModes;
    std::size_t startsAtModes = 99;
    test::Shell shell([&](test::Shell& s) {
        // Left over from nothing: the lists are made empty with the toolbar.
        s.context->AutoProfileHives = {"stale"};
        s.context->AutoProfileNames = {"stale"};
        s.display.onFirstMode = [&] {
            aliveAtModes = shellWindowsAlive();
            hivesAtModes = s.context->SystemHives;
            startsAtModes = s.launcher.starts.size();
        };
    });

    // The display modes are read after the scan, with the toolbar the only
    // window, and the recovery module is started after them.
    EXPECT_EQ(aliveAtModes, QStringList{QStringLiteral("fmWelcome")});
    EXPECT_EQ(hivesAtModes, (Lines{"c:\\WINDOWS\\system32\\config\\software",
                                   "d:\\Windows\\system32\\config\\software"}));
    EXPECT_EQ(startsAtModes, 0u);
    EXPECT_EQ(shell.launcher.starts,
              (std::vector<test::RecordingLauncher::Start>{{"\"recmod.exe\"", ShowMode::Normal}}));

    auto& context = *shell.context;
    EXPECT_EQ(context.SystemFolders, (Lines{"c:\\WINDOWS", "d:\\Windows"}));
    // The scan's display lines land in ProfileHives, unshown; profile
    // discovery clears that list before it fills it.
    ASSERT_EQ(context.ProfileHives.size(), 4u);
    EXPECT_EQ(context.ProfileHives[1], "  Путь к системе - c:\\WINDOWS");
    EXPECT_TRUE(context.AutoProfileHives.empty());
    EXPECT_TRUE(context.AutoProfileNames.empty());

    auto& w = *shell.windows;
    const std::vector<std::pair<QWidget*, const char*>> captions = {
        {&w.fmWelcome, "Morvalin LiveCD - Free version"},
        {&w.fmChoose, "-=Morvalin LiveCD=-"},
        {&w.fmHelp, "Инструкция по эксплуатации..."},
        {&w.fmManual, "Ручной режим..."},
        {&w.fmAuto, "Автоматическая разблокировка"},
        {&w.fmChange, "Проверка файлов..."},
        {&w.fmDonate, "Поддержать проект..."},
    };
    for (const auto& [window, caption] : captions) {
        EXPECT_EQ(window->windowTitle(), QString::fromUtf8(caption));
        EXPECT_FALSE(window->isVisible()) << caption; // the program shows the toolbar itself
    }
    EXPECT_TRUE(shell.opened.empty());
}

TEST(ProgramStart, EveryWindowCarriesTheProgramIcon) {
    // The test's application has no icon of its own to lend the windows.
    ASSERT_TRUE(QApplication::windowIcon().isNull());
    test::Shell shell;
    auto& w = *shell.windows;
    const QImage expected = programIcon().pixmap(32).toImage();
    for (QWidget* window : std::initializer_list<QWidget*>{
             &w.fmWelcome, &w.fmChoose, &w.fmHelp, &w.fmManual, &w.fmAuto, &w.fmChange, &w.fmDonate,
             &w.fmManual.registryEditor()}) {
        SCOPED_TRACE(window->objectName().toStdString());
        const QIcon icon = window->windowIcon();
        ASSERT_FALSE(icon.isNull());
        EXPECT_EQ(icon.pixmap(32).toImage(), expected);
    }
    // Drawn for the small sizes of title bars and window lists, not scaled.
    const QList<QSize> sizes = programIcon().availableSizes();
    for (const QSize size : {QSize(16, 16), QSize(32, 32), QSize(48, 48)}) {
        EXPECT_TRUE(sizes.contains(size)) << size.width();
    }
}

// The name accessibility tools read for a widget.
QString accessibleName(QObject* object) {
    QAccessibleInterface* face = QAccessible::queryAccessibleInterface(object);
    return face != nullptr ? face->text(QAccessible::Name) : QString();
}

TEST(ProgramStart, EveryControlHasAnAccessibleName) {
    test::Shell shell;
    auto& w = *shell.windows;
    for (QWidget* window :
         std::initializer_list<QWidget*>{&w.fmWelcome, &w.fmChoose, &w.fmHelp, &w.fmManual,
                                         &w.fmAuto, &w.fmChange, &w.fmDonate}) {
        window->show(); // the countdown's timer never ticks by itself here
        EXPECT_FALSE(accessibleName(window).isEmpty()) << window->objectName().toStdString();
        int controls = 0;
        for (QWidget* widget : window->findChildren<QWidget*>()) {
            const bool control = qobject_cast<QAbstractButton*>(widget) != nullptr ||
                                 qobject_cast<QComboBox*>(widget) != nullptr ||
                                 qobject_cast<QGroupBox*>(widget) != nullptr ||
                                 qobject_cast<QTextEdit*>(widget) != nullptr ||
                                 qobject_cast<QPlainTextEdit*>(widget) != nullptr;
            if (!control || !widget->isVisibleTo(window)) {
                continue;
            }
            ++controls;
            EXPECT_FALSE(accessibleName(widget).isEmpty())
                << window->objectName().toStdString() << ": " << widget->metaObject()->className()
                << " " << widget->objectName().toStdString();
        }
        EXPECT_GT(controls, 0) << window->objectName().toStdString();
        window->hide();
    }
    for (QAction* action : w.fmWelcome.findChild<QMenu*>(QStringLiteral("pmMenu"))->actions()) {
        EXPECT_FALSE(action->text().isEmpty());
    }
}

} // namespace
