#include "render/opengl.h"

#include "platform/gl_library.h"
#include "render/gl_table.h"
#include "core/errors.h"
#include "core/strutil.h"

#include <algorithm>
#include <cfenv>
#include <cstdio>

void ResetFloatingPointControl() { std::fesetenv(FE_DFL_ENV); }

std::vector<std::string> SplitExtensions(std::string_view text) {
    std::vector<std::string> words;
    size_t start = 0;
    for (size_t i = 0; i <= text.size(); ++i) {
        if (i == text.size() || text[i] == ' ' || text[i] == ',') {
            if (i > start) words.emplace_back(text.substr(start, i - start));
            start = i + 1;
        }
    }
    return words;
}

namespace {

const char* GLText(GLenum name) {
    if (!gl.GetString) return nullptr;
    return reinterpret_cast<const char*>(gl.GetString(name));
}

// closeness(want, have, weight) of the format score.
int Closeness(int32_t want, int32_t have, int weight) {
    if (want <= 0) return 0;
    if (have <= want) return static_cast<int>(static_cast<int64_t>(have) * weight / want);
    return static_cast<int>(static_cast<int64_t>(want) * weight / have);
}

bool FlagsSubset(TPixelFormatFlags wanted, TPixelFormatFlags offered) { return (wanted & ~offered) == 0; }

bool BitsMatch(int32_t want, int32_t have) { return want == 0 || want == have; }

void Switch(GLenum cap, bool on) {
    if (on)
        gl.Enable(cap);
    else
        gl.Disable(cap);
}

}  // namespace

// ---------------------------------------------------------------------------
// TGLScreenShot

void TGLScreenShot::Capture(platform::GLWindowHandle window) {
    int32_t width = 0, height = 0;
    Owner->Binding().ClientSize(window, width, height);
    Width = std::max(width, 0);
    Height = std::max(height, 0);
    RowSize = Width * BytesPerPixel;
    ++CaptureCount;
    // The buffer keeps its storage from capture to capture (a film captures
    // every frame).
    Buffer.resize(static_cast<size_t>(RowSize) * static_cast<size_t>(Height));
    if (Buffer.empty() || !gl.ReadPixels) return;
    // Rows must come packed, exactly RowSize bytes apart: the default
    // alignment of 4 would write past the buffer for odd widths.
    gl.PixelStorei(GL_PACK_ALIGNMENT, 1);
    gl.ReadPixels(0, 0, Width, Height, GL_RGB, GL_UNSIGNED_BYTE, Buffer.data());
}

void TGLScreenShot::Clear() {
    Buffer.clear();
    Buffer.shrink_to_fit();
    Width = Height = RowSize = 0;
}

std::string TGLScreenShot::NumberedFileName(const std::string& requested) const {
    char number[16];
    std::snprintf(number, sizeof number, "%.5d", CaptureCount);
    // Before the extension, so that ".jpeg" stays an extension; a name
    // without one takes the number before its last four characters.
    std::string_view name = str::ExtractFileName(requested);
    size_t dot = name.rfind('.');
    size_t at;
    if (dot != std::string_view::npos && dot > 0)
        at = requested.size() - name.size() + dot;
    else
        at = requested.size() >= 4 ? requested.size() - 4 : 0;
    std::string result = requested;
    result.insert(at, number);
    return result;
}

TPicture TGLScreenShot::ToPicture() const {
    TPicture picture;
    if (Width <= 0 || Height <= 0 || Buffer.size() < static_cast<size_t>(RowSize) * static_cast<size_t>(Height))
        return picture;
    picture.SetSize(Width, Height, 24);
    for (int32_t i = 0; i < Height; ++i) {
        const uint8_t* src = Buffer.data() + static_cast<size_t>(i) * RowSize;
        uint8_t* dst = picture.Row(Height - 1 - i);
        for (int32_t x = 0; x < Width; ++x) {
            dst[3 * x] = src[3 * x + 2];
            dst[3 * x + 1] = src[3 * x + 1];
            dst[3 * x + 2] = src[3 * x];
        }
    }
    return picture;
}

std::string TGLScreenShot::SaveToFile(const std::string& requested, int jpegQuality) const {
    std::string name = NumberedFileName(requested);
    std::string_view file = str::ExtractFileName(requested);
    size_t dot = file.rfind('.');
    std::string ext = dot == std::string_view::npos ? std::string() : str::LowerCase(file.substr(dot));
    bool bmp = ext == ".bmp";
    bool jpeg = ext == ".jpg" || ext == ".jpeg";
    if (!bmp && !jpeg) return {};
    TPicture picture = ToPicture();
    if (picture.Empty()) return {};
    SaveBytesToFile(name, bmp ? WriteBMP(picture) : EncodeJPEG(picture, jpegQuality));
    return name;
}

