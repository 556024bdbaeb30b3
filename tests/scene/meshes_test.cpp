#include "scene/memory_scene_host.h"
#include "render/recording_context.h"
#include "scene/meshes.h"

#include "platform/null/gl_context_null.h"
#include "platform/null/gl_library_null.h"
#include "platform/resources.h"
#include "render/gl_objects.h"
#include "render/gl_recorder.h"
#include "render/opengl.h"
#include "scene/scene_textures.h"
#include "core/archive.h"
#include "core/errors.h"
#include "scene/loader.h"
#include "scene/materials.h"
#include "scene/registry.h"
#include "scene/renderstate.h"
#include "scene/scene_gl.h"
#include "scene/visuals.h"
#include "test_support.h"

#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <string>
#include <vector>

namespace {

using THost = TMemorySceneHost;

// Values behind pointer arguments, which the recorder logs only as 1.
struct TValueCall {
    GLenum Face, Name;
    std::vector<float> V;
};
std::vector<TValueCall> materialfv, color4fv;
TGLTable recorded;

void MGL_APIENTRY CaptureMaterialfv(GLenum face, GLenum pname, const GLfloat* v) {
    materialfv.push_back({face, pname, std::vector<float>(v, v + 4)});
    recorded.Materialfv(face, pname, v);
}
void MGL_APIENTRY CaptureColor4fv(const GLfloat* v) {
    color4fv.push_back({0, 0, std::vector<float>(v, v + 4)});
    recorded.Color4fv(v);
}

int IndexOf(const TGLRecorder& rec, const char* name, std::initializer_list<double> args = {}, int from = 0) {
    for (size_t i = static_cast<size_t>(from); i < rec.Calls.size(); ++i) {
        const TGLCall& c = rec.Calls[i];
        if (std::strcmp(c.Name, name) != 0 || c.Args.size() < args.size()) continue;
        bool same = true;
        size_t k = 0;
        for (double a : args) same = same && c.Args[k++] == a;
        if (same) return static_cast<int>(i);
    }
    return -1;
}

// Calls of name with these leading arguments.
int CountOf(const TGLRecorder& rec, const char* name, std::initializer_list<double> args) {
    int n = 0;
    for (int i = IndexOf(rec, name, args); i >= 0; i = IndexOf(rec, name, args, i + 1)) ++n;
    return n;
}

// Second argument (the index count) of every glDrawElements, in order.
std::vector<double> DrawCounts(const TGLRecorder& rec) {
    std::vector<double> counts;
    for (const TGLCall& c : rec.Calls)
        if (std::strcmp(c.Name, "glDrawElements") == 0) counts.push_back(c.Args[1]);
    return counts;
}

std::string Lines(std::initializer_list<std::string> lines) {
    std::string text;
    for (const std::string& line : lines) text += line + "\r\n";
    return text;
}

std::string Material(const std::string& name, const std::string& opacity, const std::string& diffuseMap,
                     const std::string& opacityMap) {
    return Lines({"#MaterialStandard 17", "Name " + name, "ShaderType 1 Blinn", "Faceted false", "WireSize 0",
                  "TwoSided false", "OpacityType 0", "Opacity " + opacity, "selfIllumColor (color 0 0 0)",
                  "Ambient (color 45.6662 16.6665 16.6665)", "Diffuse (color 129 129 129)",
                  "Specular (color 229.5 229.5 229.5)", "SpecularLevel 5.0", "Glossiness 25.0",
                  "DiffuseMap " + diffuseMap, "OpacityMap " + opacityMap, "BumpMap undefined",
                  "ReflectionMap undefined"});
}

std::string Transform(const std::string& matrix) {
    return Lines({"#Transform 4", "(matrix3 " + matrix + ")", "Position [0,0,0]", "Rotation (quat 0 0 0 1)",
                  "Scale [1,1,1]"});
}

// The bubble quad: 4 vertices, 2 faces sharing 2 corners, texture
// coordinates matching the vertices.
std::string Bubble(const std::string& matrix = "[1,0,0] [0,1,0] [0,0,1] [0,0,0]") {
    return Lines({"#Header 1", "Version 1", "#MaterialCount 1", "Count 1"}) +
           Material("Puzir01", "100.0", "bubble.jpg", "bubblea.jpg") +
           Lines({"#Object 1", "Name Puzir01"}) + Transform(matrix) +
           Lines({"#Vertices 4", "[-10,-10,0]", "[10,-10,0]", "[10,10,0]", "[-10,10,0]", "#VertexFaces 2", "[3,4,1]",
                  "[2,3,1]", "#Material 1", "Name Puzir01", "#FaceMatID 2", "1", "1", "#Normals 4", "[0,0,1]",
                  "[0,0,1]", "[0,0,1]", "[0,0,1]", "#TextureCoords 4", "[0,0,0]", "[1,0,0]", "[1,1,0]", "[0,1,0]",
                  "#TextureCoordFaces 2", "[3,4,1]", "[2,3,1]"});
}

// One triangle per face material number in `ids`, all on vertices 1-3, with
// a multi-material of an opaque and a half-transparent sub-material.
std::string MultiMaterial(const std::vector<std::string>& ids) {
    std::string text = Lines({"#MaterialMultiSubObject 2", "Name Multi", "NumSubs 2"}) +
                       Material("Solid", "100.0", "undefined", "undefined") +
                       Material("Glass", "50.0", "undefined", "undefined") +
                       Lines({"#Object 1", "Name Thing", "#Vertices 3", "[0,0,0]", "[1,0,0]", "[0,1,0]"});
    text += Lines({"#VertexFaces " + std::to_string(ids.size())});
    for (size_t i = 0; i < ids.size(); ++i) text += Lines({"[1,2,3]"});
    text += Lines({"#Material 1", "Name Multi", "#FaceMatID " + std::to_string(ids.size())});
    for (const std::string& id : ids) text += Lines({id});
    return text;
}

// A triangle whose vertex 1 moves 10 along x per frame, over `frames` frames.
std::string Animated(int frames) {
    std::string text = Material("Skin", "100.0", "undefined", "undefined") +
                       Lines({"#Object 1", "Name Fish", "#Vertices 3", "[0,0,0]", "[0,1,0]", "[0,0,1]",
                              "#VertexFaces 1", "[1,2,3]", "#Material 1", "Name Skin", "#FaceMatID 1", "1",
                              "#Animation 2", "Length " + std::to_string(frames), "Loop false", "#AnimMesh 1"});
    for (int f = 0; f < frames; ++f)
        text += Lines({"Frame " + std::to_string(f), "[" + std::to_string(10 * f) + ",0,0]", "[0,1,0]", "[0,0,1]"});
    return text;
}

constexpr const char* kScript =
    "[MainScene]\n"
    "Count=3\n"
    "[MainScene1]\nType=TSceneTextureList\nName=Textures\n"
    "[MainScene2]\nType=TSceneMaterialList\nName=Materials\nCount=1\n"
    "[Materials1]\nType=TSceneMaterial\nName=Puzir01\nCount=1\nDiffuse1=1,1,1,0.7\n"
    "[MainScene3]\nType=TSceneMeshList\nName=Meshes\nMaterials=Materials\nTextures=Textures\nCount=1\n"
    "[Meshes1]\nType=TSceneMesh\nName=Mesh\nSourceName=mesh.3dm\n";

class MeshTest : public ::testing::Test {
protected:
    MeshTest() {
        recorded = gl;
        materialfv.clear();
        color4fv.clear();
        gl.Materialfv = &CaptureMaterialfv;
        gl.Color4fv = &CaptureColor4fv;
        TheResourceReader().Mode = 2;
        scene.Application = &host;
        TRenderStateCache& cache = TheRenderState();
        cache = TRenderStateCache();
        scene.LoadSources = lsArchive;
    }
    ~MeshTest() override {
        scene.FreeAll();
        TheRenderState() = TRenderStateCache();
        for (const auto& file : Files) UnregisterRawResource(ResourceNameFromFileName(file.first));
    }

