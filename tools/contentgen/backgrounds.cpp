#include "backgrounds.h"

#include "groups.h"
#include "rng.h"
#include "waters.h"

#include <algorithm>
#include <cmath>
#include <functional>
#include <string>

namespace cg {

namespace {

// Painted at twice the size and filtered down.
constexpr int Scale = 2;
constexpr int CW = BackgroundWidth * Scale, CH = BackgroundHeight * Scale;

float RowToWorldY(const WaterMood& w, float row, int height) {
    return w.PlaneBottomY + PlaneHeight * (1 - (row + 0.5f) / static_cast<float>(height));
}

Color Divide(Color c, Color by) {
    return {Clamp01(c.r / std::max(by.r, 0.05f)), Clamp01(c.g / std::max(by.g, 0.05f)),
            Clamp01(c.b / std::max(by.b, 0.05f)), c.a};
}

// Periodic noise worked out once per picture and looked up bilinearly: much
// cheaper than fresh noise for every texel of every layer.
class NoiseField {
public:
    NoiseField(int width, int height, int cellsX, int cellsY, int octaves, uint32_t seed) : Values(width, height) {
        for (int y = 0; y < height; ++y)
            for (int x = 0; x < width; ++x)
                Values.At(x, y) = PeriodicFbm(static_cast<float>(x) * static_cast<float>(cellsX) / static_cast<float>(width),
                                              static_cast<float>(y) * static_cast<float>(cellsY) / static_cast<float>(height),
                                              cellsX, cellsY, octaves, seed);
    }
    // Canvas coordinates; freq whole repeats across the canvas width.
    float At(float x, float y, int freq) const {
        float fx = x * static_cast<float>(freq * Values.Width()) / CW;
        float fy = y * static_cast<float>(freq * Values.Height()) / CH;
        int x0 = static_cast<int>(std::floor(fx)), y0 = static_cast<int>(std::floor(fy));
        float tx = fx - static_cast<float>(x0), ty = fy - static_cast<float>(y0);
        auto v = [&](int xx, int yy) {
            xx %= Values.Width();
            yy %= Values.Height();
            if (xx < 0) xx += Values.Width();
            if (yy < 0) yy += Values.Height();
            return Values.At(xx, yy);
        };
        return Mix(Mix(v(x0, y0), v(x0 + 1, y0), tx), Mix(v(x0, y0 + 1), v(x0 + 1, y0 + 1), tx), ty);
    }

private:
    Mask Values;
};

// A periodic profile across the canvas: base minus amplitude times noise.
std::vector<float> Skyline(float base, float amplitude, int cells, uint32_t seed, float sharpness = 1) {
    std::vector<float> top(CW);
    for (int x = 0; x < CW; ++x) {
        float n = PeriodicFbm(static_cast<float>(x) * static_cast<float>(cells) / CW, 0.37f, cells, 1, 5, seed);
        n = Clamp01((n - 0.25f) / 0.55f);
        top[static_cast<size_t>(x)] = base - amplitude * std::pow(n, sharpness);
    }
    return top;
}

// The stretch of ground behind everything: sand fading into the water,
// reaching at the bottom edge the fog the sea bed in front has there.
struct Context {
    int Water;
    const WaterMood& W;
    NoiseField& Noise;
};

Color HazeAt(const Context& c, float row) { return HazeColour(c.Water, row / Scale, BackgroundHeight); }

void Haze(Image& layer, const Context& c, float amount) {
    for (int y = 0; y < CH; ++y) {
        Color target = HazeAt(c, static_cast<float>(y));
        for (int x = 0; x < CW; ++x) {
            Color& p = layer.At(x, y);
            if (p.a <= 0) continue;
            float a = p.a;
            p = Mix(p, target, amount);
            p.a = a;
        }
    }
}

void Over(Image& dst, const Image& src) {
    for (size_t i = 0; i < dst.Pixels.size(); ++i)
        if (src.Pixels[i].a > 0) BlendOver(dst.Pixels[i], src.Pixels[i], 1);
}

// Ground: sand seen far off, fully opaque from its wavy top line down.
void Ground(Image& layer, const Context& c, float topRow, uint32_t seed) {
    auto top = Skyline(topRow, 26, 9, seed);
    const Color sand = Divide(Mix(c.W.Sand, c.W.SandDark, 0.3f), c.W.Light);
    for (int x = 0; x < CW; ++x) {
        float t0 = top[static_cast<size_t>(x)];
        for (int y = std::max(0, static_cast<int>(t0)); y < CH; ++y) {
            float cover = Clamp01(static_cast<float>(y) + 1 - t0);
            float k = Clamp01((static_cast<float>(y) - t0) / (static_cast<float>(CH) - t0));
            float haze = Mix(0.97f, 0.64f, std::pow(k, 0.8f));
            float n = c.Noise.At(static_cast<float>(x), static_cast<float>(y) * 3, 3);
            Color s = Shade(sand, 0.85f + 0.3f * n);
            Color col = Mix(s, HazeAt(c, static_cast<float>(y)), haze);
            col.a = 1;
            BlendOver(layer.At(x, y), col, cover);
        }
    }
}

// Rock or reef mass under a skyline: broad mottling, lumps lit from above,
// darker deep down, patches of another colour.
// With openBelow set, the mass thins out where it hardly rises above that
// row, so open ground shows between the mounds.
void Mass(Image& layer, const Context& c, const std::vector<float>& top, Color a, Color b, Color patch, float patchAmount,
          int freq, float openBelow = 1e9f, float endsAt = 1e9f) {
    for (int x = 0; x < CW; ++x) {
        float t0 = top[static_cast<size_t>(x)];
        float presence = Smoothstep(4, 30, openBelow - t0);
        if (presence <= 0) continue;
        for (int y = std::max(0, static_cast<int>(t0)); y < CH; ++y) {
            // A farther reef ends at its own foot, where nearer sand begins.
            float cover = Clamp01(static_cast<float>(y) + 1 - t0) * presence *
                          (1 - Smoothstep(endsAt, endsAt + 22, static_cast<float>(y)));
            if (cover <= 0) break;
            float fx = static_cast<float>(x), fy = static_cast<float>(y);
            float n = c.Noise.At(fx, fy, freq);
            // Lumps: the slope of a coarser field, light from above left.
            float l0 = c.Noise.At(fx + 4, fy + 4, freq * 2), l1 = c.Noise.At(fx - 4, fy - 4, freq * 2);
            float fine = c.Noise.At(fx * 3, fy * 3, freq * 2);
            float depth = (fy - t0) / 90.0f;
            float light = (0.62f + 0.5f * std::exp(-depth)) * (1.0f + 4.0f * (l1 - l0)) * (0.9f + 0.2f * fine);
            Color col = Mix(a, b, Smoothstep(0.35f, 0.65f, n));
            float p = Smoothstep(0.56f, 0.64f, c.Noise.At(fx + 517, fy + 211, freq + 1)) * patchAmount;
            col = Mix(col, patch, p);
            col = Shade(col, std::clamp(light, 0.45f, 1.3f));
            col.a = 1;
            BlendOver(layer.At(x, y), col, cover);
        }
    }
}

struct Segment {
    V2 A, B;
    float Width;
    int Depth;
    bool Tip;
};

// Branching by the rules X -> F[+X]F[-X]+X, F -> FF, scaled to the given
// height, each bracket level thinner by taper, every turn and step jittered.
std::vector<Segment> Branching(V2 base, float height, int iterations, float angleDeg, float width, float taper,
                               float upBias, Rng& rng) {
    std::string s = "X";
    for (int i = 0; i < iterations; ++i) {
        std::string n;
        for (char ch : s) {
            if (ch == 'X')
                n += "F[+X]F[-X]+X";
            else if (ch == 'F')
                n += "FF";
            else
                n += ch;
        }
        s.swap(n);
    }
    struct State {
        V2 P;
        float Heading;
        int Depth;
    };
    std::vector<State> stack;
    State st{{0, 0}, -Pi / 2 + rng.Range(-0.25f, 0.25f), 0};
    const float angle = angleDeg * Pi / 180;
    const bool mirror = rng.Unit() < 0.5f;
    std::vector<Segment> segs;
    for (size_t i = 0; i < s.size(); ++i) {
        char ch = s[i];
        if (ch == 'F') {
            st.Heading += rng.Gauss() * 0.09f;
            st.Heading += (-Pi / 2 - st.Heading) * upBias;
            float len = 1.0f + 0.2f * rng.Gauss();
            V2 q{st.P.x + std::cos(st.Heading) * len, st.P.y + std::sin(st.Heading) * len};
            size_t j = i + 1;
            while (j < s.size() && s[j] == 'X') ++j;
            bool tip = j >= s.size() || s[j] == ']';
            segs.push_back({st.P, q, static_cast<float>(std::pow(taper, st.Depth)), st.Depth, tip});
            st.P = q;
        } else if (ch == '+' || ch == '-') {
            float turn = angle * (1.0f + 0.2f * rng.Gauss());
            st.Heading += ((ch == '+') != mirror) ? turn : -turn;
        } else if (ch == '[') {
            stack.push_back(st);
            ++st.Depth;
        } else if (ch == ']' && !stack.empty()) {
            st = stack.back();
            stack.pop_back();
        }
    }
    float minY = 0, minX = 0, maxX = 0;
    for (const Segment& g : segs) {
        minY = std::min(minY, g.B.y);
        minX = std::min(minX, g.B.x);
        maxX = std::max(maxX, g.B.x);
    }
    float k = minY < 0 ? height / -minY : 1;
    for (Segment& g : segs) {
        g.A = {base.x + g.A.x * k, base.y + g.A.y * k};
        g.B = {base.x + g.B.x * k, base.y + g.B.y * k};
        g.Width *= width;
    }
    return segs;
}

// Thick-to-thin strokes with a dark rim, a body shading from base to tip
// colour, a light edge and rounded light tips.
void DrawBranches(Image& layer, const std::vector<Segment>& segs, Color base, Color tip, float minWidth) {
    int maxDepth = 1;
    for (const Segment& g : segs) maxDepth = std::max(maxDepth, g.Depth);
    Wrapped(CW, [&](float ox) {
        for (const Segment& g : segs) {
            float w = std::max(g.Width, minWidth);
            StrokeSegment(layer, {g.A.x + ox, g.A.y}, {g.B.x + ox, g.B.y}, w + 2.5f, Shade(base, 0.45f));
        }
        for (const Segment& g : segs) {
            float w = std::max(g.Width, minWidth);
            float t = static_cast<float>(g.Depth) / static_cast<float>(maxDepth);
            StrokeSegment(layer, {g.A.x + ox, g.A.y}, {g.B.x + ox, g.B.y}, w, Mix(base, tip, t * 0.8f));
        }
        for (const Segment& g : segs) {
            float w = std::max(g.Width, minWidth);
            if (w < 3) continue;
            float t = static_cast<float>(g.Depth) / static_cast<float>(maxDepth);
            Color hi = Shade(Mix(base, tip, t), 1.3f);
            StrokeSegment(layer, {g.A.x + ox - w * 0.18f, g.A.y}, {g.B.x + ox - w * 0.18f, g.B.y}, w * 0.3f, hi);
        }
        for (const Segment& g : segs)
            if (g.Tip) FillDisc(layer, g.B.x + ox, g.B.y, std::max(g.Width, minWidth) * 0.62f, Shade(tip, 1.15f));
    });
}

// A sea fan grown by diffusion-limited aggregation on a small lattice, then
// drawn as twigs from each cell to the cell it stuck to, thicker where more
// of the fan hangs on them.
std::vector<Segment> SeaFan(V2 base, float height, float width, Rng& rng, int particles) {
    constexpr int gw = 110, gh = 80;
    std::vector<int> parent(static_cast<size_t>(gw * gh), -2);  // -2 empty, -1 root
    auto idx = [](int x, int y) { return y * gw + x; };
    const int sx = gw / 2, sy = gh - 1;
    parent[static_cast<size_t>(idx(sx, sy))] = -1;
    std::vector<int> order{idx(sx, sy)};
    float reach = 2;
    const float half = 0.5f * static_cast<float>(gw) * 0.95f, tall = static_cast<float>(gh) * 0.97f;
    auto inFan = [&](int x, int y) {
        float u = static_cast<float>(x - sx) / half, v = static_cast<float>(sy - y) / tall;
        return x >= 0 && y >= 0 && x < gw && y < gh && u * u + v * v <= 1.0f;
    };
    for (int p = 0; p < particles; ++p) {
        float launch = std::min(reach + 5, static_cast<float>(gh));
        float th = rng.Range(-1.25f, 1.25f);
        int x = sx + static_cast<int>(std::sin(th) * launch * half / tall);
        int y = sy - static_cast<int>(std::cos(th) * launch);
        if (!inFan(x, y)) continue;
        for (int step = 0; step < 6000; ++step) {
            int found = -1;
            for (int dy = -1; dy <= 1 && found < 0; ++dy)
                for (int dx = -1; dx <= 1; ++dx) {
                    int nx = x + dx, ny = y + dy;
                    if (nx < 0 || ny < 0 || nx >= gw || ny >= gh) continue;
                    if (parent[static_cast<size_t>(idx(nx, ny))] != -2) {
                        found = idx(nx, ny);
                        break;
                    }
                }
            if (found >= 0) {
                parent[static_cast<size_t>(idx(x, y))] = found;
                order.push_back(idx(x, y));
                float d = std::hypot(static_cast<float>(x - sx) * tall / half, static_cast<float>(y - sy));
                reach = std::max(reach, d);
                break;
            }
            // A slight pull downwards keeps walkers from wandering off.
            uint32_t r = rng.Below(20);
            int nx = x + (r < 5 ? 1 : r < 10 ? -1 : 0);
            int ny = y + (r >= 10 && r < 15 ? 1 : r >= 15 && r < 19 ? -1 : 0);
            if (!inFan(nx, ny)) continue;
            x = nx;
            y = ny;
        }
    }
    std::vector<int> weight(parent.size(), 1);
    for (size_t i = order.size(); i-- > 1;) {
        int c = order[i];
        int pa = parent[static_cast<size_t>(c)];
        if (pa >= 0) weight[static_cast<size_t>(pa)] += weight[static_cast<size_t>(c)];
    }
    const float cellX = width / static_cast<float>(gw), cellY = height / static_cast<float>(gh);
    auto pos = [&](int i) {
        return V2{base.x + (static_cast<float>(i % gw) - static_cast<float>(sx)) * cellX,
                  base.y - (static_cast<float>(sy) - static_cast<float>(i / gw)) * cellY};
    };
    std::vector<Segment> segs;
    for (size_t i = 1; i < order.size(); ++i) {
        int c = order[i];
        int pa = parent[static_cast<size_t>(c)];
        float wgt = static_cast<float>(weight[static_cast<size_t>(c)]);
        bool tip = weight[static_cast<size_t>(c)] == 1;
        segs.push_back({pos(pa), pos(c), 0.9f + 0.55f * std::sqrt(wgt), 0, tip});
    }
    // Thick first so thin twigs lie on top.
    std::stable_sort(segs.begin(), segs.end(), [](const Segment& a, const Segment& b) { return a.Width > b.Width; });
    return segs;
}

void DrawFan(Image& layer, const std::vector<Segment>& segs, Color c, Color tip, float scale) {
    Wrapped(CW, [&](float ox) {
        for (const Segment& g : segs) {
            float w = std::min(g.Width, 9.0f) * scale;
            StrokeSegment(layer, {g.A.x + ox, g.A.y}, {g.B.x + ox, g.B.y}, std::max(w, 2.2f) + 1.6f, Shade(c, 0.5f));
        }
        for (const Segment& g : segs) {
            float w = std::min(g.Width, 9.0f) * scale;
            float t = Clamp01(1.0f - (g.Width - 0.9f) / 5.0f);
            StrokeSegment(layer, {g.A.x + ox, g.A.y}, {g.B.x + ox, g.B.y}, std::max(w, 2.2f), Mix(c, tip, t * 0.7f));
        }
    });
}

// Brain or boulder coral: a half dome with meandering grooves.
void Dome(Image& layer, const Context& c, float cx, float baseY, float rx, float ry, Color body, Color groove,
          float grooveAmount) {
    Wrapped(CW, [&](float ox) {
        float x0 = cx + ox;
        int xa = std::max(0, static_cast<int>(x0 - rx - 2)), xb = std::min(CW, static_cast<int>(x0 + rx + 3));
        int ya = std::max(0, static_cast<int>(baseY - ry - 2)), yb = std::min(CH, static_cast<int>(baseY + 3));
        for (int y = ya; y < yb; ++y)
            for (int x = xa; x < xb; ++x) {
                float u = (static_cast<float>(x) + 0.5f - x0) / rx, v = (baseY - static_cast<float>(y) - 0.5f) / ry;
                float q = std::sqrt(u * u + v * v);
                float cover = Clamp01((1 - q) * std::min(rx, ry) + 0.5f) * Clamp01(v * ry + 1.5f);
                if (cover <= 0) continue;
                float z = std::sqrt(std::max(0.0f, 1 - q * q));
                float fx = static_cast<float>(x), fy = static_cast<float>(y);
                float wx = fx + 14 * (c.Noise.At(fx, fy, 8) - 0.5f), wy = fy + 14 * (c.Noise.At(fx + 300, fy, 8) - 0.5f);
                float f1, f2;
                PeriodicWorley(wx / 8, wy / 8, CW / 8, CH / 8, 0xD0E5u, f1, f2);
                float g = 1 - Smoothstep(0.04f, 0.16f, f2 - f1);
                float light = 0.5f + 0.55f * z + 0.25f * (-u * 0.6f + v * 0.8f);
                Color col = Mix(body, groove, g * grooveAmount);
                col = Shade(col, std::clamp(light, 0.35f, 1.2f));
                col.a = 1;
                BlendOver(layer.At(x, y), col, cover);
            }
    });
}

// Anemone: a short column and a crown of curling tentacles.
void Anemone(Image& layer, float cx, float baseY, float size, Color body, Color tentacle, Color tip, Rng& rng) {
    const float discY = baseY - size * 0.14f;
    struct Tentacle {
        std::vector<V2> Points;
        float Width;
        bool Back;
    };
    std::vector<Tentacle> ts;
    const int n = 46;
    for (int i = 0; i < n; ++i) {
        float th = -Pi / 2 + rng.Range(-1.35f, 1.35f);
        float len = size * rng.Range(0.4f, 0.7f);
        float curl = rng.Range(-0.9f, 0.9f);
        V2 p{cx + std::cos(th) * size * 0.22f, discY + std::sin(th) * size * 0.06f};
        std::vector<V2> pts{p};
        float h = th;
        for (int k = 0; k < 7; ++k) {
            h += curl * 0.12f + 0.05f * (-Pi / 2 - h);
            p = {p.x + std::cos(h) * len / 7, p.y + std::sin(h) * len / 7};
            pts.push_back(p);
        }
        ts.push_back({pts, std::max(size * 0.05f, 2.5f), rng.Unit() < 0.45f});
    }
    Wrapped(CW, [&](float ox) {
        auto moved = [&](const std::vector<V2>& pts) {
            std::vector<V2> m = pts;
            for (V2& q : m) q.x += ox;
            return m;
        };
        for (const Tentacle& t : ts)
            if (t.Back) {
                StrokePolyline(layer, moved(t.Points), t.Width + 1.5f, Shade(tentacle, 0.4f));
                StrokePolyline(layer, moved(t.Points), t.Width, Shade(tentacle, 0.7f));
            }
        FillEllipse(layer, cx + ox, discY + size * 0.06f, size * 0.2f, size * 0.1f, 0, body);
        for (const Tentacle& t : ts)
            if (!t.Back) {
                auto pts = moved(t.Points);
                StrokePolyline(layer, pts, t.Width + 1.5f, Shade(tentacle, 0.45f));
                StrokePolyline(layer, pts, t.Width, tentacle);
                std::vector<V2> end(pts.end() - 3, pts.end());
                StrokePolyline(layer, end, t.Width * 0.9f, tip);
            }
    });
}

// Tube sponges: shaded cylinders with dark openings.
void Tubes(Image& layer, float cx, float baseY, float size, Color colour, Rng& rng) {
    const int n = 3 + static_cast<int>(rng.Below(3));
    for (int i = 0; i < n; ++i) {
        float x = cx + rng.Range(-0.35f, 0.35f) * size;
        float w = size * rng.Range(0.13f, 0.2f), h = size * rng.Range(0.45f, 1.0f);
        float lean = rng.Range(-0.25f, 0.25f);
        Color col = Shade(colour, rng.Range(0.85f, 1.1f));
        Wrapped(CW, [&](float ox) {
            float bx = x + ox;
            int xa = std::max(0, static_cast<int>(bx - w - h * 0.3f - 2)),
                xb = std::min(CW, static_cast<int>(bx + w + h * 0.3f + 3));
            int ya = std::max(0, static_cast<int>(baseY - h - w)), yb = std::min(CH, static_cast<int>(baseY + 2));
            for (int y = ya; y < yb; ++y)
                for (int xx = xa; xx < xb; ++xx) {
                    float up = baseY - static_cast<float>(y) - 0.5f;
                    float centre = bx + lean * up;
                    float u = (static_cast<float>(xx) + 0.5f - centre) / (w * 0.5f);
                    float cover = Clamp01((1 - std::fabs(u)) * w * 0.5f + 0.5f) * Clamp01(up + 0.5f);
                    // Rounded rim: an ellipse at the top.
                    float rimY = (up - h) / (w * 0.22f);
                    float rim = u * u + rimY * rimY;
                    if (up > h) cover *= Clamp01((1 - std::sqrt(rim)) * w * 0.2f + 0.5f);
                    if (cover <= 0) continue;
                    float shade = 0.5f + 0.6f * std::sqrt(std::max(0.0f, 1 - u * u)) - 0.15f * u;
                    Color c2 = Shade(col, shade);
                    // Opening: the inner ellipse at the rim is dark.
                    float inner = (u * u) / 0.55f + ((up - h) / (w * 0.14f)) * ((up - h) / (w * 0.14f));
                    if (inner < 1) c2 = Mix(c2, Shade(col, 0.2f), Clamp01((1 - inner) * 4));
                    c2.a = 1;
                    BlendOver(layer.At(xx, y), c2, cover);
                }
        });
    }
}

// Sea whips and soft branches: long thin curving rods.
void Whips(Image& layer, float cx, float baseY, float size, Color colour, Rng& rng) {
    const int n = 4 + static_cast<int>(rng.Below(4));
    for (int i = 0; i < n; ++i) {
        float h = -Pi / 2 + rng.Range(-0.5f, 0.5f);
        float curl = rng.Range(-0.06f, 0.06f);
        V2 p{cx + rng.Range(-0.06f, 0.06f) * size, baseY};
        std::vector<V2> pts{p};
        float len = size * rng.Range(0.6f, 1.0f);
        for (int k = 0; k < 14; ++k) {
            h += curl;
            p = {p.x + std::cos(h) * len / 14, p.y + std::sin(h) * len / 14};
            pts.push_back(p);
        }
        Color c = Shade(colour, rng.Range(0.85f, 1.15f));
        Wrapped(CW, [&](float ox) {
            std::vector<V2> m = pts;
            for (V2& q : m) q.x += ox;
            StrokePolyline(layer, m, 5.0f, Shade(c, 0.45f));
            StrokePolyline(layer, m, 3.4f, c);
        });
    }
}

// A ribbon leaf (eelgrass, tape grass) with a twist that shows as lighter
// and darker stretches.
void Ribbon(Image& layer, V2 base, float height, float width, float sway, Color colour, Rng& rng) {
    const int steps = 28;
    float twist = rng.Range(1.5f, 4.0f), phase = rng.Range(0, 2 * Pi), wig = rng.Range(0.02f, 0.06f);
    std::vector<V2> centre;
    std::vector<float> halfW, face;
    for (int i = 0; i <= steps; ++i) {
        float t = static_cast<float>(i) / steps;
        float x = base.x + sway * height * t * t + wig * height * std::sin(t * 5 + phase);
        float y = base.y - height * t * (1 - 0.12f * std::fabs(sway) * t);
        centre.push_back({x, y});
        float f = std::cos(t * twist + phase);
        face.push_back(f);
        float hw = width * 0.5f * (0.35f + 0.65f * std::fabs(f)) * (1 - 0.35f * t);
        if (t > 0.92f) hw *= (1 - t) / 0.08f + 0.15f;
        halfW.push_back(std::max(hw, 1.3f));
    }
    std::vector<V2> left, right;
    for (int i = 0; i <= steps; ++i) {
        V2 a = centre[static_cast<size_t>(std::max(i - 1, 0))], b = centre[static_cast<size_t>(std::min(i + 1, steps))];
        float dx = b.x - a.x, dy = b.y - a.y, l = std::max(std::hypot(dx, dy), 1e-4f);
        float nx = -dy / l, ny = dx / l;
        left.push_back({centre[static_cast<size_t>(i)].x + nx * halfW[static_cast<size_t>(i)],
                        centre[static_cast<size_t>(i)].y + ny * halfW[static_cast<size_t>(i)]});
        right.push_back({centre[static_cast<size_t>(i)].x - nx * halfW[static_cast<size_t>(i)],
                         centre[static_cast<size_t>(i)].y - ny * halfW[static_cast<size_t>(i)]});
    }
    std::vector<V2> outline = left;
    outline.insert(outline.end(), right.rbegin(), right.rend());
    Wrapped(CW, [&](float ox) {
        std::vector<V2> o = outline;
        for (V2& q : o) q.x += ox;
        FillPolygon(layer, o, Shade(colour, 0.8f));
        // Lighter where the blade faces us.
        for (int i = 0; i < steps; ++i) {
            float f = 0.5f * (face[static_cast<size_t>(i)] + face[static_cast<size_t>(i + 1)]);
            Color c = Shade(colour, 0.75f + 0.45f * f * f);
            std::vector<V2> q{left[static_cast<size_t>(i)], left[static_cast<size_t>(i + 1)],
                              right[static_cast<size_t>(i + 1)], right[static_cast<size_t>(i)]};
            for (V2& p : q) p.x += ox;
            FillPolygon(layer, q, WithAlpha(c, 0.85f));
        }
    });
}

// A leaf along a curved spine: lanceolate outline and a light midrib.
void Leaf(Image& layer, V2 base, float angle, float length, float width, float droop, float stalk, Color colour) {
    const int steps = 16;
    auto spine = [&](float t) {
        float d = length * t;
        float a = angle + droop * t;
        return V2{base.x + std::cos(angle) * d * 0.5f + std::cos(a) * d * 0.5f,
                  base.y + std::sin(angle) * d * 0.5f + std::sin(a) * d * 0.5f};
    };
    std::vector<V2> left, right, rib;
    for (int i = 0; i <= steps; ++i) {
        float t = static_cast<float>(i) / steps;
        V2 p = spine(t), q = spine(std::min(t + 0.02f, 1.0f)), r = spine(std::max(t - 0.02f, 0.0f));
        float dx = q.x - r.x, dy = q.y - r.y, l = std::max(std::hypot(dx, dy), 1e-4f);
        float bt = Clamp01((t - stalk) / (1 - stalk));
        float hw = t < stalk ? 1.2f : width * 0.5f * std::pow(std::max(0.0f, std::sin(Pi * bt)), 0.75f) + 0.6f;
        left.push_back({p.x - dy / l * hw, p.y + dx / l * hw});
        right.push_back({p.x + dy / l * hw, p.y - dx / l * hw});
        rib.push_back(p);
    }
    std::vector<V2> outline = left;
    outline.insert(outline.end(), right.rbegin(), right.rend());
    Wrapped(CW, [&](float ox) {
        std::vector<V2> o = outline, m = rib;
        for (V2& q : o) q.x += ox;
        for (V2& q : m) q.x += ox;
        FillPolygon(layer, o, colour);
        StrokePolyline(layer, m, std::max(1.2f, width * 0.08f), Shade(colour, 1.3f));
    });
}

// Sword plant: a rosette of long leaves on stalks.
void Rosette(Image& layer, V2 base, float size, Color colour, Rng& rng) {
    const int n = 9 + static_cast<int>(rng.Below(6));
    for (int i = 0; i < n; ++i) {
        float t = (static_cast<float>(i) + rng.Unit()) / static_cast<float>(n);
        float ang = -Pi / 2 + (t - 0.5f) * 2.3f;
        float len = size * rng.Range(0.65f, 1.0f) * (1 - 0.35f * std::fabs(t - 0.5f));
        float droop = (t - 0.5f) * rng.Range(0.5f, 1.2f);
        Leaf(layer, base, ang, len, len * rng.Range(0.2f, 0.28f), droop, 0.3f, Shade(colour, rng.Range(0.75f, 1.15f)));
    }
}

// Stem plant: a stem with pairs of small leaves, denser and lighter at the top.
void StemPlant(Image& layer, V2 base, float height, Color leaf, Color top, Rng& rng) {
    float bend = rng.Range(-0.12f, 0.12f);
    std::vector<V2> stem;
    const int steps = 20;
    for (int i = 0; i <= steps; ++i) {
        float t = static_cast<float>(i) / steps;
        stem.push_back({base.x + bend * height * t * t, base.y - height * t});
    }
    Wrapped(CW, [&](float ox) {
        std::vector<V2> m = stem;
        for (V2& q : m) q.x += ox;
        StrokePolyline(layer, m, 3.0f, Shade(leaf, 0.6f));
    });
    float t = 0.08f;
    int node = 0;
    while (t < 1.0f) {
        V2 p{base.x + bend * height * t * t, base.y - height * t};
        float leafLen = height * (0.07f + 0.05f * (1 - t)) * rng.Range(0.85f, 1.15f);
        Color c = Mix(leaf, top, Smoothstep(0.4f, 1.0f, t));
        for (int side = -1; side <= 1; side += 2) {
            float ang = -Pi / 2 + static_cast<float>(side) * rng.Range(0.7f, 1.2f) + (node % 2 ? 0.15f : -0.15f);
            Leaf(layer, p, ang, leafLen, leafLen * 0.38f, static_cast<float>(side) * 0.3f, 0.1f,
                 Shade(c, rng.Range(0.85f, 1.15f)));
        }
        t += 0.035f + 0.04f * (1 - t);
        ++node;
    }
}

// Gnarled root or branch, forking; dark rim, bark body, a light upper edge.
void Root(std::vector<Segment>& out, V2 p, float heading, float length, float width, int depth, Rng& rng) {
    const int steps = 10;
    for (int i = 0; i < steps; ++i) {
        heading += rng.Gauss() * 0.16f;
        float l = length / steps;
        V2 q{p.x + std::cos(heading) * l, p.y + std::sin(heading) * l};
        float w = width * (1 - 0.55f * static_cast<float>(i) / steps);
        out.push_back({p, q, w, depth, i == steps - 1});
        p = q;
        if (depth < 3 && i > 1 && rng.Unit() < 0.22f) {
            float side = rng.Unit() < 0.5f ? -1.0f : 1.0f;
            Root(out, p, heading + side * rng.Range(0.4f, 1.0f), length * rng.Range(0.35f, 0.6f), w * 0.6f, depth + 1, rng);
        }
    }
}

void DrawRoots(Image& layer, const std::vector<Segment>& segs, Color bark) {
    Wrapped(CW, [&](float ox) {
        for (const Segment& g : segs)
            StrokeSegment(layer, {g.A.x + ox, g.A.y}, {g.B.x + ox, g.B.y}, g.Width + 3, Shade(bark, 0.35f));
        for (const Segment& g : segs) StrokeSegment(layer, {g.A.x + ox, g.A.y}, {g.B.x + ox, g.B.y}, g.Width, bark);
        for (const Segment& g : segs) {
            if (g.Width < 4) continue;
            float off = g.Width * 0.22f;
            StrokeSegment(layer, {g.A.x + ox, g.A.y - off}, {g.B.x + ox, g.B.y - off}, g.Width * 0.3f,
                          Shade(bark, 1.45f));
            StrokeSegment(layer, {g.A.x + ox, g.A.y + off}, {g.B.x + ox, g.B.y + off}, g.Width * 0.25f,
                          Shade(bark, 0.7f));
        }
    });
}

// A rounded stone half sunk in the ground, lit from above.
void Boulder(Image& layer, const Context& c, float cx, float baseY, float rx, float ry, Color colour) {
    const float cy = baseY - ry * 0.55f;
    Wrapped(CW, [&](float ox) {
        float x0 = cx + ox;
        int xa = std::max(0, static_cast<int>(x0 - rx - 2)), xb = std::min(CW, static_cast<int>(x0 + rx + 3));
        int ya = std::max(0, static_cast<int>(cy - ry - 2)), yb = std::min(CH, static_cast<int>(baseY + 2));
        for (int y = ya; y < yb; ++y)
            for (int x = xa; x < xb; ++x) {
                float u = (static_cast<float>(x) + 0.5f - x0) / rx, v = (static_cast<float>(y) + 0.5f - cy) / ry;
                float q = std::sqrt(u * u + v * v);
                float cover = Clamp01((1 - q) * std::min(rx, ry) + 0.5f) * Clamp01(baseY - static_cast<float>(y) + 0.5f);
                if (cover <= 0) continue;
                float z = std::sqrt(std::max(0.0f, 1 - q * q));
                float light = 0.35f + 0.5f * z - 0.45f * v * (0.5f + 0.5f * z) - 0.15f * u;
                float n = c.Noise.At(static_cast<float>(x) * 2, static_cast<float>(y) * 2, 8);
                Color col = Shade(colour, std::clamp(light, 0.3f, 1.2f) * (0.85f + 0.3f * n));
                col.a = 1;
                BlendOver(layer.At(x, y), col, cover);
            }
    });
}

// A low carpet of tiny leaves along the ground.
void Carpet(Image& layer, const std::vector<float>& ground, const std::function<float(float)>& density, float thickness,
            Color colour, Rng& rng) {
    int n = static_cast<int>(static_cast<float>(CW) * thickness / 18);
    for (int i = 0; i < n; ++i) {
        float x = rng.Range(0, static_cast<float>(CW));
        if (rng.Unit() > density(x)) continue;
        float baseY = ground[static_cast<size_t>(std::min(static_cast<int>(x), CW - 1))] + 8;
        float y = baseY - rng.Unit() * thickness;
        float r = rng.Range(3.0f, 5.5f);
        Color c = Shade(colour, 0.7f + 0.5f * Clamp01((baseY - y) / thickness) + rng.Range(-0.1f, 0.1f));
        float angle = rng.Range(0, Pi);
        Wrapped(CW, [&](float ox) { FillEllipse(layer, x + ox, y, r * 1.3f, r, angle, c); });
    }
}

// Thin grass blades or reeds.
void Blades(Image& layer, float cx, float baseY, float height, int count, Color colour, Rng& rng) {
    for (int i = 0; i < count; ++i) {
        float x = cx + rng.Range(-0.2f, 0.2f) * height;
        float lean = rng.Range(-0.35f, 0.35f), h = height * rng.Range(0.6f, 1.0f), w = rng.Range(3.0f, 5.0f);
        Color c = Shade(colour, rng.Range(0.75f, 1.2f));
        std::vector<V2> poly;
        for (int k = 0; k <= 8; ++k) {
            float t = static_cast<float>(k) / 8;
            poly.push_back({x + lean * h * t * t - w * 0.5f * (1 - t), baseY - h * t});
        }
        for (int k = 8; k >= 0; --k) {
            float t = static_cast<float>(k) / 8;
            poly.push_back({x + lean * h * t * t + w * 0.5f * (1 - t), baseY - h * t});
        }
        Wrapped(CW, [&](float ox) {
            std::vector<V2> o = poly;
            for (V2& q : o) q.x += ox;
            FillPolygon(layer, o, c);
        });
    }
}

// Positions spread evenly around the width, jittered.
std::vector<float> Spread(int n, Rng& rng, float jitter = 0.8f) {
    std::vector<float> xs;
    for (int i = 0; i < n; ++i)
        xs.push_back((static_cast<float>(i) + 0.5f + rng.Range(-0.5f, 0.5f) * jitter) * static_cast<float>(CW) /
                     static_cast<float>(n));
    return xs;
}

// Reef heads and plant groups: objects gather around a few centres, with
// open ground between them.
struct Clusters {
    std::vector<float> Centres;
    float Width;
    float Profile(float x) const {
        float p = 0;
        for (float cx : Centres) {
            float d = x - cx;
            d -= std::round(d / CW) * CW;  // wrapped
            p = std::max(p, std::exp(-(d * d) / (Width * Width)));
        }
        return p;
    }
    float Pick(Rng& rng) const {
        float x = Centres[rng.Below(static_cast<uint32_t>(Centres.size()))] + rng.Gauss() * Width * 0.55f;
        x = std::fmod(x, static_cast<float>(CW));
        return x < 0 ? x + CW : x;
    }
};

Clusters MakeClusters(int count, float width, Rng& rng) {
    Clusters c;
    c.Width = width;
    for (float x : Spread(count, rng, 0.7f)) c.Centres.push_back(x);
    return c;
}

// A skyline rising over the clusters.
std::vector<float> ClusterSkyline(const Clusters& cl, float base, float amplitude, float floor, uint32_t seed) {
    auto noise = Skyline(0, 1, 11, seed);
    std::vector<float> top(CW);
    for (int x = 0; x < CW; ++x) {
        float p = cl.Profile(static_cast<float>(x));
        float n = -noise[static_cast<size_t>(x)];
        top[static_cast<size_t>(x)] = base - amplitude * (floor + (1 - floor) * Smoothstep(0.0f, 1.0f, p)) * (0.6f + 0.6f * n);
    }
    return top;
}

// Where a skyline stands at x (wrapped).
float TopAt(const std::vector<float>& top, float x) {
    int i = static_cast<int>(std::floor(x)) % CW;
    if (i < 0) i += CW;
    return top[static_cast<size_t>(i)];
}

// One layer of reef: rock, then corals standing on it.
struct ReefLayer {
    float Base, Amplitude;
    float Size;  // object scale, 1 for the nearest layer
    float Haze;
    int Corals, Fans, Domes, Anemones, Tubes, Whips;
};

void PaintReefLayer(Image& layer, const Context& c, const ReefLayer& L, uint64_t seed, bool deep) {
    Rng rng(seed);
    const float s = L.Size * 1.7f;
    // The nearest heads stand apart on open sand; farther ones merge.
    const bool apart = L.Size >= 1 && !deep;
    Clusters cl = MakeClusters(deep ? 4 : apart ? 4 : 5, s * (deep ? 170.0f : apart ? 95.0f : 150.0f), rng);
    auto top = ClusterSkyline(cl, L.Base, L.Amplitude, deep ? 0.3f : L.Size >= 1 ? 0.0f : 0.12f, static_cast<uint32_t>(seed));
    const Color rockA = deep ? Rgb(0x4A5266) : Rgb(0x8C7A6E), rockB = deep ? Rgb(0x6E6A78) : Rgb(0xB4A08C);
    const Color coralline = deep ? Rgb(0x7A4E78) : Rgb(0xC87890);
    const bool nearest = L.Size >= 1;
    Mass(layer, c, top, rockA, rockB, coralline, 0.6f, 2, nearest && !deep ? L.Base : 1e9f,
         nearest || deep ? 1e9f : L.Base + 6);
    auto place = [&](int n) {
        std::vector<float> xs;
        for (int i = 0; i < n; ++i) xs.push_back(cl.Pick(rng));
        return xs;
    };
    // Colours: saturated, because light and caustic multiply them.
    const Color branchBase[] = {Rgb(0x8A4FB0), Rgb(0xD07A3A), Rgb(0xC0B050), Rgb(0x5A8AD0), Rgb(0xD05A7A)};
    const Color branchTip[] = {Rgb(0xE0B0FF), Rgb(0xFFD090), Rgb(0xF0F0A0), Rgb(0xB0E0FF), Rgb(0xFFB0C8)};
    const Color fanCol[] = {Rgb(0xD03A30), Rgb(0xE08A20), Rgb(0x9A3AB0), deep ? Rgb(0xB04060) : Rgb(0xE0C040)};
    const Color domeCol[] = {Rgb(0xC8A040), Rgb(0x7AA050), Rgb(0xD07850), Rgb(0xA070B0)};
    for (float x : place(L.Fans)) {
        float h = s * rng.Range(200, 320) * (deep ? 1.35f : 1.0f);
        auto segs = SeaFan({x, TopAt(top, x) + 6}, h, h * rng.Range(1.1f, 1.5f), rng, 1500);
        int k = static_cast<int>(rng.Below(4));
        DrawFan(layer, segs, fanCol[k], Shade(fanCol[k], deep ? 1.15f : 1.4f), s);
    }
    for (float x : place(L.Whips)) Whips(layer, x, TopAt(top, x) + 4, s * rng.Range(160, 260), fanCol[rng.Below(4)], rng);
    for (float x : place(L.Corals)) {
        int k = static_cast<int>(rng.Below(5));
        float h = s * rng.Range(110, 190);
        auto segs = Branching({x, TopAt(top, x) + 8}, h, 4 + static_cast<int>(rng.Below(2)), rng.Range(20, 26),
                              s * rng.Range(13, 18), 0.7f, 0.06f, rng);
        DrawBranches(layer, segs, branchBase[k], branchTip[k], 2.5f);
    }
    for (float x : place(L.Tubes))
        Tubes(layer, x, TopAt(top, x) + 6, s * rng.Range(110, 170),
              deep ? Rgb(0x7A4AA0) : (rng.Unit() < 0.5f ? Rgb(0xC05AC0) : Rgb(0xE09A30)), rng);
    for (float x : place(L.Domes)) {
        float rx = s * rng.Range(50, 95);
        int k = static_cast<int>(rng.Below(4));
        Dome(layer, c, x, TopAt(top, x) + rx * 0.25f, rx, rx * rng.Range(0.6f, 0.8f), domeCol[k], Shade(domeCol[k], 0.55f),
             0.8f);
    }
    for (float x : place(L.Anemones)) {
        bool pink = rng.Unit() < 0.65f;
        Anemone(layer, x, TopAt(top, x) + 6, s * rng.Range(90, 140), pink ? Rgb(0xB0506A) : Rgb(0x6A8A50),
                pink ? Rgb(0xF08AB0) : Rgb(0x9AD070), pink ? Rgb(0xFFE0F0) : Rgb(0xF0A0D0), rng);
    }
    Haze(layer, c, L.Haze);
}

// One layer of fresh water: stones, wood and plants.
struct PlantLayer {
    float Base, Amplitude;
    float Size, Haze;
    int Boulders, Ribbons, Rosettes, Stems, Roots, BladeTufts;
    bool RedStems, Carpet;
};

void PaintPlantLayer(Image& layer, const Context& c, const PlantLayer& L, uint64_t seed) {
    Rng rng(seed);
    const float s = L.Size;
    Clusters cl = MakeClusters(5, s * 200.0f, rng);
    auto top = ClusterSkyline(cl, L.Base, L.Amplitude, 0.25f, static_cast<uint32_t>(seed));
    auto place = [&](int n) {
        std::vector<float> xs;
        for (int i = 0; i < n; ++i) xs.push_back(cl.Pick(rng));
        return xs;
    };
    const WaterMood& w = c.W;
    const Color bank = Divide(Mix(w.Sand, w.SandDark, 0.6f), w.Light);
    Mass(layer, c, top, Shade(bank, 0.8f), bank, Shade(bank, 0.6f), 0.3f, 2);
    const Color greens[] = {Rgb(0x3C8A2A), Rgb(0x5AA030), Rgb(0x2E7038), Rgb(0x78B040), Rgb(0x4A9A5A)};
    const Color stone[] = {Rgb(0x8C8278), Rgb(0x6E6A64), Rgb(0xA0927E), Rgb(0x5E5A54)};
    const Color bark = w.Floor == Bed::LeafLitter ? Rgb(0x4A2E1A) : Rgb(0x6A4A30);
    for (float x : place(L.Roots)) {
        std::vector<Segment> segs;
        float ang = -Pi / 2 + (rng.Unit() < 0.5f ? -1.0f : 1.0f) * rng.Range(0.35f, 1.0f);
        Root(segs, {x, TopAt(top, x) + 10}, ang, s * rng.Range(450, 800), s * rng.Range(30, 48), 0, rng);
        DrawRoots(layer, segs, Shade(bark, rng.Range(0.85f, 1.15f)));
    }
    for (float x : place(L.Ribbons)) {
        int blades = 3 + static_cast<int>(rng.Below(5));
        for (int b = 0; b < blades; ++b) {
            float bx = x + rng.Range(-30, 30) * s;
            Ribbon(layer, {bx, TopAt(top, bx) + 6}, s * rng.Range(260, 520), s * rng.Range(9, 14), rng.Range(-0.5f, 0.5f),
                   greens[rng.Below(5)], rng);
        }
    }
    for (float x : place(L.Stems)) {
        int stems = 3 + static_cast<int>(rng.Below(4));
        bool red = L.RedStems && rng.Unit() < 0.4f;
        Color leaf = red ? Rgb(0xB04A3A) : greens[rng.Below(5)];
        Color tip = red ? Rgb(0xF07A6A) : Shade(leaf, 1.35f);
        for (int k = 0; k < stems; ++k) {
            float bx = x + rng.Range(-25, 25) * s;
            StemPlant(layer, {bx, TopAt(top, bx) + 6}, s * rng.Range(240, 460), leaf, tip, rng);
        }
    }
    for (float x : place(L.Rosettes)) Rosette(layer, {x, TopAt(top, x) + 8}, s * rng.Range(120, 190), greens[rng.Below(5)], rng);
    for (float x : place(L.BladeTufts))
        Blades(layer, x, TopAt(top, x) + 6, s * rng.Range(90, 170), 8, Mix(greens[rng.Below(5)], Rgb(0x9A8A40), 0.3f), rng);
    for (float x : place(L.Boulders)) {
        float rx = s * rng.Range(45, 90);
        Boulder(layer, c, x, TopAt(top, x) + rx * 0.35f, rx, rx * rng.Range(0.55f, 0.8f),
                Shade(stone[rng.Below(4)], rng.Range(0.9f, 1.15f)));
    }
    if (L.Carpet) {
        Carpet(layer, top, [&](float x) { return Smoothstep(0.2f, 0.7f, cl.Profile(x)); }, 16 * s, Rgb(0x5AAA38), rng);
    }
    Haze(layer, c, L.Haze);
}

Image PaintBackground(int water) {
    const WaterMood& w = Waters()[static_cast<size_t>(water)];
    NoiseField noise(512, 256, 16, 8, 4, 0xF0A5u + static_cast<uint32_t>(water) * 131u);
    Context c{water, w, noise};
    const uint64_t seed = 0xBAC6600Dull + static_cast<uint64_t>(water) * 0x9E37ull;
    Image out(CW, CH);
    {
        Image ground(CW, CH);
        Ground(ground, c, 880, static_cast<uint32_t>(seed));
        Over(out, ground);
    }
    if (w.Salt) {
        const bool deep = w.Floor == Bed::RockySand;
        const bool lagoon = w.Floor == Bed::LagoonSand;
        std::vector<ReefLayer> layers;
        if (deep)
            layers = {{890, 320, 0.5f, 0.86f, 10, 6, 2, 0, 2, 5},
                      {950, 360, 0.72f, 0.66f, 8, 5, 3, 1, 2, 5},
                      {1015, 260, 1.0f, 0.45f, 5, 3, 3, 2, 2, 3}};
        else if (lagoon)
            layers = {{895, 100, 0.5f, 0.8f, 14, 2, 12, 4, 0, 0},
                      {955, 130, 0.72f, 0.58f, 10, 2, 10, 6, 2, 2},
                      {1015, 220, 1.0f, 0.36f, 5, 1, 7, 6, 1, 0}};
        else
            layers = {{890, 160, 0.5f, 0.8f, 16, 4, 6, 2, 2, 2},
                      {955, 200, 0.72f, 0.58f, 12, 4, 6, 3, 3, 3},
                      {1015, 220, 1.0f, 0.36f, 7, 2, 5, 4, 2, 2}};
        for (size_t i = 0; i < layers.size(); ++i) {
            Image layer(CW, CH);
            PaintReefLayer(layer, c, layers[i], seed + i * 7777, deep);
            Over(out, layer);
        }
    } else {
        std::vector<PlantLayer> layers;
        switch (w.Floor) {
        case Bed::Pebbles:  // river: boulders, tape grass, reeds
            layers = {{895, 60, 0.5f, 0.82f, 8, 10, 0, 0, 2, 6, false, false},
                      {955, 80, 0.72f, 0.6f, 7, 8, 2, 0, 1, 4, false, false},
                      {1015, 60, 1.0f, 0.38f, 6, 5, 1, 0, 0, 3, false, false}};
            break;
        case Bed::LeafLitter:  // blackwater: roots and a few plants
            layers = {{895, 60, 0.5f, 0.84f, 2, 3, 0, 0, 6, 2, false, false},
                      {955, 70, 0.72f, 0.62f, 2, 2, 2, 0, 5, 0, false, false},
                      {1015, 60, 1.0f, 0.4f, 3, 0, 2, 0, 3, 2, false, false}};
            break;
        default:  // planted tank: stems, swords, carpets
            layers = {{895, 40, 0.5f, 0.78f, 0, 10, 0, 6, 0, 0, true, false},
                      {955, 50, 0.72f, 0.55f, 3, 4, 3, 7, 1, 2, true, false},
                      {1015, 40, 1.0f, 0.32f, 5, 0, 4, 4, 0, 3, true, true}};
            break;
        }
        for (size_t i = 0; i < layers.size(); ++i) {
            Image layer(CW, CH);
            PaintPlantLayer(layer, c, layers[i], seed + i * 7777);
            Over(out, layer);
        }
    }
    return out;
}

}  // namespace

Color HazeColour(int water, float row, int pictureHeight) {
    const WaterMood& w = Waters()[static_cast<size_t>(water)];
    Color behind = BackdropBehind(w, RowToWorldY(w, row, pictureHeight));
    Color lit{w.Light.r * CausticMean, w.Light.g * CausticMean, w.Light.b * CausticMean, 1};
    return Divide(behind, lit);
}

Image BackgroundPicture(int water) {
    Image img = Downsample(PaintBackground(water), Scale);
    // Spread the edge colours over three copies side by side, so the colour
    // under transparent texels also continues across the wrap.
    const int w = img.Width(), h = img.Height();
    Image wide(3 * w, h);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < 3 * w; ++x) wide.At(x, y) = img.At(x % w, y);
    SpreadColourUnderTransparency(wide);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) img.At(x, y) = wide.At(x + w, y);
    return img;
}

