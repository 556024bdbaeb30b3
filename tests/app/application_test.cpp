#include "app/application.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <stdexcept>

#include "platform/null/null_services.h"
#include "core/errors.h"
#include "small_file_system.h"

namespace {

using platform::SettingsRoot;
namespace fs = std::filesystem;

std::string Scrambled(std::string name) {
    for (char& c : name) c = static_cast<char>(~static_cast<unsigned char>(c));
    return name;
}

class ApplicationTest : public ::testing::Test {
protected:
    platform::NullServices Null;

    std::unique_ptr<TCustomGraphicApplicationPro> Make() {
        auto app = std::make_unique<TCustomGraphicApplicationPro>(Null.Get());
        app->Title = "3D Marivelle";
        app->Company = "Marivelle Works";
        return app;
    }

    // One pass of the application's idle hook, as the message loop runs it.
    void IdlePass() {
        auto done = Null.Application.IdleOnce();
        ASSERT_TRUE(done.has_value()) << "idle hook detached";
        EXPECT_FALSE(*done);
    }
};

// ---------------------------------------------------------------- TTime, TTimerPro

TEST(TimeTest, SplitsMillisecondsAndResets) {
    TTime t;
    t.SetTime(1 * 86400000u + 2 * 3600000u + 3 * 60000u + 4 * 1000u + 5u);
    EXPECT_EQ(t.Day(), 1);
    EXPECT_EQ(t.Hour(), 2);
    EXPECT_EQ(t.Min(), 3);
    EXPECT_EQ(t.Sec(), 4);
    EXPECT_EQ(t.MSec(), 5);
    EXPECT_EQ(t.Seconds(), 93784.005L);
    t.SetTime(0xFFFFFFFFu);  // the largest tick still splits
    EXPECT_EQ(t.Day(), 49);
    EXPECT_EQ(t.MSec(), 295);
    t.Reset();
    EXPECT_EQ(t.Time(), 0u);
    EXPECT_EQ(t.Day() + t.Hour() + t.Min() + t.Sec() + t.MSec(), 0);
}

TEST(TimerTest, StartsOnceAndAccumulatesTicks) {
    platform::ManualClock clock;
    clock.Tick = 5000;
    TTimerPro timer(clock);
    EXPECT_FALSE(timer.Running());
    clock.Tick = 5400;
    EXPECT_EQ(timer.Elapsed().Time(), 0u) << "a stopped timer does not count";

    timer.Start();
    clock.Tick = 5650;
    EXPECT_EQ(timer.Elapsed().Time(), 250u);
    clock.Tick = 6000;
    timer.Start();  // already running: neither reset nor re-based
    EXPECT_EQ(timer.Elapsed().Time(), 600u);
}

TEST(TimerTest, BackwardStepAddsNothingButMovesTheReference) {
    platform::ManualClock clock;
    clock.Tick = 1000;
    TTimerPro timer(clock);
    timer.Start();
    clock.Tick = 1300;
    EXPECT_EQ(timer.Elapsed().Time(), 300u);
    EXPECT_EQ(timer.Elapsed().Time(), 300u) << "zero difference";
    clock.Tick = 1200;
    EXPECT_EQ(timer.Elapsed().Time(), 300u) << "negative difference";
    clock.Tick = 1250;
    EXPECT_EQ(timer.Elapsed().Time(), 350u) << "counted from the tick seen last";
}

TEST(TimerTest, CountsAcrossTheTickWrapAround) {
    platform::ManualClock clock;
    clock.Tick = 0xFFFFFF00u;
    TTimerPro timer(clock);
    timer.Start();
    clock.Tick = 0x00000100u;
    EXPECT_EQ(timer.Elapsed().Time(), 0x200u);
    EXPECT_EQ(timer.Elapsed().Seconds(), 0.512L);
}

TEST(TimerTest, RequestsTheFinestPeriodAndReleasesIt) {
    platform::ManualClock clock;
    clock.MinPeriod = 5;
    {
        TTimerPro timer(clock);
        EXPECT_EQ(timer.Period(), 5);
        EXPECT_EQ(clock.Begun, std::vector<uint32_t>{5});
        EXPECT_TRUE(clock.Ended.empty());
    }
    EXPECT_EQ(clock.Ended, std::vector<uint32_t>{5});

    platform::ManualClock zero;
    zero.MinPeriod = 0;
    TTimerPro atLeastOne(zero);
    EXPECT_EQ(atLeastOne.Period(), 1);
}

TEST(TimerTest, FallsBackToOneMillisecondWithoutAPeriodOfItsOwn) {
    platform::ManualClock noCaps;
    noCaps.CapsFail = true;
    {
        TTimerPro timer(noCaps);
        EXPECT_EQ(timer.Period(), -1);
        EXPECT_EQ(noCaps.Begun, std::vector<uint32_t>{1});
    }
    EXPECT_EQ(noCaps.Ended, std::vector<uint32_t>{1}) << "the 1 ms request is released too";

    platform::ManualClock refused;
    refused.MinPeriod = 3;
    refused.RefusedPeriods = {3};
    { TTimerPro timer(refused); EXPECT_EQ(timer.Period(), -1); }
    EXPECT_EQ(refused.Begun, std::vector<uint32_t>{1});
    EXPECT_EQ(refused.Ended, std::vector<uint32_t>{1});

    platform::ManualClock nothing;
    nothing.MinPeriod = 3;
    nothing.RefusedPeriods = {1, 3};
    { TTimerPro timer(nothing); }
    EXPECT_TRUE(nothing.Ended.empty()) << "nothing granted, nothing released";
}

// ---------------------------------------------------------------- construction, Initialize

TEST_F(ApplicationTest, FirstFrameworkIsTheInstanceAndLeavesNoHooksBehind) {
    {
        auto app = Make();
        EXPECT_EQ(TCustomApplicationPro::Instance(), app.get());
        platform::NullServices other;
        auto second = std::make_unique<TCustomApplicationPro>(other.Get());
        EXPECT_EQ(TCustomApplicationPro::Instance(), app.get());
        second.reset();
        EXPECT_EQ(TCustomApplicationPro::Instance(), app.get()) << "only the instance clears the pointer";
        EXPECT_TRUE(Null.Application.IdleAttached());
        EXPECT_EQ(app->FPS(), 1) << "never 0, also before any measurement";
        EXPECT_EQ(app->State(), TApplicationState::Stopped);
    }
    EXPECT_EQ(TCustomApplicationPro::Instance(), nullptr);
    EXPECT_FALSE(Null.Application.IdleAttached());
    EXPECT_FALSE(Null.Application.Handlers.Exception);
    EXPECT_TRUE(Null.Application.Logged("HideApplicationWindow"));
}

TEST_F(ApplicationTest, IncompleteServicesAreRefused) {
    platform::Services services = Null.Get();
    services.Power = nullptr;
    EXPECT_THROW(TCustomApplicationPro app(services), Exception);
}

TEST_F(ApplicationTest, InitializeDerivesNamesAndPathsFromTheProgram) {
    Null.Paths.Executable = "/opt/marivelle/marivelle.bin.x";
    auto app = Make();
    app->Loaded();
    EXPECT_EQ(app->ExeName, "marivelle.bin.x");
    EXPECT_EQ(app->AppName, "marivelle") << "up to the first dot";
    EXPECT_EQ(app->AppPath, "/opt/marivelle/");
    EXPECT_EQ(app->DataPath, "/opt/marivelle/");
    EXPECT_EQ(app->SystemPath, "/usr/lib/");
    EXPECT_EQ(app->WindowsPath, "/usr/");
    EXPECT_EQ(app->LogFileName, "/opt/marivelle/marivelle.log");
    EXPECT_EQ(Null.Instances.Requests, std::vector<std::string>{"marivelleSemaphore"});
}

TEST_F(ApplicationTest, ProgramNameWithoutADotIsTheWholeName) {
    Null.Paths.Executable = "/usr/games/marivelle";
    auto app = Make();
    app->Initialize();
    EXPECT_EQ(app->AppName, "marivelle");
    EXPECT_EQ(app->LogFileName, "/usr/games/marivelle.log");
    EXPECT_EQ(Null.Instances.Requests, std::vector<std::string>{"marivelleSemaphore"});
}

TEST_F(ApplicationTest, TitleGoesToTheApplicationOrComesFromIt) {
    auto app = Make();
    app->Initialize();
    EXPECT_EQ(Null.Application.AppTitle, "3D Marivelle");

    platform::NullServices other;
    other.Application.AppTitle = "From the toolkit";
    TCustomApplicationPro untitled(other.Get());
    untitled.Initialize();
    EXPECT_EQ(untitled.Title, "From the toolkit");
}

TEST_F(ApplicationTest, SecondInstanceBowsOutSilently) {
    auto first = Make();
    first->Initialize();
    EXPECT_FALSE(Null.Application.IsTerminated);

    platform::NullServices second;
    platform::Services services = second.Get();
    services.Instance = &Null.Instances;  // the same session
    {
        TCustomApplicationPro app(services);
        app.SetLogFile(true);
        app.Initialize();
        EXPECT_FALSE(app.LogFile());
        EXPECT_TRUE(second.Application.IsTerminated);
        EXPECT_EQ(second.Application.ShowMainForm, std::optional<bool>(false));
        EXPECT_TRUE(second.Application.Logged("ClearMainFormHandlers"));
        EXPECT_TRUE(second.Application.Logged("HideMainForm"));
        EXPECT_TRUE(second.Messages.Errors.empty());
    }

    first->Initialize();  // running it again must not take ourselves for another
    EXPECT_FALSE(Null.Application.IsTerminated);

    first.reset();  // the lock goes with the framework
    platform::NullServices third;
    services = third.Get();
    services.Instance = &Null.Instances;
    TCustomApplicationPro app(services);
    app.Initialize();
    EXPECT_FALSE(third.Application.IsTerminated);
}

TEST_F(ApplicationTest, LockFailureIsNotASecondInstance) {
    Null.Instances.Fail = true;
    auto app = Make();
    app->Initialize();
    EXPECT_FALSE(Null.Application.IsTerminated);

    Null.Instances.Fail = false;
    auto unchecked = Make();
    unchecked->SingleInstance = false;
    Null.Instances.Requests.clear();
    unchecked->Initialize();
    EXPECT_TRUE(Null.Instances.Requests.empty());
}

// ---------------------------------------------------------------- settings store

TEST_F(ApplicationTest, KeyPathHasACompanySegmentOnlyWhenSet) {
    auto app = Make();
    EXPECT_EQ(app->KeyPath(), "Software\\Marivelle Works\\3D Marivelle 1");
    app->Company = "";
    app->MajorVersion = "2";
    EXPECT_EQ(app->KeyPath(), "Software\\3D Marivelle 2");
}

TEST_F(ApplicationTest, ValuesRoundTripAsStrings) {
    auto app = Make();
    app->WriteString("Name", "value");
    app->WriteBool("Yes", true);
    app->WriteBool("No", false);
    app->WriteInteger("Count", -42);
    const std::string key = app->KeyPath();
    EXPECT_EQ(Null.Settings.Get(SettingsRoot::User, key, "Yes"), "-1");
    EXPECT_EQ(Null.Settings.Get(SettingsRoot::User, key, "No"), "0");
    EXPECT_EQ(Null.Settings.Get(SettingsRoot::User, key, "Count"), "-42");
    EXPECT_FALSE(Null.Settings.Get(SettingsRoot::Machine, key, "Name"));

    EXPECT_EQ(app->ReadString("Name", "x"), "value");
    EXPECT_TRUE(app->ReadBool("Yes", false));
    EXPECT_FALSE(app->ReadBool("No", true));
    EXPECT_EQ(app->ReadInteger("Count", 0), -42);
    EXPECT_EQ(app->ReadString("Missing", "fallback"), "fallback");
    EXPECT_TRUE(app->ReadBool("Missing", true));
    EXPECT_EQ(app->ReadInteger("Missing", 7), 7);
}

TEST_F(ApplicationTest, ScrambledNamesComplementEveryByte) {
    auto app = Make();
    app->ScrambledNames = true;
    app->WriteString("Ab\x7F", "v");
    auto& values = Null.Settings.User.Keys[app->KeyPath()];
    ASSERT_EQ(values.size(), 1u);
    EXPECT_EQ(values.begin()->first, std::string("\xBE\x9D\x80"));
    EXPECT_EQ(app->ReadString("Ab\x7F", ""), "v");
    app->ScrambledNames = false;
    EXPECT_EQ(app->ReadString("Ab\x7F", "plain"), "plain");
}

TEST_F(ApplicationTest, MachineValueWinsOverTheUsers) {
    auto app = Make();
    const std::string key = app->KeyPath();
    Null.Settings.Set(SettingsRoot::Machine, key, "Both", "machine");
    Null.Settings.Set(SettingsRoot::User, key, "Both", "user");
    Null.Settings.Set(SettingsRoot::User, key, "UserOnly", "mine");
    app->SetUseMachineKey(true);
    EXPECT_EQ(app->ReadString("Both", ""), "machine");
    EXPECT_EQ(app->ReadString("UserOnly", ""), "mine");
    EXPECT_TRUE(app->UseMachineKey()) << "restored after looking under the user root";
    EXPECT_EQ(app->ReadString("Nowhere", "d"), "d");
    EXPECT_TRUE(app->UseMachineKey());
}

TEST_F(ApplicationTest, UnreadableMachineValuesFallBackToTheUserForGood) {
    auto app = Make();
    const std::string key = app->KeyPath();
    Null.Settings.Set(SettingsRoot::Machine, key, "V", "machine");
    Null.Settings.Set(SettingsRoot::User, key, "V", "user");
    Null.Settings.Machine.FailRead = true;
    app->SetUseMachineKey(true);
    EXPECT_EQ(app->ReadString("V", ""), "user");
    EXPECT_FALSE(app->UseMachineKey());

    // A machine key that cannot be opened has no values; the machine root
    // stays the first place to look.
    Null.Settings.Machine.FailRead = false;
    Null.Settings.Machine.FailOpen = true;
    app->SetUseMachineKey(true);
    EXPECT_EQ(app->ReadString("V", ""), "user");
    EXPECT_TRUE(app->UseMachineKey());

    Null.Settings.User.FailOpen = true;
    app->SetUseMachineKey(true);
    EXPECT_EQ(app->ReadString("V", "default"), "default");
}

TEST_F(ApplicationTest, WriteFallsBackToTheUserWhenTheMachineRootIsUnwritable) {
    auto app = Make();
    const std::string key = app->KeyPath();
    Null.Settings.Machine.FailWrite = true;
    app->SetUseMachineKey(true);
    app->WriteString("V", "1");
    EXPECT_EQ(Null.Settings.Get(SettingsRoot::User, key, "V"), "1");
    EXPECT_FALSE(app->UseMachineKey());

    Null.Settings.User.FailWrite = true;
    app->SetUseMachineKey(true);
    EXPECT_NO_THROW(app->WriteString("W", "2"));
    EXPECT_FALSE(Null.Settings.Get(SettingsRoot::User, key, "W"));

    Null.Settings = {};
    app->SetUseMachineKey(true);
    app->WriteString("M", "3");
    EXPECT_EQ(Null.Settings.Get(SettingsRoot::Machine, key, "M"), "3");
    EXPECT_TRUE(app->UseMachineKey());
}

TEST_F(ApplicationTest, BooleanTextsAndTheirConversionError) {
    auto app = Make();
    const std::string key = app->KeyPath();
    struct Case {
        const char* text;
        bool value;
    } cases[] = {{"-1", true}, {"0", false}, {"1", true}, {"2.5", true}, {"0.0", false},
                 {"True", true}, {"tRUE", true}, {"FALSE", false}, {"false", false}};
    for (const auto& c : cases) {
        Null.Settings.Set(SettingsRoot::User, key, "B", c.text);
        app->CloseStore();
        EXPECT_EQ(app->ReadBool("B", !c.value), c.value) << c.text;
    }
    Null.Settings.Set(SettingsRoot::User, key, "B", "yes");
    try {
        app->ReadBool("B", false);
        FAIL() << "no conversion error";
    } catch (const EConvertError& e) {
        EXPECT_STREQ(e.what(), "'yes' is not a valid boolean value");
    }
}

TEST_F(ApplicationTest, IntegersMustBeDecimalText) {
    auto app = Make();
    const std::string key = app->KeyPath();
    Null.Settings.Set(SettingsRoot::User, key, "I", "+17");
    EXPECT_EQ(app->ReadInteger("I", 0), 17);
    for (const char* bad : {"12abc", "0x10", "$10", "-", "1.5", "99999999999"}) {
        Null.Settings.Set(SettingsRoot::User, key, "I", bad);
        EXPECT_THROW(app->ReadInteger("I", 0), EConvertError) << bad;
    }
    Null.Settings.Set(SettingsRoot::User, key, "I", "abc");
    try {
        app->ReadInteger("I", 0);
    } catch (const EConvertError& e) {
        EXPECT_STREQ(e.what(), "'abc' is not a valid integer value");
    }
}

TEST_F(ApplicationTest, KeyStaysOpenUntilClosedOrItsModeChanges) {
    auto app = Make();
    Null.Settings.Set(SettingsRoot::User, app->KeyPath(), "V", "1");
    app->ReadString("V", "");
    app->ReadString("V", "");
    EXPECT_EQ(Null.Settings.Opens, 1);
    EXPECT_TRUE(app->ReadOnlyKey());

    app->WriteString("V", "2");  // read-write now: reopened
    EXPECT_EQ(Null.Settings.Opens, 2);
    EXPECT_FALSE(app->ReadOnlyKey());
    app->WriteString("W", "3");
    EXPECT_EQ(Null.Settings.Opens, 2);

    app->CloseStore();
    app->WriteString("W", "4");
    EXPECT_EQ(Null.Settings.Opens, 3);
    app->SetUseMachineKey(false);  // no change, stays open
    app->WriteString("W", "5");
    EXPECT_EQ(Null.Settings.Opens, 3);
    app->SetUseMachineKey(true);
    app->WriteString("W", "6");
    EXPECT_EQ(Null.Settings.Opens, 4);
}

// ---------------------------------------------------------------- options

TEST_F(ApplicationTest, LoadOptionsReadsScrambledMachineValues) {
    auto app = Make();
    const std::string key = app->KeyPath();
    auto machine = [&](const char* name, const char* value) {
        Null.Settings.Set(SettingsRoot::Machine, key, Scrambled(name), value);
    };
    machine("DataPath", "/srv/marivelle/");
    machine("Version", "2,5");
    machine("NeedDisplay", "-1");
    machine("NeedSystem", "0");
    machine("FixedFPS", "True");
    int loaded = 0;
    app->OnLoadOptions = [&](TCustomApplicationPro* sender) {
        EXPECT_EQ(sender, app.get());
        ++loaded;
    };
    app->LoadOptions();
    EXPECT_EQ(loaded, 1);
    EXPECT_EQ(app->DataPath, "/srv/marivelle/");
    EXPECT_EQ(app->MajorVersion, "2");
    EXPECT_EQ(app->MinorVersion, "5");
    EXPECT_TRUE(app->NeedDisplay());
    EXPECT_FALSE(app->NeedSystem());
    EXPECT_TRUE(app->FixedFPS);
    EXPECT_EQ(Null.Power.Calls, (std::vector<std::pair<bool, bool>>{{true, false}}));

    int opens = Null.Settings.Opens;
    app->MajorVersion = "1";  // back to the key that exists
    app->ReadString("x", "");
    EXPECT_EQ(Null.Settings.Opens, opens + 1) << "the key was closed at the end";
}

TEST_F(ApplicationTest, VersionTextSplitsAtTheFirstDotElseComma) {
    auto load = [&](const char* version, const char* major, const char* minor) {
        platform::NullServices null;
        TCustomGraphicApplicationPro app(null.Get());
        app.Title = "T";
        app.MajorVersion = "4";
        app.MinorVersion = "2";
        null.Settings.Set(SettingsRoot::User, app.KeyPath(), Scrambled("Version"), version);
        app.LoadOptions();
        EXPECT_EQ(app.MajorVersion, major) << version;
        EXPECT_EQ(app.MinorVersion, minor) << version;
    };
    load("3.1.4", "3", "1.4");
    load("3,1.4", "3,1", "4");
    load("7", "4", "2");
    load("", "4", "2");
}

TEST_F(ApplicationTest, SaveOptionsWritesScrambledNamesAndFallsBack) {
    auto app = Make();
    const std::string key = app->KeyPath();
    app->DataPath = "/data/";
    app->SetNeedSystem(true);
    app->FixedFPS = true;
    int saved = 0;
    app->OnSaveOptions = [&](TCustomApplicationPro*) { ++saved; };
    app->SaveOptions();
    EXPECT_EQ(saved, 1);
    EXPECT_EQ(Null.Settings.Get(SettingsRoot::Machine, key, Scrambled("DataPath")), "/data/");
    EXPECT_EQ(Null.Settings.Get(SettingsRoot::Machine, key, Scrambled("NeedDisplay")), "0");
    EXPECT_EQ(Null.Settings.Get(SettingsRoot::Machine, key, Scrambled("NeedSystem")), "-1");
    EXPECT_EQ(Null.Settings.Get(SettingsRoot::Machine, key, Scrambled("FixedFPS")), "-1");

    Null.Settings = {};
    Null.Settings.Machine.FailOpen = true;
    app->SaveOptions();
    EXPECT_EQ(Null.Settings.Get(SettingsRoot::User, key, Scrambled("FixedFPS")), "-1");
    EXPECT_EQ(Null.Settings.Get(SettingsRoot::User, key, Scrambled("DataPath")), "/data/");

    // What was saved comes back.
    auto again = Make();
    again->LoadOptions();
    EXPECT_TRUE(again->FixedFPS);
    EXPECT_TRUE(again->NeedSystem());
    EXPECT_EQ(again->DataPath, "/data/");
}

TEST_F(ApplicationTest, PowerRequestFollowsChangesOnly) {
    auto app = Make();
    app->SetNeedDisplay(false);
    EXPECT_TRUE(Null.Power.Calls.empty());
    app->SetNeedDisplay(true);
    app->SetNeedDisplay(true);
    app->SetNeedSystem(true);
    app->SetNeedDisplay(false);
    EXPECT_EQ(Null.Power.Calls, (std::vector<std::pair<bool, bool>>{{true, false}, {true, true}, {false, true}}));
}

// ---------------------------------------------------------------- event window

TEST_F(ApplicationTest, CloseMessagePostsQuit) {
    auto app = Make();
    TEventWindowResult r = app->EventWindowProc(platform::wm::Close, 0);
    EXPECT_FALSE(r.CallDefault);
    EXPECT_EQ(r.Result, 0);
    EXPECT_EQ(Null.Application.QuitCode, std::optional<int>(0));
}

TEST_F(ApplicationTest, SuspendQueriesAreDeniedUnlessSuspendIsEnabled) {
    auto app = Make();
    for (uintptr_t query : {platform::pbt::QuerySuspend, platform::pbt::QueryStandby}) {
        app->SuspendEnabled = false;
        TEventWindowResult r = app->EventWindowProc(platform::wm::PowerBroadcast, query);
        EXPECT_FALSE(r.CallDefault);
        EXPECT_EQ(r.Result, 0x424D5144);
        app->SuspendEnabled = true;
        EXPECT_TRUE(app->EventWindowProc(platform::wm::PowerBroadcast, query).CallDefault);
    }
}

TEST_F(ApplicationTest, PowerEventsReachPowerOffAndPowerOn) {
    auto app = Make();
    int off = 0, on = 0;
    app->OnPowerOff = [&](TCustomApplicationPro*) { ++off; };
    app->OnPowerOn = [&](TCustomApplicationPro*) { ++on; };
    for (uintptr_t e : {4, 5}) EXPECT_TRUE(app->EventWindowProc(platform::wm::PowerBroadcast, e).CallDefault);
    EXPECT_EQ(off, 2);
    for (uintptr_t e : {6, 7, 8}) EXPECT_TRUE(app->EventWindowProc(platform::wm::PowerBroadcast, e).CallDefault);
    EXPECT_EQ(on, 3);
    EXPECT_TRUE(app->EventWindowProc(platform::wm::PowerBroadcast, 9).CallDefault);
    EXPECT_TRUE(app->EventWindowProc(0x0001, 4).CallDefault);
    EXPECT_EQ(off + on, 5);
    EXPECT_FALSE(Null.Application.QuitCode);
}

// ---------------------------------------------------------------- exceptions and log

TEST_F(ApplicationTest, UnhandledExceptionIsReportedAndEndsTheProgram) {
    auto app = Make();
    app->Initialize();
    Null.Application.Log.clear();
    Null.Application.Handlers.Exception(std::runtime_error("Boom"));
    ASSERT_EQ(Null.Messages.Errors.size(), 1u);
    EXPECT_EQ(Null.Messages.Errors[0].first, "3D Marivelle");
    EXPECT_EQ(Null.Messages.Errors[0].second, "Boom");
    EXPECT_EQ(Null.Application.Log,
              (std::vector<std::string>{"Idle(detached)", "ShowCursor(1)", "Terminate", "Idle(attached)"}));
}

TEST_F(ApplicationTest, OnExceptionDecidesWithTheIdleHookDetached) {
    auto app = Make();
    bool attachedDuring = true;
    app->OnException = [&](TCustomApplicationPro*, const std::exception& e) {
        attachedDuring = Null.Application.IdleAttached();
        EXPECT_STREQ(e.what(), "Boom");
    };
    app->HandleException(std::runtime_error("Boom"));
    EXPECT_FALSE(attachedDuring);
    EXPECT_TRUE(Null.Application.IdleAttached());
    EXPECT_TRUE(Null.Messages.Errors.empty());
    EXPECT_FALSE(Null.Application.IsTerminated);

    app->OnException = [](TCustomApplicationPro*, const std::exception&) { throw std::logic_error("again"); };
    EXPECT_THROW(app->HandleException(std::runtime_error("Boom")), std::logic_error);
    EXPECT_TRUE(Null.Application.IdleAttached()) << "re-attached although the handler failed";
}

class LogTest : public ApplicationTest {
protected:
    fs::path Folder;

