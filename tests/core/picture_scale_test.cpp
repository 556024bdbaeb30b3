#include "core/picture_scale.h"

#include "core/errors.h"

#include <gtest/gtest.h>

namespace {

// A 24-bit picture whose blue channel is f(x), green g(y), red constant.
template <class FX, class FY>
TPicture Ramp(int32_t w, int32_t h, FX fx, FY fy) {
    TPicture p;
    p.SetSize(w, h, 24);
    for (int32_t y = 0; y < h; ++y)
        for (int32_t x = 0; x < w; ++x) {
            uint8_t* px = p.Row(y) + 3 * x;
            px[0] = static_cast<uint8_t>(fx(x));
            px[1] = static_cast<uint8_t>(fy(y));
            px[2] = 77;
        }
    return p;
}

TEST(PictureScale, TextureSideIsTheLargestPowerOfTwoNotAboveCappedAt1024) {
    EXPECT_EQ(TextureSide(0), 0);
    EXPECT_EQ(TextureSide(-5), 0);
    EXPECT_EQ(TextureSide(1), 1);
    EXPECT_EQ(TextureSide(3), 2);
    EXPECT_EQ(TextureSide(5), 4);
    EXPECT_EQ(TextureSide(480), 256);
    EXPECT_EQ(TextureSide(640), 512);
    EXPECT_EQ(TextureSide(1024), 1024);
    EXPECT_EQ(TextureSide(2000), 1024);
    EXPECT_EQ(TextureSide(16384), 1024);
    EXPECT_TRUE(IsTextureSide(1));
    EXPECT_TRUE(IsTextureSide(1024));
    EXPECT_FALSE(IsTextureSide(0));
    EXPECT_FALSE(IsTextureSide(2048));
    EXPECT_FALSE(IsTextureSide(96));
}

TEST(PictureScale, ShrinkingAveragesTheAreaEachTargetPixelCovers) {
    // Six columns 0, 30, ..., 150 into four: each target covers 1.5 columns.
    TPicture source = Ramp(6, 1, [](int x) { return 30 * x; }, [](int) { return 0; });
    TPicture out = StretchPicture(source, 4, 1);
    ASSERT_EQ(out.Width, 4);
    ASSERT_EQ(out.BitsPerPixel, 24);
    // (0 + 0.5*30)/1.5, (0.5*30 + 60)/1.5, (90 + 0.5*120)/1.5, (0.5*120 + 150)/1.5
    const int expected[4] = {10, 50, 100, 140};
    for (int x = 0; x < 4; ++x) {
        EXPECT_EQ(out.Row(0)[3 * x], expected[x]) << x;
        EXPECT_EQ(out.Row(0)[3 * x + 2], 77) << "a flat channel stays flat";
    }
}

TEST(PictureScale, ThreeByFiveBecomesTwoByFourWithBothAxesFiltered) {
    TPicture source = Ramp(3, 5, [](int x) { return 90 * x; }, [](int y) { return 50 * y; });
    TPicture out = StretchPicture(source, TextureSide(3), TextureSide(5));
    ASSERT_EQ(out.Width, 2);
    ASSERT_EQ(out.Height, 4);
    // Across: [0,1.5) -> (0 + 0.5*90)/1.5 = 30; [1.5,3) -> (0.5*90 + 180)/1.5 = 150.
    EXPECT_EQ(out.Row(0)[0], 30);
    EXPECT_EQ(out.Row(0)[3], 150);
    // Down: rows cover 1.25 source rows: (0 + 0.25*50)/1.25 = 10, (0.75*50 + 0.5*100)/1.25 = 70,
    // (0.5*100 + 0.75*150)/1.25 = 130, (0.25*150 + 200)/1.25 = 190.
    const int green[4] = {10, 70, 130, 190};
    for (int y = 0; y < 4; ++y) EXPECT_EQ(out.Row(y)[1], green[y]) << y;
}

TEST(PictureScale, WideGradientIsCappedAt1024AndStaysMonotonic) {
    TPicture source = Ramp(2000, 10, [](int x) { return x * 255 / 1999; }, [](int y) { return 25 * y; });
    TPicture out = StretchPicture(source, TextureSide(2000), TextureSide(10));
    ASSERT_EQ(out.Width, 1024);
    ASSERT_EQ(out.Height, 8);
    EXPECT_LE(out.Row(0)[0], 1);
    EXPECT_GE(out.Row(0)[3 * 1023], 254);
    for (int x = 1; x < 1024; ++x) ASSERT_GE(out.Row(3)[3 * x], out.Row(3)[3 * (x - 1)]) << x;
    // The middle of the picture keeps the middle value.
    EXPECT_NEAR(out.Row(5)[3 * 512], 128, 1);
}

TEST(PictureScale, EnlargingInterpolatesBetweenPixelCentres) {
    TPicture source = Ramp(2, 1, [](int x) { return 100 * x; }, [](int) { return 0; });
    TPicture out = StretchPicture(source, 4, 1);
    // Target centres at source 0 (clamped), 0.25, 0.75, 1 (clamped).
    const int expected[4] = {0, 25, 75, 100};
    for (int x = 0; x < 4; ++x) EXPECT_EQ(out.Row(0)[3 * x], expected[x]) << x;
}

TEST(PictureScale, EightBitPicturesAreReadThroughTheirPalette) {
    TPicture source;
    source.SetSize(3, 1, 8);
    source.Palette[1] = TRGBQuad{10, 20, 30, 0};
    source.Palette[2] = TRGBQuad{40, 50, 60, 0};
    source.Row(0)[0] = 1;
    source.Row(0)[1] = 2;
    source.Row(0)[2] = 2;
    // A hand-made palette shorter than an index reads that index as black.
    source.Palette.resize(2);
    TPicture out = StretchPicture(source, 3, 1);
    ASSERT_EQ(out.BitsPerPixel, 24);
    EXPECT_EQ(out.Row(0)[0], 10);
    EXPECT_EQ(out.Row(0)[2], 30);
    EXPECT_EQ(out.Row(0)[3], 0);
}

TEST(PictureScale, EmptyOrInconsistentInput) {
    EXPECT_TRUE(StretchPicture(TPicture(), 4, 4).Empty());
    TPicture source = Ramp(4, 4, [](int) { return 1; }, [](int) { return 1; });
    EXPECT_TRUE(StretchPicture(source, 0, 4).Empty());
    source.Pixels.resize(10);
    EXPECT_THROW(StretchPicture(source, 2, 2), Exception);
    TPicture ok = Ramp(4, 4, [](int) { return 1; }, [](int) { return 1; });
    EXPECT_THROW(StretchPicture(ok, kMaxPictureSide + 1, 1), Exception);
}

}  // namespace
