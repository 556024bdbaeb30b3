// Glyph atlases: the characters of a rasterised face laid out in a grid of
// square cells, one cell per enabled character code, with the size of each
// glyph and the quad that draws it. Plain functions: no GL context.
#pragma once

#include "core/vecmath.h"
#include "render/gl_api.h"

#include <array>
#include <cstdint>
#include <vector>

namespace platform {
class IFontFace;
}

// One character's cell: where its glyph is in the texture and the quad it
// is drawn with.
struct TCharCell {
    int32_t Reserved[2] = {0, 0};
    int32_t Width = 0;   // glyph width in texels
    int32_t Height = 0;  // glyph height in texels
    uint8_t Enabled = 0;
    uint8_t Cell = 0;    // running number among the enabled characters
    TVector2f TexCoords[4];
    TVector3f Vertices[4];
    float Advance = 0;
};
using TCharMap = std::array<TCharCell, 256>;

// Unicode for a character code in the Windows Western code page; 0 for the
// control codes and the page's unassigned codes.
char32_t FontCodeToUnicode(uint8_t code);

struct TGlyphAtlasLayout {
    int32_t TextureSize = 256;  // atlas side in texels
    int32_t CellSize = 16;      // side of one character's cell
    // 2 when the face was opened at twice the cell size: the glyphs are
    // drawn that large and every 2 x 2 block averaged down (softened).
    int32_t Factor = 1;
    bool Underline = false;
    bool StrikeOut = false;
};

struct TGlyphAtlas {
    int32_t Size = 0;
    // Size x Size coverage bytes, top row first.
    std::vector<uint8_t> Coverage;
    // The character map given, with the width and height of every enabled
    // character when there was a face (a character the face cannot render
    // has width 0); without a face it is the map unchanged.
    TCharMap Cells{};
    // Advance of "W", the pen step of fixed-size text; 0 without a face.
    int32_t FixedAdvance = 0;
};

// Renders every enabled character of `cells` with `face` (may be null: an
// empty atlas) into the cell its number gives, row by row from the top
// left; widths are the glyph advances, kept to one cell, heights the face's
// line height. Glyphs, underlines and strike-out lines are clipped to their
// cells; characters beyond the last cell get sizes but draw nothing. The
// layout must have a cell size from 1 to the texture size.
TGlyphAtlas BuildGlyphAtlas(platform::IFontFace* face, const TCharMap& cells, const TGlyphAtlasLayout& layout);

// The atlas as 4-byte texels of the given pixel type (byte channels, or
// GL_UNSIGNED_INT_8_8_8_8 and its reverse), bottom row first: white with
// the coverage as alpha where there is coverage, else black with alpha
// `alphaBackground`. `texels` holds Size x Size texels.
void GlyphAtlasTexels(const TGlyphAtlas& atlas, uint8_t alphaBackground, GLenum pixelType, uint8_t* texels);

// Sets the texture corners, vertices and advance of every record from its
// cell number, width and height, for a square texture of `textureSize`
// cut into cells of `cellSize` (rows counted from the bottom). Each quad is
// one cell high and as wide as its glyph, and takes two more texels across
// in the texture. The advance is the glyph width, or `fixedAdvance` when
// `fixedSize`. Nothing happens for a cell size outside 1 .. textureSize.
void PlaceCharQuads(TCharMap& cells, int32_t textureSize, int32_t cellSize, bool fixedSize, int32_t fixedAdvance);
