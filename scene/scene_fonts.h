// Scene fonts: text drawn as textured quads, one cell of a glyph texture per
// character code. The glyphs come from a system font rendered into a
// texture of the font's own, or from a picture texture whose glyph sizes a
// metrics file gives.
#pragma once

#include "core/vecmath.h"
#include "render/glyph_atlas.h"
#include "scene/objects.h"

#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

namespace platform {
class IFontRasterizer;
}

class TGLPrimitive;
class TGLPrimitiveList;
class TGLTexture;
class TGLTextureList;
class TSceneTexture;

// FontOptions, a set.
using TFontOptions = uint8_t;
constexpr TFontOptions foFixedSize = 1;
constexpr TFontOptions foSoften = 2;
constexpr TFontOptions foBuildFromFont = 4;
constexpr TFontOptions foFixedView = 8;
constexpr TFontOptions foScaled = 16;
constexpr TFontOptions fo3DView = 32;

// FontStyle, a set.
using TFontStyles = uint8_t;
constexpr TFontStyles fsBold = 1;
constexpr TFontStyles fsItalic = 2;
constexpr TFontStyles fsUnderline = 4;
constexpr TFontStyles fsStrikeOut = 8;

// "[FixedSize,Soften]"; reading lower-cases the text and looks for each
// member's name anywhere in it.
std::string FontOptionsToStr(TFontOptions options);
TFontOptions StrToFontOptions(std::string_view text);
std::string FontStylesToStr(TFontStyles styles);
TFontStyles StrToFontStyles(std::string_view text);

// A metrics file's lines: enabled flag, width and height per code.
struct TFontMetricsEntry {
    bool Enabled = false;
    int32_t Width = 0;
    int32_t Height = 0;
};
using TFontMetrics = std::array<TFontMetricsEntry, 256>;

// Reads a metrics text: the first line is skipped, the next 256 lines give
// codes 0..255 three integers each (separated by blanks or tabs). Missing
// lines and numbers read as 0; sizes are kept within 0..MaxMetricsSize.
// False when there is not even a header line.
bool ParseFontMetrics(std::string_view text, TFontMetrics& metrics);
constexpr int32_t MaxMetricsSize = 4096;

class TSceneFont : public TMainSceneObject {
public:
    TSceneFont();
    ~TSceneFont() override;
    std::string_view ClassName() const override { return "TSceneFont"; }

    void WriteProperties(TResourceLoader& loader) override;
    void ReadProperties(TResourceLoader& loader) override;

    // The character map. Disabling clears a character's sizes and cell.
    void SetChars(int first, int last, bool enabled);
    void EnableChar(char c) { EnableCode(static_cast<uint8_t>(c)); }
    void EnableRange(char first, char last) { EnableCodes(static_cast<uint8_t>(first), static_cast<uint8_t>(last)); }
    void EnableCode(int code) { SetChars(code, code, true); }
    void EnableCodes(int first, int last) { SetChars(first, last, true); }
    void EnableString(std::string_view text);
    void DisableAll() { SetChars(0, 255, false); }
    // Numbers the enabled characters 0, 1, ... in code order.
    void Renumber();
    // A copy of the character's record; raises for a code outside 0..255.
    TCharCell GetCharMap(int code) const;

    // Makes the glyph texture (or reads the metrics) and the quads; nothing
    // when built. Raises for a texture or cell size it cannot lay out.
    void Build();
    void FreeGL();
    // 2D projection (unless 3DView), states and texture for DrawText.
    void BeginDraw();
    // Draws the bytes of text left to right from (x, y).
    void DrawText(float x, float y, std::string_view text);
    void EndDraw();

    // The steps of Build.
    void AllocGlyphTexture();
    void RenderGlyphs();
    void ReadMetricsFile();
    // Takes the enabled flags and sizes of a metrics file (sizes kept to
    // one cell) and renumbers.
    void ApplyMetrics(const TFontMetrics& metrics);
    void ComputeCells();

    bool Built() const { return FBuilt; }
    TGLTexture* GlyphTexture() const { return FGlyphTexture; }
    int32_t FixedAdvance() const { return FFixedAdvance; }
    // Line height for text objects: one cell.
    int32_t LineHeight() const { return FontCellSize; }

    int32_t TextureSize = 256;
    int32_t FontCellSize = 16;
    TByteColor Color = 0xFFFFFFFF;
    std::string FontName = "Arial";
    // The metrics file (with the owning list's Path when it has no folder).
    std::string FileName;
    TFontStyles FontStyle = fsBold;
    int32_t ViewWidth = 1024;
    int32_t ViewHeight = 768;
    float ScaleY = 1;
    float ScaleX = 1;
    uint8_t AlphaBackground = 0;
    TFontOptions FontOptions = foBuildFromFont;
    TSceneTexture* Texture = nullptr;
    // Where glyphs are rendered; null for the system's.
    platform::IFontRasterizer* Rasterizer = nullptr;

    // Largest glyph texture side a script may ask for.
    static constexpr int32_t MaxTextureSize = 2048;
    static constexpr size_t MaxMetricsFileSize = 1u << 20;

private:
    TGLTextureList& Textures();
    TGLPrimitiveList& Primitives();
    std::string BasePath() const;
    void CheckLayout() const;

    bool FBuilt = false;
    // In the context's texture list (or ours), which owns it.
    TGLTexture* FGlyphTexture = nullptr;
    TCharMap FCharMap{};
    int32_t FFixedAdvance = 0;
    TGLPrimitive* FPrimitives[2] = {nullptr, nullptr};
    int FCurrentPrimitive = 0;
    // Used while the scene has no GL context object.
    std::unique_ptr<TGLTextureList> FOwnTextures;
};
