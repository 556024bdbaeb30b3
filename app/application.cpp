#include "app/application.h"

#include <cmath>
#include <limits>
#include <vector>

#include "core/errors.h"
#include "core/strutil.h"
#include "platform/file_replace.h"

namespace {

constexpr uint32_t MsPerDay = 86400000;
constexpr uint32_t MsPerHour = 3600000;
constexpr uint32_t MsPerMinute = 60000;
constexpr uint32_t MsPerSecond = 1000;

constexpr size_t LogBlockSize = 16384;

// The framework's own value names; stored complemented.
constexpr const char* DataPathValue = "DataPath";
constexpr const char* ProgramPathValue = "ProgramPath";
constexpr const char* ProgramNameValue = "ProgramName";
constexpr const char* VersionValue = "Version";
constexpr const char* NeedDisplayValue = "NeedDisplay";
constexpr const char* NeedSystemValue = "NeedSystem";
constexpr const char* FixedFPSValue = "FixedFPS";

TCustomApplicationPro* FrameworkInstance = nullptr;

std::string WithDelimiter(std::string path) {
    if (!path.empty() && platform::PathSeparators.find(path.back()) == std::string_view::npos)
        path += platform::PathDelimiter;
    return path;
}

// Nearest integer, halves to even, kept within 0 .. INT32_MAX.
int32_t RoundRate(long double x) {
    if (!(x > 0)) return 0;
    if (x >= static_cast<long double>(std::numeric_limits<int32_t>::max()))
        return std::numeric_limits<int32_t>::max();
    long double whole = std::floor(x);
    long double fraction = x - whole;
    if (fraction > 0.5L || (fraction == 0.5L && std::fmod(whole, 2.0L) != 0)) whole += 1;
    return static_cast<int32_t>(whole);
}

}  // namespace

// ---------------------------------------------------------------- TTime

void TTime::SetTime(uint32_t ms) {
    Total = ms;
    FDay = static_cast<int32_t>(ms / MsPerDay);
    ms %= MsPerDay;
    FHour = static_cast<int32_t>(ms / MsPerHour);
    ms %= MsPerHour;
    FMin = static_cast<int32_t>(ms / MsPerMinute);
    ms %= MsPerMinute;
    FSec = static_cast<int32_t>(ms / MsPerSecond);
    FMSec = static_cast<int32_t>(ms % MsPerSecond);
}

// ---------------------------------------------------------------- TTimerPro

TTimerPro::TTimerPro(platform::IClock& clock) : Clock(clock) {
    auto minPeriod = Clock.MinTimerPeriod();
    if (minPeriod) {
        uint32_t period = *minPeriod < 1 ? 1 : *minPeriod;
        if (Clock.BeginTimerPeriod(period)) {
            FPeriod = static_cast<int32_t>(period > 0x7FFFFFFFu ? 0x7FFFFFFFu : period);
            Requested = period;
            return;
        }
    }
    // No capabilities, or the finest period refused: settle for 1 ms.
    FPeriod = -1;
    if (Clock.BeginTimerPeriod(1)) Requested = 1;
}

TTimerPro::~TTimerPro() {
    if (Requested != 0) Clock.EndTimerPeriod(Requested);
}

void TTimerPro::Start() {
    if (!IsRunning) {
        LastTick = Clock.TickCount();
        FTime.Reset();
    }
    IsRunning = true;
}

const TTime& TTimerPro::Elapsed() {
    if (IsRunning) {
        uint32_t now = Clock.TickCount();
        auto difference = static_cast<int32_t>(now - LastTick);
        if (difference > 0) FTime.SetTime(FTime.Time() + static_cast<uint32_t>(difference));
        LastTick = now;
    }
    return FTime;
}

// ---------------------------------------------------------------- helpers

