#include "platform/gl_library.h"

#include <dlfcn.h>

namespace platform {
namespace {

class LinuxGLLibrary final : public IGLLibrary {
public:
    ~LinuxGLLibrary() override { Unload(); }

    bool Load(const std::string& fileName) override {
        Unload();
        Handle = dlopen(fileName.c_str(), RTLD_NOW | RTLD_LOCAL);
        if (!Handle) return false;
        GetProc = reinterpret_cast<GetProcFn>(dlsym(Handle, "glXGetProcAddressARB"));
        if (!GetProc) GetProc = reinterpret_cast<GetProcFn>(dlsym(Handle, "glXGetProcAddress"));
        return true;
    }

    bool IsLoaded() const override { return Handle != nullptr; }

    void* GetProcAddress(const char* name) override { return Handle ? dlsym(Handle, name) : nullptr; }

    void* GetExtensionProcAddress(const char* name) override {
        // glXGetProcAddress answers for any name, known to the driver or not;
        // an exported symbol is the safer answer when there is one.
        if (!Handle) return nullptr;
        if (void* p = dlsym(Handle, name)) return p;
        return GetProc ? reinterpret_cast<void*>(GetProc(reinterpret_cast<const unsigned char*>(name))) : nullptr;
    }

    void Unload() override {
        if (Handle) dlclose(Handle);
        Handle = nullptr;
        GetProc = nullptr;
    }

private:
    using GetProcFn = void (*(*)(const unsigned char*))();
    void* Handle = nullptr;
    GetProcFn GetProc = nullptr;
};

}  // namespace

IGLLibrary& SystemGLLibrary() {
    static LinuxGLLibrary library;
    return library;
}

}  // namespace platform
