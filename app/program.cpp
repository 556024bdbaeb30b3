#include "app/program.h"

#include "core/errors.h"
#include "core/strutil.h"
#include "render/frame_scaler.h"
#include "render/gl_census.h"
#include "render/pass_timer.h"
#include "scene/objects.h"
#include "scene/scene_sound.h"
#include "world/clock.h"
#include "world/underwater_world.h"

#include <charconv>
#include <cstdio>
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

// A whole number from lo to hi.
bool ParseRange(std::string_view text, int32_t lo, int32_t hi, int32_t& value) {
    if (text.empty() || text.size() > 9) return false;
    for (char c : text)
        if (c < '0' || c > '9') return false;
    int32_t v = 0;
    std::from_chars(text.data(), text.data() + text.size(), v);
    if (v < lo || v > hi) return false;
    value = v;
    return true;
}

// An X window id, decimal or 0x hex, as saver daemons pass it.
bool ParseWindowId(std::string_view text, uintptr_t& id) {
    int base = 10;
    if (text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
        text.remove_prefix(2);
        base = 16;
    }
    if (text.empty()) return false;
    uint64_t v = 0;
    auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), v, base);
    if (ec != std::errc() || end != text.data() + text.size() || v == 0) return false;
    id = static_cast<uintptr_t>(v);
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

TProgramOptions ParseProgramOptions(const std::vector<std::string>& args, std::string_view saverWindow) {
    TProgramOptions o;
    auto fail = [&o](std::string why) {
        o.Error = std::move(why);
        return o;
    };
    // A value from lo to hi for option `name`.
    auto range = [&](size_t& i, const char* name, int32_t lo, int32_t hi, int32_t& value) {
        if (i + 1 < args.size() && ParseRange(args[i + 1], lo, hi, value)) {
            ++i;
            return true;
        }
        o.Error = std::string(name) + " needs a number from " + std::to_string(lo) + " to " + std::to_string(hi);
        return false;
    };
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        const size_t left = args.size() - i - 1;
        if (a == "--help" || a == "-h") {
            o.Help = true;
        } else if (a == "--fps" || a == "-fps") {
            o.ShowFPS = true;
        } else if (a == "--root" || a == "-root") {
            o.Root = true;
        } else if (a == "--window-id" || a == "-window-id") {
            if (left < 1 || !ParseWindowId(args[i + 1], o.WindowId))
                return fail(a + " needs a window id, decimal or 0x hex");
            o.WindowIdGiven = true;
            ++i;
        } else if (a == "--install-xscreensaver") {
            o.InstallXScreenSaver = true;
        } else if (a == "--water") {
            int32_t water = 0;
            if (!range(i, "--water", 1, 6, water)) return o;
            o.Overrides.Water = water - 1;
        } else if (a == "--fish-count") {
            if (!range(i, "--fish-count", 0, 100, o.Overrides.FishCount)) return o;
        } else if (a == "--bubble-count") {
            if (!range(i, "--bubble-count", 0, 1000, o.Overrides.BubbleCount)) return o;
        } else if (a == "--volume") {
            if (!range(i, "--volume", 0, 100, o.Overrides.Volume)) return o;
        } else if (a == "--render-scale") {
            int32_t percent = 0;
            if (left < 1 || !ParseRange(args[i + 1], 1, 100, percent) || ValidRenderScale(percent) != percent)
                return fail("--render-scale needs 100 or 50");
            o.Overrides.RenderScale = percent;
            ++i;
        } else if (a == "--no-sound") {
            o.Overrides.NoSound = true;
        } else if (a == "--clock") {
            const std::string v = left ? args[i + 1] : "";
            o.Overrides.ClockMode = v == "none" ? 0 : v == "24" ? 1 : v == "12" ? 2 : -1;
            if (o.Overrides.ClockMode < 0) return fail("--clock needs none, 24 or 12");
            ++i;
        } else if (a == "--direction") {
            const std::string v = left ? args[i + 1] : "";
            o.Overrides.Direction = v == "right" ? fdRight : v == "left" ? fdLeft : v == "both" ? fdBoth : -1;
            if (o.Overrides.Direction < 0) return fail("--direction needs left, right or both");
            ++i;
        } else if (a == "--size") {
            if (left < 1 || !ParseSize(args[i + 1], o.Width, o.Height))
                return fail("--size needs WIDTHxHEIGHT, each from 1 to " + std::to_string(MaxWindowSide) +
                            " (e.g. --size 1280x720)");
            ++i;
        } else if (a == "--frames") {
            if (left < 1 || !ParseCount(args[i + 1], INT64_MAX, o.Frames))
                return fail("--frames needs a number of frames of at least 1");
            ++i;
        } else if (a == "--pass-times") {
            o.PassTimes = true;
        } else if (a == "--stats") {
            int64_t seconds = 0;
            if (left < 1 || !ParseCount(args[i + 1], 86400, seconds))
                return fail("--stats needs a number of seconds from 1 to 86400");
            o.StatsSeconds = static_cast<int32_t>(seconds);
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
        } else if (a.size() >= 2 && (a[0] == '/' || (a[0] == '-' && a[1] != '-'))) {
            // The saver's switches; a preview's window number follows its switch.
            o.RoleArguments.push_back(a);
            const char letter = static_cast<char>(a[1] | 0x20);
            if ((letter == 'p' || letter == 'l' || letter == 'a' || letter == 'c') && a.size() == 2 && left &&
                !args[i + 1].empty() && args[i + 1][0] != '-' && args[i + 1][0] != '/')
                o.RoleArguments.push_back(args[++i]);
        } else {
            return fail("unknown option '" + a + "'");
        }
    }
    if (o.RecordFilm && o.Frames > 0) return fail("--frames and --record-film cannot be combined");
    if (o.Root + o.WindowIdGiven + !o.RoleArguments.empty() > 1)
        return fail("choose one of --root, --window-id and the switches -s, -p, -c, -a");
    // A saver daemon that starts us without arguments wants its window filled.
    if (args.empty() && !saverWindow.empty()) o.Root = true;
    o.SettingsDialog = !o.Root && (args.empty() || HasSwitch(o.RoleArguments, 'C'));
    if (o.Root) {
        o.WindowId = 0;
        if (!saverWindow.empty() && !ParseWindowId(saverWindow, o.WindowId))
            return fail("XSCREENSAVER_WINDOW is not a window id: '" + std::string(saverWindow) + "'");
    }
    return o;
}

