#include "render/glyph_atlas.h"

#include "platform/font_rasterizer.h"

#include <algorithm>
#include <cstring>

namespace {

// Writes one texel in the texture's own layout: grey level c (the same in
// red, green and blue) and alpha a.
void PutTexel(uint8_t* p, GLenum type, uint8_t c, uint8_t a) {
    uint32_t word;
    switch (type) {
        case GL_UNSIGNED_INT_8_8_8_8:
            word = (uint32_t{c} << 24) | (uint32_t{c} << 16) | (uint32_t{c} << 8) | a;
            std::memcpy(p, &word, 4);
            return;
        case GL_UNSIGNED_INT_8_8_8_8_REV:
            word = (uint32_t{a} << 24) | (uint32_t{c} << 16) | (uint32_t{c} << 8) | c;
            std::memcpy(p, &word, 4);
            return;
        default:
            p[0] = p[1] = p[2] = c;
            p[3] = a;
    }
}

// A coverage picture of one byte per pixel.
struct TCoveragePicture {
    int Size = 0;
    std::vector<uint8_t> Pixels;

    // Draws the glyph with its pen at (penX, baseline), keeping inside the
    // cell rectangle, so that a glyph larger than its cell cannot reach a
    // neighbour.
    void DrawGlyph(const platform::GlyphCoverage& glyph, int penX, int baseline, int cellX, int cellY, int cellSize) {
        if (glyph.Width <= 0 || glyph.Height <= 0) return;
        if (glyph.Coverage.size() < static_cast<size_t>(glyph.Width) * static_cast<size_t>(glyph.Height)) return;
        const int x0 = penX + glyph.Left, y0 = baseline - glyph.Top;
        const int left = std::max(cellX, x0), right = std::min({cellX + cellSize, x0 + glyph.Width, Size});
        const int top = std::max(cellY, y0), bottom = std::min({cellY + cellSize, y0 + glyph.Height, Size});
        for (int y = top; y < bottom; ++y) {
            const uint8_t* src = glyph.Coverage.data() + static_cast<size_t>(y - y0) * glyph.Width;
            uint8_t* dst = Pixels.data() + static_cast<size_t>(y) * Size;
            for (int x = left; x < right; ++x) dst[x] = std::max(dst[x], src[x - x0]);
        }
    }

    // A solid line of `thickness` rows from row y, clipped to the cell.
    void DrawLine(int x, int width, int y, int thickness, int cellX, int cellY, int cellSize) {
        const int left = std::max(cellX, x), right = std::min({cellX + cellSize, x + width, Size});
        const int top = std::max(cellY, y), bottom = std::min({cellY + cellSize, y + thickness, Size});
        for (int row = top; row < bottom; ++row)
            for (int col = left; col < right; ++col) Pixels[static_cast<size_t>(row) * Size + col] = 255;
    }

    // Averages each 2 x 2 block.
    void HalveSize() {
        const int half = Size / 2;
        std::vector<uint8_t> out(static_cast<size_t>(half) * half);
        for (int y = 0; y < half; ++y)
            for (int x = 0; x < half; ++x) {
                const uint8_t* a = Pixels.data() + static_cast<size_t>(2 * y) * Size + 2 * x;
                const uint8_t* b = a + Size;
                out[static_cast<size_t>(y) * half + x] = static_cast<uint8_t>((a[0] + a[1] + b[0] + b[1]) / 4);
            }
        Pixels = std::move(out);
        Size = half;
    }
};

}  // namespace

char32_t FontCodeToUnicode(uint8_t code) {
    // 0x80..0x9F of the Western code page; 0 where it assigns nothing.
    static constexpr char32_t kHigh[32] = {
        0x20AC, 0,      0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
        0x2039, 0x0152, 0,      0x017D, 0,      0,      0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
        0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0,      0x017E, 0x0178};
    if (code < 0x20 || code == 0x7F) return 0;
    if (code >= 0x80 && code < 0xA0) return kHigh[code - 0x80];
    return code;
}

