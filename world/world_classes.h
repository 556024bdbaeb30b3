// The underwater world's script classes. Their bases (TSceneLayer,
// TSceneBaseText) are built only in code: a script cannot name them. The
// class registry lives in the
// scene layer, which cannot see this one, so start-up (and every test that
// loads such classes) enters them with this call; entering them again
// changes nothing.
#pragma once

class TClassRegistry;

void RegisterWorldClasses(TClassRegistry& registry);
// Into the process's registry.
void RegisterWorldClasses();
