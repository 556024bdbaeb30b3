#include "app/program.h"

#include "app/startup.h"
#include "core/errors.h"
#include "scene/objects.h"
#include "core/strutil.h"
#include "world/underwater_world.h"

#include <charconv>
#include <cstdint>
#include <string>

namespace {

// A whole number of decimal digits from 1 to `max`; nothing else.
bool ParseCount(std::string_view text, int64_t max, int64_t& value) {
    if (text.empty() || text.size() > 19) return false;
    for (char c : text)
        if (c < '0' || c > '9') return false;
    int64_t v = 0;
    auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), v);
    if (ec != std::errc() || end != text.data() + text.size() || v < 1 || v > max) return false;
    value = v;
    return true;
}

bool ParseSize(std::string_view text, int32_t& width, int32_t& height) {
    const size_t x = text.find_first_of("xX");
    if (x == std::string_view::npos) return false;
    int64_t w = 0, h = 0;
    if (!ParseCount(text.substr(0, x), MaxWindowSide, w) || !ParseCount(text.substr(x + 1), MaxWindowSide, h))
        return false;
    width = static_cast<int32_t>(w);
    height = static_cast<int32_t>(h);
    return true;
}

// The film is written as JPEG unless the name already asks for a picture
// format the screenshots know.
std::string FilmFileName(const std::string& name) {
    std::string_view file = str::ExtractFileName(name);
    const size_t dot = file.rfind('.');
    if (dot != std::string_view::npos && dot > 0) {
        const std::string ext = str::LowerCase(file.substr(dot));
        if (ext == ".jpg" || ext == ".jpeg" || ext == ".bmp") return name;
    }
    return name + ".jpg";
}

}  // namespace

// ---------------------------------------------------------------------------
// Command line

TProgramOptions ParseProgramOptions(const std::vector<std::string>& args) {
    TProgramOptions o;
    auto fail = [&o](std::string why) {
        o.Error = std::move(why);
        return o;
    };
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        const size_t left = args.size() - i - 1;
        if (a == "--help" || a == "-h") {
            o.Help = true;
        } else if (a == "--fps") {
            o.ShowFPS = true;
        } else if (a == "--size") {
            if (left < 1 || !ParseSize(args[i + 1], o.Width, o.Height))
                return fail("--size needs WIDTHxHEIGHT, each from 1 to " + std::to_string(MaxWindowSide) +
                            " (e.g. --size 1280x720)");
            ++i;
        } else if (a == "--frames") {
            if (left < 1 || !ParseCount(args[i + 1], INT64_MAX, o.Frames))
                return fail("--frames needs a number of frames of at least 1");
            ++i;
        } else if (a == "--record-film") {
            int64_t seconds = 0, fps = 0;
            if (left < 3) return fail("--record-film needs SECONDS FPS NAME");
            if (!ParseCount(args[i + 1], MaxFilmSeconds, seconds))
                return fail("--record-film: SECONDS must be from 1 to " + std::to_string(MaxFilmSeconds));
            if (!ParseCount(args[i + 2], MaxFilmFramesPerSecond, fps))
                return fail("--record-film: FPS must be from 1 to " + std::to_string(MaxFilmFramesPerSecond));
            if (args[i + 3].empty()) return fail("--record-film: NAME must not be empty");
            o.RecordFilm = true;
            o.FilmSeconds = static_cast<int32_t>(seconds);
            o.FilmFramesPerSecond = static_cast<int32_t>(fps);
            o.FilmFileName = FilmFileName(args[i + 3]);
            i += 3;
        } else {
            return fail("unknown option '" + a + "'");
        }
    }
    if (o.RecordFilm && o.Frames > 0) return fail("--frames and --record-film cannot be combined");
    return o;
}

