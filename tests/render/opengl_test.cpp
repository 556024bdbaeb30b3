#include "render/opengl.h"

#include "platform/gl_library.h"
#include "platform/null/gl_context_null.h"
#include "platform/null/gl_library_null.h"
#include "render/gl_recorder.h"
#include "render/gl_table.h"
#include "core/errors.h"
#include "core/stream.h"
#include "render/recording_context.h"
#include "test_support.h"

#include <gtest/gtest.h>

#include <cfenv>
#include <cstdio>
#include <filesystem>

namespace {

using platform::PixelFormatDescriptor;

PixelFormatDescriptor Format(int32_t color, int32_t depth, bool window = true, bool doubleBuffer = true,
                             bool generic = false) {
    PixelFormatDescriptor f;
    f.ColorBits = color;
    f.DepthBits = depth;
    f.DrawToWindow = window;
    f.DoubleBuffer = doubleBuffer;
    f.Generic = generic;
    return f;
}

const std::string kSystemLibrary = platform::GLLibraryFileName(false);
const std::string kAlternativeLibrary = platform::GLLibraryFileName(true);

// A TCustomOpenGL over the doubles: the library hands out the recording
// table's entries, so everything GL does lands in `rec`.
class OpenGLTest : public ::testing::Test {
protected:
    OpenGLTest() {
        library.Available.insert(kSystemLibrary);
        OfferGLTable(library);
        rec.Strings[GL_VERSION] = "1.4 Test";
        rec.Strings[GL_RENDERER] = "Test Renderer";
        rec.Strings[GL_VENDOR] = "Test Vendor";
        rec.Strings[GL_EXTENSIONS] = "GL_ARB_multitexture GL_EXT_compiled_vertex_array GL_EXT_separate_specular_color";
        binding.Formats = {Format(32, 16)};
    }

    void ActivateOk() {
        ogl.Activate(kWindow);
        ASSERT_TRUE(ogl.Active()) << "activation failed";
        binding.Calls.clear();
        rec.Clear();
    }

