// The scene the program ships: loaded from the archive carried in this
// executable the way the program loads it, then checked for what a typo in
// the script would break quietly (a missing file, a reference to nothing, a
// section no list reaches) and for the layout the world and the dialogs
// rely on.
#include "app/startup.h"
#include "scene/memory_scene_host.h"
#include "render/recording_context.h"

#include "platform/audio_output.h"
#include "platform/null/audio_output_null.h"
#include "platform/null/gl_context_null.h"
#include "platform/null/gl_library_null.h"
#include "platform/null/local_time_null.h"
#include "render/gl_api.h"
#include "render/gl_objects.h"
#include "render/gl_recorder.h"
#include "render/opengl.h"
#include "scene/scene_fonts.h"
#include "scene/scene_textures.h"
#include "core/archive.h"
#include "scene/lights.h"
#include "scene/loader.h"
#include "scene/materials.h"
#include "scene/meshes.h"
#include "scene/objects.h"
#include "scene/registry.h"
#include "scene/scene_gl.h"
#include "core/strutil.h"
#include "scene/visuals.h"
#include "sound/device.h"
#include "scene/scene_sound.h"
#include "world/bubbles.h"
#include "world/clock.h"
#include "world/fish_render.h"
#include "world/fishes.h"
#include "world/sprites.h"
#include "world/underwater.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <vector>

namespace {

// The program's scene, with a recording GL table instead of a driver and an
// audio output that plays nothing. Loaded once; a test that changes what
// the others look at puts it back.
struct TShippedScene {
    TShippedScene() {
        SoundDevice().SetOutput(Audio);
        Host.SceneView.WindowWidth = 1024;
        Host.SceneView.WindowHeight = 768;
        try {
            Scene = LoadMainScene("/nonexistent/", &Host);
        } catch (const std::exception& e) {
            LoadError = e.what();
        }
        Script = TScript::Parse(ArchiveText(SceneScriptName));
    }
    ~TShippedScene() {
        Scene.reset();
        SoundDevice().SetActive(false);
        SoundDevice().SetOutput(platform::SystemAudioOutput());
    }

    static std::string ArchiveText(const std::string& name) {
        TResourceFileReader& reader = TheResourceReader();
        if (!reader.Open(name)) return {};
        return reader.Stream()->ReadRemaining();
    }

    TGLRecorder Recorder;
    TRecordingContext Context{Recorder};
    TCustomOpenGL& OpenGL = Context.OpenGL;
    TMemorySceneHost Host{&OpenGL};
    platform::RecordingAudioOutput Audio;
    std::unique_ptr<TMainScene> Scene;
    std::string LoadError;
    TScript Script;
};

// Calls visit on every object of the tree below list, depth first, with its
// path from the scene.
void ForEachObject(const TMainList& list, const std::string& path,
                   const std::function<void(TMainItem&, const std::string&)>& visit) {
    for (int i = 0; i < list.GetCount(); ++i) {
        TMainItem* item = list.GetItem(i);
        if (!item) continue;
        auto* object = dynamic_cast<TMainObject*>(item);
        const std::string itemPath =
            path.empty() ? (object ? object->Name() : "?") : path + "/" + (object ? object->Name() : "?");
        visit(*item, itemPath);
        if (auto* child = dynamic_cast<TMainList*>(item)) ForEachObject(*child, itemPath, visit);
    }
}

template <class T>
std::vector<T*> ChildrenOf(const TMainList& list) {
    std::vector<T*> out;
    for (int i = 0; i < list.GetCount(); ++i)
        if (auto* child = dynamic_cast<T*>(list.GetItem(i))) out.push_back(child);
    return out;
}

bool IsPowerOfTwo(int32_t n) { return n > 0 && (n & (n - 1)) == 0; }

template <class T>
bool IsA(TMainObject* object) {
    return dynamic_cast<T*>(object) != nullptr;
}

class ShippedSceneTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() { Shipped = new TShippedScene(); }
    static void TearDownTestSuite() {
        delete Shipped;
        Shipped = nullptr;
    }

    void SetUp() override {
        ASSERT_EQ(Shipped->LoadError, "") << "the shipped scene does not load";
        ASSERT_NE(Shipped->Scene, nullptr);
    }

    static TMainScene& Scene() { return *Shipped->Scene; }
    static const TScript& Script() { return Shipped->Script; }

    template <class T>
    static T* Find(const std::string& path) {
        return dynamic_cast<T*>(Scene().FindObject(path));
    }

    // Loads every mesh, which adds the textures its materials name to the
    // texture list the mesh list points at.
    static void LoadAllMeshes() {
        ForEachObject(Scene(), "", [](TMainItem& item, const std::string&) {
            auto* mesh = dynamic_cast<TSceneMesh*>(&item);
            if (mesh && !dynamic_cast<TSceneSprite*>(mesh)) mesh->EnsureLoaded();
        });
    }

