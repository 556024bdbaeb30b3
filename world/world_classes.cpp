#include "world/world_classes.h"

#include "scene/registry.h"
#include "world/bubbles.h"
#include "world/clock.h"
#include "world/fish_render.h"
#include "world/fishes.h"
#include "world/sprites.h"
#include "world/underwater.h"

void RegisterWorldClasses(TClassRegistry& registry) {
    registry.Register<TMainSpriteList>("TMainSpriteList");
    registry.Register<TSceneSprite>("TSceneSprite");
    registry.Register<TSceneString>("TSceneString");
    registry.Register<TSceneText>("TSceneText");
    registry.Register<TFishes>("TFishes");
    registry.Register<TFishRender>("TFishRender");
    registry.Register<TBubbles>("TBubbles");
    registry.Register<TGLClock>("TGLClock");
    registry.Register<TWatchClock>("TWatchClock");
    registry.Register<TUnderWater>("TUnderWater");
    SetFrameRateTextFactory([] { return std::unique_ptr<TMainSceneObject>(std::make_unique<TSceneString>()); });
}

void RegisterWorldClasses() { RegisterWorldClasses(TheClassRegistry()); }
