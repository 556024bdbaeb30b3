// What the scene needs from the application that hosts it: the settings
// store, addressed with plain value names, and the GL context object.
#pragma once

#include "core/vecmath.h"

#include <cmath>
#include <cstdint>
#include <string>

class TCustomOpenGL;

// The camera and projection the scene is seen through, as the world's
// objects need them to place fish, bubbles and water in the view.
struct TSceneView {
    TVector3f CameraPosition{0, 0, 0};
    double FOV = 75;          // vertical field of view, degrees
    double NearDepth = 100;
    double FarDepth = 10000;
    double Aspect = 4.0 / 3;  // of the projection: 16:9 when WideScreen, else as the viewport measures it
    bool WideScreen = false;
    int32_t WindowWidth = 0;
    int32_t WindowHeight = 0;

    // Half-extents of the frustum at the near plane.
    double Top() const { return NearDepth * std::tan(FOV * 3.14159265358979323846 / 360.0); }
    double Right() const { return Top() * Aspect; }
    // Width over height of the window; the projection's aspect without one.
    double WindowAspect() const {
        return WindowWidth > 0 && WindowHeight > 0 ? double(WindowWidth) / WindowHeight : Aspect;
    }
};

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

    // The view of the frame being built; the defaults without a window.
    virtual TSceneView View() { return {}; }
};
