// Caustic light: light traced through a periodic wave surface onto a floor,
// the three caustic and light-ray maps the scene projects, and the pieces
// the water surfaces reuse.
#pragma once

#include "content.h"
#include "image.h"

#include <cstdint>
#include <vector>

namespace cg {

// One term of a periodic height field: a * sin(2 pi (kx x + ky y) + phase)
// over the unit torus.
struct SurfaceWave {
    int Kx = 0, Ky = 0;
    float Amplitude = 0;
    float Phase = 0;
};

// count waves with integer wave vectors drawn from the allowed ones
// (|k| <= 5 when none are given), amplitude 1/|k|^2.
std::vector<SurfaceWave> RandomWaves(int count, uint64_t seed, const std::vector<std::pair<int, int>>& allowed = {});

// Traces (raysPerTexel * size)^2 parallel rays through the surface onto a
// floor below it and splats where they land (wrapped, bilinear). Strength
// is eta * depth * max|laplacian h|: about 0.8 gives soft cells, about 2 a
// sharp network. The result is the landing density over its mean (mean 1),
// blurred by a wrapped 3 x 3 box so no line is thinner than two texels.
Mask TraceCaustic(int size, const std::vector<SurfaceWave>& waves, float strength, int raysPerTexel = 6);

// Density to the brightness a modulating map holds: 0.45 + 0.55 (1 - e^(-0.6 I)),
// so the map's mean stays near 0.65.
float CausticBrightness(float density);

// Mean of every colour channel of a picture (tests and matching).
Color MeanColour(const Image& img);

}  // namespace cg
