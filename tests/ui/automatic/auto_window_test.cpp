// The automatic window driven as the technician meets it: the pass's log as
// shown (every line in its colour, centred, the last one in view), the
// restore question reaching the dialog on the GUI thread while the pass
// waits, the panel's countdown, hold and close, and no click, tick or close
// reaching the window before its pass has ended.
#include <algorithm>
#include <array>
#include <condition_variable>
#include <filesystem>
#include <functional>
#include <mutex>
#include <optional>
#include <ostream>
#include <stdexcept>
#include <string>
#include <vector>

#include <QAccessible>
#include <QApplication>
#include <QCheckBox>
#include <QPushButton>
#include <QScrollBar>
#include <QTest>
#include <QTextBlock>
#include <QTextDocument>
#include <QTextEdit>
#include <QThread>
#include <QTimer>

#include <gtest/gtest.h>

#include "automatic/auto_pass.h"
#include "automatic/auto_window.h"
#include "context/context.h"
#include "rules/change_dialog.h"
#include "support/pe_builder.h"
#include "support/target_tree.h"
#include "support/test_files.h"

namespace {

namespace fs = std::filesystem;
using engine::automatic::AutoPass;
using engine::automatic::AutoState;
using engine::automatic::LogColor;
using engine::automatic::LogLine;
using engine::automatic::LogLines;
using engine::automatic::LogSink;
using test::TargetTree;
using test::WindowsKind;

// ---------------------------------------------------------------------------
// The log as the window shows it.

struct ShownLine {
    std::string text;
    std::string color; // "#rrggbb"
    bool centred = false;
    bool bold = false;
    friend bool operator==(const ShownLine&, const ShownLine&) = default;
};

void PrintTo(const ShownLine& line, std::ostream* out) {
    *out << line.color << (line.centred ? " centred" : " not centred")
         << (line.bold ? " bold" : " not bold") << " | " << line.text;
}

std::string hexColor(LogColor color) {
    switch (color) {
    case LogColor::Blue:
        return "#0000ff";
    case LogColor::Green:
        return "#008000";
    case LogColor::Red:
        return "#ff0000";
    case LogColor::Black:
        break;
    }
    return "#000000";
}

QTextEdit& logOf(TfmAuto& window) {
    auto* log = window.findChild<QTextEdit*>("reMess");
    EXPECT_NE(log, nullptr);
    return *log;
}
QPushButton& panelOf(TfmAuto& window) {
    auto* panel = window.findChild<QPushButton*>("pnPanel");
    EXPECT_NE(panel, nullptr);
    return *panel;
}
QTimer& timerOf(TfmAuto& window) {
    auto* timer = window.findChild<QTimer*>("tmCloseTimer");
    EXPECT_NE(timer, nullptr);
    return *timer;
}

// Every line of reMess with the colour its text is drawn in (an empty line
// has no text, so its colour is not shown and is left out).
std::vector<ShownLine> shownLog(TfmAuto& window) {
    QTextEdit& edit = logOf(window);
    std::vector<ShownLine> lines;
    if (edit.document()->isEmpty()) {
        return lines;
    }
    for (QTextBlock block = edit.document()->begin(); block.isValid(); block = block.next()) {
        ShownLine line;
        line.text = block.text().toStdString();
        line.centred = block.blockFormat().alignment() & Qt::AlignHCenter;
        line.bold = edit.font().bold();
        std::vector<std::string> colors;
        for (auto it = block.begin(); !it.atEnd(); ++it) {
            const QTextCharFormat format = it.fragment().charFormat();
            colors.push_back(format.foreground().color().name().toStdString());
            line.bold = line.bold && format.font().bold();
        }
        for (const std::string& color : colors) {
            EXPECT_EQ(color, colors.front()) << "one colour per line: " << line.text;
        }
        line.color = colors.empty() ? "" : colors.front();
        lines.push_back(line);
    }
    return lines;
}

// The lines a pass wrote, as the window must show them.
std::vector<ShownLine> expectedLog(const std::vector<LogLine>& log) {
    std::vector<ShownLine> lines;
    for (const LogLine& line : log) {
        lines.push_back({line.text, line.text.empty() ? "" : hexColor(line.color), true, true});
    }
    return lines;
}

bool holdsLine(const std::vector<ShownLine>& log, const ShownLine& line) {
    return std::find(log.begin(), log.end(), line) != log.end();
}

ShownLine shown(LogColor color, std::string text) {
    return {std::move(text), hexColor(color), true, true};
}

// ---------------------------------------------------------------------------
// Passes put in for the engine's.

// Writes its lines and ends, as a pass that found nothing to heal.
std::function<void(AutoPass&)> quickPass(std::vector<LogLine> lines) {
    return [lines = std::move(lines)](AutoPass& pass) {
        for (const LogLine& line : lines) {
            pass.log.write(line);
        }
        pass.state.AutoFinished = true;
    };
}

// A pass that writes a line, then waits until the test lets it end.
class HeldPass {
public:
    std::function<void(AutoPass&)> start() {
        return [this](AutoPass& pass) {
            pass.log.write({LogColor::Blue, "Проверка идёт"});
            std::unique_lock lock(mutex_);
            released_.wait(lock, [this] { return release_; });
            pass.state.AutoFinished = true;
        };
    }
    void release() {
        {
            const std::lock_guard guard(mutex_);
            release_ = true;
        }
        released_.notify_all();
    }

private:
    std::mutex mutex_;
    std::condition_variable released_;
    bool release_ = false;
};

// The real pass, with a copy of every line it writes.
class RecordingPass {
public:
    std::function<void(AutoPass&)> start() {
        return [this](AutoPass& pass) {
            passThread = QThread::currentThread();
            Tee tee(pass.log, recorded);
            AutoPass recordedPass{pass.context, pass.state, tee, pass.restore, pass.now};
            engine::automatic::StartAutoPass(recordedPass);
        };
    }
    LogLines recorded;
    QThread* passThread = nullptr;

private:
    class Tee final : public LogSink {
    public:
        Tee(LogSink& first, LogSink& second)
            : first_(first)
            , second_(second) {}
        void write(const LogLine& line) override {
            first_.write(line);
            second_.write(line);
        }

