// Fonts through fontconfig (which face) and FreeType (its glyphs).
#include "platform/font_rasterizer.h"

#include <ft2build.h>
#include FT_FREETYPE_H
#include FT_SYNTHESIS_H
#include FT_TRUETYPE_TABLES_H
#include <fontconfig/fontconfig.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <mutex>

namespace platform {
namespace {

int32_t RoundPixels(double v) { return static_cast<int32_t>(std::lround(v)); }

// What fontconfig chose: a file, a face in it and the synthetic styles to
// apply when the family has no real bold or italic face.
struct FaceChoice {
    std::string File;
    int Index = 0;
    bool Embolden = false;
    bool HasMatrix = false;
    FT_Matrix Matrix{0x10000, 0, 0, 0x10000};
};

class FreeTypeFace final : public IFontFace {
public:
    FreeTypeFace(FT_Face face, const FaceChoice& choice, int32_t pixelHeight) : Face(face), Choice(choice) {
        SetSize(pixelHeight);
        if (Choice.HasMatrix) FT_Set_Transform(Face, &Choice.Matrix, nullptr);
    }
    ~FreeTypeFace() override { FT_Done_Face(Face); }
    FreeTypeFace(const FreeTypeFace&) = delete;
    FreeTypeFace& operator=(const FreeTypeFace&) = delete;

    const FontFaceMetrics& Metrics() const override { return FMetrics; }

    bool RenderGlyph(char32_t character, GlyphCoverage& glyph) override {
        glyph = GlyphCoverage{};
        if (FT_Load_Char(Face, character, FT_LOAD_DEFAULT | FT_LOAD_NO_BITMAP) != 0) return false;
        FT_GlyphSlot slot = Face->glyph;
        if (Choice.Embolden && slot->format == FT_GLYPH_FORMAT_OUTLINE) FT_GlyphSlot_Embolden(slot);
        if (FT_Render_Glyph(slot, FT_RENDER_MODE_NORMAL) != 0) return false;

        glyph.Advance = static_cast<int32_t>((slot->advance.x + 32) >> 6);
        glyph.Left = slot->bitmap_left;
        glyph.Top = slot->bitmap_top;
        const FT_Bitmap& bitmap = slot->bitmap;
        glyph.Width = static_cast<int32_t>(bitmap.width);
        glyph.Height = static_cast<int32_t>(bitmap.rows);
        glyph.Coverage.assign(static_cast<size_t>(glyph.Width) * static_cast<size_t>(glyph.Height), 0);
        for (int32_t y = 0; y < glyph.Height; ++y) {
            const unsigned char* row = bitmap.buffer + static_cast<ptrdiff_t>(y) * bitmap.pitch;
            uint8_t* out = glyph.Coverage.data() + static_cast<size_t>(y) * static_cast<size_t>(glyph.Width);
            for (int32_t x = 0; x < glyph.Width; ++x) {
                if (bitmap.pixel_mode == FT_PIXEL_MODE_MONO)
                    out[x] = (row[x >> 3] & (0x80 >> (x & 7))) ? 255 : 0;
                else if (bitmap.pixel_mode == FT_PIXEL_MODE_GRAY)
                    out[x] = static_cast<uint8_t>(bitmap.num_grays == 256
                                                      ? row[x]
                                                      : row[x] * 255 / std::max<int>(1, bitmap.num_grays - 1));
            }
        }
        return true;
    }

private:
    // The line height of a face is its Windows ascent plus descent where
    // the face says (as the metric-compatible faces are built for), else
    // its horizontal header's.
    void SetSize(int32_t pixelHeight) {
        FMetrics.FamilyName = Face->family_name ? Face->family_name : "";
        FMetrics.StyleName = Face->style_name ? Face->style_name : "";
        pixelHeight = std::max<int32_t>(1, pixelHeight);
        if (!FT_IS_SCALABLE(Face)) {
            if (Face->num_fixed_sizes > 0) FT_Select_Size(Face, 0);
            const FT_Size_Metrics& m = Face->size->metrics;
            FMetrics.Ascent = static_cast<int32_t>(m.ascender >> 6);
            FMetrics.Descent = static_cast<int32_t>(-m.descender >> 6);
            FMetrics.UnderlinePosition = 1;
            FMetrics.StrikeOutPosition = FMetrics.Ascent / 3 + 1;
            return;
        }
        double ascent = Face->ascender, descent = -Face->descender;
        double strikePosition = 0, strikeSize = 0;
        if (auto* os2 = static_cast<TT_OS2*>(FT_Get_Sfnt_Table(Face, FT_SFNT_OS2)); os2 && os2->version != 0xFFFF) {
            if (os2->usWinAscent + os2->usWinDescent > 0) {
                ascent = os2->usWinAscent;
                descent = os2->usWinDescent;
            }
            strikePosition = os2->yStrikeoutPosition;
            strikeSize = os2->yStrikeoutSize;
        }
        const double unitsPerEm = Face->units_per_EM > 0 ? Face->units_per_EM : 2048;
        if (ascent + descent <= 0) {
            ascent = unitsPerEm * 0.9;
            descent = unitsPerEm * 0.2;
        }
        const auto ppem = static_cast<FT_UInt>(
            std::max(1.0, std::floor(pixelHeight * unitsPerEm / (ascent + descent))));
        FT_Set_Pixel_Sizes(Face, 0, ppem);
        const double scale = ppem / unitsPerEm;
        FMetrics.Ascent = RoundPixels(ascent * scale);
        FMetrics.Descent = RoundPixels(descent * scale);

        const int32_t underline = std::max(1, RoundPixels(Face->underline_thickness * scale));
        FMetrics.UnderlineThickness = underline;
        FMetrics.UnderlinePosition =
            std::max(0, RoundPixels(-Face->underline_position * scale - underline / 2.0));
        if (strikeSize <= 0) {
            strikeSize = Face->underline_thickness;
            strikePosition = unitsPerEm * 0.3;
        }
        FMetrics.StrikeOutThickness = std::max(1, RoundPixels(strikeSize * scale));
        FMetrics.StrikeOutPosition = RoundPixels(strikePosition * scale);
    }

