// What the Linux loops need of the GL windows beyond their interface.
#pragma once

namespace platform {

// The file descriptor of the GL windows' X connection, -1 while it is
// closed (no windows). A loop watches it to wake when input arrives.
int GLWindowsConnectionFd();

}  // namespace platform
