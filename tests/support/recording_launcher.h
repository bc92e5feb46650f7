#pragma once

#include <functional>
#include <string>
#include <vector>

#include "platform/launcher.h"

namespace test {

// A launcher that starts nothing and keeps every command line it was given.
class RecordingLauncher final : public engine::platform::Launcher {
public:
    struct Start {
        std::string commandLine;
        engine::platform::ShowMode show = engine::platform::ShowMode::Normal;
        friend bool operator==(const Start&, const Start&) = default;
    };
    void run(const std::string& commandLine, engine::platform::ShowMode show) override {
        starts.push_back({commandLine, show});
        if (onStart) {
            onStart(starts.back());
        }
    }
    std::vector<Start> starts;
    std::function<void(const Start&)> onStart;
};

} // namespace test
