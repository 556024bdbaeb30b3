// The screen-saver host over the platform doubles: roles from the command
// line, the exit rules, the power timers and the system's sleep notice.
#include "app/program.h"

#include "core/errors.h"
#include "test_support.h"
#include "platform/null/display_null.h"
#include "platform/null/gl_context_null.h"
#include "platform/null/gl_library_null.h"
#include "platform/null/gl_window_null.h"
#include "platform/null/null_services.h"
#include "render/gl_recorder.h"
#include "render/recording_context.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <numeric>

namespace {

namespace wm = platform::wm;

TEST(SaverCommandLine, RolesAndParentWindowsAsTheDesktopsPassThem) {
    struct Case {
        std::vector<std::string> Args;
        const char* Ext;
        TSaverRole Role;
        uintptr_t Parent;
    };
    const std::vector<Case> cases = {
        {{"/c:1234"}, ".SCR", srConfig, 1234}, {{"/p", "5678"}, ".SCR", srPreview, 5678},
        {{"-S"}, ".SCR", srSaver, 0},          {{}, ".SCR", srConfig, 0},
        {{}, ".EXE", srProgram, 0},            {{"/x"}, ".EXE", srProgram, 0},
        {{"-l", "42"}, ".EXE", srPreview, 42}, {{"/a"}, ".EXE", srPassword, 0},
        // Long options never look like switches: the letter must be second.
        {{"--size", "1x1"}, ".EXE", srProgram, 1},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(RoleFromArguments(c.Args, c.Ext), c.Role) << (c.Args.empty() ? "(none)" : c.Args[0]);
        if (c.Role == srPreview || c.Role == srConfig) {
            EXPECT_EQ(ParentHandleFromArguments(c.Args, 0), c.Parent) << (c.Args.empty() ? "(none)" : c.Args[0]);
        }
    }
    EXPECT_THROW(ParentHandleFromArguments({"/p", "0x1F"}, 0), EConvertError);
    EXPECT_THROW(ParentHandleFromArguments({"/c:abc"}, 0), EConvertError);

    // The saver daemons' conventions, and the one-run overrides.
    TProgramOptions o = ParseProgramOptions({"--window-id", "0x2a00007", "--water", "5", "--clock", "12"});
    EXPECT_EQ(o.Error, "");
    EXPECT_TRUE(o.WindowIdGiven);
    EXPECT_EQ(o.WindowId, 0x2a00007u);
    EXPECT_EQ(o.Overrides.Water, 4);
    EXPECT_EQ(o.Overrides.ClockMode, 2);
    o = ParseProgramOptions({}, "44040199");
    EXPECT_TRUE(o.Root) << "a daemon starting us bare wants its window filled";
    EXPECT_EQ(o.WindowId, 44040199u);
    EXPECT_TRUE(ParseProgramOptions({"-root"}).Root);
    for (const std::vector<std::string>& bad :
         {std::vector<std::string>{"--water", "7"}, {"--fish-count", "101"}, {"--volume", "x"}, {"--clock", "13"},
          {"--direction", "up"}, {"--window-id", "zz"}, {"--root", "-s"}, {"--render-scale", "75"}})
        EXPECT_FALSE(ParseProgramOptions(bad).Error.empty()) << bad[0];
}

// The host in a role over every double, started as the loop starts it.
class ScreenSaverTest : public ::testing::Test {
protected:
    void Make(const std::vector<std::string>& args, const char* ext = ".EXE") {
        library.Available.insert(platform::GLLibraryFileName(false));
        OfferGLTable(library, false);
        rec.Strings[GL_VERSION] = "1.4 Test";
        rec.Strings[GL_EXTENSIONS] = "";
        binding.Formats = {WindowPixelFormat()};
        display.Modes = {{640, 480, 16, 60}, {1280, 720, 32, 60}};
        display.MonitorList = {{"a", 0, 0, 1280, 720, true}};
        TProgramOptions options = ParseProgramOptions(args);
        ASSERT_EQ(options.Error, "");
        saver = std::make_unique<TAquariumProgram>(options, ext, Null.Get(),
                                                   TGLPlatform{&library, &binding, &windows, &display});
        saver->Loaded();
        if (!Ended()) Idle();
    }
    bool Idle() {
        auto done = Null.Application.IdleOnce();
        return done.value_or(true);
    }
    // Posts a message to the saver's window and runs one pass.
    void Send(uint32_t msg, uintptr_t wParam = 0, intptr_t lParam = 0) {
        windows.Post(saver->GLWindow().Handle(), msg, wParam, lParam);
        Idle();
    }
    bool Ended() const { return Null.Application.Terminated(); }

