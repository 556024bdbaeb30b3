#include "app/gl_application.h"

#include "platform/gl_library.h"
#include "render/gl_table.h"
#include "render/pass_timer.h"
#include "core/picture.h"
#include "core/errors.h"

#include <algorithm>
#include <cmath>

TGLPlatform SystemGLPlatform() {
    TGLPlatform p;
    p.Library = &platform::SystemGLLibrary();
    p.Binding = &platform::SystemGLContext();
    p.Windows = &platform::SystemGLWindows();
    p.Display = &platform::SystemDisplaySettings();
    return p;
}

namespace {

// Value names of the settings store (scrambled on the way in).
constexpr const char* kMonitorValue = "Monitor";
constexpr const char* kDesktopOnlyValue = "DesktopOnly";
constexpr const char* kFullScreenModeValue = "FullScreenMode";
constexpr const char* kWaitSyncValue = "WaitSync";
constexpr const char* kRendererValue = "DirectX";
constexpr const char* kFilmNameValue = "FilmName";
constexpr const char* kFilmSecondsValue = "FilmSeconds";
constexpr const char* kFilmFPSValue = "FilmFPS";
constexpr const char* kScreenShotsValue = "ScreenShots";
constexpr const char* kScreenShotQualityValue = "ScreenShotQuality";
constexpr const char* kWideScreenValue = "WideScreen";
constexpr const char* kRenderScaleValue = "RenderScale";


// Clears the idle guard on every way out of a pass.
struct IdleGuard {
    explicit IdleGuard(bool& flag) : Flag(flag) { Flag = true; }
    ~IdleGuard() { Flag = false; }
    bool& Flag;
};

}  // namespace

// ---------------------------------------------------------------------------
// TCustomAppOpenGL

TCustomAppOpenGL::TCustomAppOpenGL(TCustomGLApplication& application, const TGLPlatform& platform)
    : TCustomOpenGL(*platform.Library, *platform.Binding), Application(&application) {}

void TCustomAppOpenGL::SetRendererKind(TRendererKind kind) {
    if (kind == FRendererKind || !Active()) {
        FRendererKind = kind;
        return;
    }
    TCustomGLWindow* window = Application->Window();
    // Destroying the window stops GL through its destroyed hook.
    if (window) window->DestroyHandle();
    Application->StopOpenGL();
    UnloadLibrary();
    FRendererKind = kind;
    if (window) window->CreateHandle();
}

// ---------------------------------------------------------------------------
// TCustomGLWindow

TCustomGLWindow::~TCustomGLWindow() {
    if (FHandle) {
        Windows->DestroyGLWindow(FHandle);
        FHandle = 0;
    }
}

platform::GLWindowParams TCustomGLWindow::CreateParams() const {
    platform::GLWindowParams p;
    p.Color = Color;
    p.Title = Title;
    p.Width = Width;
    p.Height = Height;
    if (IsFullScreenHook && IsFullScreenHook()) {
        p.FullScreen = true;
        const size_t n = Monitors ? Monitors->size() : 0;
        // -1 is the primary monitor; without one marked, the first.
        size_t index = static_cast<size_t>(Monitor);
        if (Monitor == -1 && n > 0) {
            index = 0;
            for (size_t i = 0; i < n; ++i)
                if ((*Monitors)[i].Primary) index = i;
        }
        if (Monitor >= -1 && index < n) {
            const platform::MonitorInfo& m = (*Monitors)[index];
            p.Left = m.Left;
            p.Top = m.Top;
            p.Width = m.Width;
            p.Height = m.Height;
        } else if (VirtualDesktop) {
            p.Left = VirtualDesktop->Left;
            p.Top = VirtualDesktop->Top;
            p.Width = VirtualDesktop->Width;
            p.Height = VirtualDesktop->Height;
        }
        return p;
    }
    p.Parent = ParentWindow;
    int32_t w = 0, h = 0;
    if (ParentWindow && Windows->WindowSize(ParentWindow, w, h)) {
        p.Width = w;
        p.Height = h;
    }
    return p;
}

void TCustomGLWindow::CreateHandle() {
    if (FHandle) return;
    platform::GLWindowParams p = CreateParams();
    FHandle = Windows->CreateGLWindow(p);
    if (!FHandle) return;
    Width = p.Width;
    Height = p.Height;
    if (DCReadyHook) DCReadyHook(FHandle);
}

void TCustomGLWindow::Destroyed() {
    if (DestroyedHook) DestroyedHook();
}

