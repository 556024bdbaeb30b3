// Scene start-up: points the process-wide reader at the archive carried in
// the executable and builds the scene from its script.
#pragma once

#include <memory>
#include <string>

class TMainScene;
class ISceneHost;

// The scene script's name inside the archive.
inline constexpr const char* SceneScriptName = "fishes.gsc";

// Adds the classes of the sound and world layers to the class registry
// (once; later calls do nothing).
void RegisterContentClasses();

// Builds the scene from the embedded archive. `programFolder` becomes the
// scene's Path (it matters only when the scene reads from disk). Errors of
// the load propagate to the caller.
std::unique_ptr<TMainScene> LoadMainScene(const std::string& programFolder, ISceneHost* host);

// One line per object, indented by depth: class, name and process options.
std::string DescribeScene(const TMainScene& scene);
