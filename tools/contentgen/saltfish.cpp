// The salt-water species.
#include "fishkit.h"
#include "groups.h"

#include <cmath>

namespace cg {

namespace {

const Color Black = Rgb(0x111111);
const Color White = Rgb(0xFAFAF6);

FishDesign YellowTang() {
    FishDesign f = NewFishDesign("YellowTang", 0x7A11, 620);
    f.Body = MakeBody({.TopH = 0.31f, .BottomH = 0.29f, .A = 1.0f, .SMax = 0.44f, .TopStalk = 0.07f,
                       .BottomStalk = 0.07f, .MouthY = -0.03f, .HalfWidth = 0.075f});
    const BodyProfile& body = f.Body;
    const Color yellow = Rgb(0xFFD60A), back = Rgb(0xF0BC00), belly = Rgb(0xFFE45C);
    FinColourFn fin = [=](float, float, float e) {
        return WithAlpha(Mix(Rgb(0xFFE030), yellow, Smoothstep(0, 0.03f, e)), 0.93f);
    };
    MedianFin dorsal = DorsalFin(body, {{0.92f, 0}, {0.88f, 0.13f}, {0.78f, 0.2f}, {0.62f, 0.2f}, {0.46f, 0.15f},
                                        {0.33f, 0.07f}, {0.27f, 0}}, fin);
    dorsal.Paint.RaySpacing = 0.05f;
    MedianFin anal = AnalFin(body, {{0.92f, 0}, {0.88f, 0.13f}, {0.76f, 0.19f}, {0.6f, 0.16f}, {0.48f, 0.07f},
                                    {0.44f, 0}}, fin);
    anal.Paint.RaySpacing = 0.05f;
    MedianFin tail = OutlineFin(TailTruncate(0.95f, 0.07f, 0.22f, 0.2f, 0.07f), {0.88f, 0}, fin);
    f.MedianFins = {dorsal, anal, tail};
    PairedFin pect = Pectoral(body, 0.33f, -0.04f, 0.17f, 0.12f, PlainFin(Rgb(0xFFE24A), 0.75f));
    PairedFin pelv = Pelvic(body, 0.36f, 0.12f, 0.07f, fin);
    f.PairedFins = {pect, pelv};
    f.Eye = {0.15f, 0.07f, 0.05f, Rgb(0x3A2E18), Rgb(0x5A4A08)};
    f.BodyColour = [=](const BodyPoint& p) {
        Color c = Countershade(p.t, belly, yellow, back);
        // Faint lengthwise lines typical of tangs.
        float lines = 0.5f + 0.5f * std::sin(p.y * 120 + p.s * 6);
        return Shade(c, 1 - 0.04f * lines);
    };
    f.Decorate = [](FishCanvas& cv) {
        // The white scalpel on the tail stalk, and the mouth.
        cv.Ellipse(Layer::Body, 0.9f, 0.0f, 0.035f, 0.01f, 0.15f, Rgb(0xFFFFFF, 0.95f));
        cv.Line(Layer::Body, {{0.0f, -0.035f}, {0.04f, -0.04f}}, 0.008f, Rgb(0x8A6A00, 0.7f));
    };
    f.ScaleSize = 0.02f;
    f.ScaleContrast = 0.03f;
    return f;
}

FishDesign BlueTang() {
    FishDesign f = NewFishDesign("BlueTang", 0xB1E7, 700);
    f.Body = MakeBody({.TopH = 0.25f, .BottomH = 0.23f, .A = 0.8f, .SMax = 0.42f, .TopStalk = 0.065f,
                       .BottomStalk = 0.065f, .MouthY = -0.02f, .HalfWidth = 0.08f});
    const BodyProfile& body = f.Body;
    const Color blue = Rgb(0x1C5FE0), deep = Rgb(0x1446B0), light = Rgb(0x4A8EF0);
    const Color navy = Rgb(0x070B1C), yellow = Rgb(0xFFD21A);
    FinColourFn fin = RimmedFin(WithAlpha(blue, 0.9f), WithAlpha(navy, 0.97f), 0.03f, WithAlpha(light, 0.6f), 0.006f);
    MedianFin dorsal = DorsalFin(body, {{0.92f, 0}, {0.88f, 0.1f}, {0.7f, 0.11f}, {0.45f, 0.1f}, {0.32f, 0.06f},
                                        {0.28f, 0}}, fin);
    MedianFin anal = AnalFin(body, {{0.92f, 0}, {0.88f, 0.09f}, {0.7f, 0.1f}, {0.55f, 0.07f}, {0.5f, 0}}, fin);
    // Yellow centre, black upper and lower margins.
    MedianFin tail = OutlineFin(TailTruncate(0.95f, 0.065f, 0.26f, 0.21f, 0.1f), {0.9f, 0},
                                [=](float s, float y, float) {
                                    float spread = 0.065f + (s - 0.95f) * 0.55f;
                                    float m = Smoothstep(0.35f, 0.55f, std::fabs(y) / std::max(spread, 0.02f));
                                    float root = Smoothstep(0.96f, 1.0f, s);
                                    return WithAlpha(Mix(navy, Mix(yellow, navy, m), root), 0.95f);
                                });
    f.MedianFins = {dorsal, anal, tail};
    PairedFin pect = Pectoral(body, 0.34f, -0.04f, 0.19f, 0.12f, [=](float a, float, float) {
        return WithAlpha(Mix(blue, yellow, Smoothstep(0.08f, 0.14f, a)), 0.9f);
    });
    PairedFin pelv = Pelvic(body, 0.36f, 0.12f, 0.07f, fin);
    f.PairedFins = {pect, pelv};
    f.Eye = {0.14f, 0.06f, 0.05f, Rgb(0x202030), navy};
    f.BodyColour = [=](const BodyPoint& p) { return Countershade(p.t, light, blue, deep); };
    f.Decorate = [=](FishCanvas& cv) {
        // The dark "palette": a stripe from the eye to the tail with a loop
        // below it enclosing a blue oval.
        cv.Line(Layer::Body, SmoothOpen({{0.1f, 0.07f}, {0.25f, 0.14f}, {0.5f, 0.15f}, {0.75f, 0.09f}, {0.96f, 0.0f}}),
                0.085f, navy);
        cv.Line(Layer::Body,
                SmoothOpen({{0.3f, 0.12f}, {0.42f, 0.02f}, {0.55f, -0.04f}, {0.72f, -0.03f}, {0.86f, 0.01f},
                            {0.96f, 0.0f}}),
                0.055f, navy);
        cv.Disc(Layer::Body, 0.97f, 0.0f, 0.05f, navy);
    };
    f.ScaleSize = 0.02f;
    f.ScaleContrast = 0.03f;
    return f;
}

FishDesign Clown() {
    FishDesign f = NewFishDesign("Clown", 0xC10A, 420);
    f.Body = MakeBody({.TopH = 0.25f, .BottomH = 0.21f, .A = 0.55f, .SMax = 0.36f, .TopStalk = 0.085f,
                       .BottomStalk = 0.085f, .MouthY = -0.02f, .HalfWidth = 0.11f});
    const BodyProfile& body = f.Body;
    const Color orange = Rgb(0xF56A0C), back = Rgb(0xD24A06), belly = Rgb(0xFA8C2E);
    FinColourFn fin = RimmedFin(WithAlpha(Rgb(0xF77818), 0.94f), WithAlpha(Black, 0.97f), 0.028f,
                                WithAlpha(White, 0.8f), 0.007f);
    MedianFin spiny = DorsalFin(body, {{0.57f, 0.03f}, {0.5f, 0.08f}, {0.41f, 0.09f}, {0.33f, 0.07f}, {0.28f, 0}}, fin);
    MedianFin soft = DorsalFin(body, {{0.9f, 0}, {0.87f, 0.11f}, {0.77f, 0.16f}, {0.66f, 0.14f}, {0.57f, 0.05f},
                                      {0.55f, 0}}, fin);
    MedianFin anal = AnalFin(body, {{0.88f, 0}, {0.85f, 0.11f}, {0.75f, 0.15f}, {0.66f, 0.11f}, {0.6f, 0}}, fin);
    MedianFin tail = OutlineFin(TailRounded(0.95f, 0.085f, 0.28f, 0.24f), {0.9f, 0}, fin);
    f.MedianFins = {spiny, soft, anal, tail};
    PairedFin pect = Pectoral(body, 0.3f, -0.06f, 0.2f, 0.15f, fin, 0.8f);
    PairedFin pelv = Pelvic(body, 0.37f, 0.15f, 0.09f, fin);
    f.PairedFins = {pect, pelv};
    f.Eye = {0.13f, 0.06f, 0.055f, Rgb(0xC0500E), Black};
    f.BodyColour = [=](const BodyPoint& p) {
        Color c = Countershade(p.t, belly, orange, back);
        const float aa = p.pixel;
        c = OutlinedBand(c, p.s, p.y, 0.245f, 0.04f, 0.014f, White, Black, aa, 0.05f, 0, 0.25f);
        c = OutlinedBand(c, p.s, p.y, 0.57f, 0.045f, 0.014f, White, Black, aa, 0.07f, 0, 0.25f);
        c = OutlinedBand(c, p.s, p.y, 0.935f, 0.03f, 0.012f, White, Black, aa, 0.0f, 0, 0.25f);
        return c;
    };
    f.ScaleSize = 0.03f;
    f.ScaleContrast = 0.05f;
    return f;
}

FishDesign Auriga() {
    FishDesign f = NewFishDesign("AurigaButterflyfish", 0xA0A1, 580);
    f.Body = MakeBody({.TopH = 0.31f, .BottomH = 0.27f, .A = 1.15f, .SMax = 0.46f, .TopStalk = 0.06f,
                       .BottomStalk = 0.06f, .MouthY = -0.01f, .HalfWidth = 0.07f});
    const BodyProfile& body = f.Body;
    auto T = body.Top;
    const Color white = Rgb(0xF2F1EA), yellow = Rgb(0xFFC81E), line = Rgb(0x3C3A38);
    // Chevron lines on white, yellow towards the rear and the back.
    auto pattern = [=](float s, float y) {
        float front = y - 0.55f * (s - 0.42f);
        float u = front > 0 ? (s + y) : (s - y);
        float l = std::fabs(std::fmod(u / 0.055f + 100.0f, 1.0f) - 0.5f);
        float lineCov = 1 - Smoothstep(0.07f, 0.14f, l);
        Color c = Mix(white, line, lineCov * 0.8f);
        float yel = Smoothstep(0.55f, 0.75f, s + 0.25f * y);
        return Mix(c, Mix(yellow, Shade(yellow, 0.85f), lineCov * 0.5f), yel);
    };
    FinColourFn fin = PatternFin(pattern, 0.92f);
    MedianFin dorsal = DorsalFin(
        body, {{0.93f, 0}, {0.92f, 0.1f}, {0.84f, 0.15f}, {0.68f, 0.13f}, {0.5f, 0.11f}, {0.35f, 0.07f}, {0.28f, 0}},
        [=](float s, float y, float e) {
            Color c = pattern(s, y);
            // Black eyespot on the soft dorsal.
            float d = std::hypot(s - 0.86f, y - (T(0.86f) + 0.065f));
            c = Mix(c, Rgb(0x101010), 1 - Smoothstep(0.03f, 0.036f, d));
            c = Mix(Rgb(0xFFE070), c, Smoothstep(0, 0.02f, e));
            return WithAlpha(c, 0.92f);
        });
    MedianFin thread = Filament({{0.88f, T(0.88f) + 0.12f}, {0.98f, T(0.9f) + 0.14f}, {1.12f, T(0.9f) + 0.1f}}, 0.03f,
                                0.005f, {0.9f, T(0.9f)}, 8, 2, PlainFin(Rgb(0xF2E8C0), 0.85f));
    thread.Paint.EdgeFade = 0.006f;
    MedianFin anal = AnalFin(
        body, {{0.93f, 0}, {0.9f, 0.11f}, {0.78f, 0.15f}, {0.64f, 0.12f}, {0.55f, 0}},
        [=](float, float, float e) {
            return WithAlpha(Mix(Rgb(0xFFD040), Rgb(0x303030), 1 - Smoothstep(0.02f, 0.03f, e)), 0.92f);
        });
    MedianFin tail = OutlineFin(TailTruncate(0.95f, 0.06f, 0.2f, 0.16f, 0.0f), {0.9f, 0}, [=](float s, float, float) {
        Color c = Mix(Rgb(0xFFD040), Rgb(0x202020), Band(s, 1.08f, 0.012f, 0.006f));
        return WithAlpha(Mix(c, Rgb(0xE8E8E0), Smoothstep(1.1f, 1.13f, s)), Mix(0.9f, 0.45f, Smoothstep(1.1f, 1.13f, s)));
    });
    f.MedianFins = {dorsal, thread, anal, tail};
    PairedFin pect = Pectoral(body, 0.34f, -0.05f, 0.17f, 0.11f, PlainFin(Rgb(0xF0F0E6), 0.5f));
    PairedFin pelv = Pelvic(body, 0.38f, 0.13f, 0.07f, PlainFin(Rgb(0xFFF4D0), 0.85f));
    f.PairedFins = {pect, pelv};
    f.Eye = {0.15f, 0.07f, 0.045f, Rgb(0x181818), Rgb(0x101010)};
    f.BodyColour = [=](const BodyPoint& p) {
        Color c = pattern(p.s, p.y);
        // Black bar through the eye.
        float bar = VBand(p.s, p.y, 0.15f, 0.035f, p.pixel, 0.0f, -0.12f);
        return Mix(c, Rgb(0x141414), bar * Smoothstep(-0.25f, -0.2f, p.y - p.bottom - 0.02f));
    };
    f.ScaleSize = 0.025f;
    f.ScaleContrast = 0.04f;
    return f;
}

FishDesign Angelfish() {
    FishDesign f = NewFishDesign("Angelfish", 0xA4E1, 800);
    f.Body = MakeBody({.TopH = 0.28f, .BottomH = 0.26f, .A = 0.75f, .SMax = 0.42f, .TopStalk = 0.08f,
                       .BottomStalk = 0.08f, .MouthY = -0.02f, .HalfWidth = 0.08f});
    const BodyProfile& body = f.Body;
    const Color violet = Rgb(0x1A2890), yellow = Rgb(0xFFD42A), pale = Rgb(0xBFE4F5);
    const Color mask = Rgb(0x070A2A), edge = Rgb(0x58C8F5);
    auto stripes = [=](float s, float y) {
        // Lengthwise yellow stripes rising slightly towards the tail.
        float u = (y - 0.12f * (s - 0.5f)) / 0.045f;
        float l = std::fabs(std::fmod(u + 100.0f, 1.0f) - 0.5f);
        return Mix(yellow, violet, Smoothstep(0.18f, 0.26f, l));
    };
    MedianFin dorsal = DorsalFin(
        body, {{0.93f, 0}, {0.93f, 0.1f}, {0.85f, 0.16f}, {0.68f, 0.13f}, {0.45f, 0.09f}, {0.32f, 0}},
        [=](float s, float y, float e) {
            Color c = stripes(s, y);
            return WithAlpha(Mix(Rgb(0xF0F4FF), c, Smoothstep(0.005f, 0.015f, e)), 0.95f);
        });
    MedianFin anal = AnalFin(
        body, {{0.93f, 0}, {0.92f, 0.1f}, {0.82f, 0.16f}, {0.64f, 0.13f}, {0.5f, 0}},
        [=](float s, float y, float e) {
            float arcs = std::fabs(std::fmod((std::hypot(s - 0.55f, y - 0.0f)) / 0.05f, 1.0f) - 0.5f);
            Color c = Mix(edge, Rgb(0x101850), Smoothstep(0.1f, 0.2f, arcs));
            return WithAlpha(Mix(edge, c, Smoothstep(0.005f, 0.015f, e)), 0.95f);
        });
    MedianFin tail = OutlineFin(TailRounded(0.95f, 0.08f, 0.22f, 0.21f), {0.9f, 0},
                                RimmedFin(WithAlpha(Rgb(0xFFB81A), 0.95f), WithAlpha(Rgb(0xFFD860), 0.8f), 0.012f));
    f.MedianFins = {dorsal, anal, tail};
    PairedFin pect = Pectoral(body, 0.36f, -0.03f, 0.19f, 0.13f, [=](float a, float, float) {
        return WithAlpha(Mix(Rgb(0x0C1040), Rgb(0xFFD030), Smoothstep(0.11f, 0.16f, a)), 0.93f);
    });
    PairedFin pelv = Pelvic(body, 0.38f, 0.14f, 0.08f,
                            RimmedFin(WithAlpha(Rgb(0x18207A), 0.95f), WithAlpha(edge, 0.95f), 0.012f));
    f.PairedFins = {pect, pelv};
    f.Eye = {0.15f, 0.07f, 0.045f, Rgb(0x403010), mask};
    f.BodyColour = [=](const BodyPoint& p) {
        Color c = stripes(p.s, p.y);
        // Pale face, dark mask over the eye edged with light blue.
        c = Mix(c, pale, 1 - Smoothstep(0.2f, 0.3f, p.s + 0.15f * p.y));
        c = OutlinedBand(c, p.s, p.y, 0.15f, 0.05f, 0.015f, mask, edge, p.pixel, 0.0f, -0.35f);
        // Dark shoulder band behind the gill cover, blue edged.
        return OutlinedBand(c, p.s, p.y, 0.33f, 0.035f, 0.015f, mask, edge, p.pixel, 0.04f, 0.1f);
    };
    f.ScaleSize = 0.025f;
    f.ScaleContrast = 0.04f;
    return f;
}

FishDesign MoorishIdol() {
    FishDesign f = NewFishDesign("MoorishIdol", 0x1D01, 640);
    // A tall disc with a tubular snout: the forehead rises steeply behind it.
    BodyProfile& body = f.Body;
    body.Top = [](float s) {
        float disc = HalfProfile(s, 0.45f, 1.5f, 0.4f, 0.05f);
        float tube = 0.035f + 0.1f * std::max(0.0f, s - 0.05f);
        return std::max(disc, tube * (1 - Smoothstep(0.3f, 0.5f, s)));
    };
    body.Bottom = [](float s) {
        float disc = HalfProfile(s, 0.4f, 1.4f, 0.45f, 0.05f);
        float tube = 0.03f + 0.08f * std::max(0.0f, s - 0.05f);
        return -std::max(disc, tube * (1 - Smoothstep(0.3f, 0.5f, s)));
    };
    body.Width = [](float s) { return std::max(0.01f, HalfProfile(s, 0.07f, 0.8f, 0.4f, 0.02f)); };
    auto T = body.Top;
    const Color white = Rgb(0xF4F2E8), yellow = Rgb(0xF8D020), black = Rgb(0x0C0C0C);
    // Bands: one through the eye, a broad one over the rear body and fins.
    auto pattern = [=](float s, float y) {
        float warm = Smoothstep(0.55f, 0.72f, s);
        Color c = Mix(white, yellow, warm * 0.9f);
        float b1 = VBand(s, y, 0.27f, 0.075f, 0.004f, 0, -0.12f);
        float b2 = VBand(s, y, 0.62f, 0.1f, 0.004f, 0, -0.2f);
        float b2edge = VBand(s, y, 0.62f, 0.115f, 0.004f, 0, -0.2f);
        c = Mix(c, white, b2edge);
        c = Mix(c, black, std::max(b1, b2));
        return c;
    };
    MedianFin dorsal = DorsalFin(body, {{0.9f, 0}, {0.82f, 0.1f}, {0.66f, 0.2f}, {0.5f, 0.32f}, {0.4f, 0.3f},
                                        {0.34f, 0.1f}, {0.33f, 0}}, PatternFin(pattern, 0.95f));
    MedianFin streamer = Filament({{0.42f, T(0.42f) + 0.25f}, {0.5f, T(0.5f) + 0.45f}, {0.7f, T(0.5f) + 0.6f},
                                   {0.95f, T(0.5f) + 0.58f}, {1.12f, T(0.5f) + 0.48f}},
                                  0.05f, 0.006f, {0.5f, T(0.5f)}, 16, 2, PlainFin(Rgb(0xF6F4EC), 0.95f));
    streamer.Paint.EdgeFade = 0.006f;
    streamer.Paint.RayStrength = 0.1f;
    MedianFin anal = AnalFin(body, {{0.9f, 0}, {0.82f, 0.1f}, {0.66f, 0.2f}, {0.52f, 0.25f}, {0.46f, 0.12f},
                                    {0.45f, 0}}, PatternFin(pattern, 0.95f));
    MedianFin tail = OutlineFin(TailTruncate(0.95f, 0.05f, 0.2f, 0.16f, 0.05f), {0.9f, 0},
                                RimmedFin(WithAlpha(black, 0.96f), WithAlpha(Rgb(0xF0F0F0), 0.9f), 0.018f));
    f.MedianFins = {dorsal, anal, streamer, tail};
    PairedFin pect = Pectoral(body, 0.4f, -0.05f, 0.16f, 0.1f, PlainFin(Rgb(0xF4F0D8), 0.55f));
    PairedFin pelv = Pelvic(body, 0.36f, 0.13f, 0.06f, PlainFin(black, 0.95f));
    f.PairedFins = {pect, pelv};
    f.Eye = {0.25f, 0.1f, 0.04f, Rgb(0x202020), black};
    f.BodyColour = [=](const BodyPoint& p) {
        Color c = pattern(p.s, p.y);
        // Orange saddle on the snout.
        float saddle = Band(p.s, 0.12f, 0.05f, 0.01f) * Smoothstep(0.0f, 0.03f, p.y);
        return Mix(c, Rgb(0xF07A1A), saddle);
    };
    f.ScaleSize = 0.0f;
    return f;
}

FishDesign Copperband() {
    FishDesign f = NewFishDesign("CopperbandButterflyfish", 0xC0BB, 560);
    // A long thin beak, then the deep disc.
    BodyProfile& body = f.Body;
    auto disc = [](float s) { return std::max(0.0f, (s - 0.16f) / 0.84f); };
    body.Top = [disc](float s) {
        float beak = 0.022f + 0.04f * s;
        return std::max(HalfProfile(disc(s), 0.34f, 0.8f, 0.42f, 0.06f), beak * (1 - Smoothstep(0.2f, 0.35f, s)));
    };
    body.Bottom = [disc](float s) {
        float beak = 0.018f + 0.03f * s;
        return -std::max(HalfProfile(disc(s), 0.31f, 0.8f, 0.45f, 0.06f), beak * (1 - Smoothstep(0.2f, 0.35f, s)));
    };
    body.Width = [disc](float s) {
        return std::max(0.012f, HalfProfile(disc(s), 0.07f, 0.8f, 0.4f, 0.02f));
    };
    auto T = body.Top;
    const Color silver = Rgb(0xF3F2EC), copper = Rgb(0xEE7A18), black = Rgb(0x151515);
    auto band = [=](Color c, float s, float y, float centre, float hw, float tilt) {
        return OutlinedBand(c, s, y, centre, hw, 0.009f, copper, black, 0.003f, 0.02f, tilt, 0.3f);
    };
    auto pattern = [=](float s, float y) {
        Color c = silver;
        c = band(c, s, y, 0.27f, 0.032f, -0.05f);
        c = band(c, s, y, 0.5f, 0.045f, -0.1f);
        c = band(c, s, y, 0.76f, 0.045f, -0.15f);
        c = Mix(c, black, VBand(s, y, 0.975f, 0.02f, 0.003f));
        return c;
    };
    MedianFin dorsal = DorsalFin(
        body, {{0.94f, 0}, {0.94f, 0.1f}, {0.86f, 0.15f}, {0.7f, 0.12f}, {0.5f, 0.09f}, {0.38f, 0}},
        [=](float s, float y, float e) {
            Color c = pattern(s, y);
            // Ocellus: black spot ringed white.
            float d = std::hypot(s - 0.88f, y - (T(0.88f) + 0.075f));
            c = Mix(c, White, 1 - Smoothstep(0.034f, 0.04f, d));
            c = Mix(c, black, 1 - Smoothstep(0.024f, 0.03f, d));
            c = Mix(Rgb(0xF8F8F0), c, Smoothstep(0.0f, 0.012f, e));
            return WithAlpha(c, 0.93f);
        });
    MedianFin anal = AnalFin(body, {{0.94f, 0}, {0.93f, 0.1f}, {0.82f, 0.14f}, {0.65f, 0.1f}, {0.55f, 0}},
                             PatternFin(pattern, 0.93f));
    MedianFin tail = OutlineFin(TailTruncate(0.96f, 0.06f, 0.2f, 0.15f, 0.0f), {0.9f, 0}, [=](float s, float, float) {
        return WithAlpha(Mix(Rgb(0xE8E6DA), black, Band(s, 1.0f, 0.012f, 0.005f)), Mix(0.85f, 0.4f, Smoothstep(1.0f, 1.14f, s)));
    });
    f.MedianFins = {dorsal, anal, tail};
    PairedFin pect = Pectoral(body, 0.42f, -0.06f, 0.15f, 0.1f, PlainFin(Rgb(0xF2F0E6), 0.45f));
    PairedFin pelv = Pelvic(body, 0.45f, 0.13f, 0.06f, PlainFin(copper, 0.9f));
    f.PairedFins = {pect, pelv};
    f.Eye = {0.27f, 0.06f, 0.035f, Rgb(0x201810), black};
    f.BodyColour = [=](const BodyPoint& p) {
        Color c = pattern(p.s, p.y);
        // Yellow-orange beak with a darker line along its top.
        float beak = 1 - Smoothstep(0.16f, 0.22f, p.s);
        c = Mix(c, Rgb(0xF4A030), beak);
        return Mix(c, copper, beak * Smoothstep(0.55f, 0.8f, p.t));
    };
    f.ScaleSize = 0.025f;
    f.ScaleContrast = 0.04f;
    return f;
}

FishDesign RoyalGramma() {
    FishDesign f = NewFishDesign("RoyalGramma", 0x6A11, 380);
    f.Body = MakeBody({.TopH = 0.16f, .BottomH = 0.15f, .A = 0.6f, .SMax = 0.35f, .TopStalk = 0.075f,
                       .BottomStalk = 0.075f, .MouthY = 0.0f, .HalfWidth = 0.075f});
    const BodyProfile& body = f.Body;
    auto T = body.Top;
    const Color purple = Rgb(0x9A24C8), deep = Rgb(0x6E1296), yellow = Rgb(0xFFC20E);
    auto blend = [=](float s, float y) {
        // Purple front, yellow rear, with a ragged meeting zone.
        float n = Fbm(s * 14, y * 14, 3, 7) - 0.5f;
        return Smoothstep(0.44f, 0.6f, s + 0.14f * n - 0.08f * y);
    };
    MedianFin dorsal = DorsalFin(
        body, {{0.95f, 0}, {0.93f, 0.09f}, {0.75f, 0.08f}, {0.5f, 0.07f}, {0.34f, 0.06f}, {0.3f, 0}},
        [=](float s, float y, float e) {
            Color c = Mix(purple, yellow, blend(s, y));
            float d = std::hypot(s - 0.37f, y - (T(0.37f) + 0.035f));
            c = Mix(c, Rgb(0x0A0A0A), 1 - Smoothstep(0.022f, 0.028f, d));
            return WithAlpha(Mix(Shade(c, 1.2f), c, Smoothstep(0, 0.015f, e)), 0.9f);
        });
    FinColourFn blended = [=](float s, float y, float) { return WithAlpha(Mix(purple, yellow, blend(s, y)), 0.9f); };
    MedianFin anal = AnalFin(body, {{0.95f, 0}, {0.94f, 0.09f}, {0.75f, 0.08f}, {0.58f, 0.06f}, {0.55f, 0}}, blended);
    MedianFin tail = OutlineFin(TailForked(0.96f, 0.075f, 0.24f, 0.17f, 0.16f), {0.9f, 0}, PlainFin(yellow, 0.9f));
    f.MedianFins = {dorsal, anal, tail};
    PairedFin pect = Pectoral(body, 0.3f, -0.03f, 0.14f, 0.09f, PlainFin(Rgb(0xE8B0F0), 0.5f));
    PairedFin pelv = Pelvic(body, 0.32f, 0.18f, 0.05f, PlainFin(purple, 0.92f));
    f.PairedFins = {pect, pelv};
    f.Eye = {0.12f, 0.04f, 0.045f, Rgb(0x2A1A30), Rgb(0x30103A)};
    f.BodyColour = [=](const BodyPoint& p) {
        Color c = Mix(Countershade(p.t, purple, purple, deep), yellow, blend(p.s, p.y));
        return c;
    };
    f.Decorate = [=](FishCanvas& cv) {
        // Yellow lines across the head through the eye.
        cv.Line(Layer::Body, {{0.02f, 0.0f}, {0.12f, 0.085f}, {0.2f, 0.13f}}, 0.01f, Rgb(0xFFD040, 0.95f));
        cv.Line(Layer::Body, {{0.03f, -0.03f}, {0.12f, 0.0f}, {0.21f, 0.03f}}, 0.01f, Rgb(0xFFD040, 0.95f));
    };
    f.ScaleSize = 0.035f;
    f.ScaleContrast = 0.08f;
    return f;
}

FishDesign Mandarin() {
    FishDesign f = NewFishDesign("Mandarin", 0x3A4D, 400);
    f.Body = MakeBody({.TopH = 0.17f, .BottomH = 0.13f, .A = 0.45f, .SMax = 0.3f, .TopStalk = 0.06f,
                       .BottomStalk = 0.06f, .MouthY = -0.04f, .HalfWidth = 0.12f, .WidthSMax = 0.25f});
    const BodyProfile& body = f.Body;
    const Color orange = Rgb(0xF05A14), blue = Rgb(0x1B9BE8), teal = Rgb(0x18C8B0), dark = Rgb(0x0A2A6A);
    // Swirling maze: contour bands of warped noise, blue with dark rims on
    // orange.
    auto maze = [=](float s, float y) {
        float wx = s + 0.06f * Fbm(s * 5, y * 5, 3, 11);
        float wy = y + 0.06f * Fbm(s * 5 + 5, y * 5, 3, 12);
        float n = Fbm(wx * 4.5f, wy * 6.0f, 3, 14);
        float v = std::sin(n * 2 * Pi * 4.5f);
        float band = Smoothstep(-0.35f, -0.15f, v);
        float rim = (1 - Smoothstep(0.0f, 0.3f, std::fabs(v + 0.35f))) * 0.85f;
        Color bc = Mix(blue, teal, Fbm(s * 4, y * 4, 2, 13));
        Color c = Mix(orange, bc, band);
        return Mix(c, dark, rim);
    };
    MedianFin spiny = DorsalFin(
        body, {{0.46f, 0}, {0.46f, 0.12f}, {0.42f, 0.22f}, {0.34f, 0.2f}, {0.3f, 0.05f}, {0.3f, 0}},
        [=](float s, float y, float e) {
            Color c = Mix(Rgb(0x0E5AA8), orange, Band(std::sin(s * 90 + y * 20), 1, 0.35f, 0.15f));
            return WithAlpha(Mix(teal, c, Smoothstep(0, 0.015f, e)), 0.92f);
        });
    MedianFin soft = DorsalFin(
        body, {{0.9f, 0}, {0.88f, 0.1f}, {0.7f, 0.11f}, {0.52f, 0.09f}, {0.5f, 0}},
        [=](float s, float y, float e) {
            return WithAlpha(Mix(blue, maze(s, y), Smoothstep(0.005f, 0.02f, e)), 0.9f);
        });
    MedianFin anal = AnalFin(body, {{0.9f, 0}, {0.88f, 0.09f}, {0.65f, 0.1f}, {0.53f, 0.07f}, {0.52f, 0}},
                             soft.Paint.Colour);
    MedianFin tail = OutlineFin(TailRounded(0.95f, 0.06f, 0.3f, 0.21f), {0.9f, 0}, [=](float s, float y, float e) {
        float r = std::atan2(y, s - 0.9f);
        Color c = Mix(orange, blue, Band(std::sin(r * 18), 1, 0.5f, 0.2f));
        return WithAlpha(Mix(teal, c, Smoothstep(0.005f, 0.02f, e)), 0.9f);
    });
    f.MedianFins = {spiny, soft, anal, tail};
    PairedFin pect = Pectoral(body, 0.3f, -0.02f, 0.2f, 0.16f, PlainFin(Rgb(0xF8D080), 0.45f), 1.0f);
    PairedFin pelv = Pelvic(body, 0.26f, 0.16f, 0.1f, [=](float a, float c, float e) {
        return WithAlpha(Mix(blue, maze(a * 2, c * 2), Smoothstep(0.005f, 0.02f, e)), 0.92f);
    });
    f.PairedFins = {pect, pelv};
    f.Eye = {0.12f, 0.09f, 0.055f, Rgb(0xE04A10), Rgb(0x0A3A8A)};
    f.BodyColour = [=](const BodyPoint& p) { return maze(p.s, p.y); };
    f.ScaleSize = 0.0f;
    f.Shading = 0.3f;
    return f;
}

FishDesign Lionfish() {
    FishDesign f = NewFishDesign("Lionfish", 0x11F0, 800);
    f.Body = MakeBody({.TopH = 0.2f, .BottomH = 0.17f, .A = 0.6f, .SMax = 0.33f, .TopStalk = 0.07f,
                       .BottomStalk = 0.07f, .MouthY = -0.02f, .HalfWidth = 0.1f});
    const BodyProfile& body = f.Body;
    auto T = body.Top;
    const Color red = Rgb(0x8E1C12), cream = Rgb(0xF6E8D6), dark = Rgb(0x3A0A06);
    // Zebra stripes, finer on the head, tilted.
    auto zebra = [=](float s, float y) {
        float u = s + 0.12f * y;
        float freq = Mix(58.0f, 38.0f, Smoothstep(0.1f, 0.5f, s));
        float v = std::sin(u * freq + 0.6f * std::sin(y * 12));
        return Mix(cream, red, Smoothstep(-0.25f, 0.25f, v));
    };
    // Tall separate spines banded red and white, joined low down by a
    // scalloped membrane.
    const int count = 12;
    std::vector<MedianFin> spines;
    std::vector<V2> membrane = {{0.23f, T(0.23f) - 0.03f}};
    for (int i = 0; i < count; ++i) {
        float s0 = 0.25f + 0.031f * static_cast<float>(i);
        float h = 0.1f + 0.34f * std::sin(Pi * (0.2f + 0.7f * static_cast<float>(i) / count));
        MedianFin spine = Filament({{s0, T(s0) - 0.02f}, {s0 + 0.03f, T(s0) + 0.5f * h}, {s0 + 0.07f, T(s0) + h}},
                                   0.016f, 0.004f, {s0, T(s0) - 0.2f}, 3, 6, [=](float, float y, float) {
                                       float band = std::sin((y - T(s0)) * 75);
                                       return WithAlpha(Mix(cream, red, Smoothstep(-0.3f, 0.3f, band)), 0.97f);
                                   });
        spine.Paint.EdgeFade = 0.004f;
        spine.Paint.RayStrength = 0;
        spines.push_back(spine);
        membrane.push_back({s0 + 0.028f, T(s0) + 0.45f * h});
        membrane.push_back({s0 + 0.04f, T(s0) + 0.2f * h});
    }
    membrane.push_back({0.63f, T(0.63f) + 0.02f});
    for (int i = 0; i <= 10; ++i) {
        float s = 0.63f - 0.4f * static_cast<float>(i) / 10;
        membrane.push_back({s, T(s) - 0.03f});
    }
    MedianFin spiny;
    spiny.Paint.Outline = membrane;
    spiny.Paint.RayFocus = {0.45f, T(0.45f) - 0.6f};
    spiny.Paint.RaySpacing = 0.02f;
    spiny.Paint.RayStrength = 0.2f;
    spiny.Paint.EdgeFade = 0.02f;
    spiny.Paint.Colour = PlainFin(Rgb(0xE8D8C8), 0.45f);
    spiny.Columns = 20;
    spiny.Rows = 3;
    FinColourFn spotted = [=](float s, float y, float e) {
        float f1, f2;
        PeriodicWorley(s * 30, y * 30, 1 << 12, 1 << 12, 31, f1, f2);
        float spot = 1 - Smoothstep(0.22f, 0.3f, f1);
        return WithAlpha(Mix(Rgb(0xF0E6D8), dark, spot), Mix(0.35f, 0.9f, spot) * Smoothstep(0, 0.01f, e));
    };
    MedianFin soft = DorsalFin(body, {{0.92f, 0}, {0.9f, 0.12f}, {0.78f, 0.15f}, {0.65f, 0.12f}, {0.6f, 0}}, spotted);
    MedianFin anal = AnalFin(body, {{0.9f, 0}, {0.88f, 0.12f}, {0.76f, 0.15f}, {0.65f, 0.1f}, {0.62f, 0}}, spotted);
    MedianFin tail = OutlineFin(TailRounded(0.95f, 0.07f, 0.28f, 0.2f), {0.9f, 0}, spotted);
    MedianFin tentacle =
        Filament({{0.12f, T(0.12f) - 0.02f}, {0.11f, T(0.12f) + 0.06f}, {0.08f, T(0.12f) + 0.13f}}, 0.02f, 0.006f,
                 {0.12f, T(0.12f) - 0.1f}, 3, 4, [=](float, float y, float) {
                     return WithAlpha(Mix(cream, red, Smoothstep(-0.3f, 0.3f, std::sin(y * 90))), 0.95f);
                 });
    f.MedianFins = {spiny, soft, anal, tail, tentacle};
    f.MedianFins.insert(f.MedianFins.end(), spines.begin(), spines.end());
    // The great fan of the pectoral fins: long rays with banded membranes.
    FinColourFn fan = [=](float a, float c, float) {
        float r = std::hypot(a + 0.15f, c);
        float band = std::sin(r * 45);
        return WithAlpha(Mix(Rgb(0xF0DCC8), Rgb(0x9A2A1A), Smoothstep(-0.1f, 0.3f, band)), 0.7f);
    };
    PairedFin pect = Pectoral(body, 0.32f, -0.05f, 0.55f, 0.32f, fan, 1.0f);
    pect.Paint.RaySpacing = 0.06f;
    pect.Paint.RayStrength = 0.6f;
    pect.Paint.EdgeFade = 0.06f;
    pect.Columns = 6;
    pect.Rows = 5;
    PairedFin pelv = Pelvic(body, 0.36f, 0.24f, 0.1f, [=](float a, float c, float) {
        float f1, f2;
        PeriodicWorley(a * 40, c * 40, 1 << 12, 1 << 12, 33, f1, f2);
        float spot = 1 - Smoothstep(0.2f, 0.28f, f1);
        return WithAlpha(Mix(Rgb(0x2A1410), Rgb(0xF4F0F0), spot), 0.9f);
    });
    f.PairedFins = {pect, pelv};
    f.Eye = {0.13f, 0.06f, 0.045f, Rgb(0x8A2A10), dark};
    f.BodyColour = [=](const BodyPoint& p) {
        Color c = zebra(p.s, p.y);
        return Mix(c, Shade(c, 1.1f), 1 - p.t);
    };
    f.ScaleSize = 0.0f;
    return f;
}

FishDesign PicassoTrigger() {
    FishDesign f = NewFishDesign("PicassoTriggerfish", 0x91CA, 660);
    f.Body = MakeBody({.TopH = 0.26f, .BottomH = 0.25f, .A = 1.05f, .SMax = 0.48f, .TopStalk = 0.06f,
                       .BottomStalk = 0.06f, .MouthY = 0.02f, .HalfWidth = 0.09f});
    const BodyProfile& body = f.Body;
    const Color tan = Rgb(0xC8B088), sand = Rgb(0xDCCBA6), white = Rgb(0xF2F0EA);
    const Color blue = Rgb(0x2B6FE0), black = Rgb(0x161210), orange = Rgb(0xF08A20);
    MedianFin trigger = DorsalFin(body, {{0.42f, 0}, {0.4f, 0.03f}, {0.35f, 0.08f}, {0.34f, 0}},
                                  PlainFin(Rgb(0x6A5A40), 0.95f));
    trigger.Columns = 4;
    MedianFin dorsal = DorsalFin(body, {{0.9f, 0}, {0.88f, 0.1f}, {0.76f, 0.15f}, {0.64f, 0.12f}, {0.6f, 0}},
                                 PlainFin(Rgb(0xE6E0D0), 0.5f));
    MedianFin anal = AnalFin(body, {{0.9f, 0}, {0.88f, 0.1f}, {0.76f, 0.15f}, {0.64f, 0.12f}, {0.6f, 0}},
                             dorsal.Paint.Colour);
    MedianFin tail = OutlineFin(TailRounded(0.95f, 0.06f, 0.2f, 0.16f), {0.9f, 0},
                                RimmedFin(WithAlpha(Rgb(0xD8D0C0), 0.6f), WithAlpha(Rgb(0x3A3020), 0.9f), 0.01f));
    f.MedianFins = {trigger, dorsal, anal, tail};
    PairedFin pect = Pectoral(body, 0.4f, -0.02f, 0.13f, 0.09f, PlainFin(Rgb(0xF0E8D0), 0.5f));
    f.PairedFins = {pect};
    f.Eye = {0.28f, 0.12f, 0.04f, Rgb(0xB06020), Rgb(0x303020)};
    f.BodyColour = [=](const BodyPoint& p) {
        Color c = Mix(white, Mix(sand, tan, p.t), Smoothstep(0.42f, 0.55f, p.t));
        return c;
    };
    f.Decorate = [=](FishCanvas& cv) {
        // Black diagonal wedge over the rear flank with blue and white stripes.
        cv.Polygon(Layer::Body,
                   SmoothClosed({{0.46f, 0.12f}, {0.62f, 0.08f}, {0.8f, -0.06f}, {0.66f, -0.22f}, {0.52f, -0.16f},
                                 {0.44f, 0.0f}},
                                6),
                   black);
        for (int i = 0; i < 4; ++i) {
            float o = 0.05f * static_cast<float>(i);
            cv.Line(Layer::Body, {{0.5f + o, -0.17f}, {0.62f + o, 0.04f - 0.02f * i}}, 0.012f, Rgb(0x4A8AF0));
            cv.Line(Layer::Body, {{0.525f + o, -0.18f}, {0.645f + o, 0.03f - 0.02f * i}}, 0.006f, Rgb(0xF0F0F0, 0.9f));
        }
        // Bars from the eye down to the pectoral base.
        const float dx = 0.035f;
        for (int i = 0; i < 3; ++i) {
            float o = dx * static_cast<float>(i);
            Color c = i == 1 ? black : blue;
            cv.Line(Layer::Body, {{0.25f + o, 0.2f}, {0.3f + o, 0.05f}, {0.37f + o, -0.06f}}, 0.022f,
                    Rgb(0xF8D030, 0.9f));
            cv.Line(Layer::Body, {{0.25f + o, 0.2f}, {0.3f + o, 0.05f}, {0.37f + o, -0.06f}}, 0.013f, c);
        }
        // Lines across the top of the head.
        for (int i = 0; i < 3; ++i) {
            float o = 0.03f * static_cast<float>(i);
            cv.Line(Layer::Body, {{0.12f + o, 0.16f + 0.6f * o}, {0.2f + o, 0.22f + 0.3f * o}}, 0.01f, blue);
        }
        // Orange "lip" line from the mouth back to the pectoral.
        cv.Line(Layer::Body, SmoothOpen({{0.0f, 0.01f}, {0.12f, -0.04f}, {0.25f, -0.07f}, {0.38f, -0.07f}}), 0.02f,
                orange);
        cv.Line(Layer::Body, SmoothOpen({{0.0f, 0.01f}, {0.12f, -0.04f}, {0.25f, -0.07f}, {0.38f, -0.07f}}), 0.006f,
                Rgb(0x3060C0, 0.8f));
        // Black tail stalk patch with rows of spines.
        cv.Polygon(Layer::Body, SmoothClosed({{0.82f, 0.02f}, {0.93f, 0.06f}, {0.99f, 0.0f}, {0.93f, -0.06f}, {0.84f, -0.05f}}, 4),
                   black);
        for (int i = 0; i < 3; ++i) {
            float y = -0.025f + 0.025f * static_cast<float>(i);
            cv.Line(Layer::Body, {{0.86f, y}, {0.95f, y}}, 0.004f, Rgb(0xE0E0E0, 0.7f));
        }
    };
    f.ScaleSize = 0.03f;
    f.ScaleContrast = 0.06f;
    return f;
}

}  // namespace

std::vector<FishDesign> SaltWaterFish() {
    return {YellowTang(), BlueTang(),  Clown(),    Auriga(),   Angelfish(),     MoorishIdol(),
            Copperband(), RoyalGramma(), Mandarin(), Lionfish(), PicassoTrigger()};
}

void GenerateSaltWaterFish(ContentSink& sink) { PutFishDesigns(sink, SaltWaterFish()); }

}  // namespace cg
