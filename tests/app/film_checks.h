// What every picture of the aquarium must show, whoever drew it: the water
// surface at the top, the backdrop and the background picture in the
// middle, the sea bed at the bottom, each in the colours of its water's
// pictures in the archive the program carries. The bands hold for any
// width: the view's height is fixed by the 75 degree field of view, which
// puts the surface (y 5000 beyond depth 6516) in the top sixth of the
// picture and the near sea bed (y -3000 from depth 3900) in the bottom
// fifth; the bands below stay clear of the edges between the layers.
#pragma once

#include "core/archive.h"
#include "core/picture.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <map>
#include <ostream>
#include <stdexcept>
#include <string>
#include <vector>

namespace film_checks {

// ---------------------------------------------------------------- pictures

struct TRGB {
    double R = 0, G = 0, B = 0;
    double Luminance() const { return 0.25 * R + 0.625 * G + 0.125 * B; }
    double MaxDifference(const TRGB& o) const {
        return std::max({std::fabs(R - o.R), std::fabs(G - o.G), std::fabs(B - o.B)});
    }
    double Distance(const TRGB& o) const {
        return std::sqrt((R - o.R) * (R - o.R) + (G - o.G) * (G - o.G) + (B - o.B) * (B - o.B));
    }
};

inline std::ostream& operator<<(std::ostream& out, const TRGB& c) {
    return out << "(" << std::lround(c.R) << ", " << std::lround(c.G) << ", " << std::lround(c.B) << ")";
}

inline TRGB Mix(const TRGB& a, const TRGB& b, double t) {
    return {a.R + (b.R - a.R) * t, a.G + (b.G - a.G) * t, a.B + (b.B - a.B) * t};
}

// One frame as red, green, blue bytes, rows top-down.
struct TFrame {
    int Width = 0, Height = 0;
    std::vector<std::array<uint8_t, 3>> Pixels;

