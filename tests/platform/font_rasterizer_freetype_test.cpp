// The system's faces through fontconfig and FreeType: whatever fonts the
// machine has, a request always ends in a face that renders.
#include "platform/font_rasterizer.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <numeric>

namespace {

using platform::GlyphCoverage;
using platform::SystemFontRasterizer;

int Ink(const GlyphCoverage& g) { return std::accumulate(g.Coverage.begin(), g.Coverage.end(), 0); }

TEST(FreeTypeFonts, AFamilyThatIsNotInstalledFallsBackToOneThatRenders) {
    auto face = SystemFontRasterizer().OpenFace("No Such Family Anywhere", 0, 32);
    ASSERT_NE(face, nullptr);
    EXPECT_FALSE(face->Metrics().FamilyName.empty());
    GlyphCoverage a;
    ASSERT_TRUE(face->RenderGlyph(U'A', a));
    EXPECT_GT(a.Width, 0);
    EXPECT_GT(Ink(a), 0);
    EXPECT_EQ(a.Coverage.size(), static_cast<size_t>(a.Width) * static_cast<size_t>(a.Height));
}

TEST(FreeTypeFonts, ArialOpensAMetricCompatibleFaceWhenOneIsInstalled) {
    auto face = SystemFontRasterizer().OpenFace("Arial", 0, 32);
    ASSERT_NE(face, nullptr);
    const std::string family = face->Metrics().FamilyName;
    if (family != "Liberation Sans" && family != "Arimo")
        GTEST_SKIP() << "no metric-compatible face installed (got " << family << ")";
    GlyphCoverage w, i;
    ASSERT_TRUE(face->RenderGlyph(U'W', w));
    ASSERT_TRUE(face->RenderGlyph(U'i', i));
    // Advance widths of the metric-compatible faces at 32 px line height
    // (28 px em): "W" 0.944 em, "i" 0.222 em.
    EXPECT_NEAR(w.Advance, 26, 1);
    EXPECT_NEAR(i.Advance, 6, 1);
}

TEST(FreeTypeFonts, TheLineHeightIsTheRequestedPixelHeight) {
    for (int height : {16, 32, 64}) {
        auto face = SystemFontRasterizer().OpenFace("Arial", platform::FontBold, height);
        ASSERT_NE(face, nullptr);
        const auto& m = face->Metrics();
        EXPECT_NEAR(m.Ascent + m.Descent, height, 1) << height;
        EXPECT_GT(m.Ascent, m.Descent);
        EXPECT_GE(m.UnderlineThickness, 1);
        EXPECT_GT(m.StrikeOutPosition, 0);
        EXPECT_LT(m.StrikeOutPosition, m.Ascent);
        // Glyphs stand on the baseline inside the ascent.
        GlyphCoverage h;
        ASSERT_TRUE(face->RenderGlyph(U'H', h));
        EXPECT_LE(h.Top, m.Ascent);
        EXPECT_GE(h.Top - h.Height, -1);
    }
}

TEST(FreeTypeFonts, BoldAndItalicChooseTheFacesStyles) {
    auto regular = SystemFontRasterizer().OpenFace("Arial", 0, 32);
    auto bold = SystemFontRasterizer().OpenFace("Arial", platform::FontBold, 32);
    auto italic = SystemFontRasterizer().OpenFace("Arial", platform::FontItalic, 32);
    ASSERT_TRUE(regular && bold && italic);
    GlyphCoverage r, b;
    ASSERT_TRUE(regular->RenderGlyph(U'l', r));
    ASSERT_TRUE(bold->RenderGlyph(U'l', b));
    // A real or synthetic bold face puts more ink on the page.
    EXPECT_GT(Ink(b), Ink(r));
    const std::string style = italic->Metrics().StyleName;
    const bool slanted = style.find("Italic") != std::string::npos || style.find("Oblique") != std::string::npos;
    GlyphCoverage ri, ii;
    ASSERT_TRUE(regular->RenderGlyph(U'I', ri));
    ASSERT_TRUE(italic->RenderGlyph(U'I', ii));
    // Either the face says so, or the synthetic slant widens the stem.
    EXPECT_TRUE(slanted || ii.Width > ri.Width) << style;
}

TEST(FreeTypeFonts, SpaceHasAnAdvanceButNoInk) {
    auto face = SystemFontRasterizer().OpenFace("Arial", 0, 16);
    ASSERT_NE(face, nullptr);
    GlyphCoverage space;
    ASSERT_TRUE(face->RenderGlyph(U' ', space));
    EXPECT_GT(space.Advance, 0);
    EXPECT_EQ(Ink(space), 0);
}

}  // namespace
