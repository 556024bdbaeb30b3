#include "scene/visuals.h"

#include "render/gl_recorder.h"
#include "core/errors.h"
#include "scene/loader.h"

#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <string>
#include <vector>

namespace {

// A visual that marks each of its passes in the GL log (glCallList 1 for
// opaque, 2 for blended) and counts its animation steps.
class TProbeVisual : public TMainObject {
public:
    explicit TProbeVisual(bool blended) { Alpha = blended; }
    void RenderOpaque() override { gl.CallList(1); }
    void RenderBlended() override { gl.CallList(2); }
    void Animate(float deltaTime) override {
        ++Steps;
        Seconds += deltaTime;
    }
    int Steps = 0;
    float Seconds = 0;
};

// The GL calls as "name a,b,c" lines, without the culling switch.
std::vector<std::string> Log(const TGLRecorder& rec) {
    std::vector<std::string> lines;
    for (const TGLCall& c : rec.Calls) {
        if (std::strcmp(c.Name, "glEnable") == 0) continue;
        std::string line = c.Name;
        for (size_t i = 0; i < c.Args.size(); ++i) {
            char number[32];
            std::snprintf(number, sizeof number, "%g", c.Args[i]);
            line += (i ? "," : " ") + std::string(number);
        }
        lines.push_back(line);
    }
    return lines;
}

class VisualTest : public ::testing::Test {
protected:
    VisualTest() {
        auto visuals = std::make_unique<TResource>();
        visuals->SetName("Visuals");
        TResource* list = scene.Add(std::move(visuals));
        auto solid = std::make_unique<TProbeVisual>(false);
        solid->SetName("Solid");
        Solid = list->Add(std::move(solid));
        auto glass = std::make_unique<TProbeVisual>(true);
        glass->SetName("Glass");
        Glass = list->Add(std::move(glass));
    }

    TMainObject* Load(const std::string& text, const std::string& section) {
        TResourceLoader loader;
        loader.Scene = &scene;
        loader.OpenText(text);
        loader.Section = section;
        TMainObject* object = scene.Add(loader.CreateObject());
        object->ReadProperties(loader);
        if (auto* list = dynamic_cast<TResource*>(object)) loader.LoadChildren(*list);
        return object;
    }

    TMainVisualObject* Child(TMainVisualObjectList& list, const std::string& name, TVector3f position) {
        auto child = std::make_unique<TMainVisualObject>();
        child->SetName(name);
        child->Position = position;
        return list.Add(std::move(child));
    }

