#include "render/gl_textures.h"

#include <algorithm>
#include <cstring>
#include <new>

#include "render/gl_table.h"
#include "core/errors.h"

namespace {

// Largest pixel buffer of one texture, all frames together.
constexpr int64_t MaxPixelBytes = int64_t{1} << 30;

bool IsPowerOfTwoOrZero(int v) { return v == 0 || (v > 0 && (v & (v - 1)) == 0); }

bool IsMipmapFilter(GLenum filter) { return filter >= GL_NEAREST_MIPMAP_NEAREST && filter <= GL_LINEAR_MIPMAP_LINEAR; }

int ComponentsOf(GLenum format) {
    switch (format) {
        case GL_LUMINANCE_ALPHA:
            return 2;
        case GL_RGB:
        case GL_BGR_EXT:
            return 3;
        case GL_RGBA:
        case GL_BGRA_EXT:
            return 4;
        default:
            return 1;
    }
}

int BytesPerPixelOf(GLenum type, int components) {
    switch (type) {
        case GL_SHORT:
        case GL_UNSIGNED_SHORT:
            return 2 * components;
        case GL_INT:
        case GL_UNSIGNED_INT:
        case GL_FLOAT:
            return 4 * components;
        case GL_UNSIGNED_BYTE_3_3_2:
        case GL_UNSIGNED_BYTE_2_3_3_REV:
            return 1;
        case GL_UNSIGNED_SHORT_4_4_4_4:
        case GL_UNSIGNED_SHORT_5_5_5_1:
        case GL_UNSIGNED_SHORT_5_6_5:
        case GL_UNSIGNED_SHORT_5_6_5_REV:
        case GL_UNSIGNED_SHORT_4_4_4_4_REV:
        case GL_UNSIGNED_SHORT_1_5_5_5_REV:
            return 2;
        case GL_UNSIGNED_INT_8_8_8_8:
        case GL_UNSIGNED_INT_10_10_10_2:
        case GL_UNSIGNED_INT_8_8_8_8_REV:
        case GL_UNSIGNED_INT_2_10_10_10_REV:
            return 4;
        default:
            return components;
    }
}

}  // namespace

// ---------------------------------------------------------------------------
// Textures

TGLTexture::TGLTexture(TGLTextureList* owner) : TGLItem(owner) { Recompute(); }

TGLTexture::~TGLTexture() {
    if (FUploaded && gl.DeleteTextures) DeleteName();
    FreePixels();
}

// Owners are always texture lists; empty while the list is freeing it.
TGLTextureList* TGLTexture::Textures() const { return static_cast<TGLTextureList*>(Owner()); }

void TGLTexture::Recompute() {
    FComponents = ComponentsOf(FPixelFormat);
    FBytesPerPixel = BytesPerPixelOf(FPixelType, FComponents);
    FRowSize = static_cast<int64_t>(FBytesPerPixel) * FWidth;
    FFrameSize = FRowSize * FHeight;
}

void TGLTexture::SetWidth(int width) {
    if (!IsPowerOfTwoOrZero(width)) throw Exception("TGLTexture.SetWidth error: Width is not power 2");
    FWidth = width;
    Recompute();
}

void TGLTexture::SetHeight(int height) {
    if (!IsPowerOfTwoOrZero(height)) throw Exception("TGLTexture.SetHeight error: Height is not power 2");
    FHeight = height;
    Recompute();
}

void TGLTexture::SetSize(int width, int height) {
    SetWidth(width);
    SetHeight(height);
}

void TGLTexture::SetFormats(GLenum internalFormat, GLenum pixelFormat, GLenum pixelType) {
    InternalFormat = internalFormat;
    FPixelFormat = pixelFormat;
    FPixelType = pixelType;
    Recompute();
}

void TGLTexture::SetPixelType(GLenum pixelType) {
    FPixelType = pixelType;
    Recompute();
}

void TGLTexture::SetFrameCount(int count) {
    FFrameCount = std::max(1, count);
    FCurrentFrame = std::min(FCurrentFrame, FFrameCount - 1);
}

void TGLTexture::SetCurrentFrame(int frame) { FCurrentFrame = std::clamp(frame, 0, FFrameCount - 1); }

