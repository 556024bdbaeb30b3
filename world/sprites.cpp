#include "world/sprites.h"

#include "render/gl_objects.h"
#include "render/gl_table.h"
#include "render/gl_textures.h"
#include "scene/scene_fonts.h"
#include "scene/scene_textures.h"
#include "core/errors.h"
#include "scene/loader.h"

#include <cmath>

namespace {

uint8_t Channel(TByteColor c, int shift) { return static_cast<uint8_t>(c >> shift); }

}  // namespace

// --- TSceneLayer --------------------------------------------------------------

TSceneLayer::TSceneLayer() { SetVisible(true); }

// A layer draws as one item: every child's opaque pass before any blended
// one, rather than child after child.
void TSceneLayer::Render() { TMainItem::Render(); }

// --- TMainSpriteList ----------------------------------------------------------

void TMainSpriteList::ReadProperties(TResourceLoader& loader) {
    TSceneLayer::ReadProperties(loader);
    Position = loader.ReadVector("Position", Position);
    ViewWidth = loader.ReadFloat("ViewWidth", ViewWidth);
    ViewHeight = loader.ReadFloat("ViewHeight", ViewHeight);
    Lighting = loader.ReadBool("Lighting", Lighting);
}

void TMainSpriteList::WriteProperties(TResourceLoader& loader) {
    TSceneLayer::WriteProperties(loader);
    loader.WriteVector("Position", Position);
    loader.WriteFloat("ViewWidth", ViewWidth);
    loader.WriteFloat("ViewHeight", ViewHeight);
    loader.WriteBool("Lighting", Lighting);
}

void TMainSpriteList::Render() {
    if (!Visible()) return;
    if (Lighting)
        gl.Enable(GL_LIGHTING);
    else
        gl.Disable(GL_LIGHTING);
    gl.Disable(GL_CULL_FACE);
    gl.Disable(GL_DEPTH_TEST);
    gl.Disable(GL_FOG);

    gl.MatrixMode(GL_PROJECTION);
    gl.PushMatrix();
    gl.LoadIdentity();
    gl.Ortho(0, ViewWidth, 0, ViewHeight, -100, 100);
    gl.MatrixMode(GL_MODELVIEW);
    gl.PushMatrix();
    gl.LoadIdentity();
    gl.Translatef(Position.x, Position.y, 0);

    TSceneLayer::Render();

    gl.MatrixMode(GL_PROJECTION);
    gl.PopMatrix();
    gl.MatrixMode(GL_MODELVIEW);
    gl.PopMatrix();
    gl.Enable(GL_DEPTH_TEST);
    gl.Enable(GL_CULL_FACE);
}

// --- TSceneSprite -------------------------------------------------------------

void TSceneSprite::ReadProperties(TResourceLoader& loader) {
    TSceneMesh::ReadProperties(loader);
    Texture = dynamic_cast<TSceneTexture*>(loader.ReadReference("Texture", Texture));
    OriginX = loader.ReadInteger("OriginX", OriginX);
    OriginY = loader.ReadInteger("OriginY", OriginY);
    Width = loader.ReadInteger("Width", Width);
    Height = loader.ReadInteger("Height", Height);
    StartU = loader.ReadInteger("StartU", StartU);
    StartV = loader.ReadInteger("StartV", StartV);
    SpriteBuilt = false;
}

void TSceneSprite::WriteProperties(TResourceLoader& loader) {
    TSceneMesh::WriteProperties(loader);
    loader.WriteReference("Texture", Texture);
    loader.WriteInteger("OriginX", OriginX);
    loader.WriteInteger("OriginY", OriginY);
    loader.WriteInteger("Width", Width);
    loader.WriteInteger("Height", Height);
    loader.WriteInteger("StartU", StartU);
    loader.WriteInteger("StartV", StartV);
}

void TSceneSprite::UpdateSpriteMesh() {
    if (!Texture) throw Exception("TSceneSprite.UpdateSpriteMesh error: Texture=nil!");
    FreeGroups();
    Texture->EnsureTexture();
    TMeshGroup* group = AddGroup(0, 0, Texture);
    TGLPrimitive& p = *group->Primitive;

    static constexpr int16_t kIndices[6] = {0, 1, 2, 0, 2, 3};
    p.Mode = GL_TRIANGLES;
    p.Indices.Assign(kIndices, 6);
    const auto x0 = static_cast<float>(OriginX), y0 = static_cast<float>(OriginY);
    const auto x1 = static_cast<float>(int64_t{OriginX} + Width - 1);
    const auto y1 = static_cast<float>(int64_t{OriginY} + Height - 1);
    const float vertices[12] = {x0, y1, 0, x0, y0, 0, x1, y0, 0, x1, y1, 0};
    p.Vertices.Assign(vertices, 4);
    p.ComputeNormals();

    // Texel units of the picture the texture was made from, so that the
    // cut-out stays put when the texture is kept at a reduced size.
    const TGLTexture* glTexture = Texture->GLTexture();
    const int64_t divisor = Texture->ScaleDivisor > 0 ? Texture->ScaleDivisor : 1;
    int64_t tw = glTexture ? int64_t{glTexture->Width()} * divisor - 1 : 0;
    int64_t th = glTexture ? int64_t{glTexture->Height()} * divisor - 1 : 0;
    if (tw <= 0) tw = 1;
    if (th <= 0) th = 1;
    const float sLeft = static_cast<float>(StartU) / static_cast<float>(tw);
    const float tLow = static_cast<float>(th - StartV - Height + 1) / static_cast<float>(th);
    const float sRight = sLeft + static_cast<float>(Width - 1) / static_cast<float>(tw);
    const float tHigh = tLow + static_cast<float>(Height - 1) / static_cast<float>(th);
    const float coords[8] = {sLeft, tHigh, sLeft, tLow, sRight, tLow, sRight, tHigh};
    p.GetTextureCoords(0).Assign(coords, 4);
    SpriteBuilt = true;
}