    TGLRecorder rec;
    TMainScene scene;
    TProbeVisual* Solid = nullptr;
    TProbeVisual* Glass = nullptr;
};

TEST(VisualOptionsText, EveryCombinationReadsBack) {
    const char* texts[8] = {"[]",      "[Position]",       "[Rotation]",       "[Position,Rotation]",
                            "[Scale]", "[Position,Scale]", "[Rotation,Scale]", "[Position,Rotation,Scale]"};
    for (TVisualOptions options = 0; options < 8; ++options) {
        EXPECT_EQ(VisualOptionsToStr(options), texts[options]);
        EXPECT_EQ(StrToVisualOptions(texts[options]), options);
    }
    EXPECT_EQ(StrToVisualOptions("Scale and Position"), voScale | voPosition);
}

TEST_F(VisualTest, TransformIsTranslateThenYXZRotationThenScale) {
    auto* object = dynamic_cast<TMainVisualObject*>(
        Load("[Digit]\nType=TMainVisualObject\nName=Digit\nVisualOptions=[Position,Rotation,Scale]\n"
             "Position=12,63,0\nScale=1,2,3\nAngles=10,20,30\nVisual=Visuals/Solid\n",
             "Digit"));
    ASSERT_NE(object, nullptr);
    EXPECT_EQ(object->Visual, Solid);
    object->RenderOpaque();
    EXPECT_EQ(Log(rec), (std::vector<std::string>{"glPushMatrix", "glTranslatef 12,63,0", "glRotatef 20,0,1,0",
                                                  "glRotatef 10,1,0,0", "glRotatef 30,0,0,1", "glScalef 1,2,3",
                                                  "glCallList 1", "glPopMatrix"}));
    rec.Clear();
    object->RenderBlended();
    EXPECT_EQ(Log(rec)[6], "glCallList 2");
}

TEST_F(VisualTest, OptionsChooseTheTransformParts) {
    // Missing key: position and rotation, no scale.
    auto* object = dynamic_cast<TMainVisualObject*>(
        Load("[O]\nType=TMainVisualObject\nName=O\nScale=5,5,5\nVisual=Visuals/Solid\n", "O"));
    EXPECT_EQ(object->VisualOptions, voPosition | voRotation);
    object->RenderOpaque();
    EXPECT_EQ(rec.Count("glScalef"), 0);
    EXPECT_EQ(rec.Count("glRotatef"), 3);

    // No options: drawn with no transform of its own, matrix stack untouched.
    rec.Clear();
    object->VisualOptions = 0;
    object->RenderOpaque();
    EXPECT_EQ(Log(rec), (std::vector<std::string>{"glCallList 1"}));

    // A reference to nothing: no visual, nothing drawn.
    rec.Clear();
    auto* lost = dynamic_cast<TMainVisualObject*>(
        Load("[X]\nType=TMainVisualObject\nName=X\nVisual=Visuals/Nothing\n", "X"));
    EXPECT_EQ(lost->Visual, nullptr);
    lost->RenderOpaque();
    lost->RenderBlended();
    lost->Animate(1);
    EXPECT_TRUE(rec.Calls.empty());
}

TEST_F(VisualTest, InheritedRenderKeepsTheMatrixStackBalanced) {
    // Drawn by the scene itself, the object's transform applies twice (its
    // own Begin/End around the passes' own), and every push is popped.
    Load("[O]\nType=TMainVisualObject\nName=O\nProcessOptions=[Render,Animation]\nAlpha=1\n"
         "Visual=Visuals/Glass\nPosition=1,2,3\n",
         "O");
    scene.Frame(0.25f);
    EXPECT_EQ(rec.Count("glPushMatrix"), 3);
    EXPECT_EQ(rec.Count("glPopMatrix"), 3);
    EXPECT_EQ(rec.Count("glCallList"), 2);
    EXPECT_EQ(Glass->Steps, 1);
    EXPECT_FLOAT_EQ(Glass->Seconds, 0.25f);
}

TEST_F(VisualTest, ListDrawsTheVisualOncePerChildOpaqueFirst) {
    auto* list = dynamic_cast<TMainVisualObjectList*>(
        Load("[School]\nType=TMainVisualObjectList\nName=School\nProcessOptions=[Render,Animation]\n"
             "Visual=Visuals/Glass\nCount=2\n"
             "[School1]\nType=TMainVisualObject\nName=B\nPosition=2,0,0\nVisualOptions=[Position]\n"
             "[School2]\nType=TMainVisualObject\nName=A\nPosition=1,0,0\nVisualOptions=[Position]\n",
             "School"));
    ASSERT_NE(list, nullptr);
    EXPECT_TRUE(list->Visible());
    EXPECT_FALSE(list->Alpha);
    scene.Frame(0.5f);
    EXPECT_TRUE(list->Alpha) << "taken from the visual";
    // Children in name order; all opaque instances before the blended ones;
    // the list itself applies no transform.
    EXPECT_EQ(Log(rec),
              (std::vector<std::string>{"glPushMatrix", "glTranslatef 1,0,0", "glCallList 1", "glPopMatrix",
                                        "glPushMatrix", "glTranslatef 2,0,0", "glCallList 1", "glPopMatrix",
                                        "glPushMatrix", "glTranslatef 1,0,0", "glCallList 2", "glPopMatrix",
                                        "glPushMatrix", "glTranslatef 2,0,0", "glCallList 2", "glPopMatrix"}));
    // The shared visual steps once per frame, not once per child.
    EXPECT_EQ(Glass->Steps, 1);

    // An opaque visual: no blended pass at all.
    rec.Clear();
    list->Visual = Solid;
    scene.Frame(0.5f);
    EXPECT_FALSE(list->Alpha);
    EXPECT_EQ(rec.Count("glCallList"), 2);
    EXPECT_EQ(Solid->Steps, 1);

    // Invisible: not drawn, still animated.
    rec.Clear();
    list->SetVisible(false);
    scene.Frame(0.5f);
    EXPECT_EQ(rec.Count("glCallList"), 0);
    EXPECT_EQ(Solid->Steps, 2);
}

TEST_F(VisualTest, EmptyListDoesNotAnimateItsVisual) {
    auto* list = dynamic_cast<TMainVisualObjectList*>(
        Load("[Empty]\nType=TMainVisualObjectList\nName=Empty\nProcessOptions=[Animation]\nVisual=Visuals/Solid\n",
             "Empty"));
    scene.Frame(1);
    EXPECT_EQ(Solid->Steps, 0);
    Child(*list, "One", {});
    scene.Frame(1);
    EXPECT_EQ(Solid->Steps, 1);
}

TEST_F(VisualTest, UnsortedListKeepsTheOrderOfAddition) {
    TMainVisualObjectList list;
    list.MainScene = &scene;
    list.Visual = Solid;
    Child(list, "Yellow Tang", {3, 0, 0});
    Child(list, "Clown", {2, 0, 0});
    TMainVisualObject* auriga = Child(list, "Auriga Butterflyfish", {1, 0, 0});
    EXPECT_EQ(list.GetItem(0), auriga) << "sorted by name by default";

    list.SetSorted(false);
    EXPECT_FALSE(list.Sorted());
    EXPECT_EQ(dynamic_cast<TMainObject*>(list.GetItem(0))->Name(), "Yellow Tang");
    EXPECT_EQ(list.GetItem(2), auriga);
    EXPECT_EQ(list.FindObject("Clown"), list.GetItem(1)) << "lookup by name still works";
    list.RenderOpaque();
    EXPECT_TRUE(rec.Has("glTranslatef", {3, 0, 0}));
    EXPECT_EQ(rec.Calls[1].Args[0], 3);

    // Removing and freeing keep both orders in step.
    delete list.GetItem(1);
    EXPECT_EQ(list.GetCount(), 2);
    EXPECT_EQ(list.GetItem(1), auriga);
    EXPECT_EQ(list.FindObject("Clown"), nullptr);
    list.FreeItems(1);  // the last one added
    ASSERT_EQ(list.GetCount(), 1);
    EXPECT_EQ(dynamic_cast<TMainObject*>(list.GetItem(0))->Name(), "Yellow Tang");
    EXPECT_THROW(list.GetItem(1), Exception);
    Child(list, "Clown", {});
    list.SetSorted(true);
    EXPECT_EQ(dynamic_cast<TMainObject*>(list.GetItem(0))->Name(), "Clown");
    list.FreeAll();
    EXPECT_EQ(list.GetCount(), 0);
    list.SetSorted(false);
    EXPECT_EQ(list.GetCount(), 0);
}

TEST_F(VisualTest, PropertiesWriteBackAndReadAgain) {
    auto* list = dynamic_cast<TMainVisualObjectList*>(
        Load("[School]\nType=TMainVisualObjectList\nName=School\nVisual=Visuals/Glass\nCount=1\n"
             "[School1]\nType=TMainVisualObject\nName=A\nPosition=1,2,3\nScale=4,5,6\nAngles=7,8,9\n"
             "VisualOptions=[Rotation,Scale]\nVisual=Visuals/Solid\n",
             "School"));
    TResourceLoader writer;
    writer.Scene = &scene;
    writer.CreateForWriting();
    writer.Section = "School";
    writer.WriteHeader(*list);
    list->WriteProperties(writer);
    writer.SaveChildren(*list);
    const std::string text = writer.Script()->Text();
    EXPECT_EQ(*writer.Script()->Value("School", "Visual"), "Visuals/Glass");
    EXPECT_EQ(*writer.Script()->Value("School1", "VisualOptions"), "[Rotation,Scale]");
    EXPECT_EQ(*writer.Script()->Value("School1", "Angles"), "7,8,9");

    delete list;  // leaves the scene on the way
    auto* copy = dynamic_cast<TMainVisualObjectList*>(Load(text, "School"));
    ASSERT_NE(copy, nullptr);
    EXPECT_EQ(copy->Visual, Glass);
    auto* child = dynamic_cast<TMainVisualObject*>(copy->FindObject("A"));
    ASSERT_NE(child, nullptr);
    EXPECT_EQ(child->VisualOptions, voRotation | voScale);
    EXPECT_EQ(child->Scale.y, 5);
    EXPECT_EQ(child->Angles.z, 9);
    EXPECT_EQ(child->Position.x, 1);
    EXPECT_EQ(child->Visual, Solid);
}

}  // namespace
