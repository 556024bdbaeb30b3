#include "world/sprites.h"

#include "platform/null/font_rasterizer_null.h"
#include "render/gl_objects.h"
#include "render/gl_recorder.h"
#include "render/gl_textures.h"
#include "scene/scene_fonts.h"
#include "scene/scene_textures.h"
#include "core/errors.h"
#include "scene/loader.h"
#include "scene/materials.h"
#include "scene/registry.h"
#include "scene/visuals.h"
#include "world/world_classes.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>

namespace {

void Read(TMainObject& object, const std::string& keys, TMainScene* scene = nullptr) {
    TResourceLoader loader;
    loader.Scene = scene;
    loader.OpenText("[S]\n" + keys);
    loader.Section = "S";
    object.ReadProperties(loader);
}

// A sprite with a material of one group material and a texture whose GL
// texture has the given size (already there, so nothing is read from disk).
struct SpriteRig {
    explicit SpriteRig(int textureSize = 256, int32_t divisor = 1) {
        Material.SetName("M");
        Material.AddGroupMaterial();
        Texture.CreateGLTexture(tfTexture);
        Texture.GLTexture()->SetSize(textureSize, textureSize);
        Texture.ScaleDivisor = divisor;
        Sprite.SetName("0");
        Sprite.Material = &Material;
        Sprite.Texture = &Texture;
    }
    TGLPrimitive& Quad() { return *Sprite.OpaqueGroups.Get(0)->Primitive; }

