#include "world/underwater_world.h"

#include "core/errors.h"
#include "scene/objects.h"
#include "scene/scene_host.h"
#include "world/fishes.h"
#include "world/particles.h"
#include "world/underwater.h"

namespace {

// The schools of a renderer, in child order.
template <class F>
void ForEachSchool(const TFishRender& renderer, F&& f) {
    for (int i = 0, n = renderer.GetCount(); i < n; ++i)
        if (auto* school = dynamic_cast<TFishes*>(renderer.GetItem(i))) f(*school);
}

}  // namespace

void TUnderWaterWorld::Init() {
    if (!FScene) throw Exception("TUnderWaterWorld.Init error: FScene=NIL");
    if (!FApp) throw Exception("TUnderWaterWorld.Init error: FApp=NIL");
    // Found anew each time: a second load must not list anything twice, or
    // showing entry i would hide its own duplicate.
    Renderers.clear();
    Waters.clear();
    for (const char* name : {"SaltWater", "FreshWater"})
        if (auto* renderer = dynamic_cast<TFishRender*>(FScene->FindObject(name))) Renderers.emplace_back(name, renderer);
    for (int i = 0, n = FScene->GetCount(); i < n; ++i)
        if (auto* water = dynamic_cast<TUnderWater*>(FScene->GetItem(i))) Waters.emplace_back(water->Name(), water);
    FFishTypeIndex = -1;
    FWaterBackgroundIndex = -1;
}

void TUnderWaterWorld::LoadSettings() {
    Init();
    ISceneHost& app = *FApp;
    FEmulateDepth = app.ReadBool("EmulateDepth", true);
    FFlat = true;
    FUseBackground = app.ReadBool("UseBackground", true);
    for (auto& [name, renderer] : Renderers)
        ForEachSchool(*renderer, [&](TFishes& school) { school.SetVisible(app.ReadBool(school.Name(), true)); });
    SetSortAlpha(true);
    SetFishDirection(StrToFishDirection(app.ReadString("FishDirection", "Both")));
    SetFishTypeIndex(app.ReadInteger("FishTypeIndex", 0));
    SetWaterBackgroundIndex(app.ReadInteger("WaterBackgroundIndex", 0));
    SetFishCount(app.ReadInteger("FishCount", 20));
    SetBubbleCount(app.ReadInteger("BubbleCount", 50));
    SetUseLights(app.ReadBool("UseLights", true));
    SetUseCaustic(app.ReadBool("UseCaustic", true));
    SetFishCaustic(app.ReadBool("FishCaustic", true));
}

void TUnderWaterWorld::SaveSettings() {
    if (!FApp) throw Exception("TUnderWaterWorld.SaveSettings error: FApp=NIL");
    ISceneHost& app = *FApp;
    for (auto& [name, renderer] : Renderers)
        ForEachSchool(*renderer, [&](TFishes& school) { app.WriteBool(school.Name(), school.Visible()); });
    app.WriteBool("SortAlpha", FSortAlpha);
    app.WriteString("FishDirection", FishDirectionToStr(FFishDirection));
    app.WriteInteger("FishTypeIndex", FFishTypeIndex);
    app.WriteInteger("WaterBackgroundIndex", FWaterBackgroundIndex);
    app.WriteInteger("FishCount", FFishCount);
    app.WriteInteger("BubbleCount", GetBubbleCount());
    app.WriteBool("EmulateDepth", FEmulateDepth);
    app.WriteBool("Flat", FFlat);
    app.WriteBool("UseLights", FUseLights);
    app.WriteBool("UseBackground", FUseBackground);
    app.WriteBool("UseCaustic", FUseCaustic);
    app.WriteBool("FishCaustic", FFishCaustic);
}

TUnderWater* TUnderWaterWorld::ShownWater() const {
    if (FWaterBackgroundIndex < 0 || static_cast<size_t>(FWaterBackgroundIndex) >= Waters.size()) return nullptr;
    return Waters[static_cast<size_t>(FWaterBackgroundIndex)].second;
}

void TUnderWaterWorld::SetFishTypeIndex(int32_t index) {
    if (index == FFishTypeIndex) return;
    FFishTypeIndex = index;
    if (index < 0) return;
    const auto count = static_cast<int32_t>(Renderers.size());
    if (index > count - 1) FFishTypeIndex = index = count - 1;
    SchoolNames.clear();
    for (int32_t k = 0; k < count; ++k) Renderers[static_cast<size_t>(k)].second->SetVisible(k == index);
    if (index < 0) return;
    ForEachSchool(*Renderers[static_cast<size_t>(index)].second,
                  [&](TFishes& school) { SchoolNames.push_back(school.Name()); });
}

