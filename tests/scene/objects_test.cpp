#include "scene/objects.h"

#include "render/gl_recorder.h"
#include "core/errors.h"
#include "scene/registry.h"
#include "scene/renderstate.h"
#include "core/strutil.h"

#include <gtest/gtest.h>

#include <map>
#include <memory>
#include <string>
#include <vector>

namespace {

using TLog = std::vector<std::string>;

// Logs every pass it takes part in and its own destruction.
class TProbe : public TMainSceneObject {
public:
    TProbe(const std::string& name, TLog* log, TProcessOptions options = 0) : Log(log) {
        SetName(name);
        ProcessOptions = options;
    }
    ~TProbe() override { Note("free"); }

    void ProcessEvents(float dt) override { Note("events", dt); }
    void Animate(float dt) override { Note("animate", dt); }
    void BeginRender() override { Note("begin"); }
    void EndRender() override { Note("end"); }
    void RenderOpaque() override { Note("opaque"); }
    void RenderBlended() override { Note("blended"); }
    void LoadSettings() override { Note("load"); }
    void SaveSettings() override { Note("save"); }

private:
    void Note(const std::string& what, float dt = -1) {
        if (!Log) return;
        Log->push_back(what + ":" + Name() + (dt >= 0 ? "@" + std::to_string(static_cast<int>(dt * 1000)) : ""));
    }
    TLog* Log;
};

// A resource that logs its own destruction too.
class TProbeResource : public TResource {
public:
    TProbeResource(const std::string& name, TLog* log) : Log(log) { SetName(name); }
    ~TProbeResource() override { Log->push_back("free:" + Name()); }
    TLog* Log;
};

class TFakeHost : public ISceneHost {
public:
    std::map<std::string, std::string> Values;
    std::string ReadString(const std::string& name, const std::string& def) override {
        auto it = Values.find(name);
        return it == Values.end() ? def : it->second;
    }
    bool ReadBool(const std::string& name, bool def) override {
        auto it = Values.find(name);
        return it == Values.end() ? def : it->second != "0";
    }
    int32_t ReadInteger(const std::string& name, int32_t def) override {
        auto it = Values.find(name);
        return it == Values.end() ? def : std::stoi(it->second);
    }
    void WriteString(const std::string& name, const std::string& value) override { Values[name] = value; }
    void WriteBool(const std::string& name, bool value) override { Values[name] = value ? "-1" : "0"; }
    void WriteInteger(const std::string& name, int32_t value) override { Values[name] = std::to_string(value); }
};

std::vector<std::string> ChildNames(const TMainList& list) {
    std::vector<std::string> names;
    for (int i = 0; i < list.GetCount(); ++i) {
        auto* object = dynamic_cast<TMainObject*>(list.GetItem(i));
        names.push_back(object ? object->Name() : "<hole>");
    }
    return names;
}

TLog Only(const TLog& log, const std::string& prefix) {
    TLog out;
    for (const auto& line : log)
        if (line.rfind(prefix, 0) == 0) out.push_back(line);
    return out;
}

}  // namespace

// --- ownership ----------------------------------------------------------------------

TEST(SceneObjects, ListsFreeTheirChildrenLastFirst) {
    TLog log;
    {
        TResource list;
        list.SetName("List");
        list.Add(std::make_unique<TProbe>("c", &log));
        list.Add(std::make_unique<TProbe>("a", &log));
        list.Add(std::make_unique<TProbe>("b", &log));
        EXPECT_EQ(list.GetItem(0)->Owner, &list);
        list.FreeItems(2);
        EXPECT_EQ(log, (TLog{"free:c", "free:b"}));
        EXPECT_EQ(ChildNames(list), (std::vector<std::string>{"a"}));
        list.Add(std::make_unique<TProbe>("z", &log));
        log.clear();
    }
    // The destructor frees what is left, last first.
    EXPECT_EQ(log, (TLog{"free:z", "free:a"}));
}

