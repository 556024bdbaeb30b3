// The underwater environment: the underside of the water surface with its
// brighter light layer, the gradient backdrop at the far plane, the sea bed,
// the slanted light rays and the background picture mesh, with GL fog or
// fog overlays for depth. One of several is shown at a time; it switches
// its scene light with its own visibility.
#pragma once

#include "scene/objects.h"
#include "core/vecmath.h"

#include <cstdint>
#include <memory>
#include <string_view>
#include <vector>

class TGLPrimitive;
class TGLPrimitiveList;
class TMeshGroup;
class TMainLight;
class TSceneMesh;
class TSceneTexture;

class TUnderWater : public TMainSceneObject {
public:
    TUnderWater();
    ~TUnderWater() override;
    std::string_view ClassName() const override { return "TUnderWater"; }

    void WriteProperties(TResourceLoader& loader) override;
    // Reads the keys, then builds the geometry for the view of the moment.
    void ReadProperties(TResourceLoader& loader) override;
    // Hiding switches the light off; showing switches it on and selects this
    // water's sea bed, surface and background pictures by BackgroundIndex.
    void SetVisible(bool visible) override;
    void Animate(float deltaTime) override;
    void RenderOpaque() override;
    void RenderBlended() override {}

    // Frees the primitives of an earlier build and makes all of them anew
    // from the frustum of the scene's view.
    void BuildGeometry();
    // A copy of layer whose colours fade from colour (transparent, near) to
    // colour (opaque, far) between FogStart and FogEnd.
    TGLPrimitive* BuildFogOverlay(const TGLPrimitive& layer, TByteColor colour);
    void ShadeFogOverlay(TGLPrimitive& overlay, TByteColor colour) const;

    float UpY = 0;
    float FogStart = 0;
    float FogEnd = 0;
    float BottomY = 0;
    float FarPlane = 0;
    // Kept with the script; nothing draws with it.
    TByteColor FogColor = 0;
    TByteColor BottomColor = 0;
    TByteColor UpColor = 0;
    float UpAlpha = 0;
    // Kept with the script; nothing draws with it.
    float BottomAlpha = 0;
    TSceneMesh* Background = nullptr;
    TSceneTexture* UpTexture = nullptr;
    TSceneTexture* BottomTexture = nullptr;
    TSceneTexture* LightTexture = nullptr;
    TSceneTexture* UpLightMap = nullptr;
    // Kept with the script; nothing draws with it.
    TSceneTexture* BottomLightMap = nullptr;
    TSceneTexture* BackgroundLightMap = nullptr;
    TMainLight* Light = nullptr;
    bool EmulateDepth = false;
    float CausticTime = 0;
    float WaveTime = 0;
    bool UseLights = true;
    bool UseCaustic = true;
    bool UseBackground = true;
    bool Flat = false;
    // The Flat state the sea bed heights were last written for.
    bool FlatApplied = true;
    int32_t ScreenCount = 1;
    int32_t BackgroundIndex = 0;
    bool HasBottom = true;
    bool HasUp = true;

    // Owned; they live in the scene's GL primitive list. Null before the
    // first build.
    std::unique_ptr<TGLPrimitive> SurfaceGrid;
    std::unique_ptr<TGLPrimitive> LightMapGrid;
    std::unique_ptr<TGLPrimitive> SeaBedGrid;
    std::unique_ptr<TGLPrimitive> SurfaceFogOverlay;
    std::unique_ptr<TGLPrimitive> SeaBedFogOverlay;
    std::unique_ptr<TGLPrimitive> Backdrop;
    std::unique_ptr<TGLPrimitive> LightRays;
    // The light rays cut into upright strips where their texture's alpha
    // can pass the alpha test, remade every frame in arrays sized once (the
    // spare strips are empty triangles).
    std::unique_ptr<TGLPrimitive> LightRayStrips;
    // The background picture cut into bands where its alpha can pass the
    // test: the pixels the rasteriser would shade and then throw away are
    // left out. Made for the mesh group and the texture load it names.
    std::unique_ptr<TGLPrimitive> BackgroundCrop;
    const TMeshGroup* CropGroup = nullptr;
    uint32_t CropLoads = 0;
    // Per vertex of the surface and sea bed grids, how much of the fog
    // colour covers them (the fog overlays' alpha): with fog coordinates
    // the layer is fogged in its own pass instead of under an overlay.
    std::vector<float> SurfaceFog;
    std::vector<float> SeaBedFog;

    // The half-extents of the view the geometry was last built for.
    float ViewRight = 0;
    float ViewTop = 0;
    float ViewNear = 0;

private:
    TGLPrimitiveList& Primitives() const;
    TGLPrimitive* BuildGrid(int cols, int rows, float width, float depth, float x0, float y, float z0,
                            float uRepeat, float vRepeat);
    void FreeGeometry();
    void ApplySeaBedHeights();
    void SetupFog(TByteColor colour);
    // True when the layer's fog goes into its own pass (fog coordinates).
    bool FogInPass() const;
    void BeginFogInPass(const std::vector<float>& fog, TByteColor colour);
    void EndFogInPass();
    void DrawAtHeight(TGLPrimitive* primitive, float y);
    bool BackgroundCausticOn() const;
    void BeginBackgroundCaustic();
    void EndBackgroundCaustic();
    void RenderSurface();
    void RenderBackdrop();
    void RenderSeaBed();
    void RenderLightRays();
    void RenderBackground();
    // One copy of the background mesh, cropped when the mesh is one flat
    // textured group whose picture tells where its alpha lies.
    void DrawBackgroundCopy();
    void BuildBackgroundCrop(const TMeshGroup& group);
    // Fills LightRayStrips for the texture's place at CausticTime; false
    // when the whole sheet must be drawn.
    bool CutLightRays();
    // The surface's light layer as a second texture unit over the surface
    // in one pass, where the context can mix two textures.
    bool LightLayerFolds() const;
};
