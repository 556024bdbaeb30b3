// A font rasteriser double with block glyphs: every visible character is a
// solid box from the baseline to the ascent, half the line height wide
// ("W" a little wider); the test can give any character a glyph of its own.
// Families the double does not know fall back to its first one.
#pragma once

#include "platform/font_rasterizer.h"

#include <map>
#include <string>
#include <vector>

namespace platform {

class NullFontRasterizer final : public IFontRasterizer {
public:
    struct Request {
        std::string Family;
        FontFaceStyle Style = 0;
        int32_t PixelHeight = 0;
    };

    std::vector<std::string> Families{"Arial"};
    // Glyphs returned as given, whatever the size.
    std::map<char32_t, GlyphCoverage> Glyphs;
    std::vector<Request> Requests;
    // Characters rendered, in order.
    std::vector<char32_t> Rendered;
    bool NoFaces = false;

    std::unique_ptr<IFontFace> OpenFace(const std::string& family, FontFaceStyle style,
                                        int32_t pixelHeight) override {
        Requests.push_back(Request{family, style, pixelHeight});
        if (NoFaces || Families.empty()) return nullptr;
        std::string chosen = Families.front();
        for (const std::string& f : Families)
            if (f == family) chosen = f;
        return std::make_unique<Face>(*this, chosen, style, pixelHeight);
    }

private:
    class Face final : public IFontFace {
    public:
        Face(NullFontRasterizer& owner, const std::string& family, FontFaceStyle style, int32_t height)
            : Owner(owner), Style(style), Height(height) {
            M.FamilyName = family;
            M.StyleName = (style & FontBold) ? "Bold" : "Regular";
            M.Ascent = height * 3 / 4;
            M.Descent = height - M.Ascent;
            M.UnderlinePosition = 1;
            M.UnderlineThickness = 1;
            M.StrikeOutPosition = M.Ascent / 3;
            M.StrikeOutThickness = 1;
        }
        const FontFaceMetrics& Metrics() const override { return M; }
        bool RenderGlyph(char32_t c, GlyphCoverage& glyph) override {
            Owner.Rendered.push_back(c);
            if (auto it = Owner.Glyphs.find(c); it != Owner.Glyphs.end()) {
                glyph = it->second;
                return true;
            }
            glyph = GlyphCoverage{};
            glyph.Advance = c == U'W' ? Height * 3 / 4 : Height / 2;
            if (c <= U' ') return true;
            glyph.Width = glyph.Advance - 1 + ((Style & FontBold) ? 1 : 0);
            glyph.Height = M.Ascent;
            glyph.Top = M.Ascent;
            glyph.Coverage.assign(static_cast<size_t>(glyph.Width) * static_cast<size_t>(glyph.Height), 255);
            return true;
        }

    private:
        NullFontRasterizer& Owner;
        FontFaceStyle Style;
        int32_t Height;
        FontFaceMetrics M;
    };
};

}  // namespace platform
