#pragma once

#include <chrono>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include <QDialog>

#include "automatic/auto_pass.h"
#include "context/context.h"
#include "platform/display_modes.h"
#include "shell/main_windows.h"
#include "support/recording_launcher.h"
#include "support/target_tree.h"

namespace test {

// A display with a fixed list of modes that records the changes asked of it.
class FakeDisplay final : public engine::platform::DisplaySettings {
public:
    std::vector<engine::platform::DisplayMode> modes = {
        {1024, 768, 32, 60, 1}, {800, 600, 32, 60, 2}, {1280, 1024, 16, 75, 3}};
    std::vector<engine::platform::DisplayMode> changes;
    // Called for mode 0: what the test wants to see at enumeration time.
    std::function<void()> onFirstMode;

    std::optional<engine::platform::DisplayMode> mode(int number) override {
        if (number == 0 && onFirstMode) {
            onFirstMode();
        }
        if (number < 0 || number >= static_cast<int>(modes.size())) {
            return std::nullopt;
        }
        return modes[static_cast<std::size_t>(number)];
    }
    bool change(const engine::platform::DisplayMode& mode) override {
        changes.push_back(mode);
        return true;
    }
};

// The program's windows over a locked computer in a temporary folder (an XP
// and a Windows 10 installation): no real disk is looked at, no modal window
// runs its own event loop (the windows a button opens are recorded), no
// fixed wait is waited, and the countdown ticks only when a test says so.
struct Shell {
    explicit Shell(std::function<void(Shell&)> beforeWindows = {}) {
        tree.addInstallation('c', "WINDOWS", WindowsKind::Xp32);
        tree.addInstallation('d', "Windows", WindowsKind::Win10x64);
        context = std::make_unique<engine::Context>(tree.context());
        hooks.showModal = [this](QDialog& dialog) { opened.push_back(&dialog); };
        hooks.wait = [this](std::chrono::milliseconds time) { waits.push_back(time); };
        hooks.tick = std::chrono::hours(24); // never by itself during a test
        if (beforeWindows) {
            beforeWindows(*this);
        }
        windows = std::make_unique<MainWindows>(*context, state, launcher, display, hooks);
    }

    TargetTree tree;
    std::unique_ptr<engine::Context> context;
    engine::automatic::AutoState state;
    RecordingLauncher launcher;
    FakeDisplay display;
    ShellHooks hooks;
    std::vector<QDialog*> opened;
    std::vector<std::chrono::milliseconds> waits;
    std::unique_ptr<MainWindows> windows;
};

} // namespace test