    private:
        LogSink& first_;
        LogSink& second_;
    };
};

// Runs an action once a widget has been shown, from the event loop (so
// inside a modal dialog's own loop).
class ShowWatcher : public QObject {
public:
    explicit ShowWatcher(std::function<void()> onShow)
        : onShow_(std::move(onShow)) {}
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == QEvent::Show) {
            QTimer::singleShot(0, this, onShow_);
        }
        return QObject::eventFilter(watched, event);
    }

private:
    std::function<void()> onShow_;
};

// ---------------------------------------------------------------------------
// XP system files: genuine ones, and a locker's task manager.

const fs::path& genuineFiles() {
    static const test::TempDir dir;
    static const bool built = (test::writeGenuineXpSystemFiles(dir.path()), true);
    (void)built;
    return dir.path();
}

fs::path lockersTaskmgr() {
    static const test::TempDir dir;
    static const bool built = [] {
        test::VersionStrings strings = test::xpTaskmgr();
        strings.companyName = "WinLock Software";
        test::buildVersionedPe(dir.path() / "taskmgr.exe", strings);
        return true;
    }();
    (void)built;
    return dir.path() / "taskmgr.exe";
}

// ---------------------------------------------------------------------------

class AutoWindowTest : public ::testing::Test {
protected:
    // Shows the window; its activation starts the pass. Returns when the
    // pass has ended.
    void showAndWaitForThePass() {
        bool ended = false;
        const auto connection =
            QObject::connect(&window_, &TfmAuto::passEnded, [&ended] { ended = true; });
        window_.show();
        while (!ended) {
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
        }
        QObject::disconnect(connection);
        EXPECT_FALSE(window_.passRunning());
    }

    // Runs the event loop until the condition holds.
    static void processUntil(const std::function<bool()>& done) {
        while (!done()) {
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
        }
    }

    QString caption() { return panelOf(window_).text(); }
    void tick(int times = 1) {
        for (int i = 0; i < times; ++i) {
            window_.tmCloseTimerTimer();
        }
    }
    void clickPanel() { QTest::mouseClick(&panelOf(window_), Qt::LeftButton); }

