// The GL library loaded by file name with LoadLibrary; core entry points are
// its exports, extension entry points come from its wglGetProcAddress.
#include "platform/gl_library.h"

#include <windows.h>

#include "platform/win32/wide_text.h"

namespace platform {
namespace {

class Win32GLLibrary final : public IGLLibrary {
public:
    ~Win32GLLibrary() override { Unload(); }

    bool Load(const std::string& fileName) override {
        Unload();
        Module = LoadLibraryW(win32::Widen(fileName).c_str());
        if (!Module) return false;
        GetProc = reinterpret_cast<GetProcFn>(reinterpret_cast<void*>(::GetProcAddress(Module, "wglGetProcAddress")));
        return true;
    }

    bool IsLoaded() const override { return Module != nullptr; }

    void* GetProcAddress(const char* name) override {
        return Module ? reinterpret_cast<void*>(::GetProcAddress(Module, name)) : nullptr;
    }

    void* GetExtensionProcAddress(const char* name) override {
        if (!GetProc) return nullptr;
        // Some drivers answer an unknown name with a small number or -1
        // instead of null.
        const auto p = reinterpret_cast<intptr_t>(GetProc(name));
        if (p == 0 || p == 1 || p == 2 || p == 3 || p == -1) return nullptr;
        return reinterpret_cast<void*>(p);
    }

    void Unload() override {
        if (Module) FreeLibrary(Module);
        Module = nullptr;
        GetProc = nullptr;
    }

private:
    using GetProcFn = PROC(WINAPI*)(LPCSTR);
    HMODULE Module = nullptr;
    GetProcFn GetProc = nullptr;
};

}  // namespace

IGLLibrary& SystemGLLibrary() {
    static Win32GLLibrary library;
    return library;
}

std::string GLLibraryFileName(bool alternative) { return alternative ? "dx7ogl32.dll" : "opengl32.dll"; }

}  // namespace platform