void TUnderWaterWorld::SetWaterBackgroundIndex(int32_t index) {
    if (index == FWaterBackgroundIndex) return;
    FWaterBackgroundIndex = index;
    for (size_t k = 0; k < Waters.size(); ++k) {
        TUnderWater& water = *Waters[k].second;
        water.SetVisible(static_cast<int32_t>(k) == index);
        water.EmulateDepth = FEmulateDepth;
        water.Flat = FFlat;
        water.UseLights = FUseLights;
        water.UseBackground = FUseBackground;
        water.UseCaustic = FUseCaustic;
        water.ScreenCount = FScreenCount;
    }
}

void TUnderWaterWorld::SetFishCount(int32_t count) {
    if (count == FFishCount) return;
    FFishCount = count;
    DistributeFishCount();
}

void TUnderWaterWorld::SetBubbleCount(int32_t count) {
    if (!FScene) return;
    if (auto* bubbles = dynamic_cast<TSceneParticleList*>(FScene->FindObject("Bubbles"))) bubbles->SetParticleCount(count);
}

int32_t TUnderWaterWorld::GetBubbleCount() const {
    if (!FScene) return 0;
    auto* bubbles = dynamic_cast<TSceneParticleList*>(FScene->FindObject("Bubbles"));
    return bubbles ? bubbles->ParticleCount() : 0;
}

void TUnderWaterWorld::SetFishDirection(TFishDirection direction) {
    if (direction == FFishDirection) return;
    FFishDirection = direction;
    for (auto& [name, renderer] : Renderers) renderer->FishDirection = direction;
}

void TUnderWaterWorld::SetSortAlpha(bool value) {
    if (value == FSortAlpha) return;
    FSortAlpha = value;
    for (auto& [name, renderer] : Renderers) renderer->SortAlpha = value;
}

void TUnderWaterWorld::SetFishCaustic(bool value) {
    FFishCaustic = value;
    for (auto& [name, renderer] : Renderers) renderer->FishCaustic = value;
}

void TUnderWaterWorld::SetEmulateDepth(bool value) {
    if (value == FEmulateDepth) return;
    FEmulateDepth = value;
    if (TUnderWater* water = ShownWater()) water->EmulateDepth = value;
}

void TUnderWaterWorld::SetFlat(bool value) {
    if (value == FFlat) return;
    FFlat = value;
    if (TUnderWater* water = ShownWater()) water->Flat = value;
}

void TUnderWaterWorld::SetScreenCount(int32_t count) {
    if (count == FScreenCount) return;
    FScreenCount = count;
    if (TUnderWater* water = ShownWater()) water->ScreenCount = count;
}

void TUnderWaterWorld::SetUseLights(bool value) {
    FUseLights = value;
    if (TUnderWater* water = ShownWater()) water->UseLights = value;
}

void TUnderWaterWorld::SetUseCaustic(bool value) {
    FUseCaustic = value;
    if (TUnderWater* water = ShownWater()) water->UseCaustic = value;
}

void TUnderWaterWorld::SetUseBackground(bool value) {
    FUseBackground = value;
    if (TUnderWater* water = ShownWater()) water->UseBackground = value;
}

TFishes* TUnderWaterWorld::FindSchool(std::string_view name) const {
    for (const auto& [rendererName, renderer] : Renderers)
        if (auto* school = dynamic_cast<TFishes*>(renderer->FindObject(name))) return school;
    return nullptr;
}

void TUnderWaterWorld::SetSchoolVisible(std::string_view name, bool visible) {
    TFishes* school = FindSchool(name);
    if (!school) return;
    school->SetVisible(visible);
    if (!visible) school->SetParticleCount(0);
    DistributeFishCount();
}

bool TUnderWaterWorld::IsSchoolVisible(std::string_view name) const {
    const TFishes* school = FindSchool(name);
    return school && school->Visible();
}

void TUnderWaterWorld::DistributeFishCount() {
    const int32_t n = FFishCount;
    for (auto& [name, renderer] : Renderers) {
        int32_t schools = 0;
        ForEachSchool(*renderer, [&](TFishes& school) { schools += school.Visible() && school.FishType == ftFish; });
        const int32_t share = schools > 0 ? n / schools : 0;
        int32_t extra = schools > 0 ? n % schools : 0;
        ForEachSchool(*renderer, [&](TFishes& school) {
            if (!school.Visible()) return;
            if (school.FishType != ftFish) {
                school.SetParticleCount(school.MaxCount);
            } else if (extra > 0) {
                school.SetParticleCount(share + 1);
                --extra;
            } else {
                school.SetParticleCount(share);
            }
        });
    }
}
