#include "world/clock.h"

#include "platform/null/local_time_null.h"
#include "render/gl_recorder.h"
#include "scene/loader.h"
#include "scene/registry.h"
#include "scene/visuals.h"
#include "world/sprites.h"
#include "world/world_classes.h"

#include <gtest/gtest.h>

#include <map>
#include <memory>
#include <string>
#include <vector>

namespace {

using platform::LocalDateTime;
using platform::LocaleTimeFormat;

LocalDateTime At(int hour, int minute, int second = 0) {
    LocalDateTime t;
    t.Year = 2026;
    t.Month = 12;
    t.Day = 24;
    t.DayOfWeek = 5;  // Thursday
    t.Hour = hour;
    t.Minute = minute;
    t.Second = second;
    return t;
}

LocaleTimeFormat English() { return LocaleTimeFormat{}; }

LocaleTimeFormat German() {
    LocaleTimeFormat f;
    f.DateSeparator = ".";
    f.ShortDayNames = {"So", "Mo", "Di", "Mi", "Do", "Fr", "Sa"};
    f.TimeAMString = "";
    f.TimePMString = "";
    return f;
}

// A date written "2026. 12. 24." has a two-character separator.
LocaleTimeFormat Hungarian() {
    LocaleTimeFormat f;
    f.DateSeparator = ". ";
    f.ShortDayNames = {"V", "H", "K", "Sze", "Cs", "P", "Szo"};
    return f;
}

// --- text forms ----------------------------------------------------------------------------

TEST(ClockText, TimesInTwentyFourAndTwelveHours) {
    EXPECT_EQ(FormatClockText("hh:nn", At(9, 5), English()), "09:05");
    EXPECT_EQ(FormatClockText("hh:nn", At(21, 30), English()), "21:30");
    EXPECT_EQ(FormatClockText("a/phh:nn", At(21, 30), English()), "p09:30");
    EXPECT_EQ(FormatClockText("a/phh:nn", At(0, 15), English()), "a12:15");
    EXPECT_EQ(FormatClockText("a/phh:nn", At(12, 0), English()), "p12:00");
    EXPECT_EQ(FormatClockText("A/Ph:nn", At(9, 5), English()), "A9:05");
    EXPECT_EQ(FormatClockText("hh:mm:ss am/pm", At(13, 7, 9), English()), "01:07:09 PM");
    LocaleTimeFormat dots = English();
    dots.TimeSeparator = ".";
    EXPECT_EQ(FormatClockText("hh:nn", At(9, 5), dots), "09.05");
}

TEST(ClockText, DatesAndWeekdaysInTheLocalesForms) {
    EXPECT_EQ(FormatClockText("mm/dd", At(9, 5), English()), "12/24");
    EXPECT_EQ(FormatClockText("mm/dd", At(9, 5), German()), "12.24");
    EXPECT_EQ(FormatClockText("mm/dd", At(9, 5), Hungarian()), "12. 24");
    EXPECT_EQ(FormatClockText("ddd", At(9, 5), English()), "Thu");
    EXPECT_EQ(FormatClockText("ddd", At(9, 5), German()), "Do");
    EXPECT_EQ(FormatClockText("d/m/yyyy", At(9, 5), English()), "24/12/2026");
    LocalDateTime noDay = At(9, 5);
    noDay.DayOfWeek = 0;
    EXPECT_EQ(FormatClockText("ddd", noDay, English()), "");
}

TEST(ClockText, TimeDigitRules) {
    TClockTimeDigits d = ClockTimeDigits("09:05", false);
    ASSERT_TRUE(d.Valid);
    EXPECT_FALSE(d.LeadingDigit);
    EXPECT_EQ(std::string(d.Digits, 4), "0905");
    EXPECT_FALSE(d.AM || d.PM);

    d = ClockTimeDigits("p09:30", true);
    ASSERT_TRUE(d.Valid);
    EXPECT_TRUE(d.PM);
    EXPECT_FALSE(d.AM);
    EXPECT_FALSE(d.LeadingDigit);
    EXPECT_EQ(std::string(d.Digits, 4), "0930");
    EXPECT_TRUE(ClockTimeDigits("a12:15", true).LeadingDigit);
    EXPECT_TRUE(ClockTimeDigits("21-30", false).Valid);  // any one separator

    for (const char* bad : {"9:05", "09:5x", "09::05", "", "0905"}) EXPECT_FALSE(ClockTimeDigits(bad, false).Valid) << bad;
    for (const char* bad : {"09:30", "x09:30", "P09:30", "p9:30", "p09:3"})
        EXPECT_FALSE(ClockTimeDigits(bad, true).Valid) << bad;

    char date[4];
    ASSERT_TRUE(ClockDateDigits("12.24", date));
    EXPECT_EQ(std::string(date, 4), "1224");
    EXPECT_FALSE(ClockDateDigits("12. 24", date));
    EXPECT_FALSE(ClockDateDigits("1x/24", date));
}

// --- the clock in a scene ------------------------------------------------------------------

class THost : public ISceneHost {
public:
    std::map<std::string, std::string> Values;
    std::string ReadString(const std::string& name, const std::string& def) override {
        auto it = Values.find(name);
        return it == Values.end() ? def : it->second;
    }
    bool ReadBool(const std::string& name, bool def) override { return ReadString(name, def ? "1" : "0") != "0"; }
    int32_t ReadInteger(const std::string& name, int32_t def) override {
        return std::stoi(ReadString(name, std::to_string(def)));
    }
    void WriteString(const std::string& name, const std::string& value) override { Values[name] = value; }
    void WriteBool(const std::string& name, bool value) override { Values[name] = value ? "1" : "0"; }
    void WriteInteger(const std::string& name, int32_t value) override { Values[name] = std::to_string(value); }
};

const std::vector<std::string> kSprites = {"0",   "1",   "2",   "3",   "4",   "5",   "6",   "7",  "8",
                                           "9",   ":",   "\\",  "sun", "mon", "tue", "wed", "thu", "fri",
                                           "sat", "am",  "pm",  "Plate"};
const std::vector<std::string> kObjects = {"ClockPlate", "time1",  "time2",  "time3",  "time4",
                                           "time5",      "time6",  "time7",  "month1", "month2",
                                           "month3",     "month4", "month5", "day"};

// The clock's part of the scene script: its sprites (without a texture:
// these tests do not draw them), its screen objects and the clock.
std::string ClockScript(const std::string& clockKeys) {
    std::string s = "[MainScene]\nCount=2\n";
    s += "[MainScene1]\nType=TResource\nName=ClockResource\nCount=2\n";
    s += "[ClockResource1]\nType=TSceneMeshList\nName=ClockSprites\nCount=" + std::to_string(kSprites.size()) + "\n";
    for (size_t i = 0; i < kSprites.size(); ++i)
        s += "[ClockSprites" + std::to_string(i + 1) + "]\nType=TSceneSprite\nName=" + kSprites[i] + "\n";
    s += "[ClockResource2]\nType=TMainSpriteList\nName=ClockObjects\nPosition=824,20,0\nCount=" +
         std::to_string(kObjects.size()) + "\n";
    for (size_t i = 0; i < kObjects.size(); ++i) {
        s += "[ClockObjects" + std::to_string(i + 1) + "]\nType=TMainVisualObject\nName=" + kObjects[i] + "\n";
        if (kObjects[i] == "month3") s += "Visual=ClockResource/ClockSprites/\\\n";
        if (kObjects[i] == "ClockPlate") s += "Visual=ClockResource/ClockSprites/Plate\n";
    }
    s += "[MainScene2]\nType=TGLClock\nName=GLClock\nProcessOptions=[Render,Animation]\n"
         "Sprites=ClockResource/ClockSprites\nObjects=ClockResource/ClockObjects\n" +
         clockKeys;
    return s;
}

class ClockScene : public ::testing::Test {
protected:
    void Load(const std::string& clockKeys = "Color=65,170,255,255\nMode=0\n") {
        RegisterWorldClasses();
        Scene = std::make_unique<TMainScene>();
        Scene->Application = &Host;
        TResourceLoader loader;
        loader.Scene = Scene.get();
        loader.Section = Scene->Name();
        loader.OpenText(ClockScript(clockKeys));
        Scene->ReadProperties(loader);
        loader.LoadChildren(*Scene);
        Clock = dynamic_cast<TGLClock*>(Scene->FindObject("GLClock"));
        ASSERT_NE(Clock, nullptr);
        Clock->TimeSource = &Time;
    }