std::string ProgramUsage(std::string_view programName) {
    std::string name(programName);
    return "Usage: " + name +
           " [role] [options]\n"
           "3D Marivelle, an aquarium screen saver. Without arguments it opens the settings with\n"
           "a live preview; with options but no role it shows the aquarium in a window until the\n"
           "window is closed or Escape is pressed.\n"
           "\n"
           "Roles:\n"
           "  -s                              the screen saver, full screen; a key or a click ends it\n"
           "  -p ID, -l ID                    the preview inside window ID\n"
           "  -c                              the settings with a live preview\n"
           "  -a                              passwords: the desktop's screen locker handles them\n"
           "  --root                          inside the saver daemon's window ($XSCREENSAVER_WINDOW),\n"
           "                                  else on the root window\n"
           "  --window-id ID                  the preview inside window ID (decimal or 0x hex)\n"
           "\n"
           "For this run only (nothing is saved):\n"
           "  --water N                       water 1 to 6 (1-3 salt, 4-6 fresh)\n"
           "  --fish-count N                  0 to 100 fish\n"
           "  --bubble-count N                0 to 1000 bubbles\n"
           "  --clock none|24|12              the clock\n"
           "  --direction left|right|both     where the fish swim\n"
           "  --fps                           show the frame rate\n"
           "  --no-sound                      silence\n"
           "  --volume N                      sound volume 0 to 100\n"
           "  --render-scale N                draw at N percent of the size (100 or 50) and stretch:\n"
           "                                  faster on a software renderer, softer to look at\n"
           "  --stats SECONDS                 every SECONDS s print the frames drawn and the GL objects held\n"
           "\n"
           "In a window of its own:\n"
           "  --size WxH                      window size in pixels (default 1280x720)\n"
           "  --frames N                      leave after N frames and print the timings\n"
           "  --pass-times                    time each drawing pass (slower) and print the sums at the end\n"
           "  --record-film SECONDS FPS NAME  draw SECONDS*FPS frames at a fixed step of 1/FPS s,\n"
           "                                  save them as NAME00001.jpg, NAME00002.jpg, ... and leave\n"
           "\n"
           "  --install-xscreensaver          add the saver to your ~/.xscreensaver\n"
           "  --help                          show this text\n";
}

// ---------------------------------------------------------------------------
// TAquariumProgram

namespace {

// The switches the saver's own rules read for this command line.
std::vector<std::string> RoleArguments(const TProgramOptions& options) {
    if (options.Root) return {"-s"};
    if (options.WindowIdGiven) return {"-p", std::to_string(options.WindowId)};
    return options.RoleArguments;
}

}  // namespace

TAquariumProgram::TAquariumProgram(const platform::Services& services, const TGLPlatform& glPlatform)
    : TGLScreenSaver({}, ".EXE", services, glPlatform) {
    FCreatedTick = Clock().TickCount();
}

TAquariumProgram::TAquariumProgram(const TProgramOptions& options, std::string_view ext,
                                   const platform::Services& services, const TGLPlatform& glPlatform)
    : TGLScreenSaver(RoleArguments(options), ext, services, glPlatform) {
    FCreatedTick = Clock().TickCount();
    if (options.Root) {
        DaemonWindow = true;
        SetParentHandle(options.WindowId);
    }
    Configure(options);
}

