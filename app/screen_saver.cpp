#include "app/screen_saver.h"

#include "app/execute_pro.h"
#include "app/startup.h"
#include "core/errors.h"
#include "core/strutil.h"
#include "scene/objects.h"
#include "world/underwater_world.h"

#include <cctype>
#include <cstdlib>
#include <filesystem>

const float PowerDelays[kPowerDelayCount] = {-1,   60,   120,  180,  300,  600,  900,   1200,
                                             1500, 1800, 2700, 3600, 7200, 10800, 14400, 18000};
const char* const PowerDelayLabels[kPowerDelayCount] = {
    "None",    "1 min.",  "2 min.",  "3 min.", "5 min.", "10 min.", "15 min.", "20 min.",
    "25 min.", "30 min.", "45 min.", "1 hour", "2 hour", "3 hour",  "4 hour",  "5 hour"};

namespace {

// The host's own values, kept under scrambled names.
constexpr const char* kMouseMoveExitValue = "MouseMoveExit";
constexpr const char* kRunAsProgramValue = "RunAsProgram";
constexpr const char* kPowerOffValue = "PowerOffIndex";
constexpr const char* kMonitorOffValue = "MonitorOffIndex";
// The framework's own value: where the companion program file lives.
constexpr const char* kDataPathValue = "DataPath";

constexpr const char* kHelpPage = "Help.html";
// Where an installed copy keeps its documents, from the program's folder
// ("../share/doc/marivelle/"); the install rules that put it there say so.
constexpr const char* kInstalledHelpFolder = MARIVELLE_HELP_FROM_PROGRAM;

// The system's password change: provider, parent window, two zeros; and its
// check: the window to own the dialog, true when the saver may end. (One
// calling convention on x86-64, so no system header is needed to call them.)
using TPwdChangePassword = uint32_t (*)(const char* provider, uintptr_t parent, uint32_t, uint32_t);
using TVerifyScreenSavePwd = int32_t (*)(uintptr_t window);

// Where the system keeps the person's choice of a saver password.
constexpr const char* kDesktopKey = "Control Panel\\desktop";
constexpr const char* kUsePasswordValue = "ScreenSaveUsePassword";

// The configuration role leaves the dialog room on every pass.
constexpr uint32_t kConfigSleepMs = 4;

int32_t ClampIndex(int32_t index) { return index < 0 || index >= kPowerDelayCount ? 0 : index; }

bool IsDecimal(std::string_view text) {
    if (text.empty()) return false;
    size_t start = text[0] == '-' || text[0] == '+' ? 1 : 0;
    if (start == text.size()) return false;
    for (size_t i = start; i < text.size(); ++i)
        if (text[i] < '0' || text[i] > '9') return false;
    return true;
}

uintptr_t DecimalHandle(std::string_view text) {
    if (!IsDecimal(text)) throw EConvertError("'" + std::string(text) + "' is not a valid integer value");
    return static_cast<uintptr_t>(std::strtoull(std::string(text).c_str(), nullptr, 10));
}

}  // namespace

// ---------------------------------------------------------------- command line

bool HasSwitch(const std::vector<std::string>& args, char letter) {
    const char wanted = static_cast<char>(std::toupper(static_cast<unsigned char>(letter)));
    for (const std::string& arg : args) {
        if (arg.size() < 2 || (arg[0] != '-' && arg[0] != '/')) continue;
        const std::string upper = str::UpperCase(arg);
        if (upper.find(wanted) == 1) return true;
    }
    return false;
}

TSaverRole RoleFromArguments(const std::vector<std::string>& args, std::string_view ext) {
    if (ext == ".EXE" && args.empty()) return srProgram;
    if (args.empty() || HasSwitch(args, 'C')) return srConfig;
    if (HasSwitch(args, 'A')) return srPassword;
    if (HasSwitch(args, 'P') || HasSwitch(args, 'L')) return srPreview;
    if (HasSwitch(args, 'S')) return srSaver;
    return srProgram;
}

uintptr_t ParentHandleFromArguments(const std::vector<std::string>& args, uintptr_t foreground) {
    if (args.size() >= 2) return DecimalHandle(args[1]);
    if (!args.empty()) {
        const size_t colon = args[0].find(':');
        if (colon != std::string::npos) return DecimalHandle(std::string_view(args[0]).substr(colon + 1, 20));
    }
    return foreground;
}

// ---------------------------------------------------------------- scene host

std::string TProgramSceneHost::ReadString(const std::string& name, const std::string& defaultValue) {
    return App->SceneSettings().ReadString(name, defaultValue);
}

