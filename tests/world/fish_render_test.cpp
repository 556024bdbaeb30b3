#include "world/fish_render.h"

#include "app/startup.h"
#include "platform/null/gl_context_null.h"
#include "platform/null/gl_library_null.h"
#include "render/gl_recorder.h"
#include "render/gl_textures.h"
#include "render/opengl.h"
#include "scene/scene_textures.h"
#include "core/archive.h"
#include "scene/meshes.h"
#include "core/errors.h"
#include "scene/loader.h"
#include "scene/memory_scene_host.h"
#include "scene/registry.h"
#include "scene/renderstate.h"
#include "world/caustic.h"
#include "world/fishes.h"
#include "world/random.h"
#include "world/world_classes.h"
#include "test_support.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

namespace {

// A visual that only says which passes it was asked for.
class TProbeVisual : public TMainObject {
public:
    TProbeVisual() { Alpha = true; }
    void RenderOpaque() override { ++Opaque; }
    void RenderBlended() override { ++Blended; }
    int Opaque = 0, Blended = 0;
};

// The eye planes given to glTexGenfv, which the recorder logs only as a pointer.
std::vector<std::vector<float>> planes;
TGLTable recorded;
void MGL_APIENTRY CaptureTexGenfv(GLenum coord, GLenum pname, const GLfloat* v) {
    planes.emplace_back(v, v + 4);
    recorded.TexGenfv(coord, pname, v);
}

class RenderWorld : public ::testing::Test {
protected:
    RenderWorld() {
        recorded = gl;
        gl.TexGenfv = &CaptureTexGenfv;
        planes.clear();
        TheRenderState() = TRenderStateCache();
        scene.Application = &host;
        auto textures = std::make_unique<TSceneTextureList>();
        textures->SetName("Textures");
        auto map = std::make_unique<TSceneTexture>();
        map->SetName("caustfish.jpg");
        lightMap = scene.Add(std::move(textures))->Add(std::move(map));
        auto render = std::make_unique<TFishRender>();
        render->SetName("SaltWater");
        renderer = scene.Add(std::move(render));
        SetRandomSeed(0);
    }
    ~RenderWorld() override {
        scene.FreeAll();
        TheRenderState() = TRenderStateCache();
    }

    TFishes& School(const std::string& name, TFishType type = ftFish) {
        auto school = std::make_unique<TFishes>();
        school->SetName(name);
        school->FishType = type;
        school->MaxCount = 100;
        school->Visual = &probe;
        return *renderer->Add(std::move(school));
    }
    // A fish of the school, its path at the given depth and height.
    TFish& Fish(TFishes& school, float pathDepth, float y) {
        school.SetParticleCount(school.ParticleCount() + 1);
        auto& fish = *dynamic_cast<TFish*>(school.GetItem(school.ParticleCount() - 1));
        fish.PathDepth = pathDepth;
        fish.Position = {0, y, pathDepth};
        return fish;
    }
    int HeldSlots() const {
        int n = 0;
        for (TFish* f : renderer->DepthSlots) n += f != nullptr;
        return n;
    }

