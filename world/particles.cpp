#include "world/particles.h"

#include "scene/loader.h"
#include "world/random.h"

#include <algorithm>
#include <cmath>
#include <string>

namespace {

bool Finite(const TVector3f& v) { return std::isfinite(v.x) && std::isfinite(v.y) && std::isfinite(v.z); }

}  // namespace

void TParticleRegion::ReadRegion(const TResourceLoader& loader) {
    MaxZ = loader.ReadFloat("MaxZ", MaxZ);
    MinZ = loader.ReadFloat("MinZ", MinZ);
    UpY = loader.ReadFloat("UpY", UpY);
    BottomY = loader.ReadFloat("BottomY", BottomY);
    MaxSpeed = loader.ReadFloat("MaxSpeed", MaxSpeed);
    MinSpeed = loader.ReadFloat("MinSpeed", MinSpeed);
}

void TParticleRegion::WriteRegion(TResourceLoader& loader) const {
    loader.WriteFloat("MaxZ", MaxZ);
    loader.WriteFloat("MinZ", MinZ);
    loader.WriteFloat("UpY", UpY);
    loader.WriteFloat("BottomY", BottomY);
    loader.WriteFloat("MaxSpeed", MaxSpeed);
    loader.WriteFloat("MinSpeed", MinSpeed);
}

TSceneParticleList::TSceneParticleList() {
    ChildrenInScript = false;
    SetSorted(false);
}

void TSceneParticleList::ReadProperties(TResourceLoader& loader) {
    TMainVisualObjectList::ReadProperties(loader);
    Gravity = loader.ReadFloat("Gravity", Gravity);
    EnableGravity = loader.ReadBool("EnableGravity", EnableGravity);
    SetParticleCount(loader.ReadInteger("ParticleCount", 0));
}

void TSceneParticleList::WriteProperties(TResourceLoader& loader) {
    TMainVisualObjectList::WriteProperties(loader);
    loader.WriteFloat("Gravity", Gravity);
    loader.WriteBool("EnableGravity", EnableGravity);
    loader.WriteInteger("ParticleCount", GetCount());
}

TSceneParticle* TSceneParticleList::Particle(int index) const {
    return dynamic_cast<TSceneParticle*>(GetItem(index));
}

TSceneView TSceneParticleList::View() const { return SceneView(MainScene); }

bool TSceneParticleList::PathIsFinite(const TSceneParticle& p) {
    return Finite(p.Position) && Finite(p.Speed) && Finite(p.AngleSpeed) && Finite(p.Angles) &&
           std::isfinite(p.Time) && std::isfinite(p.LifeTime);
}

void TSceneParticleList::ParkParticle(TSceneParticle& p) {
    p.Position = ParkPosition;
    p.Speed = {};
    p.AngleSpeed = {};
    p.Angles = {};
    p.Time = 0;
    p.LifeTime = ParkRetryTime;
}

void TSceneParticleList::Animate(float deltaTime) {
    const int count = GetCount();
    if (count > 0 && Visual) Visual->Animate(deltaTime);
    if (EnableGravity) GravityStep = Gravity * deltaTime;
    for (int i = 0; i < count; ++i) {
        TSceneParticle* p = Particle(i);
        if (!p) continue;
        p->Time += deltaTime;
        if (p->Time < 0) continue;
        if (p->Time <= p->LifeTime) {
            MoveParticle(*p, deltaTime);
            p->FirstSpawn = false;
            continue;
        }
        ResetParticle(*p);
        // An endless path (a zero speed) is kept: the particle just never
        // resets. Anything else not finite would spread NaN into the
        // position, so the particle waits instead.
        const bool endless = p->LifeTime == INFINITY;
        if (endless) p->LifeTime = 0;
        const bool usable = PathIsFinite(*p);
        if (endless) p->LifeTime = INFINITY;
        if (!usable) {
            // It waits the whole retry time; a first path keeps its
            // part-way start for when one can be had.
            ParkParticle(*p);
            continue;
        }
        if (p->Time < 0) continue;
        if (p->FirstSpawn) {
            const float l = p->LifeTime;
            // Somewhere between 1/16 and 15/16 of the way; the start of an
            // endless path.
            p->Time = endless ? 0.0f : static_cast<float>(RandomFloat() * (l - l / 8) + l / 16);
        }
        MoveParticle(*p, p->Time);
        p->FirstSpawn = false;
    }
}

void TSceneParticleList::ResetParticle(TSceneParticle&) {}

void TSceneParticleList::MoveParticle(TSceneParticle& p, float step) {
    p.Position.x += p.Speed.x * step;
    p.Position.y += p.Speed.y * step;
    p.Position.z += p.Speed.z * step;
    p.Angles.x += p.AngleSpeed.x * step;
    p.Angles.y += p.AngleSpeed.y * step;
    p.Angles.z += p.AngleSpeed.z * step;
    if (EnableGravity) p.Speed.y -= GravityStep;
}

std::unique_ptr<TSceneParticle> TSceneParticleList::CreateParticle() { return std::make_unique<TSceneParticle>(); }

int TSceneParticleList::SetParticleCount(int count) {
    count = std::clamp(count, 0, MaxParticleCount);
    if (count < GetCount()) FreeItems(GetCount() - count);
    uint32_t sequence = 0;
    while (GetCount() < count) {
        std::unique_ptr<TSceneParticle> p = CreateParticle();
        p->SetName(Name() + std::to_string(GetCount()));
        p->LifeTime = 0;
        p->Time = 1;  // the next Animate gives it a path
        p->SequenceNumber = ++sequence;
        Add(std::move(p));
    }
    return count;
}