void TCustomGLWindow::DestroyHandle() {
    if (!FHandle) return;
    // GL lets go of the window before it goes.
    Destroyed();
    Windows->DestroyGLWindow(FHandle);
    FHandle = 0;
}

void TCustomGLWindow::RecreateHandle() {
    DestroyHandle();
    CreateHandle();
}

void TCustomGLWindow::ProcessMessages() {
    Windows->ProcessMessages([this](platform::GLWindowHandle window, platform::WindowMessage& msg) {
        if (window != FHandle || !FHandle) return;
        bool handled = false;
        if (MessageHook) MessageHook(msg, handled);
        if (!handled) WindowProc(msg);
    });
}

bool TCustomGLWindow::WindowProc(platform::WindowMessage& msg) {
    switch (msg.Msg) {
        case platform::wm::EraseBackground:
            if (!IsGLActiveHook || IsGLActiveHook()) {
                msg.Result = 1;
                return true;
            }
            return false;
        case platform::wm::Close:
            if (CloseRequestedHook && CloseRequestedHook()) {
                msg.Result = 0;
                return true;
            }
            return false;
        case platform::wm::Size: {
            Width = static_cast<int32_t>(msg.LParam & 0xFFFF);
            Height = static_cast<int32_t>((msg.LParam >> 16) & 0xFFFF);
            if (ResizedHook) ResizedHook(Width, Height);
            return false;
        }
        case platform::wm::SysCommand: {
            const uintptr_t command = msg.WParam & 0xFFF0;
            if (command == platform::sc::Close || command == platform::sc::ScreenSave ||
                command == platform::sc::MonitorPower) {
                msg.Result = 0;
                return true;
            }
            return false;
        }
        case platform::wm::Destroy:
            // Destroyed from outside (the foreign parent went away).
            if (FHandle) {
                FHandle = 0;
                Destroyed();
            }
            return false;
        default: return false;
    }
}

// ---------------------------------------------------------------------------
// TGLWindow

namespace {

int32_t LowWord(intptr_t v) { return static_cast<int16_t>(v & 0xFFFF); }
int32_t HighWord(intptr_t v) { return static_cast<int16_t>((v >> 16) & 0xFFFF); }

}  // namespace

bool TGLWindow::WindowProc(platform::WindowMessage& msg) {
    switch (msg.Msg) {
        case platform::wm::KeyDown:
            if (OnKeyDown) OnKeyDown(this, msg.WParam);
            break;
        case platform::wm::KeyUp:
            if (OnKeyUp) OnKeyUp(this, msg.WParam);
            break;
        case platform::wm::MouseMove:
            if (OnMouseMove) OnMouseMove(this, LowWord(msg.LParam), HighWord(msg.LParam));
            break;
        case platform::wm::LButtonDown:
        case platform::wm::RButtonDown:
        case platform::wm::MButtonDown:
            if (OnMouseDown)
                OnMouseDown(this,
                            msg.Msg == platform::wm::LButtonDown   ? mbLeft
                            : msg.Msg == platform::wm::RButtonDown ? mbRight
                                                                   : mbMiddle,
                            LowWord(msg.LParam), HighWord(msg.LParam));
            break;
        default: break;
    }
    bool answered = TCustomGLWindow::WindowProc(msg);
    if (msg.Msg == platform::wm::Size && OnResize) OnResize(this);
    return answered;
}

// ---------------------------------------------------------------------------
// TDefViewport

TViewArea ViewArea(bool fullScreen, int32_t monitor, int32_t windowWidth, int32_t windowHeight,
                   platform::Size primary, const std::vector<platform::MonitorInfo>& monitors,
                   const platform::MonitorInfo& desktop) {
    if (!fullScreen) return {windowWidth, windowHeight};
    const auto n = static_cast<int32_t>(monitors.size());
    if (monitor < 0 || n <= 1) return {primary.Width, primary.Height};
    if (monitor < n) return {monitors[static_cast<size_t>(monitor)].Width, monitors[static_cast<size_t>(monitor)].Height};
    if (monitor == n)
        return {monitors[0].Width + monitors[1].Width, std::max(monitors[0].Height, monitors[1].Height)};
    if (monitor == n + 1) return {desktop.Width, desktop.Height};
    // A stored number past the monitors there are now.
    return {primary.Width, primary.Height};
}

double TDefViewport::ProjectionAspect(double measured) const {
    if (WideScreen) return 16.0 / 9.0;
    if (Stretch) return measured;
    return 4.0 / 3.0;
}

