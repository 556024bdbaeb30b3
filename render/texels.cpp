#include "render/texels.h"

#include "core/errors.h"
#include "core/picture_scale.h"

#include <algorithm>

namespace {

// A picture whose pixel buffer matches its size and depth.
bool Convertible(const TPicture& p) {
    if (p.Empty() || (p.BitsPerPixel != 8 && p.BitsPerPixel != 24)) return false;
    return p.Pixels.size() >= p.RowSize() * static_cast<size_t>(p.Height);
}

// The colour of a pixel of a convertible picture; a palette index beyond
// the palette reads as black.
TRGBQuad Sample(const TPicture& p, int32_t row, int32_t x) {
    const uint8_t* line = p.Row(row);
    if (p.BitsPerPixel == 24) {
        const uint8_t* q = line + 3 * static_cast<size_t>(x);
        return TRGBQuad{q[0], q[1], q[2], 0};
    }
    const size_t index = line[x];
    return index < p.Palette.size() ? p.Palette[index] : TRGBQuad{};
}

// The picture pixels one texel averages: (column, row) offsets in its block.
struct TBlock {
    int Count;
    int Shift;
    int Offsets[8][2];
};
constexpr TBlock kBlock1{1, 0, {{0, 0}}};
constexpr TBlock kBlock2{4, 2, {{0, 0}, {1, 0}, {0, 1}, {1, 1}}};
// Half of a 4 x 4 block, staggered between its upper and lower halves.
constexpr TBlock kBlock4{8, 3, {{0, 0}, {2, 0}, {0, 1}, {2, 1}, {1, 2}, {3, 2}, {1, 3}, {3, 3}}};

const TBlock& BlockFor(int32_t divisor) { return divisor == 4 ? kBlock4 : divisor == 2 ? kBlock2 : kBlock1; }

// First and last source index covered by new index i of a dimension that
// goes from `size` to `newSize`. The last block of an odd size takes in the
// leftover texel.
void BlockRange(int i, int size, int newSize, int& first, int& last) {
    if (size == 1) {
        first = last = 0;
        return;
    }
    first = 2 * i;
    last = i == newSize - 1 ? size - 1 : 2 * i + 1;
}

}  // namespace

TPicture PowerOfTwoPicture(TPicture picture) {
    if (picture.Empty() || (IsTextureSide(picture.Width) && IsTextureSide(picture.Height))) return picture;
    return StretchPicture(picture, TextureSide(picture.Width), TextureSide(picture.Height));
}

int32_t TextureScaleDivisor(int32_t width, int32_t height, TTextureQuality quality) {
    if (width < 32) return 1;
    int32_t divisor = quality == tqLow ? 4 : quality == tqMedium ? 2 : 1;
    const int32_t largest = std::max(width, height);
    if (quality != tqHigh && (largest == 1024 || largest <= 256)) divisor /= 2;
    if (width / divisor < 32) divisor = width / 32;
    // A picture only a row or two high would otherwise lose every row.
    while (divisor > 1 && height / divisor < 1) divisor /= 2;
    return std::max(divisor, 1);
}

TTexelLayout TexelLayoutFor(TTextureFormat format, TTextureColorBit colorBit, bool animated, GLenum compressedRGB,
                            GLenum compressedRGBA) {
    const bool packed16 = colorBit == cb16bit || (colorBit == cbCompressed && animated);
    TTexelLayout layout;
    switch (format) {
        case tfAlpha:
            layout.InternalFormat = colorBit == cb32bit ? GL_RGBA8 : packed16 ? GL_RGBA4 : compressedRGBA;
            break;
        case tfSprite:
            layout.InternalFormat = colorBit == cb32bit ? GL_RGBA8 : packed16 ? GL_RGB5_A1 : compressedRGBA;
            break;
        default:
            layout.InternalFormat = colorBit == cb32bit ? GL_RGB8 : packed16 ? GL_RGB5 : compressedRGB;
            return layout;
    }
    layout.PixelFormat = GL_BGRA_EXT;
    layout.BytesPerTexel = 4;
    return layout;
}

