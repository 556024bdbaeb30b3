// The window-system side of OpenGL: the pixel formats the display offers,
// rendering contexts, buffer swaps and the swap interval. It is bound to the
// GL library that is loaded at the moment and uses only that library's
// functions.
//
// A format is set on a window by giving the window back a drawable for it:
// on systems where a window takes its pixel format at creation (X11), the
// drawable is a child window made with the format's visual that fills the
// given window; where the format can be set on an existing window (Win32),
// the drawable is the window itself. Every later call takes the drawable.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace platform {

class IGLLibrary;

// A window (X11 window id, HWND) or a drawable made for one; 0 is none.
using GLWindowHandle = uintptr_t;
// A rendering context; 0 is none.
using GLContextHandle = uintptr_t;
// A palette installed on a drawable; 0 is none.
using GLPaletteHandle = uintptr_t;

// One pixel format as the window system describes it.
struct PixelFormatDescriptor {
    int32_t Number = 0;  // 1-based, in the order the system lists the formats
    int32_t ColorBits = 0;
    int32_t DepthBits = 0;
    int32_t StencilBits = 0;
    int32_t AlphaBits = 0;
    int32_t AccumBits = 0;  // red + green + blue + alpha
    bool DrawToWindow = false;
    bool DrawToBitmap = false;
    bool DoubleBuffer = false;
    bool GDISupport = false;    // the system's 2D drawing can share the buffer
    bool Generic = false;       // slow (software) format
    bool NeedsPalette = false;  // colours go through a palette the program fills
    // Channel layout inside a pixel value, for building that palette.
    int32_t RedBits = 0, RedShift = 0;
    int32_t GreenBits = 0, GreenShift = 0;
    int32_t BlueBits = 0, BlueShift = 0;
    uintptr_t SystemId = 0;  // the system's own id of the format
};

struct PaletteColor {
    uint8_t Red = 0;
    uint8_t Green = 0;
    uint8_t Blue = 0;
    uint8_t Flags = 0;
};

class IGLContextBinding {
public:
    virtual ~IGLContextBinding() = default;

    // Binds to a loaded library; false when it lacks the window-system
    // functions or the display cannot be reached.
    virtual bool Attach(IGLLibrary& library) = 0;
    // Destroys what is left (drawables, contexts, palettes), forgets the
    // library's functions and drops the display connection. Must run before
    // the library is unloaded.
    virtual void Detach() = 0;
    virtual bool Attached() const = 0;

    // Every format the display offers for `window`'s screen (0: the default
    // screen), numbered from 1.
    virtual std::vector<PixelFormatDescriptor> DescribePixelFormats(GLWindowHandle window) = 0;
    // Gives `window` the format; returns the drawable to render to, or 0.
    // Setting a format again replaces the drawable made before.
    virtual GLWindowHandle SetPixelFormat(GLWindowHandle window, const PixelFormatDescriptor& format) = 0;
    // Releases a drawable made by SetPixelFormat (nothing for the window itself).
    virtual void DestroyDrawable(GLWindowHandle drawable) = 0;
    // Keeps a drawable the size of its window after the window was resized.
    virtual void ResizeDrawable(GLWindowHandle drawable, int32_t width, int32_t height) = 0;
    // Client area size of a window or drawable; false when it does not exist.
    virtual bool ClientSize(GLWindowHandle window, int32_t& width, int32_t& height) = 0;

    // Installs colours on a drawable whose format needs a palette.
    virtual GLPaletteHandle CreatePalette(GLWindowHandle drawable, const std::vector<PaletteColor>& colors) = 0;
    virtual void DeletePalette(GLPaletteHandle palette) = 0;

    virtual GLContextHandle CreateContext(GLWindowHandle drawable) = 0;
    virtual void DeleteContext(GLContextHandle context) = 0;
    // Context 0 releases the current context.
    virtual bool MakeCurrent(GLWindowHandle drawable, GLContextHandle context) = 0;
    // Looks up the window-system extensions; call with a context current.
    virtual void LoadExtensions() = 0;

    virtual bool SwapBuffers(GLWindowHandle drawable) = 0;

    // Swap interval control (vertical retrace synchronisation), when the
    // system offers it.
    virtual bool HasSwapInterval() const = 0;
    virtual int GetSwapInterval(GLWindowHandle drawable) = 0;
    virtual void SetSwapInterval(GLWindowHandle drawable, int interval) = 0;

    // The window-system extension names, when the system can list them.
    virtual bool HasExtensionsString() const = 0;
    virtual std::string ExtensionsString(GLWindowHandle drawable) = 0;
};

// This OS's binding (GLX on Linux); lives for the whole process.
IGLContextBinding& SystemGLContext();

}  // namespace platform