    // Every content file the loaded objects name, by upper-case bare name,
    // with the object that names it.
    static std::map<std::string, std::string> NamedFiles() {
        std::map<std::string, std::string> files;
        auto add = [&](const std::string& name, const std::string& by) {
            if (str::Trim(name).empty()) return;
            files.emplace(str::UpperCase(str::ExtractFileName(name)), by);
        };
        add(SceneScriptName, "the program");
        ForEachObject(Scene(), "", [&](TMainItem& item, const std::string& path) {
            if (auto* texture = dynamic_cast<TSceneTexture*>(&item)) {
                add(texture->TextureName(), path);
                add(texture->AlphaName(), path);
                add(texture->FileListName, path);
                for (const std::string& line : texture->FileList) add(line, path + " (" + texture->FileListName + ")");
            } else if (auto* mesh = dynamic_cast<TSceneMesh*>(&item)) {
                add(mesh->SourceName(), path);
                add(mesh->FileListName, path);
                for (const std::string& line : mesh->FileList) add(line, path + " (" + mesh->FileListName + ")");
            } else if (auto* sound = dynamic_cast<TSceneSound*>(&item)) {
                add(sound->FileName(), path);
            } else if (auto* font = dynamic_cast<TSceneFont*>(&item)) {
                add(font->FileName, path);
            }
        });
        return files;
    }

    static TShippedScene* Shipped;
};

TShippedScene* ShippedSceneTest::Shipped = nullptr;

// --- files ----------------------------------------------------------------------------------------

TEST_F(ShippedSceneTest, EveryFileTheScriptNamesIsPacked) {
    LoadAllMeshes();
    const TResourceFileArchive& archive = TheResourceReader().Archive();
    ASSERT_TRUE(archive.Loaded());
    const auto files = NamedFiles();
    // The script's own files plus the fish pictures their meshes add.
    EXPECT_GT(files.size(), 100u);
    for (const auto& [file, by] : files) EXPECT_NE(archive.Find(file), nullptr) << file << ", named by " << by;

    ForEachObject(Scene(), "", [](TMainItem& item, const std::string& path) {
        if (auto* texture = dynamic_cast<TSceneTexture*>(&item); texture && !texture->FileListName.empty()) {
            EXPECT_FALSE(texture->FileList.empty()) << path << ": " << texture->FileListName << " is empty or missing";
        }
        if (auto* mesh = dynamic_cast<TSceneMesh*>(&item); mesh && !mesh->SourceName().empty()) {
            EXPECT_GT(mesh->OpaqueGroups.Count() + mesh->BlendedGroups.Count(), 0) << path << " has no geometry";
        }
    });
}

TEST_F(ShippedSceneTest, EveryPackedFileIsUsed) {
    LoadAllMeshes();
    const TResourceFileArchive& archive = TheResourceReader().Archive();
    ASSERT_TRUE(archive.Loaded());
    const auto files = NamedFiles();
    ASSERT_GT(archive.Count(), 0);
    for (int i = 0; i < archive.Count(); ++i) {
        const std::string& name = archive.Entry(i).Name;
        EXPECT_EQ(files.count(str::UpperCase(name)), 1u) << name << " is packed but nothing in the scene uses it";
    }
}

// Every picture a texture can show (each choice of its file list) decodes to
// a power-of-two picture, and alpha pictures match their colour pictures
// (a mismatch raises while loading).
TEST_F(ShippedSceneTest, EveryPictureLoads) {
    LoadAllMeshes();
    int pictures = 0;
    ForEachObject(Scene(), "", [&](TMainItem& item, const std::string& path) {
        auto* texture = dynamic_cast<TSceneTexture*>(&item);
        if (!texture) return;
        const int32_t chosen = texture->FileIndex();
        const size_t perChoice = texture->PairMode() ? 2 : 1;
        const int32_t choices =
            texture->FileList.empty() ? 1 : static_cast<int32_t>(texture->FileList.size() / perChoice);
        for (int32_t k = 0; k < choices; ++k) {
            if (!texture->FileList.empty()) texture->SetFileIndex(k);
            const std::string what = path + " showing " + texture->TextureName();
            texture->FreeGLTexture();
            EXPECT_NO_THROW(texture->EnsureTexture()) << what;
            EXPECT_TRUE(IsPowerOfTwo(texture->SourceWidth) && IsPowerOfTwo(texture->SourceHeight))
                << what << " is " << texture->SourceWidth << " x " << texture->SourceHeight;
            EXPECT_LE(std::max(texture->SourceWidth, texture->SourceHeight), 1024) << what;
            ++pictures;
        }
        if (!texture->FileList.empty()) texture->SetFileIndex(chosen);
        texture->FreeGLTexture();
    });
    EXPECT_GT(pictures, 60);
}

