#include "world/fishes.h"

#include "render/gl_objects.h"
#include "render/gl_recorder.h"
#include "scene/loader.h"
#include "scene/materials.h"
#include "scene/meshes.h"
#include "scene/memory_scene_host.h"
#include "world/fish_render.h"
#include "world/random.h"

#include <gtest/gtest.h>

#include <cmath>
#include <memory>
#include <set>
#include <string>
#include <vector>

namespace {

constexpr double kPi = 3.14159265358979323846;

// A mesh of one opaque group: a flat box 200 long (x), 40 high, 20 deep.
struct TBoxMesh {
    TBoxMesh() {
        Material.SetName("Skin");
        Material.AddGroupMaterial();
        Mesh.SetName("fish.3dm");
        Mesh.Material = &Material;
        Mesh.Loaded = true;
        TMeshGroup* group = Mesh.AddGroup(0, 0, nullptr);
        const float xyz[] = {-100, -20, -10, 100, -20, -10, 100, 20, 10, -100, 20, 10, 0, 0, 0};
        group->Primitive->Vertices.Assign(xyz, 5);
        const int16_t indices[] = {0, 1, 4, 1, 2, 4, 2, 3, 4, 3, 0, 4};
        group->Primitive->Indices.Assign(indices, 12);
    }
    TSceneMaterial Material;
    TSceneMesh Mesh;
};

class FishWorld : public ::testing::Test {
protected:
    FishWorld() {
        // Camera at the origin, 75 degrees, 16:9, near plane at 100.
        host.SceneView.FOV = 75;
        host.SceneView.NearDepth = 100;
        host.SceneView.WideScreen = true;
        host.SceneView.Aspect = 16.0 / 9.0;
        scene.Application = &host;
        auto render = std::make_unique<TFishRender>();
        render->SetName("SaltWater");
        renderer = scene.Add(std::move(render));
        SetRandomSeed(0);
    }

    // A school of the renderer with MaxCount 100 and the box mesh.
    TFishes& School(const std::string& name, TFishType type = ftFish) {
        auto school = std::make_unique<TFishes>();
        school->SetName(name);
        school->FishType = type;
        school->MaxCount = 100;
        school->Visual = &box.Mesh;
        return *renderer->Add(std::move(school));
    }

    static TFish& FishOf(TFishes& school, int i) { return *dynamic_cast<TFish*>(school.GetItem(i)); }

    // A school of the shipped scene's shape: depths 1400 to maxZ, speeds 250
    // to 450, heights -2000 to 2500.
    TFishes& ReefSchool(const std::string& name, float maxZ = 8000) {
        TFishes& school = School(name);
        school.MinZ = 1400;
        school.MaxZ = maxZ;
        school.MinSpeed = 250;
        school.MaxSpeed = 450;
        school.BottomY = -2000;
        school.UpY = 2500;
        return school;
    }

