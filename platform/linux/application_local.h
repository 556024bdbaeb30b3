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

}  // namespace platform
