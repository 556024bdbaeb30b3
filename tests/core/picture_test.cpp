#include "core/picture.h"

#include "core/errors.h"

#include <gtest/gtest.h>

#include <cstring>

namespace {

// Little-endian BMP assembly for hand-made files.
struct BmpBuilder {
    std::vector<uint8_t> Bytes;
    void U8(uint32_t v) { Bytes.push_back(static_cast<uint8_t>(v)); }
    void U16(uint32_t v) {
        U8(v & 0xFF);
        U8(v >> 8);
    }
    void U32(uint32_t v) {
        U16(v & 0xFFFF);
        U16(v >> 16);
    }
    // File header and a 40-byte info header; offBits fixed up by Finish.
    void Header(int32_t width, int32_t height, uint16_t bits, uint32_t compression = 0, uint32_t colors = 0) {
        U8('B');
        U8('M');
        U32(0);
        U32(0);
        U32(0);  // offBits
        U32(40);
        U32(static_cast<uint32_t>(width));
        U32(static_cast<uint32_t>(height));
        U16(1);
        U16(bits);
        U32(compression);
        U32(0);
        U32(0);
        U32(0);
        U32(colors);
        U32(0);
    }
    void PixelsStartHere() {
        uint32_t off = static_cast<uint32_t>(Bytes.size());
        std::memcpy(&Bytes[10], &off, 4);
    }
    TPicture Read() const { return ReadBMP(Bytes.data(), Bytes.size()); }
};

TPicture Sample24(int32_t w, int32_t h) {
    TPicture p;
    p.SetSize(w, h, 24);
    for (int32_t y = 0; y < h; ++y)
        for (int32_t x = 0; x < w; ++x) {
            uint8_t* px = p.Row(y) + 3 * x;
            px[0] = static_cast<uint8_t>(10 * x);       // blue
            px[1] = static_cast<uint8_t>(20 * y);       // green
            px[2] = static_cast<uint8_t>(200 - x - y);  // red
        }
    return p;
}

// ---------------------------------------------------------------------------
// BMP

TEST(BmpTest, TwentyFourBitPicturesSurviveAWriteAndRead) {
    TPicture p = Sample24(5, 3);  // 15-byte rows: the file pads them to 16
    std::vector<uint8_t> file = WriteBMP(p);
    EXPECT_EQ(file.size(), 54u + 16 * 3);
    TPicture back = ReadBMP(file.data(), file.size());
    EXPECT_EQ(back.BitsPerPixel, 24);
    EXPECT_EQ(back.Pixels, p.Pixels);
}

TEST(BmpTest, EightBitPicturesKeepIndexesAndPalette) {
    TPicture p;
    p.SetSize(3, 2, 8);
    p.Palette[1] = {1, 2, 3, 0};
    p.Palette[255] = {250, 251, 252, 0};
    p.Row(0)[0] = 1;
    p.Row(1)[2] = 255;
    std::vector<uint8_t> file = WriteBMP(p);
    TPicture back = ReadBMP(file.data(), file.size());
    ASSERT_EQ(back.BitsPerPixel, 8);
    EXPECT_EQ(back.Pixels, p.Pixels);
    EXPECT_EQ(back.PixelColor(2, 1).Red, 252);
    EXPECT_EQ(back.PixelColor(0, 0).Blue, 1);
}

TEST(BmpTest, FilesAreBottomUpUnlessTheHeightIsNegative) {
    for (int32_t sign : {1, -1}) {
        BmpBuilder b;
        b.Header(1, 2 * sign, 24);
        b.PixelsStartHere();
        b.U8(1), b.U8(2), b.U8(3), b.U8(0);  // first row in the file
        b.U8(4), b.U8(5), b.U8(6), b.U8(0);
        TPicture p = b.Read();
        EXPECT_EQ(p.PixelColor(0, 0).Blue, sign > 0 ? 4 : 1) << "sign " << sign;
    }
}

TEST(BmpTest, SmallPalettesAndPackedBitsBecomeIndexes) {
    BmpBuilder b;
    b.Header(10, 1, 4, 0, 3);  // three palette entries used
    b.U32(0x000000), b.U32(0x0000FF), b.U32(0x00FF00);
    b.PixelsStartHere();
    b.U8(0x12), b.U8(0x01), b.U8(0x20), b.U8(0x00), b.U8(0x20), b.U8(0), b.U8(0), b.U8(0);
    TPicture p = b.Read();
    ASSERT_EQ(p.BitsPerPixel, 8);
    EXPECT_EQ(p.Row(0)[0], 1);
    EXPECT_EQ(p.Row(0)[1], 2);
    EXPECT_EQ(p.Row(0)[3], 1);
    EXPECT_EQ(p.PixelColor(1, 0).Green, 255);
    EXPECT_EQ(p.PixelColor(0, 0).Blue, 255);

    BmpBuilder mono;
    mono.Header(9, 1, 1);
    mono.U32(0), mono.U32(0xFFFFFF);
    mono.PixelsStartHere();
    mono.U8(0x81), mono.U8(0x80), mono.U8(0), mono.U8(0);
    p = mono.Read();
    EXPECT_EQ(std::vector<uint8_t>(p.Pixels.begin(), p.Pixels.end()),
              (std::vector<uint8_t>{1, 0, 0, 0, 0, 0, 0, 1, 1}));
}

TEST(BmpTest, SixteenAndThirtyTwoBitFilesBecomeTwentyFourBit) {
    BmpBuilder b16;
    b16.Header(2, 1, 16);
    b16.PixelsStartHere();
    b16.U16(0x7C00), b16.U16(0x001F);  // 5-5-5: pure red, pure blue
    TPicture p = b16.Read();
    ASSERT_EQ(p.BitsPerPixel, 24);
    EXPECT_EQ(p.PixelColor(0, 0).Red, 255);
    EXPECT_EQ(p.PixelColor(1, 0).Blue, 255);
    EXPECT_EQ(p.PixelColor(1, 0).Red, 0);

    BmpBuilder fields;
    fields.Header(1, 1, 16, 3);
    fields.U32(0xF800), fields.U32(0x07E0), fields.U32(0x001F);  // 5-6-5
    fields.PixelsStartHere();
    fields.U16(0x07E0), fields.U16(0);
    p = fields.Read();
    EXPECT_EQ(p.PixelColor(0, 0).Green, 255);
    EXPECT_EQ(p.PixelColor(0, 0).Red, 0);

    BmpBuilder b32;
    b32.Header(1, 1, 32);
    b32.PixelsStartHere();
    b32.U32(0x80112233);
    p = b32.Read();
    EXPECT_EQ(p.PixelColor(0, 0).Red, 0x11);
    EXPECT_EQ(p.PixelColor(0, 0).Green, 0x22);
    EXPECT_EQ(p.PixelColor(0, 0).Blue, 0x33);
}

TEST(BmpTest, CoreHeaderFilesRead) {
    BmpBuilder b;
    b.U8('B'), b.U8('M'), b.U32(0), b.U32(0), b.U32(0);
    b.U32(12), b.U16(1), b.U16(1), b.U16(1), b.U16(8);
    for (int i = 0; i < 256; ++i) b.U8(i), b.U8(0), b.U8(255 - i);
    b.PixelsStartHere();
    b.U8(7), b.U8(0), b.U8(0), b.U8(0);
    TPicture p = b.Read();
    EXPECT_EQ(p.PixelColor(0, 0).Blue, 7);
    EXPECT_EQ(p.PixelColor(0, 0).Red, 248);
}

TEST(BmpTest, BrokenFilesRaiseInsteadOfReadingPastTheData) {
    auto rejects = [](const std::vector<uint8_t>& bytes, const char* what) {
        try {
            ReadBMP(bytes.data(), bytes.size());
            ADD_FAILURE() << what << ": accepted";
        } catch (const Exception& e) {
            EXPECT_STREQ(e.what(), "Bitmap image is not valid") << what;
        }
    };
    TPicture p = Sample24(4, 4);
    std::vector<uint8_t> good = WriteBMP(p);

    rejects({}, "empty");
    rejects({'B', 'M'}, "header only");
    std::vector<uint8_t> bad = good;
    bad[0] = 'X';
    rejects(bad, "signature");
    rejects(std::vector<uint8_t>(good.begin(), good.end() - 1), "truncated pixels");
    bad = good;
    bad[10] = 0xFF, bad[11] = 0xFF;  // pixels past the end
    rejects(bad, "offset");
    bad = good;
    bad[18] = 0xFF, bad[19] = 0xFF, bad[20] = 0xFF, bad[21] = 0x7F;  // width 2^31-1
    rejects(bad, "width");
    bad = good;
    bad[22] = 0, bad[23] = 0, bad[24] = 0, bad[25] = 0x80;  // height INT32_MIN
    rejects(bad, "height");
    bad = good;
    bad[28] = 7;  // 7 bits per pixel
    rejects(bad, "depth");
    bad = good;
    bad[30] = 1;  // run-length
    rejects(bad, "compression");
    bad = good;
    bad[14] = 0xFF, bad[15] = 0xFF;  // header longer than the file
    rejects(bad, "header size");

    BmpBuilder huge;  // 20000 x 20000: never allocated
    huge.Header(20000, 20000, 8);
    huge.PixelsStartHere();
    rejects(huge.Bytes, "size limit");
}

// ---------------------------------------------------------------------------
// JPEG

TEST(JpegTest, RoundTripKeepsColoursCloseAndTheOrder) {
    TPicture p;
    p.SetSize(16, 16, 24);
    for (int32_t y = 0; y < 16; ++y)
        for (int32_t x = 0; x < 16; ++x) {
            uint8_t* px = p.Row(y) + 3 * x;
            px[0] = x < 8 ? 255 : 0;  // left half blue, right half red
            px[2] = x < 8 ? 0 : 255;
        }
    std::vector<uint8_t> file = EncodeJPEG(p, 95);
    TPicture back = DecodeJPEG(file.data(), file.size());
    ASSERT_EQ(back.Width, 16);
    ASSERT_EQ(back.BitsPerPixel, 24);
    EXPECT_GT(back.PixelColor(2, 5).Blue, 230);
    EXPECT_LT(back.PixelColor(2, 5).Red, 25);
    EXPECT_GT(back.PixelColor(13, 5).Red, 230);
}

TEST(JpegTest, ColourIsNotSubsampled) {
    std::vector<uint8_t> file = EncodeJPEG(Sample24(8, 8), 90);
    // The frame header (FFC0): length, precision, height, width, count,
    // then per component id and sampling factors.
    size_t i = 0;
    while (i + 1 < file.size() && !(file[i] == 0xFF && file[i + 1] == 0xC0)) ++i;
    ASSERT_LT(i + 18, file.size());
    ASSERT_EQ(file[i + 9], 3);
    for (int c = 0; c < 3; ++c) EXPECT_EQ(file[i + 11 + 3 * c], 0x11) << "component " << c;
}

TEST(JpegTest, OptimizedCodingIsSmallerAndDecodesToTheSamePixels) {
    const TPicture picture = Sample24(64, 64);
    std::vector<uint8_t> plain = EncodeJPEG(picture, 90);
    std::vector<uint8_t> optimized = EncodeJPEG(picture, 90, true);
    EXPECT_LT(optimized.size(), plain.size());
    EXPECT_EQ(DecodeJPEG(optimized.data(), optimized.size()).Pixels, DecodeJPEG(plain.data(), plain.size()).Pixels);
}

TEST(JpegTest, PalettePicturesAreEncodedThroughTheirColours) {
    TPicture p;
    p.SetSize(8, 8, 8);
    p.Palette[3] = {0, 255, 0, 0};
    std::fill(p.Pixels.begin(), p.Pixels.end(), 3);
    std::vector<uint8_t> file = EncodeJPEG(p, 90);
    TPicture back = DecodeJPEG(file.data(), file.size());
    EXPECT_GT(back.PixelColor(4, 4).Green, 240);
    EXPECT_LT(back.PixelColor(4, 4).Red, 15);
}

TEST(JpegTest, BrokenDataRaises) {
    std::vector<uint8_t> file = EncodeJPEG(Sample24(8, 8), 90);
    EXPECT_THROW(DecodeJPEG(nullptr, 0), Exception);
    std::vector<uint8_t> garbage(100, 0x55);
    EXPECT_THROW(DecodeJPEG(garbage.data(), garbage.size()), Exception);
    EXPECT_THROW(DecodeJPEG(file.data(), 20), Exception) << "cut inside the headers";
    try {
        DecodeJPEG(garbage.data(), garbage.size());
    } catch (const Exception& e) {
        EXPECT_EQ(std::string(e.what()).rfind("JPEG error #", 0), 0u);
    }
}

}  // namespace
