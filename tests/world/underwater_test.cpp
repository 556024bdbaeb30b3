#include "world/underwater.h"

#include "platform/null/gl_context_null.h"
#include "platform/null/gl_library_null.h"
#include "render/gl_objects.h"
#include "render/gl_recorder.h"
#include "render/gl_textures.h"
#include "render/opengl.h"
#include "scene/scene_textures.h"
#include "scene/lights.h"
#include "scene/loader.h"
#include "scene/materials.h"
#include "scene/memory_scene_host.h"
#include "scene/meshes.h"
#include "scene/registry.h"
#include "scene/renderstate.h"
#include "scene/scene_gl.h"
#include "world/world_classes.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

namespace {

// Values behind pointer arguments, which the recorder logs only as 1.
struct TVectorCall {
    GLenum Coord, Name;
    std::vector<float> V;
};
std::vector<TVectorCall> texGenfv, fogfv;
TGLTable recorded;

void MGL_APIENTRY CaptureTexGenfv(GLenum coord, GLenum pname, const GLfloat* v) {
    texGenfv.push_back({coord, pname, std::vector<float>(v, v + 4)});
    recorded.TexGenfv(coord, pname, v);
}
void MGL_APIENTRY CaptureFogfv(GLenum pname, const GLfloat* v) {
    fogfv.push_back({pname, 0, std::vector<float>(v, v + 4)});
    recorded.Fogfv(pname, v);
}

const char* CapName(double cap) {
    switch (static_cast<GLenum>(cap)) {
    case GL_FOG: return "FOG";
    case GL_LIGHTING: return "LIGHTING";
    case GL_DEPTH_TEST: return "DEPTH_TEST";
    case GL_TEXTURE_2D: return "TEXTURE_2D";
    case GL_BLEND: return "BLEND";
    case GL_ALPHA_TEST: return "ALPHA_TEST";
    case GL_TEXTURE_GEN_S: return "TEXTURE_GEN_S";
    case GL_TEXTURE_GEN_T: return "TEXTURE_GEN_T";
    default: return nullptr;
    }
}

std::string Int(double v) { return std::to_string(static_cast<long long>(std::lround(v))); }

// The calls that make the drawing order, as short words: "+FOG" and "-FOG"
// for switches, "draw144" for indexed draws, "arrays3" for array draws,
// "T0,5000" for translations, "alpha35" for the alpha test threshold,
// "genS:eye" for coordinate generation, "unit1" for the active texture unit.
std::vector<std::string> Trace(const TGLRecorder& rec) {
    std::vector<std::string> out;
    for (const TGLCall& c : rec.Calls) {
        const std::string name = c.Name;
        if (name == "glEnable" || name == "glDisable") {
            if (const char* cap = CapName(c.Args[0])) out.push_back((name == "glEnable" ? "+" : "-") + std::string(cap));
        } else if (name == "glDrawElements") {
            out.push_back("draw" + Int(c.Args[1]));
        } else if (name == "glDrawArrays") {
            out.push_back("arrays" + Int(c.Args[2]));
        } else if (name == "glTranslatef") {
            out.push_back("T" + Int(c.Args[0]) + "," + Int(c.Args[1]));
        } else if (name == "glScalef") {
            out.push_back("S");
        } else if (name == "glPushMatrix") {
            out.push_back("push");
        } else if (name == "glPopMatrix") {
            out.push_back("pop");
        } else if (name == "glAlphaFunc") {
            out.push_back("alpha" + Int(c.Args[1] * 100));
        } else if (name == "glTexGeni") {
            out.push_back(std::string(static_cast<GLenum>(c.Args[0]) == GL_S ? "genS:" : "genT:") +
                          (static_cast<GLenum>(c.Args[2]) == GL_EYE_LINEAR ? "eye" : "object"));
        } else if (name == "glActiveTextureARB") {
            out.push_back("unit" + Int(c.Args[0] - double(GL_TEXTURE0_ARB)));
        }
    }
    return out;
}

std::string Join(const std::vector<std::string>& words) {
    std::string s;
    for (const auto& w : words) s += w + " ";
    return s;
}

// Every word of `expected` occurs in `trace` in this order (other words may
// come between them).
::testing::AssertionResult InOrder(const std::vector<std::string>& trace, const std::vector<std::string>& expected) {
    size_t at = 0;
    for (size_t k = 0; k < expected.size(); ++k) {
        while (at < trace.size() && trace[at] != expected[k]) ++at;
        if (at == trace.size())
            return ::testing::AssertionFailure() << "\"" << expected[k] << "\" (word " << k << ") missing or out of order in: "
                                                 << Join(trace);
        ++at;
    }
    return ::testing::AssertionSuccess();
}

int Occurrences(const std::vector<std::string>& trace, const std::string& word) {
    int n = 0;
    for (const auto& w : trace) n += w == word;
    return n;
}

uint8_t Alpha(TByteColor c) { return static_cast<uint8_t>(c >> 24); }

constexpr const char* kWaterKeys =
    "FarPlane=10000\nFogStart=6000\nFogEnd=10000\nFogColor=40,135,198,255\nEmulateDepth=0\nUpY=5000\n"
    "BottomY=-3000\nUpColor=70,175,235,255\nBottomColor=10,95,160,255\nUpAlpha=0.55\nBottomAlpha=0.35\n"
    "BottomTexture=Textures/seabed.jpg\nUpTexture=Textures/water.jpg\nBackgroundIndex=2\n"
    "LightTexture=Textures/caustlight.jpg\nUpLightMap=Textures/light.jpg\nBottomLightMap=Textures/water.jpg\n"
    "BackgroundLightMap=Textures/caustback.jpg\nLight=Light1\nBackground=Meshes/fon3.3dm\n";

class UnderWaterTest : public ::testing::Test {
protected:
    UnderWaterTest() {
        recorded = gl;
        texGenfv.clear();
        fogfv.clear();
        gl.TexGenfv = &CaptureTexGenfv;
        gl.Fogfv = &CaptureFogfv;
        TheRenderState() = TRenderStateCache();
        host.SceneView.FOV = 75;
        host.SceneView.NearDepth = 100;
        host.SceneView.Aspect = 16.0 / 9;
        scene.Application = &host;

        auto textureList = std::make_unique<TSceneTextureList>();
        textureList->SetName("Textures");
        Textures = scene.Add(std::move(textureList));
        for (const char* name : {"seabed.jpg", "water.jpg", "light.jpg", "caustlight.jpg", "caustback.jpg", "FonA.jpg"}) {
            auto texture = std::make_unique<TSceneTexture>();
            texture->SetName(name);
            TSceneTexture* t = Textures->Add(std::move(texture));
            // A GL texture already there, so nothing is read.
            t->CreateGLTexture(tfTexture);
            t->GLTexture()->SetSize(4, 4);
            for (int i = 1; i <= 6; ++i) t->FileList.push_back(std::to_string(i) + name);
        }
        Texture("caustback.jpg")->GLTexture()->TextureUnit = 1;

        auto materialList = std::make_unique<TSceneMaterialList>();
        materialList->SetName("Materials");
        auto material = std::make_unique<TSceneMaterial>();
        material->SetName("M");
        TSceneMaterial* m = scene.Add(std::move(materialList))->Add(std::move(material));
        m->AddGroupMaterial()->Material->SetDiffuse({1, 1, 1, 0.5f});

        // A background mesh of one translucent triangle.
        auto meshList = std::make_unique<TSceneMeshList>();
        meshList->SetName("Meshes");
        auto mesh = std::make_unique<TSceneMesh>();
        mesh->SetName("fon3.3dm");
        Background = scene.Add(std::move(meshList))->Add(std::move(mesh));
        Background->Material = m;
        Background->Loaded = true;
        const float triangle[9] = {0, 0, -9000, 100, 0, -9000, 0, 100, -9000};
        Background->AddGroup(0, 0, nullptr)->Primitive->Vertices.Assign(triangle, 3);

        for (const char* name : {"Light1", "Light2"}) {
            auto light = std::make_unique<TMainLight>();
            light->SetName(name);
            scene.Add(std::move(light));
        }
        rec.Clear();
    }
    ~UnderWaterTest() override {
        scene.FreeAll();
        TheRenderState() = TRenderStateCache();
    }

