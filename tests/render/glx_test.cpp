// Real rendering and display-mode tests on a private Xvfb server with
// Mesa's software rasteriser. (GoogleTest comes before the X headers, whose
// macros would otherwise break it.)
#include <gtest/gtest.h>

#include "platform/display.h"
#include "platform/gl_context.h"
#include "platform/gl_library.h"
#include "platform/linux/display_xrandr.h"
#include "render/display_modes.h"
#include "render/gl_table.h"
#include "render/opengl.h"
#include "core/stream.h"

#include "xvfb_fixture.h"
#include "test_support.h"

#include <X11/extensions/Xrandr.h>

#include <chrono>
#include <cstdlib>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <thread>

namespace {

// The guardian of a switched mode is the built program in its hidden mode.
const bool guardianNamed = (platform::SetDisplayGuardianProgram(MARIVELLE_EXE), true);

const auto* const environment = ::testing::AddGlobalTestEnvironment(new xvfb::Environment(640, 480));
xvfb::Server& server = xvfb::TheServer();

class XvfbTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(server.Error.empty() && server.Dpy) << server.Error; }
};

// ---------------------------------------------------------------------------
// OpenGL

class GLXTest : public XvfbTest {
protected:
    void SetUp() override {
        XvfbTest::SetUp();
        Display* d = server.Dpy;
        XSetWindowAttributes attrs{};
        attrs.background_pixel = BlackPixel(d, DefaultScreen(d));
        // An odd width: rows of 303 bytes test the frame-buffer read.
        Win = XCreateWindow(d, DefaultRootWindow(d), 0, 0, kWidth, kHeight, 0, CopyFromParent, InputOutput,
                               CopyFromParent, CWBackPixel, &attrs);
        XMapWindow(d, Win);
        XSync(d, False);
    }
    void TearDown() override {
        if (server.Dpy && Win) {
            XDestroyWindow(server.Dpy, Win);
            XSync(server.Dpy, False);
        }
    }

    // Clears to the background colour and fills the top half with the
    // second colour through a vertex array.
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

    static constexpr int kWidth = 101;
    static constexpr int kHeight = 75;
    ::Window Win = 0;
};

TEST_F(GLXTest, ActivatesAndReadsBackWhatWasDrawn) {
    TCustomOpenGL ogl;
    ogl.Activate(Win);
    ASSERT_TRUE(ogl.Active()) << "GL did not start on Xvfb";
    EXPECT_FALSE(ogl.Version().empty());
    EXPECT_FALSE(ogl.Renderer().empty());
    EXPECT_FALSE(ogl.GLExtensions().empty());
    EXPECT_FALSE(ogl.WGLExtensions().empty()) << "the GLX extension list";
    EXPECT_EQ(ogl.RendererKind(), rkOpenGL);
    EXPECT_GT(ogl.GetInt(GL_MAX_TEXTURE_SIZE), 0);

    DrawFrame();
    std::vector<uint8_t> pixels(kWidth * kHeight * 3);
    gl.PixelStorei(GL_PACK_ALIGNMENT, 1);
    gl.ReadPixels(0, 0, kWidth, kHeight, GL_RGB, GL_UNSIGNED_BYTE, pixels.data());
    ExpectPixel(&pixels[0], 51, 102, 204, "bottom-left");
    ExpectPixel(&pixels[(kWidth * (kHeight - 1) + kWidth - 1) * 3], 255, 128, 0, "top-right");

    bool parity = ogl.FrameParity;
    ogl.SwapBuffers(Win);
    EXPECT_NE(ogl.FrameParity, parity);
    ogl.Deactivate();
    EXPECT_FALSE(ogl.Active());
}