    TBoxMesh box;
    TMemorySceneHost host{nullptr};
    TMainScene scene;
    TFishRender* renderer;
};

// --- paths ------------------------------------------------------------------------------------

TEST_F(FishWorld, WorkedNearBandPath) {
    TFishes& school = School("Angelfish");
    // Depth exactly 2000: the near band from 2000 to 2000.
    renderer->NearBandFar = 2000;
    school.MinZ = 2000;
    school.MaxZ = 5000;
    school.MinSpeed = school.MaxSpeed = 300;
    school.NeedsPrepare = false;
    school.HalfLength = 300;
    school.SetParticleCount(1);
    TFish& fish = FishOf(school, 0);

    ASSERT_NEAR(host.SceneView.Right(), 136.41, 0.01);
    school.SpawnFish(fish);
    EXPECT_NEAR(fish.Position.x, -3018.05, 0.05);
    EXPECT_NEAR(fish.Position.z, -1922.35, 0.05);
    EXPECT_NEAR(fish.PathDepth, -1922.35, 0.05);
    EXPECT_NEAR(fish.LifeTime, 31.68, 0.01);
    EXPECT_FLOAT_EQ(fish.Angles.y, 15);
    EXPECT_NEAR(fish.Speed.x, 300 * std::cos(15 * kPi / 180), 1e-3);
    EXPECT_NEAR(fish.Speed.z, -300 * std::sin(15 * kPi / 180), 1e-3);
    EXPECT_EQ(fish.Speed.y, 0);
    EXPECT_EQ(fish.Time, 0);
    // Swimming the whole life time reaches the far end.
    EXPECT_NEAR(fish.Position.x + fish.Speed.x * fish.LifeTime, 6161.53, 0.1);
    EXPECT_NEAR(fish.Position.z + fish.Speed.z * fish.LifeTime, -4382.01, 0.1);

    // From the right: the far end, turned round, the same path depth.
    renderer->FishDirection = fdLeft;
    school.SpawnFish(fish);
    EXPECT_NEAR(fish.Position.x, 6161.53, 0.05);
    EXPECT_NEAR(fish.Position.z, -4382.01, 0.05);
    EXPECT_NEAR(fish.PathDepth, -1922.35, 0.05);
    EXPECT_FLOAT_EQ(fish.Angles.y, 195);
    EXPECT_NEAR(fish.Speed.x, -300 * std::cos(15 * kPi / 180), 1e-3);
    EXPECT_GT(fish.Speed.z, 0);

    // Both: some from each side.
    renderer->FishDirection = fdBoth;
    std::set<float> headings;
    for (int i = 0; i < 20; ++i) {
        school.SpawnFish(fish);
        headings.insert(fish.Angles.y);
    }
    EXPECT_EQ(headings, (std::set<float>{15, 195}));
}

TEST_F(FishWorld, StarfishCrawlsAlongTheSeaBedAtItsOneDepth) {
    TFishes& star = School("Starfish", ftStarFish);
    star.MinZ = star.MaxZ = 4400;
    star.MinSpeed = star.MaxSpeed = 15;
    star.BottomY = star.UpY = -3000;
    star.MaxCount = 1;
    star.SetParticleCount(5);
    ASSERT_EQ(star.ParticleCount(), 1);
    TFish& fish = FishOf(star, 0);
    star.SpawnFish(fish);
    // Half the box (100) plus 100 beyond the view's edge.
    EXPECT_FLOAT_EQ(star.HalfLength, 200);
    EXPECT_FLOAT_EQ(fish.Position.z, -4400);
    EXPECT_FLOAT_EQ(fish.Position.y, -3000);
    EXPECT_FLOAT_EQ(fish.Angles.y, 0);
    EXPECT_FLOAT_EQ(fish.Speed.x, 15);
    EXPECT_FLOAT_EQ(fish.Speed.z, 0);
    const double edge = 44 * host.SceneView.Right();
    EXPECT_NEAR(fish.Position.x, -edge - 200, 0.05);
    EXPECT_NEAR(fish.LifeTime, (2 * edge + 400) / 15, 0.01);
}

TEST_F(FishWorld, ShallowSchoolsOnlyUseTheNearBand) {
    TFishes& school = ReefSchool("Clown", 5900);
    school.SetParticleCount(1);
    TFish& fish = FishOf(school, 0);
    for (int i = 0; i < 200; ++i) {
        school.SpawnFish(fish);
        ASSERT_FLOAT_EQ(fish.Angles.y, 15);
        const double depth = -(fish.PathDepth - std::sin(15 * kPi / 180) * school.HalfLength);
        ASSERT_GE(depth, 1400 - 0.1);
        ASSERT_LE(depth, 2400 + 0.1);
        ASSERT_GE(fish.Position.y, -2000);
        ASSERT_LE(fish.Position.y, 2500);
        ASSERT_GE(fish.Speed.x, 250 * std::cos(15 * kPi / 180) - 0.01);
        ASSERT_LE(fish.Speed.x, 450 * std::cos(15 * kPi / 180) + 0.01);
    }
}

TEST_F(FishWorld, DeepSchoolsRollTheirBandByMaxCount) {
    TFishes& school = ReefSchool("Tang");
    school.SetParticleCount(1);
    TFish& fish = FishOf(school, 0);
    int nearCount = 0, middle = 0, far = 0;
    for (int i = 0; i < 1000; ++i) {
        school.SpawnFish(fish);
        if (fish.Angles.y == 15) {
            ++nearCount;
            continue;
        }
        ASSERT_EQ(fish.Angles.y, 0);
        const double depth = -fish.PathDepth;  // heading 0: no shift in z
        if (depth < 6000) {
            ++middle;
            ASSERT_GE(depth, 4200);
            ASSERT_LE(depth, 6000 - 350);
        } else {
            ++far;
            ASSERT_GE(depth, 6000 + 350);
            ASSERT_LE(depth, 8000 + 350);
            ASSERT_GE(fish.Position.y, 250 - 0.01) << "far fish keep to the upper half";
        }
    }
    // Rolls of 0..19 of 100, 20..49, 50..100.
    EXPECT_NEAR(nearCount, 195, 50);
    EXPECT_NEAR(middle, 300, 60);
    EXPECT_NEAR(far, 505, 60);
}

TEST_F(FishWorld, HeightsAreKeptInsideTheViewAtTheirDepth) {
    TFishes& school = School("High");
    school.MinZ = school.MaxZ = 1000;  // top of the view there: 767
    school.BottomY = 5000;
    school.UpY = 6000;
    school.MinSpeed = school.MaxSpeed = 100;
    school.SetParticleCount(1);
    TFish& fish = FishOf(school, 0);
    school.SpawnFish(fish);
    EXPECT_NEAR(fish.Position.y, 10 * host.SceneView.Top(), 1e-2);
}

// --- the life cycle ---------------------------------------------------------------------------

TEST_F(FishWorld, FirstFishAppearPartWayAlongTheirPaths) {
    TFishes& school = ReefSchool("Tang");
    school.SetParticleCount(20);
    school.Animate(0.001f);
    int swimming = 0;
    for (int i = 0; i < 20; ++i) {
        const TFish& fish = FishOf(school, i);
        EXPECT_FALSE(fish.FirstSpawn);
        if (fish.DepthSlot < 0) {
            // Refused: waiting behind the camera, its start phase used up.
            EXPECT_EQ(fish.LifeTime, 0);
            EXPECT_EQ(fish.Time, 0);
            EXPECT_GT(fish.Position.z, 0);
            continue;
        }
        ++swimming;
        EXPECT_GE(fish.Time, fish.LifeTime / 16) << i;
        EXPECT_LE(fish.Time, fish.LifeTime * 15 / 16) << i;
        EXPECT_EQ(renderer->SlotFish(fish.DepthSlot), &fish);
    }
    EXPECT_GT(swimming, 5);

    // A refused fish tries again on the next frame, from the edge.
    for (int i = 0; i < 20; ++i) {
        TFish& fish = FishOf(school, i);
        if (fish.DepthSlot >= 0) continue;
        school.Animate(0.001f);
        if (fish.DepthSlot >= 0) {
            EXPECT_EQ(fish.Time, 0) << "a later path starts at the edge";
        }
        break;
    }
}

TEST_F(FishWorld, AFishRefusedASlotIsParkedForAFrame) {
    TFishes& school = School("Pair");
    school.MinZ = school.MaxZ = 3000;
    school.BottomY = school.UpY = 0;
    school.MinSpeed = school.MaxSpeed = 300;
    school.SetParticleCount(2);
    TFish& first = FishOf(school, 0);
    TFish& second = FishOf(school, 1);
    school.ResetParticle(first);
    ASSERT_GE(first.DepthSlot, 0);
    school.ResetParticle(second);
    EXPECT_EQ(second.DepthSlot, -1);
    EXPECT_FLOAT_EQ(second.Position.x, -5000);
    EXPECT_FLOAT_EQ(second.Position.y, 0);
    EXPECT_FLOAT_EQ(second.Position.z, 5000);
    EXPECT_EQ(second.Time, 1);
    EXPECT_EQ(second.LifeTime, 0);
    EXPECT_NE(first.Position.z, 5000);
}

TEST_F(FishWorld, ShrinkingASchoolReleasesTheSlotsOfTheFishItRemoves) {
    TFishes& school = ReefSchool("Tang");
    school.SetParticleCount(30);
    for (int frame = 0; frame < 5; ++frame) school.Animate(0.001f);
    auto held = [&] {
        int n = 0;
        for (TFish* f : renderer->DepthSlots) n += f != nullptr;
        return n;
    };
    int kept = 0;
    for (int i = 0; i < 3; ++i) kept += FishOf(school, i).DepthSlot >= 0;
    ASSERT_GT(held(), kept);
    school.SetParticleCount(3);
    EXPECT_EQ(held(), kept);
    for (TFish* f : renderer->DepthSlots)
        if (f) {
            EXPECT_EQ(f->Owner, &school);
        }
    school.SetParticleCount(0);
    EXPECT_EQ(held(), 0);
}

TEST_F(FishWorld, AZeroSpeedOrADegenerateViewParksTheFishWithoutNaN) {
    TFishes& school = School("Still");
    school.MinZ = school.MaxZ = 3000;
    school.SetParticleCount(1);  // speeds 0
    school.Animate(0.02f);
    TFish& fish = FishOf(school, 0);
    auto expectParked = [&] {
        EXPECT_TRUE(TSceneParticleList::PathIsFinite(fish));
        EXPECT_FLOAT_EQ(fish.Position.z, 5000);
        EXPECT_EQ(fish.DepthSlot, -1);
        EXPECT_FLOAT_EQ(fish.LifeTime, TSceneParticleList::ParkRetryTime);
    };
    expectParked();
    // No new path is drawn every frame.
    const uint32_t seed = RandomSeed();
    for (int i = 0; i < 10; ++i) school.Animate(0.02f);
    EXPECT_EQ(RandomSeed(), seed);
    expectParked();

    // A speed, but a view with no width.
    school.MinSpeed = school.MaxSpeed = 100;
    host.SceneView.FOV = 0;
    school.Animate(1);
    expectParked();
    host.SceneView.FOV = 75;
    school.Animate(0.5f);
    EXPECT_EQ(fish.DepthSlot, -1) << "still waiting out the retry time";
    school.Animate(0.6f);
    EXPECT_GE(fish.DepthSlot, 0);
    EXPECT_LT(fish.Position.z, 0);
    EXPECT_FALSE(fish.FirstSpawn);

    // Plankton too.
    TFishes& specks = School("Plankton", ftPlankton);
    specks.MinZ = 1000;
    specks.MaxZ = 1500;
    specks.SetParticleCount(3);
    specks.Animate(0.1f);
    for (int i = 0; i < 3; ++i) {
        const TSceneParticle& p = *specks.Particle(i);
        EXPECT_TRUE(TSceneParticleList::PathIsFinite(p));
        EXPECT_FLOAT_EQ(p.Position.z, 5000);
        EXPECT_EQ(p.Speed.y, 0);
    }
}

TEST_F(FishWorld, SameTimingsGiveTheSameFish) {
    auto run = [&](const std::string& name) {
        TFishes& school = ReefSchool(name);
        school.SetParticleCount(10);
        SetRandomSeed(0);
        for (int frame = 0; frame < 50; ++frame) school.Animate(0.04f);
        std::vector<float> state;
        for (int i = 0; i < 10; ++i) {
            const TFish& f = FishOf(school, i);
            state.insert(state.end(), {f.Position.x, f.Position.y, f.Position.z, f.Time});
        }
        school.SetParticleCount(0);
        return state;
    };
    EXPECT_EQ(run("A"), run("B"));
}

// --- plankton ---------------------------------------------------------------------------------

TEST_F(FishWorld, PlanktonDriftsAcrossTheViewAndWandersUpAndDown) {
    TFishes& specks = School("Plankton", ftPlankton);
    specks.MinZ = 1000;
    specks.MaxZ = 1500;
    specks.MinSpeed = 25;
    specks.MaxSpeed = 50;
    specks.BottomY = -1000;
    specks.UpY = 500;
    specks.SetParticleCount(50);
    ASSERT_NE(dynamic_cast<TPlankton*>(specks.GetItem(0)), nullptr);
    for (int i = 0; i < 50; ++i) {
        auto& p = *dynamic_cast<TPlankton*>(specks.GetItem(i));
        specks.SpawnPlankton(p);
        const double depth = -p.Position.z;
        ASSERT_GE(depth, 1000);
        ASSERT_LE(depth, 1500);
        const double edge = depth / 100 * host.SceneView.Right();
        EXPECT_NEAR(std::fabs(p.Position.x), edge, 0.05);
        // Starts on the side it moves away from.
        EXPECT_LT(p.Position.x * p.Speed.x, 0);
        EXPECT_GE(std::fabs(p.Speed.x), 25);
        EXPECT_LE(std::fabs(p.Speed.x), 50);
        EXPECT_NEAR(p.LifeTime, 2 * edge / std::fabs(p.Speed.x), 1e-3);
        EXPECT_GE(p.Position.y, std::max(-1000.0, -depth / 100 * host.SceneView.Top()) - 0.01);
        EXPECT_LE(p.Position.y, 500);
        EXPECT_EQ(p.AngleSpeed.y, 144);
        EXPECT_EQ(p.DepthSlot, -1);
    }

    auto& p = *dynamic_cast<TPlankton*>(specks.GetItem(0));
    p.Time = 1;
    p.NextTurnTime = 0.5f;
    specks.DriftPlankton(p);
    EXPECT_LE(std::fabs(p.Speed.y), 50);
    EXPECT_GE(p.NextTurnTime, 1);
    EXPECT_LT(p.NextTurnTime, 2);
    const float vy = p.Speed.y, next = p.NextTurnTime;
    specks.DriftPlankton(p);  // not yet time to turn
    EXPECT_EQ(p.Speed.y, vy);
    EXPECT_EQ(p.NextTurnTime, next);
}

// --- script -------------------------------------------------------------------------------------

TEST_F(FishWorld, ScriptKeysLimitTheCountAndParseTheTypeExactly) {
    TFishes& school = School("Loaded");
    TResourceLoader in;
    in.OpenText(
        "[S]\nMaxZ=8000\nMinZ=1400\nUpY=2500\nBottomY=-2000\nMaxSpeed=450\nMinSpeed=250\nMaxCount=7\n"
        "FishType=fish\nParticleCount=20\n");
    in.Section = "S";
    school.NeedsPrepare = false;
    school.ReadProperties(in);
    EXPECT_EQ(school.FishType, ftFish) << "wrong case is no type name: Fish";
    EXPECT_EQ(school.ParticleCount(), 7);
    EXPECT_TRUE(school.NeedsPrepare);
    EXPECT_FLOAT_EQ(school.MaxZ, 8000);
    EXPECT_FLOAT_EQ(school.BottomY, -2000);

    EXPECT_EQ(StrToFishType("Plankton"), ftPlankton);
    EXPECT_EQ(StrToFishType("StarFish"), ftStarFish);
    EXPECT_EQ(StrToFishType("JellyFish"), ftJellyFish);
    EXPECT_EQ(StrToFishType("Starfish"), ftFish);

    school.FishType = ftJellyFish;
    TResourceLoader out;
    out.CreateForWriting();
    out.Section = "S";
    school.WriteProperties(out);
    EXPECT_EQ(*out.Script()->Value("S", "FishType"), "JellyFish");
    EXPECT_EQ(*out.Script()->Value("S", "MaxCount"), "7");
    EXPECT_EQ(*out.Script()->Value("S", "ParticleCount"), "7");

    school.MaxCount = 0;
    EXPECT_EQ(school.SetParticleCount(10), 0);
    EXPECT_EQ(school.ParticleCount(), 0);
}

// --- swim frames and drawing ----------------------------------------------------------------------

TEST_F(FishWorld, AFramelessFishMeshGetsATwoSecondSwimCycle) {
    TFishes& school = School("Empty");
    TGLRecorder rec;
    school.RenderOpaque();  // no fish, but the mesh is prepared
    TSceneMesh& mesh = box.Mesh;
    ASSERT_EQ(mesh.FrameCount(), 10);
    EXPECT_FLOAT_EQ(mesh.FPS, 5);
    const TMeshGroup& group = *mesh.OpaqueGroups.Get(0);
    ASSERT_EQ(group.NormalFrames.Count(), 10);

    // The middle vertex (0, 0, 0) in frame 1: amplitude between the head's
    // 0.08 x 200 and an eighth of it, phase (x - minX) * pi / 100 + 0.2 pi.
    const double a = 16, a8 = 2, x10 = -80, x70 = 40;
    const double amp = a + (0 - x10) * (a8 - a) / (x70 - x10);
    const TVector3f mid = group.VertexFrames.Frame(1).Get(4);
    EXPECT_NEAR(mid.x, 0, 1e-5);
    EXPECT_NEAR(mid.y, 0, 1e-5);
    EXPECT_NEAR(mid.z, amp * std::sin(kPi + 0.2 * kPi), 1e-4);
    // The cycle moves: frames differ, and each has normals of its own.
    EXPECT_NE(group.VertexFrames.Frame(1).Get(4).z, group.VertexFrames.Frame(6).Get(4).z);
    const TVector3f n = group.NormalFrames.Frame(3).Get(4);
    EXPECT_NEAR(n.x * n.x + n.y * n.y + n.z * n.z, 1, 1e-4);
    for (int f = 0; f < 10; ++f)
        for (int i = 0; i < 5; ++i) {
            const TVector3f v = group.VertexFrames.Frame(f).Get(i);
            ASSERT_TRUE(std::isfinite(v.x) && std::isfinite(v.y) && std::isfinite(v.z));
        }

    // Built once: a second pass adds nothing.
    school.RenderBlended();
    EXPECT_EQ(mesh.FrameCount(), 10);
}

TEST_F(FishWorld, AMeshWithItsOwnFramesKeepsThem) {
    TFishes& school = School("Animated");
    box.Mesh.AddFrames(3, 3);
    box.Mesh.FPS = 6;
    TGLRecorder rec;
    school.RenderOpaque();
    EXPECT_EQ(box.Mesh.FrameCount(), 3);
    EXPECT_FLOAT_EQ(box.Mesh.FPS, 6);

    // Starfish and jellyfish never get swim frames.
    TBoxMesh other;
    TFishes& star = School("Star", ftStarFish);
    star.Visual = &other.Mesh;
    star.RenderOpaque();
    EXPECT_EQ(other.Mesh.FrameCount(), 0);
}

TEST_F(FishWorld, EachFishIsDrawnAtItsPlace) {
    TFishes& school = School("Two");
    school.SetParticleCount(2);
    FishOf(school, 0).Position = {1, 2, 3};
    FishOf(school, 1).Position = {4, 5, 6};
    TGLRecorder rec;
    school.RenderOpaque();
    EXPECT_TRUE(rec.Has("glTranslatef", {1, 2, 3}));
    EXPECT_TRUE(rec.Has("glTranslatef", {4, 5, 6}));
    EXPECT_EQ(rec.Count("glDrawElements"), 2);
    EXPECT_EQ(rec.Count("glPushMatrix"), rec.Count("glPopMatrix"));
    rec.Clear();
    school.RenderBlended();  // no blended groups: nothing
    EXPECT_EQ(rec.Count("glDrawElements"), 0);
}

TEST_F(FishWorld, PlanktonIsDrawnBlendedWithoutCullingOrDepthTest) {
    TFishes& specks = School("Plankton", ftPlankton);
    specks.SetParticleCount(1);
    TGLRecorder rec;
    specks.RenderOpaque();
    EXPECT_EQ(rec.Count("glDrawElements"), 0);
    EXPECT_EQ(box.Mesh.FrameCount(), 0);
    EXPECT_TRUE(rec.Has("glDisable", {GL_CULL_FACE}));
    EXPECT_TRUE(rec.Has("glEnable", {GL_CULL_FACE}));
    rec.Clear();
    specks.RenderBlended();
    ASSERT_GE(rec.Calls.size(), 4u);
    EXPECT_TRUE(rec.Has("glDisable", {GL_DEPTH_TEST}));
    EXPECT_STREQ(rec.Calls.back().Name, "glEnable");
    EXPECT_EQ(rec.Calls.back().Args[0], GL_DEPTH_TEST);
}

}  // namespace