TEST(SceneObjects, FreeItemsCapsAtTheCountAndIgnoresNonPositive) {
    TLog log;
    TMainObjectList list;
    for (const char* name : {"x", "y", "z"}) list.Add(std::make_unique<TProbe>(name, &log));
    list.FreeItems(0);
    list.FreeItems(-3);
    EXPECT_TRUE(log.empty());
    list.FreeItems(5);
    EXPECT_EQ(log, (TLog{"free:z", "free:y", "free:x"}));
    EXPECT_EQ(list.GetCount(), 0);
}

TEST(SceneObjects, DestroyingAnOwnedChildLeavesItsOwner) {
    TLog log;
    TResource list;
    list.SetName("List");
    TProbe* a = list.Add(std::make_unique<TProbe>("a", &log));
    list.Add(std::make_unique<TProbe>("b", &log));
    delete a;  // calls back into the owner; the owner must not free it again
    EXPECT_EQ(ChildNames(list), (std::vector<std::string>{"b"}));
    EXPECT_EQ(list.FindObject("a"), nullptr);
    list.FreeAll();
    EXPECT_EQ(log, (TLog{"free:a", "free:b"}));
}

TEST(SceneObjects, NestedResourcesFreeDepthFirst) {
    TLog log;
    {
        TMainScene scene;
        auto* outer = scene.Add(std::make_unique<TProbeResource>("Outer", &log));
        outer->Add(std::make_unique<TProbe>("inner1", &log));
        outer->Add(std::make_unique<TProbe>("inner2", &log));
        scene.Add(std::make_unique<TProbe>("After", &log));
    }
    EXPECT_EQ(log, (TLog{"free:After", "free:Outer", "free:inner2", "free:inner1"}));
}

TEST(SceneObjects, AddItemRejectsNilAndUnnamedObjects) {
    TResource list;
    try {
        list.AddItem(nullptr);
        FAIL() << "nil object accepted";
    } catch (const Exception& e) {
        EXPECT_STREQ(e.what(), "TMainObjectList.AddItem error: Add nil Object failed");
    }
    TLog log;
    try {
        list.Add(std::make_unique<TProbe>("", &log));
        FAIL() << "unnamed object accepted";
    } catch (const Exception& e) {
        EXPECT_STREQ(e.what(), "TMainObjectList.AddItem error: Add empty Object.Name failed");
    }
    // The refused object stayed with the caller, who freed it.
    EXPECT_EQ(log, (TLog{"free:"}));
    EXPECT_EQ(list.GetCount(), 0);
}

TEST(SceneObjects, DuplicateNamesAreOwnedButOnlyTheFirstIsFound) {
    TLog log;
    {
        TResource list;
        list.SetName("List");
        TProbe* first = list.Add(std::make_unique<TProbe>("Twin", &log));
        TProbe* second = list.Add(std::make_unique<TProbe>("Twin", &log));
        EXPECT_EQ(list.GetCount(), 2);
        EXPECT_EQ(list.FindObject("Twin"), first);
        list.Remove(first);
        EXPECT_EQ(list.FindObject("Twin"), second);
        delete first;
    }
    EXPECT_EQ(log, (TLog{"free:Twin", "free:Twin"}));
}

// --- naming and order ---------------------------------------------------------------

TEST(SceneObjects, NamedListsVisitInNameOrderTheSceneInScriptOrder) {
    const std::vector<std::string> added = {"Yellow Tang", "Clown", "Auriga Butterflyfish"};
    TMainObjectList list;
    TMainScene scene;
    for (const auto& name : added) {
        list.Add(std::make_unique<TProbe>(name, nullptr));
        scene.Add(std::make_unique<TProbe>(name, nullptr, poAnimation));
    }
    EXPECT_EQ(ChildNames(list), (std::vector<std::string>{"Auriga Butterflyfish", "Clown", "Yellow Tang"}));
    EXPECT_EQ(ChildNames(scene), added);
}

TEST(SceneObjects, NameOrderIgnoresCaseThenPutsLowerCaseFirst) {
    TMainObjectList list;
    for (const char* name : {"clownfish", "Clown", "BLUE", "clown", "angel"}) list.Add(std::make_unique<TProbe>(name, nullptr));
    EXPECT_EQ(ChildNames(list), (std::vector<std::string>{"angel", "BLUE", "clown", "Clown", "clownfish"}));
    EXPECT_EQ(list.FindObject("Clown"), list.GetItem(3));
    EXPECT_EQ(list.FindObject("clown"), list.GetItem(2));
    EXPECT_EQ(list.FindObject("CLOWN"), nullptr);
    EXPECT_EQ(list.FindObject(""), nullptr);
    EXPECT_LT(TMainObjectList::CompareNames("abc", "ABC"), 0);
    EXPECT_GT(TMainObjectList::CompareNames("ABD", "abc"), 0);
    EXPECT_EQ(TMainObjectList::CompareNames("Same", "Same"), 0);
}

