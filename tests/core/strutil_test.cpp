#include "core/strutil.h"

#include "core/errors.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

using str::ParseFloat;
using str::ParseInt;

TEST(ParseInt, DecimalAndHexadecimalForms) {
    EXPECT_EQ(ParseInt("0"), 0);
    EXPECT_EQ(ParseInt("-17"), -17);
    EXPECT_EQ(ParseInt("+17"), 17);
    EXPECT_EQ(ParseInt("007"), 7);
    EXPECT_EQ(ParseInt("0x1f"), 31);
    EXPECT_EQ(ParseInt("0X1F"), 31);
    EXPECT_EQ(ParseInt("$ff"), 255);
    EXPECT_EQ(ParseInt("-$10"), -16);
    EXPECT_EQ(ParseInt("$FFFFFFFF"), -1);
    EXPECT_EQ(ParseInt("$80000000"), INT32_MIN);
}

TEST(ParseInt, RangeLimits) {
    EXPECT_EQ(ParseInt("2147483647"), INT32_MAX);
    EXPECT_EQ(ParseInt("-2147483648"), INT32_MIN);
    EXPECT_EQ(ParseInt("2147483648"), std::nullopt);
    EXPECT_EQ(ParseInt("-2147483649"), std::nullopt);
    EXPECT_EQ(ParseInt("$100000000"), std::nullopt);
    EXPECT_EQ(ParseInt("99999999999999999999999"), std::nullopt);
}

TEST(ParseInt, Rejects) {
    for (const char* bad : {"", "-", "+", "$", "0x", " 1", "1 ", "1a", "0x1g", "$-1", "--1", "+-1", "1.0", "1e3"})
        EXPECT_EQ(ParseInt(bad), std::nullopt) << '"' << bad << '"';
}

TEST(StrToInt, TrimsAndReportsTheText) {
    EXPECT_EQ(str::StrToInt("  42 "), 42);
    try {
        str::StrToInt("4x");
        FAIL();
    } catch (const EConvertError& e) {
        EXPECT_STREQ(e.what(), "'4x' is not a valid integer value");
    }
}

TEST(ParseFloat, DecimalAndExponentForms) {
    EXPECT_EQ(ParseFloat("1.5"), 1.5);
    EXPECT_EQ(ParseFloat(" -0.25 "), -0.25);
    EXPECT_EQ(ParseFloat("+2"), 2.0);
    EXPECT_EQ(ParseFloat(".5"), 0.5);
    EXPECT_EQ(ParseFloat("3."), 3.0);
    EXPECT_EQ(ParseFloat("1e3"), 1000.0);
    EXPECT_EQ(ParseFloat("2.5E-2"), 0.025);
    EXPECT_EQ(ParseFloat("1e+2"), 100.0);
    EXPECT_EQ(ParseFloat("1e-400"), 0.0);
}

TEST(ParseFloat, Rejects) {
    for (const char* bad : {"", "  ", "1;", "inf", "-inf", "nan", "0x10", "1,5", "1 2", "e5", "1e", "--1", "++1", "+-1",
                            "-", "1e400", "1.2.3"})
        EXPECT_EQ(ParseFloat(bad), std::nullopt) << '"' << bad << '"';
}

TEST(FloatToStr, GeneralFormatWithSevenDigits) {
    EXPECT_EQ(str::FloatToStr(6000), "6000");
    EXPECT_EQ(str::FloatToStr(0.5), "0.5");
    EXPECT_EQ(str::FloatToStr(6.38976e-7), "6.38976E-7");
    EXPECT_EQ(str::FloatToStr(12345678), "1.234568E7");
    EXPECT_EQ(str::FloatToStr(1234567), "1234567");
    EXPECT_EQ(str::FloatToStr(-0.0001), "-0.0001");
    EXPECT_EQ(str::FloatToStr(0.00001), "0.00001");
    EXPECT_EQ(str::FloatToStr(0.000001), "1E-6");
    EXPECT_EQ(str::FloatToStr(123.456), "123.456");
    EXPECT_EQ(str::FloatToStr(9999999.6), "1E7");
    EXPECT_EQ(str::FloatToStr(0), "0");
    EXPECT_EQ(str::FloatToStr(-0.0), "0");
    EXPECT_EQ(str::FloatToStr(static_cast<double>(0.1f)), "0.1");
}