TEST_F(GLXTest, FormatsComeFromTheConfigsOfTheScreen) {
    TCustomOpenGL ogl;
    ogl.Activate(Win);
    ASSERT_TRUE(ogl.Active());
    ASSERT_TRUE(ogl.HasHardwareFormats());
    const TPixelFormatInfo& chosen = ogl.GetPixelFormatInfo(ogl.PixelFormatIndex());
    EXPECT_EQ(chosen.ColorBits, 32);
    EXPECT_EQ(chosen.DepthBits, 16);
    EXPECT_TRUE(chosen.Flags & pfDrawToWindow);
    EXPECT_TRUE(chosen.DoubleBuffer);
    EXPECT_FALSE(chosen.Descriptor.NeedsPalette) << "a TrueColor screen never needs a palette";
    EXPECT_EQ(chosen.Descriptor.RedBits, 8);
    EXPECT_EQ(chosen.Descriptor.RedShift, 16);
    for (const TPixelFormatInfo& f : ogl.GenericFormats()) EXPECT_TRUE(f.Descriptor.Generic);
}

TEST_F(GLXTest, ScreenshotIsSavedAsBmpAndJpeg) {
    TCustomOpenGL ogl;
    ogl.Activate(Win);
    ASSERT_TRUE(ogl.Active());
    DrawFrame();
    TGLScreenShot& shot = ogl.ScreenShot();
    shot.Capture(Win);
    ASSERT_EQ(shot.Width, kWidth);
    ASSERT_EQ(shot.Height, kHeight);
    ExpectPixel(shot.GetRow(0), 51, 102, 204, "capture row 0 is the bottom");
    ExpectPixel(shot.GetRow(kHeight - 1) + (kWidth - 1) * 3, 255, 128, 0, "last row of the capture is the top");

    std::filesystem::path dir = ScratchDir("glx");
    std::string bmpName = shot.SaveToFile((dir / "shot.bmp").string(), 90);
    std::string jpgName = shot.SaveToFile((dir / "shot.jpg").string(), 90);
    EXPECT_EQ(std::filesystem::path(bmpName).filename(), "shot00001.bmp");

    std::string bytes = ReadFileText(bmpName);
    TPicture bmp = ReadBMP(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size());
    ASSERT_EQ(bmp.Width, kWidth);
    ASSERT_EQ(bmp.Height, kHeight);
    TRGBQuad top = bmp.PixelColor(50, 0), bottom = bmp.PixelColor(50, kHeight - 1);
    EXPECT_EQ(top.Red, 255);
    EXPECT_EQ(top.Green, 128);
    EXPECT_EQ(top.Blue, 0);
    EXPECT_EQ(bottom.Red, 51);
    EXPECT_EQ(bottom.Blue, 204);

    bytes = ReadFileText(jpgName);
    TPicture jpg = DecodeJPEG(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size());
    ASSERT_EQ(jpg.Width, kWidth);
    TRGBQuad jtop = jpg.PixelColor(50, 10), jbottom = jpg.PixelColor(50, kHeight - 10);
    EXPECT_NEAR(jtop.Red, 255, 8);
    EXPECT_NEAR(jtop.Green, 128, 8);
    EXPECT_NEAR(jtop.Blue, 0, 8);
    EXPECT_NEAR(jbottom.Red, 51, 8);
    EXPECT_NEAR(jbottom.Green, 102, 8);
    EXPECT_NEAR(jbottom.Blue, 204, 8);
    std::filesystem::remove_all(dir);
}

TEST_F(GLXTest, ReactivatesAfterDeactivationAndAfterUnloading) {
    TCustomOpenGL ogl;
    for (int round = 0; round < 3; ++round) {
        ogl.Activate(Win);
        ASSERT_TRUE(ogl.Active()) << "round " << round;
        DrawFrame();
        uint8_t pixel[3] = {};
        gl.PixelStorei(GL_PACK_ALIGNMENT, 1);
        gl.ReadPixels(0, 0, 1, 1, GL_RGB, GL_UNSIGNED_BYTE, pixel);
        ExpectPixel(pixel, 51, 102, 204, "after reactivation");
        ogl.Deactivate();
        if (round == 1) ogl.UnloadLibrary();
    }
}

TEST_F(GLXTest, AlternativeLibraryRendersThroughMesa) {
    TCustomOpenGL ogl;
    ogl.SetRendererKind(rkDirectX);
    ogl.Activate(Win);
    ASSERT_TRUE(ogl.Active()) << "Mesa's vendor library is part of the GL runtime";
    EXPECT_EQ(ogl.RendererKind(), rkDirectX);
    DrawFrame();
    uint8_t pixel[3] = {};
    gl.PixelStorei(GL_PACK_ALIGNMENT, 1);
    gl.ReadPixels(0, kHeight - 1, 1, 1, GL_RGB, GL_UNSIGNED_BYTE, pixel);
    ExpectPixel(pixel, 255, 128, 0, "top-left");
    ogl.Deactivate();
    ogl.UnloadLibrary();
    EXPECT_EQ(std::getenv("__GLX_VENDOR_LIBRARY_NAME"), nullptr) << "the vendor choice ends with the library";
}