    TGLRecorder rec;
    platform::NullGLLibrary library;
    platform::NullGLContext binding;
    platform::NullGLWindows windows;
    platform::NullDisplaySettings display;
    platform::NullServices Null;
    std::unique_ptr<TAquariumProgram> saver;
};

TEST_F(ScreenSaverTest, TheSaverCoversThePrimaryMonitorHidesTheCursorAndEndsOnRealInputOnly) {
    Make({"-s"});
    ASSERT_TRUE(saver->IsFullScreen());
    ASSERT_FALSE(windows.Created.empty());
    const platform::GLWindowParams& made = windows.Created.back();
    EXPECT_TRUE(made.FullScreen);
    EXPECT_EQ(made.Width, 1280);
    EXPECT_EQ(made.Height, 720);
    EXPECT_NE(std::find(Null.Application.Log.begin(), Null.Application.Log.end(), "ShowCursor(0)"),
              Null.Application.Log.end());
    for (uintptr_t key : {platform::vk::Shift, platform::vk::Control, platform::vk::Snapshot})
        Send(wm::KeyDown, key);
    Send(wm::LButtonDown);
    Send(wm::MouseMove, 0, 100 | (100 << 16));  // MouseMoveExit is off
    EXPECT_FALSE(Ended()) << "modifier keys, a button press and moves leave the saver running";
    Send(wm::RButtonUp);
    EXPECT_TRUE(Ended());
    EXPECT_FALSE(saver->IsFullScreen()) << "the display is restored before the end";
}

TEST_F(ScreenSaverTest, WithMouseMoveExitOnlyALargeMoveAfterTheSettlingMovesEnds) {
    Make({"-s"});
    saver->MouseMoveExit = true;
    auto move = [&](int x, int y) { Send(wm::MouseMove, 0, x | (y << 16)); };
    for (int i = 0; i < 5; ++i) move(500 * i, 300 * i);  // ignored while the pointer settles
    move(10, 10);                                       // the reference point
    move(13, 10);                                       // 3 px in x alone
    move(11, 12);                                       // 1 and 2 px
    EXPECT_FALSE(Ended());
    move(13, 13);
    EXPECT_TRUE(Ended());
}

TEST_F(ScreenSaverTest, AReferencePointLeftOfTheWindowCountsLikeAnyOther) {
    Make({"-s"});
    saver->MouseMoveExit = true;
    for (int i = 0; i < 5; ++i) Send(wm::MouseMove, 0, 0);
    Send(wm::MouseMove, 0, 0xFFFFFFFF);  // (-1, -1): a captured pointer beyond the edge
    Send(wm::MouseMove, 0, 2 | (2 << 16));
    EXPECT_TRUE(Ended()) << "3 px in x and y from the reference point";
}

TEST_F(ScreenSaverTest, PowerTimersFireOnceFromTheFrameTimersStart) {
    Make({"-s"});
    saver->SetPowerOffIndex(4);
    saver->SetMonitorOffIndex(1);
    EXPECT_EQ(saver->PowerOffTime(), 300.0f);
    EXPECT_TRUE(saver->SuspendEnabled);
    Null.Clock.Tick += 61'000;
    Idle();
    EXPECT_EQ(Null.Power.MonitorOffs, 1);
    EXPECT_EQ(Null.Power.Suspends, 0);
    EXPECT_TRUE(Null.Power.SleepQueriesAllowed) << "suspending is allowed, so is a system asking to sleep";
    EXPECT_EQ(saver->Viewport().ClearMode, cmColor) << "frames only clear to black once the monitor is off";
    Null.Clock.Tick += 240'000;
    Idle();
    Null.Clock.Tick += 10'000;
    Idle();
    EXPECT_EQ(Null.Power.Suspends, 1) << "suspended once, never again";
    EXPECT_EQ(Null.Power.MonitorOffs, 1);
    EXPECT_EQ(saver->PowerOffTime(), -1.0f);
    saver->SetPowerOffIndex(0);
    EXPECT_FALSE(saver->SuspendEnabled);
    Idle();
    EXPECT_FALSE(Null.Power.SleepQueriesAllowed) << "with no power-off time, a system asking to sleep is refused";
}

TEST_F(ScreenSaverTest, TheSystemGoingToSleepEndsTheSaver) {
    Make({"-s"});
    saver->SetPowerOffIndex(2);  // suspending allowed
    Null.Power.SleepNotice = true;
    Idle();
    EXPECT_TRUE(Ended());
    EXPECT_FALSE(saver->IsFullScreen());
}

TEST_F(ScreenSaverTest, APreviewFillsItsParentAndEndsWhenTheParentGoes) {
    windows.ForeignSizes[0x77] = {320, 240};
    Make({"-p", "119"});
    EXPECT_EQ(saver->Role(), srPreview);
    ASSERT_FALSE(windows.Created.empty());
    EXPECT_EQ(windows.Created.back().Parent, 0x77u);
    EXPECT_EQ(windows.Created.back().Width, 320);
    Send(wm::KeyDown, 'A');
    EXPECT_FALSE(Ended()) << "the exit rules are the full screen's";
    Send(wm::Destroy);
    EXPECT_TRUE(Ended());
}

TEST_F(ScreenSaverTest, TheConfigurationRoleLeavesRoomOnEveryPassAndPausedPassesLetTheLoopWait) {
    Make({"-c"});
    Null.Clock.Sleeps.clear();
    Idle();
    const uint32_t config = std::accumulate(Null.Clock.Sleeps.begin(), Null.Clock.Sleeps.end(), 0u);
    EXPECT_GE(config, 5u) << "the graphic level's 1 ms and the dialog's 4 ms";
    saver->SetPaused(true);
    EXPECT_TRUE(Idle()) << "nothing to draw: the loop may wait for a message";
    Send(wm::Close);
    EXPECT_TRUE(Ended()) << "closing is seen while paused";
}

// The host's own stored values carry complemented names.
std::string Scrambled(const std::string& name) {
    std::string out;
    for (unsigned char c : name) out += static_cast<char>(~c);
    return out;
}

TEST_F(ScreenSaverTest, ASaverFileSetToRunAsProgramHandsTheRunToItsCompanionAndDrawsWhileItWaits) {
    const std::string key = "Software\\Tarnwick Software\\3D Marivelle 4";
    Null.Settings.Set(platform::SettingsRoot::User, key, Scrambled("RunAsProgram"), "1");
    Null.Settings.Set(platform::SettingsRoot::User, key, Scrambled("DataPath"), "/srv/fish/");
    Null.Paths.Executable = "/opt/marivelle/marivelle.scr";
    Null.Processes.PollsUntilExit = 3;
    Null.Application.MainForm = false;  // closing ends the loop
    Make({"/p", "5678"}, ".SCR");
    ASSERT_EQ(Null.Processes.Started.size(), 1u);
    const platform::ProcessStart& start = Null.Processes.Started[0];
    EXPECT_EQ(start.File, "/srv/fish/marivelle.EXE");
    EXPECT_EQ(start.Parameters, "/p 5678");
    EXPECT_EQ(start.Directory, "/srv/fish/");
    EXPECT_EQ(start.ShowCommand, 5u);
    EXPECT_EQ(Null.Processes.OwnPriorities, std::vector<uint32_t>{0x40}) << "we wait at idle priority";
    EXPECT_EQ(saver->FramesDrawn(), 3) << "a frame on each pass of the wait";
    EXPECT_EQ(std::count(Null.Clock.Sleeps.begin(), Null.Clock.Sleeps.end(), 100u), 3);
    EXPECT_TRUE(Null.Application.Logged("HideMainForm"));
    EXPECT_TRUE(Ended()) << "the run ends with the companion's";
    EXPECT_FALSE(saver->IsFullScreen()) << "the saver role's own set-up never runs";

    // A launcher that fails outright is named with the program and the first argument.
    saver.reset();
    Null.Processes.CreateThrows = true;
    Null.Application.IsTerminated = false;
    const std::string error = ErrorOf([&] { Make({"/s"}, ".SCR"); });
    EXPECT_EQ(error, "TGLScreenSaver.StartAsProgram error: run /srv/fish/marivelle.EXE /s");
}

TEST_F(ScreenSaverTest, TheHelpPageOpensFromTheDataFolderOrAnInstalledTreeAndIsMissedInWords) {
    const std::filesystem::path root = ScratchDir("help");
    std::filesystem::create_directories(root / "usr/bin");
    std::filesystem::create_directories(root / "usr/share/doc/marivelle");
    Null.Paths.Executable = (root / "usr/bin/marivelle").string();
    Make({"-c"});
    const size_t errors = Null.Messages.Errors.size();
    EXPECT_FALSE(saver->ShowHelp());
    EXPECT_TRUE(Null.Processes.Opened.empty());
    ASSERT_EQ(Null.Messages.Errors.size(), errors + 1);
    EXPECT_NE(Null.Messages.Errors.back().second.find("Help.html"), std::string::npos);

    WriteText(root / "usr/share/doc/marivelle/Help.html", "<html></html>");
    EXPECT_TRUE(saver->ShowHelp());
    EXPECT_EQ(Null.Processes.Opened.back(), (root / "usr/share/doc/marivelle/Help.html").string());
    WriteText(root / "usr/bin/Help.html", "<html></html>");
    EXPECT_TRUE(saver->ShowHelp());
    EXPECT_EQ(Null.Processes.Opened.back(), (root / "usr/bin/Help.html").string()) << "the data folder comes first";

    Null.Processes.OpenError = "no browser";
    EXPECT_FALSE(saver->ShowHelp());
    EXPECT_NE(Null.Messages.Errors.back().second.find("no browser"), std::string::npos);
}

struct PasswordCall {
    std::string Provider;
    uintptr_t Parent = 0;
    int Calls = 0;
} passwordCall;

uint32_t FakePasswordChange(const char* provider, uintptr_t parent, uint32_t, uint32_t) {
    passwordCall.Provider = provider;
    passwordCall.Parent = parent;
    ++passwordCall.Calls;
    return 0;
}

TEST_F(ScreenSaverTest, ThePasswordRoleCallsTheSystemsChangeWhenThereIsOneAndEnds) {
    passwordCall = {};
    Make({"/a:77"});
    EXPECT_EQ(passwordCall.Calls, 0) << "no such library: no dialog";
    EXPECT_EQ(Null.Processes.LibraryRequests, std::vector<std::string>{"/usr/lib/MPR.DLL"});
    EXPECT_TRUE(Null.Application.Logged("CloseMainForm"));

    saver.reset();
    Null.Processes.Libraries["/usr/lib/MPR.DLL"]["PwdChangePasswordA"] = reinterpret_cast<void*>(&FakePasswordChange);
    Make({"/a:77"});
    EXPECT_EQ(passwordCall.Calls, 1);
    EXPECT_EQ(passwordCall.Provider, "SCRSAVE");
    EXPECT_EQ(passwordCall.Parent, 77u);
    EXPECT_EQ(Null.Processes.Loaded, 0) << "the library is freed after use";
    EXPECT_EQ(saver->SystemLibrary(), 0u);
}

struct VerifyCall {
    int32_t Answer = 0;
    uintptr_t Window = 0;
    int Calls = 0;
} verifyCall;

int32_t FakeVerify(uintptr_t window) {
    verifyCall.Window = window;
    ++verifyCall.Calls;
    return verifyCall.Answer;
}

TEST_F(ScreenSaverTest, ASaverPasswordChosenInTheSystemIsCheckedBeforeTheSaverEnds) {
    verifyCall = {};
    Null.Settings.Set(platform::SettingsRoot::User, "Control Panel\\desktop", "ScreenSaveUsePassword", "1");
    Null.Processes.Libraries["/usr/lib/PASSWORD.CPL"]["VerifyScreenSavePwd"] = reinterpret_cast<void*>(&FakeVerify);
    windows.Foreground = 0x99;
    Make({"-s"});
    ASSERT_TRUE(saver->PasswordInUse());
    Send(wm::KeyDown, 'A');
    EXPECT_EQ(verifyCall.Calls, 1);
    EXPECT_EQ(verifyCall.Window, 0x99u) << "the check's dialog belongs to the foreground window";
    EXPECT_FALSE(Ended()) << "a wrong password keeps the saver running";
    EXPECT_TRUE(saver->IsFullScreen());
    EXPECT_EQ(Null.Processes.Loaded, 0) << "the library is freed after each check";
    verifyCall.Answer = 1;
    Send(wm::KeyDown, 'A');
    EXPECT_EQ(verifyCall.Calls, 2);
    EXPECT_TRUE(Ended());

    // Without the system's check the saver simply ends.
    saver.reset();
    Null.Processes.Libraries.clear();
    Null.Application.IsTerminated = false;
    Make({"-s"});
    Send(wm::KeyDown, 'A');
    EXPECT_TRUE(Ended());
    EXPECT_EQ(verifyCall.Calls, 2);
}

TEST_F(ScreenSaverTest, TheSystemKnowsTheSaverRunsAndTheSettingsCallerWaitsForTheDialog) {
    Make({"-s"});
    EXPECT_EQ(Null.Power.SaverRunning, std::vector<bool>{true});
    saver.reset();
    EXPECT_EQ(Null.Power.SaverRunning, (std::vector<bool>{true, false}));

    Make({"/c:1234"});
    EXPECT_EQ(windows.Disabled, std::set<platform::GLWindowHandle>{1234});
    saver.reset();
    EXPECT_TRUE(windows.Disabled.empty()) << "the display settings take input again";
    EXPECT_EQ(Null.Power.SaverRunning.size(), 2u) << "the settings are no running saver";
}

}  // namespace
