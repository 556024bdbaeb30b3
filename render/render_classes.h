// The rendering layer's script classes, entered into the class registry
// after the engine's own.
#pragma once

class TClassRegistry;

void RegisterRenderClasses(TClassRegistry& registry);
