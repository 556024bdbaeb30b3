#include "fishbuild.h"

#include <algorithm>
#include <cmath>
#include <optional>
#include <stdexcept>

namespace cg {

namespace {

constexpr int Supersample = 2;
constexpr float EdgeMarginPx = 4;  // final pixels between a region and the picture edge
constexpr float GapPx = 8;         // final pixels between regions
constexpr float MeshMarginPx = 2.5f;  // fin geometry reaches this far past the outline

float SignPow(float v, float e) { return v < 0 ? -std::pow(-v, e) : std::pow(v, e); }

struct Rect {
    float x0 = 1e9f, y0 = 1e9f, x1 = -1e9f, y1 = -1e9f;
    void Add(float x, float y) {
        x0 = std::min(x0, x);
        y0 = std::min(y0, y);
        x1 = std::max(x1, x);
        y1 = std::max(y1, y);
    }
    void Add(const std::vector<V2>& pts) {
        for (const V2& p : pts) Add(p.x, p.y);
    }
    float W() const { return x1 - x0; }
    float H() const { return y1 - y0; }
};

// Where each part of the design lands in the picture (final pixels).
struct Layout {
    int W = 512, H = 256;
    float K = 100;                 // final pixels per design unit
    Rect Main;                     // design s, y extents of the main region
    float MainX = 0, MainY = 0;    // picture position of the main region's top-left (s = Main.x1, y = Main.y1)
    std::vector<Rect> Aux;         // local (span, chord) extents
    std::vector<V2> AuxPos;        // picture position of each aux region's top-left