bool TProgramSceneHost::ReadBool(const std::string& name, bool defaultValue) {
    try {
        return App->SceneSettings().ReadBool(name, defaultValue);
    } catch (const EConvertError&) {
        return defaultValue;
    }
}

int32_t TProgramSceneHost::ReadInteger(const std::string& name, int32_t defaultValue) {
    try {
        return App->SceneSettings().ReadInteger(name, defaultValue);
    } catch (const EConvertError&) {
        return defaultValue;
    }
}

void TProgramSceneHost::WriteString(const std::string& name, const std::string& value) {
    App->SceneSettings().WriteString(name, value);
}

void TProgramSceneHost::WriteBool(const std::string& name, bool value) { App->SceneSettings().WriteBool(name, value); }

void TProgramSceneHost::WriteInteger(const std::string& name, int32_t value) {
    App->SceneSettings().WriteInteger(name, value);
}

TCustomOpenGL* TProgramSceneHost::OpenGL() { return &App->OpenGL(); }

TSceneView TProgramSceneHost::View() {
    const TDefViewport& viewport = App->Viewport();
    TSceneView view;
    view.CameraPosition = viewport.Camera.Position.Vector();
    view.FOV = viewport.FOV;
    view.NearDepth = viewport.NearDepth;
    view.FarDepth = viewport.FarDepth;
    // The aspect the viewport applies, worked out the same way, so that it
    // is right before the first frame too.
    double measured = 4.0 / 3.0;
    if (const TCustomGLWindow* window = App->Window()) {
        view.WindowWidth = window->Width;
        view.WindowHeight = window->Height;
        const TViewArea area = ViewArea(App->IsFullScreen(), window->Monitor, window->Width, window->Height,
                                        App->PrimaryScreenSize(), App->Monitors(), App->VirtualDesktop());
        measured = area.Height > 0 ? static_cast<double>(area.Width) / area.Height : 1.0;
    }
    view.WideScreen = viewport.WideScreen || measured > 1.6;
    view.Aspect = view.WideScreen ? 16.0 / 9.0 : viewport.ProjectionAspect(measured);
    return view;
}

// ---------------------------------------------------------------- the host

TGLScreenSaver::TGLScreenSaver(const std::vector<std::string>& args, std::string_view ext,
                               const platform::Services& services, const TGLPlatform& glPlatform)
    : TCustomGLApplication(services, glPlatform), FSceneHost(*this) {
    if (!glPlatform.Display || !glPlatform.Windows)
        throw Exception("TGLScreenSaver.Create error: no display or window system");
    Title = "3D Marivelle";
    Company = "Tarnwick Software";
    MajorVersion = "4";
    MinorVersion = "0";
    HideCursor = true;

    // The view the aquarium is composed for: the water's backdrop covers the
    // whole picture, so only depth is cleared.
    TDefViewport& viewport = Viewport();
    viewport.ClearMode = cmDepth;
    viewport.FOV = 75;
    viewport.NearDepth = 100;
    viewport.FarDepth = 11000;
    viewport.Perspective = true;
    viewport.Enabled = true;
    viewport.Cleared = true;
    viewport.Stretch = true;
    viewport.WideScreen = false;

    FGLDisplay = std::make_unique<TGLDisplay>(*glPlatform.Display, services.Application);
    FGLDisplay->DesktopOnly = false;
    FGLWindow = std::make_unique<TGLWindow>(*glPlatform.Windows);
    FGLWindow->Title = Title;
    FGLWindow->Width = 1280;
    FGLWindow->Height = 720;
    SetDisplay(FGLDisplay.get());
    SetWindow(FGLWindow.get());

    OnStart = [this](TCustomApplicationPro*) { StartScene(); };
    OnStop = [this](TCustomApplicationPro*) { StopScene(); };
    OnLoadOptions = [this](TCustomApplicationPro*) { LoadSceneOptions(); };
    OnSaveOptions = [this](TCustomApplicationPro*) { SaveSceneOptions(); };
    OnFPSChanged = [this](TCustomApplicationPro*) {
        if (FScene) FScene->UpdateFps(FPS());
    };
    OnStartOpenGL = [this](TCustomApplicationPro*) { ReapplySchoolVisibility(); };
    OnRender = [this](TCustomGLApplication*, float deltaTime, bool) { RenderScene(deltaTime); };

    FExt = std::string(ext);
    FArguments = args;
    FRole = RoleFromArguments(args, ext);
    FParentHandle = ParentHandleFromArguments(args, glPlatform.Windows->ForegroundWindow());
    if (FRole == srPassword) {
        Application().SetShowMainForm(false);
        ChangePassword();
        CloseApplication();
    }
}