    // Makes text findable as the archive entry `name`.
    void AddFile(const std::string& name, const std::string& text) {
        auto& stored = Files[name];
        stored = std::make_unique<std::string>(text);
        RegisterRawResource(ResourceNameFromFileName(name), stored->data(), stored->size());
    }

    void Load(const std::string& script) {
        TResourceLoader loader;
        loader.Scene = &scene;
        loader.Section = scene.Name();
        loader.OpenText(script);
        scene.ReadProperties(loader);
        loader.LoadChildren(scene);
    }

    // The standard scene with mesh.3dm as given, loaded.
    TSceneMesh& LoadMesh(const std::string& meshText) {
        AddFile("mesh.3dm", meshText);
        Load(kScript);
        TSceneMesh& mesh = Mesh();
        mesh.EnsureLoaded();
        return mesh;
    }

    TSceneMesh& Mesh() { return *dynamic_cast<TSceneMesh*>(scene.FindObject("Meshes/Mesh")); }
    TSceneMeshList& Meshes() { return *dynamic_cast<TSceneMeshList*>(scene.FindObject("Meshes")); }

    std::string LoadError(const std::string& meshText, const std::string& script = kScript) {
        AddFile("mesh.3dm", meshText);
        Load(script);
        try {
            Mesh().EnsureLoaded();
        } catch (const Exception& e) {
            return e.what();
        }
        return "(no error)";
    }

