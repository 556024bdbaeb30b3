// Reef and plant backgrounds: one wide picture with its alpha picture per
// water, painted as layers from far to near that fade into the water's own
// colour, and the plane mesh that carries it. The picture tiles across, so
// three planes side by side make one backdrop.
#pragma once

#include "image.h"
#include "writers.h"

#include <string>

namespace cg {

// 1024 x 512, colour with alpha; transparent texels carry their
// neighbours' colour.
Image BackgroundPicture(int water);

// fonN.3dm of a water: a plane PlaneWidth wide facing the camera, its lower
// edge at the water's PlaneBottomY and depth PlaneZ, textured with the
// background the scene's texture "FonA.jpg" selects.
Mesh3dm BackgroundMesh(int water);
std::string BackgroundMeshName(int water);

// The colour a background texel needs at picture row y (0 at the top) so the
// scene shows exactly the water behind it once light and caustic are applied.
Color HazeColour(int water, float row, int pictureHeight);

}  // namespace cg
