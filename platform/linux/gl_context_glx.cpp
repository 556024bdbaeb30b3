// GLX binding. Every GLX function comes from the GL library that was loaded
// at run time; nothing is linked from libGL.
//
// The binding has X connections of its own, which live as long as the
// process: the GL library and its driver hook into a connection, and closing
// it unloads the driver with everything it still holds. The GL loader picks
// its vendor once per connection, so there is one connection per vendor
// choice (see gl_library_linux.cpp).
#include "platform/gl_context.h"

#include "platform/gl_library.h"
#include "platform/linux/x11_error_trap.h"

#include <X11/Xlib.h>
#include <X11/Xutil.h>

#include <algorithm>
#include <bit>
#include <cstdlib>
#include <cstring>
#include <map>
#include <string>
#include <string_view>

namespace platform {
namespace {

// GLX types and tokens (GLX 1.3 and the swap-control extensions). They are
// declared here so the build needs no GL development headers.
struct GLXFBConfigRec;
struct GLXContextRec;
using GLXFBConfig = GLXFBConfigRec*;
using GLXContext = GLXContextRec*;
using GLXDrawable = XID;

enum : int {
    GLX_BUFFER_SIZE = 2,
    GLX_DOUBLEBUFFER = 5,
    GLX_RED_SIZE = 8,
    GLX_GREEN_SIZE = 9,
    GLX_BLUE_SIZE = 10,
    GLX_ALPHA_SIZE = 11,
    GLX_DEPTH_SIZE = 12,
    GLX_STENCIL_SIZE = 13,
    GLX_ACCUM_RED_SIZE = 14,
    GLX_ACCUM_GREEN_SIZE = 15,
    GLX_ACCUM_BLUE_SIZE = 16,
    GLX_ACCUM_ALPHA_SIZE = 17,
    GLX_CONFIG_CAVEAT = 0x20,
    GLX_SLOW_CONFIG = 0x8001,
    GLX_DRAWABLE_TYPE = 0x8010,
    GLX_RENDER_TYPE = 0x8011,
    GLX_FBCONFIG_ID = 0x8013,
    GLX_RGBA_TYPE = 0x8014,
    GLX_WINDOW_BIT = 1,
    GLX_PIXMAP_BIT = 2,
    GLX_RGBA_BIT = 1,
    GLX_SWAP_INTERVAL_EXT = 0x20F1,
};

using QueryExtensionFn = Bool (*)(Display*, int*, int*);
using GetFBConfigsFn = GLXFBConfig* (*)(Display*, int, int*);
using GetFBConfigAttribFn = int (*)(Display*, GLXFBConfig, int, int*);
using GetVisualFromFBConfigFn = XVisualInfo* (*)(Display*, GLXFBConfig);
using CreateNewContextFn = GLXContext (*)(Display*, GLXFBConfig, int, GLXContext, Bool);
using DestroyContextFn = void (*)(Display*, GLXContext);
using MakeCurrentFn = Bool (*)(Display*, GLXDrawable, GLXContext);
using SwapBuffersFn = void (*)(Display*, GLXDrawable);
using QueryExtensionsStringFn = const char* (*)(Display*, int);
using QueryDrawableFn = void (*)(Display*, GLXDrawable, int, unsigned int*);
using SwapIntervalEXTFn = void (*)(Display*, GLXDrawable, int);
using SwapIntervalMESAFn = int (*)(unsigned int);
using GetSwapIntervalMESAFn = int (*)();

bool HasWord(std::string_view list, std::string_view word) {
    size_t pos = 0;
    while ((pos = list.find(word, pos)) != std::string_view::npos) {
        size_t end = pos + word.size();
        bool startOk = pos == 0 || list[pos - 1] == ' ';
        bool endOk = end == list.size() || list[end] == ' ';
        if (startOk && endOk) return true;
        pos = end;
    }
    return false;
}

void MaskLayout(unsigned long mask, int32_t& bits, int32_t& shift) {
    bits = std::popcount(mask);
    shift = mask ? std::countr_zero(mask) : 0;
}

class GLXBinding final : public IGLContextBinding {
public:
    // At exit everything is left to the system: the server frees what a
    // closed connection owned, and the driver may already have run its own
    // exit handlers.
    ~GLXBinding() override = default;

