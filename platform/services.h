// The set of platform services the application framework is built on. The
// framework takes one of these at construction; the program passes the
// system's, tests pass the doubles of platform/null.
#pragma once

#include "platform/application_hooks.h"
#include "platform/clock.h"
#include "platform/message_reporter.h"
#include "platform/power_requests.h"
#include "platform/processes.h"
#include "platform/program_paths.h"
#include "platform/settings_store.h"
#include "platform/single_instance.h"

namespace platform {

struct Services {
    IClock* Clock = nullptr;
    ISettingsStore* Settings = nullptr;
    ISingleInstance* Instance = nullptr;
    IMessageReporter* Messages = nullptr;
    IProgramPaths* Paths = nullptr;
    IPowerRequests* Power = nullptr;
    IApplicationHooks* Application = nullptr;
    IProcesses* Processes = nullptr;

    bool Complete() const {
        return Clock && Settings && Instance && Messages && Paths && Power && Application && Processes;
    }
};

// This OS's implementations; all of them live for the whole process.
Services SystemServices();

}  // namespace platform
