#include "scene/registry.h"

#include "scene/objects.h"
#include "scene/scene_classes.h"
#include "core/strutil.h"

void TClassRegistry::Register(std::string_view name, TObjectFactory factory) {
    std::string key = str::UpperCase(name);
    for (TEntry& entry : Entries)
        if (entry.Key == key) {
            entry.Factory = std::move(factory);
            return;
        }
    Entries.push_back(TEntry{std::string(name), std::move(key), std::move(factory)});
}

const TClassRegistry::TEntry* TClassRegistry::Find(std::string_view name) const {
    std::string key = str::UpperCase(name);
    for (const TEntry& entry : Entries)
        if (entry.Key == key) return &entry;
    return nullptr;
}

std::unique_ptr<TMainObject> TClassRegistry::Create(std::string_view name) const {
    const TEntry* entry = Find(name);
    return entry ? entry->Factory() : nullptr;
}

bool TClassRegistry::Contains(std::string_view name) const { return Find(name) != nullptr; }

std::vector<std::string> TClassRegistry::Names() const {
    std::vector<std::string> names;
    for (const TEntry& entry : Entries) names.push_back(entry.Name);
    return names;
}

TClassRegistry& TheClassRegistry() {
    static TClassRegistry registry = [] {
        TClassRegistry r;
        r.Register<TMainItemList>("TMainItemList");
        r.Register<TMainObjectList>("TMainObjectList");
        r.Register<TMainScene>("TMainScene");
        r.Register<TResource>("TResource");
        RegisterSceneClasses(r);
        return r;
    }();
    return registry;
}
