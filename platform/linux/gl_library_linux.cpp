#include "platform/gl_library.h"

#include <dlfcn.h>

#include <cstdlib>
#include <string_view>

namespace platform {
namespace {

// GL libraries are never really unmapped (RTLD_NODELETE): drivers register
// exit handlers and hook into X connections, and code that vanished under
// them crashes later. Unloading forgets the handle; loading again is cheap.
constexpr int kOpenFlags = RTLD_NOW | RTLD_LOCAL | RTLD_NODELETE;

// The dispatching front of the vendor-neutral GL loader.
constexpr const char* kFrontLibrary = "libGL.so.1";
constexpr const char* kVendorVariable = "__GLX_VENDOR_LIBRARY_NAME";

// "libGLX_mesa.so.0" -> "mesa"; empty when the name is not a vendor library's.
std::string VendorOf(std::string_view fileName) {
    size_t slash = fileName.rfind('/');
    if (slash != std::string_view::npos) fileName.remove_prefix(slash + 1);
    constexpr std::string_view prefix = "libGLX_";
    if (fileName.substr(0, prefix.size()) != prefix) return {};
    fileName.remove_prefix(prefix.size());
    return std::string(fileName.substr(0, fileName.find(".so")));
}

class LinuxGLLibrary final : public IGLLibrary {
public:
    ~LinuxGLLibrary() override { Unload(); }

    bool Load(const std::string& fileName) override {
        Unload();
        void* handle = dlopen(fileName.c_str(), kOpenFlags);
        if (!handle) return false;
        if (!dlsym(handle, "glXGetProcAddressARB") && dlsym(handle, "__glx_Main")) {
            // A vendor library of the GL loader has no GLX entry points of
            // its own: it is chosen for the loader's front library, which
            // then dispatches every call of this process's new X connections
            // to it.
            std::string vendor = VendorOf(fileName);
            if (vendor.empty()) {
                dlclose(handle);
                return false;
            }
            Vendor = handle;
            if (!std::getenv(kVendorVariable)) {
                setenv(kVendorVariable, vendor.c_str(), 1);
                SetVendorVariable = true;
            }
            handle = dlopen(kFrontLibrary, kOpenFlags);
            if (!handle) {
                Unload();
                return false;
            }
        }
        Handle = handle;
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
        if (Vendor) dlclose(Vendor);
        if (SetVendorVariable) unsetenv(kVendorVariable);
        Handle = nullptr;
        Vendor = nullptr;
        SetVendorVariable = false;
        GetProc = nullptr;
    }

private:
    using GetProcFn = void (*(*)(const unsigned char*))();
    void* Handle = nullptr;
    void* Vendor = nullptr;
    bool SetVendorVariable = false;
    GetProcFn GetProc = nullptr;
};

}  // namespace

IGLLibrary& SystemGLLibrary() {
    static LinuxGLLibrary library;
    return library;
}

std::string GLLibraryFileName(bool alternative) {
    // The alternative is Mesa, chosen directly through the GL loader: its
    // drivers (down to the software rasteriser) stand in where the default
    // vendor's driver misbehaves. Without Mesa installed it cannot load.
    return alternative ? "libGLX_mesa.so.0" : kFrontLibrary;
}

}  // namespace platform
