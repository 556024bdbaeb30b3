#include "core/picture.h"

#include "core/errors.h"
#include "core/stream.h"

#include <algorithm>
#include <bit>
#include <cstdio>
#include <cstring>

#include "platform/jpeg_codec.h"

namespace {

const char* const kBadBitmap = "Bitmap image is not valid";

[[noreturn]] void BadBitmap() { throw Exception(kBadBitmap); }

bool SizeAllowed(int64_t width, int64_t height) {
    return width >= 0 && height >= 0 && width <= kMaxPictureSide && height <= kMaxPictureSide &&
           width * height <= kMaxPicturePixels;
}

uint16_t Get16(const uint8_t* p) { return static_cast<uint16_t>(p[0] | (p[1] << 8)); }
uint32_t Get32(const uint8_t* p) {
    return static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) | (static_cast<uint32_t>(p[2]) << 16) |
           (static_cast<uint32_t>(p[3]) << 24);
}
void Put16(std::vector<uint8_t>& out, uint32_t v) {
    out.push_back(static_cast<uint8_t>(v));
    out.push_back(static_cast<uint8_t>(v >> 8));
}
void Put32(std::vector<uint8_t>& out, uint32_t v) {
    Put16(out, v & 0xFFFF);
    Put16(out, v >> 16);
}

// One colour channel of a bit-field pixel, scaled to 0..255.
struct Channel {
    uint32_t Mask = 0;
    int Shift = 0;
    int Bits = 0;

    explicit Channel(uint32_t mask) : Mask(mask) {
        if (!mask) return;
        Shift = std::countr_zero(mask);
        Bits = std::popcount(mask);
        if (Bits > 8) {  // keep the top eight bits
            Shift += Bits - 8;
            Bits = 8;
        }
    }
    uint8_t Value(uint32_t pixel) const {
        if (!Bits) return 0;
        uint32_t max = (1u << Bits) - 1;
        uint32_t v = (pixel >> Shift) & max;
        return static_cast<uint8_t>((v * 255 + max / 2) / max);
    }
};

}  // namespace

void TPicture::SetSize(int32_t width, int32_t height, int32_t bitsPerPixel) {
    if (!SizeAllowed(width, height) || (bitsPerPixel != 8 && bitsPerPixel != 24))
        throw Exception("Picture size " + std::to_string(width) + "x" + std::to_string(height) + " is not supported");
    Width = width;
    Height = height;
    BitsPerPixel = bitsPerPixel;
    Pixels.assign(RowSize() * static_cast<size_t>(height), 0);
    Palette.assign(bitsPerPixel == 8 ? 256 : 0, TRGBQuad{});
}

void TPicture::Clear() {
    Width = Height = BitsPerPixel = 0;
    Pixels.clear();
    Palette.clear();
}

TRGBQuad TPicture::PixelColor(int32_t x, int32_t y) const {
    if (x < 0 || y < 0 || x >= Width || y >= Height || Empty()) return {};
    const uint8_t* row = Row(y);
    if (BitsPerPixel == 8) return Palette[row[x]];
    const uint8_t* p = row + static_cast<size_t>(x) * 3;
    return TRGBQuad{p[0], p[1], p[2], 0};
}

