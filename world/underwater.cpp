#include "world/underwater.h"

#include "render/gl_objects.h"
#include "render/gl_table.h"
#include "render/pass_timer.h"
#include "scene/scene_textures.h"
#include "scene/lights.h"
#include "scene/loader.h"
#include "scene/meshes.h"
#include "scene/renderstate.h"
#include "scene/scene_gl.h"
#include "world/caustic.h"

#include <algorithm>
#include <cmath>

namespace {

constexpr double Pi = 3.14159265358979323846;

// The sea bed reaches from the far plane to this depth, the surface and its
// light layer to the second one.
constexpr float SeaBedNearDepth = 3900;
constexpr float SurfaceNearDepth = 6000;

// Background copies side by side: three on one monitor, two narrowed ones
// when the window spans two.
constexpr float BackgroundStep = 12600;
constexpr float WideBackgroundStart = 6295;
constexpr float WideBackgroundStep = 12594;

uint8_t ChannelByte(float c) { return static_cast<uint8_t>(std::lround(std::clamp(c, 0.0f, 1.0f) * 255.0f)); }

// The overlay's alphas as fog coordinates, so that fog in the pass mixes in
// exactly what the overlay would have.
void FogAmounts(const TGLPrimitive& overlay, std::vector<float>& fog) {
    fog.resize(static_cast<size_t>(overlay.VertexCount()));
    for (int i = 0, n = std::min(overlay.VertexCount(), overlay.Colors.Count()); i < n; ++i)
        fog[static_cast<size_t>(i)] = static_cast<float>(overlay.Colors.Bytes()[4 * i + 3]) / 255.0f;
}

void SetTextureIndex(TSceneTexture* texture, int32_t index) {
    if (texture) texture->SetFileIndex(index);
}

}  // namespace

TUnderWater::TUnderWater() = default;

TUnderWater::~TUnderWater() = default;

TGLPrimitiveList& TUnderWater::Primitives() const { return SceneGLLists(MainScene).Primitives; }

// --- script -------------------------------------------------------------------

void TUnderWater::ReadProperties(TResourceLoader& loader) {
    TMainSceneObject::ReadProperties(loader);
    FarPlane = loader.ReadFloat("FarPlane", FarPlane);
    FogStart = loader.ReadFloat("FogStart", FogStart);
    FogEnd = loader.ReadFloat("FogEnd", FogEnd);
    FogColor = loader.ReadByteColor("FogColor", FogColor);
    EmulateDepth = loader.ReadBool("EmulateDepth", EmulateDepth);
    UpY = loader.ReadFloat("UpY", UpY);
    BottomY = loader.ReadFloat("BottomY", BottomY);
    UpColor = loader.ReadByteColor("UpColor", UpColor);
    BottomColor = loader.ReadByteColor("BottomColor", BottomColor);
    UpAlpha = loader.ReadFloat("UpAlpha", UpAlpha);
    BottomAlpha = loader.ReadFloat("BottomAlpha", BottomAlpha);
    BottomTexture = dynamic_cast<TSceneTexture*>(loader.ReadReference("BottomTexture", BottomTexture));
    HasBottom = BottomTexture != nullptr;
    UpTexture = dynamic_cast<TSceneTexture*>(loader.ReadReference("UpTexture", UpTexture));
    HasUp = UpTexture != nullptr;
    BackgroundIndex = loader.ReadInteger("BackgroundIndex", 0);
    LightTexture = dynamic_cast<TSceneTexture*>(loader.ReadReference("LightTexture", LightTexture));
    UpLightMap = dynamic_cast<TSceneTexture*>(loader.ReadReference("UpLightMap", UpLightMap));
    BottomLightMap = dynamic_cast<TSceneTexture*>(loader.ReadReference("BottomLightMap", BottomLightMap));
    BackgroundLightMap = dynamic_cast<TSceneTexture*>(loader.ReadReference("BackgroundLightMap", BackgroundLightMap));
    Light = dynamic_cast<TMainLight*>(loader.ReadReference("Light", Light));
    Background = dynamic_cast<TSceneMesh*>(loader.ReadReference("Background", Background));
    BuildGeometry();
}

