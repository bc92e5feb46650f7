#include <clocale>
#include <cstdlib>
#include <ctime>
#include <gtest/gtest.h>

#include "automatic/auto_log.h"

namespace engine::automatic {
namespace {

// 14 November 2023, 22:13:20 UTC, and 09:05:07 the next morning.
constexpr std::time_t kEvening = 1700000000;
constexpr std::time_t kMorning = 1700039107;

class TimeOfDay : public ::testing::Test {
protected:
    void SetUp() override {
        ::setenv("TZ", "UTC", 1);
        ::tzset();
    }
    void TearDown() override { std::setlocale(LC_TIME, "C"); }
};

TEST_F(TimeOfDay, FollowsTheLocalesLongTimeFormat) {
    ASSERT_NE(std::setlocale(LC_TIME, "C"), nullptr);
    EXPECT_EQ(formatTimeOfDay(kEvening), "22:13:20");
    EXPECT_EQ(formatTimeOfDay(kMorning), "09:05:07");
}

TEST_F(TimeOfDay, UsesTheTwelveHourClockWhereTheLocaleKeepsOne) {
    if (std::setlocale(LC_TIME, "en_US.UTF-8") == nullptr) {
        GTEST_SKIP() << "the en_US.UTF-8 locale is not installed";
    }
    EXPECT_EQ(formatTimeOfDay(kEvening), "10:13:20 PM");
    EXPECT_EQ(formatTimeOfDay(kMorning), "09:05:07 AM");
}

} // namespace
} // namespace engine::automatic
