// The clock overlay: a digital clock made of sprites cut from one clock
// picture (hours and minutes with a blinking colon, am/pm in twelve-hour
// mode, month and day digits, the weekday), and an analog clock of a face
// and three hands.
#pragma once

#include "platform/local_time.h"
#include "scene/objects.h"
#include "core/vecmath.h"
#include "scene/visuals.h"

#include <cstdint>
#include <string>
#include <string_view>

// Formats a time with the tokens the clock uses: "hh" (two-digit hour,
// twelve-hour when the format also holds "a/p" or "am/pm"), "nn" (minutes),
// "ss", "mm" (month, or minutes right after an hour), "dd" (day), "ddd"
// (short weekday name), "yyyy", "a/p" ("a" or "p", in the case written),
// "am/pm" (the locale's texts), ":" and "/" (the locale's time and date
// separators). Anything else is copied.
std::string FormatClockText(std::string_view format, const platform::LocalDateTime& time,
                            const platform::LocaleTimeFormat& locale);

// Which digit sprites a time text shows: the rules of the clock's face.
struct TClockTimeDigits {
    bool Valid = false;  // false for a text the clock does not understand
    bool LeadingDigit = false;  // "time1" shown
    char Digits[4] = {0, 0, 0, 0};  // time1, time2, time4, time5
    bool AM = false;  // "time6"
    bool PM = false;  // "time7"
};
// "a09:05" (twelve-hour) or "09:05".
TClockTimeDigits ClockTimeDigits(std::string_view text, bool twelveHour);
// "mm/dd" with a one-character separator: month1, month2, month4, month5.
bool ClockDateDigits(std::string_view text, char digits[4]);

class TGLClock : public TMainSceneObject {
public:
    std::string_view ClassName() const override { return "TGLClock"; }

    void WriteProperties(TResourceLoader& loader) override;
    void ReadProperties(TResourceLoader& loader) override;
    void LoadSettings() override;
    void SaveSettings() override;
    // The colon blinks on animation time.
    void Animate(float deltaTime) override;
    // Chooses the sprites for the current time and draws the sprite list.
    void Render() override;

    // 0 hides the clock; 2 is the twelve-hour clock, any other positive
    // mode the twenty-four-hour one.
    void SetMode(int32_t mode);

    void ApplyColor();
    void UpdateTime();
    void UpdateDate();
    void UpdateDay();

    // The object of that name in Objects shows the sprite of that name.
    void SetObjectVisual(std::string_view object, std::string_view sprite);
    void SetObjectVisible(std::string_view object, bool visible);

    std::string LastTimeText;
    std::string LastDateText;
    std::string LastDayText;
    TMainObjectList* Objects = nullptr;
    TMainObjectList* Sprites = nullptr;
    int32_t ClockMode = -1;
    TByteColor ClockColor = 0xFFFFFFFF;
    float BlinkTime = 0;
    // The wall clock and regional formats; null for the system's.
    platform::ILocalTime* TimeSource = nullptr;

private:
    platform::ILocalTime& Time() const;
    TMainObject* Object(std::string_view name) const;
};

// An analog clock: a face with hour, minute and second hands turned to the
// current time.
class TWatchClock : public TMainVisualObject {
public:
    std::string_view ClassName() const override { return "TWatchClock"; }

    void WriteProperties(TResourceLoader& loader) override;
    void ReadProperties(TResourceLoader& loader) override;
    void RenderOpaque() override;
    void RenderBlended() override;

    // Degrees clockwise (about -z) of each hand at a time.
    static float HourAngle(int32_t hour, int32_t minute);
    static float MinuteAngle(int32_t minute) { return static_cast<float>(minute * 6); }
    static float SecondAngle(int32_t second) { return static_cast<float>(second * 6 - 180); }

    TMainObject* ClockFace = nullptr;
    TMainObject* HourHand = nullptr;
    TMainObject* MinHand = nullptr;
    TMainObject* SecHand = nullptr;
    platform::ILocalTime* TimeSource = nullptr;
};
