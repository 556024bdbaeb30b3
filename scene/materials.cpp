#include "scene/materials.h"

#include "render/gl_objects.h"
#include "core/errors.h"
#include "scene/loader.h"
#include "scene/renderstate.h"
#include "scene/scene_gl.h"

#include <memory>
#include <string>

TGroupMaterial::TGroupMaterial(TSceneMaterial* owner)
    : Material(SceneGLLists(owner ? owner->MainScene : nullptr).Materials.Add()), Owner(owner) {}

TGroupMaterial::~TGroupMaterial() {
    delete Material;  // leaves its list on the way
    // The cache compares by address; a later group material could take this one's.
    if (TheRenderState().CurrentGroupMaterial == this) TheRenderState().CurrentGroupMaterial = nullptr;
}

TGroupMaterial* TSceneMaterial::AddGroupMaterial() {
    if (GroupMaterials.Count() >= MaxGroupMaterials)
        throw Exception("TSceneMaterial.AddGroupMaterial error: More than " + std::to_string(MaxGroupMaterials) +
                        " group materials in " + Name());
    TGroupMaterial* groupMaterial = GroupMaterials.Add(std::make_unique<TGroupMaterial>(this));
    groupMaterial->Index = GroupMaterials.Count() - 1;
    return groupMaterial;
}

void TSceneMaterial::ReadProperties(TResourceLoader& loader) {
    TMainObject::ReadProperties(loader);
    const int32_t count = loader.ReadInteger("Count", 0);
    if (count > MaxGroupMaterials - GroupMaterials.Count())
        throw Exception("TSceneMaterial.ReadProperties error: Count " + std::to_string(count) + " is above " +
                        std::to_string(MaxGroupMaterials) + " for " + Name());
    for (int32_t i = 0; i < count; ++i) AddGroupMaterial();
    UseVertexColor = loader.ReadBool("UseVertexColor", UseVertexColor);

    for (int32_t n = 1; n <= count && n <= GroupMaterials.Count(); ++n) {
        TGroupMaterial& groupMaterial = *GroupMaterials.Get(n - 1);
        TGLMaterial& m = *groupMaterial.Material;
        const std::string number = std::to_string(n);
        m.SetAmbient(loader.ReadColor("Ambient" + number, m.Ambient()));
        m.SetDiffuse(loader.ReadColor("Diffuse" + number, m.Diffuse()));
        m.SetSpecular(loader.ReadColor("Specular" + number, m.Specular()));
        m.SetEmission(loader.ReadColor("Emission" + number, m.Emission()));
        groupMaterial.VertexColor = loader.ReadColor("VertexColor" + number, {1, 1, 1, 1});
        m.SetShininess(loader.ReadFloat("Shininess" + number, m.Shininess()));
        m.SetFront(loader.ReadBool("Front" + number, m.Front()));
        m.SetBack(loader.ReadBool("Back" + number, m.Back()));
        groupMaterial.Applied = false;
    }
}

void TSceneMaterial::WriteProperties(TResourceLoader& loader) {
    TMainObject::WriteProperties(loader);
    // Loading adds Count group materials to those the material has, so a
    // written material reads back with the same ones.
    loader.WriteInteger("Count", GroupMaterials.Count());
    loader.WriteBool("UseVertexColor", UseVertexColor);
    for (int n = 1; n <= GroupMaterials.Count(); ++n) {
        const TGroupMaterial& groupMaterial = *GroupMaterials.Get(n - 1);
        const TGLMaterial& m = *groupMaterial.Material;
        const std::string number = std::to_string(n);
        loader.WriteColor("Ambient" + number, m.Ambient());
        loader.WriteColor("Diffuse" + number, m.Diffuse());
        loader.WriteColor("Specular" + number, m.Specular());
        loader.WriteColor("Emission" + number, m.Emission());
        loader.WriteColor("VertexColor" + number, groupMaterial.VertexColor);
        loader.WriteFloat("Shininess" + number, m.Shininess());
        loader.WriteBool("Front" + number, m.Front());
        loader.WriteBool("Back" + number, m.Back());
    }
}
