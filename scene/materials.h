// Scene materials: named objects holding a short array of GL materials, one
// per material number of a mesh face, and the list that holds them.
#pragma once

#include "core/containers.h"
#include "scene/objects.h"
#include "core/vecmath.h"

#include <cstdint>

class TGLMaterial;
class TSceneMaterial;

class TGroupMaterial {
public:
    // Takes a GL material from the owner's scene.
    explicit TGroupMaterial(TSceneMaterial* owner);
    // Frees the GL material.
    ~TGroupMaterial();
    TGroupMaterial(const TGroupMaterial&) = delete;
    TGroupMaterial& operator=(const TGroupMaterial&) = delete;

    // Owned; lives in the GL context's material list.
    TGLMaterial* Material;
    // Position in the owner's list; -1 before it is added.
    int32_t Index = -1;
    TSceneMaterial* Owner;
    // Kept with the script; nothing draws with it.
    TColor4f VertexColor{1, 1, 1, 1};
    // The GL material has been sent since it last changed.
    bool Applied = false;
};

class TSceneMaterial : public TMainObject {
public:
    std::string_view ClassName() const override { return "TSceneMaterial"; }

    void WriteProperties(TResourceLoader& loader) override;
    // Adds "Count" group materials after any there are, then reads the
    // numbered keys of group materials 1 to Count.
    void ReadProperties(TResourceLoader& loader) override;

    // Appends a group material; its GL material comes from the scene this
    // material belongs to.
    TGroupMaterial* AddGroupMaterial();
    int GroupMaterialCount() const { return GroupMaterials.Count(); }
    TGroupMaterial* GroupMaterial(int index) const { return GroupMaterials.Get(index); }

    TBaseList<TGroupMaterial> GroupMaterials;
    // Kept with the script; nothing draws with it.
    bool UseVertexColor = true;

    // A face material number is at most 1000, so no mesh can use more.
    static constexpr int32_t MaxGroupMaterials = 1000;
};

// A plain resource whose children are scene materials.
class TSceneMaterialList : public TResource {
public:
    std::string_view ClassName() const override { return "TSceneMaterialList"; }
};
