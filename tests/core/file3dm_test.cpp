#include "core/file3dm.h"

#include "core/archive.h"
#include "core/errors.h"
#include "core/strutil.h"
#include "test_support.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>

namespace {

std::string Join(const std::vector<std::string>& lines, const char* eol = "\n") {
    std::string text;
    for (const auto& l : lines) text += l + eol;
    return text;
}

// The bubble quad as exported, with the odd blank line, trailing blanks and
// CR LF endings real exports carry.
const std::vector<std::string> Bubble = {
    "#Header 1",
    "Version 1",
    "#MaterialCount 1",
    "Count 1",
    "#MaterialStandard 17",
    "Name Puzir01",
    "ShaderType 1 Blinn",
    "Faceted false",
    "WireSize 0",
    "TwoSided false",
    "OpacityType 0",
    "Opacity 100.0",
    "selfIllumColor (color 0 0 0)",
    "selfIllumAmount 0.0",
    "Ambient (color 45.6662 16.6665 16.6665)",
    "Diffuse (color 129 129 129)",
    "Specular (color 229.5 229.5 229.5)",
    "SpecularLevel 5.0",
    "Glossiness 25.0",
    "DiffuseMap bubble.jpg",
    "OpacityMap bubblea.jpg",
    "BumpMap undefined",
    "ReflectionMap undefined",
    "#Object 1",
    "Name Puzir01",
    "",
    "#Transform 4",
    "(matrix3 [1,0,0] [0,0,1] [0,-1,0] [0,-6.38976e-007,2.5])",
    "Position [0,-6.38976e-007,2.5]",
    "Rotation (quat -0.707107 0 0 0.707107)",
    "Scale [1,1,1]",
    "#Vertices 4",
    "[-100,-100,0]",
    "[100,-100,0]   ",
    "  [100,100,0]",
    "[-100,100,0]",
    "#VertexFaces 2",
    "[3,4,1]",
    "[2,3,1]",
    "#Material 1",
    "Name Puzir01",
    "#FaceMatID 2",
    "1",
    "1",
    "#Normals 4",
    "[0,0,1]",
    "[0,0,1]",
    "[0,0,1]",
    "[0,0,1]",
    "#TextureCoords 4",
    "[0.000499547,0.000499547,0.5]",
    "[0.9995,0.000499547,0.5]",
    "[0.9995,0.9995,0.5]",
    "[0.000499547,0.9995,0.5]",
    "#TextureCoordFaces 2",
    "[3,4,1]",
    "[2,3,1]",
};

void ExpectBubble(const T3DMFile& f) {
    EXPECT_EQ(f.Version, 1);
    ASSERT_EQ(f.ObjectCount(), 1);
    const T3DMObject& o = f.GetObject(0);
    EXPECT_EQ(o.Name, "Puzir01");
    ASSERT_EQ(o.Vertices.size(), 4u);
    EXPECT_FLOAT_EQ(o.Vertices[1].x, 100);
    EXPECT_FLOAT_EQ(o.Vertices[1].y, -100);
    EXPECT_FLOAT_EQ(o.Vertices[2].y, 100);
    ASSERT_EQ(o.VertexFaces.size(), 2u);
    EXPECT_EQ(o.VertexFaces[0].a, 3);
    EXPECT_EQ(o.VertexFaces[0].b, 4);
    EXPECT_EQ(o.VertexFaces[0].c, 1);
    ASSERT_EQ(o.TexCoordFaces.size(), 2u);
    EXPECT_EQ(o.TexCoordFaces[1].b, 3);
    ASSERT_EQ(o.TexCoords.size(), 4u);
    EXPECT_FLOAT_EQ(o.TexCoords[1].u, 0.9995f);
    EXPECT_FLOAT_EQ(o.TexCoords[1].v, 0.000499547f);
    ASSERT_EQ(o.Normals.size(), 4u);
    EXPECT_FLOAT_EQ(o.Normals[3].z, 1);
    EXPECT_TRUE(o.HasNormals);
    EXPECT_TRUE(o.HasTexCoords);
    EXPECT_FALSE(o.HasColors);
    EXPECT_TRUE(o.HasTransform);
    EXPECT_FLOAT_EQ(o.Matrix[1][2], 1);
    EXPECT_FLOAT_EQ(o.Matrix[2][1], -1);
    EXPECT_FLOAT_EQ(o.Matrix[3][1], -6.38976e-7f);
    EXPECT_FLOAT_EQ(o.Matrix[3][2], 2.5f);
    EXPECT_EQ(o.FaceMaterialIds, (std::vector<int32_t>{1, 1}));
    EXPECT_EQ(o.MaterialName, "Puzir01");
    EXPECT_EQ(o.Frames.Count(), 0);

    ASSERT_EQ(f.Materials.Count(), 1);
    auto* m = dynamic_cast<T3DMMaterialStandard*>(f.Materials.GetMaterial(0));
    ASSERT_NE(m, nullptr);
    EXPECT_EQ(m->Name(), "Puzir01");
    EXPECT_EQ(m->Owner(), &f.Materials);
    EXPECT_EQ(f.Materials.FindMaterial("PUZIR01"), m);
    EXPECT_EQ(m->ShaderType, 1);
    EXPECT_FLOAT_EQ(m->Opacity, 100);
    EXPECT_FLOAT_EQ(m->SpecularLevel, 5);
    EXPECT_FLOAT_EQ(m->Glossiness, 25);
    EXPECT_FLOAT_EQ(m->Ambient.r, 45.6662f);
    EXPECT_FLOAT_EQ(m->Ambient.b, 16.6665f);
    EXPECT_FLOAT_EQ(m->Diffuse.g, 129);
    EXPECT_FLOAT_EQ(m->Specular.b, 229.5f);
    EXPECT_EQ(m->DiffuseMap, "bubble.jpg");
    EXPECT_EQ(m->OpacityMap, "bubblea.jpg");
    EXPECT_EQ(m->BumpMap, "");
    EXPECT_EQ(m->ReflectionMap, "");
}

TEST(T3DMFileParse, BubbleFile) {
    T3DMFile f;
    f.LoadFromText(Join(Bubble, "\r\n"));
    ExpectBubble(f);
    // Loading again replaces, it does not add.
    f.LoadFromLines(Bubble);
    ExpectBubble(f);
    f.LoadFromText("");
    EXPECT_EQ(f.ObjectCount(), 0);
    EXPECT_EQ(f.Materials.Count(), 0);
    EXPECT_EQ(f.Version, 0);
}

TEST(T3DMFileParse, LastMatrixLineOfTransformWinsAndStrayLinesAreSkipped) {
    T3DMFile f;
    f.LoadFromLines({
        "#Object 1",
        "Name Fish",
        "#Transform 4",
        ";(matrix3 [9,9,9] [9,9,9] [9,9,9] [9,9,9])",
        "(matrix3 [1,0,0] [0,0,1] [0,-1,0] [5,6])",
        "Position [5,6,0]",
        "Rotation (quat 0 0 0 1)",
        "Scale [1,1,1]",
        "#Vertices 1",
        "[1,2,3]",
    });
    ASSERT_EQ(f.ObjectCount(), 1);
    const T3DMObject& o = f.GetObject(0);
    EXPECT_TRUE(o.HasTransform);
    EXPECT_FLOAT_EQ(o.Matrix[0][0], 1);
    EXPECT_FLOAT_EQ(o.Matrix[1][2], 1);
    EXPECT_FLOAT_EQ(o.Matrix[2][1], -1);
    EXPECT_FLOAT_EQ(o.Matrix[3][0], 5);
    EXPECT_FLOAT_EQ(o.Matrix[3][1], 6);
    // Missing in the second line: 0, not the 9 of the first.
    EXPECT_FLOAT_EQ(o.Matrix[3][2], 0);
    ASSERT_EQ(o.Vertices.size(), 1u);
    EXPECT_FLOAT_EQ(o.Vertices[0].z, 3);
}

TEST(T3DMFileParse, MatrixNumbersBeyondFourRowsOfThreeAreDropped) {
    std::string line = "(matrix3 [1,2,3,4] [5,6,7] [8,9,10] [11,12,13]";
    // A long tail must neither overrun the matrix nor take long.
    for (int i = 0; i < 200000; ++i) line += " [1,1,1]";
    line += ")";
    T3DMFile f;
    f.LoadFromLines({"#Object 0", "#Transform 1", line});
    const T3DMObject& o = f.GetObject(0);
    EXPECT_FLOAT_EQ(o.Matrix[0][2], 3);
    EXPECT_FLOAT_EQ(o.Matrix[1][0], 5);
    EXPECT_FLOAT_EQ(o.Matrix[3][2], 13);
}

TEST(T3DMFileParse, MaterialValues) {
    T3DMFile f;
    f.LoadFromLines({
        "#MaterialStandard 7",
        "Name M",
        "OpacityMap ",
        "DiffuseMap UNDEFINED",
        "BumpMap bump map.jpg",
        "ShaderType 2",
        "Faceted T",
        "TwoSided yes",
    });
    auto* m = dynamic_cast<T3DMMaterialStandard*>(f.Materials.FindMaterial("m"));
    ASSERT_NE(m, nullptr);
    EXPECT_EQ(m->OpacityMap, "");
    EXPECT_EQ(m->DiffuseMap, "");
    EXPECT_EQ(m->BumpMap, "bump map.jpg");
    EXPECT_EQ(m->ShaderType, 2);
    EXPECT_TRUE(m->Faceted);
    EXPECT_FALSE(m->TwoSided);
}

TEST(T3DMFileParse, ColorsAndTexturePairs) {
    T3DMFile f;
    f.LoadFromLines({
        "#Object 0",
        "#Colors 2",
        "(color 1 2 3)",
        "(color 255 128.5 0)",
        "#ColorFaces 1",
        "[1,2,1]",
        "#TextureCoords 2",
        "[0.25,0.75]",
        "[0.5,1,7]",
    });
    const T3DMObject& o = f.GetObject(0);
    EXPECT_TRUE(o.HasColors);
    ASSERT_EQ(o.Colors.size(), 2u);
    EXPECT_FLOAT_EQ(o.Colors[0].b, 3);
    EXPECT_FLOAT_EQ(o.Colors[1].g, 128.5f);
    ASSERT_EQ(o.ColorFaces.size(), 1u);
    EXPECT_EQ(o.ColorFaces[0].b, 2);
    ASSERT_EQ(o.TexCoords.size(), 2u);
    EXPECT_FLOAT_EQ(o.TexCoords[0].u, 0.25f);
    EXPECT_FLOAT_EQ(o.TexCoords[0].v, 0.75f);
    EXPECT_FLOAT_EQ(o.TexCoords[1].v, 1);
}

// An object with three vertices animated over nine frames.
std::vector<std::string> AnimatedFile(const std::string& loop, const std::string& animMeshCount) {
    std::vector<std::string> lines = {
        "#Object 1", "Name Fish", "#Vertices 3", "[0,0,0]", "[1,0,0]", "[0,1,0]",
        "#Animation 2", "Length 9", "Loop " + loop, "#AnimMesh " + animMeshCount,
    };
    for (int frame = 0; frame < 9; ++frame) {
        lines.push_back("Frame " + std::to_string(frame));
        if (frame == 4) lines.push_back("");  // empty lines do not count
        for (int v = 0; v < 3; ++v) lines.push_back("[" + std::to_string(frame) + "," + std::to_string(v) + ",0]");
    }
    lines.insert(lines.end(), {"#Object 1", "Name Second"});
    return lines;
}

TEST(T3DMFileParse, AnimMeshReadsEveryFrameWhateverItsHeaderSays) {
    T3DMFile f;
    f.LoadFromLines(AnimatedFile("true", "2"));
    ASSERT_EQ(f.ObjectCount(), 2);
    const T3DMObject& o = f.GetObject(0);
    EXPECT_TRUE(o.Frames.Loop);
    ASSERT_EQ(o.Frames.Count(), 9);
    for (int frame = 0; frame < 9; ++frame) {
        ASSERT_EQ(o.Frames.Frame(frame).size(), 3u);
        EXPECT_FLOAT_EQ(o.Frames.Frame(frame)[2].x, static_cast<float>(frame));
        EXPECT_FLOAT_EQ(o.Frames.Frame(frame)[2].y, 2);
    }
    EXPECT_EQ(f.GetObject(1).Name, "Second");
}

TEST(T3DMFileParse, LoopIsTrueOnlyForTheWordTrue) {
    T3DMFile f;
    f.LoadFromLines(AnimatedFile("TRUE", "0"));
    EXPECT_TRUE(f.GetObject(0).Frames.Loop);
    f.LoadFromLines(AnimatedFile("T", "0"));
    EXPECT_FALSE(f.GetObject(0).Frames.Loop);
}

TEST(T3DMFileParse, FileEndingInsideASectionKeepsWhatWasRead) {
    T3DMFile f;
    f.LoadFromText("#Object 1\nName A\n#Vertices 320\n[1,2,3]\n[4,5,6]");
    ASSERT_EQ(f.ObjectCount(), 1);
    ASSERT_EQ(f.GetObject(0).Vertices.size(), 2u);
    EXPECT_FLOAT_EQ(f.GetObject(0).Vertices[1].z, 6);

    auto lines = AnimatedFile("true", "2");
    lines.resize(12);  // ends inside the first frame
    f.LoadFromLines(lines);
    ASSERT_EQ(f.GetObject(0).Frames.Count(), 9);
    EXPECT_EQ(f.GetObject(0).Frames.Frame(0).size(), 1u);
    EXPECT_TRUE(f.GetObject(0).Frames.Frame(1).empty());
}

TEST(T3DMFileParse, HugeAndNegativeCountsNeedNoMemoryUpFront) {
    T3DMFile f;
    f.LoadFromLines({"#Object 0", "#Vertices 2147483647", "[1,1,1]", "[2,2,2]"});
    EXPECT_EQ(f.GetObject(0).Vertices.size(), 2u);
    // A negative count reads nothing; its lines are strays before the next header.
    f.LoadFromLines({"#Object 0", "#Vertices -5", "[1,1,1]", "#Normals 1", "[0,0,1]"});
    EXPECT_TRUE(f.GetObject(0).Vertices.empty());
    EXPECT_EQ(f.GetObject(0).Normals.size(), 1u);
}

TEST(T3DMFileParse, MultiSubObjectKeepsItsSubMaterialsToItself) {
    T3DMFile f;
    f.LoadFromLines({
        "#MaterialMultiSubObject 2",
        "Name Body",
        "NumSubs 2",
        "#MaterialStandard 2",
        "Name Skin",
        "Opacity 50",
        "stray line between sections",
        "#MaterialStandard 2",
        "Name Fins",
        "TwoSided true",
        "#MaterialStandard 1",
        "Name Eyes",
    });
    ASSERT_EQ(f.Materials.Count(), 2);
    auto* multi = dynamic_cast<T3DMMaterialMultiSubObject*>(f.Materials.FindMaterial("Body"));
    ASSERT_NE(multi, nullptr);
    EXPECT_EQ(f.Materials.GetMaterial(0), multi);
    EXPECT_EQ(f.Materials.FindMaterial("Skin"), nullptr);
    EXPECT_EQ(f.Materials.FindMaterial("Fins"), nullptr);
    EXPECT_NE(f.Materials.FindMaterial("Eyes"), nullptr);
    ASSERT_EQ(multi->SubMaterials.Count(), 2);
    auto* skin = dynamic_cast<T3DMMaterialStandard*>(multi->SubMaterials.GetMaterial(0));
    auto* fins = dynamic_cast<T3DMMaterialStandard*>(multi->SubMaterials.FindMaterial("fins"));
    ASSERT_NE(skin, nullptr);
    ASSERT_NE(fins, nullptr);
    EXPECT_EQ(skin->Name(), "Skin");
    EXPECT_FLOAT_EQ(skin->Opacity, 50);
    EXPECT_TRUE(fins->TwoSided);
    EXPECT_EQ(skin->Owner(), &multi->SubMaterials);
}

TEST(T3DMFileErrors, SubMaterialMustBeStandard) {
    T3DMFile f;
    EXPECT_EQ(ErrorOf([&] {
                  f.LoadFromLines({"#MaterialMultiSubObject 2", "Name Body", "NumSubs 1", "#Object 1", "Name X"});
              }),
              "T3DMFile error: SubMaterial is not Standard");
}

TEST(T3DMFileErrors, AnimMeshFrameLineMustBeAFrame) {
    auto lines = AnimatedFile("true", "2");
    lines[14] = "Fram 1";  // second frame's key line
    T3DMFile f;
    EXPECT_EQ(ErrorOf([&] { f.LoadFromLines(lines); }),
              "T3DMFile.ReadAnimMesh error: It is not vertex frame animation!");
    // The first frame stays read.
    EXPECT_EQ(f.GetObject(0).Frames.Frame(0).size(), 3u);
}

TEST(T3DMFileErrors, MalformedNumbersAreConversionErrors) {
    T3DMFile f;
    EXPECT_THROW(f.LoadFromLines({"#Object 0", "#Vertices 2", "[1,2,3]", "[1,x,3]"}), EConvertError);
    EXPECT_EQ(f.GetObject(0).Vertices.size(), 1u);
    EXPECT_THROW(f.LoadFromLines({"#Object 0", "#Vertices 1", "[1,2]"}), EConvertError);
    EXPECT_THROW(f.LoadFromLines({"#Object 0", "#Vertices 1", "[1,2,3,4]"}), EConvertError);
    EXPECT_THROW(f.LoadFromLines({"#Object 0", "#VertexFaces 1", "[1,2.5,3]"}), EConvertError);
    EXPECT_THROW(f.LoadFromLines({"#Object 0", "#FaceMatID 1", "one"}), EConvertError);
    EXPECT_THROW(f.LoadFromLines({"#Object 0", "#Colors 1", "(color 1 2)"}), EConvertError);
    EXPECT_THROW(f.LoadFromLines({"#MaterialStandard 1", "Opacity 1e39"}), EConvertError);
    EXPECT_THROW(f.LoadFromLines({"#Vertices many"}), EConvertError);
    // A section with fewer lines than announced runs into the next header.
    EXPECT_THROW(f.LoadFromLines({"#Object 0", "#Vertices 2", "[1,2,3]", "#Normals 1", "[0,0,1]"}), EConvertError);
}

TEST(T3DMFileErrors, HeaderWithoutSpaceHasNoCount) {
    T3DMFile f;
    EXPECT_THROW(f.LoadFromLines({"#Header 1", "Version 2", "#Object"}), EConvertError);
    EXPECT_EQ(f.Version, 2);
}

TEST(T3DMFileErrors, ObjectSectionsNeedAnObject) {
    T3DMFile f;
    EXPECT_EQ(ErrorOf([&] { f.LoadFromLines({"#Header 1", "Version 1", "#Vertices 1", "[1,2,3]"}); }),
              "T3DMFile error: #Vertices section before any #Object");
    EXPECT_EQ(ErrorOf([&] { f.LoadFromLines({"#AnimMesh 0"}); }),
              "T3DMFile error: #AnimMesh section before any #Object");
}

TEST(T3DMFileErrors, AnimationLengthIsBounded) {
    T3DMFile f;
    EXPECT_EQ(ErrorOf([&] { f.LoadFromLines({"#Object 0", "#Animation 1", "Length 2000000000"}); }),
              "T3DMFile.ReadAnimation error: Length 2000000000 is out of range");
    EXPECT_EQ(ErrorOf([&] { f.LoadFromLines({"#Object 0", "#Animation 1", "Length -1"}); }),
              "T3DMFile.ReadAnimation error: Length -1 is out of range");
    // More frames than the file has lines, counted over all objects.
    EXPECT_EQ(ErrorOf([&] { f.LoadFromLines({"#Object 0", "#Animation 1", "Length 6", "#AnimMesh 0", "Frame 0"}); }),
              "T3DMFile.ReadAnimation error: Length 6 is out of range");
    EXPECT_EQ(f.GetObject(0).Frames.Count(), 0);
    EXPECT_EQ(ErrorOf([&] {
                  f.LoadFromLines({"#Object 0", "#Animation 1", "Length 4", "#Object 0", "#Animation 1", "Length 4"});
              }),
              "T3DMFile.ReadAnimation error: Length 4 is out of range");
    EXPECT_EQ(f.GetObject(0).Frames.Count(), 4);
    // Setting an object's length again replaces its frames, it does not add.
    f.LoadFromLines({"#Object 0", "#Animation 2", "Length 4", "Length 4"});
    EXPECT_EQ(f.GetObject(0).Frames.Count(), 4);
}

TEST(T3DMMaterialList, AddSetsOwnerAndRejectsNil) {
    T3DMMaterialList list;
    EXPECT_EQ(ErrorOf([&] { list.Add(nullptr); }), "T3DMMaterialList error: Add a NIL Material");
    T3DMMaterial* m = list.Add(std::make_unique<T3DMMaterialStandard>("Gold"));
    EXPECT_EQ(m->Owner(), &list);
    EXPECT_EQ(list.Count(), 1);
    EXPECT_EQ(list.GetMaterial(0), m);
    EXPECT_THROW(list.GetMaterial(1), Exception);
}

TEST(T3DMMaterialList, RepeatedNameFindsTheFirstUntilItGoes) {
    T3DMMaterialList list;
    T3DMMaterial* first = list.Add(std::make_unique<T3DMMaterialStandard>("Skin"));
    T3DMMaterial* other = list.Add(std::make_unique<T3DMMaterialStandard>("Alpha"));
    T3DMMaterial* second = list.Add(std::make_unique<T3DMMaterialStandard>("SKIN"));
    EXPECT_EQ(list.FindMaterial("skin"), first);
    EXPECT_EQ(list.FindMaterial("alpha"), other);
    EXPECT_EQ(list.FindMaterial("Ski"), nullptr);
    // Insertion order is kept apart from the name order.
    EXPECT_EQ(list.GetMaterial(1), other);
    list.Delete(first);
    EXPECT_EQ(list.Count(), 2);
    EXPECT_EQ(list.FindMaterial("skin"), second);
    EXPECT_EQ(list.GetMaterial(0), other);
}

TEST(T3DMMaterialList, RenamingReKeys) {
    T3DMMaterialList list;
    T3DMMaterial* a = list.Add(std::make_unique<T3DMMaterialStandard>("A"));
    T3DMMaterial* b = list.Add(std::make_unique<T3DMMaterialStandard>("B"));
    a->SetName("Z");
    EXPECT_EQ(list.FindMaterial("A"), nullptr);
    EXPECT_EQ(list.FindMaterial("z"), a);
    EXPECT_EQ(list.FindMaterial("B"), b);
    // A material renamed onto a taken name comes after the one already there.
    a->SetName("b");
    EXPECT_EQ(list.FindMaterial("B"), b);
}

TEST(T3DMMaterialList, FreeingAMaterialRemovesItFromItsOwner) {
    T3DMMaterialList list;
    T3DMMaterial* a = list.Add(std::make_unique<T3DMMaterialStandard>("A"));
    list.Add(std::make_unique<T3DMMaterialStandard>("B"));
    std::unique_ptr<T3DMMaterial> taken = list.Extract(a);
    ASSERT_EQ(taken.get(), a);
    EXPECT_EQ(a->Owner(), nullptr);
    EXPECT_EQ(list.Count(), 1);
    EXPECT_EQ(list.FindMaterial("A"), nullptr);
    // Renaming outside a list touches no list.
    a->SetName("B2");
    EXPECT_EQ(list.FindMaterial("B2"), nullptr);

    T3DMMaterial* b = list.FindMaterial("B");
    delete b;  // freed behind the list's back
    EXPECT_EQ(list.Count(), 0);
    EXPECT_EQ(list.FindMaterial("B"), nullptr);
}

class T3DMFileDisk : public ::testing::Test {
protected:
    void SetUp() override {
        Dir = ScratchDir("file3dm");
        std::ofstream(Dir / "bubble.3dm", std::ios::binary) << Join(Bubble, "\r\n");
    }
    void TearDown() override { std::filesystem::remove_all(Dir); }
    TResourceReaderGuard Reader;
    std::filesystem::path Dir;
};

TEST_F(T3DMFileDisk, ReadsFromDisk) {
    T3DMFile f;
    f.LoadFromFile((Dir / "bubble.3dm").string());
    ExpectBubble(f);
    EXPECT_THROW(f.LoadFromFile((Dir / "missing.3dm").string()), EFOpenError);
    EXPECT_EQ(f.ObjectCount(), 0);
}

TEST_F(T3DMFileDisk, ReadsThroughTheResourceReader) {
    TResourceFileReader& reader = TheResourceReader();
    reader.Mode = 0;
    reader.SetBasePath(Dir.string());
    T3DMFile f;
    f.FromArchive = true;
    f.LoadFromFile("bubble.3dm");
    ExpectBubble(f);
    // An entry the reader does not find is an empty file.
    f.LoadFromFile("missing.3dm");
    EXPECT_EQ(f.ObjectCount(), 0);
    EXPECT_EQ(f.Materials.Count(), 0);
}

}  // namespace
