#include "world/underwater_world.h"

#include "core/errors.h"
#include "scene/memory_scene_host.h"
#include "scene/objects.h"
#include "world/bubbles.h"
#include "world/fish_render.h"
#include "world/fishes.h"
#include "world/underwater.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

namespace {

const char* const kWaterNames[6] = {"Salt Water - 1", "Salt Water - 2", "Salt Water - 3",
                                     "Fresh Water - 1", "Fresh Water - 2", "Fresh Water - 3"};

// A scene shaped like the shipped one: six waters, then the fresh-water
// renderer (hidden) before the salt-water one, then the bubbles. Salt water
// holds eleven schools of fish, plankton and a starfish; fresh water ten
// schools of fish.
class WorldTest : public ::testing::Test {
protected:
    WorldTest() {
        for (const char* name : kWaterNames) {
            auto water = std::make_unique<TUnderWater>();
            water->SetName(name);
            scene.Add(std::move(water));
        }
        Fresh = AddRenderer("FreshWater");
        Fresh->SetVisible(false);
        for (int i = 1; i <= 10; ++i) AddSchool(*Fresh, "Fresh" + Two(i), ftFish, 100);
        Salt = AddRenderer("SaltWater");
        for (int i = 1; i <= 11; ++i) AddSchool(*Salt, "Fish" + Two(i), ftFish, 100);
        AddSchool(*Salt, "Plankton", ftPlankton, 100);
        AddSchool(*Salt, "Starfish", ftStarFish, 1);
        auto bubbles = std::make_unique<TBubbles>();
        bubbles->SetName("Bubbles");
        Bubbles = scene.Add(std::move(bubbles));

        world.FApp = &host;
        world.FScene = &scene;
    }

    static std::string Two(int i) { return (i < 10 ? "0" : "") + std::to_string(i); }

    TFishRender* AddRenderer(const std::string& name) {
        auto renderer = std::make_unique<TFishRender>();
        renderer->SetName(name);
        return scene.Add(std::move(renderer));
    }

    static TFishes* AddSchool(TFishRender& renderer, const std::string& name, TFishType type, int32_t maxCount) {
        auto school = std::make_unique<TFishes>();
        school->SetName(name);
        school->FishType = type;
        school->MaxCount = maxCount;
        return renderer.Add(std::move(school));
    }

    TFishes& School(const std::string& name) {
        TFishes* school = world.FindSchool(name);
        EXPECT_NE(school, nullptr) << name;
        return *school;
    }
    TUnderWater& Water(int i) { return *dynamic_cast<TUnderWater*>(scene.FindObject(kWaterNames[i])); }

