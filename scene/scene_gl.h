// The GL object lists that the scene's meshes, materials and lights take
// their primitives, GL materials and GL lights from.
#pragma once

class TGLLightList;
class TGLMaterialList;
class TGLPrimitiveList;
class TMainScene;

struct TSceneGLLists {
    TGLLightList& Lights;
    TGLMaterialList& Materials;
    TGLPrimitiveList& Primitives;
};

// The lists of the GL context object the scene's host draws with, so they
// come alive whenever that context is made current. A scene without a host or
// context (tools, tests without GL) uses the process-wide set below.
TSceneGLLists SceneGLLists(const TMainScene* scene);

// The set for objects outside any context. Nothing activates it on its own:
// GL sees its lights and materials only after InitContext of its lists.
TSceneGLLists SharedSceneGLLists();
