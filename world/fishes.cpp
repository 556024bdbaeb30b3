#include "world/fishes.h"

#include "render/gl_objects.h"
#include "render/gl_table.h"
#include "scene/loader.h"
#include "scene/meshes.h"
#include "world/fish_render.h"
#include "world/random.h"

#include <algorithm>
#include <cmath>

namespace {

constexpr double kPi = 3.14159265358979323846;
constexpr double kDegrees = 180 / kPi;

// Depth bands of a school outside a renderer (the renderer's defaults).
constexpr float kNearBandFar = 2400;
constexpr float kMiddleBandNear = 4200;
constexpr float kFarBandNear = 6000;
constexpr float kNeighbourDepth = 350;

// Swimming cycle of a frameless fish mesh.
constexpr int kSwimFrames = 10;
constexpr float kSwimFPS = 5;

double EaseInOut(double t) { return t < 0.5 ? 2 * t * t : 1 - 2 * (1 - t) * (1 - t); }

double Lerp(double from, double to, double r) { return from + r * (to - from); }

// The box of the vertices of the groups (their rest pose: the primitive's
// own vertices before any frame moved them).
bool GroupBounds(const TMeshGroupList& groups, TBounds3f& box, bool started) {
    for (int g = 0; g < groups.Count(); ++g) {
        const TGLVectorDArray& v = groups.Get(g)->Primitive->Vertices;
        for (int i = 0; i < v.Count(); ++i) {
            const TVector3f p = v.Get(i);
            if (!started) {
                box = {p.x, p.y, p.z, p.x, p.y, p.z};
                started = true;
                continue;
            }
            box.minX = std::min(box.minX, p.x);
            box.minY = std::min(box.minY, p.y);
            box.minZ = std::min(box.minZ, p.z);
            box.maxX = std::max(box.maxX, p.x);
            box.maxY = std::max(box.maxY, p.y);
            box.maxZ = std::max(box.maxZ, p.z);
        }
    }
    return started;
}

struct TSwimShape {
    double MinX, Len, A, A8, Kx, X10, X70;
};

// Bends one rest vertex for phase p with bend angle th.
TVector3f SwimVertex(const TVector3f& rest, const TSwimShape& s, double zLim, double yLim, double p, double th) {
    double x = rest.x, y = rest.y, z = rest.z;
    if (z > zLim) {
        const double e = z - zLim;
        x -= std::sin(th) * e;
        z = zLim + std::cos(th) * e;
    } else if (z < -zLim) {
        const double e = -z - zLim;
        x -= std::sin(th) * e;
        z = -zLim - std::cos(th) * e;
    }
    if (y < yLim) {
        const double e = yLim - y;
        x -= std::sin(th + kPi / 3) * e;
        y = yLim + std::cos(th + kPi / 3) * e;
    }
    if (x <= s.X10 || z < -zLim || z > zLim || y < yLim) z += (s.A / 16) * std::sin(8 * s.Kx * y + 2 * kPi * p);
    double amp;
    if (x <= s.X10)
        amp = s.A;
    else if (x >= s.X70)
        // A tail boundary at x = 0 would divide by zero: no extra swing then.
        amp = s.A8 + (s.X70 != 0 ? (x - s.X70) * 10 / s.X70 : 0);
    else
        amp = s.A + (x - s.X10) * (s.A8 - s.A) / (s.X70 - s.X10);
    z += amp * std::sin((x - s.MinX) * s.Kx + 2 * kPi * p);
    const TVector3f out{static_cast<float>(x), static_cast<float>(y), static_cast<float>(z)};
    if (!std::isfinite(out.x) || !std::isfinite(out.y) || !std::isfinite(out.z)) return rest;
    return out;
}

void BendGroups(const TMeshGroupList& groups, const TSwimShape& shape, double zLim, double yLim, int frame,
                double p, double th) {
    for (int g = 0; g < groups.Count(); ++g) {
        TMeshGroup& group = *groups.Get(g);
        const TGLVectorDArray& rest = group.Primitive->Vertices;
        if (frame >= group.VertexFrames.Count()) continue;
        TGLVectorDArray& out = group.VertexFrames.Frame(frame);
        const int n = std::min(rest.Count(), out.Count());
        for (int i = 0; i < n; ++i) out.Set(i, SwimVertex(rest.Get(i), shape, zLim, yLim, p, th));
        if (frame < group.NormalFrames.Count())
            group.Primitive->ComputeNormals(out, group.NormalFrames.Frame(frame));
    }
}

}  // namespace

