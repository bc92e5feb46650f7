#include "shell/current_mode_display.h"

#include <cmath>

#include <QGuiApplication>
#include <QScreen>

std::optional<engine::platform::DisplayMode> CurrentModeDisplay::mode(int number) {
    QScreen* screen = QGuiApplication::primaryScreen();
    if (number != 0 || screen == nullptr) {
        return std::nullopt;
    }
    const QSize size = screen->size() * screen->devicePixelRatio();
    engine::platform::DisplayMode mode;
    mode.width = static_cast<unsigned>(size.width());
    mode.height = static_cast<unsigned>(size.height());
    mode.bitsPerPixel = static_cast<unsigned>(screen->depth());
    mode.frequency = static_cast<unsigned>(std::lround(screen->refreshRate()));
    return mode;
}

bool CurrentModeDisplay::change(const engine::platform::DisplayMode&) {
    return false;
}
