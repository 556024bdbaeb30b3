#include "app/startup.h"
#include "core/archive.h"
#include "scene/objects.h"
#include "scene/loader.h"
#include "scene/registry.h"

#include <algorithm>

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

TEST(StartupTest, RegistersTheContentClassesAfterTheEngine) {
    RegisterContentClasses();
    std::vector<std::string> names = TheClassRegistry().Names();
    auto at = [&](const char* name) { return std::find(names.begin(), names.end(), name) - names.begin(); };
    ASSERT_LT(at("TSceneSoundList"), static_cast<long>(names.size()));
    EXPECT_LT(at("TMainScene"), at("TSceneSound"));
    RegisterContentClasses();
    EXPECT_EQ(TheClassRegistry().Names().size(), names.size()) << "registering twice adds nothing";
}

TEST(StartupTest, AScriptMayNameOnlyTheScriptClasses) {
    RegisterContentClasses();
    std::vector<std::string> names = TheClassRegistry().Names();
    std::sort(names.begin(), names.end());
    const std::vector<std::string> scriptClasses{
        "TBubbles",          "TFishRender",     "TFishes",           "TGLClock",           "TMainItemList",
        "TMainLight",        "TMainObjectList", "TMainScene",        "TMainSpriteList",    "TMainVisualObject",
        "TMainVisualObjectList", "TResource",   "TSceneFont",        "TSceneMaterial",     "TSceneMaterialList",
        "TSceneMesh",        "TSceneMeshList",  "TSceneSound",       "TSceneSoundList",    "TSceneSprite",
        "TSceneString",      "TSceneText",      "TSceneTexture",     "TSceneTextureList",  "TUnderWater",
        "TWatchClock"};
    EXPECT_EQ(names, scriptClasses);

    TMainScene scene;
    TResourceLoader loader;
    loader.Scene = &scene;
    loader.Section = scene.Name();
    loader.OpenText("[MainScene]\nCount=1\n[MainScene1]\nType=TSceneBaseText\nName=Caption\n");
    try {
        loader.LoadChildren(scene);
        FAIL() << "no error";
    } catch (const std::exception& e) {
        EXPECT_STREQ(e.what(),
                     "TResourceLoader.CreateObject error: Object not created! for MainScene1 Type: TSceneBaseText "
                     "Name: Caption");
    }
    EXPECT_EQ(scene.LiveCount(), 0);
}