void TAquariumProgram::Configure(const TProgramOptions& options) {
    GLWindow().Width = options.Width;
    GLWindow().Height = options.Height;
    FShowFPS = options.ShowFPS;
    FFrameLimit = options.Frames;
    FPassTimes = options.PassTimes;
    FStatsSeconds = options.StatsSeconds;
    FFilmPending = options.RecordFilm;
    FFilmSeconds = options.FilmSeconds;
    FFilmFramesPerSecond = options.FilmFramesPerSecond;
    FFilmName = options.FilmFileName;
    FOverrides = options.Overrides;
}

int TAquariumProgram::Run() {
    Loaded();
    // A second instance has already been told to end.
    if (!Application().Terminated()) Application().Run();
    Stop();
    if (FFailure.empty() && FFrameLimit > 0 && FFramesDrawn < FFrameLimit)
        Fail("TAquariumProgram.Run error: ended after " + std::to_string(FFramesDrawn) + " of " +
             std::to_string(FFrameLimit) + " frames");
    return FFailure.empty() && !DisplayUnavailable() ? 0 : 1;
}

void TAquariumProgram::Fail(const std::string& why) {
    if (FFailure.empty()) FFailure = why;
    Services.Messages->ShowError(Application().Title(), why);
}

void TAquariumProgram::SceneStarted() {
    ApplyOverrides();
    if (FShowFPS) Scene()->ShowFPS(true);
    // The stored settings decide about screenshots; a film asked for on the
    // command line is written regardless.
    if (FFilmPending) ScreenShotsEnabled = true;
}

void TAquariumProgram::ApplyOverrides() {
    TUnderWaterWorld& world = *World();
    const TSettingOverrides& o = FOverrides;
    if (o.Water >= 0) {
        world.SetWaterBackgroundIndex(o.Water);
        // Waters 4 to 6 are fresh water, with their own schools.
        world.SetFishTypeIndex(o.Water >= 3 ? 1 : 0);
    }
    if (o.FishCount >= 0) world.SetFishCount(o.FishCount);
    if (o.BubbleCount >= 0) world.SetBubbleCount(o.BubbleCount);
    if (o.RenderScale >= 0) Viewport().RenderScale = o.RenderScale;
    if (o.Direction >= 0) world.SetFishDirection(static_cast<TFishDirection>(o.Direction));
    if (o.ClockMode >= 0)
        if (auto* clock = dynamic_cast<TGLClock*>(Scene()->FindObject("GLClock"))) clock->SetMode(o.ClockMode);
    if (auto* sounds = dynamic_cast<TSceneSoundList*>(Scene()->FindObject("Sounds"))) {
        if (o.NoSound) sounds->SetVisible(false);
        if (o.Volume >= 0) {
            sounds->SetSoundVolume(o.Volume);
            sounds->SetMusicVolume(o.Volume);
        }
    }
}

void TAquariumProgram::FrameDrawn() {
    const uint32_t now = Clock().TickCount();
    if (FFramesDrawn == 0) FFirstFrameTick = now;
    FLastFrameTick = now;
    ++FFramesDrawn;
    if (FStatsSeconds > 0 && now - FFirstFrameTick >= FNextStatsMs) PrintStats(now - FFirstFrameTick);
    if (FFrameLimit > 0 && FFramesDrawn >= FFrameLimit) Application().Terminate();
}

void TAquariumProgram::Idle(bool& done) {
    TGLScreenSaver::Idle(done);
    // Switched on once GL runs: the timer asks it for a query object.
    if (FPassTimes && GLStarted() && !ThePassTimer().Enabled()) ThePassTimer().Enable();
    if (FStatsSeconds > 0 && GLStarted() && !GL_CensusStarted()) GL_StartCensus();
    // After a whole pass, never inside one: the film draws frames itself.
    if (FFilmPending && GLStarted() && !InIdle()) RecordRequestedFilm();
}

void TAquariumProgram::PrintStats(uint32_t sinceFirstFrameMs) {
    FNextStatsMs = (sinceFirstFrameMs / 1000 / FStatsSeconds + 1) * 1000 * FStatsSeconds;
    const TGLCensus census = GL_Census();
    std::printf("stats: %u s, %lld frames, %lld GL textures, %lld GL display lists\n", sinceFirstFrameMs / 1000,
                static_cast<long long>(FFramesDrawn), static_cast<long long>(census.Textures),
                static_cast<long long>(census.Lists));
    std::fflush(stdout);
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

void TAquariumProgram::HandleException(const std::exception& e) {
    if (FFailure.empty()) FFailure = e.what();
    TCustomGLApplication::HandleException(e);
}
