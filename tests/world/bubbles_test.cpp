#include "world/bubbles.h"

#include "render/gl_recorder.h"
#include "scene/loader.h"
#include "scene/memory_scene_host.h"
#include "world/random.h"

#include <gtest/gtest.h>

#include <cmath>
#include <memory>
#include <set>

namespace {

constexpr double kPi = 3.14159265358979323846;

class TProbeVisual : public TMainObject {
public:
    TProbeVisual() { Alpha = true; }
    void RenderBlended() override { ++Blended; }
    int Blended = 0;
};

class BubbleWorld : public ::testing::Test {
protected:
    BubbleWorld() {
        host.SceneView.FOV = 75;
        host.SceneView.WideScreen = true;
        host.SceneView.Aspect = 16.0 / 9.0;
        scene.Application = &host;
        auto b = std::make_unique<TBubbles>();
        b->SetName("Bubbles");
        bubbles = scene.Add(std::move(b));
        // The shipped script's values.
        bubbles->MinZ = 3500;
        bubbles->MaxZ = 7000;
        bubbles->MinSpeed = 150;
        bubbles->MaxSpeed = 450;
        bubbles->BottomY = -3000;
        bubbles->UpY = 5000;
        bubbles->MaxCount = 1000;
        SetRandomSeed(0);
    }
    TMemorySceneHost host{nullptr};
    TMainScene scene;
    TBubbles* bubbles;
};

// The column of q = k/12 + up to 0.01 either way, or -1.
int ColumnOf(double q) {
    const double k = std::round(q * 12);
    return std::fabs(q - k / 12) <= 0.01 + 1e-6 ? static_cast<int>(k) : -1;
}

TEST_F(BubbleWorld, BubblesRiseInTwelveColumnsAtTwelveDepths) {
    bubbles->SetParticleCount(1);
    TSceneParticle& b = *bubbles->Particle(0);
    const double tanHalf = std::tan(37.5 * kPi / 180);
    std::set<int> depthColumns, xColumns;
    for (int i = 0; i < 300; ++i) {
        bubbles->ResetParticle(b);
        const double depth = -b.Position.z;
        const int dc = ColumnOf((depth - 3500) / 3500);
        ASSERT_GE(dc, 0) << depth;
        depthColumns.insert(dc);
        const double halfW = depth * tanHalf * 16 / 9 + 100;
        const int xc = ColumnOf((b.Position.x + halfW) / (2 * halfW));
        ASSERT_GE(xc, 0) << b.Position.x;
        xColumns.insert(xc);
        EXPECT_FLOAT_EQ(b.Position.y, -3000);
        EXPECT_EQ(b.Speed.x, 0);
        EXPECT_GE(b.Speed.y, 150);
        EXPECT_LE(b.Speed.y, 450);
        EXPECT_EQ(b.AngleSpeed.y, 0);
        // Up to the top of the view at its depth, or to UpY.
        const double top = std::min(depth * tanHalf, 5000.0);
        EXPECT_NEAR(b.LifeTime * b.Speed.y, 3000 + top, 0.05);
    }
    EXPECT_EQ(depthColumns.size(), 12u);
    EXPECT_EQ(xColumns.size(), 12u);
}

TEST_F(BubbleWorld, NearBubblesStopAtTheTopOfTheViewDeepOnesAtUpY) {
    EXPECT_NEAR(3500 * std::tan(37.5 * kPi / 180), 2686, 0.5);
    EXPECT_NEAR(5000 / std::tan(37.5 * kPi / 180), 6516, 0.5);
    bubbles->SetParticleCount(1);
    TSceneParticle& b = *bubbles->Particle(0);
    bool sawNear = false, sawDeep = false;
    for (int i = 0; i < 300; ++i) {
        bubbles->ResetParticle(b);
        const double rise = b.LifeTime * b.Speed.y;
        if (-b.Position.z < 3600) {
            sawNear = true;
            EXPECT_NEAR(rise, 3000 + 2686, 80);
        }
        if (-b.Position.z > 6600) {
            sawDeep = true;
            EXPECT_NEAR(rise, 8000, 0.05);
        }
    }
    EXPECT_TRUE(sawNear && sawDeep);
}

TEST_F(BubbleWorld, SameColumnDrawsAtOtherDepthsLieFartherOut) {
    bubbles->SetParticleCount(2);
    TSceneParticle& a = *bubbles->Particle(0);
    TSceneParticle& b = *bubbles->Particle(1);
    // Draw a, then replay the same numbers for b with a deeper range.
    const uint32_t seed = RandomSeed();
    bubbles->ResetParticle(a);
    SetRandomSeed(seed);
    bubbles->MinZ = 5000;
    bubbles->MaxZ = 10000;
    bubbles->ResetParticle(b);
    EXPECT_LT(b.Position.z, a.Position.z);
    if (a.Position.x != 0) {
        EXPECT_GT(std::fabs(b.Position.x), std::fabs(a.Position.x));
    }
}

TEST_F(BubbleWorld, TheWindowShapeWidensTheColumnsWithoutWideScreen) {
    host.SceneView.WideScreen = false;
    host.SceneView.Aspect = 4.0 / 3.0;
    host.SceneView.WindowWidth = 2000;
    host.SceneView.WindowHeight = 500;  // 4:1
    bubbles->SetParticleCount(1);
    TSceneParticle& b = *bubbles->Particle(0);
    double widest = 0;
    for (int i = 0; i < 200; ++i) {
        bubbles->ResetParticle(b);
        const double halfH = -b.Position.z * std::tan(37.5 * kPi / 180);
        widest = std::max(widest, std::fabs(b.Position.x) / (halfH * 4 + 100));
    }
    // Columns reach from -1.01 to 0.85 of the half-width (4:1, not 4:3).
    EXPECT_GT(widest, 0.9);
    EXPECT_LE(widest, 1.02);
}

TEST_F(BubbleWorld, CountHasNoLimitAndZeroRemovesAll) {
    EXPECT_EQ(bubbles->SetParticleCount(1500), 1500);
    EXPECT_EQ(bubbles->ParticleCount(), 1500);
    bubbles->Animate(0.04f);
    for (int i = 0; i < 1500; i += 97) {
        const TSceneParticle& b = *bubbles->Particle(i);
        EXPECT_GE(b.Time, b.LifeTime / 16);
        EXPECT_LE(b.Time, b.LifeTime * 15 / 16);
        EXPECT_NEAR(b.Position.y, -3000 + b.Speed.y * b.Time, 0.5);
    }
    bubbles->SetParticleCount(0);
    EXPECT_EQ(bubbles->ParticleCount(), 0);
}

TEST_F(BubbleWorld, StillBubblesNeverResetAndNeverTurnNaN) {
    bubbles->MinSpeed = bubbles->MaxSpeed = 0;
    bubbles->SetParticleCount(3);
    bubbles->Animate(0.04f);
    const uint32_t seed = RandomSeed();
    for (int i = 0; i < 50; ++i) bubbles->Animate(100);
    EXPECT_EQ(RandomSeed(), seed);
    for (int i = 0; i < 3; ++i) {
        const TSceneParticle& b = *bubbles->Particle(i);
        EXPECT_TRUE(std::isinf(b.LifeTime));
        EXPECT_FLOAT_EQ(b.Position.y, -3000);
        EXPECT_TRUE(std::isfinite(b.Position.x) && std::isfinite(b.Position.z));
    }

    // No depth range and no view: the rise is 0 / 0.
    host.SceneView.FOV = 0;
    bubbles->MinZ = bubbles->MaxZ = 0;
    bubbles->BottomY = 0;
    bubbles->SetParticleCount(4);
    bubbles->Animate(0.04f);
    EXPECT_TRUE(TSceneParticleList::PathIsFinite(*bubbles->Particle(3)));
}

TEST_F(BubbleWorld, ScriptKeysFollowTheInheritedOnes) {
    TResourceLoader in;
    in.OpenText("[B]\nMaxZ=7000\nMinZ=3500\nUpY=5000\nBottomY=-3000\nMaxSpeed=450\nMinSpeed=150\n"
                "MaxCount=1000\nParticleCount=0\n");
    in.Section = "B";
    TBubbles loaded;
    loaded.ReadProperties(in);
    EXPECT_FLOAT_EQ(loaded.MaxZ, 7000);
    EXPECT_FLOAT_EQ(loaded.MinSpeed, 150);
    EXPECT_FLOAT_EQ(loaded.MaxCount, 1000);
    TResourceLoader out;
    out.CreateForWriting();
    out.Section = "B";
    loaded.WriteProperties(out);
    const auto& lines = out.Script()->Sections()[0].Lines;
    std::vector<std::string> keys;
    for (const auto& line : lines) keys.push_back(line.Key);
    const std::vector<std::string> tail{"MaxZ", "MinZ", "UpY", "BottomY", "MaxSpeed", "MinSpeed", "MaxCount"};
    ASSERT_GE(keys.size(), tail.size());
    EXPECT_EQ(std::vector<std::string>(keys.end() - 7, keys.end()), tail);
    EXPECT_NE(out.Script()->Value("B", "ParticleCount"), nullptr);
}

TEST_F(BubbleWorld, BubblesAreLitAndDrawnAsInstances) {
    TProbeVisual probe;
    bubbles->Visual = &probe;
    bubbles->SetParticleCount(3);
    bubbles->ProcessOptions = poRender;
    TGLRecorder rec;
    bubbles->Render();
    EXPECT_EQ(probe.Blended, 3);
    ASSERT_FALSE(rec.Calls.empty());
    EXPECT_STREQ(rec.Calls.front().Name, "glEnable");
    EXPECT_EQ(rec.Calls.front().Args[0], GL_LIGHTING);
    // Each bubble in its place, in both passes.
    EXPECT_EQ(rec.Count("glTranslatef"), 6);
    bubbles->Visual = nullptr;
}

}  // namespace
