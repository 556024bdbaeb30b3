// The display's modes and monitors: what the primary monitor can show, a
// temporary switch to one of its modes and the return to the desktop mode,
// and the monitors' places on the desktop.
//
// A switched mode is undone whatever way the program ends: by RestoreMode,
// at normal exit, and, on systems where a dying process leaves the mode
// behind, by a watcher that outlives the program.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace platform {

struct DisplayMode {
    int32_t Width = 0;
    int32_t Height = 0;
    int32_t BitsPerPixel = 0;
    int32_t Frequency = 0;  // Hz; 0 when the system does not say
};

struct MonitorInfo {
    std::string Name;
    int32_t Left = 0;
    int32_t Top = 0;
    int32_t Width = 0;
    int32_t Height = 0;
    bool Primary = false;
};

class IDisplaySettings {
public:
    virtual ~IDisplaySettings() = default;

    // Mode number `index` (from 0) of the primary monitor; false past the last.
    virtual bool EnumMode(int index, DisplayMode& mode) = 0;
    // Whether a switch to the mode would succeed, without switching.
    virtual bool TestMode(const DisplayMode& mode) = 0;
    // The primary monitor's size and the desktop's bits per pixel as they
    // are now (Frequency 0).
    virtual DisplayMode CurrentMode() = 0;
    // Switches the primary monitor for this run only; false when refused.
    virtual bool ChangeMode(const DisplayMode& mode) = 0;
    // Returns to the desktop's own mode (nothing when it was never left).
    virtual void RestoreMode() = 0;
    // Whether a switch made by ChangeMode is in force.
    virtual bool ModeChanged() const = 0;

    // Every monitor, the primary one first.
    virtual std::vector<MonitorInfo> Monitors() = 0;
    // The bounds of the whole desktop, all monitors together.
    virtual MonitorInfo VirtualDesktop() = 0;

    // Why no GL output can be shown here, in the words of this system (no
    // display, no GL on it, no visual deep enough); empty when it can.
    virtual std::string UnavailableReason() { return {}; }
};

// What this system calls the desktop whose colour depth a user changes.
extern const char* const kDesktopName;

// This OS's display; lives for the whole process.
IDisplaySettings& SystemDisplaySettings();

}  // namespace platform
