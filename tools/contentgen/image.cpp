#include "image.h"

#include "rng.h"

#include <algorithm>
#include <cmath>

namespace cg {

Color Gradient(const std::vector<Color>& stops, float t) {
    if (stops.empty()) return {};
    if (stops.size() == 1) return stops[0];
    float x = Clamp01(t) * static_cast<float>(stops.size() - 1);
    size_t i = std::min(static_cast<size_t>(x), stops.size() - 2);
    return Mix(stops[i], stops[i + 1], x - static_cast<float>(i));
}

Image::Image(int width, int height, Color fill)
    : Pixels(static_cast<size_t>(std::max(width, 0)) * std::max(height, 0), fill),
      W(std::max(width, 0)),
      H(std::max(height, 0)) {}

static int Wrap(int v, int n) {
    int m = v % n;
    return m < 0 ? m + n : m;
}

const Color& Image::AtWrap(int x, int y) const { return At(Wrap(x, W), Wrap(y, H)); }

Color Image::Sample(float x, float y, bool wrap) const {
    float fx = x - 0.5f, fy = y - 0.5f;
    int x0 = static_cast<int>(std::floor(fx)), y0 = static_cast<int>(std::floor(fy));
    float tx = fx - static_cast<float>(x0), ty = fy - static_cast<float>(y0);
    auto get = [&](int px, int py) -> const Color& {
        if (wrap) return AtWrap(px, py);
        return At(std::clamp(px, 0, W - 1), std::clamp(py, 0, H - 1));
    };
    Color top = Mix(get(x0, y0), get(x0 + 1, y0), tx);
    Color bottom = Mix(get(x0, y0 + 1), get(x0 + 1, y0 + 1), tx);
    return Mix(top, bottom, ty);
}

void Image::Fill(Color c) { std::fill(Pixels.begin(), Pixels.end(), c); }

Mask::Mask(int width, int height, float fill)
    : Values(static_cast<size_t>(std::max(width, 0)) * std::max(height, 0), fill),
      W(std::max(width, 0)),
      H(std::max(height, 0)) {}

float Mask::Get(int x, int y) const {
    if (x < 0 || y < 0 || x >= W || y >= H) return 0;
    return At(x, y);
}

namespace {

// Adds weight times the covered part of [x0, x1] to each pixel of a row.
void AddSpan(std::vector<float>& row, float x0, float x1, float weight) {
    const float w = static_cast<float>(row.size());
    x0 = std::clamp(x0, 0.0f, w);
    x1 = std::clamp(x1, 0.0f, w);
    if (x1 <= x0) return;
    int i0 = static_cast<int>(x0), i1 = static_cast<int>(x1);
    if (i0 == i1) {
        row[i0] += (x1 - x0) * weight;
        return;
    }
    row[i0] += (static_cast<float>(i0 + 1) - x0) * weight;
    for (int i = i0 + 1; i < i1; ++i) row[i] += weight;
    if (i1 < static_cast<int>(row.size())) row[i1] += (x1 - static_cast<float>(i1)) * weight;
}

}  // namespace

Mask PolygonCoverage(int width, int height, const std::vector<V2>& polygon) {
    Mask mask(width, height);
    const size_t n = polygon.size();
    if (n < 3 || width <= 0 || height <= 0) return mask;
    // Edges listed under every row they touch.
    std::vector<std::vector<int>> rows(static_cast<size_t>(height));
    for (size_t i = 0; i < n; ++i) {
        const V2& a = polygon[i];
        const V2& b = polygon[(i + 1) % n];
        if (a.y == b.y) continue;
        float lo = std::min(a.y, b.y), hi = std::max(a.y, b.y);
        int r0 = std::max(0, static_cast<int>(std::floor(lo)));
        int r1 = std::min(height - 1, static_cast<int>(std::floor(hi)));
        for (int r = r0; r <= r1; ++r) rows[r].push_back(static_cast<int>(i));
    }
    constexpr int Sub = 5;
    std::vector<float> acc(static_cast<size_t>(width));
    std::vector<float> xs;
    for (int y = 0; y < height; ++y) {
        if (rows[y].empty()) continue;
        std::fill(acc.begin(), acc.end(), 0.0f);
        for (int k = 0; k < Sub; ++k) {
            float yy = static_cast<float>(y) + (static_cast<float>(k) + 0.5f) / Sub;
            xs.clear();
            for (int ei : rows[y]) {
                const V2& a = polygon[ei];
                const V2& b = polygon[(ei + 1) % n];
                bool crosses = (a.y <= yy && yy < b.y) || (b.y <= yy && yy < a.y);
                if (!crosses) continue;
                xs.push_back(a.x + (yy - a.y) * (b.x - a.x) / (b.y - a.y));
            }
            std::sort(xs.begin(), xs.end());
            for (size_t j = 0; j + 1 < xs.size(); j += 2) AddSpan(acc, xs[j], xs[j + 1], 1.0f / Sub);
        }
        for (int x = 0; x < width; ++x) mask.At(x, y) = std::min(1.0f, acc[x]);
    }
    return mask;
}

void AddCoverage(Mask& mask, const Mask& other) {
    for (size_t i = 0; i < mask.Values.size() && i < other.Values.size(); ++i)
        mask.Values[i] = std::max(mask.Values[i], other.Values[i]);
}

namespace {

// One-dimensional squared distance transform (Felzenszwalb and Huttenlocher).
// "No target" is a large finite value so the envelope arithmetic stays finite.
constexpr double FarAway = 1e20;

void Edt1D(const double* f, double* d, int n, std::vector<int>& v, std::vector<double>& z) {
    v.assign(static_cast<size_t>(n), 0);
    z.assign(static_cast<size_t>(n) + 1, 0);
    int k = 0;
    v[0] = 0;
    z[0] = -1e300;
    z[1] = 1e300;
    for (int q = 1; q < n; ++q) {
        double s;
        while (true) {
            int p = v[k];
            s = ((f[q] + static_cast<double>(q) * q) - (f[p] + static_cast<double>(p) * p)) / (2.0 * (q - p));
            if (s <= z[k] && k > 0) {
                --k;
                continue;
            }
            break;
        }
        if (s <= z[k]) {
            v[k] = q;  // k == 0: the new parabola is lower everywhere
            z[k + 1] = 1e300;
            continue;
        }
        ++k;
        v[k] = q;
        z[k] = s;
        z[k + 1] = 1e300;
    }
    k = 0;
    for (int q = 0; q < n; ++q) {
        while (z[k + 1] < static_cast<double>(q)) ++k;
        double diff = static_cast<double>(q - v[k]);
        d[q] = diff * diff + f[v[k]];
    }
}

// Squared distance from every pixel to the nearest pixel where target holds:
// rows, then rows of the transposed result (cache friendly).
std::vector<double> SquaredDistanceTo(const Mask& m, bool inside) {
    const int w = m.Width(), h = m.Height();
    std::vector<double> g(static_cast<size_t>(w) * h);
    for (size_t i = 0; i < g.size(); ++i) g[i] = ((m.Values[i] >= 0.5f) == inside) ? 0.0 : FarAway;
    std::vector<int> v;
    std::vector<double> z;
    std::vector<double> out(static_cast<size_t>(std::max(w, h)));
    for (int y = 0; y < h; ++y) {
        double* row = &g[static_cast<size_t>(y) * w];
        Edt1D(row, out.data(), w, v, z);
        std::copy(out.begin(), out.begin() + w, row);
    }
    std::vector<double> t(g.size());
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) t[static_cast<size_t>(x) * h + y] = g[static_cast<size_t>(y) * w + x];
    for (int x = 0; x < w; ++x) {
        double* col = &t[static_cast<size_t>(x) * h];
        Edt1D(col, out.data(), h, v, z);
        std::copy(out.begin(), out.begin() + h, col);
    }
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) g[static_cast<size_t>(y) * w + x] = t[static_cast<size_t>(x) * h + y];
    return g;
}

}  // namespace

