// Power on Win32: the thread's execution state keeps the display and the
// system awake, the system's running-saver flag is set while we save the
// screen, a suspend takes the shutdown privilege first, the monitors go off
// through the SC_MONITORPOWER broadcast, and the sleep announcement
// (WM_POWERBROADCAST, which only top-level windows hear) reaches a hidden
// window of our own made on first use.
#include "platform/power_requests.h"

#include <windows.h>

namespace platform {
namespace {

constexpr wchar_t kNoticeClass[] = L"Marivelle Power Notices";
constexpr UINT kSetScreenSaverRunning = 97;  // SPI_SETSCREENSAVERRUNNING
// A hung window must not hold the monitor broadcast for long.
constexpr UINT kBroadcastTimeoutMs = 1000;

using SetSystemPowerStateFn = BOOL(WINAPI*)(BOOL suspend, BOOL force);
using SetSuspendStateFn = BOOLEAN(WINAPI*)(BOOLEAN hibernate, BOOLEAN force, BOOLEAN wakeupEventsDisabled);

// Lets this process ask for a suspend; a refusal is left to the call itself.
void EnableShutdownPrivilege() {
    HANDLE token = nullptr;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_ADJUST_PRIVILEGES | TOKEN_QUERY, &token)) return;
    TOKEN_PRIVILEGES privileges{};
    privileges.PrivilegeCount = 1;
    privileges.Privileges[0].Attributes = SE_PRIVILEGE_ENABLED;
    if (LookupPrivilegeValueW(nullptr, SE_SHUTDOWN_NAME, &privileges.Privileges[0].Luid))
        AdjustTokenPrivileges(token, FALSE, &privileges, 0, nullptr, nullptr);
    CloseHandle(token);
}

class Win32PowerRequests final : public IPowerRequests {
public:
    ~Win32PowerRequests() override {
        if (Window) DestroyWindow(Window);
    }

    bool SetExecutionState(bool needDisplay, bool needSystem) override {
        EXECUTION_STATE state = ES_CONTINUOUS;
        if (needDisplay) state |= ES_DISPLAY_REQUIRED;
        if (needSystem) state |= ES_SYSTEM_REQUIRED;
        return SetThreadExecutionState(state) != 0;
    }

    bool SuspendSystem() override {
        EnableShutdownPrivilege();
        // Older systems suspend through the kernel; later ones only through
        // the power profile library.
        if (HMODULE kernel = GetModuleHandleW(L"kernel32.dll"))
            if (auto suspend = reinterpret_cast<SetSystemPowerStateFn>(
                    reinterpret_cast<void*>(GetProcAddress(kernel, "SetSystemPowerState"))))
                return suspend(TRUE, TRUE) != FALSE;
        HMODULE profiles = LoadLibraryW(L"powrprof.dll");
        if (!profiles) return false;
        bool suspended = false;
        if (auto suspend = reinterpret_cast<SetSuspendStateFn>(
                reinterpret_cast<void*>(GetProcAddress(profiles, "SetSuspendState"))))
            suspended = suspend(FALSE, TRUE, FALSE) != FALSE;
        FreeLibrary(profiles);
        return suspended;
    }

    bool MonitorOff() override {
        DWORD_PTR result = 0;
        return SendMessageTimeoutW(HWND_BROADCAST, WM_SYSCOMMAND, SC_MONITORPOWER, 2, SMTO_ABORTIFHUNG,
                                   kBroadcastTimeoutMs, &result) != 0;
    }

    bool TakeSleepNotice() override {
        if (!Window && !Failed) Listen();
        if (Notices == 0) return false;
        --Notices;
        return true;
    }

    void AllowSleepQueries(bool allowed) override {
        // Listening now, so a query before the first poll is answered too.
        if (!Window && !Failed) Listen();
        QueriesAllowed = allowed;
    }

    void SetScreenSaverRunning(bool running) override {
        BOOL previous = FALSE;
        SystemParametersInfoA(kSetScreenSaverRunning, running ? TRUE : FALSE, &previous, 0);
    }

private:
    static LRESULT CALLBACK NoticeProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
        if (msg == WM_POWERBROADCAST) {
            auto* self = reinterpret_cast<Win32PowerRequests*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
            if (!self) return TRUE;
            if (wParam == PBT_APMQUERYSUSPEND || wParam == PBT_APMQUERYSTANDBY)
                return self->QueriesAllowed ? TRUE : BROADCAST_QUERY_DENY;
            if (wParam == PBT_APMSUSPEND || wParam == PBT_APMSTANDBY) ++self->Notices;
            return TRUE;
        }
        return DefWindowProcW(hwnd, msg, wParam, lParam);
    }

    // A hidden top-level window: broadcasts skip message-only windows.
    void Listen() {
        WNDCLASSW wc{};
        wc.lpfnWndProc = &Win32PowerRequests::NoticeProc;
        wc.hInstance = GetModuleHandleW(nullptr);
        wc.lpszClassName = kNoticeClass;
        if (!RegisterClassW(&wc) && GetLastError() != ERROR_CLASS_ALREADY_EXISTS) {
            Failed = true;
            return;
        }
        Window = CreateWindowExW(WS_EX_TOOLWINDOW, kNoticeClass, L"", WS_POPUP, 0, 0, 0, 0, nullptr, nullptr,
                                 GetModuleHandleW(nullptr), nullptr);
        if (!Window) {
            Failed = true;
            return;
        }
        SetWindowLongPtrW(Window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
    }

    HWND Window = nullptr;
    bool Failed = false;
    int Notices = 0;
    bool QueriesAllowed = true;
};

}  // namespace

IPowerRequests& SystemPowerRequests() {
    static Win32PowerRequests power;
    return power;
}

}  // namespace platform
