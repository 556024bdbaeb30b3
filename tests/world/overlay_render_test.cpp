// The overlays drawn for real on a private Xvfb server with Mesa's software
// rasteriser: the frame-rate text and the clock in each mode, read back from
// the frame buffer. The clock's picture is made here: every sprite is a
// block of its own colour, so the colour at a digit's place tells which
// sprite is shown there.
#include <gtest/gtest.h>

#include "platform/null/local_time_null.h"
#include "render/gl_objects.h"
#include "core/picture.h"
#include "scene/scene_fonts.h"
#include "scene/loader.h"
#include "scene/objects.h"
#include "scene/renderstate.h"
#include "scene/scene_gl.h"
#include "world/clock.h"
#include "world/sprites.h"
#include "world/world_classes.h"

#include <algorithm>
#include <array>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "render/xvfb_fixture.h"

namespace {

namespace fs = std::filesystem;

const auto* const environment = ::testing::AddGlobalTestEnvironment(new xvfb::Environment(640, 480));

// Half of the 1024 x 768 screen the overlays are laid out on.
constexpr int kWidth = 512;
constexpr int kHeight = 384;

class OverlayRender : public ::testing::Test {
protected:
    void SetUp() override {
        const std::string error = Window.Open(kWidth, kHeight);
        ASSERT_TRUE(error.empty()) << error;
        TSceneGLLists lists = SharedSceneGLLists();
        lists.Lights.InitContext();
        lists.Materials.InitContext();
        lists.Primitives.InitContext();
        // A new context starts with blending off, whatever the cache saw last.
        TheRenderState().BlendingOn = false;
        TheRenderState().Reset();
        RegisterWorldClasses();
    }
    void TearDown() override {
        Scene.reset();
        Window.Close();
    }

    void Frame() {
        Window.Clear();
        Scene->Render();
        gl.Finish();
    }

