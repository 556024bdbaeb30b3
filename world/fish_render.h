// The fish renderer: the parent of every school of one water. A table of
// depth slots keeps fish apart when they spawn and gives the back-to-front
// order of their blended parts without sorting; a moving caustic light lies
// over everything it draws.
#pragma once

#include "world/sprites.h"

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

class TFish;
class TFishes;
class TSceneTexture;

enum TFishDirection : uint8_t { fdRight = 0, fdLeft = 1, fdBoth = 2 };

// "Right", "Left", "Both"; reading gives Both for anything but the first two.
std::string FishDirectionToStr(TFishDirection direction);
TFishDirection StrToFishDirection(std::string_view text);

class TFishRender : public TSceneLayer {
public:
    TFishRender();
    // Frees the schools while the slot table still exists.
    ~TFishRender() override;
    std::string_view ClassName() const override { return "TFishRender"; }

    // The list keys, then "StepZ", "SortAlpha", "FishDirection",
    // "LightMapTexture"; then Init.
    void ReadProperties(TResourceLoader& loader) override;
    void WriteProperties(TResourceLoader& loader) override;

    // Every school, visible or not, then the caustic clock.
    void Animate(float deltaTime) override;
    // Caustic on, then the opaque parts of every visible school.
    void RenderOpaque() override;
    // The blended parts of plankton, starfish and jellyfish, then the fish
    // from the farthest slot to the nearest; caustic off.
    void RenderBlended() override;

    // Sizes the slot table from the depth range and StepZ. Raises
    // "TFishRender.Init error: StepZ=0!" for a zero step.
    void Init();
    int SlotCount() const { return static_cast<int>(DepthSlots.size()); }
    // The slot of a depth; beyond the range, the last one.
    int SlotOf(float depth) const;
    // Gives the fish the slot of its path depth unless that slot is taken or
    // a fish in a neighbouring slot is less than MinVerticalGap away in
    // height. Always leaves the fish's previous slot first.
    bool ReserveSlot(TFishes& school, TFish& fish);
    void ReleaseSlot(TFish& fish);
    TFish* SlotFish(int slot) const;

    void BeginFishCaustic();
    void EndFishCaustic();

    std::vector<TFish*> DepthSlots;  // one entry per depth step; null when free
    float DepthMin = -10000;
    float DepthOrigin = 0;
    int32_t NeighbourSlots = 0;
    float StepZ = 10;
    float NeighbourDepth = 350;
    float MinVerticalGap = 800;
    bool SortAlpha = false;
    TFishDirection FishDirection = fdRight;
    TSceneTexture* LightMapTexture = nullptr;  // not owned
    float CausticTime = 0;
    bool FishCaustic = true;
    float NearBandFar = 2400;
    float FarBandNear = 6000;
    float MiddleBandNear = 4200;

    // A script cannot make the table larger than this.
    static constexpr int MaxDepthSlots = 1 << 20;
};