    // Drive c: exists from the start (empty unless a test puts an
    // installation on it), so the context made now sees what is added later.
    TargetTree tree_;
    fs::path driveC_ = tree_.drive('c');
    engine::Context context_ = tree_.context();
    AutoState state_;
    TfmChange change_;
    TfmAuto window_{context_, state_, change_};
};

TEST_F(AutoWindowTest, LooksAsCreated) {
    EXPECT_EQ(window_.windowTitle(), QString("Автоматическая разблокировка"));
    EXPECT_EQ(window_.size(), QSize(602, 499));
    EXPECT_EQ(window_.minimumSize(), window_.maximumSize());
    const Qt::WindowFlags flags = window_.windowFlags();
    EXPECT_TRUE(flags & Qt::CustomizeWindowHint);
    EXPECT_TRUE(flags & Qt::WindowTitleHint);
    EXPECT_FALSE(flags & (Qt::WindowCloseButtonHint | Qt::WindowSystemMenuHint |
                          Qt::WindowMinimizeButtonHint | Qt::WindowMaximizeButtonHint |
                          Qt::WindowContextHelpButtonHint));

    QTextEdit& log = logOf(window_);
    EXPECT_TRUE(log.isReadOnly());
    EXPECT_EQ(log.font().family(), QString("Tahoma"));
    EXPECT_EQ(log.font().pointSize(), 8);
    EXPECT_TRUE(log.font().bold());
    EXPECT_TRUE(log.document()->isEmpty());
    EXPECT_FALSE(timerOf(window_).isActive());
    EXPECT_EQ(timerOf(window_).interval(), 1000);

    window_.setPassStart(quickPass({}));
    showAndWaitForThePass();
    QPushButton& panel = panelOf(window_);
    EXPECT_EQ(panel.height(), 35);
    EXPECT_EQ(panel.width(), 602);
    EXPECT_EQ(panel.mapTo(&window_, QPoint()).y() + panel.height(), 499);
    EXPECT_EQ(log.geometry().bottom() + 1, panel.geometry().top());

    // The panel's caption reaches the accessibility bus, and it can be pressed
    // there.
    tick();
    QAccessibleInterface* accessible = QAccessible::queryAccessibleInterface(&panel);
    ASSERT_NE(accessible, nullptr);
    EXPECT_EQ(accessible->text(QAccessible::Name), QString("Закрытие окна через...15"));
    ASSERT_NE(accessible->actionInterface(), nullptr);
    EXPECT_TRUE(accessible->actionInterface()->actionNames().contains(
        QAccessibleActionInterface::pressAction()));
}