    bool Attach(IGLLibrary& library) override {
        if (Dpy && Library == &library && library.IsLoaded()) return true;
        Detach();
        if (!library.IsLoaded()) return false;
        Library = &library;
        if (!LoadCore()) {
            Detach();
            return false;
        }
        const char* vendor = std::getenv("__GLX_VENDOR_LIBRARY_NAME");
        Display*& connection = Connections[vendor ? vendor : ""];
        x11::LetStrayErrorsPass();
        if (!connection) connection = XOpenDisplay(nullptr);
        Dpy = connection;
        int errorBase = 0, eventBase = 0;
        if (!Dpy || !fQueryExtension(Dpy, &errorBase, &eventBase)) {
            Detach();
            return false;
        }
        return true;
    }

    void Detach() override {
        if (Dpy && Library && Library->IsLoaded()) {
            x11::ErrorTrap trap(Dpy);
            if (fMakeCurrent) fMakeCurrent(Dpy, None, nullptr);
            for (auto& [context, screen] : Contexts) fDestroyContext(Dpy, reinterpret_cast<GLXContext>(context));
            for (auto& [palette, drawable] : Palettes) XFreeColormap(Dpy, palette);
            for (auto& [window, d] : Drawables) {
                XDestroyWindow(Dpy, window);
                XFreeColormap(Dpy, d.OwnColormap);
            }
        }
        Contexts.clear();
        Palettes.clear();
        Drawables.clear();
        Dpy = nullptr;
        Library = nullptr;
        Configs.clear();
        fQueryExtension = nullptr;
        fGetFBConfigs = nullptr;
        fGetFBConfigAttrib = nullptr;
        fGetVisualFromFBConfig = nullptr;
        fCreateNewContext = nullptr;
        fDestroyContext = nullptr;
        fMakeCurrent = nullptr;
        fSwapBuffers = nullptr;
        fQueryExtensionsString = nullptr;
        fQueryDrawable = nullptr;
        ClearExtensions();
    }

    bool Attached() const override { return Dpy != nullptr; }

    std::vector<PixelFormatDescriptor> DescribePixelFormats(GLWindowHandle window) override {
        std::vector<PixelFormatDescriptor> formats;
        if (!Dpy) return formats;
        int screen = ScreenOf(window);
        if (screen < 0) return formats;
        int rootDepth = DefaultDepth(Dpy, screen);
        std::vector<GLXFBConfig>& configs = ConfigsOf(screen);
        formats.reserve(configs.size());
        for (size_t i = 0; i < configs.size(); ++i) {
            PixelFormatDescriptor f = Describe(configs[i], rootDepth);
            f.Number = static_cast<int32_t>(i + 1);
            formats.push_back(f);
        }
        return formats;
    }

    GLWindowHandle SetPixelFormat(GLWindowHandle window, const PixelFormatDescriptor& format) override {
        if (!Dpy || !window) return 0;
        for (auto it = Drawables.begin(); it != Drawables.end();) {
            if (it->second.Parent == window) {
                GLWindowHandle old = it->first;
                ++it;
                DestroyDrawable(old);
            } else {
                ++it;
            }
        }
        x11::ErrorTrap trap(Dpy);
        XWindowAttributes parent{};
        if (!XGetWindowAttributes(Dpy, window, &parent) || !trap.Ok()) return 0;
        int screen = XScreenNumberOfScreen(parent.screen);
        GLXFBConfig config = FindConfig(screen, format.SystemId);
        if (!config) return 0;
        XVisualInfo* visual = fGetVisualFromFBConfig(Dpy, config);
        if (!visual) return 0;

        GLDrawable d;
        d.Parent = window;
        d.Config = config;
        d.Screen = screen;
        d.VisualPtr = visual->visual;
        d.VisualClass = visual->c_class;
        d.ColormapSize = visual->colormap_size;
        d.OwnColormap = XCreateColormap(Dpy, RootWindow(Dpy, screen), visual->visual, AllocNone);
        XSetWindowAttributes attrs{};
        attrs.colormap = d.OwnColormap;
        attrs.border_pixel = 0;
        attrs.background_pixmap = None;  // GL paints every pixel; no flash of a background
        // No event mask: input falls through to the window we were given.
        Window child = XCreateWindow(Dpy, window, 0, 0, static_cast<unsigned>(std::max(parent.width, 1)),
                                     static_cast<unsigned>(std::max(parent.height, 1)), 0, visual->depth,
                                     InputOutput, visual->visual, CWColormap | CWBorderPixel | CWBackPixmap, &attrs);
        XFree(visual);
        if (child) XMapWindow(Dpy, child);
        if (!child || !trap.Ok()) {
            if (child) XDestroyWindow(Dpy, child);
            XFreeColormap(Dpy, d.OwnColormap);
            return 0;
        }
        Drawables[child] = d;
        return child;
    }

