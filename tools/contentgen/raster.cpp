#include "raster.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace cg {

namespace {

constexpr int Supersample = 2;

float Dot(const Vec3f& a, const Vec3f& b) { return a.x * b.x + a.y * b.y + a.z * b.z; }

}  // namespace

RasterView MakeView(float yawDegrees, float pitchDegrees, Vec3f centre, float scale) {
    const float yaw = yawDegrees * Pi / 180, pitch = pitchDegrees * Pi / 180;
    RasterView v;
    // Looking along -z turned by yaw about y.
    Vec3f right{std::cos(yaw), 0, -std::sin(yaw)};
    Vec3f back{std::sin(yaw), 0, std::cos(yaw)};  // towards the viewer before tilting
    // Tilt: the viewer moves up, looking down.
    v.Right = right;
    v.ToViewer = {back.x * std::cos(pitch), std::sin(pitch), back.z * std::cos(pitch)};
    v.Up = {-back.x * std::sin(pitch), std::cos(pitch), -back.z * std::sin(pitch)};
    v.Centre = centre;
    v.Scale = scale;
    return v;
}

Rasteriser::Rasteriser(int width, int height, Color background)
    : W(width * Supersample),
      H(height * Supersample),
      Colour(W, H, background),
      Depth(static_cast<size_t>(W) * H, -std::numeric_limits<float>::infinity()) {}

void Rasteriser::Draw(const std::vector<RasterGroup>& groups, const RasterView& view) {
    for (const RasterGroup& g : groups)
        if (!g.Blended) DrawGroup(g, view, false);
    for (const RasterGroup& g : groups)
        if (g.Blended) DrawGroup(g, view, true);
}

Image Rasteriser::Result() const { return Downsample(Colour, Supersample); }

void Rasteriser::DrawGroup(const RasterGroup& g, const RasterView& view, bool blendedPass) {
    const float scale = view.Scale * Supersample;
    struct P {
        float x, y, depth;
    };
    std::vector<P> screen(g.Positions.size());
    for (size_t i = 0; i < g.Positions.size(); ++i) {
        Vec3f d{g.Positions[i].x - view.Centre.x, g.Positions[i].y - view.Centre.y, g.Positions[i].z - view.Centre.z};
        screen[i] = {static_cast<float>(W) * 0.5f + Dot(d, view.Right) * scale,
                     static_cast<float>(H) * 0.5f - Dot(d, view.Up) * scale, Dot(d, view.ToViewer)};
    }
    for (size_t t = 0; t + 2 < g.Indices.size(); t += 3) {
        int ia = g.Indices[t], ib = g.Indices[t + 1], ic = g.Indices[t + 2];
        if (ia < 0 || ib < 0 || ic < 0 || static_cast<size_t>(std::max({ia, ib, ic})) >= screen.size()) continue;
        const P &a = screen[ia], &b = screen[ib], &c = screen[ic];
        // Picture y runs down, so a front face (counter-clockwise seen by the
        // viewer) has a negative signed area here.
        float area = (b.x - a.x) * (c.y - a.y) - (b.y - a.y) * (c.x - a.x);
        if (area >= 0) continue;
        int x0 = std::max(0, static_cast<int>(std::floor(std::min({a.x, b.x, c.x}))));
        int x1 = std::min(W - 1, static_cast<int>(std::ceil(std::max({a.x, b.x, c.x}))));
        int y0 = std::max(0, static_cast<int>(std::floor(std::min({a.y, b.y, c.y}))));
        int y1 = std::min(H - 1, static_cast<int>(std::ceil(std::max({a.y, b.y, c.y}))));
        Tex2f ta{}, tb{}, tc{};
        if (g.Uv.size() == g.Positions.size()) {
            ta = g.Uv[ia];
            tb = g.Uv[ib];
            tc = g.Uv[ic];
        }
        for (int y = y0; y <= y1; ++y)
            for (int x = x0; x <= x1; ++x) {
                float px = static_cast<float>(x) + 0.5f, py = static_cast<float>(y) + 0.5f;
                float w0 = ((c.x - b.x) * (py - b.y) - (c.y - b.y) * (px - b.x)) / area;
                float w1 = ((a.x - c.x) * (py - c.y) - (a.y - c.y) * (px - c.x)) / area;
                float w2 = 1 - w0 - w1;
                if (w0 < 0 || w1 < 0 || w2 < 0) continue;
                float depth = w0 * a.depth + w1 * b.depth + w2 * c.depth;
                float& zb = Depth[static_cast<size_t>(y) * W + x];
                if (depth < zb) continue;
                Color texel{0.75f, 0.75f, 0.75f, 1};
                if (g.Texture && !g.Texture->Empty()) {
                    float u = w0 * ta.u + w1 * tb.u + w2 * tc.u, v = w0 * ta.v + w1 * tb.v + w2 * tc.v;
                    texel = g.Texture->Sample(u * static_cast<float>(g.Texture->Width()),
                                              (1 - v) * static_cast<float>(g.Texture->Height()), false);
                }
                Color& dst = Colour.At(x, y);
                if (!blendedPass) {
                    dst = {texel.r, texel.g, texel.b, 1};
                    zb = depth;
                } else if (texel.a > 0.05f) {
                    BlendOver(dst, texel, 1);
                }
            }
    }
}

}  // namespace cg
