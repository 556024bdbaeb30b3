// GL textures: pixels kept in memory with every parameter needed to make a
// GL texture object from them, uploaded on first use and again after the
// name was deleted; and the context's texture list, which probes the
// texture extensions and hands new textures their formats.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "render/gl_objects.h"
#include "render/texels.h"

class TGLTextureList;

class TGLTexture : public TGLItem {
public:
    explicit TGLTexture(TGLTextureList* owner = nullptr);
    ~TGLTexture() override;

    // 0 or a power of two; anything else raises and leaves the size alone.
    void SetWidth(int width);
    void SetHeight(int height);
    void SetSize(int width, int height);
    void SetFormats(GLenum internalFormat, GLenum pixelFormat, GLenum pixelType);
    void SetPixelType(GLenum pixelType);
    // At least 1; the buffer is sized by the next AllocPixels.
    void SetFrameCount(int count);
    // Which frame of the buffer is uploaded, 0 .. frame count - 1.
    void SetCurrentFrame(int frame);

    int Width() const { return FWidth; }
    int Height() const { return FHeight; }
    GLenum PixelFormat() const { return FPixelFormat; }
    GLenum PixelType() const { return FPixelType; }
    int Components() const { return FComponents; }
    int BytesPerPixel() const { return FBytesPerPixel; }
    int64_t RowSize() const { return FRowSize; }
    int64_t FrameSize() const { return FFrameSize; }
    int FrameCount() const { return FFrameCount; }
    int CurrentFrame() const { return FCurrentFrame; }

    // Frees the old buffer and allocates frame count x frame size zeroed bytes.
    void AllocPixels();
    void FreePixels();
    uint8_t* Pixels() { return FPixels.get(); }
    size_t PixelBytes() const { return FPixelBytes; }
    // Start of row `row` of the current frame (row 0 is the bottom row of the
    // picture, the first one given to GL). Raises for a row outside the frame.
    uint8_t* GetScanLine(int row);
    // Start of the current frame; nullptr when the buffer does not hold it.
    uint8_t* FrameData();

    void UpLoad();
    void Bind();
    // Uploads if needed, binds and enables the target.
    void Use();
    void Unbind();
    // Drops the GL name; the pixels stay, so the next Use uploads again.
    void DeleteName();

    bool Uploaded() const { return FUploaded; }
    GLuint Name() const { return FName; }

    int CopyY = 0, CopyX = 0;
    // Wrap mode GL_REPEAT when set, else clamped to the edge texels (GL_CLAMP
    // where the context has no GL_CLAMP_TO_EDGE).
    bool Repeat = true;
    float Priority = 1.0f;
    GLenum MinFilter = GL_LINEAR;
    // GL_TEXTURE_2D or GL_TEXTURE_1D.
    GLenum Target = GL_TEXTURE_2D;
    GLenum EnvMode = GL_MODULATE;
    TColor4f EnvColor{1, 1, 1, 1};
    // 0: pixels in memory; 1: copy from the frame buffer.
    uint8_t Source = 0;
    GLenum InternalFormat = GL_RGB8;
    // Unit selected before binding when multitexturing.
    int TextureUnit = 0;
    // Kept for the scene texture's script.
    float AlphaValue = 0;

private:
    TGLTextureList* Textures() const;
    void Recompute();
    void SelectUnit();
    void UploadImage(const uint8_t* data);
    void UploadMipmaps();

    bool FUploaded = false;
    GLuint FName = 0;
    int FWidth = 256, FHeight = 256;
    std::unique_ptr<uint8_t[]> FPixels;
    size_t FPixelBytes = 0;
    GLenum FPixelFormat = GL_RGB;
    GLenum FPixelType = GL_UNSIGNED_BYTE;
    int FBytesPerPixel = 3;
    int64_t FRowSize = 0;
    int64_t FFrameSize = 0;
    int FComponents = 3;
    int FCurrentFrame = 0;
    int FFrameCount = 1;
};

class TGLTextureList : public TGLItemList {
public:
    explicit TGLTextureList(TCustomOpenGL* context = nullptr) : TGLItemList(context) {}

    // A new texture with default fields.
    TGLTexture* Add();
    TGLTexture* Items(int index) const { return static_cast<TGLTexture*>(TGLItemList::Items(index)); }

    // New textures of each kind. With both sizes non-zero the size is set and
    // the pixels allocated; otherwise the texture is 0 x 0 without pixels.
    TGLTexture* CreateRGBA4(int width, int height);
    TGLTexture* CreateRGB5A1(int width, int height);
    TGLTexture* CreateRGB5(int width, int height);
    TGLTexture* CreateRGB8(int width, int height);
    TGLTexture* CreateRGBA8(int width, int height);
    TGLTexture* CreateCompressedRGBA(int width, int height);
    TGLTexture* CreateCompressedRGB(int width, int height);
    // A new texture of exactly these formats: the list's BGRA and packing
    // choices do not apply.
    TGLTexture* CreateTexture(GLenum internalFormat, GLenum pixelFormat, GLenum pixelType, int width, int height);

    // New textures take their pixels in blue-green-red order.
    void SetUseBGRA(bool flag) { FUseBGRA = flag; }
    // New textures take packed 16/32-bit pixel types.
    void SetUsePacked(bool flag) { FUsePacked = flag; }
    bool UseBGRA() const { return FUseBGRA; }
    bool UsePacked() const { return FUsePacked; }

    void DeleteAllNames();
    void InitContext() override;

    bool BGRASupported() const { return FBGRASupported; }
    bool PackedPixelsSupported() const { return FPackedSupported; }
    bool MultitextureSupported() const { return FMultitextureSupported; }
    int TextureUnits() const { return FTextureUnits; }
    bool CompressionSupported() const { return FCompressionSupported; }
    // Texture environment "combine": a unit can mix its texture with the
    // previous unit's result.
    bool CombineSupported() const { return FCombineSupported; }
    GLenum CompressedRGBFormat() const { return FCompressedRGB; }
    GLenum CompressedRGBAFormat() const { return FCompressedRGBA; }

    // Given to each new texture.
    GLenum DefaultFilter = GL_LINEAR;
    GLenum DefaultEnvMode = GL_MODULATE;
    // Binding selects the texture's unit first.
    bool MultitextureInUse = false;

private:
    friend class TGLTexture;
    struct TFormatRow;
    TGLTexture* Create(const TFormatRow& row, GLenum internalFormat, int width, int height);

    bool FBGRASupported = false;
    bool FPackedSupported = false;
    bool FUseBGRA = false;
    bool FUsePacked = false;
    bool FMultitextureSupported = false;
    int FTextureUnits = 1;
    bool FCompressionSupported = false;
    bool FCombineSupported = false;
    GLenum FCompressedRGB = GL_RGB8;
    GLenum FCompressedRGBA = GL_RGBA8;
    // Mipmap levels are reduced here, reused from upload to upload.
    std::vector<uint8_t> FMipmapWork;
};
