// Raw-data resources of the executable: blocks of bytes linked into the
// program (the content archive, test fixtures) and found by name. On Linux
// the build generates a small registration for every embedded file; on
// Windows they are RCDATA resources in the executable's resource section.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

struct TRawResource {
    const uint8_t* Data = nullptr;
    size_t Size = 0;
};

// The resource of that name, matched without regard to ASCII case: a
// registered one first, else one of the executable's resource section.
std::optional<TRawResource> FindRawResource(std::string_view name);

// The RCDATA resource of that name in the running executable's resource
// section; nothing where executables have none (ELF on Linux).
std::optional<TRawResource> FindExecutableResource(std::string_view name);

// Makes bytes that live for the whole run findable under name. A later
// registration of the same name replaces the earlier one.
void RegisterRawResource(std::string_view name, const void* data, size_t size);

// Forgets a registration; for tests that register bytes of their own.
void UnregisterRawResource(std::string_view name);

// Registers at static initialisation; the generated code holds one of these.
struct TRawResourceRegistration {
    TRawResourceRegistration(const char* name, const void* data, size_t size) {
        RegisterRawResource(name, data, size);
    }
};
