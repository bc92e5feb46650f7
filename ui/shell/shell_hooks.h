#pragma once

#include <chrono>
#include <functional>
#include <thread>

#include <QDialog>

// How the shell windows open modal windows, make their fixed waits and tick
// their countdowns. The program keeps the defaults; tests record the windows
// opened, skip the waits and call the timer slots themselves.
struct ShellHooks {
    std::function<void(QDialog&)> showModal = [](QDialog& dialog) { dialog.exec(); };
    // A fixed wait blocks the window, as the one user-interface thread does.
    std::function<void(std::chrono::milliseconds)> wait = [](std::chrono::milliseconds time) {
        std::this_thread::sleep_for(time);
    };
    std::chrono::milliseconds tick{1000};
};
