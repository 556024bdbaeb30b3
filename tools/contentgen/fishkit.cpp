#include "fishkit.h"

#include <algorithm>
#include <cmath>
#include <stdexcept>
#include <utility>

namespace cg {

FishDesign NewFishDesign(std::string name, uint64_t seed, float worldLength) {
    FishDesign f;
    f.Name = std::move(name);
    f.Seed = seed;
    f.WorldLength = worldLength;
    return f;
}

float HalfProfile(float s, float h, float a, float sMax, float stalk) {
    s = std::clamp(s, 0.0f, 1.0f);
    float ramp = Smoothstep(sMax * 0.6f, 1.0f, s);
    return h * ProfileCurve(s, a, sMax) * (1 - 0.5f * ramp * stalk / std::max(h, 1e-3f)) + stalk * ramp;
}

BodyProfile MakeBody(const BodyShape& b) {
    BodyProfile p;
    auto mouth = [b](float s) { return b.MouthY * std::pow(1 - std::clamp(s, 0.0f, 1.0f), 3.0f); };
    p.Top = [b, mouth](float s) { return mouth(s) + HalfProfile(s, b.TopH, b.A, b.SMax, b.TopStalk); };
    p.Bottom = [b, mouth](float s) { return mouth(s) - HalfProfile(s, b.BottomH, b.A, b.SMax, b.BottomStalk); };
    p.Width = [b](float s) { return std::max(0.004f, HalfProfile(s, b.HalfWidth, b.WidthA, b.WidthSMax, b.WidthStalk)); };
    p.Exponent = b.Exponent;
    return p;
}

namespace {

// A fin along the back or belly line; rays fan out from a point beyond that
// line, focusOffset away from it.
MedianFin FinOnLine(const std::function<float(float)>& line, float s0, float s1, std::vector<V2> outline,
                    float focusOffset) {
    MedianFin f;
    f.Paint.Outline = std::move(outline);
    float sm = (s0 + s1) * 0.5f;
    f.Paint.RayFocus = {sm + (s1 - s0) * 0.35f, line(std::clamp(sm, 0.0f, 1.0f)) + focusOffset};
    f.Paint.RaySpacing = 0.06f;
    f.Columns = std::max(6, static_cast<int>((s1 - s0) * 30));
    f.Rows = 3;
    return f;
}

}  // namespace

MedianFin BackFin(const BodyProfile& body, float s0, float s1, const std::vector<V2>& outer, float inset) {
    return FinOnLine(body.Top, s0, s1, FinOnBack(body, s0, s1, inset, outer), -0.35f);
}

MedianFin BellyFin(const BodyProfile& body, float s0, float s1, const std::vector<V2>& outer, float inset) {
    return FinOnLine(body.Bottom, s0, s1, FinOnBelly(body, s0, s1, inset, outer), 0.35f);
}

MedianFin DorsalFin(const BodyProfile& body, const std::vector<V2>& rise, FinColourFn colour) {
    if (rise.size() < 2) throw std::invalid_argument("a fin needs two outer points or more");
    std::vector<V2> outer;
    outer.reserve(rise.size());
    for (const V2& p : rise) outer.push_back({p.x, body.Top(p.x) + p.y});
    MedianFin f = BackFin(body, rise.back().x, rise.front().x, outer);
    f.Paint.Colour = std::move(colour);
    return f;
}

MedianFin AnalFin(const BodyProfile& body, const std::vector<V2>& drop, FinColourFn colour) {
    if (drop.size() < 2) throw std::invalid_argument("a fin needs two outer points or more");
    std::vector<V2> outer;
    outer.reserve(drop.size());
    for (const V2& p : drop) outer.push_back({p.x, body.Bottom(p.x) - p.y});
    MedianFin f = BellyFin(body, drop.back().x, drop.front().x, outer);
    f.Paint.Colour = std::move(colour);
    return f;
}

MedianFin OutlineFin(const std::vector<V2>& points, V2 rayFocus, int smoothing) {
    MedianFin f;
    f.Paint.Outline = SmoothClosed(points, smoothing);
    f.Paint.RayFocus = rayFocus;
    f.Paint.RaySpacing = 0.07f;
    f.Columns = 6;
    f.Rows = 8;
    return f;
}

MedianFin OutlineFin(const std::vector<V2>& points, V2 rayFocus, FinColourFn colour, int smoothing) {
    MedianFin f = OutlineFin(points, rayFocus, smoothing);
    f.Paint.Colour = std::move(colour);
    return f;
}

std::vector<V2> Ribbon(const std::vector<V2>& centre, float w0, float w1) {
    std::vector<V2> c = SmoothOpen(centre, 8);
    const size_t n = c.size();
    std::vector<V2> left, right;
    for (size_t i = 0; i < n; ++i) {
        V2 a = c[i > 0 ? i - 1 : 0], b = c[i + 1 < n ? i + 1 : n - 1];
        float dx = b.x - a.x, dy = b.y - a.y, len = std::sqrt(dx * dx + dy * dy);
        if (len <= 0) len = 1;
        float t = n > 1 ? static_cast<float>(i) / static_cast<float>(n - 1) : 0.0f;
        float w = Mix(w0, w1, t) * 0.5f;
        left.push_back({c[i].x - dy / len * w, c[i].y + dx / len * w});
        right.push_back({c[i].x + dy / len * w, c[i].y - dx / len * w});
    }
    std::vector<V2> poly(left);
    poly.insert(poly.end(), right.rbegin(), right.rend());
    return poly;
}

MedianFin Filament(const std::vector<V2>& centre, float w0, float w1, V2 rayFocus, int columns, int rows,
                   FinColourFn colour) {
    MedianFin f = OutlineFin(Ribbon(centre, w0, w1), rayFocus, std::move(colour), 2);
    f.Columns = columns;
    f.Rows = rows;
    return f;
}

std::vector<V2> TailRounded(float s0, float h0, float length, float spread) {
    float e = s0 + length;
    return {{s0, h0 * 0.8f},          {s0 + length * 0.45f, spread * 0.85f}, {e - length * 0.12f, spread * 0.8f},
            {e, spread * 0.35f},      {e + length * 0.02f, 0},              {e, -spread * 0.35f},
            {e - length * 0.12f, -spread * 0.8f}, {s0 + length * 0.45f, -spread * 0.85f}, {s0, -h0 * 0.8f},
            {s0 - 0.02f, 0}};
}

std::vector<V2> TailForked(float s0, float h0, float length, float spread, float fork) {
    float e = s0 + length;
    return {{s0, h0 * 0.8f},
            {s0 + length * 0.5f, spread * 0.65f},
            {e, spread * 1.02f},
            {e - length * 0.1f, spread * 0.8f},
            {e - length * fork, 0},
            {e - length * 0.1f, -spread * 0.8f},
            {e, -spread * 1.02f},
            {s0 + length * 0.5f, -spread * 0.65f},
            {s0, -h0 * 0.8f},
            {s0 - 0.02f, 0}};
}

std::vector<V2> TailTruncate(float s0, float h0, float length, float spread, float concave) {
    float e = s0 + length;
    return {{s0, h0 * 0.8f},
            {s0 + length * 0.55f, spread * 0.8f},
            {e, spread},
            {e - length * concave, spread * 0.45f},
            {e - length * concave * 1.3f, 0},
            {e - length * concave, -spread * 0.45f},
            {e, -spread},
            {s0 + length * 0.55f, -spread * 0.8f},
            {s0, -h0 * 0.8f},
            {s0 - 0.02f, 0}};
}

PairedFin Pectoral(const BodyProfile& body, float s, float y, float span, float chord, FinColourFn colour,
                   float rounding) {
    PairedFin f;
    f.Paint.Colour = std::move(colour);
    const float c = chord * 0.5f;
    // Root inside the flank, so the fin leaves the body where it is widest.
    const float inner = -0.04f;
    std::vector<V2> pts = {{inner, -c},
                           {span * 0.5f, -c * (0.9f + 0.2f * rounding)},
                           {span * 0.92f, -c * 0.55f * rounding},
                           {span, c * 0.1f},
                           {span * 0.9f, c * 0.7f},
                           {span * 0.45f, c * 1.1f},
                           {inner, c}};
    f.Paint.Outline = SmoothClosed(pts, 6);
    f.Paint.RayFocus = {-span * 0.35f, 0};
    f.Paint.RaySpacing = 0.07f;
    f.Paint.EdgeFade = 0.03f;
    f.RootS = s;
    f.RootY = y;
    f.RootZ = body.Width(s) * 0.85f;
    f.SpanDir[0] = 0;
    f.SpanDir[1] = -0.1f;
    f.SpanDir[2] = 1;
    f.ChordDir[0] = -0.35f;
    f.ChordDir[1] = 1;
    f.ChordDir[2] = 0;
    f.Columns = 4;
    f.Rows = 4;
    return f;
}

PairedFin Pelvic(const BodyProfile& body, float s, float span, float chord, FinColourFn colour) {
    PairedFin f;
    f.Paint.Colour = std::move(colour);
    std::vector<V2> pts = {{-0.03f, 0},
                           {span * 0.6f, chord * 0.05f},
                           {span, chord * 0.35f},
                           {span * 0.85f, chord * 0.6f},
                           {span * 0.3f, chord * 0.85f},
                           {-0.03f, chord}};
    f.Paint.Outline = SmoothClosed(pts, 6);
    f.Paint.RayFocus = {-span * 0.3f, chord * 0.2f};
    f.Paint.RaySpacing = 0.08f;
    f.Paint.EdgeFade = 0.025f;
    f.RootS = s;
    f.RootY = body.Bottom(s) + 0.03f;
    f.RootZ = body.Width(s) * 0.45f;
    f.SpanDir[0] = 0.25f;
    f.SpanDir[1] = -1;
    f.SpanDir[2] = 0.3f;
    f.ChordDir[0] = 1;
    f.ChordDir[1] = 0;
    f.ChordDir[2] = 0;
    f.Columns = 4;
    f.Rows = 3;
    return f;
}

PairedFin ThreadPelvic(const BodyProfile& body, float s, float span, float chord, const std::vector<V2>& outline,
                       float sweep, float spread, float edgeFade, FinColourFn colour) {
    PairedFin f = Pelvic(body, s, span, chord, std::move(colour));
    f.Paint.Outline = SmoothClosed(outline, 6);
    f.SpanDir[0] = sweep;
    f.SpanDir[1] = -1;
    f.SpanDir[2] = spread;
    f.Paint.EdgeFade = edgeFade;
    f.Columns = 8;
    f.Rows = 2;
    return f;
}

FinColourFn PlainFin(Color membrane) {
    return [membrane](float, float, float) { return membrane; };
}

FinColourFn PlainFin(Color membrane, float opacity) { return PlainFin(WithAlpha(membrane, opacity)); }

FinColourFn PatternFin(std::function<Color(float s, float y)> pattern, float opacity) {
    return [pattern, opacity](float s, float y, float) { return WithAlpha(pattern(s, y), opacity); };
}

FinColourFn RimmedFin(Color membrane, Color rim, float rimWidth, Color edge, float edgeWidth) {
    return [=](float, float, float e) {
        Color c = Mix(rim, membrane, Smoothstep(rimWidth * 0.7f, rimWidth * 1.3f, e));
        if (edgeWidth > 0) c = Mix(edge, c, Smoothstep(edgeWidth * 0.5f, edgeWidth * 1.5f, e));
        return c;
    };
}

float VBand(float s, float y, float centre, float halfWidth, float soft, float curve, float tilt, float scale) {
    float q = y / scale;
    float c = centre + curve * q * q + tilt * y;
    return 1 - Smoothstep(halfWidth - soft, halfWidth + soft, std::fabs(s - c));
}

float Bars(float s, float y, float soft, const std::vector<Bar>& bars) {
    float k = 0;
    for (const Bar& b : bars) k = std::max(k, b.Strength * VBand(s, y, b.Centre, b.HalfWidth, soft, b.Curve, b.Tilt));
    return k;
}

Color OutlinedBand(Color base, float s, float y, float centre, float halfWidth, float edgeWidth, Color fill,
                   Color edge, float soft, float curve, float tilt, float scale) {
    float outer = VBand(s, y, centre, halfWidth + edgeWidth, soft, curve, tilt, scale);
    float inner = VBand(s, y, centre, halfWidth, soft, curve, tilt, scale);
    return Mix(Mix(base, edge, outer), fill, inner);
}

Color Countershade(float t, Color belly, Color flank, Color back) { return Gradient({belly, flank, back}, t); }

}  // namespace cg