// A locked XP: the real pass runs on its worker; the restore question comes
// to the dialog on the GUI thread after every line written before it is on
// screen, with the pass waiting; the operator's choice is carried out; the
// whole log is shown line by line in its colours and scrolled to its end.
TEST_F(AutoWindowTest, ShowsTheRealPassAndAsksTheRestoreQuestionOnTheGuiThread) {
    tree_.addInstallation('c', "WINDOWS", WindowsKind::Xp32,
                          {test::sz("Microsoft\\Windows NT\\CurrentVersion\\Winlogon", "Shell",
                                    "explorer.exe C:\\WINDOWS\\lock\\banner.exe")});
    const fs::path system32 = tree_.drive('c') / "WINDOWS" / "system32";
    test::writeGenuineXpSystemFiles(system32);
    test::writeGenuineXpSystemFiles(system32 / "dllcache");
    fs::copy_file(lockersTaskmgr(), system32 / "taskmgr.exe", fs::copy_options::overwrite_existing);
    tree_.addProfile('c', WindowsKind::Xp32, "Admin");
    context_.backupFolder = genuineFiles();

    RecordingPass pass;
    window_.setPassStart(pass.start());

    struct AtQuestion {
        bool asked = false;
        bool onGuiThread = false;
        bool passWaiting = false;
        QWidget* modal = nullptr;
        std::size_t linesShown = 0;
        std::size_t linesWritten = 0;
        std::array<bool, 4> boxShown{};
    } atQuestion;
    // When the dialog opens: what the operator sees then, and the answer:
    // restore the task manager.
    ShowWatcher watcher([&] {
        atQuestion.asked = true;
        atQuestion.onGuiThread = QThread::currentThread() == qApp->thread();
        atQuestion.passWaiting = window_.passRunning();
        atQuestion.modal = QApplication::activeModalWidget();
        atQuestion.linesShown = shownLog(window_).size();
        atQuestion.linesWritten = pass.recorded.lines.size();
        const std::array<const char*, 4> boxes = {"cbRecUserinit", "cbRecUserinitCashe",
                                                  "cbRecTaskmgr", "cbRecTaskmgrCashe"};
        for (std::size_t i = 0; i < boxes.size(); ++i) {
            atQuestion.boxShown[i] = change_.findChild<QCheckBox*>(boxes[i])->isVisible();
        }
        QTest::mouseClick(change_.findChild<QCheckBox*>("cbRecTaskmgr"), Qt::LeftButton);
        QTest::mouseClick(change_.findChild<QPushButton*>("btRecover"), Qt::LeftButton);
    });
    change_.installEventFilter(&watcher);

    showAndWaitForThePass();

    ASSERT_TRUE(atQuestion.asked);
    EXPECT_TRUE(atQuestion.onGuiThread);
    EXPECT_NE(pass.passThread, qApp->thread());
    EXPECT_TRUE(atQuestion.passWaiting);
    EXPECT_EQ(atQuestion.modal, &change_);
    EXPECT_EQ(atQuestion.linesShown, atQuestion.linesWritten);
    EXPECT_EQ(atQuestion.boxShown, (std::array<bool, 4>{false, false, true, false}));
    // The operator's choice was carried out: the clean copy replaced the
    // locker's task manager.
    EXPECT_EQ(test::readFile(system32 / "taskmgr.exe"),
              test::readFile(genuineFiles() / "taskmgr.exe"));

    const std::vector<ShownLine> log = shownLog(window_);
    EXPECT_EQ(log, expectedLog(pass.recorded.lines));
    ASSERT_FALSE(log.empty());
    EXPECT_EQ(log.front(), shown(LogColor::Blue, std::string(42, '=')));
    EXPECT_TRUE(holdsLine(log, shown(LogColor::Green, "Система успешно загружена...")));
    EXPECT_TRUE(holdsLine(log, shown(LogColor::Blue, "Файлы в порядке...")));
    EXPECT_TRUE(holdsLine(log, shown(LogColor::Red, "Возможные файлы вирусов и блокировщиков: ")));
    EXPECT_TRUE(holdsLine(log, shown(LogColor::Black, "Проверка начата")));
    EXPECT_EQ(log.back(), shown(LogColor::Red, "explorer.exe C:\\WINDOWS\\lock\\banner.exe"));

    // The log is longer than the window, and its last line is in view
    // without scrolling by hand.
    QTextEdit& edit = logOf(window_);
    EXPECT_GT(edit.verticalScrollBar()->maximum(), 0);
    QTextCursor end(edit.document());
    end.movePosition(QTextCursor::End);
    EXPECT_TRUE(edit.viewport()->rect().contains(edit.cursorRect(end)));

    EXPECT_TRUE(state_.AutoFinished);
    EXPECT_TRUE(timerOf(window_).isActive());
    EXPECT_TRUE(panelOf(window_).isEnabled());
}

// No installation: the short log, then the countdown from 15 to 1 and the
// window closing by itself at the 16th tick.
TEST_F(AutoWindowTest, AfterAPassThatFoundNothingCountsDownAndClosesAtTheSixteenthTick) {
    RecordingPass pass;
    window_.setPassStart(pass.start());
    showAndWaitForThePass();

    const std::vector<ShownLine> log = shownLog(window_);
    EXPECT_EQ(log, expectedLog(pass.recorded.lines));
    ASSERT_GE(log.size(), 3u);
    EXPECT_EQ(log[log.size() - 3],
              shown(LogColor::Red, "Не удалось обнаружить ни одной доступной системы."));
    EXPECT_EQ(log[log.size() - 2], shown(LogColor::Blue, "Выходим..."));
    EXPECT_EQ(log.back(), shown(LogColor::Blue, std::string(42, '=')));

    EXPECT_TRUE(timerOf(window_).isActive());
    EXPECT_EQ(caption(), QString());
    for (int seconds = 15; seconds >= 1; --seconds) {
        tick();
        EXPECT_EQ(caption(), QString("Закрытие окна через...%1").arg(seconds));
        EXPECT_TRUE(window_.isVisible());
    }
    tick();
    EXPECT_FALSE(window_.isVisible());
    EXPECT_FALSE(timerOf(window_).isActive());
    EXPECT_EQ(caption(), QString("Закрытие окна через...1"));
}

