#include "render/render_classes.h"

#include "render/scene_fonts.h"
#include "render/scene_textures.h"
#include "scene/registry.h"

void RegisterRenderClasses(TClassRegistry& registry) {
    registry.Register<TSceneTexture>("TSceneTexture");
    registry.Register<TSceneTextureList>("TSceneTextureList");
    registry.Register<TSceneFont>("TSceneFont");
}
