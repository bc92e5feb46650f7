#pragma once

#include "platform/display_modes.h"

// Where the display's modes cannot be listed (no X11 with RandR: the
// framebuffer, offscreen): the screen's current mode alone, which cannot be
// changed.
class CurrentModeDisplay final : public engine::platform::DisplaySettings {
public:
    std::optional<engine::platform::DisplayMode> mode(int number) override;
    bool change(const engine::platform::DisplayMode& mode) override;
};
