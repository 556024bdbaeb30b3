// The shipped scene as the program runs it, without a window: loaded from
// the archive carried in this executable, configured by the world from the
// user's settings, and stepped frame by frame with a fixed time step over a
// recording GL table. What is checked here is what only the real scene and
// its script show: the real schools sharing out the fish, the real slot
// table keeping them apart over minutes of swimming, the bubbles in the
// real view, and the shown water's waves and fog colours.
#include "app/startup.h"
#include "render/recording_context.h"
#include "scene/memory_scene_host.h"

#include "platform/null/audio_output_null.h"
#include "platform/audio_output.h"
#include "render/gl_api.h"
#include "render/gl_objects.h"
#include "render/gl_recorder.h"
#include "scene/lights.h"
#include "scene/meshes.h"
#include "scene/objects.h"
#include "sound/device.h"
#include "world/bubbles.h"
#include "world/fish_render.h"
#include "world/fishes.h"
#include "world/underwater.h"
#include "world/underwater_world.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <vector>

namespace {

constexpr double Pi = 3.14159265358979323846;

// The scene of the program with a 1280 x 720 window, and the world over it
// with the given stored settings. A fresh scene for every test; the random
// sequence runs on from test to test, so nothing below depends on its values.
class AquariumTest : public ::testing::Test {
protected:
    void Start(const std::map<std::string, std::string>& settings = {}) {
        SoundDevice().SetOutput(Audio);
        TSceneView& view = Host.SceneView;
        view.WindowWidth = 1280;
        view.WindowHeight = 720;
        view.WideScreen = true;
        view.Aspect = 16.0 / 9.0;
        view.FOV = 75;
        view.NearDepth = 100;
        view.FarDepth = 11000;
        Host.Values = settings;
        Scene = LoadMainScene("/nonexistent/", &Host);
        World.FApp = &Host;
        World.FScene = Scene.get();
        World.LoadSettings();
        Salt = Find<TFishRender>("SaltWater");
        Fresh = Find<TFishRender>("FreshWater");
        Bubbles = Find<TBubbles>("Bubbles");
        ASSERT_TRUE(Salt && Fresh && Bubbles);
    }

    void TearDown() override {
        Scene.reset();
        SoundDevice().SetActive(false);
        SoundDevice().SetOutput(platform::SystemAudioOutput());
    }

    template <class T>
    T* Find(const std::string& path) {
        return dynamic_cast<T*>(Scene->FindObject(path));
    }

    static std::vector<TFishes*> Schools(const TFishRender& renderer) {
        std::vector<TFishes*> out;
        for (int i = 0; i < renderer.GetCount(); ++i)
            if (auto* school = dynamic_cast<TFishes*>(renderer.GetItem(i))) out.push_back(school);
        return out;
    }

    std::vector<TUnderWater*> Waters() {
        std::vector<TUnderWater*> out;
        for (const auto& [name, water] : World.Waters) out.push_back(water);
        return out;
    }

    void Frame(float dt) {
        Scene->Frame(dt);
        Recorder.Clear();
    }

