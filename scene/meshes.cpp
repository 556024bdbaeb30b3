#include "scene/meshes.h"

#include "render/gl_objects.h"
#include "scene/scene_textures.h"
#include "core/archive.h"
#include "core/errors.h"
#include "scene/file_list.h"
#include "scene/loader.h"
#include "scene/materials.h"
#include "scene/renderstate.h"
#include "scene/scene_gl.h"
#include "core/strutil.h"

#include <algorithm>
#include <climits>
#include <cmath>
#include <memory>

namespace {

// A file-name key: trimmed, and joined with the path when it has no folder.
std::string ReadFileKey(const TResourceLoader& loader, std::string_view key, const std::string& path) {
    std::string value(str::Trim(loader.ReadString(key, "")));
    return value.empty() ? value : str::CombinePath(path, value);
}

int32_t Corner(const T3DMFace& face, int corner) { return corner == 0 ? face.a : corner == 1 ? face.b : face.c; }

TColor4f Scaled(const T3DMColor& c, float factor, float alpha) {
    return {c.r * factor / 255, c.g * factor / 255, c.b * factor / 255, alpha};
}

// A new group material of target made from a file's standard material.
void ConvertMaterial(const T3DMMaterialStandard& source, TSceneMaterial& target) {
    TGLMaterial& m = *target.AddGroupMaterial()->Material;
    const float alpha = source.Opacity >= 99 ? 1.0f : source.Opacity * 0.01f;
    m.SetAmbient(Scaled(source.Ambient, 1, alpha));
    m.SetDiffuse(Scaled(source.Diffuse, 1, alpha));
    m.SetEmission(Scaled(source.SelfIllumColor, 1, alpha));
    m.SetSpecular(Scaled(source.Specular, source.SpecularLevel * 0.01f, alpha));
    m.SetShininess(source.Glossiness * 0.128f * 7);
    m.SetFront(true);
    m.SetBack(source.TwoSided);
}

void DrawGroups(const TMeshGroupList& groups) {
    for (const auto& group : groups) group->Render();
}

// The rotation that turns the exporter's z-up objects y-up: 270 degrees
// about X.
TMatrix4f ExporterRotation() {
    const float radians = DegToRadF(270.0f);
    const float s = static_cast<float>(std::sin(static_cast<double>(radians)));
    const float c = static_cast<float>(std::cos(static_cast<double>(radians)));
    TMatrix4f r = IdentityMatrix();
    r.m[5] = c;
    r.m[6] = s;
    r.m[9] = -s;
    r.m[10] = c;
    return r;
}

}  // namespace

std::string TextureNameOf(const T3DMMaterialStandard& material) {
    const std::string& diffuse = material.DiffuseMap;
    if (diffuse.empty()) return "";
    if (material.OpacityMap.empty()) return diffuse;
    const size_t first = diffuse.find('.');
    const size_t last = diffuse.rfind('.');
    if (first == std::string::npos) return diffuse + "A";
    return diffuse.substr(0, first) + "A" + diffuse.substr(last);
}

// --- frames and groups --------------------------------------------------------

TGLVectorDArray* TVertexFrameList::AddFrame(int n) {
    auto frame = std::make_unique<TGLVectorDArray>();
    frame->SetCount(n);
    return Add(std::move(frame));
}

TMeshGroup::TMeshGroup(TGLPrimitive* primitive) : Primitive(primitive) {}

TMeshGroup::~TMeshGroup() { delete Primitive; }  // leaves its list on the way

void TMeshGroup::Render() {
    TRenderStateCache& cache = TheRenderState();
    cache.ApplyGroupMaterial(GroupMaterial);
    cache.BindSceneTexture(Texture);
    Primitive->Render();
}

// --- TSceneMesh ---------------------------------------------------------------

TSceneMeshList* TSceneMesh::MeshList() const { return dynamic_cast<TSceneMeshList*>(Owner); }

std::string TSceneMesh::ListPath() const {
    const auto* list = dynamic_cast<const TResource*>(Owner);
    return list ? list->Path : std::string(".\\");
}

void TSceneMesh::SetSourceName(const std::string& name) {
    if (name == FSourceName) return;
    FSourceName = name;
    Loaded = false;
}

