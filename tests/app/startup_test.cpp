#include "app/startup.h"
#include "scene/archive.h"
#include "scene/objects.h"

#include <gtest/gtest.h>

// The test executable carries the same data.rfa as the program.
TEST(StartupTest, LoadsTheSceneFromTheEmbeddedArchive) {
    auto scene = LoadMainScene("/nonexistent/", nullptr);
    ASSERT_NE(scene, nullptr);
    EXPECT_EQ(scene->Name(), "MainScene");
    EXPECT_EQ(TheResourceReader().Mode, 3);
    EXPECT_EQ(scene->LoadSources, lsArchive);
    // Every archive entry the script needs is found; the script itself too.
    ASSERT_TRUE(TheResourceReader().Open("FISHES.GSC"));
    EXPECT_GT(TheResourceReader().Stream()->Size(), 0u);
    EXPECT_EQ(DescribeScene(*scene).rfind("MainScene\n", 0), 0u);
}