    TMemorySceneHost host{nullptr};
    TMainScene scene;
    TFishRender* Salt = nullptr;
    TFishRender* Fresh = nullptr;
    TBubbles* Bubbles = nullptr;
    TUnderWaterWorld world;
};

std::string InitError(TUnderWaterWorld& world) {
    try {
        world.Init();
    } catch (const Exception& e) {
        return e.what();
    }
    return "(no error)";
}

TEST_F(WorldTest, InitNeedsTheSceneFirstAndThenTheApplication) {
    TUnderWaterWorld bare;
    EXPECT_EQ(InitError(bare), "TUnderWaterWorld.Init error: FScene=NIL");
    bare.FApp = &host;
    EXPECT_EQ(InitError(bare), "TUnderWaterWorld.Init error: FScene=NIL");
    bare.FApp = nullptr;
    bare.FScene = &scene;
    EXPECT_EQ(InitError(bare), "TUnderWaterWorld.Init error: FApp=NIL");
    EXPECT_TRUE(bare.Waters.empty());
}

TEST_F(WorldTest, InitFindsTheWatersInSceneOrderAndSaltWaterBeforeFreshWater) {
    EXPECT_EQ(world.FishTypeIndex(), 0);
    EXPECT_EQ(world.WaterBackgroundIndex(), 0);
    world.Init();
    ASSERT_EQ(world.Waters.size(), 6u);
    for (size_t i = 0; i < 6; ++i) {
        EXPECT_EQ(world.Waters[i].first, kWaterNames[i]);
        EXPECT_EQ(world.Waters[i].second, &Water(static_cast<int>(i)));
    }
    ASSERT_EQ(world.Renderers.size(), 2u);
    EXPECT_EQ(world.Renderers[0].first, "SaltWater");
    EXPECT_EQ(world.Renderers[0].second, Salt);
    EXPECT_EQ(world.Renderers[1].second, Fresh);
    EXPECT_EQ(world.FishTypeIndex(), -1);
    EXPECT_EQ(world.WaterBackgroundIndex(), -1);

    // A second run finds the same objects once, not twice.
    world.Init();
    EXPECT_EQ(world.Waters.size(), 6u);
    EXPECT_EQ(world.Renderers.size(), 2u);
}

TEST_F(WorldTest, DefaultsShowSaltWaterAndTheFirstWaterWithTwentyFishSharedOut) {
    world.LoadSettings();
    EXPECT_TRUE(Salt->Visible());
    EXPECT_FALSE(Fresh->Visible());
    EXPECT_EQ(world.FishTypeIndex(), 0);
    ASSERT_EQ(world.SchoolNames.size(), 13u);
    EXPECT_EQ(world.SchoolNames[0], "Fish01");
    EXPECT_EQ(world.SchoolNames[12], "Starfish");

    // 20 over 11 schools of fish: nine of 2, two of 1.
    for (int i = 1; i <= 11; ++i)
        EXPECT_EQ(School("Fish" + Two(i)).ParticleCount(), i <= 9 ? 2 : 1) << i;
    EXPECT_EQ(School("Plankton").ParticleCount(), 100);
    EXPECT_EQ(School("Starfish").ParticleCount(), 1);
    // The hidden renderer's schools are shared out as well.
    EXPECT_EQ(School("Fresh01").ParticleCount(), 2);
    EXPECT_EQ(world.GetBubbleCount(), 50);

    EXPECT_EQ(world.WaterBackgroundIndex(), 0);
    EXPECT_TRUE(Water(0).Visible());
    for (int i = 1; i < 6; ++i) EXPECT_FALSE(Water(i).Visible()) << i;
    const TUnderWater& shown = Water(0);
    EXPECT_TRUE(shown.EmulateDepth);
    EXPECT_TRUE(shown.Flat);
    EXPECT_TRUE(shown.UseLights);
    EXPECT_TRUE(shown.UseCaustic);
    EXPECT_TRUE(shown.UseBackground);
    EXPECT_EQ(shown.ScreenCount, 0) << "the view tells the count with the first frame";

    for (TFishRender* r : {Salt, Fresh}) {
        EXPECT_EQ(r->FishDirection, fdBoth);
        EXPECT_TRUE(r->SortAlpha);
        EXPECT_TRUE(r->FishCaustic);
    }
}

TEST_F(WorldTest, AFishTypeIndexBeyondTheRenderersShowsTheLastOne) {
    host.Values["FishTypeIndex"] = "5";
    world.LoadSettings();
    EXPECT_EQ(world.FishTypeIndex(), 1);
    EXPECT_TRUE(Fresh->Visible());
    EXPECT_FALSE(Salt->Visible());
    ASSERT_EQ(world.SchoolNames.size(), 10u);
    EXPECT_EQ(world.SchoolNames[0], "Fresh01");

    world.SetFishTypeIndex(0);
    EXPECT_TRUE(Salt->Visible());
    EXPECT_FALSE(Fresh->Visible());
    EXPECT_EQ(world.SchoolNames.size(), 13u);
    // A negative index is kept but shows nothing new.
    world.SetFishTypeIndex(-1);
    EXPECT_EQ(world.FishTypeIndex(), -1);
    EXPECT_TRUE(Salt->Visible());
}

TEST_F(WorldTest, SettingsComeBackAfterARestartButFlatAndSortAlphaAlwaysReturnTrue) {
    world.LoadSettings();
    world.SetSchoolVisible("Fish03", false);
    world.SetFishDirection(fdLeft);
    world.SetWaterBackgroundIndex(4);
    world.SetFishCount(35);
    world.SetBubbleCount(120);
    world.SetEmulateDepth(false);
    world.SetFlat(false);
    world.SetSortAlpha(false);
    world.SetUseLights(false);
    world.SetUseBackground(false);
    world.SetUseCaustic(false);
    world.SetFishCaustic(false);
    world.SaveSettings();
    EXPECT_EQ(host.Values["Fish03"], "0");
    EXPECT_EQ(host.Values["Fish04"], "1");
    EXPECT_EQ(host.Values["Fresh10"], "1");
    EXPECT_EQ(host.Values["FishDirection"], "Left");
    EXPECT_EQ(host.Values["WaterBackgroundIndex"], "4");
    EXPECT_EQ(host.Values["FishCount"], "35");
    EXPECT_EQ(host.Values["BubbleCount"], "120");
    EXPECT_EQ(host.Values["Flat"], "0");
    EXPECT_EQ(host.Values["SortAlpha"], "0");
    EXPECT_EQ(host.Values["FishTypeIndex"], "0");

    // A new run: the same scene script, the stored settings.
    TFishes& hidden = School("Fish03");
    hidden.SetVisible(true);
    TUnderWaterWorld again;
    again.FApp = &host;
    again.FScene = &scene;
    again.LoadSettings();
    EXPECT_FALSE(hidden.Visible());
    EXPECT_FALSE(again.IsSchoolVisible("Fish03"));
    EXPECT_TRUE(again.IsSchoolVisible("Fish04"));
    EXPECT_EQ(again.FishDirection(), fdLeft);
    EXPECT_EQ(again.WaterBackgroundIndex(), 4);
    EXPECT_TRUE(Water(4).Visible());
    EXPECT_EQ(again.FishCount(), 35);
    EXPECT_EQ(again.GetBubbleCount(), 120);
    EXPECT_FALSE(again.EmulateDepth());
    EXPECT_FALSE(again.UseLights());
    EXPECT_FALSE(again.UseBackground());
    EXPECT_FALSE(again.UseCaustic());
    EXPECT_FALSE(again.FishCaustic());
    EXPECT_FALSE(Water(4).UseLights);
    EXPECT_FALSE(Water(4).UseCaustic);
    EXPECT_FALSE(Water(4).UseBackground);
    EXPECT_FALSE(Salt->FishCaustic);
    EXPECT_TRUE(again.Flat());
    EXPECT_TRUE(Water(4).Flat);
    EXPECT_TRUE(again.SortAlpha());
    EXPECT_TRUE(Salt->SortAlpha);
}

TEST_F(WorldTest, HidingASchoolEmptiesItAndSharesTheFishAmongTheOthers) {
    world.LoadSettings();
    world.SetSchoolVisible("Fish01", false);
    EXPECT_FALSE(world.IsSchoolVisible("Fish01"));
    EXPECT_EQ(School("Fish01").ParticleCount(), 0);
    for (int i = 2; i <= 11; ++i) EXPECT_EQ(School("Fish" + Two(i)).ParticleCount(), 2) << i;

    world.SetSchoolVisible("Fish01", true);
    EXPECT_TRUE(world.IsSchoolVisible("Fish01"));
    EXPECT_EQ(School("Fish01").ParticleCount(), 2);
    EXPECT_EQ(School("Fish11").ParticleCount(), 1);

    // Unknown names change nothing.
    world.SetSchoolVisible("Nemo", false);
    EXPECT_FALSE(world.IsSchoolVisible("Nemo"));
    EXPECT_EQ(School("Fish01").ParticleCount(), 2);
}

TEST_F(WorldTest, WithoutVisibleFishOnlyTheOtherSchoolsAreFilled) {
    world.LoadSettings();
    for (int i = 1; i <= 11; ++i) world.SetSchoolVisible("Fish" + Two(i), false);
    School("Plankton").SetParticleCount(3);
    world.DistributeFishCount();
    EXPECT_EQ(School("Plankton").ParticleCount(), 100);
    EXPECT_EQ(School("Starfish").ParticleCount(), 1);
    for (int i = 1; i <= 11; ++i) EXPECT_EQ(School("Fish" + Two(i)).ParticleCount(), 0) << i;
    // A hidden plankton school is left alone.
    School("Plankton").SetVisible(false);
    School("Plankton").SetParticleCount(7);
    world.SetFishCount(40);
    EXPECT_EQ(School("Plankton").ParticleCount(), 7);
}

TEST_F(WorldTest, AStoredFishCountOfZeroSharesNothingAtLoad) {
    host.Values["FishCount"] = "0";
    world.LoadSettings();
    EXPECT_EQ(world.FishCount(), 0);
    EXPECT_EQ(School("Plankton").ParticleCount(), 0);
    EXPECT_EQ(School("Starfish").ParticleCount(), 0);
    // Showing or hiding any school shares out again.
    world.SetSchoolVisible("Fish05", true);
    EXPECT_EQ(School("Plankton").ParticleCount(), 100);
    EXPECT_EQ(School("Starfish").ParticleCount(), 1);
    EXPECT_EQ(School("Fish05").ParticleCount(), 0);
}

TEST_F(WorldTest, ShownWaterTakesTheSwitchesAndSwitchingWatersCarriesThemOver) {
    world.LoadSettings();
    world.SetScreenCount(2);
    world.SetEmulateDepth(false);
    world.SetUseLights(false);
    EXPECT_EQ(Water(0).ScreenCount, 2);
    EXPECT_FALSE(Water(0).EmulateDepth);
    EXPECT_FALSE(Water(0).UseLights);
    EXPECT_TRUE(Water(2).EmulateDepth) << "only the shown water";

    world.SetWaterBackgroundIndex(2);
    EXPECT_FALSE(Water(0).Visible());
    EXPECT_TRUE(Water(2).Visible());
    EXPECT_EQ(Water(2).ScreenCount, 2);
    EXPECT_FALSE(Water(2).EmulateDepth);
    EXPECT_FALSE(Water(2).UseLights);
    EXPECT_TRUE(Water(2).Flat);

    // A setter with a change test leaves the water alone when the value is
    // the stored one.
    Water(2).ScreenCount = 1;
    world.SetScreenCount(2);
    EXPECT_EQ(Water(2).ScreenCount, 1);
    // One without sets it every time.
    Water(2).UseCaustic = false;
    world.SetUseCaustic(true);
    EXPECT_TRUE(Water(2).UseCaustic);
}

TEST_F(WorldTest, AWaterIndexOutsideTheListShowsNoWaterAndTheSwitchesHaveNoTarget) {
    host.Values["WaterBackgroundIndex"] = "9";
    world.LoadSettings();
    EXPECT_EQ(world.WaterBackgroundIndex(), 9);
    EXPECT_EQ(world.ShownWater(), nullptr);
    for (int i = 0; i < 6; ++i) EXPECT_FALSE(Water(i).Visible()) << i;
    world.SetEmulateDepth(false);
    world.SetFlat(false);
    world.SetScreenCount(1);
    world.SetUseBackground(false);
    EXPECT_FALSE(world.EmulateDepth());
    EXPECT_FALSE(world.UseBackground());
    world.SetWaterBackgroundIndex(-1);
    EXPECT_EQ(world.ShownWater(), nullptr);
    world.SetWaterBackgroundIndex(5);
    EXPECT_TRUE(Water(5).Visible());
    EXPECT_FALSE(Water(5).UseBackground);
    EXPECT_EQ(Water(5).ScreenCount, 1);
}

TEST_F(WorldTest, BubblesFollowTheCountAndASceneWithoutThemCountsZero) {
    world.LoadSettings();
    world.SetBubbleCount(7);
    EXPECT_EQ(Bubbles->ParticleCount(), 7);
    EXPECT_EQ(world.GetBubbleCount(), 7);

    scene.Remove(Bubbles);
    delete Bubbles;
    EXPECT_EQ(world.GetBubbleCount(), 0);
    world.SetBubbleCount(9);
    world.SaveSettings();
    EXPECT_EQ(host.Values["BubbleCount"], "0");
}

TEST_F(WorldTest, DirectionAndSortingReachEveryRenderer) {
    world.LoadSettings();
    world.SetFishDirection(fdRight);
    EXPECT_EQ(Salt->FishDirection, fdRight);
    EXPECT_EQ(Fresh->FishDirection, fdRight);
    // With a change test: a renderer changed behind the world's back keeps
    // its value until the world's value changes.
    Salt->FishDirection = fdLeft;
    world.SetFishDirection(fdRight);
    EXPECT_EQ(Salt->FishDirection, fdLeft);
    world.SetFishCaustic(false);
    EXPECT_FALSE(Fresh->FishCaustic);
    Fresh->FishCaustic = true;
    world.SetFishCaustic(false);
    EXPECT_FALSE(Fresh->FishCaustic) << "no change test";
}

}  // namespace