    FT_Face Face;
    FaceChoice Choice;
    FontFaceMetrics FMetrics;
};

class FreeTypeRasterizer final : public IFontRasterizer {
public:
    ~FreeTypeRasterizer() override {
        if (Library) FT_Done_FreeType(Library);
        if (Config) FcConfigDestroy(Config);
    }

    std::unique_ptr<IFontFace> OpenFace(const std::string& family, FontFaceStyle style,
                                        int32_t pixelHeight) override {
        std::lock_guard<std::mutex> lock(Mutex);
        if (!Library && FT_Init_FreeType(&Library) != 0) {
            Library = nullptr;
            return nullptr;
        }
        // A configuration of our own, so that nothing of the process-wide
        // one is left to other users of the library.
        if (!Config) Config = FcInitLoadConfigAndFonts();
        if (!Config) return nullptr;
        std::unique_ptr<IFontFace> opened;
        ForEachCandidate(Config, family, style, [&](const FaceChoice& choice) {
            FT_Face face = nullptr;
            if (FT_New_Face(Library, choice.File.c_str(), choice.Index, &face) != 0) return false;
            if (!FT_IS_SCALABLE(face) && face->num_fixed_sizes == 0) {
                FT_Done_Face(face);
                return false;
            }
            opened = std::make_unique<FreeTypeFace>(face, choice, pixelHeight);
            return true;
        });
        return opened;
    }

private:
    // Every installed face in fontconfig's order of preference for the
    // request, best first: a family that is not installed still gives the
    // closest faces, and a file that will not open gives way to the next.
    template <class Try>
    static void ForEachCandidate(FcConfig* config, const std::string& family, FontFaceStyle style, Try&& tryFace) {
        FcPattern* pattern = FcPatternCreate();
        if (!pattern) return;
        if (!family.empty())
            FcPatternAddString(pattern, FC_FAMILY, reinterpret_cast<const FcChar8*>(family.c_str()));
        FcPatternAddInteger(pattern, FC_WEIGHT, (style & FontBold) ? FC_WEIGHT_BOLD : FC_WEIGHT_REGULAR);
        FcPatternAddInteger(pattern, FC_SLANT, (style & FontItalic) ? FC_SLANT_ITALIC : FC_SLANT_ROMAN);
        FcPatternAddBool(pattern, FC_SCALABLE, FcTrue);
        FcConfigSubstitute(config, pattern, FcMatchPattern);
        FcDefaultSubstitute(pattern);

        FcResult result = FcResultNoMatch;
        FcFontSet* set = FcFontSort(config, pattern, FcTrue, nullptr, &result);
        bool done = false;
        for (int i = 0; set && i < set->nfont && !done; ++i) {
            FcPattern* font = FcFontRenderPrepare(config, pattern, set->fonts[i]);
            if (!font) continue;
            FcChar8* file = nullptr;
            if (FcPatternGetString(font, FC_FILE, 0, &file) == FcResultMatch && file) {
                FaceChoice choice;
                choice.File = reinterpret_cast<const char*>(file);
                int index = 0;
                if (FcPatternGetInteger(font, FC_INDEX, 0, &index) == FcResultMatch) choice.Index = index;
                FcBool embolden = FcFalse;
                if (FcPatternGetBool(font, FC_EMBOLDEN, 0, &embolden) == FcResultMatch)
                    choice.Embolden = embolden == FcTrue;
                FcMatrix* matrix = nullptr;
                if (FcPatternGetMatrix(font, FC_MATRIX, 0, &matrix) == FcResultMatch && matrix) {
                    choice.HasMatrix = true;
                    choice.Matrix.xx = static_cast<FT_Fixed>(matrix->xx * 0x10000);
                    choice.Matrix.xy = static_cast<FT_Fixed>(matrix->xy * 0x10000);
                    choice.Matrix.yx = static_cast<FT_Fixed>(matrix->yx * 0x10000);
                    choice.Matrix.yy = static_cast<FT_Fixed>(matrix->yy * 0x10000);
                }
                done = tryFace(choice);
            }
            FcPatternDestroy(font);
        }
        if (set) FcFontSetDestroy(set);
        FcPatternDestroy(pattern);
    }

    std::mutex Mutex;
    FT_Library Library = nullptr;
    FcConfig* Config = nullptr;
};

}  // namespace

IFontRasterizer& SystemFontRasterizer() {
    static FreeTypeRasterizer rasterizer;
    return rasterizer;
}

}  // namespace platform
