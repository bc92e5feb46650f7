#include "shell/xrandr_display.h"

#include <algorithm>
#include <cmath>

#include <X11/Xlib.h>
#include <X11/extensions/Xrandr.h>

using engine::platform::DisplayMode;

struct XrandrDisplay::Connection {
    Display* display = nullptr;
    Window root = 0;
    int screen = 0;
    ~Connection() {
        if (display != nullptr) {
            XCloseDisplay(display);
        }
    }
};

namespace {

// Owners of the RandR replies.
struct Resources {
    XRRScreenResources* value;
    ~Resources() {
        if (value != nullptr) {
            XRRFreeScreenResources(value);
        }
    }
};
struct Output {
    XRROutputInfo* value;
    ~Output() {
        if (value != nullptr) {
            XRRFreeOutputInfo(value);
        }
    }
};
struct Crtc {
    XRRCrtcInfo* value;
    ~Crtc() {
        if (value != nullptr) {
            XRRFreeCrtcInfo(value);
        }
    }
};

// The output the modes are listed and changed for: the primary one, else
// the first connected one with a CRTC.
RROutput chosenOutput(Display* display, Window root, XRRScreenResources& resources) {
    const RROutput primary = XRRGetOutputPrimary(display, root);
    for (int i = 0; i < resources.noutput; ++i) {
        Output info{XRRGetOutputInfo(display, &resources, resources.outputs[i])};
        if (info.value == nullptr || info.value->connection != RR_Connected ||
            info.value->crtc == 0) {
            continue;
        }
        if (primary == 0 || resources.outputs[i] == primary) {
            return resources.outputs[i];
        }
    }
    for (int i = 0; i < resources.noutput; ++i) {
        Output info{XRRGetOutputInfo(display, &resources, resources.outputs[i])};
        if (info.value != nullptr && info.value->connection == RR_Connected &&
            info.value->crtc != 0) {
            return resources.outputs[i];
        }
    }
    return 0;
}

const XRRModeInfo* findMode(const XRRScreenResources& resources, RRMode id) {
    for (int i = 0; i < resources.nmode; ++i) {
        if (resources.modes[i].id == id) {
            return &resources.modes[i];
        }
    }
    return nullptr;
}

unsigned refreshRate(const XRRModeInfo& mode) {
    if (mode.hTotal == 0 || mode.vTotal == 0) {
        return 0;
    }
    const double rate =
        static_cast<double>(mode.dotClock) / (static_cast<double>(mode.hTotal) * mode.vTotal);
    return static_cast<unsigned>(std::lround(rate));
}

unsigned bitsPerPixel(Display* display, int screen) {
    const int depth = XDefaultDepth(display, screen);
    int count = 0;
    XPixmapFormatValues* formats = XListPixmapFormats(display, &count);
    unsigned bits = static_cast<unsigned>(depth);
    for (int i = 0; i < count; ++i) {
        if (formats[i].depth == depth) {
            bits = static_cast<unsigned>(formats[i].bits_per_pixel);
        }
    }
    if (formats != nullptr) {
        XFree(formats);
    }
    return bits;
}

} // namespace

std::unique_ptr<XrandrDisplay> XrandrDisplay::open() {
    auto connection = std::make_unique<Connection>();
    connection->display = XOpenDisplay(nullptr);
    if (connection->display == nullptr) {
        return nullptr;
    }
    int eventBase = 0;
    int errorBase = 0;
    int major = 0;
    int minor = 0;
    if (!XRRQueryExtension(connection->display, &eventBase, &errorBase) ||
        !XRRQueryVersion(connection->display, &major, &minor) ||
        (major < 1 || (major == 1 && minor < 2))) {
        return nullptr;
    }
    connection->screen = XDefaultScreen(connection->display);
    connection->root = XRootWindow(connection->display, connection->screen);
    std::unique_ptr<XrandrDisplay> display(new XrandrDisplay(std::move(connection)));
    display->readModes();
    return display;
}

XrandrDisplay::XrandrDisplay(std::unique_ptr<Connection> connection)
    : x_(std::move(connection)) {}

XrandrDisplay::~XrandrDisplay() = default;

