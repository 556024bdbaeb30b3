// A window-system binding double: offers the formats the test lists, makes
// drawables and contexts as counters, and logs every call by name.
#pragma once

#include "platform/gl_context.h"
#include "platform/gl_library.h"

#include <algorithm>
#include <string>
#include <vector>

namespace platform {

class NullGLContext final : public IGLContextBinding {
public:
    std::vector<PixelFormatDescriptor> Formats;
    // When set, SetPixelFormat makes a child drawable (as on X11); otherwise
    // the window is its own drawable (as on Win32).
    bool ChildDrawables = true;
    bool FailAttach = false;
    bool FailContext = false;
    bool FailPalette = false;
    bool FailMakeCurrent = false;
    bool SwapInterval = true;  // the swap-interval extension is there
    int Interval = 0;          // the interval the driver holds
    bool ExtensionsList = true;
    bool AutoNumber = true;  // number the formats 1..n; off: as listed
    std::string Extensions = "GLX_ARB_get_proc_address GLX_EXT_swap_control";
    int32_t Width = 640, Height = 480;

    std::vector<std::string> Calls;
    std::vector<PaletteColor> LastPalette;
    PixelFormatDescriptor LastFormat;
    GLContextHandle Current = 0;
    int LiveContexts = 0, LiveDrawables = 0, LivePalettes = 0;

    int Count(const std::string& call) const {
        return static_cast<int>(std::count(Calls.begin(), Calls.end(), call));
    }

    bool Attach(IGLLibrary& library) override {
        Calls.push_back("Attach");
        IsAttached = !FailAttach && library.IsLoaded();
        return IsAttached;
    }
    void Detach() override {
        Calls.push_back("Detach");
        IsAttached = false;
        Current = 0;
    }
    bool Attached() const override { return IsAttached; }

    std::vector<PixelFormatDescriptor> DescribePixelFormats(GLWindowHandle) override {
        Calls.push_back("DescribePixelFormats");
        if (!IsAttached) return {};
        std::vector<PixelFormatDescriptor> list = Formats;
        if (AutoNumber)
            for (size_t i = 0; i < list.size(); ++i) list[i].Number = static_cast<int32_t>(i + 1);
        return list;
    }
    GLWindowHandle SetPixelFormat(GLWindowHandle window, const PixelFormatDescriptor& format) override {
        Calls.push_back("SetPixelFormat");
        LastFormat = format;
        if (!window) return 0;
        if (!ChildDrawables) return window;
        ++LiveDrawables;
        return window + 0x1000;
    }
    void DestroyDrawable(GLWindowHandle) override {
        Calls.push_back("DestroyDrawable");
        if (ChildDrawables && LiveDrawables > 0) --LiveDrawables;
    }
    void ResizeDrawable(GLWindowHandle, int32_t width, int32_t height) override {
        Calls.push_back("ResizeDrawable");
        Width = width;
        Height = height;
    }
    bool ClientSize(GLWindowHandle window, int32_t& width, int32_t& height) override {
        width = window ? Width : 0;
        height = window ? Height : 0;
        return window != 0;
    }
    GLPaletteHandle CreatePalette(GLWindowHandle, const std::vector<PaletteColor>& colors) override {
        Calls.push_back("CreatePalette");
        LastPalette = colors;
        if (FailPalette) return 0;
        ++LivePalettes;
        return 0x77;
    }
    void DeletePalette(GLPaletteHandle) override {
        Calls.push_back("DeletePalette");
        --LivePalettes;
    }
    GLContextHandle CreateContext(GLWindowHandle drawable) override {
        Calls.push_back("CreateContext");
        if (FailContext || !drawable) return 0;
        ++LiveContexts;
        return 0x500 + static_cast<GLContextHandle>(LiveContexts);
    }
    void DeleteContext(GLContextHandle context) override {
        Calls.push_back("DeleteContext");
        if (context) --LiveContexts;
    }
    bool MakeCurrent(GLWindowHandle, GLContextHandle context) override {
        Calls.push_back(context ? "MakeCurrent" : "ReleaseCurrent");
        if (FailMakeCurrent && context) return false;
        Current = context;
        return true;
    }
    void LoadExtensions() override { Calls.push_back("LoadExtensions"); }
    bool SwapBuffers(GLWindowHandle) override {
        Calls.push_back("SwapBuffers");
        return true;
    }
    bool HasSwapInterval() const override { return SwapInterval; }
    int GetSwapInterval(GLWindowHandle) override {
        Calls.push_back("GetSwapInterval");
        return Interval;
    }
    void SetSwapInterval(GLWindowHandle, int interval) override {
        Calls.push_back("SetSwapInterval " + std::to_string(interval));
        Interval = interval;
    }
    bool HasExtensionsString() const override { return ExtensionsList; }
    std::string ExtensionsString(GLWindowHandle) override {
        Calls.push_back("ExtensionsString");
        return Extensions;
    }

private:
    bool IsAttached = false;
};

}  // namespace platform
