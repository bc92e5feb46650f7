// The mode chooser: its countdown tick by tick, what each button does to it,
// the keyboard order and the layout a person sees.
#include <QApplication>
#include <QFontMetrics>
#include <QPushButton>
#include <QTest>

#include <gtest/gtest.h>

#include "ui/shell/shell_fixture.h"

namespace {

using engine::platform::ShowMode;
using Start = test::RecordingLauncher::Start;

QPushButton& button(QWidget& window, const char* name) {
    auto* found = window.findChild<QPushButton*>(QString::fromUtf8(name));
    if (found == nullptr) {
        throw std::runtime_error(std::string("no button ") + name);
    }
    return *found;
}

std::string caption(TfmChoose& chooser) {
    return button(chooser, "btAuto").text().toStdString();
}

// What happened, in order: programs started, fixed waits, windows opened.
struct Events {
    explicit Events(test::Shell& shell) {
        shell.launcher.onStart = [this](const Start& start) {
            list.push_back("run " + start.commandLine + " " +
                           std::to_string(static_cast<int>(start.show)));
        };
        shell.hooks.showModal = [this](QDialog& dialog) {
            list.push_back("open " + dialog.objectName().toStdString());
        };
        shell.hooks.wait = [this](std::chrono::milliseconds time) {
            list.push_back("wait " + std::to_string(time.count()));
        };
    }
    std::vector<std::string> list;
};

// A shell whose events are recorded from the start (the chooser copies the
// hooks when it is made).
struct RecordedShell {
    RecordedShell()
        : shell([this](test::Shell& s) { events = std::make_unique<Events>(s); }) {
        events->list.clear(); // the recovery module's start
    }
    std::unique_ptr<Events> events;
    test::Shell shell;
    TfmChoose& chooser() { return shell.windows->fmChoose; }
};

TEST(ModeChooser, CountsDownFromFifteenAndOpensTheAutomaticWindowAtTheSixteenthTick) {
    RecordedShell recorded;
    TfmChoose& chooser = recorded.chooser();
    chooser.show();
    EXPECT_TRUE(chooser.counting());
    EXPECT_EQ(caption(chooser), "Автоматически");
    for (int remaining = 14; remaining >= 0; --remaining) {
        chooser.tmAutostartTimer();
        EXPECT_EQ(caption(chooser), "Автоматический запуск через..." + std::to_string(remaining));
    }
    EXPECT_TRUE(recorded.events->list.empty());

    chooser.tmAutostartTimer();
    EXPECT_EQ(recorded.events->list, (std::vector<std::string>{"run taskkill /f /im regedit.exe 7",
                                                               "wait 1000", "open fmAuto"}));
    EXPECT_EQ(caption(chooser), "Автоматически");
    EXPECT_FALSE(chooser.counting());

    // Back from the automatic window: no second start.
    for (int i = 0; i < 20; ++i) {
        chooser.tmAutostartTimer();
    }
    EXPECT_EQ(recorded.events->list.size(), 3u);
}

TEST(ModeChooser, EveryButtonButDonationStopsTheCountdownForGood) {
    const struct {
        const char* button;
        std::vector<std::string> events;
        bool keepsCounting;
    } cases[] = {
        {"btHelp", {"open fmHelp"}, false},
        {"btManual", {"open fmManual"}, false},
        {"btFM", {"run \"Y:\\FileManager\\TotalCMD\\TC.exe\" 1"}, false},
        {"btExit", {}, false},
        {"btAuto", {"run taskkill /f /im regedit.exe 7", "wait 1000", "open fmAuto"}, false},
        {"btDon", {"open fmDonate"}, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.button);
        RecordedShell recorded;
        TfmChoose& chooser = recorded.chooser();
        chooser.show();
        for (int i = 0; i < 3; ++i) {
            chooser.tmAutostartTimer();
        }
        ASSERT_EQ(caption(chooser), "Автоматический запуск через...12");
        button(chooser, c.button).click();
        EXPECT_EQ(recorded.events->list, c.events);
        EXPECT_EQ(chooser.counting(), c.keepsCounting);
        EXPECT_EQ(caption(chooser),
                  c.keepsCounting ? "Автоматический запуск через...12" : "Автоматически");
        EXPECT_EQ(chooser.isVisible(), std::string(c.button) != "btExit");

        // Ticks that still come change nothing once stopped; after the
        // donation window the countdown runs out and starts the automatic mode.
        recorded.events->list.clear();
        for (int i = 0; i < 12; ++i) { // 11 ... 0
            chooser.tmAutostartTimer();
        }
        EXPECT_TRUE(recorded.events->list.empty());
        chooser.tmAutostartTimer();
        if (c.keepsCounting) {
            EXPECT_EQ(recorded.events->list,
                      (std::vector<std::string>{"run taskkill /f /im regedit.exe 7", "wait 1000",
                                                "open fmAuto"}));
        } else {
            EXPECT_TRUE(recorded.events->list.empty());
            EXPECT_EQ(caption(chooser), "Автоматически");
        }
    }
}

TEST(ModeChooser, ShowingAgainRestartsAtFifteenAndEscapeLeavesLikeExit) {
    RecordedShell recorded;
    TfmChoose& chooser = recorded.chooser();
    chooser.show();
    for (int i = 0; i < 6; ++i) {
        chooser.tmAutostartTimer();
    }
    QTest::keyClick(&chooser, Qt::Key_Escape);
    EXPECT_FALSE(chooser.isVisible());
    EXPECT_FALSE(chooser.counting());
    EXPECT_EQ(caption(chooser), "Автоматически");

    recorded.shell.windows->fmWelcome.findChild<QPushButton*>(QStringLiteral("btStart"))->click();
    EXPECT_EQ(recorded.events->list, std::vector<std::string>{"open fmChoose"});
    chooser.show();
    EXPECT_TRUE(chooser.counting());
    chooser.tmAutostartTimer();
    EXPECT_EQ(caption(chooser), "Автоматический запуск через...14");
}

TEST(ModeChooser, LayoutFocusAndKeyboardOrder) {
    test::Shell shell;
    TfmChoose& chooser = shell.windows->fmChoose;
    chooser.show();
    EXPECT_EQ(chooser.size(), QSize(474, 297));
    EXPECT_FALSE(chooser.windowFlags() & Qt::WindowCloseButtonHint);
    EXPECT_EQ(chooser.focusWidget(), &button(chooser, "btAuto"));
    EXPECT_TRUE(button(chooser, "btAuto").isDefault());

    // Top to bottom, full width, not overlapping, inside the window; the
    // longest caption fits.
    const char* order[] = {"btHelp", "btAuto", "btManual", "btFM", "btDon", "btExit"};
    int previousBottom = -1;
    for (const char* name : order) {
        const QPushButton& b = button(chooser, name);
        EXPECT_EQ(b.width(), 457) << name;
        EXPECT_GT(b.y(), previousBottom) << name;
        EXPECT_TRUE(chooser.rect().contains(b.geometry())) << name;
        EXPECT_TRUE(b.font().bold()) << name;
        previousBottom = b.geometry().bottom();
        const QFontMetrics metrics(b.font());
        const QString longest = std::string(name) == "btAuto"
                                    ? QStringLiteral("Автоматический запуск через...14")
                                    : b.text();
        EXPECT_LT(metrics.horizontalAdvance(longest) + 16, b.width()) << name;
        EXPECT_GE(b.height(), metrics.height() + 8) << name;
    }

    // The keyboard: Автоматически, Вручную, Выход, Помощь, Файл менеджер,
    // Поддержать проект, and round again.
    std::vector<std::string> chain;
    QWidget* widget = &button(chooser, "btAuto");
    for (int i = 0; i < 7; ++i) {
        chain.push_back(widget->objectName().toStdString());
        do {
            widget = widget->nextInFocusChain();
        } while (qobject_cast<QPushButton*>(widget) == nullptr);
    }
    EXPECT_EQ(chain, (std::vector<std::string>{"btAuto", "btManual", "btExit", "btHelp", "btFM",
                                               "btDon", "btAuto"}));
    chooser.hide();
}

} // namespace
