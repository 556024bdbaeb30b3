#include "core/vecmath.h"

#include "core/errors.h"

#include <gtest/gtest.h>

#include <climits>
#include <cmath>
#include <limits>
#include <numbers>

namespace {

void ExpectVector(const TVector3f& v, float x, float y, float z, float tolerance = 1e-6f) {
    EXPECT_NEAR(v.x, x, tolerance);
    EXPECT_NEAR(v.y, y, tolerance);
    EXPECT_NEAR(v.z, z, tolerance);
}

void ExpectMatrix(const TMatrix4f& m, const float (&expected)[16]) {
    for (int i = 0; i < 16; ++i) EXPECT_NEAR(m.m[i], expected[i], 1e-6f) << "element " << i;
}

TEST(ByteColor, PackingIsRedInTheLowByte) {
    EXPECT_EQ(MakeByteColor(1, 2, 3, 4), 0x04030201u);
    EXPECT_EQ(SetOpaque(0x10203040u), 0xFF203040u);
    EXPECT_EQ(StripAlpha(0x10203040u), 0x00203040u);
    TColor4f c = ByteColorToColor(MakeByteColor(255, 0, 51, 102));
    EXPECT_FLOAT_EQ(c.r, 1);
    EXPECT_FLOAT_EQ(c.g, 0);
    EXPECT_FLOAT_EQ(c.b, 0.2f);
    EXPECT_FLOAT_EQ(c.a, 0.4f);
    EXPECT_FLOAT_EQ(ByteColorToColor3(MakeByteColor(0, 0, 0, 0)).a, 1);
}

TEST(ByteColor, FloatRoundTripIsExactForEveryByte) {
    // Truncating instead of rounding loses one step on many of these.
    for (int b = 0; b < 256; ++b) {
        const auto u = static_cast<uint8_t>(b);
        TByteColor packed = MakeByteColor(u, u, u, u);
        ASSERT_EQ(ColorToByteColor(ByteColorToColor(packed)), packed) << b;
    }
}

TEST(ByteColor, ComponentsOutsideTheUnitRangeSaturate) {
    EXPECT_EQ(ColorToByteColor(MakeColor(1.5f, -0.2f, 0.5f, 2.0f)), MakeByteColor(255, 0, 128, 255));
}

TEST(Vector, NormalizeUsesExtendedPrecisionAndKeepsZero) {
    ExpectVector(Normalize(MakeVector(3, 0, -4)), 0.6f, 0, -0.8f);
    ExpectVector(Normalize(MakeVector(0, 0, 0)), 0, 0, 0, 0);
    // Squaring 1e-30 underflows a float; the extended length does not.
    ExpectVector(Normalize(MakeVector(1e-30f, 0, 0)), 1, 0, 0);
}

TEST(Vector, NormalizeArrayCopiesZeroVectorsAndWorksInPlace) {
    TVector3f source[2] = {MakeVector(0, 0, 0), MakeVector(0, 5, 0)};
    TVector3f target[2] = {MakeVector(9, 9, 9), MakeVector(9, 9, 9)};
    NormalizeArray(source, target, 2);
    ExpectVector(target[0], 0, 0, 0, 0);
    ExpectVector(target[1], 0, 1, 0);
    NormalizeArray(source, source, 2);
    ExpectVector(source[1], 0, 1, 0);
}

TEST(Vector, MakeOrientationPutsSecondFirst) {
    TOrientation o = MakeOrientation(MakeVector(0, 0, 2), MakeVector(3, 0, 0));
    ExpectVector(o.second, 1, 0, 0);
    ExpectVector(o.first, 0, 0, 1);
    static_assert(sizeof(TOrientation) == 6 * sizeof(float));
}

TEST(Vector, TransformArrayInPlaceUsesRowVectors) {
    TMatrix4f m;
    const float values[16] = {1, 2, 3, 0, 4, 5, 6, 0, 7, 8, 9, 0, 10, 20, 30, 1};
    for (int i = 0; i < 16; ++i) m.m[i] = values[i];
    TVector3f v[2] = {MakeVector(1, 0, 0), MakeVector(1, 1, 1)};
    TransformArray(v, v, 2, m);
    ExpectVector(v[0], 11, 22, 33);
    ExpectVector(v[1], 22, 35, 48);
}

TEST(Vector, RotateZAndLerp) {
    TVector3f v[1] = {MakeVector(1, 2, 5)};
    RotateZArray(v, v, 1, 90);
    ExpectVector(v[0], -2, 1, 5);

    TVector3f a[1] = {MakeVector(0, 10, -4)};
    TVector3f b[1] = {MakeVector(4, 20, 4)};
    TVector3f t[1];
    LerpArray(a, b, t, 0.25f, 1);
    ExpectVector(t[0], 1, 12.5f, -2);
}

TEST(Vector, BoundsGrowToIncludePoints) {
    TBounds3f box;
    BoundsInit(MakeVector(1, 2, 3), box);
    BoundsExtend(MakeVector(-1, 5, 3), box);
    BoundsExtend(MakeVector(0, 0, 4), box);
    TBounds3f expected = MakeBounds(-1, 0, 3, 1, 5, 4);
    EXPECT_EQ(box.minX, expected.minX);
    EXPECT_EQ(box.minY, expected.minY);
    EXPECT_EQ(box.minZ, expected.minZ);
    EXPECT_EQ(box.maxX, expected.maxX);
    EXPECT_EQ(box.maxY, expected.maxY);
    EXPECT_EQ(box.maxZ, expected.maxZ);
}

TEST(Matrix, MultiplyOverMemoryRowsAndMayAlias) {
    TMatrix4f a, b;
    for (int i = 0; i < 16; ++i) {
        a.m[i] = float(i);
        b.m[i] = float(16 + i);
    }
    TMatrix4f product;
    MatrixMultiply(a, b, product);
    EXPECT_EQ(product.m[0], 152);  // 0*16 + 1*20 + 2*24 + 3*28
    EXPECT_EQ(product.m[5], 526);  // 4*17 + 5*21 + 6*25 + 7*29
    EXPECT_EQ(product.m[3], 0 * 19 + 1 * 23 + 2 * 27 + 3 * 31);

    TMatrix4f left = a, right = b;
    MatrixMultiply(left, b, left);
    MatrixMultiply(a, right, right);
    for (int i = 0; i < 16; ++i) {
        EXPECT_EQ(left.m[i], product.m[i]);
        EXPECT_EQ(right.m[i], product.m[i]);
    }
    TMatrix4f same = a;
    MatrixMultiply(IdentityMatrix(), a, same);
    for (int i = 0; i < 16; ++i) EXPECT_EQ(same.m[i], a.m[i]);
}

TEST(Matrix, RotationX270MapsYToMinusZ) {
    TMatrix4f m;
    RotationXMatrix(m, 270);
    TVector3f v[1] = {MakeVector(1, 2, 3)};
    TransformArray(v, v, 1, m);
    ExpectVector(v[0], 1, 3, -2, 1e-5f);

    RotationXMatrix(m, 90);
    const float expected[16] = {1, 0, 0, 0, 0, 0, 1, 0, 0, -1, 0, 0, 0, 0, 0, 1};
    ExpectMatrix(m, expected);
}

TEST(Matrix, LookAtAlongAxes) {
    TMatrix4f m;
    LookAtMatrix(m, MakeVector(3, 0, 0), MakeVector(0, 0, 0), MakeVector(0, 2, 0));
    const float expected[16] = {0, 0, -1, 0, 0, 1, 0, 0, 1, 0, 0, 0, -3, 0, 0, 1};
    ExpectMatrix(m, expected);
}

TEST(Matrix, LookAtDiagonal) {
    TMatrix4f m;
    LookAtMatrix(m, MakeVector(1, 1, 0), MakeVector(0, 0, 0), MakeVector(0, 0, 1));
    const float h = static_cast<float>(std::sqrt(0.5));
    const float expected[16] = {-h, h, 0, 0, 0, 0, 1, 0, h, h, 0, 0, -1, -1, 0, 1};
    ExpectMatrix(m, expected);
}

TEST(Matrix, LookAtDegenerateStaysFinite) {
    TMatrix4f m;
    LookAtMatrix(m, MakeVector(2, 2, 2), MakeVector(2, 2, 2), MakeVector(0, 1, 0));
    for (float f : m.m) EXPECT_TRUE(std::isfinite(f));
    EXPECT_EQ(m.m[12], -2);
    EXPECT_EQ(m.m[15], 1);
}

TEST(Scalar, PowerByRepeatedSquaring) {
    EXPECT_EQ(Power(2, -2), 0.25L);
    EXPECT_EQ(Power(3, 5), 243.0L);
    EXPECT_EQ(Power(-2, 3), -8.0L);
    EXPECT_EQ(Power(0, 0), 1.0L);
    EXPECT_EQ(Power(std::numeric_limits<long double>::quiet_NaN(), 0), 1.0L);
    EXPECT_EQ(Power(2, INT_MIN), 0.0L);
    EXPECT_EQ(Power(1, INT_MIN), 1.0L);
}

TEST(Scalar, RoundingAndTruncation) {
    EXPECT_EQ(Round64(2.5L), 2);
    EXPECT_EQ(Round64(3.5L), 4);
    EXPECT_EQ(Round64(-2.5L), -2);
    EXPECT_EQ(Round64(-2.6L), -3);
    EXPECT_EQ(Round64(2.4999L), 2);
    EXPECT_EQ(Round64(1e30L), INT64_MAX);
    EXPECT_EQ(Round64(-1e30L), INT64_MIN);
    EXPECT_EQ(Round64(std::numeric_limits<long double>::quiet_NaN()), 0);
    EXPECT_EQ(Trunc64(-2.7L), -2);
    EXPECT_EQ(Trunc64(5e9L), 5000000000);
    EXPECT_EQ(TruncInt(3.9f), 3);
    EXPECT_EQ(TruncInt(-3.9f), -3);
    EXPECT_EQ(TruncInt(1e20f), INT32_MAX);
}

TEST(Scalar, AnglesAndTrigonometry) {
    EXPECT_NEAR(static_cast<double>(DegToRad(180)), std::numbers::pi, 1e-15);
    EXPECT_FLOAT_EQ(DegToRadF(90), 1.5707963f);
    EXPECT_FLOAT_EQ(RadToDegF(1), 57.29578f);
    float s = 0, c = 0;
    SinCos(static_cast<float>(std::numbers::pi / 6), s, c);
    EXPECT_NEAR(s, 0.5f, 1e-7f);
    EXPECT_NEAR(c, std::sqrt(3.0f) / 2, 1e-7f);
    EXPECT_NEAR(static_cast<double>(Tan(std::numbers::pi / 4)), 1.0, 1e-15);
}

TEST(Scalar, EaseInOut) {
    EXPECT_FLOAT_EQ(EaseInOut(0.25f), 0.125f);
    EXPECT_FLOAT_EQ(EaseInOut(0.75f), 0.875f);
    EXPECT_FLOAT_EQ(EaseInOut(0.5f), 0.5f);
    EXPECT_FLOAT_EQ(EaseInOut(0), 0);
    EXPECT_FLOAT_EQ(EaseInOut(1), 1);
}

TEST(TextForm, ColorsWithDefaults) {
    EXPECT_EQ(ColorToStr(MakeColor(0.5f, 1, 0.1f, 0)), "0.5,1,0.1,0");
    TColor4f c = StrToColor("0.5");
    EXPECT_EQ(c.r, 0.5f);
    EXPECT_EQ(c.g, 1);
    EXPECT_EQ(c.b, 1);
    EXPECT_EQ(c.a, 1);
    c = StrToColor(" 0.1 , 0.2,0.3 ,0.4, not used");
    EXPECT_EQ(c.r, 0.1f);
    EXPECT_EQ(c.a, 0.4f);
    c = StrToColor("  ");
    EXPECT_EQ(c.r, 1);
    EXPECT_EQ(c.a, 1);
    EXPECT_THROW(StrToColor("0.5,red"), EConvertError);
    EXPECT_THROW(StrToColor("0.5,,1"), EConvertError);
    EXPECT_THROW(StrToColor("1e39"), EConvertError);
}

TEST(TextForm, ByteColors) {
    EXPECT_EQ(ByteColorToStr(MakeByteColor(1, 2, 3, 255)), "1,2,3,255");
    EXPECT_EQ(StrToByteColor("1,2"), MakeByteColor(1, 2, 255, 255));
    EXPECT_EQ(StrToByteColor(" 0, $10 ,0x20, 7"), MakeByteColor(0, 16, 32, 7));
    EXPECT_EQ(StrToByteColor(""), 0xFFFFFFFFu);
    EXPECT_THROW(StrToByteColor("256"), EConvertError);
    EXPECT_THROW(StrToByteColor("1,-1"), EConvertError);
    EXPECT_THROW(StrToByteColor("1.5"), EConvertError);
}

TEST(TextForm, VectorsRoundTrip) {
    TVector3f v = StrToVector("10");
    EXPECT_EQ(v.x, 10);
    EXPECT_EQ(v.y, 0);
    EXPECT_EQ(v.z, 0);

    TVector3f original = MakeVector(6.38976e-7f, -12345678, 0.1f);
    const std::string text = VectorToStr(original);
    EXPECT_EQ(text, "6.38976E-7,-1.234568E7,0.1");
    v = StrToVector(text);
    EXPECT_EQ(v.x, original.x);
    EXPECT_EQ(v.y, -12345680);
    EXPECT_EQ(v.z, original.z);
    EXPECT_THROW(StrToVector("1,2,x"), EConvertError);
    EXPECT_EQ(StrToVector("1,2,3,x").z, 3);
}

}  // namespace
