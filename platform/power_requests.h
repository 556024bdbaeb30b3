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
};

// Not available on Linux yet (session inhibits come with the host).
IPowerRequests& SystemPowerRequests();

}  // namespace platform
