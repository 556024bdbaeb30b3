// Display modes and monitors through the display-settings calls. A switch is
// made "for full screen": the system undoes it when the process ends, however
// it ends, so Windows needs no watcher of its own.
#include "platform/display.h"

#include <windows.h>

#include <algorithm>

#include "platform/win32/wide_text.h"

namespace platform {
namespace {

DEVMODEW ModeRecord(const DisplayMode& mode) {
    DEVMODEW dm{};
    dm.dmSize = sizeof dm;
    dm.dmPelsWidth = static_cast<DWORD>(mode.Width);
    dm.dmPelsHeight = static_cast<DWORD>(mode.Height);
    dm.dmBitsPerPel = static_cast<DWORD>(mode.BitsPerPixel);
    dm.dmFields = DM_PELSWIDTH | DM_PELSHEIGHT | DM_BITSPERPEL;
    if (mode.Frequency > 1) {
        dm.dmDisplayFrequency = static_cast<DWORD>(mode.Frequency);
        dm.dmFields |= DM_DISPLAYFREQUENCY;
    }
    return dm;
}

BOOL CALLBACK AddMonitor(HMONITOR monitor, HDC, LPRECT, LPARAM list) {
    MONITORINFOEXW info{};
    info.cbSize = sizeof info;
    if (!GetMonitorInfoW(monitor, &info)) return TRUE;
    MonitorInfo m;
    m.Name = win32::Narrow(info.szDevice);
    m.Left = info.rcMonitor.left;
    m.Top = info.rcMonitor.top;
    m.Width = info.rcMonitor.right - info.rcMonitor.left;
    m.Height = info.rcMonitor.bottom - info.rcMonitor.top;
    m.Primary = info.dwFlags & MONITORINFOF_PRIMARY;
    reinterpret_cast<std::vector<MonitorInfo>*>(list)->push_back(m);
    return TRUE;
}

class Win32DisplaySettings final : public IDisplaySettings {
public:
    ~Win32DisplaySettings() override { RestoreMode(); }

    bool EnumMode(int index, DisplayMode& mode) override {
        DEVMODEW dm{};
        dm.dmSize = sizeof dm;
        if (index < 0 || !EnumDisplaySettingsW(nullptr, static_cast<DWORD>(index), &dm)) return false;
        mode.Width = static_cast<int32_t>(dm.dmPelsWidth);
        mode.Height = static_cast<int32_t>(dm.dmPelsHeight);
        mode.BitsPerPixel = static_cast<int32_t>(dm.dmBitsPerPel);
        mode.Frequency = static_cast<int32_t>(dm.dmDisplayFrequency);
        return true;
    }

    bool TestMode(const DisplayMode& mode) override {
        DEVMODEW dm = ModeRecord(mode);
        return ChangeDisplaySettingsW(&dm, CDS_TEST) == DISP_CHANGE_SUCCESSFUL;
    }

    DisplayMode CurrentMode() override {
        DisplayMode mode;
        mode.Width = GetSystemMetrics(SM_CXSCREEN);
        mode.Height = GetSystemMetrics(SM_CYSCREEN);
        if (HDC screen = GetDC(nullptr)) {
            mode.BitsPerPixel = GetDeviceCaps(screen, BITSPIXEL);
            ReleaseDC(nullptr, screen);
        }
        return mode;
    }

    bool ChangeMode(const DisplayMode& mode) override {
        DEVMODEW dm = ModeRecord(mode);
        if (ChangeDisplaySettingsW(&dm, CDS_FULLSCREEN) != DISP_CHANGE_SUCCESSFUL) return false;
        Changed = true;
        return true;
    }

    void RestoreMode() override {
        if (!Changed) return;
        ChangeDisplaySettingsW(nullptr, 0);
        Changed = false;
    }

    bool ModeChanged() const override { return Changed; }

    std::vector<MonitorInfo> Monitors() override {
        std::vector<MonitorInfo> list;
        EnumDisplayMonitors(nullptr, nullptr, AddMonitor, reinterpret_cast<LPARAM>(&list));
        std::stable_partition(list.begin(), list.end(), [](const MonitorInfo& m) { return m.Primary; });
        return list;
    }

    MonitorInfo VirtualDesktop() override {
        MonitorInfo desktop;
        desktop.Name = "desktop";
        desktop.Left = GetSystemMetrics(SM_XVIRTUALSCREEN);
        desktop.Top = GetSystemMetrics(SM_YVIRTUALSCREEN);
        desktop.Width = GetSystemMetrics(SM_CXVIRTUALSCREEN);
        desktop.Height = GetSystemMetrics(SM_CYVIRTUALSCREEN);
        return desktop;
    }

private:
    bool Changed = false;
};

}  // namespace

const char* const kDesktopName = "Desktop";

IDisplaySettings& SystemDisplaySettings() {
    static Win32DisplaySettings display;
    return display;
}

}  // namespace platform
