// Particles: visual objects that move along straight paths for a life time
// and are then given a new path by their list, which draws them all as
// instances of one shared visual. Base of the schools of fish and the
// bubbles.
#pragma once

#include "scene/scene_host.h"
#include "scene/visuals.h"

#include <cstdint>
#include <memory>
#include <string_view>

class TSceneParticle : public TMainVisualObject {
public:
    std::string_view ClassName() const override { return "TSceneParticle"; }

    float Time = 0;      // seconds on the current path; negative: not started
    float LifeTime = 0;  // seconds the current path lasts
    TVector3f Speed{0, 0, 0};       // units per second
    TVector3f AngleSpeed{0, 0, 0};  // degrees per second about X, Y, Z
    int32_t DepthSlot = -1;         // the renderer's depth slot held, -1 for none
    bool FirstSpawn = true;         // until the first path has taken effect
    uint32_t SequenceNumber = 0;    // 1, 2, ... within one growth of the list
};

// The box and speed range a list's particles move in, in front of the
// camera, with the script keys that set them.
struct TParticleRegion {
    // "MaxZ", "MinZ", "UpY", "BottomY", "MaxSpeed", "MinSpeed"; a missing
    // key keeps its value.
    void ReadRegion(const TResourceLoader& loader);
    void WriteRegion(TResourceLoader& loader) const;

    float MaxZ = 0;  // largest depth
    float MinZ = 0;
    float UpY = 0;
    float BottomY = 0;
    float MaxSpeed = 0;  // units per second
    float MinSpeed = 0;
};

class TSceneParticleList : public TMainVisualObjectList {
public:
    // Particles come from the count, never from child sections, and keep the
    // order they were added in.
    TSceneParticleList();
    std::string_view ClassName() const override { return "TSceneParticleList"; }

    // "Visual", then "Gravity", "EnableGravity", "ParticleCount" (default 0,
    // applied through SetParticleCount).
    void ReadProperties(TResourceLoader& loader) override;
    void WriteProperties(TResourceLoader& loader) override;

    // Ages every particle; one past its life time gets a new path, and a new
    // particle's first path starts part-way along.
    void Animate(float deltaTime) override;

    // Gives the particle a new path; nothing here.
    virtual void ResetParticle(TSceneParticle& particle);
    // Straight-line motion by step seconds, plus gravity when enabled.
    virtual void MoveParticle(TSceneParticle& particle, float step);
    virtual std::unique_ptr<TSceneParticle> CreateParticle();
    // Frees particles from the end or appends new ones (named list name +
    // index, reset on the next Animate); returns the new count.
    virtual int SetParticleCount(int count);

    int ParticleCount() const { return GetCount(); }
    // The particle at index, in the order added; null for another kind.
    TSceneParticle* Particle(int index) const;

    // Takes a particle whose path came out unusable (NaN or infinite values,
    // from a zero speed or a degenerate view) off the path: behind the
    // camera, still, until it asks again ParkRetryTime seconds later.
    static void ParkParticle(TSceneParticle& particle);
    // True when position, speeds, time and life time are all finite.
    static bool PathIsFinite(const TSceneParticle& particle);

    // The view the scene is seen through; the defaults outside a scene or
    // without a host.
    TSceneView View() const;

    float Gravity = 0;  // units per second squared
    bool EnableGravity = false;
    float GravityStep = 0;  // Gravity times the last DeltaTime

    // No script can ask for more particles than this.
    static constexpr int MaxParticleCount = 16384;
    static constexpr float ParkRetryTime = 1.0f;
    // Where a particle without a path waits: behind the camera.
    static constexpr TVector3f ParkPosition{-5000, 0, 5000};
};
