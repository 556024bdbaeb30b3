#include "render/glyph_atlas.h"

#include "platform/null/font_rasterizer_null.h"

#include <gtest/gtest.h>

#include <cstring>

namespace {

// Coverage texels that are set inside the rectangle (top row first).
int Lit(const TGlyphAtlas& atlas, int x0, int y0, int x1, int y1) {
    int n = 0;
    for (int y = y0; y < y1; ++y)
        for (int x = x0; x < x1; ++x) n += atlas.Coverage[static_cast<size_t>(y) * atlas.Size + x] != 0;
    return n;
}

TEST(GlyphAtlas, EnabledCharactersFillTheirCellsAndGetTheirSizes) {
    platform::NullFontRasterizer rasterizer;  // ascent 12 of 16; glyphs 8 wide, "W" advances 12
    auto face = rasterizer.OpenFace("Arial", platform::FontBold, 16);
    TCharMap cells{};
    auto enable = [&](uint8_t code, uint8_t cell) {
        cells[code].Enabled = 1;
        cells[code].Cell = cell;
    };
    enable('A', 0);
    enable('B', 1);
    enable('\t', 2);  // no glyph
    enable('C', 4);   // beyond the four cells of a 32 x 32 atlas
    TGlyphAtlasLayout layout;
    layout.TextureSize = 32;
    const TGlyphAtlas atlas = BuildGlyphAtlas(face.get(), cells, layout);

    ASSERT_EQ(atlas.Size, 32);
    EXPECT_EQ(atlas.FixedAdvance, 12);
    EXPECT_EQ(Lit(atlas, 0, 0, 8, 12), 8 * 12) << "A: from the cell top down to the baseline";
    EXPECT_EQ(Lit(atlas, 16, 0, 24, 12), 8 * 12) << "B in the second cell";
    EXPECT_EQ(Lit(atlas, 0, 0, 32, 32), 2 * 8 * 12);
    EXPECT_EQ(atlas.Cells['B'].Width, 8);
    EXPECT_EQ(atlas.Cells['B'].Height, 16);
    EXPECT_EQ(atlas.Cells['\t'].Width, 0);
    EXPECT_EQ(atlas.Cells['\t'].Height, 16);
    EXPECT_EQ(atlas.Cells['C'].Width, 8) << "sized even without a cell to draw in";
    EXPECT_EQ(atlas.Cells['D'].Height, 0) << "disabled characters are left alone";

    TCharMap quads = atlas.Cells;
    PlaceCharQuads(quads, 32, 16, false, atlas.FixedAdvance);
    const TCharCell& b = quads['B'];  // top texel row 31, left column 16
    EXPECT_FLOAT_EQ(b.TexCoords[0].x, 16.0f / 32);
    EXPECT_FLOAT_EQ(b.TexCoords[0].y, 31.0f / 32);
    EXPECT_FLOAT_EQ(b.TexCoords[1].y, (31.0f - 16 + 1) / 31);
    EXPECT_FLOAT_EQ(b.TexCoords[2].x, (16.0f + 8 + 2) / 32);
    EXPECT_FLOAT_EQ(b.Vertices[0].y, 16);
    EXPECT_FLOAT_EQ(b.Vertices[2].x, 8);
    EXPECT_FLOAT_EQ(b.Advance, 8);
    PlaceCharQuads(quads, 32, 16, true, atlas.FixedAdvance);
    EXPECT_FLOAT_EQ(quads['B'].Advance, 12);

    const TGlyphAtlas empty = BuildGlyphAtlas(nullptr, cells, layout);
    EXPECT_EQ(Lit(empty, 0, 0, 32, 32), 0);
    EXPECT_EQ(empty.Cells['B'].Width, 0);
    EXPECT_EQ(empty.FixedAdvance, 0);
}

TEST(GlyphAtlas, TexelsAreWhiteCoverageOverTheBackgroundBottomRowFirst) {
    TGlyphAtlas atlas;
    atlas.Size = 2;
    atlas.Coverage = {0, 200, 0, 0};  // top row: background, then a glyph texel
    uint8_t texels[16];
    auto word = [&](int index) {
        uint32_t w;
        std::memcpy(&w, texels + 4 * index, 4);
        return w;
    };
    GlyphAtlasTexels(atlas, 7, GL_UNSIGNED_BYTE, texels);
    EXPECT_EQ(std::vector<uint8_t>(texels + 12, texels + 16), (std::vector<uint8_t>{255, 255, 255, 200}));
    EXPECT_EQ(std::vector<uint8_t>(texels, texels + 4), (std::vector<uint8_t>{0, 0, 0, 7}));
    GlyphAtlasTexels(atlas, 7, GL_UNSIGNED_INT_8_8_8_8, texels);
    EXPECT_EQ(word(3), 0xFFFFFFC8u);
    EXPECT_EQ(word(0), 0x00000007u);
    GlyphAtlasTexels(atlas, 7, GL_UNSIGNED_INT_8_8_8_8_REV, texels);
    EXPECT_EQ(word(3), 0xC8FFFFFFu);
    EXPECT_EQ(word(2), 0x07000000u);
}

TEST(GlyphAtlas, ControlCodesHaveNoGlyphAndTheWesternPageIsMapped) {
    EXPECT_EQ(FontCodeToUnicode(9), 0u);
    EXPECT_EQ(FontCodeToUnicode(0x7F), 0u);
    EXPECT_EQ(FontCodeToUnicode('A'), U'A');
    EXPECT_EQ(FontCodeToUnicode(0x80), 0x20ACu);
    EXPECT_EQ(FontCodeToUnicode(0x81), 0u);
    EXPECT_EQ(FontCodeToUnicode(0xE9), 0xE9u);
}

}  // namespace
