#include "shell/main_windows.h"

// Members are made in their order of declaration; a window handed to an
// earlier one is only kept by reference until a button opens it.
MainWindows::MainWindows(engine::Context& context, engine::automatic::AutoState& state,
                         engine::platform::Launcher& launcher,
                         engine::platform::DisplaySettings& display, const ShellHooks& hooks)
    : fmWelcome(context, launcher, display, fmChoose, fmHelp, fmDonate, hooks)
    , fmChoose(launcher, fmWelcome, fmHelp, fmManual, fmAuto, hooks)
    , fmHelp()
    , fmManual(context, launcher, fmChange, hooks)
    , fmAuto(context, state, fmChange)
    , fmChange()
    , fmDonate() {}
