#pragma once

#include <memory>
#include <vector>

#include "platform/display_modes.h"

// The display's modes through the X server's RandR extension: the modes of
// the primary output (else the first connected one that shows a picture),
// one per size (its highest refresh rate; the list shows no rate), with the
// bits per pixel of the screen's pixel format. A change sets the output's
// mode and resizes the screen to fit; like any X mode change it lasts until
// the X session ends.
class XrandrDisplay final : public engine::platform::DisplaySettings {
public:
    // nullptr when there is no X display (DISPLAY) or it has no RandR 1.2.
    static std::unique_ptr<XrandrDisplay> open();
    ~XrandrDisplay() override;

    std::optional<engine::platform::DisplayMode> mode(int number) override;
    bool change(const engine::platform::DisplayMode& mode) override;

private:
    struct Connection;
    explicit XrandrDisplay(std::unique_ptr<Connection> connection);
    void readModes();

    std::unique_ptr<Connection> x_;
    std::vector<engine::platform::DisplayMode> modes_;
};