    void SetUp() override {
        char pattern[] = "/tmp/marivelle-log-XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        Folder = pattern;
    }
    void TearDown() override { fs::remove_all(Folder); }

    std::unique_ptr<TCustomGraphicApplicationPro> MakeLogging() {
        Null.Paths.Executable = (Folder / "marivelle.bin").string();
        auto app = Make();
        app->Initialize();
        app->Debug = true;
        app->SetLogFile(true);
        app->OnException = [](TCustomApplicationPro*, const std::exception&) {};
        return app;
    }

    std::string Contents() const {
        std::ifstream in(Folder / "marivelle.log", std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), {});
    }
};

TEST_F(LogTest, ExceptionsAreLoggedOnlyWithDebugAndLogFile) {
    auto app = MakeLogging();
    app->Debug = false;
    app->HandleException(std::runtime_error("quiet"));
    EXPECT_FALSE(fs::exists(Folder / "marivelle.log"));
    app->Debug = true;
    app->SetLogFile(false);
    app->HandleException(std::runtime_error("quiet"));
    EXPECT_FALSE(fs::exists(Folder / "marivelle.log"));

    app->SetLogFile(true);
    app->HandleException(std::runtime_error("first"));
    app->HandleException(std::runtime_error("second"));
    std::string log = Contents();
    ASSERT_EQ(log.size(), 16384u);
    EXPECT_EQ(log.substr(0, 15), "first\r\nsecond\r\n");
    EXPECT_EQ(log.find_first_not_of('\0', 15), std::string::npos);
}

