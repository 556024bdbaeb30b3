// The system's font rasteriser: finds an installed face by family and style
// and renders single characters of it to 8-bit coverage bitmaps.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace platform {

// Styles a face is looked up with (underline and strike-out are lines the
// caller draws from the face's metrics).
using FontFaceStyle = uint8_t;
constexpr FontFaceStyle FontBold = 1;
constexpr FontFaceStyle FontItalic = 2;

// Pixel metrics of an opened face at its size, y measured from the baseline.
struct FontFaceMetrics {
    std::string FamilyName;  // the family actually opened
    std::string StyleName;
    int32_t Ascent = 0;              // rows above the baseline
    int32_t Descent = 0;             // rows below it (positive)
    int32_t UnderlinePosition = 0;   // top of the underline, rows below the baseline
    int32_t UnderlineThickness = 1;
    int32_t StrikeOutPosition = 0;   // top of the strike-out line, rows above the baseline
    int32_t StrikeOutThickness = 1;
};

// One rendered character: its advance and a coverage bitmap placed
// relative to the pen position on the baseline.
struct GlyphCoverage {
    int32_t Advance = 0;  // pixels the pen moves after the character
    int32_t Left = 0;     // bitmap's first column, right of the pen
    int32_t Top = 0;      // bitmap's first row, rows above the baseline
    int32_t Width = 0;
    int32_t Height = 0;
    std::vector<uint8_t> Coverage;  // Width x Height, top row first, 0..255
};

class IFontFace {
public:
    virtual ~IFontFace() = default;
    virtual const FontFaceMetrics& Metrics() const = 0;
    // Renders the Unicode character; false (and an empty glyph) when the
    // face cannot render it at all.
    virtual bool RenderGlyph(char32_t character, GlyphCoverage& glyph) = 0;
};

class IFontRasterizer {
public:
    virtual ~IFontRasterizer() = default;
    // The installed face that best matches the family and style, sized so
    // that its line height (ascent + descent) is pixelHeight. A family that
    // is not installed gives the system's closest match; null only when
    // the system has no usable face at all.
    virtual std::unique_ptr<IFontFace> OpenFace(const std::string& family, FontFaceStyle style,
                                                int32_t pixelHeight) = 0;
};

// This OS's rasteriser (FreeType and fontconfig on Linux); lives for the
// whole process.
IFontRasterizer& SystemFontRasterizer();

}  // namespace platform