    const std::array<uint8_t, 3>& At(int x, int y) const { return Pixels[static_cast<size_t>(y) * Width + x]; }
    int Luminance(int x, int y) const {
        const auto& p = At(x, y);
        return (2 * p[0] + 5 * p[1] + p[2]) / 8;
    }
    int Row(double fraction) const { return static_cast<int>(fraction * Height); }
};

inline TFrame FrameOf(const TPicture& picture) {
    TFrame f;
    f.Width = picture.Width;
    f.Height = picture.Height;
    f.Pixels.reserve(static_cast<size_t>(f.Width) * f.Height);
    for (int y = 0; y < f.Height; ++y)
        for (int x = 0; x < f.Width; ++x) {
            const TRGBQuad q = picture.PixelColor(x, y);
            f.Pixels.push_back({q.Red, q.Green, q.Blue});
        }
    return f;
}

// Median of each channel over the rows [top, bottom): fish and bubbles in
// the band do not move it.
inline TRGB BandMedian(const TFrame& f, int top, int bottom) {
    std::array<std::vector<uint8_t>, 3> channels;
    for (int y = top; y < bottom; ++y)
        for (int x = 0; x < f.Width; ++x)
            for (int c = 0; c < 3; ++c) channels[c].push_back(f.At(x, y)[c]);
    TRGB out;
    double* dst[3] = {&out.R, &out.G, &out.B};
    for (int c = 0; c < 3; ++c) {
        auto& v = channels[c];
        if (v.empty()) return out;
        std::nth_element(v.begin(), v.begin() + static_cast<long>(v.size() / 2), v.end());
        *dst[c] = v[v.size() / 2];
    }
    return out;
}

// Mean luminance step between neighbours across the rows [top, bottom) and
// columns [left, right): about 0.3 on a smooth gradient, several units on a
// textured picture.
inline double Contrast(const TFrame& f, int top, int bottom, int left = 0, int right = -1) {
    if (right < 0) right = f.Width;
    double sum = 0;
    long n = 0;
    for (int y = top; y < bottom; ++y)
        for (int x = left + 1; x < right; ++x) {
            sum += std::abs(f.Luminance(x, y) - f.Luminance(x - 1, y));
            ++n;
        }
    return n ? sum / static_cast<double>(n) : 0;
}

// The first row darker than both its neighbours over most of the width: the
// edge of a picture drawn where it should not show, a seam right across the
// screen. -1 when there is none.
inline int SeamRow(const TFrame& f) {
    const int step = std::max(1, f.Width / 128), samples = (f.Width + step - 1) / step;
    for (int y = 1; y + 1 < f.Height; ++y) {
        int dark = 0;
        for (int x = 0; x < f.Width; x += step)
            dark += f.Luminance(x, y) + 8 < std::min(f.Luminance(x, y - 1), f.Luminance(x, y + 1));
        if (dark * 10 > samples * 6) return y;
    }
    return -1;
}

// ---------------------------------------------------------------- what each water shows

struct TWaterLook {
    const char* Name;
    const char* SurfacePicture;  // chosen from waters.txt
    const char* SeaBedPicture;   // chosen from seabeds.txt
    TRGB UpColor;                // the fog colour the surface fades into
};

inline const TWaterLook Waters[6] = {
    {"Salt Water - 1", "water1.jpg", "seabed1.jpg", {70, 175, 235}},
    {"Salt Water - 2", "water2.jpg", "seabed2.jpg", {30, 95, 175}},
    {"Salt Water - 3", "water3.jpg", "seabed3.jpg", {75, 205, 200}},
    {"Fresh Water - 1", "water4.jpg", "seabed4.jpg", {125, 150, 85}},
    {"Fresh Water - 2", "water5.jpg", "seabed5.jpg", {175, 115, 45}},
    {"Fresh Water - 3", "water6.jpg", "seabed6.jpg", {150, 215, 200}},
};

// Mean colour of a picture of the archive the program carries.
inline TRGB ArchivePictureMean(const std::string& name) {
    static std::map<std::string, TRGB> cache;
    if (auto it = cache.find(name); it != cache.end()) return it->second;
    TResourceFileReader& reader = TheResourceReader();
    reader.ArchiveName = "data.rfa";
    reader.Mode = 3;
    if (!reader.Open(name)) throw std::runtime_error(name + " is not in the archive");
    const std::string bytes = reader.Stream()->ReadRemaining();
    const TPicture p = DecodeJPEG(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size());
    TRGB sum;
    for (int y = 0; y < p.Height; ++y)
        for (int x = 0; x < p.Width; ++x) {
            const TRGBQuad q = p.PixelColor(x, y);
            sum.R += q.Red;
            sum.G += q.Green;
            sum.B += q.Blue;
        }
    const double n = static_cast<double>(p.Width) * p.Height;
    return cache[name] = TRGB{sum.R / n, sum.G / n, sum.B / n};
}

// The surface picture seen through its light layer (the same picture),
// fading into UpColor with distance: in the top tenth of the view about a
// quarter of the way.
inline TRGB ExpectedSurface(const TWaterLook& w) { return Mix(ArchivePictureMean(w.SurfacePicture), w.UpColor, 0.28); }

// The near sea bed carries no fog: its picture modulated by the caustic.
inline TRGB ExpectedSeaBed(const TWaterLook& w) {
    const TRGB bed = ArchivePictureMean(w.SeaBedPicture);
    const double caustic = ArchivePictureMean("caustback.jpg").G / 255.0;
    return {bed.R * caustic, bed.G * caustic, bed.B * caustic};
}

// Bands, as fractions of the height.
constexpr double SurfaceTop = 0.0, SurfaceBottom = 0.10;
constexpr double WaterTop = 0.15, WaterBottom = 0.50;
constexpr double BackgroundTop = 0.55, BackgroundBottom = 0.70;
constexpr double SeaBedTop = 0.85, SeaBedBottom = 1.0;

// The surface, the backdrop with the background picture in front of it, and
// the sea bed, each in its band of every frame.
inline void CheckLayers(const std::vector<TFrame>& frames, int waterIndex, const std::string& where) {
    const TWaterLook& look = Waters[waterIndex];
    const TRGB surface = ExpectedSurface(look), seaBed = ExpectedSeaBed(look);
    for (size_t i = 0; i < frames.size(); ++i) {
        SCOPED_TRACE("frame " + std::to_string(i + 1) + " in " + where);
        const TFrame& f = frames[i];
        const TRGB top = BandMedian(f, f.Row(SurfaceTop), f.Row(SurfaceBottom));
        const TRGB water = BandMedian(f, f.Row(WaterTop), f.Row(WaterBottom));
        const TRGB bottom = BandMedian(f, f.Row(SeaBedTop), f.Row(SeaBedBottom));

        // The surface: this water's picture and fog colour, brighter than
        // the water below it.
        EXPECT_LT(top.MaxDifference(surface), 20) << "surface " << top << ", expected about " << surface;
        for (int other = 0; other < 6; ++other) {
            if (other == waterIndex) continue;
            EXPECT_LT(top.Distance(surface), top.Distance(ExpectedSurface(Waters[other])))
                << "the surface looks more like " << Waters[other].Name << "'s: " << top;
        }
        EXPECT_GT(top.Luminance(), water.Luminance() + 10) << "surface " << top << " over water " << water;

        // The backdrop darkens downward; the background picture in front of
        // it is full of detail.
        EXPECT_GT(water.Luminance(), BandMedian(f, f.Row(BackgroundTop), f.Row(BackgroundBottom)).Luminance());
        EXPECT_GT(Contrast(f, f.Row(BackgroundTop), f.Row(BackgroundBottom)), 1.5) << "no background picture";

        // The near sea bed: its picture under the caustic, textured.
        EXPECT_LT(bottom.MaxDifference(seaBed), 12) << "sea bed " << bottom << ", expected about " << seaBed;
        EXPECT_GT(Contrast(f, f.Row(SeaBedTop), f.Row(SeaBedBottom)), 1.5) << "the sea bed is flat";
        EXPECT_EQ(SeamRow(f), -1) << "a dark seam right across the picture";
    }
}

}  // namespace film_checks
