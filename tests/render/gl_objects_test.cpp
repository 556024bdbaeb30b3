#include "render/gl_objects.h"
#include "platform/null/gl_context_null.h"
#include "platform/null/gl_library_null.h"
#include "render/gl_recorder.h"
#include "render/gl_table.h"
#include "render/opengl.h"
#include "test_support.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <string>
#include <vector>

namespace {

// Position of the first call of name with these leading arguments, or -1.
int IndexOf(const TGLRecorder& rec, const char* name, std::initializer_list<double> args = {}, int from = 0) {
    for (size_t i = static_cast<size_t>(from); i < rec.Calls.size(); ++i) {
        const TGLCall& c = rec.Calls[i];
        if (std::strcmp(c.Name, name) != 0 || c.Args.size() < args.size()) continue;
        bool same = true;
        size_t k = 0;
        for (double a : args) same = same && c.Args[k++] == a;
        if (same) return static_cast<int>(i);
    }
    return -1;
}

// Values behind the pointer arguments, which the recorder logs only as 1.
struct TValueCall {
    GLenum A, B;
    std::vector<float> V;
};
std::vector<TValueCall> lightfv, lightModelfv, materialfv, multMatrixf;
TGLTable recorded;

void MGL_APIENTRY CaptureLightfv(GLenum light, GLenum pname, const GLfloat* v) {
    lightfv.push_back({light, pname, std::vector<float>(v, v + (pname == GL_SPOT_DIRECTION ? 3 : 4))});
    recorded.Lightfv(light, pname, v);
}
void MGL_APIENTRY CaptureLightModelfv(GLenum pname, const GLfloat* v) {
    lightModelfv.push_back({pname, 0, std::vector<float>(v, v + 4)});
    recorded.LightModelfv(pname, v);
}
void MGL_APIENTRY CaptureMaterialfv(GLenum face, GLenum pname, const GLfloat* v) {
    materialfv.push_back({face, pname, std::vector<float>(v, v + 4)});
    recorded.Materialfv(face, pname, v);
}
void MGL_APIENTRY CaptureMultMatrixf(const GLfloat* m) {
    multMatrixf.push_back({0, 0, std::vector<float>(m, m + 16)});
    recorded.MultMatrixf(m);
}

class GLObjectsTest : public ::testing::Test {
protected:
    GLObjectsTest() { Capture(); }
    // Re-installs the recorder (after a change of rec.Extensions) with the
    // value captures on top.
    void Capture() {
        rec.Install();
        recorded = gl;
        lightfv.clear();
        lightModelfv.clear();
        materialfv.clear();
        multMatrixf.clear();
        gl.Lightfv = &CaptureLightfv;
        gl.LightModelfv = &CaptureLightModelfv;
        gl.Materialfv = &CaptureMaterialfv;
        gl.MultMatrixf = &CaptureMultMatrixf;
    }
    TGLRecorder rec;
};

void Triangle(TGLPrimitive& p) {
    const float v[] = {0, 0, 0, 1, 0, 0, 0, 1, 0};
    p.Vertices.Assign(v, 3);
}

void ExpectVector(const TVector3f& v, float x, float y, float z) {
    EXPECT_NEAR(v.x, x, 1e-6f);
    EXPECT_NEAR(v.y, y, 1e-6f);
    EXPECT_NEAR(v.z, z, 1e-6f);
}

// ---------------------------------------------------------------------------
// Lists and ownership

TEST(GLItemListTest, OwnsItemsAndLetsThemGoOneByOne) {
    TGLPrimitiveList list;
    TGLPrimitive* a = list.Add();
    TGLPrimitive* b = list.Add();
    TGLPrimitive* c = list.Add();
    EXPECT_EQ(list.Count(), 3);
    EXPECT_EQ(list.Items(1), b);
    EXPECT_EQ(a->Owner(), &list);

    list.Delete(b);
    ASSERT_EQ(list.Count(), 2);
    EXPECT_EQ(list.Items(0), a);
    EXPECT_EQ(list.Items(1), c);

    TGLPrimitiveList other;
    other.Delete(a);  // not its item
    EXPECT_EQ(list.Count(), 2);

    EXPECT_EQ(ErrorOf([&] { list.Items(2); }), "TGLItemList.Items error: Index out of bounds");
    list.Clear();
    EXPECT_EQ(list.Count(), 0);
}

// A light that goes while enabled gives its slot back; one freed by its
// list's destruction must not touch the dying list.
TEST_F(GLObjectsTest, DeletedLightReleasesItsSlot) {
    rec.Integers[GL_MAX_LIGHTS] = 8;
    {
        TGLLightList lights;
        lights.InitContext();
        TGLLight* a = lights.Add();
        a->Enable();
        EXPECT_EQ(lights.SlotMask(), 1u);
        lights.Delete(a);
        EXPECT_EQ(lights.SlotMask(), 0u);
        EXPECT_TRUE(rec.Has("glDisable", {GL_LIGHT0}));
        lights.Add()->Enable();
        lights.Add()->Enable();
    }
    SUCCEED() << "destroying a list with enabled lights is safe";
}

// A list of a context follows the context's activation: lights wait while
// it is inactive, whatever the list was told before.
TEST_F(GLObjectsTest, ListsFollowTheirContextsActivation) {
    platform::NullGLLibrary library;
    platform::NullGLContext binding;
    library.Available.insert(platform::GLLibraryFileName(false));
#define MGL_SYMBOL(ret, name, params, args) library.Symbols["gl" #name] = reinterpret_cast<void*>(gl.name);
    MGL_CORE_FUNCTIONS(MGL_SYMBOL)
#undef MGL_SYMBOL
    binding.Formats.resize(1);
    binding.Formats[0].ColorBits = 32;
    binding.Formats[0].DepthBits = 16;
    binding.Formats[0].DrawToWindow = true;
    binding.Formats[0].DoubleBuffer = true;
    rec.Integers[GL_MAX_LIGHTS] = 8;
    TCustomOpenGL ogl(library, binding);
    TGLLightList lights(&ogl);
    TGLLight* light = lights.Add();
    lights.InitContext();
    EXPECT_FALSE(lights.ContextCurrent()) << "the context is not active";
    EXPECT_EQ(ErrorOf([&] { lights.MaxLights(); }), "TCustomOpenGL.GetInt error: OpenGL is not activated!");

    ogl.Activate(0x42);
    ASSERT_TRUE(ogl.Active());
    EXPECT_TRUE(lights.ContextCurrent());
    light->Enable();
    EXPECT_TRUE(light->Enabled());

    ogl.Deactivate();
    EXPECT_FALSE(lights.ContextCurrent());
    rec.Clear();
    light->SetDiffuse({1, 0, 0, 1});
    light->Apply();
    EXPECT_EQ(rec.Count("glLightfv"), 0);
}

// ---------------------------------------------------------------------------
// Arrays

TEST(GLArraysTest, BulkFillsSizeAndConvert) {
    TGLColorDArray colours;
    const uint8_t rgb[] = {1, 2, 3, 4, 5, 6};
    colours.AssignRGB(rgb, 2);
    ASSERT_EQ(colours.Count(), 2);
    EXPECT_EQ(colours.Get(1), MakeByteColor(4, 5, 6, 255));
    const TByteColor packed[] = {MakeByteColor(9, 8, 7, 6)};
    colours.Assign(packed, 1);
    ASSERT_EQ(colours.Count(), 1);
    EXPECT_EQ(colours.Bytes()[0], 9);
    EXPECT_EQ(colours.Bytes()[3], 6);

    TGLVectorDArray vectors;
    const float xyz[] = {1, 2, 3, 4, 5, 6};
    vectors.Assign(xyz, 2);
    ExpectVector(vectors.Get(1), 4, 5, 6);
    vectors.Zero();
    ExpectVector(vectors.Get(1), 0, 0, 0);
    EXPECT_EQ(vectors.ElementSize(), 12);

    TGLTextureCoordDArray coords;
    EXPECT_EQ(coords.ElementSize(), 8);
    TGLIndexDArray indices;
    EXPECT_EQ(indices.ElementSize(), 2);
    const int16_t idx[] = {0, 2, -1};
    indices.Assign(idx, 2);
    EXPECT_TRUE(indices.AllBelow(3));
    EXPECT_FALSE(indices.AllBelow(2));
    indices.Assign(idx, 3);
    EXPECT_FALSE(indices.AllBelow(60000)) << "-1 is index 65535 to GL";
}

// ---------------------------------------------------------------------------
// Primitive drawing

TEST_F(GLObjectsTest, PlainDrawLocksArraysWhenTheExtensionIsThere) {
    TGLPrimitive p;
    Triangle(p);
    p.Render();
    EXPECT_TRUE(rec.Has("glEnableClientState", {GL_VERTEX_ARRAY}));
    EXPECT_TRUE(rec.Has("glVertexPointer", {3, GL_FLOAT, 12, 1}));
    EXPECT_TRUE(rec.Has("glDisableClientState", {GL_COLOR_ARRAY}));
    EXPECT_TRUE(rec.Has("glDisableClientState", {GL_NORMAL_ARRAY}));
    EXPECT_TRUE(rec.Has("glDisableClientState", {GL_TEXTURE_COORD_ARRAY}));
    const int lock = IndexOf(rec, "glLockArraysEXT", {0, 3});
    const int draw = IndexOf(rec, "glDrawArrays", {GL_TRIANGLES, 0, 3});
    const int unlock = IndexOf(rec, "glUnlockArraysEXT");
    ASSERT_GE(lock, 0) << rec.Text();
    EXPECT_LT(lock, draw);
    EXPECT_LT(draw, unlock);
    EXPECT_EQ(rec.Count("glDrawElements"), 0);
}

TEST_F(GLObjectsTest, PlainDrawWithoutTheLockExtension) {
    rec.Extensions = false;
    Capture();
    TGLPrimitive p;
    Triangle(p);
    p.Render();
    EXPECT_EQ(rec.Count("glLockArraysEXT") + rec.Count("glUnlockArraysEXT"), 0);
    EXPECT_TRUE(rec.Has("glDrawArrays", {GL_TRIANGLES, 0, 3}));
}

TEST_F(GLObjectsTest, IndexedDrawAndIndicesPastTheVertices) {
    TGLPrimitive p;
    Triangle(p);
    const int16_t idx[] = {0, 1, 2, 2, 1, 0};
    p.Indices.Assign(idx, 6);
    p.Render();
    EXPECT_TRUE(rec.Has("glDrawElements", {GL_TRIANGLES, 6, GL_UNSIGNED_SHORT, 1}));
    EXPECT_EQ(rec.Count("glDrawArrays"), 0);

    rec.Clear();
    p.Indices.Set(4, 3);
    p.Render();
    EXPECT_EQ(rec.Count("glDrawElements"), 0) << "GL would read past the vertex array";

    rec.Clear();
    p.Vertices.SetCount(0);
    p.Render();
    EXPECT_TRUE(rec.Calls.empty()) << "an empty primitive draws nothing";
}

TEST_F(GLObjectsTest, DisplayListIsBuiltOnceThenCalled) {
    TGLPrimitiveList list;
    TGLPrimitive* p = list.Add();
    Triangle(*p);
    p->UseDisplayList = true;
    p->Render();
    const int gen = IndexOf(rec, "glGenLists", {1});
    const int open = IndexOf(rec, "glNewList", {1, GL_COMPILE});
    const int draw = IndexOf(rec, "glDrawArrays", {GL_TRIANGLES, 0, 3});
    const int close = IndexOf(rec, "glEndList");
    const int call = IndexOf(rec, "glCallList", {1});
    ASSERT_GE(gen, 0) << rec.Text();
    EXPECT_LT(gen, open);
    EXPECT_LT(open, draw);
    EXPECT_LT(draw, close);
    EXPECT_LT(close, call);
    EXPECT_EQ(rec.Count("glLockArraysEXT"), 0) << "no locking while compiling";
    EXPECT_TRUE(p->ListBuilt());

    rec.Clear();
    p->Render();
    EXPECT_EQ(rec.Count("glCallList"), 1);
    EXPECT_EQ(rec.Count("glGenLists") + rec.Count("glDrawArrays") + rec.Count("glVertexPointer"), 0);

    rec.Clear();
    list.FreeDisplayLists();
    EXPECT_TRUE(rec.Has("glDeleteLists", {1, 1}));
    EXPECT_FALSE(p->ListBuilt());
    p->Render();
    EXPECT_TRUE(rec.Has("glCallList", {2})) << "rebuilt under a new name";
}

TEST_F(GLObjectsTest, SingleColourAndNormalAreSetDirectly) {
    TGLPrimitive p;
    Triangle(p);
    const TByteColor red[] = {MakeByteColor(255, 0, 0, 255)};
    p.Colors.Assign(red, 1);
    const float up[] = {0, 1, 0};
    p.Normals.Assign(up, 1);
    p.Render();
    EXPECT_TRUE(rec.Has("glDisableClientState", {GL_COLOR_ARRAY}));
    EXPECT_EQ(rec.Count("glColor4ubv"), 1);
    EXPECT_EQ(rec.Count("glColorPointer"), 0);
    EXPECT_TRUE(rec.Has("glDisableClientState", {GL_NORMAL_ARRAY}));
    EXPECT_EQ(rec.Count("glNormal3fv"), 1);

    rec.Clear();
    const TByteColor three[] = {1, 2, 3};
    p.Colors.Assign(three, 3);
    p.ComputeNormals();
    p.Render();
    EXPECT_TRUE(rec.Has("glEnableClientState", {GL_COLOR_ARRAY}));
    EXPECT_TRUE(rec.Has("glColorPointer", {4, GL_UNSIGNED_BYTE, 4, 1}));
    EXPECT_TRUE(rec.Has("glNormalPointer", {GL_FLOAT, 12, 1}));
    EXPECT_EQ(rec.Count("glColor4ubv"), 0);
}

// A coordinate set of the wrong length is switched off rather than left to
// the previous primitive's pointer.
TEST_F(GLObjectsTest, CoordinatesOfTheWrongLengthAreNotUsed) {
    TGLPrimitive p;
    Triangle(p);
    const float st[] = {0, 0, 1, 0, 0, 1};
    p.GetTextureCoords(0).Assign(st, 3);
    p.Render();
    EXPECT_TRUE(rec.Has("glTexCoordPointer", {2, GL_FLOAT, 8, 1}));
    EXPECT_TRUE(rec.Has("glEnableClientState", {GL_TEXTURE_COORD_ARRAY}));

    rec.Clear();
    p.GetTextureCoords(0).Assign(st, 2);
    p.Render();
    EXPECT_EQ(rec.Count("glTexCoordPointer"), 0);
    EXPECT_TRUE(rec.Has("glDisableClientState", {GL_TEXTURE_COORD_ARRAY}));
}

TEST_F(GLObjectsTest, MultitextureFeedsEachUnitAndEndsOnUnitZero) {
    rec.Strings[GL_EXTENSIONS] = "GL_EXT_bgra GL_ARB_multitexture";
    rec.Integers[GL_MAX_TEXTURE_UNITS_ARB] = 4;
    TGLPrimitiveList list;
    list.InitContext();
    EXPECT_EQ(list.TextureUnits(), 4);
    TGLPrimitive* p = list.Add();
    Triangle(*p);
    const float st[] = {0, 0, 1, 0, 0, 1};
    p->GetTextureCoords(0).Assign(st, 3);
    p->GetTextureCoords(1).Assign(st, 3);
    p->Multitexture = true;
    rec.Clear();
    p->Render();

    const int u0 = IndexOf(rec, "glClientActiveTextureARB", {GL_TEXTURE0_ARB});
    const int u1 = IndexOf(rec, "glClientActiveTextureARB", {GL_TEXTURE1_ARB});
    const int u2 = IndexOf(rec, "glClientActiveTextureARB", {GL_TEXTURE0_ARB + 2});
    ASSERT_GE(u0, 0) << rec.Text();
    EXPECT_LT(u0, u1);
    EXPECT_LT(u1, u2);
    EXPECT_EQ(rec.Count("glTexCoordPointer"), 2) << "sets 0 and 1; set 2 is empty";
    EXPECT_EQ(IndexOf(rec, "glClientActiveTextureARB", {GL_TEXTURE0_ARB + 3}), -1) << "at most three sets";
    const int drawn = IndexOf(rec, "glDrawArrays");
    EXPECT_GT(IndexOf(rec, "glDisableClientState", {GL_TEXTURE_COORD_ARRAY}, drawn), drawn)
        << "the other units' arrays are switched off after the draw";
    ASSERT_FALSE(rec.Calls.empty());
    int last = -1;
    for (size_t i = 0; i < rec.Calls.size(); ++i)
        if (std::strcmp(rec.Calls[i].Name, "glClientActiveTextureARB") == 0) last = static_cast<int>(i);
    EXPECT_EQ(rec.Calls[static_cast<size_t>(last)].Args[0], GL_TEXTURE0_ARB);

    // Without the extension the same primitive uses the current unit only.
    rec.Strings[GL_EXTENSIONS] = "GL_EXT_bgra";
    list.InitContext();
    EXPECT_EQ(list.TextureUnits(), 1);
    rec.Clear();
    p->Render();
    EXPECT_EQ(rec.Count("glClientActiveTextureARB"), 0);
    EXPECT_EQ(rec.Count("glTexCoordPointer"), 1);
}

// ---------------------------------------------------------------------------
// Geometry

TEST(GLPrimitiveGeometryTest, TriangleAndQuadNormals) {
    TGLPrimitive tri;
    const float v[] = {0, 0, 0, 2, 0, 0, 0, 3, 0, 5, 5, 5};
    tri.Vertices.Assign(v, 4);
    tri.ComputeNormals();
    ASSERT_EQ(tri.Normals.Count(), 4);
    for (int i = 0; i < 3; ++i) ExpectVector(tri.Normals.Get(i), 0, 0, 1);
    ExpectVector(tri.Normals.Get(3), 0, 0, 0);  // incomplete triple

    TGLPrimitive quad;
    quad.Mode = GL_QUADS;
    const float q[] = {0, 0, 0, 0, 0, 1, 1, 0, 1, 1, 0, 0};
    quad.Vertices.Assign(q, 4);
    quad.ComputeNormals();
    for (int i = 0; i < 4; ++i) ExpectVector(quad.Normals.Get(i), 0, 1, 0);

    const int16_t idx[] = {0, 1, 2, 3};
    quad.Indices.Assign(idx, 4);
    quad.ComputeNormals();
    for (int i = 0; i < 4; ++i) ExpectVector(quad.Normals.Get(i), 0, 0, 0);
}

// Shared vertices take the normalised sum of the unnormalised face normals,
// so the bigger face weighs more.
TEST(GLPrimitiveGeometryTest, IndexedTrianglesWeighByArea) {
    TGLPrimitive p;
    const float v[] = {0, 0, 0, 1, 0, 0, 0, 1, 0, 0, 0, 2};
    p.Vertices.Assign(v, 4);
    const int16_t idx[] = {0, 1, 2, 0, 3, 1, 0, 1, 9};
    p.Indices.Assign(idx, 9);
    p.ComputeNormals();
    const float s = 1 / std::sqrt(5.0f);
    ExpectVector(p.Normals.Get(0), 0, 2 * s, s);
    ExpectVector(p.Normals.Get(1), 0, 2 * s, s);
    ExpectVector(p.Normals.Get(2), 0, 0, 1);
    ExpectVector(p.Normals.Get(3), 0, 1, 0);
}

TEST(GLPrimitiveGeometryTest, TextureCoordinateSets) {
    TGLPrimitive p;
    EXPECT_EQ(ErrorOf([&] { p.GetTextureCoords(3); }), "TGLPrimitive.GetTextureCoords error: Index out of bounds");
    EXPECT_EQ(ErrorOf([&] { p.GetTextureCoords(-1); }), "TGLPrimitive.GetTextureCoords error: Index out of bounds");
    const float st[] = {1, 2};
    p.GetTextureCoords(2).Assign(st, 1);
    EXPECT_EQ(p.GetTextureCoords(2).Count(), 1);
    EXPECT_EQ(p.GetTextureCoords(1).Count(), 0);
}

TEST(GLPrimitiveGeometryTest, InterpolationTransformAndRotation) {
    TGLPrimitive p;
    TGLVectorDArray a, b, shorter;
    const float va[] = {0, 0, 0, 2, 2, 2};
    const float vb[] = {4, 0, -4, 2, 6, 2};
    a.Assign(va, 2);
    b.Assign(vb, 2);
    shorter.Assign(va, 1);
    p.InterpolateVertices(a, b, 0.25f);
    ASSERT_EQ(p.Vertices.Count(), 2);
    ExpectVector(p.Vertices.Get(0), 1, 0, -1);
    ExpectVector(p.Vertices.Get(1), 2, 3, 2);
    p.InterpolateVertices(a, shorter, 0.5f);
    ExpectVector(p.Vertices.Get(0), 1, 0, -1);

    p.InterpolateNormals(a, b, 0.5f);
    EXPECT_EQ(p.Normals.Count(), 0) << "no normals, none made";
    p.Normals.SetCount(2);
    p.InterpolateNormals(a, b, 0.5f);
    ExpectVector(p.Normals.Get(0), 2, 0, -2);

    TMatrix4f m = IdentityMatrix();
    m.m[12] = 10;
    m.m[0] = 2;
    p.Transform(m);
    ExpectVector(p.Vertices.Get(0), 12, 0, -1);
    p.RotateZ(90);
    ExpectVector(p.Vertices.Get(0), 0, 12, -1);
}

TEST(GLPrimitiveGeometryTest, AssignToCopiesDataNotState) {
    TGLPrimitiveList list;
    TGLPrimitive* source = list.Add();
    Triangle(*source);
    source->Mode = GL_QUADS;
    source->UseDisplayList = true;
    const float st[] = {0, 0, 1, 0, 0, 1};
    source->GetTextureCoords(1).Assign(st, 3);

    TGLPrimitive* copy = source->AssignTo(nullptr);
    ASSERT_NE(copy, nullptr);
    EXPECT_EQ(list.Count(), 2);
    EXPECT_EQ(copy->Mode, static_cast<GLenum>(GL_QUADS));
    EXPECT_FALSE(copy->UseDisplayList);
    EXPECT_EQ(copy->Vertices.Count(), 3);
    EXPECT_EQ(copy->GetTextureCoords(1).Count(), 3);
    EXPECT_NE(copy->Vertices.Data(), source->Vertices.Data());

    // An empty source array empties the target's.
    const int16_t idx[] = {0, 1, 2};
    copy->Indices.Assign(idx, 3);
    source->AssignTo(copy);
    EXPECT_EQ(copy->Indices.Count(), 0);

    TGLPrimitive loose;
    EXPECT_EQ(loose.AssignTo(nullptr), nullptr);
}

// ---------------------------------------------------------------------------
// Lights

class GLLightTest : public GLObjectsTest {
protected:
    GLLightTest() {
        rec.Integers[GL_MAX_LIGHTS] = 8;
        lights.InitContext();
        rec.Clear();
        lightModelfv.clear();
    }
    TGLLightList lights;
};

TEST_F(GLLightTest, EnableSendsEverythingThenOnlyWhatChanged) {
    TGLLight* light = lights.Add();
    EXPECT_EQ(light->DirtyMask(), static_cast<uint32_t>(ldAll));
    light->Enable();
    EXPECT_TRUE(rec.Has("glEnable", {GL_LIGHT0}));
    for (GLenum p : {GL_AMBIENT, GL_DIFFUSE, GL_SPECULAR, GL_POSITION, GL_SPOT_DIRECTION})
        EXPECT_TRUE(rec.Has("glLightfv", {GL_LIGHT0, static_cast<double>(p)})) << p;
    for (GLenum p : {GL_SPOT_EXPONENT, GL_SPOT_CUTOFF, GL_CONSTANT_ATTENUATION, GL_LINEAR_ATTENUATION,
                     GL_QUADRATIC_ATTENUATION})
        EXPECT_TRUE(rec.Has("glLightf", {GL_LIGHT0, static_cast<double>(p)})) << p;
    EXPECT_TRUE(rec.Has("glLightModeli", {GL_LIGHT_MODEL_TWO_SIDE, 1}));
    EXPECT_TRUE(rec.Has("glLightModeli", {GL_LIGHT_MODEL_LOCAL_VIEWER, 0}));
    EXPECT_EQ(light->DirtyMask(), 0u);

    rec.Clear();
    lightfv.clear();
    light->SetDiffuse({0.5f, 0.25f, 1, 1});
    light->Apply();
    ASSERT_EQ(rec.Count("glLightfv"), 1) << rec.Text();
    EXPECT_EQ(lightfv[0].B, static_cast<GLenum>(GL_DIFFUSE));
    EXPECT_EQ(lightfv[0].V, (std::vector<float>{0.5f, 0.25f, 1, 1}));
    EXPECT_EQ(rec.Count("glLightf") + rec.Count("glPushMatrix") + rec.Count("glLightModeli"), 0);

    rec.Clear();
    light->Apply();
    EXPECT_TRUE(rec.Calls.empty()) << "nothing dirty, nothing sent";

    light->SetSpotCutoff(45);
    light->Apply();
    EXPECT_TRUE(rec.Has("glLightf", {GL_LIGHT0, GL_SPOT_CUTOFF, 45}));
    EXPECT_EQ(rec.Count("glLightf"), 1);
    EXPECT_EQ(rec.Count("glLightfv"), 0);
}

TEST_F(GLLightTest, PositionIsSentInEyeSpace) {
    TGLLight* light = lights.Add();
    light->SetSpotDirection({0, 0, -1});
    light->Enable();
    const int push = IndexOf(rec, "glPushMatrix");
    const int identity = IndexOf(rec, "glLoadIdentity", {}, push);
    const int position = IndexOf(rec, "glLightfv", {GL_LIGHT0, GL_POSITION});
    const int direction = IndexOf(rec, "glLightfv", {GL_LIGHT0, GL_SPOT_DIRECTION});
    const int pop = IndexOf(rec, "glPopMatrix");
    ASSERT_GE(push, 0) << rec.Text();
    EXPECT_LT(push, identity);
    EXPECT_LT(identity, position);
    EXPECT_LT(position, direction);
    EXPECT_LT(direction, pop);
    ASSERT_GE(lightfv.size(), 5u);
    for (const TValueCall& c : lightfv) {
        if (c.B == GL_POSITION) {
            EXPECT_EQ(c.V, (std::vector<float>{0, 0, 1, 0})) << "infinite: towards the light";
        } else if (c.B == GL_SPOT_DIRECTION) {
            EXPECT_EQ(c.V, (std::vector<float>{0, 0, -1}));
        }
    }

    lightfv.clear();
    light->SetInfinite(false);
    light->SetPosition({1, 2, 3});
    light->Apply();
    ASSERT_FALSE(lightfv.empty());
    EXPECT_EQ(lightfv[0].B, static_cast<GLenum>(GL_POSITION));
    EXPECT_EQ(lightfv[0].V, (std::vector<float>{1, 2, 3, 1}));
}

TEST_F(GLLightTest, SlotsAreSharedOnceAllAreTaken) {
    std::vector<TGLLight*> all;
    for (int i = 0; i < 9; ++i) all.push_back(lights.Add());
    for (int i = 0; i < 8; ++i) {
        all[static_cast<size_t>(i)]->Enable();
        EXPECT_EQ(all[static_cast<size_t>(i)]->Slot(), i);
    }
    EXPECT_EQ(lights.SlotMask(), 0xFFu);
    all[8]->Enable();
    EXPECT_EQ(all[8]->Slot(), 0);
    EXPECT_EQ(lights.AllocSlot(), 0);
    EXPECT_EQ(rec.Count("glGetIntegerv"), 1) << "the limit is read once";

    all[3]->Disable();
    EXPECT_TRUE(rec.Has("glDisable", {GL_LIGHT0 + 3}));
    EXPECT_EQ(lights.SlotMask(), 0xF7u);
    EXPECT_EQ(lights.AllocSlot(), 3);
}

TEST_F(GLLightTest, SlotMaskBoundsTheLightLimit) {
    rec.Integers[GL_MAX_LIGHTS] = 100;
    TGLLightList many;
    many.InitContext();
    EXPECT_EQ(many.MaxLights(), 32);
    for (int i = 0; i < 32; ++i) EXPECT_EQ(many.AllocSlot(), i);
    EXPECT_EQ(many.SlotMask(), 0xFFFFFFFFu);
    EXPECT_EQ(many.AllocSlot(), 0);
}

TEST_F(GLObjectsTest, LightsWaitForAContext) {
    TGLLightList lights;
    TGLLight* light = lights.Add();
    EXPECT_EQ(lights.Add()->Slot(), 1) << "slot is the count before the append";
    EXPECT_EQ(ErrorOf([&] { lights.MaxLights(); }), "TCustomOpenGL.GetInt error: OpenGL is not activated!");
    light->Enable();
    light->Apply();
    lights.SetAmbient({0.1f, 0.2f, 0.3f, 1});
    EXPECT_TRUE(rec.Calls.empty()) << rec.Text();
    EXPECT_FALSE(light->Enabled());
    EXPECT_EQ(light->DirtyMask(), static_cast<uint32_t>(ldAll));

    lights.InitContext();
    ASSERT_EQ(lightModelfv.size(), 1u);
    EXPECT_EQ(lightModelfv[0].A, static_cast<GLenum>(GL_LIGHT_MODEL_AMBIENT));
    EXPECT_EQ(lightModelfv[0].V, (std::vector<float>{0, 0, 0, 1}));
    lights.SetAmbient({0.1f, 0.2f, 0.3f, 1});
    ASSERT_EQ(lightModelfv.size(), 2u);
    EXPECT_EQ(lightModelfv[1].V, (std::vector<float>{0.1f, 0.2f, 0.3f, 1}));

    lights.DoneContext();
    rec.Clear();
    light->SetDiffuse({1, 0, 0, 1});
    light->Apply();
    EXPECT_TRUE(rec.Calls.empty());
}

// ---------------------------------------------------------------------------
// Materials

TEST_F(GLObjectsTest, MaterialSendsDirtyParametersToItsFaces) {
    TGLMaterialList materials;
    materials.InitContext();
    TGLMaterial* m = materials.Add();
    m->Apply();
    for (GLenum p : {GL_AMBIENT, GL_DIFFUSE, GL_SPECULAR, GL_EMISSION})
        EXPECT_TRUE(rec.Has("glMaterialfv", {GL_FRONT, static_cast<double>(p)})) << p;
    EXPECT_TRUE(rec.Has("glMaterialf", {GL_FRONT, GL_SHININESS, 0}));
    ASSERT_EQ(materialfv.size(), 4u);
    EXPECT_EQ(materialfv[1].V, (std::vector<float>{0.8f, 0.8f, 0.8f, 1}));

    rec.Clear();
    m->Apply();
    EXPECT_TRUE(rec.Calls.empty()) << "nothing changed";

    m->SetShininess(32);
    m->Apply();
    EXPECT_EQ(rec.Count("glMaterialfv"), 0);
    EXPECT_TRUE(rec.Has("glMaterialf", {GL_FRONT, GL_SHININESS, 32}));

    rec.Clear();
    m->ApplyAll();
    EXPECT_EQ(rec.Count("glMaterialfv"), 4);
    EXPECT_EQ(rec.Count("glMaterialf"), 1);

    rec.Clear();
    m->SetBack(true);
    m->Apply();
    EXPECT_EQ(rec.Count("glMaterialfv"), 4) << "a face change re-sends everything";
    EXPECT_TRUE(rec.Has("glMaterialfv", {GL_FRONT_AND_BACK, GL_AMBIENT}));

    rec.Clear();
    m->SetFront(false);
    m->Apply();
    EXPECT_TRUE(rec.Has("glMaterialf", {GL_BACK, GL_SHININESS, 32}));
}

TEST_F(GLObjectsTest, MaterialListSetsUpTheLightModel) {
    rec.Strings[GL_EXTENSIONS] = "GL_ARB_multitexture GL_EXT_separate_specular_color";
    TGLMaterialList plain;
    plain.InitContext();
    EXPECT_TRUE(plain.SeparateSpecularSupported());
    EXPECT_EQ(rec.Count("glLightModeli"), 0);

    rec.Strings[GL_EXTENSIONS] = "GL_ARB_multitexture";
    TGLMaterialList twoSided;
    twoSided.TwoSidedLighting = true;
    twoSided.InitContext();
    EXPECT_FALSE(twoSided.SeparateSpecularSupported());
    EXPECT_TRUE(rec.Has("glLightModeli", {GL_LIGHT_MODEL_TWO_SIDE, 1}));
    EXPECT_TRUE(rec.Has("glLightModeli", {GL_LIGHT_MODEL_COLOR_CONTROL, GL_SEPARATE_SPECULAR_COLOR}));
}

TEST_F(GLObjectsTest, MaterialWaitsForItsListsContext) {
    TGLMaterialList materials;
    TGLMaterial* m = materials.Add();
    m->Apply();
    EXPECT_TRUE(rec.Calls.empty());
    EXPECT_EQ(m->DirtyMask(), static_cast<uint32_t>(mdAll));
}

// ---------------------------------------------------------------------------
// Viewports

TEST_F(GLObjectsTest, ViewportAppliesProjectionAndCamera) {
    TGLViewportList viewports;
    TGLViewport* v = viewports.Add();
    v->SetViewport(10, 20, 640, 480);
    v->SetPerspective(90, 2, 1, 100);
    EXPECT_NEAR(v->Frustum().Top, 1, 1e-12);
    EXPECT_NEAR(v->Frustum().Left, -2, 1e-12);
    v->SetEye({1, 2, 3});
    v->SetOrientation(MakeOrientation({0, 0, -5}, {0, 3, 0}));
    ExpectVector(v->Direction(), 0, 0, -1);
    ExpectVector(v->Up(), 0, 1, 0);
    v->Apply();

    const int viewport = IndexOf(rec, "glViewport", {10, 20, 640, 480});
    const int projection = IndexOf(rec, "glMatrixMode", {GL_PROJECTION});
    const int frustum = rec.Has("glFrustum") ? IndexOf(rec, "glFrustum") : -1;
    const int modelview = IndexOf(rec, "glMatrixMode", {GL_MODELVIEW});
    ASSERT_GE(viewport, 0) << rec.Text();
    EXPECT_LT(viewport, projection);
    EXPECT_LT(projection, frustum);
    EXPECT_LT(frustum, modelview);
    const TGLCall& f = rec.Calls[static_cast<size_t>(frustum)];
    EXPECT_NEAR(f.Args[0], -2, 1e-9);
    EXPECT_NEAR(f.Args[1], 2, 1e-9);
    EXPECT_NEAR(f.Args[2], -1, 1e-9);
    EXPECT_NEAR(f.Args[3], 1, 1e-9);
    EXPECT_EQ(f.Args[4], 1);
    EXPECT_EQ(f.Args[5], 100);
    EXPECT_EQ(rec.Count("glOrtho"), 0);
    ASSERT_EQ(multMatrixf.size(), 1u);
    const std::vector<float> lookAt{1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, -1, -2, -3, 1};
    EXPECT_EQ(multMatrixf[0].V, lookAt);

    // Looking along +x.
    rec.Clear();
    multMatrixf.clear();
    v->SetEye({0, 0, 0});
    v->SetDirection({2, 0, 0});
    v->Perspective = false;
    v->SetOrtho(0, 640, 0, 480, -1, 1);
    v->Apply();
    EXPECT_TRUE(rec.Has("glOrtho", {0, 640, 0, 480, -1, 1}));
    EXPECT_EQ(rec.Count("glFrustum"), 0);
    ASSERT_EQ(multMatrixf.size(), 1u);
    const std::vector<float> side{0, 0, 1, 0, 0, 1, 0, 0, -1, 0, 0, 0, 0, 0, 0, 1};
    for (size_t i = 0; i < 16; ++i) EXPECT_NEAR(multMatrixf[0].V[i], side[i], 1e-6f) << i;
}

GLuint* selectBuffer = nullptr;
void MGL_APIENTRY CaptureSelectBuffer(GLsizei, GLuint* buffer) { selectBuffer = buffer; }
void MGL_APIENTRY ViewportQuery(GLenum pname, GLint* v) {
    if (pname == GL_VIEWPORT) v[0] = 0, v[1] = 0, v[2] = 100, v[3] = 100;
}
GLint MGL_APIENTRY TwoHits(GLenum mode) {
    if (mode != GL_RENDER || !selectBuffer) return 0;
    const GLuint records[] = {1, 500, 900, 7, 2, 200, 300, 8, 9};
    std::memcpy(selectBuffer, records, sizeof records);
    return 2;
}

TEST_F(GLObjectsTest, PickingRestrictsTheProjectionAndFindsTheNearestHit) {
    gl.SelectBuffer = &CaptureSelectBuffer;
    gl.GetIntegerv = &ViewportQuery;
    gl.RenderMode = &TwoHits;
    TGLViewport v;
    v.Select(50, 30, 10, 10);
    ASSERT_NE(selectBuffer, nullptr);
    ASSERT_GE(multMatrixf.size(), 2u) << "pick matrix, then the camera";
    const std::vector<float> pick{10, 0, 0, 0, 0, 10, 0, 0, 0, 0, 1, 0, 0, -4, 0, 1};
    EXPECT_EQ(multMatrixf[0].V, pick);
    EXPECT_TRUE(rec.Has("glInitNames"));
    EXPECT_TRUE(rec.Has("glPushName", {0}));
    EXPECT_TRUE(rec.Has("glFrustum"));
    EXPECT_EQ(v.CurrentHit(), nullptr);

    v.EndSelect();
    const TGLHit* hit = v.CurrentHit();
    ASSERT_NE(hit, nullptr);
    EXPECT_EQ(hit->NameCount, 2u);
    EXPECT_EQ(hit->MinDepth, 200u);
    EXPECT_EQ(hit->Names[0], 8u);
    EXPECT_EQ(hit->Names[1], 9u);
}

// ---------------------------------------------------------------------------
// Display-list registry

TEST_F(GLObjectsTest, RegistryBuildsAndFreesItsEntries) {
    TGLDisplayListList registry;
    GLuint seenFirst = 0;
    int builds = 0;
    registry.Add(3, [&](TGLDisplayList& entry) {
        seenFirst = entry.First();
        ++builds;
    });
    registry.Add(1, nullptr);
    registry.BuildAll();
    EXPECT_EQ(builds, 1);
    EXPECT_EQ(seenFirst, 1u);
    EXPECT_TRUE(registry.Items(0)->Compiled());
    EXPECT_FALSE(registry.Items(1)->Compiled());
    EXPECT_EQ(rec.Count("glGenLists"), 1) << "an entry without a builder makes no lists";

    registry.BuildAll();
    EXPECT_TRUE(rec.Has("glDeleteLists", {1, 3})) << "a rebuild frees the old lists first";
    EXPECT_EQ(registry.Items(0)->First(), 4u);
    rec.Clear();
    registry.FreeAll();
    EXPECT_TRUE(rec.Has("glDeleteLists", {4, 3}));
    EXPECT_FALSE(registry.Items(0)->Compiled());
}

}  // namespace