    TGLRecorder rec;
    TProbeVisual probe;
    platform::NullGLLibrary library;
    platform::NullGLContext binding;
    TCustomOpenGL ogl{library, binding};
    TMemorySceneHost host{&ogl};
    TMainScene scene;
    TSceneTexture* lightMap;
    TFishRender* renderer;
};

// --- the slot table ------------------------------------------------------------------------------

TEST_F(RenderWorld, DefaultTableHasAThousandAndOneSlots) {
    EXPECT_EQ(renderer->SlotCount(), 1001);
    EXPECT_EQ(renderer->NeighbourSlots, 18);
    EXPECT_EQ(renderer->SlotOf(0), 0);
    EXPECT_EQ(renderer->SlotOf(-2005), 200);
    EXPECT_EQ(renderer->SlotOf(-9999), 999);
    EXPECT_EQ(renderer->SlotOf(-10000), 1000);
    EXPECT_EQ(renderer->SlotOf(-25000), 1000) << "beyond the range: the last slot";
    EXPECT_EQ(renderer->SlotOf(NAN), 1000);

    renderer->StepZ = 20;
    renderer->Init();
    EXPECT_EQ(renderer->SlotCount(), 501);
    EXPECT_EQ(renderer->NeighbourSlots, 9 + 1);  // 350/20 = 17.5 rounds to 18 (even)
}

TEST_F(RenderWorld, AZeroOrUnusableStepIsALoadError) {
    renderer->StepZ = 0;
    try {
        renderer->Init();
        FAIL() << "no error";
    } catch (const Exception& e) {
        EXPECT_STREQ(e.what(), "TFishRender.Init error: StepZ=0!");
    }
    for (float step : {-10.0f, 1e-9f, NAN}) {
        renderer->StepZ = step;
        EXPECT_THROW(renderer->Init(), Exception) << step;
        EXPECT_EQ(renderer->SlotCount(), 1001) << "the table is left as it was";
    }
}

TEST_F(RenderWorld, SlotsKeepFishApartInDepthAndHeight) {
    TFishes& school = School("Tang");
    TFishes& other = School("Clown");
    TFish& a = Fish(school, -2000, 0);
    ASSERT_TRUE(renderer->ReserveSlot(school, a));
    EXPECT_EQ(a.DepthSlot, 200);
    EXPECT_EQ(renderer->SlotFish(200), &a);

    // The same slot: refused, whatever the height.
    TFish& b = Fish(other, -2005, 3000);
    EXPECT_FALSE(renderer->ReserveSlot(other, b));
    EXPECT_EQ(b.DepthSlot, -1);

    // 180 units (18 slots) deeper and less than 800 apart in height: refused.
    b.PathDepth = -2180;
    b.Position.y = 799;
    EXPECT_FALSE(renderer->ReserveSlot(other, b));
    // Far enough apart in height: granted.
    b.Position.y = 800;
    EXPECT_TRUE(renderer->ReserveSlot(other, b));
    EXPECT_EQ(b.DepthSlot, 218);
    // 190 units away: granted at any height, and the old slot is left.
    b.PathDepth = -2190;
    b.Position.y = 0;
    EXPECT_TRUE(renderer->ReserveSlot(other, b));
    EXPECT_EQ(b.DepthSlot, 219);
    EXPECT_EQ(renderer->SlotFish(218), nullptr);

    // Deeper than the range.
    TFish& c = Fish(school, -12000, 0);
    EXPECT_TRUE(renderer->ReserveSlot(school, c));
    EXPECT_EQ(c.DepthSlot, 1000);

    renderer->ReleaseSlot(a);
    EXPECT_EQ(a.DepthSlot, -1);
    EXPECT_EQ(renderer->SlotFish(200), nullptr);
    renderer->ReleaseSlot(a);  // twice is harmless
    EXPECT_EQ(HeldSlots(), 2);
}

TEST_F(RenderWorld, FreedFishAndSchoolsLeaveNoSlotsBehind) {
    TFishes& school = School("Tang");
    TFish& a = Fish(school, -2000, 0);
    TFish& b = Fish(school, -5000, 0);
    ASSERT_TRUE(renderer->ReserveSlot(school, a));
    ASSERT_TRUE(renderer->ReserveSlot(school, b));
    // Removed with the whole school.
    renderer->FreeItems(renderer->GetCount());
    EXPECT_EQ(HeldSlots(), 0);

    // A table that shrinks drops the fish beyond it.
    TFishes& again = School("Again");
    TFish& deep = Fish(again, -9000, 0);
    ASSERT_TRUE(renderer->ReserveSlot(again, deep));
    renderer->StepZ = 100;
    renderer->Init();
    EXPECT_EQ(renderer->SlotCount(), 101);
    EXPECT_EQ(deep.DepthSlot, -1);
    EXPECT_TRUE(renderer->ReserveSlot(again, deep));
    EXPECT_EQ(deep.DepthSlot, 90);
}

// --- script ---------------------------------------------------------------------------------------

TEST_F(RenderWorld, ScriptLoadsRendererWithItsSchools) {
    RegisterWorldClasses();
    const std::string script =
        "[MainScene]\nCount=1\n"
        "[MainScene1]\nType=TFishRender\nName=FreshWater\nProcessOptions=[Render,Animation]\nAlpha=1\n"
        "SortAlpha=1\nFishDirection=Left\nLightMapTexture=Textures/caustfish.jpg\nStepZ=20\nCount=2\n"
        "[FreshWater1]\nType=TFishes\nName=Tetra\nMaxCount=5\nParticleCount=3\nFishType=Fish\n"
        "[FreshWater2]\nType=TFishes\nName=Motes\nMaxCount=9\nParticleCount=9\nFishType=Plankton\n";
    TResourceLoader loader;
    loader.Scene = &scene;
    loader.Section = scene.Name();
    loader.OpenText(script);
    loader.LoadChildren(scene);
    auto* fresh = dynamic_cast<TFishRender*>(scene.FindObject("FreshWater"));
    ASSERT_NE(fresh, nullptr);
    EXPECT_EQ(fresh->FishDirection, fdLeft);
    EXPECT_TRUE(fresh->SortAlpha);
    EXPECT_EQ(fresh->LightMapTexture, lightMap);
    EXPECT_EQ(fresh->SlotCount(), 501);
    auto* tetra = dynamic_cast<TFishes*>(scene.FindObject("FreshWater/Tetra"));
    ASSERT_NE(tetra, nullptr);
    EXPECT_EQ(tetra->Renderer(), fresh);
    EXPECT_EQ(tetra->ParticleCount(), 3);
    auto* motes = dynamic_cast<TFishes*>(scene.FindObject("FreshWater/Motes"));
    ASSERT_NE(motes, nullptr);
    EXPECT_EQ(motes->FishType, ftPlankton);
    EXPECT_NE(dynamic_cast<TPlankton*>(motes->GetItem(0)), nullptr);

    TResourceLoader out;
    out.Scene = &scene;
    out.CreateForWriting();
    out.Section = "R";
    fresh->WriteProperties(out);
    EXPECT_EQ(*out.Script()->Value("R", "FishDirection"), "Left");
    EXPECT_EQ(*out.Script()->Value("R", "LightMapTexture"), "Textures/caustfish.jpg");
    EXPECT_EQ(StrToFishDirection("Right"), fdRight);
    EXPECT_EQ(StrToFishDirection("left"), fdBoth);
    EXPECT_EQ(FishDirectionToStr(fdBoth), "Both");

    TResourceLoader bad;
    bad.Scene = &scene;
    bad.Section = scene.Name();
    bad.OpenText("[MainScene]\nCount=1\n[MainScene1]\nType=TFishRender\nName=Broken\nStepZ=0\n");
    EXPECT_THROW(bad.LoadChildren(scene), Exception);
}

// --- animation and drawing -------------------------------------------------------------------------

TEST_F(RenderWorld, HiddenRenderersAnimateButDrawNothing) {
    TFishes& school = School("Tang");
    school.MinZ = school.MaxZ = 3000;
    school.MinSpeed = school.MaxSpeed = 100;
    school.SetParticleCount(1);
    renderer->SetVisible(false);
    renderer->Alpha = true;
    renderer->Animate(0.5f);
    EXPECT_FLOAT_EQ(renderer->CausticTime, 0.2f);
    EXPECT_EQ(HeldSlots(), 1) << "the school's fish got its path";
    rec.Clear();
    renderer->Render();
    EXPECT_TRUE(rec.Calls.empty()) << rec.Text();
    EXPECT_EQ(probe.Opaque + probe.Blended, 0);
}

TEST_F(RenderWorld, BlendedFishAreDrawnFromTheFarthestSlotToTheNearest) {
    TFishes& school = School("Tang");
    TFishes& motes = School("Motes", ftPlankton);
    motes.SetParticleCount(2);
    TFish& nearFish = Fish(school, -1000, 0);
    TFish& farFish = Fish(school, -6000, 0);
    TFish& middle = Fish(school, -3000, 0);
    TFish& parked = Fish(school, -4000, 0);  // holds no slot
    for (TFish* f : {&nearFish, &farFish, &middle}) ASSERT_TRUE(renderer->ReserveSlot(school, *f));
    (void)parked;
    renderer->FishCaustic = false;
    rec.Clear();
    renderer->RenderBlended();
    std::vector<double> depths;
    for (const TGLCall& c : rec.Calls)
        if (std::strcmp(c.Name, "glTranslatef") == 0) depths.push_back(c.Args[2]);
    // Two plankton first (their own pass), then the fish far to near.
    ASSERT_EQ(depths.size(), 5u) << rec.Text();
    EXPECT_EQ(std::vector<double>(depths.begin() + 2, depths.end()), (std::vector<double>{-6000, -3000, -1000}));
    EXPECT_EQ(probe.Blended, 5);
    EXPECT_TRUE(renderer->SortAlpha);

    // A hidden school's fish are left out.
    school.SetVisible(false);
    probe.Blended = 0;
    renderer->RenderBlended();
    EXPECT_EQ(probe.Blended, 2);
}

TEST_F(RenderWorld, OpaquePassDrawsEveryVisibleSchool) {
    TFishes& a = School("A");
    TFishes& b = School("B");
    Fish(a, -1000, 0);
    Fish(b, -2000, 0);
    Fish(b, -3000, 0);
    b.SetVisible(false);
    renderer->FishCaustic = false;
    renderer->RenderOpaque();
    EXPECT_EQ(probe.Opaque, 1);
    EXPECT_TRUE(rec.Has("glDisable", {GL_LIGHTING}));
}

// --- caustic --------------------------------------------------------------------------------------

TEST_F(RenderWorld, CausticLightSlidesOverTheFishOnTheSecondUnit) {
    ogl.Textures().MultitextureInUse = true;
    renderer->LightMapTexture = lightMap;
    renderer->Alpha = true;
    renderer->Animate(2.5f);  // caustic clock at 1
    rec.Clear();
    renderer->Render();

    TGLTexture* texture = lightMap->GLTexture();
    ASSERT_NE(texture, nullptr);
    EXPECT_EQ(texture->TextureUnit, 1);
    EXPECT_EQ(texture->EnvMode, GL_MODULATE);
    EXPECT_TRUE(rec.Has("glActiveTextureARB", {GL_TEXTURE0_ARB + 1}));
    EXPECT_TRUE(rec.Has("glTexGeni", {GL_S, GL_TEXTURE_GEN_MODE, GL_EYE_LINEAR}));
    EXPECT_TRUE(rec.Has("glTexGeni", {GL_T, GL_TEXTURE_GEN_MODE, GL_EYE_LINEAR}));
    EXPECT_TRUE(rec.Has("glEnable", {GL_TEXTURE_GEN_S}));
    EXPECT_TRUE(rec.Has("glEnable", {GL_TEXTURE_GEN_T}));
    ASSERT_EQ(planes.size(), 2u);
    EXPECT_EQ(planes[0], (std::vector<float>{0.001f, 0, 0, 1.5f}));
    EXPECT_EQ(planes[1], (std::vector<float>{0, 0.0002f, 0.00001f, 0.25f}));
    // Off again at the end: its target disabled, unit 0 active, generation left on.
    ASSERT_GE(rec.Calls.size(), 2u);
    EXPECT_STREQ(rec.Calls.back().Name, "glActiveTextureARB");
    EXPECT_EQ(rec.Calls.back().Args[0], GL_TEXTURE0_ARB);
    EXPECT_TRUE(rec.Has("glDisable", {GL_TEXTURE_2D}));
    EXPECT_FALSE(rec.Has("glDisable", {GL_TEXTURE_GEN_S}));
    // The next frame binds it again.
    EXPECT_NE(TheRenderState().CurrentTexture, lightMap);
}

TEST_F(RenderWorld, NoCausticWhenSwitchedOffOrWithoutMultitexture) {
    renderer->LightMapTexture = lightMap;
    renderer->Alpha = true;
    renderer->Render();  // multitexture not in use
    EXPECT_FALSE(rec.Has("glTexGeni"));
    EXPECT_EQ(lightMap->GLTexture(), nullptr);

    ogl.Textures().MultitextureInUse = true;
    renderer->FishCaustic = false;
    renderer->Render();
    EXPECT_FALSE(rec.Has("glTexGeni"));
    EXPECT_FALSE(rec.Has("glActiveTextureARB"));

    const float s[4] = {1, 0, 0, 0}, t[4] = {0, 1, 0, 0};
    EXPECT_FALSE(BeginCaustic(&scene, nullptr, s, t));
    EXPECT_FALSE(BeginCaustic(nullptr, lightMap, s, t)) << "no scene, no GL texture: nothing in use";
    EXPECT_TRUE(BeginCaustic(&scene, lightMap, s, t));
}

TEST_F(RenderWorld, WithoutAlphaTheCausticStaysOnAfterTheOpaquePass) {
    ogl.Textures().MultitextureInUse = true;
    renderer->LightMapTexture = lightMap;
    renderer->Alpha = false;
    School("A");
    rec.Clear();
    renderer->Render();
    EXPECT_TRUE(rec.Has("glEnable", {GL_TEXTURE_GEN_S}));
    EXPECT_FALSE(rec.Has("glActiveTextureARB", {GL_TEXTURE0_ARB}));
    EXPECT_EQ(probe.Blended, 0);
}

// --- the shipped scene -------------------------------------------------------------------------

// The program's own archive, when the build has packed it.
TEST(ShippedScene, SchoolsSwimAndBubblesRiseWithoutLosingTheirWay) {
    const std::string archive = std::string(MARIVELLE_BUILD_DIR) + "/data.rfa";
    if (!std::filesystem::exists(archive)) GTEST_SKIP() << "no " << archive;
    RegisterContentClasses();
    TResourceReaderGuard restore;
    TResourceFileReader& reader = TheResourceReader();
    reader.CloseArchive();
    reader.Mode = 1;
    reader.ArchiveName = archive;
    TheRenderState() = TRenderStateCache();

    TGLRecorder rec;
    TMemorySceneHost host{nullptr};
    host.SceneView.WideScreen = true;
    host.SceneView.Aspect = 16.0 / 9.0;
    {
        TMainScene scene;
        scene.Application = &host;
        scene.SourceName = SceneScriptName;
        scene.LoadSources = lsArchive;
        scene.LoadFromFile();
        auto* salt = dynamic_cast<TFishRender*>(scene.FindObject("SaltWater"));
        auto* bubbles = dynamic_cast<TSceneParticleList*>(scene.FindObject("Bubbles"));
        ASSERT_NE(salt, nullptr);
        ASSERT_NE(bubbles, nullptr);
        ASSERT_EQ(salt->GetCount(), 13);
        salt->FishDirection = fdBoth;
        for (int i = 0; i < salt->GetCount(); ++i) {
            auto* school = dynamic_cast<TFishes*>(salt->GetItem(i));
            ASSERT_NE(school, nullptr);
            school->SetParticleCount(school->FishType == ftFish ? 8 : school->MaxCount);
        }
        bubbles->SetParticleCount(500);

        for (int frame = 0; frame < 250; ++frame) {
            scene.Frame(0.04f);
            rec.Clear();
        }

        int swimming = 0;
        for (int i = 0; i < salt->GetCount(); ++i) {
            auto& school = *dynamic_cast<TFishes*>(salt->GetItem(i));
            if (school.FishType == ftFish) {
                ASSERT_NE(school.Mesh(), nullptr) << school.Name();
                EXPECT_GT(school.Mesh()->FrameCount(), 0) << school.Name() << " swims";
                EXPECT_GT(school.HalfLength, 100) << school.Name();
            }
            for (int k = 0; k < school.ParticleCount(); ++k) {
                const TSceneParticle& p = *school.Particle(k);
                ASSERT_TRUE(TSceneParticleList::PathIsFinite(p)) << school.Name() << k;
                if (p.DepthSlot >= 0) {
                    ++swimming;
                    EXPECT_EQ(salt->SlotFish(p.DepthSlot), &p);
                }
            }
        }
        EXPECT_GT(swimming, 40);
        for (int k = 0; k < bubbles->ParticleCount(); ++k) {
            const TSceneParticle& b = *bubbles->Particle(k);
            ASSERT_TRUE(TSceneParticleList::PathIsFinite(b));
            EXPECT_GE(b.Position.y, -3000);
            EXPECT_LE(b.Position.y, 5000 + 450 * 0.04f);
        }
    }
    reader.CloseArchive();
    reader.Mode = 0;
    TheRenderState() = TRenderStateCache();
}

}  // namespace