TEST(SceneObjects, RenameReKeysAndRefusesATakenName) {
    TResource list;
    list.SetName("List");
    TProbe* a = list.Add(std::make_unique<TProbe>("Alpha", nullptr));
    list.Add(std::make_unique<TProbe>("Beta", nullptr));
    a->SetName("Zeta");
    EXPECT_EQ(a->Name(), "Zeta");
    EXPECT_EQ(list.FindObject("Zeta"), a);
    EXPECT_EQ(list.FindObject("Alpha"), nullptr);
    EXPECT_EQ(ChildNames(list), (std::vector<std::string>{"Beta", "Zeta"}));

    a->SetName("Beta");  // taken: nothing changes
    EXPECT_EQ(a->Name(), "Zeta");
    EXPECT_EQ(ChildNames(list), (std::vector<std::string>{"Beta", "Zeta"}));

    TProbe loose("Loose", nullptr);
    loose.SetName("Free");
    EXPECT_EQ(loose.Name(), "Free");
}

// --- process options ------------------------------------------------------------------

TEST(SceneObjects, ProcessOptionsTextBothWays) {
    const std::map<TProcessOptions, std::string> forms = {
        {0, ""},
        {poRender, "[Render]"},
        {poAnimation, "[Animation]"},
        {poRender | poAnimation, "[Render,Animation]"},
        {poEvents, "[Events]"},
        {poRender | poEvents, "[Render,Events]"},
        {poAnimation | poEvents, "[Animation,Events]"},
        {poRender | poAnimation | poEvents, "[Render,Animation,Events]"},
    };
    for (const auto& [options, text] : forms) {
        EXPECT_EQ(ProcessOptionsToStr(options), text);
        EXPECT_EQ(StrToProcessOptions(text), options) << text;
    }
    // Member words anywhere in the text, spelt as written.
    EXPECT_EQ(StrToProcessOptions("Animation Render"), poRender | poAnimation);
    EXPECT_EQ(StrToProcessOptions("[render]"), 0);
    EXPECT_EQ(StrToProcessOptions(" "), 0);
}

TEST(SceneObjects, SceneSortsChildrenIntoProcessLists) {
    TLog log;
    TMainScene scene;
    scene.Add(std::make_unique<TProbe>("None", &log));
    scene.Add(std::make_unique<TProbe>("Drawn", &log, poRender));
    scene.Add(std::make_unique<TProbe>("Moved", &log, poAnimation));
    scene.Add(std::make_unique<TProbe>("All", &log, poRender | poAnimation | poEvents));
    EXPECT_EQ(ChildNames(*scene.RenderList), (std::vector<std::string>{"Drawn", "All"}));
    EXPECT_EQ(ChildNames(*scene.AnimationList), (std::vector<std::string>{"Moved", "All"}));
    EXPECT_EQ(ChildNames(*scene.EventList), (std::vector<std::string>{"All"}));

    // Animation does not look at Visible.
    scene.FindObject("Moved")->SetVisible(false);
    TGLRecorder rec;
    scene.Frame(0.25f);
    EXPECT_EQ(log, (TLog{"events:All@250", "animate:Moved@250", "animate:All@250", "begin:Drawn", "opaque:Drawn",
                         "end:Drawn", "begin:All", "opaque:All", "end:All"}));
}

// --- the scene's slots ---------------------------------------------------------------------