TEST_F(LogTest, AFreshRunReplacesTheOldLog) {
    {
        std::ofstream old(Folder / "marivelle.log", std::ios::binary);
        old << std::string(40000, 'o');
    }
    auto app = MakeLogging();
    app->WriteLog("new");
    std::string log = Contents();
    ASSERT_EQ(log.size(), 16384u);
    EXPECT_EQ(log.substr(0, 5), "new\r\n");
    EXPECT_EQ(log[5], '\0');
}

// The new run's log is made in one step: on a full disk the last run's log
// stays whole, and the failing log adds no error of its own.
TEST_F(LogTest, AFullDiskKeepsTheLastRunsLog) {
    SmallFileSystem disk(Folder);
    if (!disk.Mounted()) GTEST_SKIP() << disk.SkipReason();
    const std::string last = "last run\r\n" + std::string(16384 - 10, '\0');
    std::ofstream(Folder / "marivelle.log", std::ios::binary) << last;
    ASSERT_TRUE(disk.Fill());
    auto app = MakeLogging();
    EXPECT_NO_THROW(app->WriteLog("new"));
    EXPECT_NO_THROW(app->HandleException(std::runtime_error("second")));
    EXPECT_EQ(Contents(), last);
}

TEST_F(LogTest, LineThatExactlyFillsTheBlockDoesNotGrowTheFile) {
    auto app = MakeLogging();
    app->WriteLog(std::string(98, 'a'));           // 100 bytes with CR LF
    app->WriteLog(std::string(16284 - 2, 'b'));    // ends exactly at 16384
    std::string log = Contents();
    ASSERT_EQ(log.size(), 16384u);
    EXPECT_EQ(log.substr(16380), "bb\r\n");
}