TEST_F(ShippedSceneTest, FileListsChooseOnePictureForEachWater) {
    auto* fons = Find<TSceneTexture>("Textures/FonA.jpg");
    auto* seabed = Find<TSceneTexture>("Textures/seabed.jpg");
    auto* water = Find<TSceneTexture>("Textures/water.jpg");
    ASSERT_TRUE(fons && seabed && water);
    EXPECT_TRUE(fons->PairMode());
    EXPECT_EQ(fons->Format(), tfAlpha);
    EXPECT_EQ(fons->FileList.size(), 12u);
    EXPECT_EQ(seabed->FileList.size(), 6u);
    EXPECT_EQ(water->FileList.size(), 6u);
    // Six different backgrounds and sea beds.
    std::set<std::string> backgrounds, beds;
    for (size_t i = 0; i < fons->FileList.size(); i += 2) backgrounds.insert(str::UpperCase(fons->FileList[i]));
    for (const std::string& line : seabed->FileList) beds.insert(str::UpperCase(line));
    EXPECT_EQ(backgrounds.size(), 6u);
    EXPECT_EQ(beds.size(), 6u);
    // The background meshes all show the one texture the file list switches.
    for (int i = 1; i <= 6; ++i) {
        auto* mesh = Find<TSceneMesh>("Meshes/fon" + std::to_string(i) + ".3dm");
        ASSERT_NE(mesh, nullptr) << i;
        mesh->EnsureLoaded();
        ASSERT_EQ(mesh->BlendedGroups.Count(), 1) << i;
        EXPECT_EQ(mesh->BlendedGroups.Get(0)->Texture, fons) << i;
    }
}

// --- script ---------------------------------------------------------------------------------------

// Walks the sections from the root as the loader does; every section must
// be reached, exist where a list's Count promises it, and become an object
// of its Type.
TEST_F(ShippedSceneTest, EverySectionBecomesAnObjectOfARegisteredClass) {
    const TScript& script = Script();
    std::set<std::string> reached{str::UpperCase("MainScene")};
    std::set<std::string> names;
    std::function<void(const std::string&, const TMainObject&, const std::string&)> walk =
        [&](const std::string& section, const TMainObject& parent, const std::string& path) {
            // Only lists read child sections; a material's Count is its own.
            auto* list = dynamic_cast<const TMainList*>(&parent);
            if (!list || !list->ChildrenInScript) return;
            const std::string& listName = parent.Name();
            const std::string* count = script.Value(section, "Count");
            if (!count) return;
            const std::optional<int32_t> parsed = str::ParseInt(*count);
            ASSERT_TRUE(parsed.has_value()) << "[" << section << "] Count=" << *count;
            const int32_t n = *parsed;
            for (int32_t i = 1; i <= n; ++i) {
                const std::string child = listName + std::to_string(i);
                reached.insert(str::UpperCase(child));
                const std::string* type = script.Value(child, "Type");
                const std::string* name = script.Value(child, "Name");
                ASSERT_TRUE(type && name) << "[" << child << "] is missing or has no Type and Name";
                EXPECT_TRUE(TheClassRegistry().Contains(*type)) << "[" << child << "] Type=" << *type;
                EXPECT_TRUE(names.insert(*name).second) << "the name " << *name << " is used twice";
                const std::string childPath = path.empty() ? *name : path + "/" + *name;
                TMainObject* object = Scene().FindObject(childPath);
                ASSERT_NE(object, nullptr) << childPath;
                EXPECT_TRUE(str::SameText(object->ClassName(), *type)) << childPath << " is a " << object->ClassName();
                walk(child, *object, childPath);
            }
        };
    walk("MainScene", Scene(), "");
    EXPECT_GT(names.size(), 100u);
    for (const auto& section : script.Sections())
        EXPECT_EQ(reached.count(str::UpperCase(section.Name)), 1u) << "no list reaches [" << section.Name << "]";
}

