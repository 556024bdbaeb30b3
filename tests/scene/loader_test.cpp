#include "scene/loader.h"

#include "core/archive.h"
#include "core/archive_packer.h"
#include "core/errors.h"
#include "scene/objects.h"
#include "scene/registry.h"
#include "test_support.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>

namespace fs = std::filesystem;

namespace {

// A script object with one key of every value kind.
class TTestObject : public TMainSceneObject {
public:
    std::string_view ClassName() const override { return "TTestObject"; }

    bool Flag = false;
    int32_t Number = 5;
    int32_t Hex = 0;
    float Real = 2.5f;
    std::string Text = "default";
    std::string Empty = "default";
    std::string Padded;
    TColor4f Color{0.1f, 0.2f, 0.3f, 0.4f};
    TByteColor ByteColor = 0x01020304;
    TVector3f Position{1, 2, 3};
    TMainObject* Link = nullptr;
    TMainObject* MissingLink = nullptr;
    std::string FileName;

    std::string BasePath() const {
        auto* list = dynamic_cast<TResource*>(Owner);
        return list ? list->Path : ".\\";
    }

    void ReadProperties(TResourceLoader& l) override {
        TMainSceneObject::ReadProperties(l);
        Flag = l.ReadBool("Flag", Flag);
        Number = l.ReadInteger("Number", Number);
        Hex = l.ReadInteger("Hex", Hex);
        Real = l.ReadFloat("Real", Real);
        Text = l.ReadString("Text", Text);
        Empty = l.ReadString("Empty", Empty);
        Padded = l.ReadString("Padded", Padded);
        Color = l.ReadColor("Color", Color);
        ByteColor = l.ReadByteColor("ByteColor", ByteColor);
        Position = l.ReadVector("Position", Position);
        Link = l.ReadReference("Link", Link);
        MissingLink = l.ReadReference("Missing Link", MissingLink);
        FileName = l.ReadFileName("FileName", BasePath(), FileName);
    }

    void WriteProperties(TResourceLoader& l) override {
        TMainSceneObject::WriteProperties(l);
        l.WriteBool("Flag", Flag);
        l.WriteInteger("Number", Number);
        l.WriteInteger("Hex", Hex);
        l.WriteFloat("Real", Real);
        l.WriteString("Text", Text);
        l.WriteString("Empty", Empty);
        l.WriteString("Padded", Padded);
        l.WriteColor("Color", Color);
        l.WriteByteColor("ByteColor", ByteColor);
        l.WriteVector("Position", Position);
        l.WriteReference("Link", Link);
        l.WriteReference("Missing Link", MissingLink);
        l.WriteFileName("FileName", BasePath(), FileName);
    }
};

const std::string DataFolder = std::string(MARIVELLE_TEST_DATA) + "/scene";

fs::path TempFolder(const std::string& name) { return ScratchDir("loader-" + name); }

// Loads the scene's script from text, as LoadFromFile does with one loader.
void LoadText(TMainScene& scene, const std::string& text) {
    TResourceLoader loader;
    loader.Scene = &scene;
    loader.Section = scene.Name();
    loader.OpenText(text);
    scene.ReadProperties(loader);
    loader.LoadChildren(scene);
}

std::string ErrorOf(TMainScene& scene, const std::string& text) {
    try {
        LoadText(scene, text);
    } catch (const Exception& e) {
        return e.what();
    }
    return "(no error)";
}

// Every object of the tree with the state the script gives it.
void Describe(const TMainScene& scene, const TMainObject& object, std::ostream& out, int depth = 0) {
    out << std::string(static_cast<size_t>(depth) * 2, ' ') << object.ClassName() << " " << object.Name()
        << " visible=" << object.Visible() << " alpha=" << object.Alpha;
    if (auto* so = dynamic_cast<const TMainSceneObject*>(&object)) out << " po=" << ProcessOptionsToStr(so->ProcessOptions);
    if (auto* r = dynamic_cast<const TResource*>(&object)) out << " path=" << r->Path << " source=" << r->SourceName;
    if (auto* t = dynamic_cast<const TTestObject*>(&object)) {
        out << " flag=" << t->Flag << " number=" << t->Number << " hex=" << t->Hex << " real=" << t->Real << " text=["
            << t->Text << "] empty=[" << t->Empty << "] padded=[" << t->Padded << "] color=" << ColorToStr(t->Color)
            << " byte=" << ByteColorToStr(t->ByteColor) << " pos=" << VectorToStr(t->Position)
            << " link=" << RefferenceToStr(&scene, t->Link) << " missing=" << RefferenceToStr(&scene, t->MissingLink)
            << " file=" << t->FileName;
    }
    out << "\n";
    if (auto* list = dynamic_cast<const TMainList*>(&object))
        for (int i = 0; i < list->GetCount(); ++i)
            if (auto* child = dynamic_cast<const TMainObject*>(list->GetItem(i))) Describe(scene, *child, out, depth + 1);
}

std::string Describe(const TMainScene& scene) {
    std::ostringstream out;
    Describe(scene, scene, out);
    return out.str();
}

// Runs each test in a folder of its choice and restores the reader.
class SceneLoader : public ::testing::Test {
protected:
    void SetUp() override {
        TheClassRegistry().Register<TTestObject>("TTestObject");
        Saved = fs::current_path();
        fs::current_path(DataFolder);
    }
    void TearDown() override { fs::current_path(Saved); }
    void UseArchive(const fs::path& file, const std::string& name, const std::string& content) {
        std::vector<uint8_t> bytes(content.begin(), content.end());
        std::vector<uint8_t> archive = PackArchive({TArchiveSource{name, bytes, ""}});
        WriteText(file, std::string(archive.begin(), archive.end()));
        TheResourceReader().CloseArchive();
        TheResourceReader().Mode = 1;
        TheResourceReader().ArchiveName = file.string();
    }
    template <class T = TTestObject>
    T* Get(const std::string& path) {
        auto* object = dynamic_cast<T*>(Scene.FindObject(path));
        EXPECT_NE(object, nullptr) << path;
        return object;
    }

