#include "scene/scene_gl.h"

#include "render/gl_objects.h"
#include "render/opengl.h"
#include "scene/objects.h"

namespace {

struct TSharedLists {
    TSharedLists() {
        Lights.SetCapacity(16);
        Materials.SetCapacity(1000);
        Materials.TwoSidedLighting = true;
    }
    TGLLightList Lights;
    TGLMaterialList Materials;
    TGLPrimitiveList Primitives;
};

}  // namespace

TSceneGLLists SharedSceneGLLists() {
    // Never destroyed: scene objects that outlive static destruction may
    // still free their GL objects into it.
    static TSharedLists* lists = new TSharedLists();
    return {lists->Lights, lists->Materials, lists->Primitives};
}

TSceneGLLists SceneGLLists(const TMainScene* scene) {
    TCustomOpenGL* context = SceneOpenGL(scene);
    if (context) return {context->Lights(), context->Materials(), context->Primitives()};
    return SharedSceneGLLists();
}
