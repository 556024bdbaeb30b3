// The wall clock from the C library, and the user's time formats from the
// LC_TIME category of the locale the environment names (read through a
// locale object of our own, so the process locale stays "C").
#include "platform/local_time.h"

#include <langinfo.h>
#include <locale.h>

#include <ctime>
#include <string_view>

namespace platform {
namespace {

// The separator a strftime format puts after its first field: "%d.%m.%Y"
// gives ".", "%r" (twelve-hour time) gives ":". Empty when the format has
// no separator of its own to show.
std::string FirstSeparator(std::string_view format) {
    size_t i = format.find('%');
    if (i == std::string_view::npos) return "";
    ++i;
    while (i < format.size() && std::string_view("EO_^#-0").find(format[i]) != std::string_view::npos) ++i;
    if (i >= format.size()) return "";
    switch (format[i]) {
        case 'D': return "/";  // %m/%d/%y
        case 'F': return "-";  // %Y-%m-%d
        case 'T':              // %H:%M:%S
        case 'R':              // %H:%M
        case 'r': return ":";  // %I:%M:%S %p
        default: break;
    }
    const size_t start = i + 1;
    const size_t end = format.find('%', start);
    return std::string(format.substr(start, end == std::string_view::npos ? std::string_view::npos : end - start));
}

LocaleTimeFormat ReadFormat(locale_t locale) {
    LocaleTimeFormat format;
    auto item = [&](nl_item what) { return std::string(nl_langinfo_l(what, locale)); };
    if (std::string s = FirstSeparator(item(T_FMT)); !s.empty()) format.TimeSeparator = s;
    if (std::string s = FirstSeparator(item(D_FMT)); !s.empty()) format.DateSeparator = s;
    static constexpr nl_item days[7] = {ABDAY_1, ABDAY_2, ABDAY_3, ABDAY_4, ABDAY_5, ABDAY_6, ABDAY_7};
    for (size_t d = 0; d < 7; ++d)
        if (std::string name = item(days[d]); !name.empty()) format.ShortDayNames[d] = name;
    // Locales with a twenty-four-hour habit give no am/pm texts.
    if (std::string am = item(AM_STR); !am.empty()) format.TimeAMString = am;
    if (std::string pm = item(PM_STR); !pm.empty()) format.TimePMString = pm;
    return format;
}

class LinuxLocalTime final : public ILocalTime {
public:
    LocalDateTime Now() override {
        timespec ts{};
        clock_gettime(CLOCK_REALTIME, &ts);
        tm local{};
        time_t seconds = ts.tv_sec;
        localtime_r(&seconds, &local);
        LocalDateTime now;
        now.Year = local.tm_year + 1900;
        now.Month = local.tm_mon + 1;
        now.Day = local.tm_mday;
        now.Hour = local.tm_hour;
        now.Minute = local.tm_min;
        now.Second = local.tm_sec;
        now.Millisecond = static_cast<int32_t>(ts.tv_nsec / 1000000);
        now.DayOfWeek = local.tm_wday + 1;
        return now;
    }

    const LocaleTimeFormat& Format() override {
        if (!FRead) {
            // An environment naming a locale that is not installed gets the
            // C library's defaults.
            FFormat = SystemLocaleTimeFormat("").value_or(SystemLocaleTimeFormat("C").value_or(LocaleTimeFormat{}));
            FRead = true;
        }
        return FFormat;
    }

private:
    LocaleTimeFormat FFormat;
    bool FRead = false;
};

}  // namespace

std::optional<LocaleTimeFormat> SystemLocaleTimeFormat(const std::string& localeName) {
    locale_t locale = newlocale(LC_TIME_MASK, localeName.c_str(), static_cast<locale_t>(nullptr));
    if (!locale) return std::nullopt;
    LocaleTimeFormat format = ReadFormat(locale);
    freelocale(locale);
    return format;
}

ILocalTime& SystemLocalTime() {
    static LinuxLocalTime clock;
    return clock;
}

}  // namespace platform