    TGLRecorder Recorder;
    TRecordingContext Context{Recorder};
    TMemorySceneHost Host{&Context.OpenGL};
    platform::RecordingAudioOutput Audio;
    std::unique_ptr<TMainScene> Scene;
    TUnderWaterWorld World;
    TFishRender* Salt = nullptr;
    TFishRender* Fresh = nullptr;
    TBubbles* Bubbles = nullptr;
};

// --- fish ------------------------------------------------------------------------------------------

TEST_F(AquariumTest, TwentyFishShareOutOverTheSaltWaterSchoolsThenTheFreshWaterOnesAreShown) {
    ASSERT_NO_FATAL_FAILURE(Start());
    EXPECT_EQ(World.FishCount(), 20);
    EXPECT_EQ(World.FishTypeIndex(), 0);
    EXPECT_TRUE(Salt->Visible());
    EXPECT_FALSE(Fresh->Visible());

    std::vector<int> fish;
    std::vector<std::string> saltNames;
    int plankton = -1, starfish = -1;
    for (TFishes* school : Schools(*Salt)) {
        saltNames.push_back(school->Name());
        if (school->FishType == ftFish) fish.push_back(school->ParticleCount());
        if (school->FishType == ftPlankton) plankton = school->ParticleCount();
        if (school->FishType == ftStarFish) starfish = school->ParticleCount();
    }
    EXPECT_EQ(fish, (std::vector<int>{2, 2, 2, 2, 2, 2, 2, 2, 2, 1, 1}));
    EXPECT_EQ(plankton, 100);
    EXPECT_EQ(starfish, 1);
    EXPECT_EQ(World.SchoolNames, saltNames);
    // The hidden renderer's schools got their share too.
    for (TFishes* school : Schools(*Fresh)) EXPECT_EQ(school->ParticleCount(), 2) << school->Name();

    // Frames draw only the shown renderer: its fish meshes get their swim
    // cycle when first drawn, the hidden renderer's stay as loaded.
    for (int i = 0; i < 3; ++i) Frame(0.04f);
    for (TFishes* school : Schools(*Salt)) {
        if (school->FishType != ftFish) continue;
        EXPECT_GT(school->Mesh()->FrameCount(), 0) << school->Name();
    }
    for (TFishes* school : Schools(*Fresh)) EXPECT_EQ(school->Mesh()->FrameCount(), 0) << school->Name();

    World.SetFishTypeIndex(1);
    EXPECT_FALSE(Salt->Visible());
    EXPECT_TRUE(Fresh->Visible());
    std::vector<std::string> freshNames;
    for (TFishes* school : Schools(*Fresh)) freshNames.push_back(school->Name());
    EXPECT_EQ(World.SchoolNames, freshNames);
    ASSERT_EQ(freshNames.size(), 10u);
    Frame(0.04f);
    for (TFishes* school : Schools(*Fresh)) {
        EXPECT_EQ(school->ParticleCount(), 2) << school->Name();
        EXPECT_GT(school->Mesh()->FrameCount(), 0) << school->Name() << " is not drawn";
    }
}

// Every fish of a renderer either swims on a path, holding the depth slot
// the table says it holds, or waits behind the camera; the slot
// table names only fish that hold their slot; fish in neighbouring slots
// swim at least MinVerticalGap apart in height. Returns the swimming fish.
int CheckSlots(const TFishRender& renderer, const std::string& when) {
    EXPECT_EQ(renderer.MinVerticalGap, 800);
    int swimming = 0;
    std::vector<const TFish*> slotted;
    for (int i = 0; i < renderer.GetCount(); ++i) {
        auto* school = dynamic_cast<TFishes*>(renderer.GetItem(i));
        if (!school) continue;
        for (int k = 0; k < school->ParticleCount(); ++k) {
            const TSceneParticle& p = *school->Particle(k);
            const std::string who = when + ": " + school->Name() + " #" + std::to_string(k);
            EXPECT_TRUE(TSceneParticleList::PathIsFinite(p)) << who;
            if (school->FishType == ftPlankton) {
                EXPECT_EQ(p.DepthSlot, -1) << who;
                continue;
            }
            auto* fish = dynamic_cast<const TFish*>(&p);
            if (!fish) {
                ADD_FAILURE() << who << " is no fish";
                continue;
            }
            if (fish->DepthSlot >= 0) {
                ++swimming;
                slotted.push_back(fish);
                EXPECT_EQ(renderer.SlotFish(fish->DepthSlot), fish) << who;
                EXPECT_EQ(fish->SlotOwner, &renderer) << who;
            } else {
                // Parked, then moved on by the second its Time says (the
                // list moves a particle right after its reset): still far
                // behind the camera, out of sight.
                EXPECT_GT(fish->Position.z, TSceneParticleList::ParkPosition.z - 1000)
                    << who << " neither swims nor waits";
            }
        }
    }
    for (int s = 0; s < renderer.SlotCount(); ++s) {
        const TFish* f = renderer.SlotFish(s);
        if (!f) continue;
        EXPECT_EQ(f->DepthSlot, s) << when << ": slot " << s;
    }
    for (size_t a = 0; a < slotted.size(); ++a)
        for (size_t b = a + 1; b < slotted.size(); ++b) {
            if (std::abs(slotted[a]->DepthSlot - slotted[b]->DepthSlot) > renderer.NeighbourSlots) continue;
            EXPECT_GE(std::fabs(slotted[a]->Position.y - slotted[b]->Position.y), 800)
                << when << ": slots " << slotted[a]->DepthSlot << " and " << slotted[b]->DepthSlot;
        }
    return swimming;
}

TEST_F(AquariumTest, FishKeepTheirPathsAndTheirSlotsOverMinutesOfSwimming) {
    ASSERT_NO_FATAL_FAILURE(Start({{"FishCount", "60"}}));
    constexpr float Step = 0.1f;
    std::map<const TSceneParticle*, float> pathDepth;
    int newPaths = 0, lowest = 1 << 30, frames = 0;
    auto run = [&](int count) {
        for (int i = 0; i < count && !HasFatalFailure(); ++i, ++frames) {
            Frame(Step);
            const std::string when = "frame " + std::to_string(frames);
            const int swimming = CheckSlots(*Salt, when) + CheckSlots(*Fresh, when);
            // At the start half of them are refused (they all ask at once)
            // and come in from the edges over the next seconds.
            if (frames >= 100) lowest = std::min(lowest, swimming);
            for (TFishRender* r : {Salt, Fresh})
                for (TFishes* school : Schools(*r))
                    for (int k = 0; k < school->ParticleCount(); ++k) {
                        auto* fish = dynamic_cast<const TFish*>(school->Particle(k));
                        if (!fish || fish->DepthSlot < 0) continue;
                        auto [it, added] = pathDepth.emplace(fish, fish->PathDepth);
                        if (!added && it->second != fish->PathDepth) ++newPaths;
                        it->second = fish->PathDepth;
                    }
            if (::testing::Test::HasFailure()) return;
        }
    };
    run(600);  // a minute with salt-water fish shown
    World.SetFishTypeIndex(1);
    run(600);  // and one with fresh-water fish
    EXPECT_EQ(frames, 1200);
    // 60 fish in each renderer plus the starfish; a few wait for a free
    // slot now and then, nearly all swim.
    EXPECT_GT(lowest, 100);
    EXPECT_GT(newPaths, 120) << "the fish should have crossed the view more than once";
}

// --- bubbles -------------------------------------------------------------------------------------

TEST_F(AquariumTest, BubblesRiseInTwelveColumnsPerDepthAndStopAtTheViewsTopOrUpY) {
    ASSERT_NO_FATAL_FAILURE(Start({{"BubbleCount", "600"}}));
    ASSERT_EQ(Bubbles->ParticleCount(), 600);
    const double tanHalf = std::tan(75 * Pi / 360);
    const double aspect = 16.0 / 9.0;
    auto nearColumn = [](double q) { return std::fabs(q * 12 - std::round(q * 12)) <= 12 * 0.0101; };

    struct TRise {
        TVector3f Last;
        bool Seen = false;
    };
    std::vector<TRise> rises(600);
    int nearTops = 0, deepTops = 0;
    constexpr float Step = 0.05f;
    for (int frame = 0; frame < 800; ++frame) {
        Frame(Step);
        for (int i = 0; i < 600; ++i) {
            const TSceneParticle& b = *Bubbles->Particle(i);
            const double depth = -b.Position.z;
            const double halfH = depth * tanHalf;
            const double halfW = halfH * aspect + 100;
            const double top = std::min(halfH, double(Bubbles->UpY));
            const std::string who = "bubble " + std::to_string(i) + " at frame " + std::to_string(frame);
            ASSERT_TRUE(TSceneParticleList::PathIsFinite(b)) << who;
            ASSERT_TRUE(nearColumn((depth - Bubbles->MinZ) / (Bubbles->MaxZ - Bubbles->MinZ))) << who << ": depth " << depth;
            ASSERT_TRUE(nearColumn((b.Position.x + halfW) / (2 * halfW))) << who << ": x " << b.Position.x;
            ASSERT_GE(b.Position.y, Bubbles->BottomY) << who;
            ASSERT_LE(b.Position.y, top + 2) << who;
            EXPECT_EQ(b.Speed.x, 0) << who;
            EXPECT_EQ(b.Speed.z, 0) << who;

            TRise& rise = rises[static_cast<size_t>(i)];
            if (rise.Seen && b.Position.y < rise.Last.y) {
                // Started again at the bottom: the last rise ended at its top.
                const double lastDepth = -rise.Last.z;
                const double lastTop = std::min(lastDepth * tanHalf, double(Bubbles->UpY));
                EXPECT_NEAR(rise.Last.y, lastTop, Bubbles->MaxSpeed * Step + 2) << who;
                (lastDepth * tanHalf < Bubbles->UpY ? nearTops : deepTops)++;
            } else if (rise.Seen) {
                EXPECT_EQ(b.Position.x, rise.Last.x) << who << " drifted sideways";
                EXPECT_EQ(b.Position.z, rise.Last.z) << who;
            }
            rise.Last = b.Position;
            rise.Seen = true;
        }
    }
    // Forty seconds: bubbles in front of depth 6516 reached the top of the
    // view, deeper ones UpY.
    EXPECT_GT(nearTops, 100);
    EXPECT_GT(deepTops, 20);
}

// --- the shown water -----------------------------------------------------------------------------

TEST_F(AquariumTest, TheShownWatersSurfaceWavesAfterTwoSeconds) {
    ASSERT_NO_FATAL_FAILURE(Start({{"WaterBackgroundIndex", "4"}}));
    TUnderWater* water = World.ShownWater();
    ASSERT_NE(water, nullptr);
    EXPECT_EQ(water->Name(), "Fresh Water - 2");
    for (int i = 0; i < 40; ++i) Frame(0.05f);
    // Every water animates, shown or not.
    for (TUnderWater* w : Waters()) EXPECT_NEAR(w->WaveTime, 3.0, 1e-4) << w->Name();

    const double t = water->WaveTime;
    for (const TGLPrimitive* grid : {water->SurfaceGrid.get(), water->LightMapGrid.get()}) {
        ASSERT_NE(grid, nullptr);
        ASSERT_EQ(grid->VertexCount(), 35);
        for (int i = 0; i < 35; ++i) {
            const TVector3f v = grid->Vertices.Get(i);
            const double h = std::fabs(v.z + water->FarPlane) < 1e-3
                                 ? 0
                                 : 150 * std::sin((i % 7) * Pi / 2 + t) - 100 * std::cos(i * Pi / 5 + t);
            EXPECT_NEAR(v.y, h, 0.05) << "vertex " << i;
        }
    }
    // Vertex 10 (second row): 150 sin(3 pi / 2 + 3) - 100 cos(2 pi + 3) = -250 cos 3.
    EXPECT_NEAR(water->SurfaceGrid->Vertices.Get(10).y, 247.498, 0.05);
}

struct TWaterColours {
    const char* Name;
    TByteColor Up, Bottom;
};

// The fog colours of the six waters as the script gives them.
const TWaterColours ScriptColours[6] = {
    {"Salt Water - 1", MakeByteColor(70, 175, 235, 255), MakeByteColor(10, 95, 160, 255)},
    {"Salt Water - 2", MakeByteColor(30, 95, 175, 255), MakeByteColor(4, 30, 82, 255)},
    {"Salt Water - 3", MakeByteColor(75, 205, 200, 255), MakeByteColor(12, 122, 128, 255)},
    {"Fresh Water - 1", MakeByteColor(125, 150, 85, 255), MakeByteColor(42, 62, 32, 255)},
    {"Fresh Water - 2", MakeByteColor(175, 115, 45, 255), MakeByteColor(50, 27, 8, 255)},
    {"Fresh Water - 3", MakeByteColor(150, 215, 200, 255), MakeByteColor(38, 98, 80, 255)},
};

// The overlay's colour at a vertex: the fog colour, clear before FogStart,
// opaque from FogEnd on.
void CheckOverlay(const TGLPrimitive& overlay, TByteColor colour, const TUnderWater& water, const std::string& what) {
    ASSERT_EQ(overlay.Colors.Count(), overlay.VertexCount()) << what;
    for (int i = 0; i < overlay.VertexCount(); ++i) {
        const double depth = -overlay.Vertices.Get(i).z;
        const double f = std::clamp((depth - water.FogStart) / (water.FogEnd - water.FogStart), 0.0, 1.0);
        const TByteColor seen = overlay.Colors.Get(i);
        EXPECT_EQ(seen & 0xFFFFFFu, colour & 0xFFFFFFu) << what << " vertex " << i;
        EXPECT_NEAR(double(seen >> 24), f * 255, 0.5 + 1e-9) << what << " vertex " << i << " at depth " << depth;
    }
}

TEST_F(AquariumTest, TheShownWaterFadesIntoItsOwnFogColoursWithoutGLFog) {
    ASSERT_NO_FATAL_FAILURE(Start());
    ASSERT_EQ(World.Waters.size(), 6u);
    for (int k = 5; k >= 0; --k) {
        World.SetWaterBackgroundIndex(k);
        TUnderWater* water = World.ShownWater();
        ASSERT_NE(water, nullptr);
        SCOPED_TRACE(water->Name());
        EXPECT_EQ(water->Name(), ScriptColours[k].Name);
        EXPECT_TRUE(water->EmulateDepth) << "the default";
        EXPECT_EQ(water->UpColor, ScriptColours[k].Up);
        EXPECT_EQ(water->BottomColor, ScriptColours[k].Bottom);
        ASSERT_TRUE(water->SurfaceFogOverlay && water->SeaBedFogOverlay);
        CheckOverlay(*water->SurfaceFogOverlay, water->UpColor, *water, "surface");
        CheckOverlay(*water->SeaBedFogOverlay, water->BottomColor, *water, "sea bed");
        // The far edges are fully fogged, the near sea bed clear.
        EXPECT_EQ(water->SeaBedFogOverlay->Colors.Get(0) >> 24, 255u);
        EXPECT_EQ(water->SeaBedFogOverlay->Colors.Get(34) >> 24, 0u);

        Scene->Frame(0.04f);
        EXPECT_FALSE(Recorder.Has("glEnable", {GL_FOG})) << "overlays stand in for GL fog";
        EXPECT_TRUE(Recorder.Has("glDisable", {GL_FOG}));
        Recorder.Clear();
    }
    // Without emulation the shown water fogs its surface and sea bed with GL.
    World.SetEmulateDepth(false);
    EXPECT_FALSE(World.ShownWater()->EmulateDepth);
    Scene->Frame(0.04f);
    EXPECT_TRUE(Recorder.Has("glEnable", {GL_FOG}));
    EXPECT_TRUE(Recorder.Has("glFogf", {GL_FOG_START, 6000}));
    EXPECT_TRUE(Recorder.Has("glFogf", {GL_FOG_END, 10000}));
}

// --- settings ------------------------------------------------------------------------------------

TEST_F(AquariumTest, SettingsRoundTripThroughTheHostWithTheRealSchoolNames) {
    const std::map<std::string, std::string> stored = {
        {"FishTypeIndex", "1"}, {"WaterBackgroundIndex", "5"}, {"FishCount", "33"},   {"BubbleCount", "77"},
        {"FishDirection", "Left"}, {"EmulateDepth", "0"},      {"UseLights", "0"},    {"UseBackground", "0"},
        {"UseCaustic", "0"},    {"FishCaustic", "0"},          {"Neon Tetra", "0"},   {"Clown", "0"},
    };
    ASSERT_NO_FATAL_FAILURE(Start(stored));
    EXPECT_TRUE(Fresh->Visible());
    EXPECT_FALSE(Salt->Visible());
    TUnderWater* water = World.ShownWater();
    ASSERT_NE(water, nullptr);
    EXPECT_EQ(water->Name(), "Fresh Water - 3");
    for (TUnderWater* w : Waters()) {
        EXPECT_EQ(w->Visible(), w == water) << w->Name();
        ASSERT_NE(w->Light, nullptr);
        EXPECT_EQ(w->Light->Enabled, w == water) << w->Name();
    }
    EXPECT_FALSE(water->EmulateDepth || water->UseLights || water->UseBackground || water->UseCaustic);
    EXPECT_FALSE(Fresh->FishCaustic);
    EXPECT_EQ(Fresh->FishDirection, fdLeft);
    EXPECT_EQ(Bubbles->ParticleCount(), 77);
    // 33 over the nine visible fresh-water schools: 4, 4, 4, 4, 4, 4, 3, 3, 3.
    std::vector<int> counts;
    for (TFishes* school : Schools(*Fresh)) {
        if (school->Name() == "Neon Tetra") {
            EXPECT_FALSE(school->Visible());
            EXPECT_EQ(school->ParticleCount(), 0);
            continue;
        }
        counts.push_back(school->ParticleCount());
    }
    EXPECT_EQ(counts, (std::vector<int>{4, 4, 4, 4, 4, 4, 3, 3, 3}));
    EXPECT_FALSE(World.IsSchoolVisible("Clown"));
    EXPECT_TRUE(World.IsSchoolVisible("Red Oscar"));

    // Saved into an empty store: every school by its name, then the world's
    // values; what was loaded comes back, and Flat and SortAlpha as true.
    TMemorySceneHost saved{nullptr};
    World.FApp = &saved;
    World.SaveSettings();
    std::set<std::string> schoolKeys;
    for (TFishRender* r : {Salt, Fresh})
        for (TFishes* school : Schools(*r)) schoolKeys.insert(school->Name());
    EXPECT_EQ(schoolKeys.size(), 23u);
    for (const std::string& name : schoolKeys) {
        ASSERT_EQ(saved.Values.count(name), 1u) << name;
        EXPECT_EQ(saved.Values.at(name), name == "Neon Tetra" || name == "Clown" ? "0" : "1") << name;
    }
    for (const auto& [name, value] : stored) EXPECT_EQ(saved.Values[name], value) << name;
    EXPECT_EQ(saved.Values["Flat"], "1");
    EXPECT_EQ(saved.Values["SortAlpha"], "1");
    EXPECT_EQ(saved.Values.size(), schoolKeys.size() + 12);

    // A second start from what was saved applies the same.
    TUnderWaterWorld again;
    again.FApp = &saved;
    again.FScene = Scene.get();
    Scene->Frame(0.04f);
    again.LoadSettings();
    EXPECT_EQ(again.FishTypeIndex(), 1);
    EXPECT_EQ(again.WaterBackgroundIndex(), 5);
    EXPECT_EQ(again.FishCount(), 33);
    EXPECT_EQ(again.GetBubbleCount(), 77);
    EXPECT_EQ(again.FishDirection(), fdLeft);
    EXPECT_EQ(again.SchoolNames, World.SchoolNames);
    EXPECT_FALSE(again.IsSchoolVisible("Neon Tetra"));
    EXPECT_FALSE(again.EmulateDepth() || again.UseLights() || again.UseBackground() || again.UseCaustic() ||
                 again.FishCaustic());
    TMemorySceneHost resaved{nullptr};
    again.FApp = &resaved;
    again.SaveSettings();
    EXPECT_EQ(resaved.Values, saved.Values);
}

}  // namespace