TGLScreenSaver::~TGLScreenSaver() {
    // The scene goes while the GL context object it drew with still exists.
    try {
        Stop();
    } catch (...) {
    }
    StopScene();
    if (IsFullScreen()) FGLDisplay->LeaveFullScreen();
    if (FSaverRunningSet) Services.Power->SetScreenSaverRunning(false);
    if (FParentDisabled) GLPlatform().Windows->EnableWindow(FParentHandle, true);
    SetCursorVisible(true);
    SetWindow(nullptr);
    SetDisplay(nullptr);
    FreeSystemLibrary();
}

void TGLScreenSaver::Initialize() {
    RunAsProgram = FrameworkSettings().StoredBool(kRunAsProgramValue, false);
    // One program or saver at a time; previews, settings and a daemon's hacks
    // (one per screen) run beside them.
    SingleInstance = FRole == srProgram || (FRole == srSaver && !RunAsProgram && !DaemonWindow);
    TCustomGLApplication::Initialize();
    if (Application().Terminated()) return;
    // A saver file that hands its run to the program file beside it.
    if (FExt == ".SCR" && RunAsProgram) {
        DataPath = FrameworkSettings().ReadString(kDataPathValue, DataPath);
        StartAsProgram();
        return;
    }
    // A program or a saver of our own keeps the desktop's saver away; inside
    // a daemon's window or a preview that is the daemon's business.
    SetNeedDisplay((FRole == srProgram || FRole == srSaver) && !DaemonWindow);
    if ((FRole == srProgram || FRole == srSaver) && !DaemonWindow) {
        Services.Power->SetScreenSaverRunning(true);
        FSaverRunningSet = true;
    }
    switch (FRole) {
        case srSaver:
            HideMainForm();
            TerminateOnLeave = true;
            if (DaemonWindow && FParentHandle) {
                FGLWindow->ParentWindow = FParentHandle;
            } else {
                // Without a daemon's window we cover the screen ourselves.
                if (!DaemonWindow) SetCursorVisible(false);
                FGLDisplay->SetFullScreen(true);
            }
            break;
        case srPreview:
            HideApplicationWindows();
            HideMainForm();
            TerminateOnLeave = true;
            FGLWindow->ParentWindow = FParentHandle;
            break;
        case srConfig:
            HideApplicationWindows();
            // The display settings wait for the dialog, as for a modal one.
            if (FParentHandle) {
                GLPlatform().Windows->EnableWindow(FParentHandle, false);
                FParentDisabled = true;
            }
            break;
        case srProgram:
        case srPassword: break;
    }
    if (FRole != srProgram) ResetMouseTracking();
}

void TGLScreenSaver::HideMainForm() {
    // The toolkit's main form is never seen in these roles.
    Application().HideMainForm();
}

void TGLScreenSaver::StartAsProgram() {
    HideMainForm();
    TExecutePro launcher(*this, *Services.Processes, Clock());
    launcher.WindowStyle = ewShow;
    launcher.Wait = true;
    launcher.Mode = emProcess;
    launcher.DefaultDirectory = DataPath;
    // The companion draws; we only wait for it.
    Services.Processes->SetOwnPriority(platform::priority::Idle);
    std::string commandLine = DataPath + AppName + ".EXE ";
    for (size_t i = 0; i < FArguments.size(); ++i) commandLine += (i ? " " : "") + FArguments[i];
    try {
        launcher.SetCommandLine(commandLine);
        launcher.Execute();
    } catch (const std::exception&) {
        throw Exception("TGLScreenSaver.StartAsProgram error: run " + DataPath + AppName + ".EXE " +
                        (FArguments.empty() ? std::string() : FArguments[0]));
    }
    CloseApplication();
}

std::string TGLScreenSaver::HelpFileName() const {
    namespace fs = std::filesystem;
    for (const std::string& folder : {DataPath, AppPath + kInstalledHelpFolder}) {
        if (folder.empty()) continue;
        std::error_code error;
        const fs::path page = fs::path(folder + kHelpPage).lexically_normal();
        if (fs::is_regular_file(page, error)) return page.string();
    }
    return {};
}

bool TGLScreenSaver::ShowHelp() {
    const std::string page = HelpFileName();
    if (page.empty()) {
        Services.Messages->ShowError(Title, "The help page " + std::string(kHelpPage) + " is in neither " + DataPath +
                                                " nor " + AppPath + kInstalledHelpFolder + ".");
        return false;
    }
    std::string why;
    if (!Services.Processes->OpenDocument(page, why)) {
        Services.Messages->ShowError(Title, "The help page " + page + " could not be opened: " + why);
        return false;
    }
    return true;
}

