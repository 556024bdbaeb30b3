// Schools of fish: particle lists whose particles share one animated mesh
// and swim along straight paths across the view, each given a new path as
// soon as it leaves. The same class serves drifting plankton, a starfish
// crawling on the sea bed and jellyfish.
#pragma once

#include "world/particles.h"

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

class TFishRender;
class TSceneMesh;

enum TFishType : uint8_t { ftFish = 0, ftPlankton = 1, ftStarFish = 2, ftJellyFish = 3 };

// "Fish", "Plankton", "StarFish", "JellyFish"; reading compares exactly and
// gives Fish for any other text.
std::string FishTypeToStr(TFishType type);
TFishType StrToFishType(std::string_view text);

class TFish : public TSceneParticle {
public:
    // Leaves its depth slot, so the renderer never keeps a freed fish.
    ~TFish() override;
    std::string_view ClassName() const override { return "TFish"; }

    float PathDepth = 0;  // z of the left end of the current path
    // The renderer whose slot DepthSlot is; null without one.
    TFishRender* SlotOwner = nullptr;
};

class TPlankton : public TSceneParticle {
public:
    std::string_view ClassName() const override { return "TPlankton"; }

    float NextTurnTime = 0;  // compared with Time
};

class TFishes : public TSceneParticleList, public TParticleRegion {
public:
    TFishes();
    std::string_view ClassName() const override { return "TFishes"; }

    // Its own keys first (so that MaxCount limits ParticleCount), then the
    // inherited ones.
    void ReadProperties(TResourceLoader& loader) override;
    void WriteProperties(TResourceLoader& loader) override;

    // Fish (swim frames first), plankton (only makes sure the mesh is
    // loaded), starfish and jellyfish.
    void RenderOpaque() override;
    void RenderBlended() override;

    // Plankton spawn; everything else spawns a fish and asks the renderer
    // for a depth slot, waiting a frame behind the camera when refused.
    void ResetParticle(TSceneParticle& particle) override;
    // The straight step; plankton also wander up and down.
    void MoveParticle(TSceneParticle& particle, float step) override;
    std::unique_ptr<TSceneParticle> CreateParticle() override;
    // Limited to MaxCount; the removed fishes' slots are released first.
    int SetParticleCount(int count) override;

    // A path from one side of the view to the other in one of the depth
    // bands, its ends outside the view by half a fish length.
    void SpawnFish(TFish& fish);
    void SpawnPlankton(TPlankton& plankton);
    void DriftPlankton(TPlankton& plankton);
    // Gives a frameless fish mesh a two-second swimming cycle of ten frames;
    // a mesh with frames of its own keeps them.
    void BuildSwimFrames();

    // The owner when it is a fish renderer, else null.
    TFishRender* Renderer() const;
    // The visual when it is a mesh, else null.
    TSceneMesh* Mesh() const;

    int32_t MaxCount = 0;
    TFishType FishType = ftFish;
    float HalfLength = 0;     // half the mesh's x extent plus 100
    bool NeedsPrepare = true;  // measure HalfLength at the next spawn

private:
    void MeasureHalfLength();
    // A path with values that are not finite: frees the slot and leaves the
    // particle for the list to park.
    void GiveUpPath(TSceneParticle& particle);
    void DrawParticles(bool blended);
};