    TResourceReaderGuard Reader;
    TGLRecorder rec;
    TRecordingContext context{rec};
    TCustomOpenGL& ogl = context.OpenGL;
    THost host{&ogl};
    TMainScene scene;
    std::map<std::string, std::unique_ptr<std::string>> Files;
};

void ExpectVertex(const TGLVectorDArray& a, int i, float x, float y, float z) {
    const TVector3f v = a.Get(i);
    EXPECT_NEAR(v.x, x, 1e-4f) << "vertex " << i;
    EXPECT_NEAR(v.y, y, 1e-4f) << "vertex " << i;
    EXPECT_NEAR(v.z, z, 1e-4f) << "vertex " << i;
}

// --- loading ------------------------------------------------------------------------------------

TEST_F(MeshTest, BubbleBecomesOneBlendedGroupOfFourUnifiedVertices) {
    TSceneMesh& mesh = LoadMesh(Bubble());
    EXPECT_TRUE(mesh.Loaded);
    EXPECT_EQ(mesh.SourceName(), ".\\mesh.3dm");
    ASSERT_EQ(mesh.OpaqueGroups.Count(), 0);
    ASSERT_EQ(mesh.BlendedGroups.Count(), 1);
    EXPECT_TRUE(mesh.Alpha);
    EXPECT_TRUE(Meshes().Alpha);

    const TMeshGroup& group = *mesh.BlendedGroups.Get(0);
    const TGLPrimitive& p = *group.Primitive;
    EXPECT_EQ(p.VertexCount(), 4);
    ASSERT_EQ(p.Indices.Count(), 6);
    // Corners in face order, each new vertex numbered as it first appears.
    const int16_t expected[6] = {0, 1, 2, 3, 0, 2};
    for (int i = 0; i < 6; ++i) EXPECT_EQ(p.Indices.Get(i), expected[i]) << i;
    ASSERT_EQ(p.GetTextureCoords(0).Count(), 4);
    EXPECT_EQ(p.GetTextureCoords(0).Get(0).x, 1.0f);
    EXPECT_EQ(p.GetTextureCoords(0).Get(0).y, 1.0f);
    EXPECT_EQ(p.Normals.Count(), 4) << "normals are computed, the file's are not used";

    // The script's material is kept, not replaced by the file's.
    auto* material = dynamic_cast<TSceneMaterial*>(scene.FindObject("Materials/Puzir01"));
    ASSERT_NE(material, nullptr);
    EXPECT_EQ(mesh.Material, material);
    ASSERT_EQ(material->GroupMaterialCount(), 1);
    EXPECT_EQ(group.GroupMaterial, material->GroupMaterial(0));
    EXPECT_FLOAT_EQ(material->GroupMaterial(0)->Material->Diffuse().a, 0.7f);

    // Diffuse and opacity maps make one alpha texture named after both.
    auto* texture = dynamic_cast<TSceneTexture*>(scene.FindObject("Textures/bubbleA.jpg"));
    ASSERT_NE(texture, nullptr);
    EXPECT_EQ(texture->Format(), tfAlpha);
    EXPECT_EQ(group.Texture, texture);
}

TEST_F(MeshTest, TransformedObjectsTurnTwoHundredSeventyDegreesAboutX) {
    // Translation (1, 2, 3): (x, y, z) lands on (x + 1, z + 3, -(y + 2)).
    TSceneMesh& mesh = LoadMesh(Bubble("[1,0,0] [0,1,0] [0,0,1] [1,2,3]"));
    const TGLVectorDArray& v = mesh.BlendedGroups.Get(0)->Primitive->Vertices;
    ExpectVertex(v, 0, 11, 3, -12);  // file vertex 3: (10, 10, 0)
    ExpectVertex(v, 1, -9, 3, -12);  // file vertex 4: (-10, 10, 0)
    ExpectVertex(v, 2, -9, 3, 8);    // file vertex 1: (-10, -10, 0)
    ExpectVertex(v, 3, 11, 3, 8);    // file vertex 2: (10, -10, 0)

    TBounds3f box;
    mesh.GetBounds(box);
    EXPECT_NEAR(box.minX, -9, 1e-4f);
    EXPECT_NEAR(box.maxX, 11, 1e-4f);
    EXPECT_NEAR(box.minY, 3, 1e-4f);
    EXPECT_NEAR(box.maxY, 3, 1e-4f);
    EXPECT_NEAR(box.minZ, -12, 1e-4f);
    EXPECT_NEAR(box.maxZ, 8, 1e-4f);
}

TEST_F(MeshTest, TransformWithoutMatrixPutsEveryVertexOnTheOrigin) {
    std::string text = Bubble();
    const std::string matrixLine = "(matrix3 [1,0,0] [0,1,0] [0,0,1] [0,0,0])";
    text.replace(text.find(matrixLine), matrixLine.size(), "Position [5,5,5]");
    TSceneMesh& mesh = LoadMesh(text);
    const TGLVectorDArray& v = mesh.BlendedGroups.Get(0)->Primitive->Vertices;
    for (int i = 0; i < v.Count(); ++i) ExpectVertex(v, i, 0, 0, 0);
}

TEST_F(MeshTest, CornersShareAnIndexByTextureNumberOrByEqualCoordinates) {
    // Face 2 reaches vertex 1 through coordinate 5, equal to coordinate 1:
    // shared. Face 3 reaches vertex 1 through coordinate 3 (other values):
    // a new vertex.
    const std::string text =
        Material("Skin", "100.0", "skin.bmp", "undefined") +
        Lines({"#Object 1", "Name Quad", "#Vertices 4", "[0,0,0]", "[1,0,0]", "[1,1,0]", "[0,1,0]", "#VertexFaces 3",
               "[1,2,3]", "[1,3,4]", "[1,2,4]", "#Material 1", "Name Skin", "#FaceMatID 3", "1", "1", "1",
               "#TextureCoords 5", "[0,0,0]", "[1,0,0]", "[1,1,0]", "[0,1,0]", "[0,0]", "#TextureCoordFaces 3",
               "[1,2,3]", "[5,3,4]", "[3,2,4]"});
    TSceneMesh& mesh = LoadMesh(text);
    ASSERT_EQ(mesh.OpaqueGroups.Count(), 1);
    const TGLPrimitive& p = *mesh.OpaqueGroups.Get(0)->Primitive;
    EXPECT_EQ(p.VertexCount(), 5);
    const int16_t expected[9] = {0, 1, 2, 0, 2, 3, 4, 1, 3};
    ASSERT_EQ(p.Indices.Count(), 9);
    for (int i = 0; i < 9; ++i) EXPECT_EQ(p.Indices.Get(i), expected[i]) << i;
    ExpectVertex(p.Vertices, 4, 0, 0, 0);
    EXPECT_EQ(p.GetTextureCoords(0).Get(4).x, 1.0f);
    EXPECT_EQ(p.GetTextureCoords(0).Get(4).y, 1.0f);
    // Without an opacity map the texture is the diffuse map itself.
    auto* texture = dynamic_cast<TSceneTexture*>(scene.FindObject("Textures/skin.bmp"));
    ASSERT_NE(texture, nullptr);
    EXPECT_EQ(texture->Format(), tfTexture);
    EXPECT_EQ(mesh.OpaqueGroups.Get(0)->Texture, texture);
}

TEST_F(MeshTest, FacesGroupByMaterialNumberInOrderOfFirstUse) {
    TSceneMesh& mesh = LoadMesh(MultiMaterial({"2", "1", "2", "3"}));
    // The file's multi-material becomes a scene material with one group
    // material per sub-material.
    auto* material = dynamic_cast<TSceneMaterial*>(scene.FindObject("Materials/Multi"));
    ASSERT_NE(material, nullptr);
    ASSERT_EQ(material->GroupMaterialCount(), 2);
    EXPECT_EQ(material->GroupMaterial(1)->Index, 1);
    EXPECT_EQ(mesh.Material, material);

    ASSERT_EQ(mesh.OpaqueGroups.Count(), 1);
    ASSERT_EQ(mesh.BlendedGroups.Count(), 2);
    EXPECT_EQ(mesh.OpaqueGroups.Get(0)->GroupMaterial, material->GroupMaterial(0));
    EXPECT_EQ(mesh.OpaqueGroups.Get(0)->Primitive->Indices.Count(), 3);
    // Number 2 (two faces) first; number 3 is past the two group materials
    // and takes the last one.
    EXPECT_EQ(mesh.BlendedGroups.Get(0)->Primitive->Indices.Count(), 6);
    EXPECT_EQ(mesh.BlendedGroups.Get(0)->GroupMaterial, material->GroupMaterial(1));
    EXPECT_EQ(mesh.BlendedGroups.Get(1)->Primitive->Indices.Count(), 3);
    EXPECT_EQ(mesh.BlendedGroups.Get(1)->GroupMaterial, material->GroupMaterial(1));
}

TEST_F(MeshTest, FileMaterialsConvertToGLMaterials) {
    LoadMesh(MultiMaterial({"1", "2"}));
    auto* material = dynamic_cast<TSceneMaterial*>(scene.FindObject("Materials/Multi"));
    ASSERT_NE(material, nullptr);
    const TGLMaterial& solid = *material->GroupMaterial(0)->Material;
    EXPECT_FLOAT_EQ(solid.Ambient().r, 45.6662f / 255);
    EXPECT_FLOAT_EQ(solid.Ambient().g, 16.6665f / 255);
    EXPECT_FLOAT_EQ(solid.Diffuse().r, 129.0f / 255);
    EXPECT_FLOAT_EQ(solid.Diffuse().a, 1);
    EXPECT_FLOAT_EQ(solid.Specular().r, 229.5f * 0.05f / 255);
    EXPECT_FLOAT_EQ(solid.Emission().r, 0);
    EXPECT_FLOAT_EQ(solid.Emission().a, 1);
    EXPECT_NEAR(solid.Shininess(), 25 * 0.128f * 7, 1e-4f);
    EXPECT_TRUE(solid.Front());
    EXPECT_FALSE(solid.Back());
    const TGLMaterial& glass = *material->GroupMaterial(1)->Material;
    EXPECT_FLOAT_EQ(glass.Ambient().a, 0.5f);
    EXPECT_FLOAT_EQ(glass.Diffuse().a, 0.5f);
    EXPECT_FLOAT_EQ(glass.Specular().a, 0.5f);
}

TEST(TextureNameOf, AddsAnABeforeTheExtensionWithAnOpacityMap) {
    T3DMMaterialStandard m;
    m.DiffuseMap = "Angelfish.jpg";
    EXPECT_EQ(TextureNameOf(m), "Angelfish.jpg");
    m.OpacityMap = "Angelfisha.jpg";
    EXPECT_EQ(TextureNameOf(m), "AngelfishA.jpg");
    m.DiffuseMap = "a.b.bmp";
    EXPECT_EQ(TextureNameOf(m), "aA.bmp");
    m.DiffuseMap = "";
    EXPECT_EQ(TextureNameOf(m), "") << "no picture, no texture";
}

TEST_F(MeshTest, OpacityOfNinetyNineMakesASpriteTexture) {
    TSceneMesh& mesh = LoadMesh(Material("Leaf", "99", "leaf.bmp", "undefined") +
                                Lines({"#Object 1", "Name Leaf", "#Vertices 3", "[0,0,0]", "[1,0,0]", "[0,1,0]",
                                       "#VertexFaces 1", "[1,2,3]", "#Material 1", "Name Leaf", "#FaceMatID 1", "1"}));
    auto* texture = dynamic_cast<TSceneTexture*>(scene.FindObject("Textures/leaf.bmp"));
    ASSERT_NE(texture, nullptr);
    EXPECT_EQ(texture->Format(), tfSprite);
    // Opacity 99 is opaque as a material but the sprite texture blends.
    ASSERT_EQ(mesh.BlendedGroups.Count(), 1);
    EXPECT_FLOAT_EQ(mesh.BlendedGroups.Get(0)->GroupMaterial->Material->Diffuse().a, 1);
}

TEST_F(MeshTest, MissingFileLeavesTheMeshEmptyWithoutRetrying) {
    Load(kScript);
    TSceneMesh& mesh = Mesh();
    mesh.RenderOpaque();
    mesh.RenderBlended();
    EXPECT_TRUE(mesh.Loaded);
    EXPECT_EQ(mesh.OpaqueGroups.Count() + mesh.BlendedGroups.Count(), 0);
    EXPECT_EQ(rec.Count("glDrawElements"), 0);
    // A file that appears later is not picked up: the load is not retried.
    AddFile("mesh.3dm", Bubble());
    mesh.RenderBlended();
    EXPECT_EQ(mesh.BlendedGroups.Count(), 0);
}

TEST_F(MeshTest, ReadsFromDiskWhenTheSceneReadsFiles) {
    namespace fs = std::filesystem;
    const fs::path dir = fs::path(::testing::TempDir()) / "meshes_disk";
    fs::remove_all(dir);
    fs::create_directories(dir);
    {
        std::ofstream out(dir / "disk.3dm", std::ios::binary);
        out << MultiMaterial({"1"});
    }
    AddFile("disk.3dm", Bubble());  // the archive's copy is not read
    std::string script = kScript;
    script.replace(script.find("Name=Meshes\n"), 12, "Name=Meshes\nPath=" + dir.string() + "/\n");
    script.replace(script.find("SourceName=mesh.3dm"), 19, "SourceName=disk.3dm");
    scene.LoadSources = lsFiles;
    Load(script);
    TSceneMesh& mesh = Mesh();
    EXPECT_EQ(mesh.SourceName(), dir.string() + "/disk.3dm");
    mesh.RenderOpaque();
    EXPECT_EQ(mesh.OpaqueGroups.Count(), 1);
    EXPECT_EQ(mesh.BlendedGroups.Count(), 0);

    // A file missing on disk is an open error, and is not tried again.
    mesh.SetSourceName(dir.string() + "/gone.3dm");
    EXPECT_THROW(mesh.RenderOpaque(), EFOpenError);
    EXPECT_EQ(mesh.OpaqueGroups.Count(), 0);
    EXPECT_NO_THROW(mesh.RenderOpaque());
    fs::remove_all(dir);
}

// --- load errors ----------------------------------------------------------------------------------

TEST_F(MeshTest, FaceMaterialNumbersOutsideOneToAThousandAreErrors) {
    EXPECT_EQ(LoadError(MultiMaterial({"1", "1001"})), "T3DMMeshLoader.AddMesh: FaceID>1000");
    scene.FreeAll();
    EXPECT_NE(LoadError(MultiMaterial({"1", "0"})).find("Face material number 0 is below 1"), std::string::npos);
    scene.FreeAll();
    EXPECT_NE(LoadError(MultiMaterial({"-3"})).find("is below 1"), std::string::npos);
    // A failed mesh is left empty and not loaded again.
    TSceneMesh& mesh = Mesh();
    EXPECT_TRUE(mesh.Loaded);
    EXPECT_EQ(mesh.OpaqueGroups.Count() + mesh.BlendedGroups.Count(), 0);
    EXPECT_NO_THROW(mesh.RenderOpaque());
}

TEST_F(MeshTest, MissingMaterialsAreErrors) {
    // The object names a material that neither the file nor the scene has.
    std::string text = MultiMaterial({"1"});
    text.replace(text.find("Name Multi\r\n#FaceMatID"), 10, "Name Other");
    EXPECT_NE(LoadError(text).find("Material \"Other\" not found of object Thing"), std::string::npos);

    // An object without a material section.
    scene.FreeAll();
    const std::string bare = Lines({"#Object 1", "Name Bare", "#Vertices 3", "[0,0,0]", "[1,0,0]", "[0,1,0]",
                                    "#VertexFaces 1", "[1,2,3]", "#FaceMatID 1", "1"});
    EXPECT_NE(LoadError(bare).find("Material \"\" not found"), std::string::npos);

    // The scene defines the material, but with no group materials.
    scene.FreeAll();
    std::string script = kScript;
    script.replace(script.find("Name=Puzir01\nCount=1"), 20, "Name=Puzir01\nCount=0");
    EXPECT_NE(LoadError(Bubble(), script).find("Material Puzir01 has no group materials"), std::string::npos);
}

TEST_F(MeshTest, AGroupNeedsTheMeshMaterial) {
    Load(kScript);
    TSceneMesh& mesh = Mesh();
    mesh.Material = nullptr;
    try {
        mesh.AddGroup(0, 0, nullptr);
        FAIL() << "no error";
    } catch (const Exception& e) {
        EXPECT_STREQ(e.what(), "TSceneMesh.AddGroup error: Material is not assigned!");
    }
    mesh.Material = dynamic_cast<TSceneMaterial*>(scene.FindObject("Materials/Puzir01"));
    EXPECT_THROW(mesh.AddGroup(0, 1, nullptr), Exception) << "group material 2 of 1";
    EXPECT_EQ(mesh.OpaqueGroups.Count() + mesh.BlendedGroups.Count(), 0);
}

TEST_F(MeshTest, MeshListWithoutMaterialsOrTexturesIsAnError) {
    std::string script = kScript;
    script.replace(script.find("Materials=Materials\n"), 20, "");
    EXPECT_NE(LoadError(Bubble(), script).find("has no Materials list"), std::string::npos);
    scene.FreeAll();
    script = kScript;
    script.replace(script.find("Textures=Textures\n"), 18, "Textures=Materials\n");
    EXPECT_NE(LoadError(Bubble(), script).find("has no Textures list"), std::string::npos);
}

TEST_F(MeshTest, IndicesOutsideTheMeshDataAreErrors) {
    std::string text = Bubble();
    text.replace(text.find("[2,3,1]"), 7, "[2,5,1]");
    EXPECT_NE(LoadError(text).find("Face 2 names vertex 5 of 4"), std::string::npos);

    scene.FreeAll();
    text = Bubble();
    text.replace(text.rfind("[2,3,1]"), 7, "[2,9,1]");
    EXPECT_NE(LoadError(text).find("Face 2 names texture coordinate 9 of 4"), std::string::npos);

    scene.FreeAll();
    text = Bubble();
    text.replace(text.find("#FaceMatID 2\r\n1\r\n1"), 18, "#FaceMatID 1\r\n1");
    EXPECT_NE(LoadError(text).find("2 faces but 1 face material numbers"), std::string::npos);

    scene.FreeAll();
    text = Bubble();
    text.replace(text.find("#TextureCoordFaces 2\r\n[3,4,1]"), 29, "#TextureCoordFaces 1\r\n[3,4,1]");
    EXPECT_NE(LoadError(text).find("2 faces but 1 texture-coordinate faces"), std::string::npos);

    // An animation frame cut short by the end of the file.
    scene.FreeAll();
    text = Animated(2);
    text.erase(text.rfind("[0,0,1]"));
    EXPECT_NE(LoadError(text).find("Animation frame 2 has 2 of 3 vertices"), std::string::npos);
}

TEST_F(MeshTest, ParseErrorsReachTheFirstDraw) {
    AddFile("mesh.3dm", Lines({"#Object 1", "Name X", "#Vertices 1", "[1,zz,0]"}));
    Load(kScript);
    EXPECT_THROW(Mesh().RenderOpaque(), EConvertError);
}

// --- frames -------------------------------------------------------------------------------------

TEST_F(MeshTest, FrameClockInterpolatesAndWraps) {
    TSceneMesh& mesh = LoadMesh(Animated(9));
    ASSERT_EQ(mesh.FrameCount(), 9);
    const TGLPrimitive& p = *mesh.OpaqueGroups.Get(0)->Primitive;
    EXPECT_EQ(mesh.OpaqueGroups.Get(0)->NormalFrames.Count(), 9);
    EXPECT_EQ(p.Normals.Count(), 0) << "animated meshes keep normals per frame";

    mesh.SetTime(9.25f);  // frames 0 and 1
    EXPECT_FLOAT_EQ(mesh.Time(), 0.25f);
    ExpectVertex(p.Vertices, 0, 2.5f, 0, 0);
    mesh.SetTime(8.5f);  // frames 8 and 0
    EXPECT_FLOAT_EQ(mesh.Time(), 8.5f);
    ExpectVertex(p.Vertices, 0, 40, 0, 0);
    mesh.SetTime(3.75f);
    ExpectVertex(p.Vertices, 0, 37.5f, 0, 0);
    // A clock running backwards wraps to the end instead of leaving the frames.
    mesh.SetTime(-0.5f);
    EXPECT_FLOAT_EQ(mesh.Time(), 8.5f);
    ExpectVertex(p.Vertices, 0, 40, 0, 0);
    mesh.SetTime(-9.75f);
    EXPECT_FLOAT_EQ(mesh.Time(), 8.25f);

    mesh.SetTime(0);
    mesh.FPS = 0.5f;
    mesh.Animate(1);
    EXPECT_FLOAT_EQ(mesh.Time(), 0.5f);
    ExpectVertex(p.Vertices, 0, 5, 0, 0);
    mesh.FPS = 6;
    mesh.Animate(1.5f);  // 0.5 + 9 frames
    EXPECT_FLOAT_EQ(mesh.Time(), 0.5f);
}

TEST_F(MeshTest, FrameNormalsFollowOnlyWithLightingOnAndExistingNormals) {
    TSceneMesh& mesh = LoadMesh(Animated(3));
    TMeshGroup& group = *mesh.OpaqueGroups.Get(0);
    // The triangle's plane is x = 0 in frame 0; its frame normals point along x.
    const TVector3f n0 = group.NormalFrames.Frame(0).Get(0);
    EXPECT_NEAR(n0.x, 1, 1e-5f);
    group.Primitive->Normals.SetCount(3);
    TheRenderState().LightingOn = false;
    mesh.SetTime(1.5f);
    EXPECT_EQ(group.Primitive->Normals.Get(0).x, 0) << "lighting off: normals untouched";
    TheRenderState().LightingOn = true;
    mesh.SetTime(0);
    EXPECT_NEAR(group.Primitive->Normals.Get(0).x, 1, 1e-5f);
}

TEST_F(MeshTest, StaticMeshHasNoFramesUntilSomeAreAdded) {
    TSceneMesh& mesh = LoadMesh(Bubble());
    EXPECT_EQ(mesh.FrameCount(), 0);
    mesh.Animate(10);
    EXPECT_EQ(mesh.Time(), 0);
    ExpectVertex(mesh.BlendedGroups.Get(0)->Primitive->Vertices, 0, 10, 0, -10);

    mesh.AddFrames(0, 5);
    EXPECT_EQ(mesh.FrameCount(), 0);
    mesh.AddFrames(2, 2);
    TMeshGroup& group = *mesh.BlendedGroups.Get(0);
    ASSERT_EQ(mesh.FrameCount(), 2);
    EXPECT_EQ(group.VertexFrames.Frame(1).Count(), 4);
    ASSERT_EQ(group.NormalFrames.Count(), 2);
    EXPECT_EQ(group.NormalFrames.Frame(0).Count(), 4);
    group.VertexFrames.Frame(1).Set(0, {4, 8, 12});
    mesh.SetTime(0.25f);
    ExpectVertex(group.Primitive->Vertices, 0, 1, 2, 3);
    mesh.AddFrames(3, 0);
    EXPECT_EQ(mesh.FrameCount(), 5);
    EXPECT_EQ(group.NormalFrames.Count(), 2);
}

TEST_F(MeshTest, FramesOnlyMoveGroupsThatHaveThem) {
    // The first object is animated, the second is not: the clock follows the
    // first and leaves the second alone.
    std::string text = Animated(3) + Lines({"#Object 1", "Name Rock", "#Vertices 3", "[5,5,5]", "[6,5,5]",
                                            "[5,6,5]", "#VertexFaces 1", "[1,2,3]", "#Material 1", "Name Skin",
                                            "#FaceMatID 1", "1"});
    TSceneMesh& mesh = LoadMesh(text);
    ASSERT_EQ(mesh.OpaqueGroups.Count(), 2);
    mesh.SetTime(2.5f);
    ExpectVertex(mesh.OpaqueGroups.Get(0)->Primitive->Vertices, 0, 10, 0, 0);
    ExpectVertex(mesh.OpaqueGroups.Get(1)->Primitive->Vertices, 0, 5, 5, 5);
}

// --- drawing ------------------------------------------------------------------------------------

TEST_F(MeshTest, BlendedGroupsDrawAfterOpaqueOnesWithBlendingOn) {
    TSceneMesh& mesh = LoadMesh(MultiMaterial({"2", "1", "2", "3"}));
    rec.Clear();
    mesh.Render();
    EXPECT_EQ(DrawCounts(rec), (std::vector<double>{3, 6, 3}));
    const int opaque = IndexOf(rec, "glDrawElements");
    const int blend = IndexOf(rec, "glEnable", {GL_BLEND});
    ASSERT_GE(blend, 0) << rec.Text();
    EXPECT_LT(opaque, blend);
    EXPECT_LT(blend, IndexOf(rec, "glDrawElements", {}, opaque + 1));
    EXPECT_TRUE(rec.Has("glBlendFunc", {GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA}));
    EXPECT_TRUE(rec.Has("glEnable", {GL_ALPHA_TEST}));
    // The two blended groups share a group material: it is sent once.
    EXPECT_EQ(rec.Count("glMaterialf"), 2) << rec.Text();

    rec.Clear();
    mesh.Render();
    const int off = IndexOf(rec, "glDisable", {GL_BLEND});
    ASSERT_GE(off, 0) << "the opaque pass switches blending off";
    EXPECT_LT(off, IndexOf(rec, "glDrawElements"));
    EXPECT_EQ(CountOf(rec, "glEnable", {GL_BLEND}), 1);
}

TEST_F(MeshTest, MaterialKeysReachGLWhenAGroupIsDrawn) {
    const std::string script =
        "[MainScene]\nCount=3\n"
        "[MainScene1]\nType=TSceneTextureList\nName=Textures\n"
        "[MainScene2]\nType=TSceneMaterialList\nName=Materials\nCount=1\n"
        "[Materials1]\nType=TSceneMaterial\nName=Multi\nCount=2\nAmbient1=0.1,0.2,0.3,1\nShininess1=12\n"
        "Front1=1\nBack1=1\nDiffuse2=1,1,1,0.25\nFront2=0\nBack2=1\nVertexColor2=0.5,0.5,0.5,1\n"
        "[MainScene3]\nType=TSceneMeshList\nName=Meshes\nMaterials=Materials\nTextures=Textures\nCount=1\n"
        "[Meshes1]\nType=TSceneMesh\nName=Mesh\nSourceName=mesh.3dm\n";
    AddFile("mesh.3dm", MultiMaterial({"1", "2"}));
    Load(script);
    auto* material = dynamic_cast<TSceneMaterial*>(scene.FindObject("Materials/Multi"));
    ASSERT_EQ(material->GroupMaterialCount(), 2);
    EXPECT_EQ(material->GroupMaterial(1)->VertexColor.r, 0.5f);
    EXPECT_EQ(material->GroupMaterial(0)->VertexColor.r, 1.0f);

    TSceneMesh& mesh = Mesh();
    mesh.Render();
    ASSERT_EQ(mesh.OpaqueGroups.Count(), 1);
    ASSERT_EQ(mesh.BlendedGroups.Count(), 1);
    EXPECT_TRUE(rec.Has("glMaterialf", {GL_FRONT_AND_BACK, GL_SHININESS, 12}));
    EXPECT_TRUE(rec.Has("glMaterialf", {GL_BACK, GL_SHININESS}));
    bool ambient = false;
    for (const auto& call : materialfv)
        if (call.Face == GL_FRONT_AND_BACK && call.Name == GL_AMBIENT)
            ambient = call.V == std::vector<float>{0.1f, 0.2f, 0.3f, 1};
    EXPECT_TRUE(ambient);
    // The current colour carries each material's diffuse alpha.
    ASSERT_EQ(color4fv.size(), 2u);
    EXPECT_EQ(color4fv[0].V, (std::vector<float>{1, 1, 1, 1}));
    EXPECT_EQ(color4fv[1].V, (std::vector<float>{1, 1, 1, 0.25f}));
}

TEST_F(MeshTest, MaterialCountIsBounded) {
    const std::string script = "[MainScene]\nCount=1\n[MainScene1]\nType=TSceneMaterialList\nName=Materials\nCount=1\n"
                               "[Materials1]\nType=TSceneMaterial\nName=Huge\nCount=2000000000\n";
    EXPECT_THROW(Load(script), Exception);
}

TEST_F(MeshTest, CacheSkipsRepeatedBindsWithinAFrameAndResetsEachFrame) {
    // Two instances of the bubble, drawn by the scene.
    std::string script = kScript;
    script.replace(script.find("Count=3"), 7, "Count=4");
    script += "[MainScene4]\nType=TMainVisualObjectList\nName=School\nProcessOptions=[Render]\n"
              "Visual=Meshes/Mesh\nCount=2\n"
              "[School1]\nType=TMainVisualObject\nName=A\nPosition=1,0,0\n"
              "[School2]\nType=TMainVisualObject\nName=B\nPosition=2,0,0\n";
    AddFile("mesh.3dm", Bubble());
    Load(script);
    ASSERT_NE(scene.FindObject("School/B"), nullptr);

    // The list learns that its visual blends only from the frame after the
    // one that loaded it; the first frame that draws uploads the texture.
    scene.Frame(0.1f);
    EXPECT_EQ(rec.Count("glDrawElements"), 0);
    EXPECT_TRUE(Mesh().Alpha);
    scene.Frame(0.1f);
    EXPECT_EQ(rec.Count("glDrawElements"), 2) << "one draw per instance";
    EXPECT_TRUE(TheRenderState().BlendingOn);

    rec.Clear();
    scene.Frame(0.1f);
    EXPECT_EQ(rec.Count("glDrawElements"), 2);
    EXPECT_EQ(rec.Count("glBindTexture"), 1);
    EXPECT_EQ(CountOf(rec, "glEnable", {GL_TEXTURE_2D}), 2) << "the cache's and the texture's own";
    EXPECT_EQ(rec.Count("glMaterialf"), 1);
    EXPECT_EQ(CountOf(rec, "glEnable", {GL_BLEND}), 0) << "blending stays on across frames";
    EXPECT_EQ(rec.Count("glPushMatrix"), rec.Count("glPopMatrix"));
    EXPECT_TRUE(rec.Has("glTranslatef", {2, 0, 0}));

    scene.Frame(0.1f);
    EXPECT_EQ(rec.Count("glBindTexture"), 2) << "a new frame binds again";
    EXPECT_EQ(rec.Count("glMaterialf"), 2);
}

TEST_F(MeshTest, CacheSwitchesStatesOnlyOnChange) {
    rec.Clear();
    TRenderStateCache& cache = TheRenderState();
    cache.SetBlending(false);
    EXPECT_EQ(rec.Calls.size(), 0u);
    cache.SetBlending(true);
    cache.SetBlending(true);
    EXPECT_EQ(CountOf(rec, "glEnable", {GL_BLEND}), 1);
    EXPECT_TRUE(rec.Has("glAlphaFunc", {GL_GREATER}));
    EXPECT_FLOAT_EQ(static_cast<float>(rec.Calls[static_cast<size_t>(IndexOf(rec, "glAlphaFunc"))].Args[1]), 0.05f);
    cache.SetBlending(false);
    EXPECT_TRUE(rec.Has("glDisable", {GL_ALPHA_TEST}));
    EXPECT_TRUE(rec.Has("glDisable", {GL_BLEND}));

    rec.Clear();
    cache.SetLighting(true);
    cache.SetLighting(true);
    EXPECT_EQ(CountOf(rec, "glEnable", {GL_LIGHTING}), 2) << "lighting is always sent";
    EXPECT_TRUE(cache.LightingOn);

    // No texture: texturing off, once.
    rec.Clear();
    auto textures = std::make_unique<TSceneTextureList>();
    textures->SetName("Textures");
    TSceneTextureList* list = scene.Add(std::move(textures));
    TSceneTexture* texture = list->AddTexture("t.bmp", "t.bmp");
    cache.BindSceneTexture(texture);
    const int binds = rec.Count("glBindTexture");
    EXPECT_GE(binds, 1);
    cache.BindSceneTexture(texture);
    EXPECT_EQ(rec.Count("glBindTexture"), binds);
    cache.BindSceneTexture(nullptr);
    cache.BindSceneTexture(nullptr);
    EXPECT_EQ(CountOf(rec, "glDisable", {GL_TEXTURE_2D}), 1);

    // A group material goes to GL once, until it changes or the frame ends.
    rec.Clear();
    auto materials = std::make_unique<TSceneMaterialList>();
    materials->SetName("Materials");
    auto material = std::make_unique<TSceneMaterial>();
    material->SetName("M");
    TSceneMaterial* m = scene.Add(std::move(materials))->Add(std::move(material));
    TGroupMaterial* gm = m->AddGroupMaterial();
    gm->Material->SetDiffuse({1, 1, 1, 0.4f});
    cache.CurrentColor = {0.5f, 0.25f, 1, 0.3f};
    cache.ApplyGroupMaterial(gm);
    cache.ApplyGroupMaterial(gm);
    EXPECT_EQ(rec.Count("glMaterialf"), 1);
    gm->Applied = false;
    cache.ApplyGroupMaterial(gm);
    EXPECT_EQ(rec.Count("glMaterialf"), 2);
    cache.Reset();
    cache.ApplyGroupMaterial(gm);
    EXPECT_EQ(rec.Count("glMaterialf"), 3);
    // None: only the colour, made opaque.
    cache.ApplyGroupMaterial(nullptr);
    cache.ApplyGroupMaterial(nullptr);
    EXPECT_EQ(rec.Count("glMaterialf"), 3);
    ASSERT_EQ(color4fv.size(), 4u);
    EXPECT_EQ(color4fv[0].V, (std::vector<float>{0.5f, 0.25f, 1, 0.4f}));
    EXPECT_EQ(color4fv[3].V, (std::vector<float>{0.5f, 0.25f, 1, 1}));
    EXPECT_EQ(cache.CurrentGroupMaterial, nullptr);
}

// --- file lists and settings ------------------------------------------------------------------------

TEST_F(MeshTest, FileListChoosesTheSourceAndFollowsTheSettings) {
    AddFile("a.3dm", Bubble());
    AddFile("b.3dm", MultiMaterial({"1"}));
    AddFile("fishes.txt", "a.3dm\r\nb.3dm\r\n");
    std::string script = kScript;
    script.replace(script.find("SourceName=mesh.3dm"), 19, "FileListName=fishes.txt\nFileIndex=1");
    Load(script);
    TSceneMesh& mesh = Mesh();
    EXPECT_EQ(mesh.FileList, (std::vector<std::string>{"a.3dm", "b.3dm"}));
    EXPECT_EQ(mesh.FileIndex(), 1);
    EXPECT_EQ(mesh.SourceName(), "b.3dm");
    mesh.RenderOpaque();
    EXPECT_EQ(mesh.OpaqueGroups.Count(), 1);

    host.Values["fishesIndex"] = "0";
    scene.LoadSettings();
    EXPECT_EQ(mesh.SourceName(), "a.3dm");
    EXPECT_EQ(mesh.OpaqueGroups.Count(), 0) << "the old geometry is dropped";
    mesh.RenderBlended();
    EXPECT_EQ(mesh.BlendedGroups.Count(), 1);

    // An index past the list is kept but chooses nothing.
    mesh.SetFileIndex(5);
    EXPECT_EQ(mesh.SourceName(), "a.3dm");
    EXPECT_EQ(mesh.BlendedGroups.Count(), 1);
    scene.SaveSettings();
    EXPECT_EQ(host.Values["fishesIndex"], "5");

    std::vector<std::string> lines;
    Meshes().ListResources(lines);
    EXPECT_EQ(lines, (std::vector<std::string>{"a_3dm RCData a.3dm", "b_3dm RCData b.3dm"}));
}

TEST_F(MeshTest, ChoosingALineWithTheSameFileRebuildsTheMesh) {
    AddFile("a.3dm", Bubble());
    AddFile("twice.txt", "a.3dm\r\na.3dm\r\n");
    std::string script = kScript;
    script.replace(script.find("SourceName=mesh.3dm"), 19, "FileListName=twice.txt\nFileIndex=0");
    Load(script);
    TSceneMesh& mesh = Mesh();
    mesh.RenderBlended();
    ASSERT_EQ(mesh.BlendedGroups.Count(), 1);
    mesh.SetFileIndex(1);
    EXPECT_FALSE(mesh.Loaded);
    mesh.RenderBlended();
    EXPECT_EQ(mesh.BlendedGroups.Count(), 1);
}

TEST_F(MeshTest, PropertiesWriteBackAndReadAgain) {
    TSceneMesh& mesh = LoadMesh(Bubble());
    mesh.FPS = 2.5f;
    TResourceLoader writer;
    writer.Scene = &scene;
    writer.CreateForWriting();
    writer.Section = "M";
    mesh.WriteProperties(writer);
    writer.Section = "L";
    Meshes().WriteProperties(writer);
    const TScript* written = writer.Script();
    EXPECT_EQ(*written->Value("M", "FPS"), "2.5");
    EXPECT_EQ(*written->Value("M", "SourceName"), "mesh.3dm");
    EXPECT_EQ(*written->Value("M", "Material"), "Materials/Puzir01");
    EXPECT_EQ(*written->Value("L", "Materials"), "Materials");
    EXPECT_EQ(*written->Value("L", "Textures"), "Textures");

    TResourceLoader reader;
    reader.Scene = &scene;
    reader.OpenText(written->Text());
    reader.Section = "M";
    mesh.ReadProperties(reader);
    EXPECT_FALSE(mesh.Loaded);
    EXPECT_EQ(mesh.BlendedGroups.Count(), 0);
    EXPECT_FLOAT_EQ(mesh.FPS, 2.5f);
    EXPECT_EQ(mesh.SourceName(), ".\\mesh.3dm");
}

TEST(SceneClasses, RegisteredAfterTheObjectModelInOrder) {
    const std::vector<std::string> names = TheClassRegistry().Names();
    ASSERT_GE(names.size(), 11u);
    EXPECT_EQ(std::vector<std::string>(names.begin() + 4, names.begin() + 11),
              (std::vector<std::string>{"TMainVisualObject", "TMainVisualObjectList", "TMainLight", "TSceneMaterial",
                                        "TSceneMaterialList", "TSceneMesh", "TSceneMeshList"}));
    for (size_t i = 4; i < 11; ++i) EXPECT_EQ(TheClassRegistry().Create(names[i])->ClassName(), names[i]);
    auto list = TheClassRegistry().Create("TSceneMaterialList");
    EXPECT_TRUE(dynamic_cast<TResource*>(list.get())->ChildrenInScript);
}

}  // namespace