    static constexpr platform::GLWindowHandle kWindow = 0x42;
    TGLRecorder rec;
    platform::NullGLLibrary library;
    platform::NullGLContext binding;
    TCustomOpenGL ogl{library, binding};
};

// ---------------------------------------------------------------------------
// Choosing a pixel format

class ChooseFormatTest : public OpenGLTest {
protected:
    int Choose(std::vector<PixelFormatDescriptor> formats, const TPixelFormatRequest& request = kActivationRequest) {
        binding.Formats = std::move(formats);
        TCustomOpenGL fresh(library, binding);
        fresh.EnumPixelFormats(0);
        return fresh.ChoosePixelFormatIndex(request);
    }
};

TEST_F(ChooseFormatTest, FirstExactMatchWinsOverLaterBetterScores) {
    // Format 1 scores higher than an exact match would, but only the exact
    // match at index 2 counts, and the second exact match is never reached.
    PixelFormatDescriptor exact = Format(32, 16);
    PixelFormatDescriptor deeper = Format(32, 24);
    deeper.StencilBits = 8;
    EXPECT_EQ(Choose({Format(16, 16), deeper, exact, exact}), 2);
}

TEST_F(ChooseFormatTest, ZeroMeansAnyAndFlagsNeedOnlyContainTheRequest) {
    PixelFormatDescriptor f = Format(32, 16);
    f.StencilBits = 8;
    f.AlphaBits = 8;
    f.AccumBits = 64;
    f.DrawToBitmap = true;
    EXPECT_EQ(Choose({Format(32, 16, false), f}), 1);
}

TEST_F(ChooseFormatTest, GDISupportMustMatchForAnExactMatch) {
    PixelFormatDescriptor gdi = Format(32, 16);
    gdi.GDISupport = true;
    // No exact match: both score alike except for the GDI term.
    EXPECT_EQ(Choose({gdi, Format(32, 24)}), 1);
}

TEST_F(ChooseFormatTest, ScoresByWeightedClosenessAndKeepsTheEarlierOnTies) {
    // 24 colour bits against 32 score 24*4096/32 = 3072, depth 16 exact 3072:
    // 21504 with the three 5120 terms. 32 colour bits with depth 24 score
    // 4096 + 16*3072/24 = 6144: 21504 as well (a tie). Depth 25 gives
    // 16*3072/25 = 1966 (integer division): 82 less.
    PixelFormatDescriptor c24 = Format(24, 16), d24 = Format(32, 24), d25 = Format(32, 25);
    EXPECT_EQ(Choose({d25, c24, d24}), 1);
    EXPECT_EQ(Choose({d25, d24, c24}), 1) << "a tie keeps the earlier index";
}

TEST_F(ChooseFormatTest, NothingToChooseGivesMinusOne) {
    EXPECT_EQ(Choose({}), -1);
    TPixelFormatRequest request{0, 0, 0, 0, 0, pfDrawToWindow, true, true};
    EXPECT_EQ(Choose({Format(32, 16, false, false)}, request), -1) << "a candidate scoring 0 is no answer";
}

// ---------------------------------------------------------------------------
// Hardware and generic formats

TEST_F(OpenGLTest, GenericFormatsGoToTheirOwnListAndOnlyGenericMeansSoftware) {
    binding.Formats = {Format(32, 16, true, true, true), Format(24, 16, true, true, true)};
    EXPECT_EQ(ogl.RendererKind(), rkOpenGL) << "not enumerated yet";
    ogl.Activate(kWindow);
    EXPECT_TRUE(ogl.Active()) << "generic formats still activate";
    EXPECT_FALSE(ogl.HasHardwareFormats());
    EXPECT_EQ(ogl.GenericFormats().size(), 2u);
    EXPECT_EQ(ogl.PixelFormatCount(), 2);
    EXPECT_EQ(ogl.GetPixelFormatInfo(1).ColorBits, 24);
    EXPECT_EQ(ogl.RendererKind(), rkSoftware);
    ogl.Deactivate();
    EXPECT_EQ(ogl.RendererKind(), rkSoftware) << "the kind stays software";
}

TEST_F(OpenGLTest, HardwareListIsUsedWhenItHasFormats) {
    binding.Formats = {Format(32, 16, true, true, true), Format(16, 16), Format(32, 16)};
    ogl.Activate(kWindow);
    ASSERT_TRUE(ogl.Active());
    EXPECT_EQ(ogl.HardwareFormats().size(), 2u);
    EXPECT_EQ(ogl.GenericFormats().size(), 1u);
    EXPECT_EQ(ogl.PixelFormatIndex(), 1);
    EXPECT_EQ(ogl.GetPixelFormatInfo(ogl.PixelFormatIndex()).FormatNumber, 3) << "the system's own number";
    EXPECT_EQ(binding.LastFormat.Number, 3) << "the chosen descriptor is handed back";
    EXPECT_EQ(ogl.RendererKind(), rkOpenGL);
    EXPECT_THROW(ogl.GetPixelFormatInfo(2), Exception);
}

TEST_F(OpenGLTest, FloatingPointControlIsResetBeforeEnumerating) {
    std::fesetround(FE_UPWARD);
    ogl.EnumPixelFormats(0);
    EXPECT_EQ(std::fegetround(), FE_TONEAREST);
}

// ---------------------------------------------------------------------------
// CreateRC and its errors

std::string CreateRCError(TCustomOpenGL& ogl) {
    try {
        ogl.CreateRC(0x42);
    } catch (const Exception& e) {
        return e.what();
    }
    return "";
}

TEST_F(OpenGLTest, CreateRCNeedsAChosenFormat) {
    ogl.EnumPixelFormats(0);
    EXPECT_EQ(CreateRCError(ogl), "Create RC failed: FormatIndex is not selected!");
    ogl.SetPixelFormatIndex(1);  // one past the end
    EXPECT_EQ(CreateRCError(ogl), "Create RC failed: FormatIndex is not selected!");
}

TEST_F(OpenGLTest, CreateRCNeedsAFormatNumber) {
    binding.AutoNumber = false;
    ogl.EnumPixelFormats(0);
    ogl.SetPixelFormatIndex(0);
    EXPECT_EQ(CreateRCError(ogl), "Create RC failed: Pixel Format is not choosed!");
    EXPECT_EQ(binding.Count("SetPixelFormat"), 0);
}

TEST_F(OpenGLTest, CreateRCReportsAContextThatCannotBeMade) {
    binding.FailContext = true;
    ogl.EnumPixelFormats(0);
    ogl.SetPixelFormatIndex(0);
    EXPECT_EQ(CreateRCError(ogl), "Create RC failed: Context is not created!");
    binding.FailContext = false;
    binding.FailMakeCurrent = true;
    EXPECT_EQ(CreateRCError(ogl), "Create RC failed: Context is not created!") << "a context that is never current";
}

class PaletteTest : public OpenGLTest {
protected:
    PaletteTest() {
        PixelFormatDescriptor f = Format(8, 16);
        f.NeedsPalette = true;
        f.RedBits = 3, f.RedShift = 5;
        f.GreenBits = 3, f.GreenShift = 2;
        f.BlueBits = 2, f.BlueShift = 0;
        binding.Formats = {f};
    }
    void Prepare() {
        ogl.EnumPixelFormats(0);
        ogl.SetPixelFormatIndex(0);
    }
};

TEST_F(PaletteTest, PaletteFormatsGetEveryColourOfTheirLayout) {
    Prepare();
    ogl.CreateRC(kWindow);
    ASSERT_EQ(binding.LastPalette.size(), 256u);
    const auto& p = binding.LastPalette;
    EXPECT_EQ(p[0xFF].Red, 255);
    EXPECT_EQ(p[0xFF].Green, 255);
    EXPECT_EQ(p[0xFF].Blue, 255);
    EXPECT_EQ(p[0x20].Red, 36) << "red level 1 of 7: 1*255/7";
    EXPECT_EQ(p[0x20].Green, 0);
    EXPECT_EQ(p[0x02].Blue, 170) << "blue level 2 of 3";
    EXPECT_EQ(p[0x1C].Green, 255);
    EXPECT_NE(ogl.Palette(), 0u);
    ogl.DestroyRC();
    EXPECT_EQ(binding.LivePalettes, 0);
    EXPECT_EQ(ogl.Palette(), 0u);
}

TEST_F(PaletteTest, RefusedPaletteFailsTheContext) {
    binding.FailPalette = true;
    Prepare();
    EXPECT_EQ(CreateRCError(ogl), "Create RC failed: Palette is not created!");
    EXPECT_EQ(binding.Count("CreateContext"), 0);
}

TEST_F(PaletteTest, ChannelsWithoutBitsStayBlackInsteadOfDividingByZero) {
    binding.Formats[0].GreenBits = 0;
    binding.Formats[0].ColorBits = 24;  // a palette never exceeds 256 entries
    Prepare();
    ogl.CreateRC(kWindow);
    ASSERT_EQ(binding.LastPalette.size(), 256u);
    EXPECT_EQ(binding.LastPalette[0xFF].Green, 0);
}

TEST_F(OpenGLTest, CreateRCMakesTheContextCurrentOnTheNewDrawable) {
    ogl.EnumPixelFormats(0);
    ogl.SetPixelFormatIndex(0);
    ogl.CreateRC(kWindow);
    EXPECT_EQ(ogl.Window(), kWindow);
    EXPECT_EQ(ogl.Drawable(), kWindow + 0x1000) << "the drawable the binding made for the window";
    EXPECT_NE(binding.Current, 0u);
    std::vector<std::string> expected = {"DescribePixelFormats", "SetPixelFormat", "CreateContext", "MakeCurrent",
                                         "LoadExtensions"};
    EXPECT_EQ(binding.Calls.size(), expected.size() + 1);  // + Attach
    EXPECT_TRUE(std::equal(expected.begin(), expected.end(), binding.Calls.end() - 5));
}

// ---------------------------------------------------------------------------
// Activation

TEST_F(OpenGLTest, ActivationReadsVersionAndBothExtensionLists) {
    rec.Strings[GL_EXTENSIONS] = "GL_ARB_multitexture,GL_EXT_abgr  GL_EXT_bgra ";
    binding.Extensions = "GLX_ARB_get_proc_address GLX_EXT_swap_control";
    ogl.Activate(kWindow);
    ASSERT_TRUE(ogl.Active());
    EXPECT_EQ(ogl.Version(), "1.4 Test");
    EXPECT_EQ(ogl.GLExtensions(), (std::vector<std::string>{"GL_ARB_multitexture", "GL_EXT_abgr", "GL_EXT_bgra"}));
    EXPECT_EQ(ogl.WGLExtensions(), (std::vector<std::string>{"GLX_ARB_get_proc_address", "GLX_EXT_swap_control"}));
    EXPECT_NE(gl.ActiveTextureARB, nullptr);
    EXPECT_EQ(gl.LockArraysEXT, nullptr) << "entries of extensions the driver does not list are dropped";
    EXPECT_TRUE(glCaps.EdgeClamp) << "GL 1.4 clamps to the edge";
}

// Clamping to the edge comes with GL 1.2 or an extension: without it, a
// clamped picture's edge shows the black border as a seam.
TEST_F(OpenGLTest, EdgeClampingIsKnownFromTheVersionOrAnExtension) {
    for (const auto& [version, extensions, expected] :
         std::vector<std::tuple<const char*, const char*, bool>>{{"1.1.0 Old", "", false},
                                                                  {"1.1.0 Old", "GL_SGIS_texture_edge_clamp", true},
                                                                  {"1.2 Mesa", "", true},
                                                                  {"4.5 (Compatibility Profile) Mesa", "", true}}) {
        ogl.Deactivate();
        rec.Strings[GL_VERSION] = version;
        rec.Strings[GL_EXTENSIONS] = extensions;
        ogl.Activate(kWindow);
        ASSERT_TRUE(ogl.Active()) << version;
        EXPECT_EQ(glCaps.EdgeClamp, expected) << version << " " << extensions;
    }
}

TEST(SplitExtensionsTest, SplitsAtBlanksAndCommasOnly) {
    EXPECT_EQ(SplitExtensions(" a,b  c,,d "), (std::vector<std::string>{"a", "b", "c", "d"}));
    EXPECT_TRUE(SplitExtensions("").empty());
    EXPECT_EQ(SplitExtensions("GL_x\tGL_y"), (std::vector<std::string>{"GL_x\tGL_y"}));
}

TEST_F(OpenGLTest, ExtensionSupportIsASubstringTestOfTheDriverText) {
    ActivateOk();
    EXPECT_TRUE(ogl.IsExtensionSupported("EXT_separate_specular_color"));
    EXPECT_TRUE(ogl.IsExtensionSupported("GL_ARB_multitexture"));
    EXPECT_FALSE(ogl.IsExtensionSupported("GL_ARB_vertex_buffer_object"));
    rec.Strings[GL_EXTENSIONS] = "GL_ARB_vertex_buffer_object";
    EXPECT_TRUE(ogl.IsExtensionSupported("GL_ARB_vertex_buffer_object")) << "asked at the moment of the call";
}

TEST_F(OpenGLTest, MissingLibraryLeavesTheObjectInactive) {
    library.Available.clear();
    ogl.Activate(kWindow);
    EXPECT_FALSE(ogl.Active());
    EXPECT_FALSE(ogl.LibraryLoaded());
    try {
        ogl.LoadGLLibrary();
        FAIL() << "no exception";
    } catch (const Exception& e) {
        EXPECT_EQ(std::string(e.what()), "Error: Could not load DLL from " + kSystemLibrary);
    }
}

TEST_F(OpenGLTest, LibraryLackingACoreEntryIsRefusedBeforeAnyCall) {
    library.Symbols.erase("glFogf");
    ogl.Activate(kWindow);
    EXPECT_FALSE(ogl.Active());
    EXPECT_FALSE(ogl.LibraryLoaded());
    EXPECT_EQ(gl.Fogf, nullptr);
    try {
        ogl.LoadGLLibrary();
        FAIL() << "no exception";
    } catch (const Exception& e) {
        EXPECT_EQ(std::string(e.what()), "Error: " + kSystemLibrary + " lacks the entry point glFogf");
    }
}

TEST_F(OpenGLTest, FailedDirectXActivationFallsBackToOpenGL) {
    ogl.SetRendererKind(rkDirectX);
    ogl.Activate(kWindow);  // the alternative library is not there
    EXPECT_FALSE(ogl.Active());
    EXPECT_EQ(ogl.RendererKind(), rkOpenGL);
    ogl.Activate(kWindow);
    EXPECT_TRUE(ogl.Active());
    EXPECT_EQ(library.LoadedName, kSystemLibrary);
}

TEST_F(OpenGLTest, AlternativeLibraryThatFailsIsNotKeptForTheFallback) {
    library.Available.insert(kAlternativeLibrary);
    binding.FailContext = true;
    ogl.SetRendererKind(rkDirectX);
    ogl.Activate(kWindow);
    EXPECT_FALSE(ogl.Active());
    EXPECT_EQ(ogl.RendererKind(), rkOpenGL);
    EXPECT_FALSE(ogl.LibraryLoaded());
    EXPECT_EQ(binding.LiveContexts, 0);
    EXPECT_EQ(binding.LiveDrawables, 0) << "nothing of the failed attempt is left";
    binding.FailContext = false;
    ogl.Activate(kWindow);
    EXPECT_TRUE(ogl.Active());
    EXPECT_EQ(library.LoadedName, kSystemLibrary);
}

TEST_F(OpenGLTest, FailedOpenGLActivationKeepsTheLibraryAndTheKind) {
    binding.FailContext = true;
    ogl.Activate(kWindow);
    EXPECT_FALSE(ogl.Active());
    EXPECT_TRUE(ogl.LibraryLoaded());
    EXPECT_EQ(ogl.RendererKind(), rkOpenGL);
    EXPECT_EQ(binding.LiveDrawables, 0);
}

TEST_F(OpenGLTest, LoadedLibraryStaysUntilUnloadedEvenWhenTheKindChanges) {
    ActivateOk();
    ogl.Deactivate();
    ogl.SetRendererKind(rkDirectX);
    library.Available.insert(kAlternativeLibrary);
    ogl.Activate(kWindow);
    EXPECT_EQ(library.LoadedName, kSystemLibrary);
    ogl.Deactivate();
    ogl.UnloadLibrary();
    ogl.Activate(kWindow);
    EXPECT_EQ(library.LoadedName, kAlternativeLibrary);
    EXPECT_EQ(ogl.RendererKind(), rkDirectX);
}

// ---------------------------------------------------------------------------
// Swapping

TEST_F(OpenGLTest, WaitSyncSetsTheIntervalOnlyWhenItDiffers) {
    ActivateOk();
    binding.Interval = 1;
    ogl.SwapBuffers(kWindow);
    EXPECT_EQ(binding.Calls, (std::vector<std::string>{"GetSwapInterval", "SwapBuffers"}));
    EXPECT_TRUE(rec.Has("glFlush"));

    binding.Calls.clear();
    binding.Interval = 0;
    ogl.SwapBuffers(kWindow);
    EXPECT_EQ(binding.Calls, (std::vector<std::string>{"GetSwapInterval", "SetSwapInterval 1", "SwapBuffers"}));

    binding.Calls.clear();
    ogl.WaitSync = false;
    ogl.SwapBuffers(kWindow);
    EXPECT_EQ(binding.Calls, (std::vector<std::string>{"GetSwapInterval", "SetSwapInterval 0", "SwapBuffers"}));
}

TEST_F(OpenGLTest, WithoutSwapIntervalControlSwapsHappenAlone) {
    binding.SwapInterval = false;
    ActivateOk();
    ogl.SwapBuffers(kWindow);
    EXPECT_EQ(binding.Calls, (std::vector<std::string>{"SwapBuffers"}));
}

TEST_F(OpenGLTest, EverySwapTogglesTheParity) {
    ActivateOk();
    EXPECT_TRUE(ogl.FrameParity);
    ogl.SwapIfParityClear(kWindow);
    EXPECT_EQ(binding.Count("SwapBuffers"), 0) << "parity set: no swap";
    EXPECT_TRUE(ogl.FrameParity);
    ogl.SwapBuffers(kWindow);
    EXPECT_FALSE(ogl.FrameParity);
    ogl.SwapIfParityClear(kWindow);
    EXPECT_EQ(binding.Count("SwapBuffers"), 2);
    EXPECT_TRUE(ogl.FrameParity);
}

// ---------------------------------------------------------------------------
// Teardown

TEST_F(OpenGLTest, DeactivateReleasesEverythingAndForgetsTheFormats) {
    ActivateOk();
    ogl.Deactivate();
    EXPECT_FALSE(ogl.Active());
    EXPECT_FALSE(ogl.FormatsEnumerated());
    EXPECT_TRUE(ogl.HardwareFormats().empty());
    EXPECT_EQ(binding.Calls, (std::vector<std::string>{"ReleaseCurrent", "DeleteContext", "DestroyDrawable"}));
    EXPECT_EQ(binding.LiveContexts, 0);
    EXPECT_EQ(binding.LiveDrawables, 0);
    EXPECT_TRUE(ogl.LibraryLoaded());
    ogl.Activate(kWindow);
    EXPECT_TRUE(ogl.Active()) << "formats are enumerated afresh";
    EXPECT_EQ(binding.Count("DescribePixelFormats"), 1);
}

TEST_F(OpenGLTest, UnloadingEmptiesTheTableAndDetachesBeforeTheLibraryGoes) {
    ActivateOk();
    ogl.Deactivate();
    ogl.UnloadLibrary();
    EXPECT_FALSE(ogl.LibraryLoaded());
    EXPECT_FALSE(library.IsLoaded());
    EXPECT_EQ(gl.Enable, nullptr);
    EXPECT_EQ(binding.Calls.back(), "Detach");
    EXPECT_FALSE(binding.Attached());
}

TEST_F(OpenGLTest, DestructionDeactivatesAndUnloads) {
    {
        TCustomOpenGL local(library, binding);
        local.Activate(kWindow);
        ASSERT_TRUE(local.Active());
    }
    EXPECT_EQ(binding.LiveContexts, 0);
    EXPECT_EQ(binding.LiveDrawables, 0);
    EXPECT_FALSE(library.IsLoaded());
}

TEST_F(OpenGLTest, ReleaseAndMakeCurrentAgain) {
    ActivateOk();
    ogl.ReleaseContext();
    EXPECT_EQ(binding.Current, 0u);
    EXPECT_TRUE(ogl.MakeCurrent());
    EXPECT_EQ(binding.Current, ogl.Context());
}

// ---------------------------------------------------------------------------
// Queries and switches

TEST_F(OpenGLTest, GetIntNeedsAnActiveContext) {
    try {
        ogl.GetInt(GL_MAX_TEXTURE_SIZE);
        FAIL() << "no exception";
    } catch (const Exception& e) {
        EXPECT_STREQ(e.what(), "TCustomOpenGL.GetInt error: OpenGL is not activated!");
    }
    ActivateOk();
    rec.Integers[GL_MAX_TEXTURE_SIZE] = 2048;
    EXPECT_EQ(ogl.GetInt(GL_MAX_TEXTURE_SIZE), 2048);
}

TEST_F(OpenGLTest, RendererAndVendorAreReadOnceWhileActive) {
    EXPECT_EQ(ogl.Renderer(), "");
    ActivateOk();
    EXPECT_EQ(ogl.Renderer(), "Test Renderer");
    EXPECT_EQ(ogl.Vendor(), "Test Vendor");
    rec.Clear();
    rec.Strings[GL_RENDERER] = "Other";
    EXPECT_EQ(ogl.Renderer(), "Test Renderer");
    EXPECT_EQ(rec.Count("glGetString"), 0);
}

TEST_F(OpenGLTest, SwitchesEnableOrDisableTheirCapability) {
    ActivateOk();
    ogl.SetCullFace(true);
    ogl.SetDepthTest(false);
    ogl.SetLighting(true);
    ogl.SetTexture2D(false);
    ogl.SetFog(true);
    ogl.SetPerspectiveHint(true);
    ogl.SetPerspectiveHint(false);
    EXPECT_TRUE(rec.Has("glEnable", {GL_CULL_FACE}));
    EXPECT_TRUE(rec.Has("glDisable", {GL_DEPTH_TEST}));
    EXPECT_TRUE(rec.Has("glEnable", {GL_LIGHTING}));
    EXPECT_TRUE(rec.Has("glDisable", {GL_TEXTURE_2D}));
    EXPECT_TRUE(rec.Has("glEnable", {GL_FOG}));
    EXPECT_TRUE(rec.Has("glHint", {GL_PERSPECTIVE_CORRECTION_HINT, GL_NICEST}));
    EXPECT_TRUE(rec.Has("glHint", {GL_PERSPECTIVE_CORRECTION_HINT, GL_FASTEST}));
}

// ---------------------------------------------------------------------------
// Screen shots

// A frame-buffer read that honours the pack alignment, as a driver does:
// pixel (x, y) is (x, y, 7).
GLint packAlignment = 4;
void MGL_APIENTRY FakePixelStorei(GLenum pname, GLint param) {
    if (pname == GL_PACK_ALIGNMENT) packAlignment = param;
}
void MGL_APIENTRY FakeReadPixels(GLint, GLint, GLsizei w, GLsizei h, GLenum, GLenum, GLvoid* pixels) {
    size_t stride = (static_cast<size_t>(w) * 3 + packAlignment - 1) / packAlignment * packAlignment;
    auto* p = static_cast<uint8_t*>(pixels);
    for (GLsizei y = 0; y < h; ++y)
        for (GLsizei x = 0; x < w; ++x) {
            uint8_t* px = p + y * stride + x * 3;
            px[0] = static_cast<uint8_t>(x);
            px[1] = static_cast<uint8_t>(y);
            px[2] = 7;
        }
}

class ScreenShotTest : public OpenGLTest {
protected:
    void SetUp() override {
        ActivateOk();
        packAlignment = 4;
        gl.PixelStorei = &FakePixelStorei;
        gl.ReadPixels = &FakeReadPixels;
    }
    void TearDown() override {
        for (const std::string& f : files) std::remove(f.c_str());
    }
    std::string TempName(const std::string& name) {
        if (dir.empty()) dir = ScratchDir("opengl");
        return (dir / name).string();
    }
    std::vector<std::string> files;
    std::filesystem::path dir;
};

TEST_F(ScreenShotTest, CaptureHoldsTheClientAreaAndCountsCaptures) {
    TGLScreenShot& shot = ogl.ScreenShot();
    shot.Capture(kWindow);
    EXPECT_EQ(shot.Width, 640);
    EXPECT_EQ(shot.Height, 480);
    EXPECT_EQ(shot.RowSize, 1920);
    EXPECT_EQ(shot.Buffer.size(), 921600u);
    EXPECT_EQ(shot.CaptureCount, 1);
    shot.Capture(kWindow);
    EXPECT_EQ(shot.CaptureCount, 2);
    shot.Clear();
    EXPECT_EQ(shot.Width, 0);
    EXPECT_TRUE(shot.Buffer.empty());
}

TEST_F(ScreenShotTest, RowsArePackedWhateverTheWidth) {
    binding.Width = 3;
    binding.Height = 2;
    TGLScreenShot& shot = ogl.ScreenShot();
    shot.Capture(kWindow);
    ASSERT_EQ(shot.Buffer.size(), 18u);
    EXPECT_EQ(packAlignment, 1);
    EXPECT_EQ(shot.GetRow(1)[0], 0);
    EXPECT_EQ(shot.GetRow(1)[1], 1) << "row 1 starts right after the 9 bytes of row 0";
    EXPECT_EQ(shot.GetRow(1)[6], 2);
}

TEST_F(ScreenShotTest, FileNamesCarryTheCaptureNumberBeforeTheExtension) {
    TGLScreenShot& shot = ogl.ScreenShot();
    shot.Capture(kWindow);
    EXPECT_EQ(shot.NumberedFileName("shot.jpg"), "shot00001.jpg");
    EXPECT_EQ(shot.NumberedFileName("/tmp/a.b/Film.bmp"), "/tmp/a.b/Film00001.bmp");
    EXPECT_EQ(shot.NumberedFileName("shot.jpeg"), "shot00001.jpeg");
    for (int i = 0; i < 6; ++i) shot.Capture(kWindow);
    EXPECT_EQ(shot.NumberedFileName("shot.bmp"), "shot00007.bmp");
    EXPECT_EQ(shot.NumberedFileName("noextension"), "noexten00007sion");
}

TEST_F(ScreenShotTest, PictureIsFlippedAndInBlueGreenRedOrder) {
    binding.Width = 4;
    binding.Height = 3;
    TGLScreenShot& shot = ogl.ScreenShot();
    shot.Capture(kWindow);
    TPicture picture = shot.ToPicture();
    ASSERT_EQ(picture.Width, 4);
    ASSERT_EQ(picture.Height, 3);
    // Capture row 0 (the bottom) is picture row 2; red was x, green y.
    TRGBQuad bottomRight = picture.PixelColor(3, 2);
    EXPECT_EQ(bottomRight.Red, 3);
    EXPECT_EQ(bottomRight.Green, 0);
    EXPECT_EQ(bottomRight.Blue, 7);
    EXPECT_EQ(picture.PixelColor(1, 0).Green, 2);
}

TEST_F(ScreenShotTest, SavesBmpAndJpegByExtensionAndNothingElse) {
    binding.Width = 16;
    binding.Height = 8;
    TGLScreenShot& shot = ogl.ScreenShot();
    shot.Capture(kWindow);
    std::string bmp = shot.SaveToFile(TempName("marivelle_shot.BMP"), 90);
    files.push_back(bmp);
    EXPECT_EQ(bmp, TempName("marivelle_shot00001.BMP"));
    std::string bytes = ReadFileText(bmp);
    TPicture back = ReadBMP(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size());
    EXPECT_EQ(back.Width, 16);
    EXPECT_EQ(back.PixelColor(5, 7).Red, 5);
    EXPECT_EQ(back.PixelColor(5, 7).Green, 0);

    std::string jpg = shot.SaveToFile(TempName("marivelle_shot.jpg"), 95);
    files.push_back(jpg);
    bytes = ReadFileText(jpg);
    TPicture decoded = DecodeJPEG(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size());
    EXPECT_EQ(decoded.Width, 16);
    EXPECT_EQ(decoded.Height, 8);

    EXPECT_EQ(shot.SaveToFile(TempName("marivelle_shot.png"), 90), "");
    EXPECT_FALSE(std::filesystem::exists(TempName("marivelle_shot00001.png")));
}

}  // namespace