void TSceneMesh::SetFileIndex(int32_t index) {
    if (index == FFileIndex) return;
    FFileIndex = index;
    if (index < 0 || static_cast<size_t>(index) >= FileList.size()) return;
    SetSourceName(FileList[static_cast<size_t>(index)]);
    FreeGroups();
    // Dropped geometry is rebuilt even when two lines name the same file.
    Loaded = false;
}

void TSceneMesh::ReadFileList(const std::string& fileName) {
    FileList = ReadFileListLines(MainScene, fileName);
}

void TSceneMesh::ReadProperties(TResourceLoader& loader) {
    TMainObject::ReadProperties(loader);
    FreeGroups();
    Loaded = false;
    const std::string path = ListPath();
    FPS = loader.ReadFloat("FPS", 6);
    SetSourceName(ReadFileKey(loader, "SourceName", path));
    Material = dynamic_cast<TSceneMaterial*>(loader.ReadReference("Material", Material));
    FileListName = ReadFileKey(loader, "FileListName", path);
    if (FileListName.empty())
        FileList.clear();
    else
        ReadFileList(FileListName);
    SetFileIndex(loader.ReadInteger("FileIndex", FFileIndex));
}

void TSceneMesh::WriteProperties(TResourceLoader& loader) {
    TMainObject::WriteProperties(loader);
    const std::string path = ListPath();
    loader.WriteFloat("FPS", FPS);
    loader.WriteFileName("SourceName", path, FSourceName);
    loader.WriteReference("Material", Material);
    loader.WriteFileName("FileListName", path, FileListName);
    loader.WriteInteger("FileIndex", FFileIndex);
}

void TSceneMesh::FreeGroups() {
    OpaqueGroups.Clear();
    BlendedGroups.Clear();
}

void TSceneMesh::EnsureLoaded() {
    if (Loaded || FSourceName.empty()) return;
    T3DMMeshLoader loader;
    loader.Path = ListPath();
    if (TSceneMeshList* list = MeshList()) {
        loader.Materials = list->Materials;
        loader.Textures = list->Textures;
        loader.MeshList = list;
    }
    loader.File.FromArchive = MainScene && (MainScene->LoadSources & lsArchive);
    // Set first: a file that fails is not read again every frame.
    Loaded = true;
    const std::string name = FSourceName;
    try {
        loader.LoadMesh(name, *this);
    } catch (...) {
        FreeGroups();
        Loaded = true;
        throw;
    }
    Loaded = true;
}

TMeshGroup* TSceneMesh::AddGroup(int frameCount, int materialIndex, TSceneTexture* texture) {
    if (!Material) throw Exception("TSceneMesh.AddGroup error: Material is not assigned!");
    if (materialIndex < 0 || materialIndex >= Material->GroupMaterialCount())
        throw Exception("TSceneMesh.AddGroup error: Material " + Material->Name() + " has no group material " +
                        std::to_string(materialIndex + 1) + "!");
    TGroupMaterial* groupMaterial = Material->GroupMaterial(materialIndex);
    const bool blended = groupMaterial->Material->Diffuse().a < 0.99f ||
                         (texture && (texture->Format() == tfAlpha || texture->Format() == tfSprite));
    auto group = std::make_unique<TMeshGroup>(SceneGLLists(MainScene).Primitives.Add());
    group->Texture = texture;
    group->GroupMaterial = groupMaterial;
    for (int i = 0; i < frameCount; ++i) group->VertexFrames.AddFrame(0);
    if (blended) {
        Alpha = true;
        return BlendedGroups.Add(std::move(group));
    }
    return OpaqueGroups.Add(std::move(group));
}

void TSceneMesh::AddFrames(int vertexFrames, int normalFrames) {
    if (vertexFrames < 1) return;
    EnsureLoaded();
    for (const TMeshGroupList* groups : {&OpaqueGroups, &BlendedGroups})
        for (const auto& group : *groups) {
            for (int i = 0; i < vertexFrames; ++i) group->VertexFrames.AddFrame(group->Primitive->VertexCount());
            for (int i = 0; i < normalFrames; ++i) group->NormalFrames.AddFrame(group->Primitive->Normals.Count());
        }
}