TEST_F(LogTest, OneMoreByteAddsABlockAtTheLine) {
    auto app = MakeLogging();
    app->WriteLog(std::string(98, 'a'));
    app->WriteLog(std::string(16284 - 1, 'b'));    // one byte past the end
    std::string log = Contents();
    ASSERT_EQ(log.size(), 100u + 16384u);
    EXPECT_EQ(log.substr(16381, 4), "bb\r\n");
    EXPECT_EQ(log.find_first_not_of('\0', 16385), std::string::npos);
    EXPECT_EQ(log.find('\0'), 16385u) << "no zeros inside the text";
}

TEST_F(LogTest, LineLongerThanABlockStaysFollowedByZeros) {
    auto app = MakeLogging();
    app->WriteLog(std::string(40000, 'c'));
    std::string log = Contents();
    EXPECT_EQ(log.size(), 3u * 16384u);
    EXPECT_EQ(log.find('\0'), 40002u);
    EXPECT_EQ(log.find_first_not_of('\0', 40002), std::string::npos);
}

TEST_F(LogTest, UnwritableLogIsIgnored) {
    auto app = MakeLogging();
    app->LogFileName = (Folder / "missing" / "x.log").string();
    EXPECT_NO_THROW(app->HandleException(std::runtime_error("lost")));
    EXPECT_FALSE(fs::exists(Folder / "missing"));
}

