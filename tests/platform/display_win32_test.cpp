// The display as Wine shows it on the test run's Xvfb screen (1024 x 768).
#include <gtest/gtest.h>

#include "platform/display.h"

namespace {

TEST(DisplayWin32, ModesMonitorsAndASwitchThatIsUndone) {
    auto& display = platform::SystemDisplaySettings();
    const platform::DisplayMode now = display.CurrentMode();
    EXPECT_EQ(now.Width, 1024);
    EXPECT_EQ(now.Height, 768);
    EXPECT_GE(now.BitsPerPixel, 24);

    platform::DisplayMode mode;
    bool listed = false;
    int count = 0;
    for (; display.EnumMode(count, mode); ++count)
        listed = listed || (mode.Width == now.Width && mode.Height == now.Height && mode.BitsPerPixel == now.BitsPerPixel);
    EXPECT_GT(count, 0);
    EXPECT_TRUE(listed) << "the desktop's own mode is among the modes";
    EXPECT_FALSE(display.EnumMode(count, mode));

    const auto monitors = display.Monitors();
    ASSERT_FALSE(monitors.empty());
    EXPECT_TRUE(monitors[0].Primary);
    EXPECT_EQ(monitors[0].Left, 0);
    EXPECT_EQ(monitors[0].Width, 1024);
    EXPECT_EQ(monitors[0].Height, 768);
    EXPECT_FALSE(monitors[0].Name.empty());
    const auto desktop = display.VirtualDesktop();
    EXPECT_EQ(desktop.Width, 1024);
    EXPECT_EQ(desktop.Height, 768);

    EXPECT_TRUE(display.TestMode(now));
    EXPECT_FALSE(display.TestMode({123, 45, 32, 0})) << "a mode no monitor has";
    EXPECT_FALSE(display.ModeChanged());
    ASSERT_TRUE(display.ChangeMode(now));
    EXPECT_TRUE(display.ModeChanged());
    display.RestoreMode();
    EXPECT_FALSE(display.ModeChanged());
    EXPECT_EQ(display.CurrentMode().Width, 1024);
}

}  // namespace