std::string FishTypeToStr(TFishType type) {
    switch (type) {
        case ftPlankton: return "Plankton";
        case ftStarFish: return "StarFish";
        case ftJellyFish: return "JellyFish";
        default: return "Fish";
    }
}

TFishType StrToFishType(std::string_view text) {
    if (text == "Plankton") return ftPlankton;
    if (text == "StarFish") return ftStarFish;
    if (text == "JellyFish") return ftJellyFish;
    return ftFish;
}

// --- TFish ---------------------------------------------------------------------

TFish::~TFish() {
    if (SlotOwner) SlotOwner->ReleaseSlot(*this);
}

// --- TFishes -------------------------------------------------------------------

TFishes::TFishes() = default;

void TFishes::ReadProperties(TResourceLoader& loader) {
    ReadRegion(loader);
    MaxCount = loader.ReadInteger("MaxCount", MaxCount);
    FishType = StrToFishType(loader.ReadString("FishType", FishTypeToStr(FishType)));
    NeedsPrepare = true;
    TSceneParticleList::ReadProperties(loader);
}

void TFishes::WriteProperties(TResourceLoader& loader) {
    TSceneParticleList::WriteProperties(loader);
    WriteRegion(loader);
    loader.WriteInteger("MaxCount", MaxCount);
    loader.WriteString("FishType", FishTypeToStr(FishType));
}

TFishRender* TFishes::Renderer() const { return dynamic_cast<TFishRender*>(Owner); }

TSceneMesh* TFishes::Mesh() const { return dynamic_cast<TSceneMesh*>(Visual); }

std::unique_ptr<TSceneParticle> TFishes::CreateParticle() {
    if (FishType == ftPlankton) return std::make_unique<TPlankton>();
    return std::make_unique<TFish>();
}

int TFishes::SetParticleCount(int count) {
    count = std::clamp(count, 0, std::max<int32_t>(MaxCount, 0));
    for (int i = count; i < GetCount(); ++i)
        if (auto* fish = dynamic_cast<TFish*>(GetItem(i)); fish && fish->SlotOwner) fish->SlotOwner->ReleaseSlot(*fish);
    return TSceneParticleList::SetParticleCount(count);
}

void TFishes::ResetParticle(TSceneParticle& particle) {
    if (FishType == ftPlankton) {
        if (auto* plankton = dynamic_cast<TPlankton*>(&particle)) SpawnPlankton(*plankton);
        if (!PathIsFinite(particle)) GiveUpPath(particle);
        return;
    }
    auto* fish = dynamic_cast<TFish*>(&particle);
    if (!fish) return;
    SpawnFish(*fish);
    if (!PathIsFinite(*fish)) {
        GiveUpPath(*fish);
        return;
    }
    TFishRender* renderer = Renderer();
    if (renderer && !renderer->ReserveSlot(*this, *fish)) {
        // Behind the camera; asks again next frame.
        fish->Position = ParkPosition;
        fish->Time = 1;
        fish->LifeTime = 0;
    }
}

void TFishes::GiveUpPath(TSceneParticle& particle) {
    if (auto* fish = dynamic_cast<TFish*>(&particle); fish && fish->SlotOwner) fish->SlotOwner->ReleaseSlot(*fish);
    // Also an endless path (no speed): a fish that never arrives would hold
    // its slot for good. The list parks whatever has no usable life time.
    particle.LifeTime = NAN;
    // A parked speck does not wander off while it waits.
    if (auto* plankton = dynamic_cast<TPlankton*>(&particle)) plankton->NextTurnTime = ParkRetryTime + 1;
}

void TFishes::MoveParticle(TSceneParticle& particle, float step) {
    TSceneParticleList::MoveParticle(particle, step);
    if (FishType == ftPlankton)
        if (auto* plankton = dynamic_cast<TPlankton*>(&particle)) DriftPlankton(*plankton);
}

void TFishes::MeasureHalfLength() {
    NeedsPrepare = false;
    TSceneMesh* mesh = Mesh();
    TBounds3f box;
    if (mesh) {
        mesh->EnsureLoaded();
        const bool any = GroupBounds(mesh->OpaqueGroups, box, false);
        GroupBounds(mesh->BlendedGroups, box, any);
    }
    // A mesh without vertices counts as a point.
    HalfLength = (box.maxX - box.minX) / 2 + 100;
}

