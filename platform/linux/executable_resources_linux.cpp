#include "platform/resources.h"

// ELF executables have no resource section: every embedded file is
// registered by the code the build generates for it.
std::optional<TRawResource> FindExecutableResource(std::string_view) { return std::nullopt; }
