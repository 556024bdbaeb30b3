// One pass of an application object's idle hook, with its exception routing;
// every system's loop runs its frames through it.
#pragma once

#include "platform/application_hooks.h"

#include <functional>
#include <string>

namespace platform {

// An exception goes to the Exception hook, or without one to an error box
// titled `title`; false when that ends the run.
bool RunIdlePass(const std::function<void(bool&)>& idle, const ApplicationHandlers& handlers,
                 const std::string& title, bool& done);

}  // namespace platform