void TDefViewport::Apply(TCustomGLApplication& app) {
    TCustomGLWindow* window = app.Window();
    if (!Enabled || !window || !app.Display()) return;
    Area = ViewArea(app.IsFullScreen(), window->Monitor, window->Width, window->Height, app.PrimaryScreenSize(),
                    app.Monitors(), app.VirtualDesktop());
    Aspect = Area.Height > 0 ? static_cast<double>(Area.Width) / Area.Height : 1.0;
    if (Aspect > 1.6) WideScreen = true;
    const double projection = ProjectionAspect(Aspect);

    Drawn = Area;
    const int32_t scale = ValidRenderScale(RenderScale);
    const TViewArea scaled{ScaledSide(Area.Width, scale), ScaledSide(Area.Height, scale)};
    TFrameScaler& scaler = app.OpenGL().FrameScaler();
    if (scale < 100 && Area.Width > 0 && Area.Height > 0 && scaler.Fits(scaled.Width, scaled.Height)) Drawn = scaled;

    if (!FViewport) FViewport = app.OpenGL().Viewports().Add();
    FViewport->SetViewport(0, 0, Drawn.Width, Drawn.Height);
    FViewport->SetPerspective(FOV, projection, NearDepth, FarDepth);
    FViewport->SetOrtho(0, window->Width, 0, window->Height, -1, 1);
    FViewport->Perspective = Perspective;
    FViewport->SetEye(Camera.Position.Vector());
    TOrientation orientation;
    orientation.first = Camera.Direction.Vector();
    orientation.second = Camera.Up.Vector();
    FViewport->SetOrientation(orientation);

    if (Cleared) {
        const uint32_t c = window->Color;
        gl.ClearColor(static_cast<float>(c & 0xFF) / 255.0f, static_cast<float>((c >> 8) & 0xFF) / 255.0f,
                      static_cast<float>((c >> 16) & 0xFF) / 255.0f, 1.0f);
        gl.Viewport(0, 0, window->Width, window->Height);
        gl.DepthMask(GL_TRUE);
        GLbitfield mask = 0;
        if (ClearMode & cmColor) mask |= GL_COLOR_BUFFER_BIT;
        if (ClearMode & cmDepth) mask |= GL_DEPTH_BUFFER_BIT;
        if (ClearMode & cmStencil) mask |= GL_STENCIL_BUFFER_BIT;
        if (ClearMode & cmAccum) mask |= GL_ACCUM_BUFFER_BIT;
        // A scaled frame clears only the corner it is drawn in: the stretch
        // covers the rest.
        if (Scaled()) {
            gl.Scissor(0, 0, Drawn.Width, Drawn.Height);
            gl.Enable(GL_SCISSOR_TEST);
        }
        gl.Clear(mask);
        if (Scaled()) gl.Disable(GL_SCISSOR_TEST);
    }
    FViewport->Apply();
}

// ---------------------------------------------------------------------------
// TCustomGLApplication

TCustomGLApplication::TCustomGLApplication(const platform::Services& services, const TGLPlatform& glPlatform)
    : TCustomGraphicApplicationPro(services),
      Platform(glPlatform),
      FViewport(std::make_unique<TDefViewport>()),
      FOpenGL(std::make_unique<TCustomAppOpenGL>(*this, glPlatform)) {}

TCustomGLApplication::~TCustomGLApplication() {
    FFramesStopped = true;
    if (IsFullScreen()) FDisplay->LeaveFullScreen();
    DetachDisplay();
    DetachWindow();
    FOpenGL.reset();
}

void TCustomGLApplication::DetachWindow() {
    if (!FWindow) return;
    FWindow->IsFullScreenHook = nullptr;
    FWindow->IsGLActiveHook = nullptr;
    FWindow->DCReadyHook = nullptr;
    FWindow->DestroyedHook = nullptr;
    FWindow->CloseRequestedHook = nullptr;
    FWindow->ResizedHook = nullptr;
    FWindow->MessageHook = nullptr;
    FWindow->Monitors = nullptr;
    FWindow->VirtualDesktop = nullptr;
    FWindow = nullptr;
}

void TCustomGLApplication::DetachDisplay() {
    if (!FDisplay) return;
    FDisplay->OnFilterMode = nullptr;
    FDisplay->OnBeforeChange = nullptr;
    FDisplay->OnAfterChange = nullptr;
    FDisplay = nullptr;
}