int TSceneMesh::FrameCount() const {
    if (OpaqueGroups.Count() > 0) return OpaqueGroups.Get(0)->VertexFrames.Count();
    if (BlendedGroups.Count() > 0) return BlendedGroups.Get(0)->VertexFrames.Count();
    return 0;
}

void TSceneMesh::SetTime(float t) {
    const int n = FrameCount();
    if (n == 0) return;
    if (!std::isfinite(t)) t = 0;
    // Whole frames round down, so a clock running backwards wraps too.
    const double whole = std::floor(static_cast<double>(t));
    float frac = static_cast<float>(static_cast<double>(t) - whole);
    double wrapped = std::fmod(whole, static_cast<double>(n));
    if (wrapped < 0) wrapped += n;
    int cur = static_cast<int>(wrapped);
    if (frac >= 1.0f) {
        frac = 0;
        cur = (cur + 1) % n;
    }
    FTime = static_cast<float>(cur) + frac;
    const int next = cur + 1 == n ? 0 : cur + 1;

    const bool lighting = TheRenderState().LightingOn;
    for (const TMeshGroupList* groups : {&OpaqueGroups, &BlendedGroups})
        for (const auto& group : *groups) {
            // A group of an object without animation has no frames to move.
            const TVertexFrameList& vertices = group->VertexFrames;
            if (next < vertices.Count() && cur < vertices.Count())
                group->Primitive->InterpolateVertices(vertices.Frame(cur), vertices.Frame(next), frac);
            const TVertexFrameList& normals = group->NormalFrames;
            if (lighting && next < normals.Count() && cur < normals.Count())
                group->Primitive->InterpolateNormals(normals.Frame(cur), normals.Frame(next), frac);
        }
}

void TSceneMesh::Animate(float deltaTime) { SetTime(FTime + deltaTime * FPS); }

void TSceneMesh::RenderOpaque() {
    EnsureLoaded();
    if (OpaqueGroups.Count() == 0) return;
    TheRenderState().SetBlending(false);
    DrawGroups(OpaqueGroups);
}

void TSceneMesh::RenderBlended() {
    EnsureLoaded();
    if (BlendedGroups.Count() == 0) return;
    TheRenderState().SetBlending(true);
    DrawGroups(BlendedGroups);
}

void TSceneMesh::GetBounds(TBounds3f& box) const {
    box = TBounds3f{};
    bool started = false;
    for (const TMeshGroupList* groups : {&OpaqueGroups, &BlendedGroups})
        for (const auto& group : *groups) {
            const TGLVectorDArray& vertices = group->Primitive->Vertices;
            const TVector3f* v = vertices.Vectors();
            for (int i = 0, n = vertices.Count(); i < n; ++i) {
                if (!started) {
                    BoundsInit(v[i], box);
                    started = true;
                } else {
                    BoundsExtend(v[i], box);
                }
            }
        }
}

// --- TSceneMeshList -----------------------------------------------------------

void TSceneMeshList::ReadProperties(TResourceLoader& loader) {
    TResource::ReadProperties(loader);
    Materials = dynamic_cast<TMainObjectList*>(loader.ReadReference("Materials", Materials));
    Textures = dynamic_cast<TSceneTextureList*>(loader.ReadReference("Textures", Textures));
}

void TSceneMeshList::WriteProperties(TResourceLoader& loader) {
    TResource::WriteProperties(loader);
    loader.WriteReference("Materials", Materials);
    loader.WriteReference("Textures", Textures);
}

void TSceneMeshList::LoadSettings() {
    if (ISceneHost* host = HostOf(*this))
        for (int i = 0, n = GetCount(); i < n; ++i) {
            auto* mesh = dynamic_cast<TSceneMesh*>(GetItem(i));
            if (mesh && !mesh->FileListName.empty())
                mesh->SetFileIndex(host->ReadInteger(FileListIndexKey(mesh->FileListName), 0));
        }
    TResource::LoadSettings();
}

void TSceneMeshList::SaveSettings() {
    if (ISceneHost* host = HostOf(*this))
        for (int i = 0, n = GetCount(); i < n; ++i) {
            auto* mesh = dynamic_cast<TSceneMesh*>(GetItem(i));
            if (mesh && !mesh->FileListName.empty())
                host->WriteInteger(FileListIndexKey(mesh->FileListName), mesh->FileIndex());
        }
    TResource::SaveSettings();
}