// ---------------------------------------------------------------- state and idle

TEST_F(ApplicationTest, StartAndStopFireOncePerChange) {
    auto app = Make();
    std::vector<std::string> events;
    app->OnStart = [&](TCustomApplicationPro* a) {
        EXPECT_EQ(a->State(), TApplicationState::Stopped) << "fired before the state changes";
        events.push_back("start");
    };
    app->OnStop = [&](TCustomApplicationPro* a) {
        EXPECT_NE(a->State(), TApplicationState::Stopped);
        events.push_back("stop");
    };
    app->Start();
    app->Start();
    EXPECT_EQ(app->State(), TApplicationState::Running);
    app->Stop();
    app->Stop();
    EXPECT_EQ(app->State(), TApplicationState::Stopped);
    EXPECT_EQ(events, (std::vector<std::string>{"start", "stop"}));
}

TEST_F(ApplicationTest, SetPausedRemembersTheState) {
    auto app = Make();
    app->SetPaused(true);
    EXPECT_EQ(app->State(), TApplicationState::Paused);
    app->SetPaused(false);
    EXPECT_EQ(app->State(), TApplicationState::Stopped);

    app->Start();
    app->SetPaused(true);
    app->SetPaused(true);  // a second pause must not remember "Paused"
    app->SetPaused(false);
    EXPECT_EQ(app->State(), TApplicationState::Running);
    app->SetPaused(false);
    EXPECT_EQ(app->State(), TApplicationState::Running);
}

