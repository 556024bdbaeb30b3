// The wall clock and the user's regional formats for times and dates: the
// separators, short weekday names and am/pm texts the clock overlay shows.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>

namespace platform {

struct LocalDateTime {
    int32_t Year = 2000;
    int32_t Month = 1;  // 1..12
    int32_t Day = 1;    // 1..31
    int32_t Hour = 0;   // 0..23
    int32_t Minute = 0;
    int32_t Second = 0;
    int32_t Millisecond = 0;
    int32_t DayOfWeek = 7;  // 1 = Sunday .. 7 = Saturday
};

struct LocaleTimeFormat {
    std::string TimeSeparator = ":";
    std::string DateSeparator = "/";
    // Sunday first.
    std::array<std::string, 7> ShortDayNames{"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
    std::string TimeAMString = "AM";
    std::string TimePMString = "PM";
};

class ILocalTime {
public:
    virtual ~ILocalTime() = default;
    // The local date and time now.
    virtual LocalDateTime Now() = 0;
    // The user's formats, read once.
    virtual const LocaleTimeFormat& Format() = 0;
};

// This OS's wall clock and the user's locale; lives for the whole process.
ILocalTime& SystemLocalTime();

// The formats of a named locale as the system gives them ("" for the
// user's own); nothing when that locale is not installed.
std::optional<LocaleTimeFormat> SystemLocaleTimeFormat(const std::string& localeName);

}  // namespace platform
