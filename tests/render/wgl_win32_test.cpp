// OpenGL on a Windows window for real: opengl32.dll loaded at run time, the
// formats the display describes, a context, a frame read back and saved as
// a screenshot, swaps with retrace control. Under Wine the GL calls reach
// the host's Mesa on the X server the test run provides.
#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>

#include "core/picture.h"
#include "core/stream.h"
#include "render/gl_table.h"
#include "render/opengl.h"
#include "test_support.h"

namespace {

constexpr int kWidth = 101;
constexpr int kHeight = 75;

class WglTest : public ::testing::Test {
protected:
    void SetUp() override {
        WNDCLASSW wc{};
        wc.style = CS_OWNDC;
        wc.lpfnWndProc = DefWindowProcW;
        wc.hInstance = GetModuleHandleW(nullptr);
        wc.lpszClassName = L"MarivelleWglTest";
        RegisterClassW(&wc);
        RECT r{0, 0, kWidth, kHeight};
        AdjustWindowRect(&r, WS_POPUP, FALSE);
        Window = CreateWindowExW(0, wc.lpszClassName, L"WGL test", WS_POPUP | WS_VISIBLE, 0, 0, r.right - r.left,
                                 r.bottom - r.top, nullptr, nullptr, wc.hInstance, nullptr);
        ASSERT_TRUE(Window);
    }
    void TearDown() override {
        if (Window) DestroyWindow(Window);
    }

    platform::GLWindowHandle Handle() const { return reinterpret_cast<platform::GLWindowHandle>(Window); }

    static void DrawFrame() {
        gl.Viewport(0, 0, kWidth, kHeight);
        gl.ClearColor(51 / 255.0f, 102 / 255.0f, 204 / 255.0f, 1);
        gl.Clear(GL_COLOR_BUFFER_BIT);
        static const GLfloat topHalf[] = {-1, 0, 1, 0, 1, 1, -1, 0, 1, 1, -1, 1};
        static const GLubyte color[] = {255, 128, 0, 255};
        gl.Color4ubv(color);
        gl.EnableClientState(GL_VERTEX_ARRAY);
        gl.VertexPointer(2, GL_FLOAT, 0, topHalf);
        gl.DrawArrays(GL_TRIANGLES, 0, 6);
        gl.DisableClientState(GL_VERTEX_ARRAY);
    }

    static void ExpectPixel(const uint8_t* rgb, int r, int g, int b, const char* where, int tolerance = 0) {
        EXPECT_NEAR(rgb[0], r, tolerance) << where;
        EXPECT_NEAR(rgb[1], g, tolerance) << where;
        EXPECT_NEAR(rgb[2], b, tolerance) << where;
    }

    HWND Window = nullptr;
};

TEST_F(WglTest, ActivatesDrawsAndReadsBack) {
    TCustomOpenGL ogl;
    ogl.Activate(Handle());
    ASSERT_TRUE(ogl.Active()) << "GL did not start";
    EXPECT_EQ(ogl.Drawable(), Handle()) << "the format is set on the window itself";

    // Every format the display describes is in one of the two lists, and the
    // chosen one draws to a window, double-buffered.
    platform::IGLContextBinding& binding = ogl.Binding();
    const auto described = binding.DescribePixelFormats(Handle());
    ASSERT_FALSE(described.empty());
    EXPECT_EQ(ogl.HardwareFormats().size() + ogl.GenericFormats().size(), described.size());
    for (size_t i = 0; i < described.size(); ++i) EXPECT_EQ(described[i].Number, static_cast<int32_t>(i + 1));
    const TPixelFormatInfo& chosen = ogl.GetPixelFormatInfo(ogl.PixelFormatIndex());
    EXPECT_TRUE(chosen.Flags & pfDrawToWindow);
    EXPECT_TRUE(chosen.DoubleBuffer);
    EXPECT_GE(chosen.ColorBits, 24);
    EXPECT_FALSE(ogl.Renderer().empty());

    DrawFrame();
    std::vector<uint8_t> pixels(kWidth * kHeight * 3);
    gl.PixelStorei(GL_PACK_ALIGNMENT, 1);
    gl.ReadPixels(0, 0, kWidth, kHeight, GL_RGB, GL_UNSIGNED_BYTE, pixels.data());
    ExpectPixel(&pixels[0], 51, 102, 204, "bottom-left");
    ExpectPixel(&pixels[(kWidth * (kHeight - 1) + kWidth - 1) * 3], 255, 128, 0, "top-right");

    // The screenshot goes through the capture and the picture codecs.
    TGLScreenShot& shot = ogl.ScreenShot();
    shot.Capture(Handle());
    ASSERT_EQ(shot.Width, kWidth);
    ASSERT_EQ(shot.Height, kHeight);
    const std::filesystem::path dir = ScratchDir("wgl");
    const std::string jpgName = shot.SaveToFile((dir / "shot.jpg").string(), 90);
    const std::string bytes = ReadFileText(jpgName);
    TPicture jpg = DecodeJPEG(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size());
    ASSERT_EQ(jpg.Width, kWidth);
    ASSERT_EQ(jpg.Height, kHeight);
    const TRGBQuad top = jpg.PixelColor(50, 5), bottom = jpg.PixelColor(50, kHeight - 5);
    EXPECT_NEAR(top.Red, 255, 8);
    EXPECT_NEAR(top.Green, 128, 8);
    EXPECT_NEAR(bottom.Blue, 204, 8);

    bool parity = ogl.FrameParity;
    ogl.SwapBuffers(Handle());
    EXPECT_NE(ogl.FrameParity, parity);
    ogl.Deactivate();
    EXPECT_FALSE(ogl.Active());
}

TEST_F(WglTest, TheSwapIntervalFollowsWaitSync) {
    TCustomOpenGL ogl;
    ogl.Activate(Handle());
    ASSERT_TRUE(ogl.Active());
    platform::IGLContextBinding& binding = ogl.Binding();
    const auto& wgl = ogl.WGLExtensions();
    ASSERT_NE(std::find(wgl.begin(), wgl.end(), "WGL_EXT_swap_control"), wgl.end()) << "Wine offers the extension";
    ASSERT_TRUE(binding.HasSwapInterval());
    ogl.WaitSync = false;
    ogl.SwapBuffers(Handle());
    EXPECT_EQ(binding.GetSwapInterval(Handle()), 0);
    ogl.WaitSync = true;
    ogl.SwapBuffers(Handle());
    EXPECT_EQ(binding.GetSwapInterval(Handle()), 1);
    ogl.Deactivate();
}

}  // namespace
