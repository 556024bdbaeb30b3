// A scene host for tests: settings in a map, and an optional GL context.
#pragma once

#include "scene/scene_host.h"

#include <map>
#include <string>

class TMemorySceneHost : public ISceneHost {
public:
    explicit TMemorySceneHost(TCustomOpenGL* context) : Context(context) {}
    std::map<std::string, std::string> Values;
    TCustomOpenGL* Context;

    std::string ReadString(const std::string& name, const std::string& def) override {
        auto it = Values.find(name);
        return it == Values.end() ? def : it->second;
    }
    bool ReadBool(const std::string& name, bool def) override { return ReadString(name, def ? "1" : "0") != "0"; }
    int32_t ReadInteger(const std::string& name, int32_t def) override {
        return std::stoi(ReadString(name, std::to_string(def)));
    }
    void WriteString(const std::string& name, const std::string& value) override { Values[name] = value; }
    void WriteBool(const std::string& name, bool value) override { Values[name] = value ? "1" : "0"; }
    void WriteInteger(const std::string& name, int32_t value) override { Values[name] = std::to_string(value); }
    TCustomOpenGL* OpenGL() override { return Context; }
    TSceneView SceneView;
    TSceneView View() override { return SceneView; }
};