// ---------------------------------------------------------------------------
// GL object lists of the context

namespace {

// Index of the first call of `name` in the recording, -1 when none.
int FirstCall(const TGLRecorder& rec, const char* name, std::initializer_list<double> args) {
    for (size_t i = 0; i < rec.Calls.size(); ++i) {
        const TGLCall& c = rec.Calls[i];
        if (std::string(c.Name) != name || c.Args.size() < args.size()) continue;
        if (std::equal(args.begin(), args.end(), c.Args.begin())) return static_cast<int>(i);
    }
    return -1;
}

}  // namespace

TEST_F(OpenGLTest, ListsAreCreatedForThisContextWithTwoSidedLighting) {
    EXPECT_EQ(ogl.Textures().Context, &ogl);
    EXPECT_EQ(ogl.DisplayLists().Context, &ogl);
    EXPECT_TRUE(ogl.Materials().TwoSidedLighting);
    EXPECT_FALSE(ogl.Lights().ContextCurrent()) << "no context before activation";
}

TEST_F(OpenGLTest, ActivationInitialisesTheListsInContextOrder) {
    ogl.Activate(kWindow);
    ASSERT_TRUE(ogl.Active());
    // Each list leaves its own mark: lights set the global ambient, materials
    // the two-sided model, primitives and textures read the unit count, and
    // textures ask for the nicest perspective.
    int lights = FirstCall(rec, "glLightModelfv", {GL_LIGHT_MODEL_AMBIENT});
    int materials = FirstCall(rec, "glLightModeli", {GL_LIGHT_MODEL_TWO_SIDE, 1});
    int primitives = FirstCall(rec, "glGetIntegerv", {GL_MAX_TEXTURE_UNITS_ARB});
    int textures = FirstCall(rec, "glHint", {GL_PERSPECTIVE_CORRECTION_HINT, GL_NICEST});
    ASSERT_GE(lights, 0) << rec.Text();
    ASSERT_GE(materials, 0) << rec.Text();
    ASSERT_GE(primitives, 0) << rec.Text();
    ASSERT_GE(textures, 0) << rec.Text();
    EXPECT_LT(lights, materials);
    EXPECT_LT(materials, primitives);
    EXPECT_LT(primitives, textures);
    EXPECT_TRUE(ogl.Lights().ContextCurrent());
    EXPECT_TRUE(ogl.Viewports().ContextCurrent());
    EXPECT_TRUE(ogl.Textures().MultitextureSupported());
}