    TClassRegistryGuard Registry;
    TResourceReaderGuard Reader;
    fs::path Saved;
    TMainScene Scene;
};

}  // namespace

// --- the script text --------------------------------------------------------------------

TEST(SceneScript, ParsesSectionsKeysAndComments) {
    TScript script = TScript::Parse(
        "key=before any section\n"
        "[ First ]\r\n"
        "  Key = value ; not a comment  \r\n"
        ";Key=commented out\n"
        "\tOther\t=\t\x01padded\x02 \n"
        "no equals sign here\n"
        "Key=second copy\n"
        "Blank=\n"
        "[]\n"
        "[second]\r"
        "x=1=2\r");
    EXPECT_EQ(script.Value("FIRST", "key") ? *script.Value("FIRST", "key") : "?", "value ; not a comment");
    EXPECT_EQ(*script.Value("first", "OTHER"), "padded");
    EXPECT_EQ(*script.Value("First", "Blank"), "");
    EXPECT_EQ(script.Value("First", "no equals sign here"), nullptr);
    EXPECT_EQ(*script.Value("Second", "X"), "1=2");
    EXPECT_EQ(script.Value("", "key"), nullptr);
    EXPECT_EQ(script.Value("Third", "x"), nullptr);
    ASSERT_EQ(script.Sections().size(), 3u);  // "[]" is a section named ""
    EXPECT_EQ(script.Sections()[0].Name, "First");
    EXPECT_EQ(script.Sections()[0].Lines.size(), 5u);
}

TEST(SceneScript, FirstSectionAndFirstKeyWin) {
    TScript script = TScript::Parse("[A]\nk=1\nK=2\n[a]\nk=3\nonly=4\n");
    EXPECT_EQ(*script.Value("A", "k"), "1");
    EXPECT_EQ(script.Value("A", "only"), nullptr);
}

TEST(SceneScript, WritesWhatItReads) {
    TScript script;
    script.SetValue("Root", "Count", "2");
    script.SetValue("Root1", "Type", "TResource");
    script.SetValue("root", "count", "3");  // the same key
    EXPECT_EQ(script.Text(), "[Root]\r\nCount=3\r\n\r\n[Root1]\r\nType=TResource\r\n");
    TScript again = TScript::Parse(script.Text());
    EXPECT_EQ(*again.Value("ROOT", "COUNT"), "3");
}

TEST(SceneScript, MegabyteLinesAreFine) {
    std::string big(1 << 20, 'x');
    TResourceLoader loader;
    loader.OpenText("[S]\nText=" + big + "\n");
    loader.Section = "S";
    EXPECT_EQ(loader.ReadString("Text", "").size(), big.size());
}