TEST_F(GLXTest, FormatSetOnAWindowThatIsGoneFailsQuietly) {
    ::Window gone = XCreateSimpleWindow(server.Dpy, DefaultRootWindow(server.Dpy), 0, 0, 10, 10, 0, 0, 0);
    XDestroyWindow(server.Dpy, gone);
    XSync(server.Dpy, False);
    TCustomOpenGL ogl;
    ogl.Activate(gone);
    EXPECT_FALSE(ogl.Active()) << "an X error must not end the process";
}

// ---------------------------------------------------------------------------
// Display modes through RandR

class RandRTest : public XvfbTest {
protected:
    static constexpr int kSmallW = 320, kSmallH = 240;

    void SetUp() override {
        XvfbTest::SetUp();
        AddSmallMode();
    }
    void TearDown() override {
        // Leave the server as it was for the next test, whatever happened.
        if (server.Dpy && CrtcSize().first != 640) SetCrtcMode(640, 480);
    }

    static void SetCrtcMode(unsigned width, unsigned height) {
        Display* d = server.Dpy;
        XRRScreenResources* res = XRRGetScreenResourcesCurrent(d, DefaultRootWindow(d));
        XRROutputInfo* out = XRRGetOutputInfo(d, res, res->outputs[0]);
        for (int i = 0; i < res->nmode; ++i) {
            if (res->modes[i].width == width && res->modes[i].height == height)
                XRRSetCrtcConfig(d, res, out->crtc, CurrentTime, 0, 0, res->modes[i].id, RR_Rotate_0,
                                 &res->outputs[0], 1);
        }
        XRRFreeOutputInfo(out);
        XRRFreeScreenResources(res);
        XSync(d, False);
    }

    // Xvfb starts with a single mode; give its output a smaller one.
    static void AddSmallMode() {
        static bool added = false;
        if (added) return;
        added = true;
        Display* d = server.Dpy;
        Window root = DefaultRootWindow(d);
        XRRScreenResources* res = XRRGetScreenResourcesCurrent(d, root);
        XRRModeInfo info{};
        char name[] = "320x240";
        info.width = kSmallW;
        info.height = kSmallH;
        info.dotClock = 12000000;
        info.hTotal = 400;
        info.vTotal = 500;  // 60 Hz
        info.name = name;
        info.nameLength = sizeof name - 1;
        RRMode mode = XRRCreateMode(d, root, &info);
        XRRAddOutputMode(d, res->outputs[0], mode);
        XRRFreeScreenResources(res);
        XSync(d, False);
    }

    // The size the output shows, read on the test's own connection.
    static std::pair<int, int> CrtcSize() {
        Display* d = server.Dpy;
        XRRScreenResources* res = XRRGetScreenResourcesCurrent(d, DefaultRootWindow(d));
        std::pair<int, int> size{0, 0};
        for (int i = 0; i < res->ncrtc; ++i) {
            XRRCrtcInfo* c = XRRGetCrtcInfo(d, res, res->crtcs[i]);
            if (c->mode) size = {static_cast<int>(c->width), static_cast<int>(c->height)};
            XRRFreeCrtcInfo(c);
        }
        XRRFreeScreenResources(res);
        return size;
    }

    // Polls until the output is back at the desktop size (a guardian acts
    // after its program is gone).
    static bool BackAtDesktopSize() {
        for (int i = 0; i < 400; ++i) {
            if (CrtcSize() == std::pair<int, int>{640, 480}) return true;
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        }
        return false;
    }
};

