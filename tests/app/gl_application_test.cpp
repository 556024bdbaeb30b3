#include "app/gl_application.h"

#include "platform/gl_library.h"
#include "platform/null/display_null.h"
#include "platform/null/gl_context_null.h"
#include "platform/null/gl_library_null.h"
#include "platform/null/gl_window_null.h"
#include "platform/null/null_services.h"
#include "render/gl_recorder.h"
#include "render/gl_table.h"
#include "test_support.h"
#include "render/recording_context.h"

#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <tuple>

namespace {

namespace fs = std::filesystem;
using platform::WindowMessage;

// The GL application over every double: recording GL table, null library,
// binding, windows and display.
class GLApplicationTest : public ::testing::Test {
protected:
    GLApplicationTest() {
        library.Available.insert(platform::GLLibraryFileName(false));
        library.Available.insert(platform::GLLibraryFileName(true));
        OfferGLTable(library, false);
        rec.Strings[GL_VERSION] = "1.4 Test";
        rec.Strings[GL_EXTENSIONS] = "";
        binding.Formats = {WindowPixelFormat()};
        display.Modes = {{640, 480, 16, 60}, {1024, 768, 32, 60}};

        TGLPlatform p{&library, &binding, &windows, &display};
        app = std::make_unique<TCustomGLApplication>(Null.Get(), p);
        app->Title = "3D Marivelle";
        glDisplay = std::make_unique<TCustomGLDisplay>(display, &Null.Application);
        window = std::make_unique<TCustomGLWindow>(windows);
        app->SetDisplay(glDisplay.get());
        app->SetWindow(window.get());
        app->Loaded();
    }

    // One pass of the application's idle hook, as the message loop runs it.
    void IdlePass() {
        auto done = Null.Application.IdleOnce();
        ASSERT_TRUE(done.has_value()) << "idle hook detached";
    }

    // Window made, framework started, GL running.
    void StartRunning() {
        window->CreateHandle();
        IdlePass();
        ASSERT_TRUE(app->GLStarted());
    }