// --- reading values ------------------------------------------------------------------------

TEST_F(SceneLoader, ReadsEveryValueSyntax) {
    Scene.SourceName = "values.gsc";
    Scene.LoadFromFile();

    auto* probe = Get("Probe");
    ASSERT_NE(probe, nullptr);
    EXPECT_EQ(probe->ClassName(), "TTestObject");  // "type=ttestobject" matched
    EXPECT_EQ(probe->ProcessOptions, poRender | poAnimation);
    EXPECT_TRUE(probe->Alpha);
    EXPECT_TRUE(probe->Flag);  // the first of two Flag keys
    EXPECT_EQ(probe->Number, 31);
    EXPECT_EQ(probe->Hex, 255);
    EXPECT_FLOAT_EQ(probe->Real, 6000.0f);
    EXPECT_EQ(probe->Text, "a value; with a semicolon");
    EXPECT_EQ(probe->Empty, " ");
    EXPECT_EQ(probe->Padded, "tabs and blanks");
    EXPECT_FLOAT_EQ(probe->Color.r, 0.4f);
    EXPECT_FLOAT_EQ(probe->Color.g, 0.5f);
    EXPECT_FLOAT_EQ(probe->Color.b, 0.6f);
    EXPECT_FLOAT_EQ(probe->Color.a, 1.0f);
    EXPECT_EQ(probe->ByteColor, MakeByteColor(0, 106, 156, 255));
    EXPECT_FLOAT_EQ(probe->Position.x, 10);
    EXPECT_FLOAT_EQ(probe->Position.y, 0);
    EXPECT_FLOAT_EQ(probe->Position.z, 0);
    EXPECT_EQ(probe->Link, Scene.FindObject("Textures/water.jpg"));
    EXPECT_NE(probe->Link, nullptr);
    EXPECT_EQ(probe->MissingLink, nullptr);
    EXPECT_EQ(probe->FileName, ".\\bubble.3dm");

    // Malformed plain numbers keep their defaults.
    auto* defaults = Get("Defaults");
    ASSERT_NE(defaults, nullptr);
    EXPECT_FALSE(defaults->Flag);  // "1;"
    EXPECT_EQ(defaults->Number, 12);
    EXPECT_FLOAT_EQ(defaults->Real, 2.5f);  // "1,5"
    EXPECT_EQ(defaults->FileName, ".\\Other\\file.3dm");
    EXPECT_EQ(defaults->Link, nullptr);
    EXPECT_EQ(defaults->ProcessOptions, poEvents);
}

TEST_F(SceneLoader, BuildsListsInScriptOrderWithNestedSources) {
    Scene.SourceName = "values.gsc";
    Scene.LoadFromFile();

    ASSERT_EQ(Scene.GetCount(), 4);
    std::vector<std::string> names;
    for (int i = 0; i < Scene.GetCount(); ++i) names.push_back(dynamic_cast<TMainObject*>(Scene.GetItem(i))->Name());
    EXPECT_EQ(names, (std::vector<std::string>{"Textures", "Probe", "Defaults", "Sub"}));

    // [textures1] is found for the list "Textures".
    auto* textures = Get<TResource>("Textures");
    ASSERT_NE(textures, nullptr);
    EXPECT_EQ(textures->Path, ".\\Scene\\");
    EXPECT_TRUE(textures->Visible());
    EXPECT_EQ(textures->GetCount(), 2);
    EXPECT_EQ(Get("Textures/sand.jpg")->Visible(), false);
    EXPECT_EQ(Get("Textures/water.jpg")->Visible(), true);

    // Sub reloads itself from sub.gsc, whose root section is [Sub].
    auto* sub = Get<TResource>("Sub");
    ASSERT_NE(sub, nullptr);
    EXPECT_EQ(sub->SourceName, ".\\sub.gsc");
    EXPECT_TRUE(sub->Visible());
    auto* deep = Get("Sub/Deep");
    ASSERT_NE(deep, nullptr);
    EXPECT_EQ(deep->Number, -7);
    EXPECT_EQ(deep->Link, Scene.FindObject("Textures/sand.jpg"));
    EXPECT_EQ(deep->MainScene, &Scene);
    EXPECT_EQ(RefferenceToStr(&Scene, deep), "Sub/Deep");

    // Only the scene's direct children join its process lists.
    ASSERT_EQ(Scene.RenderList->GetCount(), 1);
    EXPECT_EQ(Scene.RenderList->GetItem(0), Get("Probe"));
    EXPECT_EQ(Scene.EventList->GetCount(), 1);
}

