#include "scene/lights.h"

#include "render/gl_objects.h"
#include "render/gl_recorder.h"
#include "core/errors.h"
#include "scene/loader.h"
#include "scene/materials.h"
#include "scene/renderstate.h"
#include "scene/scene_gl.h"

#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <string>
#include <vector>

namespace {

struct TValueCall {
    GLenum A, B;
    std::vector<float> V;
};
std::vector<TValueCall> lightfv, lightModelfv, color4fv;
TGLTable recorded;

void MGL_APIENTRY CaptureLightfv(GLenum light, GLenum pname, const GLfloat* v) {
    lightfv.push_back({light, pname, std::vector<float>(v, v + (pname == GL_SPOT_DIRECTION ? 3 : 4))});
    recorded.Lightfv(light, pname, v);
}
void MGL_APIENTRY CaptureLightModelfv(GLenum pname, const GLfloat* v) {
    lightModelfv.push_back({pname, 0, std::vector<float>(v, v + 4)});
    recorded.LightModelfv(pname, v);
}
void MGL_APIENTRY CaptureColor4fv(const GLfloat* v) {
    color4fv.push_back({0, 0, std::vector<float>(v, v + 4)});
    recorded.Color4fv(v);
}

// The values of the last glLightfv of this light and parameter.
std::vector<float> LightValue(GLenum light, GLenum pname) {
    for (auto it = lightfv.rbegin(); it != lightfv.rend(); ++it)
        if (it->A == light && it->B == pname) return it->V;
    return {};
}

// Last glLightf value of this light and parameter, or -1.
double LightfValue(const TGLRecorder& rec, GLenum light, GLenum pname) {
    double value = -1;
    for (const TGLCall& c : rec.Calls)
        if (std::strcmp(c.Name, "glLightf") == 0 && c.Args[0] == light && c.Args[1] == pname) value = c.Args[2];
    return value;
}

constexpr const char* kGreenLight =
    "Type=TMainLight\nName=Green Light\nProcessOptions=[Render]\nLightStyle=Parallel\nAmbient=1,1,1,1\n"
    "Diffuse=1,1,1,1\nSpecular=1,1,1,1\nPosition=0,0,0\nDirection=-1,-1,-1\nTwoSide=0\nLocalViewer=0\nInfinite=1\n"
    "Enabled=1\n";

class LightTest : public ::testing::Test {
protected:
    LightTest() {
        recorded = gl;
        lightfv.clear();
        lightModelfv.clear();
        color4fv.clear();
        gl.Lightfv = &CaptureLightfv;
        gl.LightModelfv = &CaptureLightModelfv;
        gl.Color4fv = &CaptureColor4fv;
        rec.Integers[GL_MAX_LIGHTS] = 8;
        SharedSceneGLLists().Lights.InitContext();
        SharedSceneGLLists().Materials.InitContext();
        TheRenderState() = TRenderStateCache();
        rec.Clear();
        lightModelfv.clear();
    }
    ~LightTest() override {
        scene.FreeAll();
        SharedSceneGLLists().Lights.DoneContext();
        SharedSceneGLLists().Materials.DoneContext();
        TheRenderState() = TRenderStateCache();
    }

    // A light read from the key lines of one section.
    TMainLight& Load(const std::string& keys, const std::string& name = "L") {
        TResourceLoader loader;
        loader.Scene = &scene;
        loader.OpenText("[" + name + "]\n" + keys);
        loader.Section = name;
        auto created = loader.CreateObject();
        TMainObject* object = scene.Add(std::move(created));
        object->ReadProperties(loader);
        return *dynamic_cast<TMainLight*>(object);
    }

    // A drawn light named `name` with these further keys.
    TMainLight& Light(const std::string& name, const std::string& keys) {
        return Load("Type=TMainLight\nName=" + name + "\nProcessOptions=[Render]\n" + keys, name);
    }