TFormPosition CenterFormPosition(int32_t screenWidth, int32_t screenHeight, int32_t formWidth,
                                 int32_t formHeight) {
    // 64-bit so that no screen size overflows; C++ division truncates
    // toward zero like the integer division this layout is defined with.
    int64_t W = screenWidth, H = screenHeight, w = formWidth, h = formHeight;
    int64_t left, top;
    if (W > H) {
        left = (H * 4 / 3 - w) / 2;
        if (left + w > W) left = W - w;
        if (left < 0) left = 0;
        top = (H - h) / 2;
    } else {
        top = (W * 3 / 4 - h) / 2;
        if (top + h > H) top = H - h;
        if (top < 0) top = 0;
        left = (W - w) / 2;
    }
    return {static_cast<int32_t>(left), static_cast<int32_t>(top)};
}

bool StrToBool(std::string_view text) {
    if (auto number = str::ParseFloat(text)) return *number != 0;
    if (str::SameText(text, "True")) return true;
    if (str::SameText(text, "False")) return false;
    throw EConvertError("'" + std::string(text) + "' is not a valid boolean value");
}

// ---------------------------------------------------------------- TCustomApplicationPro

TCustomApplicationPro::TCustomApplicationPro(const platform::Services& services) : Services(services) {
    if (!Services.Complete())
        throw Exception("TCustomApplicationPro.Create error: platform services missing");
    InstallHooks();
    if (!FrameworkInstance) FrameworkInstance = this;
}

TCustomApplicationPro::~TCustomApplicationPro() {
    InstanceLock.reset();
    Key.reset();
    Log.reset();
    if (FrameworkInstance == this) FrameworkInstance = nullptr;
    try {
        // The application object may outlive us: leave it no hook into a
        // destroyed component.
        Application().SetHandlers({});
        HideApplicationWindows();
    } catch (...) {
    }
}

TCustomApplicationPro* TCustomApplicationPro::Instance() { return FrameworkInstance; }

void TCustomApplicationPro::InstallHooks() {
    platform::ApplicationHandlers h;
    h.Exception = [this](const std::exception& e) { HandleException(e); };
    h.Message = [this](platform::WindowMessage& msg, bool& handled) { HandleMessage(msg, handled); };
    h.Hint = [this] { HandleHint(); };
    h.Idle = [this](bool& done) { Idle(done); };
    h.Deactivate = [this] { HandleDeactivate(); };
    h.Activate = [this] { HandleActivate(); };
    h.Minimize = [this] { HandleMinimize(); };
    h.Restore = [this] { HandleRestore(); };
    h.ShortCut = [this](platform::WindowMessage& key, bool& handled) { HandleShortCut(key, handled); };
    h.ShowHint = [this](std::string& hint, bool& canShow, platform::HintInfo& info) {
        HandleShowHint(hint, canShow, info);
    };
    Application().SetHandlers(h);
}

void TCustomApplicationPro::AttachIdle() {
    Application().SetIdleHandler([this](bool& done) { Idle(done); });
}

void TCustomApplicationPro::DetachIdle() { Application().SetIdleHandler({}); }

void TCustomApplicationPro::Start() {
    if (FState != TApplicationState::Stopped) return;
    if (OnStart) OnStart(this);
    FState = TApplicationState::Running;
}

void TCustomApplicationPro::Stop() {
    if (FState == TApplicationState::Stopped) return;
    if (OnStop) OnStop(this);
    FState = TApplicationState::Stopped;
}

TEventWindowResult TCustomApplicationPro::EventWindowProc(uint32_t msg, uintptr_t wParam) {
    if (msg == platform::wm::Close) {
        Application().PostQuit(0);
        return {false, 0};
    }
    if (msg == platform::wm::PowerBroadcast) {
        switch (wParam) {
            case platform::pbt::QuerySuspend:
            case platform::pbt::QueryStandby:
                if (!SuspendEnabled) return {false, platform::pbt::QueryDeny};
                break;
            case platform::pbt::Suspend:
            case platform::pbt::Standby:
                PowerOff();
                break;
            case platform::pbt::ResumeCritical:
            case platform::pbt::ResumeSuspend:
            case platform::pbt::ResumeStandby:
                PowerOn();
                break;
            default:
                break;
        }
    }
    return {};
}

