// Float RGBA pictures and the painting tools the generators share:
// anti-aliased shapes, polygon coverage, box downsampling, colour spreading
// under transparent texels, distance fields, tileable noise and the final
// dithered quantisation to bytes.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace cg {

constexpr float Pi = 3.14159265358979f;

struct V2 {
    float x = 0, y = 0;
};

struct Color {
    float r = 0, g = 0, b = 0, a = 1;
};

inline Color operator+(Color p, Color q) { return {p.r + q.r, p.g + q.g, p.b + q.b, p.a + q.a}; }
inline Color operator-(Color p, Color q) { return {p.r - q.r, p.g - q.g, p.b - q.b, p.a - q.a}; }
inline Color operator*(Color p, float k) { return {p.r * k, p.g * k, p.b * k, p.a * k}; }
// Channel-wise product of the colour channels; alpha kept from p.
inline Color Tint(Color p, Color q) { return {p.r * q.r, p.g * q.g, p.b * q.b, p.a}; }
// Scales the colour channels only.
inline Color Shade(Color p, float k) { return {p.r * k, p.g * k, p.b * k, p.a}; }
inline Color WithAlpha(Color p, float a) { return {p.r, p.g, p.b, a}; }

// 0xRRGGBB, sRGB as it will be stored.
constexpr Color Rgb(uint32_t hex, float a = 1) {
    return {static_cast<float>((hex >> 16) & 255) / 255.0f, static_cast<float>((hex >> 8) & 255) / 255.0f,
            static_cast<float>(hex & 255) / 255.0f, a};
}

inline float Clamp01(float v) { return v < 0 ? 0 : (v > 1 ? 1 : v); }
inline float Smoothstep(float e0, float e1, float x) {
    if (e0 == e1) return x < e0 ? 0.0f : 1.0f;
    float t = Clamp01((x - e0) / (e1 - e0));
    return t * t * (3 - 2 * t);
}
inline float Mix(float a, float b, float t) { return a + (b - a) * t; }
inline Color Mix(Color a, Color b, float t) {
    return {Mix(a.r, b.r, t), Mix(a.g, b.g, t), Mix(a.b, b.b, t), Mix(a.a, b.a, t)};
}
// Linear ramp between the colours at evenly spaced stops.
Color Gradient(const std::vector<Color>& stops, float t);

class Image {
public:
    Image() = default;
    Image(int width, int height, Color fill = {0, 0, 0, 0});

    int Width() const { return W; }
    int Height() const { return H; }
    bool Empty() const { return W == 0 || H == 0; }
    Color& At(int x, int y) { return Pixels[static_cast<size_t>(y) * W + x]; }
    const Color& At(int x, int y) const { return Pixels[static_cast<size_t>(y) * W + x]; }
    // Coordinates wrap around both edges.
    const Color& AtWrap(int x, int y) const;
    // Bilinear sample with texel centres at +0.5; clamped or wrapped edges.
    Color Sample(float x, float y, bool wrap) const;
    void Fill(Color c);

    std::vector<Color> Pixels;

private:
    int W = 0, H = 0;
};

// Coverage or any other single float per pixel.
class Mask {
public:
    Mask() = default;
    Mask(int width, int height, float fill = 0);
    int Width() const { return W; }
    int Height() const { return H; }
    float& At(int x, int y) { return Values[static_cast<size_t>(y) * W + x]; }
    float At(int x, int y) const { return Values[static_cast<size_t>(y) * W + x]; }
    // 0 outside the mask.
    float Get(int x, int y) const;
    std::vector<float> Values;

private:
    int W = 0, H = 0;
};

// Exact anti-aliased coverage of a closed polygon (even-odd rule), in pixel
// coordinates with pixel (x, y) covering [x, x+1) x [y, y+1).
Mask PolygonCoverage(int width, int height, const std::vector<V2>& polygon);
void AddCoverage(Mask& mask, const Mask& other);  // union by maximum

// Euclidean distance in pixels from each pixel to the nearest pixel whose
// value is on the other side of 0.5: positive inside, negative outside.
Mask SignedDistance(const Mask& mask);

// Grows a mask by r pixels (distance-based, soft edge).
Mask Grow(const Mask& mask, float r);

// Source-over of c with extra coverage k.
void BlendOver(Color& dst, Color c, float k);

// Anti-aliased shapes in pixel coordinates, blended over the picture; an
// optional clip mask multiplies the coverage.
void FillDisc(Image& img, float cx, float cy, float r, Color c, const Mask* clip = nullptr);
void FillEllipse(Image& img, float cx, float cy, float rx, float ry, float angle, Color c, const Mask* clip = nullptr);
void StrokeSegment(Image& img, V2 a, V2 b, float width, Color c, const Mask* clip = nullptr);
void StrokePolyline(Image& img, const std::vector<V2>& points, float width, Color c, const Mask* clip = nullptr);
void FillPolygon(Image& img, const std::vector<V2>& polygon, Color c, const Mask* clip = nullptr);

// Box filter by an integer factor (averaging premultiplied colour, so
// transparent texels do not darken their neighbours).
Image Downsample(const Image& src, int factor);

// Gives every texel whose alpha is below the threshold the colour of the
// nearest texel above it, so filtering a blended edge never pulls in the
// colour hidden under transparency. Beyond the first three texels from an
// edge the spread colour is smoothed (it only costs compressed size there).
// Alpha is unchanged.
void SpreadColourUnderTransparency(Image& img, float threshold = 0.02f);

// Tileable noise. Coordinates are in lattice cells; the lattice wraps every
// period cells, so a picture covering exactly period cells tiles.
float PeriodicValueNoise(float x, float y, int periodX, int periodY, uint32_t seed);
// Octaves double the frequency and the period; result roughly in [0, 1].
float PeriodicFbm(float x, float y, int periodX, int periodY, int octaves, uint32_t seed, float gain = 0.5f);
// Distances to the nearest and second nearest feature point (in cells).
void PeriodicWorley(float x, float y, int periodX, int periodY, uint32_t seed, float& f1, float& f2);
// Non-periodic value noise (a very long period).
float ValueNoise(float x, float y, uint32_t seed);
float Fbm(float x, float y, int octaves, uint32_t seed, float gain = 0.5f);

// How visible the wrap seams are: mean absolute step across the right and
// bottom wrap edges divided by the mean step between neighbouring texels
// inside. About 1 for a tileable picture, well above 1 otherwise.
double SeamRatio(const Image& img);

// Quantisation with one level of hash dither: 8-bit RGB rows top to bottom,
// and the alpha channel as grey RGB.
std::vector<uint8_t> ToRgb8(const Image& img, uint32_t ditherSeed);
std::vector<uint8_t> AlphaToRgb8(const Image& img, uint32_t ditherSeed);
std::vector<uint8_t> ToGray8(const Image& img, uint32_t ditherSeed);
Image FromRgb8(const std::vector<uint8_t>& rgb, int width, int height);

bool IsPowerOfTwo(int v);

}  // namespace cg