Mask SignedDistance(const Mask& mask) {
    Mask out(mask.Width(), mask.Height());
    if (mask.Values.empty()) return out;
    std::vector<double> toOutside = SquaredDistanceTo(mask, false);
    std::vector<double> toInside = SquaredDistanceTo(mask, true);
    const float big = static_cast<float>(mask.Width() + mask.Height());
    for (size_t i = 0; i < out.Values.size(); ++i) {
        if (mask.Values[i] >= 0.5f) {
            double d = toOutside[i];
            out.Values[i] = d < FarAway * 0.5 ? static_cast<float>(std::sqrt(d)) - 0.5f : big;
        } else {
            double d = toInside[i];
            out.Values[i] = d < FarAway * 0.5 ? -(static_cast<float>(std::sqrt(d)) - 0.5f) : -big;
        }
    }
    return out;
}

Mask Grow(const Mask& mask, float r) {
    Mask d = SignedDistance(mask);
    Mask out(mask.Width(), mask.Height());
    for (size_t i = 0; i < out.Values.size(); ++i)
        out.Values[i] = std::max(mask.Values[i], Clamp01(d.Values[i] + r + 0.5f));
    return out;
}

void BlendOver(Color& dst, Color c, float k) {
    float a = Clamp01(c.a * k);
    if (a <= 0) return;
    float outA = a + dst.a * (1 - a);
    if (outA <= 0) return;
    dst.r = (c.r * a + dst.r * dst.a * (1 - a)) / outA;
    dst.g = (c.g * a + dst.g * dst.a * (1 - a)) / outA;
    dst.b = (c.b * a + dst.b * dst.a * (1 - a)) / outA;
    dst.a = outA;
}

