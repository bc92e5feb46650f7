#pragma once

#include "automatic/auto_window.h"
#include "manual/manual_window.h"
#include "rules/change_dialog.h"
#include "shell/choose_window.h"
#include "shell/donate_window.h"
#include "shell/help_window.h"
#include "shell/shell_hooks.h"
#include "shell/welcome_window.h"

namespace engine {
struct Context;
}
namespace engine::automatic {
struct AutoState;
}
namespace engine::platform {
class DisplaySettings;
class Launcher;
} // namespace engine::platform

// The program's windows, each made once, in this order, and kept until the
// program ends: the toolbar first (it sets up the shared lists and runs the
// first scan before any other window exists), then the chooser, help, the
// manual console (with its registry editor), the automatic window, the
// restore dialog and the donation window. Only the
// toolbar is shown; the others open modally from it and from the chooser.
struct MainWindows {
    MainWindows(engine::Context& context, engine::automatic::AutoState& state,
                engine::platform::Launcher& launcher, engine::platform::DisplaySettings& display,
                const ShellHooks& hooks = {});

    TfmWelcome fmWelcome;
    TfmChoose fmChoose;
    TfmHelp fmHelp;
    TfmManual fmManual;
    TfmAuto fmAuto;
    TfmChange fmChange;
    TfmDonate fmDonate;
};
