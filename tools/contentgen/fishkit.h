// Building blocks for designing fish species: body profiles, fin outlines,
// bands and fin colourings shared by the salt- and fresh-water species.
#pragma once

#include "fishbuild.h"

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace cg {

using FinColourFn = std::function<Color(float a, float b, float edge)>;

// A species with its file name, random seed and snout-to-tail length in the world.
FishDesign NewFishDesign(std::string name, uint64_t seed, float worldLength);

// Half height along the body: h * B(s) peaking at sMax, plus the tail stalk.
float HalfProfile(float s, float h, float a, float sMax, float stalk);

struct BodyShape {
    float TopH = 0.22f, BottomH = 0.2f;    // half heights of back and belly above / below the axis
    float A = 0.6f;                        // snout roundness (0.5 round, 1.2 pointed)
    float SMax = 0.38f;                    // where the body is deepest
    float TopStalk = 0.06f, BottomStalk = 0.06f;
    float MouthY = 0.0f;                   // y of the snout tip
    float HalfWidth = 0.08f;               // largest half width
    float WidthA = 0.55f, WidthSMax = 0.3f, WidthStalk = 0.02f;
    float Exponent = 2.3f;
};
BodyProfile MakeBody(const BodyShape& b);

// Fin outlines. Outer points are given from the rear end forward for fins
// on the back and belly (they close the polygon after the body line).
MedianFin BackFin(const BodyProfile& body, float s0, float s1, const std::vector<V2>& outer, float inset = 0.03f);
MedianFin BellyFin(const BodyProfile& body, float s0, float s1, const std::vector<V2>& outer, float inset = 0.03f);
// The same with the outer points relative to the body line: (s, height above
// the back) or (s, depth below the belly), from the rear end forward. The
// fin's base runs from the last point's s to the first's.
MedianFin DorsalFin(const BodyProfile& body, const std::vector<V2>& rise, FinColourFn colour);
MedianFin AnalFin(const BodyProfile& body, const std::vector<V2>& drop, FinColourFn colour);
// A closed outline given directly (tail fins), smoothed.
MedianFin OutlineFin(const std::vector<V2>& points, V2 rayFocus, int smoothing = 6);
MedianFin OutlineFin(const std::vector<V2>& points, V2 rayFocus, FinColourFn colour, int smoothing = 6);

// A tapering strip along a smooth centre line (streamers, filaments,
// spines): width goes from w0 at the first point to w1 at the last.
std::vector<V2> Ribbon(const std::vector<V2>& centre, float w0, float w1);

// A thin free-standing strip (threads, streamers, spines) along a centre line.
MedianFin Filament(const std::vector<V2>& centre, float w0, float w1, V2 rayFocus, int columns, int rows,
                   FinColourFn colour);

// Tail fin shapes starting at the tail stalk (s0, stalk half height h0).
std::vector<V2> TailRounded(float s0, float h0, float length, float spread);
std::vector<V2> TailForked(float s0, float h0, float length, float spread, float fork);
std::vector<V2> TailTruncate(float s0, float h0, float length, float spread, float concave);

// Paired fins: a paddle-shaped pectoral sticking out sideways, and a pelvic
// fin hanging below the belly.
PairedFin Pectoral(const BodyProfile& body, float s, float y, float span, float chord, FinColourFn colour,
                   float rounding = 0.5f);
PairedFin Pelvic(const BodyProfile& body, float s, float span, float chord, FinColourFn colour);
// A long thread-like pelvic fin with its own outline, swept back by sweep and
// spread sideways by spread for every unit it hangs down.
PairedFin ThreadPelvic(const BodyProfile& body, float s, float span, float chord, const std::vector<V2>& outline,
                       float sweep, float spread, float edgeFade, FinColourFn colour);

// Fin colourings.
FinColourFn PlainFin(Color membrane);
FinColourFn PlainFin(Color membrane, float opacity);
// The body's pattern function continued onto a fin, with a given opacity.
FinColourFn PatternFin(std::function<Color(float s, float y)> pattern, float opacity);
// Membrane with a rim band of another colour, optionally a thin outer edge.
FinColourFn RimmedFin(Color membrane, Color rim, float rimWidth, Color edge = {0, 0, 0, 0}, float edgeWidth = 0);

// Vertical band of the body: centre line s = centre + curve * (y / scale)^2 + tilt * y.
// Returns how much of the band (0..1) covers the point.
float VBand(float s, float y, float centre, float halfWidth, float soft, float curve = 0, float tilt = 0,
            float scale = 0.25f);
// One of several bars across the body, as VBand takes it; Strength scales it.
struct Bar {
    float Centre = 0, HalfWidth = 0, Curve = 0, Tilt = 0, Strength = 1;
};
// How much of the strongest bar covers the point.
float Bars(float s, float y, float soft, const std::vector<Bar>& bars);
// Band with an outline: mixes base, edge and fill.
Color OutlinedBand(Color base, float s, float y, float centre, float halfWidth, float edgeWidth, Color fill,
                   Color edge, float soft, float curve = 0, float tilt = 0, float scale = 0.25f);

// Back-to-belly colour: three stops from the belly (t = 0) to the back.
Color Countershade(float t, Color belly, Color flank, Color back);

}  // namespace cg
