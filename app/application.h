// The application framework: the component that takes over the application
// object's hooks and drives the program from its idle time, the frame timer,
// the frame-rate counter, the settings store and the exception log.
#pragma once

#include <cstdint>
#include <cstdio>
#include <exception>
#include <functional>
#include <memory>
#include <string>
#include <string_view>

#include "platform/services.h"

// A millisecond clock value, also split into days, hours, minutes, seconds
// and milliseconds.
class TTime {
public:
    uint32_t Time() const { return Total; }
    void SetTime(uint32_t ms);
    int32_t MSec() const { return FMSec; }
    int32_t Sec() const { return FSec; }
    int32_t Min() const { return FMin; }
    int32_t Hour() const { return FHour; }
    int32_t Day() const { return FDay; }
    long double Seconds() const { return static_cast<long double>(Total) / 1000.0L; }
    void Reset() { SetTime(0); }

private:
    uint32_t Total = 0;
    int32_t FMSec = 0, FSec = 0, FMin = 0, FHour = 0, FDay = 0;
};

// Frame timer on the system's millisecond tick. It keeps the scheduler's
// timer resolution raised while it lives so that short sleeps stay short.
class TTimerPro {
public:
    explicit TTimerPro(platform::IClock& clock);
    ~TTimerPro();
    TTimerPro(const TTimerPro&) = delete;
    TTimerPro& operator=(const TTimerPro&) = delete;

    // Resets the time and starts counting; a running timer is left alone.
    void Start();
    // While running, adds the ticks since the last call (a backwards step
    // adds nothing but is still taken as the new reference).
    const TTime& Elapsed();
    bool Running() const { return IsRunning; }
    // The period granted to this timer, or -1 when none of its own could be
    // requested.
    int32_t Period() const { return FPeriod; }

private:
    platform::IClock& Clock;
    TTime FTime;
    uint32_t LastTick = 0;
    bool IsRunning = false;
    int32_t FPeriod = -1;
    uint32_t Requested = 0;  // the granted request to release; 0 when none
};

enum class TApplicationState : uint8_t { Stopped, Running, Paused };

// What the event window's procedure answers: a result of its own, or the
// system's default handling.
struct TEventWindowResult {
    bool CallDefault = true;
    intptr_t Result = 0;
};

struct TFormPosition {
    int32_t Left = 0;
    int32_t Top = 0;
};

// Where the main form goes on a screen of width x height: centred in the 4:3
// area at the left of a wide screen, at the top of a tall one.
TFormPosition CenterFormPosition(int32_t screenWidth, int32_t screenHeight, int32_t formWidth,
                                 int32_t formHeight);

// "-1"/"0", "True"/"False" in any case, or any number (non-zero is true);
// otherwise EConvertError.
bool StrToBool(std::string_view text);

class TCustomApplicationPro;

// The settings store as one kind of value sees it: the framework keeps its
// own values under scrambled names with the machine root first, the scene and
// the world keep theirs under plain names for the current user. Every access
// selects its view first, so no caller can read under the other's names.
class TSettingsView {
public:
    TSettingsView(TCustomApplicationPro& application, bool scrambledNames, bool machineFirst)
        : App(application), Scrambled(scrambledNames), MachineFirst(machineFirst) {}

    std::string ReadString(const std::string& name, const std::string& def);
    bool ReadBool(const std::string& name, bool def);
    int32_t ReadInteger(const std::string& name, int32_t def);
    // The framework's own stored numbers: a value that does not convert (a
    // damaged file) gives the default rather than ending the program.
    bool StoredBool(const std::string& name, bool def);
    int32_t StoredInteger(const std::string& name, int32_t def);
    void WriteString(const std::string& name, const std::string& value);
    void WriteBool(const std::string& name, bool value);
    void WriteInteger(const std::string& name, int32_t value);

private:
    void Select();
    TCustomApplicationPro& App;
    bool Scrambled;
    bool MachineFirst;
};

class TCustomApplicationPro {
public:
    using TNotifyEvent = std::function<void(TCustomApplicationPro* sender)>;
    using TExceptionEvent = std::function<void(TCustomApplicationPro* sender, const std::exception& e)>;
    using TMessageEvent = std::function<void(platform::WindowMessage& msg, bool& handled)>;
    using THelpEvent = std::function<bool(uint16_t command, intptr_t data, bool& callHelp)>;
    using TIdleEvent = std::function<void(TCustomApplicationPro* sender, bool& done)>;
    using TShortCutEvent = std::function<void(platform::WindowMessage& key, bool& handled)>;
    using TShowHintEvent = std::function<void(std::string& hint, bool& canShow, platform::HintInfo& info)>;

    // Installs the hooks on the application object; the first framework of
    // the process becomes Instance().
    explicit TCustomApplicationPro(const platform::Services& services = platform::SystemServices());
    virtual ~TCustomApplicationPro();
    TCustomApplicationPro(const TCustomApplicationPro&) = delete;
    TCustomApplicationPro& operator=(const TCustomApplicationPro&) = delete;

    static TCustomApplicationPro* Instance();

