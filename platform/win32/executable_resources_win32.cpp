#include "platform/resources.h"

#include <windows.h>

#include "platform/win32/wide_text.h"

std::optional<TRawResource> FindExecutableResource(std::string_view name) {
    // Named resources are stored upper-cased; the lookup upper-cases the name.
    HRSRC info = FindResourceW(nullptr, platform::win32::Widen(name).c_str(), RT_RCDATA);
    if (!info) return std::nullopt;
    HGLOBAL loaded = LoadResource(nullptr, info);
    const void* data = loaded ? LockResource(loaded) : nullptr;
    if (!data) return std::nullopt;
    // A resource stays mapped with the executable for the whole run.
    return TRawResource{static_cast<const uint8_t*>(data), static_cast<size_t>(SizeofResource(nullptr, info))};
}