    TSceneTexture* Texture(const std::string& name) {
        return dynamic_cast<TSceneTexture*>(scene.FindObject("Textures/" + name));
    }
    TMainLight* Light(const std::string& name) { return dynamic_cast<TMainLight*>(scene.FindObject(name)); }

    // A water of the scene read from these keys.
    TUnderWater& Load(const std::string& keys, const std::string& name = "Salt Water - 1") {
        auto created = std::make_unique<TUnderWater>();
        created->SetName(name);
        TUnderWater* water = scene.Add(std::move(created));
        TResourceLoader loader;
        loader.Scene = &scene;
        loader.OpenText("[W]\n" + keys);
        loader.Section = "W";
        water->ReadProperties(loader);
        return *water;
    }

    // One frame's opaque pass as the scene starts it.
    std::vector<std::string> Render(TUnderWater& water) {
        TheRenderState().Reset();
        rec.Clear();
        water.RenderOpaque();
        return Trace(rec);
    }

    TGLRecorder rec;
    platform::NullGLLibrary library;
    platform::NullGLContext binding;
    TCustomOpenGL ogl{library, binding};
    TMemorySceneHost host{&ogl};
    TMainScene scene;
    TSceneTextureList* Textures = nullptr;
    TSceneMesh* Background = nullptr;
};

// --- geometry -------------------------------------------------------------------

TEST_F(UnderWaterTest, GridsSpanFourFrustumWidthsAndRepeatTheSeaBedByTheAspect) {
    TUnderWater& wide = Load(kWaterKeys);
    const TGLPrimitive& bed = *wide.SeaBedGrid;
    ASSERT_EQ(bed.VertexCount(), 35);
    const float W = bed.Vertices.Get(6).x - bed.Vertices.Get(0).x;
    EXPECT_NEAR(W, 54565, 1);
    EXPECT_NEAR(bed.Vertices.Get(0).x, -W / 2, 0.01);
    EXPECT_NEAR(bed.GetTextureCoords(0).Get(6).x, 19.1, 0.01);
    EXPECT_FLOAT_EQ(bed.GetTextureCoords(0).Get(0).y, 3.5f);
    EXPECT_FLOAT_EQ(bed.GetTextureCoords(0).Get(34).y, 0);

    host.SceneView.Aspect = 4.0 / 3;
    TUnderWater& narrow = Load(kWaterKeys, "Salt Water - 2");
    const TGLPrimitive& bed43 = *narrow.SeaBedGrid;
    EXPECT_NEAR(bed43.Vertices.Get(6).x - bed43.Vertices.Get(0).x, 40924, 1);
    EXPECT_NEAR(bed43.GetTextureCoords(0).Get(6).x, 14.3, 0.05);
    // The backdrop and the light rays are as wide as the grids.
    EXPECT_NEAR(narrow.Backdrop->Vertices.Get(2).x, 40924 / 2.0, 1);
    EXPECT_NEAR(narrow.LightRays->Vertices.Get(3).x, 40924 / 2.0, 1);
}

TEST_F(UnderWaterTest, SeaBedGridRunsFromTheFarPlaneToDepth3900InTwoTrianglesPerCell) {
    const TUnderWater& water = Load(kWaterKeys);
    const TGLPrimitive& bed = *water.SeaBedGrid;
    const float W = bed.Vertices.Get(6).x - bed.Vertices.Get(0).x;
    // Row by row from the far plane, columns left to right.
    for (int row = 0; row <= 4; ++row)
        for (int col = 0; col <= 6; ++col) {
            const TVector3f v = bed.Vertices.Get(row * 7 + col);
            EXPECT_NEAR(v.x, -W / 2 + col * W / 6, 0.05) << row << "," << col;
            EXPECT_FLOAT_EQ(v.y, 0);
            EXPECT_FLOAT_EQ(v.z, -10000 + row * 1525.0f) << row << "," << col;
            EXPECT_NEAR(bed.GetTextureCoords(0).Get(row * 7 + col).y, (1 - row / 4.0) * 3.5, 1e-5);
        }
    ASSERT_EQ(bed.Indices.Count(), 6 * 4 * 6);
    const int firstCell[6] = {0, 7, 8, 0, 8, 1};
    for (int k = 0; k < 6; ++k) EXPECT_EQ(bed.Indices.Get(k), firstCell[k]);
    // The last cell: row 3, column 5.
    const int lastCell[6] = {26, 33, 34, 26, 34, 27};
    for (int k = 0; k < 6; ++k) EXPECT_EQ(bed.Indices.Get(138 + k), lastCell[k]);
    ASSERT_EQ(bed.Colors.Count(), 1);
    EXPECT_EQ(bed.Colors.Get(0), MakeByteColor(255, 255, 255, 255));
    ASSERT_EQ(bed.Normals.Count(), 1);
    EXPECT_FLOAT_EQ(bed.Normals.Get(0).y, 1);
}

TEST_F(UnderWaterTest, SurfaceGridsFaceDownAndTheLightLayerCarriesUpAlpha) {
    const TUnderWater& water = Load(kWaterKeys);
    for (const TGLPrimitive* grid : {water.SurfaceGrid.get(), water.LightMapGrid.get()}) {
        ASSERT_EQ(grid->VertexCount(), 35);
        const float W = grid->Vertices.Get(0).x - grid->Vertices.Get(6).x;
        EXPECT_NEAR(W, 54565, 1) << "x mirrored: the first column is on the right";
        EXPECT_NEAR(grid->Vertices.Get(34).z, -6000, 1e-3);
        EXPECT_NEAR(grid->Vertices.Get(7).z, -9000, 1e-3);
        ASSERT_EQ(grid->Normals.Count(), 35);
        for (int i = 0; i < 35; ++i) EXPECT_NEAR(grid->Normals.Get(i).y, -1, 1e-5) << i;
    }
    EXPECT_FLOAT_EQ(water.SurfaceGrid->GetTextureCoords(0).Get(6).x, 2);
    EXPECT_FLOAT_EQ(water.LightMapGrid->GetTextureCoords(0).Get(6).x, 4);
    EXPECT_FLOAT_EQ(water.LightMapGrid->GetTextureCoords(0).Get(0).y, 1);
    ASSERT_EQ(water.LightMapGrid->Colors.Count(), 1);
    EXPECT_EQ(water.LightMapGrid->Colors.Get(0), MakeByteColor(255, 255, 255, 140));  // 0.55 * 255
    EXPECT_EQ(water.SurfaceGrid->Colors.Get(0), MakeByteColor(255, 255, 255, 255));
}

TEST_F(UnderWaterTest, BackdropFadesFromUpColourToBottomColourAtTheFarPlane) {
    const TUnderWater& water = Load(kWaterKeys);
    const TGLPrimitive& b = *water.Backdrop;
    ASSERT_EQ(b.VertexCount(), 4);
    const float ys[4] = {5000, -3000, -3000, 5000};
    for (int i = 0; i < 4; ++i) {
        EXPECT_FLOAT_EQ(b.Vertices.Get(i).y, ys[i]);
        EXPECT_FLOAT_EQ(b.Vertices.Get(i).z, -10000);
    }
    const TByteColor up = MakeByteColor(70, 175, 235, 255), bottom = MakeByteColor(10, 95, 160, 255);
    ASSERT_EQ(b.Colors.Count(), 4);
    EXPECT_EQ(b.Colors.Get(0), up);
    EXPECT_EQ(b.Colors.Get(1), bottom);
    EXPECT_EQ(b.Colors.Get(2), bottom);
    EXPECT_EQ(b.Colors.Get(3), up);
    const int triangles[6] = {0, 1, 2, 0, 2, 3};
    ASSERT_EQ(b.Indices.Count(), 6);
    for (int k = 0; k < 6; ++k) EXPECT_EQ(b.Indices.Get(k), triangles[k]);
}

TEST_F(UnderWaterTest, LightRaysLeanFromDepth7000AtTheTopTo4000AtTheBottom) {
    const TUnderWater& water = Load(kWaterKeys);
    const TGLPrimitive& r = *water.LightRays;
    ASSERT_EQ(r.VertexCount(), 6);
    const float half = r.Vertices.Get(3).x;
    const float expected[6][3] = {{-half, 5000, -7000}, {-half, -3000, -4000}, {half, -3000, -4000},
                                  {half, 5000, -7000},  {-half, 4200, -6700},  {half, 4200, -6700}};
    for (int i = 0; i < 6; ++i) {
        EXPECT_FLOAT_EQ(r.Vertices.Get(i).x, expected[i][0]) << i;
        EXPECT_FLOAT_EQ(r.Vertices.Get(i).y, expected[i][1]) << i;
        EXPECT_FLOAT_EQ(r.Vertices.Get(i).z, expected[i][2]) << i;
    }
    const uint8_t alphas[6] = {0, 0, 0, 0, 80, 80};
    ASSERT_EQ(r.Colors.Count(), 6);
    for (int i = 0; i < 6; ++i) EXPECT_EQ(r.Colors.Get(i), MakeByteColor(255, 255, 255, alphas[i])) << i;
    const int triangles[12] = {0, 4, 5, 0, 5, 3, 4, 1, 2, 4, 2, 5};
    ASSERT_EQ(r.Indices.Count(), 12);
    for (int k = 0; k < 12; ++k) EXPECT_EQ(r.Indices.Get(k), triangles[k]);
}

TEST_F(UnderWaterTest, WithoutSeaBedTextureTheHeightsFollowTheFrustumAndNoSeaBedIsDrawn) {
    std::string keys = kWaterKeys;
    keys.replace(keys.find("BottomTexture="), std::string("BottomTexture=Textures/seabed.jpg\n").size(), "");
    TUnderWater& water = Load(keys);
    EXPECT_FALSE(water.HasBottom);
    EXPECT_TRUE(water.HasUp);
    // 10000 * tan(37.5 degrees)
    EXPECT_NEAR(water.UpY, 7673.27, 0.05);
    EXPECT_NEAR(water.BottomY, -7673.27, 0.05);
    EXPECT_NEAR(water.Backdrop->Vertices.Get(1).y, -7673.27, 0.05);
    const auto trace = Render(water);
    EXPECT_EQ(Occurrences(trace, "draw144"), 2) << "surface and light layer only: " << Join(trace);
    EXPECT_EQ(Occurrences(trace, "T0,-7673"), 0);
}

// --- fog overlays -----------------------------------------------------------------

TEST_F(UnderWaterTest, FogOverlaysFadeInTheFogColourFromFogStartToFogEnd) {
    const TUnderWater& water = Load(kWaterKeys);
    const TGLPrimitive& bed = *water.SeaBedFogOverlay;
    ASSERT_EQ(bed.VertexCount(), 35);
    ASSERT_EQ(bed.Colors.Count(), 35);
    EXPECT_EQ(bed.Indices.Count(), 144);
    // Rows at depth 10000, 8475, 6950, 5425 and 3900.
    const uint8_t bedAlpha[5] = {255, 158, 61, 0, 0};
    for (int row = 0; row <= 4; ++row)
        for (int col = 0; col <= 6; ++col)
            EXPECT_EQ(bed.Colors.Get(row * 7 + col), MakeByteColor(10, 95, 160, bedAlpha[row])) << row << "," << col;

    const TGLPrimitive& surface = *water.SurfaceFogOverlay;
    ASSERT_EQ(surface.Colors.Count(), 35);
    EXPECT_NEAR(surface.Vertices.Get(0).x, water.SurfaceGrid->Vertices.Get(0).x, 1e-3) << "copies the turned grid";
    // Rows at depth 10000, 9000, 8000, 7000 and 6000 (fog start: clear).
    const uint8_t surfaceAlpha[5] = {255, 191, 128, 64, 0};
    for (int row = 0; row <= 4; ++row)
        EXPECT_EQ(surface.Colors.Get(row * 7 + 3), MakeByteColor(70, 175, 235, surfaceAlpha[row])) << row;
}

TEST_F(UnderWaterTest, FogInFrontOfTheCameraIsShadedTheOtherWayRound) {
    TUnderWater& water = Load(kWaterKeys);
    water.FogStart = -6000;  // fog from z = 6000 to z = 10000
    water.FogEnd = -10000;
    TGLPrimitive layer;
    const float v[12] = {0, 0, 5000, 0, 0, 7000, 0, 0, 8000, 0, 0, 11000};
    layer.Vertices.Assign(v, 4);
    layer.Colors.SetCount(4);
    water.ShadeFogOverlay(layer, MakeByteColor(0, 100, 255, 255));
    const uint8_t alphas[4] = {0, 64, 128, 255};
    for (int i = 0; i < 4; ++i) EXPECT_EQ(layer.Colors.Get(i), MakeByteColor(0, 100, 255, alphas[i])) << i;
}

TEST_F(UnderWaterTest, FogThatStartsWhereItEndsIsAStepInTheFogColour) {
    std::string keys = kWaterKeys;
    keys.replace(keys.find("FogStart=6000"), 13, "FogStart=8000");
    keys.replace(keys.find("FogEnd=10000"), 12, "FogEnd=8000");
    const TUnderWater& water = Load(keys);
    const TGLPrimitive& bed = *water.SeaBedFogOverlay;
    ASSERT_EQ(bed.Colors.Count(), 35);
    // Beyond depth 8000 (rows at 10000 and 8475) the fog is whole, nearer
    // there is none; no vertex keeps the grid's white.
    const uint8_t alphas[5] = {255, 255, 0, 0, 0};
    for (int row = 0; row <= 4; ++row)
        for (int col = 0; col <= 6; ++col)
            EXPECT_EQ(bed.Colors.Get(row * 7 + col), MakeByteColor(10, 95, 160, alphas[row])) << row << "," << col;
}

// --- animation ------------------------------------------------------------------

TEST_F(UnderWaterTest, WavesMoveTheSurfaceAndItsLightLayerTogetherButNotTheFarRow) {
    TUnderWater& water = Load(kWaterKeys);
    water.Animate(0.5f);
    EXPECT_FLOAT_EQ(water.WaveTime, 0.75f);
    EXPECT_FLOAT_EQ(water.CausticTime, 0.2f);
    for (int i = 0; i < 7; ++i) {
        EXPECT_NEAR(water.SurfaceGrid->Vertices.Get(i).y, 0, 1e-3) << i;
        EXPECT_NEAR(water.LightMapGrid->Vertices.Get(i).y, 0, 1e-3) << i;
    }
    // Vertex 10: 150 sin(3 pi / 2 + 0.75) - 100 cos(2 pi + 0.75) = -250 cos 0.75
    EXPECT_NEAR(water.SurfaceGrid->Vertices.Get(10).y, -182.922, 1e-2);
    EXPECT_NEAR(water.LightMapGrid->Vertices.Get(10).y, -182.922, 1e-2);
    // Vertex 14: 150 sin(0.75) - 100 cos(14 pi / 5 + 0.75)
    const double h14 = 150 * std::sin(0.75) - 100 * std::cos(14 * 3.14159265358979 / 5 + 0.75);
    EXPECT_NEAR(water.SurfaceGrid->Vertices.Get(14).y, h14, 1e-2);
    // Only the light layer's texture scrolls.
    EXPECT_NEAR(water.LightMapGrid->GetTextureCoords(0).Get(6).x, 4 - 0.01, 1e-5);
    EXPECT_NEAR(water.LightMapGrid->GetTextureCoords(0).Get(6).y, 1 + 0.025, 1e-5);
    EXPECT_FLOAT_EQ(water.SurfaceGrid->GetTextureCoords(0).Get(6).x, 2);
    // The overlays and the sea bed keep the heights they were built with.
    EXPECT_NEAR(water.SurfaceFogOverlay->Vertices.Get(10).y, 0, 1e-3);
    EXPECT_FLOAT_EQ(water.SeaBedGrid->Vertices.Get(10).y, 0);
}

TEST_F(UnderWaterTest, SeaBedHeightsAreRewrittenOnlyWhenFlatChanges) {
    TUnderWater& water = Load(kWaterKeys);
    EXPECT_FALSE(water.Flat);
    EXPECT_TRUE(water.FlatApplied);
    Render(water);
    EXPECT_FALSE(water.FlatApplied);
    for (TGLPrimitive* layer : {water.SeaBedGrid.get(), water.SeaBedFogOverlay.get()}) {
        EXPECT_FLOAT_EQ(layer->Vertices.Get(3).y, 0) << "the far row stays on the backdrop";
        EXPECT_NEAR(layer->Vertices.Get(7).y, 92.705, 1e-2);   // -300 cos(7 pi / 5)
        EXPECT_NEAR(layer->Vertices.Get(8).y, 557.295, 1e-2);  // 650 - 300 cos(8 pi / 5)
    }
    water.SeaBedGrid->Vertices.Set(8, {0, 1, 0});
    Render(water);
    EXPECT_FLOAT_EQ(water.SeaBedGrid->Vertices.Get(8).y, 1) << "no change, no rewrite";

    water.Flat = true;
    Render(water);
    EXPECT_TRUE(water.FlatApplied);
    for (TGLPrimitive* layer : {water.SeaBedGrid.get(), water.SeaBedFogOverlay.get()})
        for (int i = 0; i < 35; ++i) EXPECT_FLOAT_EQ(layer->Vertices.Get(i).y, 0) << i;
}

// --- drawing --------------------------------------------------------------------

TEST_F(UnderWaterTest, OpaquePassDrawsSurfaceBackdropSeaBedRaysAndBackgroundInOrder) {
    TUnderWater& water = Load(kWaterKeys);
    water.Flat = true;
    const auto trace = Render(water);
    EXPECT_TRUE(InOrder(trace, {
        // surface: fogged, untested depth, then the blended light layer
        "+TEXTURE_2D", "-DEPTH_TEST", "+FOG", "-LIGHTING", "push", "T0,5000", "draw144", "pop",
        "alpha5", "+ALPHA_TEST", "+BLEND", "push", "T0,5000", "draw144", "pop", "-FOG", "-TEXTURE_2D",
        "+DEPTH_TEST",
        // backdrop: plain colours
        "-LIGHTING", "-TEXTURE_2D", "-DEPTH_TEST", "-ALPHA_TEST", "-BLEND", "-FOG", "draw6", "+DEPTH_TEST",
        // sea bed
        "-LIGHTING", "+TEXTURE_2D", "-DEPTH_TEST", "+FOG", "push", "T0,-3000", "draw144", "pop",
        "+BLEND", "-FOG", "+DEPTH_TEST",
        // light rays
        "-LIGHTING", "-DEPTH_TEST", "-FOG", "+TEXTURE_2D", "genS:object", "genT:object", "+TEXTURE_GEN_S",
        "+TEXTURE_GEN_T", "draw12", "-TEXTURE_GEN_S", "-TEXTURE_GEN_T", "+DEPTH_TEST",
        // background: three copies side by side, depth tested
        "-LIGHTING", "-FOG", "alpha35", "+DEPTH_TEST", "push", "T-12600,0", "arrays3", "T12600,0", "arrays3",
        "T12600,0", "arrays3", "pop", "+DEPTH_TEST", "-ALPHA_TEST", "-BLEND"}));
    EXPECT_EQ(Occurrences(trace, "draw144"), 3);
    EXPECT_EQ(Occurrences(trace, "+FOG"), 2);
    EXPECT_EQ(Occurrences(trace, "arrays3"), 3);
    EXPECT_EQ(Occurrences(trace, "S"), 0);
    EXPECT_EQ(Occurrences(trace, "genS:eye"), 0) << "no multitexture: no caustic";
    EXPECT_EQ(Occurrences(trace, "-BLEND"), 2) << "blending ends off";
    EXPECT_FALSE(TheRenderState().BlendingOn);

    // Linear fog from FogStart to FogEnd in the surface's, then the sea bed's colour.
    EXPECT_TRUE(rec.Has("glFogi", {GL_FOG_MODE, GL_LINEAR}));
    EXPECT_TRUE(rec.Has("glHint", {GL_FOG_HINT, GL_FASTEST}));
    EXPECT_TRUE(rec.Has("glFogf", {GL_FOG_START, 6000}));
    EXPECT_TRUE(rec.Has("glFogf", {GL_FOG_END, 10000}));
    ASSERT_EQ(fogfv.size(), 2u);
    EXPECT_FLOAT_EQ(fogfv[0].V[0], 70 / 255.0f);
    EXPECT_FLOAT_EQ(fogfv[0].V[2], 235 / 255.0f);
    EXPECT_FLOAT_EQ(fogfv[1].V[1], 95 / 255.0f);
    EXPECT_FLOAT_EQ(fogfv[1].V[3], 1);
}

TEST_F(UnderWaterTest, LightRayCoordinatesSlideWithTheCausticClock) {
    TUnderWater& water = Load(kWaterKeys);
    water.Animate(1);  // CausticTime 0.4
    Render(water);
    ASSERT_EQ(texGenfv.size(), 2u);
    EXPECT_EQ(texGenfv[0].Coord, GL_S);
    EXPECT_EQ(texGenfv[0].Name, GL_OBJECT_PLANE);
    const float s[4] = {0.0002f, 0, 0, 0.06f}, t[4] = {0, 0.000004f, 0, 0.1f};
    for (int k = 0; k < 4; ++k) {
        EXPECT_FLOAT_EQ(texGenfv[0].V[static_cast<size_t>(k)], s[k]) << k;
        EXPECT_FLOAT_EQ(texGenfv[1].V[static_cast<size_t>(k)], t[k]) << k;
    }
}

TEST_F(UnderWaterTest, EmulatedDepthDrawsOverlaysInsteadOfGLFog) {
    std::string keys = kWaterKeys;
    keys.replace(keys.find("EmulateDepth=0"), 14, "EmulateDepth=1");
    TUnderWater& water = Load(keys);
    // A driver without fog coordinates.
    gl.FogCoordPointerEXT = nullptr;
    const auto trace = Render(water);
    EXPECT_EQ(Occurrences(trace, "+FOG"), 0) << Join(trace);
    EXPECT_EQ(Occurrences(trace, "draw144"), 5);
    EXPECT_TRUE(InOrder(trace, {"T0,5000", "draw144", "T0,5000", "draw144", "-TEXTURE_2D", "T0,5000", "draw144",
                                "draw6", "T0,-3000", "draw144", "+BLEND", "-TEXTURE_2D", "T0,-3000", "draw144",
                                "+DEPTH_TEST", "draw12"}));
}

namespace {
std::vector<const float*> fogPointers;
void MGL_APIENTRY CaptureFogCoordPointer(GLenum, GLsizei, const GLvoid* p) {
    fogPointers.push_back(static_cast<const float*>(p));
}
}  // namespace

// With fog coordinates the surface, its light layer and the sea bed carry
// the overlays' fog in their own draws: no overlay pass, and each vertex's
// fog coordinate is its overlay's alpha.
TEST_F(UnderWaterTest, FogCoordinatesPutTheOverlaysFogIntoTheLayersOwnDraws) {
    std::string keys = kWaterKeys;
    keys.replace(keys.find("EmulateDepth=0"), 14, "EmulateDepth=1");
    TUnderWater& water = Load(keys);
    fogPointers.clear();
    gl.FogCoordPointerEXT = &CaptureFogCoordPointer;
    const auto trace = Render(water);

    EXPECT_EQ(Occurrences(trace, "draw144"), 3) << Join(trace);
    EXPECT_TRUE(InOrder(trace, {"+FOG", "T0,5000", "draw144", "T0,5000", "draw144", "-FOG", "draw6", "+FOG",
                                "T0,-3000", "draw144", "-FOG", "+DEPTH_TEST", "draw12"}));
    EXPECT_TRUE(rec.Has("glFogi", {GL_FOG_COORDINATE_SOURCE_EXT, GL_FOG_COORDINATE_EXT}));
    EXPECT_TRUE(rec.Has("glFogf", {GL_FOG_START, 0}));
    EXPECT_TRUE(rec.Has("glFogf", {GL_FOG_END, 1}));
    EXPECT_TRUE(rec.Has("glFogi", {GL_FOG_COORDINATE_SOURCE_EXT, GL_FRAGMENT_DEPTH_EXT}));
    ASSERT_EQ(fogPointers.size(), 2u);
    const std::pair<const float*, const TGLPrimitive*> layers[2] = {{fogPointers[0], water.SurfaceFogOverlay.get()},
                                                                    {fogPointers[1], water.SeaBedFogOverlay.get()}};
    for (const auto& [fog, overlay] : layers) {
        bool clear = false, covered = false;
        for (int i = 0; i < overlay->VertexCount(); ++i) {
            const uint8_t alpha = overlay->Colors.Bytes()[4 * i + 3];
            EXPECT_NEAR(fog[i] * 255, alpha, 1e-3) << i;
            clear = clear || alpha == 0;
            covered = covered || alpha == 255;
        }
        EXPECT_TRUE(clear && covered);
    }
}

TEST_F(UnderWaterTest, AClearLightLayerIsNotDrawn) {
    std::string keys = kWaterKeys;
    keys.replace(keys.find("UpAlpha=0.55"), 12, "UpAlpha=0");
    TUnderWater& water = Load(keys);
    EXPECT_EQ(Alpha(water.LightMapGrid->Colors.Get(0)), 0);
    const auto trace = Render(water);
    EXPECT_EQ(Occurrences(trace, "draw144"), 2) << "surface and sea bed: " << Join(trace);
    EXPECT_EQ(Occurrences(trace, "T0,5000"), 1);
}

TEST_F(UnderWaterTest, SwitchedOffLayersAndMissingReferencesAreLeftOut) {
    TUnderWater& water = Load(kWaterKeys);
    water.UseLights = false;
    water.UseBackground = false;
    auto trace = Render(water);
    EXPECT_EQ(Occurrences(trace, "draw12"), 0);
    EXPECT_EQ(Occurrences(trace, "arrays3"), 0);
    EXPECT_EQ(Occurrences(trace, "draw144"), 3);

    TUnderWater& bare = Load("FarPlane=10000\nUpY=5000\nBottomY=-3000\n", "Bare");
    EXPECT_FALSE(bare.HasUp);
    trace = Render(bare);
    EXPECT_EQ(Occurrences(trace, "draw6"), 1) << "only the backdrop: " << Join(trace);
    EXPECT_EQ(Occurrences(trace, "draw144") + Occurrences(trace, "draw12") + Occurrences(trace, "arrays3"), 0);
}

TEST_F(UnderWaterTest, TwoMonitorsGetTwoNarrowedBackgroundCopies) {
    TUnderWater& water = Load(kWaterKeys);
    water.ScreenCount = 2;
    const auto trace = Render(water);
    EXPECT_TRUE(InOrder(trace, {"alpha35", "push", "S", "T-6295,0", "arrays3", "T12594,0", "arrays3", "pop"}));
    EXPECT_EQ(Occurrences(trace, "arrays3"), 2);
    for (const TGLCall& c : rec.Calls)
        if (std::strcmp(c.Name, "glScalef") == 0) {
            EXPECT_NEAR(c.Args[0], 16.0 / 9 * 0.4 * 0.914, 1e-5);
            EXPECT_EQ(c.Args[1], 1);
            EXPECT_EQ(c.Args[2], 1);
        }
}

TEST_F(UnderWaterTest, CausticLiesOnSeaBedAndBackgroundWithMultitexture) {
    ogl.Textures().MultitextureInUse = true;
    TUnderWater& water = Load(kWaterKeys);
    water.Animate(1);  // CausticTime 0.4
    texGenfv.clear();
    auto trace = Render(water);
    EXPECT_TRUE(InOrder(trace, {
        "draw6",
        // sea bed with the light map on unit 1, unit 0 active again after it
        "unit1", "genS:eye", "genT:eye", "+TEXTURE_GEN_S", "+TEXTURE_GEN_T", "T0,-3000", "draw144", "+BLEND",
        "unit1", "-TEXTURE_2D", "unit0", "-FOG",
        "draw12",
        // background
        "unit1", "genS:eye", "alpha35", "arrays3", "arrays3", "arrays3", "pop", "+DEPTH_TEST", "unit1",
        "-TEXTURE_2D", "unit0", "-BLEND"}));
    ASSERT_GE(texGenfv.size(), 2u);
    EXPECT_EQ(texGenfv[0].Name, GL_EYE_PLANE);
    const float s[4] = {0.0004f, 0, 0, 0.2f}, t[4] = {0, 0.0002f, -0.0004f, 0.1f};
    for (int k = 0; k < 4; ++k) {
        EXPECT_FLOAT_EQ(texGenfv[0].V[static_cast<size_t>(k)], s[k]) << k;
        EXPECT_FLOAT_EQ(texGenfv[1].V[static_cast<size_t>(k)], t[k]) << k;
    }

    water.UseCaustic = false;
    trace = Render(water);
    EXPECT_EQ(Occurrences(trace, "genS:eye"), 0);
    EXPECT_EQ(Occurrences(trace, "unit1"), 0);
}

// --- cropping to the alpha test ----------------------------------------------------

// Alpha cells of a 256 x 128 grid, dark but for columns [c0, c1) of rows
// [r0, r1).
void LightCells(TAlphaCells& cells, int c0, int c1, int r0, int r1) {
    if (cells.Empty()) {
        cells.Columns = 256;
        cells.Rows = 128;
        cells.Max.assign(256 * 128, 0);
    }
    for (int r = r0; r < r1; ++r)
        for (int c = c0; c < c1; ++c) cells.Max[static_cast<size_t>(r * 256 + c)] = 255;
}

TEST_F(UnderWaterTest, LightRaysAreCutToTheColumnsTheirAlphaCanPassIn) {
    TUnderWater& water = Load(kWaterKeys);
    water.Animate(1);  // CausticTime 0.4: s = 0.0002 x + 0.06, t = 0.000004 y + 0.1
    Render(water);     // the picture is loaded on first use
    TAlphaCells& cells = Texture("caustlight.jpg")->AlphaCells;
    // The sheet's t (0.088 to 0.12) shows rows 11 to 15: columns 100-103 are
    // lit there, columns 200-203 only in rows the sheet does not show.
    LightCells(cells, 100, 104, 0, 128);
    LightCells(cells, 200, 204, 60, 70);
    auto trace = Render(water);
    const TGLPrimitive& strips = *water.LightRayStrips;
    EXPECT_EQ(Occurrences(trace, "draw12"), 0);
    EXPECT_EQ(Occurrences(trace, "draw" + std::to_string(strips.Indices.Count())), 1);

    const TVector3f* v = strips.Vertices.Vectors();
    const float half = water.LightRays->Vertices.Vectors()[3].x;
    auto inStrip = [&](float x) {
        for (int i = 0; i < strips.VertexCount() / 6; ++i)
            if (v[6 * i].x < v[6 * i + 3].x && x >= v[6 * i].x && x <= v[6 * i + 3].x) return true;
        return false;
    };
    int lit = 0, drawn = 0, samples = 0;
    for (float x = -half; x <= half; x += 5, ++samples) {
        const double s = 0.0002 * x + 0.06, column = (s - std::floor(s)) * 256;
        const bool inside = inStrip(x);
        drawn += inside;
        if (column >= 100 && column < 104) {
            ++lit;
            EXPECT_TRUE(inside) << "lit column " << column << " at x " << x << " is left out";
        }
        if (column < 90 || column > 114) {
            EXPECT_FALSE(inside) << "dark column " << column << " at x " << x;
        }
    }
    EXPECT_GT(lit, 100);
    EXPECT_LT(drawn, samples / 10);

    // Alpha that passes everywhere, or none known: the whole sheet.
    LightCells(cells, 0, 256, 0, 128);
    trace = Render(water);
    EXPECT_EQ(Occurrences(trace, "draw12"), 1);
    cells = TAlphaCells{};
    trace = Render(water);
    EXPECT_EQ(Occurrences(trace, "draw12"), 1);
}

TEST_F(UnderWaterTest, TheBackgroundIsCroppedToWhereItsPictureCanPassAndFollowsANewPicture) {
    // A textured quad as the background file gives it: x -1000..1000,
    // y 0..1000 at z -9000, the whole picture once.
    TSceneTexture* picture = Texture("FonA.jpg");
    Background->FreeGroups();
    TGLPrimitive& quad = *Background->AddGroup(0, 0, picture)->Primitive;
    const float corners[12] = {-1000, 0, -9000, 1000, 0, -9000, 1000, 1000, -9000, -1000, 1000, -9000};
    quad.Vertices.Assign(corners, 4);
    const float st[8] = {0, 0, 1, 0, 1, 1, 0, 1};
    quad.GetTextureCoords(0).Assign(st, 4);
    const int16_t indices[6] = {0, 1, 2, 0, 2, 3};
    quad.Indices.Assign(indices, 6);
    quad.Normals.SetCount(1);
    quad.Normals.Set(0, {0, 0, 1});
    TUnderWater& water = Load(kWaterKeys);
    Render(water);  // the picture is loaded on first use

    // Plants in the left half up to a third of the height, clear of the
    // edges (filtering wraps round them).
    LightCells(picture->AlphaCells, 8, 128, 4, 40);
    ++picture->Loads;
    auto trace = Render(water);
    ASSERT_TRUE(water.BackgroundCrop);
    const TGLPrimitive& crop = *water.BackgroundCrop;
    EXPECT_EQ(Occurrences(trace, "draw" + std::to_string(crop.Indices.Count())), 3);
    const TVector3f* v = crop.Vertices.Vectors();
    const TVector2f* cropSt = crop.GetTextureCoords(0).Coords();
    float top = 0, right = -1000, covered = 0;
    for (int q = 0; q < crop.VertexCount() / 4; ++q) {
        for (int k = 0; k < 4; ++k) {
            const TVector3f p = v[4 * q + k];
            const TVector2f c = cropSt[4 * q + k];
            // Same place for the same texel as on the whole quad.
            EXPECT_NEAR(p.x, -1000 + 2000 * c.x, 0.01);
            EXPECT_NEAR(p.y, 1000 * c.y, 0.01);
            EXPECT_FLOAT_EQ(p.z, -9000);
            top = std::max(top, p.y);
            right = std::max(right, p.x);
        }
        // Each band from just below the plants' foot up to their top.
        EXPECT_LE(cropSt[4 * q].y, 4.0f / 128);
        EXPECT_GE(cropSt[4 * q + 2].y, 40.0f / 128);
        covered += (cropSt[4 * q + 1].x - cropSt[4 * q].x) * (cropSt[4 * q + 2].y - cropSt[4 * q].y);
    }
    EXPECT_GE(right, 0.0f);
    EXPECT_LT(right, 100.0f);
    EXPECT_LT(top, 400.0f);
    EXPECT_NEAR(covered, 0.5 * 36 / 128, 0.04);

    // Another picture (another water shown) makes another crop.
    picture->AlphaCells = TAlphaCells{};
    LightCells(picture->AlphaCells, 128, 240, 100, 120);
    ++picture->Loads;
    Render(water);
    ASSERT_TRUE(water.BackgroundCrop);
    for (int i = 0; i < water.BackgroundCrop->VertexCount(); ++i) {
        EXPECT_GT(water.BackgroundCrop->Vertices.Vectors()[i].x, -100.0f);
        EXPECT_GT(water.BackgroundCrop->Vertices.Vectors()[i].y, 700.0f);
    }
}

// --- visibility -----------------------------------------------------------------

TEST_F(UnderWaterTest, ShowingAWaterSwitchesItsLightAndSelectsItsPictures) {
    TUnderWater& first = Load(kWaterKeys);
    std::string keys = kWaterKeys;
    keys.replace(keys.find("BackgroundIndex=2"), 17, "BackgroundIndex=4");
    keys.replace(keys.find("Light=Light1"), 12, "Light=Light2");
    TUnderWater& second = Load(keys, "Salt Water - 2");
    ASSERT_EQ(first.Light, Light("Light1"));
    ASSERT_EQ(second.Light, Light("Light2"));

    second.SetVisible(true);
    first.SetVisible(false);
    EXPECT_FALSE(first.Visible());
    EXPECT_FALSE(Light("Light1")->Enabled);
    EXPECT_TRUE(Light("Light2")->Enabled);
    for (const char* name : {"seabed.jpg", "water.jpg", "FonA.jpg"}) EXPECT_EQ(Texture(name)->FileIndex(), 4) << name;
    EXPECT_EQ(Texture("seabed.jpg")->TextureName(), "5seabed.jpg");
    EXPECT_EQ(Texture("light.jpg")->FileIndex(), -1) << "other textures keep theirs";

    second.SetVisible(false);
    first.SetVisible(true);
    EXPECT_TRUE(first.Visible());
    EXPECT_TRUE(Light("Light1")->Enabled);
    EXPECT_FALSE(Light("Light2")->Enabled);
    for (const char* name : {"seabed.jpg", "water.jpg", "FonA.jpg"}) EXPECT_EQ(Texture(name)->FileIndex(), 2) << name;
}

TEST_F(UnderWaterTest, AHiddenWaterIsNotDrawnButStillAnimates) {
    TUnderWater& water = Load(kWaterKeys);
    water.SetVisible(false);
    rec.Clear();
    water.Render();
    EXPECT_TRUE(rec.Calls.empty()) << rec.Text();
    water.Animate(1);
    EXPECT_FLOAT_EQ(water.WaveTime, 1.5f);
}

// --- script ---------------------------------------------------------------------

TEST_F(UnderWaterTest, KeysAreWrittenBackInTheirOrderAndReadAgain) {
    TUnderWater& water = Load(kWaterKeys);
    water.EmulateDepth = true;
    TResourceLoader writer;
    writer.Scene = &scene;
    writer.CreateForWriting();
    writer.Section = "W";
    water.WriteProperties(writer);
    ASSERT_TRUE(writer.HasScript());
    ASSERT_EQ(writer.Script()->Sections().size(), 1u);
    std::vector<std::string> keys;
    for (const auto& line : writer.Script()->Sections()[0].Lines) keys.push_back(line.Key);
    const std::vector<std::string> expected = {
        "FarPlane",      "FogStart",     "FogEnd",     "EmulateDepth",   "FogColor",           "UpY",
        "BottomY",       "UpColor",      "BottomColor", "UpAlpha",       "BottomAlpha",        "BottomTexture",
        "UpTexture",     "LightTexture", "UpLightMap", "BottomLightMap", "BackgroundLightMap", "Light",
        "BackGround",    "BackgroundIndex"};
    EXPECT_EQ(keys, expected);
    EXPECT_EQ(*writer.Script()->Value("W", "BackGround"), "Meshes/fon3.3dm");

    TUnderWater& again = Load(writer.Script()->Text().substr(writer.Script()->Text().find('\n') + 1), "Copy");
    EXPECT_FLOAT_EQ(again.FarPlane, 10000);
    EXPECT_FLOAT_EQ(again.FogStart, 6000);
    EXPECT_FLOAT_EQ(again.UpAlpha, 0.55f);
    EXPECT_FLOAT_EQ(again.BottomAlpha, 0.35f);
    EXPECT_TRUE(again.EmulateDepth);
    EXPECT_EQ(again.FogColor, MakeByteColor(40, 135, 198, 255));
    EXPECT_EQ(again.UpColor, water.UpColor);
    EXPECT_EQ(again.BottomColor, water.BottomColor);
    EXPECT_EQ(again.BottomTexture, Texture("seabed.jpg"));
    EXPECT_EQ(again.UpLightMap, Texture("light.jpg"));
    EXPECT_EQ(again.BottomLightMap, Texture("water.jpg"));
    EXPECT_EQ(again.BackgroundLightMap, Texture("caustback.jpg"));
    EXPECT_EQ(again.Background, Background);
    EXPECT_EQ(again.Light, Light("Light1"));
    EXPECT_EQ(again.BackgroundIndex, 2);
}

TEST_F(UnderWaterTest, BackgroundIndexIsZeroWhenTheScriptOmitsIt) {
    TUnderWater& water = Load(kWaterKeys);
    ASSERT_EQ(water.BackgroundIndex, 2);
    TResourceLoader loader;
    loader.Scene = &scene;
    loader.OpenText("[W]\nFarPlane=10000\n");
    loader.Section = "W";
    water.ReadProperties(loader);
    EXPECT_EQ(water.BackgroundIndex, 0);
    EXPECT_EQ(water.BottomTexture, Texture("seabed.jpg")) << "other keys keep their values";
}

TEST_F(UnderWaterTest, ABuildReplacesThePrimitivesOfTheLastOne) {
    TUnderWater& water = Load(kWaterKeys);
    TGLPrimitiveList& list = SceneGLLists(&scene).Primitives;
    const int count = list.Count();
    water.BuildGeometry();
    EXPECT_EQ(list.Count(), count);
    scene.Remove(&water);
    delete &water;
    // Surface, light layer, sea bed, two fog overlays, backdrop, light rays
    // and their strips.
    EXPECT_EQ(list.Count(), count - 8);
}

TEST(UnderWaterClass, IsMadeByNameFromTheScript) {
    TClassRegistry registry;
    RegisterWorldClasses(registry);
    auto object = registry.Create("TUnderWater");
    ASSERT_NE(object, nullptr);
    EXPECT_EQ(object->ClassName(), "TUnderWater");
    auto* water = dynamic_cast<TUnderWater*>(object.get());
    ASSERT_NE(water, nullptr);
    EXPECT_TRUE(water->UseLights && water->UseCaustic && water->UseBackground && water->HasUp && water->HasBottom);
    EXPECT_EQ(water->ScreenCount, 1);
    EXPECT_EQ(water->SurfaceGrid, nullptr);
}

}  // namespace