    xvfb::GLWindow Window;
    std::unique_ptr<TMainScene> Scene;
};

// --- frame rate ------------------------------------------------------------------------------

// The window rectangle of one character of the frame-rate text, which is
// laid out on the 1024 x 768 screen at (16, 732) with 32-texel cells.
struct TBox {
    int X0, Y0, X1, Y1;
};

std::vector<TBox> CharacterBoxes(const TSceneFont& font, const std::string& text) {
    std::vector<TBox> boxes;
    float pen = 16;
    for (char c : text) {
        const TCharCell cell = font.GetCharMap(static_cast<uint8_t>(c));
        boxes.push_back({static_cast<int>(pen / 2), 732 / 2, static_cast<int>((pen + cell.Width) / 2), 764 / 2});
        pen += cell.Advance;
    }
    return boxes;
}

TEST_F(OverlayRender, FrameRateTextIsDrawnAtTheTopLeft) {
    Scene = std::make_unique<TMainScene>();
    Scene->ShowFPS(true);
    Frame();
    EXPECT_EQ(Window.LitPixels(0, 0, kWidth, kHeight), 0) << "no text before the first count";

    Scene->UpdateFps(60);
    Frame();
    const TSceneFont& font = *Scene->FpsFont();
    ASSERT_TRUE(font.Built());
    const std::vector<TBox> boxes = CharacterBoxes(font, "60 fps");
    for (size_t i = 0; i < boxes.size(); ++i) {
        const TBox& b = boxes[i];
        const int lit = Window.LitPixels(b.X0, b.Y0, b.X1, b.Y1);
        if (i == 2)
            EXPECT_EQ(Window.LitPixels(b.X0 + 1, b.Y0, b.X1 - 1, b.Y1), 0) << "the space";
        else
            EXPECT_GE(lit, 8) << "character " << i << " of \"60 fps\"";
    }
    // Between the characters' boxes, above, below and right of the text:
    // nothing.
    const TBox& last = boxes.back();
    EXPECT_EQ(Window.LitPixels(last.X1 + 1, 0, kWidth, kHeight), 0);
    EXPECT_EQ(Window.LitPixels(0, 0, kWidth, 366 - 1), 0);
    EXPECT_EQ(Window.LitPixels(0, 382 + 1, kWidth, kHeight), 0);
    EXPECT_EQ(Window.LitPixels(0, 0, 7, kHeight), 0);
    // White glyphs: the brightest pixel of "6" is white.
    int brightest = 0;
    for (int y = boxes[0].Y0; y < boxes[0].Y1; ++y)
        for (int x = boxes[0].X0; x < boxes[0].X1; ++x) {
            const auto p = Window.Pixel(x, y);
            if (p[0] == p[1] && p[1] == p[2]) brightest = std::max(brightest, p[0]);
        }
    EXPECT_GE(brightest, 200);

    Scene->ShowFPS(false);
    Frame();
    EXPECT_EQ(Window.LitPixels(0, 0, kWidth, kHeight), 0) << "hidden";
}

TEST_F(OverlayRender, TextWithoutFixedViewUsesTheWindowsPixels) {
    Scene = std::make_unique<TMainScene>();
    auto font = std::make_unique<TSceneFont>();
    font->SetName("Font");
    font->FontCellSize = 16;
    TSceneFont* f = Scene->Add(std::move(font));
    auto text = std::make_unique<TSceneString>();
    text->SetName("Text");
    text->ProcessOptions = poRender;
    text->Font = f;
    text->X = 300;
    text->Y = 100;
    text->Text = "HHHH";
    Scene->Add(std::move(text));
    Frame();
    // Four letters of about 11 pixels from (300, 100), 16 high.
    EXPECT_GE(Window.LitPixels(300, 100, 345, 116), 80);
    EXPECT_EQ(Window.LitPixels(0, 0, 299, kHeight), 0);
    EXPECT_EQ(Window.LitPixels(0, 117, kWidth, kHeight), 0);
    EXPECT_EQ(Window.LitPixels(0, 0, kWidth, 99), 0);
}

// --- clock -------------------------------------------------------------------------------------

// The sprites, in the order of their blocks in the picture: 32 x 32 texels
// each, eight to a row.
const std::vector<std::string> kSprites = {"0", "1", "2",   "3",   "4",   "5",   "6",   "7",   "8",   "9",  ":",
                                           "\\", "am", "pm", "sun", "mon", "tue", "wed", "thu", "fri", "sat"};

std::array<int, 3> SpriteColour(int k) { return {30 + k * 10, 230 - k * 10, 60 + (k % 3) * 60}; }

struct TPlace {
    const char* Object;
    int X, Y;                 // in the sprite list
    const char* FirstVisual;  // what the script shows there, if anything
};
const TPlace kPlaces[] = {{"time1", 0, 0, nullptr},    {"time2", 40, 0, nullptr},    {"time3", 80, 0, ":"},
                          {"time4", 120, 0, nullptr},  {"time5", 160, 0, nullptr},   {"time6", 200, 0, "am"},
                          {"time7", 240, 0, "pm"},     {"month1", 0, -60, nullptr},  {"month2", 40, -60, nullptr},
                          {"month3", 80, -60, "\\"},   {"month4", 120, -60, nullptr}, {"month5", 160, -60, nullptr},
                          {"day", 240, -60, nullptr}};

// The list sits at (100, 500) of the 1024 x 768 screen.
constexpr int kListX = 100, kListY = 500;

class ClockRender : public OverlayRender {
protected:
    void SetUp() override {
        OverlayRender::SetUp();
        if (HasFatalFailure()) return;
        Dir = fs::temp_directory_path() / ("clock_render_" + std::to_string(::getpid()));
        fs::create_directories(Dir);
        TPicture picture;
        picture.SetSize(256, 256, 24);
        for (size_t k = 0; k < kSprites.size(); ++k) {
            const auto c = SpriteColour(static_cast<int>(k));
            const int u = static_cast<int>(k % 8) * 32, v = static_cast<int>(k / 8) * 32;
            for (int y = v; y < v + 32; ++y)
                for (int x = u; x < u + 32; ++x) {
                    uint8_t* p = picture.Row(y) + 3 * x;
                    p[0] = static_cast<uint8_t>(c[2]);
                    p[1] = static_cast<uint8_t>(c[1]);
                    p[2] = static_cast<uint8_t>(c[0]);
                }
        }
        SaveBytesToFile((Dir / "clock.bmp").string(), WriteBMP(picture));
    }
    void TearDown() override {
        OverlayRender::TearDown();
        fs::remove_all(Dir);
    }

