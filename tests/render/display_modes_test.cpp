#include "render/display_modes.h"

#include "platform/null/display_null.h"
#include "platform/null/null_services.h"
#include "core/errors.h"

#include <gtest/gtest.h>

#include <stdexcept>

namespace {

using platform::DisplayMode;

// ---------------------------------------------------------------------------
// TScreenMode and its texts

TEST(ScreenModeTest, SizeIsPackedWidthHighHeightLow) {
    TScreenMode m;
    m.SetScreenSize(41943520);
    EXPECT_EQ(m.Width(), 640);
    EXPECT_EQ(m.Height(), 480);
    m.Set(1024, 768, 32);
    EXPECT_EQ(m.ScreenSize(), 67109632);
    EXPECT_EQ(m.ColorDepth(), 32);
    m.SetSize(40000, 30000);
    EXPECT_EQ(m.Width(), 40000) << "the width is read unsigned";
    EXPECT_EQ(m.Height(), 30000);
    EXPECT_EQ(m.ColorDepth(), 32);
}

TEST(ScreenModeTest, TextsRoundTrip) {
    TScreenMode m;
    m.SetModeText("800x600x16");
    EXPECT_EQ(m.Width(), 800);
    EXPECT_EQ(m.Height(), 600);
    EXPECT_EQ(m.ColorDepth(), 16);
    EXPECT_EQ(m.ModeText(), "800x600x16");
    EXPECT_EQ(m.SizeText(), "800x600");
    m.SetSizeText("1280x1024");
    EXPECT_EQ(m.ModeText(), "1280x1024x16");
}

TEST(ScreenModeTest, DepthNames) {
    TScreenMode m;
    m.SetColorDepth(16);
    EXPECT_EQ(m.DepthText(), "High Color(16 bit)");
    m.SetColorDepth(32);
    EXPECT_EQ(m.DepthText(), "True Color(32 bit)");
    m.SetColorDepth(8);
    EXPECT_EQ(m.DepthText(), "256 Color(8 bit)");
    m.SetColorDepth(24);
    EXPECT_EQ(m.DepthText(), "16777216 Color(24 bit)");
    m.SetColorDepth(48);
    EXPECT_EQ(m.DepthText(), "281474976710656 Color(48 bit)") << "no 32-bit wrap of the count";
}

TEST(ScreenModeTest, DepthTextsReadBack) {
    TScreenMode m;
    for (int depth : {4, 8, 15, 16, 24, 32}) {
        m.SetDepthText(TScreenMode::DepthName(depth));
        EXPECT_EQ(m.ColorDepth(), depth);
    }
}

TEST(ScreenModeTest, MalformedTextsRaiseAndChangeNothing) {
    TScreenMode m(640, 480, 16);
    EXPECT_THROW(m.SetModeText("800x600"), EConvertError);
    EXPECT_THROW(m.SetModeText("800-600-16"), EConvertError);
    EXPECT_THROW(m.SetSizeText("wide"), EConvertError);
    EXPECT_THROW(m.SetSizeText(""), EConvertError);
    EXPECT_THROW(m.SetDepthText("Color(bit)"), EConvertError);
    EXPECT_THROW(m.SetDepthText("b"), EConvertError);
    EXPECT_EQ(m.ModeText(), "640x480x16");
}

// ---------------------------------------------------------------------------
// TVideoModesList

class VideoModesTest : public ::testing::Test {
protected:
    platform::NullDisplaySettings display;
};

TEST_F(VideoModesTest, SameSizeAndDepthMergeKeepingTheHigherFrequency) {
    display.Modes = {{800, 600, 32, 60}, {800, 600, 32, 85}, {800, 600, 32, 75}, {800, 600, 16, 60}};
    TVideoModesList list(display);
    list.EnumModes();
    ASSERT_EQ(list.FindMode(800, 600, 32), 0);
    EXPECT_EQ(list.Items(0).Frequency, 85);
    EXPECT_EQ(list.FindMode(800, 600, 16), 1);
}

TEST_F(VideoModesTest, UnknownFrequencyIsStoredAsOne) {
    display.Modes = {{800, 600, 32, 0}};
    TVideoModesList list(display);
    list.EnumModes();
    EXPECT_EQ(list.Items(0).Frequency, 1);
}

TEST_F(VideoModesTest, ModesFailingTheTestChangeAreLeftOut) {
    display.Modes = {{800, 600, 32, 60}, {1600, 1200, 32, 60}};
    display.FailTest.insert({1600, 1200, 32});
    TVideoModesList list(display);
    list.EnumModes();
    EXPECT_EQ(list.FindMode(1600, 1200, 32), -1);
    EXPECT_EQ(list.FindMode(800, 600, 32), 0);
}

TEST_F(VideoModesTest, TheDesktopModeIsAlwaysListed) {
    display.Modes = {{800, 600, 32, 60}};
    display.Desktop = {1024, 768, 32, 0};
    TVideoModesList list(display);
    list.EnumModes();
    ASSERT_EQ(list.Count(), 2);
    EXPECT_EQ(list.FindMode(1024, 768, 32), 1);
}

TEST_F(VideoModesTest, SettingTheCurrentModeChangesNothing) {
    display.Modes = {{1280, 1024, 32, 60}};
    display.Desktop = {1280, 1024, 32, 0};
    TVideoModesList list(display);
    list.EnumModes();
    EXPECT_TRUE(list.SetMode(1280, 1024, 32));
    EXPECT_TRUE(list.ModeActive());
    EXPECT_FALSE(list.ModeChanged());
    EXPECT_TRUE(display.Changes.empty());
}

TEST_F(VideoModesTest, ModeNotOfferedIsNotSetAndLeavesTheStateAlone) {
    display.Modes = {{800, 600, 32, 60}};
    TVideoModesList list(display);
    list.EnumModes();
    EXPECT_FALSE(list.SetMode(640, 480, 8));
    EXPECT_FALSE(list.ModeActive());
    EXPECT_TRUE(list.SetMode(800, 600, 32));
    EXPECT_FALSE(list.SetMode(640, 480, 8));
    EXPECT_TRUE(list.ModeActive()) << "a mode that is not offered keeps the previous state";
    EXPECT_EQ(display.Changes.size(), 1u);
}

TEST_F(VideoModesTest, SwitchPassesTheListedFrequency) {
    display.Modes = {{800, 600, 32, 60}, {800, 600, 32, 75}};
    TVideoModesList list(display);
    list.EnumModes();
    ASSERT_TRUE(list.SetMode(800, 600, 32));
    ASSERT_EQ(display.Changes.size(), 1u);
    EXPECT_EQ(display.Changes[0].Frequency, 75);
    EXPECT_TRUE(list.ModeChanged());
    EXPECT_EQ(list.LastMode().Width, 800);
}

TEST_F(VideoModesTest, RefusedSwitchIsReported) {
    display.Modes = {{800, 600, 32, 60}};
    display.FailChange.insert({800, 600, 32});
    TVideoModesList list(display);
    list.EnumModes();
    EXPECT_FALSE(list.SetMode(800, 600, 32));
    EXPECT_FALSE(list.ModeActive());
    EXPECT_FALSE(list.ModeChanged());
}

TEST_F(VideoModesTest, DestructionRestoresASwitchedMode) {
    display.Modes = {{800, 600, 32, 60}};
    {
        TVideoModesList list(display);
        list.EnumModes();
        ASSERT_TRUE(list.SetMode(800, 600, 32));
    }
    EXPECT_EQ(display.Restores, 1);
    EXPECT_FALSE(display.ModeChanged());
}

TEST_F(VideoModesTest, DestructionRestoresEvenAfterALaterSwitchFailed) {
    // The first switch holds while the second is refused: ModeActive reads
    // false, yet the display still shows 800x600.
    display.Modes = {{800, 600, 32, 60}, {640, 480, 32, 60}};
    display.FailChange.insert({640, 480, 32});
    {
        TVideoModesList list(display);
        list.EnumModes();
        ASSERT_TRUE(list.SetMode(800, 600, 32));
        ASSERT_FALSE(list.SetMode(640, 480, 32));
        ASSERT_FALSE(list.ModeActive());
    }
    EXPECT_EQ(display.Restores, 1);
}

// ---------------------------------------------------------------------------
// TCustomDisplayControl

class DisplayControlTest : public ::testing::Test {
protected:
    DisplayControlTest() {
        display.Desktop = {1280, 1024, 32, 0};
        display.Modes = {{640, 480, 8, 60},   {640, 480, 16, 60},  {640, 400, 16, 70}, {800, 600, 16, 60},
                         {640, 480, 32, 60},  {1024, 768, 32, 60}, {1280, 1024, 32, 60}};
    }
    // The screen saver's filter: at least 16 bits and 480 lines.
    static void Filter(TCustomDisplayControl*, int32_t depth, int32_t, int32_t height, bool& accept) {
        accept = depth >= 16 && height >= 480;
    }
    std::unique_ptr<TCustomDisplayControl> Make(bool filtered = true) {
        auto c = std::make_unique<TCustomDisplayControl>(display, &app);
        if (filtered) c->OnFilterMode = &Filter;
        c->Desktop16Mode().Set(1280, 1024, 16);
        c->BuildModeLists();
        return c;
    }
    platform::NullDisplaySettings display;
    platform::RecordingApplication app;
};

TEST_F(DisplayControlTest, FilteredModesAreNotOffered) {
    auto c = Make();
    std::vector<std::string> depths;
    c->ColorDepthNames(depths);
    EXPECT_EQ(depths, (std::vector<std::string>{"High Color(16 bit)", "True Color(32 bit)"}));
    TColorDepthModes& groups = c->DepthGroups();
    EXPECT_EQ(groups[0].Modes.Find(640, 400, 16), -1);
    EXPECT_EQ(groups[0].Modes.Count(), 2);
    EXPECT_EQ(groups.FindDepth(8), -1);
}

TEST_F(DisplayControlTest, FullScreenModeAlwaysNamesAnOfferedMode) {
    auto c = Make();
    // Building assigned the desktop 16-bit mode without validating it.
    EXPECT_EQ(c->FullScreenMode().ModeText(), "1280x1024x16");
    c->FullScreenMode().SetColorDepth(24);
    EXPECT_EQ(c->FullScreenMode().ModeText(), "640x480x16") << "unknown depth: first group, its first size";
    c->FullScreenMode().Set(1024, 768, 32);
    EXPECT_EQ(c->FullScreenMode().ModeText(), "1024x768x32");
    c->FullScreenMode().SetSizeText("800x600");
    EXPECT_EQ(c->FullScreenMode().ModeText(), "640x480x32") << "size not offered at 32 bits";
}

TEST_F(DisplayControlTest, SizeNamesAndIndexesFollowTheFullScreenDepth) {
    auto c = Make();
    c->FullScreenMode().Set(1024, 768, 32);
    std::vector<std::string> sizes{"untouched"};
    c->ScreenSizeNames(sizes);
    EXPECT_EQ(sizes, (std::vector<std::string>{"640x480", "1024x768", "1280x1024"}));
    EXPECT_EQ(c->FullScreenDepthIndex(), 1);
    EXPECT_EQ(c->FullScreenModeIndex(), 1);

    c->DepthGroups().Clear();
    c->FullScreenMode().Set(800, 600, 16);  // no validation without groups
    sizes = {"untouched"};
    c->ScreenSizeNames(sizes);
    EXPECT_EQ(sizes, (std::vector<std::string>{"untouched"}));
    EXPECT_EQ(c->FullScreenDepthIndex(), -1);
    EXPECT_EQ(c->FullScreenModeIndex(), -1);
}

TEST_F(DisplayControlTest, EnterAndLeaveSwitchAndRestoreAroundTheEvents) {
    auto c = Make();
    std::vector<std::string> events;
    c->OnBeforeChange = [&](TCustomDisplayControl*) { events.push_back("before " + std::to_string(display.Switched)); };
    c->OnAfterChange = [&](TCustomDisplayControl* s) { events.push_back("after " + std::to_string(s->FullScreen())); };
    EXPECT_TRUE(c->EnterFullScreen(800, 600, 16));
    EXPECT_TRUE(c->FullScreen());
    ASSERT_EQ(display.Changes.size(), 1u);
    EXPECT_EQ(display.Changes[0].Width, 800);
    EXPECT_TRUE(app.Logged("ShowCursor(0)"));
    c->LeaveFullScreen();
    EXPECT_FALSE(c->FullScreen());
    EXPECT_EQ(display.Restores, 1);
    EXPECT_TRUE(app.Logged("ShowCursor(1)"));
    EXPECT_EQ(events, (std::vector<std::string>{"before 0", "after 1", "before 1", "after 0"}));
}

TEST_F(DisplayControlTest, DesktopOnlyNeverChangesTheMode) {
    auto c = Make();
    c->DesktopOnly = true;
    c->SetFullScreen(true);
    EXPECT_TRUE(c->FullScreen());
    EXPECT_TRUE(display.Changes.empty());
    EXPECT_EQ(c->GetFullScreenMode().ModeText(), "1280x1024x32");
    EXPECT_FALSE(c->VideoModes().ModeChanged());
}

TEST_F(DisplayControlTest, RefusedSwitchLeavesTheDisplayWindowed) {
    display.FailChange.insert({800, 600, 16});
    auto c = Make();
    EXPECT_FALSE(c->EnterFullScreen(800, 600, 16));
    EXPECT_FALSE(c->FullScreen());
}

TEST_F(DisplayControlTest, SetFullScreenActsOnlyOnChangesAndNotWhileLoading) {
    auto c = Make();
    c->FullScreenMode().Set(800, 600, 16);
    c->SetFullScreen(false);
    EXPECT_EQ(display.RestoreCalls, 0);
    c->SetFullScreen(true);
    c->SetFullScreen(true);
    EXPECT_EQ(display.Changes.size(), 1u);

    platform::NullDisplaySettings other;
    other.Modes = display.Modes;
    TCustomDisplayControl loading(other);
    loading.BeginLoading();
    loading.SetFullScreen(true);
    EXPECT_TRUE(loading.FullScreen());
    EXPECT_TRUE(other.Changes.empty());
}

TEST_F(DisplayControlTest, LoadedBuildsTheListsAndEntersALoadedFullScreen) {
    TCustomDisplayControl c(display);
    c.EnumOnLoad = true;
    c.BeginLoading();
    c.SetFullScreen(true);
    c.Loaded();
    EXPECT_GT(c.DepthGroups().Count(), 0);
    EXPECT_FALSE(c.Loading());
    // The full-screen mode after building is the (empty) desktop 16-bit
    // mode, validated on entering to the first offered mode.
    ASSERT_EQ(display.Changes.size(), 1u);
    EXPECT_EQ(display.Changes[0].Width, 640);
    EXPECT_EQ(display.Changes[0].BitsPerPixel, 8);
}

TEST_F(DisplayControlTest, DestructionLeavesFullScreen) {
    {
        auto c = Make();
        ASSERT_TRUE(c->EnterFullScreen(1024, 768, 32));
    }
    EXPECT_EQ(display.Restores, 1);
    EXPECT_FALSE(display.ModeChanged());
}

TEST_F(DisplayControlTest, AnExceptionUnwindingPastTheDisplayRestoresTheMode) {
    EXPECT_THROW(
        {
            auto c = Make();
            c->EnterFullScreen(1024, 768, 32);
            throw std::runtime_error("render failed");
        },
        std::runtime_error);
    EXPECT_FALSE(display.ModeChanged());
    EXPECT_EQ(display.Restores, 1);
}

}  // namespace
