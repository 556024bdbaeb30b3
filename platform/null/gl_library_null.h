// A GL library double: loads any name listed in `Available` and answers
// lookups from `Symbols`.
#pragma once

#include "platform/gl_library.h"

#include <map>
#include <set>
#include <string>

namespace platform {

class NullGLLibrary final : public IGLLibrary {
public:
    std::set<std::string> Available;
    std::map<std::string, void*> Symbols;
    std::map<std::string, void*> ExtensionSymbols;
    std::string LoadedName;

    bool Load(const std::string& fileName) override {
        if (!Available.count(fileName)) return false;
        LoadedName = fileName;
        return true;
    }
    bool IsLoaded() const override { return !LoadedName.empty(); }
    void* GetProcAddress(const char* name) override { return Find(Symbols, name); }
    void* GetExtensionProcAddress(const char* name) override { return Find(ExtensionSymbols, name); }
    void Unload() override { LoadedName.clear(); }

private:
    void* Find(const std::map<std::string, void*>& table, const char* name) {
        if (LoadedName.empty()) return nullptr;
        auto it = table.find(name);
        return it == table.end() ? nullptr : it->second;
    }
};

}  // namespace platform
