#include "caustics.h"

#include "groups.h"
#include "rng.h"

#include <algorithm>
#include <cmath>

namespace cg {

std::vector<SurfaceWave> RandomWaves(int count, uint64_t seed, const std::vector<std::pair<int, int>>& allowed) {
    std::vector<std::pair<int, int>> pool = allowed;
    if (pool.empty())
        for (int ky = -5; ky <= 5; ++ky)
            for (int kx = 0; kx <= 5; ++kx) {
                if (kx == 0 && ky <= 0) continue;  // k and -k are the same wave
                if (kx * kx + ky * ky > 25) continue;
                pool.push_back({kx, ky});
            }
    Rng rng(seed);
    std::vector<SurfaceWave> waves;
    for (int i = 0; i < count && !pool.empty(); ++i) {
        size_t pick = rng.Below(static_cast<uint32_t>(pool.size()));
        auto [kx, ky] = pool[pick];
        pool.erase(pool.begin() + static_cast<std::ptrdiff_t>(pick));
        float k2 = static_cast<float>(kx * kx + ky * ky);
        waves.push_back({kx, ky, rng.Range(0.8f, 1.2f) / k2, rng.Range(0, 2 * Pi)});
    }
    return waves;
}

Mask TraceCaustic(int size, const std::vector<SurfaceWave>& waves, float strength, int raysPerTexel) {
    Mask out(size, size, 1.0f);
    if (size <= 0 || waves.empty()) return out;
    const int m = size * std::max(raysPerTexel, 1);
    const double twoPi = 2.0 * 3.14159265358979323846;

    // Every ray sits on the m x m lattice, so each wave's phase there is a
    // whole number of 1/m turns plus a constant: one table per wave.
    struct Table {
        std::vector<float> Cos, Sin;
        int Kx, Ky;
        float A;
        size_t Step;  // index change from one ray to the next along x
    };
    std::vector<Table> tables;
    for (const SurfaceWave& w : waves) {
        Table t{std::vector<float>(static_cast<size_t>(m)), std::vector<float>(static_cast<size_t>(m)), w.Kx, w.Ky,
                w.Amplitude, 0};
        t.Step = static_cast<size_t>(((w.Kx % m) + m) % m);
        double offset = w.Phase + twoPi * 0.5 * (w.Kx + w.Ky) / m;  // ray at the lattice cell centre
        for (int i = 0; i < m; ++i) {
            double ph = twoPi * i / m + offset;
            t.Cos[static_cast<size_t>(i)] = static_cast<float>(std::cos(ph));
            t.Sin[static_cast<size_t>(i)] = static_cast<float>(std::sin(ph));
        }
        tables.push_back(std::move(t));
    }
    auto phaseIndex = [m](int kx, int ky, int i, int j) {
        long long v = (static_cast<long long>(kx) * i + static_cast<long long>(ky) * j) % m;
        return static_cast<size_t>(v < 0 ? v + m : v);
    };

    // The largest |laplacian h| fixes how far the strongest curvature focuses.
    const float tp = static_cast<float>(twoPi);
    float maxLap = 0;
    for (int j = 0; j < m; j += raysPerTexel)
        for (int i = 0; i < m; i += raysPerTexel) {
            float lap = 0;
            for (const Table& t : tables)
                lap -= t.A * tp * tp * static_cast<float>(t.Kx * t.Kx + t.Ky * t.Ky) * t.Sin[phaseIndex(t.Kx, t.Ky, i, j)];
            maxLap = std::max(maxLap, std::fabs(lap));
        }
    const float shift = maxLap > 0 ? strength / maxLap : 0;

    // Two fixed halves with their own buffers, summed in order: the result
    // does not depend on which thread ran which half.
    const int chunks = 2;
    std::vector<std::vector<float>> acc(chunks, std::vector<float>(static_cast<size_t>(size) * size, 0.0f));
    ParallelFor(chunks, [&](int c) {
        std::vector<float>& a = acc[static_cast<size_t>(c)];
        const int j0 = m * c / chunks, j1 = m * (c + 1) / chunks;
        const float inv = 1.0f / static_cast<float>(m);
        std::vector<size_t> index(tables.size());
        for (int j = j0; j < j1; ++j) {
            for (size_t w = 0; w < tables.size(); ++w) index[w] = phaseIndex(tables[w].Kx, tables[w].Ky, 0, j);
            for (int i = 0; i < m; ++i) {
                float gx = 0, gy = 0;
                for (size_t w = 0; w < tables.size(); ++w) {
                    const Table& t = tables[w];
                    float c0 = t.A * tp * t.Cos[index[w]];
                    gx += c0 * static_cast<float>(t.Kx);
                    gy += c0 * static_cast<float>(t.Ky);
                    index[w] += t.Step;
                    if (index[w] >= static_cast<size_t>(m)) index[w] -= static_cast<size_t>(m);
                }
                float px = (static_cast<float>(i) + 0.5f) * inv - shift * gx;
                float py = (static_cast<float>(j) + 0.5f) * inv - shift * gy;
                float fx = px * static_cast<float>(size) - 0.5f, fy = py * static_cast<float>(size) - 0.5f;
                float flx = std::floor(fx), fly = std::floor(fy);
                float tx = fx - flx, ty = fy - fly;
                int x0 = static_cast<int>(flx) % size, y0 = static_cast<int>(fly) % size;
                if (x0 < 0) x0 += size;
                if (y0 < 0) y0 += size;
                int x1 = x0 + 1 == size ? 0 : x0 + 1, y1 = y0 + 1 == size ? 0 : y0 + 1;
                a[static_cast<size_t>(y0) * size + x0] += (1 - tx) * (1 - ty);
                a[static_cast<size_t>(y0) * size + x1] += tx * (1 - ty);
                a[static_cast<size_t>(y1) * size + x0] += (1 - tx) * ty;
                a[static_cast<size_t>(y1) * size + x1] += tx * ty;
            }
        }
    });
    std::vector<float> sum(static_cast<size_t>(size) * size, 0.0f);
    for (const auto& a : acc)
        for (size_t k = 0; k < sum.size(); ++k) sum[k] += a[k];
    double total = 0;
    for (float v : sum) total += v;
    const float mean = static_cast<float>(total / static_cast<double>(sum.size()));
    for (int y = 0; y < size; ++y)
        for (int x = 0; x < size; ++x) {
            float s = 0;
            for (int dy = -1; dy <= 1; ++dy)
                for (int dx = -1; dx <= 1; ++dx) {
                    int xx = (x + dx + size) % size, yy = (y + dy + size) % size;
                    s += sum[static_cast<size_t>(yy) * size + xx];
                }
            out.At(x, y) = mean > 0 ? s / (9.0f * mean) : 1.0f;
        }
    return out;
}

float CausticBrightness(float density) { return 0.45f + 0.55f * (1.0f - std::exp(-0.6f * density)); }

Color MeanColour(const Image& img) {
    double r = 0, g = 0, b = 0, a = 0;
    for (const Color& c : img.Pixels) {
        r += c.r;
        g += c.g;
        b += c.b;
        a += c.a;
    }
    double n = img.Pixels.empty() ? 1.0 : static_cast<double>(img.Pixels.size());
    return {static_cast<float>(r / n), static_cast<float>(g / n), static_cast<float>(b / n), static_cast<float>(a / n)};
}

namespace {

// The light-ray sheet samples s across x (a repeat every 5000 units) and
// slides t slowly with time, so columns are the rays and rows are moments:
// each ray drifts, swells and fades as the rows go by, and both directions
// wrap.
Image LightRays(int width, int height, uint64_t seed) {
    Rng rng(seed);
    struct Ray {
        float X, Width, Drift, Strength, Phase;
        int Cycles;
    };
    std::vector<Ray> rays;
    const int count = 7;
    for (int i = 0; i < count; ++i) {
        Ray r;
        r.X = (static_cast<float>(i) + rng.Range(0.2f, 0.8f)) / count;
        r.Width = i % 3 == 0 ? rng.Range(0.006f, 0.012f) : rng.Range(0.02f, 0.05f);
        r.Drift = rng.Range(0.01f, 0.03f);
        r.Strength = rng.Range(0.6f, 1.0f);
        r.Phase = rng.Range(0, 2 * Pi);
        r.Cycles = 1 + static_cast<int>(rng.Below(2));
        rays.push_back(r);
    }
    Image img(width, height);
    for (int y = 0; y < height; ++y) {
        const float v = (static_cast<float>(y) + 0.5f) / static_cast<float>(height);
        for (int x = 0; x < width; ++x) {
            const float u = (static_cast<float>(x) + 0.5f) / static_cast<float>(width);
            float a = 0;
            for (const Ray& r : rays) {
                float centre = r.X + r.Drift * std::sin(2 * Pi * v * static_cast<float>(r.Cycles) + r.Phase);
                float d = u - centre;
                d -= std::round(d);  // wrapped distance
                float life = 0.5f + 0.5f * std::sin(2 * Pi * v * static_cast<float>(r.Cycles) + r.Phase * 1.7f);
                float core = std::exp(-(d * d) / (2 * r.Width * r.Width));
                a += r.Strength * life * life * core;
            }
            // Fine flicker along the columns, still periodic.
            float fine = PeriodicFbm(u * 64, v * 4, 64, 4, 3, static_cast<uint32_t>(seed) + 7u);
            a *= 0.75f + 0.5f * fine;
            a = 1.0f - std::exp(-1.4f * a);
            img.At(x, y) = {0.93f, 0.98f, 1.0f, Clamp01(a)};
        }
    }
    return img;
}

Image CausticPicture(int size, const std::vector<SurfaceWave>& waves, float strength) {
    Mask density = TraceCaustic(size, waves, strength);
    Image img(size, size);
    for (int y = 0; y < size; ++y)
        for (int x = 0; x < size; ++x) {
            float b = CausticBrightness(density.At(x, y));
            img.At(x, y) = {b, b, b, 1};
        }
    return img;
}

}  // namespace

void GenerateCaustics(ContentSink& sink) {
    // Fish: softer, smaller cells that read on a moving body.
    PutJpeg(sink, "caustfish.jpg", CausticPicture(256, RandomWaves(10, 0xCA051F15ull), 1.3f), 0x51u);
    // Sea bed and background: a sharp bright network.
    PutJpeg(sink, "caustback.jpg", CausticPicture(512, RandomWaves(12, 0xCA05BAC4ull), 2.4f), 0x52u);
    Image rays = LightRays(256, 256, 0x1167ull);
    PutJpeg(sink, "caustlight.jpg", rays, 0x53u);
    PutAlphaJpeg(sink, "caustlightA.jpg", rays, 0x54u);
}

}  // namespace cg
