// Keeping the display and the system awake while the program needs them,
// putting them to sleep on request, and hearing that the system is about to
// sleep.
#pragma once

namespace platform {

class IPowerRequests {
public:
    virtual ~IPowerRequests() = default;
    // Replaces the process's standing request: with needDisplay the display
    // must not blank, with needSystem the system must not sleep (neither:
    // no request). Whatever is held is released when turned off and when
    // the object goes. False when nothing asked for could be taken.
    virtual bool SetExecutionState(bool needDisplay, bool needSystem) = 0;
    // Suspends the system now. False when the system refused or offers no
    // suspend.
    virtual bool SuspendSystem() = 0;
    // Switches the monitors off now; false when the display cannot.
    virtual bool MonitorOff() = 0;
    // True once per announcement that the system is about to sleep. Polled
    // every idle pass: it never blocks and, with nothing announced, never
    // allocates.
    virtual bool TakeSleepNotice() = 0;
    // Whether a request to sleep that asks first may be granted (some
    // systems ask every program before they suspend). Granted until told
    // otherwise; nothing where the system asks nobody.
    virtual void AllowSleepQueries(bool allowed) = 0;
    // Tells the system whether a screen saver of ours runs now (Windows
    // keeps its own saver and its hot keys away meanwhile). Nothing where
    // the system keeps no such flag.
    virtual void SetScreenSaverRunning(bool running) = 0;
};

// On Linux: the X server's saver is suspended and the session's screen
// saver inhibited for the display, logind is asked for a sleep inhibitor,
// a suspend and its PrepareForSleep announcements, and DPMS turns the
// monitors off. Connections open on first use; a missing one is remembered.
IPowerRequests& SystemPowerRequests();

}  // namespace platform
