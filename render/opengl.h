// The program's OpenGL connection: the GL library loaded by name at run
// time, the pixel formats of the display and the choice among them, the
// rendering context, extension lists, buffer swaps with optional vertical
// retrace synchronisation, and frame-buffer captures.
#pragma once

#include "platform/gl_context.h"
#include "render/frame_scaler.h"
#include "render/gl_api.h"
#include "render/gl_objects.h"
#include "render/gl_textures.h"
#include "core/picture.h"

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace platform {
class IGLLibrary;
}

enum TRendererKind : uint8_t { rkOpenGL = 0, rkDirectX = 1, rkSoftware = 2 };

// Set of {pfDrawToWindow, pfDrawToBitmap}.
enum TPixelFormatFlag : uint8_t { pfDrawToWindow = 1, pfDrawToBitmap = 2 };
using TPixelFormatFlags = uint8_t;

// What a format must offer; 0 in a bit count means "any".
struct TPixelFormatRequest {
    int32_t ColorBits = 0;
    int32_t DepthBits = 0;
    int32_t StencilBits = 0;
    int32_t AlphaBits = 0;
    int32_t AccumBits = 0;
    TPixelFormatFlags Flags = 0;
    bool DoubleBuffer = false;
    bool GDISupport = false;
};

struct TPixelFormatInfo : TPixelFormatRequest {
    int32_t FormatNumber = 0;                    // 1-based number of the system
    platform::PixelFormatDescriptor Descriptor;  // handed back when the format is set
};

// The request every activation uses.
constexpr TPixelFormatRequest kActivationRequest{32, 16, 0, 0, 0, pfDrawToWindow, true, false};

// Masks floating-point exceptions and selects extended precision with
// rounding to nearest: drivers are known to leave other settings behind.
void ResetFloatingPointControl();

class TCustomOpenGL;

// A copy of the frame buffer in memory: RGB rows, row 0 at the bottom.
class TGLScreenShot {
public:
    explicit TGLScreenShot(TCustomOpenGL& owner) : Owner(&owner) {}

    // Reads the frame buffer at the size of the window's client area.
    void Capture(platform::GLWindowHandle window);
    uint8_t* GetRow(int32_t i) { return Buffer.data() + static_cast<size_t>(i) * RowSize; }
    void Clear();

    // The requested name with the capture count, "%.5d", inserted before
    // its extension: shot.bmp is saved as shot00001.bmp at the first capture.
    std::string NumberedFileName(const std::string& requested) const;
    // The capture as a 24-bit top-down picture (blue, green, red).
    TPicture ToPicture() const;
    // Saves the capture under the numbered name as BMP or JPEG, by the
    // requested name's extension; returns the name written, empty when the
    // extension is neither.
    std::string SaveToFile(const std::string& requested, int jpegQuality) const;

    int32_t Width = 0;
    int32_t CaptureCount = 0;
    int32_t Height = 0;
    std::vector<uint8_t> Buffer;
    int32_t RowSize = 0;
    static constexpr int32_t BytesPerPixel = 3;

private:
    TCustomOpenGL* Owner;
};

class TCustomOpenGL {
public:
    // On this OS's GL library and window-system binding.
    TCustomOpenGL();
    TCustomOpenGL(platform::IGLLibrary& library, platform::IGLContextBinding& binding);
    virtual ~TCustomOpenGL();
    TCustomOpenGL(const TCustomOpenGL&) = delete;
    TCustomOpenGL& operator=(const TCustomOpenGL&) = delete;

    // Slot 1.
    virtual void SetRendererKind(TRendererKind kind);
    // Becomes rkSoftware for good once the formats are known and none is
    // hardware-accelerated.
    TRendererKind RendererKind();

    // Never raises: success shows in Active().
    void Activate(platform::GLWindowHandle dc);
    void Deactivate();
    void DestroyRC();
    void UnloadLibrary();
    // Raises "Error: Could not load DLL from <name>" when it cannot be loaded.
    void LoadGLLibrary();
    // The GL library file for a renderer kind.
    static std::string LibraryFileName(TRendererKind kind);

    void EnumPixelFormats(platform::GLWindowHandle dc);
    int ChoosePixelFormatIndex(const TPixelFormatRequest& request) const;
    void CreateRC(platform::GLWindowHandle dc);

    void SwapBuffers(platform::GLWindowHandle dc);
    void SwapIfParityClear(platform::GLWindowHandle dc);

    // Detaches the context from the window (before a modal dialog) and
    // attaches it again.
    void ReleaseContext();
    bool MakeCurrent();
    // Keeps the GL drawable the size of the window it was made for.
    void ResizeDrawable(int32_t width, int32_t height);