TEST_F(ApplicationTest, FirstIdleStartsTheFrameworkWithTheHookDetached) {
    auto app = Make();
    bool attachedDuringStart = true;
    app->OnStart = [&](TCustomApplicationPro*) { attachedDuringStart = Null.Application.IdleAttached(); };
    IdlePass();
    EXPECT_FALSE(attachedDuringStart);
    EXPECT_TRUE(Null.Application.IdleAttached());
    EXPECT_EQ(app->State(), TApplicationState::Running);
    EXPECT_EQ(Null.Clock.Sleeps, (std::vector<uint32_t>{1, 1, 1})) << "start sleeps, then the frame's";
}

TEST_F(ApplicationTest, FailingStartReattachesTheHook) {
    auto app = Make();
    app->OnStart = [](TCustomApplicationPro*) { throw Exception("no scene"); };
    EXPECT_THROW(IdlePass(), Exception);
    EXPECT_TRUE(Null.Application.IdleAttached());
    EXPECT_EQ(app->State(), TApplicationState::Stopped);
}

TEST_F(ApplicationTest, OnIdleRunsDetachedAndCannotStopTheSpinning) {
    auto app = Make();
    app->Start();
    bool attachedDuring = true;
    app->OnIdle = [&](TCustomApplicationPro*, bool& done) {
        attachedDuring = Null.Application.IdleAttached();
        done = true;
    };
    Null.Settings.Set(SettingsRoot::User, app->KeyPath(), "V", "1");
    app->ReadString("V", "");
    IdlePass();  // expects done == false
    EXPECT_FALSE(attachedDuring);
    EXPECT_TRUE(Null.Application.IdleAttached());
    int opens = Null.Settings.Opens;
    app->ReadString("V", "");
    EXPECT_EQ(Null.Settings.Opens, opens + 1) << "idle closes the store";
}

