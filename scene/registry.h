// The class registry: the process-wide table from class name to factory that
// the loader creates script objects with. Names match without regard to case.
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

class TMainObject;

using TObjectFactory = std::function<std::unique_ptr<TMainObject>()>;

class TClassRegistry {
public:
    // Adds a class; registering a name again replaces its factory.
    void Register(std::string_view name, TObjectFactory factory);
    template <class T>
    void Register(std::string_view name) {
        Register(name, [] { return std::unique_ptr<TMainObject>(new T()); });
    }

    // A new instance with the class's own defaults, or null for an unknown
    // name.
    std::unique_ptr<TMainObject> Create(std::string_view name) const;
    bool Contains(std::string_view name) const;
    // In registration order, as registered.
    std::vector<std::string> Names() const;

private:
    struct TEntry {
        std::string Name;
        std::string Key;  // upper case
        TObjectFactory Factory;
    };
    const TEntry* Find(std::string_view name) const;

    std::vector<TEntry> Entries;
};

// The registry of the process. The engine's own classes are in it from the
// first call on, ahead of anything registered later:
//   TheClassRegistry().Register<TSceneMesh>("TSceneMesh");
TClassRegistry& TheClassRegistry();
