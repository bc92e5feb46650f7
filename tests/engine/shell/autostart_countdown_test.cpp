// The chooser's countdown: its captions second by second, running out at the
// 16th tick, and stopping for good until the next start.
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "shell/autostart_countdown.h"

namespace engine::shell {
namespace {

TEST(AutostartCountdown, CaptionsFifteenTicksThenRunsOutAtTheSixteenth) {
    AutostartCountdown countdown;
    EXPECT_EQ(countdown.caption(), "Автоматически");
    EXPECT_FALSE(countdown.tick()); // idle: a stray tick does nothing
    countdown.start();
    EXPECT_EQ(countdown.caption(), "Автоматически");
    for (int remaining = 14; remaining >= 0; --remaining) {
        EXPECT_FALSE(countdown.tick());
        EXPECT_EQ(countdown.caption(),
                  "Автоматический запуск через..." + std::to_string(remaining));
    }
    EXPECT_TRUE(countdown.tick());
    EXPECT_FALSE(countdown.counting());
    EXPECT_EQ(countdown.caption(), "Автоматически");
    EXPECT_FALSE(countdown.tick()); // ran out once only
}

TEST(AutostartCountdown, StopHoldsUntilTheNextStartWhichBeginsAtFifteen) {
    AutostartCountdown countdown;
    countdown.start();
    for (int i = 0; i < 5; ++i) {
        countdown.tick();
    }
    countdown.stop();
    EXPECT_EQ(countdown.caption(), "Автоматически");
    for (int i = 0; i < 30; ++i) {
        EXPECT_FALSE(countdown.tick());
    }
    countdown.start();
    EXPECT_EQ(countdown.counter(), 15);
    countdown.tick();
    EXPECT_EQ(countdown.caption(), "Автоматический запуск через...14");
}

} // namespace
} // namespace engine::shell
