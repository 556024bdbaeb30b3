#include "render/texels.h"

#include "core/errors.h"
#include "core/test_pictures.h"

#include <gtest/gtest.h>

#include <vector>

namespace {


// Texels of a block owned by the test.
struct TTexels {
    TTexels(int32_t w, int32_t h, int bytes) : Bytes(static_cast<size_t>(w * h * bytes), 0xAA), Block{nullptr, w, h, bytes} {
        Block.Data = Bytes.data();
    }
    const uint8_t* At(int32_t row, int32_t x) const {
        return Bytes.data() + (static_cast<size_t>(row) * Block.Width + x) * Block.BytesPerTexel;
    }
    std::vector<uint8_t> Bytes;
    TTexelBlock Block;
};

TEST(TextureSizes, PowerOfTwoSidesThenTheQualityDivisor) {
    TPicture wide = PowerOfTwoPicture(Pattern(640, 480));
    EXPECT_EQ(wide.Width, 512);
    EXPECT_EQ(wide.Height, 256);
    // Largest side 512 at Low: 4 picture pixels per texel, 128 x 64 texels.
    EXPECT_EQ(TextureScaleDivisor(wide.Width, wide.Height, tqLow), 4);

    TPicture square = Pattern(64, 32);
    EXPECT_EQ(PowerOfTwoPicture(square).Pixels, square.Pixels) << "power-of-two pictures are kept as they are";
    EXPECT_EQ(PowerOfTwoPicture(Pattern(2000, 3)).Width, 1024);
    EXPECT_TRUE(PowerOfTwoPicture(TPicture()).Empty());
}

TEST(TextureSizes, QualityTableAndLimits) {
    EXPECT_EQ(TextureScaleDivisor(1024, 1024, tqHigh), 1);
    EXPECT_EQ(TextureScaleDivisor(1024, 1024, tqMedium), 1);
    EXPECT_EQ(TextureScaleDivisor(1024, 1024, tqLow), 2);
    EXPECT_EQ(TextureScaleDivisor(512, 512, tqMedium), 2);
    EXPECT_EQ(TextureScaleDivisor(512, 512, tqLow), 4);
    EXPECT_EQ(TextureScaleDivisor(256, 256, tqMedium), 1);
    EXPECT_EQ(TextureScaleDivisor(256, 64, tqLow), 2);
    EXPECT_EQ(TextureScaleDivisor(64, 64, tqLow), 2);
    EXPECT_EQ(TextureScaleDivisor(16, 512, tqLow), 1) << "narrow pictures are never reduced";
    EXPECT_EQ(TextureScaleDivisor(64, 512, tqLow), 2) << "at least 32 texels across";
    EXPECT_EQ(TextureScaleDivisor(1024, 1, tqLow), 1) << "a one-row picture keeps its row";
    EXPECT_EQ(TextureScaleDivisor(512, 2, tqLow), 2);
}

TEST(TexelLayout, EachColourDepthChoosesItsInternalFormatOverByteTexels) {
    const GLenum rgb = GL_COMPRESSED_RGB_ARB, rgba = GL_COMPRESSED_RGBA_ARB;
    EXPECT_EQ(TexelLayoutFor(tfTexture, cb16bit, false, rgb, rgba).InternalFormat, GL_RGB5);
    EXPECT_EQ(TexelLayoutFor(tfAlpha, cb16bit, false, rgb, rgba).InternalFormat, GL_RGBA4);
    EXPECT_EQ(TexelLayoutFor(tfSprite, cb16bit, false, rgb, rgba).InternalFormat, GL_RGB5_A1);
    EXPECT_EQ(TexelLayoutFor(tfTexture, cb32bit, false, rgb, rgba).InternalFormat, GL_RGB8);
    EXPECT_EQ(TexelLayoutFor(tfSprite, cb32bit, false, rgb, rgba).InternalFormat, GL_RGBA8);
    EXPECT_EQ(TexelLayoutFor(tfTexture, cbCompressed, false, rgb, rgba).InternalFormat, rgb);
    EXPECT_EQ(TexelLayoutFor(tfAlpha, cbCompressed, false, rgb, rgba).InternalFormat, rgba);
    EXPECT_EQ(TexelLayoutFor(tfAlpha, cbCompressed, true, rgb, rgba).InternalFormat, GL_RGBA4)
        << "animated textures are never compressed";

    const TTexelLayout plain = TexelLayoutFor(tfTexture, cb16bit, false, rgb, rgba);
    EXPECT_EQ(plain.PixelFormat, GL_BGR_EXT);
    EXPECT_EQ(plain.PixelType, GL_UNSIGNED_BYTE);
    EXPECT_EQ(plain.BytesPerTexel, 3);
    const TTexelLayout sprite = TexelLayoutFor(tfSprite, cb16bit, false, rgb, rgba);
    EXPECT_EQ(sprite.PixelFormat, GL_BGRA_EXT);
    EXPECT_EQ(sprite.PixelType, GL_UNSIGNED_BYTE) << "16-bit depth still takes a byte per channel";
    EXPECT_EQ(sprite.BytesPerTexel, 4);
}

TEST(PictureTexels, ColourBlocksAndAlphaBrightnessAreAveragedTogether) {
    TPicture colour = Pattern(8, 8);
    TPicture alpha = Flat(8, 8, 30, 60, 90);
    alpha.Row(7)[0] = 0;  // bottom-left pixel: 0 + 60 + 90
    TTexels out(4, 4, 4);
    const TTexelResult result = PictureToTexels(colour, alpha, {tfAlpha, 2, 0, false}, out.Block);
    EXPECT_TRUE(result.Converted);
    // Texel row 0 comes from picture rows 6 and 7; texel (1, 0) from
    // columns 2 and 3: blue 26, 27, 36, 37.
    EXPECT_EQ(out.At(0, 1)[0], (26 + 36 + 27 + 37) >> 2);
    EXPECT_EQ(out.At(0, 1)[2], (192 + 191 + 191 + 190) >> 2);
    EXPECT_EQ(out.At(0, 1)[3], 60);
    EXPECT_EQ(out.At(0, 0)[3], (150 + 3 * 180) / 12);

    // An 8-bit alpha picture is point sampled through its palette.
    TPicture grey;
    grey.SetSize(8, 8, 8);
    grey.Palette[0] = TRGBQuad{90, 90, 90, 0};
    PictureToTexels(colour, grey, {tfAlpha, 2, 0, false}, out.Block);
    EXPECT_EQ(out.At(0, 1)[0], 26) << "point sampled colour too";
    EXPECT_EQ(out.At(0, 1)[3], 90);

    EXPECT_THROW(PictureToTexels(colour, Flat(8, 4, 0, 0, 0), {tfAlpha, 2, 0, false}, out.Block), Exception);
    EXPECT_THROW(PictureToTexels(colour, colour, {tfAlpha, 4, 0, false}, out.Block), Exception)
        << "a 4 x 4 block at divisor 4 needs 16 x 16 pixels";
    EXPECT_THROW(PictureToTexels(colour, colour, {tfTexture, 2, 0, false}, out.Block), Exception)
        << "Texture texels are 3 bytes";
}

TEST(PictureTexels, SpriteKeyFromTheTopLeftPixelAndUnconvertiblePicturesWriteNothing) {
    TPicture picture = Flat(2, 2, 10, 20, 30);
    uint8_t* corner = picture.Row(0);
    corner[0] = 255, corner[1] = 0, corner[2] = 255;
    TTexels out(2, 2, 4);
    const TTexelResult result = PictureToTexels(picture, picture, {tfSprite, 1, 0, true}, out.Block);
    EXPECT_EQ(result.SpriteColor, MakeByteColor(255, 0, 255, 0));
    EXPECT_EQ(out.At(1, 0)[3], 0);
    EXPECT_EQ(out.At(1, 1)[3], 255);
    EXPECT_EQ(out.At(0, 0)[3], 255);

    TPicture broken = Flat(2, 2, 1, 2, 3);
    broken.Pixels.resize(5);
    TTexels untouched(2, 2, 4);
    EXPECT_FALSE(PictureToTexels(broken, broken, {tfSprite, 1, 0, true}, untouched.Block).Converted);
    EXPECT_EQ(untouched.Bytes, std::vector<uint8_t>(16, 0xAA));
    EXPECT_FALSE(PictureToTexels(picture, picture, {tfSprite, 1, 0, true}, TTexelBlock{}).Converted);
}

TEST(ReduceTexelsTest, OddSizesTakeInTheLeftoverRowAndColumn) {
    // 3 x 5, one channel, value = 10 * row + column.
    std::vector<uint8_t> img;
    for (int y = 0; y < 5; ++y)
        for (int x = 0; x < 3; ++x) img.push_back(static_cast<uint8_t>(10 * y + x));
    int w = 0, h = 0;
    ReduceTexels2x2(img.data(), 3, 5, 1, w, h);
    ASSERT_EQ(w, 1);
    ASSERT_EQ(h, 2);
    // Texel 0: columns 0-2 of rows 0-1 (sum 36 over 6); texel 1: rows 2-4 (sum 279 over 9).
    EXPECT_EQ(img[0], 36 / 6);
    EXPECT_EQ(img[1], 279 / 9);
    ReduceTexels2x2(img.data(), w, h, 1, w, h);
    EXPECT_EQ(w, 1);
    EXPECT_EQ(h, 1);
    EXPECT_EQ(img[0], (6 + 31) / 2);
    ReduceTexels2x2(img.data(), w, h, 1, w, h);
    EXPECT_EQ(w, 1) << "1 x 1 stays";
    EXPECT_EQ(img[0], 18);
}

TEST(ReduceTexelsTest, SingleColumnAndMultiChannel) {
    // 1 x 4, two channels.
    std::vector<uint8_t> img{0, 100, 2, 100, 50, 0, 51, 1};
    int w = 0, h = 0;
    ReduceTexels2x2(img.data(), 1, 4, 2, w, h);
    EXPECT_EQ(w, 1);
    EXPECT_EQ(h, 2);
    EXPECT_EQ(img[0], 1);
    EXPECT_EQ(img[1], 100);
    EXPECT_EQ(img[2], 50);
    EXPECT_EQ(img[3], 0);

    // 5 x 2: the last of two new columns covers three old ones.
    std::vector<uint8_t> wide{0, 0, 30, 60, 90, 0, 0, 30, 60, 90};
    ReduceTexels2x2(wide.data(), 5, 2, 1, w, h);
    EXPECT_EQ(w, 2);
    EXPECT_EQ(h, 1);
    EXPECT_EQ(wide[0], 0);
    EXPECT_EQ(wide[1], 60);

    int same = 0;
    ReduceTexels2x2(nullptr, 4, 4, 3, same, h);
    EXPECT_EQ(same, 4) << "nothing to reduce";
}

}  // namespace

