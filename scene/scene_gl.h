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

// The lists of the scene's GL context object. The context object does not
// hand its lists out yet; until it does, every scene (and an object that is
// in none) uses the process-wide set below.
TSceneGLLists SceneGLLists(const TMainScene* scene);

// One set for the process (one GL context, one drawing thread). Nothing
// activates it on its own: GL sees its lights and materials only after
// InitContext of its lists, which a context must do once it is current.
TSceneGLLists SharedSceneGLLists();
