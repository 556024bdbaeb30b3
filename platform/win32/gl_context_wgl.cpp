// WGL binding. The format is set on the window itself, which is then its own
// drawable; each drawable keeps one device context for its whole life, as a
// context made current on it needs. The WGL functions come from the GL
// library loaded at the moment; pixel formats are described and buffers
// swapped by the library's own functions when it has them, else by GDI's.
#include "platform/gl_context.h"

#include <windows.h>

#include <algorithm>
#include <map>
#include <string_view>

#include "platform/gl_library.h"

namespace platform {
namespace {

using DescribePixelFormatFn = int(WINAPI*)(HDC, int, UINT, PIXELFORMATDESCRIPTOR*);
using SwapBuffersFn = BOOL(WINAPI*)(HDC);
using CreateContextFn = HGLRC(WINAPI*)(HDC);
using DeleteContextFn = BOOL(WINAPI*)(HGLRC);
using MakeCurrentFn = BOOL(WINAPI*)(HDC, HGLRC);
using GetExtensionsStringARBFn = const char*(WINAPI*)(HDC);
using SwapIntervalEXTFn = BOOL(WINAPI*)(int);
using GetSwapIntervalEXTFn = int(WINAPI*)();

bool HasWord(std::string_view list, std::string_view word) {
    size_t pos = 0;
    while ((pos = list.find(word, pos)) != std::string_view::npos) {
        const size_t end = pos + word.size();
        if ((pos == 0 || list[pos - 1] == ' ') && (end == list.size() || list[end] == ' ')) return true;
        pos = end;
    }
    return false;
}

class WglBinding final : public IGLContextBinding {
public:
    ~WglBinding() override { Detach(); }

    bool Attach(IGLLibrary& library) override {
        Detach();
        if (!library.IsLoaded()) return false;
        auto find = [&](const char* name) { return library.GetProcAddress(name); };
        fCreateContext = reinterpret_cast<CreateContextFn>(find("wglCreateContext"));
        fDeleteContext = reinterpret_cast<DeleteContextFn>(find("wglDeleteContext"));
        fMakeCurrent = reinterpret_cast<MakeCurrentFn>(find("wglMakeCurrent"));
        fDescribe = reinterpret_cast<DescribePixelFormatFn>(find("DescribePixelFormat"));
        if (!fDescribe) fDescribe = reinterpret_cast<DescribePixelFormatFn>(find("wglDescribePixelFormat"));
        if (!fDescribe) fDescribe = ::DescribePixelFormat;
        fSwap = reinterpret_cast<SwapBuffersFn>(find("wglSwapBuffers"));
        if (!fSwap) fSwap = ::SwapBuffers;
        if (!fCreateContext || !fDeleteContext || !fMakeCurrent) {
            Forget();
            return false;
        }
        Library = &library;
        return true;
    }

    void Detach() override {
        if (!Library) return;
        fMakeCurrent(nullptr, nullptr);
        CurrentDC = nullptr;
        for (HGLRC context : Contexts) fDeleteContext(context);
        Contexts.clear();
        for (auto& [window, dc] : DCs) ReleaseDC(window, dc);
        DCs.clear();
        for (auto& [palette, dc] : Palettes) DeleteObject(palette);
        Palettes.clear();
        Forget();
    }

    bool Attached() const override { return Library != nullptr; }