void TGLTexture::AllocPixels() {
    FreePixels();
    const int64_t bytes = FFrameSize * FFrameCount;
    if (bytes <= 0) return;
    if (bytes > MaxPixelBytes) throw Exception("TGLTexture.AllocPixels error: Texture is too large");
    try {
        FPixels.reset(new uint8_t[static_cast<size_t>(bytes)]());
    } catch (const std::bad_alloc&) {
        throw Exception("TGLTexture.AllocPixels error: Out of memory");
    }
    FPixelBytes = static_cast<size_t>(bytes);
}

void TGLTexture::FreePixels() {
    FPixels.reset();
    FPixelBytes = 0;
}

uint8_t* TGLTexture::FrameData() {
    const int64_t start = FFrameSize * FCurrentFrame;
    if (!FPixels || FFrameSize <= 0 || start + FFrameSize > static_cast<int64_t>(FPixelBytes)) return nullptr;
    return FPixels.get() + start;
}

uint8_t* TGLTexture::GetScanLine(int row) {
    uint8_t* frame = FrameData();
    if (frame == nullptr || row < 0 || row >= FHeight) throw Exception("TGLTexture.GetScanLine error: Row out of bounds");
    return frame + FRowSize * row;
}

void TGLTexture::SelectUnit() {
    const TGLTextureList* list = Textures();
    if (list != nullptr && list->MultitextureInUse && gl.ActiveTextureARB)
        gl.ActiveTextureARB(GL_TEXTURE0_ARB + static_cast<GLenum>(TextureUnit));
}

void TGLTexture::Bind() {
    SelectUnit();
    gl.BindTexture(Target, FName);
}

void TGLTexture::Use() {
    if (!FUploaded) UpLoad();
    Bind();
    gl.Enable(Target);
}

void TGLTexture::Unbind() {
    SelectUnit();
    gl.Disable(Target);
}

void TGLTexture::DeleteName() {
    if (!FUploaded) return;
    gl.DeleteTextures(1, &FName);
    FUploaded = false;
}

void TGLTexture::UploadImage(const uint8_t* data) {
    if (Target == GL_TEXTURE_1D)
        gl.TexImage1D(Target, 0, static_cast<GLint>(InternalFormat), FWidth, 0, FPixelFormat, FPixelType, data);
    else
        gl.TexImage2D(Target, 0, static_cast<GLint>(InternalFormat), FWidth, FHeight, 0, FPixelFormat, FPixelType,
                      data);
}

void TGLTexture::UpLoad() {
    if (FUploaded) return;
    // Checked before a name is made, so a bad target leaks none.
    if (Target != GL_TEXTURE_2D && Target != GL_TEXTURE_1D)
        throw Exception("TGLTexture.UpLoad error: Target has invalid format");
    gl.GenTextures(1, &FName);
    Bind();
    gl.TexParameteri(Target, GL_TEXTURE_MIN_FILTER, static_cast<GLint>(MinFilter));
    gl.TexParameteri(Target, GL_TEXTURE_MAG_FILTER, MinFilter >= GL_LINEAR ? GL_LINEAR : GL_NEAREST);
    // Plain clamping blends the border colour (black) into the edge texels:
    // a dark seam along a picture's edge wherever it shows.
    const GLint wrap = Repeat ? static_cast<GLint>(GL_REPEAT) : glCaps.ClampWrap();
    gl.TexParameteri(Target, GL_TEXTURE_WRAP_S, wrap);
    gl.TexParameteri(Target, GL_TEXTURE_WRAP_T, wrap);
    gl.TexEnvi(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, static_cast<GLint>(EnvMode));
    const GLfloat colour[4] = {EnvColor.r, EnvColor.g, EnvColor.b, EnvColor.a};
    gl.TexEnvfv(GL_TEXTURE_ENV, GL_TEXTURE_ENV_COLOR, colour);
    // Rows are packed without padding (3-byte pixels included).
    gl.PixelStorei(GL_UNPACK_ROW_LENGTH, 0);
    gl.PixelStorei(GL_UNPACK_ALIGNMENT, 1);
    gl.PixelStorei(GL_UNPACK_SKIP_ROWS, 0);
    gl.PixelStorei(GL_UNPACK_SKIP_PIXELS, 0);
    gl.TexParameterf(Target, GL_TEXTURE_PRIORITY, Priority);

    if (Source == 1 && Target == GL_TEXTURE_2D)
        gl.CopyTexImage2D(Target, 0, InternalFormat, CopyX, CopyY, FWidth, FHeight, 0);
    else if (Source == 1)
        gl.CopyTexImage1D(Target, 0, InternalFormat, CopyX, CopyY, FWidth, 0);
    else if (IsMipmapFilter(MinFilter))
        UploadMipmaps();
    else
        UploadImage(FrameData());
    FUploaded = true;
}