    std::string Script(int mode) const {
        std::string s = "[MainScene]\nCount=4\n";
        s += "[MainScene1]\nType=TSceneTextureList\nName=Textures\nColorBit=32bit\nPath=" + Dir.string() +
             "/\nCount=1\n[Textures1]\nType=TSceneTexture\nName=clock.bmp\nTextureName=clock.bmp\n";
        s += "[MainScene2]\nType=TSceneMaterialList\nName=Materials\nCount=1\n"
             "[Materials1]\nType=TSceneMaterial\nName=ClockMat\nCount=1\nDiffuse1=1,1,1,1\n";
        s += "[MainScene3]\nType=TResource\nName=ClockResource\nCount=2\n";
        s += "[ClockResource1]\nType=TSceneMeshList\nName=ClockSprites\nCount=" + std::to_string(kSprites.size()) +
             "\n";
        for (size_t k = 0; k < kSprites.size(); ++k)
            s += "[ClockSprites" + std::to_string(k + 1) + "]\nType=TSceneSprite\nName=" + kSprites[k] +
                 "\nMaterial=Materials/ClockMat\nTexture=Textures/clock.bmp\nWidth=32\nHeight=32\nStartU=" +
                 std::to_string((k % 8) * 32) + "\nStartV=" + std::to_string((k / 8) * 32) + "\n";
        s += "[ClockResource2]\nType=TMainSpriteList\nName=ClockObjects\nPosition=" + std::to_string(kListX) + "," +
             std::to_string(kListY) + ",0\nCount=" + std::to_string(std::size(kPlaces)) + "\n";
        int n = 0;
        for (const TPlace& p : kPlaces) {
            s += "[ClockObjects" + std::to_string(++n) + "]\nType=TMainVisualObject\nName=" + p.Object +
                 "\nVisualOptions=[Position]\nPosition=" + std::to_string(p.X) + "," + std::to_string(p.Y) + ",0\n";
            if (p.FirstVisual) s += std::string("Visual=ClockResource/ClockSprites/") + p.FirstVisual + "\n";
        }
        s += "[MainScene4]\nType=TGLClock\nName=GLClock\nProcessOptions=[Render,Animation]\n"
             "Sprites=ClockResource/ClockSprites\nObjects=ClockResource/ClockObjects\nColor=255,255,255,255\nMode=" +
             std::to_string(mode) + "\n";
        return s;
    }

    void Load(int mode) {
        Scene = std::make_unique<TMainScene>();
        TResourceLoader loader;
        loader.Scene = Scene.get();
        loader.Section = Scene->Name();
        loader.OpenText(Script(mode));
        Scene->ReadProperties(loader);
        loader.LoadChildren(*Scene);
        auto* clock = dynamic_cast<TGLClock*>(Scene->FindObject("GLClock"));
        ASSERT_NE(clock, nullptr);
        clock->TimeSource = &Time;
    }

    // What the frame shows at an object's place: the sprite whose colour is
    // there, "" for the black background, "?" for anything else.
    std::string ShownAt(const TPlace& place) const {
        const int x = (kListX + place.X + 16) / 2, y = (kListY + place.Y + 16) / 2;
        const auto p = Window.Pixel(x, y);
        if (p[0] < 8 && p[1] < 8 && p[2] < 8) return "";
        for (size_t k = 0; k < kSprites.size(); ++k) {
            const auto c = SpriteColour(static_cast<int>(k));
            if (std::abs(p[0] - c[0]) <= 3 && std::abs(p[1] - c[1]) <= 3 && std::abs(p[2] - c[2]) <= 3)
                return kSprites[k];
        }
        return "?(" + std::to_string(p[0]) + "," + std::to_string(p[1]) + "," + std::to_string(p[2]) + ")";
    }

    // Object name -> sprite expected there ("" for nothing).
    void ExpectFace(const std::vector<std::pair<std::string, std::string>>& expected, const char* what) {
        for (const auto& [object, sprite] : expected) {
            const TPlace* place = nullptr;
            for (const TPlace& p : kPlaces)
                if (object == p.Object) place = &p;
            ASSERT_NE(place, nullptr) << object;
            EXPECT_EQ(ShownAt(*place), sprite) << what << ": " << object;
        }
    }

