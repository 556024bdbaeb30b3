// Small scene classes the overlay content is built from: the layer (a list
// drawn as one unit), the screen-space sprite list, the sprite (a rectangle
// cut out of a texture) and the text objects drawn with a scene font.
#pragma once

#include "scene/meshes.h"
#include "scene/objects.h"
#include "core/vecmath.h"

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

class TSceneFont;
class TSceneTexture;

// A list drawn as one unit: all children's opaque parts, then (with Alpha)
// all their blended parts.
class TSceneLayer : public TResource {
public:
    TSceneLayer();
    std::string_view ClassName() const override { return "TSceneLayer"; }

    void Render() override;
};

// A layer drawn over the scene in pixels of a ViewWidth x ViewHeight screen,
// y up from the bottom edge, whatever the window's size.
class TMainSpriteList : public TSceneLayer {
public:
    std::string_view ClassName() const override { return "TMainSpriteList"; }

    void WriteProperties(TResourceLoader& loader) override;
    void ReadProperties(TResourceLoader& loader) override;
    void Render() override;

    float ViewWidth = 1024;
    float ViewHeight = 768;
    TVector3f Position{0, 0, 0};
    bool Lighting = false;
};

// A textured rectangle cut out of a texture: Width x Height texels from
// (StartU, StartV), counted from the picture's top-left corner, drawn with
// its lower-left corner at (OriginX, OriginY).
class TSceneSprite : public TSceneMesh {
public:
    std::string_view ClassName() const override { return "TSceneSprite"; }

    void WriteProperties(TResourceLoader& loader) override;
    void ReadProperties(TResourceLoader& loader) override;
    void RenderOpaque() override;
    void RenderBlended() override;

    // Makes the quad on first use after loading; raises without a Texture.
    void UpdateSpriteMesh();

    int32_t Width = 256;
    int32_t Height = 256;
    int32_t OriginX = 0;
    int32_t OriginY = 0;
    int32_t StartU = 0;
    int32_t StartV = 0;
    TSceneTexture* Texture = nullptr;
    bool SpriteBuilt = false;
    TByteColor SpriteColor = 0xFFFFFFFF;

private:
    void PrepareDrawing();
};

// Text at a pixel position, drawn in the blended pass with a scene font.
class TSceneBaseText : public TMainSceneObject {
public:
    TSceneBaseText();
    std::string_view ClassName() const override { return "TSceneBaseText"; }

    void WriteProperties(TResourceLoader& loader) override;
    void ReadProperties(TResourceLoader& loader) override;

    int32_t X = 0;
    int32_t Y = 0;
    TByteColor Color = 0xFFFFFFFF;
    TSceneFont* Font = nullptr;
    // Kept with the script; nothing draws with it.
    bool Enable3D = false;
};

// One line of text.
class TSceneString : public TSceneBaseText, public ITextLine {
public:
    std::string_view ClassName() const override { return "TSceneString"; }

    void WriteProperties(TResourceLoader& loader) override;
    void ReadProperties(TResourceLoader& loader) override;
    void RenderBlended() override;

    void SetTextFont(TMainObject* font) override;
    void SetTextPosition(int32_t x, int32_t y) override;
    void SetText(std::string_view text) override { Text.assign(text); }

    std::string Text;
};

// Lines of text, one of them highlighted with a pulsing colour.
class TSceneText : public TSceneBaseText {
public:
    std::string_view ClassName() const override { return "TSceneText"; }

    void WriteProperties(TResourceLoader& loader) override;
    void ReadProperties(TResourceLoader& loader) override;
    void Animate(float deltaTime) override;
    void RenderBlended() override;

    // The colour line StringIndex is drawn with at the current phase.
    TByteColor PulsedColor() const;

    std::vector<std::string> Lines;
    int32_t StringIndex = -1;
    TByteColor StringColor = 0xFFFFFFFF;
    float PulsePhase = 0;
};