void TCustomApplicationPro::HandleException(const std::exception& e) {
    if (Debug) WriteLog(e.what());
    DetachIdle();
    SetCursorVisible(true);
    try {
        if (OnException) {
            OnException(this, e);
        } else {
            Services.Messages->ShowError(Application().Title(), e.what());
            Application().Terminate();
        }
    } catch (...) {
        AttachIdle();
        throw;
    }
    AttachIdle();
}

void TCustomApplicationPro::HandleMessage(platform::WindowMessage& msg, bool& handled) {
    handled = false;
    if (OnMessage) OnMessage(msg, handled);
}

bool TCustomApplicationPro::HandleHelp(uint16_t command, intptr_t data, bool& callHelp) {
    return OnHelp ? OnHelp(command, data, callHelp) : false;
}

void TCustomApplicationPro::HandleHint() {
    if (OnHint) OnHint(this);
}

void TCustomApplicationPro::Idle(bool& done) {
    if (FState == TApplicationState::Paused) {
        done = false;
        return;
    }
    if (FState == TApplicationState::Stopped) {
        // Building the scene may pump messages; no frame may run inside it.
        DetachIdle();
        try {
            Clock().Sleep(1);
            Start();
            Clock().Sleep(1);
        } catch (...) {
            AttachIdle();
            throw;
        }
        AttachIdle();
    }
    if (OnIdle) {
        DetachIdle();
        try {
            OnIdle(this, done);
        } catch (...) {
            AttachIdle();
            throw;
        }
        AttachIdle();
    }
    done = false;
    CloseStore();
}

void TCustomApplicationPro::HandleDeactivate() {
    if (OnDeactivate) OnDeactivate(this);
}

void TCustomApplicationPro::HandleActivate() {
    if (OnActivate) OnActivate(this);
}

void TCustomApplicationPro::HandleMinimize() {
    if (OnMinimize) OnMinimize(this);
}

void TCustomApplicationPro::HandleRestore() {
    if (OnRestore) OnRestore(this);
}

void TCustomApplicationPro::HandleShortCut(platform::WindowMessage& key, bool& handled) {
    if (OnShortCut) OnShortCut(key, handled);
}

void TCustomApplicationPro::HandleShowHint(std::string& hint, bool& canShow, platform::HintInfo& info) {
    if (OnShowHint) OnShowHint(hint, canShow, info);
}

void TCustomApplicationPro::PowerOff() {
    if (OnPowerOff) OnPowerOff(this);
}

void TCustomApplicationPro::PowerOn() {
    if (OnPowerOn) OnPowerOn(this);
}

void TCustomApplicationPro::Initialize() {
    auto& app = Application();
    if (!Title.empty()) app.SetTitle(Title);
    if (!app.Title().empty()) Title = app.Title();

    std::string program = Services.Paths->ExecutablePath();
    size_t slash = program.find_last_of(platform::PathSeparators);
    ExeName = slash == std::string::npos ? program : program.substr(slash + 1);
    size_t dot = ExeName.find('.');
    // Programs without an extension (the usual case outside Windows) are
    // named by their whole file name, so their lock and log stay their own.
    AppName = ExeName.substr(0, dot);
    AppPath = WithDelimiter(slash == std::string::npos ? std::string() : program.substr(0, slash + 1));
    DataPath = AppPath;
    SystemPath = WithDelimiter(Services.Paths->SystemPath());
    WindowsPath = WithDelimiter(Services.Paths->WindowsPath());
    LogFileName = AppPath + AppName + ".log";

    InstallHooks();
    if (SingleInstance) CheckSingleInstance();
}

void TCustomApplicationPro::CheckSingleInstance() {
    // Our own lock from an earlier Initialize would look like another
    // instance to a second request.
    if (InstanceLock) return;
    auto result = Services.Instance->TryLock(AppName + "Semaphore");
    if (result.AlreadyHeld) {
        // A second instance bows out without showing anything.
        SetLogFile(false);
        auto& app = Application();
        app.Terminate();
        app.SetShowMainForm(false);
        app.ClearMainFormHandlers();
        app.HideMainForm();
        return;
    }
    InstanceLock = std::move(result.Lock);
}