std::string ProgramUsage(std::string_view programName) {
    std::string name(programName);
    return "Usage: " + name +
           " [options]\n"
           "Shows the aquarium in a window until the window is closed or Escape is pressed.\n"
           "\n"
           "  --fps                           show the frame rate\n"
           "  --size WxH                      window size in pixels (default 1280x720)\n"
           "  --frames N                      leave after N frames and print the timings\n"
           "  --record-film SECONDS FPS NAME  draw SECONDS*FPS frames at a fixed step of 1/FPS s,\n"
           "                                  save them as NAME00001.jpg, NAME00002.jpg, ... and leave\n"
           "  --help                          show this text\n";
}

// ---------------------------------------------------------------------------
// TProgramSceneHost

void TProgramSceneHost::PlainNames() {
    App->ScrambledNames = false;
    App->SetUseMachineKey(false);
}

std::string TProgramSceneHost::ReadString(const std::string& name, const std::string& defaultValue) {
    PlainNames();
    return App->ReadString(name, defaultValue);
}

bool TProgramSceneHost::ReadBool(const std::string& name, bool defaultValue) {
    PlainNames();
    try {
        return App->ReadBool(name, defaultValue);
    } catch (const EConvertError&) {
        return defaultValue;
    }
}

int32_t TProgramSceneHost::ReadInteger(const std::string& name, int32_t defaultValue) {
    PlainNames();
    try {
        return App->ReadInteger(name, defaultValue);
    } catch (const EConvertError&) {
        return defaultValue;
    }
}

void TProgramSceneHost::WriteString(const std::string& name, const std::string& value) {
    PlainNames();
    App->WriteString(name, value);
}

void TProgramSceneHost::WriteBool(const std::string& name, bool value) {
    PlainNames();
    App->WriteBool(name, value);
}

