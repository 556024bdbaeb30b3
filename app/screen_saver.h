// The screen-saver host: the GL application in the role the command line
// asks for (program, full-screen saver, preview inside another window,
// settings, password), the exit rules on user input, the power timers, and
// the scene and world it shows.
#pragma once

#include "app/exit_rules.h"
#include "app/gl_application.h"
#include "scene/scene_host.h"

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

class TMainScene;
class TUnderWaterWorld;

enum TSaverRole : uint8_t { srProgram, srSaver, srPreview, srConfig, srPassword };

inline constexpr int kPowerDelayCount = 16;
// Seconds for each power-off and monitor-off index (-1: off), and the label
// the settings dialog shows for it.
extern const float PowerDelays[kPowerDelayCount];
extern const char* const PowerDelayLabels[kPowerDelayCount];

// True when some argument starts with "-" or "/" and the letter's first
// occurrence in it (upper-cased) is its second character.
bool HasSwitch(const std::vector<std::string>& args, char letter);
// The role for these arguments; `ext` is the program file's extension,
// upper-cased (".SCR", ".EXE").
TSaverRole RoleFromArguments(const std::vector<std::string>& args, std::string_view ext);
// The second argument, or the digits after the first ":" of the first, as a
// decimal number; `foreground` when neither is given. Raises EConvertError
// for anything that is not a decimal number.
uintptr_t ParentHandleFromArguments(const std::vector<std::string>& args, uintptr_t foreground);

// The scene's view of the host: the settings store under the current user
// with plain value names, the GL context, and the view the viewport applies.
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
    TCustomGLApplication* App;
};

class TGLScreenSaver : public TCustomGLApplication {
public:
    // The role and the parent window come from `args` (the arguments after
    // the program name); `ext` is the program file's upper-cased extension.
    TGLScreenSaver(const std::vector<std::string>& args, std::string_view ext,
                   const platform::Services& services = platform::SystemServices(),
                   const TGLPlatform& glPlatform = SystemGLPlatform());
    ~TGLScreenSaver() override;

    TSaverRole Role() const { return FRole; }
    uintptr_t ParentHandle() const { return FParentHandle; }
    // Overrides the role's parent window (the XScreenSaver conventions name
    // it apart from the switches).
    void SetParentHandle(uintptr_t handle) { FParentHandle = handle; }

    void Initialize() override;
    void HandleMessage(platform::WindowMessage& msg, bool& handled) override;
    void Idle(bool& done) override;
    void PowerOff() override;
    void LoadOptions() override;
    void SaveOptions() override;

    void SetPowerOffIndex(int32_t index);
    void SetMonitorOffIndex(int32_t index);
    int32_t PowerOffIndex() const { return FPowerOffIndex; }
    int32_t MonitorOffIndex() const { return FMonitorOffIndex; }
    float PowerOffTime() const { return FPowerOffTime; }
    float MonitorOffTime() const { return FMonitorOffTime; }

    // Hands the run to the companion program file beside the saver and
    // waits for it, drawing frames meanwhile; then ends.
    void StartAsProgram();
    // Opens the help page with the desktop's browser; false, after saying
    // why, when there is no page or nothing opens it.
    bool ShowHelp();
    // The help page: in the data folder, else where an installed copy keeps
    // its documents; empty when neither holds one.
    std::string HelpFileName() const;
    // Frees the library still held, loads SystemPath + `libraryFile` and
    // gives the entry, or nullptr. The library is held until the next call
    // or FreeSystemLibrary.
    void* LoadSystemEntry(const std::string& libraryFile, const std::string& entryName);
    void FreeSystemLibrary();
    uintptr_t SystemLibrary() const { return FSystemLibrary; }
    // The system's password change, when the system has one; false when it
    // has none (on Linux the desktop's screen locker owns passwords).
    bool ChangePassword();
    bool PasswordChangeFound() const { return FPasswordChangeFound; }

    void PowerOffNow();
    void MonitorOffNow();
    void ResetMouseTracking();
    void HideMainForm();
    // Whether the person asked the system to check a password before the
    // saver ends (never set where no store holds that choice).
    bool PasswordInUse() const;
    // The system's check; true (the saver may end) where the system has
    // none.
    bool VerifyPassword();

    TMainScene* Scene() const { return FScene.get(); }
    TUnderWaterWorld* World() const { return FWorld.get(); }
    TProgramSceneHost& SceneHost() { return FSceneHost; }
    TGLWindow& GLWindow() { return *FGLWindow; }
    TGLDisplay& GLDisplay() { return *FGLDisplay; }
    // Monitors the view spans: 2 for "Dual View" in full screen, else 1.
    int32_t ScreenCount() const;

    bool MouseMoveExit = false;
    bool RunAsProgram = false;
    // Drawing into a window a saver daemon owns: the daemon takes the input
    // and ends us with a signal, so the exit rules stay out of its way.
    bool DaemonWindow = false;

protected:
    // Runs after the scene and the world have their stored settings.
    virtual void SceneStarted() {}
    virtual void FrameDrawn() {}

private:
    void StartScene();
    void StopScene();
    void LoadSceneOptions();
    void SaveSceneOptions();
    void ReapplySchoolVisibility();
    void RenderScene(float deltaTime);

    std::unique_ptr<TGLDisplay> FGLDisplay;
    std::unique_ptr<TGLWindow> FGLWindow;
    TProgramSceneHost FSceneHost;
    std::unique_ptr<TMainScene> FScene;
    std::unique_ptr<TUnderWaterWorld> FWorld;

    TSaverRole FRole = srProgram;
    uintptr_t FParentHandle = 0;
    TExitRules FExitRules;
    float FPowerOffTime = -1;
    float FMonitorOffTime = -1;
    int32_t FPowerOffIndex = 0;
    int32_t FMonitorOffIndex = 0;
    bool FMonitorOff = false;
    std::string FExt;
    std::vector<std::string> FArguments;
    uintptr_t FSystemLibrary = 0;
    bool FPasswordChangeFound = false;
    // What Initialize told the system and the parent window, undone at the end.
    bool FSaverRunningSet = false;
    bool FParentDisabled = false;
};