void TUnderWater::WriteProperties(TResourceLoader& loader) {
    TMainSceneObject::WriteProperties(loader);
    loader.WriteFloat("FarPlane", FarPlane);
    loader.WriteFloat("FogStart", FogStart);
    loader.WriteFloat("FogEnd", FogEnd);
    loader.WriteBool("EmulateDepth", EmulateDepth);
    loader.WriteByteColor("FogColor", FogColor);
    loader.WriteFloat("UpY", UpY);
    loader.WriteFloat("BottomY", BottomY);
    loader.WriteByteColor("UpColor", UpColor);
    loader.WriteByteColor("BottomColor", BottomColor);
    loader.WriteFloat("UpAlpha", UpAlpha);
    loader.WriteFloat("BottomAlpha", BottomAlpha);
    loader.WriteReference("BottomTexture", BottomTexture);
    loader.WriteReference("UpTexture", UpTexture);
    loader.WriteReference("LightTexture", LightTexture);
    loader.WriteReference("UpLightMap", UpLightMap);
    loader.WriteReference("BottomLightMap", BottomLightMap);
    loader.WriteReference("BackgroundLightMap", BackgroundLightMap);
    loader.WriteReference("Light", Light);
    loader.WriteReference("BackGround", Background);
    loader.WriteInteger("BackgroundIndex", BackgroundIndex);
}

void TUnderWater::SetVisible(bool visible) {
    TMainSceneObject::SetVisible(visible);
    if (Light) {
        if (visible)
            Light->Enable();
        else
            Light->Disable();
    }
    // The pictures follow the shown water even when it has no light of its
    // own; a hidden one leaves them to the water that is shown.
    if (!visible) return;
    SetTextureIndex(BottomTexture, BackgroundIndex);
    SetTextureIndex(UpTexture, BackgroundIndex);
    if (MainScene) SetTextureIndex(dynamic_cast<TSceneTexture*>(MainScene->FindObject("Textures/FonA.jpg")), BackgroundIndex);
}

// --- geometry -----------------------------------------------------------------

TGLPrimitive* TUnderWater::BuildGrid(int cols, int rows, float width, float depth, float x0, float y, float z0,
                                     float uRepeat, float vRepeat) {
    TGLPrimitive* grid = Primitives().Add();
    grid->Mode = GL_TRIANGLES;
    const int n = (cols + 1) * (rows + 1);
    grid->Vertices.SetCount(n);
    TGLTextureCoordDArray& coords = grid->GetTextureCoords(0);
    coords.SetCount(n);
    TVector3f* v = grid->Vertices.Vectors();
    TVector2f* st = coords.Coords();
    for (int row = 0; row <= rows; ++row)
        for (int col = 0; col <= cols; ++col) {
            const int i = (cols + 1) * row + col;
            v[i] = {x0 + col * width / cols, y, z0 + row * depth / rows};
            st[i] = {col * uRepeat / cols, (1 - static_cast<float>(row) / rows) * vRepeat};
        }
    grid->Colors.SetCount(1);
    grid->Colors.Set(0, MakeByteColor(255, 255, 255, 255));
    grid->Normals.SetCount(1);
    grid->Normals.Set(0, {0, 1, 0});
    grid->Indices.SetCount(cols * rows * 6);
    int16_t* idx = grid->Indices.Indices();
    int k = 0;
    for (int row = 0; row < rows; ++row)
        for (int col = 0; col < cols; ++col) {
            const int i0 = (cols + 1) * row + col, i1 = i0 + cols + 1;
            const int triangles[6] = {i0, i1, i1 + 1, i0, i1 + 1, i0 + 1};
            for (int t : triangles) idx[k++] = static_cast<int16_t>(t);
        }
    return grid;
}

void TUnderWater::FreeGeometry() {
    SurfaceGrid.reset();
    LightMapGrid.reset();
    SeaBedGrid.reset();
    SurfaceFogOverlay.reset();
    SeaBedFogOverlay.reset();
    Backdrop.reset();
    LightRays.reset();
}