    const std::string& Renderer();
    const std::string& Vendor();
    const std::string& Version() const { return FVersion; }
    GLint GetInt(GLenum name);
    bool IsExtensionSupported(std::string_view name) const;
    const std::vector<std::string>& GLExtensions() const { return FGLExtensions; }
    // The window-system extensions (GLX on X11).
    const std::vector<std::string>& WGLExtensions() const { return FWGLExtensions; }

    bool HasHardwareFormats() const { return !FHardwareFormats.empty(); }
    const std::vector<TPixelFormatInfo>& HardwareFormats() const { return FHardwareFormats; }
    const std::vector<TPixelFormatInfo>& GenericFormats() const { return FGenericFormats; }
    int PixelFormatCount();
    const TPixelFormatInfo& GetPixelFormatInfo(int i);
    // The choice in the list in use; -1 for none.
    int PixelFormatIndex() const;
    void SetPixelFormatIndex(int i);

    void SetCullFace(bool on);
    void SetDepthTest(bool on);
    void SetLighting(bool on);
    void SetTexture2D(bool on);
    void SetFog(bool on);
    void SetPerspectiveHint(bool nicest);

    bool Active() const { return FActive; }
    bool LibraryLoaded() const { return FLibraryLoaded; }
    bool FormatsEnumerated() const { return FFormatsEnumerated; }
    platform::GLContextHandle Context() const { return FContext; }
    platform::GLPaletteHandle Palette() const { return FPalette; }
    // The window Activate was given and the drawable made for it.
    platform::GLWindowHandle Window() const { return FWindow; }
    platform::GLWindowHandle Drawable() const { return FDrawable; }
    TGLScreenShot& ScreenShot() { return FScreenShot; }
    TFrameScaler& FrameScaler() { return FFrameScaler; }

    // The GL objects living in the context.
    TGLLightList& Lights() { return *FLights; }
    TGLMaterialList& Materials() { return *FMaterials; }
    TGLPrimitiveList& Primitives() { return *FPrimitives; }
    TGLTextureList& Textures() { return *FTextures; }
    TGLViewportList& Viewports() { return *FViewports; }
    TGLDisplayListList& DisplayLists() { return *FDisplayLists; }
    platform::IGLContextBinding& Binding() { return *FBinding; }

    bool WaitSync = true;
    bool FrameParity = true;

protected:
    TRendererKind FRendererKind = rkOpenGL;

private:
    const std::vector<TPixelFormatInfo>& ListInUse() const;
    int& ChoiceInUse();
    int ChoiceInUse() const;
    void FreeFormats();
    void ReleaseDrawable();
    platform::GLWindowHandle DrawableFor(platform::GLWindowHandle dc) const;
    std::vector<platform::PaletteColor> BuildPalette(const platform::PixelFormatDescriptor& d) const;

    // Where this object drives its GL object lists.
    void InitContextLists();    // InitContext of lights, materials, display lists, primitives, textures, viewports
    void DeleteContextNames();  // texture names and primitive display lists, while the context lives
    void DeleteDisplayLists();  // every built display list
    void BuildDisplayLists();   // every registered display list

    platform::IGLLibrary* FLibrary;
    platform::IGLContextBinding* FBinding;

    std::string FVersion;
    std::string FRenderer;
    std::string FVendor;
    std::vector<std::string> FGLExtensions;
    std::vector<std::string> FWGLExtensions;
    std::unique_ptr<TGLLightList> FLights;
    std::unique_ptr<TGLMaterialList> FMaterials;
    std::unique_ptr<TGLPrimitiveList> FPrimitives;
    TGLScreenShot FScreenShot;
    TFrameScaler FFrameScaler;
    std::unique_ptr<TGLTextureList> FTextures;
    std::unique_ptr<TGLViewportList> FViewports;
    std::unique_ptr<TGLDisplayListList> FDisplayLists;
    std::vector<TPixelFormatInfo> FHardwareFormats;
    std::vector<TPixelFormatInfo> FGenericFormats;
    int FHardwareChoice = -1;
    int FGenericChoice = -1;
    bool FFormatsEnumerated = false;
    bool FActive = false;
    bool FLibraryLoaded = false;
    TRendererKind FLoadedKind = rkOpenGL;
    platform::GLContextHandle FContext = 0;
    platform::GLPaletteHandle FPalette = 0;
    platform::GLWindowHandle FWindow = 0;
    platform::GLWindowHandle FDrawable = 0;
};

// Splits an extension string at blanks and commas.
std::vector<std::string> SplitExtensions(std::string_view text);
