#include "platform/hidden_modes.h"

#include "platform/linux/display_xrandr.h"

#include <cstring>

namespace platform {

std::optional<int> RunHiddenMode(int argc, char** argv) {
    if (argc < 2 || !argv[1]) return std::nullopt;
    if (std::strcmp(argv[1], DisplayGuardianArgument) == 0) return RunDisplayGuardian(argc, argv);
    return std::nullopt;
}

}  // namespace platform