TEST_F(RandRTest, ListsTheScreenItsModesAndOneMonitor) {
    auto display = platform::CreateXRandRDisplaySettings(server.Name.c_str());
    platform::DisplayMode current = display->CurrentMode();
    EXPECT_EQ(current.Width, 640);
    EXPECT_EQ(current.Height, 480);
    EXPECT_EQ(current.BitsPerPixel, 32) << "depth 24 is stored in 32 bits per pixel";

    std::vector<platform::MonitorInfo> monitors = display->Monitors();
    ASSERT_EQ(monitors.size(), 1u);
    EXPECT_TRUE(monitors[0].Primary);
    EXPECT_EQ(monitors[0].Width, 640);
    EXPECT_EQ(monitors[0].Height, 480);
    EXPECT_FALSE(monitors[0].Name.empty());
    EXPECT_EQ(display->VirtualDesktop().Width, 640);

    TVideoModesList list(*display);
    list.EnumModes();
    EXPECT_GE(list.FindMode(640, 480, 32), 0);
    int small = list.FindMode(kSmallW, kSmallH, 32);
    ASSERT_GE(small, 0);
    EXPECT_EQ(list.Items(small).Frequency, 60);
}

TEST_F(RandRTest, SwitchesAndRestores) {
    auto display = platform::CreateXRandRDisplaySettings(server.Name.c_str());
    {
        TCustomDisplayControl control(*display);
        control.BuildModeLists();
        ASSERT_TRUE(control.EnterFullScreen(kSmallW, kSmallH, 32));
        EXPECT_TRUE(control.VideoModes().ModeChanged());
        EXPECT_EQ(CrtcSize(), (std::pair<int, int>{kSmallW, kSmallH}));
        EXPECT_EQ(display->CurrentMode().Width, kSmallW);
        control.LeaveFullScreen();
        EXPECT_EQ(CrtcSize(), (std::pair<int, int>{640, 480}));
        ASSERT_TRUE(control.EnterFullScreen(kSmallW, kSmallH, 32));
    }
    EXPECT_EQ(CrtcSize(), (std::pair<int, int>{640, 480})) << "destruction restores";
    EXPECT_FALSE(display->TestMode({800, 600, 32, 0})) << "not a mode of the output";
    EXPECT_FALSE(display->TestMode({kSmallW, kSmallH, 16, 0})) << "X cannot change the depth";
}

// A guardian that cannot start (here a program without the hidden mode)
// means no switch: nobody would undo it should the program die.
TEST_F(RandRTest, NoSwitchWithoutAGuardian) {
    platform::SetDisplayGuardianProgram("/bin/true");
    auto display = platform::CreateXRandRDisplaySettings(server.Name.c_str());
    EXPECT_FALSE(display->ChangeMode({kSmallW, kSmallH, 32, 60}));
    platform::SetDisplayGuardianProgram(MARIVELLE_EXE);
    EXPECT_FALSE(display->ModeChanged());
    EXPECT_EQ(CrtcSize(), (std::pair<int, int>{640, 480}));
    EXPECT_TRUE(display->ChangeMode({kSmallW, kSmallH, 32, 60})) << "the built program guards the switch";
    display->RestoreMode();
    EXPECT_EQ(CrtcSize(), (std::pair<int, int>{640, 480}));
}

// How the child program ends after switching the mode.
enum class Death { Exit, QuickExit, Signal };

struct DeathCase {
    const char* Name;
    Death How;
    int Signal;
};

void PrintTo(const DeathCase& c, std::ostream* out) { *out << c.Name; }

// The child program: this test executable started again with these
// variables set. A fresh process, so that no GL driver state of the test
// process (its threads, its exit handlers) takes part in the ending.
constexpr const char* kChildHow = "MARIVELLE_MODE_CHILD_HOW";
constexpr const char* kChildPipe = "MARIVELLE_MODE_CHILD_PIPE";

[[noreturn]] void ModeChildMain(int how, int signalNumber, int pipeFd) {
    platform::IDisplaySettings* display;
    if (static_cast<Death>(how) == Death::Exit)
        display = &platform::SystemDisplaySettings();  // restored by the exit of the program
    else
        display = platform::CreateXRandRDisplaySettings().release();  // never destroyed
    char ok = display->ChangeMode({320, 240, 32, 60}) ? 'y' : 'n';
    if (write(pipeFd, &ok, 1) != 1) _exit(3);
    close(pipeFd);
    switch (static_cast<Death>(how)) {
    case Death::Exit: std::exit(0);
    case Death::QuickExit: _exit(0);
    case Death::Signal:
        signal(signalNumber, SIG_DFL);
        raise(signalNumber);
        break;
    }
    _exit(4);
}