void TFishes::SpawnFish(TFish& fish) {
    if (NeedsPrepare) MeasureHalfLength();
    const TFishRender* renderer = Renderer();
    const double nearBandFar = renderer ? renderer->NearBandFar : kNearBandFar;
    const double middleBandNear = renderer ? renderer->MiddleBandNear : kMiddleBandNear;
    const double farBandNear = renderer ? renderer->FarBandNear : kFarBandNear;
    const double neighbourDepth = renderer ? renderer->NeighbourDepth : kNeighbourDepth;

    // 1. Depth, heading and height.
    double depth, heading = 0, y;
    if (MaxZ == MinZ) {
        depth = MaxZ;
        y = Lerp(BottomY, UpY, RandomFloat());
    } else {
        double k = std::nearbyint(RandomFloat() * MaxCount);
        if (farBandNear > MaxZ) k = 19;
        if (k < 20) {
            heading = -15;
            depth = Lerp(MinZ, nearBandFar, RandomFloat());
            y = Lerp(BottomY, UpY, RandomFloat());
        } else if (k < 50) {
            depth = middleBandNear + RandomFloat() * (farBandNear - middleBandNear - neighbourDepth);
            y = Lerp(BottomY, UpY, RandomFloat());
        } else {
            depth = farBandNear + RandomFloat() * (MaxZ - farBandNear) + neighbourDepth;
            y = UpY - RandomFloat() * (UpY - BottomY) / 2;
        }
    }

    // 2-3. The left edge of the view at that depth.
    const TSceneView view = View();
    const double camX = view.CameraPosition.x, camY = view.CameraPosition.y, camZ = view.CameraPosition.z;
    const double nearDepth = view.NearDepth, right = view.Right(), top = view.Top();
    const double z = -depth;
    const double a = heading / kDegrees;
    const double dx = std::cos(a), dz = std::sin(a);
    const double s = std::fabs((z - camZ) / nearDepth);
    const double xL = camX - s * right;
    const double yTop = camY + s * top;
    if (y > yTop) y = yTop;
    if (y < -yTop) y = -yTop;

    // 4. Where the heading meets the right edge of the view.
    const double m = dz / dx;
    const double q = -nearDepth / right;
    const double b0 = camZ - q * camX;
    const double b1 = z - m * xL;
    const double xR = (b0 - b1) / (m - q);
    const double zR = b0 + q * xR;

    // 5. Both ends half a fish outside the view.
    const double h = HalfLength;
    const TVector3f start{static_cast<float>(xL - dx * h), static_cast<float>(y), static_cast<float>(z - dz * h)};
    const TVector3f end{static_cast<float>(xR + dx * h), static_cast<float>(y), static_cast<float>(zR + dz * h)};
    fish.PathDepth = start.z;

    // 6. Speed and duration.
    fish.AngleSpeed = {};
    const double v = Lerp(MinSpeed, MaxSpeed, RandomFloat());
    fish.Time = 0;
    fish.LifeTime = static_cast<float>(std::fabs(end.x - start.x) / (v * dx));

    // 7. Direction.
    TFishDirection direction = renderer ? renderer->FishDirection : fdRight;
    if (direction == fdBoth) direction = RandomFloat() > 0.5 ? fdRight : fdLeft;
    const TVector3f velocity{static_cast<float>(v * dx), 0, static_cast<float>(v * dz)};
    if (direction == fdRight) {
        fish.Position = start;
        fish.Speed = velocity;
        fish.Angles = {0, static_cast<float>(-heading), 0};
    } else {
        fish.Position = end;
        fish.Speed = {-velocity.x, 0, -velocity.z};
        fish.Angles = {0, static_cast<float>(180 - heading), 0};
    }
}

void TFishes::SpawnPlankton(TPlankton& plankton) {
    const TSceneView view = View();
    const double camX = view.CameraPosition.x, camY = view.CameraPosition.y, camZ = view.CameraPosition.z;
    const double z = -Lerp(MinZ, MaxZ, RandomFloat());
    const double s = std::fabs((z - camZ) / view.NearDepth);
    double xL = camX - s * view.Right();
    double xR = camX + s * view.Right();
    const double yT = std::min<double>(camY + s * view.Top(), UpY);
    const double yB = std::max<double>(camY - s * view.Top(), BottomY);
    const double y = Lerp(yB, yT, RandomFloat());
    plankton.AngleSpeed = {72, 144, 36};
    plankton.Time = 0;
    plankton.NextTurnTime = 0;
    xL -= HalfLength;
    xR += HalfLength;
    const double v = Lerp(MinSpeed, MaxSpeed, RandomFloat());
    plankton.LifeTime = static_cast<float>((xR - xL) / v);
    if (RandomFloat() > 0.5) {
        plankton.Position = {static_cast<float>(xL), static_cast<float>(y), static_cast<float>(z)};
        plankton.Speed = {static_cast<float>(v), 0, 0};
    } else {
        plankton.Position = {static_cast<float>(xR), static_cast<float>(y), static_cast<float>(z)};
        plankton.Speed = {static_cast<float>(-v), 0, 0};
    }
    plankton.Angles = {};
}

