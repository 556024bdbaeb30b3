// Bubbles: particles rising from the sea bed in twelve columns at twelve
// depths, each starting again at the bottom once it reaches the top of the
// view (or UpY, when that is lower).
#pragma once

#include "world/particles.h"

#include <string_view>

class TBubbles : public TSceneParticleList, public TParticleRegion {
public:
    std::string_view ClassName() const override { return "TBubbles"; }

    // The inherited keys, then "MaxZ", "MinZ", "UpY", "BottomY", "MaxSpeed",
    // "MinSpeed", "MaxCount".
    void ReadProperties(TResourceLoader& loader) override;
    void WriteProperties(TResourceLoader& loader) override;

    // GL lighting on, then every bubble with the shared mesh.
    void RenderOpaque() override;
    void RenderBlended() override;

    void ResetParticle(TSceneParticle& particle) override;

    // One of twelve evenly spaced values from 0 to 11/12, moved by at most
    // 0.01 either way.
    static double ColumnRandom();

    float MaxCount = 0;  // kept with the script; nothing limits the count by it
};
