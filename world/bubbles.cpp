#include "world/bubbles.h"

#include "render/gl_table.h"
#include "scene/loader.h"
#include "world/random.h"

#include <cmath>

namespace {

constexpr double kPi = 3.14159265358979323846;

}  // namespace

void TBubbles::ReadProperties(TResourceLoader& loader) {
    TSceneParticleList::ReadProperties(loader);
    ReadRegion(loader);
    MaxCount = loader.ReadFloat("MaxCount", MaxCount);
}

void TBubbles::WriteProperties(TResourceLoader& loader) {
    TSceneParticleList::WriteProperties(loader);
    WriteRegion(loader);
    loader.WriteFloat("MaxCount", MaxCount);
}

double TBubbles::ColumnRandom() {
    const double column = RandomInt(12) / 12.0;
    return column + (0.5 - RandomFloat()) * 0.02;
}

void TBubbles::ResetParticle(TSceneParticle& bubble) {
    const TSceneView view = View();
    const double aspect = view.WideScreen ? 16.0 / 9.0 : view.WindowAspect();
    const double z = -(MinZ + ColumnRandom() * (static_cast<double>(MaxZ) - MinZ));
    const double halfH = -z * std::tan(view.FOV * kPi / 360);
    const double halfW = halfH * aspect + 100;
    const double x = ColumnRandom() * 2 * halfW - halfW;
    const double speed = MinSpeed + RandomFloat() * (static_cast<double>(MaxSpeed) - MinSpeed);
    bubble.Speed = {0, static_cast<float>(speed), 0};
    bubble.Angles = {};
    bubble.AngleSpeed = {};
    bubble.Time = 0;
    // Up to the top of the view at its depth, or to UpY when that is lower.
    const double rise = std::fabs(BottomY) + (halfH < UpY ? halfH : UpY);
    bubble.LifeTime = static_cast<float>(std::fabs(rise / speed));
    bubble.Position = {static_cast<float>(x), BottomY, static_cast<float>(z)};
}

void TBubbles::RenderOpaque() {
    gl.Enable(GL_LIGHTING);
    TSceneParticleList::RenderOpaque();
}

void TBubbles::RenderBlended() {
    gl.Enable(GL_LIGHTING);
    TSceneParticleList::RenderBlended();
}