TEST_F(SceneLoader, ReferencesAndEmptyValuesThroughTheApi) {
    LoadText(Scene, "[MainScene]\nCount=1\n[MainScene1]\nType=TTestObject\nName=Target\n");
    TResourceLoader loader;
    loader.Scene = &Scene;
    loader.OpenText("[S]\nRef=Target\nBad=Nowhere\nEmpty=\nColor=0.5\nVector=1,2,x\nByte=1,2,256\n");
    loader.Section = "S";
    TMainObject* current = Scene.FindObject("Target");
    EXPECT_EQ(loader.ReadReference("Ref", nullptr), current);
    EXPECT_EQ(loader.ReadReference("Bad", current), nullptr);
    EXPECT_EQ(loader.ReadReference("Absent", current), current);
    EXPECT_EQ(loader.ReadReference("Empty", current), nullptr);
    EXPECT_EQ(loader.ReadString("Absent", "dflt"), "dflt");
    EXPECT_EQ(loader.ReadFileName("Absent", ".\\Scene\\", ""), "");
    EXPECT_EQ(loader.ReadFileName("Ref", ".\\Scene\\", ""), ".\\Scene\\Target");
    TColor4f c = loader.ReadColor("Color", {});
    EXPECT_FLOAT_EQ(c.r, 0.5f);
    EXPECT_FLOAT_EQ(c.g, 1.0f);
    EXPECT_FLOAT_EQ(c.a, 1.0f);
    EXPECT_THROW(loader.ReadVector("Vector", {}), EConvertError);
    EXPECT_THROW(loader.ReadByteColor("Byte", 0), EConvertError);
    EXPECT_EQ(loader.ReadByteColor("Absent", 42u), 42u);
}

// --- loader errors ---------------------------------------------------------------------------

TEST_F(SceneLoader, CreateObjectErrorsNameTheSection) {
    const std::string head = "[MainScene]\nCount=1\n[MainScene1]\n";
    {
        TMainScene s;
        EXPECT_EQ(ErrorOf(s, head + "Name=X\n"), "TResourceLoader.CreateObject error: Unknown Object Type! for MainScene1");
    }
    {
        TMainScene s;
        EXPECT_EQ(ErrorOf(s, head + "Type=\nName=X\n"),
                  "TResourceLoader.CreateObject error: Unknown Object Type! for MainScene1");
    }
    {
        TMainScene s;
        EXPECT_EQ(ErrorOf(s, head + "Type=TResource\n"),
                  "TResourceLoader.CreateObject error: Empty Object Name! for MainScene1");
    }
    {
        TMainScene s;
        EXPECT_EQ(ErrorOf(s, head + "Type=TResource\nName=\n"),
                  "TResourceLoader.CreateObject error: Empty Object Name! for MainScene1");
    }
    {
        TMainScene s;
        EXPECT_EQ(ErrorOf(s, head + "Type=TSceneLayer\nName=Layer\n"),
                  "TResourceLoader.CreateObject error: Object not created! for MainScene1 Type: TSceneLayer Name: Layer");
    }
}

TEST_F(SceneLoader, ARepeatedNameKeepsTheFirstChildAndFreesTheLater) {
    LoadText(Scene,
             "[MainScene]\nCount=3\n"
             "[MainScene1]\nType=TTestObject\nName=Twin\nNumber=1\nProcessOptions=[Render]\n"
             "[MainScene2]\nType=TTestObject\nName=Twin\nNumber=2\nProcessOptions=[Render,Animation]\n"
             "[MainScene3]\nType=TResource\nName=Group\nCount=3\n"
             "[Group1]\nType=TTestObject\nName=Fish\nNumber=3\n"
             "[Group2]\nType=TResource\nName=Fish\nCount=1\n"
             "[Group3]\nType=TTestObject\nName=fish\nNumber=4\n"
             "[Fish1]\nType=TTestObject\nName=Nested\n");
    EXPECT_EQ(Scene.LiveCount(), 2);
    EXPECT_EQ(Scene.GetCount(), 2);
    EXPECT_EQ(Get("Twin")->Number, 1);
    EXPECT_EQ(Scene.RenderList->GetCount(), 1);
    EXPECT_EQ(Scene.AnimationList->GetCount(), 0);
    // Names differing only in case are different names.
    auto* group = Get<TResource>("Group");
    ASSERT_NE(group, nullptr);
    EXPECT_EQ(group->GetCount(), 2);
    EXPECT_EQ(Get("Group/Fish")->Number, 3);
    EXPECT_EQ(Get("Group/fish")->Number, 4);
}

