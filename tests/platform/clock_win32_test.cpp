// The multimedia clock and the user's regional formats.
#include <gtest/gtest.h>

#include <ctime>

#include "platform/clock.h"
#include "platform/local_time.h"

namespace {

TEST(ClockWin32, TicksFollowSleepsAndPeriodsAreGranted) {
    auto& clock = platform::SystemClock();
    const auto period = clock.MinTimerPeriod();
    ASSERT_TRUE(period);
    EXPECT_GE(*period, 1u);
    ASSERT_TRUE(clock.BeginTimerPeriod(*period));
    const uint32_t before = clock.TickCount();
    clock.Sleep(50);
    const uint32_t slept = clock.TickCount() - before;
    clock.EndTimerPeriod(*period);
    EXPECT_GE(slept, 40u);
    EXPECT_LT(slept, 5000u);
}

TEST(LocalTimeWin32, NowIsTheRuntimesLocalTime) {
    const std::time_t t = std::time(nullptr);
    const platform::LocalDateTime now = platform::SystemLocalTime().Now();
    const std::tm* local = std::localtime(&t);
    ASSERT_TRUE(local);
    // Seconds apart at most, unless a minute turned in between.
    EXPECT_EQ(now.Year, local->tm_year + 1900);
    EXPECT_EQ(now.Month, local->tm_mon + 1);
    EXPECT_EQ(now.Day, local->tm_mday);
    EXPECT_EQ(now.DayOfWeek, local->tm_wday + 1);
    EXPECT_NEAR(now.Hour * 3600 + now.Minute * 60 + now.Second,
                local->tm_hour * 3600 + local->tm_min * 60 + local->tm_sec, 5);
}

TEST(LocalTimeWin32, RegionalFormatsByName) {
    auto german = platform::SystemLocaleTimeFormat("de-DE");
    ASSERT_TRUE(german);
    EXPECT_EQ(german->TimeSeparator, ":");
    EXPECT_EQ(german->DateSeparator, ".");
    EXPECT_EQ(german->ShortDayNames[0], "So.") << "Sunday first";
    EXPECT_EQ(german->ShortDayNames[1], "Mo.");

    auto american = platform::SystemLocaleTimeFormat("en_US.UTF-8");
    ASSERT_TRUE(american) << "names written the POSIX way are understood";
    EXPECT_EQ(american->DateSeparator, "/");
    EXPECT_EQ(american->ShortDayNames[6], "Sat");
    EXPECT_EQ(american->TimeAMString, "AM");
    EXPECT_EQ(american->TimePMString, "PM");

    EXPECT_FALSE(platform::SystemLocaleTimeFormat("xx-NOWHERE"));
}

}  // namespace