    TGLRecorder rec;
    TMainScene scene;
};

TEST(LightStyleText, ParallelPointIsTestedBeforeParallelAndUnknownIsAmbient) {
    EXPECT_EQ(StrToLightStyle("Parallel"), ltParallel);
    EXPECT_EQ(StrToLightStyle("ParallelPoint"), ltParallelPoint);
    EXPECT_EQ(StrToLightStyle("Point"), ltPoint);
    EXPECT_EQ(StrToLightStyle("Directional"), ltDirectional);
    EXPECT_EQ(StrToLightStyle("Ambient"), ltAmbient);
    EXPECT_EQ(StrToLightStyle(""), ltAmbient);
    EXPECT_EQ(StrToLightStyle("Spot"), ltAmbient);
    EXPECT_EQ(StrToLightStyle("parallel"), ltAmbient) << "words match with case";
    for (uint8_t style = 0; style <= ltAmbient; ++style) EXPECT_EQ(StrToLightStyle(LightStyleToStr(style)), style);
}

TEST_F(LightTest, ScriptLightReachesGLWhenRendered) {
    TMainLight& light = Load(kGreenLight);
    EXPECT_EQ(light.LightStyle(), ltParallel);
    ASSERT_NE(light.GLLight(), nullptr);
    // The keys come after the preset: the script's position wins.
    EXPECT_EQ(light.GLLight()->Position().x, 0);
    EXPECT_EQ(rec.Count("glLightfv"), 0) << "nothing is sent while loading";

    scene.Frame(0.1f);
    EXPECT_TRUE(rec.Has("glEnable", {GL_LIGHT0}));
    EXPECT_EQ(LightValue(GL_LIGHT0, GL_DIFFUSE), (std::vector<float>{1, 1, 1, 1}));
    EXPECT_EQ(LightValue(GL_LIGHT0, GL_SPECULAR), (std::vector<float>{1, 1, 1, 1}));
    // An infinite light is sent as the direction it shines from.
    EXPECT_EQ(LightValue(GL_LIGHT0, GL_POSITION), (std::vector<float>{1, 1, 1, 0}));
    EXPECT_EQ(LightValue(GL_LIGHT0, GL_SPOT_DIRECTION), (std::vector<float>{-1, -1, -1}));
    EXPECT_EQ(LightfValue(rec, GL_LIGHT0, GL_SPOT_CUTOFF), 180);
    EXPECT_TRUE(light.Enabled);
}

TEST_F(LightTest, PresetsOfEachStyle) {
    // Parallel: infinite, placed far along its direction.
    TMainLight& parallel = Light("P", "LightStyle=Parallel\n");
    EXPECT_TRUE(parallel.GLLight()->Infinite());
    EXPECT_FLOAT_EQ(parallel.GLLight()->Position().x, -1e37f);
    EXPECT_FLOAT_EQ(parallel.GLLight()->Position().z, -1e37f);
    EXPECT_EQ(parallel.GLLight()->ConstantAttenuation(), 1);

    TMainLight& parallelPoint = Light("PP", "LightStyle=ParallelPoint\n");
    EXPECT_EQ(parallelPoint.LightStyle(), ltParallelPoint);
    EXPECT_TRUE(parallelPoint.GLLight()->Infinite());
    EXPECT_EQ(parallelPoint.GLLight()->Position().x, 0);

    TMainLight& point = Light("Pt", "LightStyle=Point\nPosition=1,2,3\n");
    EXPECT_FALSE(point.GLLight()->Infinite());
    EXPECT_EQ(point.GLLight()->SpotCutoff(), 180);
    EXPECT_EQ(point.GLLight()->SpotExponent(), 0);

    TMainLight& directional = Light("D", "LightStyle=Directional\nSpotCutoff=30\nSpotExponent=2\n");
    EXPECT_FALSE(directional.GLLight()->Infinite());
    EXPECT_EQ(directional.GLLight()->SpotCutoff(), 30);

    // A key present in the script wins over the preset.
    TMainLight& overridden = Light("O", "LightStyle=Point\nInfinite=1\n");
    EXPECT_TRUE(overridden.GLLight()->Infinite());

    scene.Frame(0.1f);
    // Four GL lights in their own slots (the order of the scene's children).
    const GLenum pointSlot = GL_LIGHT0 + static_cast<GLenum>(point.GLLight()->Slot());
    EXPECT_EQ(LightValue(pointSlot, GL_POSITION), (std::vector<float>{1, 2, 3, 1})) << "a point light is local";
    const GLenum directionalSlot = GL_LIGHT0 + static_cast<GLenum>(directional.GLLight()->Slot());
    EXPECT_EQ(LightfValue(rec, directionalSlot, GL_SPOT_CUTOFF), 30);
    EXPECT_EQ(LightfValue(rec, directionalSlot, GL_SPOT_EXPONENT), 2);
    for (GLenum slot = GL_LIGHT0; slot < GL_LIGHT0 + 5; ++slot) EXPECT_TRUE(rec.Has("glEnable", {double(slot)}));
}

TEST_F(LightTest, AmbientStyleSetsTheLightModelInsteadOfALight) {
    // No LightStyle key: Ambient.
    TMainLight& light = Light("A", "Ambient=0.2,0.3,0.4,1\n");
    EXPECT_EQ(light.LightStyle(), ltAmbient);
    scene.Frame(0.1f);
    EXPECT_EQ(rec.Count("glLightfv"), 0);
    EXPECT_EQ(rec.Count("glEnable"), 1) << rec.Text();  // back-face culling only
    ASSERT_EQ(lightModelfv.size(), 1u);
    EXPECT_EQ(lightModelfv[0].A, static_cast<GLenum>(GL_LIGHT_MODEL_AMBIENT));
    EXPECT_EQ(lightModelfv[0].V, (std::vector<float>{0.2f, 0.3f, 0.4f, 1}));
    const TColor4f c = TheRenderState().CurrentColor;
    EXPECT_EQ(std::vector<float>({c.r, c.g, c.b, c.a}), (std::vector<float>{0.2f, 0.3f, 0.4f, 1}));
}

TEST_F(LightTest, DisabledLightIsSwitchedOffEveryFrameAndLeavesTheColour) {
    TMainLight& light = Load(std::string(kGreenLight) + "Diffuse=0.5,0.5,0.5,1\n");
    scene.Frame(0.1f);
    EXPECT_EQ(TheRenderState().CurrentColor.r, 1) << "the first Diffuse key counts";
    EXPECT_TRUE(rec.Has("glEnable", {GL_LIGHT0}));

    light.GLLight()->SetDiffuse({0.5f, 0.6f, 0.7f, 1});
    light.Enabled = false;
    TheRenderState().CurrentColor = {0.1f, 0.1f, 0.1f, 1};
    rec.Clear();
    scene.Frame(0.1f);
    EXPECT_TRUE(rec.Has("glDisable", {GL_LIGHT0}));
    EXPECT_EQ(rec.Count("glLightfv"), 0);
    EXPECT_EQ(TheRenderState().CurrentColor.r, 0.1f);
    scene.Frame(0.1f);
    EXPECT_FALSE(light.Enabled);

    light.Enabled = true;
    scene.Frame(0.1f);
    EXPECT_FLOAT_EQ(TheRenderState().CurrentColor.g, 0.6f);
}

TEST_F(LightTest, LastEnabledLightTintsTheMaterialColour) {
    Load(kGreenLight, "First");
    Light("Second", "LightStyle=Point\nDiffuse=0,0.5,0,1\n");
    scene.Frame(0.1f);
    EXPECT_TRUE(rec.Has("glEnable", {GL_LIGHT0 + 1}));

    auto material = std::make_unique<TSceneMaterial>();
    material->SetName("M");
    TSceneMaterial* m = scene.Add(std::move(material));
    TGroupMaterial* gm = m->AddGroupMaterial();
    gm->Material->SetDiffuse({1, 1, 1, 0.5f});
    TheRenderState().ApplyGroupMaterial(gm);
    ASSERT_EQ(color4fv.size(), 1u);
    EXPECT_EQ(color4fv[0].V, (std::vector<float>{0, 0.5f, 0, 0.5f}));
}

TEST_F(LightTest, NewStyleMakesANewGLLight) {
    TMainLight& light = Load(kGreenLight);
    scene.Frame(0.1f);
    const int lights = SharedSceneGLLists().Lights.Count();
    light.SetLightStyle(ltPoint);
    EXPECT_TRUE(rec.Has("glDisable", {GL_LIGHT0})) << "the old light goes out";
    EXPECT_EQ(SharedSceneGLLists().Lights.Count(), lights);
    EXPECT_FALSE(light.GLLight()->Infinite());
    EXPECT_EQ(light.GLLight()->Diffuse().r, 1) << "a fresh light";
    const TGLLight* same = light.GLLight();
    light.SetLightStyle(ltPoint);
    EXPECT_EQ(light.GLLight(), same);
    light.SetLightStyle(200);
    EXPECT_EQ(light.LightStyle(), ltAmbient);
}

TEST_F(LightTest, LightOutsideASceneCannotMakeItsGLLight) {
    TMainLight light;
    try {
        light.CreateGLLight();
        FAIL() << "no error";
    } catch (const Exception& e) {
        EXPECT_STREQ(e.what(), "TMainLight.CreateGLLight error: MainScene is nil!");
    }
    EXPECT_THROW(light.Enable(), Exception);
    EXPECT_NO_THROW(light.Disable());
}

TEST_F(LightTest, PropertiesWriteBackAndReadAgain) {
    TMainLight& light = Load("Type=TMainLight\nName=L\nLightStyle=ParallelPoint\nSpotCutoff=45\nEnabled=0\n"
                             "Specular=0.25,0.5,0.75,1\nTwoSide=1\n");
    TResourceLoader writer;
    writer.Scene = &scene;
    writer.CreateForWriting();
    writer.Section = "W";
    light.WriteProperties(writer);
    const TScript& script = *writer.Script();
    EXPECT_EQ(*script.Value("W", "LightStyle"), "ParallelPoint");
    EXPECT_EQ(*script.Value("W", "Enabled"), "0");
    EXPECT_EQ(*script.Value("W", "SpotCutoff"), "45");
    EXPECT_EQ(*script.Value("W", "Specular"), "0.25,0.5,0.75,1");

    TMainLight& copy = Load("Type=TMainLight\nName=Copy\n" + script.Text().substr(script.Text().find('\n') + 1),
                            "Copy");
    EXPECT_EQ(copy.LightStyle(), ltParallelPoint);
    EXPECT_FALSE(copy.Enabled);
    EXPECT_EQ(copy.GLLight()->SpotCutoff(), 45);
    EXPECT_TRUE(copy.GLLight()->TwoSide());
    EXPECT_EQ(copy.GLLight()->Specular().b, 0.75f);
}

}  // namespace