void TUnderWater::BuildGeometry() {
    FreeGeometry();
    const TSceneView view = SceneView(MainScene);
    ViewRight = static_cast<float>(view.Right());
    ViewTop = static_cast<float>(view.Top());
    ViewNear = static_cast<float>(view.NearDepth);
    const float right = ViewRight, top = ViewTop, bottom = -top, nearZ = ViewNear;

    const float W = 4 * FarPlane * right / nearZ;
    if (!HasBottom) {
        BottomY = FarPlane * bottom / nearZ;
        UpY = FarPlane * top / nearZ;
    }

    // 3.5 * W / FarPlane, which does not depend on FarPlane.
    const float seaBedRepeat = 14 * right / nearZ;
    SeaBedGrid.reset(BuildGrid(6, 4, W, FarPlane - SeaBedNearDepth, -W / 2, 0, -FarPlane, seaBedRepeat, 3.5f));
    SeaBedFogOverlay.reset(BuildFogOverlay(*SeaBedGrid, BottomColor));
    FogAmounts(*SeaBedFogOverlay, SeaBedFog);

    SurfaceGrid.reset(BuildGrid(6, 4, W, FarPlane - SurfaceNearDepth, -W / 2, 0, -FarPlane, 2, 1));
    SurfaceGrid->RotateZ(180);
    SurfaceGrid->ComputeNormals();
    LightMapGrid.reset(BuildGrid(6, 4, W, FarPlane - SurfaceNearDepth, -W / 2, 0, -FarPlane, 4, 1));
    LightMapGrid->RotateZ(180);
    LightMapGrid->ComputeNormals();

    LightMapGrid->Colors.Set(0, MakeByteColor(255, 255, 255, ChannelByte(UpAlpha)));
    SurfaceFogOverlay.reset(BuildFogOverlay(*SurfaceGrid, UpColor));
    FogAmounts(*SurfaceFogOverlay, SurfaceFog);

    Backdrop.reset(Primitives().Add());
    Backdrop->Mode = GL_TRIANGLES;
    const float backdrop[12] = {-W / 2, UpY,     -FarPlane, -W / 2, BottomY, -FarPlane,
                                W / 2,  BottomY, -FarPlane, W / 2,  UpY,     -FarPlane};
    Backdrop->Vertices.Assign(backdrop, 4);
    const TByteColor backdropColours[4] = {UpColor, BottomColor, BottomColor, UpColor};
    Backdrop->Colors.Assign(backdropColours, 4);
    const int16_t backdropIndices[6] = {0, 1, 2, 0, 2, 3};
    Backdrop->Indices.Assign(backdropIndices, 6);

    // A sheet leaning from the top further away down to the bottom nearer
    // the camera, brightest a tenth of the way down.
    LightRays.reset(Primitives().Add());
    LightRays->Mode = GL_TRIANGLES;
    const float za = 3000 - FarPlane, zb = 6000 - FarPlane;
    const float zm = za + 0.1f * (zb - za), ym = 0.9f * UpY + 0.1f * BottomY;
    const float rays[18] = {-W / 2, UpY, za, -W / 2, BottomY, zb, W / 2, BottomY, zb,
                            W / 2,  UpY, za, -W / 2, ym,      zm, W / 2, ym,      zm};
    LightRays->Vertices.Assign(rays, 6);
    const uint8_t rayAlpha[6] = {0, 0, 0, 0, 80, 80};
    LightRays->Colors.SetCount(6);
    for (int i = 0; i < 6; ++i) LightRays->Colors.Set(i, MakeByteColor(255, 255, 255, rayAlpha[i]));
    const int16_t rayIndices[12] = {0, 4, 5, 0, 5, 3, 4, 1, 2, 4, 2, 5};
    LightRays->Indices.Assign(rayIndices, 12);

    // The new sea bed is flat: the next drawing applies Flat to it.
    FlatApplied = true;
}

TGLPrimitive* TUnderWater::BuildFogOverlay(const TGLPrimitive& layer, TByteColor colour) {
    TGLPrimitive* overlay = Primitives().Add();
    layer.AssignTo(overlay);
    overlay->Colors.SetCount(overlay->VertexCount());
    ShadeFogOverlay(*overlay, colour);
    return overlay;
}