void* TGLScreenSaver::LoadSystemEntry(const std::string& libraryFile, const std::string& entryName) {
    FreeSystemLibrary();
    // The password role asks before the framework has set SystemPath.
    const std::string folder = SystemPath.empty() ? Services.Paths->SystemPath() + platform::PathDelimiter : SystemPath;
    FSystemLibrary = Services.Processes->LoadLibrary(folder + libraryFile);
    return FSystemLibrary ? Services.Processes->LibraryEntry(FSystemLibrary, entryName) : nullptr;
}

void TGLScreenSaver::FreeSystemLibrary() {
    if (!FSystemLibrary) return;
    Services.Processes->FreeLibrary(FSystemLibrary);
    FSystemLibrary = 0;
}

bool TGLScreenSaver::ChangePassword() {
    // Linux has no such library: the desktop's screen locker owns passwords.
    auto change = reinterpret_cast<TPwdChangePassword>(LoadSystemEntry("MPR.DLL", "PwdChangePasswordA"));
    FPasswordChangeFound = change != nullptr;
    if (change) change("SCRSAVE", FParentHandle, 0, 0);
    FreeSystemLibrary();
    return FPasswordChangeFound;
}

bool TGLScreenSaver::PasswordInUse() const {
    auto key = Services.Settings->Open(platform::SettingsRoot::User, kDesktopKey, platform::SettingsAccess::ReadOnly);
    if (!key) return false;
    const platform::ISettingsKey::ReadResult read = key->Read(kUsePasswordValue);
    if (read.Failed || !read.Value) return false;
    const std::string text(str::Trim(*read.Value));
    return IsDecimal(text) && std::strtoll(text.c_str(), nullptr, 10) != 0;
}

bool TGLScreenSaver::VerifyPassword() {
    auto verify = reinterpret_cast<TVerifyScreenSavePwd>(LoadSystemEntry("PASSWORD.CPL", "VerifyScreenSavePwd"));
    // Without the system's check there is nothing to keep the person out.
    bool mayEnd = true;
    if (verify) {
        SetCursorVisible(true);
        mayEnd = verify(GLPlatform().Windows->ForegroundWindow()) != 0;
        SetCursorVisible(false);
    }
    FreeSystemLibrary();
    return mayEnd;
}

void TGLScreenSaver::ResetMouseTracking() { FExitRules.Reset(); }

void TGLScreenSaver::HandleMessage(platform::WindowMessage& msg, bool& handled) {
    // The window is gone (closed, or its foreign parent destroyed): there is
    // nothing left to draw into.
    if (msg.Msg == platform::wm::Destroy || (msg.Msg == platform::wm::Close && !IsFullScreen())) {
        Application().Terminate();
        TCustomGLApplication::HandleMessage(msg, handled);
        return;
    }
    if (!IsFullScreen() || DaemonWindow) {
        // A window of its own: Escape leaves the program role.
        if (FRole == srProgram && msg.Msg == platform::wm::KeyDown && msg.WParam == platform::vk::Escape)
            Application().Terminate();
        TCustomGLApplication::HandleMessage(msg, handled);
        return;
    }
    bool exit = false;
    try {
        exit = FExitRules.IsExitMessage(msg, MouseMoveExit);
        if (!exit) {
            TCustomGLApplication::HandleMessage(msg, handled);
            return;
        }
        handled = true;
        if (FRole == srSaver && PasswordInUse()) {
            ReleaseContextFromWindow();
            SetCursorVisible(true);
            const bool verified = VerifyPassword();
            SetCursorVisible(false);
            if (!verified) {
                ResetMouseTracking();
                return;
            }
        }
        LeaveFullScreen();
        if (FRole == srSaver) CloseApplication();
    } catch (...) {
        // Swallowed, but never with the cursor hidden or the mode switched.
        if (exit && FRole == srSaver) {
            try {
                if (IsFullScreen()) FGLDisplay->LeaveFullScreen();
            } catch (...) {
            }
            SetCursorVisible(true);
            Application().Terminate();
        }
    }
}

void TGLScreenSaver::Idle(bool& done) {
    TCustomGLApplication::Idle(done);
    if (Services.Power->TakeSleepNotice()) EventWindowProc(platform::wm::PowerBroadcast, platform::pbt::Suspend);
    // The system asks before it sleeps; the answer is the event window's.
    Services.Power->AllowSleepQueries(
        EventWindowProc(platform::wm::PowerBroadcast, platform::pbt::QuerySuspend).CallDefault);
    if (State() == TApplicationState::Paused) return;
    if (FRole == srConfig) Clock().Sleep(kConfigSleepMs);
    if (FRole != srSaver) return;
    const long double seconds = Timer().Elapsed().Seconds();
    if (FPowerOffTime > 0 && seconds > FPowerOffTime) PowerOffNow();
    if (FMonitorOffTime > 0 && seconds > FMonitorOffTime) MonitorOffNow();
}

