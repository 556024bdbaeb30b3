// GL objects and textures drawing for real, on a private Xvfb server with
// Mesa's software rasteriser, read back from the frame buffer. (GoogleTest
// and our headers come before the X headers, whose macros would break them.)
#include <gtest/gtest.h>

#include "render/gl_objects.h"
#include "render/gl_table.h"
#include "render/gl_textures.h"
#include "render/opengl.h"
#include "render/pass_timer.h"

#include "xvfb_fixture.h"

#include <algorithm>
#include <cstdlib>
#include <initializer_list>
#include <string>
#include <vector>

namespace {

const auto* const environment = ::testing::AddGlobalTestEnvironment(new xvfb::Environment(320, 240));
xvfb::Server& server = xvfb::TheServer();

constexpr int kWidth = 64;
constexpr int kHeight = 48;

// A window with an active context and the GL object lists on it, a viewport
// showing the square 0..1 x 0..1 over the whole window.
class GLRenderTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(server.Error.empty() && server.Dpy) << server.Error;
        Display* d = server.Dpy;
        Win = XCreateSimpleWindow(d, DefaultRootWindow(d), 0, 0, kWidth, kHeight, 0, 0, 0);
        XMapWindow(d, Win);
        XSync(d, False);
        ogl.Activate(Win);
        ASSERT_TRUE(ogl.Active()) << "GL did not start on Xvfb";
        for (TGLItemList* list : std::initializer_list<TGLItemList*>{&lights, &materials, &primitives, &textures,
                                                                     &viewports})
            list->InitContext();

        TGLViewport* view = viewports.Add();
        view->SetViewport(0, 0, kWidth, kHeight);
        view->Perspective = false;
        view->SetOrtho(0, 1, 0, 1, -1, 1);
        view->Apply();
        gl.ClearColor(0, 0, 0, 1);
        gl.Clear(GL_COLOR_BUFFER_BIT);
    }
    void TearDown() override {
        textures.DeleteAllNames();
        primitives.FreeDisplayLists();
        ogl.Deactivate();
        if (server.Dpy && Win) {
            XDestroyWindow(server.Dpy, Win);
            XSync(server.Dpy, False);
        }
    }

    // A quad over the square x0..x1 x y0..y1 facing the viewer, with texture
    // coordinates 0..1 and a white colour.
    TGLPrimitive* Quad(float x0, float y0, float x1, float y1) {
        TGLPrimitive* p = primitives.Add();
        p->Mode = GL_QUADS;
        const float v[] = {x0, y0, 0, x1, y0, 0, x1, y1, 0, x0, y1, 0};
        p->Vertices.Assign(v, 4);
        const float st[] = {0, 0, 1, 0, 1, 1, 0, 1};
        p->GetTextureCoords(0).Assign(st, 4);
        const TByteColor white[] = {MakeByteColor(255, 255, 255, 255)};
        p->Colors.Assign(white, 1);
        return p;
    }

    // The pixel at window point (x, y), y from the bottom.
    std::vector<int> Pixel(int x, int y) {
        uint8_t rgb[3] = {};
        gl.PixelStorei(GL_PACK_ALIGNMENT, 1);
        gl.ReadPixels(x, y, 1, 1, GL_RGB, GL_UNSIGNED_BYTE, rgb);
        return {rgb[0], rgb[1], rgb[2]};
    }

    static void ExpectNear(const std::vector<int>& got, int r, int g, int b, const char* where, int tolerance = 2) {
        ASSERT_EQ(got.size(), 3u);
        EXPECT_NEAR(got[0], r, tolerance) << where;
        EXPECT_NEAR(got[1], g, tolerance) << where;
        EXPECT_NEAR(got[2], b, tolerance) << where;
    }

    ::Window Win = 0;
    TCustomOpenGL ogl;
    TGLLightList lights{&ogl};
    TGLMaterialList materials{&ogl};
    TGLPrimitiveList primitives{&ogl};
    TGLTextureList textures{&ogl};
    TGLViewportList viewports{&ogl};
};

TEST_F(GLRenderTest, TexturedQuadShowsItsTexelsBottomRowFirst) {
    TGLTexture* t = textures.CreateRGB8(2, 2);
    t->MinFilter = GL_NEAREST;
    const uint8_t bottom[] = {255, 0, 0, 0, 255, 0};
    const uint8_t top[] = {0, 0, 255, 255, 255, 255};
    std::copy(bottom, bottom + 6, t->GetScanLine(0));
    std::copy(top, top + 6, t->GetScanLine(1));
    t->Use();
    Quad(0, 0, 1, 1)->Render();

    ExpectNear(Pixel(kWidth / 4, kHeight / 4), 255, 0, 0, "bottom-left", 0);
    ExpectNear(Pixel(3 * kWidth / 4, kHeight / 4), 0, 255, 0, "bottom-right", 0);
    ExpectNear(Pixel(kWidth / 4, 3 * kHeight / 4), 0, 0, 255, "top-left", 0);
    ExpectNear(Pixel(3 * kWidth / 4, 3 * kHeight / 4), 255, 255, 255, "top-right", 0);
}

