#include "scene/scene_fonts.h"

#include "platform/font_rasterizer.h"
#include "render/gl_objects.h"
#include "render/gl_table.h"
#include "render/gl_textures.h"
#include "render/opengl.h"
#include "scene/scene_textures.h"
#include "core/errors.h"
#include "scene/loader.h"
#include "scene/renderstate.h"
#include "scene/scene_gl.h"
#include "core/strutil.h"

#include <algorithm>
#include <cstring>
#include <vector>

namespace {

struct TSetMember {
    uint8_t Bit;
    const char* Name;
};

constexpr TSetMember kOptionNames[] = {{foFixedSize, "FixedSize"}, {foSoften, "Soften"},
                                       {foBuildFromFont, "BuildFromFont"}, {foFixedView, "FixedView"},
                                       {foScaled, "Scaled"}, {fo3DView, "3DView"}};
constexpr TSetMember kStyleNames[] = {
    {fsBold, "Bold"}, {fsItalic, "Italic"}, {fsUnderline, "Underline"}, {fsStrikeOut, "StrikeOut"}};

template <size_t N>
std::string SetToStr(uint8_t set, const TSetMember (&members)[N]) {
    std::string text = "[";
    for (const TSetMember& m : members) {
        if (!(set & m.Bit)) continue;
        if (text.size() > 1) text += ",";
        text += m.Name;
    }
    return text + "]";
}

template <size_t N>
uint8_t StrToSet(std::string_view text, const TSetMember (&members)[N]) {
    const std::string lower = str::LowerCase(text);
    uint8_t set = 0;
    for (const TSetMember& m : members)
        if (lower.find(str::LowerCase(m.Name)) != std::string::npos) set |= m.Bit;
    return set;
}

bool IsPowerOfTwo(int32_t v) { return v > 0 && (v & (v - 1)) == 0; }

// Writes one texel of the glyph texture in the texture's own layout:
// grey level c (the same in red, green and blue) and alpha a.
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

// A coverage picture of one byte per pixel (the red channel of the white on
// black glyph picture).
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

std::string FontOptionsToStr(TFontOptions options) { return SetToStr(options, kOptionNames); }
TFontOptions StrToFontOptions(std::string_view text) { return StrToSet(text, kOptionNames); }
std::string FontStylesToStr(TFontStyles styles) { return SetToStr(styles, kStyleNames); }
TFontStyles StrToFontStyles(std::string_view text) { return StrToSet(text, kStyleNames); }

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

bool ParseFontMetrics(std::string_view text, TFontMetrics& metrics) {
    metrics = TFontMetrics{};
    auto nextLine = [&text](std::string_view& line) {
        if (text.empty()) return false;
        size_t end = text.find_first_of("\r\n");
        line = text.substr(0, end);
        if (end == std::string_view::npos) {
            text = {};
        } else {
            // CR LF, LF or CR each end one line.
            size_t skip = (text[end] == '\r' && end + 1 < text.size() && text[end + 1] == '\n') ? 2 : 1;
            text.remove_prefix(end + skip);
        }
        return true;
    };
    std::string_view line;
    if (!nextLine(line)) return false;
    for (TFontMetricsEntry& entry : metrics) {
        if (!nextLine(line)) break;
        int32_t values[3] = {0, 0, 0};
        size_t n = 0;
        size_t pos = 0;
        while (n < 3) {
            pos = line.find_first_not_of(" \t", pos);
            if (pos == std::string_view::npos) break;
            size_t end = line.find_first_of(" \t", pos);
            std::string_view token = line.substr(pos, end == std::string_view::npos ? std::string_view::npos : end - pos);
            values[n++] = str::ParseInt(token).value_or(0);
            if (end == std::string_view::npos) break;
            pos = end;
        }
        entry.Enabled = values[0] != 0;
        entry.Width = std::clamp(values[1], 0, MaxMetricsSize);
        entry.Height = std::clamp(values[2], 0, MaxMetricsSize);
    }
    return true;
}

// --- TSceneFont ---------------------------------------------------------------

TSceneFont::TSceneFont() { SetChars(0, 255, true); }

TSceneFont::~TSceneFont() {
    FreeGL();
    delete FGlyphTexture;
    FGlyphTexture = nullptr;
}

// The context object's texture list, so that its DestroyRC deletes the
// glyph texture's name; without a context the font keeps a list of its own.
TGLTextureList& TSceneFont::Textures() {
    if (TCustomOpenGL* context = SceneOpenGL(MainScene)) return context->Textures();
    if (!FOwnTextures) FOwnTextures = std::make_unique<TGLTextureList>();
    return *FOwnTextures;
}

// Where the scene's meshes take theirs from.
TGLPrimitiveList& TSceneFont::Primitives() { return SceneGLLists(MainScene).Primitives; }

std::string TSceneFont::BasePath() const {
    if (auto* resource = dynamic_cast<const TResource*>(Owner)) return resource->Path;
    return MainScene ? MainScene->Path : std::string();
}

void TSceneFont::ReadProperties(TResourceLoader& loader) {
    TMainSceneObject::ReadProperties(loader);
    Color = loader.ReadByteColor("Color", Color);
    AlphaBackground = static_cast<uint8_t>(loader.ReadInteger("AlphaBackground", AlphaBackground));
    TextureSize = loader.ReadInteger("TextureSize", TextureSize);
    FontCellSize = loader.ReadInteger("FontCellSize", FontCellSize);
    ScaleX = loader.ReadFloat("ScaleX", ScaleX);
    ScaleY = loader.ReadFloat("ScaleY", ScaleY);
    ViewWidth = loader.ReadInteger("ViewWidth", ViewWidth);
    ViewHeight = loader.ReadInteger("ViewHeight", ViewHeight);
    FontName = loader.ReadString("FontName", FontName);
    FileName = loader.ReadFileName("FileName", BasePath(), FileName);
    FontOptions = StrToFontOptions(loader.ReadString("FontOptions", FontOptionsToStr(FontOptions)));
    FontStyle = StrToFontStyles(loader.ReadString("FontStyle", FontStylesToStr(FontStyle)));
    Texture = dynamic_cast<TSceneTexture*>(loader.ReadReference("Texture", Texture));

    DisableAll();
    for (int i = 1;; ++i) {
        std::string c = loader.ReadString("Char" + std::to_string(i), "");
        if (c.empty()) break;
        EnableChar(c[0]);
    }
    for (int i = 1;; ++i) {
        std::string first = loader.ReadString("StartChar" + std::to_string(i), "");
        std::string last = loader.ReadString("EndChar" + std::to_string(i), "");
        if (first.empty() || last.empty()) break;
        EnableRange(first[0], last[0]);
    }
    for (int i = 1;; ++i) {
        int32_t code = loader.ReadInteger("Code" + std::to_string(i), -1);
        if (code == -1) break;
        EnableCode(code);
    }
    for (int i = 1;; ++i) {
        int32_t first = loader.ReadInteger("StartCode" + std::to_string(i), -1);
        int32_t last = loader.ReadInteger("EndCode" + std::to_string(i), -1);
        if (first == -1 || last == -1) break;
        EnableCodes(first, last);
    }
    for (int i = 1;; ++i) {
        std::string s = loader.ReadString("Str" + std::to_string(i), "");
        if (s.empty()) break;
        EnableString(s);
    }
}

void TSceneFont::WriteProperties(TResourceLoader& loader) {
    TMainSceneObject::WriteProperties(loader);
    loader.WriteByteColor("Color", Color);
    loader.WriteInteger("AlphaBackground", AlphaBackground);
    loader.WriteInteger("TextureSize", TextureSize);
    loader.WriteInteger("FontCellSize", FontCellSize);
    loader.WriteFloat("ScaleX", ScaleX);
    loader.WriteFloat("ScaleY", ScaleY);
    loader.WriteInteger("ViewWidth", ViewWidth);
    loader.WriteInteger("ViewHeight", ViewHeight);
    loader.WriteString("FontName", FontName);
    loader.WriteFileName("FileName", BasePath(), FileName);
    loader.WriteString("FontOptions", FontOptionsToStr(FontOptions));
    loader.WriteString("FontStyle", FontStylesToStr(FontStyle));
    loader.WriteReference("Texture", Texture);
}

void TSceneFont::SetChars(int first, int last, bool enabled) {
    first = std::max(first, 0);
    last = std::min(last, 255);
    for (int code = first; code <= last; ++code) {
        TCharCell& cell = FCharMap[static_cast<size_t>(code)];
        cell.Enabled = enabled ? 1 : 0;
        if (!enabled) {
            cell.Reserved[0] = cell.Reserved[1] = 0;
            cell.Width = cell.Height = 0;
            cell.Cell = 0;
        }
    }
    Renumber();
}

void TSceneFont::EnableString(std::string_view text) {
    for (char c : text) FCharMap[static_cast<uint8_t>(c)].Enabled = 1;
    Renumber();
}

void TSceneFont::Renumber() {
    int next = 0;
    for (TCharCell& cell : FCharMap)
        if (cell.Enabled) cell.Cell = static_cast<uint8_t>(next++);
}

TCharCell TSceneFont::GetCharMap(int code) const {
    if (code < 0 || code > 255) throw Exception("TSceneFont.GetCharMap error: Index out of bounds!");
    return FCharMap[static_cast<size_t>(code)];
}

void TSceneFont::CheckLayout() const {
    if (!IsPowerOfTwo(TextureSize) || TextureSize < 2 || TextureSize > MaxTextureSize)
        throw Exception("TSceneFont.Build error: TextureSize must be a power of 2 from 2 to " +
                        std::to_string(MaxTextureSize));
    if (FontCellSize < 1 || FontCellSize > TextureSize)
        throw Exception("TSceneFont.Build error: FontCellSize must be from 1 to TextureSize");
}

void TSceneFont::Build() {
    if (FBuilt) return;
    CheckLayout();
    TGLPrimitiveList& primitives = Primitives();
    for (TGLPrimitive*& p : FPrimitives) {
        if (!p) p = primitives.Add();
        static constexpr int16_t kIndices[6] = {0, 1, 2, 0, 2, 3};
        p->Mode = GL_TRIANGLES;
        p->Indices.Assign(kIndices, 6);
        p->Vertices.SetCount(4);
        p->GetTextureCoords(0).SetCount(4);
    }
    if (FontOptions & foBuildFromFont) {
        AllocGlyphTexture();
        RenderGlyphs();
    } else {
        ReadMetricsFile();
    }
    ComputeCells();
    FBuilt = true;
}

void TSceneFont::AllocGlyphTexture() {
    if (!FGlyphTexture) FGlyphTexture = Textures().CreateRGBA8(0, 0);
    FGlyphTexture->FreePixels();
    FGlyphTexture->SetSize(TextureSize, TextureSize);
    FGlyphTexture->AllocPixels();
}

void TSceneFont::RenderGlyphs() {
    CheckLayout();
    const int factor = (FontOptions & foSoften) ? 2 : 1;
    const int perRow = TextureSize / FontCellSize;
    const int cellSize = FontCellSize * factor;

    TCoveragePicture picture;
    picture.Size = TextureSize * factor;
    picture.Pixels.assign(static_cast<size_t>(picture.Size) * picture.Size, 0);

    platform::IFontRasterizer& rasterizer = Rasterizer ? *Rasterizer : platform::SystemFontRasterizer();
    const platform::FontFaceStyle faceStyle = static_cast<platform::FontFaceStyle>(
        ((FontStyle & fsBold) ? platform::FontBold : 0) | ((FontStyle & fsItalic) ? platform::FontItalic : 0));
    std::unique_ptr<platform::IFontFace> face = rasterizer.OpenFace(FontName, faceStyle, cellSize);

    FFixedAdvance = 0;
    if (face) {
        const platform::FontFaceMetrics& metrics = face->Metrics();
        platform::GlyphCoverage glyph;
        if (face->RenderGlyph(U'W', glyph)) FFixedAdvance = glyph.Advance / factor;
        const int lineHeight = std::min((metrics.Ascent + metrics.Descent) / factor, FontCellSize);
        for (int code = 0; code < 256; ++code) {
            TCharCell& cell = FCharMap[static_cast<size_t>(code)];
            if (!cell.Enabled) continue;
            cell.Height = lineHeight;
            cell.Width = 0;
            const char32_t character = FontCodeToUnicode(static_cast<uint8_t>(code));
            if (!character || !face->RenderGlyph(character, glyph)) continue;
            // A glyph wider than its cell keeps to the cell.
            cell.Width = std::clamp(glyph.Advance / factor, 0, FontCellSize);

            const int cellX = (cell.Cell % perRow) * cellSize;
            const int cellY = (cell.Cell / perRow) * cellSize;
            if (cellY >= picture.Size) continue;  // more characters than cells
            const int baseline = cellY + metrics.Ascent;
            picture.DrawGlyph(glyph, cellX, baseline, cellX, cellY, cellSize);
            if (FontStyle & fsUnderline)
                picture.DrawLine(cellX, glyph.Advance, baseline + metrics.UnderlinePosition,
                                 metrics.UnderlineThickness, cellX, cellY, cellSize);
            if (FontStyle & fsStrikeOut)
                picture.DrawLine(cellX, glyph.Advance, baseline - metrics.StrikeOutPosition,
                                 metrics.StrikeOutThickness, cellX, cellY, cellSize);
        }
    }
    if (factor == 2) picture.HalveSize();

    if (!FGlyphTexture) AllocGlyphTexture();
    const GLenum type = FGlyphTexture->PixelType();
    const int bytes = FGlyphTexture->BytesPerPixel();
    if (bytes != 4 || FGlyphTexture->Width() != TextureSize || FGlyphTexture->Height() != TextureSize) return;
    for (int row = 0; row < TextureSize; ++row) {
        uint8_t* dst = FGlyphTexture->GetScanLine(row);
        const uint8_t* src = picture.Pixels.data() + static_cast<size_t>(TextureSize - 1 - row) * TextureSize;
        for (int x = 0; x < TextureSize; ++x, dst += 4) {
            const uint8_t c = src[x];
            if (c != 0)
                PutTexel(dst, type, 255, c);
            else
                PutTexel(dst, type, 0, AlphaBackground);
        }
    }
}

void TSceneFont::ReadMetricsFile() {
    for (TCharCell& cell : FCharMap) cell.Width = cell.Height = 0;
    std::vector<uint8_t> bytes;
    const bool fromDisk = !(MainScene && (MainScene->LoadSources & lsArchive));
    TFontMetrics metrics;
    if (ReadContentFile(FileName, fromDisk, false, MaxMetricsFileSize, bytes) &&
        ParseFontMetrics(std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size()), metrics))
        ApplyMetrics(metrics);
    FFixedAdvance = FCharMap[static_cast<uint8_t>('W')].Width;
}