void TGLScreenSaver::SetPowerOffIndex(int32_t index) {
    FPowerOffIndex = ClampIndex(index);
    FPowerOffTime = PowerDelays[FPowerOffIndex];
    SuspendEnabled = FPowerOffIndex != 0;
}

void TGLScreenSaver::SetMonitorOffIndex(int32_t index) {
    FMonitorOffIndex = ClampIndex(index);
    FMonitorOffTime = PowerDelays[FMonitorOffIndex];
}

void TGLScreenSaver::PowerOffNow() {
    FPowerOffTime = -1;
    SuspendEnabled = true;
    Services.Power->SuspendSystem();  // a refusal changes nothing here
}

void TGLScreenSaver::MonitorOffNow() {
    FMonitorOffTime = -1;
    // From now on frames only clear the screen to black.
    FMonitorOff = true;
    Viewport().ClearMode = cmColor;
    FGLWindow->Color = 0;
    if (OnPowerOff) OnPowerOff(this);
    Services.Power->MonitorOff();
}

void TGLScreenSaver::PowerOff() {
    SuspendEnabled = false;
    StopOpenGL();
    LeaveFullScreen();
    CloseApplication();
}

void TGLScreenSaver::LoadOptions() {
    TSettingsView settings = FrameworkSettings();
    MouseMoveExit = settings.StoredBool(kMouseMoveExitValue, MouseMoveExit);
    RunAsProgram = settings.StoredBool(kRunAsProgramValue, false);
    SetPowerOffIndex(settings.StoredInteger(kPowerOffValue, FPowerOffIndex));
    SetMonitorOffIndex(settings.StoredInteger(kMonitorOffValue, FMonitorOffIndex));
    TCustomGLApplication::LoadOptions();
}

void TGLScreenSaver::SaveOptions() {
    TSettingsView settings = FrameworkSettings();
    settings.WriteBool(kMouseMoveExitValue, MouseMoveExit);
    settings.WriteBool(kRunAsProgramValue, RunAsProgram);
    settings.WriteInteger(kPowerOffValue, FPowerOffIndex);
    settings.WriteInteger(kMonitorOffValue, FMonitorOffIndex);
    TCustomGLApplication::SaveOptions();
}

// ---------------------------------------------------------------- the scene

void TGLScreenSaver::StartScene() {
    FScene = LoadMainScene(AppPath, &FSceneHost);
    FWorld = std::make_unique<TUnderWaterWorld>();
    FWorld->FApp = &FSceneHost;
    FWorld->FScene = FScene.get();
    // Loads the scene's and the world's settings too, and the world applies
    // them to the scene.
    LoadOptions();
    SceneStarted();
    // Opened after the options, which would otherwise recreate it at once.
    if (!FGLWindow->HandleAllocated()) FGLWindow->CreateHandle();
    if (!FGLWindow->HandleAllocated())
        throw Exception("TGLScreenSaver.StartScene error: the window could not be opened");
}

void TGLScreenSaver::StopScene() {
    // The world goes first; it refers to the scene's objects.
    FWorld.reset();
    FScene.reset();
}

void TGLScreenSaver::LoadSceneOptions() {
    if (FScene) FScene->LoadSettings();
    if (FWorld) FWorld->LoadSettings();
}

void TGLScreenSaver::SaveSceneOptions() {
    if (FScene) FScene->SaveSettings();
    if (FWorld) FWorld->SaveSettings();
}

void TGLScreenSaver::ReapplySchoolVisibility() {
    if (!FWorld) return;
    // Hiding and showing each school shares the fish out again now that GL
    // runs.
    const std::vector<std::string> names = FWorld->SchoolNames;
    for (const std::string& name : names) {
        const bool visible = FWorld->IsSchoolVisible(name);
        FWorld->SetSchoolVisible(name, false);
        FWorld->SetSchoolVisible(name, visible);
    }
}

int32_t TGLScreenSaver::ScreenCount() const {
    const auto monitors = static_cast<int32_t>(Monitors().size());
    return monitors > 1 && IsFullScreen() && FGLWindow->Monitor == monitors ? 2 : 1;
}

void TGLScreenSaver::RenderScene(float deltaTime) {
    if (!FScene || FMonitorOff) return;
    if (FWorld) FWorld->SetScreenCount(ScreenCount());
    FScene->Frame(deltaTime);
    FrameDrawn();
}
