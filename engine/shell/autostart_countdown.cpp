#include "shell/autostart_countdown.h"

namespace engine::shell {

void AutostartCountdown::start() {
    counter_ = kStart;
    counting_ = true;
    ticked_ = false;
}

void AutostartCountdown::stop() {
    counting_ = false;
    ticked_ = false;
}

bool AutostartCountdown::tick() {
    if (!counting_) {
        return false;
    }
    if (counter_ > 0) {
        --counter_;
        ticked_ = true;
        return false;
    }
    stop();
    return true;
}

std::string AutostartCountdown::caption() const {
    if (!counting_ || !ticked_) {
        return "Автоматически";
    }
    return "Автоматический запуск через..." + std::to_string(counter_);
}

} // namespace engine::shell
