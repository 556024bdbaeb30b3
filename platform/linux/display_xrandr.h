// The XRandR display settings, for callers that need their own instance
// (each with its own X connection) rather than the process-wide one.
#pragma once

#include "platform/display.h"

#include <memory>

namespace platform {

// displayName nullptr: $DISPLAY. The connection opens on first use.
std::unique_ptr<IDisplaySettings> CreateXRandRDisplaySettings(const char* displayName = nullptr);

}  // namespace platform
