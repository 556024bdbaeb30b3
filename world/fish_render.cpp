#include "world/fish_render.h"

#include "render/pass_timer.h"
#include "scene/scene_textures.h"
#include "core/errors.h"
#include "scene/loader.h"
#include "scene/renderstate.h"
#include "world/caustic.h"
#include "world/fishes.h"

#include <cmath>
#include <string>

std::string FishDirectionToStr(TFishDirection direction) {
    switch (direction) {
        case fdRight: return "Right";
        case fdLeft: return "Left";
        default: return "Both";
    }
}

TFishDirection StrToFishDirection(std::string_view text) {
    if (text == "Right") return fdRight;
    if (text == "Left") return fdLeft;
    return fdBoth;
}

TFishRender::TFishRender() { Init(); }

TFishRender::~TFishRender() {
    // The fish leave their slots as they go, so the table must still be here.
    FreeAll();
    // Fish of schools that have left this renderer keep living.
    for (TFish* fish : DepthSlots)
        if (fish) {
            fish->DepthSlot = -1;
            fish->SlotOwner = nullptr;
        }
}

void TFishRender::ReadProperties(TResourceLoader& loader) {
    TSceneLayer::ReadProperties(loader);
    StepZ = loader.ReadFloat("StepZ", StepZ);
    SortAlpha = loader.ReadBool("SortAlpha", SortAlpha);
    FishDirection = StrToFishDirection(loader.ReadString("FishDirection", FishDirectionToStr(FishDirection)));
    LightMapTexture = dynamic_cast<TSceneTexture*>(loader.ReadReference("LightMapTexture", LightMapTexture));
    Init();
}

void TFishRender::WriteProperties(TResourceLoader& loader) {
    TSceneLayer::WriteProperties(loader);
    loader.WriteFloat("StepZ", StepZ);
    loader.WriteBool("SortAlpha", SortAlpha);
    loader.WriteString("FishDirection", FishDirectionToStr(FishDirection));
    loader.WriteReference("LightMapTexture", LightMapTexture);
}

void TFishRender::Init() {
    if (StepZ == 0) throw Exception("TFishRender.Init error: StepZ=0!");
    const double slots = std::trunc(std::fabs(static_cast<double>(DepthMin) - DepthOrigin) / StepZ) + 1;
    // A negative or tiny step would make a table of no or countless slots.
    if (!(slots >= 1 && slots <= MaxDepthSlots))
        throw Exception("TFishRender.Init error: StepZ=" + std::to_string(StepZ) + " gives " +
                        (slots >= 1 ? "more than " + std::to_string(MaxDepthSlots) : std::string("no")) +
                        " depth slots!");
    const size_t count = static_cast<size_t>(slots);
    // Fish in slots that are about to go lose them.
    for (size_t i = count; i < DepthSlots.size(); ++i)
        if (TFish* fish = DepthSlots[i]) {
            fish->DepthSlot = -1;
            fish->SlotOwner = nullptr;
        }
    DepthSlots.resize(count, nullptr);
    const double neighbours = std::nearbyint(static_cast<double>(NeighbourDepth) / StepZ);
    NeighbourSlots = static_cast<int32_t>(std::min<double>(std::trunc(neighbours / 2), MaxDepthSlots)) + 1;
}

int TFishRender::SlotOf(float depth) const {
    const int last = SlotCount() - 1;
    const double slot = std::trunc(std::fabs(static_cast<double>(depth) - DepthOrigin) / StepZ);
    // Deeper than the range (or no depth at all): the farthest slot.
    if (!(slot < last)) return last;
    return static_cast<int>(slot);
}

TFish* TFishRender::SlotFish(int slot) const {
    if (slot < 0 || slot >= SlotCount()) return nullptr;
    return DepthSlots[static_cast<size_t>(slot)];
}

bool TFishRender::ReserveSlot(TFishes&, TFish& fish) {
    if (fish.SlotOwner)
        fish.SlotOwner->ReleaseSlot(fish);
    else
        fish.DepthSlot = -1;
    if (DepthSlots.empty()) return false;
    const int i = SlotOf(fish.PathDepth);
    if (DepthSlots[static_cast<size_t>(i)]) return false;
    const int from = std::max(i - NeighbourSlots, 0);
    const int to = std::min(i + NeighbourSlots, SlotCount() - 1);
    for (int j = from; j <= to; ++j) {
        const TFish* other = DepthSlots[static_cast<size_t>(j)];
        if (other && std::fabs(fish.Position.y - other->Position.y) < MinVerticalGap) return false;
    }
    fish.DepthSlot = i;
    fish.SlotOwner = this;
    DepthSlots[static_cast<size_t>(i)] = &fish;
    return true;
}

void TFishRender::ReleaseSlot(TFish& fish) {
    if (fish.DepthSlot >= 0 && fish.DepthSlot < SlotCount() && DepthSlots[static_cast<size_t>(fish.DepthSlot)] == &fish)
        DepthSlots[static_cast<size_t>(fish.DepthSlot)] = nullptr;
    fish.DepthSlot = -1;
    fish.SlotOwner = nullptr;
}

void TFishRender::Animate(float deltaTime) {
    TSceneLayer::Animate(deltaTime);
    CausticTime += 0.4f * deltaTime;
}

void TFishRender::BeginFishCaustic() {
    if (!FishCaustic) return;
    // Fixed in the world; S slides 0.6 and T 0.1 texture units a second.
    const float planeS[4] = {0.001f, 0, 0, 1.5f * CausticTime};
    const float planeT[4] = {0, 0.0002f, 0.00001f, 0.25f * CausticTime};
    BeginCaustic(MainScene, LightMapTexture, planeS, planeT);
}

void TFishRender::EndFishCaustic() {
    if (!FishCaustic) return;
    EndCaustic(MainScene, LightMapTexture);
}

void TFishRender::RenderOpaque() {
    ThePassTimer().Begin("fish: opaque parts");
    TheRenderState().SetLighting(false);
    BeginFishCaustic();
    for (int i = 0, n = GetCount(); i < n; ++i) {
        TMainItem* school = GetItem(i);
        if (school->Visible()) school->RenderOpaque();
    }
}

void TFishRender::RenderBlended() {
    TRenderStateCache& state = TheRenderState();
    state.SetLighting(false);
    // The slot table already gives the order: the blended pass always uses it.
    SortAlpha = true;

    state.SetLighting(true);
    ThePassTimer().Begin("fish: plankton, starfish");
    for (int i = 0, n = GetCount(); i < n; ++i) {
        auto* school = dynamic_cast<TFishes*>(GetItem(i));
        if (school && school->Visible() && school->FishType != ftFish) school->RenderBlended();
    }

    state.SetLighting(false);
    ThePassTimer().Begin("fish: blended, by depth");
    for (int slot = SlotCount() - 1; slot >= 0; --slot) {
        TFish* fish = DepthSlots[static_cast<size_t>(slot)];
        if (!fish) continue;
        auto* school = dynamic_cast<TFishes*>(fish->Owner);
        if (!school || !school->Visible() || !school->Visual) continue;
        fish->BeginRender();
        school->Visual->RenderBlended();
        fish->EndRender();
    }
    EndFishCaustic();
}