// A click during the countdown holds it with "Выход..."; the window stays
// open with its log until the next click closes it.
TEST_F(AutoWindowTest, AClickHoldsTheCountdownAndTheNextClosesTheWindow) {
    struct Case {
        int ticks;
        QString captionBefore;
    };
    for (const Case& c :
         {Case{0, ""}, Case{9, "Закрытие окна через...7"}, Case{15, "Закрытие окна через...1"}}) {
        SCOPED_TRACE(c.ticks);
        window_.setPassStart(quickPass({{LogColor::Green, "Готово"}}));
        showAndWaitForThePass();
        tick(c.ticks);
        if (c.ticks > 0) {
            EXPECT_EQ(caption(), c.captionBefore);
        }

        clickPanel();
        EXPECT_EQ(caption(), QString("Выход..."));
        EXPECT_FALSE(timerOf(window_).isActive());
        EXPECT_TRUE(window_.isVisible());
        EXPECT_EQ(shownLog(window_), (std::vector{shown(LogColor::Green, "Готово")}));

        clickPanel();
        EXPECT_FALSE(window_.isVisible());
    }
}

// While a pass runs the window keeps showing its lines, and nothing the
// operator does reaches it: on the first pass of the program (no pass has
// ended yet) and on a later showing (one has).
TEST_F(AutoWindowTest, NothingReachesTheWindowBeforeItsPassHasEnded) {
    for (const bool earlierPass : {false, true}) {
        SCOPED_TRACE(earlierPass ? "a later showing" : "the first pass");
        if (earlierPass) {
            window_.setPassStart(quickPass({{LogColor::Black, "Первый проход"}}));
            showAndWaitForThePass();
            clickPanel();
            clickPanel();
            ASSERT_FALSE(window_.isVisible());
            EXPECT_EQ(caption(), QString("Выход..."));
        }
        EXPECT_EQ(state_.AutoFinished, earlierPass);

        HeldPass held;
        window_.setPassStart(held.start());
        window_.show();
        // The pass's first line is on screen while the pass still runs.
        processUntil([&] { return !shownLog(window_).empty(); });
        ASSERT_TRUE(window_.passRunning());
        EXPECT_EQ(shownLog(window_), (std::vector{shown(LogColor::Blue, "Проверка идёт")}));

        EXPECT_FALSE(panelOf(window_).isEnabled());
        clickPanel();
        window_.pnPanelClick();
        tick(20);
        window_.close();
        QTest::keyClick(&window_, Qt::Key_Escape);
        QCoreApplication::processEvents();
        EXPECT_TRUE(window_.isVisible());
        EXPECT_TRUE(window_.passRunning());
        EXPECT_FALSE(timerOf(window_).isActive());
        // A later showing keeps the caption it closed with until the new
        // countdown writes it.
        EXPECT_EQ(caption(), earlierPass ? QString("Выход...") : QString());

        bool ended = false;
        const auto connection =
            QObject::connect(&window_, &TfmAuto::passEnded, [&ended] { ended = true; });
        held.release();
        processUntil([&] { return ended; });
        QObject::disconnect(connection);
        EXPECT_TRUE(panelOf(window_).isEnabled());
        EXPECT_TRUE(timerOf(window_).isActive());
        // The countdown starts from 15 again.
        tick();
        EXPECT_EQ(caption(), QString("Закрытие окна через...15"));

        clickPanel();
        clickPanel();
        EXPECT_FALSE(window_.isVisible());
    }
}

