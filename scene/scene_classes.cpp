#include "scene/scene_classes.h"

#include "scene/lights.h"
#include "scene/materials.h"
#include "scene/meshes.h"
#include "scene/registry.h"
#include "scene/scene_fonts.h"
#include "scene/scene_sound.h"
#include "scene/scene_textures.h"
#include "scene/visuals.h"

void RegisterSceneClasses(TClassRegistry& registry) {
    registry.Register<TMainVisualObject>("TMainVisualObject");
    registry.Register<TMainVisualObjectList>("TMainVisualObjectList");
    registry.Register<TMainLight>("TMainLight");
    registry.Register<TSceneMaterial>("TSceneMaterial");
    registry.Register<TSceneMaterialList>("TSceneMaterialList");
    registry.Register<TSceneMesh>("TSceneMesh");
    registry.Register<TSceneMeshList>("TSceneMeshList");
    registry.Register<TSceneTexture>("TSceneTexture");
    registry.Register<TSceneTextureList>("TSceneTextureList");
    registry.Register<TSceneFont>("TSceneFont");
    RegisterSoundClasses(registry);
}