TEST_F(ShippedSceneTest, EveryReferenceNamesAnObjectOfTheRightKind) {
    using TCheck = bool (*)(TMainObject*);
    const std::map<std::string, TCheck> kinds = {
        {"VISUAL", &IsA<TSceneMesh>},
        {"MATERIAL", &IsA<TSceneMaterial>},
        {"MATERIALS", &IsA<TMainObjectList>},
        {"TEXTURES", &IsA<TSceneTextureList>},
        {"TEXTURE", &IsA<TSceneTexture>},
        {"LIGHT", &IsA<TMainLight>},
        {"BACKGROUND", &IsA<TSceneMesh>},
        {"BOTTOMTEXTURE", &IsA<TSceneTexture>},
        {"UPTEXTURE", &IsA<TSceneTexture>},
        {"LIGHTTEXTURE", &IsA<TSceneTexture>},
        {"UPLIGHTMAP", &IsA<TSceneTexture>},
        {"BOTTOMLIGHTMAP", &IsA<TSceneTexture>},
        {"BACKGROUNDLIGHTMAP", &IsA<TSceneTexture>},
        {"LIGHTMAPTEXTURE", &IsA<TSceneTexture>},
        {"SPRITES", &IsA<TMainObjectList>},
        {"OBJECTS", &IsA<TMainSpriteList>},
        {"FONT", &IsA<TSceneFont>},
        {"CLOCKFACE", &IsA<TSceneMesh>},
        {"HOURHAND", &IsA<TSceneMesh>},
        {"MINHAND", &IsA<TSceneMesh>},
        {"SECHAND", &IsA<TSceneMesh>},
    };
    int references = 0;
    for (const auto& section : Script().Sections()) {
        for (const auto& line : section.Lines) {
            if (!line.IsKey) continue;
            auto kind = kinds.find(str::UpperCase(line.Key));
            if (kind == kinds.end()) continue;
            ++references;
            TMainObject* target = Scene().FindObject(line.Value);
            EXPECT_NE(target, nullptr) << "[" << section.Name << "] " << line.Key << "=" << line.Value
                                       << " names nothing";
            if (target) {
                EXPECT_TRUE(kind->second(target))
                    << "[" << section.Name << "] " << line.Key << "=" << line.Value << " is a " << target->ClassName();
            }
        }
    }
    EXPECT_GT(references, 100);
}

// The loaded objects hold what the script gave them: a misspelt key would
// leave one of these unset without any error.
TEST_F(ShippedSceneTest, ObjectsHoldTheirVisualsTexturesAndLights) {
    ForEachObject(Scene(), "", [](TMainItem& item, const std::string& path) {
        if (auto* list = dynamic_cast<TSceneMeshList*>(&item)) {
            EXPECT_NE(list->Materials, nullptr) << path;
            EXPECT_NE(list->Textures, nullptr) << path;
        }
        if (auto* sprite = dynamic_cast<TSceneSprite*>(&item)) {
            EXPECT_NE(sprite->Texture, nullptr) << path;
            EXPECT_NE(sprite->Material, nullptr) << path;
        } else if (auto* visual = dynamic_cast<TMainVisualObject*>(&item)) {
            EXPECT_NE(visual->Visual, nullptr) << path;
        } else if (auto* list = dynamic_cast<TMainVisualObjectList*>(&item)) {
            EXPECT_NE(dynamic_cast<TSceneMesh*>(list->Visual), nullptr) << path;
        }
        if (auto* water = dynamic_cast<TUnderWater*>(&item)) {
            EXPECT_TRUE(water->BottomTexture && water->UpTexture && water->LightTexture && water->UpLightMap &&
                        water->BackgroundLightMap && water->Light && water->Background)
                << path;
        }
        if (auto* renderer = dynamic_cast<TFishRender*>(&item)) {
            EXPECT_NE(renderer->LightMapTexture, nullptr) << path;
        }
        if (auto* clock = dynamic_cast<TGLClock*>(&item)) {
            EXPECT_TRUE(clock->Sprites && clock->Objects) << path;
        }
    });
}

// --- layout ---------------------------------------------------------------------------------------