    void DestroyDrawable(GLWindowHandle drawable) override {
        auto it = Drawables.find(drawable);
        if (!Dpy || it == Drawables.end()) return;
        for (auto p = Palettes.begin(); p != Palettes.end();) {
            if (p->second == drawable) {
                XFreeColormap(Dpy, p->first);
                p = Palettes.erase(p);
            } else {
                ++p;
            }
        }
        x11::ErrorTrap trap(Dpy);
        XDestroyWindow(Dpy, drawable);
        XFreeColormap(Dpy, it->second.OwnColormap);
        Drawables.erase(it);
    }

    void ResizeDrawable(GLWindowHandle drawable, int32_t width, int32_t height) override {
        if (!Dpy || !Drawables.count(drawable)) return;
        x11::ErrorTrap trap(Dpy);
        XResizeWindow(Dpy, drawable, static_cast<unsigned>(std::max(width, 1)),
                      static_cast<unsigned>(std::max(height, 1)));
    }

    bool ClientSize(GLWindowHandle window, int32_t& width, int32_t& height) override {
        width = height = 0;
        if (!Dpy || !window) return false;
        x11::ErrorTrap trap(Dpy);
        XWindowAttributes attrs{};
        if (!XGetWindowAttributes(Dpy, window, &attrs) || !trap.Ok()) return false;
        width = attrs.width;
        height = attrs.height;
        return true;
    }

    GLPaletteHandle CreatePalette(GLWindowHandle drawable, const std::vector<PaletteColor>& colors) override {
        auto it = Drawables.find(drawable);
        if (!Dpy || it == Drawables.end()) return 0;
        const GLDrawable& d = it->second;
        // Only visuals with a writable colour table take a palette.
        if (d.VisualClass != PseudoColor && d.VisualClass != GrayScale) return 0;
        x11::ErrorTrap trap(Dpy);
        Colormap cmap = XCreateColormap(Dpy, drawable, d.VisualPtr, AllocAll);
        if (!cmap || !trap.Ok()) return 0;
        size_t count = std::min(colors.size(), static_cast<size_t>(std::max(d.ColormapSize, 0)));
        std::vector<XColor> cells(count);
        for (size_t i = 0; i < count; ++i) {
            cells[i].pixel = i;
            cells[i].red = static_cast<unsigned short>(colors[i].Red * 257);
            cells[i].green = static_cast<unsigned short>(colors[i].Green * 257);
            cells[i].blue = static_cast<unsigned short>(colors[i].Blue * 257);
            cells[i].flags = DoRed | DoGreen | DoBlue;
        }
        if (!cells.empty()) XStoreColors(Dpy, cmap, cells.data(), static_cast<int>(cells.size()));
        XSetWindowColormap(Dpy, drawable, cmap);
        XInstallColormap(Dpy, cmap);
        if (!trap.Ok()) {
            XSetWindowColormap(Dpy, drawable, d.OwnColormap);
            XFreeColormap(Dpy, cmap);
            return 0;
        }
        Palettes[cmap] = drawable;
        return cmap;
    }