TEST(SceneObjects, RemovalLeavesAHoleAndKeepsSceneIndexes) {
    TLog log;
    TMainScene scene;
    TProbe* a = scene.Add(std::make_unique<TProbe>("A", &log, poRender | poAnimation));
    TProbe* b = scene.Add(std::make_unique<TProbe>("B", &log, poRender | poAnimation));
    TProbe* c = scene.Add(std::make_unique<TProbe>("C", &log, poRender | poAnimation));
    EXPECT_EQ(a->SceneIndex, 0);
    EXPECT_EQ(c->SceneIndex, 2);

    delete b;  // an owned child leaving on its own
    EXPECT_EQ(scene.GetCount(), 3);
    EXPECT_EQ(scene.LiveCount(), 2);
    EXPECT_EQ(scene.GetItem(1), nullptr);
    EXPECT_EQ(scene.GetItem(2), c);
    EXPECT_EQ(c->SceneIndex, 2);
    EXPECT_EQ(scene.FindObject("B"), nullptr);
    EXPECT_EQ(ChildNames(*scene.RenderList), (std::vector<std::string>{"A", "C"}));

    // Every pass and the settings walk step over the hole.
    TFakeHost host;
    scene.Application = &host;
    log.clear();
    TGLRecorder rec;
    scene.Frame(0);
    scene.LoadSettings();
    EXPECT_EQ(Only(log, "animate"), (TLog{"animate:A@0", "animate:C@0"}));
    EXPECT_EQ(Only(log, "load"), (TLog{"load:A", "load:C"}));

    scene.Remove(a);
    EXPECT_EQ(scene.GetItem(0), nullptr);
    EXPECT_EQ(a->Owner, &scene);  // Remove only drops the entries
    a->Owner = nullptr;
    delete a;
    log.clear();
    scene.FreeAll();
    EXPECT_EQ(log, (TLog{"free:C"}));
    EXPECT_EQ(scene.GetCount(), 0);
    EXPECT_EQ(scene.RenderList->GetCount(), 0);
}

TEST(SceneObjects, SceneFreesInReverseScriptOrder) {
    TLog log;
    TMainScene scene;
    for (const char* name : {"m", "z", "a", "k"}) scene.Add(std::make_unique<TProbe>(name, &log, poRender));
    scene.FreeItems(1);
    EXPECT_EQ(log, (TLog{"free:k"}));
    EXPECT_EQ(scene.RenderList->GetCount(), 3);
    scene.FreeAll();
    EXPECT_EQ(log, (TLog{"free:k", "free:a", "free:z", "free:m"}));
    EXPECT_TRUE(scene.AllObjects.empty());
    EXPECT_EQ(scene.RenderList->GetCount(), 0);
}

TEST(SceneObjects, DefaultsOfResourceAndScene) {
    TResource resource;
    EXPECT_FALSE(resource.Visible());
    EXPECT_EQ(resource.Path, ".\\");
    EXPECT_TRUE(resource.ChildrenInScript);
    EXPECT_TRUE(resource.Loadable);
    TMainScene scene;
    EXPECT_EQ(scene.Name(), "MainScene");
    EXPECT_TRUE(scene.Visible());
    EXPECT_TRUE(scene.Alpha);
    EXPECT_EQ(scene.MainScene, &scene);
    EXPECT_EQ(scene.RenderList->MainScene, &scene);
    EXPECT_EQ(scene.LoadSources, lsFiles);
}

TEST(SceneObjects, ChildrenLearnTheirSceneFromTheList) {
    TMainScene scene;
    auto list = std::make_unique<TResource>();
    list->SetName("Group");
    TResource* group = scene.Add(std::move(list));
    TProbe* leaf = group->Add(std::make_unique<TProbe>("Leaf", nullptr));
    EXPECT_EQ(group->MainScene, &scene);
    EXPECT_EQ(leaf->MainScene, &scene);
    EXPECT_EQ(leaf->Owner, group);
}

// --- paths ---------------------------------------------------------------------------

class ScenePaths : public ::testing::Test {
protected:
    void SetUp() override {
        auto textures = std::make_unique<TResource>();
        textures->SetName("Textures");
        Textures = scene.Add(std::move(textures));
        Water = Textures->Add(std::make_unique<TProbe>("water.jpg", nullptr));
        auto clock = std::make_unique<TResource>();
        clock->SetName("ClockResource");
        TResource* clockGroup = scene.Add(std::move(clock));
        auto sprites = std::make_unique<TResource>();
        sprites->SetName("ClockSprites");
        TResource* spriteList = clockGroup->Add(std::move(sprites));
        Plate = spriteList->Add(std::make_unique<TProbe>("Plate", nullptr));
    }
    TMainScene scene;
    TResource* Textures = nullptr;
    TProbe* Water = nullptr;
    TProbe* Plate = nullptr;
};