void TSceneFont::ApplyMetrics(const TFontMetrics& metrics) {
    for (size_t code = 0; code < 256; ++code) {
        TCharCell& cell = FCharMap[code];
        const TFontMetricsEntry& entry = metrics[code];
        cell.Enabled = entry.Enabled ? 1 : 0;
        // The picture is laid out in cells: nothing reaches past one.
        cell.Width = entry.Enabled ? std::clamp(entry.Width, 0, FontCellSize) : 0;
        cell.Height = entry.Enabled ? std::clamp(entry.Height, 0, FontCellSize) : 0;
        if (!entry.Enabled) cell.Reserved[0] = cell.Reserved[1] = cell.Cell = 0;
    }
    Renumber();
}

void TSceneFont::ComputeCells() {
    CheckLayout();
    const int32_t T = TextureSize, K = FontCellSize, perRow = T / K;
    const float t = static_cast<float>(T), t1 = static_cast<float>(T - 1), k = static_cast<float>(K);
    for (TCharCell& cell : FCharMap) {
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
        cell.Advance = (FontOptions & foFixedSize) ? static_cast<float>(FFixedAdvance) : fw;
    }
}

void TSceneFont::BeginDraw() {
    Build();
    gl.Disable(GL_LIGHTING);
    gl.Disable(GL_CULL_FACE);
    gl.Disable(GL_DEPTH_TEST);
    gl.Disable(GL_FOG);
    gl.Enable(GL_TEXTURE_2D);
    TRenderStateCache& state = TheRenderState();
    if (FGlyphTexture) {
        FGlyphTexture->Use();
        // The cache no longer knows what is bound: its next texture must
        // reach GL.
        state.CurrentTexture = nullptr;
    } else if (Texture) {
        state.BindSceneTexture(Texture);
    }
    state.SetBlending(true);
    if (FontOptions & fo3DView) return;

    int32_t width = ViewWidth, height = ViewHeight;
    if (!(FontOptions & foFixedView)) {
        GLint viewport[4] = {0, 0, 0, 0};
        gl.GetIntegerv(GL_VIEWPORT, viewport);
        if (viewport[2] > 0 && viewport[3] > 0) {
            width = viewport[2];
            height = viewport[3];
        }
    }
    gl.MatrixMode(GL_PROJECTION);
    gl.PushMatrix();
    gl.LoadIdentity();
    gl.Ortho(0, width, 0, height, -100, 100);
    gl.MatrixMode(GL_MODELVIEW);
}

