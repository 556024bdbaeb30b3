// The settings file reader: arbitrary bytes must parse without a crash, and
// whatever was read must survive being written and read again unchanged.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "platform/linux/ini_settings_store.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::string_view text(reinterpret_cast<const char*>(data), size);
    platform::SettingsValues values = platform::ParseSettingsText(text);
    std::string written = platform::FormatSettingsText(values);
    if (platform::ParseSettingsText(written) != values) std::abort();
    return 0;
}
