// The wall clock and the user's regional formats from the locale settings.
#include "platform/local_time.h"

#include <windows.h>

#include "platform/win32/wide_text.h"

namespace platform {
namespace {

std::string LocaleText(const wchar_t* locale, LCTYPE what) {
    wchar_t buffer[128];
    const int n = GetLocaleInfoEx(locale, what, buffer, static_cast<int>(std::size(buffer)));
    return n > 1 ? win32::Narrow(std::wstring_view(buffer, static_cast<size_t>(n - 1))) : std::string();
}

LocaleTimeFormat ReadFormat(const wchar_t* locale) {
    LocaleTimeFormat format;
    if (std::string s = LocaleText(locale, LOCALE_STIME); !s.empty()) format.TimeSeparator = s;
    if (std::string s = LocaleText(locale, LOCALE_SDATE); !s.empty()) format.DateSeparator = s;
    // The system counts the days from Monday; ours start on Sunday.
    static constexpr LCTYPE days[7] = {LOCALE_SABBREVDAYNAME7, LOCALE_SABBREVDAYNAME1, LOCALE_SABBREVDAYNAME2,
                                       LOCALE_SABBREVDAYNAME3, LOCALE_SABBREVDAYNAME4, LOCALE_SABBREVDAYNAME5,
                                       LOCALE_SABBREVDAYNAME6};
    for (size_t d = 0; d < 7; ++d)
        if (std::string name = LocaleText(locale, days[d]); !name.empty()) format.ShortDayNames[d] = name;
    // Locales with a twenty-four-hour habit may give no am/pm texts.
    if (std::string am = LocaleText(locale, LOCALE_S1159); !am.empty()) format.TimeAMString = am;
    if (std::string pm = LocaleText(locale, LOCALE_S2359); !pm.empty()) format.TimePMString = pm;
    return format;
}

class Win32LocalTime final : public ILocalTime {
public:
    LocalDateTime Now() override {
        SYSTEMTIME t{};
        GetLocalTime(&t);
        LocalDateTime now;
        now.Year = t.wYear;
        now.Month = t.wMonth;
        now.Day = t.wDay;
        now.Hour = t.wHour;
        now.Minute = t.wMinute;
        now.Second = t.wSecond;
        now.Millisecond = t.wMilliseconds;
        now.DayOfWeek = t.wDayOfWeek + 1;  // the system's 0 is Sunday
        return now;
    }

    const LocaleTimeFormat& Format() override {
        if (!FRead) {
            FFormat = SystemLocaleTimeFormat("").value_or(LocaleTimeFormat{});
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
    if (localeName.empty()) return ReadFormat(LOCALE_NAME_USER_DEFAULT);
    // Names as other systems write them ("de_DE.UTF-8") are accepted in the
    // system's own spelling ("de-DE").
    std::string name = localeName.substr(0, localeName.find('.'));
    for (char& c : name)
        if (c == '_') c = '-';
    const std::wstring wide = win32::Widen(name);
    if (!IsValidLocaleName(wide.c_str())) return std::nullopt;
    return ReadFormat(wide.c_str());
}

ILocalTime& SystemLocalTime() {
    static Win32LocalTime clock;
    return clock;
}

}  // namespace platform