void TCustomApplicationPro::ComponentRemoving() {
    if (Application().Terminated()) Stop();
}

void TCustomApplicationPro::LoadOptions() {
    TSettingsView settings = FrameworkSettings();
    DataPath = settings.ReadString(DataPathValue, DataPath);
    AppPath = settings.ReadString(ProgramPathValue, AppPath);
    AppName = settings.ReadString(ProgramNameValue, AppName);
    std::string version = settings.ReadString(VersionValue, VersionText());
    size_t separator = version.find('.');
    if (separator == std::string::npos) separator = version.find(',');
    if (separator != std::string::npos) {
        MajorVersion = version.substr(0, separator);
        MinorVersion = version.substr(separator + 1);
    }
    SetNeedDisplay(settings.StoredBool(NeedDisplayValue, FNeedDisplay));
    SetNeedSystem(settings.StoredBool(NeedSystemValue, FNeedSystem));
    if (OnLoadOptions) OnLoadOptions(this);
    CloseStore();
}

void TCustomApplicationPro::SaveOptions() {
    TSettingsView settings = FrameworkSettings();
    settings.WriteString(DataPathValue, DataPath);
    settings.WriteBool(NeedDisplayValue, FNeedDisplay);
    settings.WriteBool(NeedSystemValue, FNeedSystem);
    if (OnSaveOptions) OnSaveOptions(this);
    CloseStore();
}

// ---------------------------------------------------------------- settings store

std::string TCustomApplicationPro::KeyPath() const {
    std::string path = "Software\\";
    if (!Company.empty()) path += Company + "\\";
    return path + Title + " " + MajorVersion;
}

void TCustomApplicationPro::SetReadOnlyKey(bool value) {
    if (value == FReadOnlyKey) return;
    FReadOnlyKey = value;
    CloseStore();
}

void TCustomApplicationPro::SetUseMachineKey(bool value) {
    if (value == FUseMachineKey) return;
    FUseMachineKey = value;
    CloseStore();
}

void TCustomApplicationPro::CloseStore() { Key.reset(); }

platform::ISettingsKey* TCustomApplicationPro::OpenKey() {
    if (!Key) {
        Key = Services.Settings->Open(
            FUseMachineKey ? platform::SettingsRoot::Machine : platform::SettingsRoot::User, KeyPath(),
            FReadOnlyKey ? platform::SettingsAccess::ReadOnly : platform::SettingsAccess::ReadWrite);
    }
    return Key.get();
}

std::string TCustomApplicationPro::ValueName(const std::string& name) const {
    if (!ScrambledNames) return name;
    std::string scrambled = name;
    for (char& c : scrambled) c = static_cast<char>(~static_cast<unsigned char>(c));
    return scrambled;
}

std::string TCustomApplicationPro::ReadString(const std::string& name, const std::string& def) {
    SetReadOnlyKey(true);
    const std::string valueName = ValueName(name);
    std::string result = def;
    // Reads under the current root; false when the read failed. A key that
    // cannot be opened holds no values: a missing machine key must not keep
    // the framework from looking there for the values that follow.
    auto readHere = [&](bool& found) {
        found = false;
        platform::ISettingsKey* key = OpenKey();
        if (!key) return true;
        auto read = key->Read(valueName);
        if (read.Failed) return false;
        if (read.Value) {
            result = *read.Value;
            found = true;
        }
        return true;
    };
    bool found = false;
    bool ok = readHere(found);
    if (ok && !found && FUseMachineKey) {
        // Not set for the machine: the user's value, if any.
        SetUseMachineKey(false);
        ok = readHere(found);
        if (ok) SetUseMachineKey(true);
    }
    if (!ok && FUseMachineKey) {
        // The machine's values cannot be read: stay with the user's.
        SetUseMachineKey(false);
        readHere(found);
    }
    return result;
}

void TCustomApplicationPro::WriteString(const std::string& name, const std::string& value) {
    SetReadOnlyKey(false);
    const std::string valueName = ValueName(name);
    auto writeHere = [&] {
        platform::ISettingsKey* key = OpenKey();
        return key && key->Write(valueName, value);
    };
    if (!writeHere() && FUseMachineKey) {
        // Users may not write the machine's settings: keep them per user.
        SetUseMachineKey(false);
        writeHere();
    }
}

