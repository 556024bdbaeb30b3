#include "world/underwater.h"

#include "render/gl_objects.h"
#include "render/gl_table.h"
#include "render/gl_textures.h"
#include "render/opengl.h"
#include "render/pass_timer.h"
#include "scene/scene_textures.h"
#include "scene/lights.h"
#include "scene/loader.h"
#include "scene/meshes.h"
#include "scene/renderstate.h"
#include "scene/scene_gl.h"
#include "world/caustic.h"

#include <algorithm>
#include <array>
#include <climits>
#include <cmath>
#include <vector>

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

// The light rays' texture coordinates: s runs along x and t, barely, along
// y (object planes), both sliding with the caustic clock.
constexpr float RaySPerUnit = 0.0002f, RaySSpeed = 0.15f;
constexpr float RayTPerUnit = 0.000004f, RayTSpeed = 0.25f;
// The rays' brightest vertex alpha, a tenth of the way down.
constexpr uint8_t RayAlpha = 80;
// Strips of light rays one repeat of their texture may need; more, and the
// whole sheet is drawn.
constexpr int MaxRayStripsPerRepeat = 32;
// Alpha tests: blended layers in general, the background picture.
constexpr float BlendAlphaRef = 0.05f;
constexpr float BackgroundAlphaRef = 0.35f;
// Upright bands the background picture is cropped in.
constexpr int BackgroundBands = 32;
// How far (in texture widths) filtering and mipmaps reach from a texel
// whose alpha passes, and how much lower than the test's reference a cell
// may be and still count (texel formats of fewer alpha bits).
constexpr float CropReach = 1.0f / 64;
constexpr int CropSlack = 16;

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
    BackgroundCrop.reset();
    CropGroup = nullptr;
    LightRayStrips.reset();
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
    // The light layer's coordinates ride along as the surface's second set.
    LightMapGrid->GetTextureCoords(0).AssignTo(&SurfaceGrid->GetTextureCoords(1));
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

    // Each strip: top, middle and bottom on its left edge, then on its right
    // edge, lit as the sheet is at those heights. Only x changes per frame.
    LightRayStrips.reset(Primitives().Add());
    LightRayStrips->Mode = GL_TRIANGLES;
    const int repeats = static_cast<int>(std::ceil(RaySPerUnit * W)) + 2;
    const int strips = std::min(repeats * MaxRayStripsPerRepeat, INT16_MAX / 6);
    LightRayStrips->Vertices.SetCount(6 * strips);
    LightRayStrips->Colors.SetCount(6 * strips);
    LightRayStrips->Indices.SetCount(12 * strips);
    TVector3f* strip = LightRayStrips->Vertices.Vectors();
    int16_t* stripIndex = LightRayStrips->Indices.Indices();
    const float stripY[3] = {UpY, ym, BottomY}, stripZ[3] = {za, zm, zb};
    const uint8_t stripAlpha[3] = {0, RayAlpha, 0};
    const int stripTriangles[12] = {0, 1, 4, 0, 4, 3, 1, 2, 5, 1, 5, 4};
    for (int i = 0; i < strips; ++i) {
        for (int k = 0; k < 6; ++k) {
            strip[6 * i + k] = {-W / 2, stripY[k % 3], stripZ[k % 3]};
            LightRayStrips->Colors.Set(6 * i + k, MakeByteColor(255, 255, 255, stripAlpha[k % 3]));
        }
        for (int k = 0; k < 12; ++k) stripIndex[12 * i + k] = static_cast<int16_t>(6 * i + stripTriangles[k]);
    }
    BackgroundCrop.reset();
    CropGroup = nullptr;

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
        if (SurfaceGrid) {
            TGLTextureCoordDArray& second = SurfaceGrid->GetTextureCoords(1);
            if (second.Count() == coords.Count()) std::copy(st, st + coords.Count(), second.Coords());
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
    // Folded, the light layer is mixed in by the second unit, UpAlpha of it
    // over the surface's own texel: what blending it on top would give, in
    // one pass over the pixels instead of two.
    const bool fold = LightLayerFolds();
    if (fold) cache.BindSceneTexture(UpLightMap);  // made and uploaded
    cache.BindSceneTexture(UpTexture);
    if (fold) {
        gl.ActiveTextureARB(GL_TEXTURE1_ARB);
        gl.BindTexture(GL_TEXTURE_2D, UpLightMap->GLTexture()->Name());
        gl.Enable(GL_TEXTURE_2D);
        // The caustics leave coordinate generation on in this unit; the
        // light layer brings its own coordinates.
        gl.Disable(GL_TEXTURE_GEN_S);
        gl.Disable(GL_TEXTURE_GEN_T);
        gl.TexEnvi(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, GL_COMBINE_ARB);
        gl.TexEnvi(GL_TEXTURE_ENV, GL_COMBINE_RGB_ARB, GL_INTERPOLATE_ARB);
        gl.TexEnvi(GL_TEXTURE_ENV, GL_SOURCE0_RGB_ARB, GL_TEXTURE);
        gl.TexEnvi(GL_TEXTURE_ENV, GL_OPERAND0_RGB_ARB, GL_SRC_COLOR);
        gl.TexEnvi(GL_TEXTURE_ENV, GL_SOURCE1_RGB_ARB, GL_PREVIOUS_ARB);
        gl.TexEnvi(GL_TEXTURE_ENV, GL_OPERAND1_RGB_ARB, GL_SRC_COLOR);
        gl.TexEnvi(GL_TEXTURE_ENV, GL_SOURCE2_RGB_ARB, GL_CONSTANT_ARB);
        gl.TexEnvi(GL_TEXTURE_ENV, GL_OPERAND2_RGB_ARB, GL_SRC_ALPHA);
        gl.TexEnvi(GL_TEXTURE_ENV, GL_COMBINE_ALPHA_ARB, GL_REPLACE);
        gl.TexEnvi(GL_TEXTURE_ENV, GL_SOURCE0_ALPHA_ARB, GL_PREVIOUS_ARB);
        gl.TexEnvi(GL_TEXTURE_ENV, GL_OPERAND0_ALPHA_ARB, GL_SRC_ALPHA);
        const GLfloat mix[4] = {1, 1, 1, static_cast<float>(ChannelByte(UpAlpha)) / 255.0f};
        gl.TexEnvfv(GL_TEXTURE_ENV, GL_TEXTURE_ENV_COLOR, mix);
        gl.ActiveTextureARB(GL_TEXTURE0_ARB);
        SurfaceGrid->Multitexture = true;
    }
    DrawAtHeight(SurfaceGrid.get(), UpY);
    if (fold) {
        SurfaceGrid->Multitexture = false;
        // The caustics take unit 1 in modulate mode.
        gl.ActiveTextureARB(GL_TEXTURE1_ARB);
        gl.TexEnvi(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, GL_MODULATE);
        gl.Disable(GL_TEXTURE_2D);
        gl.ActiveTextureARB(GL_TEXTURE0_ARB);
    }
    cache.SetBlending(true);
    // The light layer needs its own texture; without one it is left out.
    if (UpLightMap && !fold) {
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
    const GLfloat planeS[4] = {RaySPerUnit, 0, 0, RaySSpeed * CausticTime};
    const GLfloat planeT[4] = {0, RayTPerUnit, 0, RayTSpeed * CausticTime};
    gl.TexGeni(GL_S, GL_TEXTURE_GEN_MODE, GL_OBJECT_LINEAR);
    gl.TexGenfv(GL_S, GL_OBJECT_PLANE, planeS);
    gl.TexGeni(GL_T, GL_TEXTURE_GEN_MODE, GL_OBJECT_LINEAR);
    gl.TexGenfv(GL_T, GL_OBJECT_PLANE, planeT);
    gl.Enable(GL_TEXTURE_GEN_S);
    gl.Enable(GL_TEXTURE_GEN_T);
    if (CutLightRays())
        LightRayStrips->Render();
    else if (LightRays)
        LightRays->Render();
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
    gl.AlphaFunc(GL_GREATER, BackgroundAlphaRef);
    gl.Enable(GL_DEPTH_TEST);
    gl.PushMatrix();
    if (ScreenCount == 1) {
        gl.Translatef(-BackgroundStep, 0, 0);
        DrawBackgroundCopy();
        gl.Translatef(BackgroundStep, 0, 0);
        DrawBackgroundCopy();
        gl.Translatef(BackgroundStep, 0, 0);
        DrawBackgroundCopy();
    } else {
        const TSceneView view = SceneView(MainScene);
        const double top = view.Top();
        const float aspect = top != 0 ? static_cast<float>(view.Right() / top) : 1.0f;
        gl.Scalef(aspect * 0.4f * 0.914f, 1, 1);
        gl.Translatef(-WideBackgroundStart, 0, 0);
        DrawBackgroundCopy();
        gl.Translatef(WideBackgroundStep, 0, 0);
        DrawBackgroundCopy();
    }
    gl.PopMatrix();
    gl.Enable(GL_DEPTH_TEST);
    EndBackgroundCaustic();
    cache.SetBlending(false);
}

bool TUnderWater::LightLayerFolds() const {
    if (!UpLightMap || !(UpAlpha > 0) || UpLightMap->Format() != tfTexture || !SurfaceGrid || !LightMapGrid ||
        SurfaceGrid->GetTextureCoords(1).Count() != SurfaceGrid->VertexCount() || !gl.ActiveTextureARB)
        return false;
    TCustomOpenGL* context = SceneOpenGL(MainScene);
    if (!context || !Primitives().MultitextureSupported() || Primitives().TextureUnits() < 2) return false;
    const TGLTextureList& textures = context->Textures();
    return textures.MultitextureInUse && textures.CombineSupported();
}

bool TUnderWater::CutLightRays() {
    if (!LightRayStrips || !LightRays || !LightTexture) return false;
    const TAlphaCells& cells = LightTexture->AlphaCells;
    if (cells.Empty() || cells.Columns > TSceneTexture::AlphaCellColumns) return false;
    const int columns = cells.Columns, rows = cells.Rows;
    const int reachColumns = static_cast<int>(std::ceil(CropReach * static_cast<float>(columns)));
    const int reachRows = static_cast<int>(std::ceil(CropReach * static_cast<float>(rows)));

    // The brightest texel of each column over the rows the sheet shows now.
    const double tLow = RayTPerUnit * static_cast<double>(std::min(UpY, BottomY)) + RayTSpeed * CausticTime;
    const double tHigh = RayTPerUnit * static_cast<double>(std::max(UpY, BottomY)) + RayTSpeed * CausticTime;
    int64_t rowFrom = static_cast<int64_t>(std::floor(tLow * rows)) - reachRows;
    int64_t rowTo = static_cast<int64_t>(std::floor(tHigh * rows)) + reachRows;
    if (rowTo - rowFrom >= rows) rowTo = rowFrom + rows - 1;
    std::array<uint8_t, TSceneTexture::AlphaCellColumns> peak{};
    for (int64_t r = rowFrom; r <= rowTo; ++r) {
        const int row = static_cast<int>(((r % rows) + rows) % rows);
        for (int c = 0; c < columns; ++c) peak[static_cast<size_t>(c)] = std::max(peak[static_cast<size_t>(c)], cells.At(c, row));
    }
    // A column is lit when a texel within reach can pass the alpha test
    // under the sheet's brightest vertex.
    const float needed = BlendAlphaRef * 255.0f * 255.0f / RayAlpha - CropSlack;
    std::array<bool, TSceneTexture::AlphaCellColumns> lit{};
    for (int c = 0; c < columns; ++c)
        if (peak[static_cast<size_t>(c)] > needed)
            for (int d = -reachColumns; d <= reachColumns; ++d) lit[static_cast<size_t>(((c + d) % columns + columns) % columns)] = true;

    // Runs of lit columns over one repeat, starting after a dark column so
    // that a run across the seam stays whole.
    int dark = -1;
    for (int c = 0; c < columns && dark < 0; ++c)
        if (!lit[static_cast<size_t>(c)]) dark = c;
    if (dark < 0) return false;
    std::array<std::array<int, 2>, MaxRayStripsPerRepeat> runs;
    int runCount = 0;
    for (int k = 1, start = -1; k <= columns; ++k) {
        const int c = dark + k;
        const bool on = k < columns && lit[static_cast<size_t>(c % columns)];
        if (on && start < 0) start = c;
        if (!on && start >= 0) {
            if (runCount == MaxRayStripsPerRepeat) return false;
            runs[static_cast<size_t>(runCount++)] = {start, c};
            start = -1;
        }
    }

    // The runs of every repeat the sheet spans, as strips in x.
    const float half = LightRays->Vertices.Vectors()[3].x;
    const double offset = RaySSpeed * static_cast<double>(CausticTime);
    const double sLeft = RaySPerUnit * -half + offset, sRight = RaySPerUnit * half + offset;
    TVector3f* v = LightRayStrips->Vertices.Vectors();
    const int strips = LightRayStrips->VertexCount() / 6;
    int used = 0;
    for (int64_t repeat = static_cast<int64_t>(std::floor(sLeft)) - 1; repeat <= static_cast<int64_t>(std::floor(sRight));
         ++repeat)
        for (int i = 0; i < runCount; ++i) {
            const double s0 = static_cast<double>(repeat) + static_cast<double>(runs[static_cast<size_t>(i)][0]) / columns;
            const double s1 = static_cast<double>(repeat) + static_cast<double>(runs[static_cast<size_t>(i)][1]) / columns;
            const float x0 = static_cast<float>(std::max((s0 - offset) / RaySPerUnit, static_cast<double>(-half)));
            const float x1 = static_cast<float>(std::min((s1 - offset) / RaySPerUnit, static_cast<double>(half)));
            if (!(x1 > x0)) continue;
            if (used == strips) return false;
            for (int k = 0; k < 3; ++k) {
                v[6 * used + k].x = x0;
                v[6 * used + 3 + k].x = x1;
            }
            ++used;
        }
    // The spare strips shrink to nothing.
    for (int i = used; i < strips; ++i)
        for (int k = 0; k < 6; ++k) v[6 * i + k].x = -half;
    return true;
}

void TUnderWater::DrawBackgroundCopy() {
    Background->EnsureLoaded();
    TMeshGroup* group = Background->OpaqueGroups.Count() == 0 && Background->BlendedGroups.Count() == 1
                            ? Background->BlendedGroups.Get(0)
                            : nullptr;
    if (!group || !group->Texture || group->VertexFrames.Count() > 1) {
        Background->RenderBlended();
        return;
    }
    TRenderStateCache& cache = TheRenderState();
    cache.SetBlending(true);
    cache.ApplyGroupMaterial(group->GroupMaterial);
    // Bound first: a new picture is loaded here, and the crop follows it.
    cache.BindSceneTexture(group->Texture);
    if (group != CropGroup || group->Texture->Loads != CropLoads) BuildBackgroundCrop(*group);
    if (BackgroundCrop)
        BackgroundCrop->Render();
    else
        group->Primitive->Render();
}

void TUnderWater::BuildBackgroundCrop(const TMeshGroup& group) {
    CropGroup = &group;
    CropLoads = group.Texture->Loads;
    BackgroundCrop.reset();
    const TAlphaCells& cells = group.Texture->AlphaCells;
    TGLPrimitive& source = *group.Primitive;
    const int n = source.VertexCount();
    const TGLTextureCoordDArray& coords = source.GetTextureCoords(0);
    if (cells.Empty() || source.Mode != GL_TRIANGLES || n < 3 || coords.Count() != n) return;
    if (source.Colors.Count() > 1 || source.Normals.Count() == 0) return;
    const TVector3f* p = source.Vertices.Vectors();
    const TVector2f* st = coords.Coords();

    // The picture must lie on the mesh as one flat parallelogram, without
    // repeats: place = origin + s * alongS + t * alongT.
    const TVector3f e1{p[1].x - p[0].x, p[1].y - p[0].y, p[1].z - p[0].z};
    const TVector3f e2{p[2].x - p[0].x, p[2].y - p[0].y, p[2].z - p[0].z};
    const float ds1 = st[1].x - st[0].x, dt1 = st[1].y - st[0].y, ds2 = st[2].x - st[0].x, dt2 = st[2].y - st[0].y;
    const float det = ds1 * dt2 - dt1 * ds2;
    if (std::fabs(det) < 1e-6f) return;
    const TVector3f alongS{(dt2 * e1.x - dt1 * e2.x) / det, (dt2 * e1.y - dt1 * e2.y) / det, (dt2 * e1.z - dt1 * e2.z) / det};
    const TVector3f alongT{(ds1 * e2.x - ds2 * e1.x) / det, (ds1 * e2.y - ds2 * e1.y) / det, (ds1 * e2.z - ds2 * e1.z) / det};
    const TVector3f origin{p[0].x - st[0].x * alongS.x - st[0].y * alongT.x, p[0].y - st[0].x * alongS.y - st[0].y * alongT.y,
                           p[0].z - st[0].x * alongS.z - st[0].y * alongT.z};
    auto place = [&](float s, float t) {
        return TVector3f{origin.x + s * alongS.x + t * alongT.x, origin.y + s * alongS.y + t * alongT.y,
                         origin.z + s * alongS.z + t * alongT.z};
    };
    const float size = std::fabs(alongS.x) + std::fabs(alongS.y) + std::fabs(alongS.z) + std::fabs(alongT.x) +
                       std::fabs(alongT.y) + std::fabs(alongT.z);
    float s0 = st[0].x, s1 = st[0].x, t0 = st[0].y, t1 = st[0].y;
    for (int i = 0; i < n; ++i) {
        const TVector3f q = place(st[i].x, st[i].y);
        if (std::fabs(q.x - p[i].x) + std::fabs(q.y - p[i].y) + std::fabs(q.z - p[i].z) > 1e-4f * size) return;
        s0 = std::min(s0, st[i].x);
        s1 = std::max(s1, st[i].x);
        t0 = std::min(t0, st[i].y);
        t1 = std::max(t1, st[i].y);
    }
    if (s0 < 0 || t0 < 0 || s1 > 1 || t1 > 1 || !(s1 > s0) || !(t1 > t0)) return;
    // ... and its triangles must cover that rectangle once.
    double area = 0;
    auto corner = [&](int k) { return source.Indices.Count() ? source.Indices.Indices()[k] : static_cast<int16_t>(k); };
    const int corners = source.Indices.Count() ? source.Indices.Count() : n;
    for (int k = 0; k + 2 < corners; k += 3) {
        const TVector2f a = st[corner(k)], b = st[corner(k + 1)], c = st[corner(k + 2)];
        area += std::fabs((b.x - a.x) * (c.y - a.y) - (b.y - a.y) * (c.x - a.x)) / 2;
    }
    if (std::fabs(area - static_cast<double>((s1 - s0) * (t1 - t0))) > 1e-4) return;
    // Nothing repeats up the picture (it is bound now): its top edge must
    // not blend in its bottom rows, a dark seam right across the screen.
    if (glCaps.EdgeClamp) gl.TexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, GL_CLAMP_TO_EDGE);

    // Per band, each run of rows that pass the test, widened by the reach of
    // filtering; columns past the picture's edges wrap round, as the texture
    // does, so a sliver at one edge can show what lies at the other. Rows
    // wrap too, which is what a context without edge clamping draws and
    // elsewhere keeps at most a sliver the alpha test then discards.
    const int columns = cells.Columns, rows = cells.Rows;
    const int reachColumns = static_cast<int>(std::ceil(CropReach * static_cast<float>(columns)));
    const int reachRows = static_cast<int>(std::ceil(CropReach * static_cast<float>(rows)));
    const float needed = BackgroundAlphaRef * 255.0f - CropSlack;
    auto wrap = [](int i, int count) { return (i % count + count) % count; };
    const int firstRow = static_cast<int>(std::floor(t0 * rows)) - reachRows;
    const int lastRow = static_cast<int>(std::ceil(t1 * rows)) + reachRows;
    std::vector<std::array<float, 4>> quads;  // s0, s1, t0, t1
    for (int band = 0; band < BackgroundBands; ++band) {
        const float bandS0 = s0 + (s1 - s0) * static_cast<float>(band) / BackgroundBands;
        const float bandS1 = s0 + (s1 - s0) * static_cast<float>(band + 1) / BackgroundBands;
        const int c0 = static_cast<int>(std::floor(bandS0 * columns)) - reachColumns;
        const int c1 = static_cast<int>(std::ceil(bandS1 * columns)) + reachColumns;
        auto passes = [&](int r) {
            for (int c = c0; c < c1; ++c)
                if (cells.At(wrap(c, columns), wrap(r, rows)) > needed) return true;
            return false;
        };
        float runT0 = 0, runT1 = -1;  // the run being gathered
        for (int r = firstRow; r <= lastRow + 1; ++r) {
            if (r <= lastRow && passes(r)) {
                const float low = std::max(t0, static_cast<float>(r - reachRows) / rows);
                const float high = std::min(t1, static_cast<float>(r + 1 + reachRows) / rows);
                if (runT1 >= runT0 && low <= runT1) {
                    runT1 = std::max(runT1, high);
                } else {
                    if (runT1 > runT0) quads.push_back({bandS0, bandS1, runT0, runT1});
                    runT0 = low;
                    runT1 = high;
                }
            }
        }
        if (runT1 > runT0) quads.push_back({bandS0, bandS1, runT0, runT1});
    }

    BackgroundCrop.reset(Primitives().Add());
    TGLPrimitive& crop = *BackgroundCrop;
    crop.Mode = GL_TRIANGLES;
    const int count = static_cast<int>(quads.size());
    crop.Vertices.SetCount(4 * count);
    crop.GetTextureCoords(0).SetCount(4 * count);
    crop.Indices.SetCount(6 * count);
    if (source.Colors.Count() == 1) source.Colors.AssignTo(&crop.Colors);
    crop.Normals.SetCount(1);
    crop.Normals.Set(0, source.Normals.Vectors()[0]);
    TVector3f* v = crop.Vertices.Vectors();
    TVector2f* cropSt = crop.GetTextureCoords(0).Coords();
    int16_t* index = crop.Indices.Indices();
    for (int q = 0; q < count; ++q) {
        const auto& [qs0, qs1, qt0, qt1] = quads[static_cast<size_t>(q)];
        const TVector2f corners4[4] = {{qs0, qt0}, {qs1, qt0}, {qs1, qt1}, {qs0, qt1}};
        for (int k = 0; k < 4; ++k) {
            cropSt[4 * q + k] = corners4[k];
            v[4 * q + k] = place(corners4[k].x, corners4[k].y);
        }
        const int triangles[6] = {0, 1, 2, 0, 2, 3};
        for (int k = 0; k < 6; ++k) index[6 * q + k] = static_cast<int16_t>(4 * q + triangles[k]);
    }
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