// ---------------------------------------------------------------------------
// TCustomOpenGL

TCustomOpenGL::TCustomOpenGL() : TCustomOpenGL(platform::SystemGLLibrary(), platform::SystemGLContext()) {}

TCustomOpenGL::TCustomOpenGL(platform::IGLLibrary& library, platform::IGLContextBinding& binding)
    : FLibrary(&library),
      FBinding(&binding),
      FLights(std::make_unique<TGLLightList>(this)),
      FMaterials(std::make_unique<TGLMaterialList>(this)),
      FPrimitives(std::make_unique<TGLPrimitiveList>(this)),
      FScreenShot(*this),
      FTextures(std::make_unique<TGLTextureList>(this)),
      FViewports(std::make_unique<TGLViewportList>(this)),
      FDisplayLists(std::make_unique<TGLDisplayListList>(this)) {
    FLights->SetCapacity(16);
    FMaterials->SetCapacity(1000);
    FMaterials->TwoSidedLighting = true;
    FPrimitives->SetCapacity(100000);
    FTextures->SetCapacity(1000);
    FViewports->SetCapacity(16);
    FDisplayLists->SetCapacity(1000);
}

TCustomOpenGL::~TCustomOpenGL() {
    Deactivate();
    UnloadLibrary();
    // The items ask their lists (and so this object) whether GL is live while
    // they go, which it no longer is.
    FDisplayLists->Clear();
    FViewports->Clear();
    FTextures->Clear();
    FPrimitives->Clear();
    FMaterials->Clear();
    FLights->Clear();
}

void TCustomOpenGL::SetRendererKind(TRendererKind kind) { FRendererKind = kind; }

TRendererKind TCustomOpenGL::RendererKind() {
    if (FFormatsEnumerated && (FRendererKind == rkOpenGL || FRendererKind == rkDirectX) && FHardwareFormats.empty())
        FRendererKind = rkSoftware;
    return FRendererKind;
}

std::string TCustomOpenGL::LibraryFileName(TRendererKind kind) {
    return platform::GLLibraryFileName(kind == rkDirectX);
}

void TCustomOpenGL::LoadGLLibrary() {
    if (FLibraryLoaded) {
        if (!FBinding->Attached()) FBinding->Attach(*FLibrary);
        return;
    }
    std::string name = LibraryFileName(FRendererKind);
    if (!FLibrary->Load(name)) throw Exception("Error: Could not load DLL from " + name);
    GL_LoadCoreEntryPoints(*FLibrary);
    // A library without every core entry would crash us on first use.
    if (const char* missing = GL_MissingCoreEntryPoint()) {
        GL_ClearEntryPoints();
        FLibrary->Unload();
        throw Exception("Error: " + name + " lacks the entry point " + missing);
    }
    FBinding->Attach(*FLibrary);
    FLibraryLoaded = true;
    FLoadedKind = FRendererKind;
}

void TCustomOpenGL::UnloadLibrary() {
    if (FActive) Deactivate();
    if (!FLibraryLoaded) return;
    GL_ClearEntryPoints();
    // The binding's connection carries hooks of the library: it goes first.
    FBinding->Detach();
    FLibrary->Unload();
    FLibraryLoaded = false;
}

const std::vector<TPixelFormatInfo>& TCustomOpenGL::ListInUse() const {
    if ((FRendererKind == rkOpenGL || FRendererKind == rkDirectX) && !FHardwareFormats.empty())
        return FHardwareFormats;
    return FGenericFormats;
}

int& TCustomOpenGL::ChoiceInUse() { return &ListInUse() == &FHardwareFormats ? FHardwareChoice : FGenericChoice; }

int TCustomOpenGL::ChoiceInUse() const {
    return &ListInUse() == &FHardwareFormats ? FHardwareChoice : FGenericChoice;
}

int TCustomOpenGL::PixelFormatIndex() const { return ChoiceInUse(); }

void TCustomOpenGL::SetPixelFormatIndex(int i) { ChoiceInUse() = i; }

void TCustomOpenGL::FreeFormats() {
    FHardwareFormats.clear();
    FGenericFormats.clear();
    FFormatsEnumerated = false;
}