TGlyphAtlas BuildGlyphAtlas(platform::IFontFace* face, const TCharMap& cells, const TGlyphAtlasLayout& layout) {
    TGlyphAtlas atlas;
    atlas.Cells = cells;
    const int factor = layout.Factor == 2 ? 2 : 1;
    const int cellSize = layout.CellSize * factor;
    const int perRow = layout.CellSize > 0 ? layout.TextureSize / layout.CellSize : 0;

    TCoveragePicture picture;
    picture.Size = std::max(layout.TextureSize, 0) * factor;
    picture.Pixels.assign(static_cast<size_t>(picture.Size) * picture.Size, 0);

    if (face && perRow > 0) {
        const platform::FontFaceMetrics& metrics = face->Metrics();
        platform::GlyphCoverage glyph;
        if (face->RenderGlyph(U'W', glyph)) atlas.FixedAdvance = glyph.Advance / factor;
        const int lineHeight = std::min((metrics.Ascent + metrics.Descent) / factor, layout.CellSize);
        for (int code = 0; code < 256; ++code) {
            TCharCell& cell = atlas.Cells[static_cast<size_t>(code)];
            if (!cell.Enabled) continue;
            cell.Height = lineHeight;
            cell.Width = 0;
            const char32_t character = FontCodeToUnicode(static_cast<uint8_t>(code));
            if (!character || !face->RenderGlyph(character, glyph)) continue;
            // A glyph wider than its cell keeps to the cell.
            cell.Width = std::clamp(glyph.Advance / factor, 0, layout.CellSize);

            const int cellX = (cell.Cell % perRow) * cellSize;
            const int cellY = (cell.Cell / perRow) * cellSize;
            if (cellY >= picture.Size) continue;  // more characters than cells
            const int baseline = cellY + metrics.Ascent;
            picture.DrawGlyph(glyph, cellX, baseline, cellX, cellY, cellSize);
            if (layout.Underline)
                picture.DrawLine(cellX, glyph.Advance, baseline + metrics.UnderlinePosition,
                                 metrics.UnderlineThickness, cellX, cellY, cellSize);
            if (layout.StrikeOut)
                picture.DrawLine(cellX, glyph.Advance, baseline - metrics.StrikeOutPosition,
                                 metrics.StrikeOutThickness, cellX, cellY, cellSize);
        }
    }
    if (factor == 2) picture.HalveSize();
    atlas.Size = picture.Size;
    atlas.Coverage = std::move(picture.Pixels);
    return atlas;
}

void GlyphAtlasTexels(const TGlyphAtlas& atlas, uint8_t alphaBackground, GLenum pixelType, uint8_t* texels) {
    const int size = atlas.Size;
    if (!texels || size <= 0 || atlas.Coverage.size() < static_cast<size_t>(size) * static_cast<size_t>(size)) return;
    uint8_t* dst = texels;
    for (int row = 0; row < size; ++row) {
        const uint8_t* src = atlas.Coverage.data() + static_cast<size_t>(size - 1 - row) * static_cast<size_t>(size);
        for (int x = 0; x < size; ++x, dst += 4) {
            const uint8_t c = src[x];
            if (c != 0)
                PutTexel(dst, pixelType, 255, c);
            else
                PutTexel(dst, pixelType, 0, alphaBackground);
        }
    }
}

void PlaceCharQuads(TCharMap& cells, int32_t textureSize, int32_t cellSize, bool fixedSize, int32_t fixedAdvance) {
    if (cellSize < 1 || cellSize > textureSize) return;
    const int32_t T = textureSize, K = cellSize, perRow = T / K;
    const float t = static_cast<float>(T), t1 = static_cast<float>(T - 1), k = static_cast<float>(K);
    for (TCharCell& cell : cells) {
        const int32_t n = cell.Cell, w = cell.Width, h = cell.Height;
        const int32_t top = T - K * (n / perRow) - 1;
        const int32_t left = (n % perRow) * K;
        const float fw = static_cast<float>(w);
        const float sLeft = static_cast<float>(left) / t;
        const float sRight = static_cast<float>(left + w + 2) / t;
        const float tTop = static_cast<float>(top) / t;
        const float tBottom = static_cast<float>(top - h + 1) / t1;
        cell.Vertices[0] = MakeVector(0, k, 0);
        cell.TexCoords[0] = MakeVector2(sLeft, tTop);
        cell.Vertices[1] = MakeVector(0, 0, 0);
        cell.TexCoords[1] = MakeVector2(sLeft, tBottom);
        cell.Vertices[2] = MakeVector(fw, 0, 0);
        cell.TexCoords[2] = MakeVector2(sRight, tBottom);
        cell.Vertices[3] = MakeVector(fw, k, 0);
        cell.TexCoords[3] = MakeVector2(sRight, tTop);
        cell.Advance = fixedSize ? static_cast<float>(fixedAdvance) : fw;
    }
}