    // The snout is to the right: picture x grows as s falls.
    V2 MainPixel(float s, float y) const { return {MainX + (Main.x1 - s) * K, MainY + (Main.y1 - y) * K}; }
    V2 AuxPixel(size_t i, float span, float chord) const {
        return {AuxPos[i].x + (span - Aux[i].x0) * K, AuxPos[i].y + (Aux[i].y1 - chord) * K};
    }
    Tex2f Uv(V2 px) const { return {px.x / static_cast<float>(W), 1.0f - px.y / static_cast<float>(H)}; }
};

// Places the paired-fin regions in empty parts of the main region (below the
// head, behind the fins): offsets from the main region's top-left corner in
// design units, or nothing when they do not all fit.
std::optional<std::vector<V2>> FreeSpots(const Rect& main, const std::vector<std::vector<V2>>& shapes,
                                         const std::vector<Rect>& aux, float margin) {
    const float cell = main.W() / 192.0f;
    const int gw = static_cast<int>(std::ceil(main.W() / cell)), gh = static_cast<int>(std::ceil(main.H() / cell));
    Mask used(gw, gh, 0);
    for (const auto& shape : shapes) {
        std::vector<V2> g;
        for (const V2& p : shape) g.push_back({(main.x1 - p.x) / cell, (main.y1 - p.y) / cell});
        AddCoverage(used, PolygonCoverage(gw, gh, g));
    }
    used = Grow(used, margin / cell);
    std::vector<size_t> order(aux.size());
    for (size_t i = 0; i < order.size(); ++i) order[i] = i;
    std::sort(order.begin(), order.end(), [&](size_t a, size_t b) {
        return aux[a].W() * aux[a].H() > aux[b].W() * aux[b].H();
    });
    std::vector<V2> spots(aux.size());
    for (size_t i : order) {
        const int w = static_cast<int>(std::ceil(aux[i].W() / cell)), h = static_cast<int>(std::ceil(aux[i].H() / cell));
        bool placed = false;
        // Bottom rows first, from the head end: the space under the chin.
        for (int r = gh - h; r >= 0 && !placed; --r)
            for (int c = gw - w; c >= 0 && !placed; --c) {
                bool free = true;
                for (int y = r; y < r + h && free; ++y)
                    for (int x = c; x < c + w && free; ++x)
                        if (used.At(x, y) > 0.01f) free = false;
                if (!free) continue;
                spots[i] = {static_cast<float>(c) * cell, static_cast<float>(r) * cell};
                Mask taken(gw, gh, 0);
                for (int y = r; y < r + h; ++y)
                    for (int x = c; x < c + w; ++x) taken.At(x, y) = 1;
                AddCoverage(used, Grow(taken, margin / cell));
                placed = true;
            }
        if (!placed) return std::nullopt;
    }
    return spots;
}

Layout ChooseLayout(const Rect& main, const std::vector<std::vector<V2>>& shapes, const std::vector<Rect>& aux) {
    struct Candidate {
        int W, H;
    };
    const Candidate sizes[] = {{512, 128}, {512, 256}, {512, 512}};
    float bestK = -1;
    std::vector<Layout> options;
    const std::optional<std::vector<V2>> inside = aux.empty() ? std::nullopt : FreeSpots(main, shapes, aux, main.W() * 0.02f);
    for (const Candidate& c : sizes) {
        const float w = static_cast<float>(c.W) - 2 * EdgeMarginPx, h = static_cast<float>(c.H) - 2 * EdgeMarginPx;
        float auxSumW = 0, auxSumH = 0, auxMaxW = 0, auxMaxH = 0;
        for (const Rect& r : aux) {
            auxSumW += r.W();
            auxSumH += r.H();
            auxMaxW = std::max(auxMaxW, r.W());
            auxMaxH = std::max(auxMaxH, r.H());
        }
        const float gaps = GapPx * static_cast<float>(aux.size());
        // Paired fins inside the main region's empty space, in a strip below
        // it, or in a column to its right.
        for (int placement = 0; placement < 3; ++placement) {
            float k;
            if (aux.empty() || placement == 2) {
                if (!aux.empty() && !inside) continue;
                if (aux.empty() && placement != 2) continue;
                k = std::min(w / main.W(), h / main.H());
            } else if (placement == 0) {
                k = std::min({w / main.W(), (w - gaps) / auxSumW, (h - GapPx) / (main.H() + auxMaxH)});
            } else {
                k = std::min({(w - GapPx) / (main.W() + auxMaxW), h / main.H(), (h - gaps) / auxSumH});
            }
            if (k <= 0) continue;
            Layout l;
            l.W = c.W;
            l.H = c.H;
            l.K = k;
            l.Main = main;
            l.Aux = aux;
            if (placement == 2) {
                l.MainX = (static_cast<float>(c.W) - main.W() * k) * 0.5f;
                l.MainY = (static_cast<float>(c.H) - main.H() * k) * 0.5f;
                if (inside)
                    for (const V2& spot : *inside) l.AuxPos.push_back({l.MainX + spot.x * k, l.MainY + spot.y * k});
            } else if (placement == 0) {
                l.MainX = (static_cast<float>(c.W) - main.W() * k) * 0.5f;
                l.MainY = EdgeMarginPx;
                float x = EdgeMarginPx;
                for (const Rect& r : aux) {
                    l.AuxPos.push_back({x, EdgeMarginPx + main.H() * k + GapPx});
                    x += r.W() * k + GapPx;
                }
            } else {
                l.MainX = EdgeMarginPx;
                l.MainY = (static_cast<float>(c.H) - main.H() * k) * 0.5f;
                float y = EdgeMarginPx;
                for (const Rect& r : aux) {
                    l.AuxPos.push_back({EdgeMarginPx + main.W() * k + GapPx, y});
                    y += r.H() * k + GapPx;
                }
            }
            options.push_back(l);
            bestK = std::max(bestK, k);
        }
    }
    if (options.empty()) throw std::runtime_error("fish layout: nothing fits");
    // The smallest picture that keeps most of the best resolution.
    const Layout* pick = nullptr;
    for (const Layout& l : options) {
        if (l.K < bestK * 0.78f) continue;
        if (!pick || l.W * l.H < pick->W * pick->H || (l.W * l.H == pick->W * pick->H && l.K > pick->K)) pick = &l;
    }
    return *pick;
}

std::vector<V2> BodyOutline(const BodyProfile& body) {
    std::vector<V2> pts;
    const int n = 160;
    for (int i = 0; i <= n; ++i) {
        float s = body.SnoutS + (body.TailS - body.SnoutS) * static_cast<float>(i) / n;
        pts.push_back({s, body.Top(s)});
    }
    for (int i = n; i >= 0; --i) {
        float s = body.SnoutS + (body.TailS - body.SnoutS) * static_cast<float>(i) / n;
        pts.push_back({s, body.Bottom(s)});
    }
    return pts;
}

// Fin membrane, rays and rim fade for one pixel.
Color FinTexel(const FinPaint& fin, float a, float b, float edgeDistance) {
    Color c = fin.Colour ? fin.Colour(a, b, edgeDistance) : Color{0.8f, 0.8f, 0.8f, 0.6f};
    float angle = std::atan2(b - fin.RayFocus.y, a - fin.RayFocus.x);
    float phase = angle / std::max(fin.RaySpacing, 0.005f);
    float line = Smoothstep(0.55f, 0.95f, std::cos(2 * Pi * phase));
    float rs = fin.RayStrength;
    float membrane = c.a * (1 - 0.35f * rs) * Smoothstep(0, fin.EdgeFade, edgeDistance);
    float ray = std::min(1.0f, c.a + rs) * Smoothstep(0, fin.EdgeFade * 0.3f, edgeDistance);
    float alpha = Mix(membrane, ray, line * Clamp01(rs * 2));
    Color out = Shade(c, 1 - 0.22f * rs * line);
    out.a = Clamp01(alpha);
    return out;
}

// Paints a fin outline (in local coordinates mapped by toPixel/fromPixel)
// into the fin layer.
template <typename ToPixel, typename FromPixel>
void PaintFin(Image& fins, Mask& finMask, const FinPaint& paint, float pixelsPerUnit, ToPixel toPixel,
              FromPixel fromPixel) {
    std::vector<V2> poly;
    for (const V2& p : paint.Outline) poly.push_back(toPixel(p.x, p.y));
    if (poly.empty()) return;
    // Work in the outline's bounding box only.
    float minx = poly[0].x, maxx = minx, miny = poly[0].y, maxy = miny;
    for (const V2& p : poly) {
        minx = std::min(minx, p.x);
        maxx = std::max(maxx, p.x);
        miny = std::min(miny, p.y);
        maxy = std::max(maxy, p.y);
    }
    const int x0 = std::max(0, static_cast<int>(minx) - 3), y0 = std::max(0, static_cast<int>(miny) - 3);
    const int x1 = std::min(fins.Width(), static_cast<int>(maxx) + 4), y1 = std::min(fins.Height(), static_cast<int>(maxy) + 4);
    if (x1 <= x0 || y1 <= y0) return;
    for (V2& p : poly) {
        p.x -= static_cast<float>(x0);
        p.y -= static_cast<float>(y0);
    }
    Mask cov = PolygonCoverage(x1 - x0, y1 - y0, poly);
    Mask dist = SignedDistance(cov);
    for (int y = y0; y < y1; ++y)
        for (int x = x0; x < x1; ++x) {
            float k = cov.At(x - x0, y - y0);
            if (k <= 0 || k < finMask.At(x, y)) continue;
            V2 d = fromPixel(static_cast<float>(x) + 0.5f, static_cast<float>(y) + 0.5f);
            float edge = std::max(0.0f, dist.At(x - x0, y - y0) + 0.5f) / pixelsPerUnit;
            fins.At(x, y) = FinTexel(paint, d.x, d.y, edge);
            finMask.At(x, y) = k;
        }
}

// Scale lattice brightness: staggered rows of rounded scales with a light
// front and a thin dark rear rim.
float ScaleLattice(float s, float y, float size) {
    const float rowH = size * 0.7f;
    float row = std::floor(y / rowH);
    float best = 1e9f, second = 1e9f, bestDs = 0;
    for (int dr = -1; dr <= 1; ++dr) {
        float r = row + static_cast<float>(dr);
        float shift = (static_cast<int>(r) & 1) ? 0.5f * size : 0.0f;
        float col = std::floor((s - shift) / size);
        for (int dc = -1; dc <= 1; ++dc) {
            float cs = (col + static_cast<float>(dc) + 0.5f) * size + shift;
            float cy = (r + 0.5f) * rowH;
            float ds = s - cs, dy = (y - cy) * 1.15f;
            float d = std::sqrt(ds * ds + dy * dy);
            if (d < best) {
                second = best;
                best = d;
                bestDs = ds;
            } else if (d < second) {
                second = d;
            }
        }
    }
    float rim = 1 - Smoothstep(0, size * 0.12f, second - best);
    float front = -bestDs / size;  // +0.5 at the front edge of a scale
    return 0.55f * front - rim * 0.8f;
}

void Vec(float out[3], const float a[3]) {
    float len = std::sqrt(a[0] * a[0] + a[1] * a[1] + a[2] * a[2]);
    for (int i = 0; i < 3; ++i) out[i] = len > 0 ? a[i] / len : 0;
}

class MeshBuilder {
public:
    Object3dm Obj;

