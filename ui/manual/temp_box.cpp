#include "manual/temp_box.h"

#include <initializer_list>

#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

#include "manual/console_widgets.h"

namespace rules = engine::rules;

namespace {

QCheckBox* makeChoice(QWidget* parent, const char* name, const char* folder,
                      const QRect& geometry) {
    auto* box = new QCheckBox(QStringLiteral("Выбрать"), parent);
    box->setObjectName(QString::fromUtf8(name));
    box->setAccessibleName(QStringLiteral("Выбрать ") + QString::fromUtf8(folder));
    box->setGeometry(geometry);
    return box;
}

} // namespace

TempBox::TempBox(engine::Context& context, Log log, QWidget* parent)
    : QGroupBox(QStringLiteral("Временные файлы"), parent)
    , context_(context)
    , log_(std::move(log)) {
    setObjectName(QStringLiteral("gbTemp"));
    resize(437, 161);
    makeLabel(this, "TEMP", QRect(8, 18, 100, 14));
    leTemp_ = makeValueEdit(this, "leTemp", "TEMP", QRect(8, 33, 330, 21));
    cbTemp_ = makeChoice(this, "cbTemp", "TEMP", QRect(348, 35, 81, 17));
    lbTmp_ = makeLabel(this, "TMP", QRect(8, 62, 100, 14));
    leTMP_ = makeValueEdit(this, "leTMP", "TMP", QRect(8, 77, 330, 21));
    cbTmp_ = makeChoice(this, "cbTmp", "TMP", QRect(348, 79, 81, 17));
    connect(cbTemp_, &QCheckBox::toggled, this, [this](bool on) { folders_.TempTicked = on; });
    connect(cbTmp_, &QCheckBox::toggled, this, [this](bool on) { folders_.TmpTicked = on; });
    auto* btDelTemp = makeButton(this, "btDelTemp", "Очистить", QRect(8, 120, 421, 27));
    btDelTemp->setAccessibleName(QStringLiteral("Очистить временные файлы"));
    connect(btDelTemp, &QPushButton::clicked, this, &TempBox::clearTicked);
}

void TempBox::load() {
    folders_ = rules::LoadTempFolders(context_);
    cbTemp_->setChecked(folders_.TempTicked);
    cbTmp_->setChecked(folders_.TmpTicked);
    leTemp_->setText(toQt(folders_.Temp));
    leTMP_->setText(toQt(folders_.Tmp));
    leTemp_->setCursorPosition(0);
    leTMP_->setCursorPosition(0);
    for (QWidget* widget : std::initializer_list<QWidget*>{lbTmp_, leTMP_, cbTmp_}) {
        widget->setVisible(folders_.TmpShown);
    }
}

void TempBox::clearTicked() {
    for (const std::string& message : rules::ClearTempFolders(context_, folders_)) {
        log_(message);
    }
}
