// The Linux power requests, for callers that need their own instance (with
// its own connections, made under the environment of the moment) rather than
// the process-wide one.
#pragma once

#include "platform/power_requests.h"

#include <memory>

namespace platform {

// displayName nullptr: $DISPLAY. The buses are those of
// $DBUS_SYSTEM_BUS_ADDRESS and $DBUS_SESSION_BUS_ADDRESS (or their defaults)
// when first used.
std::unique_ptr<IPowerRequests> CreateLinuxPowerRequests(const char* displayName = nullptr);

}  // namespace platform
