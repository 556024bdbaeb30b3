#include "world/caustic.h"

#include "render/gl_table.h"
#include "render/gl_textures.h"
#include "render/opengl.h"
#include "scene/scene_textures.h"
#include "scene/objects.h"
#include "scene/renderstate.h"

bool CausticMultitextureInUse(const TMainScene* scene, const TSceneTexture* lightMap) {
    if (TCustomOpenGL* context = SceneOpenGL(scene)) return context->Textures().MultitextureInUse;
    // Without a context object the texture keeps a list of its own.
    if (lightMap && lightMap->GLTexture())
        if (const auto* list = dynamic_cast<const TGLTextureList*>(lightMap->GLTexture()->Owner()))
            return list->MultitextureInUse;
    return false;
}

bool BeginCaustic(const TMainScene* scene, TSceneTexture* lightMap, const float planeS[4], const float planeT[4]) {
    if (!lightMap || !CausticMultitextureInUse(scene, lightMap)) return false;
    if (!lightMap->GLTexture()) {
        lightMap->EnsureTexture();
        if (TGLTexture* texture = lightMap->GLTexture()) {
            texture->TextureUnit = CausticTextureUnit;
            texture->EnvMode = GL_MODULATE;
        }
    }
    TheRenderState().BindSceneTexture(lightMap);
    gl.TexGeni(GL_S, GL_TEXTURE_GEN_MODE, GL_EYE_LINEAR);
    gl.TexGenfv(GL_S, GL_EYE_PLANE, planeS);
    gl.TexGeni(GL_T, GL_TEXTURE_GEN_MODE, GL_EYE_LINEAR);
    gl.TexGenfv(GL_T, GL_EYE_PLANE, planeT);
    gl.Enable(GL_TEXTURE_GEN_S);
    gl.Enable(GL_TEXTURE_GEN_T);
    return true;
}

void EndCaustic(const TMainScene* scene, TSceneTexture* lightMap) {
    if (!lightMap || !CausticMultitextureInUse(scene, lightMap)) return;
    lightMap->EnsureTexture();
    TGLTexture* texture = lightMap->GLTexture();
    if (!texture) return;
    if (!texture->Uploaded()) lightMap->UseTexture();
    texture->Bind();
    texture->Unbind();
    // Its unit is off now: the next bind of the light map must reach GL.
    TRenderStateCache& state = TheRenderState();
    if (state.CurrentTexture == lightMap) state.CurrentTexture = nullptr;
    if (gl.ActiveTextureARB) gl.ActiveTextureARB(GL_TEXTURE0_ARB);
}