TEST_F(ScenePaths, FindObjectWalksNamesFromTheScene) {
    EXPECT_EQ(scene.FindObject("Textures/water.jpg"), Water);
    EXPECT_EQ(scene.FindObject("ClockResource/ClockSprites/Plate"), Plate);
    EXPECT_EQ(scene.FindObject("Textures"), Textures);
}

TEST_F(ScenePaths, FindObjectMisses) {
    EXPECT_EQ(scene.FindObject(""), nullptr);
    EXPECT_EQ(scene.FindObject("Textures/sand.jpg"), nullptr);    // last name missing
    EXPECT_EQ(scene.FindObject("Meshes/water.jpg"), nullptr);     // first name no child
    EXPECT_EQ(scene.FindObject("Textures//water.jpg"), nullptr);  // empty name
    EXPECT_EQ(scene.FindObject("Textures/water.jpg/x"), nullptr); // through a leaf
    EXPECT_EQ(scene.FindObject("MainScene/Textures"), nullptr);   // the scene is not part
    EXPECT_EQ(scene.FindObject("textures/water.jpg"), nullptr);
}

TEST_F(ScenePaths, RefferenceToStrIsTheInverse) {
    EXPECT_EQ(RefferenceToStr(&scene, Water), "Textures/water.jpg");
    EXPECT_EQ(RefferenceToStr(&scene, Plate), "ClockResource/ClockSprites/Plate");
    EXPECT_EQ(scene.FindObject(RefferenceToStr(&scene, Plate)), Plate);
    EXPECT_EQ(RefferenceToStr(&scene, nullptr), "");
}

TEST_F(ScenePaths, RefferenceToStrReportsABrokenOwnerChain) {
    // A plain object list does not make itself its children's owner.
    auto list = std::make_unique<TMainObjectList>();
    list->SetName("Plain");
    TMainObjectList* plain = Textures->Add(std::move(list));
    TProbe* orphan = plain->Add(std::make_unique<TProbe>("Orphan", nullptr));
    EXPECT_EQ(scene.FindObject("Textures/Plain/Orphan"), orphan);
    try {
        RefferenceToStr(&scene, orphan);
        FAIL() << "no error";
    } catch (const Exception& e) {
        EXPECT_STREQ(e.what(), "RefferenceToStr error: Owner is nil!");
    }
    TMainScene other;
    EXPECT_THROW(RefferenceToStr(&other, Water), Exception);
}

// --- rendering ---------------------------------------------------------------------------

TEST(SceneRender, CullsBackFacesAndResetsTheStateCache) {
    TLog log;
    TMainScene scene;
    scene.Add(std::make_unique<TProbe>("Shown", &log, poRender));
    TProbe* hidden = scene.Add(std::make_unique<TProbe>("Hidden", &log, poRender));
    hidden->SetVisible(false);

    TRenderStateCache& cache = TheRenderState();
    int dummy = 0;
    cache.CurrentTexture = reinterpret_cast<const TSceneTexture*>(&dummy);
    cache.CurrentGroupMaterial = reinterpret_cast<const TGroupMaterial*>(&dummy);
    TGLRecorder rec;
    scene.Render();
    EXPECT_TRUE(rec.Has("glEnable", {GL_CULL_FACE})) << rec.Text();
    EXPECT_EQ(cache.CurrentTexture, nullptr);
    EXPECT_EQ(cache.CurrentGroupMaterial, nullptr);
    EXPECT_EQ(log, (TLog{"begin:Shown", "opaque:Shown", "end:Shown"}));

    // An invisible scene does nothing at all.
    log.clear();
    rec.Clear();
    cache.CurrentTexture = reinterpret_cast<const TSceneTexture*>(&dummy);
    scene.SetVisible(false);
    scene.Render();
    EXPECT_TRUE(rec.Calls.empty());
    EXPECT_TRUE(log.empty());
    EXPECT_NE(cache.CurrentTexture, nullptr);
    cache.Reset();
}