void TSceneFont::DrawText(float x, float y, std::string_view text) {
    Build();
    gl.Disable(GL_LIGHTING);
    const uint8_t rgba[4] = {static_cast<uint8_t>(Color), static_cast<uint8_t>(Color >> 8),
                             static_cast<uint8_t>(Color >> 16), static_cast<uint8_t>(Color >> 24)};
    gl.Color4ubv(rgba);
    gl.PushMatrix();
    gl.LoadIdentity();
    gl.Translatef(x, y, 0);
    if (FontOptions & foScaled) gl.Scalef(ScaleX, ScaleY, 0);
    for (char c : text) {
        const TCharCell& cell = FCharMap[static_cast<uint8_t>(c)];
        FCurrentPrimitive ^= 1;
        TGLPrimitive* p = FPrimitives[FCurrentPrimitive];
        TVector3f* vertices = p->Vertices.Vectors();
        TVector2f* coords = p->GetTextureCoords(0).Coords();
        for (int i = 0; i < 4; ++i) {
            vertices[i] = cell.Vertices[i];
            coords[i] = cell.TexCoords[i];
        }
        p->Render();
        gl.Translatef(cell.Advance, 0, 0);
    }
    gl.PopMatrix();
}

void TSceneFont::EndDraw() {
    if (FontOptions & fo3DView) return;
    gl.MatrixMode(GL_PROJECTION);
    gl.PopMatrix();
    gl.MatrixMode(GL_MODELVIEW);
}

void TSceneFont::FreeGL() {
    if (!FBuilt) return;
    for (TGLPrimitive*& p : FPrimitives) {
        if (p && p->Owner()) p->Owner()->Delete(p);
        p = nullptr;
    }
    if (FGlyphTexture) {
        FGlyphTexture->FreePixels();
        if (gl.DeleteTextures) FGlyphTexture->DeleteName();
    }
    FBuilt = false;
}