namespace {

struct Box {
    int x0, y0, x1, y1;  // inclusive-exclusive
};

Box ClipBox(const Image& img, float minx, float miny, float maxx, float maxy) {
    Box b{static_cast<int>(std::floor(minx)) - 1, static_cast<int>(std::floor(miny)) - 1,
          static_cast<int>(std::ceil(maxx)) + 1, static_cast<int>(std::ceil(maxy)) + 1};
    b.x0 = std::max(b.x0, 0);
    b.y0 = std::max(b.y0, 0);
    b.x1 = std::min(b.x1, img.Width());
    b.y1 = std::min(b.y1, img.Height());
    return b;
}

float ClipAt(const Mask* clip, int x, int y) { return clip ? clip->Get(x, y) : 1.0f; }

float SegmentDistance(V2 p, V2 a, V2 b) {
    float dx = b.x - a.x, dy = b.y - a.y;
    float len2 = dx * dx + dy * dy;
    float t = len2 > 0 ? Clamp01(((p.x - a.x) * dx + (p.y - a.y) * dy) / len2) : 0.0f;
    float ex = p.x - (a.x + t * dx), ey = p.y - (a.y + t * dy);
    return std::sqrt(ex * ex + ey * ey);
}

}  // namespace

void FillDisc(Image& img, float cx, float cy, float r, Color c, const Mask* clip) {
    Box b = ClipBox(img, cx - r, cy - r, cx + r, cy + r);
    for (int y = b.y0; y < b.y1; ++y)
        for (int x = b.x0; x < b.x1; ++x) {
            float dx = static_cast<float>(x) + 0.5f - cx, dy = static_cast<float>(y) + 0.5f - cy;
            float cov = Clamp01(r - std::sqrt(dx * dx + dy * dy) + 0.5f);
            if (cov > 0) BlendOver(img.At(x, y), c, cov * ClipAt(clip, x, y));
        }
}

void FillEllipse(Image& img, float cx, float cy, float rx, float ry, float angle, Color c, const Mask* clip) {
    if (rx <= 0 || ry <= 0) return;
    float rmax = std::max(rx, ry);
    float ca = std::cos(angle), sa = std::sin(angle);
    Box b = ClipBox(img, cx - rmax, cy - rmax, cx + rmax, cy + rmax);
    for (int y = b.y0; y < b.y1; ++y)
        for (int x = b.x0; x < b.x1; ++x) {
            float dx = static_cast<float>(x) + 0.5f - cx, dy = static_cast<float>(y) + 0.5f - cy;
            float u = dx * ca + dy * sa, v = -dx * sa + dy * ca;
            float qu = u / rx, qv = v / ry;
            float f = std::sqrt(qu * qu + qv * qv);
            float gu = u / (rx * rx), gv = v / (ry * ry);
            float g = std::sqrt(gu * gu + gv * gv);
            float dist = g > 0 ? (f - 1) * f / g : -rmax;
            float cov = Clamp01(0.5f - dist);
            if (cov > 0) BlendOver(img.At(x, y), c, cov * ClipAt(clip, x, y));
        }
}