// Every level down to 1 x 1 from one work buffer reduced in place. Only byte
// channels of 3- and 4-component formats can be averaged; for any other
// format nothing is uploaded.
void TGLTexture::UploadMipmaps() {
    if (FWidth < 1 || FHeight < 1) return;
    int bpp;
    if (FPixelFormat == GL_RGB || FPixelFormat == GL_BGR_EXT)
        bpp = 3;
    else if (FPixelFormat == GL_RGBA || FPixelFormat == GL_BGRA_EXT)
        bpp = 4;
    else
        return;
    if (FPixelType != GL_UNSIGNED_BYTE) {
        // Packed texels do not average byte by byte: the base level alone,
        // with a filter that needs no other level.
        gl.TexParameteri(Target, GL_TEXTURE_MIN_FILTER, GL_LINEAR);
        UploadImage(FrameData());
        return;
    }
    const uint8_t* frame = FrameData();
    if (frame == nullptr) return;

    // A 1D texture has one row; its levels go to its own target.
    const bool oneD = Target == GL_TEXTURE_1D;
    int w = FWidth, h = oneD ? 1 : FHeight;
    const size_t bytes = static_cast<size_t>(w) * static_cast<size_t>(h) * static_cast<size_t>(bpp);
    std::vector<uint8_t> local;
    std::vector<uint8_t>& work = Textures() ? Textures()->FMipmapWork : local;
    if (work.size() < bytes) work.resize(bytes);
    std::memcpy(work.data(), frame, bytes);

    gl.TexParameteri(Target, GL_TEXTURE_MIN_FILTER, GL_LINEAR_MIPMAP_LINEAR);
    for (GLint level = 0;; ++level) {
        if (oneD)
            gl.TexImage1D(Target, level, static_cast<GLint>(InternalFormat), w, 0, FPixelFormat, FPixelType,
                          work.data());
        else
            gl.TexImage2D(GL_TEXTURE_2D, level, static_cast<GLint>(InternalFormat), w, h, 0, FPixelFormat, FPixelType,
                          work.data());
        if (w == 1 && h == 1) break;
        ReduceTexels2x2(work.data(), w, h, bpp, w, h);
    }
}

// ---------------------------------------------------------------------------
// Texture list

struct TGLTextureList::TFormatRow {
    GLenum RGBFormat, BGRFormat;
    GLenum PackedRGB, PackedBGR;
};

TGLTexture* TGLTextureList::Add() {
    auto texture = std::make_unique<TGLTexture>(this);
    return Append(std::move(texture));
}

TGLTexture* TGLTextureList::Create(const TFormatRow& row, GLenum internalFormat, int width, int height) {
    const GLenum format = FUseBGRA ? row.BGRFormat : row.RGBFormat;
    const GLenum type = FUsePacked ? (FUseBGRA ? row.PackedBGR : row.PackedRGB) : GL_UNSIGNED_BYTE;
    return CreateTexture(internalFormat, format, type, width, height);
}

TGLTexture* TGLTextureList::CreateTexture(GLenum internalFormat, GLenum pixelFormat, GLenum pixelType, int width,
                                          int height) {
    auto texture = std::make_unique<TGLTexture>(this);
    texture->SetFormats(internalFormat, pixelFormat, pixelType);
    texture->MinFilter = DefaultFilter;
    texture->EnvMode = DefaultEnvMode;
    if (width != 0 && height != 0) {
        texture->SetSize(width, height);
        texture->AllocPixels();
    } else {
        texture->SetSize(0, 0);
    }
    // Appended only once complete, so a bad size leaves nothing behind.
    return Append(std::move(texture));
}

