#include "swim.h"

#include <algorithm>
#include <cmath>

namespace cg {

namespace {

double EaseInOut(double t) { return t < 0.5 ? 2 * t * t : 1 - 2 * (1 - t) * (1 - t); }

struct Bounds {
    double minX = 1e30, minY = 1e30, minZ = 1e30, maxX = -1e30, maxY = -1e30, maxZ = -1e30;
    void Add(const Vec3f& v) {
        minX = std::min<double>(minX, v.x);
        minY = std::min<double>(minY, v.y);
        minZ = std::min<double>(minZ, v.z);
        maxX = std::max<double>(maxX, v.x);
        maxY = std::max<double>(maxY, v.y);
        maxZ = std::max<double>(maxZ, v.z);
    }
};

}  // namespace

void SwimBend(std::vector<VertexGroup>& opaque, std::vector<VertexGroup>& blended, float phase) {
    Bounds all, body;
    for (const VertexGroup& g : opaque)
        for (const Vec3f& v : g) {
            all.Add(v);
            body.Add(v);
        }
    for (const VertexGroup& g : blended)
        for (const Vec3f& v : g) all.Add(v);
    if (all.minX > all.maxX) return;
    const double pi = 3.14159265358979323846;
    const double len = all.maxX - all.minX;
    if (len <= 0) return;
    const double a = 0.08 * len, a8 = a / 8, kx = pi / (0.5 * len);
    const double x10 = all.minX + 0.1 * len, x70 = all.minX + 0.7 * len;
    const double p = phase;
    const double th = p < 0.5 ? (EaseInOut(2 * p) + 3) * pi / 10 : (EaseInOut(2 * (1 - p)) + 3) * pi / 10;

    auto bend = [&](VertexGroup& g, double zLim, double yLim) {
        for (Vec3f& v : g) {
            double x = v.x, y = v.y, z = v.z;
            if (z > zLim) {
                double e = z - zLim;
                x -= std::sin(th) * e;
                z = zLim + std::cos(th) * e;
            } else if (z < -zLim) {
                double e = -z - zLim;
                x -= std::sin(th) * e;
                z = -zLim - std::cos(th) * e;
            }
            if (y < yLim) {
                double e = yLim - y;
                x -= std::sin(th + pi / 3) * e;
                y = yLim + std::cos(th + pi / 3) * e;
            }
            if (x <= x10 || z < -zLim || z > zLim || y < yLim) z += (a / 16) * std::sin(8 * kx * y + 2 * pi * p);
            double amp;
            if (x <= x10)
                amp = a;
            else if (x >= x70)
                amp = a8 + (x - x70) * 10 / x70;
            else
                amp = a + (x - x10) * (a8 - a) / (x70 - x10);
            z += amp * std::sin((x - all.minX) * kx + 2 * pi * p);
            v = {static_cast<float>(x), static_cast<float>(y), static_cast<float>(z)};
        }
    };
    for (VertexGroup& g : opaque) bend(g, all.maxZ, all.minY);
    double finZ = all.maxZ - 0.39 * (all.maxZ - all.minZ);
    double finY = all.minY + 0.23 * (all.maxY - all.minY);
    if (body.minX <= body.maxX) {
        finZ = std::max(finZ, body.maxZ);
        finY = std::min(finY, body.minY);
    }
    for (VertexGroup& g : blended) bend(g, finZ, finY);
}

}  // namespace cg