TEST_F(ShippedSceneTest, SixWatersEachWithItsOwnLightAndBackground) {
    const char* names[] = {"Salt Water - 1",  "Salt Water - 2",  "Salt Water - 3",
                           "Fresh Water - 1", "Fresh Water - 2", "Fresh Water - 3"};
    const char* backgrounds[] = {"fon3.3dm", "fon2.3dm", "fon1.3dm", "fon6.3dm", "fon4.3dm", "fon5.3dm"};
    std::vector<TUnderWater*> waters = ChildrenOf<TUnderWater>(Scene());
    ASSERT_EQ(waters.size(), 6u);
    std::set<TMainLight*> lights;
    for (size_t i = 0; i < 6; ++i) {
        TUnderWater& w = *waters[i];
        EXPECT_EQ(w.Name(), names[i]);
        EXPECT_EQ(w.Visible(), i == 0) << w.Name();
        EXPECT_EQ(w.BackgroundIndex, static_cast<int32_t>(i));
        EXPECT_EQ(w.Background, Scene().FindObject(std::string("Meshes/") + backgrounds[i])) << w.Name();
        EXPECT_EQ(w.BottomTexture, Scene().FindObject("Textures/seabed.jpg"));
        EXPECT_EQ(w.UpTexture, Scene().FindObject("Textures/water.jpg"));
        EXPECT_EQ(w.UpLightMap, Scene().FindObject("Textures/water.jpg"));
        EXPECT_EQ(w.LightTexture, Scene().FindObject("Textures/caustlight.jpg"));
        EXPECT_EQ(w.BackgroundLightMap, Scene().FindObject("Textures/caustback.jpg"));
        EXPECT_FLOAT_EQ(w.FarPlane, 10000);
        EXPECT_FLOAT_EQ(w.FogStart, 6000);
        EXPECT_FLOAT_EQ(w.FogEnd, 10000);
        EXPECT_FLOAT_EQ(w.UpY, 5000);
        EXPECT_FLOAT_EQ(w.BottomY, -3000);
        EXPECT_FLOAT_EQ(w.UpAlpha, 0.55f);
        EXPECT_FLOAT_EQ(w.BottomAlpha, 0.35f);
        EXPECT_EQ(w.UpColor >> 24, 255u) << w.Name();
        EXPECT_EQ(w.BottomColor >> 24, 255u) << w.Name();
        EXPECT_TRUE(lights.insert(w.Light).second) << w.Name() << " shares its light";
        // Only the shown water's light starts switched on; it shines down
        // from behind the viewer.
        ASSERT_NE(w.Light, nullptr);
        EXPECT_EQ(w.Light->Enabled, i == 0) << w.Light->Name();
        EXPECT_EQ(w.Light->LightStyle(), ltParallel) << w.Light->Name();
        ASSERT_NE(w.Light->GLLight(), nullptr);
        EXPECT_TRUE(w.Light->GLLight()->Infinite()) << w.Light->Name();
        EXPECT_LT(w.Light->GLLight()->SpotDirection().y, 0) << w.Light->Name();
    }
}

TEST_F(ShippedSceneTest, TwoRenderersHoldTheSaltAndFreshWaterSchools) {
    auto* salt = Find<TFishRender>("SaltWater");
    auto* fresh = Find<TFishRender>("FreshWater");
    ASSERT_TRUE(salt && fresh);
    EXPECT_TRUE(salt->Visible());
    EXPECT_FALSE(fresh->Visible());
    EXPECT_TRUE(salt->SortAlpha);
    EXPECT_FALSE(fresh->SortAlpha);
    for (TFishRender* r : {salt, fresh}) {
        EXPECT_TRUE(r->Alpha) << r->Name();
        EXPECT_FLOAT_EQ(r->StepZ, 10);
        EXPECT_EQ(r->FishDirection, fdRight);
        EXPECT_EQ(r->LightMapTexture, Scene().FindObject("Textures/caustfish.jpg"));
    }

    std::vector<TFishes*> saltSchools = ChildrenOf<TFishes>(*salt);
    std::vector<TFishes*> freshSchools = ChildrenOf<TFishes>(*fresh);
    ASSERT_EQ(saltSchools.size(), 13u);
    ASSERT_EQ(freshSchools.size(), 10u);
    std::map<TFishType, int> saltTypes, freshTypes;
    for (TFishes* s : saltSchools) ++saltTypes[s->FishType];
    for (TFishes* s : freshSchools) ++freshTypes[s->FishType];
    EXPECT_EQ(saltTypes[ftFish], 11);
    EXPECT_EQ(saltTypes[ftPlankton], 1);
    EXPECT_EQ(saltTypes[ftStarFish], 1);
    EXPECT_EQ(freshTypes[ftFish], 10);

    std::set<TMainObject*> meshes;
    for (TFishes* s : saltSchools) meshes.insert(s->Visual);
    for (TFishes* s : freshSchools) meshes.insert(s->Visual);
    EXPECT_EQ(meshes.size(), 23u) << "two schools share a mesh";

    for (TFishes* s : saltSchools) {
        SCOPED_TRACE(s->Name());
        EXPECT_TRUE(s->Visible());
        if (s->FishType == ftPlankton) {
            EXPECT_EQ(s->MaxCount, 100);
            EXPECT_FLOAT_EQ(s->MinZ, 1000);
            EXPECT_FLOAT_EQ(s->MaxZ, 1500);
            EXPECT_FLOAT_EQ(s->MinSpeed, 25);
            EXPECT_FLOAT_EQ(s->MaxSpeed, 50);
            EXPECT_FLOAT_EQ(s->BottomY, -1000);
            EXPECT_FLOAT_EQ(s->UpY, 500);
            EXPECT_EQ(s->Visual, Scene().FindObject("Meshes/Plankton.3dm"));
        } else if (s->FishType == ftStarFish) {
            EXPECT_EQ(s->MaxCount, 1);
            EXPECT_FLOAT_EQ(s->MinZ, 4400);
            EXPECT_FLOAT_EQ(s->MaxZ, 4400);
            EXPECT_FLOAT_EQ(s->MinSpeed, 15);
            EXPECT_FLOAT_EQ(s->MaxSpeed, 15);
            EXPECT_FLOAT_EQ(s->BottomY, -3000);
            EXPECT_FLOAT_EQ(s->UpY, -3000);
            EXPECT_EQ(s->Visual, Scene().FindObject("Meshes/Starfish.3dm"));
        }
    }
    // Fish use every depth band, stay between the sea bed and the surface
    // and swim at a sensible pace.
    std::vector<TFishes*> fish;
    for (TFishes* s : saltSchools)
        if (s->FishType == ftFish) fish.push_back(s);
    fish.insert(fish.end(), freshSchools.begin(), freshSchools.end());
    for (TFishes* s : fish) {
        SCOPED_TRACE(s->Name());
        EXPECT_EQ(s->MaxCount, 100);
        EXPECT_GE(s->MinZ, 1000);
        EXPECT_GE(s->MaxZ, salt->FarBandNear) << "a school this shallow never reaches the far band";
        EXPECT_LE(s->MaxZ, 10000 - salt->NeighbourDepth);
        EXPECT_GT(s->MinSpeed, 0);
        EXPECT_LT(s->MinSpeed, s->MaxSpeed);
        EXPECT_GT(s->BottomY, -3000);
        EXPECT_LT(s->BottomY, s->UpY);
        EXPECT_LT(s->UpY, 5000);
        EXPECT_EQ(s->ParticleCount(), 0) << "counts come from the user's settings";
    }
}

