#include "app/program.h"

#include "platform/gl_library.h"
#include "platform/null/display_null.h"
#include "platform/null/gl_context_null.h"
#include "platform/null/gl_library_null.h"
#include "platform/null/gl_window_null.h"
#include "platform/null/null_services.h"
#include "render/gl_recorder.h"
#include "render/gl_table.h"
#include "core/picture.h"
#include "core/errors.h"
#include "scene/objects.h"
#include "test_support.h"
#include "world/fishes.h"
#include "world/underwater_world.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <fstream>
#include <iterator>
#include <sstream>
#include <thread>

// Last: the X headers define macros that clash with the ones above.
#include "program_runner.h"
#include "render/recording_context.h"
#undef ScreenCount  // Xlib's, not the program's

namespace {

namespace fs = std::filesystem;
using platform::SettingsRoot;

const auto* const environment = ::testing::AddGlobalTestEnvironment(new xvfb::Environment(1920, 1080));

const std::string KeyPath = "Software\\Tarnwick Software\\3D Marivelle 4";

std::string Scrambled(std::string name) {
    for (char& c : name) c = static_cast<char>(~static_cast<unsigned char>(c));
    return name;
}

// ---------------------------------------------------------------- command line

TEST(ProgramOptionsTest, NoArgumentsRunAWindowOfTheDefaultSizeUntilClosed) {
    TProgramOptions o = ParseProgramOptions({});
    EXPECT_EQ(o.Error, "");
    EXPECT_FALSE(o.Help);
    EXPECT_FALSE(o.ShowFPS);
    EXPECT_EQ(o.Width, 1280);
    EXPECT_EQ(o.Height, 720);
    EXPECT_EQ(o.Frames, 0);
    EXPECT_FALSE(o.RecordFilm);
}

TEST(ProgramOptionsTest, EveryOptionIsTaken) {
    TProgramOptions o = ParseProgramOptions({"--fps", "--size", "800x600", "--frames", "300"});
    EXPECT_EQ(o.Error, "");
    EXPECT_TRUE(o.ShowFPS);
    EXPECT_EQ(o.Width, 800);
    EXPECT_EQ(o.Height, 600);
    EXPECT_EQ(o.Frames, 300);
    EXPECT_TRUE(ParseProgramOptions({"--help"}).Help);
    EXPECT_TRUE(ParseProgramOptions({"-h"}).Help);

    o = ParseProgramOptions({"--record-film", "2", "25", "out/clip", "--size", "320X240"});
    EXPECT_EQ(o.Error, "");
    EXPECT_TRUE(o.RecordFilm);
    EXPECT_EQ(o.FilmSeconds, 2);
    EXPECT_EQ(o.FilmFramesPerSecond, 25);
    EXPECT_EQ(o.FilmFileName, "out/clip.jpg");
    EXPECT_EQ(o.Width, 320);
    EXPECT_EQ(o.Height, 240);
}

TEST(ProgramOptionsTest, AFilmKeepsAPictureExtensionItWasGiven) {
    auto film = [](const char* name) {
        return ParseProgramOptions({"--record-film", "1", "1", name}).FilmFileName;
    };
    EXPECT_EQ(film("a.bmp"), "a.bmp");
    EXPECT_EQ(film("a.JPEG"), "a.JPEG");
    EXPECT_EQ(film("a.jpg"), "a.jpg");
    EXPECT_EQ(film("a.png"), "a.png.jpg") << "screenshots cannot write PNG";
    EXPECT_EQ(film("take.1/shot"), "take.1/shot.jpg") << "a dot in a folder is no extension";
    EXPECT_EQ(film(".hidden"), ".hidden.jpg");
}

TEST(ProgramOptionsTest, BadOptionsAreRefusedWithTheReason) {
    struct Case {
        std::vector<std::string> Args;
        const char* Mentions;
    };
    const std::vector<Case> cases = {
        {{"--bogus"}, "'--bogus'"},
        {{"--size"}, "--size"},
        {{"--size", "800"}, "--size"},
        {{"--size", "0x600"}, "--size"},
        {{"--size", "800x-1"}, "--size"},
        {{"--size", "800x600x"}, "--size"},
        {{"--size", "x600"}, "--size"},
        {{"--size", "16385x10"}, "--size"},
        {{"--size", " 800x600"}, "--size"},
        {{"--frames"}, "--frames"},
        {{"--frames", "0"}, "--frames"},
        {{"--frames", "-5"}, "--frames"},
        {{"--frames", "1e3"}, "--frames"},
        {{"--frames", "99999999999999999999"}, "--frames"},
        {{"--record-film", "1", "25"}, "SECONDS FPS NAME"},
        {{"--record-film", "0", "25", "a"}, "SECONDS"},
        {{"--record-film", "3601", "25", "a"}, "SECONDS"},
        {{"--record-film", "1", "0", "a"}, "FPS"},
        {{"--record-film", "1", "1001", "a"}, "FPS"},
        {{"--record-film", "1", "25", ""}, "NAME"},
        {{"--frames", "5", "--record-film", "1", "1", "a"}, "cannot be combined"},
    };
    for (const Case& c : cases) {
        std::string joined;
        for (const std::string& a : c.Args) joined += "[" + a + "]";
        const std::string error = ParseProgramOptions(c.Args).Error;
        EXPECT_NE(error.find(c.Mentions), std::string::npos) << joined << " gave: " << error;
    }
    EXPECT_NE(ProgramUsage("marivelle").find("--record-film SECONDS FPS NAME"), std::string::npos);
}

// ---------------------------------------------------------------- the program over the doubles

// The program over every double: recording GL table, null library, binding,
// windows and display. The scene is the one embedded in this executable.
class ProgramTest : public ::testing::Test {
protected:
    ProgramTest() {
        library.Available.insert(platform::GLLibraryFileName(false));
        library.Available.insert(platform::GLLibraryFileName(true));
        OfferGLTable(library, false);
        rec.Strings[GL_VERSION] = "1.4 Test";
        rec.Strings[GL_EXTENSIONS] = "";
        binding.Formats = {WindowPixelFormat()};
        display.Modes = {{640, 480, 16, 60}, {1280, 720, 32, 60}, {1920, 1080, 32, 60}};
        program = std::make_unique<TAquariumProgram>(Null.Get(), TGLPlatform{&library, &binding, &windows, &display});
    }

