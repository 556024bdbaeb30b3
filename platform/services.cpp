#include "platform/services.h"

// The same on every system: each service's own System*() gives this OS's.

namespace platform {

Services SystemServices() {
    Services s;
    s.Clock = &SystemClock();
    s.Settings = &SystemSettingsStore();
    s.Instance = &SystemSingleInstance();
    s.Messages = &SystemMessageReporter();
    s.Paths = &SystemProgramPaths();
    s.Power = &SystemPowerRequests();
    s.Application = &SystemApplication();
    s.Processes = &SystemProcesses();
    return s;
}

}  // namespace platform
