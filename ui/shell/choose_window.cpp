#include "shell/choose_window.h"

#include <QPushButton>
#include <QShowEvent>

#include "automatic/auto_window.h"
#include "manual/manual_window.h"
#include "platform/launcher.h"
#include "platform/outside_programs.h"
#include "shell/help_window.h"
#include "shell/program_icon.h"
#include "shell/welcome_window.h"
#include "shell/window_fonts.h"

using engine::platform::ShowMode;

TfmChoose::TfmChoose(engine::platform::Launcher& launcher, TfmWelcome& welcome, TfmHelp& help,
                     TfmManual& manual, TfmAuto& automatic, ShellHooks hooks, QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint)
    , launcher_(launcher)
    , welcome_(welcome)
    , help_(help)
    , manual_(manual)
    , automatic_(automatic)
    , hooks_(std::move(hooks)) {
    setObjectName(QStringLiteral("fmChoose"));
    setWindowTitle(QStringLiteral("-=Morvalin LiveCD=-"));
    setWindowIcon(programIcon());
    setFixedSize(474, 297);

    // Top to bottom: the buttons' places; the keyboard goes another way.
    const struct {
        QPushButton*& button;
        const char* name;
        const char* caption;
        void (TfmChoose::*click)();
    } buttons[] = {
        {btHelp_, "btHelp", "Помощь", &TfmChoose::btHelpClick},
        {btAuto_, "btAuto", "Автоматически", &TfmChoose::btAutoClick},
        {btManual_, "btManual", "Вручную", &TfmChoose::btManualClick},
        {btFM_, "btFM", "Файл менеджер - (TotalCMD 2k10) ", &TfmChoose::btFMClick},
        {btDon_, "btDon", "Поддержать проект", &TfmChoose::btDonClick},
        {btExit_, "btExit", "Выход", &TfmChoose::btExitClick},
    };
    constexpr int kWidth = 457;
    constexpr int kHeight = 42;
    constexpr int kGap = 6;
    int top = 7;
    for (const auto& entry : buttons) {
        entry.button = new QPushButton(QString::fromUtf8(entry.caption), this);
        entry.button->setObjectName(QString::fromUtf8(entry.name));
        entry.button->setFont(tahomaFont(16, true));
        entry.button->setGeometry((width() - kWidth) / 2, top, kWidth, kHeight);
        entry.button->setAutoDefault(true);
        connect(entry.button, &QPushButton::clicked, this, entry.click);
        top += kHeight + kGap;
    }
    btAuto_->setDefault(true);
    setTabOrder(btAuto_, btManual_);
    setTabOrder(btManual_, btExit_);
    setTabOrder(btExit_, btHelp_);
    setTabOrder(btHelp_, btFM_);
    setTabOrder(btFM_, btDon_);

    tmAutostart_.setInterval(static_cast<int>(hooks_.tick.count()));
    connect(&tmAutostart_, &QTimer::timeout, this, &TfmChoose::tmAutostartTimer);
}

void TfmChoose::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    if (event->spontaneous()) {
        return; // shown again by the window system (restored), not by us
    }
    countdown_.start();
    tmAutostart_.start();
    showCaption();
    btAuto_->setFocus();
}

void TfmChoose::showCaption() {
    btAuto_->setText(QString::fromStdString(countdown_.caption()));
}

void TfmChoose::stopCountdown() {
    tmAutostart_.stop();
    countdown_.stop();
    showCaption();
}

void TfmChoose::tmAutostartTimer() {
    if (countdown_.tick()) {
        tmAutostart_.stop();
        showCaption();
        btAutoClick();
        return;
    }
    showCaption();
}

void TfmChoose::btHelpClick() {
    stopCountdown();
    hooks_.showModal(help_);
}

void TfmChoose::btAutoClick() {
    launcher_.run(engine::platform::kCloseRegistryEditorCommand, ShowMode::MinimizedNoActive);
    hooks_.wait(std::chrono::milliseconds(1000));
    stopCountdown();
    hooks_.showModal(automatic_);
}

void TfmChoose::btManualClick() {
    stopCountdown();
    hooks_.showModal(manual_);
}

void TfmChoose::btFMClick() {
    stopCountdown();
    launcher_.run(engine::platform::kFileManagerCommand, ShowMode::Normal);
}

void TfmChoose::btDonClick() {
    welcome_.btDonateClick();
}

void TfmChoose::btExitClick() {
    stopCountdown();
    QDialog::reject();
}

void TfmChoose::reject() {
    btExitClick();
}
