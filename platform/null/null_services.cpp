#include "platform/null/null_services.h"

#include <algorithm>

namespace platform {

std::optional<uint32_t> ManualClock::MinTimerPeriod() {
    if (CapsFail) return std::nullopt;
    return MinPeriod;
}

bool ManualClock::BeginTimerPeriod(uint32_t ms) {
    if (RefusedPeriods.count(ms)) return false;
    Begun.push_back(ms);
    return true;
}

namespace {

class MemoryKey final : public ISettingsKey {
public:
    MemoryKey(MemorySettingsStore::Root& root, std::map<std::string, std::string>& values, bool writable)
        : Owner(root), Values(values), Writable(writable) {}

    ReadResult Read(const std::string& name) override {
        ReadResult result;
        if (Owner.FailRead) {
            result.Failed = true;
            return result;
        }
        auto it = Values.find(name);
        if (it != Values.end()) result.Value = it->second;
        return result;
    }

    bool Write(const std::string& name, const std::string& value) override {
        if (!Writable || Owner.FailWrite) return false;
        Values[name] = value;
        return true;
    }

private:
    MemorySettingsStore::Root& Owner;
    std::map<std::string, std::string>& Values;
    bool Writable;
};

class TableLock final : public IInstanceLock {
public:
    TableLock(InstanceTable& table, std::string name) : Table(table), Name(std::move(name)) {}
    ~TableLock() override { Table.Held.erase(Name); }

private:
    InstanceTable& Table;
    std::string Name;
};

}  // namespace

std::unique_ptr<ISettingsKey> MemorySettingsStore::Open(SettingsRoot root, const std::string& keyPath,
                                                        SettingsAccess access) {
    Root& r = At(root);
    if (r.FailOpen) return nullptr;
    auto it = r.Keys.find(keyPath);
    if (it == r.Keys.end()) {
        if (access == SettingsAccess::ReadOnly) return nullptr;
        it = r.Keys.emplace(keyPath, std::map<std::string, std::string>()).first;
    }
    ++Opens;
    return std::make_unique<MemoryKey>(r, it->second, access == SettingsAccess::ReadWrite);
}

void MemorySettingsStore::Set(SettingsRoot root, const std::string& keyPath, const std::string& name,
                              const std::string& value) {
    At(root).Keys[keyPath][name] = value;
}

std::optional<std::string> MemorySettingsStore::Get(SettingsRoot root, const std::string& keyPath,
                                                    const std::string& name) {
    auto& keys = At(root).Keys;
    auto key = keys.find(keyPath);
    if (key == keys.end()) return std::nullopt;
    auto value = key->second.find(name);
    if (value == key->second.end()) return std::nullopt;
    return value->second;
}

InstanceLockResult InstanceTable::TryLock(const std::string& name) {
    Requests.push_back(name);
    InstanceLockResult result;
    if (Fail) return result;
    if (Held.count(name)) {
        result.AlreadyHeld = true;
        return result;
    }
    Held.insert(name);
    result.Lock = std::make_unique<TableLock>(*this, name);
    return result;
}

void RecordingApplication::SetHandlers(const ApplicationHandlers& handlers) {
    Handlers = handlers;
    Log.push_back("SetHandlers");
}

void RecordingApplication::SetIdleHandler(std::function<void(bool&)> idle) {
    Log.push_back(idle ? "Idle(attached)" : "Idle(detached)");
    Handlers.Idle = std::move(idle);
}

std::optional<bool> RecordingApplication::IdleOnce() {
    auto idle = Handlers.Idle;
    if (!idle) return std::nullopt;
    bool done = true;
    idle(done);
    return done;
}

void RecordingApplication::Run() {
    for (int i = 0; i < MaxPasses && !IsTerminated; ++i) {
        auto done = IdleOnce();
        if (!done || *done) break;
    }
}

void RecordingApplication::Terminate() {
    IsTerminated = true;
    Log.push_back("Terminate");
}

void RecordingApplication::PostQuit(int exitCode) {
    QuitCode = exitCode;
    Log.push_back("PostQuit(" + std::to_string(exitCode) + ")");
}

void RecordingApplication::SetShowMainForm(bool show) {
    ShowMainForm = show;
    Log.push_back(show ? "ShowMainForm(1)" : "ShowMainForm(0)");
}

void RecordingApplication::SetMainFormPosition(int32_t left, int32_t top) { FormPosition = {left, top}; }

void RecordingApplication::CloseMainForm() { Log.push_back("CloseMainForm"); }

void RecordingApplication::HideMainForm() { Log.push_back("HideMainForm"); }

void RecordingApplication::ClearMainFormHandlers() { Log.push_back("ClearMainFormHandlers"); }

void RecordingApplication::HideApplicationWindow() { Log.push_back("HideApplicationWindow"); }

void RecordingApplication::ShowCursor(bool visible) { Log.push_back(visible ? "ShowCursor(1)" : "ShowCursor(0)"); }

bool RecordingApplication::Logged(const std::string& entry) const {
    return std::find(Log.begin(), Log.end(), entry) != Log.end();
}

}  // namespace platform
