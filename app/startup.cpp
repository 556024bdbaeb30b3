#include "app/startup.h"

#include "core/archive.h"
#include "scene/objects.h"
#include "scene/registry.h"
#include "scene/scene_textures.h"
#include "world/world_classes.h"

static void PointReaderAtEmbeddedArchive() {
    TResourceFileReader& reader = TheResourceReader();
    reader.SetBasePath(".\\Scene\\");
    reader.ArchiveName = "data.rfa";
    reader.Mode = 3;
}

void RegisterContentClasses() {
    static bool registered = false;
    if (registered) return;
    registered = true;
    // The engine's classes are registered by the registry itself; the
    // world adds its own after them.
    RegisterWorldClasses(TheClassRegistry());
}

std::unique_ptr<TMainScene> LoadMainScene(const std::string& programFolder, ISceneHost* host) {
    RegisterContentClasses();
    PointReaderAtEmbeddedArchive();
    auto scene = std::make_unique<TMainScene>();
    scene->Application = host;
    scene->Path = programFolder;
    scene->SourceName = SceneScriptName;
    scene->LoadSources = lsArchive;
    scene->LoadFromFile();
    // The archive is always there to read a picture again: GL's copy of the
    // texels is the only one kept.
    for (int i = 0, n = scene->GetCount(); i < n; ++i)
        if (auto* textures = dynamic_cast<TSceneTextureList*>(scene->GetItem(i))) textures->KeepPixels = false;
    return scene;
}

static void Describe(const TMainList& list, int depth, std::string& out) {
    for (int i = 0; i < list.GetCount(); ++i) {
        const TMainItem* item = list.GetItem(i);
        if (!item) continue;
        out.append(static_cast<size_t>(depth) * 2, ' ');
        out += item->ClassName();
        if (auto* object = dynamic_cast<const TMainObject*>(item)) out += " \"" + object->Name() + "\"";
        if (auto* sceneObject = dynamic_cast<const TMainSceneObject*>(item)) {
            std::string options = ProcessOptionsToStr(sceneObject->ProcessOptions);
            if (!options.empty()) out += " " + options;
        }
        if (!item->Visible()) out += " (hidden)";
        out += '\n';
        if (auto* child = dynamic_cast<const TMainList*>(item)) Describe(*child, depth + 1, out);
    }
}

std::string DescribeScene(const TMainScene& scene) {
    std::string out = "MainScene\n";
    Describe(scene, 1, out);
    return out;
}