    void DeletePalette(GLPaletteHandle palette) override {
        auto it = Palettes.find(palette);
        if (!Dpy || it == Palettes.end()) return;
        x11::ErrorTrap trap(Dpy);
        auto d = Drawables.find(it->second);
        if (d != Drawables.end()) XSetWindowColormap(Dpy, d->first, d->second.OwnColormap);
        XFreeColormap(Dpy, palette);
        Palettes.erase(it);
    }

    GLContextHandle CreateContext(GLWindowHandle drawable) override {
        auto it = Drawables.find(drawable);
        if (!Dpy || it == Drawables.end()) return 0;
        x11::ErrorTrap trap(Dpy);
        GLXContext context = fCreateNewContext(Dpy, it->second.Config, GLX_RGBA_TYPE, nullptr, True);
        if (!trap.Ok()) context = nullptr;
        if (!context) return 0;
        auto handle = reinterpret_cast<GLContextHandle>(context);
        Contexts[handle] = it->second.Screen;
        return handle;
    }

    void DeleteContext(GLContextHandle context) override {
        auto it = Contexts.find(context);
        if (!Dpy || it == Contexts.end()) return;
        x11::ErrorTrap trap(Dpy);
        fDestroyContext(Dpy, reinterpret_cast<GLXContext>(context));
        Contexts.erase(it);
    }

    bool MakeCurrent(GLWindowHandle drawable, GLContextHandle context) override {
        if (!Dpy) return false;
        x11::ErrorTrap trap(Dpy);
        Bool done = context ? fMakeCurrent(Dpy, drawable, reinterpret_cast<GLXContext>(context))
                            : fMakeCurrent(Dpy, None, nullptr);
        if (context) CurrentScreen = Contexts.count(context) ? Contexts[context] : DefaultScreen(Dpy);
        return done && trap.Ok();
    }

    void LoadExtensions() override {
        ClearExtensions();
        if (!Dpy || !Library) return;
        // glXGetProcAddress answers for any name, so the extension string
        // decides what is really there.
        const char* list = fQueryExtensionsString(Dpy, CurrentScreen);
        std::string_view names = list ? list : "";
        if (HasWord(names, "GLX_EXT_swap_control") && fQueryDrawable) {
            fSwapIntervalEXT = reinterpret_cast<SwapIntervalEXTFn>(Library->GetExtensionProcAddress("glXSwapIntervalEXT"));
        }
        if (!fSwapIntervalEXT && HasWord(names, "GLX_MESA_swap_control")) {
            fSwapIntervalMESA =
                reinterpret_cast<SwapIntervalMESAFn>(Library->GetExtensionProcAddress("glXSwapIntervalMESA"));
            fGetSwapIntervalMESA =
                reinterpret_cast<GetSwapIntervalMESAFn>(Library->GetExtensionProcAddress("glXGetSwapIntervalMESA"));
            if (!fSwapIntervalMESA || !fGetSwapIntervalMESA) ClearExtensions();
        }
    }

    bool SwapBuffers(GLWindowHandle drawable) override {
        if (!Dpy || !drawable) return false;
        fSwapBuffers(Dpy, drawable);
        return true;
    }

    bool HasSwapInterval() const override { return fSwapIntervalEXT || fSwapIntervalMESA; }

    int GetSwapInterval(GLWindowHandle drawable) override {
        if (fSwapIntervalEXT) {
            unsigned int value = 0;
            fQueryDrawable(Dpy, drawable, GLX_SWAP_INTERVAL_EXT, &value);
            return static_cast<int>(value);
        }
        if (fGetSwapIntervalMESA) return fGetSwapIntervalMESA();
        return 0;
    }

    void SetSwapInterval(GLWindowHandle drawable, int interval) override {
        if (fSwapIntervalEXT)
            fSwapIntervalEXT(Dpy, drawable, interval);
        else if (fSwapIntervalMESA)
            fSwapIntervalMESA(static_cast<unsigned>(interval));
    }