void TSceneSprite::PrepareDrawing() {
    if (!SpriteBuilt) UpdateSpriteMesh();
    for (const TMeshGroupList* groups : {&OpaqueGroups, &BlendedGroups}) {
        if (groups->Count() == 0) continue;
        TGLColorDArray& colours = groups->Get(0)->Primitive->Colors;
        if (colours.Count() != 1) colours.SetCount(1);
        colours.Set(0, SpriteColor);
    }
}

void TSceneSprite::RenderOpaque() {
    PrepareDrawing();
    TSceneMesh::RenderOpaque();
}

void TSceneSprite::RenderBlended() {
    PrepareDrawing();
    TSceneMesh::RenderBlended();
}

// --- TSceneBaseText -----------------------------------------------------------

TSceneBaseText::TSceneBaseText() {
    Alpha = true;
    SetVisible(true);
}

void TSceneBaseText::ReadProperties(TResourceLoader& loader) {
    TMainSceneObject::ReadProperties(loader);
    Color = loader.ReadByteColor("Color", Color);
    X = loader.ReadInteger("X", X);
    Y = loader.ReadInteger("Y", Y);
    Font = dynamic_cast<TSceneFont*>(loader.ReadReference("Font", Font));
    Enable3D = loader.ReadBool("Enable3D", Enable3D);
}

void TSceneBaseText::WriteProperties(TResourceLoader& loader) {
    TMainSceneObject::WriteProperties(loader);
    loader.WriteByteColor("Color", Color);
    loader.WriteInteger("X", X);
    loader.WriteInteger("Y", Y);
    loader.WriteReference("Font", Font);
    loader.WriteBool("Enable3D", Enable3D);
}

// --- TSceneString -------------------------------------------------------------

void TSceneString::ReadProperties(TResourceLoader& loader) {
    TSceneBaseText::ReadProperties(loader);
    Text = loader.ReadString("Text", Text);
}

void TSceneString::WriteProperties(TResourceLoader& loader) {
    TSceneBaseText::WriteProperties(loader);
    loader.WriteString("Text", Text);
}

void TSceneString::RenderBlended() {
    if (!Font) return;
    Font->BeginDraw();
    Font->Color = Color;
    Font->DrawText(static_cast<float>(X), static_cast<float>(Y), Text);
    Font->EndDraw();
}

void TSceneString::SetTextFont(TMainObject* font) { Font = dynamic_cast<TSceneFont*>(font); }

void TSceneString::SetTextPosition(int32_t x, int32_t y) {
    X = x;
    Y = y;
}

// --- TSceneText ---------------------------------------------------------------

void TSceneText::ReadProperties(TResourceLoader& loader) {
    TSceneBaseText::ReadProperties(loader);
    StringColor = loader.ReadByteColor("StringColor", StringColor);
    StringIndex = loader.ReadInteger("StringIndex", StringIndex);
    Lines.clear();
    for (int i = 1;; ++i) {
        std::string line = loader.ReadString("Text" + std::to_string(i), "");
        if (line.empty()) break;
        Lines.push_back(std::move(line));
    }
}

void TSceneText::WriteProperties(TResourceLoader& loader) {
    TSceneBaseText::WriteProperties(loader);
    loader.WriteByteColor("StringColor", StringColor);
    loader.WriteInteger("StringIndex", StringIndex);
    for (size_t i = 0; i < Lines.size(); ++i) loader.WriteString("Text" + std::to_string(i + 1), Lines[i]);
}

void TSceneText::Animate(float deltaTime) {
    PulsePhase += deltaTime;
    if (PulsePhase > 1) PulsePhase -= std::floor(PulsePhase);
}

TByteColor TSceneText::PulsedColor() const {
    const float p = PulsePhase;
    auto pulse = [p](uint8_t channel) {
        const float c = channel;
        const float v = p < 0.5f ? c * 0.8f + 0.4f * c * p : c - 0.4f * c * (p - 0.5f);
        return static_cast<uint8_t>(static_cast<int>(v));
    };
    return MakeByteColor(pulse(Channel(StringColor, 0)), pulse(Channel(StringColor, 8)),
                         pulse(Channel(StringColor, 16)), Channel(StringColor, 24));
}

void TSceneText::RenderBlended() {
    if (!Font) return;
    Font->BeginDraw();
    int32_t offset = 0;
    const int32_t lineHeight = (Font->FontOptions & foScaled)
                                   ? static_cast<int32_t>(static_cast<float>(Font->LineHeight()) * Font->ScaleY)
                                   : Font->LineHeight();
    for (size_t i = 0; i < Lines.size(); ++i) {
        Font->Color = static_cast<int32_t>(i) == StringIndex ? PulsedColor() : Color;
        Font->DrawText(static_cast<float>(X), static_cast<float>(Y - offset), Lines[i]);
        offset += lineHeight;
    }
    Font->EndDraw();
}
