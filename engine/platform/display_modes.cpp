#include "platform/display_modes.h"

namespace engine::platform {

std::vector<DisplayMode> enumerateDisplayModes(DisplaySettings& display) {
    std::vector<DisplayMode> modes;
    for (int number = 0; number < kMaxDisplayModes; ++number) {
        auto mode = display.mode(number);
        if (!mode) {
            break;
        }
        modes.push_back(*mode);
    }
    return modes;
}

std::string displayModeCaption(const DisplayMode& mode) {
    return std::to_string(mode.width) + " x " + std::to_string(mode.height) + " - " +
           std::to_string(mode.bitsPerPixel) + " bit";
}

} // namespace engine::platform