TEST_F(ShippedSceneTest, BubblesUseTheSeeThroughPuzirMaterial) {
    auto* bubbles = Find<TBubbles>("Bubbles");
    ASSERT_NE(bubbles, nullptr);
    auto* mesh = Find<TSceneMesh>("Meshes/bubble.3dm");
    ASSERT_NE(mesh, nullptr);
    EXPECT_EQ(bubbles->Visual, mesh);
    EXPECT_FLOAT_EQ(bubbles->MinZ, 3500);
    EXPECT_FLOAT_EQ(bubbles->MaxZ, 7000);
    EXPECT_FLOAT_EQ(bubbles->MinSpeed, 150);
    EXPECT_FLOAT_EQ(bubbles->MaxSpeed, 450);
    EXPECT_FLOAT_EQ(bubbles->BottomY, -3000);
    EXPECT_FLOAT_EQ(bubbles->UpY, 5000);
    EXPECT_FLOAT_EQ(bubbles->MaxCount, 1000);
    EXPECT_EQ(bubbles->ParticleCount(), 0);

    auto* puzir = Find<TSceneMaterial>("Materials/Puzir01");
    ASSERT_NE(puzir, nullptr);
    ASSERT_EQ(puzir->GroupMaterialCount(), 1);
    EXPECT_FLOAT_EQ(puzir->GroupMaterial(0)->Material->Diffuse().a, 0.7f);
    mesh->EnsureLoaded();
    EXPECT_EQ(mesh->Material, puzir) << "the mesh file's own material replaced the script's";
    EXPECT_EQ(mesh->OpaqueGroups.Count(), 0);
    ASSERT_EQ(mesh->BlendedGroups.Count(), 1);
    EXPECT_EQ(mesh->BlendedGroups.Get(0)->GroupMaterial, puzir->GroupMaterial(0));
}