void StrokeSegment(Image& img, V2 a, V2 b, float width, Color c, const Mask* clip) {
    StrokePolyline(img, {a, b}, width, c, clip);
}

void StrokePolyline(Image& img, const std::vector<V2>& points, float width, Color c, const Mask* clip) {
    if (points.empty()) return;
    float hw = width * 0.5f;
    float minx = points[0].x, maxx = minx, miny = points[0].y, maxy = miny;
    for (const V2& p : points) {
        minx = std::min(minx, p.x);
        maxx = std::max(maxx, p.x);
        miny = std::min(miny, p.y);
        maxy = std::max(maxy, p.y);
    }
    Box b = ClipBox(img, minx - hw, miny - hw, maxx + hw, maxy + hw);
    if (b.x1 <= b.x0 || b.y1 <= b.y0) return;
    const int bw = b.x1 - b.x0;
    std::vector<float> cov(static_cast<size_t>(bw) * (b.y1 - b.y0), 0.0f);
    for (size_t i = 0; i < points.size(); ++i) {
        V2 p = points[i], q = points[std::min(i + 1, points.size() - 1)];
        Box sb = ClipBox(img, std::min(p.x, q.x) - hw, std::min(p.y, q.y) - hw, std::max(p.x, q.x) + hw,
                         std::max(p.y, q.y) + hw);
        for (int y = std::max(sb.y0, b.y0); y < std::min(sb.y1, b.y1); ++y)
            for (int x = std::max(sb.x0, b.x0); x < std::min(sb.x1, b.x1); ++x) {
                float d = SegmentDistance({static_cast<float>(x) + 0.5f, static_cast<float>(y) + 0.5f}, p, q);
                // Thin lines keep their weight as fainter coverage.
                float k = width < 1 ? width * Clamp01(1.0f - d) : Clamp01(hw - d + 0.5f);
                float& cell = cov[static_cast<size_t>(y - b.y0) * bw + (x - b.x0)];
                cell = std::max(cell, k);
            }
    }
    for (int y = b.y0; y < b.y1; ++y)
        for (int x = b.x0; x < b.x1; ++x) {
            float k = cov[static_cast<size_t>(y - b.y0) * bw + (x - b.x0)];
            if (k > 0) BlendOver(img.At(x, y), c, k * ClipAt(clip, x, y));
        }
}

void FillPolygon(Image& img, const std::vector<V2>& polygon, Color c, const Mask* clip) {
    if (polygon.size() < 3) return;
    float minx = polygon[0].x, maxx = minx, miny = polygon[0].y, maxy = miny;
    for (const V2& p : polygon) {
        minx = std::min(minx, p.x);
        maxx = std::max(maxx, p.x);
        miny = std::min(miny, p.y);
        maxy = std::max(maxy, p.y);
    }
    Box b = ClipBox(img, minx, miny, maxx, maxy);
    if (b.x1 <= b.x0 || b.y1 <= b.y0) return;
    std::vector<V2> local(polygon);
    for (V2& p : local) {
        p.x -= static_cast<float>(b.x0);
        p.y -= static_cast<float>(b.y0);
    }
    Mask m = PolygonCoverage(b.x1 - b.x0, b.y1 - b.y0, local);
    for (int y = b.y0; y < b.y1; ++y)
        for (int x = b.x0; x < b.x1; ++x) {
            float k = m.At(x - b.x0, y - b.y0);
            if (k > 0) BlendOver(img.At(x, y), c, k * ClipAt(clip, x, y));
        }
}

