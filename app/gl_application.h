// The framework level that owns the OpenGL context and drives it: the output
// window, the display it switches to full screen, the viewport with its
// camera, one frame per idle pass, screenshots and recorded frame sequences.
#pragma once

#include "app/application.h"
#include "platform/display.h"
#include "platform/gl_window.h"
#include "render/display_modes.h"
#include "render/opengl.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace platform {
class IGLLibrary;
}

class TCustomGLApplication;

// The GL side of the platform the application runs on.
struct TGLPlatform {
    platform::IGLLibrary* Library = nullptr;
    platform::IGLContextBinding* Binding = nullptr;
    platform::IGLWindowSystem* Windows = nullptr;
    platform::IDisplaySettings* Display = nullptr;
};
TGLPlatform SystemGLPlatform();

class TCustomAppOpenGL : public TCustomOpenGL {
public:
    TCustomAppOpenGL(TCustomGLApplication& application, const TGLPlatform& platform);
    // A different kind while active restarts GL on the new library.
    void SetRendererKind(TRendererKind kind) override;

    TCustomGLApplication* Application;
};

// The display switching between windowed and full screen.
class TCustomGLDisplay : public TCustomDisplayControl {
public:
    explicit TCustomGLDisplay(platform::IDisplaySettings& display, platform::IApplicationHooks* cursor = nullptr)
        : TCustomDisplayControl(display, cursor) {
        EnumOnLoad = true;
    }
};

// The output window. On X11 its device context is the window itself.
class TCustomGLWindow {
public:
    explicit TCustomGLWindow(platform::IGLWindowSystem& windows) : Windows(&windows) {}
    virtual ~TCustomGLWindow();
    TCustomGLWindow(const TCustomGLWindow&) = delete;
    TCustomGLWindow& operator=(const TCustomGLWindow&) = delete;

    platform::GLWindowHandle Handle() const { return FHandle; }
    bool HandleAllocated() const { return FHandle != 0; }
    void CreateHandle();
    void DestroyHandle();
    void RecreateHandle();
    // Where and how the window is made now.
    platform::GLWindowParams CreateParams() const;

    // Hands pending events of this window to WindowProc.
    void ProcessMessages();
    // Answers one message; result in msg.Result, false for default handling.
    virtual bool WindowProc(platform::WindowMessage& msg);

    int32_t Width = 640;
    int32_t Height = 480;
    uint32_t Color = 0;  // 0x00BBGGRR
    std::string Title;   // the program's title, for the desktop's task list
    // -1 the primary monitor, 0..n-1 one monitor, n "Dual View", n + 1 "Virtual Desktop".
    int32_t Monitor = -1;
    // The window it fills (a dialog panel, or the preview's foreign window).
    platform::GLWindowHandle ParentWindow = 0;
    // Monitors and desktop for the full-screen bounds (set by the application).
    const std::vector<platform::MonitorInfo>* Monitors = nullptr;
    const platform::MonitorInfo* VirtualDesktop = nullptr;

    // Set by the application when the window is attached.
    std::function<bool()> IsFullScreenHook;
    std::function<bool()> IsGLActiveHook;
    std::function<void(platform::GLWindowHandle dc)> DCReadyHook;
    std::function<void()> DestroyedHook;
    std::function<bool()> CloseRequestedHook;
    std::function<void(int32_t width, int32_t height)> ResizedHook;
    // Every message of the window before it is answered (key handling).
    std::function<void(platform::WindowMessage& msg, bool& handled)> MessageHook;

private:
    void Destroyed();

    platform::IGLWindowSystem* Windows;
    platform::GLWindowHandle FHandle = 0;
};

using TGLDisplay = TCustomGLDisplay;

// The window with the control's usual input and resize events.
class TGLWindow : public TCustomGLWindow {
public:
    enum TMouseButton : uint8_t { mbLeft, mbRight, mbMiddle };
    using TNotifyEvent = std::function<void(TGLWindow* sender)>;
    using TKeyEvent = std::function<void(TGLWindow* sender, uintptr_t& key)>;
    using TMouseEvent = std::function<void(TGLWindow* sender, TMouseButton button, int32_t x, int32_t y)>;
    using TMouseMoveEvent = std::function<void(TGLWindow* sender, int32_t x, int32_t y)>;

    using TCustomGLWindow::TCustomGLWindow;
    bool WindowProc(platform::WindowMessage& msg) override;

    TKeyEvent OnKeyDown, OnKeyUp;
    TMouseEvent OnMouseDown;
    TMouseMoveEvent OnMouseMove;
    TNotifyEvent OnResize;
};

struct TOpenGLVector {
    float X = 0, Y = 0, Z = 0;
    TVector3f Vector() const { return {X, Y, Z}; }
};

class TOpenGLCamera {
public:
    TOpenGLVector Position{0, 0, -0.00005f};
    TOpenGLVector Direction{0, 0, -1};
    TOpenGLVector Up{0, 1, 0};
};

enum TClearModeValue : uint8_t { cmColor = 1, cmDepth = 2, cmStencil = 4, cmAccum = 8 };
using TClearMode = uint8_t;

struct TViewArea {
    int32_t Width = 0;
    int32_t Height = 0;
};

// The area the view covers: the window, or in full screen the screen, one
// monitor, two side by side, or the whole desktop.
TViewArea ViewArea(bool fullScreen, int32_t monitor, int32_t windowWidth, int32_t windowHeight,
                   platform::Size primary, const std::vector<platform::MonitorInfo>& monitors,
                   const platform::MonitorInfo& desktop);