void TCustomOpenGL::EnumPixelFormats(platform::GLWindowHandle dc) {
    if (FFormatsEnumerated) return;
    LoadGLLibrary();
    ResetFloatingPointControl();
    FreeFormats();
    std::vector<platform::PixelFormatDescriptor> formats = FBinding->DescribePixelFormats(dc);
    for (const platform::PixelFormatDescriptor& d : formats) {
        TPixelFormatInfo info;
        info.ColorBits = d.ColorBits;
        info.DepthBits = d.DepthBits;
        info.StencilBits = d.StencilBits;
        info.AlphaBits = d.AlphaBits;
        info.AccumBits = d.AccumBits;
        info.Flags = static_cast<TPixelFormatFlags>((d.DrawToWindow ? pfDrawToWindow : 0) |
                                                    (d.DrawToBitmap ? pfDrawToBitmap : 0));
        info.DoubleBuffer = d.DoubleBuffer;
        info.GDISupport = d.GDISupport;
        info.FormatNumber = d.Number;
        info.Descriptor = d;
        (d.Generic ? FGenericFormats : FHardwareFormats).push_back(info);
    }
    FFormatsEnumerated = !formats.empty();
}

int TCustomOpenGL::PixelFormatCount() {
    EnumPixelFormats(0);
    return static_cast<int>(ListInUse().size());
}

const TPixelFormatInfo& TCustomOpenGL::GetPixelFormatInfo(int i) {
    EnumPixelFormats(0);
    const std::vector<TPixelFormatInfo>& list = ListInUse();
    if (i < 0 || static_cast<size_t>(i) >= list.size())
        throw Exception("List index out of bounds (" + std::to_string(i) + ")");
    return list[static_cast<size_t>(i)];
}

int TCustomOpenGL::ChoosePixelFormatIndex(const TPixelFormatRequest& request) const {
    const std::vector<TPixelFormatInfo>& list = ListInUse();
    int best = -1;
    int bestScore = 0;
    for (size_t i = 0; i < list.size(); ++i) {
        const TPixelFormatInfo& f = list[i];
        bool flags = FlagsSubset(request.Flags, f.Flags);
        bool doubleBuffer = request.DoubleBuffer == f.DoubleBuffer;
        bool gdi = request.GDISupport == f.GDISupport;
        if (BitsMatch(request.ColorBits, f.ColorBits) && BitsMatch(request.DepthBits, f.DepthBits) &&
            BitsMatch(request.StencilBits, f.StencilBits) && BitsMatch(request.AlphaBits, f.AlphaBits) &&
            BitsMatch(request.AccumBits, f.AccumBits) && flags && doubleBuffer && gdi)
            return static_cast<int>(i);
        int score = Closeness(request.ColorBits, f.ColorBits, 4096) + Closeness(request.DepthBits, f.DepthBits, 3072) +
                    Closeness(request.StencilBits, f.StencilBits, 2048) +
                    Closeness(request.AlphaBits, f.AlphaBits, 1024) + Closeness(request.AccumBits, f.AccumBits, 1) +
                    (flags ? 5120 : 0) + (doubleBuffer ? 5120 : 0) + (gdi ? 5120 : 0);
        if (score > bestScore) {
            bestScore = score;
            best = static_cast<int>(i);
        }
    }
    return best;
}

std::vector<platform::PaletteColor> TCustomOpenGL::BuildPalette(const platform::PixelFormatDescriptor& d) const {
    // Palette formats are 8 bits at most; deeper ones would ask for millions
    // of entries. A channel without bits stays 0 rather than dividing by 0.
    int bits = std::clamp(d.ColorBits, 0, 8);
    auto level = [](uint32_t index, int32_t shift, int32_t channelBits) -> uint8_t {
        if (channelBits <= 0 || channelBits > 8 || shift < 0 || shift > 31) return 0;
        uint32_t max = (1u << channelBits) - 1;
        return static_cast<uint8_t>(((index >> shift) & max) * 255 / max);
    };
    std::vector<platform::PaletteColor> colors(size_t{1} << bits);
    for (uint32_t i = 0; i < colors.size(); ++i) {
        colors[i].Red = level(i, d.RedShift, d.RedBits);
        colors[i].Green = level(i, d.GreenShift, d.GreenBits);
        colors[i].Blue = level(i, d.BlueShift, d.BlueBits);
        colors[i].Flags = 0;
    }
    return colors;
}

