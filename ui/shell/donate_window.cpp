#include "shell/donate_window.h"

#include <QHBoxLayout>
#include <QPushButton>
#include <QStringList>
#include <QTextEdit>
#include <QVBoxLayout>

#include "shell/program_icon.h"
#include "shell/window_fonts.h"

namespace {

// One centred line each. The contact and payment details are placeholders
// until the project's own are published.
const char* const kLines[] = {
    "Доброго дня...",
    "Если диск вам помог, напишите нам пару слов и поддержите проект,",
    "чтобы он и дальше оставался бесплатным.",
    "E-mail: [адрес будет указан в выпуске - сейчас это заглушка]",
    "Мобильный счёт: [номер будет указан в выпуске - заглушка]",
    "Кошелёк в долларах: [заглушка]   в рублях: [заглушка]   в евро: [заглушка]",
    "Сумма может быть любая!!!",
    "Заранее спасибо!!!",
    "Поддержите проект, чем перечислять деньги мошенникам...",
    "Поддержка - дело добровольное: живой диск Morvalin бесплатен",
    "для некоммерческого использования.",
};

} // namespace

TfmDonate::TfmDonate(QWidget* parent)
    : QDialog(parent) {
    setObjectName(QStringLiteral("fmDonate"));
    setWindowTitle(QStringLiteral("Поддержать проект..."));
    setWindowIcon(programIcon());
    setFixedSize(520, 263);
    setFont(tahomaFont(11));

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(6, 6, 6, 6);
    meDonate_ = new QTextEdit(this);
    meDonate_->setObjectName(QStringLiteral("meDonate"));
    meDonate_->setAccessibleName(windowTitle());
    meDonate_->setReadOnly(true);
    meDonate_->setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    QStringList html;
    for (const char* line : kLines) {
        html << QStringLiteral("<p align=\"center\" style=\"margin:0\">%1</p>")
                    .arg(QString::fromUtf8(line).toHtmlEscaped());
    }
    meDonate_->setHtml(html.join(QString()));
    layout->addWidget(meDonate_);

    auto* buttons = new QHBoxLayout;
    Button1_ = new QPushButton(QStringLiteral("Спасибо нет, это бесполезный проект"), this);
    Button1_->setObjectName(QStringLiteral("Button1"));
    Button2_ = new QPushButton(QStringLiteral("Спасибо, да я поддержу!"), this);
    Button2_->setObjectName(QStringLiteral("Button2"));
    for (QPushButton* button : {Button1_, Button2_}) {
        button->setAutoDefault(false);
        button->setMinimumHeight(28);
        connect(button, &QPushButton::clicked, this, &QDialog::accept);
    }
    buttons->addWidget(Button1_);
    buttons->addStretch();
    buttons->addWidget(Button2_);
    layout->addLayout(buttons);
}