void TCustomGLApplication::SetWindow(TCustomGLWindow* window) {
    if (window == FWindow) return;
    if (FWindow) StopOpenGL();
    DetachWindow();
    FDC = 0;
    FWindow = window;
    if (!window) return;
    window->IsFullScreenHook = [this] { return IsFullScreen(); };
    window->IsGLActiveHook = [this] { return FOpenGL->Active(); };
    window->DCReadyHook = [this](platform::GLWindowHandle dc) { FDC = dc; };
    window->DestroyedHook = [this] {
        StopOpenGL();
        FDC = 0;
    };
    window->CloseRequestedHook = [this] { return LeaveFullScreen(); };
    window->ResizedHook = [this](int32_t w, int32_t h) { ResizeViewport(w, h); };
    window->MessageHook = [this](platform::WindowMessage& msg, bool& handled) { HandleMessage(msg, handled); };
    window->Monitors = &FMonitors;
    window->VirtualDesktop = &FDesktop;
    if (window->HandleAllocated()) FDC = window->Handle();
}

void TCustomGLApplication::SetDisplay(TCustomGLDisplay* display) {
    if (display == FDisplay) return;
    DetachDisplay();
    FDisplay = display;
    if (!display) return;
    display->OnFilterMode = [](TCustomDisplayControl*, int32_t depth, int32_t, int32_t height, bool& accept) {
        accept = depth >= 16 && height >= 480;
    };
    display->OnBeforeChange = [this](TCustomDisplayControl* d) {
        if (!d->FullScreen()) DisplayChanging();
    };
    display->OnAfterChange = [this](TCustomDisplayControl*) { DisplayChanged(); };
}

bool TCustomGLApplication::IsFullScreen() const { return FDisplay && FDisplay->FullScreen(); }

bool TCustomGLApplication::LeaveFullScreen() {
    const bool was = IsFullScreen();
    if (was) FDisplay->LeaveFullScreen();
    if (TerminateOnLeave) Application().Terminate();
    return was;
}

void TCustomGLApplication::ReleaseContextFromWindow() {
    if (FOpenGL->Active() && FWindow && FWindow->HandleAllocated()) FOpenGL->ReleaseContext();
}

void TCustomGLApplication::RefreshMonitors() {
    if (!Platform.Display) return;
    FMonitors = Platform.Display->Monitors();
    FDesktop = Platform.Display->VirtualDesktop();
}

void TCustomGLApplication::DisplayChanged() {
    RefreshMonitors();
    if (IsFullScreen()) {
        if (FWindow) FWindow->RecreateHandle();
        Application().ShowCursor(!HideCursor);
    } else {
        if (FWindow && !TerminateOnLeave && !Application().Terminated()) FWindow->RecreateHandle();
        Application().ShowCursor(true);
    }
}

void TCustomGLApplication::ReadDisplayOptions() {
    TSettingsView settings = FrameworkSettings();
    if (FDisplay) {
        FDisplay->DesktopOnly = settings.StoredBool(kDesktopOnlyValue, true);
        std::string text = settings.ReadString(kFullScreenModeValue, FDisplay->Desktop16Mode().ModeText());
        try {
            FDisplay->FullScreenMode().SetModeText(text);
        } catch (const EConvertError&) {
            // A damaged value keeps the mode there was.
        }
    }
    FDisplayOptionsLoaded = true;
}

void TCustomGLApplication::DisplayChanging() {
    if (!FDisplayOptionsLoaded) ReadDisplayOptions();
}

void TCustomGLApplication::StartOpenGL(platform::GLWindowHandle dc) {
    if (FOpenGL->Active()) return;
    FOpenGL->Activate(dc);
    if (!FOpenGL->Active()) return;
    gl.Enable(GL_DITHER);
    gl.AlphaFunc(GL_GREATER, 0);
    gl.BlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
    gl.ShadeModel(GL_SMOOTH);
    if (OnStartOpenGL) OnStartOpenGL(this);
    FGLStarted = true;
}

void TCustomGLApplication::StopOpenGL() {
    if (FOpenGL->Active()) {
        if (OnStopOpenGL) OnStopOpenGL(this);
        FOpenGL->Deactivate();
    }
    FGLStarted = FOpenGL->Active();
}

void TCustomGLApplication::ResizeViewport(int32_t width, int32_t height) {
    if (!FOpenGL->Active()) return;
    FOpenGL->ResizeDrawable(width, height);
    if (OnResizeViewport) OnResizeViewport(this, width, height);
}