const bool childStarted = [] {
    const char* how = std::getenv(kChildHow);
    const char* fd = std::getenv(kChildPipe);
    if (how && fd) {
        int h = 0, sig = 0;
        if (std::sscanf(how, "%d,%d", &h, &sig) == 2) ModeChildMain(h, sig, std::atoi(fd));
        _exit(5);
    }
    return false;
}();

class ModeGuardianTest : public RandRTest, public ::testing::WithParamInterface<DeathCase> {};

TEST_P(ModeGuardianTest, ModeIsRestoredHoweverTheProgramEnds) {
    const DeathCase& c = GetParam();
    int fds[2];
    ASSERT_EQ(pipe(fds), 0);
    std::string how = std::to_string(static_cast<int>(c.How)) + "," + std::to_string(c.Signal);
    pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        close(fds[0]);
        setenv(kChildHow, how.c_str(), 1);
        setenv(kChildPipe, std::to_string(fds[1]).c_str(), 1);
        execl("/proc/self/exe", "render_glx_test", static_cast<char*>(nullptr));
        _exit(6);
    }
    close(fds[1]);
    char ok = 0;
    ssize_t n = read(fds[0], &ok, 1);
    close(fds[0]);
    waitpid(child, nullptr, 0);
    ASSERT_EQ(n, 1) << "the child died before switching";
    ASSERT_EQ(ok, 'y') << "the child could not switch the mode";
    EXPECT_TRUE(BackAtDesktopSize()) << "the mode stayed switched after " << c.Name;
}

INSTANTIATE_TEST_SUITE_P(EveryEnding, ModeGuardianTest,
                         ::testing::Values(DeathCase{"exit", Death::Exit, 0}, DeathCase{"_exit", Death::QuickExit, 0},
                                           DeathCase{"SIGTERM", Death::Signal, SIGTERM},
                                           DeathCase{"SIGINT", Death::Signal, SIGINT},
                                           DeathCase{"SIGHUP", Death::Signal, SIGHUP},
                                           DeathCase{"SIGSEGV", Death::Signal, SIGSEGV},
                                           DeathCase{"SIGABRT", Death::Signal, SIGABRT},
                                           DeathCase{"SIGKILL", Death::Signal, SIGKILL}),
                         [](const ::testing::TestParamInfo<DeathCase>& param) {
                             std::string name = param.param.Name;
                             return name == "_exit" ? std::string("QuickExit") : name;
                         });

}  // namespace

// A server of two screens joined by Xinerama: its RandR sees only the first
// screen, Xinerama both, where the server puts them.
TEST(XineramaTest, TwoJoinedScreensAreTwoMonitors) {
    const char* current = std::getenv("DISPLAY");
    const std::string saved = current ? current : "";
    struct StoppedAtEnd : xvfb::Server {
        ~StoppedAtEnd() { Stop(); }
    } joined;
    joined.Start(800, 600, {"-screen", "1", "640x480x24", "+xinerama"});
    if (!saved.empty()) setenv("DISPLAY", saved.c_str(), 1);  // Start made its own the default
    ASSERT_TRUE(joined.Error.empty()) << joined.Error;
    {
        auto display = platform::CreateXRandRDisplaySettings(joined.Name.c_str());
        std::vector<platform::MonitorInfo> monitors = display->Monitors();
        ASSERT_EQ(monitors.size(), 2u);
        EXPECT_TRUE(monitors[0].Primary);
        EXPECT_FALSE(monitors[1].Primary);
        EXPECT_EQ(monitors[0].Left, 0);
        EXPECT_EQ(monitors[0].Width, 800);
        EXPECT_EQ(monitors[0].Height, 600);
        EXPECT_EQ(monitors[1].Width, 640);
        EXPECT_EQ(monitors[1].Height, 480);
        EXPECT_EQ(monitors[1].Name, "Xinerama-1");
    }
}
