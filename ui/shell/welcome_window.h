#pragma once

#include <vector>

#include <QWidget>

#include "platform/display_modes.h"
#include "shell/shell_hooks.h"

namespace engine {
struct Context;
}
namespace engine::platform {
class Launcher;
}
class QComboBox;
class QMenu;
class QPushButton;
class QRadioButton;
class TfmChoose;
class TfmDonate;
class TfmHelp;

// The toolbar: the program's main window, a frameless strip docked to the
// top or bottom edge of the screen's work area. Making it sets up the shared
// discovery lists and runs the first installation scan; closing it ends the
// program. The windows it opens are kept by the caller and may not exist
// yet when the toolbar is made.
class TfmWelcome : public QWidget {
    Q_OBJECT
public:
    static constexpr int kHeight = 103;

    TfmWelcome(engine::Context& context, engine::platform::Launcher& launcher,
               engine::platform::DisplaySettings& display, TfmChoose& choose, TfmHelp& help,
               TfmDonate& donate, ShellHooks hooks, QWidget* parent = nullptr);

    // The display mode table, entry i for item i of the mode list.
    const std::vector<engine::platform::DisplayMode>& displayModes() const { return modes_; }
    // Docked to the bottom edge ("Снизу").
    bool dockedAtBottom() const;

public slots:
    void btStartClick();
    void btHelpClick();
    void btDonateClick();
    void btCloseClick();
    // "Сменить": the chosen display mode, then docked again.
    void Button2Click();
    // "Меню утилит": the tools menu at the mouse.
    void Button1Click();
    // Docks the strip to the edge rgPos names, across the work area.
    void dock();

private:
    engine::Context& context_;
    engine::platform::Launcher& launcher_;
    engine::platform::DisplaySettings& display_;
    TfmChoose& choose_;
    TfmHelp& help_;
    TfmDonate& donate_;
    ShellHooks hooks_;
    std::vector<engine::platform::DisplayMode> modes_;

    QRadioButton* rbTop_ = nullptr;
    QRadioButton* rbBottom_ = nullptr;
    QComboBox* cbScreen_ = nullptr;
    QMenu* pmMenu_ = nullptr;
};