Image Downsample(const Image& src, int factor) {
    if (factor <= 1) return src;
    Image out(src.Width() / factor, src.Height() / factor);
    const float n = static_cast<float>(factor * factor);
    for (int y = 0; y < out.Height(); ++y)
        for (int x = 0; x < out.Width(); ++x) {
            float r = 0, g = 0, b = 0, a = 0, pr = 0, pg = 0, pb = 0;
            for (int j = 0; j < factor; ++j)
                for (int i = 0; i < factor; ++i) {
                    const Color& c = src.At(x * factor + i, y * factor + j);
                    r += c.r * c.a;
                    g += c.g * c.a;
                    b += c.b * c.a;
                    a += c.a;
                    pr += c.r;
                    pg += c.g;
                    pb += c.b;
                }
            Color& o = out.At(x, y);
            if (a > 1e-6f)
                o = {r / a, g / a, b / a, a / n};
            else
                o = {pr / n, pg / n, pb / n, 0};
        }
    return out;
}

namespace {

// Box blur of the colour channels with the given radius, edges clamped.
void BoxBlurColour(Image& img, int radius) {
    const int w = img.Width(), h = img.Height();
    std::vector<Color> line(static_cast<size_t>(std::max(w, h)));
    auto pass = [&](int count, int length, auto at) {
        for (int i = 0; i < count; ++i) {
            float r = 0, g = 0, b = 0;
            const float n = static_cast<float>(2 * radius + 1);
            for (int k = -radius; k <= radius; ++k) {
                const Color& c = at(i, std::clamp(k, 0, length - 1));
                r += c.r;
                g += c.g;
                b += c.b;
            }
            for (int j = 0; j < length; ++j) {
                line[j] = {r / n, g / n, b / n, 0};
                const Color& add = at(i, std::min(j + radius + 1, length - 1));
                const Color& sub = at(i, std::max(j - radius, 0));
                r += add.r - sub.r;
                g += add.g - sub.g;
                b += add.b - sub.b;
            }
            for (int j = 0; j < length; ++j) {
                Color& c = at(i, j);
                c = {line[j].r, line[j].g, line[j].b, c.a};
            }
        }
    };
    pass(h, w, [&](int y, int x) -> Color& { return img.At(x, y); });
    pass(w, h, [&](int x, int y) -> Color& { return img.At(x, y); });
}

}  // namespace

void SpreadColourUnderTransparency(Image& img, float threshold) {
    const int w = img.Width(), h = img.Height();
    if (w == 0 || h == 0) return;
    // 1 for texels that have a colour; rings of empty texels are filled one
    // at a time from their filled neighbours, and remember their ring.
    std::vector<uint8_t> filled(static_cast<size_t>(w) * h, 0);
    std::vector<int> ringOf(filled.size(), 0);
    std::vector<int> ring, next;
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            if (img.At(x, y).a >= threshold) filled[static_cast<size_t>(y) * w + x] = 1;
    auto touches = [&](int x, int y) {
        for (int dy = -1; dy <= 1; ++dy)
            for (int dx = -1; dx <= 1; ++dx) {
                int nx = x + dx, ny = y + dy;
                if (nx >= 0 && ny >= 0 && nx < w && ny < h && filled[static_cast<size_t>(ny) * w + nx] == 1)
                    return true;
            }
        return false;
    };
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            if (!filled[static_cast<size_t>(y) * w + x] && touches(x, y)) ring.push_back(y * w + x);
    if (ring.empty()) return;  // all transparent or all opaque
    std::vector<uint8_t> queued(filled);
    for (int i : ring) queued[i] = 1;
    int ringNumber = 0, farthest = 0;
    while (!ring.empty()) {
        ++ringNumber;
        std::vector<Color> colours(ring.size());
        for (size_t k = 0; k < ring.size(); ++k) {
            int x = ring[k] % w, y = ring[k] / w;
            float r = 0, g = 0, b = 0, wsum = 0;
            for (int dy = -1; dy <= 1; ++dy)
                for (int dx = -1; dx <= 1; ++dx) {
                    int nx = x + dx, ny = y + dy;
                    if (nx < 0 || ny < 0 || nx >= w || ny >= h) continue;
                    if (filled[static_cast<size_t>(ny) * w + nx] != 1) continue;
                    float wt = (dx == 0 || dy == 0) ? 1.0f : 0.7f;
                    const Color& c = img.At(nx, ny);
                    r += c.r * wt;
                    g += c.g * wt;
                    b += c.b * wt;
                    wsum += wt;
                }
            colours[k] = {r / wsum, g / wsum, b / wsum, 0};
        }
        next.clear();
        for (size_t k = 0; k < ring.size(); ++k) {
            Color& c = img.Pixels[ring[k]];
            c = {colours[k].r, colours[k].g, colours[k].b, c.a};
            filled[ring[k]] = 1;
            ringOf[ring[k]] = ringNumber;
        }
        farthest = ringNumber;
        for (int i : ring) {
            int x = i % w, y = i / w;
            for (int dy = -1; dy <= 1; ++dy)
                for (int dx = -1; dx <= 1; ++dx) {
                    int nx = x + dx, ny = y + dy;
                    if (nx < 0 || ny < 0 || nx >= w || ny >= h) continue;
                    size_t j = static_cast<size_t>(ny) * w + nx;
                    if (queued[j]) continue;
                    queued[j] = 1;
                    next.push_back(static_cast<int>(j));
                }
        }
        std::sort(next.begin(), next.end());
        ring.swap(next);
    }
    // Far from any edge the spread colours form streaks that only cost
    // compressed size; smooth them, keeping the rings a filter can reach.
    constexpr int Keep = 3;
    if (farthest <= Keep) return;
    Image blurred = img;
    BoxBlurColour(blurred, 6);
    BoxBlurColour(blurred, 6);
    for (size_t i = 0; i < img.Pixels.size(); ++i) {
        if (ringOf[i] <= Keep) continue;
        float t = Clamp01(static_cast<float>(ringOf[i] - Keep) / 4.0f);
        const Color& b = blurred.Pixels[i];
        Color& c = img.Pixels[i];
        c = {Mix(c.r, b.r, t), Mix(c.g, b.g, t), Mix(c.b, b.b, t), c.a};
    }
}