    bool HasExtensionsString() const override { return fQueryExtensionsString != nullptr; }

    std::string ExtensionsString(GLWindowHandle drawable) override {
        if (!Dpy || !fQueryExtensionsString) return {};
        auto it = Drawables.find(drawable);
        int screen = it != Drawables.end() ? it->second.Screen : CurrentScreen;
        const char* list = fQueryExtensionsString(Dpy, screen);
        return list ? list : "";
    }

private:
    struct GLDrawable {
        GLWindowHandle Parent = 0;
        GLXFBConfig Config = nullptr;
        int Screen = 0;
        Visual* VisualPtr = nullptr;
        int VisualClass = 0;
        int ColormapSize = 0;
        Colormap OwnColormap = 0;  // the AllocNone map the window was made with
    };

    template <class F>
    bool Load(F& fn, const char* name) {
        fn = reinterpret_cast<F>(Library->GetProcAddress(name));
        return fn != nullptr;
    }

    bool LoadCore() {
        bool ok = true;
        ok &= Load(fQueryExtension, "glXQueryExtension");
        ok &= Load(fGetFBConfigs, "glXGetFBConfigs");
        ok &= Load(fGetFBConfigAttrib, "glXGetFBConfigAttrib");
        ok &= Load(fGetVisualFromFBConfig, "glXGetVisualFromFBConfig");
        ok &= Load(fCreateNewContext, "glXCreateNewContext");
        ok &= Load(fDestroyContext, "glXDestroyContext");
        ok &= Load(fMakeCurrent, "glXMakeCurrent");
        ok &= Load(fSwapBuffers, "glXSwapBuffers");
        ok &= Load(fQueryExtensionsString, "glXQueryExtensionsString");
        Load(fQueryDrawable, "glXQueryDrawable");
        return ok;
    }

    void ClearExtensions() {
        fSwapIntervalEXT = nullptr;
        fSwapIntervalMESA = nullptr;
        fGetSwapIntervalMESA = nullptr;
    }

    int ScreenOf(GLWindowHandle window) {
        if (!window) return DefaultScreen(Dpy);
        x11::ErrorTrap trap(Dpy);
        XWindowAttributes attrs{};
        if (!XGetWindowAttributes(Dpy, window, &attrs) || !trap.Ok()) return -1;
        return XScreenNumberOfScreen(attrs.screen);
    }

    std::vector<GLXFBConfig>& ConfigsOf(int screen) {
        auto it = Configs.find(screen);
        if (it != Configs.end()) return it->second;
        std::vector<GLXFBConfig>& list = Configs[screen];
        int count = 0;
        GLXFBConfig* configs = fGetFBConfigs(Dpy, screen, &count);
        if (configs) {
            list.assign(configs, configs + std::max(count, 0));
            XFree(configs);
        }
        return list;
    }

    GLXFBConfig FindConfig(int screen, uintptr_t id) {
        for (GLXFBConfig c : ConfigsOf(screen))
            if (static_cast<uintptr_t>(Attrib(c, GLX_FBCONFIG_ID)) == id) return c;
        return nullptr;
    }

    int Attrib(GLXFBConfig config, int attribute) {
        int value = 0;
        if (fGetFBConfigAttrib(Dpy, config, attribute, &value) != 0) return 0;
        return value;
    }

