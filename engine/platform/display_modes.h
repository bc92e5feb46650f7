#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace engine::platform {

// One mode of the display: what the toolbar lists and can switch to.
struct DisplayMode {
    unsigned width = 0;
    unsigned height = 0;
    unsigned bitsPerPixel = 0;
    unsigned frequency = 0; // Hz; 0 when unknown
    std::uint64_t id = 0;   // the display system's own handle of the mode
    friend bool operator==(const DisplayMode&, const DisplayMode&) = default;
};

// The display's modes and their change (EnumDisplaySettings and
// ChangeDisplaySettings): XRandR on X11, the current mode alone elsewhere.
class DisplaySettings {
public:
    virtual ~DisplaySettings() = default;
    // Mode number `number` (0, 1, ...); nullopt after the last one.
    virtual std::optional<DisplayMode> mode(int number) = 0;
    // Switches the display to `mode` with all of its fields (size, depth,
    // frequency); false when the display refused it or cannot change.
    virtual bool change(const DisplayMode& mode) = 0;
};

// The toolbar's mode table holds this many entries.
inline constexpr int kMaxDisplayModes = 256;

// Modes 0, 1, 2, ... up to the first number the display has no mode for,
// and never more than kMaxDisplayModes.
std::vector<DisplayMode> enumerateDisplayModes(DisplaySettings& display);

// The mode list's item: "1024 x 768 - 32 bit".
std::string displayModeCaption(const DisplayMode& mode);

} // namespace engine::platform
