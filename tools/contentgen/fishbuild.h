// Builds a fish from a side-view design: a lofted body (opaque, material 1),
// median fins in the body's mid plane and paired fins sticking out from the
// flanks (blended, material 2), and one picture shared by both materials
// with its alpha picture.
//
// Design space: s runs from the snout (0) to the end of the tail stalk (1),
// y is up with 0 on the body axis, z is the half width; all in units of
// that standard length. In the world the head points to +x.
//
// The swimming motion is added by the engine, which bends every vertex by
// its x (a travelling wave), sweeps back whatever sticks out sideways past
// the body's widest point (pectoral fins) and whatever hangs below the belly
// line, and flutters the tail end. So pectoral fins are modelled sticking
// straight out sideways as near-vertical plates, and every part is sampled
// densely enough along x to bend smoothly.
#pragma once

#include "content.h"
#include "image.h"
#include "rng.h"
#include "writers.h"

#include <functional>
#include <string>
#include <vector>

namespace cg {

struct BodyPoint {
    float s = 0, y = 0;
    float t = 0;              // 0 on the belly line, 1 on the back line
    float top = 0, bottom = 0;
    float pixel = 0;          // design units per painted pixel, for anti-aliasing
};

struct BodyProfile {
    std::function<float(float s)> Top;     // y of the back line
    std::function<float(float s)> Bottom;  // y of the belly line
    std::function<float(float s)> Width;   // half width
    float Exponent = 2.3f;                 // superellipse exponent of a cross-section
    float SnoutS = 0, TailS = 1;
};

// Outline of a fin and how it is painted. Colour gets the point and its
// distance from the rim (design units) and returns the membrane colour with
// its opacity in alpha.
struct FinPaint {
    std::vector<V2> Outline;          // closed polygon
    V2 RayFocus;                      // rays fan out from here
    float RaySpacing = 0.09f;         // radians between rays
    float RayStrength = 0.35f;        // how much rays stand out
    float EdgeFade = 0.035f;          // design units over which the rim fades
    std::function<Color(float a, float b, float edge)> Colour;
};

struct MedianFin {
    FinPaint Paint;                   // outline in (s, y)
    int Columns = 12, Rows = 3;
};

// A paired fin: local coordinates (span, chord), span >= 0 going out from the
// root. The right fin is built as given, the left one mirrored in z; both use
// the same texels.
struct PairedFin {
    FinPaint Paint;                   // outline in (span, chord)
    float RootS = 0.3f, RootY = 0, RootZ = 0;
    float SpanDir[3] = {0, 0, 1};     // design (s, y, z) directions
    float ChordDir[3] = {0, 1, 0};
    int Columns = 4, Rows = 4;
};

struct EyeDesign {
    float S = 0.15f, Y = 0.05f, Radius = 0.06f;
    Color Iris = Rgb(0xC8A040), Ring = Rgb(0x202020);
    Color Pupil = Rgb(0x050505);
    float RingWidth = 0.25f;          // dark rim around the iris, in radii
};

class FishCanvas;

struct FishDesign {
    std::string Name;                 // file base: Name.3dm, Name.jpg, NameA.jpg
    uint64_t Seed = 1;
    float WorldLength = 600;          // snout to tail tip
    BodyProfile Body;
    std::vector<MedianFin> MedianFins;
    std::vector<PairedFin> PairedFins;
    EyeDesign Eye;
    std::function<Color(const BodyPoint&)> BodyColour;
    std::function<void(FishCanvas&)> Decorate;  // marks over the painted body and fins
    float ScaleSize = 0.035f;         // 0: no scale lattice
    float ScaleContrast = 0.07f;
    float Shading = 0.28f;            // darkening towards the outline
    int Rings = 28, RingVertices = 16;
};

enum class Layer { Body, Fins };

// Painting over a fish picture in design coordinates, clipped to the body or
// to the median fins.
class FishCanvas {
public:
    FishCanvas(Image& body, Image& fins, const Mask& bodyClip, const Mask& finClip, float originX, float originY,
               float sRight, float yTop, float pixelsPerUnit, uint64_t seed);

    V2 ToPixel(float s, float y) const;
    float Pixels(float designLength) const { return designLength * Scale; }
    float UnitsPerPixel() const { return 1.0f / Scale; }

    void Disc(Layer layer, float s, float y, float r, Color c);
    void Ellipse(Layer layer, float s, float y, float rs, float ry, float angle, Color c);
    void Line(Layer layer, const std::vector<V2>& points, float width, Color c);
    void Polygon(Layer layer, const std::vector<V2>& points, Color c);
    // Points at least minDistance apart whose discs of radius margin lie in the
    // layer's mask (dart throwing, deterministic).
    std::vector<V2> Scatter(Layer layer, float minDistance, float margin, int attempts);
    bool Inside(Layer layer, float s, float y, float margin = 0) const;
    Rng& Random() { return R; }

private:
    Image& Target(Layer layer) { return layer == Layer::Body ? BodyImg : FinImg; }
    const Mask& Clip(Layer layer) const { return layer == Layer::Body ? BodyClip : FinClip; }

    Image& BodyImg;
    Image& FinImg;
    const Mask& BodyClip;
    const Mask& FinClip;
    float Ox, Oy, SRight, YTop, Scale;
    Rng R;
};

struct BuiltFish {
    Mesh3dm Mesh;
    Image Picture;  // colour with alpha, final size
    std::string MeshName, PictureName, AlphaName;
};

BuiltFish BuildFish(const FishDesign& species);
void PutFish(ContentSink& sink, const BuiltFish& fish);
// Builds the species in parallel and puts them in the given order.
void PutFishDesigns(ContentSink& sink, const std::vector<FishDesign>& species);

// Helpers for outlines and profiles.
// s^a (1 - s)^b with b = a (1 - sMax) / sMax, scaled to 1 at sMax.
float ProfileCurve(float s, float a, float sMax);
// Catmull-Rom through the points, closed, sampled with n points per segment.
std::vector<V2> SmoothClosed(const std::vector<V2>& points, int n = 8);
// Open curve through the points.
std::vector<V2> SmoothOpen(const std::vector<V2>& points, int n = 8);
// Polygon along the body line from s0 to s1 (inset below the back or above
// the belly by depth) followed by the given outer points (from s1 back to s0).
std::vector<V2> FinOnBack(const BodyProfile& body, float s0, float s1, float inset, const std::vector<V2>& outer);
std::vector<V2> FinOnBelly(const BodyProfile& body, float s0, float s1, float inset, const std::vector<V2>& outer);
// Smooth band membership: 1 within halfWidth of centre, softened by soft.
float Band(float x, float centre, float halfWidth, float soft);

}  // namespace cg