class TDefViewport {
public:
    // Projection, camera and clearing for this frame; nothing when disabled
    // or when the application lacks a window or a display.
    void Apply(TCustomGLApplication& application);
    // 16:9 when WideScreen, the measured aspect when Stretch, else 4:3.
    double ProjectionAspect(double measured) const;

    TClearMode ClearMode = cmColor | cmDepth;
    TOpenGLCamera Camera;
    double FOV = 75;
    double NearDepth = 100;
    double FarDepth = 10000;
    bool Perspective = true;
    bool Enabled = true;
    bool Cleared = true;
    bool Stretch = false;
    bool WideScreen = false;

    // The share of each side the scene is drawn at (100 or 50 percent),
    // stretched over the whole area afterwards.
    int32_t RenderScale = 100;

    // The last area applied and its aspect.
    TViewArea Area;
    double Aspect = 0;
    // The corner the scene was drawn in: the area itself unless scaled.
    TViewArea Drawn;
    bool Scaled() const { return Drawn.Width != Area.Width || Drawn.Height != Area.Height; }
    TGLViewport* GLViewport() const { return FViewport; }

private:
    TGLViewport* FViewport = nullptr;
};

class TCustomGLApplication : public TCustomGraphicApplicationPro {
public:
    using TViewportEvent = std::function<void(TCustomGLApplication* sender, int32_t width, int32_t height)>;
    using TRenderEvent = std::function<void(TCustomGLApplication* sender, float deltaTime, bool select)>;
    using TUpdateEvent = std::function<void(TCustomGLApplication* sender, float deltaTime)>;

    explicit TCustomGLApplication(const platform::Services& services = platform::SystemServices(),
                                  const TGLPlatform& glPlatform = SystemGLPlatform());
    ~TCustomGLApplication() override;

    // Attaching sets the hooks; the previous one loses them.
    void SetDisplay(TCustomGLDisplay* display);
    void SetWindow(TCustomGLWindow* window);
    TCustomGLDisplay* Display() const { return FDisplay; }
    TCustomGLWindow* Window() const { return FWindow; }
    TDefViewport& Viewport() { return *FViewport; }
    TCustomAppOpenGL& OpenGL() { return *FOpenGL; }
    platform::GLWindowHandle DC() const { return FDC; }
    bool GLStarted() const { return FGLStarted; }
    bool InIdle() const { return FInIdle; }

    // --- virtual operations ---
    virtual void DisplayChanged();
    virtual void DisplayChanging();
    virtual void StartOpenGL(platform::GLWindowHandle dc);
    virtual void StopOpenGL();
    virtual void RenderFrame(platform::GLWindowHandle dc);
    virtual void ResizeViewport(int32_t width, int32_t height);

    void Start() override;
    void Stop() override;
    void HandleException(const std::exception& e) override;
    void HandleMessage(platform::WindowMessage& msg, bool& handled) override;
    void Idle(bool& done) override;
    void PowerOff() override;
    void PowerOn() override;
    void LoadOptions() override;
    void SaveOptions() override;

    bool IsFullScreen() const;
    bool LeaveFullScreen();
    void ReleaseContextFromWindow();
    // The name written, empty when nothing was.
    std::string TakeScreenshot(const std::string& fileName);
    void RecordFilm(int32_t seconds, int32_t framesPerSecond, const std::string& fileName);
    // Monitors and desktop as they are now.
    void RefreshMonitors();
    const std::vector<platform::MonitorInfo>& Monitors() const { return FMonitors; }
    const platform::MonitorInfo& VirtualDesktop() const { return FDesktop; }
    platform::Size PrimaryScreenSize() const { return Application().PrimaryScreenSize(); }

    bool Active = true;
    bool TerminateOnLeave = false;
    int32_t FilmSeconds = 1;
    int32_t FilmFramesPerSecond = 25;
    std::string FilmFileName = "Film.jpg";
    int32_t ScreenShotQuality = 100;
    bool ScreenShotsEnabled = false;
    bool Recording = false;
    bool DisplayOptionsLoaded() const { return FDisplayOptionsLoaded; }
    // Start found no display fit for GL output and ended the run.
    bool DisplayUnavailable() const { return FDisplayUnavailable; }

    // The GL library, binding, window system and display this runs on.
    const TGLPlatform& GLPlatform() const { return Platform; }

    TNotifyEvent OnStartOpenGL, OnStopOpenGL, OnSnapShot;
    TViewportEvent OnResizeViewport;
    TRenderEvent OnRender;
    TUpdateEvent OnUpdate;

private:
    void RenderStep(platform::GLWindowHandle dc, float deltaTime);
    void ReadDisplayOptions();
    void DetachWindow();
    void DetachDisplay();

    TGLPlatform Platform;
    TCustomGLDisplay* FDisplay = nullptr;
    TCustomGLWindow* FWindow = nullptr;
    std::unique_ptr<TDefViewport> FViewport;
    platform::GLWindowHandle FDC = 0;
    bool FGLStarted = false;
    bool FInIdle = false;
    bool FFramesStopped = false;  // powered off: no more frames
    long double FPreviousFrameTime = 0;
    std::unique_ptr<TCustomAppOpenGL> FOpenGL;
    bool FDisplayOptionsLoaded = false;
    bool FDisplayUnavailable = false;
    std::vector<platform::MonitorInfo> FMonitors;
    platform::MonitorInfo FDesktop;
};