TEST_F(ApplicationTest, PausedIdleProducesNoFrame) {
    auto app = Make();
    int idles = 0;
    app->OnIdle = [&](TCustomApplicationPro*, bool&) { ++idles; };
    app->SetPaused(true);
    IdlePass();
    EXPECT_TRUE(Null.Clock.Sleeps.empty());
    EXPECT_EQ(idles, 0);
    EXPECT_EQ(app->State(), TApplicationState::Paused) << "not started while paused";
}

TEST_F(ApplicationTest, ComponentRemovalStopsOnlyWhileTerminating) {
    auto app = Make();
    app->Start();
    app->ComponentRemoving();
    EXPECT_EQ(app->State(), TApplicationState::Running);
    Null.Application.Terminate();
    app->ComponentRemoving();
    EXPECT_EQ(app->State(), TApplicationState::Stopped);
}

// ---------------------------------------------------------------- frame rate

class FrameRateTest : public ApplicationTest {
protected:
    std::unique_ptr<TCustomGraphicApplicationPro> App;
    uint32_t Start = 0;  // the tick the frame timer started at
    int Changes = 0;

    void SetUp() override {
        App = Make();
        App->OnFPSChanged = [this](TCustomApplicationPro*) { ++Changes; };
        Null.Clock.Tick = 100000;
        IdlePass();  // starts the framework and the timer: frame 1
        Start = Null.Clock.Tick;
    }

    // A frame whose timer reading (after the frame's 1 ms sleep) is ms after
    // the timer started.
    void FrameAt(uint32_t ms) {
        Null.Clock.Tick = Start + ms - 1;
        IdlePass();
    }
};

TEST_F(FrameRateTest, SixtyFramesInASecondReportSixtyAndTheCounterRestartsAtOne) {
    EXPECT_EQ(App->FPS(), 1);
    for (uint32_t frame = 2; frame < 60; ++frame) FrameAt(frame * 16);
    EXPECT_EQ(App->FPS(), 1) << "no measurement before a full second";
    FrameAt(1000);  // frame 60: measured after one more ms, 60 / 1.001 s
    EXPECT_EQ(App->FPS(), 60);
    EXPECT_EQ(Changes, 1);

    // The next window starts at 1.001 s with the counter at 1, so 59 more
    // frames make 60 again.
    for (uint32_t frame = 1; frame < 59; ++frame) FrameAt(1001 + frame * 16);
    FrameAt(2002);  // clear of rounding in 2.001 - 1.001
    EXPECT_EQ(App->FPS(), 60);
    EXPECT_EQ(Changes, 1) << "unchanged rate fires nothing";
}

