// Modes of the program that its other parts start as helper processes,
// chosen by a first argument no user types (the display-mode guardian).
// A helper is the program started afresh rather than a fork of it: a fork
// of a process with threads could not safely do a helper's work.
#pragma once

#include <optional>

namespace platform {

// Call first thing in main(). Runs the helper argv asks for and gives its
// exit code; gives nothing for an ordinary start.
std::optional<int> RunHiddenMode(int argc, char** argv);

}  // namespace platform