// Every showing runs one fresh pass: the log is emptied first.
TEST_F(AutoWindowTest, EachShowingRunsOnePassOverAnEmptiedLog) {
    int passes = 0;
    window_.setPassStart([&passes](AutoPass& pass) {
        ++passes;
        pass.log.write({LogColor::Black, "Проход " + std::to_string(passes)});
        pass.state.AutoFinished = true;
    });
    for (int showing = 1; showing <= 2; ++showing) {
        showAndWaitForThePass();
        // Activating the window again does not start another pass.
        window_.activateWindow();
        QCoreApplication::processEvents();
        EXPECT_EQ(passes, showing);
        EXPECT_EQ(shownLog(window_),
                  (std::vector{shown(LogColor::Black, "Проход " + std::to_string(showing))}));
        clickPanel();
        clickPanel();
        ASSERT_FALSE(window_.isVisible());
    }
}

// Lines in every colour, an empty line, and a value carrying line breaks:
// one shown line each, in its own colour.
TEST_F(AutoWindowTest, ShowsEachLineInItsColourOnALineOfItsOwn) {
    window_.setPassStart(quickPass({{LogColor::Blue, "синяя"},
                                    {LogColor::Green, "зелёная"},
                                    {LogColor::Black, ""},
                                    {LogColor::Red, "красная"},
                                    {LogColor::Black, "чёрная"},
                                    {LogColor::Red, "explorer.exe\r\nC:\\lock.exe\x1b[2J"}}));
    showAndWaitForThePass();
    EXPECT_EQ(shownLog(window_),
              (std::vector<ShownLine>{shown(LogColor::Blue, "синяя"),
                                      shown(LogColor::Green, "зелёная"),
                                      {"", "", true, true},
                                      shown(LogColor::Red, "красная"),
                                      shown(LogColor::Black, "чёрная"),
                                      shown(LogColor::Red, "explorer.exe\\x0d\\x0aC:\\lock.exe"
                                                           "\\x1b[2J")}));
}

// A pass that stops on an unexpected error still ends: its reason is shown
// and the window can be closed.
TEST_F(AutoWindowTest, APassStoppedByAnErrorEndsWithItsReasonAndTheWindowCloses) {
    window_.setPassStart([](AutoPass& pass) {
        pass.log.write({LogColor::Blue, "Старт"});
        throw std::runtime_error("disk gone");
    });
    showAndWaitForThePass();
    EXPECT_EQ(shownLog(window_),
              (std::vector{shown(LogColor::Blue, "Старт"),
                           shown(LogColor::Red, "Проверка прервана из-за ошибки: disk gone")}));
    EXPECT_TRUE(state_.AutoFinished);
    tick(16);
    EXPECT_FALSE(window_.isVisible());
}

// The window going away while its pass waits for the restore dialog (the
// program ending, say) neither hangs nor leaves the pass waiting: the pass
// gets Cancel, nothing is restored, and it runs to its end first.
TEST_F(AutoWindowTest, AWindowDestroyedWhileItsPassWaitsForTheDialogEndsThePassWithCancel) {
    std::optional<TfmAuto> window(std::in_place, context_, state_, change_);
    std::optional<engine::rules::RestoreAnswer> answer;
    bool passEnded = false;
    window->setPassStart([&](AutoPass& pass) {
        std::array<engine::rules::SystemFileRow, 4> rows;
        for (std::size_t i = 0; i < rows.size(); ++i) {
            rows[i].file = static_cast<engine::rules::SystemFile>(i);
        }
        answer = pass.restore.ask(rows);
        pass.log.write({LogColor::Red, "Требуется вмешательство! Файлы заменены!!!"});
        pass.state.AutoFinished = true;
        passEnded = true;
    });
    ShowWatcher watcher([&] {
        window.reset();
        change_.close();
    });
    change_.installEventFilter(&watcher);

    window->show();
    processUntil([&] { return !window; });

    ASSERT_TRUE(answer.has_value());
    EXPECT_EQ(answer->result, engine::rules::DialogResult::Cancel);
    EXPECT_EQ(answer->ticked, (std::array<bool, 4>{}));
    EXPECT_TRUE(passEnded);
    QCoreApplication::processEvents();
    EXPECT_FALSE(change_.isVisible());
}

} // namespace