TEST(AlphaCells, EachCellKeepsTheLargestAlphaOfItsTexels) {
    // 8 x 4 texels of blue, green, red, alpha into 4 x 2 cells of 2 x 2.
    std::vector<uint8_t> texels(8 * 4 * 4, 255);
    for (size_t i = 3; i < texels.size(); i += 4) texels[i] = 0;
    auto alpha = [&](int x, int y) -> uint8_t& { return texels[static_cast<size_t>((y * 8 + x) * 4 + 3)]; };
    alpha(0, 0) = 90;
    alpha(5, 2) = 200;
    alpha(4, 3) = 120;
    alpha(7, 1) = 30;
    const TAlphaCells cells = MeasureAlphaCells({texels.data(), 8, 4, 4}, 4, 2);
    ASSERT_EQ(cells.Columns, 4);
    ASSERT_EQ(cells.Rows, 2);
    const uint8_t expected[2][4] = {{90, 0, 0, 30}, {0, 0, 200, 0}};
    for (int row = 0; row < 2; ++row)
        for (int column = 0; column < 4; ++column)
            EXPECT_EQ(cells.At(column, row), expected[row][column]) << column << "," << row;
    // A grid finer than the texels stops at one cell a texel; texels
    // without alpha give no cells.
    EXPECT_EQ(MeasureAlphaCells({texels.data(), 8, 4, 4}, 256, 128).Columns, 8);
    EXPECT_TRUE(MeasureAlphaCells({texels.data(), 8, 4, 3}, 4, 2).Empty());
}
