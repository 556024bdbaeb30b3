// Scene meshes: named, drawable, optionally animated meshes loaded lazily
// from 3DM files. Each object of a file becomes one group per face
// material, each group a GL vertex-array primitive; groups are kept in an
// opaque and a blended list, and vertex-keyframe animation plays by linear
// interpolation on the mesh's own frame clock.
#pragma once

#include "render/gl_arrays.h"
#include "core/containers.h"
#include "core/file3dm.h"
#include "scene/objects.h"
#include "core/vecmath.h"

#include <cstdint>
#include <string>
#include <vector>

class TGLPrimitive;
class TGroupMaterial;
class TSceneMaterial;
class TSceneMeshList;
class TSceneTexture;
class TSceneTextureList;

// One array of vectors per animation frame.
class TVertexFrameList : public TBaseList<TGLVectorDArray> {
public:
    // Appends a frame of n zero vectors.
    TGLVectorDArray* AddFrame(int n);
    TGLVectorDArray& Frame(int index) const { return *Get(index); }
};

// The faces of one material number of a mesh object.
class TMeshGroup {
public:
    // Takes ownership of the primitive.
    explicit TMeshGroup(TGLPrimitive* primitive);
    ~TMeshGroup();
    TMeshGroup(const TMeshGroup&) = delete;
    TMeshGroup& operator=(const TMeshGroup&) = delete;

    // Material, texture, then the primitive.
    void Render();

    TSceneTexture* Texture = nullptr;          // not owned
    TGroupMaterial* GroupMaterial = nullptr;  // of the mesh's material
    // Owned; lives in the GL context's primitive list.
    TGLPrimitive* Primitive;
    TVertexFrameList VertexFrames;
    TVertexFrameList NormalFrames;
};

using TMeshGroupList = TBaseList<TMeshGroup>;

class TSceneMesh : public TMainObject {
public:
    std::string_view ClassName() const override { return "TSceneMesh"; }

    void WriteProperties(TResourceLoader& loader) override;
    void ReadProperties(TResourceLoader& loader) override;
    // Advances the frame clock by deltaTime x FPS frames.
    void Animate(float deltaTime) override;
    void RenderOpaque() override;
    void RenderBlended() override;

    const std::string& SourceName() const { return FSourceName; }
    // A new name makes the next draw load it.
    void SetSourceName(const std::string& name);
    int32_t FileIndex() const { return FFileIndex; }
    // Selects line i of the file list as the source (an index outside the
    // list is only stored) and drops the geometry.
    void SetFileIndex(int32_t index);
    // Reads the lines of a file list from the scene's sources; a missing
    // list leaves FileList empty.
    void ReadFileList(const std::string& fileName);

    float Time() const { return FTime; }
    // Wraps t into the frames and interpolates every group's vertices (and,
    // with lighting on, normals) between the two frames around it.
    void SetTime(float t);
    // Frames of the first opaque group, else of the first blended one.
    int FrameCount() const;

    // Builds the geometry on first use; a load that fails leaves the mesh
    // empty and is not tried again.
    void EnsureLoaded();
    // Frees both group lists.
    void FreeGroups();
    // A group for group material `materialIndex` of Material; blended when
    // the material is translucent or the texture has alpha.
    TMeshGroup* AddGroup(int frameCount, int materialIndex, TSceneTexture* texture);
    // Appends frames sized like each group's primitive (normal frames only
    // when normalFrames is not 0).
    void AddFrames(int vertexFrames, int normalFrames);
    // The box of the current vertices of all groups; all zero without any.
    void GetBounds(TBounds3f& box) const;

    // The list holding this mesh, or null.
    TSceneMeshList* MeshList() const;
    // The folder of the list holding this mesh.
    std::string ListPath() const;

    TMeshGroupList OpaqueGroups;
    TMeshGroupList BlendedGroups;
    TSceneMaterial* Material = nullptr;  // not owned
    float FPS = 6;
    bool Loaded = false;
    std::string FileListName;
    std::vector<std::string> FileList;

private:
    std::string FSourceName;
    float FTime = 0;
    int32_t FFileIndex = -1;
};

class TSceneMeshList : public TResource {
public:
    std::string_view ClassName() const override { return "TSceneMeshList"; }

    void WriteProperties(TResourceLoader& loader) override;
    void ReadProperties(TResourceLoader& loader) override;
    // Each mesh with a file list takes its file index from the settings.
    void LoadSettings() override;
    void SaveSettings() override;
    // A resource-script line per mesh file.
    void ListResources(std::vector<std::string>& lines) override;

    // Where loaded meshes find and add their materials (a list of
    // TSceneMaterial objects) and textures; neither is owned.
    TMainObjectList* Materials = nullptr;
    TSceneTextureList* Textures = nullptr;
};

// The unification table of one primitive: corners that name the same vertex
// with the same texture coordinate (by number or by value) share an index.
class TVertIndices3DMList {
public:
    struct TEntry {
        int32_t Vertex;    // 1-based
        int32_t Index;     // the new index, from 0
        int32_t TexCoord;  // 1-based, 0 for none
        int32_t Color;     // 1-based, 0 for none
        float U, V;
        int32_t Next;  // next entry of the same vertex, -1 for none
    };

    // One bucket per vertex of the object.
    explicit TVertIndices3DMList(int32_t vertexCount);
    // The corner's index: an entry of vertex v (1 to vertexCount) with
    // texture number t or with coordinates (u, v), else a new entry.
    int32_t Add(int32_t vertex, int32_t texCoord, int32_t color, float u, float v);
    int32_t Count() const { return static_cast<int32_t>(Entries.size()); }

    std::vector<TEntry> Entries;  // in creation order

private:
    std::vector<int32_t> Heads;
};

// Turns a 3DM file into a scene mesh: materials and textures first, then
// one set of groups per object.
class T3DMMeshLoader {
public:
    void LoadMesh(const std::string& name, TSceneMesh& mesh);
    void AddMesh(TSceneMesh& mesh, const T3DMObject& object);

    std::string Path = ".\\";
    T3DMFile File;
    TMainObjectList* Materials = nullptr;
    TSceneTextureList* Textures = nullptr;
    // Learns that it holds blended meshes.
    TSceneMeshList* MeshList = nullptr;

    // 16-bit indices.
    static constexpr int32_t MaxGroupVertices = 65536;
    static constexpr int32_t MaxFaceMaterialId = 1000;

private:
    void MakeTexture(const T3DMMaterialStandard& material);
    TMeshGroup* CreateGroup(TSceneMesh& mesh, const T3DMMaterial* material, int index);
    void BuildPrimitive(TMeshGroup& group, const std::vector<int32_t>& faces, const T3DMObject& object);
    std::string FileName;
};

// The name of a material's texture: the diffuse map's, with "A" before the
// extension when there is an opacity map ("Angelfish.jpg" gives
// "AngelfishA.jpg"); empty without a diffuse map.
std::string TextureNameOf(const T3DMMaterialStandard& material);