TEST_F(SceneLoader, CountOneTooManyFailsAtTheMissingSectionAndKeepsTheRest) {
    EXPECT_EQ(ErrorOf(Scene,
                      "[MainScene]\nCount=3\n"
                      "[MainScene1]\nType=TResource\nName=List\nCount=1\n"
                      "[List1]\nType=TTestObject\nName=Leaf\n"
                      "[mainscene2]\nType=TTestObject\nName=Two\n"),
              "TResourceLoader.CreateObject error: Unknown Object Type! for MainScene3");
    EXPECT_EQ(Scene.LiveCount(), 2);
    EXPECT_NE(Scene.FindObject("List/Leaf"), nullptr);
    EXPECT_NE(Scene.FindObject("Two"), nullptr);
}

TEST_F(SceneLoader, EmptyScriptsAndZeroCount) {
    LoadText(Scene, "[MainScene]\nCount=0\n[MainScene1]\nType=TTestObject\nName=Ignored\n");
    EXPECT_EQ(Scene.GetCount(), 0);
    LoadText(Scene, "");
    EXPECT_EQ(Scene.GetCount(), 0);
    LoadText(Scene, "[MainScene]\nCount=-4\n");
    EXPECT_EQ(Scene.GetCount(), 0);
}

TEST_F(SceneLoader, HugeCountAndCapacityDoNotAllocate) {
    EXPECT_EQ(ErrorOf(Scene, "[MainScene]\nCapacity=2000000000\nCount=2000000000\n"
                             "[MainScene1]\nType=TTestObject\nName=Only\n"),
              "TResourceLoader.CreateObject error: Unknown Object Type! for MainScene2");
    EXPECT_LE(Scene.GetCapacity(), TMainList::MaxReserve);
    EXPECT_EQ(Scene.LiveCount(), 1);
}

TEST_F(SceneLoader, ListsNestingIntoThemselvesFail) {
    // [Loop1] creates a list named Loop again, whose first child is [Loop1].
    std::string error = ErrorOf(Scene,
                                "[MainScene]\nCount=1\n"
                                "[MainScene1]\nType=TResource\nName=Loop\nCount=1\n"
                                "[Loop1]\nType=TResource\nName=Loop\nCount=1\n");
    EXPECT_NE(error.find("nested more than 64 levels"), std::string::npos) << error;
    EXPECT_NE(error.find("Loop1"), std::string::npos) << error;
}

TEST_F(SceneLoader, SharedSectionsThatBranchStopAtTheObjectLimit) {
    // Two lists per level, A and B, each holding the next level's A and B:
    // both read the same sections, so every level doubles the objects of
    // the next, 2^17 of them from a script of 63 sections.
    std::string text = "[MainScene]\nCount=2\n";
    for (int level = 0; level < 16; ++level) {
        const std::string next = std::to_string(level + 1) + "x";
        const std::string count = level == 15 ? "\nCount=0\n" : "\nCount=2\n";
        for (const std::string list : {"A", "B"}) {
            if (level == 0 && list == "B") break;
            const std::string owner = level == 0 ? "MainScene" : list + std::to_string(level) + "x";
            text += "[" + owner + "1]\nType=TResource\nName=A" + next + count;
            text += "[" + owner + "2]\nType=TResource\nName=B" + next + count;
        }
    }
    std::string error = ErrorOf(Scene, text);
    EXPECT_NE(error.find("More than 20000 objects in one load"), std::string::npos) << error;
    // The next load counts from zero again.
    LoadText(Scene, "[MainScene]\nCount=1\n[MainScene1]\nType=TTestObject\nName=Fine\n");
    EXPECT_NE(Scene.FindObject("Fine"), nullptr);
}

