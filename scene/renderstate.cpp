#include "scene/renderstate.h"

#include "render/gl_objects.h"
#include "render/gl_table.h"
#include "scene/scene_textures.h"
#include "scene/materials.h"

void TRenderStateCache::Reset() {
    CurrentTexture = nullptr;
    CurrentGroupMaterial = nullptr;
}

void TRenderStateCache::SetLighting(bool on) {
    LightingOn = on;
    if (on)
        gl.Enable(GL_LIGHTING);
    else
        gl.Disable(GL_LIGHTING);
}

void TRenderStateCache::SetBlending(bool on) {
    if (on == BlendingOn) return;
    if (on) {
        gl.BlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
        gl.AlphaFunc(GL_GREATER, 0.05f);
        gl.Enable(GL_ALPHA_TEST);
        gl.Enable(GL_BLEND);
    } else {
        gl.Disable(GL_ALPHA_TEST);
        gl.Disable(GL_BLEND);
    }
    BlendingOn = on;
}

void TRenderStateCache::BindSceneTexture(TSceneTexture* texture) {
    if (texture == CurrentTexture) return;
    if (texture) {
        if (!CurrentTexture) gl.Enable(GL_TEXTURE_2D);
        texture->UseTexture();
    } else {
        gl.Disable(GL_TEXTURE_2D);
    }
    CurrentTexture = texture;
}

void TRenderStateCache::ApplyGroupMaterial(TGroupMaterial* groupMaterial) {
    if (groupMaterial == CurrentGroupMaterial && (!groupMaterial || groupMaterial->Applied)) return;
    if (groupMaterial) {
        groupMaterial->Material->ApplyAll();
        groupMaterial->Applied = true;
        CurrentColor.a = groupMaterial->Material->Diffuse().a;
    } else {
        CurrentColor.a = 1;
    }
    const GLfloat colour[4] = {CurrentColor.r, CurrentColor.g, CurrentColor.b, CurrentColor.a};
    gl.Color4fv(colour);
    CurrentGroupMaterial = groupMaterial;
}

TRenderStateCache& TheRenderState() {
    static TRenderStateCache cache;
    return cache;
}