void TUnderWater::ShadeFogOverlay(TGLPrimitive& overlay, TByteColor colour) const {
    const float zS = -FogStart, zE = -FogEnd;
    const TColor4f c = ByteColorToColor(colour);
    const float c0[4] = {c.r, c.g, c.b, 0};
    const float c1[4] = {c.r, c.g, c.b, 1};
    // A fog that starts where it ends is a step at its end: nothing in
    // between is interpolated, and no vertex keeps another colour.
    const bool step = std::fabs(zS - zE) < 0.01f;
    const bool farther = zS >= zE;  // fog grows toward -z (the usual case)
    const TVector3f* v = overlay.Vertices.Vectors();
    for (int i = 0, n = std::min(overlay.VertexCount(), overlay.Colors.Count()); i < n; ++i) {
        const float z = v[i].z;
        float f;
        if (farther ? z > zS : z < zS)
            f = 0;
        else if ((farther ? z <= zE : z >= zE) || step)
            f = 1;
        else
            f = std::fabs((z - zS) / (zE - zS));
        uint8_t bytes[4];
        for (int k = 0; k < 4; ++k) {
            float channel = std::min(c0[k] + (c1[k] - c0[k]) * f, 1.0f);
            if (channel < 0.001f) channel = 0;
            bytes[k] = ChannelByte(channel);
        }
        overlay.Colors.Set(i, MakeByteColor(bytes[0], bytes[1], bytes[2], bytes[3]));
    }
}

void TUnderWater::ApplySeaBedHeights() {
    for (TGLPrimitive* layer : {SeaBedGrid.get(), SeaBedFogOverlay.get()}) {
        if (!layer) continue;
        TVector3f* v = layer->Vertices.Vectors();
        for (int i = 0, n = layer->VertexCount(); i < n; ++i) {
            if (Flat)
                v[i].y = 0;
            else if (v[i].z != -FarPlane)
                v[i].y = static_cast<float>(650 * std::sin((i % 7) * Pi / 2) - 300 * std::cos(i * Pi / 5));
        }
    }
    FlatApplied = Flat;
}

// --- animation ----------------------------------------------------------------

void TUnderWater::Animate(float deltaTime) {
    if (LightMapGrid) {
        TGLTextureCoordDArray& coords = LightMapGrid->GetTextureCoords(0);
        TVector2f* st = coords.Coords();
        for (int i = 0, n = coords.Count(); i < n; ++i) {
            st[i].x -= 0.02f * deltaTime;
            st[i].y += 0.05f * deltaTime;
        }
    }
    WaveTime += 1.5f * deltaTime;
    if (LightMapGrid && SurfaceGrid) {
        TVector3f* light = LightMapGrid->Vertices.Vectors();
        TVector3f* surface = SurfaceGrid->Vertices.Vectors();
        const int n = std::min(LightMapGrid->VertexCount(), SurfaceGrid->VertexCount());
        // The far row stays at height 0, where the surface meets the backdrop.
        for (int i = 0; i < n; ++i) {
            if (light[i].z == -FarPlane) continue;
            const float h = static_cast<float>(150 * std::sin((i % 7) * Pi / 2 + WaveTime) -
                                               100 * std::cos(i * Pi / 5 + WaveTime));
            light[i].y = h;
            surface[i].y = h;
        }
    }
    CausticTime += 0.4f * deltaTime;
}

// --- drawing ------------------------------------------------------------------

namespace {

// Texturing switched off behind the render-state cache's back: it must bind
// again next time, or a later bind of the same texture would draw untextured.
void TexturingOff() {
    gl.Disable(GL_TEXTURE_2D);
    TheRenderState().CurrentTexture = nullptr;
}

}  // namespace

void TUnderWater::DrawAtHeight(TGLPrimitive* primitive, float y) {
    if (!primitive) return;
    gl.PushMatrix();
    gl.Translatef(0, y, 0);
    primitive->Render();
    gl.PopMatrix();
}

void TUnderWater::SetupFog(TByteColor colour) {
    if (EmulateDepth) {
        gl.Disable(GL_FOG);
        return;
    }
    gl.Enable(GL_FOG);
    gl.Fogi(GL_FOG_MODE, GL_LINEAR);
    gl.Hint(GL_FOG_HINT, GL_FASTEST);
    gl.Fogf(GL_FOG_START, FogStart);
    gl.Fogf(GL_FOG_END, FogEnd);
    const TColor4f c = ByteColorToColor(colour);
    const GLfloat fogColour[4] = {c.r, c.g, c.b, c.a};
    gl.Fogfv(GL_FOG_COLOR, fogColour);
}