void TCustomGLApplication::RenderStep(platform::GLWindowHandle dc, float deltaTime) {
    TPassTimer& timer = ThePassTimer();
    timer.BeginFrame();
    FViewport->Apply(*this);
    OnRender(this, deltaTime, false);
    if (FViewport->Scaled()) {
        timer.Begin("stretch to the window");
        FOpenGL->FrameScaler().Stretch(FViewport->Drawn.Width, FViewport->Drawn.Height, FViewport->Area.Width,
                                       FViewport->Area.Height);
    }
    ResetFloatingPointControl();
    timer.Begin("swap");
    FOpenGL->SwapBuffers(dc);
    timer.EndFrame();
}

void TCustomGLApplication::RenderFrame(platform::GLWindowHandle dc) {
    if (!OnRender || !FOpenGL->Active()) return;
    const long double now = Timer().Elapsed().Seconds();
    if (FPreviousFrameTime == 0) FPreviousFrameTime = now;
    const auto deltaTime = static_cast<float>(now - FPreviousFrameTime);
    FPreviousFrameTime = now;
    ResetFloatingPointControl();
    if (OnUpdate) OnUpdate(this, deltaTime);
    RenderStep(dc, deltaTime);
}

void TCustomGLApplication::Idle(bool& done) {
    if (FInIdle || FFramesStopped) return;
    IdleGuard guard(FInIdle);
    // Messages first: a paused program must still see close and Escape.
    if (FWindow) FWindow->ProcessMessages();
    if (State() == TApplicationState::Paused) {
        // Nothing to draw: the loop may wait for the next message.
        done = true;
        return;
    }
    TCustomGraphicApplicationPro::Idle(done);
    if (FFramesStopped) return;
    if (Active && !FGLStarted && FWindow && FDC) {
        Clock().Sleep(1);
        StartOpenGL(FDC);
        Clock().Sleep(1);
        ResizeViewport(FWindow->Width, FWindow->Height);
        Clock().Sleep(1);
    }
    if (Active && FWindow && FOpenGL->Active()) RenderFrame(FDC);
}

void TCustomGLApplication::Start() {
    if (Platform.Display) {
        const std::string reason = Platform.Display->UnavailableReason();
        if (!reason.empty()) {
            FDisplayUnavailable = true;
            Services.Messages->ShowError(Application().Title(), reason);
            Application().Terminate();
            return;
        }
    }
    if (FDisplay) {
        // The desktop's size at 16 bits is the default full-screen mode.
        const TScreenMode& desktop = FDisplay->CurrentDesktopMode();
        FDisplay->Desktop16Mode().Set(desktop.Width(), desktop.Height(), 16);
        if (FDisplay->DepthGroups().Count() == 0) FDisplay->BuildModeLists();
        if (FDisplay->DepthGroups().Count() == 0) {
            FDisplayUnavailable = true;
            Services.Messages->ShowError(
                Application().Title(),
                "Warning! In this video mode, hardware 3D acceleration was not detected! \r\nYou need to change "
                "Color Depth of your " + std::string(platform::kDesktopName) + " to High Color (16 bits) to run this program!");
            Application().Terminate();
            return;
        }
    }
    RefreshMonitors();
    TCustomGraphicApplicationPro::Start();
}

void TCustomGLApplication::Stop() {
    StopOpenGL();
    TCustomGraphicApplicationPro::Stop();
}

void TCustomGLApplication::HandleException(const std::exception& e) {
    if (IsFullScreen()) {
        ReleaseContextFromWindow();
        TerminateOnLeave = true;
        LeaveFullScreen();
    }
    TCustomGraphicApplicationPro::HandleException(e);
}

void TCustomGLApplication::HandleMessage(platform::WindowMessage& msg, bool& handled) {
    if (msg.Msg == platform::wm::KeyDown) Recording = false;
    if (msg.Msg == platform::wm::KeyUp && msg.WParam == platform::vk::Snapshot) {
        const bool control = Platform.Windows && Platform.Windows->KeyDown(platform::vk::Control);
        const bool shift = Platform.Windows && Platform.Windows->KeyDown(platform::vk::Shift);
        try {
            if (control) {
                if (OnSnapShot)
                    OnSnapShot(this);
                else
                    TakeScreenshot(AppName + ".jpg");
            } else if (shift) {
                RecordFilm(FilmSeconds, FilmFramesPerSecond, FilmFileName);
            }
        } catch (const std::exception& e) {
            // A picture that cannot be saved (a full disk) is reported; the
            // aquarium goes on. A box over the full screen would hide it.
            WriteLog(e.what());
            if (!IsFullScreen()) Services.Messages->ShowError(Application().Title(), e.what());
        }
        return;
    }
    TCustomGraphicApplicationPro::HandleMessage(msg, handled);
}

