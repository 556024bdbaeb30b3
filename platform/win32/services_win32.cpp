#include "platform/services.h"

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
