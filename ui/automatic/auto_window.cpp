// The automatic unlock window: one pass of the engine per showing, run on a
// worker thread, its log shown line by line, then the closing countdown.
#include "automatic/auto_window.h"

#include <condition_variable>
#include <exception>
#include <mutex>
#include <optional>
#include <string>
#include <utility>

#include <QColor>
#include <QFont>
#include <QMetaObject>
#include <QPushButton>
#include <QShowEvent>
#include <QString>
#include <QTextBlockFormat>
#include <QTextCharFormat>
#include <QTextCursor>
#include <QTextEdit>
#include <QVBoxLayout>

#include "automatic/auto_pass.h"
#include "automatic/printable_text.h"
#include "rules/change_dialog.h"
#include "rules/system_files.h"
#include "shell/program_icon.h"

namespace {

using engine::automatic::LogColor;
using engine::automatic::LogLine;
using engine::rules::RestoreAnswer;
using engine::rules::SystemFileRow;

QColor colorOf(LogColor color) {
    switch (color) {
    case LogColor::Blue:
        return {0, 0, 255};
    case LogColor::Green:
        return {0, 128, 0};
    case LogColor::Red:
        return {255, 0, 0};
    case LogColor::Black:
        break;
    }
    return {0, 0, 0};
}

// A log line's text as one line of the log (see printableText).
QString displayText(const std::string& text) {
    return QString::fromStdString(engine::automatic::printableText(text));
}

// Shown when the pass stopped on an error the engine does not handle itself,
// so that the operator sees why and can still close the window.
const std::string kPassAborted = "Проверка прервана из-за ошибки: ";

const QString kCountdownCaption = QStringLiteral("Закрытие окна через...");
const QString kHeldCaption = QStringLiteral("Выход...");

} // namespace

// The restore question in flight between the worker and the GUI thread.
struct TfmAuto::Question {
    std::mutex mutex;
    std::condition_variable answered;
    std::optional<RestoreAnswer> answer;
    bool abandoned = false; // the window is going away: the answer is Cancel
};

// The pass's log on the worker thread: every line goes to the window by its
// queued signal.
class TfmAuto::WorkerLog final : public engine::automatic::LogSink {
public:
    explicit WorkerLog(TfmAuto& window)
        : window_(window) {}
    void write(const LogLine& line) override { emit window_.lineLogged(line); }

private:
    TfmAuto& window_;
};

// The restore question on the worker thread: the dialog is asked on the GUI
// thread, and the worker waits for its answer.
class TfmAuto::WorkerQuestion final : public engine::rules::RestoreQuestion {
public:
    WorkerQuestion(TfmChange& change, std::shared_ptr<Question> question)
        : change_(change)
        , question_(std::move(question)) {}

    RestoreAnswer ask(const std::array<SystemFileRow, 4>& rows) override {
        std::unique_lock lock(question_->mutex);
        if (question_->abandoned) {
            return {};
        }
        question_->answer.reset();
        lock.unlock();

        TfmChange* change = &change_;
        QMetaObject::invokeMethod(
            change,
            [change, question = question_, rows] {
                {
                    const std::lock_guard guard(question->mutex);
                    if (question->abandoned) {
                        return;
                    }
                }
                const RestoreAnswer answer = change->ask(rows);
                {
                    const std::lock_guard guard(question->mutex);
                    question->answer = answer;
                }
                question->answered.notify_all();
            },
            Qt::QueuedConnection);

        lock.lock();
        question_->answered.wait(lock,
                                 [this] { return question_->answer || question_->abandoned; });
        return question_->answer.value_or(RestoreAnswer{});
    }

private:
    TfmChange& change_;
    std::shared_ptr<Question> question_;
};