void TSceneMeshList::ListResources(std::vector<std::string>& lines) {
    for (int i = 0, n = GetCount(); i < n; ++i) {
        const auto* mesh = dynamic_cast<const TSceneMesh*>(GetItem(i));
        if (!mesh) continue;
        const std::vector<std::string> files =
            mesh->FileList.empty() ? std::vector<std::string>{mesh->SourceName()} : mesh->FileList;
        for (const std::string& file : files)
            if (!file.empty()) lines.push_back(ResourceNameFromFileName(file) + " RCData " + file);
    }
}

// --- TVertIndices3DMList ------------------------------------------------------

TVertIndices3DMList::TVertIndices3DMList(int32_t vertexCount)
    : Heads(static_cast<size_t>(std::max(vertexCount, 0)), -1) {}

int32_t TVertIndices3DMList::Add(int32_t vertex, int32_t texCoord, int32_t color, float u, float v) {
    int32_t& head = Heads.at(static_cast<size_t>(vertex - 1));
    for (int32_t e = head; e >= 0; e = Entries[static_cast<size_t>(e)].Next) {
        const TEntry& entry = Entries[static_cast<size_t>(e)];
        if (entry.TexCoord == texCoord || (entry.U == u && entry.V == v)) return entry.Index;
    }
    const int32_t index = Count();
    Entries.push_back(TEntry{vertex, index, texCoord, color, u, v, head});
    head = index;
    return index;
}

// --- T3DMMeshLoader -----------------------------------------------------------

void T3DMMeshLoader::LoadMesh(const std::string& name, TSceneMesh& mesh) {
    File.Clear();
    FileName = str::CombinePath(Path, name);
    File.LoadFromFile(FileName);
    if (File.ObjectCount() == 0) return;
    if (!Materials)
        throw Exception("T3DMMeshLoader.LoadMesh error: The mesh list has no Materials list! (" + FileName + ")");
    if (!Textures)
        throw Exception("T3DMMeshLoader.LoadMesh error: The mesh list has no Textures list! (" + FileName + ")");
    mesh.SetSourceName(name);

    for (int i = 0, n = File.Materials.Count(); i < n; ++i) {
        const T3DMMaterial* material = File.Materials.GetMaterial(i);
        TSceneMaterial* sceneMaterial = nullptr;
        bool created = false;
        if (TMainObject* existing = Materials->FindObject(material->Name())) {
            sceneMaterial = dynamic_cast<TSceneMaterial*>(existing);
        } else {
            auto fresh = std::make_unique<TSceneMaterial>();
            fresh->SetName(material->Name());
            sceneMaterial = Materials->Add(std::move(fresh));
            created = true;
        }
        // A material the script defines keeps the script's values.
        if (const auto* standard = dynamic_cast<const T3DMMaterialStandard*>(material)) {
            MakeTexture(*standard);
            if (created) ConvertMaterial(*standard, *sceneMaterial);
        } else if (const auto* multi = dynamic_cast<const T3DMMaterialMultiSubObject*>(material)) {
            for (int s = 0, subs = multi->SubMaterials.Count(); s < subs; ++s) {
                const auto* sub = dynamic_cast<const T3DMMaterialStandard*>(multi->SubMaterials.GetMaterial(s));
                if (!sub) continue;
                MakeTexture(*sub);
                if (created) ConvertMaterial(*sub, *sceneMaterial);
            }
        }
    }

    for (const auto& object : File.Objects) AddMesh(mesh, *object);
}

void T3DMMeshLoader::MakeTexture(const T3DMMaterialStandard& material) {
    const std::string name = TextureNameOf(material);
    if (name.empty() || Textures->FindObject(str::ExtractFileName(name))) return;
    if (!material.OpacityMap.empty())
        Textures->AddAlphaTexture(name, material.OpacityMap, material.DiffuseMap);
    else if (material.Opacity == 99)
        Textures->AddSprite(name, material.DiffuseMap);
    else
        Textures->AddTexture(name, material.DiffuseMap);
}