TPicture ReadBMP(const uint8_t* data, size_t size) {
    if (!data || size < 14 + 12 || data[0] != 'B' || data[1] != 'M') BadBitmap();
    uint32_t offBits = Get32(data + 10);
    const uint8_t* info = data + 14;
    uint32_t infoSize = Get32(info);
    if (infoSize < 12 || infoSize > size - 14) BadBitmap();

    int64_t width, height;
    uint32_t bitCount, compression = 0, colorsUsed = 0;
    uint32_t masks[3] = {0, 0, 0};
    size_t paletteEntrySize = 4;
    if (infoSize == 12) {
        // OS/2 core header: 16-bit sizes, 3-byte palette entries.
        width = Get16(info + 4);
        height = static_cast<int16_t>(Get16(info + 6));
        bitCount = Get16(info + 10);
        paletteEntrySize = 3;
    } else if (infoSize >= 40) {
        width = static_cast<int32_t>(Get32(info + 4));
        height = static_cast<int32_t>(Get32(info + 8));
        bitCount = Get16(info + 14);
        compression = Get32(info + 16);
        colorsUsed = Get32(info + 32);
        if (compression == 3 || compression == 6) {
            // Bit fields follow the first 40 header bytes, inside the newer
            // headers or after the old one.
            if (size < 14 + 40 + 12) BadBitmap();
            for (int i = 0; i < 3; ++i) masks[i] = Get32(data + 14 + 40 + 4 * i);
        }
    } else {
        BadBitmap();
    }
    bool topDown = height < 0;
    if (topDown) height = -height;
    if (width <= 0 || height <= 0 || !SizeAllowed(width, height)) BadBitmap();

    bool paletted = bitCount == 1 || bitCount == 4 || bitCount == 8;
    if (!paletted && bitCount != 16 && bitCount != 24 && bitCount != 32) BadBitmap();
    if (compression == 3 || compression == 6) {
        if (bitCount != 16 && bitCount != 32) BadBitmap();
    } else if (compression != 0) {
        BadBitmap();  // run-length and embedded PNG/JPEG bitmaps are not ours
    } else if (bitCount == 16) {
        masks[0] = 0x7C00, masks[1] = 0x03E0, masks[2] = 0x001F;
    } else if (bitCount == 32) {
        masks[0] = 0xFF0000, masks[1] = 0xFF00, masks[2] = 0xFF;
    }

    TPicture picture;
    picture.SetSize(static_cast<int32_t>(width), static_cast<int32_t>(height), paletted ? 8 : 24);
    if (paletted) {
        size_t entries = colorsUsed == 0 || colorsUsed > (1u << bitCount) ? (1u << bitCount) : colorsUsed;
        size_t at = 14 + static_cast<size_t>(infoSize);
        for (size_t i = 0; i < entries && at + paletteEntrySize <= size; ++i, at += paletteEntrySize)
            picture.Palette[i] = TRGBQuad{data[at], data[at + 1], data[at + 2], 0};
    }

    uint64_t stride = ((static_cast<uint64_t>(width) * bitCount + 31) / 32) * 4;
    if (offBits > size || stride * static_cast<uint64_t>(height) > size - offBits) BadBitmap();
    const uint8_t* bits = data + offBits;
    Channel red(masks[0]), green(masks[1]), blue(masks[2]);
    for (int64_t y = 0; y < height; ++y) {
        const uint8_t* src = bits + stride * static_cast<uint64_t>(topDown ? y : height - 1 - y);
        uint8_t* dst = picture.Row(static_cast<int32_t>(y));
        for (int64_t x = 0; x < width; ++x) {
            switch (bitCount) {
            case 1: dst[x] = (src[x >> 3] >> (7 - (x & 7))) & 1; break;
            case 4: dst[x] = (src[x >> 1] >> ((x & 1) ? 0 : 4)) & 0xF; break;
            case 8: dst[x] = src[x]; break;
            case 24: std::memcpy(dst + 3 * x, src + 3 * x, 3); break;
            default: {
                uint32_t pixel = bitCount == 16 ? Get16(src + 2 * x) : Get32(src + 4 * x);
                dst[3 * x] = blue.Value(pixel);
                dst[3 * x + 1] = green.Value(pixel);
                dst[3 * x + 2] = red.Value(pixel);
            }
            }
        }
    }
    return picture;
}