    void Configure(int32_t width, int32_t height, int64_t frames = 0, bool fps = false) {
        TProgramOptions o;
        o.Width = width;
        o.Height = height;
        o.Frames = frames;
        o.ShowFPS = fps;
        program->Configure(o);
    }

    // Initialised and through its first idle pass, as the loop starts it.
    void Start() {
        program->Loaded();
        IdlePass();
    }

    void IdlePass() {
        auto done = Null.Application.IdleOnce();
        ASSERT_TRUE(done.has_value()) << "idle hook detached";
    }

    std::optional<std::string> UserValue(const std::string& name) {
        return Null.Settings.Get(SettingsRoot::User, KeyPath, name);
    }

    TGLRecorder rec;
    platform::NullGLLibrary library;
    platform::NullGLContext binding;
    platform::NullGLWindows windows;
    platform::NullDisplaySettings display;
    platform::NullServices Null;
    std::unique_ptr<TAquariumProgram> program;
};

TEST_F(ProgramTest, TheFirstPassBuildsTheSceneOpensTheWindowOnceAndDrawsAFrame) {
    Configure(800, 600);
    Start();
    ASSERT_NE(program->Scene(), nullptr);
    EXPECT_EQ(program->Scene()->Application, &program->SceneHost());
    EXPECT_EQ(program->Scene()->LoadSources, lsArchive);
    ASSERT_EQ(windows.Created.size(), 1u) << "the options must not recreate the window";
    EXPECT_TRUE(windows.Destroyed.empty());
    EXPECT_EQ(windows.Created[0].Width, 800);
    EXPECT_EQ(windows.Created[0].Height, 600);
    EXPECT_FALSE(windows.Created[0].FullScreen);
    EXPECT_EQ(windows.Created[0].Parent, 0u);
    EXPECT_TRUE(program->GLStarted());
    EXPECT_EQ(program->FramesDrawn(), 1);
    EXPECT_EQ(binding.Count("SwapBuffers"), 1);
    // Only depth is cleared: the water's backdrop covers the picture.
    EXPECT_TRUE(rec.Has("glClear", {GL_DEPTH_BUFFER_BIT}));
    EXPECT_FALSE(rec.Has("glClear", {GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT}));
    ASSERT_NE(program->Viewport().GLViewport(), nullptr);
    EXPECT_EQ(program->Viewport().GLViewport()->Frustum().Far, 11000);
    EXPECT_EQ(program->OpenGL().ScreenShot().CaptureCount, 0) << "no film was asked for";
    IdlePass();
    EXPECT_EQ(program->FramesDrawn(), 2);
    EXPECT_EQ(windows.Created.size(), 1u);
}

TEST_F(ProgramTest, ARunEndsAfterTheFrameLimitAndFreesTheScene) {
    Configure(640, 480, 4);
    EXPECT_EQ(program->Run(), 0);
    EXPECT_EQ(program->FramesDrawn(), 4);
    EXPECT_TRUE(Null.Application.Terminated());
    EXPECT_EQ(program->Scene(), nullptr);
    EXPECT_EQ(program->State(), TApplicationState::Stopped);
    EXPECT_TRUE(Null.Messages.Errors.empty());
    EXPECT_EQ(program->Failure(), "");
}

TEST_F(ProgramTest, AFrameLimitNeverReachedIsAFailure) {
    binding.Formats.clear();  // GL never starts
    Configure(640, 480, 2);
    Null.Application.MaxPasses = 20;
    EXPECT_EQ(program->Run(), 1);
    EXPECT_NE(program->Failure().find("ended after 0 of 2 frames"), std::string::npos) << program->Failure();
    ASSERT_EQ(Null.Messages.Errors.size(), 1u);
    EXPECT_EQ(Null.Messages.Errors[0].first, "3D Marivelle");
}

TEST_F(ProgramTest, AWindowThatCannotBeOpenedIsReportedAndEndsTheRun) {
    windows.FailCreate = true;
    program->Loaded();
    // As the loop does with an error out of an idle pass.
    try {
        Null.Application.IdleOnce();
        ADD_FAILURE() << "no error";
    } catch (const std::exception& e) {
        program->HandleException(e);
    }
    EXPECT_NE(program->Failure().find("window could not be opened"), std::string::npos) << program->Failure();
    ASSERT_EQ(Null.Messages.Errors.size(), 1u);
    EXPECT_EQ(Null.Messages.Errors[0].second, program->Failure());
    EXPECT_TRUE(Null.Application.Terminated());
}

class ProgramEndTest : public ProgramTest, public ::testing::WithParamInterface<std::pair<uint32_t, uintptr_t>> {};

TEST_P(ProgramEndTest, EscapeClosingOrLosingTheWindowEndsTheProgram) {
    Start();
    const platform::GLWindowHandle window = program->GLWindow().Handle();
    windows.Post(window, platform::wm::KeyDown, 'A');
    windows.Post(window, platform::wm::MouseMove, 0, 5 | (5 << 16));
    IdlePass();
    EXPECT_FALSE(Null.Application.Terminated()) << "other input keeps it running";
    windows.Post(window, GetParam().first, GetParam().second);
    IdlePass();
    EXPECT_TRUE(Null.Application.Terminated());
}

INSTANTIATE_TEST_SUITE_P(Messages, ProgramEndTest,
                         ::testing::Values(std::make_pair(platform::wm::KeyDown, platform::vk::Escape),
                                           std::make_pair(platform::wm::Close, uintptr_t{0}),
                                           std::make_pair(platform::wm::Destroy, uintptr_t{0})));

TEST_F(ProgramTest, TheWorldTakesTheStoredSettingsAndTheScreenCountAndGoesWithTheScene) {
    Null.Settings.Set(SettingsRoot::User, KeyPath, "FishCount", "35");
    Null.Settings.Set(SettingsRoot::User, KeyPath, "FishDirection", "Left");
    Start();
    TUnderWaterWorld* world = program->World();
    ASSERT_NE(world, nullptr);
    EXPECT_EQ(world->FApp, &program->SceneHost());
    EXPECT_EQ(world->FScene, program->Scene());
    EXPECT_EQ(world->FishCount(), 35);
    EXPECT_EQ(world->FishDirection(), fdLeft);
    EXPECT_EQ(world->ScreenCount(), 1) << "set before each frame";
    program->Stop();
    EXPECT_EQ(program->World(), nullptr);
    EXPECT_EQ(program->Scene(), nullptr);
}

TEST_F(ProgramTest, StartingGLSharesTheFishOutAgain) {
    // A stored count equal to the initial one shares nothing out at load.
    Null.Settings.Set(SettingsRoot::User, KeyPath, "FishCount", "0");
    Start();
    ASSERT_TRUE(program->GLStarted());
    TUnderWaterWorld* world = program->World();
    ASSERT_NE(world, nullptr);
    int others = 0;
    for (const std::string& name : world->SchoolNames) {
        TFishes* school = world->FindSchool(name);
        ASSERT_NE(school, nullptr) << name;
        if (school->FishType == ftFish || !school->Visible()) continue;
        ++others;
        EXPECT_GT(school->MaxCount, 0) << name;
        EXPECT_EQ(school->ParticleCount(), school->MaxCount) << name;
    }
    EXPECT_GT(others, 0) << "the shown renderer has plankton or a starfish";
}

TEST_F(ProgramTest, TheSceneReadsItsStoredSettingsThroughTheHost) {
    Null.Settings.Set(SettingsRoot::User, KeyPath, "FPS", "-1");
    Start();
    ASSERT_NE(program->Scene(), nullptr);
    EXPECT_TRUE(program->Scene()->FPSShown()) << "the stored setting, under its plain name";
}

TEST_F(ProgramTest, TheFrameRateOptionOverridesTheStoredSettingForThisRunOnly) {
    Null.Settings.Set(SettingsRoot::User, KeyPath, "FPS", "0");
    Configure(640, 480, 0, true);
    Start();
    ASSERT_NE(program->Scene(), nullptr);
    EXPECT_TRUE(program->Scene()->FPSShown());
    program->Stop();
    EXPECT_EQ(UserValue("FPS"), "0");
}

// ---------------------------------------------------------------- the scene host

TEST_F(ProgramTest, SceneSettingsLiveUnderTheUserWithPlainNamesBesideTheFrameworksOwn) {
    TProgramSceneHost& host = program->SceneHost();
    Null.Settings.Set(SettingsRoot::Machine, KeyPath, Scrambled("FixedFPS"), "-1");
    // The framework has just used its own, scrambled, machine-wide values.
    program->ScrambledNames = true;
    program->SetUseMachineKey(true);
    host.WriteInteger("FishCount", 35);
    host.WriteBool("UseLights", false);
    host.WriteString("FishDirection", "Left");
    EXPECT_EQ(UserValue("FishCount"), "35");
    EXPECT_EQ(UserValue("UseLights"), "0");
    EXPECT_EQ(UserValue("FishDirection"), "Left");
    EXPECT_FALSE(Null.Settings.Get(SettingsRoot::Machine, KeyPath, "FishCount").has_value());

    // The framework still finds its own values, and the scene's after it.
    program->LoadOptions();
    EXPECT_TRUE(program->FixedFPS);
    EXPECT_EQ(host.ReadInteger("FishCount", 0), 35);
    EXPECT_FALSE(host.ReadBool("UseLights", true));
    EXPECT_EQ(host.ReadString("FishDirection", "Both"), "Left");
    // A value only the machine has is not the user's.
    Null.Settings.Set(SettingsRoot::Machine, KeyPath, "BubbleCount", "7");
    EXPECT_EQ(host.ReadInteger("BubbleCount", 50), 50);
}

TEST_F(ProgramTest, ADamagedStoredValueGivesTheSceneItsDefault) {
    TProgramSceneHost& host = program->SceneHost();
    Null.Settings.Set(SettingsRoot::User, KeyPath, "FishCount", "12 fish");
    Null.Settings.Set(SettingsRoot::User, KeyPath, "UseLights", "perhaps");
    Null.Settings.Set(SettingsRoot::User, KeyPath, "FPS", "yes");
    EXPECT_EQ(host.ReadInteger("FishCount", 20), 20);
    EXPECT_TRUE(host.ReadBool("UseLights", true));
    EXPECT_FALSE(host.ReadBool("UseLights", false));
    Null.Settings.Set(SettingsRoot::User, KeyPath, "FishCount", "-3");
    EXPECT_EQ(host.ReadInteger("FishCount", 20), -3);
    // The program starts with such a file.
    Start();
    ASSERT_NE(program->Scene(), nullptr);
    EXPECT_FALSE(program->Scene()->FPSShown());
}

struct ViewCase {
    int32_t Width, Height;
    double Aspect;
    bool WideScreen;
};

std::ostream& operator<<(std::ostream& out, const ViewCase& c) { return out << c.Width << "x" << c.Height; }

class ProgramViewTest : public ProgramTest, public ::testing::WithParamInterface<ViewCase> {};

TEST_P(ProgramViewTest, TheViewIsTheOneTheViewportAppliesBeforeAndAfterTheFirstFrame) {
    const ViewCase c = GetParam();
    Configure(c.Width, c.Height);
    TSceneView before = program->SceneHost().View();
    EXPECT_EQ(before.WindowWidth, c.Width);
    EXPECT_EQ(before.WindowHeight, c.Height);
    EXPECT_NEAR(before.Aspect, c.Aspect, 1e-9);
    EXPECT_EQ(before.WideScreen, c.WideScreen);
    EXPECT_EQ(before.FOV, 75);
    EXPECT_EQ(before.NearDepth, 100);
    EXPECT_EQ(before.FarDepth, 11000);
    EXPECT_FLOAT_EQ(before.CameraPosition.z, -4.9999999e-05f);
    EXPECT_EQ(before.CameraPosition.x, 0);

    Start();
    ASSERT_NE(program->Viewport().GLViewport(), nullptr);
    const TGLBox& f = program->Viewport().GLViewport()->Frustum();
    TSceneView after = program->SceneHost().View();
    EXPECT_EQ(after.WideScreen, program->Viewport().WideScreen);
    EXPECT_NEAR(after.Aspect, before.Aspect, 1e-12);
    EXPECT_NEAR(f.Top, after.Top(), 1e-4);
    EXPECT_NEAR(f.Right, after.Right(), 1e-4);
}

// Wide windows are drawn 16:9; others stretch to their own shape.
INSTANTIATE_TEST_SUITE_P(Sizes, ProgramViewTest,
                         ::testing::Values(ViewCase{1280, 720, 16.0 / 9.0, true}, ViewCase{1280, 1024, 1.25, false},
                                           ViewCase{800, 600, 4.0 / 3.0, false}, ViewCase{1920, 1200, 1.6, false},
                                           ViewCase{2560, 1080, 16.0 / 9.0, true}));

TEST_F(ProgramTest, DualViewInFullScreenSpansTwoScreens) {
    display.MonitorList = {{"a", 0, 0, 1280, 720, true}, {"b", 1280, 0, 1280, 720, false}};
    Start();
    program->GLWindow().Monitor = 2;
    EXPECT_EQ(program->ScreenCount(), 1) << "windowed";
    program->GLDisplay().SetFullScreen(true);
    ASSERT_TRUE(program->IsFullScreen());
    EXPECT_EQ(program->ScreenCount(), 2);
    program->GLWindow().Monitor = 0;
    EXPECT_EQ(program->ScreenCount(), 1);
    program->GLDisplay().SetFullScreen(false);
}

// ---------------------------------------------------------------- the real program under Xvfb

using program_runner::ReadAll;
using program_runner::RunProgram;
using program_runner::RunResult;

class ProgramRunTest : public ::testing::Test {
protected:
    void SetUp() override {
        const xvfb::Server& server = xvfb::TheServer();
        ASSERT_TRUE(server.Error.empty() && server.Dpy) << server.Error;
    }
};

// Spread of the bytes of a picture: 0 for a flat colour.
double Spread(const TPicture& p) {
    if (p.Pixels.empty()) return 0;
    double sum = 0, squares = 0;
    for (uint8_t b : p.Pixels) {
        sum += b;
        squares += double(b) * b;
    }
    const double n = static_cast<double>(p.Pixels.size());
    return std::sqrt(std::max(0.0, squares / n - (sum / n) * (sum / n)));
}

double MeanDifference(const TPicture& a, const TPicture& b) {
    if (a.Pixels.size() != b.Pixels.size() || a.Pixels.empty()) return 0;
    double sum = 0;
    for (size_t i = 0; i < a.Pixels.size(); ++i) sum += std::abs(int(a.Pixels[i]) - int(b.Pixels[i]));
    return sum / static_cast<double>(a.Pixels.size());
}

TEST_F(ProgramRunTest, AFilmOfNFramesGivesNPicturesOfTheWindowsSize) {
    const fs::path dir = ScratchDir("program");
    fs::create_directories(dir / "film");
    RunResult run = RunProgram({"--size", "320x200", "--record-film", "1", "6", "film/clip"}, dir);
    ASSERT_EQ(run.ExitCode, 0) << run.Err;
    std::vector<TPicture> pictures;
    for (int i = 1; i <= 6; ++i) {
        char name[32];
        std::snprintf(name, sizeof name, "clip%05d.jpg", i);
        const fs::path file = dir / "film" / name;
        ASSERT_TRUE(fs::exists(file)) << name;
        std::string bytes = ReadAll(file);
        pictures.push_back(DecodeJPEG(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size()));
        EXPECT_EQ(pictures.back().Width, 320) << name;
        EXPECT_EQ(pictures.back().Height, 200) << name;
    }
    // The aquarium is drawn, and it moves from frame to frame.
    EXPECT_GT(Spread(pictures[0]), 10.0);
    EXPECT_GT(MeanDifference(pictures[0], pictures[5]), 1.0);
    EXPECT_FALSE(fs::exists(dir / "film" / "clip00007.jpg"));
    EXPECT_EQ(std::distance(fs::directory_iterator(dir / "film"), fs::directory_iterator()), 6);
    // The program never writes the user's settings.
    EXPECT_TRUE(fs::is_empty(dir / "config"));
}

// The saver's view on the primary screen takes the screen's whole size, not
// an empty area (which would leave the screen black).
TEST_F(ProgramRunTest, TheFullScreenSaverDrawsOverThePrimaryScreen) {
    const fs::path dir = ScratchDir("program");
    fs::create_directories(dir / "film");
    RunResult run = RunProgram({"-s", "--record-film", "1", "2", "film/saver"}, dir);
    ASSERT_EQ(run.ExitCode, 0) << run.Err;
    const std::string bytes = ReadAll(dir / "film" / "saver00002.jpg");
    ASSERT_FALSE(bytes.empty());
    const TPicture picture = DecodeJPEG(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size());
    XWindowAttributes root {};
    ASSERT_TRUE(XGetWindowAttributes(xvfb::TheServer().Dpy, DefaultRootWindow(xvfb::TheServer().Dpy), &root));
    const int32_t width = root.width, height = root.height;
    ASSERT_EQ(picture.Width, width);
    ASSERT_EQ(picture.Height, height);
    // Each quarter of the screen shows the aquarium.
    for (int qy = 0; qy < 2; ++qy)
        for (int qx = 0; qx < 2; ++qx) {
            TPicture quarter;
            quarter.Width = width / 2;
            quarter.Height = height / 2;
            const size_t bpp = picture.Pixels.size() / (static_cast<size_t>(width) * height);
            for (int y = 0; y < quarter.Height; ++y) {
                const size_t row = (static_cast<size_t>(qy * quarter.Height + y) * width + qx * quarter.Width) * bpp;
                quarter.Pixels.insert(quarter.Pixels.end(), picture.Pixels.begin() + static_cast<ptrdiff_t>(row),
                                      picture.Pixels.begin() + static_cast<ptrdiff_t>(row + quarter.Width * bpp));
            }
            EXPECT_GT(Spread(quarter), 10.0) << "quarter " << qx << "," << qy << " is flat";
        }
}

TEST_F(ProgramRunTest, AFilmThatCannotBeWrittenFailsWithTheReason) {
    const fs::path dir = ScratchDir("program");
    RunResult run = RunProgram({"--size", "64x48", "--record-film", "1", "2", "missing/clip"}, dir);
    EXPECT_EQ(run.ExitCode, 1);
    EXPECT_NE(run.Err.find("missing/clip00001.jpg"), std::string::npos) << run.Err;
}

TEST_F(ProgramRunTest, ARunWithAFrameLimitEndsWellAndReportsItsTimings) {
    const fs::path dir = ScratchDir("program");
    RunResult run = RunProgram({"--size", "320x240", "--frames", "5", "--fps"}, dir);
    EXPECT_EQ(run.ExitCode, 0) << run.Err;
    EXPECT_EQ(run.Out.rfind("5 frames; first frame ", 0), 0u) << run.Out;
}

TEST_F(ProgramRunTest, WithoutAReachableDisplayTheProgramSaysSoInItsOwnWords) {
    const fs::path dir = ScratchDir("program");
    RunResult run = RunProgram({"--frames", "1"}, dir, std::chrono::seconds(60), ":97");
    EXPECT_EQ(run.ExitCode, 1);
    EXPECT_NE(run.Err.find("The X display \":97\" cannot be opened"), std::string::npos) << run.Err;
    EXPECT_EQ(run.Err.find("Windows"), std::string::npos) << run.Err;
    run = RunProgram({"--window-id", "0x7ffffff"}, dir, std::chrono::seconds(60));
    EXPECT_EQ(run.ExitCode, 2);
    EXPECT_NE(run.Err.find("no window 0x7ffffff"), std::string::npos) << run.Err;
}

// Settings damaged by a crash or a disk error: binary junk, a cut value of
// the framework's own, a huge line, truncated lines. The saver still runs,
// on defaults, and one line says why.
TEST_F(ProgramRunTest, ADamagedSettingsFileStillRunsAndSaysSo) {
    const fs::path dir = ScratchDir("program");
    const fs::path file = dir / "config" / "Tarnwick Software" / "3D Marivelle 4.conf";
    fs::create_directories(file.parent_path());
    std::string fixedFPS = "FixedFPS";
    for (char& c : fixedFPS) c = static_cast<char>(~static_cast<unsigned char>(c));
    std::string escaped;
    for (unsigned char c : fixedFPS) {
        char hex[5];
        std::snprintf(hex, sizeof hex, "\\x%02X", c);
        escaped += hex;
    }
    std::string junk;
    uint32_t seed = 3;
    for (int i = 0; i < 2000; ++i) junk += static_cast<char>(((seed = seed * 1664525u + 1013904223u) >> 24) | 1);
    std::ofstream(file, std::ios::binary) << junk << "\n" << escaped << "=-\nFishCount=12 fi\nFPS=\\x0\n"
                                          << std::string(300000, 'w') << "\nUseLights";
    RunResult run = RunProgram({"--size", "160x120", "--frames", "2"}, dir);
    EXPECT_EQ(run.ExitCode, 0) << run.Err;
    EXPECT_EQ(run.Out.rfind("2 frames; first frame ", 0), 0u) << run.Out;
    const std::string line = "Settings file \"" + file.string() + "\" ";
    EXPECT_EQ(run.Err.rfind(line, 0), 0u) << run.Err;
    EXPECT_EQ(run.Err.find(line, 1), std::string::npos) << "said once, not at every reading:\n" << run.Err;
}

TEST_F(ProgramRunTest, BadOptionsGiveTheUsageAndExitCodeTwo) {
    const fs::path dir = ScratchDir("program");
    RunResult run = RunProgram({"--frames", "none"}, dir);
    EXPECT_EQ(run.ExitCode, 2);
    EXPECT_NE(run.Err.find("--frames needs"), std::string::npos) << run.Err;
    EXPECT_NE(run.Err.find("Usage: "), std::string::npos) << run.Err;
    run = RunProgram({"--help"}, dir);
    EXPECT_EQ(run.ExitCode, 0);
    EXPECT_EQ(run.Out.rfind("Usage: ", 0), 0u);
}

}  // namespace
