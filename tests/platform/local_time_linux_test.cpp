// The wall clock and the regional formats the C library gives per locale.
#include "platform/local_time.h"
#include "test_support.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <ctime>

namespace {

// The system's locale if it has one, else the one the build compiled.
std::optional<platform::LocaleTimeFormat> InstalledOrBuilt(const char* name) {
    auto format = platform::SystemLocaleTimeFormat(name);
#ifdef MARIVELLE_TEST_LOCALES
    if (!format) {
        TScopedEnv locales("LOCPATH", MARIVELLE_TEST_LOCALES);
        format = platform::SystemLocaleTimeFormat(name);
    }
#endif
    return format;
}

TEST(LinuxLocalTime, TheCLocaleFormats) {
    auto c = platform::SystemLocaleTimeFormat("C");
    ASSERT_TRUE(c.has_value());
    EXPECT_EQ(c->TimeSeparator, ":");
    EXPECT_EQ(c->DateSeparator, "/");
    EXPECT_EQ(c->ShortDayNames[0], "Sun");
    EXPECT_EQ(c->ShortDayNames[6], "Sat");
    EXPECT_EQ(c->TimeAMString, "AM");
    EXPECT_EQ(c->TimePMString, "PM");
}

TEST(LinuxLocalTime, ALocaleThatIsNotInstalledGivesNothing) {
    EXPECT_FALSE(platform::SystemLocaleTimeFormat("xx_NOWHERE.UTF-8").has_value());
}

TEST(LinuxLocalTime, AGermanLocaleHasDotsAndItsOwnDayNames) {
    auto de = InstalledOrBuilt("de_DE.UTF-8");
    if (!de) GTEST_SKIP() << "de_DE.UTF-8 is not installed";
    EXPECT_EQ(de->TimeSeparator, ":");
    EXPECT_EQ(de->DateSeparator, ".");
    EXPECT_EQ(de->ShortDayNames[0], "So");
    EXPECT_EQ(de->ShortDayNames[4], "Do");
}

TEST(LinuxLocalTime, AnAmericanLocaleWritesItsTimeWithTwelveHourFields) {
    // Its time format is "%r", the date "%m/%d/%Y".
    auto us = InstalledOrBuilt("en_US.UTF-8");
    if (!us) GTEST_SKIP() << "en_US.UTF-8 is not installed";
    EXPECT_EQ(us->TimeSeparator, ":");
    EXPECT_EQ(us->DateSeparator, "/");
    EXPECT_EQ(us->ShortDayNames[1], "Mon");
    EXPECT_EQ(us->TimePMString, "PM");
}

TEST(LinuxLocalTime, NowIsTheLocalCalendarTime) {
    const std::time_t before = std::time(nullptr);
    const platform::LocalDateTime now = platform::SystemLocalTime().Now();
    const std::time_t after = std::time(nullptr);
    std::tm a{}, b{};
    localtime_r(&before, &a);
    localtime_r(&after, &b);
    EXPECT_TRUE(now.Year == a.tm_year + 1900 || now.Year == b.tm_year + 1900);
    EXPECT_TRUE(now.Minute == a.tm_min || now.Minute == b.tm_min);
    EXPECT_TRUE(now.DayOfWeek == a.tm_wday + 1 || now.DayOfWeek == b.tm_wday + 1);
    EXPECT_GE(now.Month, 1);
    EXPECT_LE(now.Month, 12);
    EXPECT_GE(now.Millisecond, 0);
    EXPECT_LT(now.Millisecond, 1000);
    // The user's formats always have something to show.
    const platform::LocaleTimeFormat& format = platform::SystemLocalTime().Format();
    for (const std::string& name : format.ShortDayNames) EXPECT_FALSE(name.empty());
    EXPECT_FALSE(format.TimeSeparator.empty());
}

}  // namespace