namespace {

float Quintic(float t) { return t * t * t * (t * (t * 6 - 15) + 10); }

float Lattice(int x, int y, int px, int py, uint32_t seed) {
    return HashUnit(Hash2(Wrap(x, px), Wrap(y, py), seed));
}

}  // namespace

float PeriodicValueNoise(float x, float y, int periodX, int periodY, uint32_t seed) {
    periodX = std::max(periodX, 1);
    periodY = std::max(periodY, 1);
    float fx = std::floor(x), fy = std::floor(y);
    int ix = static_cast<int>(fx), iy = static_cast<int>(fy);
    float tx = Quintic(x - fx), ty = Quintic(y - fy);
    float a = Lattice(ix, iy, periodX, periodY, seed);
    float b = Lattice(ix + 1, iy, periodX, periodY, seed);
    float c = Lattice(ix, iy + 1, periodX, periodY, seed);
    float d = Lattice(ix + 1, iy + 1, periodX, periodY, seed);
    return Mix(Mix(a, b, tx), Mix(c, d, tx), ty);
}

float PeriodicFbm(float x, float y, int periodX, int periodY, int octaves, uint32_t seed, float gain) {
    float sum = 0, amp = 1, norm = 0;
    for (int o = 0; o < octaves; ++o) {
        sum += amp * PeriodicValueNoise(x, y, periodX, periodY, seed + static_cast<uint32_t>(o) * 1013u);
        norm += amp;
        amp *= gain;
        x *= 2;
        y *= 2;
        periodX *= 2;
        periodY *= 2;
    }
    return norm > 0 ? sum / norm : 0;
}

void PeriodicWorley(float x, float y, int periodX, int periodY, uint32_t seed, float& f1, float& f2) {
    periodX = std::max(periodX, 1);
    periodY = std::max(periodY, 1);
    int ix = static_cast<int>(std::floor(x)), iy = static_cast<int>(std::floor(y));
    f1 = f2 = 1e9f;
    for (int dy = -1; dy <= 1; ++dy)
        for (int dx = -1; dx <= 1; ++dx) {
            int cx = ix + dx, cy = iy + dy;
            uint32_t h = Hash2(Wrap(cx, periodX), Wrap(cy, periodY), seed);
            float px = static_cast<float>(cx) + HashUnit(h);
            float py = static_cast<float>(cy) + HashUnit(Hash32(h));
            float ex = px - x, ey = py - y;
            float d = std::sqrt(ex * ex + ey * ey);
            if (d < f1) {
                f2 = f1;
                f1 = d;
            } else if (d < f2) {
                f2 = d;
            }
        }
}

