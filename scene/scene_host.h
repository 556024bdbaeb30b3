// What the scene needs from the application that hosts it: the settings
// store, addressed with plain value names, and the GL context object.
#pragma once

#include <cstdint>
#include <string>

class TCustomOpenGL;

class ISceneHost {
public:
    virtual ~ISceneHost() = default;

    virtual std::string ReadString(const std::string& name, const std::string& defaultValue) = 0;
    virtual bool ReadBool(const std::string& name, bool defaultValue) = 0;
    virtual int32_t ReadInteger(const std::string& name, int32_t defaultValue) = 0;
    virtual void WriteString(const std::string& name, const std::string& value) = 0;
    virtual void WriteBool(const std::string& name, bool value) = 0;
    virtual void WriteInteger(const std::string& name, int32_t value) = 0;

    // The GL context object the scene draws with; null while there is none.
    virtual TCustomOpenGL* OpenGL() { return nullptr; }
};
