#include "waters.h"

#include "caustics.h"
#include "groups.h"
#include "rng.h"

#include <algorithm>
#include <cmath>

namespace cg {

const std::vector<WaterMood>& Waters() {
    static const std::vector<WaterMood> waters = {
        // Clear tropical blue over white coral sand.
        {"Salt Water - 1", true, 3, Rgb(0x46AFEB), Rgb(0x0A5FA0), {0.95f, 0.98f, 1.0f, 1}, Bed::CoralSand,
         Rgb(0xEEE4C8), Rgb(0xC2B08C), Rgb(0x2A96D2), Rgb(0xD8FAFF), -9000, -3150},
        // Deep blue over grey sand and rock.
        {"Salt Water - 2", true, 2, Rgb(0x1E5FAF), Rgb(0x041E52), {0.72f, 0.84f, 1.0f, 1}, Bed::RockySand,
         Rgb(0xA2AAB4), Rgb(0x5A6473), Rgb(0x16479A), Rgb(0x8CCBFF), -9300, -3150},
        // Turquoise lagoon over pale rippled sand.
        {"Salt Water - 3", true, 1, Rgb(0x4BCDC8), Rgb(0x0C7A80), {0.9f, 1.0f, 0.96f, 1}, Bed::LagoonSand,
         Rgb(0xF5F0D7), Rgb(0xD2C8A5), Rgb(0x28AAAA), Rgb(0xC8FFF5), -8800, -3150},
        // Green-brown river over pebbles.
        {"Fresh Water - 1", false, 6, Rgb(0x7D9655), Rgb(0x2A3E20), {0.95f, 0.95f, 0.78f, 1}, Bed::Pebbles,
         Rgb(0x96825F), Rgb(0x5F5037), Rgb(0x506E3C), Rgb(0xD2E6A5), -9000, -3150},
        // Amber blackwater over leaf litter.
        {"Fresh Water - 2", false, 4, Rgb(0xAF732D), Rgb(0x321B08), {1.0f, 0.82f, 0.55f, 1}, Bed::LeafLitter,
         Rgb(0x8C6440), Rgb(0x3C2614), Rgb(0x784619), Rgb(0xFFD28C), -8700, -3150},
        // Clear planted tank over fine gravel.
        {"Fresh Water - 3", false, 5, Rgb(0x96D7C8), Rgb(0x266250), {1.0f, 1.0f, 0.95f, 1}, Bed::Gravel,
         Rgb(0xD7C8AA), Rgb(0x96876E), Rgb(0x5AAAA0), Rgb(0xE6FFF5), -9000, -3150},
    };
    return waters;
}

std::string SeabedName(int water) { return "seabed" + std::to_string(water + 1) + ".jpg"; }
std::string SurfaceName(int water) { return "water" + std::to_string(water + 1) + ".jpg"; }
std::string BackgroundName(int water) {
    return "Fon" + std::to_string(Waters()[static_cast<size_t>(water)].Fon) + ".jpg";
}

Color BackdropBehind(const WaterMood& w, float y) {
    float yFar = y * FarPlane / std::fabs(w.PlaneZ);
    float t = Clamp01((yFar - BottomY) / (UpY - BottomY));
    return Mix(w.Bottom, w.Up, t);
}

namespace {

constexpr int BedSize = 512;
// The sea bed repeats about 19 times across a wide view but only 3.5 times
// in depth, so a texel is about 1.65 times wider than deep in the world:
// shapes are painted that much narrower to lie round on the floor.
constexpr float BedAspect = 0.6f;

// Periodic fbm over the unit square with cells lattice cells a side.
float Tile(float u, float v, int cells, int octaves, uint32_t seed, float gain = 0.5f) {
    return PeriodicFbm(u * static_cast<float>(cells), v * static_cast<float>(cells), cells, cells, octaves, seed,
                       gain);
}

// Sand: warped ripples, grain and large soft patches; returns the height
// and writes the colour mix (0 light sand, 1 dark sand).
float SandHeight(float u, float v, int m, int n, float ripple, uint32_t seed, float& darkMix) {
    float warp = Tile(u, v, 4, 4, seed) - 0.5f;
    float wave = 0.5f + 0.5f * std::sin(2 * Pi * (static_cast<float>(m) * u + static_cast<float>(n) * v) + 5.0f * warp);
    float crest = std::pow(wave, 1.5f);
    float patches = Tile(u, v, 3, 4, seed + 11);
    float grain = Tile(u, v, 128, 2, seed + 23);
    darkMix = Clamp01(0.25f + 0.9f * (patches - 0.5f) + 0.35f * (1 - crest) * ripple);
    return ripple * crest + 0.35f * patches + 0.06f * grain;
}

// Colour and shading of a sand floor at size x size; light comes from the
// far side. Worked out at half the size and enlarged: it is all soft noise,
// and the shapes painted over it get the full size.
Image SandFloor(const WaterMood& w, int size, int m, int n, float ripple, uint32_t seed) {
    const int half = size / 2;
    Image small(half, half);
    std::vector<float> height(static_cast<size_t>(half) * half);
    std::vector<float> dark(height.size());
    for (int y = 0; y < half; ++y)
        for (int x = 0; x < half; ++x) {
            float u = (static_cast<float>(x) + 0.5f) / static_cast<float>(half);
            float v = (static_cast<float>(y) + 0.5f) / static_cast<float>(half);
            float d = 0;
            height[static_cast<size_t>(y) * half + x] = SandHeight(u, v, m, n, ripple, seed, d);
            dark[static_cast<size_t>(y) * half + x] = d;
        }
    for (int y = 0; y < half; ++y)
        for (int x = 0; x < half; ++x) {
            auto h = [&](int xx, int yy) {
                xx = (xx + half) % half;
                yy = (yy + half) % half;
                return height[static_cast<size_t>(yy) * half + xx];
            };
            float gy = h(x, y - 1) - h(x, y + 1), gx = h(x + 1, y) - h(x - 1, y);
            float shade = 1.0f + 6.0f * (gy * 0.8f + gx * 0.3f) * static_cast<float>(half) / 512.0f;
            Color c = Mix(w.Sand, w.SandDark, dark[static_cast<size_t>(y) * half + x]);
            small.At(x, y) = Shade(c, std::clamp(shade, 0.7f, 1.25f));
        }
    Image img(size, size);
    for (int y = 0; y < size; ++y)
        for (int x = 0; x < size; ++x) {
            float grain = HashUnit(Hash2(x / 2, y / 2, seed + 99)) - 0.5f;
            img.At(x, y) = Shade(small.Sample((static_cast<float>(x) + 0.5f) * 0.5f, (static_cast<float>(y) + 0.5f) * 0.5f, true),
                                 1.0f + 0.08f * grain);
        }
    return img;
}

// A rounded stone or grain with baked light from the upper left, a soft
// contact shadow and speckle; wrapped on both axes.
void PaintStone(Image& img, float cx, float cy, float rx, float ry, float angle, Color colour, uint32_t seed,
                float shadow = 0.45f) {
    const int size = img.Width();
    const float ca = std::cos(angle), sa = std::sin(angle);
    const float r = std::max(rx, ry) * 1.25f + 2;
    const float p1 = HashUnit(seed) * 2 * Pi, p2 = HashUnit(Hash32(seed)) * 2 * Pi;
    for (int oy = -1; oy <= 1; ++oy)
        for (int ox = -1; ox <= 1; ++ox) {
            float px = cx + static_cast<float>(ox * size), py = cy + static_cast<float>(oy * img.Height());
            if (px + r < 0 || px - r > static_cast<float>(size) || py + r < 0 || py - r > static_cast<float>(img.Height()))
                continue;
            int x0 = std::max(0, static_cast<int>(px - r)), x1 = std::min(size, static_cast<int>(px + r) + 1);
            int y0 = std::max(0, static_cast<int>(py - r)), y1 = std::min(img.Height(), static_cast<int>(py + r) + 1);
            for (int y = y0; y < y1; ++y)
                for (int x = x0; x < x1; ++x) {
                    float dx = static_cast<float>(x) + 0.5f - px, dy = static_cast<float>(y) + 0.5f - py;
                    // Shadow: the ellipse moved down and right, blurred.
                    float sx = dx - rx * 0.18f, sy = dy - ry * 0.25f;
                    float su = (sx * ca + sy * sa) / (rx * 1.1f), sv = (-sx * sa + sy * ca) / (ry * 1.1f);
                    float sq = std::sqrt(su * su + sv * sv);
                    float sh = shadow * (1.0f - Smoothstep(0.75f, 1.15f, sq));
                    Color& dst = img.At(x, y);
                    if (sh > 0) dst = Shade(dst, 1 - sh);
                    float u = (dx * ca + dy * sa) / rx, v = (-dx * sa + dy * ca) / ry;
                    // Not quite elliptic: a few lobes, different for every stone.
                    float th = std::atan2(v, u);
                    float lobes = 1.0f + 0.07f * std::sin(3 * th + p1) + 0.04f * std::sin(5 * th + p2);
                    float q = std::sqrt(u * u + v * v) / lobes;
                    float edgePx = (1 - q) * std::min(rx, ry);
                    float cover = Clamp01(edgePx + 0.5f);
                    if (cover <= 0) continue;
                    // A flattened dome: stones lie on their broad side.
                    float z = 0.55f * std::sqrt(std::max(0.0f, 1 - std::min(q * q, 1.0f)));
                    // Normal (u, v, z) rotated back; light from upper left and above.
                    float nx = u * ca - v * sa, ny = u * sa + v * ca;
                    float nl = std::sqrt(nx * nx + ny * ny + z * z) + 1e-6f;
                    float lambert = Clamp01((-0.45f * nx - 0.55f * ny + 0.7f * z) / nl);
                    float specular = std::pow(Clamp01((-0.3f * nx - 0.45f * ny + 0.84f * z) / nl), 8.0f) * 0.25f;
                    float speck = PeriodicValueNoise(static_cast<float>(x) * 0.25f, static_cast<float>(y) * 0.25f,
                                                     size / 4, img.Height() / 4, seed) - 0.5f;
                    float mottle = PeriodicValueNoise(static_cast<float>(x) * 0.0625f, static_cast<float>(y) * 0.0625f,
                                                      size / 16, img.Height() / 16, seed + 3) - 0.5f;
                    Color c = Shade(colour, 0.5f + 0.7f * lambert + 0.12f * speck + 0.25f * mottle);
                    c = c + Color{specular, specular, specular, 0} * 0.18f;
                    c.a = 1;
                    BlendOver(dst, c, cover);
                }
        }
}

// Small bits scattered over sand: coral rubble, shell pieces.
void Rubble(Image& img, const std::vector<Color>& colours, int count, float minR, float maxR, uint64_t seed) {
    Rng rng(seed);
    const float s = static_cast<float>(img.Width());
    for (int i = 0; i < count; ++i) {
        float x = rng.Unit() * s, y = rng.Unit() * s;
        float r = rng.Range(minR, maxR);
        Color c = colours[rng.Below(static_cast<uint32_t>(colours.size()))];
        c = Shade(c, rng.Range(0.85f, 1.1f));
        PaintStone(img, x, y, r * BedAspect * rng.Range(0.7f, 1.4f), r * rng.Range(0.5f, 1.0f), rng.Range(0, Pi), c,
                   rng.NextU32(), 0.3f);
    }
}

// Rock plates: Worley cells over fractal noise, cracks along cell borders.
void RockPatches(Image& img, const WaterMood& w, uint32_t seed) {
    const int size = img.Width();
    for (int y = 0; y < size; ++y)
        for (int x = 0; x < size; ++x) {
            float u = (static_cast<float>(x) + 0.5f) / static_cast<float>(size);
            float v = (static_cast<float>(y) + 0.5f) / static_cast<float>(size);
            float where = Tile(u, v, 3, 5, seed);
            float rock = Smoothstep(0.52f, 0.58f, where);
            if (rock <= 0) continue;
            float f1, f2;
            PeriodicWorley(u * 16, v * 10, 16, 10, seed + 5, f1, f2);
            float crack = Smoothstep(0.0f, 0.08f, f2 - f1);
            float body = Tile(u, v, 16, 4, seed + 9);
            float edge = Smoothstep(0.52f, 0.66f, where);
            Color base = Mix(Rgb(0x4B5260), Rgb(0x7A7F88), body);
            base = Mix(base, Shade(w.SandDark, 0.9f), 0.3f);
            float shade = (0.55f + 0.45f * crack) * (0.75f + 0.25f * edge) * (0.85f + 0.3f * (1 - f1));
            Color c = Shade(base, shade);
            Color& d = img.At(x, y);
            d = Mix(Shade(d, 0.8f), c, rock);
        }
}

void Leaves(Image& img, int count, uint64_t seed) {
    Rng rng(seed);
    const float s = static_cast<float>(img.Width());
    const Color tones[] = {Rgb(0x6E3C14), Rgb(0x8C5020), Rgb(0x4A2A10), Rgb(0xA0642A), Rgb(0x3A2210)};
    for (int i = 0; i < count; ++i) {
        float cx = rng.Unit() * s, cy = rng.Unit() * s;
        float len = rng.Range(70, 130), wid = len * rng.Range(0.42f, 0.6f);
        float ang = rng.Range(0, 2 * Pi);
        Color c = Shade(tones[rng.Below(5)], rng.Range(0.8f, 1.15f));
        float curl = rng.Range(-0.15f, 0.15f);
        Wrapped(img.Width(), [&](float ox) {
            for (int oy = -1; oy <= 1; ++oy) {
                float bx = cx + ox, by = cy + static_cast<float>(oy) * s;
                if (bx < -140 || bx > s + 140 || by < -140 || by > s + 140) continue;
                std::vector<V2> outline;
                const int steps = 14;
                auto point = [&](float t, float side) {
                    float along = (t - 0.5f) * len;
                    float half = wid * 0.5f * std::pow(std::max(0.0f, std::sin(Pi * t)), 0.8f) * side;
                    float bend = curl * along * along / len;
                    float lx = along, ly = half + bend;
                    float ca = std::cos(ang), sa = std::sin(ang);
                    return V2{bx + (lx * ca - ly * sa) * BedAspect, by + lx * sa + ly * ca};
                };
                for (int k = 0; k <= steps; ++k) outline.push_back(point(static_cast<float>(k) / steps, 1));
                for (int k = steps; k >= 0; --k) outline.push_back(point(static_cast<float>(k) / steps, -1));
                // Shadow, leaf, midrib.
                std::vector<V2> sh = outline;
                for (V2& p : sh) {
                    p.x += 1.5f;
                    p.y += 2.5f;
                }
                FillPolygon(img, sh, {0, 0, 0, 0.35f});
                FillPolygon(img, outline, c);
                std::vector<V2> rib;
                for (int k = 0; k <= steps; ++k) rib.push_back(point(static_cast<float>(k) / steps, 0));
                StrokePolyline(img, rib, 2.2f, Shade(c, 1.35f));
            }
        });
    }
    // Twigs.
    for (int i = 0; i < count / 6; ++i) {
        float cx = rng.Unit() * s, cy = rng.Unit() * s, ang = rng.Range(0, 2 * Pi), len = rng.Range(40, 110);
        Color c = Shade(Rgb(0x3C2414), rng.Range(0.8f, 1.3f));
        Wrapped(img.Width(), [&](float ox) {
            for (int oy = -1; oy <= 1; ++oy) {
                V2 a{cx + ox, cy + static_cast<float>(oy) * s};
                V2 b{a.x + std::cos(ang) * len * BedAspect, a.y + std::sin(ang) * len};
                StrokeSegment(img, {a.x + 1.5f, a.y + 2.5f}, {b.x + 1.5f, b.y + 2.5f}, 3.5f, {0, 0, 0, 0.35f});
                StrokeSegment(img, a, b, 2.8f, c);
            }
        });
    }
}

}  // namespace

Image SeabedPicture(int water) {
    const WaterMood& w = Waters()[static_cast<size_t>(water)];
    const uint32_t seed = 0x5EABED00u + static_cast<uint32_t>(water) * 7919u;
    const int s2 = BedSize * 2;  // painted at twice the size
    Image img;
    switch (w.Floor) {
    case Bed::CoralSand:
        img = SandFloor(w, s2, 1, 7, 0.55f, seed);
        Rubble(img, {Rgb(0xFFFFFF), Rgb(0xF4DCD2), Rgb(0xE8D6B4), Rgb(0xD8B0A0)}, 260, 3, 9, seed + 1);
        Rubble(img, {Rgb(0x9A8A78), Rgb(0xB49A82)}, 50, 3, 6, seed + 2);
        break;
    case Bed::RockySand:
        img = SandFloor(w, s2, 2, 6, 0.35f, seed);
        RockPatches(img, w, seed + 3);
        Rubble(img, {Rgb(0x8A919C), Rgb(0x6E7480), Rgb(0xB4B8BE)}, 160, 3, 8, seed + 4);
        break;
    case Bed::LagoonSand:
        img = SandFloor(w, s2, 1, 9, 0.8f, seed);
        Rubble(img, {Rgb(0xFFFFFF), Rgb(0xF0E6D2)}, 70, 2, 5, seed + 5);
        break;
    case Bed::Pebbles: {
        img = SandFloor(w, s2, 1, 5, 0.2f, seed);
        Rng rng(seed + 6);
        const Color tones[] = {Rgb(0x8C8278), Rgb(0x6E6458), Rgb(0xA08C6E), Rgb(0x5A5550), Rgb(0xB4A58C),
                               Rgb(0x7D6450), Rgb(0x6E6A60)};
        // Jittered grid, big stones first so small ones sit in the gaps.
        const int cells = 12;
        const float cell = static_cast<float>(s2) / cells;
        for (int pass = 0; pass < 2; ++pass)
            for (int j = 0; j < cells; ++j)
                for (int i = 0; i < cells; ++i) {
                    float big = pass == 0 ? rng.Range(0.45f, 0.7f) : rng.Range(0.18f, 0.32f);
                    float cx = (static_cast<float>(i) + rng.Unit()) * cell, cy = (static_cast<float>(j) + rng.Unit()) * cell;
                    if (pass == 1 && rng.Unit() < 0.4f) continue;
                    float r = big * cell;
                    PaintStone(img, cx, cy, r * BedAspect * rng.Range(1.0f, 1.5f), r * rng.Range(0.75f, 1.0f),
                               rng.Range(-0.4f, 0.4f), Shade(tones[rng.Below(7)], rng.Range(0.85f, 1.15f)),
                               rng.NextU32());
                }
        break;
    }
    case Bed::LeafLitter:
        img = SandFloor(w, s2, 2, 5, 0.25f, seed);
        Leaves(img, 260, seed + 7);
        break;
    case Bed::Gravel: {
        img = SandFloor(w, s2, 1, 5, 0.15f, seed);
        Rng rng(seed + 8);
        const Color tones[] = {Rgb(0xD2C3A5), Rgb(0xB9A58A), Rgb(0x8C7D6E), Rgb(0xE6DCC8), Rgb(0x6E6450),
                               Rgb(0xA09682)};
        const int cells = 64;
        const float cell = static_cast<float>(s2) / cells;
        for (int j = 0; j < cells; ++j)
            for (int i = 0; i < cells; ++i)
                for (int k = 0; k < 2; ++k) {
                    float cx = (static_cast<float>(i) + rng.Unit()) * cell, cy = (static_cast<float>(j) + rng.Unit()) * cell;
                    float r = cell * rng.Range(0.42f, 0.75f);
                    PaintStone(img, cx, cy, r * BedAspect * rng.Range(1.0f, 1.4f), r * rng.Range(0.7f, 1.0f),
                               rng.Range(-0.5f, 0.5f), Shade(tones[rng.Below(6)], rng.Range(0.85f, 1.1f)),
                               rng.NextU32(), 0.35f);
                }
        break;
    }
    }
    return Downsample(img, 2);
}

Image SurfacePicture(int water) {
    const WaterMood& w = Waters()[static_cast<size_t>(water)];
    const int size = 512;
    // The surface texture repeats twice across the whole view but once over
    // 4000 units of depth: cells are drawn about three times narrower than
    // deep so they look round overhead.
    std::vector<std::pair<int, int>> allowed;
    for (int kx = 4; kx <= 12; ++kx)
        for (int ky = -3; ky <= 3; ++ky) allowed.push_back({kx, ky});
    for (int ky = 1; ky <= 3; ++ky) allowed.push_back({0, ky});
    auto waves = RandomWaves(10, 0x5A7FACE0ull + static_cast<uint64_t>(water) * 31ull, allowed);
    Mask density = TraceCaustic(size, waves, 0.8f, 3);
    Image img(size, size);
    float hmin = 1e9f, hmax = -1e9f;
    std::vector<float> h(static_cast<size_t>(size) * size);
    for (int y = 0; y < size; ++y)
        for (int x = 0; x < size; ++x) {
            float u = (static_cast<float>(x) + 0.5f) / size, v = (static_cast<float>(y) + 0.5f) / size;
            float s = 0;
            for (const SurfaceWave& wv : waves)
                s += wv.Amplitude * std::sin(2 * Pi * (static_cast<float>(wv.Kx) * u + static_cast<float>(wv.Ky) * v) +
                                             wv.Phase);
            h[static_cast<size_t>(y) * size + x] = s;
            hmin = std::min(hmin, s);
            hmax = std::max(hmax, s);
        }
    for (int y = 0; y < size; ++y)
        for (int x = 0; x < size; ++x) {
            float hn = (h[static_cast<size_t>(y) * size + x] - hmin) / std::max(hmax - hmin, 1e-6f);
            float lines = 1.0f - std::exp(-0.5f * density.At(x, y) * density.At(x, y));
            float t = Clamp01(0.15f + 0.45f * hn * hn + 0.55f * lines);
            img.At(x, y) = Mix(w.SurfaceDeep, w.SurfaceBright, t);
        }
    return img;
}

void GenerateWaters(ContentSink& sink) {
    const int n = static_cast<int>(Waters().size());
    std::vector<Image> beds(static_cast<size_t>(n)), surfaces(static_cast<size_t>(n));
    ParallelFor(n * 2, [&](int i) {
        if (i < n)
            beds[static_cast<size_t>(i)] = SeabedPicture(i);
        else
            surfaces[static_cast<size_t>(i - n)] = SurfacePicture(i - n);
    });
    for (int i = 0; i < n; ++i) PutJpeg(sink, SeabedName(i), beds[static_cast<size_t>(i)], 0x100u + static_cast<uint32_t>(i));
    for (int i = 0; i < n; ++i)
        PutJpeg(sink, SurfaceName(i), surfaces[static_cast<size_t>(i)], 0x200u + static_cast<uint32_t>(i));
}

}  // namespace cg
