// Render states switched on or off every frame, and the scene light that
// drives one GL light and tints what is drawn after it.
#pragma once

#include "scene/objects.h"

#include <cstdint>
#include <string>
#include <string_view>

class TGLLight;

class TMainRenderState : public TMainSceneObject {
public:
    std::string_view ClassName() const override { return "TMainRenderState"; }

    void WriteProperties(TResourceLoader& loader) override;
    void ReadProperties(TResourceLoader& loader) override;
    virtual void Enable();
    virtual void Disable();

    bool Enabled = true;
};

enum TLightStyle : uint8_t {
    ltParallel = 0,
    ltParallelPoint = 1,
    ltPoint = 2,
    ltDirectional = 3,
    ltAmbient = 4,
};

// "Parallel" ... "Ambient"; reading tests "ParallelPoint" before "Parallel"
// and gives Ambient for any text it does not know.
std::string LightStyleToStr(uint8_t style);
uint8_t StrToLightStyle(std::string_view text);

class TMainLight : public TMainRenderState {
public:
    // Frees the GL light.
    ~TMainLight() override;
    std::string_view ClassName() const override { return "TMainLight"; }

    void WriteProperties(TResourceLoader& loader) override;
    // Creates the GL light and applies the style's preset before the other
    // keys, so that every key in the script wins over the preset.
    void ReadProperties(TResourceLoader& loader) override;
    // Enable or Disable, by Enabled.
    void Render() override;
    // Switches the GL light on (or, for Ambient, sets the light model's
    // ambient colour) and passes its colour on to the render-state cache.
    void Enable() override;
    void Disable() override;

    // Takes a GL light from the scene's light list with the style's preset;
    // nothing when there is one.
    void CreateGLLight();
    void FreeGLLight();
    TGLLight* GLLight() const { return FGLLight; }

    uint8_t LightStyle() const { return FLightStyle; }
    // A new style makes a new GL light with the new preset.
    void SetLightStyle(uint8_t style);

private:
    TGLLight* FGLLight = nullptr;  // owned; lives in the context's light list
    uint8_t FLightStyle = ltParallel;
};
