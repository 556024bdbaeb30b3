// GDI's faces and glyphs as the scene fonts use them.
#include <gtest/gtest.h>

#include <algorithm>

#include "platform/font_rasterizer.h"

namespace {

int Max(const platform::GlyphCoverage& g) {
    return g.Coverage.empty() ? 0 : *std::max_element(g.Coverage.begin(), g.Coverage.end());
}

TEST(FontRasterizerGdi, FacesHaveTheirLineHeightAndRenderGlyphs) {
    auto& rasterizer = platform::SystemFontRasterizer();
    auto face = rasterizer.OpenFace("Arial", 0, 40);
    ASSERT_TRUE(face);
    const auto& m = face->Metrics();
    EXPECT_FALSE(m.FamilyName.empty());
    EXPECT_NEAR(m.Ascent + m.Descent, 40, 1) << "the rounding of ascent and descent";
    EXPECT_GT(m.Ascent, m.Descent);
    EXPECT_GE(m.UnderlineThickness, 1);
    EXPECT_GT(m.StrikeOutPosition, 0);
    EXPECT_LT(m.StrikeOutPosition, m.Ascent);

    platform::GlyphCoverage w, i, space;
    ASSERT_TRUE(face->RenderGlyph(U'W', w));
    ASSERT_TRUE(face->RenderGlyph(U'i', i));
    ASSERT_TRUE(face->RenderGlyph(U' ', space));
    EXPECT_GT(w.Advance, i.Advance);
    EXPECT_GT(space.Advance, 0);
    EXPECT_EQ(Max(space), 0);
    ASSERT_EQ(w.Coverage.size(), static_cast<size_t>(w.Width * w.Height));
    EXPECT_EQ(Max(w), 255) << "full coverage inside the strokes";
    EXPECT_GT(w.Top, m.Ascent / 2) << "a capital stands on the baseline";
    EXPECT_LE(w.Top, m.Ascent);
    EXPECT_LT(w.Width, 40);

    // Partly covered edge pixels: anti-aliased, not black and white.
    const bool grey = std::any_of(w.Coverage.begin(), w.Coverage.end(), [](uint8_t c) { return c > 0 && c < 255; });
    EXPECT_TRUE(grey);
}

TEST(FontRasterizerGdi, AMissingFamilyGivesTheClosestFace) {
    auto face = platform::SystemFontRasterizer().OpenFace("No Such Family Anywhere", platform::FontBold, 24);
    ASSERT_TRUE(face);
    EXPECT_NEAR(face->Metrics().Ascent + face->Metrics().Descent, 24, 1);
    platform::GlyphCoverage a;
    EXPECT_TRUE(face->RenderGlyph(U'a', a));
    EXPECT_GT(a.Advance, 0);
    EXPECT_FALSE(face->RenderGlyph(U'\U0001F41F', a)) << "beyond one UTF-16 unit";
}

}  // namespace