void TFishes::DriftPlankton(TPlankton& plankton) {
    if (plankton.NextTurnTime > plankton.Time) return;
    const double w = Lerp(MinSpeed, MaxSpeed, RandomFloat());
    plankton.Speed.y = static_cast<float>((RandomFloat() - 0.5) * 2 * w);
    plankton.NextTurnTime = static_cast<float>(plankton.Time + RandomFloat());
}

void TFishes::BuildSwimFrames() {
    TSceneMesh* mesh = Mesh();
    if (!mesh) return;
    mesh->EnsureLoaded();
    if (mesh->FrameCount() > 0) return;
    // A mesh without groups gets no frames; nothing is built for it.
    if (mesh->OpaqueGroups.Count() == 0 && mesh->BlendedGroups.Count() == 0) return;

    TBounds3f box, opaqueBox;
    const bool hasOpaque = GroupBounds(mesh->OpaqueGroups, opaqueBox, false);
    box = opaqueBox;
    if (!GroupBounds(mesh->BlendedGroups, box, hasOpaque)) return;  // no vertices at all

    mesh->FPS = kSwimFPS;
    mesh->AddFrames(kSwimFrames, kSwimFrames);

    TSwimShape shape;
    shape.MinX = box.minX;
    shape.Len = static_cast<double>(box.maxX) - box.minX;
    shape.A = 0.08 * shape.Len;
    shape.A8 = shape.A / 8;
    shape.Kx = kPi / (0.5 * shape.Len);
    shape.X10 = box.minX + 0.1 * shape.Len;
    shape.X70 = box.minX + 0.7 * shape.Len;

    const double opaqueZLim = box.maxZ, opaqueYLim = box.minY;
    double finZLim = box.maxZ - 0.39 * (static_cast<double>(box.maxZ) - box.minZ);
    double finYLim = box.minY + 0.23 * (static_cast<double>(box.maxY) - box.minY);
    if (hasOpaque) {
        finZLim = std::max<double>(finZLim, opaqueBox.maxZ);
        finYLim = std::min<double>(finYLim, opaqueBox.minY);
    }

    for (int i = 0; i < kSwimFrames; ++i) {
        const double p = i / static_cast<double>(kSwimFrames);
        const double th = ((p < 0.5 ? EaseInOut(2 * p) : EaseInOut(2 * (1 - p))) + 3) * kPi / 10;
        BendGroups(mesh->OpaqueGroups, shape, opaqueZLim, opaqueYLim, i, p, th);
        BendGroups(mesh->BlendedGroups, shape, finZLim, finYLim, i, p, th);
    }
}

void TFishes::DrawParticles(bool blended) {
    if (!Visual) return;
    for (int i = 0, n = GetCount(); i < n; ++i) {
        TMainItem* particle = GetItem(i);
        particle->BeginRender();
        if (blended)
            Visual->RenderBlended();
        else
            Visual->RenderOpaque();
        particle->EndRender();
    }
}

void TFishes::RenderOpaque() {
    if (FishType == ftPlankton) {
        gl.Disable(GL_CULL_FACE);
        if (TSceneMesh* mesh = Mesh()) mesh->EnsureLoaded();
        gl.Enable(GL_CULL_FACE);
        return;
    }
    if (FishType == ftFish) BuildSwimFrames();
    DrawParticles(false);
}

void TFishes::RenderBlended() {
    if (FishType == ftPlankton) {
        gl.Disable(GL_CULL_FACE);
        gl.Disable(GL_DEPTH_TEST);
        DrawParticles(true);
        gl.Enable(GL_CULL_FACE);
        gl.Enable(GL_DEPTH_TEST);
        return;
    }
    if (FishType == ftFish) BuildSwimFrames();
    TSceneMesh* mesh = Mesh();
    if (mesh && mesh->BlendedGroups.Count() == 0) return;
    DrawParticles(true);
}
