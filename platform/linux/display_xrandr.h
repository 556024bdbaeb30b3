// The XRandR display settings, for callers that need their own instance
// (each with its own X connection) rather than the process-wide one.
#pragma once

#include "platform/display.h"

#include <memory>
#include <string>

namespace platform {

// displayName nullptr: $DISPLAY. The connection opens on first use.
std::unique_ptr<IDisplaySettings> CreateXRandRDisplaySettings(const char* displayName = nullptr);

// The first switch starts the program again as the guardian of the desktop's
// mode, with this first argument (see RunHiddenMode in platform/hidden_modes.h).
inline constexpr const char* DisplayGuardianArgument = "--display-guardian";

// The program started as the guardian: /proc/self/exe unless named here.
// Test programs, whose main has no hidden modes, name the built program.
void SetDisplayGuardianProgram(const std::string& path);

// The guardian's main: argv[1] is DisplayGuardianArgument. Waits for the
// program's word or its death and restores the saved mode after a death.
int RunDisplayGuardian(int argc, char** argv);

}  // namespace platform