void XrandrDisplay::readModes() {
    modes_.clear();
    Resources resources{XRRGetScreenResources(x_->display, x_->root)};
    if (resources.value == nullptr) {
        return;
    }
    const RROutput output = chosenOutput(x_->display, x_->root, *resources.value);
    Output info{output != 0 ? XRRGetOutputInfo(x_->display, resources.value, output) : nullptr};
    if (info.value == nullptr) {
        return;
    }
    const unsigned bits = bitsPerPixel(x_->display, x_->screen);
    // In the output's order (preferred modes first), one per size.
    for (int i = 0; i < info.value->nmode; ++i) {
        const XRRModeInfo* mode = findMode(*resources.value, info.value->modes[i]);
        if (mode == nullptr) {
            continue;
        }
        const DisplayMode entry{mode->width, mode->height, bits, refreshRate(*mode), mode->id};
        auto same = std::find_if(modes_.begin(), modes_.end(), [&](const DisplayMode& known) {
            return known.width == entry.width && known.height == entry.height;
        });
        if (same == modes_.end()) {
            modes_.push_back(entry);
        } else if (entry.frequency > same->frequency) {
            *same = entry;
        }
    }
}

std::optional<DisplayMode> XrandrDisplay::mode(int number) {
    if (number < 0 || number >= static_cast<int>(modes_.size())) {
        return std::nullopt;
    }
    return modes_[static_cast<std::size_t>(number)];
}

bool XrandrDisplay::change(const DisplayMode& mode) {
    Display* display = x_->display;
    Resources resources{XRRGetScreenResources(display, x_->root)};
    if (resources.value == nullptr) {
        return false;
    }
    RROutput output = chosenOutput(display, x_->root, *resources.value);
    Output info{output != 0 ? XRRGetOutputInfo(display, resources.value, output) : nullptr};
    if (info.value == nullptr || findMode(*resources.value, mode.id) == nullptr) {
        return false;
    }
    const RRCrtc crtcId = info.value->crtc;
    Crtc crtc{XRRGetCrtcInfo(display, resources.value, crtcId)};
    if (crtc.value == nullptr) {
        return false;
    }
    const bool rotated = (crtc.value->rotation & (RR_Rotate_90 | RR_Rotate_270)) != 0;
    const int modeWidth = static_cast<int>(rotated ? mode.height : mode.width);
    const int modeHeight = static_cast<int>(rotated ? mode.width : mode.height);

    // The screen must hold every other picture and this one at its place.
    int screenWidth = crtc.value->x + modeWidth;
    int screenHeight = crtc.value->y + modeHeight;
    for (int i = 0; i < resources.value->ncrtc; ++i) {
        if (resources.value->crtcs[i] == crtcId) {
            continue;
        }
        Crtc other{XRRGetCrtcInfo(display, resources.value, resources.value->crtcs[i])};
        if (other.value != nullptr && other.value->mode != 0) {
            screenWidth =
                std::max(screenWidth, other.value->x + static_cast<int>(other.value->width));
            screenHeight =
                std::max(screenHeight, other.value->y + static_cast<int>(other.value->height));
        }
    }

    XGrabServer(display);
    // Off first, so that the screen may shrink below the old picture.
    XRRSetCrtcConfig(display, resources.value, crtcId, CurrentTime, 0, 0, 0, RR_Rotate_0, nullptr,
                     0);
    const int widthMm = XDisplayWidthMM(display, x_->screen);
    const int heightMm = XDisplayHeightMM(display, x_->screen);
    const int oldWidth = XDisplayWidth(display, x_->screen);
    const int oldHeight = XDisplayHeight(display, x_->screen);
    if (screenWidth != oldWidth || screenHeight != oldHeight) {
        XRRSetScreenSize(display, x_->root, screenWidth, screenHeight,
                         oldWidth > 0 ? widthMm * screenWidth / oldWidth : widthMm,
                         oldHeight > 0 ? heightMm * screenHeight / oldHeight : heightMm);
    }
    const Status status =
        XRRSetCrtcConfig(display, resources.value, crtcId, CurrentTime, crtc.value->x,
                         crtc.value->y, mode.id, crtc.value->rotation, &output, 1);
    if (status != RRSetConfigSuccess) {
        // Refused: the old picture back, never a dark screen.
        if (screenWidth != oldWidth || screenHeight != oldHeight) {
            XRRSetScreenSize(display, x_->root, oldWidth, oldHeight, widthMm, heightMm);
        }
        XRRSetCrtcConfig(display, resources.value, crtcId, CurrentTime, crtc.value->x,
                         crtc.value->y, crtc.value->mode, crtc.value->rotation, crtc.value->outputs,
                         crtc.value->noutput);
    }
    XUngrabServer(display);
    XSync(display, False);
    return status == RRSetConfigSuccess;
}