void TCustomGLApplication::PowerOff() {
    TCustomGraphicApplicationPro::PowerOff();
    FFramesStopped = true;
    StopOpenGL();
}

void TCustomGLApplication::PowerOn() {
    TCustomGraphicApplicationPro::PowerOn();
    CloseApplication();
}

std::string TCustomGLApplication::TakeScreenshot(const std::string& fileName) {
    if (!ScreenShotsEnabled || !FOpenGL->Active()) return {};
    TGLScreenShot& shot = FOpenGL->ScreenShot();
    shot.Capture(FOpenGL->Drawable() ? FOpenGL->Drawable() : FDC);
    return shot.SaveToFile(fileName, ScreenShotQuality);
}

void TCustomGLApplication::RecordFilm(int32_t seconds, int32_t framesPerSecond, const std::string& fileName) {
    if (!ScreenShotsEnabled || !FGLStarted || !FOpenGL->Active() || !FWindow) return;
    // Stored numbers: nothing to record without a positive rate.
    if (seconds <= 0 || framesPerSecond <= 0) return;
    FOpenGL->ScreenShot().CaptureCount = 0;
    Recording = true;
    // A frame that cannot be saved (a full disk) ends the film with its error.
    struct RecordingEnd {
        bool& Flag;
        ~RecordingEnd() { Flag = false; }
    } end{Recording};
    const float dt = 1.0f / static_cast<float>(framesPerSecond);
    const int64_t frames = static_cast<int64_t>(seconds) * framesPerSecond;
    for (int64_t i = 0; i < frames && Recording; ++i) {
        if (OnUpdate) OnUpdate(this, dt);
        if (OnRender) RenderStep(FDC, dt);
        TakeScreenshot(fileName);
        FWindow->ProcessMessages();
        if (!FOpenGL->Active() || !FWindow) break;
    }
}

void TCustomGLApplication::LoadOptions() {
    TSettingsView settings = FrameworkSettings();
    if (FWindow) {
        RefreshMonitors();
        FWindow->Monitor = FMonitors.size() > 1 ? settings.StoredInteger(kMonitorValue, FWindow->Monitor) : -1;
        if (FWindow->HandleAllocated()) FWindow->RecreateHandle();
    }
    ReadDisplayOptions();
    FOpenGL->WaitSync = settings.StoredBool(kWaitSyncValue, FOpenGL->WaitSync);
    if (settings.StoredBool(kRendererValue, false)) FOpenGL->SetRendererKind(rkDirectX);
    FilmFileName = settings.ReadString(kFilmNameValue, "Film.jpg");
    FilmSeconds = settings.StoredInteger(kFilmSecondsValue, 1);
    FilmFramesPerSecond = settings.StoredInteger(kFilmFPSValue, 25);
    ScreenShotsEnabled = settings.StoredBool(kScreenShotsValue, false);
    ScreenShotQuality = std::clamp(settings.StoredInteger(kScreenShotQualityValue, kDefaultJPEGQuality), 1, 100);
    FViewport->WideScreen = settings.StoredBool(kWideScreenValue, FViewport->WideScreen);
    FViewport->RenderScale = ValidRenderScale(settings.StoredInteger(kRenderScaleValue, FViewport->RenderScale));
    TCustomGraphicApplicationPro::LoadOptions();
}

void TCustomGLApplication::SaveOptions() {
    TSettingsView settings = FrameworkSettings();
    if (FDisplay) {
        settings.WriteBool(kDesktopOnlyValue, FDisplay->DesktopOnly);
        settings.WriteString(kFullScreenModeValue, FDisplay->FullScreenMode().ModeText());
    }
    if (FWindow) settings.WriteInteger(kMonitorValue, FWindow->Monitor);
    settings.WriteBool(kWaitSyncValue, FOpenGL->WaitSync);
    settings.WriteBool(kRendererValue, FOpenGL->RendererKind() == rkDirectX);
    settings.WriteString(kFilmNameValue, FilmFileName);
    settings.WriteInteger(kFilmSecondsValue, FilmSeconds);
    settings.WriteInteger(kFilmFPSValue, FilmFramesPerSecond);
    settings.WriteInteger(kScreenShotQualityValue, ScreenShotQuality);
    settings.WriteInteger(kRenderScaleValue, FViewport->RenderScale);
    TCustomGraphicApplicationPro::SaveOptions();
}