void TCustomOpenGL::CreateRC(platform::GLWindowHandle dc) {
    const std::vector<TPixelFormatInfo>& list = ListInUse();
    int choice = ChoiceInUse();
    if (choice < 0 || static_cast<size_t>(choice) >= list.size())
        throw Exception("Create RC failed: FormatIndex is not selected!");
    const TPixelFormatInfo& format = list[static_cast<size_t>(choice)];
    if (format.FormatNumber == 0) throw Exception("Create RC failed: Pixel Format is not choosed!");

    ResetFloatingPointControl();
    FWindow = dc;
    FDrawable = FBinding->SetPixelFormat(dc, format.Descriptor);

    if (format.Descriptor.NeedsPalette) {
        FPalette = FBinding->CreatePalette(FDrawable, BuildPalette(format.Descriptor));
        if (!FPalette) throw Exception("Create RC failed: Palette is not created!");
    }

    FContext = FBinding->CreateContext(FDrawable);
    if (!FContext) throw Exception("Create RC failed: Context is not created!");
    // A context that cannot be made current is as good as none.
    if (!FBinding->MakeCurrent(FDrawable, FContext)) throw Exception("Create RC failed: Context is not created!");

    GL_LoadExtensionEntryPoints(*FLibrary);
    FBinding->LoadExtensions();
    // The lists ask Active() whether GL may be called; the context is current
    // now even when it is made outside Activate.
    bool wasActive = FActive;
    FActive = true;
    try {
        InitContextLists();
    } catch (...) {
        FActive = wasActive;
        throw;
    }
    FActive = wasActive;
}

void TCustomOpenGL::Activate(platform::GLWindowHandle dc) {
    FActive = true;
    try {
        LoadGLLibrary();
        EnumPixelFormats(dc);
        int choice = ChoosePixelFormatIndex(kActivationRequest);
        FHardwareChoice = choice;
        FGenericChoice = choice;
        CreateRC(dc);

        const char* version = GLText(GL_VERSION);
        FVersion = version ? version : "";
        FRenderer.clear();
        FVendor.clear();

        const char* extensions = GLText(GL_EXTENSIONS);
        FGLExtensions = SplitExtensions(extensions ? extensions : "");
        FWGLExtensions.clear();
        if (FBinding->HasExtensionsString()) FWGLExtensions = SplitExtensions(FBinding->ExtensionsString(FDrawable));
        // The system's lookup hands out entries for names the driver does
        // not implement; only an advertised extension keeps its entries.
        auto advertised = [this](std::string_view name) {
            for (const std::string& e : FGLExtensions)
                if (e == name) return true;
            return false;
        };
        if (!advertised("GL_ARB_multitexture")) {
            gl.ActiveTextureARB = nullptr;
            gl.ClientActiveTextureARB = nullptr;
        }
        if (!advertised("GL_EXT_compiled_vertex_array")) {
            gl.LockArraysEXT = nullptr;
            gl.UnlockArraysEXT = nullptr;
        }
        if (!advertised("GL_EXT_fog_coord")) gl.FogCoordPointerEXT = nullptr;
        int major = 0, minor = 0;
        std::sscanf(FVersion.c_str(), "%d.%d", &major, &minor);
        glCaps.EdgeClamp = major > 1 || (major == 1 && minor >= 2) || advertised("GL_EXT_texture_edge_clamp") ||
                           advertised("GL_SGIS_texture_edge_clamp");
        glCaps.AnyTextureSize = major >= 2 || advertised("GL_ARB_texture_non_power_of_two");
        if (!advertised("GL_ARB_occlusion_query")) {
            gl.GenQueriesARB = nullptr;
            gl.DeleteQueriesARB = nullptr;
            gl.BeginQueryARB = nullptr;
            gl.EndQueryARB = nullptr;
            gl.GetQueryObjectuivARB = nullptr;
        }

        BuildDisplayLists();
    } catch (const std::exception&) {
        // Leave nothing behind for the next attempt to pile onto: lists
        // compiled before the failure die with this context.
        if (FContext) DeleteDisplayLists();
        FActive = false;
        DestroyRC();
        ReleaseDrawable();
        if (FRendererKind == rkDirectX) {
            // The alternative library stays no longer than its failure, so the
            // fallback really uses the system's library next time.
            if (FLibraryLoaded && FLoadedKind == rkDirectX) UnloadLibrary();
            SetRendererKind(rkOpenGL);
        }
    }
}

void TCustomOpenGL::DestroyRC() {
    ResetFloatingPointControl();
    if (FContext) {
        DeleteContextNames();
        FBinding->MakeCurrent(0, 0);
        FBinding->DeleteContext(FContext);
        FContext = 0;
        for (TGLItemList* list : {static_cast<TGLItemList*>(FLights.get()), static_cast<TGLItemList*>(FMaterials.get()),
                                  static_cast<TGLItemList*>(FDisplayLists.get()),
                                  static_cast<TGLItemList*>(FPrimitives.get()),
                                  static_cast<TGLItemList*>(FTextures.get()),
                                  static_cast<TGLItemList*>(FViewports.get())})
            list->DoneContext();
    }
    if (FPalette) {
        FBinding->DeletePalette(FPalette);
        FPalette = 0;
    }
}

