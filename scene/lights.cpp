#include "scene/lights.h"

#include "render/gl_objects.h"
#include "core/errors.h"
#include "scene/loader.h"
#include "scene/renderstate.h"
#include "scene/scene_gl.h"

// --- TMainRenderState ---------------------------------------------------------

void TMainRenderState::ReadProperties(TResourceLoader& loader) {
    TMainSceneObject::ReadProperties(loader);
    Enabled = loader.ReadBool("Enabled", Enabled);
}

void TMainRenderState::WriteProperties(TResourceLoader& loader) {
    TMainSceneObject::WriteProperties(loader);
    loader.WriteBool("Enabled", Enabled);
}

void TMainRenderState::Enable() { Enabled = true; }

void TMainRenderState::Disable() { Enabled = false; }

// --- light styles -------------------------------------------------------------

std::string LightStyleToStr(uint8_t style) {
    switch (style) {
    case ltParallel: return "Parallel";
    case ltParallelPoint: return "ParallelPoint";
    case ltPoint: return "Point";
    case ltDirectional: return "Directional";
    default: return "Ambient";
    }
}

uint8_t StrToLightStyle(std::string_view text) {
    auto has = [text](std::string_view word) { return text.find(word) != std::string_view::npos; };
    if (has("ParallelPoint")) return ltParallelPoint;
    if (has("Parallel")) return ltParallel;
    if (has("Point")) return ltPoint;
    if (has("Directional")) return ltDirectional;
    return ltAmbient;
}

// --- TMainLight ---------------------------------------------------------------

TMainLight::~TMainLight() { FreeGLLight(); }

void TMainLight::CreateGLLight() {
    if (FGLLight) return;
    if (!MainScene) throw Exception("TMainLight.CreateGLLight error: MainScene is nil!");
    FGLLight = SceneGLLists(MainScene).Lights.Add();
    switch (FLightStyle) {
    case ltParallel: FGLLight->SetParallel(); break;
    case ltParallelPoint: FGLLight->SetParallelPoint(); break;
    case ltPoint: FGLLight->SetPoint(); break;
    case ltDirectional: FGLLight->SetDirectional(); break;
    default: break;
    }
}

void TMainLight::FreeGLLight() {
    TGLLight* light = FGLLight;
    FGLLight = nullptr;
    delete light;  // switches it off and leaves its list on the way
}

void TMainLight::SetLightStyle(uint8_t style) {
    if (style > ltAmbient) style = ltAmbient;
    if (style == FLightStyle) return;
    FLightStyle = style;
    FreeGLLight();
    CreateGLLight();
}

void TMainLight::ReadProperties(TResourceLoader& loader) {
    TMainRenderState::ReadProperties(loader);
    CreateGLLight();
    SetLightStyle(StrToLightStyle(loader.ReadString("LightStyle", "")));
    TGLLight& light = *FGLLight;
    light.SetInfinite(loader.ReadBool("Infinite", light.Infinite()));
    light.SetAmbient(loader.ReadColor("Ambient", light.Ambient()));
    light.SetDiffuse(loader.ReadColor("Diffuse", light.Diffuse()));
    light.SetSpecular(loader.ReadColor("Specular", light.Specular()));
    light.SetPosition(loader.ReadVector("Position", light.Position()));
    light.SetSpotDirection(loader.ReadVector("Direction", light.SpotDirection()));
    light.SetSpotExponent(loader.ReadFloat("SpotExponent", light.SpotExponent()));
    light.SetSpotCutoff(loader.ReadFloat("SpotCutoff", light.SpotCutoff()));
    light.SetConstantAttenuation(loader.ReadFloat("ConstantAttenuation", light.ConstantAttenuation()));
    light.SetLinearAttenuation(loader.ReadFloat("LinearAttenuation", light.LinearAttenuation()));
    light.SetQuadraticAttenuation(loader.ReadFloat("QuadraticAttenuation", light.QuadraticAttenuation()));
    light.SetTwoSide(loader.ReadBool("TwoSide", light.TwoSide()));
    light.SetLocalViewer(loader.ReadBool("LocalViewer", light.LocalViewer()));
}

void TMainLight::WriteProperties(TResourceLoader& loader) {
    TMainRenderState::WriteProperties(loader);
    loader.WriteString("LightStyle", LightStyleToStr(FLightStyle));
    if (!FGLLight) return;
    const TGLLight& light = *FGLLight;
    loader.WriteBool("Infinite", light.Infinite());
    loader.WriteColor("Ambient", light.Ambient());
    loader.WriteColor("Diffuse", light.Diffuse());
    loader.WriteColor("Specular", light.Specular());
    loader.WriteVector("Position", light.Position());
    loader.WriteVector("Direction", light.SpotDirection());
    loader.WriteFloat("SpotExponent", light.SpotExponent());
    loader.WriteFloat("SpotCutoff", light.SpotCutoff());
    loader.WriteFloat("ConstantAttenuation", light.ConstantAttenuation());
    loader.WriteFloat("LinearAttenuation", light.LinearAttenuation());
    loader.WriteFloat("QuadraticAttenuation", light.QuadraticAttenuation());
    loader.WriteBool("TwoSide", light.TwoSide());
    loader.WriteBool("LocalViewer", light.LocalViewer());
}

void TMainLight::Render() {
    if (Enabled)
        Enable();
    else
        Disable();
}

void TMainLight::Enable() {
    CreateGLLight();
    TRenderStateCache& cache = TheRenderState();
    if (FLightStyle == ltAmbient) {
        if (auto* lights = dynamic_cast<TGLLightList*>(FGLLight->Owner())) lights->SetAmbient(FGLLight->Ambient());
        cache.CurrentColor = FGLLight->Ambient();
    } else {
        FGLLight->Enable();
        cache.CurrentColor = FGLLight->Diffuse();
    }
    TMainRenderState::Enable();
}

void TMainLight::Disable() {
    if (FGLLight) FGLLight->Disable();
    TMainRenderState::Disable();
}