bool TUnderWater::FogInPass() const { return EmulateDepth && gl.FogCoordPointerEXT; }

// Linear fog from 0 to 1 over the fog coordinate leaves (1 - c) of the
// fragment and adds c of the colour: the overlay's blend, without its pass.
void TUnderWater::BeginFogInPass(const std::vector<float>& fog, TByteColor colour) {
    gl.Enable(GL_FOG);
    gl.Fogi(GL_FOG_MODE, GL_LINEAR);
    gl.Fogi(GL_FOG_COORDINATE_SOURCE_EXT, GL_FOG_COORDINATE_EXT);
    gl.Fogf(GL_FOG_START, 0);
    gl.Fogf(GL_FOG_END, 1);
    const TColor4f c = ByteColorToColor(colour);
    const GLfloat fogColour[4] = {c.r, c.g, c.b, c.a};
    gl.Fogfv(GL_FOG_COLOR, fogColour);
    gl.EnableClientState(GL_FOG_COORDINATE_ARRAY_EXT);
    gl.FogCoordPointerEXT(GL_FLOAT, 0, fog.data());
}

void TUnderWater::EndFogInPass() {
    gl.DisableClientState(GL_FOG_COORDINATE_ARRAY_EXT);
    gl.Fogi(GL_FOG_COORDINATE_SOURCE_EXT, GL_FRAGMENT_DEPTH_EXT);
    gl.Disable(GL_FOG);
}

bool TUnderWater::BackgroundCausticOn() const {
    return UseCaustic && BackgroundLightMap && CausticMultitextureInUse(MainScene, BackgroundLightMap);
}

void TUnderWater::BeginBackgroundCaustic() {
    if (!BackgroundCausticOn()) return;
    const float planeS[4] = {0.0004f, 0, 0, 0.5f * CausticTime};
    const float planeT[4] = {0, 0.0002f, -0.0004f, 0.25f * CausticTime};
    BeginCaustic(MainScene, BackgroundLightMap, planeS, planeT);
}

void TUnderWater::EndBackgroundCaustic() {
    if (!BackgroundCausticOn()) return;
    EndCaustic(MainScene, BackgroundLightMap);
}

void TUnderWater::RenderSurface() {
    TRenderStateCache& cache = TheRenderState();
    gl.Enable(GL_TEXTURE_2D);
    gl.Disable(GL_DEPTH_TEST);
    cache.SetBlending(false);
    const bool fogInPass = FogInPass() && SurfaceFog.size() == static_cast<size_t>(SurfaceGrid->VertexCount());
    if (fogInPass)
        BeginFogInPass(SurfaceFog, UpColor);
    else
        SetupFog(UpColor);
    gl.Disable(GL_LIGHTING);
    cache.BindSceneTexture(UpTexture);
    DrawAtHeight(SurfaceGrid.get(), UpY);
    cache.SetBlending(true);
    // The light layer needs its own texture; without one it is left out.
    if (UpLightMap) {
        cache.BindSceneTexture(UpLightMap);
        if (UpAlpha > 0) DrawAtHeight(LightMapGrid.get(), UpY);
    }
    if (fogInPass) EndFogInPass();
    gl.Disable(GL_FOG);
    TexturingOff();
    if (EmulateDepth && !fogInPass) DrawAtHeight(SurfaceFogOverlay.get(), UpY);
    gl.Enable(GL_DEPTH_TEST);
}

void TUnderWater::RenderBackdrop() {
    gl.Disable(GL_LIGHTING);
    TexturingOff();
    gl.Disable(GL_DEPTH_TEST);
    TheRenderState().SetBlending(false);
    gl.Disable(GL_FOG);
    if (Backdrop) Backdrop->Render();
    gl.Enable(GL_DEPTH_TEST);
}

