// Plankton speck, starfish and bubble.
#include "groups.h"

#include "rng.h"

#include <cmath>
#include <utility>

namespace cg {

namespace {

constexpr int Supersample = 4;

// The final picture of a supersampled one with alpha: colour spread under
// its transparent parts so filtering brings in no dark fringes.
Image FinalWithAlpha(const Image& img) {
    Image out = Downsample(img, Supersample);
    SpreadColourUnderTransparency(out);
    return out;
}

// A mesh of a single object in a single standard material, both under the
// material's name; every face uses the material and the texture faces match
// the faces.
Mesh3dm SingleObjectMesh(const Material3dm& mat, Object3dm o) {
    Mesh3dm m;
    m.MaterialName = mat.Name;
    m.Standard = mat;
    o.Name = mat.Name;
    o.MaterialName = mat.Name;
    o.TexFaces = o.Faces;
    o.FaceMaterialIds.assign(o.Faces.size(), 1);
    m.Objects.push_back(std::move(o));
    return m;
}

// The bubble: a thin bright rim, a faint body, a window highlight at the top
// left and a soft reflection at the bottom right. Colour and alpha.
Image BubblePicture() {
    const int n = 64 * Supersample;
    Image img(n, n, {0.85f, 0.95f, 1.0f, 0});
    const float c = n * 0.5f, r = n * 0.47f;
    for (int y = 0; y < n; ++y)
        for (int x = 0; x < n; ++x) {
            float dx = (static_cast<float>(x) + 0.5f - c) / r, dy = (static_cast<float>(y) + 0.5f - c) / r;
            float d = std::sqrt(dx * dx + dy * dy);
            if (d > 1.0f + 2.0f / r) continue;
            float inside = Clamp01((1.0f - d) * r + 0.5f);
            // Fresnel-like rim: alpha rises steeply near the edge.
            float rim = std::pow(Clamp01(d), 6.0f);
            float a = 0.12f + 0.75f * rim;
            Color col = Mix(Rgb(0xBFE8FF), Rgb(0xFFFFFF), rim);
            // Highlight: a bright soft window at the upper left.
            float hx = dx + 0.38f, hy = dy + 0.4f;
            float h = 1 - Smoothstep(0.08f, 0.22f, std::sqrt(hx * hx * 0.8f + hy * hy * 1.4f));
            // Faint reflected light at the lower right.
            float lx = dx - 0.45f, ly = dy - 0.5f;
            float l = (1 - Smoothstep(0.0f, 0.3f, std::sqrt(lx * lx + ly * ly))) * 0.5f;
            col = Mix(col, Rgb(0xFFFFFF), std::max(h, l));
            a = std::max(a, std::max(h * 0.95f, l * 0.6f));
            img.At(x, y) = WithAlpha(col, a * inside);
        }
    return FinalWithAlpha(img);
}

// The plankton speck: a translucent copepod-like body with a bright core and
// two feelers, drawn on crossed quads so it reads from every side.
Image PlanktonPicture() {
    const int n = 64 * Supersample;
    Image img(n, n, {0.8f, 0.95f, 0.85f, 0});
    const float k = static_cast<float>(Supersample);
    const Color body = Rgb(0xC8F0D8, 0.55f), core = Rgb(0xF6FFF0, 0.95f), feeler = Rgb(0xD8F8E8, 0.7f);
    FillEllipse(img, 32 * k, 34 * k, 11 * k, 17 * k, 0, body);
    FillEllipse(img, 32 * k, 30 * k, 7 * k, 9 * k, 0, Rgb(0xE0FFE8, 0.7f));
    FillDisc(img, 32 * k, 28 * k, 4.5f * k, core);
    FillDisc(img, 32 * k, 22 * k, 2.2f * k, Rgb(0xFF9A60, 0.9f));  // eye spot
    StrokePolyline(img, {{30 * k, 20 * k}, {22 * k, 10 * k}, {12 * k, 6 * k}}, 1.6f * k, feeler);
    StrokePolyline(img, {{34 * k, 20 * k}, {42 * k, 10 * k}, {52 * k, 6 * k}}, 1.6f * k, feeler);
    StrokePolyline(img, {{32 * k, 50 * k}, {30 * k, 57 * k}, {26 * k, 61 * k}}, 1.4f * k, feeler);
    StrokePolyline(img, {{32 * k, 50 * k}, {34 * k, 57 * k}, {38 * k, 61 * k}}, 1.4f * k, feeler);
    // Soft glow so the speck stays visible when tiny.
    Image glow(n, n, {0, 0, 0, 0});
    for (int y = 0; y < n; ++y)
        for (int x = 0; x < n; ++x) {
            float dx = (static_cast<float>(x) - 32 * k) / (26 * k), dy = (static_cast<float>(y) - 32 * k) / (30 * k);
            float g = Clamp01(1 - std::sqrt(dx * dx + dy * dy));
            Color& c = img.At(x, y);
            float a = 0.25f * g * g;
            if (c.a < a) c = WithAlpha(Mix(Rgb(0xD0F8E0), c, c.a / std::max(a, 1e-3f)), a);
        }
    return FinalWithAlpha(img);
}

Mesh3dm PlanktonMesh() {
    Material3dm mat;
    mat.Name = "Plankton";
    mat.TwoSided = true;
    mat.Ambient = {200, 220, 210};
    mat.Diffuse = {230, 255, 240};
    mat.SelfIllum = {120, 140, 130};
    mat.DiffuseMap = "Plankton.jpg";
    mat.OpacityMap = "PlanktonA.jpg";
    Object3dm o;
    // Three crossed quads, about 10 units.
    const float h = 5;
    const Vec3f corners[3][4] = {
        {{-h, -h, 0}, {h, -h, 0}, {h, h, 0}, {-h, h, 0}},
        {{-h, 0, h}, {h, 0, h}, {h, 0, -h}, {-h, 0, -h}},
        {{0, -h, h}, {0, -h, -h}, {0, h, -h}, {0, h, h}},
    };
    const Tex2f uv[4] = {{0, 0}, {1, 0}, {1, 1}, {0, 1}};
    for (const auto& q : corners) {
        int base = static_cast<int>(o.Vertices.size());
        for (int i = 0; i < 4; ++i) {
            o.Vertices.push_back(q[i]);
            o.TexCoords.push_back(uv[i]);
        }
        o.Faces.push_back({base + 1, base + 2, base + 3});
        o.Faces.push_back({base + 1, base + 3, base + 4});
    }
    return SingleObjectMesh(mat, std::move(o));
}

Mesh3dm BubbleMesh() {
    Material3dm mat;
    mat.Name = "Puzir01";
    mat.Ambient = {180, 200, 210};
    mat.Diffuse = {230, 240, 255};
    mat.Specular = {230, 230, 230};
    mat.SpecularLevel = 5;
    mat.Glossiness = 25;
    mat.DiffuseMap = "bubble.jpg";
    mat.OpacityMap = "bubblea.jpg";
    Object3dm o;
    // A z-up quad standing in the x-z plane; the loader turns it to face the
    // camera. 50 units across.
    const float r = 25;
    o.Transform = std::array<Vec3f, 4>{Vec3f{1, 0, 0}, Vec3f{0, 1, 0}, Vec3f{0, 0, 1}, Vec3f{0, 0, 0}};
    o.Vertices = {{-r, 0, -r}, {r, 0, -r}, {r, 0, r}, {-r, 0, r}};
    o.Faces = {{3, 4, 1}, {2, 3, 1}};
    o.Normals.assign(4, Vec3f{0, -1, 0});
    o.TexCoords = {{0, 0}, {1, 0}, {1, 1}, {0, 1}};
    return SingleObjectMesh(mat, std::move(o));
}

// Five tapering arms; radius of the outline at angle a.
float StarRadius(float a, float inner, float outer) {
    float k = std::fabs(std::cos(2.5f * a));
    return inner + (outer - inner) * std::pow(k, 1.6f);
}

constexpr float StarOuter = 200, StarInner = 62;

// The starfish from above: orange-red with rows of pale tubercles along the
// arms, a darker groove down each arm, shading baked for a light from above.
Image StarfishPicture() {
    const int n = 256 * Supersample;
    Image img(n, n, Rgb(0xC8421A));
    const float scale = static_cast<float>(n) / (2.1f * StarOuter);  // pixels per unit
    auto toWorld = [&](float px, float py) {
        return V2{(px - static_cast<float>(n) * 0.5f) / scale, (py - static_cast<float>(n) * 0.5f) / scale};
    };
    const Color base = Rgb(0xE0501C), dark = Rgb(0x9A2A10), light = Rgb(0xF47A30);
    for (int y = 0; y < n; ++y)
        for (int x = 0; x < n; ++x) {
            V2 p = toWorld(static_cast<float>(x) + 0.5f, static_cast<float>(y) + 0.5f);
            float rho = std::sqrt(p.x * p.x + p.y * p.y);
            float a = std::atan2(p.y, p.x);
            float rr = StarRadius(a, StarInner, StarOuter);
            float f = rho / rr;  // 0 centre, 1 outline
            // Across an arm: 0 on its ridge, 1 at its side.
            float across = 1 - std::fabs(std::cos(2.5f * a));
            float ridge = 1 - Smoothstep(0.0f, 0.5f, across);
            float shade = Mix(0.62f, 1.08f, std::sqrt(Clamp01(1 - f * f)));
            Color c = Mix(base, light, 0.5f * ridge * (1 - f));
            c = Mix(c, dark, 0.35f * Smoothstep(0.85f, 1.0f, f));
            float grain = Fbm(p.x * 0.08f, p.y * 0.08f, 3, 91);
            c = Shade(c, shade * (0.92f + 0.16f * grain));
            img.At(x, y) = c;
        }
    // Tubercles scattered over the upper surface (dart throwing).
    Rng rng(0x57A2);
    std::vector<V2> dots;
    for (int i = 0; i < 6000 && dots.size() < 420; ++i) {
        float a = rng.Range(-Pi, Pi), rho = std::sqrt(rng.Unit()) * StarOuter;
        float rr = StarRadius(a, StarInner, StarOuter);
        if (rho > rr * 0.9f) continue;
        V2 p{rho * std::cos(a), rho * std::sin(a)};
        float minD = Mix(7.0f, 4.0f, rho / StarOuter);
        bool ok = true;
        for (const V2& q : dots)
            if ((q.x - p.x) * (q.x - p.x) + (q.y - p.y) * (q.y - p.y) < minD * minD) {
                ok = false;
                break;
            }
        if (ok) dots.push_back(p);
    }
    for (const V2& p : dots) {
        float rho = std::sqrt(p.x * p.x + p.y * p.y);
        float rad = Mix(3.2f, 1.6f, rho / StarOuter) * scale;
        float px = p.x * scale + static_cast<float>(n) * 0.5f, py = p.y * scale + static_cast<float>(n) * 0.5f;
        FillDisc(img, px + rad * 0.25f, py + rad * 0.3f, rad * 1.1f, Rgb(0x701808, 0.45f));  // shadow
        FillDisc(img, px, py, rad, Rgb(0xF8B070));
        FillDisc(img, px - rad * 0.3f, py - rad * 0.3f, rad * 0.45f, Rgb(0xFFE0B0, 0.8f));
    }
    // A pale disc in the middle (the madreporite).
    FillDisc(img, n * 0.5f + 14 * scale, n * 0.5f - 8 * scale, 6 * scale, Rgb(0xF0C080, 0.9f));
    return Downsample(img, Supersample);
}

Mesh3dm StarfishMesh() {
    Material3dm mat;
    mat.Name = "Starfish";
    mat.Ambient = {200, 200, 200};
    mat.Diffuse = {255, 255, 255};
    mat.DiffuseMap = "Starfish.jpg";
    Object3dm o;
    const int segments = 100, rings = 9;
    const float uvScale = 1.0f / (2.1f * StarOuter);
    auto uvOf = [&](float x, float z) { return Tex2f{0.5f + x * uvScale, 0.5f + z * uvScale}; };
    auto add = [&](Vec3f p) {
        o.Vertices.push_back(p);
        o.TexCoords.push_back(uvOf(p.x, p.z));
        return static_cast<int>(o.Vertices.size());
    };
    // Upper surface: the picture's y runs down, so z maps to picture rows
    // from the far side; heights: a thick centre, tapering arms, rounded edges.
    int top = add({0, 34, 0});
    std::vector<std::vector<int>> ring(rings);
    for (int r = 0; r < rings; ++r)
        for (int s = 0; s < segments; ++s) {
            float a = 2 * Pi * static_cast<float>(s) / segments;
            float f = static_cast<float>(r + 1) / rings;
            float rr = StarRadius(a, StarInner, StarOuter) * f;
            float thick = 34 * (1 - 0.72f * rr / StarOuter);
            float h = thick * std::sqrt(std::max(0.0f, 1 - f * f * f * f));
            // Picture row grows with z (texture v falls), so v is taken from -z.
            ring[r].push_back(add({rr * std::cos(a), std::max(h, 1.0f), -rr * std::sin(a)}));
        }
    int bottom = add({0, 0, 0});
    std::vector<int> under;
    for (int s = 0; s < segments; ++s) {
        float a = 2 * Pi * static_cast<float>(s) / segments;
        float rr = StarRadius(a, StarInner, StarOuter);
        under.push_back(add({rr * std::cos(a), 0, -rr * std::sin(a)}));
    }
    auto tri = [&](int a, int b, int c, Vec3f want) {
        const Vec3f &pa = o.Vertices[a - 1], &pb = o.Vertices[b - 1], &pc = o.Vertices[c - 1];
        Vec3f u{pb.x - pa.x, pb.y - pa.y, pb.z - pa.z}, v{pc.x - pa.x, pc.y - pa.y, pc.z - pa.z};
        Vec3f nrm{u.y * v.z - u.z * v.y, u.z * v.x - u.x * v.z, u.x * v.y - u.y * v.x};
        if (nrm.x * want.x + nrm.y * want.y + nrm.z * want.z < 0) std::swap(b, c);
        o.Faces.push_back({a, b, c});
    };
    for (int s = 0; s < segments; ++s) {
        int sn = (s + 1) % segments;
        tri(top, ring[0][s], ring[0][sn], {0, 1, 0});
        for (int r = 0; r + 1 < rings; ++r) {
            tri(ring[r][s], ring[r + 1][s], ring[r + 1][sn], {0, 1, 0});
            tri(ring[r][s], ring[r + 1][sn], ring[r][sn], {0, 1, 0});
        }
        // Rim down to the flat underside, and the underside itself.
        const Vec3f& e = o.Vertices[ring[rings - 1][s] - 1];
        Vec3f out{e.x, 0, e.z};
        tri(ring[rings - 1][s], under[s], under[sn], out);
        tri(ring[rings - 1][s], under[sn], ring[rings - 1][sn], out);
        tri(bottom, under[sn], under[s], {0, -1, 0});
    }
    return SingleObjectMesh(mat, std::move(o));
}

}  // namespace

void GenerateCreatures(ContentSink& sink) {
    PutText(sink, "Plankton.3dm", Write3dm(PlanktonMesh()));
    Image plankton = PlanktonPicture();
    PutJpeg(sink, "Plankton.jpg", plankton, 0x91A1);
    PutAlphaJpeg(sink, "PlanktonA.jpg", plankton, 0x91A2);

    PutText(sink, "Starfish.3dm", Write3dm(StarfishMesh()));
    PutJpeg(sink, "Starfish.jpg", StarfishPicture(), 0x57A1);

    PutText(sink, "bubble.3dm", Write3dm(BubbleMesh()));
    Image bubble = BubblePicture();
    PutJpeg(sink, "bubble.jpg", bubble, 0xB0B1);
    PutAlphaJpeg(sink, "bubblea.jpg", bubble, 0xB0B2);
}

}  // namespace cg
