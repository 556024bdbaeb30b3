// The GL library, loaded at run time by file name, and its entry-point
// lookup. The window-system binding (contexts, pixel formats, swaps) has its
// own interface.
#pragma once

#include <string>

namespace platform {

class IGLLibrary {
public:
    virtual ~IGLLibrary() = default;
    // Loads the library by file name; false when it cannot be loaded.
    virtual bool Load(const std::string& fileName) = 0;
    virtual bool IsLoaded() const = 0;
    // Address of a core entry point exported by the library, or nullptr.
    virtual void* GetProcAddress(const char* name) = 0;
    // Address of an extension entry point (needs a current context), or nullptr.
    virtual void* GetExtensionProcAddress(const char* name) = 0;
    virtual void Unload() = 0;
};

// The library of this OS ("libGL.so.1" and friends on Linux).
IGLLibrary& SystemGLLibrary();

// The file name of this OS's GL library, or of the alternative GL
// implementation the user may choose instead of it.
std::string GLLibraryFileName(bool alternative);

}  // namespace platform