TMeshGroup* T3DMMeshLoader::CreateGroup(TSceneMesh& mesh, const T3DMMaterial* material, int index) {
    const T3DMMaterialStandard* standard = dynamic_cast<const T3DMMaterialStandard*>(material);
    if (const auto* multi = dynamic_cast<const T3DMMaterialMultiSubObject*>(material)) {
        if (index >= multi->SubMaterials.Count())
            throw Exception("T3DMMeshLoader.AddMesh error: Material " + multi->Name() + " has no sub-material " +
                            std::to_string(index + 1) + " (" + FileName + ")");
        standard = dynamic_cast<const T3DMMaterialStandard*>(multi->SubMaterials.GetMaterial(index));
    }
    TSceneTexture* texture = nullptr;
    if (standard) {
        const std::string name = TextureNameOf(*standard);
        if (!name.empty()) texture = dynamic_cast<TSceneTexture*>(Textures->FindObject(str::ExtractFileName(name)));
    }
    return mesh.AddGroup(0, index, texture);
}

void T3DMMeshLoader::AddMesh(TSceneMesh& mesh, const T3DMObject& object) {
    const std::string where = " of object " + object.Name + " (" + FileName + ")";
    TMainObject* found = Materials->FindObject(object.MaterialName);
    mesh.Material = dynamic_cast<TSceneMaterial*>(found);
    const T3DMMaterial* material = File.Materials.FindMaterial(object.MaterialName);
    if (!found && !material)
        throw Exception("T3DMMeshLoader.AddMesh error: Material \"" + object.MaterialName + "\" not found" + where);

    const size_t faces = object.VertexFaces.size();
    if (faces > static_cast<size_t>(INT32_MAX / 3))
        throw Exception("T3DMMeshLoader.AddMesh error: Too many faces" + where);
    if (object.FaceMaterialIds.size() < faces)
        throw Exception("T3DMMeshLoader.AddMesh error: " + std::to_string(faces) + " faces but " +
                        std::to_string(object.FaceMaterialIds.size()) + " face material numbers" + where);
    if (object.HasTexCoords && object.TexCoordFaces.size() < faces)
        throw Exception("T3DMMeshLoader.AddMesh error: " + std::to_string(faces) + " faces but " +
                        std::to_string(object.TexCoordFaces.size()) + " texture-coordinate faces" + where);
    const size_t vertexCount = object.Vertices.size();
    for (int f = 0; f < object.Frames.Count(); ++f)
        if (object.Frames.Frame(f).size() < vertexCount)
            throw Exception("T3DMMeshLoader.AddMesh error: Animation frame " + std::to_string(f + 1) + " has " +
                            std::to_string(object.Frames.Frame(f).size()) + " of " + std::to_string(vertexCount) +
                            " vertices" + where);

    // Groups in order of the first face of each material number.
    std::vector<int32_t> slotOfId(MaxFaceMaterialId + 1, -1);
    std::vector<TMeshGroup*> groups;
    std::vector<std::vector<int32_t>> groupFaces;
    for (size_t k = 0; k < faces; ++k) {
        const int32_t id = object.FaceMaterialIds[k];
        if (id > MaxFaceMaterialId) throw Exception("T3DMMeshLoader.AddMesh: FaceID>1000");
        if (id < 1)
            throw Exception("T3DMMeshLoader.AddMesh error: Face material number " + std::to_string(id) +
                            " is below 1" + where);
        int32_t& slot = slotOfId[static_cast<size_t>(id)];
        if (slot < 0) {
            const int count = mesh.Material ? mesh.Material->GroupMaterialCount() : 1;
            if (count == 0)
                throw Exception("T3DMMeshLoader.AddMesh error: Material " + mesh.Material->Name() +
                                " has no group materials" + where);
            slot = static_cast<int32_t>(groups.size());
            groups.push_back(CreateGroup(mesh, material, std::min(id - 1, count - 1)));
            groupFaces.emplace_back();
        }
        groupFaces[static_cast<size_t>(slot)].push_back(static_cast<int32_t>(k));
    }
    for (size_t g = 0; g < groups.size(); ++g) BuildPrimitive(*groups[g], groupFaces[g], object);

    if (MeshList) MeshList->Alpha = MeshList->Alpha || mesh.BlendedGroups.Count() > 0;
}