    // --- virtual operations ---
    virtual void Start();
    virtual void Stop();
    // The event window's procedure: quit on close, power events.
    virtual TEventWindowResult EventWindowProc(uint32_t msg, uintptr_t wParam);
    virtual void HandleException(const std::exception& e);
    virtual void HandleMessage(platform::WindowMessage& msg, bool& handled);
    virtual bool HandleHelp(uint16_t command, intptr_t data, bool& callHelp);
    virtual void HandleHint();
    virtual void Idle(bool& done);
    virtual void HandleDeactivate();
    virtual void HandleActivate();
    virtual void HandleMinimize();
    virtual void HandleRestore();
    virtual void HandleShortCut(platform::WindowMessage& key, bool& handled);
    virtual void HandleShowHint(std::string& hint, bool& canShow, platform::HintInfo& info);
    virtual void PowerOff();
    virtual void PowerOn();
    // Paths, title, hooks and the single-instance check.
    virtual void Initialize();
    virtual void LoadOptions();
    virtual void SaveOptions();

    // Called once the owner has assigned the stored properties.
    void Loaded() { Initialize(); }
    // The owner frees one of its components: while the application
    // terminates, that stops the framework.
    void ComponentRemoving();

    // --- settings store ---
    std::string ReadString(const std::string& name, const std::string& def);
    bool ReadBool(const std::string& name, bool def);
    int32_t ReadInteger(const std::string& name, int32_t def);
    void WriteString(const std::string& name, const std::string& value);
    void WriteBool(const std::string& name, bool value);
    void WriteInteger(const std::string& name, int32_t value);
    void CloseStore();
    // The two views every caller goes through.
    TSettingsView FrameworkSettings() { return TSettingsView(*this, true, true); }
    TSettingsView SceneSettings() { return TSettingsView(*this, false, false); }
    // "Software\<Company>\<Title> <Major>", without the company when empty.
    std::string KeyPath() const;
    bool ReadOnlyKey() const { return FReadOnlyKey; }
    void SetReadOnlyKey(bool value);
    bool UseMachineKey() const { return FUseMachineKey; }
    void SetUseMachineKey(bool value);

    std::string VersionText() const { return MajorVersion + "." + MinorVersion; }

    void CloseApplication();
    // One pass of what the loop does between messages: waits that must keep
    // frames coming call it. Errors go to the exception report.
    void ProcessMessages();
    bool Terminating() const { return Application().Terminated(); }
    void CenterMainForm();
    void SetCursorVisible(bool visible);
    void HideApplicationWindows();

    TApplicationState State() const { return FState; }
    // Pausing remembers the state; resuming returns to it.
    void SetPaused(bool paused);

    bool LogFile() const { return FLogFile; }
    void SetLogFile(bool value);
    // Appends text and CR LF to the log when LogFile is set.
    void WriteLog(std::string_view text);

    bool NeedDisplay() const { return FNeedDisplay; }
    void SetNeedDisplay(bool value);
    bool NeedSystem() const { return FNeedSystem; }
    void SetNeedSystem(bool value);

    std::string Title;
    std::string Company;
    std::string MajorVersion = "1";
    std::string MinorVersion = "0";
    std::string AppName, AppPath, DataPath, SystemPath, WindowsPath, ExeName, LogFileName;
    bool HideCursor = false;  // full screen hides the mouse cursor
    bool SingleInstance = true;
    bool Debug = false;
    bool SuspendEnabled = false;
    // Every byte of a value name is complemented before use.
    bool ScrambledNames = false;

    TNotifyEvent OnLoadOptions, OnSaveOptions, OnStart, OnStop;
    TExceptionEvent OnException;
    TMessageEvent OnMessage;
    THelpEvent OnHelp;
    TNotifyEvent OnHint;
    TIdleEvent OnIdle;
    TNotifyEvent OnDeactivate, OnActivate, OnMinimize, OnRestore;
    TShortCutEvent OnShortCut;
    TShowHintEvent OnShowHint;
    TNotifyEvent OnPowerOff, OnPowerOn;

protected:
    platform::IApplicationHooks& Application() const { return *Services.Application; }
    platform::IClock& Clock() const { return *Services.Clock; }
    void InstallHooks();
    void AttachIdle();
    void DetachIdle();

    platform::Services Services;

private:
    platform::ISettingsKey* OpenKey();
    std::string ValueName(const std::string& name) const;
    void CheckSingleInstance();
    void UpdateExecutionState();
    void CloseLog();

    std::unique_ptr<platform::IInstanceLock> InstanceLock;
    std::unique_ptr<platform::ISettingsKey> Key;
    struct FileCloser {
        void operator()(std::FILE* f) const { std::fclose(f); }
    };
    std::unique_ptr<std::FILE, FileCloser> Log;
    uint64_t LogPosition = 0;  // where the next line goes
    uint64_t LogSize = 0;
    bool FReadOnlyKey = false;
    bool FUseMachineKey = false;
    bool FLogFile = false;
    bool FNeedSystem = false;
    bool FNeedDisplay = false;
    TApplicationState FState = TApplicationState::Stopped;
    TApplicationState SavedState = TApplicationState::Stopped;
};

// The frame-loop level: counts frames, paces them and measures the rate.
class TCustomGraphicApplicationPro : public TCustomApplicationPro {
public:
    using TCustomApplicationPro::TCustomApplicationPro;

    void Idle(bool& done) override;
    void LoadOptions() override;
    void SaveOptions() override;

    // Created on first use.
    TTimerPro& Timer();
    // Frames per second of the last measurement; never 0.
    int32_t FPS() const { return FFPS == 0 ? 1 : FFPS; }

    TNotifyEvent OnFPSChanged;
    bool FixedFPS = false;  // "Low CPU Usage": a long sleep every frame

private:
    std::unique_ptr<TTimerPro> FTimer;
    int32_t FFPS = 0;
    uint32_t FrameCount = 0;
    long double LastMeasureTime = 0;
    long double FirstFrameTime = 0;
};