    fs::path Dir;
    platform::FixedLocalTime Time;
};

platform::LocalDateTime ChristmasEve(int hour, int minute) {
    platform::LocalDateTime t;
    t.Year = 2026;
    t.Month = 12;
    t.Day = 24;
    t.DayOfWeek = 5;
    t.Hour = hour;
    t.Minute = minute;
    return t;
}

TEST_F(ClockRender, TwentyFourHoursAtFivePastNine) {
    Load(1);
    Time.Time = ChristmasEve(9, 5);
    Frame();
    ExpectFace({{"time1", ""},
                {"time2", "9"},
                {"time3", ":"},
                {"time4", "0"},
                {"time5", "5"},
                {"time6", ""},
                {"time7", ""},
                {"month1", "1"},
                {"month2", "2"},
                {"month3", "\\"},
                {"month4", "2"},
                {"month5", "4"},
                {"day", "thu"}},
               "09:05");
    // Nothing outside the sprites: left of the list and above it.
    EXPECT_EQ(Window.LitPixels(0, 0, kListX / 2 - 1, kHeight), 0);
    EXPECT_EQ(Window.LitPixels(0, (kListY + 32) / 2 + 1, kWidth, kHeight), 0);

    Time.Time = ChristmasEve(21, 30);
    Frame();
    ExpectFace({{"time1", "2"}, {"time2", "1"}, {"time4", "3"}, {"time5", "0"}, {"time6", ""}, {"time7", ""}}, "21:30");
}

TEST_F(ClockRender, TwelveHoursAtHalfPastNineInTheEvening) {
    Load(2);
    Time.Time = ChristmasEve(21, 30);
    Frame();
    ExpectFace({{"time1", ""}, {"time2", "9"}, {"time4", "3"}, {"time5", "0"}, {"time6", ""}, {"time7", "pm"}},
               "p09:30");
    Time.Time = ChristmasEve(9, 5);
    Frame();
    ExpectFace({{"time1", ""}, {"time2", "9"}, {"time4", "0"}, {"time5", "5"}, {"time6", "am"}, {"time7", ""}},
               "a09:05");
}

TEST_F(ClockRender, TheColonBlinksWithAnimationTime) {
    Load(1);
    Time.Time = ChristmasEve(9, 5);
    Window.Clear();
    Scene->Frame(1.0f);
    ExpectFace({{"time3", ""}}, "after one second");
    Window.Clear();
    Scene->Frame(0.5f);
    ExpectFace({{"time3", ""}}, "half a second later");
    Window.Clear();
    Scene->Frame(0.5f);
    ExpectFace({{"time3", ":"}}, "after two seconds");
}

TEST_F(ClockRender, AGermanDesktopShowsItsWeekdayThroughTheSameSprites) {
    Load(1);
    Time.Locale.DateSeparator = ".";
    Time.Locale.ShortDayNames = {"So", "Mo", "Di", "Mi", "Do", "Fr", "Sa"};
    Time.Time = ChristmasEve(9, 5);
    Time.Time.Month = 3;
    Time.Time.Day = 1;
    Time.Time.DayOfWeek = 1;
    Frame();
    ExpectFace({{"time2", "9"},
                {"month1", "0"},
                {"month2", "3"},
                {"month3", "\\"},
                {"month4", "0"},
                {"month5", "1"},
                {"day", "sun"}},
               "German");
}

TEST_F(ClockRender, ADateTheClockCannotReadLeavesTheDigitsEmpty) {
    Load(1);
    // "12. 24": the two-character separator of some regions.
    Time.Locale.DateSeparator = ". ";
    Time.Locale.ShortDayNames = {"V", "H", "K", "Sze", "Cs", "P", "Szo"};
    Time.Time = ChristmasEve(9, 5);
    Frame();
    ExpectFace({{"time2", "9"},
                {"time5", "5"},
                {"month1", ""},
                {"month2", ""},
                {"month3", "\\"},
                {"month4", ""},
                {"month5", ""},
                {"day", "thu"}},
               "two-character date separator");
}

TEST_F(ClockRender, ModeZeroDrawsNothing) {
    Load(0);
    Time.Time = ChristmasEve(9, 5);
    Frame();
    EXPECT_EQ(Window.LitPixels(0, 0, kWidth, kHeight), 0);
}

}  // namespace