    TMainVisualObject* Object(const std::string& name) {
        return dynamic_cast<TMainVisualObject*>(Scene->FindObject("ClockResource/ClockObjects/" + name));
    }
    // The name of the sprite an object shows, "" for none.
    std::string Shows(const std::string& name) {
        TMainVisualObject* o = Object(name);
        return o && o->Visual ? o->Visual->Name() : "";
    }
    bool Shown(const std::string& name) { return Object(name) && Object(name)->Visible(); }

    void Update() {
        Clock->UpdateTime();
        Clock->UpdateDay();
        Clock->UpdateDate();
    }

    THost Host;
    platform::FixedLocalTime Time;
    std::unique_ptr<TMainScene> Scene;
    TGLClock* Clock = nullptr;
};

TEST_F(ClockScene, ScriptGivesReferencesColourAndAHiddenClock) {
    Load();
    EXPECT_EQ(Clock->Sprites, Scene->FindObject("ClockResource/ClockSprites"));
    EXPECT_EQ(Clock->Objects, Scene->FindObject("ClockResource/ClockObjects"));
    EXPECT_EQ(Clock->ClockColor, MakeByteColor(65, 170, 255, 255));
    EXPECT_EQ(Clock->ClockMode, 0);
    EXPECT_FALSE(Clock->Visible());
    EXPECT_EQ(Shows("month3"), "\\");

    TResourceLoader out;
    out.CreateForWriting();
    out.Scene = Scene.get();
    out.Section = "GLClock";
    Clock->WriteProperties(out);
    EXPECT_EQ(*out.Script()->Value("GLClock", "Sprites"), "ClockResource/ClockSprites");
    EXPECT_EQ(*out.Script()->Value("GLClock", "Objects"), "ClockResource/ClockObjects");
    EXPECT_EQ(*out.Script()->Value("GLClock", "Color"), "65,170,255,255");
    EXPECT_EQ(*out.Script()->Value("GLClock", "Mode"), "0");
}

TEST_F(ClockScene, TwentyFourHoursAtFivePastNine) {
    Load("Mode=1\n");
    Time.Time = At(9, 5);
    Update();
    EXPECT_EQ(Clock->LastTimeText, "09:05");
    EXPECT_FALSE(Shown("time1"));
    EXPECT_EQ(Shows("time1"), "0");
    EXPECT_EQ(Shows("time2"), "9");
    EXPECT_EQ(Shows("time4"), "0");
    EXPECT_EQ(Shows("time5"), "5");
    EXPECT_FALSE(Shown("time6"));
    EXPECT_FALSE(Shown("time7"));

    Time.Time = At(21, 30);
    Update();
    EXPECT_TRUE(Shown("time1"));
    EXPECT_EQ(Shows("time1"), "2");
    EXPECT_EQ(Shows("time2"), "1");
    EXPECT_EQ(Shows("time4"), "3");
    EXPECT_EQ(Shows("time5"), "0");
}

TEST_F(ClockScene, TwelveHoursAtHalfPastNineInTheEvening) {
    Load("Mode=2\n");
    Time.Time = At(21, 30);
    Update();
    EXPECT_EQ(Clock->LastTimeText, "p09:30");
    EXPECT_TRUE(Shown("time7"));
    EXPECT_FALSE(Shown("time6"));
    EXPECT_FALSE(Shown("time1"));
    EXPECT_EQ(Shows("time2"), "9");
    EXPECT_EQ(Shows("time4"), "3");
    EXPECT_EQ(Shows("time5"), "0");

    Time.Time = At(0, 15);
    Update();
    EXPECT_TRUE(Shown("time6"));
    EXPECT_FALSE(Shown("time7"));
    EXPECT_TRUE(Shown("time1"));
    EXPECT_EQ(Shows("time1"), "1");
    EXPECT_EQ(Shows("time2"), "2");
}

TEST_F(ClockScene, SpritesAreChosenOnlyWhenTheTextChanges) {
    Load("Mode=1\n");
    Time.Time = At(9, 5);
    Update();
    Object("time2")->Visual = nullptr;
    Object("day")->Visual = nullptr;
    Update();  // same minute, same day
    EXPECT_EQ(Shows("time2"), "");
    EXPECT_EQ(Shows("day"), "");
    Time.Time = At(9, 6);
    Update();
    EXPECT_EQ(Shows("time2"), "9");
    EXPECT_EQ(Shows("day"), "");
}

TEST_F(ClockScene, DateDigitsAndWeekdayInTwoLocales) {
    Load("Mode=1\n");
    Time.Time = At(9, 5);
    Update();
    EXPECT_EQ(Clock->LastDateText, "12/24");
    EXPECT_EQ(Shows("month1"), "1");
    EXPECT_EQ(Shows("month2"), "2");
    EXPECT_EQ(Shows("month3"), "\\");
    EXPECT_EQ(Shows("month4"), "2");
    EXPECT_EQ(Shows("month5"), "4");
    EXPECT_EQ(Shows("day"), "thu");

    Load("Mode=1\n");
    Time.Locale = German();
    Time.Time = At(9, 5);
    Time.Time.Day = 1;
    Time.Time.Month = 3;
    Time.Time.DayOfWeek = 1;  // Sunday, "So"
    Update();
    EXPECT_EQ(Clock->LastDateText, "03.01");
    EXPECT_EQ(Clock->LastDayText, "So");
    EXPECT_EQ(Shows("month1"), "0");
    EXPECT_EQ(Shows("month2"), "3");
    EXPECT_EQ(Shows("month4"), "0");
    EXPECT_EQ(Shows("month5"), "1");
    EXPECT_EQ(Shows("day"), "sun");
}

TEST_F(ClockScene, FormatsTheClockCannotShowLeaveTheSpritesAlone) {
    Load("Mode=1\n");
    Time.Locale = Hungarian();
    Time.Locale.TimeSeparator = "::";
    Time.Time = At(9, 5);
    Update();
    EXPECT_EQ(Clock->LastTimeText, "");
    EXPECT_EQ(Clock->LastDateText, "");
    EXPECT_EQ(Shows("time2"), "");
    EXPECT_EQ(Shows("month1"), "");
    EXPECT_EQ(Shows("day"), "thu");  // "Cs" is the locale's own Thursday

    Time.Time.DayOfWeek = 9;  // no such day: no name
    Clock->LastDayText.clear();
    Object("day")->Visual = nullptr;
    Update();
    EXPECT_EQ(Shows("day"), "");
}

TEST_F(ClockScene, TheColonTogglesOncePerSecondOfAnimation) {
    Load("Mode=1\n");
    TMainVisualObject* colon = Object("time3");
    ASSERT_TRUE(colon->Visible());
    Clock->Animate(0.4f);
    Clock->Animate(0.4f);
    EXPECT_TRUE(colon->Visible());
    Clock->Animate(0.3f);
    EXPECT_FALSE(colon->Visible());
    EXPECT_FLOAT_EQ(Clock->BlinkTime, 0);
    Clock->Animate(0.99f);
    EXPECT_FALSE(colon->Visible());
    Clock->Animate(0.01f);
    EXPECT_TRUE(colon->Visible());
    // Through the scene's animation pass, whatever the wall clock says.
    Scene->Animate(1.0f);
    EXPECT_FALSE(colon->Visible());
}

TEST_F(ClockScene, ModesShowAndHideTheClockAndItsObjects) {
    Load("Mode=1\n");
    EXPECT_TRUE(Clock->Visible());
    Clock->SetMode(0);
    EXPECT_FALSE(Clock->Visible());
    Clock->SetMode(2);
    EXPECT_TRUE(Clock->Visible());
    Clock->SetMode(-1);
    EXPECT_FALSE(Clock->Visible());

    // A hidden clock hides its sprite list too, so nothing is drawn.
    Clock->SetMode(0);
    TGLRecorder rec;
    Clock->Objects->SetVisible(true);
    Clock->Render();
    EXPECT_FALSE(Clock->Objects->Visible());
    EXPECT_EQ(rec.Count("glOrtho"), 0);
}

TEST_F(ClockScene, TheClockColourGoesToEverySprite) {
    Load();
    Clock->ApplyColor();
    auto* digit = dynamic_cast<TSceneSprite*>(Scene->FindObject("ClockResource/ClockSprites/7"));
    ASSERT_NE(digit, nullptr);
    EXPECT_EQ(digit->SpriteColor, MakeByteColor(65, 170, 255, 255));
}

TEST_F(ClockScene, SettingsHoldModeAndColour) {
    Load();
    Host.Values["Clock Mode"] = "2";
    Host.Values["Clock Color"] = "1,2,3,4";
    Clock->LoadSettings();
    EXPECT_EQ(Clock->ClockMode, 2);
    EXPECT_TRUE(Clock->Visible());
    EXPECT_EQ(Clock->ClockColor, MakeByteColor(1, 2, 3, 4));

    Host.Values["Clock Color"] = "red";
    Clock->LoadSettings();
    EXPECT_EQ(Clock->ClockColor, MakeByteColor(1, 2, 3, 4));

    Clock->SetMode(1);
    Clock->ClockColor = MakeByteColor(10, 20, 30, 255);
    Host.Values.clear();
    Scene->SaveSettings();
    EXPECT_EQ(Host.Values["Clock Mode"], "1");
    EXPECT_EQ(Host.Values["Clock Color"], "10,20,30,255");
    Host.Values.erase("Clock Mode");
    Scene->LoadSettings();  // missing values keep what there is
    EXPECT_EQ(Clock->ClockMode, 1);
}

// --- the analog clock ----------------------------------------------------------------------

// Records the blended passes it is drawn with.
class THand : public TMainObject {
public:
    THand(std::vector<std::string>* log, const char* name) : Log(log) { SetName(name); }
    void RenderOpaque() override { Log->push_back(Name() + ":opaque"); }
    void RenderBlended() override { Log->push_back(Name() + ":blended"); }
    std::vector<std::string>* Log;
};

TEST(WatchClock, HandsTurnClockwiseToTheTime) {
    EXPECT_FLOAT_EQ(TWatchClock::MinuteAngle(30), 180);
    EXPECT_FLOAT_EQ(TWatchClock::SecondAngle(15), -90);
    EXPECT_FLOAT_EQ(TWatchClock::HourAngle(21, 30), 270 + 12 - 90);
    EXPECT_FLOAT_EQ(TWatchClock::HourAngle(12, 11), -90);

    std::vector<std::string> log;
    THand face(&log, "face"), hour(&log, "hour"), minute(&log, "minute"), second(&log, "second");
    platform::FixedLocalTime time;
    time.Time = At(21, 30, 15);
    TWatchClock clock;
    clock.TimeSource = &time;
    clock.ClockFace = &face;
    clock.HourHand = &hour;
    clock.MinHand = &minute;
    clock.SecHand = &second;
    clock.VisualOptions = voPosition;
    clock.Position = {5, 6, 7};

    TGLRecorder rec;
    clock.RenderOpaque();
    EXPECT_EQ(log, (std::vector<std::string>{"face:opaque", "hour:opaque", "minute:opaque", "second:opaque"}));
    log.clear();
    rec.Clear();
    clock.RenderBlended();
    EXPECT_EQ(log, (std::vector<std::string>{"face:blended", "minute:blended", "second:blended", "hour:blended"}));
    EXPECT_TRUE(rec.Has("glDisable", {GL_DEPTH_TEST}));
    EXPECT_TRUE(rec.Has("glTranslatef", {5, 6, 7}));
    std::vector<double> angles;
    for (const TGLCall& c : rec.Calls)
        if (std::string(c.Name) == "glRotatef") {
            angles.push_back(c.Args[0]);
            EXPECT_EQ(c.Args[3], -1);
        }
    EXPECT_EQ(angles, (std::vector<double>{180, -90, 192}));
    EXPECT_EQ(rec.Count("glPushMatrix"), rec.Count("glPopMatrix"));
}

}  // namespace