    TSceneMaterial Material;
    TSceneTexture Texture;
    TSceneSprite Sprite;
};

// --- sprites -------------------------------------------------------------------------------

TEST(Sprite, CutOutTexelsMapToTextureCoordinatesFromTheTop) {
    SpriteRig rig;
    TSceneSprite& s = rig.Sprite;
    s.Width = 36;
    s.Height = 58;
    s.StartU = 36;
    s.StartV = 140;
    s.OriginX = 12;
    s.OriginY = 63;
    s.UpdateSpriteMesh();
    ASSERT_TRUE(s.SpriteBuilt);
    ASSERT_EQ(s.OpaqueGroups.Count(), 1);
    EXPECT_EQ(s.BlendedGroups.Count(), 0);
    const TGLPrimitive& p = rig.Quad();
    ASSERT_EQ(p.VertexCount(), 4);
    const TVector2f* st = p.GetTextureCoords(0).Coords();
    const float sLeft = 36.0f / 255, sRight = sLeft + 35.0f / 255;
    const float tLow = (255.0f - 140 - 58 + 1) / 255, tHigh = tLow + 57.0f / 255;
    EXPECT_FLOAT_EQ(sLeft, 36.0f / 255);
    EXPECT_NEAR(sRight, 71.0f / 255, 1e-6);
    const float expected[4][2] = {{sLeft, tHigh}, {sLeft, tLow}, {sRight, tLow}, {sRight, tHigh}};
    for (int i = 0; i < 4; ++i) {
        EXPECT_FLOAT_EQ(st[i].x, expected[i][0]) << i;
        EXPECT_FLOAT_EQ(st[i].y, expected[i][1]) << i;
    }
    const TVector3f* v = p.Vertices.Vectors();
    const float corners[4][2] = {{12, 120}, {12, 63}, {47, 63}, {47, 120}};
    for (int i = 0; i < 4; ++i) {
        EXPECT_FLOAT_EQ(v[i].x, corners[i][0]) << i;
        EXPECT_FLOAT_EQ(v[i].y, corners[i][1]) << i;
        EXPECT_FLOAT_EQ(v[i].z, 0);
    }
    ASSERT_EQ(p.Indices.Count(), 6);
    EXPECT_EQ(p.Indices.Get(4), 2);
    ASSERT_EQ(p.Normals.Count(), 4);
    EXPECT_FLOAT_EQ(p.Normals.Get(0).z, 1);
}

TEST(Sprite, AReducedTextureKeepsTheSameCutOut) {
    // Low quality keeps a 256 picture as a 64 texture.
    SpriteRig rig(64, 4);
    rig.Sprite.Width = 36;
    rig.Sprite.StartU = 36;
    rig.Sprite.UpdateSpriteMesh();
    const TVector2f* st = rig.Quad().GetTextureCoords(0).Coords();
    EXPECT_FLOAT_EQ(st[0].x, 36.0f / 255);
    EXPECT_NEAR(st[2].x, 71.0f / 255, 1e-6);
}

TEST(Sprite, AnEmptyTextureCountsAsOneTexelSteps) {
    SpriteRig rig(0);
    rig.Sprite.Width = 3;
    rig.Sprite.Height = 2;
    rig.Sprite.StartU = 1;
    rig.Sprite.UpdateSpriteMesh();
    const TVector2f* st = rig.Quad().GetTextureCoords(0).Coords();
    EXPECT_FLOAT_EQ(st[0].x, 1);
    EXPECT_FLOAT_EQ(st[2].x, 3);
    EXPECT_FLOAT_EQ(st[1].y, 0);  // (1 - 0 - 2 + 1) / 1
}

TEST(Sprite, WithoutTextureTheFirstDrawingRaises) {
    TSceneSprite sprite;
    try {
        sprite.RenderOpaque();
        FAIL() << "no error";
    } catch (const Exception& e) {
        EXPECT_STREQ(e.what(), "TSceneSprite.UpdateSpriteMesh error: Texture=nil!");
    }
}

TEST(Sprite, DrawsItsQuadInItsColourAndBuildsItOnce) {
    SpriteRig rig;
    TGLRecorder rec;
    rig.Sprite.SpriteColor = MakeByteColor(65, 170, 255, 255);
    rig.Sprite.RenderOpaque();
    TGLPrimitive* first = &rig.Quad();
    ASSERT_EQ(first->Colors.Count(), 1);
    EXPECT_EQ(first->Colors.Get(0), MakeByteColor(65, 170, 255, 255));
    EXPECT_TRUE(rec.Has("glDrawElements", {GL_TRIANGLES, 6}));
    EXPECT_EQ(rec.Count("glColor4ubv"), 1);

    rig.Sprite.SpriteColor = MakeByteColor(1, 2, 3, 4);
    rig.Sprite.RenderBlended();  // no blended group: nothing drawn
    rig.Sprite.RenderOpaque();
    EXPECT_EQ(&rig.Quad(), first);
    EXPECT_EQ(first->Colors.Get(0), MakeByteColor(1, 2, 3, 4));
    EXPECT_EQ(rec.Count("glDrawElements"), 2);
}

TEST(Sprite, AnAlphaTextureMakesABlendedSprite) {
    SpriteRig rig;
    rig.Texture.SetFormat(tfSprite);
    rig.Texture.CreateGLTexture(tfSprite);
    rig.Texture.GLTexture()->SetSize(256, 256);
    rig.Sprite.UpdateSpriteMesh();
    EXPECT_EQ(rig.Sprite.OpaqueGroups.Count(), 0);
    EXPECT_EQ(rig.Sprite.BlendedGroups.Count(), 1);
    EXPECT_TRUE(rig.Sprite.Alpha);
}

TEST(Sprite, KeysAfterTheMeshKeysAndLoadingRebuilds) {
    SpriteRig rig;
    rig.Sprite.UpdateSpriteMesh();
    Read(rig.Sprite, "FPS=2\nOriginX=5\nOriginY=6\nWidth=7\nHeight=8\nStartU=9\nStartV=10\n");
    EXPECT_FALSE(rig.Sprite.SpriteBuilt);
    EXPECT_FLOAT_EQ(rig.Sprite.FPS, 2);
    EXPECT_EQ(rig.Sprite.OriginX, 5);
    EXPECT_EQ(rig.Sprite.OriginY, 6);
    EXPECT_EQ(rig.Sprite.Width, 7);
    EXPECT_EQ(rig.Sprite.Height, 8);
    EXPECT_EQ(rig.Sprite.StartU, 9);
    EXPECT_EQ(rig.Sprite.StartV, 10);
    EXPECT_EQ(rig.Sprite.Texture, &rig.Texture);  // no key: kept

    TResourceLoader out;
    out.CreateForWriting();
    out.Section = "S";
    rig.Sprite.WriteProperties(out);
    EXPECT_EQ(*out.Script()->Value("S", "StartV"), "10");
    EXPECT_EQ(*out.Script()->Value("S", "Width"), "7");
}

// --- sprite list ---------------------------------------------------------------------------

TEST(SpriteList, DrawsItsChildrenInScreenPixelsFromTheBottomLeft) {
    SpriteRig rig;
    TMainSpriteList list;
    list.SetName("ClockObjects");
    Read(list, "Position=824,20,0\n");
    auto digit = std::make_unique<TMainVisualObject>();
    digit->SetName("time1");
    digit->Position = {12, 63, 0};
    digit->VisualOptions = voPosition;
    digit->Visual = &rig.Sprite;
    list.Add(std::move(digit));

    TGLRecorder rec;
    list.Render();
    const std::string calls = rec.Text();
    EXPECT_TRUE(rec.Has("glDisable", {GL_LIGHTING})) << calls;
    EXPECT_TRUE(rec.Has("glDisable", {GL_CULL_FACE}));
    EXPECT_TRUE(rec.Has("glDisable", {GL_DEPTH_TEST}));
    EXPECT_TRUE(rec.Has("glDisable", {GL_FOG}));
    EXPECT_TRUE(rec.Has("glOrtho", {0, 1024, 0, 768, -100, 100}));
    EXPECT_TRUE(rec.Has("glTranslatef", {824, 20, 0}));
    EXPECT_TRUE(rec.Has("glTranslatef", {12, 63, 0}));
    EXPECT_TRUE(rec.Has("glDrawElements", {GL_TRIANGLES, 6}));
    EXPECT_EQ(rec.Count("glPushMatrix"), rec.Count("glPopMatrix"));
    // Depth testing and culling come back on at the end.
    const size_t n = rec.Calls.size();
    ASSERT_GE(n, 2u);
    EXPECT_EQ(std::string(rec.Calls[n - 2].Name), "glEnable");
    EXPECT_EQ(rec.Calls[n - 2].Args[0], GL_DEPTH_TEST);
    EXPECT_EQ(rec.Calls[n - 1].Args[0], GL_CULL_FACE);

    rec.Clear();
    list.Lighting = true;
    list.SetVisible(false);
    list.Render();
    EXPECT_TRUE(rec.Calls.empty());
    list.SetVisible(true);
    list.Render();
    EXPECT_TRUE(rec.Has("glEnable", {GL_LIGHTING}));
}

// --- text ------------------------------------------------------------------------------------

struct TextRig {
    TextRig() {
        Font.Rasterizer = &Rasterizer;
        Font.SetName("Font");
    }
    platform::NullFontRasterizer Rasterizer;
    TSceneFont Font;
};

TEST(Text, StringDrawsItsTextInItsColourAtItsPlace) {
    TextRig rig;
    TSceneString text;
    text.Font = &rig.Font;
    text.X = 16;
    text.Y = 732;
    text.Text = "60 fps";
    text.Color = MakeByteColor(9, 8, 7, 6);
    EXPECT_TRUE(text.Alpha);
    EXPECT_TRUE(text.Visible());

    TGLRecorder rec;
    text.Render();
    EXPECT_TRUE(rec.Has("glTranslatef", {16, 732, 0}));
    EXPECT_EQ(rec.Count("glDrawElements"), 6);
    EXPECT_EQ(rig.Font.Color, MakeByteColor(9, 8, 7, 6));

    rec.Clear();
    text.Font = nullptr;
    text.Render();
    EXPECT_EQ(rec.Count("glDrawElements"), 0);
}

TEST(Text, LinesStopAtTheFirstMissingNumber) {
    TSceneText text;
    Read(text, "Text1=first\nText3=third\nStringIndex=0\nStringColor=200,100,50,77\n");
    ASSERT_EQ(text.Lines.size(), 1u);
    EXPECT_EQ(text.Lines[0], "first");
    EXPECT_EQ(text.StringIndex, 0);
    Read(text, "Text1=a\nText2=b\n");
    EXPECT_EQ(text.Lines, (std::vector<std::string>{"a", "b"}));

    TResourceLoader out;
    out.CreateForWriting();
    out.Section = "S";
    text.WriteProperties(out);
    EXPECT_EQ(*out.Script()->Value("S", "Text2"), "b");
    EXPECT_EQ(out.Script()->Value("S", "Text3"), nullptr);
}

TEST(Text, TheHighlightedLinePulsesBetweenEightyAndAHundredPercent) {
    TSceneText text;
    text.StringColor = MakeByteColor(200, 100, 50, 77);
    text.PulsePhase = 0;
    EXPECT_EQ(text.PulsedColor(), MakeByteColor(160, 80, 40, 77));
    text.PulsePhase = 0.25f;
    EXPECT_EQ(text.PulsedColor(), MakeByteColor(180, 90, 45, 77));
    text.PulsePhase = 0.5f;
    EXPECT_EQ(text.PulsedColor(), MakeByteColor(200, 100, 50, 77));
    text.PulsePhase = 0.75f;
    EXPECT_EQ(text.PulsedColor(), MakeByteColor(180, 90, 45, 77));

    text.PulsePhase = 0.75f;
    text.Animate(0.5f);
    EXPECT_FLOAT_EQ(text.PulsePhase, 0.25f);
    text.Animate(0.75f);
    EXPECT_FLOAT_EQ(text.PulsePhase, 1.0f);  // kept until it passes 1
}

TEST(Text, LinesGoDownByTheFontsLineHeight) {
    TextRig rig;
    TSceneText text;
    text.Font = &rig.Font;
    text.X = 100;
    text.Y = 400;
    text.Lines = {"a", "b", "c"};
    text.StringIndex = 2;
    text.StringColor = MakeByteColor(100, 100, 100, 255);
    TGLRecorder rec;
    text.Render();
    EXPECT_TRUE(rec.Has("glTranslatef", {100, 400, 0}));
    EXPECT_TRUE(rec.Has("glTranslatef", {100, 384, 0}));
    EXPECT_TRUE(rec.Has("glTranslatef", {100, 368, 0}));
    EXPECT_EQ(rig.Font.Color, MakeByteColor(80, 80, 80, 255));  // the last line is the highlighted one

    rec.Clear();
    rig.Font.FontOptions |= foScaled;
    rig.Font.ScaleY = 1.5f;
    text.Render();
    EXPECT_TRUE(rec.Has("glTranslatef", {100, 376, 0}));
    EXPECT_TRUE(rec.Has("glTranslatef", {100, 352, 0}));
}

// --- the scene's frame-rate display ---------------------------------------------------------

TEST(FrameRate, ShowFPSMakesAFontAndAStringOnce) {
    RegisterWorldClasses();
    TMainScene scene;
    scene.UpdateFps(60);  // nothing to update yet
    scene.ShowFPS(true);
    auto* font = dynamic_cast<TSceneFont*>(scene.FindObject("FpsFont"));
    auto* text = dynamic_cast<TSceneString*>(scene.FindObject("FpsStr"));
    ASSERT_NE(font, nullptr);
    ASSERT_NE(text, nullptr);
    EXPECT_EQ(scene.FpsFont(), font);
    EXPECT_EQ(font->FontOptions, foSoften | foBuildFromFont | foFixedView);
    EXPECT_EQ(font->FontCellSize, 32);
    EXPECT_EQ(font->ViewWidth, 1024);
    EXPECT_EQ(font->ViewHeight, 768);
    EXPECT_EQ(font->ProcessOptions, 0);
    EXPECT_EQ(font->GetCharMap('s').Cell, 13);
    EXPECT_FALSE(font->GetCharMap('A').Enabled);
    EXPECT_EQ(text->Font, font);
    EXPECT_EQ(text->X, 16);
    EXPECT_EQ(text->Y, 732);
    EXPECT_EQ(text->ProcessOptions, poRender);
    EXPECT_TRUE(text->Visible());
    ASSERT_EQ(scene.RenderList->GetCount(), 1);
    EXPECT_EQ(scene.RenderList->GetItem(0), text);

    scene.UpdateFps(60);
    EXPECT_EQ(text->Text, "60 fps");
    scene.ShowFPS(false);
    EXPECT_FALSE(text->Visible());
    scene.UpdateFps(59);  // hidden: not updated
    EXPECT_EQ(text->Text, "60 fps");
    scene.ShowFPS(true);
    EXPECT_EQ(scene.LiveCount(), 2);
    scene.UpdateFps(-3);
    EXPECT_EQ(text->Text, "-3 fps");
}

TEST(FrameRate, FreeingTheSceneForgetsTheDisplay) {
    RegisterWorldClasses();
    TMainScene scene;
    scene.ShowFPS(true);
    scene.FreeAll();
    EXPECT_EQ(scene.FpsFont(), nullptr);
    EXPECT_EQ(scene.FpsString(), nullptr);
    scene.UpdateFps(5);  // must not reach the freed string
    scene.ShowFPS(true);
    ASSERT_NE(scene.FpsString(), nullptr);
    EXPECT_EQ(scene.LiveCount(), 2);

    // Removing only the string makes the next showing make a new one.
    scene.FreeItems(1);
    EXPECT_EQ(scene.FindObject("FpsStr"), nullptr);
    EXPECT_EQ(scene.FpsString(), nullptr);
    scene.ShowFPS(true);
    EXPECT_EQ(scene.LiveCount(), 2);
    EXPECT_EQ(scene.FindObject("FpsFont"), scene.FpsFont());
}

TEST(WorldClasses, RegisteredByName) {
    RegisterWorldClasses();
    for (const char* name :
         {"TMainSpriteList", "TSceneSprite", "TSceneString", "TSceneText", "TGLClock", "TWatchClock", "TSceneFont"}) {
        auto object = TheClassRegistry().Create(name);
        ASSERT_NE(object, nullptr) << name;
        EXPECT_EQ(object->ClassName(), name);
    }
}

}  // namespace
