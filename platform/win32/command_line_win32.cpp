#include "platform/command_line.h"

#include <windows.h>
#include <shellapi.h>

#include "platform/win32/wide_text.h"

namespace platform {

std::vector<std::string> ProgramArguments(int argc, char** argv) {
    std::vector<std::string> args;
    int count = 0;
    if (LPWSTR* wide = CommandLineToArgvW(GetCommandLineW(), &count)) {
        for (int i = 0; i < count; ++i) args.push_back(win32::Narrow(wide[i]));
        LocalFree(wide);
        return args;
    }
    // Out of memory for the split: the runtime's own split is all there is.
    for (int i = 0; i < argc; ++i)
        if (argv[i]) args.emplace_back(argv[i]);
    return args;
}

}  // namespace platform
