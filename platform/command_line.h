// The program's command line as UTF-8 text.
#pragma once

#include <string>
#include <vector>

namespace platform {

// The program's name followed by its arguments. Windows hands main() its
// arguments in the ANSI code page, which loses what that page cannot
// spell, so there they come from the wide command line; elsewhere argv is
// taken as it is.
std::vector<std::string> ProgramArguments(int argc, char** argv);

}  // namespace platform
