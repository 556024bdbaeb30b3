// The process-wide render-state cache: what the scene last bound, so that
// repeated binds of the same texture or material and repeated blend-state
// changes do not reach GL.
#pragma once

#include "core/vecmath.h"

class TSceneTexture;
class TGroupMaterial;

class TRenderStateCache {
public:
    const TSceneTexture* CurrentTexture = nullptr;
    const TGroupMaterial* CurrentGroupMaterial = nullptr;
    bool BlendingOn = false;
    bool LightingOn = false;
    // Sent as the current GL colour with every material change; lights set
    // its colour, materials its alpha.
    TColor4f CurrentColor{1, 1, 1, 1};

    // Forgets the bound texture and material, so that the first bind of a
    // frame always reaches GL.
    void Reset();

    // Always reaches GL.
    void SetLighting(bool on);
    // Alpha blending with an alpha test that drops nearly clear texels.
    void SetBlending(bool on);
    // Null switches texturing off.
    void BindSceneTexture(TSceneTexture* texture);
    // Null leaves the GL material as it is and makes the colour opaque.
    void ApplyGroupMaterial(TGroupMaterial* groupMaterial);
};

// The one cache of the process (one GL context, one drawing thread).
TRenderStateCache& TheRenderState();
