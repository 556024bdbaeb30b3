// Test doubles of the platform services: a clock the test drives, an
// in-memory settings store with switchable failures, an in-process lock
// table, and recorders for messages, power requests, the application object
// and other processes. NullServices bundles one of each.
#pragma once

#include <map>
#include <optional>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "platform/null/processes_null.h"
#include "platform/services.h"

namespace platform {

// The tick is whatever the test sets; Sleep advances it by the time slept.
class ManualClock final : public IClock {
public:
    uint32_t TickCount() override { return Tick; }
    void Sleep(uint32_t ms) override {
        Sleeps.push_back(ms);
        Tick += ms;
    }
    std::optional<uint32_t> MinTimerPeriod() override;
    bool BeginTimerPeriod(uint32_t ms) override;
    void EndTimerPeriod(uint32_t ms) override { Ended.push_back(ms); }

    uint32_t Tick = 0;
    std::vector<uint32_t> Sleeps;
    bool CapsFail = false;                // MinTimerPeriod reports nothing
    uint32_t MinPeriod = 1;
    std::set<uint32_t> RefusedPeriods;    // BeginTimerPeriod fails for these
    std::vector<uint32_t> Begun, Ended;   // granted requests and releases
};

class MemorySettingsStore final : public ISettingsStore {
public:
    struct Root {
        bool FailOpen = false;   // every Open fails
        bool FailRead = false;   // every Read reports a failure
        bool FailWrite = false;  // every Write fails
        std::map<std::string, std::map<std::string, std::string>> Keys;
    };

    std::unique_ptr<ISettingsKey> Open(SettingsRoot root, const std::string& keyPath,
                                       SettingsAccess access) override;

    Root& At(SettingsRoot root) { return root == SettingsRoot::Machine ? Machine : User; }
    void Set(SettingsRoot root, const std::string& keyPath, const std::string& name, const std::string& value);
    std::optional<std::string> Get(SettingsRoot root, const std::string& keyPath, const std::string& name);

    Root Machine, User;
    int Opens = 0;  // successful opens
};

class InstanceTable final : public ISingleInstance {
public:
    InstanceLockResult TryLock(const std::string& name) override;

    std::set<std::string> Held;
    std::vector<std::string> Requests;
    bool Fail = false;  // fails without the name being held
};

class RecordingReporter final : public IMessageReporter {
public:
    void ShowError(const std::string& caption, const std::string& text) override {
        Errors.emplace_back(caption, text);
    }
    std::vector<std::pair<std::string, std::string>> Errors;  // caption, text
};

class FixedProgramPaths final : public IProgramPaths {
public:
    std::string ExecutablePath() override { return Executable; }
    std::string SystemPath() override { return System; }
    std::string WindowsPath() override { return Windows; }

    std::string Executable = "/opt/marivelle/marivelle.bin";
    std::string System = "/usr/lib";
    std::string Windows = "/usr";
};

class RecordingPowerRequests final : public IPowerRequests {
public:
    bool SetExecutionState(bool needDisplay, bool needSystem) override {
        Calls.emplace_back(needDisplay, needSystem);
        return Available;
    }
    bool SuspendSystem() override {
        ++Suspends;
        return Available;
    }
    bool MonitorOff() override {
        ++MonitorOffs;
        return Available;
    }
    bool TakeSleepNotice() override {
        const bool notice = SleepNotice;
        SleepNotice = false;
        return notice;
    }
    void SetScreenSaverRunning(bool running) override { SaverRunning.push_back(running); }
    void AllowSleepQueries(bool allowed) override { SleepQueriesAllowed = allowed; }
    std::vector<std::pair<bool, bool>> Calls;  // needDisplay, needSystem
    std::vector<bool> SaverRunning;            // each SetScreenSaverRunning, in order
    bool Available = true;
    int Suspends = 0;
    int MonitorOffs = 0;
    bool SleepNotice = false;  // set by a test: the next poll takes it
    bool SleepQueriesAllowed = true;
};

// Records what the framework asks of the application object; Log holds the
// calls in order ("Terminate", "ShowCursor(1)", "Idle(detached)", ...).
class RecordingApplication final : public IApplicationHooks {
public:
    void SetHandlers(const ApplicationHandlers& handlers) override;
    void SetIdleHandler(std::function<void(bool&)> idle) override;
    // Runs idle passes until terminated, done, or maxPasses.
    void Run() override;
    void Terminate() override;
    bool Terminated() const override { return IsTerminated; }
    void PostQuit(int exitCode) override;
    std::string Title() const override { return AppTitle; }
    void SetTitle(const std::string& title) override { AppTitle = title; }
    void SetShowMainForm(bool show) override;
    bool HasMainForm() const override { return MainForm; }
    bool MainFormIsTopLevel() const override { return MainForm && TopLevel; }
    Size MainFormSize() const override { return FormSize; }
    void SetMainFormPosition(int32_t left, int32_t top) override;
    void CloseMainForm() override;
    void HideMainForm() override;
    void ClearMainFormHandlers() override;
    void HideApplicationWindow() override;
    Size PrimaryScreenSize() const override { return ScreenSize; }
    void ShowCursor(bool visible) override;

    // One pass of the idle hook as the loop would run it; the done flag it
    // reported, or nothing when the hook is detached.
    std::optional<bool> IdleOnce();
    bool IdleAttached() const { return static_cast<bool>(Handlers.Idle); }
    bool Logged(const std::string& entry) const;

    ApplicationHandlers Handlers;
    std::vector<std::string> Log;
    std::string AppTitle;
    bool IsTerminated = false;
    std::optional<int> QuitCode;
    std::optional<bool> ShowMainForm;
    bool MainForm = true;
    bool TopLevel = true;
    Size FormSize {640, 480};
    std::optional<std::pair<int32_t, int32_t>> FormPosition;
    Size ScreenSize {1920, 1080};
    int MaxPasses = 1000;
};

struct NullServices {
    ManualClock Clock;
    MemorySettingsStore Settings;
    InstanceTable Instances;
    RecordingReporter Messages;
    FixedProgramPaths Paths;
    RecordingPowerRequests Power;
    RecordingApplication Application;
    RecordingProcesses Processes;

    Services Get() {
        Services s;
        s.Clock = &Clock;
        s.Settings = &Settings;
        s.Instance = &Instances;
        s.Messages = &Messages;
        s.Paths = &Paths;
        s.Power = &Power;
        s.Application = &Application;
        s.Processes = &Processes;
        return s;
    }
};

}  // namespace platform
