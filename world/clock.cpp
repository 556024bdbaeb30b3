#include "world/clock.h"

#include "render/gl_table.h"
#include "core/errors.h"
#include "scene/loader.h"
#include "world/sprites.h"

#include <cctype>

namespace {

// Sprite names of the weekdays, Sunday first.
constexpr std::string_view kWeekdaySprites[7] = {"sun", "mon", "tue", "wed", "thu", "fri", "sat"};

bool StartsWithText(std::string_view s, size_t at, std::string_view word) {
    if (s.size() - at < word.size()) return false;
    for (size_t i = 0; i < word.size(); ++i)
        if (std::tolower(static_cast<unsigned char>(s[at + i])) != word[i]) return false;
    return true;
}

void AppendNumber(std::string& out, int32_t value, int width) {
    char digits[12];
    int n = 0;
    uint32_t v = value < 0 ? 0u : static_cast<uint32_t>(value);
    do {
        digits[n++] = static_cast<char>('0' + v % 10);
        v /= 10;
    } while (v && n < 11);
    for (int i = n; i < width; ++i) out += '0';
    while (n > 0) out += digits[--n];
}

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

}  // namespace

std::string FormatClockText(std::string_view format, const platform::LocalDateTime& time,
                            const platform::LocaleTimeFormat& locale) {
    bool twelveHour = false;
    for (size_t i = 0; i < format.size(); ++i)
        if (StartsWithText(format, i, "a/p") || StartsWithText(format, i, "am/pm")) twelveHour = true;

    std::string out;
    char lastToken = 0;  // the last letter token, lower case
    size_t i = 0;
    while (i < format.size()) {
        const char c = format[i];
        const char lower = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        size_t run = 1;
        while (i + run < format.size() &&
               std::tolower(static_cast<unsigned char>(format[i + run])) == static_cast<unsigned char>(lower))
            ++run;
        if (StartsWithText(format, i, "am/pm")) {
            out += time.Hour < 12 ? locale.TimeAMString : locale.TimePMString;
            i += 5;
            lastToken = 'a';
            continue;
        }
        if (StartsWithText(format, i, "a/p")) {
            const bool upper = c == 'A';
            out += time.Hour < 12 ? (upper ? 'A' : 'a') : (upper ? 'P' : 'p');
            i += 3;
            lastToken = 'a';
            continue;
        }
        switch (lower) {
            case 'h': {
                int32_t hour = time.Hour;
                if (twelveHour) {
                    hour %= 12;
                    if (hour == 0) hour = 12;
                }
                AppendNumber(out, hour, run >= 2 ? 2 : 1);
                run = run >= 2 ? 2 : 1;
                break;
            }
            case 'n':
                AppendNumber(out, time.Minute, run >= 2 ? 2 : 1);
                run = run >= 2 ? 2 : 1;
                break;
            case 's':
                AppendNumber(out, time.Second, run >= 2 ? 2 : 1);
                run = run >= 2 ? 2 : 1;
                break;
            case 'm':
                AppendNumber(out, lastToken == 'h' ? time.Minute : time.Month, run >= 2 ? 2 : 1);
                run = run >= 2 ? 2 : 1;
                break;
            case 'd':
                if (run >= 3) {
                    const int32_t day = time.DayOfWeek;
                    if (day >= 1 && day <= 7) out += locale.ShortDayNames[static_cast<size_t>(day - 1)];
                    run = run >= 4 ? 4 : 3;
                } else {
                    AppendNumber(out, time.Day, static_cast<int>(run));
                }
                break;
            case 'y':
                if (run >= 3) {
                    AppendNumber(out, time.Year, 4);
                } else {
                    AppendNumber(out, time.Year % 100, 2);
                }
                break;
            case ':':
                out += locale.TimeSeparator;
                run = 1;
                break;
            case '/':
                out += locale.DateSeparator;
                run = 1;
                break;
            default:
                out += c;
                run = 1;
                break;
        }
        if (std::isalpha(static_cast<unsigned char>(c))) lastToken = lower;
        i += run;
    }
    return out;
}