bool TCustomApplicationPro::ReadBool(const std::string& name, bool def) {
    std::string text = ReadString(name, "");
    if (text.empty()) return def;
    return StrToBool(text);
}

int32_t TCustomApplicationPro::ReadInteger(const std::string& name, int32_t def) {
    std::string text = ReadString(name, "");
    if (text.empty()) return def;
    // Decimal only: an optional sign, then digits.
    size_t start = text[0] == '-' || text[0] == '+' ? 1 : 0;
    bool decimal = start < text.size();
    for (size_t i = start; i < text.size(); ++i)
        if (text[i] < '0' || text[i] > '9') decimal = false;
    if (!decimal) throw EConvertError("'" + text + "' is not a valid integer value");
    return str::StrToInt(text);
}

void TCustomApplicationPro::WriteBool(const std::string& name, bool value) {
    WriteString(name, value ? "-1" : "0");
}

void TCustomApplicationPro::WriteInteger(const std::string& name, int32_t value) {
    WriteString(name, str::IntToStr(value));
}

void TSettingsView::Select() {
    App.ScrambledNames = Scrambled;
    App.SetUseMachineKey(MachineFirst);
}

std::string TSettingsView::ReadString(const std::string& name, const std::string& def) {
    Select();
    return App.ReadString(name, def);
}

bool TSettingsView::ReadBool(const std::string& name, bool def) {
    Select();
    return App.ReadBool(name, def);
}

int32_t TSettingsView::ReadInteger(const std::string& name, int32_t def) {
    Select();
    return App.ReadInteger(name, def);
}

bool TSettingsView::StoredBool(const std::string& name, bool def) {
    try {
        return ReadBool(name, def);
    } catch (const EConvertError&) {
        return def;
    }
}

int32_t TSettingsView::StoredInteger(const std::string& name, int32_t def) {
    try {
        return ReadInteger(name, def);
    } catch (const EConvertError&) {
        return def;
    }
}

void TSettingsView::WriteString(const std::string& name, const std::string& value) {
    Select();
    App.WriteString(name, value);
}

void TSettingsView::WriteBool(const std::string& name, bool value) {
    Select();
    App.WriteBool(name, value);
}

void TSettingsView::WriteInteger(const std::string& name, int32_t value) {
    Select();
    App.WriteInteger(name, value);
}

// ---------------------------------------------------------------- windows, cursor, state

void TCustomApplicationPro::CloseApplication() {
    HideApplicationWindows();
    SetCursorVisible(true);
    if (Application().HasMainForm())
        Application().CloseMainForm();
    else
        Application().Terminate();
}

void TCustomApplicationPro::ProcessMessages() {
    bool done = false;
    try {
        Idle(done);
    } catch (const std::exception& e) {
        HandleException(e);
    }
}

void TCustomApplicationPro::CenterMainForm() {
    auto& app = Application();
    if (!app.HasMainForm() || !app.MainFormIsTopLevel()) return;
    platform::Size screen = app.PrimaryScreenSize();
    platform::Size form = app.MainFormSize();
    TFormPosition position = CenterFormPosition(screen.Width, screen.Height, form.Width, form.Height);
    app.SetMainFormPosition(position.Left, position.Top);
}

void TCustomApplicationPro::SetCursorVisible(bool visible) { Application().ShowCursor(visible); }

void TCustomApplicationPro::HideApplicationWindows() {
    Application().HideApplicationWindow();
    Application().HideMainForm();
}

void TCustomApplicationPro::SetPaused(bool paused) {
    if (paused) {
        if (FState != TApplicationState::Paused) {
            SavedState = FState;
            FState = TApplicationState::Paused;
        }
    } else if (FState == TApplicationState::Paused) {
        FState = SavedState;
    }
}

void TCustomApplicationPro::SetNeedDisplay(bool value) {
    if (value == FNeedDisplay) return;
    FNeedDisplay = value;
    UpdateExecutionState();
}