TEST_F(SceneLoader, ASourceFileNamingItselfFails) {
    fs::path dir = TempFolder("selfsource");
    WriteText(dir / "top.gsc", "[MainScene]\nCount=1\n[MainScene1]\nType=TResource\nName=Self\nSourceName=self.gsc\n");
    WriteText(dir / "self.gsc", "[Self]\nCount=1\n[Self1]\nType=TResource\nName=Self\nSourceName=self.gsc\n");
    fs::current_path(dir);
    Scene.SourceName = "top.gsc";
    try {
        Scene.LoadFromFile();
        FAIL() << "no error";
    } catch (const Exception& e) {
        EXPECT_NE(std::string(e.what()).find("nested more than 64 levels"), std::string::npos) << e.what();
    }
    // A fresh load starts counting from zero again.
    WriteText(dir / "top.gsc", "[MainScene]\nCount=1\n[MainScene1]\nType=TTestObject\nName=Fine\n");
    Scene.LoadFromFile();
    EXPECT_NE(Scene.FindObject("Fine"), nullptr);
}

TEST_F(SceneLoader, MissingDiskScriptRaisesMissingArchiveEntryIsEmpty) {
    Scene.SourceName = "no such file.gsc";
    EXPECT_THROW(Scene.LoadFromFile(), EFOpenError);

    fs::path dir = TempFolder("archive-missing");
    UseArchive(dir / "data.rfa", "other.txt", "hello");
    Scene.LoadSources = lsArchive;
    Scene.Alpha = false;
    Scene.LoadFromFile();
    EXPECT_EQ(Scene.GetCount(), 0);
    EXPECT_FALSE(Scene.Alpha);
}

TEST_F(SceneLoader, NothingLoadsWithoutSourcesOrWhenNotLoadable) {
    LoadText(Scene, "[MainScene]\nCount=1\n[MainScene1]\nType=TTestObject\nName=Kept\n");
    Scene.SourceName = "";
    Scene.LoadFromFile();  // files without a source name: nothing
    EXPECT_EQ(Scene.LiveCount(), 1);
    Scene.SourceName = "values.gsc";
    Scene.Loadable = false;
    Scene.LoadFromFile();
    EXPECT_EQ(Scene.LiveCount(), 1);
    Scene.Loadable = true;
    Scene.LoadSources = 0;
    Scene.LoadFromFile();
    EXPECT_EQ(Scene.LiveCount(), 1);
}

TEST_F(SceneLoader, DiskPropertiesOverrideTheArchiveAndDiskChildrenComeFirst) {
    fs::path dir = TempFolder("precedence");
    WriteText(dir / "pair.gsc",
              "[MainScene]\nVisible=1\nCount=1\n"
              "[MainScene1]\nType=TTestObject\nName=Shared\nNumber=1\n");
    UseArchive(dir / "data.rfa", "PAIR.GSC",
               "[MainScene]\nVisible=0\nAlpha=0\nCount=2\n"
               "[MainScene1]\nType=TTestObject\nName=Shared\nNumber=2\n"
               "[MainScene2]\nType=TTestObject\nName=ArchiveOnly\n");
    fs::current_path(dir);
    Scene.SourceName = "pair.gsc";
    Scene.LoadSources = lsFiles | lsArchive;
    Scene.LoadFromFile();

    EXPECT_TRUE(Scene.Visible());  // the disk's value
    EXPECT_FALSE(Scene.Alpha);     // only the archive names it
    // The archive's "Shared" comes second and is dropped.
    ASSERT_EQ(Scene.LiveCount(), 2);
    EXPECT_EQ(Get("Shared")->Number, 1);
    EXPECT_EQ(Scene.GetItem(1), Scene.FindObject("ArchiveOnly"));

    // Archive only: the disk file is not looked at.
    TMainScene archiveOnly;
    archiveOnly.SourceName = "pair.gsc";
    archiveOnly.LoadSources = lsArchive;
    archiveOnly.LoadFromFile();
    EXPECT_FALSE(archiveOnly.Visible());
    EXPECT_EQ(archiveOnly.LiveCount(), 2);
}

// --- writing ---------------------------------------------------------------------------------