    std::vector<PixelFormatDescriptor> DescribePixelFormats(GLWindowHandle window) override {
        std::vector<PixelFormatDescriptor> formats;
        if (!Library) return formats;
        HWND hwnd = reinterpret_cast<HWND>(window);
        HDC dc = GetDC(hwnd);  // null: the screen's
        if (!dc) return formats;
        PIXELFORMATDESCRIPTOR pfd{};
        const int count = fDescribe(dc, 1, sizeof pfd, &pfd);
        for (int i = 1; i <= count; ++i) {
            if (!fDescribe(dc, i, sizeof pfd, &pfd)) continue;
            PixelFormatDescriptor f;
            f.Number = i;
            f.ColorBits = pfd.cColorBits;
            f.DepthBits = pfd.cDepthBits;
            f.StencilBits = pfd.cStencilBits;
            f.AlphaBits = pfd.cAlphaBits;
            f.AccumBits = pfd.cAccumRedBits + pfd.cAccumGreenBits + pfd.cAccumBlueBits + pfd.cAccumAlphaBits;
            f.DrawToWindow = pfd.dwFlags & PFD_DRAW_TO_WINDOW;
            f.DrawToBitmap = pfd.dwFlags & PFD_DRAW_TO_BITMAP;
            f.DoubleBuffer = pfd.dwFlags & PFD_DOUBLEBUFFER;
            f.GDISupport = pfd.dwFlags & PFD_SUPPORT_GDI;
            f.Generic = pfd.dwFlags & PFD_GENERIC_FORMAT;
            f.NeedsPalette = pfd.dwFlags & PFD_NEED_PALETTE;
            f.RedBits = pfd.cRedBits, f.RedShift = pfd.cRedShift;
            f.GreenBits = pfd.cGreenBits, f.GreenShift = pfd.cGreenShift;
            f.BlueBits = pfd.cBlueBits, f.BlueShift = pfd.cBlueShift;
            f.SystemId = static_cast<uintptr_t>(i);
            formats.push_back(f);
        }
        ReleaseDC(hwnd, dc);
        return formats;
    }

    GLWindowHandle SetPixelFormat(GLWindowHandle window, const PixelFormatDescriptor& format) override {
        HDC dc = DCOf(window);
        if (!dc) return 0;
        PIXELFORMATDESCRIPTOR pfd{};
        if (!fDescribe(dc, format.Number, sizeof pfd, &pfd)) return 0;
        // A window takes a format once; setting the one it has is no change.
        if (GetPixelFormat(dc) != format.Number && !::SetPixelFormat(dc, format.Number, &pfd)) return 0;
        return window;
    }

    void DestroyDrawable(GLWindowHandle) override {}
    void ResizeDrawable(GLWindowHandle, int32_t, int32_t) override {}

    bool ClientSize(GLWindowHandle window, int32_t& width, int32_t& height) override {
        RECT r{};
        if (!IsWindow(reinterpret_cast<HWND>(window)) || !GetClientRect(reinterpret_cast<HWND>(window), &r)) return false;
        width = r.right - r.left;
        height = r.bottom - r.top;
        return true;
    }

    GLPaletteHandle CreatePalette(GLWindowHandle drawable, const std::vector<PaletteColor>& colors) override {
        HDC dc = DCOf(drawable);
        if (!dc || colors.empty() || colors.size() > 256) return 0;
        // LOGPALETTE holds one entry; room for all of them follows it.
        std::vector<uint8_t> storage(sizeof(LOGPALETTE) + colors.size() * sizeof(PALETTEENTRY));
        auto* logical = reinterpret_cast<LOGPALETTE*>(storage.data());
        logical->palVersion = 0x300;
        logical->palNumEntries = static_cast<WORD>(colors.size());
        for (size_t i = 0; i < colors.size(); ++i)
            logical->palPalEntry[i] = PALETTEENTRY{colors[i].Red, colors[i].Green, colors[i].Blue, colors[i].Flags};
        HPALETTE palette = ::CreatePalette(logical);
        if (!palette) return 0;
        SelectPalette(dc, palette, FALSE);
        RealizePalette(dc);
        Palettes[palette] = dc;
        return reinterpret_cast<GLPaletteHandle>(palette);
    }

    void DeletePalette(GLPaletteHandle palette) override {
        auto it = Palettes.find(reinterpret_cast<HPALETTE>(palette));
        if (it == Palettes.end()) return;
        // A palette selected into a device context cannot be deleted.
        SelectPalette(it->second, static_cast<HPALETTE>(GetStockObject(DEFAULT_PALETTE)), FALSE);
        DeleteObject(it->first);
        Palettes.erase(it);
    }

    GLContextHandle CreateContext(GLWindowHandle drawable) override {
        HDC dc = DCOf(drawable);
        HGLRC context = dc && Library ? fCreateContext(dc) : nullptr;
        if (context) Contexts.push_back(context);
        return reinterpret_cast<GLContextHandle>(context);
    }