TGLTexture* TGLTextureList::CreateRGBA4(int width, int height) {
    return Create({GL_RGBA, GL_BGRA_EXT, GL_UNSIGNED_SHORT_4_4_4_4, GL_UNSIGNED_SHORT_4_4_4_4_REV}, GL_RGBA4, width,
                  height);
}

TGLTexture* TGLTextureList::CreateRGB5A1(int width, int height) {
    return Create({GL_RGBA, GL_BGRA_EXT, GL_UNSIGNED_SHORT_5_5_5_1, GL_UNSIGNED_SHORT_1_5_5_5_REV}, GL_RGB5_A1, width,
                  height);
}

TGLTexture* TGLTextureList::CreateRGB5(int width, int height) {
    return Create({GL_RGB, GL_BGR_EXT, GL_UNSIGNED_SHORT_5_6_5, GL_UNSIGNED_SHORT_5_6_5_REV}, GL_RGB5, width, height);
}

TGLTexture* TGLTextureList::CreateRGB8(int width, int height) {
    return Create({GL_RGB, GL_BGR_EXT, GL_UNSIGNED_INT_8_8_8_8, GL_UNSIGNED_INT_8_8_8_8_REV}, GL_RGB8, width, height);
}

TGLTexture* TGLTextureList::CreateRGBA8(int width, int height) {
    return Create({GL_RGBA, GL_BGRA_EXT, GL_UNSIGNED_INT_8_8_8_8, GL_UNSIGNED_INT_8_8_8_8_REV}, GL_RGBA8, width,
                  height);
}

TGLTexture* TGLTextureList::CreateCompressedRGBA(int width, int height) {
    return Create({GL_RGBA, GL_BGRA_EXT, GL_UNSIGNED_INT_8_8_8_8, GL_UNSIGNED_INT_8_8_8_8_REV}, FCompressedRGBA, width,
                  height);
}

TGLTexture* TGLTextureList::CreateCompressedRGB(int width, int height) {
    return Create({GL_RGB, GL_BGR_EXT, GL_UNSIGNED_INT_8_8_8_8, GL_UNSIGNED_INT_8_8_8_8_REV}, FCompressedRGB, width,
                  height);
}

void TGLTextureList::DeleteAllNames() {
    for (int i = 0; i < Count(); ++i) Items(i)->DeleteName();
}

void TGLTextureList::InitContext() {
    TGLItemList::InitContext();
    gl.Hint(GL_PERSPECTIVE_CORRECTION_HINT, GL_NICEST);
    FBGRASupported = GL_IsExtensionSupported("GL_EXT_bgra");
    FPackedSupported = GL_IsExtensionSupported("GL_EXT_packed_pixels");
    FMultitextureSupported = GL_IsExtensionSupported("GL_ARB_multitexture");
    MultitextureInUse = FMultitextureSupported;
    FTextureUnits = FMultitextureSupported ? std::max(1, GetInt(GL_MAX_TEXTURE_UNITS_ARB)) : 1;
    FCombineSupported =
        GL_IsExtensionSupported("GL_ARB_texture_env_combine") || GL_IsExtensionSupported("GL_EXT_texture_env_combine");
    if (GL_IsExtensionSupported("GL_ARB_texture_compression")) {
        FCompressionSupported = true;
        FCompressedRGB = GL_COMPRESSED_RGB_ARB;
        FCompressedRGBA = GL_COMPRESSED_RGBA_ARB;
        gl.Hint(GL_TEXTURE_COMPRESSION_HINT_ARB, GL_FASTEST);
    } else if (GL_IsExtensionSupported("GL_EXT_texture_compression_s3tc")) {
        FCompressionSupported = true;
        FCompressedRGB = GL_COMPRESSED_RGB_S3TC_DXT1_EXT;
        FCompressedRGBA = GL_COMPRESSED_RGBA_S3TC_DXT3_EXT;
    } else {
        FCompressionSupported = false;
        FCompressedRGB = GL_RGB8;
        FCompressedRGBA = GL_RGBA8;
    }
    FUseBGRA = false;
    FUsePacked = false;
    DefaultFilter = GL_LINEAR;
    DefaultEnvMode = GL_MODULATE;
}