TTexelResult PictureToTexels(const TPicture& colour, const TPicture& alpha, const TTexelOptions& options,
                             const TTexelBlock& out) {
    const TTextureFormat format = options.Format;
    TTexelResult result{false, options.SpriteColor};
    if (format == tfAlpha && (colour.Width != alpha.Width || colour.Height != alpha.Height))
        throw Exception("Texture size is not equal Alpha size!");
    const int32_t width = out.Width, height = out.Height;
    if (width <= 0 || height <= 0 || !out.Data) return result;
    // Only 24-bit and 8-bit pictures convert; the texels of others stay as
    // they are.
    if (!Convertible(colour) || (format == tfAlpha && !Convertible(alpha))) return result;
    const int32_t divisor = options.Divisor >= 4 ? 4 : options.Divisor >= 2 ? 2 : 1;
    if (static_cast<int64_t>(width) * divisor > colour.Width || static_cast<int64_t>(height) * divisor > colour.Height)
        throw Exception("Picture is smaller than the texture!");
    const int texelBytes = format == tfTexture ? 3 : 4;
    if (out.BytesPerTexel != texelBytes) throw Exception("Texture format does not take byte texels!");

    if (format == tfSprite && options.AutoSpriteColor) {
        const TRGBQuad corner = Sample(colour, 0, 0);
        result.SpriteColor = MakeByteColor(corner.Red, corner.Green, corner.Blue, 0);
    }
    const TByteColor key = result.SpriteColor;
    const uint8_t keyR = key & 0xFF, keyG = key >> 8 & 0xFF, keyB = key >> 16 & 0xFF;
    // Averages are taken only where both pictures are 24-bit (or for plain
    // textures from a 24-bit picture); everything else is point sampled.
    const bool average = colour.BitsPerPixel == 24 && format != tfSprite &&
                         (format == tfTexture || alpha.BitsPerPixel == 24);
    const TBlock& block = average ? BlockFor(divisor) : kBlock1;
    const size_t rowBytes = static_cast<size_t>(width) * static_cast<size_t>(texelBytes);

    for (int32_t i = 0; i < height; ++i) {
        uint8_t* texel = out.Data + static_cast<size_t>(i) * rowBytes;
        const int32_t top = (height - 1 - i) * divisor;
        for (int32_t x = 0; x < width; ++x, texel += texelBytes) {
            const int32_t left = x * divisor;
            unsigned b = 0, g = 0, r = 0, a = 0;
            for (int k = 0; k < block.Count; ++k) {
                const int32_t col = left + block.Offsets[k][0], row = top + block.Offsets[k][1];
                const TRGBQuad p = Sample(colour, row, col);
                b += p.Blue;
                g += p.Green;
                r += p.Red;
                if (format == tfAlpha) {
                    const TRGBQuad q = Sample(alpha, row, col);
                    a += static_cast<unsigned>(q.Blue + q.Green + q.Red);
                }
            }
            texel[0] = static_cast<uint8_t>(b >> block.Shift);
            texel[1] = static_cast<uint8_t>(g >> block.Shift);
            texel[2] = static_cast<uint8_t>(r >> block.Shift);
            if (format == tfAlpha) {
                texel[3] = static_cast<uint8_t>(a / (3u * static_cast<unsigned>(block.Count)));
            } else if (format == tfSprite) {
                texel[3] = texel[0] == keyB && texel[1] == keyG && texel[2] == keyR ? 0 : 255;
            }
        }
    }
    result.Converted = true;
    return result;
}

void ReduceTexels2x2(uint8_t* texels, int width, int height, int bytesPerPixel, int& newWidth, int& newHeight) {
    newWidth = width;
    newHeight = height;
    if (texels == nullptr || width < 1 || height < 1 || bytesPerPixel < 1) return;
    const int nw = width > 1 ? width / 2 : 1;
    const int nh = height > 1 ? height / 2 : 1;
    const size_t bpp = static_cast<size_t>(bytesPerPixel);
    const size_t stride = static_cast<size_t>(width) * bpp;
    // Each new texel is written at or before the first byte of its own
    // block, and after every block of an earlier texel, so the reduction
    // can run in place.
    for (int y = 0; y < nh; ++y) {
        int y0, y1;
        BlockRange(y, height, nh, y0, y1);
        for (int x = 0; x < nw; ++x) {
            int x0, x1;
            BlockRange(x, width, nw, x0, x1);
            const unsigned count = static_cast<unsigned>((x1 - x0 + 1) * (y1 - y0 + 1));
            uint8_t* out = texels + (static_cast<size_t>(y) * static_cast<size_t>(nw) + static_cast<size_t>(x)) * bpp;
            for (size_t c = 0; c < bpp; ++c) {
                unsigned sum = 0;
                for (int yy = y0; yy <= y1; ++yy) {
                    const uint8_t* row = texels + static_cast<size_t>(yy) * stride + c;
                    for (int xx = x0; xx <= x1; ++xx) sum += row[static_cast<size_t>(xx) * bpp];
                }
                out[c] = static_cast<uint8_t>(sum / count);
            }
        }
    }
    newWidth = nw;
    newHeight = nh;
}

TAlphaCells MeasureAlphaCells(const TTexelBlock& block, int maxColumns, int maxRows) {
    TAlphaCells cells;
    if (!block.Data || block.Width <= 0 || block.Height <= 0 || block.BytesPerTexel < 4 || maxColumns <= 0 ||
        maxRows <= 0)
        return cells;
    cells.Columns = std::min(block.Width, maxColumns);
    cells.Rows = std::min(block.Height, maxRows);
    cells.Max.assign(static_cast<size_t>(cells.Columns) * static_cast<size_t>(cells.Rows), 0);
    const size_t bpp = static_cast<size_t>(block.BytesPerTexel);
    for (int y = 0; y < block.Height; ++y) {
        // Sides that do not divide evenly share out the leftover texels.
        const int row = static_cast<int>(static_cast<int64_t>(y) * cells.Rows / block.Height);
        const uint8_t* texel = block.Data + static_cast<size_t>(y) * static_cast<size_t>(block.Width) * bpp + 3;
        uint8_t* out = cells.Max.data() + static_cast<size_t>(row) * static_cast<size_t>(cells.Columns);
        for (int x = 0; x < block.Width; ++x, texel += bpp) {
            uint8_t& cell = out[static_cast<int64_t>(x) * cells.Columns / block.Width];
            if (*texel > cell) cell = *texel;
        }
    }
    return cells;
}
