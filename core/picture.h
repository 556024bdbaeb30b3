// Pictures in memory and their files: our own BMP reader and writer, and
// JPEG through libjpeg. Decoders take outside bytes: any input ends in a
// picture or an Exception, never in a read past the data or an unbounded
// allocation.
#pragma once

#include "core/stream.h"  // SaveBytesToFile, for the pictures written to disk

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

struct TRGBQuad {
    uint8_t Blue = 0;
    uint8_t Green = 0;
    uint8_t Red = 0;
    uint8_t Reserved = 0;
};

// An 8-bit picture (one palette index per pixel) or a 24-bit one (blue,
// green, red per pixel). Rows run top-down and are packed without padding.
class TPicture {
public:
    int32_t Width = 0;
    int32_t Height = 0;
    int32_t BitsPerPixel = 0;       // 8 or 24; 0 while empty
    std::vector<TRGBQuad> Palette;  // 256 entries for 8-bit pictures
    std::vector<uint8_t> Pixels;

    // Sizes and zero-fills the picture (8-bit ones get a black palette).
    // Raises Exception when the size is negative or beyond the limits below.
    void SetSize(int32_t width, int32_t height, int32_t bitsPerPixel);
    void Clear();
    bool Empty() const { return Width <= 0 || Height <= 0 || BitsPerPixel == 0; }
    size_t RowSize() const { return static_cast<size_t>(Width) * static_cast<size_t>(BitsPerPixel / 8); }
    uint8_t* Row(int32_t y) { return Pixels.data() + static_cast<size_t>(y) * RowSize(); }
    const uint8_t* Row(int32_t y) const { return Pixels.data() + static_cast<size_t>(y) * RowSize(); }
    // The colour of a pixel whatever the depth.
    TRGBQuad PixelColor(int32_t x, int32_t y) const;
};

// Largest pictures we take: a side of 16384 and 64 M pixels.
constexpr int32_t kMaxPictureSide = 16384;
constexpr int64_t kMaxPicturePixels = 64LL * 1024 * 1024;

// BMP: Windows and OS/2 headers; 1, 4 and 8 bits give an 8-bit picture,
// 16, 24 and 32 bits (plain or with bit fields) a 24-bit one. Raises
// Exception("Bitmap image is not valid") for anything else.
TPicture ReadBMP(const uint8_t* data, size_t size);
// A bottom-up BMP of the picture's depth (8-bit with its palette, or 24-bit).
std::vector<uint8_t> WriteBMP(const TPicture& picture);

// JPEG into a 24-bit picture; grey pictures come out grey. Raises
// Exception("JPEG error #<code>") on bad data.
TPicture DecodeJPEG(const uint8_t* data, size_t size);
// Baseline JPEG at quality 1..100 with full-resolution colour (no chroma
// subsampling, which smears thin saturated lines); `optimizeCoding` makes
// Huffman tables for the picture (smaller files, written more slowly).
std::vector<uint8_t> EncodeJPEG(const TPicture& picture, int quality, bool optimizeCoding = false);

// The JPEG codec's default quality.
constexpr int kDefaultJPEGQuality = 75;

