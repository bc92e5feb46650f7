#include "manual/manual_window.h"

#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

#include "shell/window_fonts.h"

TfmManual::TfmManual(QWidget* parent)
    : QDialog(parent) {
    setObjectName(QStringLiteral("fmManual"));
    setWindowTitle(QStringLiteral("Ручной режим..."));
    setFont(tahomaFont(13));
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(16, 16, 16, 12);
    auto* text = new QLabel(QStringLiteral("Ручной режим в этой версии ещё не готов.\n"
                                           "Воспользуйтесь автоматическим режимом или "
                                           "командой morvalin-cli."),
                            this);
    text->setObjectName(QStringLiteral("lbNotReady"));
    layout->addWidget(text);
    auto* close = new QPushButton(QStringLiteral("Закрыть"), this);
    close->setObjectName(QStringLiteral("btClose"));
    connect(close, &QPushButton::clicked, this, &QDialog::accept);
    layout->addWidget(close, 0, Qt::AlignRight);
}
