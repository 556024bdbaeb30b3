// Keeping the display and the system awake while the program needs them.
#pragma once

namespace platform {

class IPowerRequests {
public:
    virtual ~IPowerRequests() = default;
    // Replaces the process's standing request: with needDisplay the display
    // must not blank, with needSystem the system must not sleep (neither:
    // no request). False when the system offers no such request.
    virtual bool SetExecutionState(bool needDisplay, bool needSystem) = 0;
    // Suspends the system now; false when refused or not offered.
    virtual bool SuspendSystem() = 0;
    // Switches the monitors off now; false when the display cannot.
    virtual bool MonitorOff() = 0;
    // True once per announcement that the system is about to sleep. Polled
    // every idle pass: never blocks.
    virtual bool TakeSleepNotice() = 0;
};

// Not available on Linux yet (session inhibits come with the host).
IPowerRequests& SystemPowerRequests();

}  // namespace platform
