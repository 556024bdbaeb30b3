#include "scene/renderstate.h"

void TRenderStateCache::Reset() {
    CurrentTexture = nullptr;
    CurrentGroupMaterial = nullptr;
}

TRenderStateCache& TheRenderState() {
    static TRenderStateCache cache;
    return cache;
}
