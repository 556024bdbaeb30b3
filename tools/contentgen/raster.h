// A small software rasteriser for review pictures: orthographic views of
// textured meshes with a depth buffer, back faces culled as GL does
// (counter-clockwise is front), opaque groups first, then blended groups with
// the alpha test and blending the scene uses.
#pragma once

#include "image.h"
#include "writers.h"

#include <vector>

namespace cg {

struct RasterGroup {
    std::vector<Vec3f> Positions;
    std::vector<Tex2f> Uv;
    std::vector<int> Indices;      // 0-based, three per triangle
    bool Blended = false;
    const Image* Texture = nullptr;  // colour with alpha; none: grey
};

struct RasterView {
    Vec3f Right{1, 0, 0}, Up{0, 1, 0}, ToViewer{0, 0, 1};  // orthonormal
    Vec3f Centre{0, 0, 0};                                  // world point at the picture centre
    float Scale = 1;                                        // pixels per world unit
};

// A camera turned by yaw about y, then tilted down by pitch (degrees); yaw 0
// and pitch 0 look along -z with x to the right.
RasterView MakeView(float yawDegrees, float pitchDegrees, Vec3f centre, float scale);

class Rasteriser {
public:
    // Renders at twice the size and filters down.
    Rasteriser(int width, int height, Color background);
    void Draw(const std::vector<RasterGroup>& groups, const RasterView& view);
    Image Result() const;

private:
    void DrawGroup(const RasterGroup& g, const RasterView& view, bool blendedPass);
    int W, H;
    Image Colour;
    std::vector<float> Depth;
};

}  // namespace cg
