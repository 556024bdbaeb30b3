#include "render/gl_textures.h"
#include "render/gl_recorder.h"
#include "render/gl_table.h"
#include "test_support.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

namespace {

// Every level given to glTexImage2D, with its texels.
struct TLevel {
    GLint Level;
    GLsizei W, H;
    std::vector<uint8_t> Texels;
};
std::vector<TLevel> levels;
TGLTable recorded;

void MGL_APIENTRY CaptureTexImage2D(GLenum target, GLint level, GLint ifmt, GLsizei w, GLsizei h, GLint border,
                                    GLenum fmt, GLenum type, const GLvoid* px) {
    const size_t bpp = fmt == GL_RGBA || fmt == GL_BGRA_EXT ? 4 : 3;
    TLevel l{level, w, h, {}};
    if (px != nullptr && type == GL_UNSIGNED_BYTE) {
        const auto* p = static_cast<const uint8_t*>(px);
        l.Texels.assign(p, p + static_cast<size_t>(w) * static_cast<size_t>(h) * bpp);
    }
    levels.push_back(std::move(l));
    recorded.TexImage2D(target, level, ifmt, w, h, border, fmt, type, px);
}

class GLTexturesTest : public ::testing::Test {
protected:
    GLTexturesTest() { Capture(); }
    void Capture() {
        rec.Install();
        recorded = gl;
        levels.clear();
        gl.TexImage2D = &CaptureTexImage2D;
    }
    // A context whose driver offers these extensions.
    void Init(const char* extensions, GLint units = 0) {
        rec.Strings[GL_EXTENSIONS] = extensions;
        if (units) rec.Integers[GL_MAX_TEXTURE_UNITS_ARB] = units;
        textures.InitContext();
        rec.Clear();
    }
    TGLRecorder rec;
    TGLTextureList textures;
};

// ---------------------------------------------------------------------------
// Sizes and formats

TEST(GLTextureTest, SizesArePowersOfTwoOrZero) {
    TGLTexture t;
    EXPECT_EQ(t.Width(), 256);
    t.SetWidth(256);
    t.SetWidth(0);
    t.SetWidth(1);
    EXPECT_EQ(t.Width(), 1);
    EXPECT_EQ(ErrorOf([&] { t.SetWidth(300); }), "TGLTexture.SetWidth error: Width is not power 2");
    EXPECT_EQ(ErrorOf([&] { t.SetWidth(-4); }), "TGLTexture.SetWidth error: Width is not power 2");
    EXPECT_EQ(t.Width(), 1) << "size unchanged";
    EXPECT_EQ(ErrorOf([&] { t.SetHeight(3); }), "TGLTexture.SetHeight error: Height is not power 2");
    EXPECT_EQ(t.Height(), 256);
}

TEST(GLTextureTest, DerivedSizesFollowFormatAndType) {
    TGLTexture t;
    t.SetSize(16, 8);
    t.SetFormats(GL_RGBA8, GL_BGRA_EXT, GL_UNSIGNED_BYTE);
    EXPECT_EQ(t.Components(), 4);
    EXPECT_EQ(t.BytesPerPixel(), 4);
    EXPECT_EQ(t.RowSize(), 64);
    EXPECT_EQ(t.FrameSize(), 512);
    t.SetPixelType(GL_UNSIGNED_SHORT_4_4_4_4_REV);
    EXPECT_EQ(t.BytesPerPixel(), 2);
    t.SetPixelType(GL_FLOAT);
    EXPECT_EQ(t.BytesPerPixel(), 16);
    t.SetFormats(GL_LUMINANCE8_ALPHA8, GL_LUMINANCE_ALPHA, GL_UNSIGNED_SHORT);
    EXPECT_EQ(t.Components(), 2);
    EXPECT_EQ(t.BytesPerPixel(), 4);
    t.SetFormats(GL_ALPHA8, GL_ALPHA, GL_UNSIGNED_BYTE_3_3_2);
    EXPECT_EQ(t.Components(), 1);
    EXPECT_EQ(t.BytesPerPixel(), 1);
}

TEST(GLTextureTest, FramesAndScanLines) {
    TGLTexture t;
    t.SetFormats(GL_RGB8, GL_RGB, GL_UNSIGNED_BYTE);
    t.SetSize(4, 2);
    t.SetFrameCount(3);
    t.AllocPixels();
    ASSERT_EQ(t.PixelBytes(), 72u);
    EXPECT_EQ(t.GetScanLine(1), t.Pixels() + 12);
    t.SetCurrentFrame(2);
    EXPECT_EQ(t.FrameData(), t.Pixels() + 48);
    EXPECT_EQ(t.GetScanLine(1), t.Pixels() + 60);
    t.SetCurrentFrame(7);
    EXPECT_EQ(t.CurrentFrame(), 2);
    EXPECT_EQ(ErrorOf([&] { t.GetScanLine(2); }), "TGLTexture.GetScanLine error: Row out of bounds");

    // A size change without a new buffer must not let GL read past it.
    t.SetSize(64, 64);
    EXPECT_EQ(t.FrameData(), nullptr);
    t.FreePixels();
    EXPECT_EQ(t.PixelBytes(), 0u);
}

TEST(GLTextureTest, OversizedBuffersAreRefused) {
    TGLTexture t;
    t.SetFormats(GL_RGBA8, GL_RGBA, GL_UNSIGNED_BYTE);
    t.SetSize(65536, 65536);
    EXPECT_EQ(ErrorOf([&] { t.AllocPixels(); }), "TGLTexture.AllocPixels error: Texture is too large");
    EXPECT_EQ(t.Pixels(), nullptr);
}

struct TFormatCase {
    const char* Name;
    TGLTexture* (TGLTextureList::*Create)(int, int);
    GLenum Internal;
    GLenum RGB, BGR;
    GLenum PackedRGB, PackedBGR;
};

class GLTextureFormatTest : public ::testing::TestWithParam<TFormatCase> {};

TEST_P(GLTextureFormatTest, FormatTable) {
    const TFormatCase& c = GetParam();
    TGLTextureList list;
    for (bool bgra : {false, true}) {
        for (bool packed : {false, true}) {
            list.SetUseBGRA(bgra);
            list.SetUsePacked(packed);
            TGLTexture* t = (list.*c.Create)(8, 4);
            EXPECT_EQ(t->InternalFormat, c.Internal);
            EXPECT_EQ(t->PixelFormat(), bgra ? c.BGR : c.RGB) << bgra << packed;
            const GLenum type = packed ? (bgra ? c.PackedBGR : c.PackedRGB) : GL_UNSIGNED_BYTE;
            EXPECT_EQ(t->PixelType(), type) << bgra << packed;
            EXPECT_EQ(t->Width(), 8);
            EXPECT_EQ(t->PixelBytes(), static_cast<size_t>(t->FrameSize()));
        }
    }
}

INSTANTIATE_TEST_SUITE_P(
    AllKinds, GLTextureFormatTest,
    ::testing::Values(
        TFormatCase{"RGBA4", &TGLTextureList::CreateRGBA4, GL_RGBA4, GL_RGBA, GL_BGRA_EXT, GL_UNSIGNED_SHORT_4_4_4_4,
                    GL_UNSIGNED_SHORT_4_4_4_4_REV},
        TFormatCase{"RGB5A1", &TGLTextureList::CreateRGB5A1, GL_RGB5_A1, GL_RGBA, GL_BGRA_EXT,
                    GL_UNSIGNED_SHORT_5_5_5_1, GL_UNSIGNED_SHORT_1_5_5_5_REV},
        TFormatCase{"RGB5", &TGLTextureList::CreateRGB5, GL_RGB5, GL_RGB, GL_BGR_EXT, GL_UNSIGNED_SHORT_5_6_5,
                    GL_UNSIGNED_SHORT_5_6_5_REV},
        TFormatCase{"RGB8", &TGLTextureList::CreateRGB8, GL_RGB8, GL_RGB, GL_BGR_EXT, GL_UNSIGNED_INT_8_8_8_8,
                    GL_UNSIGNED_INT_8_8_8_8_REV},
        TFormatCase{"RGBA8", &TGLTextureList::CreateRGBA8, GL_RGBA8, GL_RGBA, GL_BGRA_EXT, GL_UNSIGNED_INT_8_8_8_8,
                    GL_UNSIGNED_INT_8_8_8_8_REV},
        // Before any context the compressed kinds fall back to plain formats.
        TFormatCase{"CompressedRGBA", &TGLTextureList::CreateCompressedRGBA, GL_RGBA8, GL_RGBA, GL_BGRA_EXT,
                    GL_UNSIGNED_INT_8_8_8_8, GL_UNSIGNED_INT_8_8_8_8_REV},
        TFormatCase{"CompressedRGB", &TGLTextureList::CreateCompressedRGB, GL_RGB8, GL_RGB, GL_BGR_EXT,
                    GL_UNSIGNED_INT_8_8_8_8, GL_UNSIGNED_INT_8_8_8_8_REV}),
    [](const ::testing::TestParamInfo<TFormatCase>& kind) { return std::string(kind.param.Name); });

TEST(GLTextureListTest, CreationGivesDefaultsAndSizes) {
    TGLTextureList list;
    list.DefaultFilter = GL_LINEAR_MIPMAP_LINEAR;
    list.DefaultEnvMode = GL_REPLACE;
    TGLTexture* t = list.CreateRGB5(256, 256);
    EXPECT_EQ(t->PixelType(), static_cast<GLenum>(GL_UNSIGNED_BYTE));
    EXPECT_EQ(t->BytesPerPixel(), 3);
    EXPECT_EQ(t->RowSize(), 768);
    EXPECT_EQ(t->FrameSize(), 196608);
    EXPECT_EQ(t->MinFilter, static_cast<GLenum>(GL_LINEAR_MIPMAP_LINEAR));
    EXPECT_EQ(t->EnvMode, static_cast<GLenum>(GL_REPLACE));

    TGLTexture* empty = list.CreateRGBA8(0, 64);
    EXPECT_EQ(empty->Width(), 0);
    EXPECT_EQ(empty->Height(), 0);
    EXPECT_EQ(empty->Pixels(), nullptr);

    EXPECT_EQ(ErrorOf([&] { list.CreateRGB8(100, 64); }), "TGLTexture.SetWidth error: Width is not power 2");
    EXPECT_EQ(list.Count(), 2) << "a failed creation leaves nothing in the list";
}

// ---------------------------------------------------------------------------
// Extension probing

TEST_F(GLTexturesTest, ProbesTheDriversExtensions) {
    textures.SetUseBGRA(true);
    textures.SetUsePacked(true);
    textures.DefaultFilter = GL_NEAREST;
    rec.Strings[GL_EXTENSIONS] = "GL_EXT_bgra GL_EXT_packed_pixels GL_ARB_multitexture GL_ARB_texture_compression";
    rec.Integers[GL_MAX_TEXTURE_UNITS_ARB] = 4;
    textures.InitContext();
    EXPECT_TRUE(rec.Has("glHint", {GL_PERSPECTIVE_CORRECTION_HINT, GL_NICEST}));
    EXPECT_TRUE(textures.BGRASupported());
    EXPECT_TRUE(textures.PackedPixelsSupported());
    EXPECT_TRUE(textures.MultitextureSupported());
    EXPECT_TRUE(textures.MultitextureInUse);
    EXPECT_EQ(textures.TextureUnits(), 4);
    EXPECT_TRUE(textures.CompressionSupported());
    EXPECT_EQ(textures.CompressedRGBFormat(), static_cast<GLenum>(GL_COMPRESSED_RGB_ARB));
    EXPECT_EQ(textures.CompressedRGBAFormat(), static_cast<GLenum>(GL_COMPRESSED_RGBA_ARB));
    EXPECT_TRUE(rec.Has("glHint", {GL_TEXTURE_COMPRESSION_HINT_ARB, GL_FASTEST}));
    EXPECT_FALSE(textures.UseBGRA()) << "a new context starts in RGB order";
    EXPECT_FALSE(textures.UsePacked());
    EXPECT_EQ(textures.DefaultFilter, static_cast<GLenum>(GL_LINEAR));
    EXPECT_EQ(textures.CreateCompressedRGB(4, 4)->InternalFormat, static_cast<GLenum>(GL_COMPRESSED_RGB_ARB));
}

TEST_F(GLTexturesTest, S3TCAndNoCompression) {
    Init("GL_EXT_texture_compression_s3tc");
    EXPECT_TRUE(textures.CompressionSupported());
    EXPECT_EQ(textures.CreateCompressedRGB(4, 4)->InternalFormat, static_cast<GLenum>(GL_COMPRESSED_RGB_S3TC_DXT1_EXT));
    EXPECT_EQ(textures.CreateCompressedRGBA(4, 4)->InternalFormat,
              static_cast<GLenum>(GL_COMPRESSED_RGBA_S3TC_DXT3_EXT));
    EXPECT_FALSE(textures.BGRASupported());
    EXPECT_FALSE(textures.MultitextureSupported());
    EXPECT_EQ(textures.TextureUnits(), 1);

    rec.Strings[GL_EXTENSIONS] = "GL_EXT_bgra";
    textures.InitContext();
    EXPECT_FALSE(rec.Has("glHint", {GL_TEXTURE_COMPRESSION_HINT_ARB}));
    EXPECT_FALSE(textures.CompressionSupported());
    EXPECT_EQ(textures.CreateCompressedRGB(4, 4)->InternalFormat, static_cast<GLenum>(GL_RGB8));
    EXPECT_EQ(textures.CreateCompressedRGBA(4, 4)->InternalFormat, static_cast<GLenum>(GL_RGBA8));
}

// ---------------------------------------------------------------------------
// Upload

TEST_F(GLTexturesTest, UploadSetsEveryParameterOnce) {
    Init("");
    TGLTexture* t = textures.CreateRGB8(4, 2);
    t->Repeat = false;
    t->Priority = 0.5f;
    t->UpLoad();
    EXPECT_TRUE(t->Uploaded());
    EXPECT_EQ(t->Name(), 1u);
    EXPECT_TRUE(rec.Has("glGenTextures", {1}));
    EXPECT_TRUE(rec.Has("glBindTexture", {GL_TEXTURE_2D, 1}));
    EXPECT_TRUE(rec.Has("glTexParameteri", {GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_LINEAR}));
    EXPECT_TRUE(rec.Has("glTexParameteri", {GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_LINEAR}));
    EXPECT_TRUE(rec.Has("glTexParameteri", {GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, GL_CLAMP})) << "a GL 1.1 context";
    EXPECT_TRUE(rec.Has("glTexParameteri", {GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, GL_CLAMP}));
    EXPECT_TRUE(rec.Has("glTexEnvi", {GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, GL_MODULATE}));
    EXPECT_TRUE(rec.Has("glTexEnvfv", {GL_TEXTURE_ENV, GL_TEXTURE_ENV_COLOR}));
    EXPECT_TRUE(rec.Has("glPixelStorei", {GL_UNPACK_ALIGNMENT, 1}));
    EXPECT_TRUE(rec.Has("glPixelStorei", {GL_UNPACK_ROW_LENGTH, 0}));
    EXPECT_TRUE(rec.Has("glTexParameterf", {GL_TEXTURE_2D, GL_TEXTURE_PRIORITY, 0.5}));

    // A context that clamps to the edge never shows the border colour.
    glCaps.EdgeClamp = true;
    TGLTexture* edged = textures.CreateRGB8(4, 2);
    edged->Repeat = false;
    edged->UpLoad();
    EXPECT_TRUE(rec.Has("glTexParameteri", {GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, GL_CLAMP_TO_EDGE}));
    EXPECT_TRUE(rec.Has("glTexImage2D", {GL_TEXTURE_2D, 0, GL_RGB8, 4, 2, 0, GL_RGB, GL_UNSIGNED_BYTE, 1}));
    EXPECT_EQ(rec.Count("glActiveTextureARB"), 0) << "no multitexture on this driver";

    rec.Clear();
    t->UpLoad();
    EXPECT_TRUE(rec.Calls.empty());

    TGLTexture* nearest = textures.CreateRGB8(2, 2);
    nearest->MinFilter = GL_NEAREST;
    nearest->UpLoad();
    EXPECT_TRUE(rec.Has("glTexParameteri", {GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_NEAREST}));
    EXPECT_TRUE(rec.Has("glTexParameteri", {GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, GL_REPEAT}));
}

TEST_F(GLTexturesTest, TargetsAndFrameBufferCopies) {
    Init("");
    TGLTexture* line = textures.CreateRGB8(8, 1);
    line->Target = GL_TEXTURE_1D;
    line->UpLoad();
    EXPECT_TRUE(rec.Has("glTexImage1D", {GL_TEXTURE_1D, 0, GL_RGB8, 8, 0, GL_RGB, GL_UNSIGNED_BYTE, 1}));

    rec.Clear();
    TGLTexture* copy = textures.CreateRGB8(64, 32);
    copy->Source = 1;
    copy->CopyX = 5;
    copy->CopyY = 7;
    copy->UpLoad();
    EXPECT_TRUE(rec.Has("glCopyTexImage2D", {GL_TEXTURE_2D, 0, GL_RGB8, 5, 7, 64, 32, 0}));
    EXPECT_EQ(rec.Count("glTexImage2D"), 0);

    rec.Clear();
    TGLTexture* bad = textures.CreateRGB8(4, 4);
    bad->Target = GL_TEXTURE;
    EXPECT_EQ(ErrorOf([&] { bad->UpLoad(); }), "TGLTexture.UpLoad error: Target has invalid format");
    EXPECT_FALSE(bad->Uploaded());
    EXPECT_EQ(rec.Count("glGenTextures"), 0) << "no name is made for a texture that cannot be uploaded";
}

TEST_F(GLTexturesTest, BindingSelectsTheUnitWhenMultitexturing) {
    Init("GL_ARB_multitexture", 2);
    TGLTexture* t = textures.CreateRGB8(2, 2);
    t->TextureUnit = 1;
    t->Use();
    const int unit = static_cast<int>(rec.Calls.size());
    EXPECT_TRUE(rec.Has("glActiveTextureARB", {GL_TEXTURE1_ARB}));
    EXPECT_TRUE(rec.Has("glEnable", {GL_TEXTURE_2D}));
    EXPECT_GT(unit, 0);
    EXPECT_EQ(rec.Count("glBindTexture"), 2) << "once to upload, once to use";
    EXPECT_EQ(rec.Count("glGenTextures"), 1);

    rec.Clear();
    t->Use();
    EXPECT_EQ(rec.Count("glGenTextures"), 0);
    EXPECT_EQ(std::strcmp(rec.Calls.at(0).Name, "glActiveTextureARB"), 0);
    EXPECT_TRUE(rec.Has("glBindTexture", {GL_TEXTURE_2D, 1}));

    rec.Clear();
    t->Unbind();
    EXPECT_TRUE(rec.Has("glActiveTextureARB", {GL_TEXTURE1_ARB}));
    EXPECT_TRUE(rec.Has("glDisable", {GL_TEXTURE_2D}));

    // The entry point missing: binding goes on without it.
    rec.Extensions = false;
    Capture();
    rec.Clear();
    t->Bind();
    EXPECT_EQ(rec.Count("glActiveTextureARB"), 0);
    EXPECT_TRUE(rec.Has("glBindTexture", {GL_TEXTURE_2D, 1}));
}

TEST_F(GLTexturesTest, DeletedNameIsRemadeFromTheKeptPixels) {
    Init("");
    TGLTexture* t = textures.CreateRGB8(2, 2);
    t->Pixels()[0] = 77;
    t->Use();
    textures.DeleteAllNames();
    EXPECT_TRUE(rec.Has("glDeleteTextures", {1}));
    EXPECT_FALSE(t->Uploaded());
    ASSERT_NE(t->Pixels(), nullptr);
    levels.clear();
    t->Use();
    EXPECT_EQ(t->Name(), 2u);
    ASSERT_EQ(levels.size(), 1u);
    EXPECT_EQ(levels[0].Texels.at(0), 77);
    rec.Clear();
    t->DeleteName();
    t->DeleteName();
    EXPECT_EQ(rec.Count("glDeleteTextures"), 1);
}

// ---------------------------------------------------------------------------
// Mipmaps

TEST_F(GLTexturesTest, MipmapChainOfA4x4Image) {
    Init("");
    TGLTexture* t = textures.CreateRGB8(4, 4);
    t->MinFilter = GL_NEAREST_MIPMAP_NEAREST;
    // Red = column * 40 + row, green = 255 - red, blue = 9.
    for (int y = 0; y < 4; ++y)
        for (int x = 0; x < 4; ++x) {
            uint8_t* p = t->GetScanLine(y) + x * 3;
            p[0] = static_cast<uint8_t>(x * 40 + y);
            p[1] = static_cast<uint8_t>(255 - p[0]);
            p[2] = 9;
        }
    t->UpLoad();
    EXPECT_TRUE(rec.Has("glTexParameteri", {GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_LINEAR_MIPMAP_LINEAR}))
        << "whichever mipmap filter was chosen";
    ASSERT_EQ(levels.size(), 3u) << rec.Text();
    EXPECT_EQ(levels[0].W, 4);
    EXPECT_EQ(levels[1].Level, 1);
    EXPECT_EQ(levels[1].W, 2);
    EXPECT_EQ(levels[1].H, 2);
    EXPECT_EQ(levels[2].W, 1);
    EXPECT_EQ(levels[2].H, 1);
    // Level 1 texel (1, 0) averages columns 2-3, rows 0-1: red 80,81,120,121.
    EXPECT_EQ(levels[1].Texels.at(3), (80 + 81 + 120 + 121) / 4);
    EXPECT_EQ(levels[1].Texels.at(4), (175 + 174 + 135 + 134) / 4);
    EXPECT_EQ(levels[1].Texels.at(5), 9);
    // Texel (0, 1): columns 0-1, rows 2-3.
    EXPECT_EQ(levels[1].Texels.at(6), (2 + 3 + 42 + 43) / 4);
    EXPECT_EQ(levels[2].Texels.at(0), (20 + 100 + 22 + 102) / 4);
    EXPECT_EQ(t->Pixels()[3], 40) << "the kept pixels are not touched";
}

TEST_F(GLTexturesTest, MipmapChainOfAFourByOneRow) {
    Init("");
    TGLTexture* t = textures.CreateRGBA8(4, 1);
    t->MinFilter = GL_LINEAR_MIPMAP_NEAREST;
    const uint8_t px[] = {10, 20, 30, 255, 13, 21, 30, 255, 100, 0, 0, 0, 201, 3, 0, 0};
    std::memcpy(t->Pixels(), px, sizeof px);
    t->UpLoad();
    ASSERT_EQ(levels.size(), 3u);
    EXPECT_EQ(levels[1].W, 2);
    EXPECT_EQ(levels[1].H, 1);
    EXPECT_EQ(levels[1].Texels, (std::vector<uint8_t>{11, 20, 30, 255, 150, 1, 0, 0}));
    EXPECT_EQ(levels[2].Texels, (std::vector<uint8_t>{80, 10, 15, 127}));
}

TEST_F(GLTexturesTest, MipmapsNeedByteChannelsOfThreeOrFour) {
    Init("");
    TGLTexture* lum = textures.Add();
    lum->SetFormats(GL_LUMINANCE8, GL_LUMINANCE, GL_UNSIGNED_BYTE);
    lum->SetSize(4, 4);
    lum->AllocPixels();
    lum->MinFilter = GL_LINEAR_MIPMAP_LINEAR;
    lum->UpLoad();
    EXPECT_TRUE(levels.empty());
    EXPECT_TRUE(lum->Uploaded());

    textures.SetUsePacked(true);
    TGLTexture* packed = textures.CreateRGB5(4, 4);
    packed->MinFilter = GL_LINEAR_MIPMAP_LINEAR;
    rec.Clear();
    packed->UpLoad();
    ASSERT_EQ(levels.size(), 1u) << "packed texels: the base level only";
    // The last filter given must not ask for the levels that were not made.
    double lastFilter = 0;
    for (const TGLCall& c : rec.Calls)
        if (std::strcmp(c.Name, "glTexParameteri") == 0 && c.Args[1] == static_cast<double>(GL_TEXTURE_MIN_FILTER)) lastFilter = c.Args[2];
    EXPECT_EQ(lastFilter, static_cast<double>(GL_LINEAR));
}

TEST_F(GLTexturesTest, OneDimensionalMipmapsStayOnTheirTarget) {
    Init("");
    TGLTexture* t = textures.CreateRGB8(4, 2);
    t->Target = GL_TEXTURE_1D;
    t->MinFilter = GL_LINEAR_MIPMAP_LINEAR;
    t->UpLoad();
    EXPECT_TRUE(levels.empty()) << "nothing goes to the 2D target";
    EXPECT_EQ(rec.Count("glTexImage1D"), 3);
    EXPECT_TRUE(rec.Has("glTexImage1D", {GL_TEXTURE_1D, 2, GL_RGB8, 1}));
}

}  // namespace