void T3DMMeshLoader::BuildPrimitive(TMeshGroup& group, const std::vector<int32_t>& faces, const T3DMObject& object) {
    const std::string where = " of object " + object.Name + " (" + FileName + ")";
    const auto vertexCount = static_cast<int32_t>(std::min<size_t>(object.Vertices.size(), INT32_MAX));
    const auto texCount = static_cast<int32_t>(std::min<size_t>(object.TexCoords.size(), INT32_MAX));
    TGLPrimitive& primitive = *group.Primitive;
    TVertIndices3DMList table(vertexCount);

    primitive.Indices.SetCount(static_cast<int>(faces.size() * 3));
    int16_t* indices = primitive.Indices.Indices();
    size_t at = 0;
    for (int32_t k : faces) {
        const auto face = static_cast<size_t>(k);
        const T3DMFace& vertexFace = object.VertexFaces[face];
        const T3DMFace* texFace = object.HasTexCoords ? &object.TexCoordFaces[face] : nullptr;
        // Colour numbers are only recorded, so a missing colour face is no error.
        const T3DMFace* colorFace =
            object.HasColors && face < object.ColorFaces.size() ? &object.ColorFaces[face] : nullptr;
        for (int c = 0; c < 3; ++c) {
            const int32_t v = Corner(vertexFace, c);
            if (v < 1 || v > vertexCount)
                throw Exception("T3DMMeshLoader.AddMesh error: Face " + std::to_string(k + 1) + " names vertex " +
                                std::to_string(v) + " of " + std::to_string(vertexCount) + where);
            int32_t t = 0;
            T3DMTexCoord uv;
            if (texFace) {
                t = Corner(*texFace, c);
                if (t < 1 || t > texCount)
                    throw Exception("T3DMMeshLoader.AddMesh error: Face " + std::to_string(k + 1) +
                                    " names texture coordinate " + std::to_string(t) + " of " +
                                    std::to_string(texCount) + where);
                uv = object.TexCoords[static_cast<size_t>(t - 1)];
            }
            const int32_t index = table.Add(v, t, colorFace ? Corner(*colorFace, c) : 0, uv.u, uv.v);
            if (index >= MaxGroupVertices)
                throw Exception("T3DMMeshLoader.AddMesh error: More than " + std::to_string(MaxGroupVertices) +
                                " vertices in one group" + where);
            indices[at++] = static_cast<int16_t>(static_cast<uint16_t>(index));
        }
    }

    const int32_t n = table.Count();
    primitive.Vertices.SetCount(n);
    TVector3f* positions = primitive.Vertices.Vectors();
    for (const auto& entry : table.Entries) {
        const T3DMPoint& p = object.Vertices[static_cast<size_t>(entry.Vertex - 1)];
        positions[entry.Index] = {p.x, p.y, p.z};
    }
    if (object.HasTexCoords) {
        TGLTextureCoordDArray& coords = primitive.GetTextureCoords(0);
        coords.SetCount(n);
        TVector2f* st = coords.Coords();
        for (const auto& entry : table.Entries) st[entry.Index] = {entry.U, entry.V};
    }

    for (int f = 0, frames = object.Frames.Count(); f < frames; ++f) {
        const T3DMVertexFrameList::TFrame& frame = object.Frames.Frame(f);
        TVector3f* target = group.VertexFrames.AddFrame(n)->Vectors();
        group.NormalFrames.AddFrame(n);
        for (const auto& entry : table.Entries) {
            const T3DMPoint& p = frame[static_cast<size_t>(entry.Vertex - 1)];
            target[entry.Index] = {p.x, p.y, p.z};
        }
    }

    if (object.HasTransform) {
        TMatrix4f m;
        for (size_t row = 0; row < 4; ++row)
            for (size_t col = 0; col < 3; ++col) m.m[row * 4 + col] = object.Matrix[row][col];
        m.m[15] = 1;
        TMatrix4f transform;
        MatrixMultiply(m, ExporterRotation(), transform);
        primitive.Transform(transform);
        for (const auto& frame : group.VertexFrames)
            TransformArray(frame->Vectors(), frame->Vectors(), frame->Count(), transform);
    }

    if (group.VertexFrames.Count() == 0) {
        primitive.ComputeNormals();
    } else {
        for (int f = 0; f < group.VertexFrames.Count(); ++f)
            primitive.ComputeNormals(group.VertexFrames.Frame(f), group.NormalFrames.Frame(f));
    }
}
