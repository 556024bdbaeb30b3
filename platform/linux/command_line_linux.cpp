#include "platform/command_line.h"

namespace platform {

// Linux hands over the bytes as they were typed, UTF-8 in any current locale.
std::vector<std::string> ProgramArguments(int argc, char** argv) {
    std::vector<std::string> args;
    for (int i = 0; i < argc; ++i)
        if (argv[i]) args.emplace_back(argv[i]);
    return args;
}

}  // namespace platform
