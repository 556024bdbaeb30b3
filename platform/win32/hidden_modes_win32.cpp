#include "platform/hidden_modes.h"

namespace platform {

// Windows undoes a display mode set for full screen itself when the process
// ends, so no guardian (nor any other helper) is needed.
std::optional<int> RunHiddenMode(int, char**) { return std::nullopt; }

}  // namespace platform