TClockTimeDigits ClockTimeDigits(std::string_view t, bool twelveHour) {
    TClockTimeDigits digits;
    const size_t start = twelveHour ? 1 : 0;
    if (t.size() != start + 5) return digits;
    if (twelveHour && t[0] != 'a' && t[0] != 'p') return digits;
    const size_t at[4] = {start, start + 1, start + 3, start + 4};
    for (size_t k = 0; k < 4; ++k) {
        if (!IsDigit(t[at[k]])) return digits;
        digits.Digits[k] = t[at[k]];
    }
    digits.Valid = true;
    digits.LeadingDigit = t[start] != '0';
    digits.AM = twelveHour && t[0] == 'a';
    digits.PM = twelveHour && t[0] == 'p';
    return digits;
}

bool ClockDateDigits(std::string_view d, char digits[4]) {
    if (d.size() != 5) return false;
    const size_t at[4] = {0, 1, 3, 4};
    for (size_t k = 0; k < 4; ++k)
        if (!IsDigit(d[at[k]])) return false;
    for (size_t k = 0; k < 4; ++k) digits[k] = d[at[k]];
    return true;
}

// --- TGLClock -----------------------------------------------------------------

platform::ILocalTime& TGLClock::Time() const { return TimeSource ? *TimeSource : platform::SystemLocalTime(); }

void TGLClock::ReadProperties(TResourceLoader& loader) {
    TMainSceneObject::ReadProperties(loader);
    Sprites = dynamic_cast<TMainObjectList*>(loader.ReadReference("Sprites", Sprites));
    Objects = dynamic_cast<TMainObjectList*>(loader.ReadReference("Objects", Objects));
    ClockColor = loader.ReadByteColor("Color", ClockColor);
    SetMode(loader.ReadInteger("Mode", 0));
}

void TGLClock::WriteProperties(TResourceLoader& loader) {
    TMainSceneObject::WriteProperties(loader);
    loader.WriteReference("Sprites", Sprites);
    loader.WriteReference("Objects", Objects);
    loader.WriteByteColor("Color", ClockColor);
    loader.WriteInteger("Mode", ClockMode);
}

void TGLClock::LoadSettings() {
    ISceneHost* host = HostOf(*this);
    if (!host) return;
    SetMode(host->ReadInteger("Clock Mode", ClockMode));
    // A colour text the clock cannot read leaves the colour as it is.
    try {
        ClockColor = StrToByteColor(host->ReadString("Clock Color", ByteColorToStr(ClockColor)));
    } catch (const EConvertError&) {
    }
}

void TGLClock::SaveSettings() {
    ISceneHost* host = HostOf(*this);
    if (!host) return;
    host->WriteInteger("Clock Mode", ClockMode);
    host->WriteString("Clock Color", ByteColorToStr(ClockColor));
}

void TGLClock::SetMode(int32_t mode) {
    if (mode == ClockMode) return;
    ClockMode = mode;
    SetVisible(mode > 0);
}

TMainObject* TGLClock::Object(std::string_view name) const { return Objects ? Objects->FindObject(name) : nullptr; }

void TGLClock::SetObjectVisual(std::string_view object, std::string_view sprite) {
    auto* visual = dynamic_cast<TMainVisualObject*>(Object(object));
    if (!visual || !Sprites) return;
    if (TMainObject* found = Sprites->FindObject(sprite)) visual->Visual = found;
}

void TGLClock::SetObjectVisible(std::string_view object, bool visible) {
    if (TMainObject* found = Object(object)) found->SetVisible(visible);
}

void TGLClock::Animate(float deltaTime) {
    BlinkTime += deltaTime;
    if (BlinkTime < 1) return;
    BlinkTime = 0;
    if (TMainObject* colon = Object("time3")) colon->SetVisible(!colon->Visible());
}

void TGLClock::ApplyColor() {
    if (!Sprites) return;
    for (int i = 0, n = Sprites->GetCount(); i < n; ++i)
        if (auto* sprite = dynamic_cast<TSceneSprite*>(Sprites->GetItem(i))) sprite->SpriteColor = ClockColor;
}