    int Add(Vec3f p, Tex2f t) {
        Obj.Vertices.push_back(p);
        Obj.TexCoords.push_back(t);
        return static_cast<int>(Obj.Vertices.size());  // 1-based
    }
    const Vec3f& P(int i) const { return Obj.Vertices[static_cast<size_t>(i) - 1]; }

    // Winds the triangle so its normal points along want.
    void Tri(int a, int b, int c, Vec3f want, int material) {
        const Vec3f &pa = P(a), &pb = P(b), &pc = P(c);
        Vec3f u{pb.x - pa.x, pb.y - pa.y, pb.z - pa.z}, v{pc.x - pa.x, pc.y - pa.y, pc.z - pa.z};
        Vec3f n{u.y * v.z - u.z * v.y, u.z * v.x - u.x * v.z, u.x * v.y - u.y * v.x};
        float len2 = n.x * n.x + n.y * n.y + n.z * n.z;
        if (len2 <= 1e-10f) return;  // degenerate: skip
        if (n.x * want.x + n.y * want.y + n.z * want.z < 0) std::swap(b, c);
        Obj.Faces.push_back({a, b, c});
        Obj.TexFaces.push_back({a, b, c});
        Obj.FaceMaterialIds.push_back(material);
    }
    // Outward from a point inside.
    void TriOut(int a, int b, int c, Vec3f inside, int material) {
        const Vec3f &pa = P(a), &pb = P(b), &pc = P(c);
        Vec3f centre{(pa.x + pb.x + pc.x) / 3 - inside.x, (pa.y + pb.y + pc.y) / 3 - inside.y,
                     (pa.z + pb.z + pc.z) / 3 - inside.z};
        Tri(a, b, c, centre, material);
    }
};

}  // namespace

float ProfileCurve(float s, float a, float sMax) {
    if (s <= 0 || s >= 1) return 0;
    float b = a * (1 - sMax) / sMax;
    float peak = std::pow(sMax, a) * std::pow(1 - sMax, b);
    return std::pow(s, a) * std::pow(1 - s, b) / peak;
}

namespace {

V2 CatmullRom(V2 p0, V2 p1, V2 p2, V2 p3, float t) {
    float t2 = t * t, t3 = t2 * t;
    auto f = [&](float a, float b, float c, float d) {
        return 0.5f * ((2 * b) + (-a + c) * t + (2 * a - 5 * b + 4 * c - d) * t2 + (-a + 3 * b - 3 * c + d) * t3);
    };
    return {f(p0.x, p1.x, p2.x, p3.x), f(p0.y, p1.y, p2.y, p3.y)};
}

}  // namespace

std::vector<V2> SmoothClosed(const std::vector<V2>& p, int n) {
    std::vector<V2> out;
    const size_t m = p.size();
    if (m < 3) return p;
    for (size_t i = 0; i < m; ++i)
        for (int k = 0; k < n; ++k)
            out.push_back(CatmullRom(p[(i + m - 1) % m], p[i], p[(i + 1) % m], p[(i + 2) % m],
                                     static_cast<float>(k) / static_cast<float>(n)));
    return out;
}

std::vector<V2> SmoothOpen(const std::vector<V2>& p, int n) {
    std::vector<V2> out;
    const size_t m = p.size();
    if (m < 3) return p;
    for (size_t i = 0; i + 1 < m; ++i) {
        V2 p0 = i == 0 ? V2{2 * p[0].x - p[1].x, 2 * p[0].y - p[1].y} : p[i - 1];
        V2 p3 = i + 2 >= m ? V2{2 * p[m - 1].x - p[m - 2].x, 2 * p[m - 1].y - p[m - 2].y} : p[i + 2];
        for (int k = 0; k < n; ++k) out.push_back(CatmullRom(p0, p[i], p[i + 1], p3, static_cast<float>(k) / n));
    }
    out.push_back(p[m - 1]);
    return out;
}

namespace {

// Points along a body line from s0 to s1, offset from it, followed by the
// given outer points smoothed.
std::vector<V2> FinOnLine(const std::function<float(float)>& line, const BodyProfile& body, float s0, float s1,
                          float offset, const std::vector<V2>& outer) {
    std::vector<V2> poly;
    const int n = 24;
    for (int i = 0; i <= n; ++i) {
        float s = s0 + (s1 - s0) * static_cast<float>(i) / n;
        float cs = std::clamp(s, body.SnoutS, body.TailS);
        poly.push_back({s, line(cs) + offset});
    }
    std::vector<V2> smooth = SmoothOpen(outer, 8);
    poly.insert(poly.end(), smooth.begin(), smooth.end());
    return poly;
}

}  // namespace

std::vector<V2> FinOnBack(const BodyProfile& body, float s0, float s1, float inset, const std::vector<V2>& outer) {
    return FinOnLine(body.Top, body, s0, s1, -inset, outer);
}

std::vector<V2> FinOnBelly(const BodyProfile& body, float s0, float s1, float inset, const std::vector<V2>& outer) {
    return FinOnLine(body.Bottom, body, s0, s1, inset, outer);
}

float Band(float x, float centre, float halfWidth, float soft) {
    return 1 - Smoothstep(halfWidth - soft, halfWidth + soft, std::fabs(x - centre));
}

FishCanvas::FishCanvas(Image& body, Image& fins, const Mask& bodyClip, const Mask& finClip, float originX,
                       float originY, float sRight, float yTop, float pixelsPerUnit, uint64_t seed)
    : BodyImg(body),
      FinImg(fins),
      BodyClip(bodyClip),
      FinClip(finClip),
      Ox(originX),
      Oy(originY),
      SRight(sRight),
      YTop(yTop),
      Scale(pixelsPerUnit),
      R(seed) {}

V2 FishCanvas::ToPixel(float s, float y) const { return {Ox + (SRight - s) * Scale, Oy + (YTop - y) * Scale}; }

void FishCanvas::Disc(Layer layer, float s, float y, float r, Color c) {
    V2 p = ToPixel(s, y);
    FillDisc(Target(layer), p.x, p.y, r * Scale, c, &Clip(layer));
}

void FishCanvas::Ellipse(Layer layer, float s, float y, float rs, float ry, float angle, Color c) {
    V2 p = ToPixel(s, y);
    // Design angles turn counter-clockwise with s to the left; picture y is down.
    FillEllipse(Target(layer), p.x, p.y, rs * Scale, ry * Scale, angle, c, &Clip(layer));
}

void FishCanvas::Line(Layer layer, const std::vector<V2>& points, float width, Color c) {
    std::vector<V2> px;
    for (const V2& p : points) px.push_back(ToPixel(p.x, p.y));
    StrokePolyline(Target(layer), px, width * Scale, c, &Clip(layer));
}

void FishCanvas::Polygon(Layer layer, const std::vector<V2>& points, Color c) {
    std::vector<V2> px;
    for (const V2& p : points) px.push_back(ToPixel(p.x, p.y));
    FillPolygon(Target(layer), px, c, &Clip(layer));
}

bool FishCanvas::Inside(Layer layer, float s, float y, float margin) const {
    const Mask& m = Clip(layer);
    V2 p = ToPixel(s, y);
    float r = margin * Scale;
    const V2 probes[] = {{0, 0}, {r, 0}, {-r, 0}, {0, r}, {0, -r}};
    for (const V2& d : probes)
        if (m.Get(static_cast<int>(p.x + d.x), static_cast<int>(p.y + d.y)) < 0.99f) return false;
    return true;
}

std::vector<V2> FishCanvas::Scatter(Layer layer, float minDistance, float margin, int attempts) {
    // Candidates over the whole picture, kept when inside and far enough.
    std::vector<V2> pts;
    const float w = static_cast<float>(Target(layer).Width()), h = static_cast<float>(Target(layer).Height());
    const float sLeft = SRight - w / Scale, yBottom = YTop - h / Scale;
    for (int i = 0; i < attempts; ++i) {
        float s = R.Range(sLeft, SRight), y = R.Range(yBottom, YTop);
        if (!Inside(layer, s, y, margin)) continue;
        bool ok = true;
        for (const V2& p : pts) {
            float ds = p.x - s, dy = p.y - y;
            if (ds * ds + dy * dy < minDistance * minDistance) {
                ok = false;
                break;
            }
        }
        if (ok) pts.push_back({s, y});
    }
    return pts;
}

BuiltFish BuildFish(const FishDesign& species) {
    const BodyProfile& body = species.Body;
    // Extents of everything drawn in side view.
    Rect main;
    std::vector<V2> bodyOutline = BodyOutline(body);
    main.Add(bodyOutline);
    std::vector<std::vector<V2>> shapes = {bodyOutline};
    for (const MedianFin& f : species.MedianFins) {
        main.Add(f.Paint.Outline);
        shapes.push_back(f.Paint.Outline);
    }
    const Rect shape = main;  // without margins: the fish's own extent
    std::vector<Rect> aux;
    for (const PairedFin& f : species.PairedFins) {
        Rect r;
        r.Add(f.Paint.Outline);
        aux.push_back(r);
    }
    // Margins so the geometry's extra rim stays on this region's texels.
    const float pad = 0.025f * shape.W();
    main.x0 -= pad;
    main.x1 += pad;
    main.y0 -= pad;
    main.y1 += pad;
    for (Rect& r : aux) {
        r.x0 -= pad;
        r.x1 += pad;
        r.y0 -= pad;
        r.y1 += pad;
    }
    const Layout layout = ChooseLayout(main, shapes, aux);

    // Painting at Supersample times the final size.
    const int pw = layout.W * Supersample, ph = layout.H * Supersample;
    const float kp = layout.K * Supersample;
    auto mainPx = [&](float s, float y) {
        V2 p = layout.MainPixel(s, y);
        return V2{p.x * Supersample, p.y * Supersample};
    };
    auto mainDesign = [&](float px, float py) {
        return V2{main.x1 - (px / Supersample - layout.MainX) / layout.K,
                  main.y1 - (py / Supersample - layout.MainY) / layout.K};
    };

    std::vector<V2> bodyPx;
    for (const V2& p : bodyOutline) bodyPx.push_back(mainPx(p.x, p.y));
    Mask bodyMask = PolygonCoverage(pw, ph, bodyPx);
    Mask bodyClip = Grow(bodyMask, 1.5f);

    Image bodyImg(pw, ph, {0, 0, 0, 0});
    Image finImg(pw, ph, {0, 0, 0, 0});
    Mask finMask(pw, ph, 0);

    // The body line at each picture column (s depends on x only).
    std::vector<float> colS(static_cast<size_t>(pw)), colTop(colS.size()), colBottom(colS.size());
    for (int x = 0; x < pw; ++x) {
        float cs = std::clamp(mainDesign(static_cast<float>(x) + 0.5f, 0).x, body.SnoutS, body.TailS);
        colS[x] = cs;
        colTop[x] = body.Top(cs);
        colBottom[x] = body.Bottom(cs);
    }

    // Body base colour.
    for (int y = 0; y < ph; ++y)
        for (int x = 0; x < pw; ++x) {
            if (bodyClip.At(x, y) <= 0) continue;
            V2 d = mainDesign(static_cast<float>(x) + 0.5f, static_cast<float>(y) + 0.5f);
            BodyPoint bp;
            bp.s = d.x;
            bp.y = d.y;
            bp.top = colTop[x];
            bp.bottom = colBottom[x];
            bp.t = bp.top > bp.bottom ? Clamp01((d.y - bp.bottom) / (bp.top - bp.bottom)) : 0.5f;
            bp.pixel = 1.0f / kp;
            Color c = species.BodyColour ? species.BodyColour(bp) : Color{0.7f, 0.7f, 0.7f, 1};
            c.a = 1;
            bodyImg.At(x, y) = c;
        }

    // Median fins, then paired fins in their own regions.
    for (const MedianFin& f : species.MedianFins) PaintFin(finImg, finMask, f.Paint, kp, mainPx, mainDesign);
    for (size_t i = 0; i < species.PairedFins.size(); ++i) {
        auto toPx = [&](float a, float b) {
            V2 p = layout.AuxPixel(i, a, b);
            return V2{p.x * Supersample, p.y * Supersample};
        };
        auto fromPx = [&](float px, float py) {
            return V2{aux[i].x0 + (px / Supersample - layout.AuxPos[i].x) / layout.K,
                      aux[i].y1 - (py / Supersample - layout.AuxPos[i].y) / layout.K};
        };
        PaintFin(finImg, finMask, species.PairedFins[i].Paint, kp, toPx, fromPx);
    }

    V2 origin = mainPx(main.x1, main.y1);
    FishCanvas canvas(bodyImg, finImg, bodyClip, finMask, origin.x, origin.y, main.x1, main.y1, kp, species.Seed);
    if (species.Decorate) species.Decorate(canvas);

    // Baked roundness and scales.
    for (int y = 0; y < ph; ++y)
        for (int x = 0; x < pw; ++x) {
            if (bodyClip.At(x, y) <= 0) continue;
            V2 d = mainDesign(static_cast<float>(x) + 0.5f, static_cast<float>(y) + 0.5f);
            float cs = colS[x];
            float top = colTop[x], bottom = colBottom[x];
            float t = top > bottom ? Clamp01((d.y - bottom) / (top - bottom)) : 0.5f;
            float n = 2 * t - 1;
            float rim = std::sqrt(std::max(0.0f, 1 - n * n));
            // Ends of the body are rounded too.
            float along = Clamp01((cs - body.SnoutS) / std::max(1e-3f, body.TailS - body.SnoutS));
            float endRound = Smoothstep(0.0f, 0.06f, along);
            float shade = Mix(1 - species.Shading, 1.04f, std::sqrt(rim) * Mix(0.7f, 1.0f, endRound));
            if (species.ScaleSize > 0) {
                float lattice = ScaleLattice(d.x, d.y, species.ScaleSize);
                shade *= 1 + species.ScaleContrast * lattice * Smoothstep(0.1f, 0.5f, rim);
            }
            Color& c = bodyImg.At(x, y);
            c = Shade(c, shade);
        }

    // The eye: dark rim, iris with a lighter lower half, pupil, highlight.
    {
        const EyeDesign& e = species.Eye;
        Image& img = bodyImg;
        V2 c = mainPx(e.S, e.Y);
        float r = e.Radius * kp;
        FillDisc(img, c.x, c.y, r * (1 + e.RingWidth), WithAlpha(e.Ring, 0.9f), &bodyClip);
        FillDisc(img, c.x, c.y, r, e.Iris);
        FillDisc(img, c.x, c.y + r * 0.25f, r * 0.75f, WithAlpha(Shade(e.Iris, 1.25f), 0.5f));
        FillDisc(img, c.x, c.y, r * 0.55f, e.Pupil);
        FillDisc(img, c.x + r * 0.28f, c.y - r * 0.28f, r * 0.2f, Rgb(0xFFFFFF, 0.9f));
        FillDisc(img, c.x - r * 0.2f, c.y + r * 0.25f, r * 0.09f, Rgb(0xFFFFFF, 0.4f));
    }

    // Composite: body texels win inside the (slightly grown) body outline.
    Image paint(pw, ph, {0, 0, 0, 0});
    for (int y = 0; y < ph; ++y)
        for (int x = 0; x < pw; ++x) {
            float bc = bodyMask.At(x, y), bg = bodyClip.At(x, y);
            const Color& f = finImg.At(x, y);
            float fa = f.a * finMask.At(x, y);
            Color out{f.r, f.g, f.b, 0};
            if (bg > 0) out = Mix(Color{f.r, f.g, f.b, 0}, bodyImg.At(x, y), fa > 0 ? bg : 1.0f);
            out.a = std::max(bc, fa);
            paint.At(x, y) = out;
        }
    Image picture = Downsample(paint, Supersample);
    SpreadColourUnderTransparency(picture, 0.02f);

    // Geometry.
    const float lw = species.WorldLength / shape.W();
    const float sCentre = (shape.x0 + shape.x1) * 0.5f;
    auto world = [&](float s, float y, float z) { return Vec3f{(sCentre - s) * lw, y * lw, z * lw}; };
    auto mainUv = [&](float s, float y) { return layout.Uv(layout.MainPixel(s, y)); };

    MeshBuilder mb;
    mb.Obj.Name = species.Name;
    mb.Obj.MaterialName = species.Name;

    // Body: snout tip, rings, tail cap.
    {
        const int rings = std::max(4, species.Rings), m = std::max(6, species.RingVertices);
        const float e = 2.0f / body.Exponent;
        auto ringS = [&](int i) {
            float u = static_cast<float>(i) / static_cast<float>(rings);
            float f = 0.5f * u + 0.5f * (1 - std::cos(Pi * u)) * 0.5f;
            return body.SnoutS + (body.TailS - body.SnoutS) * f;
        };
        std::vector<std::vector<int>> ringIdx;
        std::vector<Vec3f> centres;
        float s0 = body.SnoutS;
        int tip = mb.Add(world(s0, (body.Top(s0) + body.Bottom(s0)) * 0.5f, 0),
                         mainUv(s0, (body.Top(s0) + body.Bottom(s0)) * 0.5f));
        for (int i = 1; i <= rings; ++i) {
            float s = ringS(i);
            float top = body.Top(s), bottom = body.Bottom(s), w = body.Width(s);
            float yc = (top + bottom) * 0.5f, hh = std::max(1e-4f, (top - bottom) * 0.5f);
            std::vector<int> idx;
            for (int j = 0; j < m; ++j) {
                float th = 2 * Pi * static_cast<float>(j) / static_cast<float>(m);
                float y = yc + hh * SignPow(std::sin(th), e);
                float z = w * SignPow(std::cos(th), e);
                idx.push_back(mb.Add(world(s, y, z), mainUv(s, y)));
            }
            ringIdx.push_back(idx);
            centres.push_back(world(s, yc, 0));
        }
        float sEnd = ringS(rings);
        int cap = mb.Add(world(sEnd, (body.Top(sEnd) + body.Bottom(sEnd)) * 0.5f, 0),
                         mainUv(sEnd, (body.Top(sEnd) + body.Bottom(sEnd)) * 0.5f));
        for (int j = 0; j < m; ++j) {
            int jn = (j + 1) % m;
            mb.TriOut(tip, ringIdx[0][j], ringIdx[0][jn], centres[0], 1);
            for (int i = 0; i + 1 < rings; ++i) {
                Vec3f mid{(centres[i].x + centres[i + 1].x) * 0.5f, (centres[i].y + centres[i + 1].y) * 0.5f, 0};
                mb.TriOut(ringIdx[i][j], ringIdx[i + 1][j], ringIdx[i + 1][jn], mid, 1);
                mb.TriOut(ringIdx[i][j], ringIdx[i + 1][jn], ringIdx[i][jn], mid, 1);
            }
            mb.TriOut(cap, ringIdx[rings - 1][jn], ringIdx[rings - 1][j], centres[rings - 2], 1);
        }
    }

    // A grid of vertices for each side of a flat fin, faces for both sides.
    auto addSheet = [&](const std::vector<std::vector<Vec3f>>& pos, const std::vector<std::vector<Tex2f>>& uv,
                        Vec3f normal) {
        for (int side = 0; side < 2; ++side) {
            Vec3f want = side == 0 ? normal : Vec3f{-normal.x, -normal.y, -normal.z};
            std::vector<std::vector<int>> idx(pos.size());
            for (size_t c = 0; c < pos.size(); ++c)
                for (size_t r = 0; r < pos[c].size(); ++r) idx[c].push_back(mb.Add(pos[c][r], uv[c][r]));
            for (size_t c = 0; c + 1 < pos.size(); ++c)
                for (size_t r = 0; r + 1 < pos[c].size(); ++r) {
                    mb.Tri(idx[c][r], idx[c + 1][r], idx[c + 1][r + 1], want, 2);
                    mb.Tri(idx[c][r], idx[c + 1][r + 1], idx[c][r + 1], want, 2);
                }
        }
    };

    const float meshMargin = MeshMarginPx / layout.K;
    // Vertical extent of a polygon along the line at a.
    auto spanAt = [](const std::vector<V2>& poly, float a, float& lo, float& hi) {
        lo = 1e9f;
        hi = -1e9f;
        const size_t n = poly.size();
        for (size_t i = 0; i < n; ++i) {
            V2 p = poly[i], q = poly[(i + 1) % n];
            if ((p.x <= a && a <= q.x) || (q.x <= a && a <= p.x)) {
                float y = p.x == q.x ? std::min(p.y, q.y) : p.y + (a - p.x) * (q.y - p.y) / (q.x - p.x);
                float y2 = p.x == q.x ? std::max(p.y, q.y) : y;
                lo = std::min(lo, y);
                hi = std::max(hi, y2);
            }
        }
        return hi >= lo;
    };
    // Columns across the fin's extent in a, each spanning the outline in b.
    auto finGrid = [&](const std::vector<V2>& poly, int columns, int rows, auto place, auto uvOf) {
        Rect r;
        r.Add(poly);
        std::vector<std::vector<Vec3f>> pos;
        std::vector<std::vector<Tex2f>> uv;
        const float eps = r.W() * 0.02f;
        for (int c = 0; c <= columns; ++c) {
            float f = static_cast<float>(c) / static_cast<float>(columns);
            float a = r.x0 - meshMargin + (r.W() + 2 * meshMargin) * f;
            float lo, hi;
            float probe = std::clamp(a, r.x0 + eps, r.x1 - eps);
            if (!spanAt(poly, probe, lo, hi)) {
                lo = r.y0;
                hi = r.y1;
            }
            // The ends reach the next column's span so no corner is cut.
            float probe2 = std::clamp(a + (c == 0 ? 1.0f : -1.0f) * (r.W() / static_cast<float>(columns)), r.x0 + eps,
                                      r.x1 - eps);
            float lo2, hi2;
            if (spanAt(poly, probe2, lo2, hi2)) {
                lo = std::min(lo, lo2);
                hi = std::max(hi, hi2);
            }
            lo -= meshMargin;
            hi += meshMargin;
            std::vector<Vec3f> colPos;
            std::vector<Tex2f> colUv;
            for (int k = 0; k <= rows; ++k) {
                float b = lo + (hi - lo) * static_cast<float>(k) / static_cast<float>(rows);
                colPos.push_back(place(a, b));
                colUv.push_back(uvOf(a, b));
            }
            pos.push_back(colPos);
            uv.push_back(colUv);
        }
        return std::make_pair(pos, uv);
    };

    for (const MedianFin& f : species.MedianFins) {
        auto [pos, uv] = finGrid(
            f.Paint.Outline, std::max(2, f.Columns), std::max(1, f.Rows),
            [&](float s, float y) { return world(s, y, 0); }, mainUv);
        addSheet(pos, uv, Vec3f{0, 0, 1});
    }
    for (size_t i = 0; i < species.PairedFins.size(); ++i) {
        const PairedFin& f = species.PairedFins[i];
        float sd[3], cd[3];
        Vec(sd, f.SpanDir);
        Vec(cd, f.ChordDir);
        for (int mirror = 0; mirror < 2; ++mirror) {
            const float zs = mirror == 0 ? 1.0f : -1.0f;
            auto place = [&](float span, float chord) {
                float s = f.RootS + span * sd[0] + chord * cd[0];
                float y = f.RootY + span * sd[1] + chord * cd[1];
                float z = f.RootZ + span * sd[2] + chord * cd[2];
                return world(s, y, z * zs);
            };
            auto uvOf = [&](float span, float chord) { return layout.Uv(layout.AuxPixel(i, span, chord)); };
            auto [pos, uv] = finGrid(f.Paint.Outline, std::max(2, f.Columns), std::max(1, f.Rows), place, uvOf);
            // Plate normal from its own corners.
            Vec3f a = place(0, 0), b = place(1, 0), c = place(0, 1);
            Vec3f u{b.x - a.x, b.y - a.y, b.z - a.z}, v{c.x - a.x, c.y - a.y, c.z - a.z};
            addSheet(pos, uv, Vec3f{u.y * v.z - u.z * v.y, u.z * v.x - u.x * v.z, u.x * v.y - u.y * v.x});
        }
    }

    BuiltFish out;
    out.MeshName = species.Name + ".3dm";
    out.PictureName = species.Name + ".jpg";
    out.AlphaName = AlphaPictureName(out.PictureName);
    out.Picture = std::move(picture);
    Mesh3dm& mesh = out.Mesh;
    mesh.MaterialName = species.Name;
    Material3dm bodyMat;
    bodyMat.Name = species.Name + "Body";
    bodyMat.DiffuseMap = out.PictureName;
    Material3dm finMat = bodyMat;
    finMat.Name = species.Name + "Fins";
    finMat.TwoSided = true;
    finMat.OpacityMap = out.AlphaName;
    mesh.SubMaterials = {bodyMat, finMat};
    mesh.Objects.push_back(std::move(mb.Obj));
    return out;
}

void PutFish(ContentSink& sink, const BuiltFish& fish) {
    PutText(sink, fish.MeshName, Write3dm(fish.Mesh));
    uint32_t seed = Hash32(fish.Picture.Width() * 131u + fish.Picture.Height());
    PutJpeg(sink, fish.PictureName, fish.Picture, seed);
    PutAlphaJpeg(sink, fish.AlphaName, fish.Picture, seed ^ 0xA1u);
}

void PutFishDesigns(ContentSink& sink, const std::vector<FishDesign>& species) {
    std::vector<BuiltFish> built(species.size());
    ParallelFor(static_cast<int>(species.size()), [&](int i) { built[i] = BuildFish(species[i]); });
    for (const BuiltFish& f : built) PutFish(sink, f);
}

}  // namespace cg