std::string BackgroundMeshName(int water) {
    return "fon" + std::to_string(Waters()[static_cast<size_t>(water)].Fon) + ".3dm";
}

Mesh3dm BackgroundMesh(int water) {
    const WaterMood& w = Waters()[static_cast<size_t>(water)];
    const std::string name = "Fon" + std::to_string(w.Fon);
    Material3dm m;
    m.Name = name;
    m.TwoSided = true;
    m.Opacity = 100;
    m.Ambient = {255, 255, 255};
    m.Diffuse = {255, 255, 255};
    // The scene's texture "FonA.jpg" (diffuse name, "A", extension) carries
    // the picture the water selects from fons.txt.
    m.DiffuseMap = "Fon.jpg";
    m.OpacityMap = "FonA.jpg";
    Object3dm o;
    o.Name = name;
    o.MaterialName = name;
    const float x0 = -PlaneWidth / 2, x1 = PlaneWidth / 2, y0 = w.PlaneBottomY, y1 = w.PlaneBottomY + PlaneHeight;
    // Counter-clockwise seen from the camera.
    o.Vertices = {{x0, y0, w.PlaneZ}, {x1, y0, w.PlaneZ}, {x1, y1, w.PlaneZ}, {x0, y1, w.PlaneZ}};
    o.Normals = {{0, 0, 1}, {0, 0, 1}, {0, 0, 1}, {0, 0, 1}};
    o.TexCoords = {{0, 0}, {1, 0}, {1, 1}, {0, 1}};
    o.Faces = {{1, 2, 3}, {1, 3, 4}};
    o.TexFaces = {{1, 2, 3}, {1, 3, 4}};
    o.FaceMaterialIds = {1, 1};
    Mesh3dm mesh;
    mesh.MaterialName = name;
    mesh.Standard = m;
    mesh.Objects.push_back(o);
    return mesh;
}

void GenerateBackgrounds(ContentSink& sink) {
    const int n = static_cast<int>(Waters().size());
    std::vector<Image> pictures(static_cast<size_t>(n));
    ParallelFor(n, [&](int i) { pictures[static_cast<size_t>(i)] = BackgroundPicture(i); });
    for (int i = 0; i < n; ++i) {
        const std::string name = BackgroundName(i);
        PutJpeg(sink, name, pictures[static_cast<size_t>(i)], 0x300u + static_cast<uint32_t>(i));
        PutAlphaJpeg(sink, AlphaPictureName(name), pictures[static_cast<size_t>(i)], 0x310u + static_cast<uint32_t>(i));
        PutText(sink, BackgroundMeshName(i), Write3dm(BackgroundMesh(i)));
    }
}

}  // namespace cg
