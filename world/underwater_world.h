// Where the user's settings meet the loaded scene: which water and which
// fish renderer are shown, which schools swim and how many fish share out
// among them, the bubble count, the swimming direction, and the switches of
// the shown water. Reads and writes the settings through the scene host and
// applies them; the settings dialog changes them live through the setters.
#pragma once

#include "world/fish_render.h"

#include <cstdint>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

class ISceneHost;
class TFishes;
class TMainScene;
class TUnderWater;

class TUnderWaterWorld {
public:
    // Raises when the scene or the application is missing; otherwise finds
    // the waters and the two fish renderers anew, and marks nothing shown.
    void Init();
    // Init, then every setting read and applied to the scene.
    void LoadSettings();
    void SaveSettings();

    int32_t FishTypeIndex() const { return FFishTypeIndex; }
    int32_t WaterBackgroundIndex() const { return FWaterBackgroundIndex; }
    int32_t FishCount() const { return FFishCount; }
    bool EmulateDepth() const { return FEmulateDepth; }
    bool SortAlpha() const { return FSortAlpha; }
    TFishDirection FishDirection() const { return FFishDirection; }
    bool UseCaustic() const { return FUseCaustic; }
    bool UseBackground() const { return FUseBackground; }
    bool UseLights() const { return FUseLights; }
    bool Flat() const { return FFlat; }
    bool FishCaustic() const { return FFishCaustic; }
    int32_t ScreenCount() const { return FScreenCount; }

    // Shows renderer i (the last one for a larger i) and lists its schools.
    void SetFishTypeIndex(int32_t index);
    // Shows water i with the current switches; every other water is hidden.
    void SetWaterBackgroundIndex(int32_t index);
    void SetFishCount(int32_t count);
    void SetBubbleCount(int32_t count);
    int32_t GetBubbleCount() const;
    // Every renderer; fish take it with their next path.
    void SetFishDirection(TFishDirection direction);
    void SetSortAlpha(bool value);
    void SetFishCaustic(bool value);
    // These go to the shown water only.
    void SetEmulateDepth(bool value);
    void SetFlat(bool value);
    void SetScreenCount(int32_t count);
    void SetUseLights(bool value);
    void SetUseCaustic(bool value);
    void SetUseBackground(bool value);
    // Shows or hides a school (a hidden one loses its fish) and shares the
    // fish out again.
    void SetSchoolVisible(std::string_view name, bool visible);
    bool IsSchoolVisible(std::string_view name) const;
    // The first school of that name, looking through the renderers in order.
    TFishes* FindSchool(std::string_view name) const;
    // In every renderer, FishCount split among its visible schools of fish
    // (the first ones get one more while some are left over); visible
    // plankton, starfish and jellyfish get their MaxCount.
    void DistributeFishCount();

    // The water shown, or null when the index names none.
    TUnderWater* ShownWater() const;

    ISceneHost* FApp = nullptr;  // the settings store; not owned
    TMainScene* FScene = nullptr;  // not owned

    // In scene order.
    std::vector<std::pair<std::string, TUnderWater*>> Waters;
    // "SaltWater", then "FreshWater", each when the scene has it.
    std::vector<std::pair<std::string, TFishRender*>> Renderers;
    // The schools of the shown renderer, in child order.
    std::vector<std::string> SchoolNames;

private:
    int32_t FFishTypeIndex = 0;
    int32_t FWaterBackgroundIndex = 0;
    int32_t FFishCount = 0;
    bool FEmulateDepth = false;
    bool FSortAlpha = false;
    TFishDirection FFishDirection = fdRight;
    bool FUseCaustic = false;
    bool FUseBackground = false;
    bool FUseLights = false;
    bool FFlat = false;
    bool FFishCaustic = false;
    int32_t FScreenCount = 0;
};
