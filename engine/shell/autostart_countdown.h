#pragma once

#include <string>

namespace engine::shell {

// The mode chooser's countdown to the automatic unlock: 15 when the chooser
// is shown, one step a second; the caption of the automatic button follows
// it.
class AutostartCountdown {
public:
    static constexpr int kStart = 15;

    // The chooser is shown: counting from 15.
    void start();
    // Any button but the donation one: idle for good, until the next start.
    void stop();

    // One tick. True when the countdown has run out: it is idle again and the
    // automatic unlock is to start now.
    bool tick();

    bool counting() const { return counting_; }
    int counter() const { return counter_; }
    // "Автоматически" when idle and before the first tick; then
    // "Автоматический запуск через..." with the remaining seconds (14 ... 0).
    std::string caption() const;

private:
    int counter_ = kStart;
    bool counting_ = false;
    bool ticked_ = false;
};

} // namespace engine::shell