void TProgramSceneHost::WriteInteger(const std::string& name, int32_t value) {
    PlainNames();
    App->WriteInteger(name, value);
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

// ---------------------------------------------------------------------------
// TAquariumProgram

TAquariumProgram::TAquariumProgram(const platform::Services& services, const TGLPlatform& glPlatform)
    : TCustomGLApplication(services, glPlatform), FSceneHost(*this) {
    if (!glPlatform.Display || !glPlatform.Windows)
        throw Exception("TAquariumProgram.Create error: no display or window system");
    FCreatedTick = Clock().TickCount();
    Title = "3D Marivelle";
    Company = "Tarnwick Software";
    MajorVersion = "4";
    MinorVersion = "0";

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
    OnStartOpenGL = [this](TCustomApplicationPro*) { StartedOpenGL(); };
    OnRender = [this](TCustomGLApplication*, float deltaTime, bool) { RenderScene(deltaTime); };
}

TAquariumProgram::~TAquariumProgram() {
    // The scene goes while the GL context object it drew with still exists.
    try {
        Stop();
    } catch (...) {
    }
    StopScene();
    if (IsFullScreen()) FGLDisplay->LeaveFullScreen();
    SetWindow(nullptr);
    SetDisplay(nullptr);
}

void TAquariumProgram::Configure(const TProgramOptions& options) {
    FGLWindow->Width = options.Width;
    FGLWindow->Height = options.Height;
    FShowFPS = options.ShowFPS;
    FFrameLimit = options.Frames;
    FFilmPending = options.RecordFilm;
    FFilmSeconds = options.FilmSeconds;
    FFilmFramesPerSecond = options.FilmFramesPerSecond;
    FFilmName = options.FilmFileName;
}

int TAquariumProgram::Run() {
    Loaded();
    // A second instance has already been told to end.
    if (!Application().Terminated()) Application().Run();
    Stop();
    if (FFailure.empty() && FFrameLimit > 0 && FFramesDrawn < FFrameLimit)
        Fail("TAquariumProgram.Run error: ended after " + std::to_string(FFramesDrawn) + " of " +
             std::to_string(FFrameLimit) + " frames");
    return FFailure.empty() ? 0 : 1;
}

void TAquariumProgram::Fail(const std::string& why) {
    if (FFailure.empty()) FFailure = why;
    Services.Messages->ShowError(Application().Title(), why);
}

void TAquariumProgram::StartScene() {
    FScene = LoadMainScene(AppPath, &FSceneHost);
    FWorld = std::make_unique<TUnderWaterWorld>();
    FWorld->FApp = &FSceneHost;
    FWorld->FScene = FScene.get();
    // Loads the scene's and the world's settings too, and the world applies
    // them to the scene.
    LoadOptions();
    if (FShowFPS) FScene->ShowFPS(true);
    // The stored settings decide about screenshots; a film asked for on the
    // command line is written regardless.
    if (FFilmPending) ScreenShotsEnabled = true;
    // Opened after the options, which would otherwise recreate it at once.
    if (!FGLWindow->HandleAllocated()) FGLWindow->CreateHandle();
    if (!FGLWindow->HandleAllocated())
        throw Exception("TAquariumProgram.StartScene error: the window could not be opened");
}

void TAquariumProgram::StopScene() {
    // The world goes first; it refers to the scene's objects.
    FWorld.reset();
    FScene.reset();
}

void TAquariumProgram::LoadSceneOptions() {
    ScrambledNames = false;
    SetUseMachineKey(false);
    if (FScene) FScene->LoadSettings();
    if (FWorld) FWorld->LoadSettings();
}

void TAquariumProgram::SaveSceneOptions() {
    ScrambledNames = false;
    SetUseMachineKey(false);
    if (FScene) FScene->SaveSettings();
    if (FWorld) FWorld->SaveSettings();
}

void TAquariumProgram::StartedOpenGL() {
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

int32_t TAquariumProgram::ScreenCount() const {
    const auto monitors = static_cast<int32_t>(Monitors().size());
    return monitors > 1 && IsFullScreen() && FGLWindow->Monitor == monitors ? 2 : 1;
}

void TAquariumProgram::RenderScene(float deltaTime) {
    if (!FScene) return;
    if (FWorld) FWorld->SetScreenCount(ScreenCount());
    FScene->Frame(deltaTime);
    const uint32_t now = Clock().TickCount();
    if (FFramesDrawn == 0) FFirstFrameTick = now;
    FLastFrameTick = now;
    ++FFramesDrawn;
    if (FFrameLimit > 0 && FFramesDrawn >= FFrameLimit) Application().Terminate();
}

void TAquariumProgram::Idle(bool& done) {
    TCustomGLApplication::Idle(done);
    // After a whole pass, never inside one: the film draws frames itself.
    if (FFilmPending && GLStarted() && !InIdle()) RecordRequestedFilm();
}

void TAquariumProgram::RecordRequestedFilm() {
    FFilmPending = false;
    const int64_t expected = static_cast<int64_t>(FFilmSeconds) * FFilmFramesPerSecond;
    RecordFilm(FFilmSeconds, FFilmFramesPerSecond, FFilmName);
    const int64_t captured = OpenGL().ScreenShot().CaptureCount;
    if (captured < expected)
        Fail("TAquariumProgram.RecordFilm error: the film stopped after " + std::to_string(captured) + " of " +
             std::to_string(expected) + " frames");
    Application().Terminate();
}

void TAquariumProgram::HandleMessage(platform::WindowMessage& msg, bool& handled) {
    const bool escape = msg.Msg == platform::wm::KeyDown && msg.WParam == platform::vk::Escape;
    // Closing or losing the window ends the program; there is nothing to
    // return to.
    if (escape || msg.Msg == platform::wm::Close || msg.Msg == platform::wm::Destroy) Application().Terminate();
    TCustomGLApplication::HandleMessage(msg, handled);
}

void TAquariumProgram::HandleException(const std::exception& e) {
    if (FFailure.empty()) FFailure = e.what();
    TCustomGLApplication::HandleException(e);
}
