// Pictures to texels: the steps between decoded pictures and the bytes a
// GL texture is given (power-of-two sides, the reduction the texture
// quality asks for, alpha from a second picture or a key colour, the texel
// layout of each colour depth) and the mipmap levels reduced from texels.
// Plain functions of their inputs: no GL context, no files.
#pragma once

#include "core/picture.h"
#include "core/vecmath.h"
#include "render/gl_api.h"

#include <cstdint>
#include <vector>

enum TTextureFormat : uint8_t { tfTexture = 0, tfAlpha = 1, tfSprite = 2 };
enum TTextureQuality : uint8_t { tqHigh = 0, tqMedium = 1, tqLow = 2 };
enum TTextureColorBit : uint8_t { cbCompressed = 0, cb32bit = 1, cb16bit = 2 };

// The picture stretched to power-of-two sides (each the largest power of
// two not above the old side, at most 1024); a picture that has them
// already, or an empty one, comes back as it is.
TPicture PowerOfTwoPicture(TPicture picture);

// Picture pixels per texel in each direction (1, 2 or 4) for a picture of
// power-of-two size: by quality, halved for mid-size pictures off High, and
// limited so that the texture keeps at least 32 texels across and at least
// one row.
int32_t TextureScaleDivisor(int32_t width, int32_t height, TTextureQuality quality);

// How texels of a format and colour depth are stored and what GL makes of
// them. The converter below writes a byte per channel in blue-green-red
// order whatever the depth; the depth only chooses the internal format.
struct TTexelLayout {
    GLenum InternalFormat = GL_RGB8;
    GLenum PixelFormat = GL_BGR_EXT;  // GL_BGRA_EXT for Alpha and Sprite
    GLenum PixelType = GL_UNSIGNED_BYTE;
    int BytesPerTexel = 3;  // 4 for Alpha and Sprite
};

// `compressedRGB` and `compressedRGBA` are what the driver offers for
// Compressed (plain 24/32-bit formats where it offers none). An animated
// texture is replaced often and is never compressed: 16-bit instead.
TTexelLayout TexelLayoutFor(TTextureFormat format, TTextureColorBit colorBit, bool animated, GLenum compressedRGB,
                            GLenum compressedRGBA);

// A block of texels in memory: Height rows of Width texels, packed, row 0
// the bottom row of the picture (the first row GL takes).
struct TTexelBlock {
    uint8_t* Data = nullptr;
    int32_t Width = 0;
    int32_t Height = 0;
    int BytesPerTexel = 0;
};

struct TTexelOptions {
    TTextureFormat Format = tfTexture;
    // Picture pixels per texel; anything but 2 or 4 is taken as 1.
    int32_t Divisor = 1;
    // Key colour of Sprite texels (red in the low byte).
    TByteColor SpriteColor = 0;
    // The key is the picture's top-left pixel instead.
    bool AutoSpriteColor = false;
};

struct TTexelResult {
    // False when nothing was written: an empty block, or a picture that is
    // neither 8-bit nor 24-bit or whose pixels do not match its size.
    bool Converted = false;
    // The key colour the Sprite texels were made with.
    TByteColor SpriteColor = 0;
};

// Fills the block from the colour picture (and, for format Alpha, the
// brightness of the alpha picture of the same size): blue, green, red and,
// for Alpha and Sprite, alpha. Blocks of picture pixels are averaged where
// both pictures are 24-bit (half of each 4 x 4 block at divisor 4), other
// pictures are point sampled. Raises Exception for pictures of different
// sizes (format Alpha), a picture smaller than the block at the divisor,
// and a block whose texel size is not the format's.
TTexelResult PictureToTexels(const TPicture& colour, const TPicture& alpha, const TTexelOptions& options,
                             const TTexelBlock& block);

// Reduces a w x h image of byte channels in place to the next mipmap level:
// each dimension above 1 halves (rounding down), 1 stays 1. Each new texel
// averages its 2 x 2 block; at an odd edge the block takes in the leftover
// row or column (up to 3 x 3), and a dimension of 1 gives 1-wide blocks.
// Returns the new size in newWidth, newHeight.
void ReduceTexels2x2(uint8_t* texels, int width, int height, int bytesPerPixel, int& newWidth, int& newHeight);

// The largest alpha of each cell of a coarse grid laid over alpha texels
// (row 0 holds the first texel rows, t = 0): enough for drawing to leave out
// the parts of a picture that the alpha test would reject anyway.
struct TAlphaCells {
    int Columns = 0;
    int Rows = 0;
    std::vector<uint8_t> Max;  // Columns x Rows, row by row

    bool Empty() const { return Columns == 0 || Rows == 0; }
    uint8_t At(int column, int row) const {
        return Max[static_cast<size_t>(row) * static_cast<size_t>(Columns) + static_cast<size_t>(column)];
    }
};

// Cells of at most maxColumns x maxRows texels' worth of the block's alpha
// (its fourth byte); a block without alpha (fewer than 4 bytes a texel) or
// without texels gives empty cells.
TAlphaCells MeasureAlphaCells(const TTexelBlock& block, int maxColumns, int maxRows);