TEST(FloatToStr, ReadsBackThroughParseFloat) {
    for (double v : {1.0 / 3, -2.718281828, 6.02214076e23, 1.5e-9, 100.25})
        EXPECT_NEAR(*ParseFloat(str::FloatToStr(v)), v, std::abs(v) * 1e-6) << v;
}

TEST(Text, TrimAndCase) {
    EXPECT_EQ(str::Trim(" \t\r\n a b \x01"), "a b");
    EXPECT_EQ(str::Trim("   "), "");
    EXPECT_EQ(str::UpperCase("aZ_1\xe4"), "AZ_1\xe4");
    EXPECT_EQ(str::LowerCase("AbC"), "abc");
    EXPECT_TRUE(str::SameText("Fishes.GSC", "fishes.gsc"));
    EXPECT_FALSE(str::SameText("fish", "fishes"));
}

TEST(Text, CompareTextOrdersUpperCasedBytesPrefixFirst) {
    EXPECT_EQ(str::CompareText("abc", "ABC"), 0);
    EXPECT_LT(str::CompareText("abc", "ABD"), 0);
    EXPECT_GT(str::CompareText("b", "Abc"), 0);
    EXPECT_LT(str::CompareText("fish", "FISHES"), 0);
    EXPECT_GT(str::CompareText("fishes", "fish"), 0);
    EXPECT_LT(str::CompareText("", "a"), 0);
    // Upper-casing puts letters before "_" (0x5F); lower-casing would not.
    EXPECT_LT(str::CompareText("a", "_"), 0);
    EXPECT_GT(str::CompareText("\xe4", "z"), 0);
}

TEST(Text, Split) {
    std::vector<std::string_view> parts = str::Split("a,,b ,", ',');
    ASSERT_EQ(parts.size(), 4u);
    EXPECT_EQ(parts[1], "");
    EXPECT_EQ(parts[2], "b ");
    EXPECT_EQ(parts[3], "");
    EXPECT_EQ(str::Split("", ',').size(), 1u);
}

TEST(Paths, ExtractAndCombine) {
    EXPECT_EQ(str::ExtractFileName("data\\fish/clown.3dm"), "clown.3dm");
    EXPECT_EQ(str::ExtractFileName("c:clown.3dm"), "clown.3dm");
    EXPECT_EQ(str::ExtractFileName("clown.3dm"), "clown.3dm");
    EXPECT_EQ(str::ExtractFilePath("data\\fish\\clown.3dm"), "data\\fish\\");
    EXPECT_EQ(str::ExtractFilePath("clown.3dm"), "");
    EXPECT_EQ(str::CombinePath("data\\", "clown.3dm"), "data\\clown.3dm");
    EXPECT_EQ(str::CombinePath("data\\", "other\\clown.3dm"), "other\\clown.3dm");
    EXPECT_EQ(str::CombinePath("", "clown.3dm"), "clown.3dm");
}

TEST(Paths, HostPath) {
#ifndef _WIN32
    EXPECT_EQ(str::ToHostPath(".\\data\\a.bmp"), "./data/a.bmp");
#endif
}

TEST(SplitLines, AllLineEndings) {
    using Lines = std::vector<std::string>;
    EXPECT_EQ(str::SplitLines("a\r\nb\nc\rd"), (Lines{"a", "b", "c", "d"}));
    EXPECT_EQ(str::SplitLines("a\n"), (Lines{"a"}));
    EXPECT_EQ(str::SplitLines("a\r\n\r\nb"), (Lines{"a", "", "b"}));
    EXPECT_EQ(str::SplitLines("\n\r"), (Lines{"", ""}));
    EXPECT_EQ(str::SplitLines("\r\n"), (Lines{""}));
    EXPECT_EQ(str::SplitLines(""), Lines{});
    EXPECT_EQ(str::SplitLines("last"), (Lines{"last"}));
}

}  // namespace