TfmAuto::TfmAuto(engine::Context& context, engine::automatic::AutoState& state, TfmChange& change,
                 QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint)
    , context_(context)
    , state_(state)
    , change_(change)
    , passStart_([](engine::automatic::AutoPass& pass) { StartAutoPass(pass); })
    , question_(std::make_shared<Question>()) {
    setObjectName(QStringLiteral("fmAuto"));
    setWindowTitle(QStringLiteral("Автоматическая разблокировка"));
    setWindowIcon(programIcon());
    setFont(QFont(QStringLiteral("Tahoma"), 8));
    setFixedSize(602, 499);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);

    reMess_ = new QTextEdit(this);
    reMess_->setObjectName(QStringLiteral("reMess"));
    reMess_->setAccessibleName(QStringLiteral("Журнал автоматической проверки"));
    reMess_->setReadOnly(true);
    reMess_->setAcceptRichText(true);
    QFont logFont(QStringLiteral("Tahoma"), 8);
    logFont.setBold(true);
    reMess_->setFont(logFont);
    // Lines are centred in the log's width, and a line longer than that (a
    // long program path) wraps there instead of running out of sight.
    reMess_->setLineWrapMode(QTextEdit::WidgetWidth);
    reMess_->setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    reMess_->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    layout->addWidget(reMess_, 1);

    // The panel is a flat button, so that screen readers read its caption and
    // desktop automation can press it.
    pnPanel_ = new QPushButton(this);
    pnPanel_->setObjectName(QStringLiteral("pnPanel"));
    // Its caption is empty until a pass has ended: a screen reader still
    // needs a name for it then (once there is a caption, the caption is it).
    pnPanel_->setAccessibleName(QStringLiteral("Закрытие окна"));
    pnPanel_->setFlat(true);
    pnPanel_->setFixedHeight(35);
    pnPanel_->setFocusPolicy(Qt::NoFocus);
    pnPanel_->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    layout->addWidget(pnPanel_);
    connect(pnPanel_, &QPushButton::clicked, this, &TfmAuto::pnPanelClick);

    tmCloseTimer_ = new QTimer(this);
    tmCloseTimer_->setObjectName(QStringLiteral("tmCloseTimer"));
    tmCloseTimer_->setInterval(1000);
    connect(tmCloseTimer_, &QTimer::timeout, this, &TfmAuto::tmCloseTimerTimer);

    connect(this, &TfmAuto::lineLogged, this, &TfmAuto::AutoLog, Qt::QueuedConnection);
}

TfmAuto::~TfmAuto() {
    {
        const std::lock_guard guard(question_->mutex);
        question_->abandoned = true;
    }
    question_->answered.notify_all();
    if (worker_.joinable()) {
        worker_.join();
    }
}

void TfmAuto::setPassStart(PassStart start) {
    passStart_ = std::move(start);
}

void TfmAuto::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    if (!event->spontaneous()) {
        FormShow();
        activateWindow();
    }
}

bool TfmAuto::event(QEvent* event) {
    const bool handled = QDialog::event(event);
    if (event->type() == QEvent::WindowActivate && passPending_) {
        passPending_ = false;
        FormActivate();
    }
    return handled;
}

void TfmAuto::FormShow() {
    reMess_->clear();
    logEmpty_ = true;
    CloseCountdown_ = 15;
    passPending_ = true;
}

void TfmAuto::FormActivate() {
    if (running_) {
        return;
    }
    running_ = true;
    tmCloseTimer_->stop();
    pnPanel_->setEnabled(false);
    worker_ = std::thread([this] {
        WorkerLog log(*this);
        WorkerQuestion question(change_, question_);
        engine::automatic::AutoPass pass{context_, state_, log, question};
        // An exception must not leave the worker (it would end the program
        // with hives half healed in memory), nor leave a window that cannot
        // be closed: the pass counts as ended, with the reason in the log.
        try {
            passStart_(pass);
        } catch (const std::exception& error) {
            log.write({LogColor::Red, kPassAborted + error.what()});
            state_.AutoFinished = true;
        } catch (...) {
            log.write({LogColor::Red, kPassAborted + "?"});
            state_.AutoFinished = true;
        }
        QMetaObject::invokeMethod(this, &TfmAuto::finishPass, Qt::QueuedConnection);
    });
}

void TfmAuto::finishPass() {
    worker_.join();
    running_ = false;
    pnPanel_->setEnabled(true);
    tmCloseTimer_->start();
    emit passEnded();
}

void TfmAuto::AutoLog(const LogLine& line) {
    QTextBlockFormat block;
    block.setAlignment(Qt::AlignHCenter);
    QTextCharFormat chars;
    chars.setForeground(colorOf(line.color));
    chars.setFontWeight(QFont::Bold);

    QTextCursor cursor(reMess_->document());
    cursor.movePosition(QTextCursor::End);
    if (logEmpty_) {
        cursor.setBlockFormat(block);
        cursor.setBlockCharFormat(chars);
        logEmpty_ = false;
    } else {
        cursor.insertBlock(block, chars);
    }
    cursor.insertText(displayText(line.text), chars);
    reMess_->setTextCursor(cursor);
    reMess_->ensureCursorVisible();
}

void TfmAuto::pnPanelClick() {
    if (running_ || !state_.AutoFinished) {
        return;
    }
    if (tmCloseTimer_->isActive()) {
        tmCloseTimer_->stop();
        pnPanel_->setText(kHeldCaption);
        pnPanel_->setAccessibleName(kHeldCaption);
        return;
    }
    accept();
}

void TfmAuto::tmCloseTimerTimer() {
    if (running_) {
        return;
    }
    if (CloseCountdown_ > 0) {
        pnPanel_->setText(kCountdownCaption + QString::number(CloseCountdown_));
        pnPanel_->setAccessibleName(pnPanel_->text());
        --CloseCountdown_;
        return;
    }
    tmCloseTimer_->stop();
    pnPanelClick();
}

void TfmAuto::reject() {}