TEST_F(OpenGLTest, DisplayListsAreBuiltLastAndFreedBeforeTheContextGoes) {
    int builds = 0;
    ogl.DisplayLists().Add(2, [&](TGLDisplayList&) { ++builds; });
    ogl.Activate(kWindow);
    ASSERT_TRUE(ogl.Active());
    EXPECT_EQ(builds, 1);
    EXPECT_GT(FirstCall(rec, "glGenLists", {2}), FirstCall(rec, "glHint", {GL_PERSPECTIVE_CORRECTION_HINT, GL_NICEST}))
        << "lists are compiled after the context lists were initialised";
    ASSERT_TRUE(ogl.DisplayLists().Items(0)->Compiled());
    binding.Calls.clear();
    rec.Clear();
    ogl.Deactivate();
    EXPECT_TRUE(rec.Has("glDeleteLists", {static_cast<double>(ogl.DisplayLists().Items(0)->First()), 2}));
    EXPECT_FALSE(ogl.DisplayLists().Items(0)->Compiled());
    EXPECT_EQ(binding.Calls.front(), "ReleaseCurrent") << "deleted while the context was still current";
}

TEST_F(OpenGLTest, DestroyRCDeletesTextureNamesAndPrimitiveListsWhileCurrent) {
    ActivateOk();
    TGLTexture* texture = ogl.Textures().CreateRGB8(4, 4);
    texture->UpLoad();
    ASSERT_TRUE(texture->Uploaded());
    TGLPrimitive* primitive = ogl.Primitives().Add();
    primitive->BuildList();
    rec.Clear();
    binding.Calls.clear();
    ogl.DestroyRC();
    EXPECT_TRUE(rec.Has("glDeleteTextures", {1})) << rec.Text();
    EXPECT_FALSE(texture->Uploaded()) << "the next context uploads again under a new name";
    EXPECT_EQ(rec.Count("glDeleteLists"), 1);
    EXPECT_EQ(binding.Calls.front(), "ReleaseCurrent");
    EXPECT_FALSE(ogl.Textures().ContextCurrent()) << "the lists know their context is gone";
}

TEST_F(OpenGLTest, FailedActivationForgetsListsCompiledInTheDeadContext) {
    ogl.DisplayLists().Add(1, [](TGLDisplayList&) {});
    ogl.DisplayLists().Add(1, [](TGLDisplayList&) { throw Exception("compile failed"); });
    ogl.Activate(kWindow);
    EXPECT_FALSE(ogl.Active());
    // A list left marked compiled would be deleted by name in the next
    // context, where that name may belong to someone else.
    EXPECT_FALSE(ogl.DisplayLists().Items(0)->Compiled());
    EXPECT_EQ(rec.Count("glDeleteLists"), 1) << rec.Text();
    EXPECT_EQ(binding.LiveContexts, 0);
}
