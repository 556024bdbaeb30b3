// The engine's swimming bend of a frameless fish mesh, reproduced so the
// contact sheet can show each fish mid-stroke: a travelling wave along x,
// parts sticking out sideways past the body swept back and flapping, parts
// below the belly line swept back, and a flutter at the tail end.
#pragma once

#include "writers.h"

#include <vector>

namespace cg {

using VertexGroup = std::vector<Vec3f>;

// Bends the rest positions of a mesh's opaque groups (body) and blended
// groups (fins) to phase p in [0, 1) of the swim cycle.
void SwimBend(std::vector<VertexGroup>& opaque, std::vector<VertexGroup>& blended, float phase);

}  // namespace cg
