// The six waters (three salt, three fresh): the colour mood each one's
// pictures are painted in, where its background plane stands, and the sea
// bed and surface pictures. Index i is the water's BackgroundIndex: line i
// of seabeds.txt and waters.txt, line pair i of fons.txt.
#pragma once

#include "content.h"
#include "image.h"

#include <string>
#include <vector>

namespace cg {

enum class Bed { CoralSand, RockySand, LagoonSand, Pebbles, LeafLitter, Gravel };

struct WaterMood {
    const char* Title;      // the water's scene name
    bool Salt;
    int Fon;                // n of fonN.3dm and FonN.jpg
    Color Up, Bottom;       // fog of the surface and of the sea bed: the backdrop's top and bottom
    Color Light;            // diffuse colour of the water's light (tints the background)
    Bed Floor;
    Color Sand, SandDark;   // sea bed colours
    Color SurfaceDeep, SurfaceBright;
    // Background plane: its depth and the height of its lower edge.
    float PlaneZ, PlaneBottomY;
};

const std::vector<WaterMood>& Waters();

// Picture names by water index.
std::string SeabedName(int water);
std::string SurfaceName(int water);
std::string BackgroundName(int water);  // "FonN.jpg"; the alpha picture adds "A"

// Scene geometry the pictures are painted for.
constexpr float FarPlane = 10000, FogStart = 6000, FogEnd = 10000, UpY = 5000, BottomY = -3000;
constexpr float PlaneWidth = 12600;  // copies at x = -12600, 0, 12600 join
constexpr float PlaneHeight = 6300;
constexpr int BackgroundWidth = 1024, BackgroundHeight = 512;
// The caustic map multiplies the background by about this on average.
constexpr float CausticMean = 0.66f;

// The backdrop colour (the gradient at the far plane) seen behind height y of
// the background plane of a water.
Color BackdropBehind(const WaterMood& w, float y);

// Sea bed and surface pictures, 512 x 512, tileable.
Image SeabedPicture(int water);
Image SurfacePicture(int water);

// Draws fn at x offsets -width, 0 and +width, so shapes crossing a side
// continue on the other side.
template <class Fn>
void Wrapped(int width, Fn fn) {
    for (int k = -1; k <= 1; ++k) fn(static_cast<float>(k * width));
}

}  // namespace cg