    void DeleteContext(GLContextHandle context) override {
        if (!Library || !context) return;
        auto it = std::find(Contexts.begin(), Contexts.end(), reinterpret_cast<HGLRC>(context));
        if (it == Contexts.end()) return;
        fDeleteContext(*it);
        Contexts.erase(it);
    }

    bool MakeCurrent(GLWindowHandle drawable, GLContextHandle context) override {
        if (!Library) return false;
        CurrentDC = nullptr;
        if (!context) return fMakeCurrent(nullptr, nullptr);
        HDC dc = DCOf(drawable);
        if (!dc || !fMakeCurrent(dc, reinterpret_cast<HGLRC>(context))) return false;
        CurrentDC = dc;
        return true;
    }

    void LoadExtensions() override {
        ClearExtensions();
        if (!Library) return;
        fExtensionsString =
            reinterpret_cast<GetExtensionsStringARBFn>(Library->GetExtensionProcAddress("wglGetExtensionsStringARB"));
        // The swap interval only when the driver names the extension:
        // wglGetProcAddress may answer for names it cannot serve.
        const char* list = fExtensionsString ? fExtensionsString(CurrentDC) : nullptr;
        if (list && HasWord(list, "WGL_EXT_swap_control")) {
            fSwapInterval = reinterpret_cast<SwapIntervalEXTFn>(Library->GetExtensionProcAddress("wglSwapIntervalEXT"));
            fGetSwapInterval =
                reinterpret_cast<GetSwapIntervalEXTFn>(Library->GetExtensionProcAddress("wglGetSwapIntervalEXT"));
            if (!fSwapInterval || !fGetSwapInterval) fSwapInterval = nullptr, fGetSwapInterval = nullptr;
        }
    }

    bool SwapBuffers(GLWindowHandle drawable) override {
        HDC dc = DCOf(drawable);
        return dc && Library && fSwap(dc);
    }

    bool HasSwapInterval() const override { return fSwapInterval != nullptr; }
    int GetSwapInterval(GLWindowHandle) override { return fGetSwapInterval ? fGetSwapInterval() : 0; }
    void SetSwapInterval(GLWindowHandle, int interval) override {
        if (fSwapInterval) fSwapInterval(interval);
    }

    bool HasExtensionsString() const override { return fExtensionsString != nullptr; }
    std::string ExtensionsString(GLWindowHandle drawable) override {
        HDC dc = DCOf(drawable);
        const char* list = fExtensionsString && dc ? fExtensionsString(dc) : nullptr;
        return list ? list : "";
    }

private:
    // The device context a drawable keeps; made on first use.
    HDC DCOf(GLWindowHandle window) {
        HWND hwnd = reinterpret_cast<HWND>(window);
        if (!hwnd || !IsWindow(hwnd)) return nullptr;
        auto it = DCs.find(hwnd);
        if (it != DCs.end()) return it->second;
        HDC dc = GetDC(hwnd);
        if (dc) DCs[hwnd] = dc;
        return dc;
    }

    void ClearExtensions() {
        fExtensionsString = nullptr;
        fSwapInterval = nullptr;
        fGetSwapInterval = nullptr;
    }

    void Forget() {
        Library = nullptr;
        fCreateContext = nullptr;
        fDeleteContext = nullptr;
        fMakeCurrent = nullptr;
        fDescribe = nullptr;
        fSwap = nullptr;
        ClearExtensions();
    }

    IGLLibrary* Library = nullptr;
    CreateContextFn fCreateContext = nullptr;
    DeleteContextFn fDeleteContext = nullptr;
    MakeCurrentFn fMakeCurrent = nullptr;
    DescribePixelFormatFn fDescribe = nullptr;
    SwapBuffersFn fSwap = nullptr;
    GetExtensionsStringARBFn fExtensionsString = nullptr;
    SwapIntervalEXTFn fSwapInterval = nullptr;
    GetSwapIntervalEXTFn fGetSwapInterval = nullptr;
    HDC CurrentDC = nullptr;  // of the context made current last
    std::map<HWND, HDC> DCs;
    std::map<HPALETTE, HDC> Palettes;
    std::vector<HGLRC> Contexts;
};

}  // namespace

IGLContextBinding& SystemGLContext() {
    static WglBinding binding;
    return binding;
}

}  // namespace platform