TEST_F(ShippedSceneTest, ClockHasEverySpriteAndObjectItSwitches) {
    auto* clock = Find<TGLClock>("GLClock");
    ASSERT_NE(clock, nullptr);
    EXPECT_EQ(clock->ClockMode, 0);
    EXPECT_FALSE(clock->Visible());
    EXPECT_EQ(clock->ClockColor, TByteColor(65 | 170 << 8 | 255u << 16 | 255u << 24));
    EXPECT_EQ(clock->Sprites, Scene().FindObject("ClockResource/ClockSprites"));
    EXPECT_EQ(clock->Objects, Scene().FindObject("ClockResource/ClockObjects"));

    std::vector<std::string> sprites = {":",   "\\",  "sun", "mon", "tue", "wed",
                                        "thu", "fri", "sat", "am",  "pm",  "Plate"};
    for (char d = '0'; d <= '9'; ++d) sprites.emplace_back(1, d);
    for (const std::string& name : sprites)
        EXPECT_NE(Find<TSceneSprite>("ClockResource/ClockSprites/" + name), nullptr) << name;
    std::vector<std::string> objects = {"ClockPlate", "day"};
    for (int i = 1; i <= 7; ++i) objects.push_back("time" + std::to_string(i));
    for (int i = 1; i <= 5; ++i) objects.push_back("month" + std::to_string(i));
    for (const std::string& name : objects)
        EXPECT_NE(Find<TMainVisualObject>("ClockResource/ClockObjects/" + name), nullptr) << name;

    auto* list = Find<TMainSpriteList>("ClockResource/ClockObjects");
    ASSERT_NE(list, nullptr);
    EXPECT_TRUE(list->Alpha) << "the sprites are blended: without Alpha nothing is drawn";
    EXPECT_FLOAT_EQ(list->Position.x, 824);
    EXPECT_FLOAT_EQ(list->Position.y, 20);
    // Cut-outs stay inside the 256 x 256 clock picture.
    auto* spriteList = Find<TMainList>("ClockResource/ClockSprites");
    ASSERT_NE(spriteList, nullptr);
    for (TSceneSprite* sprite : ChildrenOf<TSceneSprite>(*spriteList)) {
        EXPECT_GE(sprite->StartU, 0) << sprite->Name();
        EXPECT_LE(sprite->StartU + sprite->Width, 256) << sprite->Name();
        EXPECT_LE(sprite->StartV + sprite->Height, 256) << sprite->Name();
    }
    // The plate lies under every other object, and every object on the plate.
    auto* plate = Find<TMainVisualObject>("ClockResource/ClockObjects/ClockPlate");
    ASSERT_NE(plate, nullptr);
    EXPECT_EQ(list->GetItem(0), plate) << "the plate is drawn first";
    auto* plateSprite = dynamic_cast<TSceneSprite*>(plate->Visual);
    ASSERT_NE(plateSprite, nullptr);
    for (TMainVisualObject* object : ChildrenOf<TMainVisualObject>(*list)) {
        auto* sprite = dynamic_cast<TSceneSprite*>(object->Visual);
        ASSERT_NE(sprite, nullptr) << object->Name();
        const float right = object->Position.x + static_cast<float>(sprite->Width) * object->Scale.x;
        const float top = object->Position.y + static_cast<float>(sprite->Height) * object->Scale.y;
        EXPECT_GE(object->Position.x, 0) << object->Name();
        EXPECT_GE(object->Position.y, 0) << object->Name();
        EXPECT_LE(right, static_cast<float>(plateSprite->Width)) << object->Name();
        EXPECT_LE(top, static_cast<float>(plateSprite->Height)) << object->Name();
    }
}

TEST_F(ShippedSceneTest, SoundsLoopTheBubblesAndTheWaves) {
    auto* sounds = Find<TSceneSoundList>("Sounds");
    ASSERT_NE(sounds, nullptr);
    EXPECT_TRUE(sounds->Visible()) << "a hidden list is never drawn, so nothing would play";
    EXPECT_EQ(sounds->ProcessOptions, poRender);
    EXPECT_TRUE(sounds->InitDevice);
    EXPECT_EQ(SoundDevice().Rate(), 22050);
    EXPECT_TRUE(SoundDevice().Bits16());
    EXPECT_EQ(SoundDevice().Channels(), 1);
    const std::pair<const char*, const char*> expected[] = {{"Bubbles Sound", "bubbles7.wav"},
                                                            {"Waves Sound", "waves04.wav"}};
    for (const auto& [name, file] : expected) {
        auto* sound = Find<TSceneSound>(std::string("Sounds/") + name);
        ASSERT_NE(sound, nullptr) << name;
        EXPECT_TRUE(sound->Visible()) << name;
        EXPECT_EQ(str::ExtractFileName(sound->FileName()), file);
        ASSERT_NE(sound->Sound(), nullptr) << name;
        EXPECT_TRUE(sound->Sound()->Looped()) << name;
        EXPECT_GT(sound->Sound()->Volume(), 0) << name;
    }
}

// What the program draws each frame comes from the render list in script
// order: the lights, the waters, then the fish, the bubbles and the clock.
TEST_F(ShippedSceneTest, RenderOrderIsWatersThenFishThenBubblesThenOverlays) {
    const TMainItemList& render = *Scene().RenderList;
    auto position = [&](const std::string& name) {
        TMainObject* object = Scene().FindObject(name);
        for (int i = 0; i < render.GetCount(); ++i)
            if (render.GetItem(i) == object) return i;
        return -1;
    };
    std::vector<int> lights, waters;
    for (int i = 0; i < render.GetCount(); ++i) {
        if (dynamic_cast<TMainLight*>(render.GetItem(i))) lights.push_back(i);
        if (dynamic_cast<TUnderWater*>(render.GetItem(i))) waters.push_back(i);
    }
    ASSERT_EQ(lights.size(), 6u);
    ASSERT_EQ(waters.size(), 6u);
    const int salt = position("SaltWater"), fresh = position("FreshWater");
    const int bubbles = position("Bubbles"), clock = position("GLClock");
    ASSERT_TRUE(salt >= 0 && fresh >= 0 && bubbles >= 0 && clock >= 0);
    EXPECT_LT(lights.back(), waters.front()) << "a water would be tinted by the previous frame's light";
    EXPECT_LT(waters.back(), std::min(salt, fresh));
    EXPECT_LT(std::max(salt, fresh), bubbles);
    EXPECT_LT(bubbles, clock);
    EXPECT_GE(position("Sounds"), 0);

    // Everything that moves is animated.
    const TMainItemList& animate = *Scene().AnimationList;
    for (const char* name : {"SaltWater", "FreshWater", "Bubbles", "GLClock", "Salt Water - 1", "Fresh Water - 3"}) {
        bool found = false;
        for (int i = 0; i < animate.GetCount(); ++i) found = found || animate.GetItem(i) == Scene().FindObject(name);
        EXPECT_TRUE(found) << name << " is not animated";
    }
}

