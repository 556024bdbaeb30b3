#include "platform/resources.h"

#include <map>

namespace {

// Upper-cased ASCII; resource names are matched without regard to case.
std::string Key(std::string_view name) {
    std::string key(name);
    for (char& c : key)
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    return key;
}

// Function-local so that registrations from static initialisers of any
// translation unit find it constructed.
std::map<std::string, TRawResource>& Registry() {
    static std::map<std::string, TRawResource> registry;
    return registry;
}

}  // namespace

std::optional<TRawResource> FindRawResource(std::string_view name) {
    auto& registry = Registry();
    auto it = registry.find(Key(name));
    if (it == registry.end()) return FindExecutableResource(name);
    return it->second;
}

void RegisterRawResource(std::string_view name, const void* data, size_t size) {
    Registry()[Key(name)] = TRawResource{static_cast<const uint8_t*>(data), size};
}

void UnregisterRawResource(std::string_view name) { Registry().erase(Key(name)); }
