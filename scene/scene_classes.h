// The scene engine's script classes beyond the object model's own, entered
// into the class registry right after those.
#pragma once

class TClassRegistry;

void RegisterSceneClasses(TClassRegistry& registry);