void TCustomApplicationPro::SetNeedSystem(bool value) {
    if (value == FNeedSystem) return;
    FNeedSystem = value;
    UpdateExecutionState();
}

void TCustomApplicationPro::UpdateExecutionState() {
    Services.Power->SetExecutionState(FNeedDisplay, FNeedSystem);
}

// ---------------------------------------------------------------- log

void TCustomApplicationPro::SetLogFile(bool value) {
    FLogFile = value;
    if (!value) CloseLog();
}

void TCustomApplicationPro::CloseLog() {
    Log.reset();
    LogPosition = 0;
    LogSize = 0;
}

void TCustomApplicationPro::WriteLog(std::string_view text) {
    if (!FLogFile) return;
    static const std::vector<char> zeros(LogBlockSize, 0);
    // A failing log must never add a second error to the one being logged.
    auto fail = [this] { CloseLog(); };
    if (!Log) {
        // First line of the run: a fresh file of one zero block, in one
        // step, so a full disk keeps the last run's log rather than a stub.
        if (!platform::ReplaceFile(LogFileName, std::string_view(zeros.data(), zeros.size())).empty()) return;
        Log.reset(std::fopen(LogFileName.c_str(), "r+b"));
        if (!Log) return;
        LogPosition = 0;
        LogSize = LogBlockSize;
    }
    std::string line(text);
    line += "\r\n";
    std::FILE* f = Log.get();
    if (LogPosition + line.size() > LogSize) {
        // The text stays followed by zeros up to the end of the last block;
        // a line longer than a block gets as many blocks as it needs.
        if (std::fseek(f, static_cast<long>(LogPosition), SEEK_SET) != 0) return fail();
        uint64_t size = LogPosition;
        do {
            if (std::fwrite(zeros.data(), 1, zeros.size(), f) != zeros.size()) return fail();
            size += LogBlockSize;
        } while (LogPosition + line.size() > size);
        LogSize = size;
    }
    if (std::fseek(f, static_cast<long>(LogPosition), SEEK_SET) != 0) return fail();
    if (std::fwrite(line.data(), 1, line.size(), f) != line.size() || std::fflush(f) != 0) return fail();
    LogPosition += line.size();
}

// ---------------------------------------------------------------- TCustomGraphicApplicationPro

TTimerPro& TCustomGraphicApplicationPro::Timer() {
    if (!FTimer) FTimer = std::make_unique<TTimerPro>(Clock());
    return *FTimer;
}

void TCustomGraphicApplicationPro::Idle(bool& done) {
    TCustomApplicationPro::Idle(done);
    if (State() != TApplicationState::Running) {
        done = false;
        return;
    }
    Clock().Sleep(1);
    ++FrameCount;
    TTimerPro& timer = Timer();
    if (!timer.Running()) {
        timer.Start();
        LastMeasureTime = FirstFrameTime = timer.Elapsed().Seconds();
    }
    // The tick wrapped around (after 49.7 days): measure from here.
    long double now = timer.Elapsed().Seconds();
    if (now < LastMeasureTime) LastMeasureTime = now;
    if (FixedFPS) Clock().Sleep(17);
    if (timer.Elapsed().Seconds() - LastMeasureTime >= 1.0L) {
        Clock().Sleep(1);
        now = timer.Elapsed().Seconds();
        long double span = now - LastMeasureTime;
        int32_t rate = span > 0 ? RoundRate(static_cast<long double>(FrameCount) / span) : FFPS;
        if (rate != FFPS && OnFPSChanged) {
            FFPS = rate;
            OnFPSChanged(this);
        }
        FFPS = rate;
        LastMeasureTime = now;
        FrameCount = 1;
    }
}

void TCustomGraphicApplicationPro::LoadOptions() {
    FixedFPS = FrameworkSettings().StoredBool(FixedFPSValue, false);
    TCustomApplicationPro::LoadOptions();
}

void TCustomGraphicApplicationPro::SaveOptions() {
    FrameworkSettings().WriteBool(FixedFPSValue, FixedFPS);
    TCustomApplicationPro::SaveOptions();
}
