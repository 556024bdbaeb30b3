// The 3DM mesh text: a line-oriented export of objects (vertices, faces,
// texture coordinates, transform, vertex-keyframe animation) and materials.
// T3DMFile parses it into plain data; the scene meshes turn that into
// drawable geometry.
#pragma once

#include <array>
#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

struct T3DMPoint {
    float x = 0, y = 0, z = 0;
};

struct T3DMTexCoord {
    float u = 0, v = 0;
};

// 0 to 255 per channel.
struct T3DMColor {
    float r = 0, g = 0, b = 0;
};

// 1-based indices of one triangle's corners.
struct T3DMFace {
    int32_t a = 0, b = 0, c = 0;
};

// Rows 0 to 2 are the axes, row 3 the translation.
using T3DMMatrix = std::array<std::array<float, 3>, 4>;

class T3DMVertexFrameList {
public:
    using TFrame = std::vector<T3DMPoint>;

    int Count() const { return static_cast<int>(Items.size()); }
    // Trims or extends to n frames; new frames are empty.
    void SetCount(int n);
    TFrame& Frame(int index);
    const TFrame& Frame(int index) const;

    std::vector<TFrame> Items;
    bool Loop = false;
};

class T3DMObject {
public:
    std::vector<T3DMPoint> Vertices;
    std::vector<T3DMPoint> Normals;
    std::vector<T3DMColor> Colors;
    std::vector<T3DMTexCoord> TexCoords;
    std::vector<T3DMFace> VertexFaces;
    std::vector<T3DMFace> ColorFaces;
    std::vector<T3DMFace> TexCoordFaces;
    std::string Name;
    bool HasNormals = false;
    bool HasTexCoords = false;
    bool HasColors = false;
    bool HasTransform = false;
    T3DMMatrix Matrix{};
    std::string MaterialName;
    std::vector<int32_t> FaceMaterialIds;
    T3DMVertexFrameList Frames;
};

class T3DMMaterialList;

class T3DMMaterial {
public:
    T3DMMaterial() = default;
    explicit T3DMMaterial(std::string name) : FName(std::move(name)) {}
    // Removes the material from its owner, if it still has one.
    virtual ~T3DMMaterial();
    T3DMMaterial(const T3DMMaterial&) = delete;
    T3DMMaterial& operator=(const T3DMMaterial&) = delete;

    T3DMMaterialList* Owner() const { return FOwner; }
    const std::string& Name() const { return FName; }
    // Re-keys the material in its owner's name index.
    void SetName(const std::string& name);

private:
    friend class T3DMMaterialList;
    T3DMMaterialList* FOwner = nullptr;
    std::string FName;
};

class T3DMMaterialStandard : public T3DMMaterial {
public:
    using T3DMMaterial::T3DMMaterial;

    bool Faceted = false;
    bool TwoSided = false;
    int32_t ShaderType = 0;
    int32_t OpacityType = 0;
    int32_t WireSize = 0;
    float Glossiness = 0;     // percent
    float SpecularLevel = 0;  // percent
    float Opacity = 0;        // percent
    std::string DiffuseMap;
    std::string ReflectionMap;
    std::string OpacityMap;
    std::string BumpMap;
    T3DMColor Ambient;
    T3DMColor Diffuse;
    T3DMColor SelfIllumColor;
    T3DMColor Specular;
};

// Owns materials in insertion order and finds them by name, ignoring case.
// When several share a name, the one keyed first is found.
class T3DMMaterialList {
public:
    T3DMMaterialList() = default;
    ~T3DMMaterialList();
    T3DMMaterialList(const T3DMMaterialList&) = delete;
    T3DMMaterialList& operator=(const T3DMMaterialList&) = delete;

    // Takes ownership and sets the material's Owner; returns the material.
    // Raises Exception("T3DMMaterialList error: Add a NIL Material").
    T3DMMaterial* Add(std::unique_ptr<T3DMMaterial> material);
    // nullptr when no material has that name.
    T3DMMaterial* FindMaterial(std::string_view name) const;
    int Count() const { return static_cast<int>(Items.size()); }
    T3DMMaterial* GetMaterial(int index) const;
    // Hands a material back to the caller, out of this list.
    std::unique_ptr<T3DMMaterial> Extract(T3DMMaterial* material);
    // Frees a material of this list.
    void Delete(T3DMMaterial* material);
    void Clear();

private:
    friend class T3DMMaterial;
    void IndexInsert(T3DMMaterial* material);
    void IndexRemove(T3DMMaterial* material);
    void Detach(T3DMMaterial* material);

    struct TNameLess {
        using is_transparent = void;
        bool operator()(std::string_view a, std::string_view b) const;
    };

    std::vector<std::unique_ptr<T3DMMaterial>> Items;
    // Case-insensitive; equal names stay in the order they were keyed.
    std::multimap<std::string, T3DMMaterial*, TNameLess> Index;
};

class T3DMMaterialMultiSubObject : public T3DMMaterial {
public:
    using T3DMMaterial::T3DMMaterial;

    T3DMMaterialList SubMaterials;
};

class T3DMFile {
public:
    // Clears, then reads name through the resource reader (FromArchive) or
    // from disk, and parses it. An entry missing from the archive leaves the
    // file empty; a missing disk file raises EFOpenError.
    void LoadFromFile(const std::string& name);
    // Clear, then parse a whole text / its lines.
    void LoadFromText(std::string_view text);
    void LoadFromLines(const std::vector<std::string>& lines);
    void Clear();

    int ObjectCount() const { return static_cast<int>(Objects.size()); }
    T3DMObject& GetObject(int index) const;

    std::vector<std::unique_ptr<T3DMObject>> Objects;
    int32_t Version = 0;
    T3DMMaterialList Materials;
    bool FromArchive = false;
};
