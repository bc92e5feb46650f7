// The system-file restore dialog: rows set from the engine's verdicts, the
// operator's ticks kept from one question to the next.
#include "rules/change_dialog.h"

#include <QCheckBox>
#include <QColor>
#include <QFont>
#include <QFrame>
#include <QHBoxLayout>
#include <QLabel>
#include <QPalette>
#include <QPushButton>
#include <QString>
#include <QThread>
#include <QVBoxLayout>

#include "shell/plain_text.h"
#include "shell/program_icon.h"

namespace {

using engine::rules::DialogResult;
using engine::rules::RestoreAnswer;
using engine::rules::SystemFileRow;

const QColor kGenuineColor(0, 128, 0);
const QColor kBadColor(255, 0, 0);

// The captions the rows have before the first question, in row order.
constexpr std::array<const char*, 4> kRowNames = {"Userinit.exe", "dllcache\\Userinit.exe",
                                                  "taskmgr.exe", "dllcache\\taskmgr.exe"};
constexpr std::array<const char*, 4> kLabelNames = {"lbUserinit", "lbUserinitCashe", "lbTaskmgr",
                                                    "lbTaskMgrCashe"};
constexpr std::array<const char*, 4> kBoxNames = {"cbRecUserinit", "cbRecUserinitCashe",
                                                  "cbRecTaskmgr", "cbRecTaskmgrCashe"};

QFont tahoma(int pixels, bool bold) {
    QFont font(QStringLiteral("Tahoma"));
    font.setPixelSize(pixels);
    font.setBold(bold);
    return font;
}

QFrame* bevel(QWidget* parent) {
    auto* frame = new QFrame(parent);
    frame->setFrameStyle(QFrame::Panel | QFrame::Raised);
    return frame;
}

void setTextColor(QLabel& label, const QColor& color) {
    QPalette palette = label.palette();
    palette.setColor(QPalette::WindowText, color);
    label.setPalette(palette);
}

std::size_t slot(engine::rules::SystemFile file) {
    return static_cast<std::size_t>(file);
}

} // namespace

TfmChange::TfmChange(QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint | Qt::CustomizeWindowHint |
                          Qt::WindowTitleHint | Qt::WindowCloseButtonHint |
                          Qt::WindowStaysOnTopHint) {
    setObjectName(QStringLiteral("fmChange"));
    setWindowTitle(QStringLiteral("Проверка файлов..."));
    setWindowIcon(programIcon());
    setFont(tahoma(11, false));
    setFixedSize(350, 215);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(8, 8, 8, 8);
    layout->setSpacing(6);

    QFrame* testFrame = bevel(this);
    auto* testLayout = new QHBoxLayout(testFrame);
    testLayout->setContentsMargins(6, 4, 6, 4);
    lbTest_ = makePlainLabel(testFrame, QStringLiteral("Проверяемая система.."));
    lbTest_->setObjectName(QStringLiteral("lbTest"));
    lbTest_->setFont(tahoma(13, true));
    lbTest_->setAlignment(Qt::AlignCenter);
    testLayout->addWidget(lbTest_);
    layout->addWidget(testFrame);

    QFrame* rowsFrame = bevel(this);
    auto* rowsLayout = new QVBoxLayout(rowsFrame);
    rowsLayout->setContentsMargins(10, 4, 10, 4);
    rowsLayout->setSpacing(2);
    for (std::size_t i = 0; i < labels_.size(); ++i) {
        auto* row = new QHBoxLayout;
        labels_[i] = makePlainLabel(rowsFrame, QString::fromUtf8(kRowNames[i]));
        labels_[i]->setObjectName(QString::fromLatin1(kLabelNames[i]));
        labels_[i]->setFont(tahoma(16, true));
        boxes_[i] = new QCheckBox(QStringLiteral("Восстановить"), rowsFrame);
        boxes_[i]->setObjectName(QString::fromLatin1(kBoxNames[i]));
        boxes_[i]->setChecked(false);
        // A hidden box keeps its place, so the rows do not shift between
        // questions.
        QSizePolicy keepPlace = boxes_[i]->sizePolicy();
        keepPlace.setRetainSizeWhenHidden(true);
        boxes_[i]->setSizePolicy(keepPlace);
        row->addWidget(labels_[i], 1);
        row->addWidget(boxes_[i]);
        rowsLayout->addLayout(row);
    }
    layout->addWidget(rowsFrame, 1);

    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    btRecover_ = new QPushButton(QStringLiteral("Восстановить"), this);
    btRecover_->setObjectName(QStringLiteral("btRecover"));
    btCancel_ = new QPushButton(QStringLiteral("Отменить"), this);
    btCancel_->setObjectName(QStringLiteral("btCancel"));
    buttons->addWidget(btRecover_);
    buttons->addWidget(btCancel_);
    layout->addLayout(buttons);

    connect(btRecover_, &QPushButton::clicked, this, [this] { done(kRecover); });
    connect(btCancel_, &QPushButton::clicked, this, [this] { done(kRefuse); });

    for (std::size_t i = 0; i + 1 < boxes_.size(); ++i) {
        setTabOrder(boxes_[i], boxes_[i + 1]);
    }
    setTabOrder(boxes_.back(), btRecover_);
    setTabOrder(btRecover_, btCancel_);
}

RestoreAnswer TfmChange::ask(const std::array<SystemFileRow, 4>& rows) {
    Q_ASSERT_X(QThread::currentThread() == thread(), "TfmChange::ask",
               "the restore dialog is asked on the GUI thread");
    for (const SystemFileRow& row : rows) {
        const std::size_t i = slot(row.file);
        labels_[i]->setText(QString::fromStdString(row.label));
        setTextColor(*labels_[i], row.genuine ? kGenuineColor : kBadColor);
        if (row.genuine) {
            boxes_[i]->setChecked(false);
        }
        boxes_[i]->setVisible(!row.genuine);
    }

    RestoreAnswer answer;
    switch (exec()) {
    case kRecover:
        answer.result = DialogResult::Ok;
        break;
    case kRefuse:
        answer.result = DialogResult::No;
        break;
    default:
        answer.result = DialogResult::Cancel;
        break;
    }
    for (std::size_t i = 0; i < boxes_.size(); ++i) {
        answer.ticked[i] = boxes_[i]->isChecked();
    }
    return answer;
}