TEST(SceneWriter, ValueForms) {
    TMainScene scene;
    auto group = std::make_unique<TResource>();
    group->SetName("Group");
    TResource* g = scene.Add(std::move(group));
    auto leaf = std::make_unique<TResource>();
    leaf->SetName("Leaf");
    TResource* l = g->Add(std::move(leaf));

    TResourceLoader loader;
    loader.Scene = &scene;
    loader.CreateForWriting();
    loader.Section = "S";
    loader.WriteBool("T", true);
    loader.WriteBool("F", false);
    loader.WriteInteger("I", -12);
    loader.WriteFloat("R", 6000.0f);
    loader.WriteFloat("Small", 0.5f);
    loader.WriteColor("C", {0.4f, 0.4f, 0.4f, 1});
    loader.WriteByteColor("B", MakeByteColor(0, 106, 156, 255));
    loader.WriteVector("V", {-1, -1, -1});
    loader.WriteReference("Ref", l);
    loader.WriteReference("None", nullptr);
    loader.WriteString("Empty", "");
    loader.WriteFileName("Bare", ".\\Scene\\", ".\\Scene\\bubble.3dm");
    loader.WriteFileName("Full", ".\\Scene\\", ".\\Other\\bubble.3dm");
    EXPECT_EQ(loader.Script()->Text(),
              "[S]\r\nT=1\r\nF=0\r\nI=-12\r\nR=6000\r\nSmall=0.5\r\nC=0.4,0.4,0.4,1\r\nB=0,106,156,255\r\n"
              "V=-1,-1,-1\r\nRef=Group/Leaf\r\nBare=bubble.3dm\r\nFull=.\\Other\\bubble.3dm\r\n");
    loader.Modified = false;  // no file to write
}

TEST_F(SceneLoader, SaveThenLoadGivesTheSameTree) {
    fs::path dir = TempFolder("roundtrip");
    fs::copy_file("values.gsc", dir / "values.gsc");
    fs::copy_file("sub.gsc", dir / "sub.gsc");
    fs::current_path(dir);
    Scene.SourceName = "values.gsc";
    Scene.LoadFromFile();
    std::string before = Describe(Scene);

    Scene.SaveToFile();
    std::string saved = ReadText(dir / "values.gsc");
    EXPECT_NE(saved.find("[MainScene]\r\nType=TMainScene\r\nName=MainScene\r\n"), std::string::npos) << saved;
    EXPECT_NE(saved.find("[MainScene4]\r\nType=TResource\r\nName=Sub\r\n"), std::string::npos) << saved;
    EXPECT_NE(saved.find("SourceName=sub.gsc"), std::string::npos) << saved;
    EXPECT_NE(saved.find("ProcessOptions=[Render,Animation]"), std::string::npos) << saved;
    EXPECT_NE(saved.find("Path=.\\Scene\\"), std::string::npos) << saved;
    EXPECT_EQ(ReadText(dir / "sub.gsc").find("[Sub]\r\nType=TResource\r\nName=Sub\r\n"), 0u);

    TMainScene again;
    again.SourceName = "values.gsc";
    again.LoadFromFile();
    EXPECT_EQ(Describe(again), before);
    EXPECT_NE(before.find("Deep"), std::string::npos);
}

TEST_F(SceneLoader, SaveSkipsRemovedChildrenAndHeaderOmitsDefaults) {
    fs::path dir = TempFolder("holes");
    fs::current_path(dir);
    LoadText(Scene, "[MainScene]\nCount=3\n"
                    "[MainScene1]\nType=TTestObject\nName=A\n"
                    "[MainScene2]\nType=TTestObject\nName=B\n"
                    "[MainScene3]\nType=TTestObject\nName=C\nVisible=0\n");
    delete Scene.FindObject("B");
    Scene.SourceName = "out.gsc";
    Scene.SaveToFile();
    TScript saved = TScript::Parse(ReadText(dir / "out.gsc"));
    EXPECT_EQ(*saved.Value("MainScene", "Count"), "2");
    EXPECT_EQ(*saved.Value("MainScene2", "Name"), "C");
    EXPECT_EQ(*saved.Value("MainScene2", "Visible"), "0");
    EXPECT_EQ(saved.Value("MainScene1", "Visible"), nullptr);
    EXPECT_EQ(saved.Value("MainScene1", "ProcessOptions"), nullptr);
    EXPECT_EQ(saved.Value("MainScene1", "Alpha"), nullptr);
    EXPECT_EQ(saved.Value("MainScene3", "Type"), nullptr);

    // Saving needs files among the sources.
    fs::remove(dir / "out.gsc");
    Scene.LoadSources = lsArchive;
    Scene.SaveToFile();
    EXPECT_FALSE(fs::exists(dir / "out.gsc"));
}
