// The aquarium as a plain program: a GL application with its own top-level
// window that builds the scene when the framework starts, hands each frame's
// time step to it and ends when the window is closed, on Escape, after a
// given number of frames or once a requested film is written.
#pragma once

#include "app/gl_application.h"
#include "scene/scene_host.h"

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

class TMainScene;
class TUnderWaterWorld;

// What the command line asks for. Error is empty when it parsed.
struct TProgramOptions {
    bool Help = false;
    bool ShowFPS = false;
    int32_t Width = 1280;
    int32_t Height = 720;
    // Frames to draw before leaving; 0 runs until the window is closed.
    int64_t Frames = 0;
    bool RecordFilm = false;
    int32_t FilmSeconds = 0;
    int32_t FilmFramesPerSecond = 0;
    // The pictures' name; the frame number goes before its extension.
    std::string FilmFileName;
    std::string Error;
};

// Largest accepted window side, film length and film rate: beyond them a
// request is a typing error rather than a wish.
inline constexpr int32_t MaxWindowSide = 16384;
inline constexpr int32_t MaxFilmSeconds = 3600;
inline constexpr int32_t MaxFilmFramesPerSecond = 1000;

// `args` are the arguments after the program name.
TProgramOptions ParseProgramOptions(const std::vector<std::string>& args);
std::string ProgramUsage(std::string_view programName);

// The scene's view of a GL application: its settings store under the
// current user with plain value names, its GL context, and the view the
// viewport will apply.
class TProgramSceneHost final : public ISceneHost {
public:
    explicit TProgramSceneHost(TCustomGLApplication& application) : App(&application) {}

    std::string ReadString(const std::string& name, const std::string& defaultValue) override;
    // A stored text that is no boolean or integer gives the default: a
    // damaged settings file must not keep the program from starting.
    bool ReadBool(const std::string& name, bool defaultValue) override;
    int32_t ReadInteger(const std::string& name, int32_t defaultValue) override;
    void WriteString(const std::string& name, const std::string& value) override;
    void WriteBool(const std::string& name, bool value) override;
    void WriteInteger(const std::string& name, int32_t value) override;

    TCustomOpenGL* OpenGL() override;
    TSceneView View() override;

private:
    // The framework keeps its own values scrambled under the machine root;
    // the scene's live under the user with their names as they are.
    void PlainNames();

    TCustomGLApplication* App;
};

class TAquariumProgram : public TCustomGLApplication {
public:
    explicit TAquariumProgram(const platform::Services& services = platform::SystemServices(),
                              const TGLPlatform& glPlatform = SystemGLPlatform());
    ~TAquariumProgram() override;

    // Window size, frame-rate display, frame limit and film; before Run.
    void Configure(const TProgramOptions& options);
    // Runs the loop until the program ends; the process exit code.
    int Run();

    void Idle(bool& done) override;
    void HandleMessage(platform::WindowMessage& msg, bool& handled) override;
    void HandleException(const std::exception& e) override;

    TMainScene* Scene() const { return FScene.get(); }
    TUnderWaterWorld* World() const { return FWorld.get(); }
    TProgramSceneHost& SceneHost() { return FSceneHost; }
    TGLWindow& GLWindow() { return *FGLWindow; }
    TGLDisplay& GLDisplay() { return *FGLDisplay; }

    // Monitors the view spans: 2 for "Dual View" in full screen, else 1.
    int32_t ScreenCount() const;

    int64_t FramesDrawn() const { return FFramesDrawn; }
    // Milliseconds from construction to the end of the first frame, and
    // from there to the end of the last one.
    uint32_t StartupMilliseconds() const { return FFirstFrameTick - FCreatedTick; }
    uint32_t RunMilliseconds() const { return FLastFrameTick - FFirstFrameTick; }
    // Empty, or why the run failed (also after an error was reported).
    const std::string& Failure() const { return FFailure; }

private:
    void StartScene();
    void StopScene();
    void LoadSceneOptions();
    void SaveSceneOptions();
    void RenderScene(float deltaTime);
    void StartedOpenGL();
    void RecordRequestedFilm();
    void Fail(const std::string& why);

    // Owned here and detached before they go, since the framework's own
    // destructor still looks at its display and window.
    std::unique_ptr<TGLDisplay> FGLDisplay;
    std::unique_ptr<TGLWindow> FGLWindow;
    TProgramSceneHost FSceneHost;
    std::unique_ptr<TMainScene> FScene;
    std::unique_ptr<TUnderWaterWorld> FWorld;

    bool FShowFPS = false;
    int64_t FFrameLimit = 0;
    bool FFilmPending = false;
    int32_t FFilmSeconds = 0;
    int32_t FFilmFramesPerSecond = 0;
    std::string FFilmName;

    int64_t FFramesDrawn = 0;
    uint32_t FCreatedTick = 0;
    uint32_t FFirstFrameTick = 0;
    uint32_t FLastFrameTick = 0;
    std::string FFailure;
};
