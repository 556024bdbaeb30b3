// The aquarium program: the screen-saver host in the role its command line
// asks for, with the program role's extras (window size, a frame limit, a
// film) and one-run overrides of the stored settings.
#pragma once

#include "app/screen_saver.h"

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

// Settings the command line overrides for one run; never saved. -1 (or
// false) leaves the stored value.
struct TSettingOverrides {
    int32_t Water = -1;        // 0..5
    int32_t FishCount = -1;    // 0..100
    int32_t BubbleCount = -1;  // 0..1000
    int32_t ClockMode = -1;    // 0 none, 1 24-hour, 2 12-hour
    int32_t Direction = -1;    // the world's direction index
    bool NoSound = false;
    int32_t Volume = -1;       // 0..100
    int32_t RenderScale = -1;  // 100 or 50 percent
    bool Any() const {
        return Water >= 0 || FishCount >= 0 || BubbleCount >= 0 || ClockMode >= 0 || Direction >= 0 || NoSound ||
               Volume >= 0 || RenderScale >= 0;
    }
};

// What the command line asks for. Error is empty when it parsed.
struct TProgramOptions {
    bool Help = false;
    bool ShowFPS = false;
    int32_t Width = 1280;
    int32_t Height = 720;
    // Frames to draw before leaving; 0 runs until the window is closed.
    int64_t Frames = 0;
    // Time each pass of every frame and print the sums at the end.
    bool PassTimes = false;
    // Every so many seconds, print the frames drawn and the GL objects held.
    int32_t StatsSeconds = 0;
    bool RecordFilm = false;
    int32_t FilmSeconds = 0;
    int32_t FilmFramesPerSecond = 0;
    // The pictures' name; the frame number goes before its extension.
    std::string FilmFileName;
    // The saver's own switches (-s, -c, /p N, -a, ...), as given.
    std::vector<std::string> RoleArguments;
    // --root: inside the saver daemon's window (or the root window).
    bool Root = false;
    // --window-id: the preview inside that window.
    bool WindowIdGiven = false;
    uintptr_t WindowId = 0;
    TSettingOverrides Overrides;
    // The settings dialog with its live preview: no arguments at all, or -c.
    bool SettingsDialog = false;
    // Add the saver to the person's ~/.xscreensaver, then end.
    bool InstallXScreenSaver = false;
    std::string Error;
};

// Largest accepted window side, film length and film rate: beyond them a
// request is a typing error rather than a wish.
inline constexpr int32_t MaxWindowSide = 16384;
inline constexpr int32_t MaxFilmSeconds = 3600;
inline constexpr int32_t MaxFilmFramesPerSecond = 1000;

// `args` are the arguments after the program name; `saverWindow` is the
// value of $XSCREENSAVER_WINDOW (empty when unset): a saver daemon that
// starts us without arguments means --root.
TProgramOptions ParseProgramOptions(const std::vector<std::string>& args, std::string_view saverWindow = {});
std::string ProgramUsage(std::string_view programName);

class TAquariumProgram : public TGLScreenSaver {
public:
    // The program role.
    explicit TAquariumProgram(const platform::Services& services = platform::SystemServices(),
                              const TGLPlatform& glPlatform = SystemGLPlatform());
    // The role the options ask for; `ext` is the program file's extension.
    TAquariumProgram(const TProgramOptions& options, std::string_view ext,
                     const platform::Services& services = platform::SystemServices(),
                     const TGLPlatform& glPlatform = SystemGLPlatform());

    // Window size, frame-rate display, frame limit and film; before Run.
    void Configure(const TProgramOptions& options);
    // Runs the loop until the program ends; the process exit code.
    int Run();

    void Idle(bool& done) override;
    void HandleException(const std::exception& e) override;

    int64_t FramesDrawn() const { return FFramesDrawn; }
    // Milliseconds from construction to the end of the first frame, and
    // from there to the end of the last one.
    uint32_t StartupMilliseconds() const { return FFirstFrameTick - FCreatedTick; }
    uint32_t RunMilliseconds() const { return FLastFrameTick - FFirstFrameTick; }
    // Empty, or why the run failed (also after an error was reported).
    const std::string& Failure() const { return FFailure; }

protected:
    void SceneStarted() override;
    void FrameDrawn() override;

private:
    void RecordRequestedFilm();
    void Fail(const std::string& why);
    void ApplyOverrides();
    void PrintStats(uint32_t sinceFirstFrameMs);

    TSettingOverrides FOverrides;
    bool FShowFPS = false;
    int64_t FFrameLimit = 0;
    bool FPassTimes = false;
    int32_t FStatsSeconds = 0;
    uint32_t FNextStatsMs = 0;
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
