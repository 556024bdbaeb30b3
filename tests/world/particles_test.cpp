#include "world/particles.h"

#include "scene/loader.h"
#include "world/random.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <memory>
#include <string>

namespace {

// --- the life cycle --------------------------------------------------------------------------

// A visual that counts its clock steps.
class TClockProbe : public TMainObject {
public:
    void Animate(float deltaTime) override {
        ++Steps;
        Seconds += deltaTime;
    }
    int Steps = 0;
    float Seconds = 0;
};

// Paths along x from a fixed start; each reset is counted, and the path it
// gives can be changed by the test.
class TTestList : public TSceneParticleList {
public:
    TTestList() { SetName("P"); }
    void ResetParticle(TSceneParticle& p) override {
        ++Resets;
        p.Position = Start;
        p.Speed = Speed;
        p.AngleSpeed = {0, 90, 0};
        p.Angles = {};
        p.Time = StartTime;
        p.LifeTime = Life;
    }
    int Resets = 0;
    TVector3f Start{-100, 5, -50};
    TVector3f Speed{10, 0, 0};
    float StartTime = 0;
    float Life = 8;
};

TEST(ParticleList, NewParticlesAreNamedInOrderAndWaitForTheNextAnimate) {
    TTestList list;
    EXPECT_FALSE(list.ChildrenInScript);
    EXPECT_EQ(list.SetParticleCount(12), 12);
    ASSERT_EQ(list.ParticleCount(), 12);
    for (int i = 0; i < 12; ++i) {
        const TSceneParticle* p = list.Particle(i);
        ASSERT_NE(p, nullptr);
        // Insertion order, not name order ("P10" would sort before "P2").
        EXPECT_EQ(p->Name(), "P" + std::to_string(i));
        EXPECT_EQ(p->Time, 1);
        EXPECT_EQ(p->LifeTime, 0);
        EXPECT_EQ(p->SequenceNumber, static_cast<uint32_t>(i + 1));
        EXPECT_EQ(p->DepthSlot, -1);
        EXPECT_TRUE(p->FirstSpawn);
    }
    // A second growth numbers its particles from 1 again.
    list.SetParticleCount(14);
    EXPECT_EQ(list.Particle(12)->SequenceNumber, 1u);
    EXPECT_EQ(list.Particle(13)->Name(), "P13");

    TSceneParticle* kept = list.Particle(2);
    EXPECT_EQ(list.SetParticleCount(3), 3);
    EXPECT_EQ(list.Particle(2), kept) << "shrinking frees from the end";
    EXPECT_EQ(list.SetParticleCount(-4), 0);
    EXPECT_EQ(list.ParticleCount(), 0);
    EXPECT_EQ(list.SetParticleCount(1 << 30), TSceneParticleList::MaxParticleCount);
}

TEST(ParticleList, FirstPathsStartPartWayAlongLaterOnesAtTheStart) {
    TTestList list;
    list.SetParticleCount(40);
    SetRandomSeed(7);
    list.Animate(0.01f);
    EXPECT_EQ(list.Resets, 40);
    for (int i = 0; i < 40; ++i) {
        const TSceneParticle& p = *list.Particle(i);
        EXPECT_GE(p.Time, 8.0f / 16) << i;
        EXPECT_LE(p.Time, 8.0f * 15 / 16) << i;
        EXPECT_NEAR(p.Position.x, -100 + 10 * p.Time, 1e-3) << i;
        EXPECT_NEAR(p.Angles.y, 90 * p.Time, 1e-3) << i;
        EXPECT_FALSE(p.FirstSpawn);
    }

    // Run every particle past its end: the new path starts at the start.
    TSceneParticle& p = *list.Particle(0);
    p.Time = 7.99f;
    list.Animate(0.02f);
    EXPECT_EQ(p.Time, 0);
    EXPECT_FLOAT_EQ(p.Position.x, -100);
    // Within the life time it moves by the step.
    list.Animate(0.5f);
    EXPECT_FLOAT_EQ(p.Position.x, -95);
    EXPECT_FLOAT_EQ(p.Time, 0.5f);
}

TEST(ParticleList, APathThatStartsLaterKeepsItsStartPhase) {
    TTestList list;
    list.StartTime = -2;
    list.SetParticleCount(1);
    list.Animate(0.1f);
    TSceneParticle& p = *list.Particle(0);
    EXPECT_EQ(list.Resets, 1);
    EXPECT_FLOAT_EQ(p.Time, -2);
    EXPECT_TRUE(p.FirstSpawn);
    EXPECT_FLOAT_EQ(p.Position.x, -100);
    list.Animate(1);  // still waiting
    EXPECT_FLOAT_EQ(p.Position.x, -100);
    // Once started it moves by the whole step, as every moving particle does.
    list.Animate(1.5f);
    EXPECT_FLOAT_EQ(p.Time, 0.5f);
    EXPECT_FLOAT_EQ(p.Position.x, -85);
    EXPECT_FALSE(p.FirstSpawn);
}

TEST(ParticleList, GravityBendsTheSpeedEachMove) {
    TTestList list;
    list.EnableGravity = true;
    list.Gravity = 20;
    list.SetParticleCount(1);
    list.Animate(0.1f);  // reset, first move
    TSceneParticle& p = *list.Particle(0);
    EXPECT_FLOAT_EQ(list.GravityStep, 2);
    EXPECT_FLOAT_EQ(p.Speed.y, -2);
    const float y = p.Position.y;
    list.Animate(0.5f);
    EXPECT_FLOAT_EQ(p.Position.y, y - 2 * 0.5f);
    EXPECT_FLOAT_EQ(p.Speed.y, -12);
}

TEST(ParticleList, TheSharedVisualTicksOncePerFrameAndOnlyWithParticles) {
    TClockProbe probe;
    TTestList list;
    list.Visual = &probe;
    list.Animate(0.25f);
    EXPECT_EQ(probe.Steps, 0);
    list.SetParticleCount(5);
    list.Animate(0.25f);
    EXPECT_EQ(probe.Steps, 1);
    EXPECT_FLOAT_EQ(probe.Seconds, 0.25f);
}

TEST(ParticleList, AnUnusablePathParksTheParticleInsteadOfSpreadingNaN) {
    TTestList list;
    list.Start = {std::numeric_limits<float>::quiet_NaN(), 0, 0};
    list.SetParticleCount(1);
    list.Animate(0.1f);
    TSceneParticle& p = *list.Particle(0);
    EXPECT_TRUE(TSceneParticleList::PathIsFinite(p));
    EXPECT_FLOAT_EQ(p.Position.x, TSceneParticleList::ParkPosition.x);
    EXPECT_FLOAT_EQ(p.Position.z, TSceneParticleList::ParkPosition.z);
    EXPECT_FLOAT_EQ(p.LifeTime, TSceneParticleList::ParkRetryTime);
    // It does not ask again every frame.
    for (int i = 0; i < 5; ++i) list.Animate(0.1f);
    EXPECT_EQ(list.Resets, 1);
    list.Animate(1);
    EXPECT_EQ(list.Resets, 2);
}

TEST(ParticleList, AnEndlessPathStartsAtItsStartAndNeverResets) {
    TTestList list;
    list.Speed = {};
    list.Life = std::numeric_limits<float>::infinity();
    list.SetParticleCount(1);
    list.Animate(0.1f);
    TSceneParticle& p = *list.Particle(0);
    EXPECT_FLOAT_EQ(p.Position.x, -100);
    EXPECT_EQ(p.Time, 0);
    for (int i = 0; i < 100; ++i) list.Animate(10);
    EXPECT_EQ(list.Resets, 1);
    EXPECT_FLOAT_EQ(p.Position.x, -100);
    EXPECT_TRUE(std::isfinite(p.Position.y) && std::isfinite(p.Position.z));
}

TEST(ParticleList, ScriptKeysAndTheCountRoundTrip) {
    TTestList list;
    TResourceLoader in;
    in.OpenText("[P]\nGravity=-9.5\nEnableGravity=1\nParticleCount=3\nCapacity=50\nCount=2\n");
    in.Section = "P";
    list.ReadProperties(in);
    EXPECT_FLOAT_EQ(list.Gravity, -9.5f);
    EXPECT_TRUE(list.EnableGravity);
    EXPECT_EQ(list.ParticleCount(), 3);

    TResourceLoader out;
    out.CreateForWriting();
    out.Section = "P";
    list.SetParticleCount(4);
    list.WriteProperties(out);
    ASSERT_NE(out.Script()->Value("P", "ParticleCount"), nullptr);
    EXPECT_EQ(*out.Script()->Value("P", "ParticleCount"), "4");
    EXPECT_EQ(*out.Script()->Value("P", "EnableGravity"), "1");

    // A section without the key empties the list.
    TResourceLoader bare;
    bare.OpenText("[P]\nGravity=1\n");
    bare.Section = "P";
    list.ReadProperties(bare);
    EXPECT_EQ(list.ParticleCount(), 0);
}

}  // namespace