// Frames with every water in turn, its renderer's schools filled and the
// clock shown: the scene draws without errors, and each water's pictures and
// light follow it.
TEST_F(ShippedSceneTest, FramesRunForEveryWater) {
    auto* salt = Find<TFishRender>("SaltWater");
    auto* fresh = Find<TFishRender>("FreshWater");
    auto* bubbles = Find<TBubbles>("Bubbles");
    auto* clock = Find<TGLClock>("GLClock");
    auto* fons = Find<TSceneTexture>("Textures/FonA.jpg");
    auto* seabed = Find<TSceneTexture>("Textures/seabed.jpg");
    ASSERT_TRUE(salt && fresh && bubbles && clock && fons && seabed);
    platform::FixedLocalTime time;
    time.Time.Hour = 21;
    time.Time.Minute = 30;
    clock->TimeSource = &time;
    clock->SetMode(2);
    for (TFishRender* r : {salt, fresh})
        for (TFishes* school : ChildrenOf<TFishes>(*r)) school->SetParticleCount(std::min(school->MaxCount, 3));
    bubbles->SetParticleCount(40);

    std::vector<TUnderWater*> waters = ChildrenOf<TUnderWater>(Scene());
    ASSERT_EQ(waters.size(), 6u);
    for (TUnderWater* w : waters) ASSERT_NE(w->Light, nullptr) << w->Name();
    for (size_t shown = 0; shown < waters.size(); ++shown) {
        SCOPED_TRACE(waters[shown]->Name());
        for (size_t k = 0; k < waters.size(); ++k) waters[k]->SetVisible(k == shown);
        salt->SetVisible(shown < 3);
        fresh->SetVisible(shown >= 3);
        for (int frame = 0; frame < 5; ++frame) {
            Shipped->Recorder.Clear();
            ASSERT_NO_THROW(Scene().Frame(0.04f));
        }
        TGLLight* light = waters[shown]->Light->GLLight();
        ASSERT_NE(light, nullptr);
        EXPECT_TRUE(Shipped->Recorder.Has("glEnable", {double(GL_LIGHT0 + static_cast<GLenum>(light->Slot()))}))
            << "the shown water's light is off";
        EXPECT_EQ(str::ExtractFileName(fons->TextureName()), fons->FileList[2 * shown]);
        EXPECT_EQ(str::ExtractFileName(fons->AlphaName()), fons->FileList[2 * shown + 1]);
        EXPECT_EQ(str::ExtractFileName(seabed->TextureName()), seabed->FileList[shown]);
        for (size_t k = 0; k < waters.size(); ++k) EXPECT_EQ(waters[k]->Light->Enabled, k == shown) << k;
        // The shown renderer's fish are on their way.
        for (TFishes* school : ChildrenOf<TFishes>(shown < 3 ? *salt : *fresh))
            EXPECT_GT(school->ParticleCount(), 0) << school->Name();
    }
    // 12-hour mode at 21:30 shows "9:30 pm".
    auto object = [&](const char* name) {
        return Find<TMainVisualObject>(std::string("ClockResource/ClockObjects/") + name);
    };
    ASSERT_TRUE(object("time1") && object("time2") && object("time6") && object("time7"));
    EXPECT_FALSE(object("time1")->Visible());
    EXPECT_EQ(object("time2")->Visual, Scene().FindObject("ClockResource/ClockSprites/9"));
    EXPECT_TRUE(object("time7")->Visible());
    EXPECT_FALSE(object("time6")->Visible());

    // Back as loaded.
    clock->SetMode(0);
    clock->TimeSource = nullptr;
    for (TFishRender* r : {salt, fresh})
        for (TFishes* school : ChildrenOf<TFishes>(*r)) school->SetParticleCount(0);
    bubbles->SetParticleCount(0);
    for (size_t k = 0; k < waters.size(); ++k) waters[k]->SetVisible(k == 0);
    salt->SetVisible(true);
    fresh->SetVisible(false);
}

}  // namespace