void TGLClock::UpdateTime() {
    platform::ILocalTime& clock = Time();
    const bool twelveHour = ClockMode == 2;
    const std::string t = FormatClockText(twelveHour ? "a/phh:nn" : "hh:nn", clock.Now(), clock.Format());
    if (t == LastTimeText) return;
    const TClockTimeDigits digits = ClockTimeDigits(t, twelveHour);
    if (!digits.Valid) return;
    LastTimeText = t;
    SetObjectVisible("time6", digits.AM);
    SetObjectVisible("time7", digits.PM);
    SetObjectVisible("time1", digits.LeadingDigit);
    static constexpr std::string_view kObjects[4] = {"time1", "time2", "time4", "time5"};
    for (size_t k = 0; k < 4; ++k) SetObjectVisual(kObjects[k], std::string_view(&digits.Digits[k], 1));
}

void TGLClock::UpdateDate() {
    platform::ILocalTime& clock = Time();
    const std::string d = FormatClockText("mm/dd", clock.Now(), clock.Format());
    char digits[4];
    if (d == LastDateText || !ClockDateDigits(d, digits)) return;
    LastDateText = d;
    static constexpr std::string_view kObjects[4] = {"month1", "month2", "month4", "month5"};
    for (size_t k = 0; k < 4; ++k) SetObjectVisual(kObjects[k], std::string_view(&digits[k], 1));
}

void TGLClock::UpdateDay() {
    platform::ILocalTime& clock = Time();
    const platform::LocaleTimeFormat& locale = clock.Format();
    const std::string w = FormatClockText("ddd", clock.Now(), locale);
    if (w == LastDayText) return;
    for (size_t i = 0; i < 7; ++i) {
        if (w.empty() || w != locale.ShortDayNames[i]) continue;
        LastDayText = w;
        SetObjectVisual("day", kWeekdaySprites[i]);
        return;
    }
}

void TGLClock::Render() {
    TMainSceneObject::Render();
    ApplyColor();
    UpdateTime();
    UpdateDay();
    UpdateDate();
    if (!Objects) return;
    Objects->SetVisible(Visible());
    Objects->Render();
}

// --- TWatchClock --------------------------------------------------------------

float TWatchClock::HourAngle(int32_t hour, int32_t minute) {
    return static_cast<float>((hour * 30) % 360 + (minute / 12) * 6 - 90);
}

void TWatchClock::ReadProperties(TResourceLoader& loader) {
    TMainVisualObject::ReadProperties(loader);
    ClockFace = loader.ReadReference("ClockFace", ClockFace);
    HourHand = loader.ReadReference("HourHand", HourHand);
    MinHand = loader.ReadReference("MinHand", MinHand);
    SecHand = loader.ReadReference("SecHand", SecHand);
}

void TWatchClock::WriteProperties(TResourceLoader& loader) {
    TMainVisualObject::WriteProperties(loader);
    loader.WriteReference("ClockFace", ClockFace);
    loader.WriteReference("HourHand", HourHand);
    loader.WriteReference("MinHand", MinHand);
    loader.WriteReference("SecHand", SecHand);
}

void TWatchClock::RenderOpaque() {
    TMainVisualObject::RenderOpaque();
    BeginRender();
    for (TMainObject* part : {ClockFace, HourHand, MinHand, SecHand})
        if (part) part->RenderOpaque();
    EndRender();
}

void TWatchClock::RenderBlended() {
    TMainVisualObject::RenderBlended();
    const platform::LocalDateTime now = (TimeSource ? *TimeSource : platform::SystemLocalTime()).Now();
    gl.Disable(GL_DEPTH_TEST);
    BeginRender();
    if (ClockFace) ClockFace->RenderBlended();
    auto hand = [](TMainObject* part, float angle) {
        if (!part) return;
        gl.PushMatrix();
        gl.Rotatef(angle, 0, 0, -1);
        part->RenderBlended();
        gl.PopMatrix();
    };
    hand(MinHand, MinuteAngle(now.Minute));
    hand(SecHand, SecondAngle(now.Second));
    hand(HourHand, HourAngle(now.Hour, now.Minute));
    EndRender();
}