std::vector<uint8_t> WriteBMP(const TPicture& picture) {
    if (picture.Empty() || (picture.BitsPerPixel != 8 && picture.BitsPerPixel != 24))
        throw Exception("Cannot save an empty picture");
    const uint32_t stride = static_cast<uint32_t>((picture.RowSize() + 3) & ~size_t{3});
    const uint32_t paletteSize = picture.BitsPerPixel == 8 ? 256 * 4 : 0;
    const uint32_t offBits = 14 + 40 + paletteSize;
    const uint32_t imageSize = stride * static_cast<uint32_t>(picture.Height);
    std::vector<uint8_t> out;
    out.reserve(offBits + imageSize);
    out.push_back('B');
    out.push_back('M');
    Put32(out, offBits + imageSize);
    Put32(out, 0);
    Put32(out, offBits);
    Put32(out, 40);
    Put32(out, static_cast<uint32_t>(picture.Width));
    Put32(out, static_cast<uint32_t>(picture.Height));  // positive: bottom-up
    Put16(out, 1);
    Put16(out, static_cast<uint32_t>(picture.BitsPerPixel));
    Put32(out, 0);  // uncompressed
    Put32(out, imageSize);
    Put32(out, 0);
    Put32(out, 0);
    Put32(out, picture.BitsPerPixel == 8 ? 256 : 0);
    Put32(out, 0);
    if (picture.BitsPerPixel == 8) {
        for (size_t i = 0; i < 256; ++i) {
            TRGBQuad q = i < picture.Palette.size() ? picture.Palette[i] : TRGBQuad{};
            out.push_back(q.Blue);
            out.push_back(q.Green);
            out.push_back(q.Red);
            out.push_back(0);
        }
    }
    for (int32_t y = picture.Height - 1; y >= 0; --y) {
        const uint8_t* row = picture.Row(y);
        out.insert(out.end(), row, row + picture.RowSize());
        out.resize(out.size() + (stride - picture.RowSize()), 0);
    }
    return out;
}

namespace {

[[noreturn]] void JpegFailed(int code) { throw Exception("JPEG error #" + std::to_string(code)); }

struct TJpegPictureTarget final : platform::IJpegTarget {
    TPicture& Picture;
    explicit TJpegPictureTarget(TPicture& picture) : Picture(picture) {}
    uint8_t* Allocate(uint32_t width, uint32_t height) override {
        if (!SizeAllowed(width, height)) return nullptr;
        Picture.SetSize(static_cast<int32_t>(width), static_cast<int32_t>(height), 24);
        return Picture.Pixels.data();
    }
};

struct TJpegPictureSource final : platform::IJpegSource {
    const TPicture& Picture;
    explicit TJpegPictureSource(const TPicture& picture) : Picture(picture) {}
    void Row(uint32_t y, uint8_t* rgb) override {
        for (int32_t x = 0; x < Picture.Width; ++x) {
            TRGBQuad q = Picture.PixelColor(x, static_cast<int32_t>(y));
            rgb[3 * x] = q.Red;
            rgb[3 * x + 1] = q.Green;
            rgb[3 * x + 2] = q.Blue;
        }
    }
};

}  // namespace

TPicture DecodeJPEG(const uint8_t* data, size_t size) {
    TPicture picture;
    TJpegPictureTarget target(picture);
    if (int code = platform::DecodeJpeg(data, size, target)) JpegFailed(code);
    // The codec gives red, green, blue; our pictures hold blue, green, red.
    for (uint8_t* p = picture.Pixels.data(), *end = p + picture.Pixels.size(); p < end; p += 3) std::swap(p[0], p[2]);
    return picture;
}

std::vector<uint8_t> EncodeJPEG(const TPicture& picture, int quality, bool optimizeCoding) {
    if (picture.Empty()) throw Exception("Cannot save an empty picture");
    std::vector<uint8_t> out;
    TJpegPictureSource source(picture);
    if (int code = platform::EncodeJpeg(static_cast<uint32_t>(picture.Width), static_cast<uint32_t>(picture.Height),
                                        quality, source, out, optimizeCoding))
        JpegFailed(code);
    return out;
}
