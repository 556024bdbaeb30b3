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

}  // namespace

std::string FontOptionsToStr(TFontOptions options) { return SetToStr(options, kOptionNames); }
TFontOptions StrToFontOptions(std::string_view text) { return StrToSet(text, kOptionNames); }
std::string FontStylesToStr(TFontStyles styles) { return SetToStr(styles, kStyleNames); }
TFontStyles StrToFontStyles(std::string_view text) { return StrToSet(text, kStyleNames); }

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
    platform::IFontRasterizer& rasterizer = Rasterizer ? *Rasterizer : platform::SystemFontRasterizer();
    const platform::FontFaceStyle faceStyle = static_cast<platform::FontFaceStyle>(
        ((FontStyle & fsBold) ? platform::FontBold : 0) | ((FontStyle & fsItalic) ? platform::FontItalic : 0));
    std::unique_ptr<platform::IFontFace> face = rasterizer.OpenFace(FontName, faceStyle, FontCellSize * factor);

    TGlyphAtlasLayout layout;
    layout.TextureSize = TextureSize;
    layout.CellSize = FontCellSize;
    layout.Factor = factor;
    layout.Underline = (FontStyle & fsUnderline) != 0;
    layout.StrikeOut = (FontStyle & fsStrikeOut) != 0;
    const TGlyphAtlas atlas = BuildGlyphAtlas(face.get(), FCharMap, layout);
    FCharMap = atlas.Cells;
    FFixedAdvance = atlas.FixedAdvance;

    if (!FGlyphTexture) AllocGlyphTexture();
    if (FGlyphTexture->BytesPerPixel() != 4 || FGlyphTexture->Width() != TextureSize ||
        FGlyphTexture->Height() != TextureSize || atlas.Size != TextureSize)
        return;
    GlyphAtlasTexels(atlas, AlphaBackground, FGlyphTexture->PixelType(), FGlyphTexture->FrameData());
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
    PlaceCharQuads(FCharMap, TextureSize, FontCellSize, (FontOptions & foFixedSize) != 0, FFixedAdvance);
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