void TUnderWater::RenderSeaBed() {
    TRenderStateCache& cache = TheRenderState();
    if (Flat != FlatApplied) ApplySeaBedHeights();
    BeginBackgroundCaustic();
    gl.Disable(GL_LIGHTING);
    gl.Enable(GL_TEXTURE_2D);
    gl.Disable(GL_DEPTH_TEST);
    cache.SetBlending(false);
    const bool fogInPass = FogInPass() && SeaBedFog.size() == static_cast<size_t>(SeaBedGrid->VertexCount());
    if (fogInPass)
        BeginFogInPass(SeaBedFog, BottomColor);
    else
        SetupFog(BottomColor);
    cache.BindSceneTexture(BottomTexture);
    DrawAtHeight(SeaBedGrid.get(), BottomY);
    if (fogInPass) EndFogInPass();
    cache.SetBlending(true);
    EndBackgroundCaustic();
    gl.Disable(GL_FOG);
    if (EmulateDepth && !fogInPass) {
        TexturingOff();
        DrawAtHeight(SeaBedFogOverlay.get(), BottomY);
    }
    gl.Enable(GL_DEPTH_TEST);
}

void TUnderWater::RenderLightRays() {
    TRenderStateCache& cache = TheRenderState();
    gl.Disable(GL_LIGHTING);
    gl.Disable(GL_DEPTH_TEST);
    gl.Disable(GL_FOG);
    cache.SetBlending(true);
    gl.Enable(GL_TEXTURE_2D);
    cache.BindSceneTexture(LightTexture);
    const GLfloat planeS[4] = {0.0002f, 0, 0, 0.15f * CausticTime};
    const GLfloat planeT[4] = {0, 0.000004f, 0, 0.25f * CausticTime};
    gl.TexGeni(GL_S, GL_TEXTURE_GEN_MODE, GL_OBJECT_LINEAR);
    gl.TexGenfv(GL_S, GL_OBJECT_PLANE, planeS);
    gl.TexGeni(GL_T, GL_TEXTURE_GEN_MODE, GL_OBJECT_LINEAR);
    gl.TexGenfv(GL_T, GL_OBJECT_PLANE, planeT);
    gl.Enable(GL_TEXTURE_GEN_S);
    gl.Enable(GL_TEXTURE_GEN_T);
    if (LightRays) LightRays->Render();
    gl.Disable(GL_TEXTURE_GEN_S);
    gl.Disable(GL_TEXTURE_GEN_T);
    gl.Enable(GL_DEPTH_TEST);
}

void TUnderWater::RenderBackground() {
    TRenderStateCache& cache = TheRenderState();
    BeginBackgroundCaustic();
    gl.Disable(GL_LIGHTING);
    gl.Disable(GL_FOG);
    cache.SetBlending(true);
    gl.AlphaFunc(GL_GREATER, 0.35f);
    gl.Enable(GL_DEPTH_TEST);
    gl.PushMatrix();
    if (ScreenCount == 1) {
        gl.Translatef(-BackgroundStep, 0, 0);
        Background->RenderBlended();
        gl.Translatef(BackgroundStep, 0, 0);
        Background->RenderBlended();
        gl.Translatef(BackgroundStep, 0, 0);
        Background->RenderBlended();
    } else {
        const TSceneView view = SceneView(MainScene);
        const double top = view.Top();
        const float aspect = top != 0 ? static_cast<float>(view.Right() / top) : 1.0f;
        gl.Scalef(aspect * 0.4f * 0.914f, 1, 1);
        gl.Translatef(-WideBackgroundStart, 0, 0);
        Background->RenderBlended();
        gl.Translatef(WideBackgroundStep, 0, 0);
        Background->RenderBlended();
    }
    gl.PopMatrix();
    gl.Enable(GL_DEPTH_TEST);
    EndBackgroundCaustic();
    cache.SetBlending(false);
}

void TUnderWater::RenderOpaque() {
    TPassTimer& timer = ThePassTimer();
    timer.Begin("water: surface");
    if (HasUp && UpTexture) RenderSurface();
    timer.Begin("water: backdrop");
    RenderBackdrop();
    timer.Begin("water: sea bed");
    if (HasBottom && BottomTexture) RenderSeaBed();
    timer.Begin("water: light rays");
    if (UseLights && LightTexture) RenderLightRays();
    timer.Begin("water: background");
    if (UseBackground && Background) RenderBackground();
}