void TCustomOpenGL::ReleaseDrawable() {
    if (FDrawable && FDrawable != FWindow) FBinding->DestroyDrawable(FDrawable);
    FDrawable = 0;
    FWindow = 0;
}

void TCustomOpenGL::Deactivate() {
    if (!FActive) return;
    DeleteDisplayLists();
    DestroyRC();
    ReleaseDrawable();
    FreeFormats();
    FActive = false;
}

platform::GLWindowHandle TCustomOpenGL::DrawableFor(platform::GLWindowHandle dc) const {
    return dc == FWindow && FDrawable ? FDrawable : dc;
}

void TCustomOpenGL::SwapBuffers(platform::GLWindowHandle dc) {
    FrameParity = !FrameParity;
    // Without a context there is nothing to flush or swap; the window
    // system would take the swap of a plain window as a protocol error.
    if (!FContext) return;
    gl.Flush();
    platform::GLWindowHandle drawable = DrawableFor(dc);
    if (FBinding->HasSwapInterval()) {
        int interval = FBinding->GetSwapInterval(drawable);
        if (WaitSync && interval != 1)
            FBinding->SetSwapInterval(drawable, 1);
        else if (!WaitSync && interval != 0)
            FBinding->SetSwapInterval(drawable, 0);
    }
    FBinding->SwapBuffers(drawable);
}

void TCustomOpenGL::SwapIfParityClear(platform::GLWindowHandle dc) {
    if (!FrameParity) SwapBuffers(dc);
}

void TCustomOpenGL::ReleaseContext() {
    if (FActive && FContext) FBinding->MakeCurrent(0, 0);
}

bool TCustomOpenGL::MakeCurrent() { return FActive && FContext && FBinding->MakeCurrent(FDrawable, FContext); }

void TCustomOpenGL::ResizeDrawable(int32_t width, int32_t height) {
    if (FDrawable && FDrawable != FWindow) FBinding->ResizeDrawable(FDrawable, width, height);
}

const std::string& TCustomOpenGL::Renderer() {
    if (FRenderer.empty() && FActive)
        if (const char* text = GLText(GL_RENDERER)) FRenderer = text;
    return FRenderer;
}

const std::string& TCustomOpenGL::Vendor() {
    if (FVendor.empty() && FActive)
        if (const char* text = GLText(GL_VENDOR)) FVendor = text;
    return FVendor;
}

GLint TCustomOpenGL::GetInt(GLenum name) {
    if (!FActive) throw Exception("TCustomOpenGL.GetInt error: OpenGL is not activated!");
    GLint value = 0;
    gl.GetIntegerv(name, &value);
    return value;
}

bool TCustomOpenGL::IsExtensionSupported(std::string_view name) const {
    const char* text = GLText(GL_EXTENSIONS);
    return text && std::string_view(text).find(name) != std::string_view::npos;
}

void TCustomOpenGL::SetCullFace(bool on) { Switch(GL_CULL_FACE, on); }
void TCustomOpenGL::SetDepthTest(bool on) { Switch(GL_DEPTH_TEST, on); }
void TCustomOpenGL::SetLighting(bool on) { Switch(GL_LIGHTING, on); }
void TCustomOpenGL::SetTexture2D(bool on) { Switch(GL_TEXTURE_2D, on); }
void TCustomOpenGL::SetFog(bool on) { Switch(GL_FOG, on); }

void TCustomOpenGL::SetPerspectiveHint(bool nicest) {
    gl.Hint(GL_PERSPECTIVE_CORRECTION_HINT, nicest ? GL_NICEST : GL_FASTEST);
}

void TCustomOpenGL::InitContextLists() {
    FLights->InitContext();
    FMaterials->InitContext();
    FDisplayLists->InitContext();
    FPrimitives->InitContext();
    FTextures->InitContext();
    FViewports->InitContext();
}

void TCustomOpenGL::DeleteContextNames() {
    FFrameScaler.Release();
    FTextures->DeleteAllNames();
    FPrimitives->FreeDisplayLists();
}

void TCustomOpenGL::DeleteDisplayLists() { FDisplayLists->FreeAll(); }

void TCustomOpenGL::BuildDisplayLists() { FDisplayLists->BuildAll(); }