    TGLRecorder rec;
    platform::NullGLLibrary library;
    platform::NullGLContext binding;
    platform::NullGLWindows windows;
    platform::NullDisplaySettings display;
    platform::NullServices Null;
    // The display and window outlive the application that uses them.
    std::unique_ptr<TCustomGLDisplay> glDisplay;
    std::unique_ptr<TCustomGLWindow> window;
    std::unique_ptr<TCustomGLApplication> app;
};

// ---------------------------------------------------------------- frame step

TEST_F(GLApplicationTest, GLStartsOnTheFirstPassWithAWindowAndSetsItsStates) {
    IdlePass();
    EXPECT_FALSE(app->GLStarted()) << "no device context yet";
    int started = 0;
    std::vector<std::pair<int32_t, int32_t>> sizes;
    app->OnStartOpenGL = [&](TCustomApplicationPro*) { ++started; };
    app->OnResizeViewport = [&](TCustomGLApplication*, int32_t w, int32_t h) { sizes.emplace_back(w, h); };
    window->CreateHandle();
    IdlePass();
    EXPECT_TRUE(app->GLStarted());
    EXPECT_EQ(started, 1);
    EXPECT_EQ(sizes, (std::vector<std::pair<int32_t, int32_t>>{{640, 480}}));
    EXPECT_TRUE(rec.Has("glEnable", {GL_DITHER}));
    EXPECT_TRUE(rec.Has("glAlphaFunc", {GL_GREATER, 0}));
    EXPECT_TRUE(rec.Has("glBlendFunc", {GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA}));
    EXPECT_TRUE(rec.Has("glShadeModel", {GL_SMOOTH}));
    IdlePass();
    EXPECT_EQ(started, 1) << "started once";
}

TEST_F(GLApplicationTest, FailedActivationIsRetriedOnTheNextPass) {
    binding.Formats.clear();
    window->CreateHandle();
    IdlePass();
    EXPECT_FALSE(app->GLStarted());
    binding.Formats.push_back({});
    binding.Formats.back().ColorBits = 32;
    binding.Formats.back().DrawToWindow = true;
    binding.Formats.back().DoubleBuffer = true;
    IdlePass();
    EXPECT_TRUE(app->GLStarted());
}

TEST_F(GLApplicationTest, DeltaTimeIsZeroFirstThenTheTimerStepAsAFloat) {
    std::vector<float> deltas;
    app->OnRender = [&](TCustomGLApplication*, float dt, bool select) {
        EXPECT_FALSE(select);
        deltas.push_back(dt);
    };
    StartRunning();
    Null.Clock.Tick += 50;
    IdlePass();  // + the graphic level's 1 ms sleep
    ASSERT_EQ(deltas.size(), 2u);
    EXPECT_EQ(deltas[0], 0.0f);
    EXPECT_FLOAT_EQ(deltas[1], 0.051f);
}

TEST_F(GLApplicationTest, UpdateViewportRenderAndSwapComeInThisOrder) {
    std::vector<std::string> order;
    app->OnUpdate = [&](TCustomGLApplication*, float) {
        order.push_back(rec.Count("glClear") ? "update after clear" : "update");
    };
    app->OnRender = [&](TCustomGLApplication*, float, bool) {
        order.push_back(rec.Count("glClear") ? "render after clear" : "render");
        order.push_back(binding.Count("SwapBuffers") ? "swapped" : "not swapped");
    };
    StartRunning();
    EXPECT_EQ(order, (std::vector<std::string>{"update", "render after clear", "not swapped"}));
    EXPECT_EQ(binding.Count("SwapBuffers"), 1);
    EXPECT_TRUE(rec.Has("glClear", {GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT}));
    EXPECT_TRUE(rec.Has("glViewport", {0, 0, 640, 480}));
    EXPECT_TRUE(rec.Has("glDepthMask", {GL_TRUE}));
}

TEST_F(GLApplicationTest, NoFrameWithoutARenderHandlerOrWhilePaused) {
    StartRunning();
    EXPECT_EQ(binding.Count("SwapBuffers"), 0) << "OnRender unassigned";
    int renders = 0;
    app->OnRender = [&](TCustomGLApplication*, float, bool) { ++renders; };
    app->SetPaused(true);
    IdlePass();
    EXPECT_EQ(renders, 0);
    app->SetPaused(false);
    IdlePass();
    EXPECT_EQ(renders, 1);
}

TEST_F(GLApplicationTest, AFrameCannotStartInsideAFrame) {
    int renders = 0;
    app->OnRender = [&](TCustomGLApplication*, float, bool) {
        ++renders;
        EXPECT_TRUE(app->InIdle());
        bool done = true;
        app->Idle(done);  // a modal box pumping messages
    };
    StartRunning();
    EXPECT_EQ(renders, 1);
    EXPECT_FALSE(app->InIdle()) << "the guard is cleared when the pass ends";
    IdlePass();
    EXPECT_EQ(renders, 2);
}

TEST_F(GLApplicationTest, TheGuardIsClearedWhenAFrameThrows) {
    app->OnRender = [&](TCustomGLApplication*, float, bool) { throw Exception("frame failed"); };
    window->CreateHandle();
    app->Start();
    bool done = false;
    EXPECT_THROW(app->Idle(done), Exception);
    EXPECT_FALSE(app->InIdle());
}

TEST_F(GLApplicationTest, PowerOffStopsFramesAndGL) {
    int renders = 0;
    app->OnRender = [&](TCustomGLApplication*, float, bool) { ++renders; };
    StartRunning();
    app->PowerOff();
    EXPECT_FALSE(app->OpenGL().Active());
    IdlePass();
    EXPECT_EQ(renders, 1);
}

// ---------------------------------------------------------------- viewport

TEST_F(GLApplicationTest, WideWindowForcesWideScreenAndSixteenByNine) {
    window->Width = 1920;
    window->Height = 1080;
    app->OnRender = [](TCustomGLApplication*, float, bool) {};
    StartRunning();
    TDefViewport& v = app->Viewport();
    EXPECT_TRUE(v.WideScreen);
    ASSERT_NE(v.GLViewport(), nullptr);
    const TGLBox& f = v.GLViewport()->Frustum();
    const double halfHeight = std::tan(75.0 / 2 * M_PI / 180) * 100;
    EXPECT_NEAR(f.Top, halfHeight, 1e-4);
    EXPECT_NEAR(f.Right, halfHeight * 16 / 9, 1e-4);
    EXPECT_EQ(f.Near, 100);
    EXPECT_EQ(f.Far, 10000);
    EXPECT_EQ(v.GLViewport()->Width(), 1920);
    // It stays wide when the window narrows.
    window->Width = 640;
    window->Height = 480;
    IdlePass();
    EXPECT_TRUE(v.WideScreen);
}

TEST(ViewAreaTest, FullScreenAreasByMonitorChoice) {
    std::vector<platform::MonitorInfo> two{{"a", 0, 0, 1280, 1024, true}, {"b", 1280, 0, 1024, 768, false}};
    platform::MonitorInfo desktop{"", 0, 0, 2304, 1024, false};
    platform::Size primary{1280, 1024};
    auto area = [&](bool full, int32_t monitor, const std::vector<platform::MonitorInfo>& m) {
        TViewArea a = ViewArea(full, monitor, 800, 600, primary, m, desktop);
        return std::make_pair(a.Width, a.Height);
    };
    EXPECT_EQ(area(false, 1, two), std::make_pair(800, 600));
    EXPECT_EQ(area(true, -1, two), std::make_pair(1280, 1024));
    EXPECT_EQ(area(true, 1, two), std::make_pair(1024, 768));
    EXPECT_EQ(area(true, 2, two), std::make_pair(2304, 1024)) << "dual view";
    EXPECT_EQ(area(true, 3, two), std::make_pair(2304, 1024)) << "virtual desktop";
    EXPECT_EQ(area(true, 9, two), std::make_pair(1280, 1024)) << "a monitor that is gone";
    EXPECT_EQ(area(true, 1, {two[1]}), std::make_pair(1280, 1024)) << "one monitor: the primary screen";
}

TEST(ViewportAspectTest, StretchUsesTheMeasuredAspectElseFourByThree) {
    TDefViewport v;
    EXPECT_DOUBLE_EQ(v.ProjectionAspect(1.25), 4.0 / 3.0);
    v.Stretch = true;
    EXPECT_DOUBLE_EQ(v.ProjectionAspect(1.25), 1.25);
    v.WideScreen = true;
    EXPECT_DOUBLE_EQ(v.ProjectionAspect(1.25), 16.0 / 9.0);
    EXPECT_FLOAT_EQ(v.Camera.Position.Z, -4.9999999e-05f);
}

TEST_F(GLApplicationTest, ClearColourComesFromTheWindowAndClearModeChoosesBuffers) {
    window->Color = 0x00FF8000;  // blue 255, green 128, red 0
    app->Viewport().ClearMode = cmDepth | cmStencil | cmAccum;
    app->OnRender = [](TCustomGLApplication*, float, bool) {};
    StartRunning();
    ASSERT_EQ(rec.Count("glClearColor"), 1);
    EXPECT_TRUE(rec.Has("glClearColor", {0, 128.0f / 255.0f, 1, 1}));
    EXPECT_TRUE(rec.Has("glClear", {GL_DEPTH_BUFFER_BIT | GL_STENCIL_BUFFER_BIT | 0x200}));
}

// ---------------------------------------------------------------- window

TEST_F(GLApplicationTest, DestroyingTheWindowStopsGLAndTheNextWindowRestartsIt) {
    int stops = 0;
    app->OnStopOpenGL = [&](TCustomApplicationPro*) { ++stops; };
    StartRunning();
    window->DestroyHandle();
    EXPECT_EQ(stops, 1);
    EXPECT_FALSE(app->OpenGL().Active());
    EXPECT_EQ(app->DC(), 0u);
    window->CreateHandle();
    IdlePass();
    EXPECT_TRUE(app->GLStarted());
    EXPECT_EQ(app->DC(), window->Handle());
}

TEST_F(GLApplicationTest, WindowMessagesAreAnsweredByTheirRules) {
    StartRunning();
    WindowMessage erase{platform::wm::EraseBackground, 0, 0, 0};
    EXPECT_TRUE(window->WindowProc(erase));
    EXPECT_EQ(erase.Result, 1);
    WindowMessage screenSave{platform::wm::SysCommand, platform::sc::ScreenSave, 0, 7};
    EXPECT_TRUE(window->WindowProc(screenSave));
    EXPECT_EQ(screenSave.Result, 0);
    WindowMessage close{platform::wm::Close, 0, 0, 0};
    EXPECT_FALSE(window->WindowProc(close)) << "windowed: the close goes on";
    // A resize from the window system reaches the drawable and the handler.
    std::pair<int32_t, int32_t> resized;
    app->OnResizeViewport = [&](TCustomGLApplication*, int32_t w, int32_t h) { resized = {w, h}; };
    binding.Calls.clear();
    windows.Post(window->Handle(), platform::wm::Size, 0, 800 | (600 << 16));
    IdlePass();
    EXPECT_EQ(resized, std::make_pair(800, 600));
    EXPECT_EQ(window->Width, 800);
    EXPECT_EQ(binding.Count("ResizeDrawable"), 1);
}

TEST_F(GLApplicationTest, FullScreenRecreatesTheWindowOnTheMonitorAndCloseLeavesIt) {
    StartRunning();
    platform::GLWindowHandle before = window->Handle();
    ASSERT_TRUE(glDisplay->EnterFullScreen(1024, 768, 32));
    EXPECT_TRUE(app->IsFullScreen());
    EXPECT_NE(window->Handle(), before);
    ASSERT_FALSE(windows.Created.empty());
    EXPECT_TRUE(windows.Created.back().FullScreen);
    EXPECT_EQ(windows.Created.back().Width, 1024);
    EXPECT_FALSE(app->OpenGL().Active()) << "the old window took GL with it";
    IdlePass();
    EXPECT_TRUE(app->GLStarted()) << "started again on the new window";
    EXPECT_TRUE(app->DisplayOptionsLoaded());

    WindowMessage close{platform::wm::Close, 0, 0, 0};
    EXPECT_TRUE(window->WindowProc(close)) << "the close only leaves full screen";
    EXPECT_FALSE(app->IsFullScreen());
    EXPECT_FALSE(windows.Created.back().FullScreen);
    EXPECT_FALSE(Null.Application.Terminated());
}

TEST_F(GLApplicationTest, LeavingWithTerminateOnLeaveEndsTheApplication) {
    StartRunning();
    ASSERT_TRUE(glDisplay->EnterFullScreen(1024, 768, 32));
    app->TerminateOnLeave = true;
    size_t made = windows.Created.size();
    EXPECT_TRUE(app->LeaveFullScreen());
    EXPECT_TRUE(Null.Application.Terminated());
    EXPECT_EQ(windows.Created.size(), made) << "no new window for an ending program";
}

TEST_F(GLApplicationTest, ExceptionInFullScreenLeavesItFirst) {
    StartRunning();
    ASSERT_TRUE(glDisplay->EnterFullScreen(1024, 768, 32));
    IdlePass();
    app->HandleException(Exception("boom"));
    EXPECT_FALSE(app->IsFullScreen());
    EXPECT_TRUE(app->TerminateOnLeave);
    EXPECT_FALSE(Null.Messages.Errors.empty());
}

TEST_F(GLApplicationTest, TheDefaultFullScreenModeIsTheDesktopsSizeAt16Bits) {
    display.Modes = {{640, 480, 16, 60}, {1024, 768, 16, 60}, {1024, 768, 32, 60}};
    display.Desktop = {1024, 768, 32, 0};
    StartRunning();
    EXPECT_EQ(glDisplay->Desktop16Mode().ModeText(), "1024x768x16");
    // Nothing stored but "not the desktop only": the mode comes from the default.
    app->FrameworkSettings().WriteBool("DesktopOnly", false);
    app->LoadOptions();
    ASSERT_FALSE(glDisplay->DesktopOnly);
    EXPECT_EQ(glDisplay->FullScreenMode().ModeText(), "1024x768x16");
    glDisplay->SetFullScreen(true);
    ASSERT_FALSE(display.Changes.empty());
    EXPECT_EQ(display.Changes.back().Width, 1024) << "a 1024x768 desktop must not fall back to 640x480";
    EXPECT_EQ(display.Changes.back().Height, 768);
}

TEST_F(GLApplicationTest, NoUsableModeIsFatalAtStart) {
    display.Modes = {{640, 400, 32, 60}, {800, 600, 8, 60}};
    display.Desktop = {800, 600, 8, 0};
    IdlePass();
    ASSERT_EQ(Null.Messages.Errors.size(), 1u);
    EXPECT_NE(Null.Messages.Errors[0].second.find("hardware 3D acceleration was not detected"), std::string::npos);
    EXPECT_TRUE(Null.Application.Terminated());
}

TEST_F(GLApplicationTest, RendererChangeRestartsGLOnTheOtherLibrary) {
    app->OnRender = [](TCustomGLApplication*, float, bool) {};
    StartRunning();
    platform::GLWindowHandle before = window->Handle();
    app->OpenGL().SetRendererKind(rkDirectX);
    EXPECT_FALSE(app->OpenGL().Active());
    EXPECT_FALSE(app->OpenGL().LibraryLoaded());
    EXPECT_NE(window->Handle(), before);
    IdlePass();
    EXPECT_TRUE(app->OpenGL().Active());
    EXPECT_EQ(library.LoadedName, platform::GLLibraryFileName(true));
}

TEST_F(GLApplicationTest, FullScreenWindowTakesTheChosenMonitorsBounds) {
    display.MonitorList = {{"a", 0, 0, 1280, 1024, true}, {"b", 1280, 0, 1024, 768, false}};
    StartRunning();
    window->Monitor = 1;
    ASSERT_TRUE(glDisplay->EnterFullScreen(1024, 768, 32));
    const platform::GLWindowParams& p = windows.Created.back();
    EXPECT_EQ(std::make_tuple(p.Left, p.Top, p.Width, p.Height), std::make_tuple(1280, 0, 1024, 768));
    EXPECT_EQ(p.Parent, 0u);
    window->Monitor = 2;  // dual view: the whole desktop
    window->RecreateHandle();
    EXPECT_EQ(windows.Created.back().Width, display.Desktop.Width);
}

TEST_F(GLApplicationTest, CursorFollowsTheHideFlagInFullScreenAndReturnsAfter) {
    StartRunning();
    app->HideCursor = true;
    Null.Application.Log.clear();
    ASSERT_TRUE(glDisplay->EnterFullScreen(1024, 768, 32));
    EXPECT_EQ(Null.Application.Log.back(), "ShowCursor(0)");
    glDisplay->LeaveFullScreen();
    EXPECT_EQ(Null.Application.Log.back(), "ShowCursor(1)");
}

TEST_F(GLApplicationTest, DestructionLeavesFullScreenAndReleasesTheWindowHooks) {
    StartRunning();
    ASSERT_TRUE(glDisplay->EnterFullScreen(1024, 768, 32));
    app.reset();
    EXPECT_FALSE(glDisplay->FullScreen());
    EXPECT_FALSE(window->DestroyedHook);
    window->DestroyHandle();  // no application to call back into
}

TEST_F(GLApplicationTest, OptionsRoundTripUnderScrambledNames) {
    window->CreateHandle();
    display.MonitorList = {{"a", 0, 0, 1280, 1024, true}, {"b", 1280, 0, 1024, 768, false}};
    window->Monitor = 1;
    glDisplay->DesktopOnly = false;
    app->OpenGL().WaitSync = false;
    app->FilmFileName = "clip.bmp";
    app->FilmSeconds = 3;
    app->FilmFramesPerSecond = 10;
    app->ScreenShotQuality = 90;
    app->Viewport().RenderScale = 50;
    app->SaveOptions();

    window->Monitor = -1;
    app->Viewport().RenderScale = 100;
    glDisplay->DesktopOnly = true;
    app->OpenGL().WaitSync = true;
    app->FilmFileName.clear();
    app->LoadOptions();
    EXPECT_EQ(window->Monitor, 1);
    EXPECT_FALSE(glDisplay->DesktopOnly);
    EXPECT_FALSE(app->OpenGL().WaitSync);
    EXPECT_EQ(app->FilmFileName, "clip.bmp");
    EXPECT_EQ(app->FilmSeconds, 3);
    EXPECT_EQ(app->FilmFramesPerSecond, 10);
    EXPECT_EQ(app->ScreenShotQuality, 90);
    EXPECT_FALSE(app->ScreenShotsEnabled) << "never stored";
    EXPECT_TRUE(app->DisplayOptionsLoaded());
    EXPECT_EQ(app->ReadString("FilmName", "none"), "clip.bmp") << "read back through the same scrambling";
    EXPECT_EQ(app->Viewport().RenderScale, 50);
    // A size the program does not offer (a hand-edited file) draws at full size.
    app->WriteInteger("RenderScale", 60);
    app->LoadOptions();
    EXPECT_EQ(app->Viewport().RenderScale, 100);
}

TEST_F(GLApplicationTest, MonitorIsOnlyReadWithSeveralMonitors) {
    window->Monitor = 1;
    app->SaveOptions();
    app->LoadOptions();
    EXPECT_EQ(window->Monitor, -1) << "one monitor: always the primary";
}

TEST(GLWindowTest, InputAndResizeEventsCarryTheirValues) {
    platform::NullGLWindows windows;
    TGLWindow w(windows);
    std::vector<std::string> seen;
    w.OnKeyDown = [&](TGLWindow*, uintptr_t& key) { seen.push_back("down " + std::to_string(key)); };
    w.OnKeyUp = [&](TGLWindow*, uintptr_t& key) { seen.push_back("up " + std::to_string(key)); };
    w.OnMouseMove = [&](TGLWindow*, int32_t x, int32_t y) {
        seen.push_back("move " + std::to_string(x) + "," + std::to_string(y));
    };
    w.OnMouseDown = [&](TGLWindow*, TGLWindow::TMouseButton b, int32_t x, int32_t y) {
        seen.push_back("click " + std::to_string(b) + " " + std::to_string(x) + "," + std::to_string(y));
    };
    w.OnResize = [&](TGLWindow* sender) {
        seen.push_back("resize " + std::to_string(sender->Width) + "x" + std::to_string(sender->Height));
    };
    w.CreateHandle();
    windows.Post(w.Handle(), platform::wm::KeyDown, 0x1B);
    windows.Post(w.Handle(), platform::wm::KeyUp, 0x41);
    windows.Post(w.Handle(), platform::wm::MouseMove, 0, 12 | (34 << 16));
    windows.Post(w.Handle(), platform::wm::RButtonDown, 0, 5 | (6 << 16));
    windows.Post(w.Handle(), platform::wm::Size, 0, 320 | (200 << 16));
    windows.Post(w.Handle() + 1, platform::wm::KeyDown, 0x20);  // another window's
    w.ProcessMessages();
    EXPECT_EQ(seen, (std::vector<std::string>{"down 27", "up 65", "move 12,34", "click 1 5,6", "resize 320x200"}));
}

// ---------------------------------------------------------------- screenshots

class ScreenshotTest : public GLApplicationTest {
protected:
    ScreenshotTest() {
        dir = ScratchDir("glapp-shots");
        app->OnRender = [this](TCustomGLApplication*, float, bool) { ++renders; };
        app->ScreenShotsEnabled = true;
    }
    ~ScreenshotTest() override { fs::remove_all(dir); }
    fs::path dir;
    int renders = 0;
};

TEST_F(ScreenshotTest, NumberedNameAndOnlyKnownExtensions) {
    StartRunning();
    app->OpenGL().ScreenShot().CaptureCount = 6;
    std::string written = app->TakeScreenshot((dir / "shot.bmp").string());
    EXPECT_EQ(written, (dir / "shot00007.bmp").string());
    EXPECT_TRUE(fs::exists(dir / "shot00007.bmp"));
    EXPECT_EQ(app->TakeScreenshot((dir / "shot.png").string()), "");
    EXPECT_EQ(std::distance(fs::directory_iterator(dir), fs::directory_iterator()), 1);
    app->ScreenShotsEnabled = false;
    EXPECT_EQ(app->TakeScreenshot((dir / "shot.bmp").string()), "");
}

TEST_F(ScreenshotTest, FilmRecordsNumberedFramesAtAFixedStep) {
    std::vector<float> steps;
    app->OnUpdate = [&](TCustomGLApplication*, float dt) { steps.push_back(dt); };
    StartRunning();
    steps.clear();
    renders = 0;
    app->RecordFilm(1, 4, (dir / "Film.bmp").string());
    EXPECT_EQ(renders, 4);
    EXPECT_EQ(steps, std::vector<float>(4, 0.25f));
    EXPECT_TRUE(fs::exists(dir / "Film00001.bmp"));
    EXPECT_TRUE(fs::exists(dir / "Film00004.bmp"));
    EXPECT_FALSE(app->Recording);
}

TEST_F(ScreenshotTest, AKeyPressStopsTheFilmAfterTheCurrentFrame) {
    StartRunning();
    renders = 0;
    app->OnRender = [&](TCustomGLApplication*, float, bool) {
        if (++renders == 2) windows.Post(window->Handle(), platform::wm::KeyDown, 'A');
    };
    app->RecordFilm(10, 25, (dir / "Film.bmp").string());
    EXPECT_EQ(renders, 2);
    EXPECT_TRUE(fs::exists(dir / "Film00002.bmp"));
    EXPECT_FALSE(fs::exists(dir / "Film00003.bmp"));
}

TEST_F(ScreenshotTest, PrintScreenTakesShotsAndFilmsByModifier) {
    StartRunning();
    int snaps = 0;
    app->OnSnapShot = [&](TCustomApplicationPro*) { ++snaps; };
    windows.Held = {platform::vk::Control};
    WindowMessage up{platform::wm::KeyUp, platform::vk::Snapshot, 0, 0};
    bool handled = false;
    app->HandleMessage(up, handled);
    EXPECT_EQ(snaps, 1);
    app->FilmFileName = (dir / "Film.bmp").string();
    app->FilmSeconds = 1;
    app->FilmFramesPerSecond = 2;
    windows.Held = {platform::vk::Shift};
    renders = 0;
    app->HandleMessage(up, handled);
    EXPECT_EQ(renders, 2);
    EXPECT_TRUE(fs::exists(dir / "Film00002.bmp"));
}

TEST_F(ScreenshotTest, AShotThatCannotBeSavedIsReportedAndTheProgramGoesOn) {
    StartRunning();
    app->AppName = (dir / "missing" / "marivelle").string();  // a folder that is not there
    windows.Held = {platform::vk::Control};
    WindowMessage up{platform::wm::KeyUp, platform::vk::Snapshot, 0, 0};
    bool handled = false;
    EXPECT_NO_THROW(app->HandleMessage(up, handled));
    ASSERT_EQ(Null.Messages.Errors.size(), 1u) << "the failed shot was not reported";
    EXPECT_NE(Null.Messages.Errors[0].second.find("missing"), std::string::npos) << Null.Messages.Errors[0].second;
    EXPECT_FALSE(Null.Application.Terminated());
    EXPECT_TRUE(app->GLStarted());
}

TEST_F(ScreenshotTest, FilmWithoutAPositiveRateRecordsNothing) {
    StartRunning();
    renders = 0;
    app->RecordFilm(1, 0, (dir / "Film.bmp").string());
    app->RecordFilm(-3, 25, (dir / "Film.bmp").string());
    EXPECT_EQ(renders, 0);
}

}  // namespace
