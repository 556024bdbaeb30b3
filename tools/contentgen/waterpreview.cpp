#include "waterpreview.h"

#include "waters.h"

#include <algorithm>
#include <cmath>
#include <memory>
#include <optional>

namespace cg {

namespace {

std::unique_ptr<Image> Picture(const FileMap& files, const std::string& name, const std::string& alpha,
                               std::vector<std::string>& missing) {
    auto it = files.find(name);
    if (it == files.end()) {
        missing.push_back(name);
        return nullptr;
    }
    auto pic = DecodePicture(name, it->second);
    if (!pic) {
        missing.push_back(name);
        return nullptr;
    }
    auto img = std::make_unique<Image>(FromRgb8(pic->Rgb, pic->Width, pic->Height));
    if (!alpha.empty()) {
        auto at = files.find(alpha);
        auto apic = at == files.end() ? std::nullopt : DecodePicture(alpha, at->second);
        if (!apic || apic->Width != pic->Width || apic->Height != pic->Height) {
            missing.push_back(alpha);
        } else {
            for (size_t i = 0; i < img->Pixels.size(); ++i)
                img->Pixels[i].a = static_cast<float>(apic->Rgb[i * 3] + apic->Rgb[i * 3 + 1] + apic->Rgb[i * 3 + 2]) /
                                   (3 * 255.0f);
        }
    }
    return img;
}

// GL texture coordinates (t = 0 is the picture's bottom row), repeating.
Color Tex(const Image& img, float s, float t) {
    return img.Sample(s * static_cast<float>(img.Width()), (1 - t) * static_cast<float>(img.Height()), true);
}

struct Vertex {
    float x, y, z, u, v;
};
struct Triangle {
    Vertex a, b, c;
};

// The triangle grid the water builds for its sea bed and surface.
std::vector<Triangle> Grid(int cols, int rows, float width, float depth, float x0, float z0, float uRepeat,
                           float vRepeat, bool bumps, float y) {
    std::vector<Vertex> v;
    for (int row = 0; row <= rows; ++row)
        for (int col = 0; col <= cols; ++col) {
            int i = (cols + 1) * row + col;
            float z = z0 + static_cast<float>(row) * depth / static_cast<float>(rows);
            float h = 0;
            if (bumps && row > 0)
                h = 650 * std::sin(static_cast<float>(i % 7) * Pi / 2) - 300 * std::cos(static_cast<float>(i) * Pi / 5);
            v.push_back({x0 + static_cast<float>(col) * width / static_cast<float>(cols), y + h, z,
                         static_cast<float>(col) * uRepeat / static_cast<float>(cols),
                         (1 - static_cast<float>(row) / static_cast<float>(rows)) * vRepeat});
        }
    std::vector<Triangle> t;
    for (int row = 0; row < rows; ++row)
        for (int col = 0; col < cols; ++col) {
            int i0 = (cols + 1) * row + col, i1 = i0 + cols + 1;
            t.push_back({v[static_cast<size_t>(i0)], v[static_cast<size_t>(i1)], v[static_cast<size_t>(i1 + 1)]});
            t.push_back({v[static_cast<size_t>(i0)], v[static_cast<size_t>(i1 + 1)], v[static_cast<size_t>(i0 + 1)]});
        }
    return t;
}

struct Hit {
    float Dist = 1e30f;
    Vertex P{};
};

// Nearest intersection of the ray from the origin along d with the triangles.
bool Intersect(const std::vector<Triangle>& tris, float dx, float dy, float dz, Hit& hit) {
    bool any = false;
    for (const Triangle& t : tris) {
        float e1x = t.b.x - t.a.x, e1y = t.b.y - t.a.y, e1z = t.b.z - t.a.z;
        float e2x = t.c.x - t.a.x, e2y = t.c.y - t.a.y, e2z = t.c.z - t.a.z;
        float px = dy * e2z - dz * e2y, py = dz * e2x - dx * e2z, pz = dx * e2y - dy * e2x;
        float det = e1x * px + e1y * py + e1z * pz;
        if (std::fabs(det) < 1e-9f) continue;
        float inv = 1 / det;
        float sx = -t.a.x, sy = -t.a.y, sz = -t.a.z;
        float b1 = (sx * px + sy * py + sz * pz) * inv;
        if (b1 < 0 || b1 > 1) continue;
        float qx = sy * e1z - sz * e1y, qy = sz * e1x - sx * e1z, qz = sx * e1y - sy * e1x;
        float b2 = (dx * qx + dy * qy + dz * qz) * inv;
        if (b2 < 0 || b1 + b2 > 1) continue;
        float dist = (e2x * qx + e2y * qy + e2z * qz) * inv;
        if (dist <= 0 || dist >= hit.Dist) continue;
        float b0 = 1 - b1 - b2;
        hit.Dist = dist;
        hit.P = {dx * dist, dy * dist, dz * dist, b0 * t.a.u + b1 * t.b.u + b2 * t.c.u,
                 b0 * t.a.v + b1 * t.b.v + b2 * t.c.v};
        any = true;
    }
    return any;
}

float Fog(float eyeZ) { return Clamp01((-eyeZ - FogStart) / (FogEnd - FogStart)); }

Color Over(Color dst, Color src, float a) {
    a = Clamp01(a);
    return {Mix(dst.r, src.r, a), Mix(dst.g, src.g, a), Mix(dst.b, src.b, a), 1};
}

}  // namespace

Image WaterPreview(const FileMap& files, int water, const WaterPreviewOptions& o, std::vector<std::string>* missingOut) {
    const WaterMood& w = Waters()[static_cast<size_t>(water)];
    std::vector<std::string> missing;
    auto seabed = Picture(files, SeabedName(water), "", missing);
    auto surface = Picture(files, SurfaceName(water), "", missing);
    auto caustic = Picture(files, "caustback.jpg", "", missing);
    auto rays = Picture(files, "caustlight.jpg", "caustlightA.jpg", missing);
    auto back = Picture(files, BackgroundName(water), AlphaPictureName(BackgroundName(water)), missing);
    if (missingOut) *missingOut = missing;

    const float tanHalf = std::tan(75.0f * Pi / 360.0f);
    const float aspect = static_cast<float>(o.Width) / static_cast<float>(o.Height);
    const float right = tanHalf * aspect;  // frustum half-extents at distance 1
    const float W = 4 * FarPlane * right;
    auto bed = Grid(6, 4, W, FarPlane - 3900, -W / 2, -FarPlane, 3.5f * W / FarPlane, 3.5f, true, BottomY);
    auto top = Grid(6, 4, W, FarPlane - 6000, -W / 2, -FarPlane, 2, 1, false, UpY);
    const float ct = o.CausticTime;
    auto causticAt = [&](float x, float y, float z) {
        if (!o.Caustic || !caustic) return Color{1, 1, 1, 1};
        return Tex(*caustic, 0.0004f * x + 0.5f * ct, 0.0002f * y - 0.0004f * z + 0.25f * ct);
    };

    Image out(o.Width, o.Height);
    for (int py = 0; py < o.Height; ++py)
        for (int px = 0; px < o.Width; ++px) {
            float dx = (2 * (static_cast<float>(px) + 0.5f) / static_cast<float>(o.Width) - 1) * right;
            float dy = (1 - 2 * (static_cast<float>(py) + 0.5f) / static_cast<float>(o.Height)) * tanHalf;
            float dz = -1;
            Color c{0, 0, 0, 1};
            // Surface and its light layer (the grid is turned about z, so u runs right to left).
            Hit h;
            if (surface && Intersect(top, dx, dy, dz, h)) {
                float f = Fog(h.P.z);
                Color s = Tex(*surface, 2 - h.P.u, h.P.v);
                c = Mix(s, w.Up, f);
                Color l = Tex(*surface, 2 * (2 - h.P.u) - 0.02f * ct, h.P.v + 0.05f * ct);
                c = Over(c, Mix(l, w.Up, f), 0.55f);
            }
            // Backdrop at the far plane.
            {
                float y = dy * FarPlane;
                if (y >= BottomY && y <= UpY) c = Mix(w.Bottom, w.Up, (y - BottomY) / (UpY - BottomY));
            }
            // Sea bed under the caustic, fogged.
            Hit b;
            if (seabed && Intersect(bed, dx, dy, dz, b)) {
                Color s = Tint(Tex(*seabed, b.P.u, b.P.v), causticAt(b.P.x, b.P.y, b.P.z));
                c = Mix(s, w.Bottom, Fog(b.P.z));
                c.a = 1;
            }
            // Light-ray sheet: a leaning quad strip, brightest a tenth of the way down.
            if (o.Rays && rays) {
                const float za = 3000 - FarPlane, zb = 6000 - FarPlane;
                // Plane through (UpY, za) and (BottomY, zb): z = za + (UpY - y) * (zb - za) / (UpY - BottomY).
                float k = (zb - za) / (UpY - BottomY);
                float denom = dz + dy * k;
                float t = (za + UpY * k) / denom;
                if (t > 0) {
                    float x = dx * t, y = dy * t;
                    if (y <= UpY && y >= BottomY && std::fabs(x) <= W / 2) {
                        float down = (UpY - y) / (UpY - BottomY);
                        float va = down < 0.1f ? down / 0.1f : (1 - down) / 0.9f;
                        va *= 80.0f / 255.0f;
                        Color r = Tex(*rays, 0.0002f * x + 0.15f * ct, 0.000004f * y + 0.25f * ct);
                        c = Over(c, r, r.a * va);
                    }
                }
            }
            // Background plane, three copies side by side.
            if (o.Background && back && dz != 0) {
                float t = w.PlaneZ / dz;
                float x = dx * t, y = dy * t;
                float v = (y - w.PlaneBottomY) / PlaneHeight;
                if (v >= 0 && v <= 1 && std::fabs(x) <= 1.5f * PlaneWidth) {
                    float u = (x + 1.5f * PlaneWidth) / PlaneWidth;
                    u -= std::floor(u);
                    Color s = Tex(*back, u, v);
                    if (s.a > 0.35f) {
                        Color lit = Tint(Tint(s, w.Light), causticAt(x, y, w.PlaneZ));
                        c = Over(c, lit, s.a);
                    }
                }
            }
            out.At(px, py) = c;
        }
    return out;
}

}  // namespace cg