float ValueNoise(float x, float y, uint32_t seed) { return PeriodicValueNoise(x, y, 1 << 20, 1 << 20, seed); }

float Fbm(float x, float y, int octaves, uint32_t seed, float gain) {
    return PeriodicFbm(x, y, 1 << 16, 1 << 16, octaves, seed, gain);
}

double SeamRatio(const Image& img) {
    const int w = img.Width(), h = img.Height();
    if (w < 2 || h < 2) return 0;
    auto diff = [](const Color& a, const Color& b) {
        return std::fabs(a.r - b.r) + std::fabs(a.g - b.g) + std::fabs(a.b - b.b) + std::fabs(a.a - b.a);
    };
    double inside = 0, seam = 0;
    long inCount = 0, seamCount = 0;
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            const Color& c = img.At(x, y);
            if (x + 1 < w) {
                inside += diff(c, img.At(x + 1, y));
                ++inCount;
            } else {
                seam += diff(c, img.At(0, y));
                ++seamCount;
            }
            if (y + 1 < h) {
                inside += diff(c, img.At(x, y + 1));
                ++inCount;
            } else {
                seam += diff(c, img.At(x, 0));
                ++seamCount;
            }
        }
    inside /= static_cast<double>(inCount);
    seam /= static_cast<double>(seamCount);
    if (inside <= 1e-12) return seam <= 1e-12 ? 1.0 : 1e9;
    return seam / inside;
}

namespace {

uint8_t Quantise(float v, uint32_t h) {
    float d = HashUnit(h) - 0.5f;
    float q = std::floor(Clamp01(v) * 255.0f + 0.5f + d);
    return static_cast<uint8_t>(std::clamp(q, 0.0f, 255.0f));
}

}  // namespace

std::vector<uint8_t> ToRgb8(const Image& img, uint32_t ditherSeed) {
    std::vector<uint8_t> out(static_cast<size_t>(img.Width()) * img.Height() * 3);
    size_t o = 0;
    for (int y = 0; y < img.Height(); ++y)
        for (int x = 0; x < img.Width(); ++x) {
            const Color& c = img.At(x, y);
            uint32_t h = Hash2(x, y, ditherSeed);
            out[o++] = Quantise(c.r, h);
            out[o++] = Quantise(c.g, h);
            out[o++] = Quantise(c.b, h);
        }
    return out;
}

std::vector<uint8_t> AlphaToRgb8(const Image& img, uint32_t ditherSeed) {
    std::vector<uint8_t> out(static_cast<size_t>(img.Width()) * img.Height() * 3);
    size_t o = 0;
    for (int y = 0; y < img.Height(); ++y)
        for (int x = 0; x < img.Width(); ++x) {
            uint8_t a = Quantise(img.At(x, y).a, Hash2(x, y, ditherSeed));
            out[o++] = a;
            out[o++] = a;
            out[o++] = a;
        }
    return out;
}

std::vector<uint8_t> ToGray8(const Image& img, uint32_t ditherSeed) {
    std::vector<uint8_t> out(static_cast<size_t>(img.Width()) * img.Height());
    size_t o = 0;
    for (int y = 0; y < img.Height(); ++y)
        for (int x = 0; x < img.Width(); ++x) {
            const Color& c = img.At(x, y);
            out[o++] = Quantise(0.299f * c.r + 0.587f * c.g + 0.114f * c.b, Hash2(x, y, ditherSeed));
        }
    return out;
}

Image FromRgb8(const std::vector<uint8_t>& rgb, int width, int height) {
    Image img(width, height);
    if (rgb.size() < static_cast<size_t>(width) * height * 3) return img;
    for (size_t i = 0; i < img.Pixels.size(); ++i)
        img.Pixels[i] = {rgb[i * 3] / 255.0f, rgb[i * 3 + 1] / 255.0f, rgb[i * 3 + 2] / 255.0f, 1};
    return img;
}

bool IsPowerOfTwo(int v) { return v > 0 && (v & (v - 1)) == 0; }

}  // namespace cg