TEST_F(FrameRateTest, RateRoundsHalvesToEven) {
    // 5 frames in 2.000 s: 2.5 -> 2.
    for (uint32_t frame = 2; frame <= 4; ++frame) FrameAt(frame);
    FrameAt(1999);
    EXPECT_EQ(App->FPS(), 2);
    // The counter restarts at 1: 7 frames in the next 2.000 s: 3.5 -> 4.
    for (uint32_t frame = 1; frame <= 5; ++frame) FrameAt(2000 + frame);
    FrameAt(3999);
    EXPECT_EQ(App->FPS(), 4);
    EXPECT_EQ(Changes, 2);
}

TEST_F(FrameRateTest, RateIsKeptWithoutAHandlerAndPausingFreezesIt) {
    App->OnFPSChanged = nullptr;
    FrameAt(2);
    FrameAt(1000);  // 3 frames in 1.001 s
    EXPECT_EQ(App->FPS(), 3);

    App->SetPaused(true);
    size_t sleeps = Null.Clock.Sleeps.size();
    Null.Clock.Tick += 5000;
    IdlePass();
    EXPECT_EQ(Null.Clock.Sleeps.size(), sleeps);
    EXPECT_EQ(App->FPS(), 3);
}

TEST_F(FrameRateTest, FixedFpsSleepsEveryFrame) {
    App->FixedFPS = true;
    Null.Clock.Sleeps.clear();
    FrameAt(10);
    EXPECT_EQ(Null.Clock.Sleeps, (std::vector<uint32_t>{1, 17}));
}

// ---------------------------------------------------------------- main form

TEST(CenterFormTest, WideScreenCentresInTheFourThreeAreaAtTheLeft) {
    TFormPosition p = CenterFormPosition(1920, 1080, 640, 480);
    EXPECT_EQ(p.Left, 400);
    EXPECT_EQ(p.Top, 300);
    p = CenterFormPosition(1100, 1000, 1000, 300);  // would reach past the right edge
    EXPECT_EQ(p.Left, 100);
    p = CenterFormPosition(1920, 1080, 1600, 400);  // wider than the 4:3 area
    EXPECT_EQ(p.Left, 0);
    p = CenterFormPosition(1920, 1080, 640, 1081);  // -1 / 2 truncates to 0
    EXPECT_EQ(p.Top, 0);
    p = CenterFormPosition(1920, 1080, 640, 1083);
    EXPECT_EQ(p.Top, -1) << "the top is not clamped on a wide screen";
}

TEST(CenterFormTest, PortraitScreenCentresInTheFourThreeAreaAtTheTop) {
    TFormPosition p = CenterFormPosition(1080, 1920, 640, 480);
    EXPECT_EQ(p.Left, 220);
    EXPECT_EQ(p.Top, 165);
    p = CenterFormPosition(1000, 1000, 800, 1300);  // square counts as portrait
    EXPECT_EQ(p.Top, 0);
    EXPECT_EQ(p.Left, 100);
    p = CenterFormPosition(1080, 1920, 1200, 480);
    EXPECT_EQ(p.Left, -60) << "the left is not clamped on a tall screen";
}

TEST_F(ApplicationTest, CenterMainFormMovesOnlyATopLevelForm) {
    auto app = Make();
    Null.Application.ScreenSize = {1920, 1080};
    Null.Application.FormSize = {640, 480};
    Null.Application.TopLevel = false;
    app->CenterMainForm();
    EXPECT_FALSE(Null.Application.FormPosition);
    Null.Application.TopLevel = true;
    app->CenterMainForm();
    EXPECT_EQ(Null.Application.FormPosition, (std::pair<int32_t, int32_t>(400, 300)));
}

TEST_F(ApplicationTest, CloseApplicationClosesTheMainFormOrTerminates) {
    auto app = Make();
    app->CloseApplication();
    EXPECT_EQ(Null.Application.Log, (std::vector<std::string>{"SetHandlers", "HideApplicationWindow", "HideMainForm",
                                                              "ShowCursor(1)", "CloseMainForm"}));
    EXPECT_FALSE(Null.Application.IsTerminated);
    Null.Application.MainForm = false;
    app->CloseApplication();
    EXPECT_TRUE(Null.Application.IsTerminated);
}

TEST_F(ApplicationTest, MessagesAndEventsAreForwardedWhenAssigned) {
    auto app = Make();
    platform::WindowMessage msg {0x0100, 27, 0, 0};
    bool handled = true;
    Null.Application.Handlers.Message(msg, handled);
    EXPECT_FALSE(handled) << "cleared before forwarding";
    app->OnMessage = [](platform::WindowMessage& m, bool& h) { h = m.WParam == 27; };
    Null.Application.Handlers.Message(msg, handled);
    EXPECT_TRUE(handled);

    bool callHelp = true;
    EXPECT_FALSE(app->HandleHelp(1, 2, callHelp));
    app->OnHelp = [](uint16_t command, intptr_t data, bool& call) {
        call = false;
        return command == 1 && data == 2;
    };
    EXPECT_TRUE(app->HandleHelp(1, 2, callHelp));
    EXPECT_FALSE(callHelp);

    int activations = 0;
    Null.Application.Handlers.Activate();  // unassigned: nothing happens
    app->OnActivate = [&](TCustomApplicationPro*) { ++activations; };
    app->OnDeactivate = [&](TCustomApplicationPro*) { activations += 10; };
    Null.Application.Handlers.Activate();
    Null.Application.Handlers.Deactivate();
    EXPECT_EQ(activations, 11);
}

}  // namespace
