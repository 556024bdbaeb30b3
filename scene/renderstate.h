// The process-wide render-state cache: what the scene last bound, so that
// repeated binds of the same texture or material do not reach GL.
#pragma once

class TSceneTexture;
class TGroupMaterial;

class TRenderStateCache {
public:
    const TSceneTexture* CurrentTexture = nullptr;
    const TGroupMaterial* CurrentGroupMaterial = nullptr;

    // Forgets the bound texture and material, so that the first bind of a
    // frame always reaches GL.
    void Reset();
};

// The one cache of the process (one GL context, one drawing thread).
TRenderStateCache& TheRenderState();