TEST(SceneRender, BlendedPassRunsAfterOpaqueOnlyWithAlpha) {
    TLog log;
    TProbe solid("Solid", &log);
    solid.Render();
    TProbe glass("Glass", &log);
    glass.Alpha = true;
    glass.Render();
    EXPECT_EQ(log, (TLog{"begin:Solid", "opaque:Solid", "end:Solid", "begin:Glass", "opaque:Glass", "blended:Glass",
                         "end:Glass"}));
}

TEST(SceneRender, ListsDrawVisibleChildrenInNameOrder) {
    TLog log;
    TResource layer;
    layer.SetName("Layer");
    layer.Add(std::make_unique<TProbe>("b", &log))->Alpha = true;
    layer.Add(std::make_unique<TProbe>("a", &log));
    layer.Add(std::make_unique<TProbe>("c", &log))->SetVisible(false);
    layer.Render();  // a new resource starts invisible
    EXPECT_TRUE(log.empty());

    layer.SetVisible(true);
    layer.Render();
    EXPECT_EQ(log, (TLog{"begin:a", "opaque:a", "end:a", "begin:b", "opaque:b", "blended:b", "end:b"}));
    log.clear();
    // All opaque parts first, then all blended parts.
    layer.RenderOpaque();
    layer.RenderBlended();
    EXPECT_EQ(log, (TLog{"opaque:a", "opaque:b", "blended:a", "blended:b"}));
}

// --- settings ---------------------------------------------------------------------------------

TEST(SceneSettings, FpsFlagAndChildrenGoThroughTheHost) {
    TLog log;
    TFakeHost host;
    TMainScene scene;
    scene.Application = &host;
    scene.Add(std::make_unique<TProbe>("First", &log));
    scene.Add(std::make_unique<TProbe>("Second", &log));

    scene.LoadSettings();
    EXPECT_FALSE(scene.FPSShown());
    host.Values["FPS"] = "-1";
    scene.LoadSettings();
    EXPECT_TRUE(scene.FPSShown());
    EXPECT_EQ(log, (TLog{"load:First", "load:Second", "load:First", "load:Second"}));

    scene.ShowFPS(false);
    scene.SaveSettings();
    EXPECT_EQ(host.Values["FPS"], "0");
    EXPECT_EQ(Only(log, "save"), (TLog{"save:First", "save:Second"}));
}

// --- registry -----------------------------------------------------------------------------------

TEST(SceneRegistry, EngineClassesComeFirstAndMatchWithoutCase) {
    TClassRegistry& registry = TheClassRegistry();
    std::vector<std::string> names = registry.Names();
    ASSERT_GE(names.size(), 4u);
    EXPECT_EQ(std::vector<std::string>(names.begin(), names.begin() + 4),
              (std::vector<std::string>{"TMainItemList", "TMainObjectList", "TMainScene", "TResource"}));
    for (const auto& name : {"TMainItemList", "tmainobjectlist", "TMAINSCENE", "TResource"}) {
        auto object = registry.Create(name);
        ASSERT_NE(object, nullptr) << name;
        EXPECT_TRUE(str::SameText(object->ClassName(), name));
    }
    EXPECT_EQ(registry.Create("TSceneLayer"), nullptr);
    EXPECT_FALSE(registry.Contains("TMainObject"));
    // Each creation is a fresh instance with its class's defaults.
    auto resource = registry.Create("TResource");
    EXPECT_FALSE(resource->Visible());
}

TEST(SceneRegistry, RegisteringAgainReplacesTheFactory) {
    TClassRegistry registry;
    int made = 0;
    registry.Register("TProbeA", [&] { ++made; return std::unique_ptr<TMainObject>(new TProbe("1", nullptr)); });
    registry.Register("tprobea", [&] { made += 10; return std::unique_ptr<TMainObject>(new TProbe("2", nullptr)); });
    EXPECT_EQ(registry.Names(), (std::vector<std::string>{"TProbeA"}));
    EXPECT_EQ(registry.Create("TPROBEA")->Name(), "2");
    EXPECT_EQ(made, 10);
}
