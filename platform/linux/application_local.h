// What the two Linux application objects (the plain X loop and GTK's loop)
// share.
#pragma once

#include "platform/application_hooks.h"

#include <functional>
#include <string>

namespace platform {

// The primary monitor's size (the first monitor's when none is marked
// primary); 0x0 without a display.
Size PrimaryMonitorSize();

// One pass of the idle handler. An exception goes to the Exception hook, or
// without one to an error box titled `title`; false when that ends the run.
bool RunIdlePass(const std::function<void(bool&)>& idle, const ApplicationHandlers& handlers,
                 const std::string& title, bool& done);

}  // namespace platform
