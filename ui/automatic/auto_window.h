#pragma once

#include <functional>
#include <memory>
#include <thread>

#include <QDialog>
#include <QTimer>

#include "automatic/auto_log.h"

namespace engine {
struct Context;
}
namespace engine::automatic {
struct AutoState;
struct AutoPass;
} // namespace engine::automatic
class TfmChange;
class QPushButton;
class QTextEdit;

// The automatic unlock window: its activation after each showing runs one
// pass of the engine, its log shows the pass's coloured lines, and its panel
// counts down to closing once the pass has ended.
//
// The pass runs on a worker thread (std::thread) so that the window keeps
// repainting while it runs: the technician sees the log grow on a slow disk.
// The window takes no input meanwhile: its panel is disabled, and panel
// clicks, timer ticks and requests to close are ignored until the pass has
// ended. The worker hands every log line to the GUI thread by a queued
// signal, and the restore dialog's question by a queued call whose answer it
// waits for (a condition variable). Both go through the GUI thread's event
// queue in the order the pass made them, so the dialog opens after the lines
// written before the question, and only the GUI thread touches widgets.
class TfmAuto : public QDialog {
    Q_OBJECT
public:
    TfmAuto(engine::Context& context, engine::automatic::AutoState& state, TfmChange& change,
            QWidget* parent = nullptr);
    // Waits for a running pass to end (a question it asks meanwhile is
    // answered Cancel): the pass works on the caller's context and state.
    ~TfmAuto() override;

    // What a pass runs on the worker thread: StartAutoPass unless a test
    // puts another in.
    using PassStart = std::function<void(engine::automatic::AutoPass&)>;
    void setPassStart(PassStart start);

    // A pass has started and not yet ended.
    bool passRunning() const { return running_; }

    // Closing happens only through the panel and the countdown: the Escape
    // key and the window manager's close do nothing.
    void reject() override;

public slots:
    // A click on the panel.
    void pnPanelClick();
    // One tick of the closing timer.
    void tmCloseTimerTimer();
    // One line appended to the log in its colour and scrolled into view.
    void AutoLog(const engine::automatic::LogLine& line);

signals:
    // Emitted on the worker thread for every line of the pass.
    void lineLogged(const engine::automatic::LogLine& line);
    // The pass has ended and the closing countdown has started.
    void passEnded();

protected:
    void showEvent(QShowEvent* event) override;
    bool event(QEvent* event) override;

private:
    class WorkerLog;
    class WorkerQuestion;
    struct Question;

    void FormShow();
    void FormActivate();
    void finishPass();

    engine::Context& context_;
    engine::automatic::AutoState& state_;
    TfmChange& change_;
    PassStart passStart_;

    QTextEdit* reMess_ = nullptr;
    QPushButton* pnPanel_ = nullptr;
    QTimer* tmCloseTimer_ = nullptr;
    int CloseCountdown_ = 15;
    bool passPending_ = false; // shown, and its pass not started yet
    bool running_ = false;
    bool logEmpty_ = true; // the next line goes into the document's first block

    std::thread worker_;
    // Shared with a queued question, which may outlive the window.
    std::shared_ptr<Question> question_;
};