    PixelFormatDescriptor Describe(GLXFBConfig config, int rootDepth) {
        PixelFormatDescriptor f;
        f.SystemId = static_cast<uintptr_t>(Attrib(config, GLX_FBCONFIG_ID));
        f.ColorBits = Attrib(config, GLX_BUFFER_SIZE);
        f.DepthBits = Attrib(config, GLX_DEPTH_SIZE);
        f.StencilBits = Attrib(config, GLX_STENCIL_SIZE);
        f.AlphaBits = Attrib(config, GLX_ALPHA_SIZE);
        f.AccumBits = Attrib(config, GLX_ACCUM_RED_SIZE) + Attrib(config, GLX_ACCUM_GREEN_SIZE) +
                      Attrib(config, GLX_ACCUM_BLUE_SIZE) + Attrib(config, GLX_ACCUM_ALPHA_SIZE);
        int drawables = Attrib(config, GLX_DRAWABLE_TYPE);
        f.DrawToWindow = (drawables & GLX_WINDOW_BIT) != 0;
        f.DrawToBitmap = (drawables & GLX_PIXMAP_BIT) != 0;
        f.DoubleBuffer = Attrib(config, GLX_DOUBLEBUFFER) != 0;
        f.GDISupport = false;  // X drawing never shares a GL back buffer
        f.Generic = Attrib(config, GLX_CONFIG_CAVEAT) == GLX_SLOW_CONFIG;
        f.RedBits = Attrib(config, GLX_RED_SIZE);
        f.GreenBits = Attrib(config, GLX_GREEN_SIZE);
        f.BlueBits = Attrib(config, GLX_BLUE_SIZE);
        if (!(Attrib(config, GLX_RENDER_TYPE) & GLX_RGBA_BIT)) f.DrawToWindow = false;  // colour-index only

        XVisualInfo* visual = fGetVisualFromFBConfig(Dpy, config);
        if (!visual) {
            f.DrawToWindow = false;
            return f;
        }
        switch (visual->c_class) {
        case TrueColor:
            MaskLayout(visual->red_mask, f.RedBits, f.RedShift);
            MaskLayout(visual->green_mask, f.GreenBits, f.GreenShift);
            MaskLayout(visual->blue_mask, f.BlueBits, f.BlueShift);
            // A visual deeper than the root is the compositor's translucent
            // one: the window would show what lies behind it.
            if (visual->depth > rootDepth) f.DrawToWindow = false;
            break;
        case PseudoColor:
        case GrayScale:
            // Writable colour table: pixels are indexes whose colours we set,
            // red in the top bits, blue in the bottom ones.
            f.NeedsPalette = true;
            f.BlueShift = 0;
            f.GreenShift = f.BlueBits;
            f.RedShift = f.BlueBits + f.GreenBits;
            break;
        case DirectColor:
            // Its colour ramps start undefined; the TrueColor visual of the
            // same layout is offered beside it and needs nothing.
            f.DrawToWindow = false;
            break;
        default:
            break;
        }
        XFree(visual);
        return f;
    }

    IGLLibrary* Library = nullptr;
    std::map<std::string, Display*> Connections;  // by GL vendor choice
    Display* Dpy = nullptr;                       // the one in use while attached
    int CurrentScreen = 0;
    std::map<int, std::vector<GLXFBConfig>> Configs;
    std::map<GLWindowHandle, GLDrawable> Drawables;
    std::map<GLContextHandle, int> Contexts;         // context -> screen
    std::map<GLPaletteHandle, GLWindowHandle> Palettes;  // colormap -> drawable

    QueryExtensionFn fQueryExtension = nullptr;
    GetFBConfigsFn fGetFBConfigs = nullptr;
    GetFBConfigAttribFn fGetFBConfigAttrib = nullptr;
    GetVisualFromFBConfigFn fGetVisualFromFBConfig = nullptr;
    CreateNewContextFn fCreateNewContext = nullptr;
    DestroyContextFn fDestroyContext = nullptr;
    MakeCurrentFn fMakeCurrent = nullptr;
    SwapBuffersFn fSwapBuffers = nullptr;
    QueryExtensionsStringFn fQueryExtensionsString = nullptr;
    QueryDrawableFn fQueryDrawable = nullptr;
    SwapIntervalEXTFn fSwapIntervalEXT = nullptr;
    SwapIntervalMESAFn fSwapIntervalMESA = nullptr;
    GetSwapIntervalMESAFn fGetSwapIntervalMESA = nullptr;
};

}  // namespace

IGLContextBinding& SystemGLContext() {
    // Never destroyed: its connections must outlive every static destructor
    // that may still talk to the driver, and the process's end closes them.
    static GLXBinding* binding = new GLXBinding;
    return *binding;
}

}  // namespace platform