// The measuring mode counts, per named pass, the draw calls, their vertices
// and the pixels GL really wrote, summed over the frames after the first;
// switched off, GL draws through its own entries again.
TEST_F(GLRenderTest, PassTimerCountsEachPassesDrawsAndPixels) {
    TPassTimer timer;
    timer.Enable();
    TGLPrimitive* left = Quad(0, 0, 0.5f, 1);
    TGLPrimitive* corner = Quad(0.5f, 0, 1, 0.25f);
    for (int frame = 0; frame < 3; ++frame) {
        timer.BeginFrame();
        timer.Begin("left half");
        left->Render();
        timer.Begin("nothing");
        timer.Begin("corner twice");
        corner->Render();
        corner->Render();
        timer.EndFrame();
    }
    timer.Disable();

    EXPECT_EQ(timer.Frames(), 2);
    ASSERT_EQ(timer.PassCount(), 4);
    const TPassCost& clear = timer.Pass(0);
    const TPassCost& half = timer.Pass(1);
    const TPassCost& nothing = timer.Pass(2);
    const TPassCost& twice = timer.Pass(3);
    EXPECT_EQ(clear.Name, "clear");
    EXPECT_EQ(clear.DrawCalls, 0);
    EXPECT_EQ(half.Name, "left half");
    EXPECT_EQ(half.DrawCalls, 2);
    EXPECT_EQ(half.Vertices, 8);
    EXPECT_EQ(half.Pixels, 2 * (kWidth / 2) * kHeight);
    EXPECT_EQ(nothing.DrawCalls, 0);
    EXPECT_EQ(nothing.Pixels, 0);
    EXPECT_EQ(twice.DrawCalls, 4);
    EXPECT_EQ(twice.Pixels, 2 * 2 * (kWidth / 2) * (kHeight / 4));
    EXPECT_GT(half.Milliseconds, 0);

    gl.Clear(GL_COLOR_BUFFER_BIT);
    left->Render();
    ExpectNear(Pixel(kWidth / 4, kHeight / 2), 255, 255, 255, "drawn after the timer", 0);
    EXPECT_EQ(timer.Pass(1).DrawCalls, 2);
}

// A one-texel checker shrunk to half its size samples mipmap level 1, which
// is uniform grey; a texture missing levels would not be applied at all and
// the quad would stay white.
TEST_F(GLRenderTest, MipmappedTextureThroughADisplayList) {
    TGLTexture* t = textures.CreateRGBA8(16, 16);
    t->MinFilter = GL_LINEAR_MIPMAP_LINEAR;
    for (int y = 0; y < 16; ++y)
        for (int x = 0; x < 16; ++x) {
            uint8_t* p = t->GetScanLine(y) + x * 4;
            const uint8_t v = (x + y) % 2 ? 255 : 0;
            p[0] = p[1] = p[2] = v;
            p[3] = 255;
        }
    t->Use();
    // 16 texels over 8 x 8 pixels.
    TGLPrimitive* quad = Quad(0, 0, 8.0f / kWidth, 8.0f / kHeight);
    quad->UseDisplayList = true;
    quad->Render();
    ASSERT_TRUE(quad->ListBuilt());
    ExpectNear(Pixel(4, 4), 127, 127, 127, "minified checker", 3);

    t->DeleteName();
    gl.Clear(GL_COLOR_BUFFER_BIT);
    t->Use();
    quad->Render();
    ExpectNear(Pixel(4, 4), 127, 127, 127, "uploaded again from the kept pixels", 3);
}

// The light's direction is meant in eye coordinates: a model-view rotation
// current at Enable must not turn it.
TEST_F(GLRenderTest, LightDirectionIsInEyeSpace) {
    gl.Enable(GL_LIGHTING);
    materials.Add()->ApplyAll();
    TGLPrimitive* quad = Quad(0, 0, 1, 1);
    quad->Colors.SetCount(0);
    quad->ComputeNormals();

    TGLLight* light = lights.Add();
    light->SetSpotDirection({0, 0, -1});
    gl.PushMatrix();
    gl.Rotatef(180, 0, 1, 0);
    light->Enable();
    gl.PopMatrix();
    quad->Render();
    ExpectNear(Pixel(kWidth / 2, kHeight / 2), 204, 204, 204, "lit head-on: the diffuse 0.8");

    light->SetSpotDirection({0, 0, 1});
    light->Apply();
    gl.Clear(GL_COLOR_BUFFER_BIT);
    quad->Render();
    ExpectNear(Pixel(kWidth / 2, kHeight / 2), 0, 0, 0, "lit from behind");
    light->Disable();
    gl.Disable(GL_LIGHTING);
}

}  // namespace
