#pragma once

#include <QDialog>
#include <QTimer>

#include "shell/autostart_countdown.h"
#include "shell/shell_hooks.h"

namespace engine::platform {
class Launcher;
}
class QPushButton;
class TfmAuto;
class TfmHelp;
class TfmManual;
class TfmWelcome;

// The mode chooser: six buttons, and a countdown from its showing that starts
// the automatic unlock unless a button (other than the donation one) stops
// it. The windows it opens are kept by the caller and may not exist yet when
// the chooser is made; they are used only when a button opens them.
class TfmChoose : public QDialog {
    Q_OBJECT
public:
    TfmChoose(engine::platform::Launcher& launcher, TfmWelcome& welcome, TfmHelp& help,
              TfmManual& manual, TfmAuto& automatic, ShellHooks hooks, QWidget* parent = nullptr);

    // The countdown is running.
    bool counting() const { return countdown_.counting(); }

public slots:
    void btHelpClick();
    void btAutoClick();
    void btManualClick();
    void btFMClick();
    void btDonClick();
    void btExitClick();
    // One tick of the countdown (every second while counting).
    void tmAutostartTimer();

    // Escape and the window manager's close leave as "Выход" does.
    void reject() override;

protected:
    void showEvent(QShowEvent* event) override;

private:
    void stopCountdown();
    void showCaption();

    engine::platform::Launcher& launcher_;
    TfmWelcome& welcome_;
    TfmHelp& help_;
    TfmManual& manual_;
    TfmAuto& automatic_;
    ShellHooks hooks_;

    engine::shell::AutostartCountdown countdown_;
    QTimer tmAutostart_;
    QPushButton* btHelp_ = nullptr;
    QPushButton* btAuto_ = nullptr;
    QPushButton* btManual_ = nullptr;
    QPushButton* btFM_ = nullptr;
    QPushButton* btDon_ = nullptr;
    QPushButton* btExit_ = nullptr;
};
