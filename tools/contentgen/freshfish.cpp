// The fresh-water species.
#include "fishkit.h"
#include "groups.h"

#include <cmath>

namespace cg {

namespace {

const Color Black = Rgb(0x101010);

FishDesign RedOscar() {
    FishDesign f = NewFishDesign("RedOscar", 0x05CA, 850);
    f.Body = MakeBody({.TopH = 0.25f, .BottomH = 0.22f, .A = 0.55f, .SMax = 0.38f, .TopStalk = 0.1f,
                       .BottomStalk = 0.1f, .MouthY = -0.04f, .HalfWidth = 0.12f});
    const BodyProfile& body = f.Body;
    const Color dark = Rgb(0x2A2620), olive = Rgb(0x4A4434), red = Rgb(0xE4420E), orange = Rgb(0xF47A1E);
    // Red marbling over a dark base, heavier on the lower flanks.
    auto marble = [=](float s, float y) {
        float n = Fbm(s * 7 + 3, y * 7, 4, 41);
        float w = Fbm(s * 3, y * 3 + 7, 2, 42);
        float amount = n + 0.35f * (0.1f - y) + 0.25f * (w - 0.5f);
        float k = Smoothstep(0.5f, 0.56f, amount);
        Color base = Mix(dark, olive, Fbm(s * 12, y * 12, 2, 43));
        return Mix(base, Mix(red, orange, Fbm(s * 9, y * 9, 2, 44)), k);
    };
    MedianFin dorsal = DorsalFin(
        body, {{0.94f, 0}, {0.94f, 0.12f}, {0.85f, 0.16f}, {0.65f, 0.11f}, {0.4f, 0.08f}, {0.3f, 0}},
        [=](float s, float y, float e) {
            return WithAlpha(Mix(Rgb(0x5A2A18), Mix(dark, marble(s, y), 0.35f), Smoothstep(0, 0.02f, e)), 0.9f);
        });
    MedianFin anal = AnalFin(body, {{0.94f, 0}, {0.93f, 0.12f}, {0.82f, 0.15f}, {0.68f, 0.11f}, {0.62f, 0}},
                             dorsal.Paint.Colour);
    MedianFin tail = OutlineFin(TailRounded(0.95f, 0.1f, 0.28f, 0.25f), {0.9f, 0}, [=](float s, float y, float e) {
        // The ocellus at the tail base: black spot ringed orange.
        float d = std::hypot(s - 1.0f, y - 0.03f);
        Color c = Mix(Rgb(0x2E2A22), Rgb(0x5A3018), Smoothstep(0.0f, 0.03f, -e + 0.03f));
        c = Mix(c, orange, 1 - Smoothstep(0.058f, 0.066f, d));
        c = Mix(c, Black, 1 - Smoothstep(0.04f, 0.048f, d));
        return WithAlpha(c, 0.9f);
    });
    f.MedianFins = {dorsal, anal, tail};
    PairedFin pect = Pectoral(body, 0.3f, -0.06f, 0.18f, 0.13f, PlainFin(Rgb(0x807050), 0.5f));
    PairedFin pelv = Pelvic(body, 0.34f, 0.16f, 0.09f, PlainFin(dark, 0.9f));
    f.PairedFins = {pect, pelv};
    f.Eye = {0.12f, 0.06f, 0.05f, Rgb(0xD05010), Rgb(0x201810)};
    f.BodyColour = [=](const BodyPoint& p) {
        Color c = marble(p.s, p.y);
        return Mix(c, Shade(c, 0.7f), Smoothstep(0.6f, 1.0f, p.t));
    };
    f.Decorate = [=](FishCanvas& cv) {
        // The ocellus continues onto the tail stalk.
        cv.Disc(Layer::Body, 1.0f, 0.03f, 0.066f, orange);
        cv.Disc(Layer::Body, 1.0f, 0.03f, 0.048f, Black);
    };
    f.ScaleSize = 0.03f;
    f.ScaleContrast = 0.07f;
    return f;
}

FishDesign Discus() {
    FishDesign f = NewFishDesign("Discus", 0xD15C, 640);
    f.Body = MakeBody({.TopH = 0.42f, .BottomH = 0.4f, .A = 0.5f, .SMax = 0.47f, .TopStalk = 0.06f,
                       .BottomStalk = 0.06f, .MouthY = -0.03f, .HalfWidth = 0.09f});
    const BodyProfile& body = f.Body;
    const Color red = Rgb(0xC8401C), brown = Rgb(0x8A2A12), turquoise = Rgb(0x30C4D8), blue = Rgb(0x2070C8);
    // Wavy turquoise lines along a red-brown body, with faint dark bars.
    auto pattern = [=](float s, float y) {
        // Irregular waves: the line spacing and the wobble both drift.
        float warp = 0.035f * (Fbm(s * 5, y * 5, 3, 51) - 0.5f);
        float wob = 0.022f * std::sin(s * 24 + 6 * Fbm(s * 3, y * 3, 2, 52));
        float u = (y + wob + warp) / 0.075f;
        float l = std::fabs(std::fmod(u + 100.0f, 1.0f) - 0.5f);
        float width = Mix(0.1f, 0.2f, Fbm(s * 6 + 9, y * 6, 2, 53));
        Color c = Mix(turquoise, red, Smoothstep(width - 0.04f, width + 0.02f, l));
        float bars = 0.5f + 0.5f * std::cos(s * 2 * Pi * 9 / 1.0f);
        return Mix(c, Shade(c, 0.75f), 0.4f * Smoothstep(0.7f, 1.0f, bars));
    };
    MedianFin dorsal = DorsalFin(
        body, {{0.95f, 0}, {0.95f, 0.1f}, {0.8f, 0.12f}, {0.55f, 0.11f}, {0.3f, 0.08f}, {0.2f, 0}},
        [=](float s, float y, float e) {
            Color c = pattern(s, y);
            c = Mix(Rgb(0xF06020), c, Smoothstep(0.012f, 0.03f, e));
            c = Mix(blue, c, Smoothstep(0.004f, 0.012f, e));
            return WithAlpha(c, 0.93f);
        });
    MedianFin anal = AnalFin(body, {{0.95f, 0}, {0.95f, 0.1f}, {0.8f, 0.12f}, {0.55f, 0.1f}, {0.38f, 0.05f},
                                    {0.35f, 0}}, dorsal.Paint.Colour);
    MedianFin tail = OutlineFin(TailRounded(0.96f, 0.06f, 0.17f, 0.14f), {0.9f, 0}, PlainFin(Rgb(0x9A5A3A), 0.6f));
    f.MedianFins = {dorsal, anal, tail};
    PairedFin pect = Pectoral(body, 0.32f, -0.04f, 0.15f, 0.11f, PlainFin(Rgb(0xD0A080), 0.4f));
    PairedFin pelv = Pelvic(body, 0.33f, 0.14f, 0.06f,
                            RimmedFin(WithAlpha(red, 0.95f), WithAlpha(Black, 0.95f), 0.015f));
    f.PairedFins = {pect, pelv};
    f.Eye = {0.12f, 0.08f, 0.045f, Rgb(0xE01818), Rgb(0x3A0A0A)};
    f.BodyColour = [=](const BodyPoint& p) {
        Color c = pattern(p.s, p.y);
        return Mix(c, brown, 0.25f * Smoothstep(0.7f, 1.0f, p.t));
    };
    f.ScaleSize = 0.025f;
    f.ScaleContrast = 0.03f;
    return f;
}

FishDesign Scalare() {
    FishDesign f = NewFishDesign("Scalare", 0x5CA1, 520);
    f.Body = MakeBody({.TopH = 0.37f, .BottomH = 0.35f, .A = 0.75f, .SMax = 0.4f, .TopStalk = 0.05f,
                       .BottomStalk = 0.05f, .MouthY = 0.0f, .HalfWidth = 0.07f});
    const BodyProfile& body = f.Body;
    auto T = body.Top;
    auto B = body.Bottom;
    const Color silver = Rgb(0xDCE0E2), gold = Rgb(0xC8C09A), bar = Rgb(0x1A1A1C);
    const std::vector<Bar> barList = {
        {0.13f, 0.03f, 0, -0.05f}, {0.44f, 0.05f, 0, -0.15f}, {0.8f, 0.035f, 0, -0.3f, 0.8f}};
    auto bars = [=](float s, float y, float aa) { return Bars(s, y, aa, barList); };
    auto finPattern = [=](float s, float y, float e) {
        float stripes = 0.5f + 0.5f * std::sin((s * 0.6f + std::fabs(y)) * 70);
        Color c = Mix(Rgb(0xE8ECEE), Rgb(0x7A8088), 0.35f * stripes);
        c = Mix(c, bar, bars(s, y, 0.004f) * 0.9f);
        return WithAlpha(c, Mix(0.35f, 0.8f, bars(s, y, 0.004f)) * Mix(0.6f, 1.0f, Smoothstep(0, 0.02f, e)));
    };
    // Tall sail-like fins sweeping back to points.
    MedianFin dorsal = BackFin(body, 0.28f, 0.8f,
                               {{0.8f, T(0.8f)}, {0.9f, T(0.8f) + 0.2f}, {1.0f, 0.95f}, {0.92f, 0.95f},
                                {0.6f, 0.68f}, {0.36f, T(0.36f) + 0.05f}, {0.28f, T(0.28f)}});
    dorsal.Paint.Colour = finPattern;
    dorsal.Paint.RaySpacing = 0.04f;
    dorsal.Columns = 20;
    dorsal.Rows = 5;
    MedianFin anal = BellyFin(body, 0.42f, 0.82f,
                              {{0.82f, B(0.82f)}, {0.92f, B(0.82f) - 0.2f}, {1.02f, -0.95f}, {0.94f, -0.95f},
                               {0.64f, -0.62f}, {0.46f, B(0.46f) - 0.05f}, {0.42f, B(0.42f)}});
    anal.Paint.Colour = finPattern;
    anal.Paint.RaySpacing = 0.04f;
    anal.Columns = 20;
    anal.Rows = 5;
    // Lyre tail with long outer rays.
    MedianFin tail = OutlineFin({{0.95f, 0.045f}, {1.1f, 0.12f}, {1.32f, 0.26f}, {1.24f, 0.12f}, {1.2f, 0.0f},
                                 {1.24f, -0.12f}, {1.32f, -0.26f}, {1.1f, -0.12f}, {0.95f, -0.045f}, {0.93f, 0.0f}},
                                {0.9f, 0}, [=](float s, float, float e) {
                                    float stripes = 0.5f + 0.5f * std::sin(s * 80);
                                    return WithAlpha(Mix(Rgb(0xE0E4E6), Rgb(0x6A7078), 0.4f * stripes),
                                                     0.55f * Mix(0.6f, 1.0f, Smoothstep(0, 0.02f, e)));
                                });
    f.MedianFins = {dorsal, anal, tail};
    PairedFin pect = Pectoral(body, 0.33f, -0.04f, 0.14f, 0.09f, PlainFin(Rgb(0xE8ECEE), 0.35f));
    // Long thread-like ventral fins.
    PairedFin pelv = ThreadPelvic(body, 0.3f, 0.75f, 0.05f,
                                  {{-0.03f, 0}, {0.3f, 0.012f}, {0.75f, 0.03f}, {0.77f, 0.04f}, {0.3f, 0.045f},
                                   {-0.03f, 0.05f}},
                                  0.35f, 0.15f, 0.008f, PlainFin(Rgb(0x30302E), 0.85f));
    f.PairedFins = {pect, pelv};
    f.Eye = {0.13f, 0.08f, 0.045f, Rgb(0xC02010), bar};
    f.BodyColour = [=](const BodyPoint& p) {
        Color c = Mix(silver, gold, Smoothstep(0.55f, 1.0f, p.t) * 0.6f);
        return Mix(c, bar, 0.92f * bars(p.s, p.y, p.pixel));
    };
    f.ScaleSize = 0.022f;
    f.ScaleContrast = 0.05f;
    return f;
}

FishDesign NeonTetra() {
    FishDesign f = NewFishDesign("NeonTetra", 0x4E04, 300);
    f.Body = MakeBody({.TopH = 0.14f, .BottomH = 0.13f, .A = 0.65f, .SMax = 0.38f, .TopStalk = 0.055f,
                       .BottomStalk = 0.055f, .MouthY = 0.0f, .HalfWidth = 0.075f});
    const BodyProfile& body = f.Body;
    const Color back = Rgb(0x3C4A40), neon = Rgb(0x1ED8FF), red = Rgb(0xF0142C), silver = Rgb(0xE4EAEE);
    auto stripeY = [](float s) { return 0.035f - 0.03f * s; };
    FinColourFn clear = PlainFin(Rgb(0xE8EEF0), 0.3f);
    MedianFin dorsal = DorsalFin(body, {{0.6f, 0}, {0.58f, 0.05f}, {0.5f, 0.11f}, {0.46f, 0.08f}, {0.45f, 0}}, clear);
    MedianFin adipose = DorsalFin(body, {{0.88f, 0}, {0.86f, 0.03f}, {0.83f, 0.025f}, {0.82f, 0}}, clear);
    adipose.Columns = 4;
    MedianFin anal = AnalFin(body, {{0.84f, 0}, {0.8f, 0.05f}, {0.64f, 0.08f}, {0.58f, 0}}, clear);
    MedianFin tail = OutlineFin(TailForked(0.96f, 0.055f, 0.3f, 0.17f, 0.45f), {0.9f, 0},
                                PlainFin(Rgb(0xF0F2F4), 0.35f));
    f.MedianFins = {dorsal, adipose, anal, tail};
    PairedFin pect = Pectoral(body, 0.28f, -0.04f, 0.12f, 0.07f, clear);
    PairedFin pelv = Pelvic(body, 0.45f, 0.1f, 0.05f, clear);
    f.PairedFins = {pect, pelv};
    f.Eye = {0.12f, 0.035f, 0.065f, Rgb(0x9AB0C0), Rgb(0x202830)};
    f.BodyColour = [=](const BodyPoint& p) {
        float sy = stripeY(p.s);
        Color c = Mix(silver, back, Smoothstep(sy + 0.01f, sy + 0.05f, p.y));
        // Red lower rear half.
        float redZone = Smoothstep(0.4f, 0.5f, p.s) * (1 - Smoothstep(sy - 0.03f, sy - 0.015f, p.y));
        c = Mix(c, red, redZone);
        // The neon line with a soft glow, from behind the eye to the adipose fin.
        float along = Smoothstep(0.14f, 0.2f, p.s) * (1 - Smoothstep(0.84f, 0.9f, p.s));
        float d = std::fabs(p.y - sy);
        float line = 1 - Smoothstep(0.017f - p.pixel, 0.017f + p.pixel, d);
        float glow = 1 - Smoothstep(0.0f, 0.04f, d);
        c = Mix(c, Mix(c, neon, 0.5f), glow * along);
        c = Mix(c, neon, line * along);
        return c;
    };
    f.ScaleSize = 0.0f;
    f.Shading = 0.22f;
    return f;
}

FishDesign Goldfish() {
    FishDesign f = NewFishDesign("Goldfish", 0x601D, 620);
    f.Body = MakeBody({.TopH = 0.24f, .BottomH = 0.21f, .A = 0.55f, .SMax = 0.4f, .TopStalk = 0.07f,
                       .BottomStalk = 0.07f, .MouthY = -0.01f, .HalfWidth = 0.13f});
    const BodyProfile& body = f.Body;
    const Color orange = Rgb(0xF7860E), deep = Rgb(0xE25A06), gold = Rgb(0xFFC23A);
    FinColourFn fin = [=](float s, float y, float e) {
        float streak = 0.5f + 0.5f * std::sin(std::atan2(y, s - 0.8f) * 60);
        Color c = Mix(Rgb(0xFF9A20), Rgb(0xFFC870), 0.3f * streak);
        return WithAlpha(c, Mix(0.55f, 0.85f, Smoothstep(0.2f, 0.0f, e)) * Smoothstep(0, 0.01f, e) + 0.15f);
    };
    MedianFin dorsal = DorsalFin(body, {{0.72f, 0}, {0.7f, 0.08f}, {0.55f, 0.15f}, {0.4f, 0.17f}, {0.33f, 0.1f},
                                        {0.32f, 0}}, fin);
    MedianFin anal = AnalFin(body, {{0.86f, 0}, {0.84f, 0.06f}, {0.76f, 0.11f}, {0.7f, 0}}, fin);
    // Long flowing forked tail.
    MedianFin tail = OutlineFin({{0.95f, 0.07f}, {1.15f, 0.2f}, {1.42f, 0.36f}, {1.48f, 0.3f}, {1.3f, 0.1f},
                                 {1.22f, 0.0f}, {1.3f, -0.12f}, {1.46f, -0.32f}, {1.4f, -0.37f}, {1.15f, -0.2f},
                                 {0.95f, -0.07f}, {0.93f, 0.0f}},
                                {0.88f, 0}, fin);
    tail.Columns = 8;
    f.MedianFins = {dorsal, anal, tail};
    PairedFin pect = Pectoral(body, 0.3f, -0.08f, 0.17f, 0.11f, fin);
    PairedFin pelv = Pelvic(body, 0.5f, 0.15f, 0.08f, fin);
    f.PairedFins = {pect, pelv};
    f.Eye = {0.13f, 0.05f, 0.055f, Rgb(0xC89A30), Rgb(0x3A2A10)};
    f.BodyColour = [=](const BodyPoint& p) {
        Color c = Countershade(p.t, gold, orange, deep);
        float sheen = Fbm(p.s * 10, p.y * 10, 3, 61);
        return Mix(c, Rgb(0xFFD870), 0.25f * Smoothstep(0.55f, 0.75f, sheen));
    };
    f.ScaleSize = 0.045f;
    f.ScaleContrast = 0.13f;
    return f;
}

FishDesign Guppy() {
    FishDesign f = NewFishDesign("Guppy", 0x6099, 380);
    f.Body = MakeBody({.TopH = 0.13f, .BottomH = 0.14f, .A = 0.6f, .SMax = 0.35f, .TopStalk = 0.075f,
                       .BottomStalk = 0.075f, .MouthY = 0.02f, .HalfWidth = 0.07f});
    const BodyProfile& body = f.Body;
    auto T = body.Top;
    const Color olive = Rgb(0x8C9880), belly = Rgb(0xD8DCD0), orange = Rgb(0xFF6A18), blue = Rgb(0x2AA8E0);
    const Color red = Rgb(0xE8281A), violet = Rgb(0x5040C8);
    MedianFin dorsal = BackFin(body, 0.5f, 0.72f,
                               {{0.72f, T(0.72f)}, {0.9f, T(0.72f) + 0.1f}, {0.86f, T(0.7f) + 0.17f},
                                {0.6f, T(0.6f) + 0.14f}, {0.5f, T(0.5f)}});
    dorsal.Paint.Colour = [=](float s, float y, float e) {
        float f1, f2;
        PeriodicWorley(s * 35, y * 35, 1 << 12, 1 << 12, 71, f1, f2);
        float spot = 1 - Smoothstep(0.22f, 0.3f, f1);
        Color c = Mix(Mix(blue, Rgb(0x30D0A0), Smoothstep(0.6f, 0.8f, s)), Black, spot * 0.8f);
        return WithAlpha(c, 0.85f * Smoothstep(0, 0.01f, e) + 0.1f);
    };
    // The big delta tail: red-orange at the root to violet at the rim, spotted.
    MedianFin tail = OutlineFin({{0.95f, 0.07f}, {1.3f, 0.24f}, {1.68f, 0.42f}, {1.74f, 0.0f}, {1.68f, -0.42f},
                                 {1.3f, -0.24f}, {0.95f, -0.07f}, {0.93f, 0.0f}},
                                {0.9f, 0}, 4);
    tail.Paint.Colour = [=](float s, float y, float e) {
        float r = Clamp01((s - 0.95f) / 0.8f);
        Color c = Gradient({orange, red, Rgb(0xC02878), violet}, r);
        float f1, f2;
        PeriodicWorley(s * 22, y * 22, 1 << 12, 1 << 12, 72, f1, f2);
        float spot = 1 - Smoothstep(0.2f, 0.28f, f1);
        c = Mix(c, Rgb(0x1A0A18), spot * 0.85f);
        return WithAlpha(c, 0.88f * Smoothstep(0, 0.015f, e) + 0.05f);
    };
    tail.Paint.RaySpacing = 0.04f;
    tail.Columns = 10;
    tail.Rows = 10;
    MedianFin anal = BellyFin(body, 0.55f, 0.66f, {{0.66f, body.Bottom(0.66f)}, {0.7f, body.Bottom(0.64f) - 0.08f}, {0.6f, body.Bottom(0.6f) - 0.05f}, {0.55f, body.Bottom(0.55f)}});
    anal.Paint.Colour = PlainFin(Rgb(0xB0B8A8), 0.6f);
    anal.Columns = 4;
    f.MedianFins = {dorsal, tail, anal};
    PairedFin pect = Pectoral(body, 0.26f, -0.03f, 0.1f, 0.07f, PlainFin(Rgb(0xE8ECE4), 0.3f));
    f.PairedFins = {pect};
    f.Eye = {0.11f, 0.04f, 0.055f, Rgb(0xB0B8B0), Rgb(0x202020)};
    f.BodyColour = [=](const BodyPoint& p) { return Countershade(p.t, belly, olive, Shade(olive, 0.8f)); };
    f.Decorate = [=](FishCanvas& cv) {
        // Iridescent patches: orange, blue-green and one black spot.
        cv.Ellipse(Layer::Body, 0.55f, -0.02f, 0.08f, 0.05f, 0.3f, WithAlpha(orange, 0.9f));
        cv.Ellipse(Layer::Body, 0.72f, 0.03f, 0.07f, 0.035f, -0.2f, WithAlpha(blue, 0.85f));
        cv.Ellipse(Layer::Body, 0.4f, 0.04f, 0.06f, 0.03f, 0.1f, WithAlpha(Rgb(0x30D0A0), 0.7f));
        cv.Disc(Layer::Body, 0.64f, 0.0f, 0.028f, Black);
        cv.Ellipse(Layer::Body, 0.86f, -0.02f, 0.06f, 0.04f, 0.0f, WithAlpha(orange, 0.9f));
    };
    f.ScaleSize = 0.03f;
    f.ScaleContrast = 0.07f;
    return f;
}

FishDesign Swordtail() {
    FishDesign f = NewFishDesign("Swordtail", 0x5A0D, 520);
    f.Body = MakeBody({.TopH = 0.16f, .BottomH = 0.15f, .A = 0.7f, .SMax = 0.36f, .TopStalk = 0.08f,
                       .BottomStalk = 0.08f, .MouthY = 0.01f, .HalfWidth = 0.08f});
    const BodyProfile& body = f.Body;
    auto B = body.Bottom;
    const Color red = Rgb(0xE02418), deep = Rgb(0xA81208), light = Rgb(0xF46048), yellow = Rgb(0xFFC818);
    FinColourFn fin = PlainFin(Rgb(0xF04030), 0.75f);
    MedianFin dorsal = DorsalFin(body, {{0.66f, 0}, {0.66f, 0.08f}, {0.55f, 0.13f}, {0.44f, 0.1f}, {0.42f, 0}}, fin);
    MedianFin anal = BellyFin(body, 0.55f, 0.66f,
                              {{0.66f, B(0.66f)}, {0.68f, B(0.64f) - 0.1f}, {0.6f, B(0.6f) - 0.06f}, {0.55f, B(0.55f)}});
    anal.Paint.Colour = fin;
    anal.Columns = 4;
    // Square tail whose lower edge runs out into the sword.
    MedianFin tail = OutlineFin({{0.96f, 0.08f}, {1.22f, 0.2f}, {1.24f, 0.06f}, {1.28f, -0.1f}, {1.8f, -0.16f},
                                 {1.86f, -0.18f}, {1.78f, -0.2f}, {1.24f, -0.21f}, {1.0f, -0.1f}, {0.94f, 0.0f}},
                                {0.9f, 0}, 5);
    tail.Paint.Colour = [=](float s, float y, float e) {
        // Yellow sword edged in black along its length.
        float swordCore = Smoothstep(1.15f, 1.3f, s) * (1 - Smoothstep(-0.145f, -0.125f, y));
        float centre = -0.155f - 0.045f * Clamp01((s - 1.3f) / 0.5f) * 0.3f;
        float edge = Smoothstep(0.008f, 0.02f, std::fabs(y - centre)) * swordCore;
        Color c = Mix(Rgb(0xF04030), Mix(yellow, Black, edge), swordCore);
        return WithAlpha(c, Mix(0.7f, 0.95f, swordCore) * Smoothstep(0, 0.008f, e) + 0.05f);
    };
    tail.Columns = 12;
    tail.Rows = 6;
    f.MedianFins = {dorsal, anal, tail};
    PairedFin pect = Pectoral(body, 0.27f, -0.03f, 0.12f, 0.08f, PlainFin(Rgb(0xF8B0A0), 0.4f));
    PairedFin pelv = Pelvic(body, 0.42f, 0.1f, 0.05f, fin);
    f.PairedFins = {pect, pelv};
    f.Eye = {0.11f, 0.04f, 0.055f, Rgb(0xD83020), Rgb(0x301010)};
    f.BodyColour = [=](const BodyPoint& p) {
        Color c = Countershade(p.t, light, red, deep);
        // A darker zig-zag line along the middle.
        float zz = std::fabs(std::fmod(p.s * 18 + 100, 2.0f) - 1.0f) * 0.02f;
        float d = std::fabs(p.y - (0.0f + zz - 0.01f));
        float line = (1 - Smoothstep(0.006f, 0.01f, d)) * Smoothstep(0.2f, 0.3f, p.s);
        return Mix(c, deep, line * 0.8f);
    };
    f.ScaleSize = 0.03f;
    f.ScaleContrast = 0.08f;
    return f;
}

FishDesign PearlGourami() {
    FishDesign f = NewFishDesign("PearlGourami", 0x9EA1, 560);
    f.Body = MakeBody({.TopH = 0.21f, .BottomH = 0.2f, .A = 0.85f, .SMax = 0.45f, .TopStalk = 0.08f,
                       .BottomStalk = 0.08f, .MouthY = 0.04f, .HalfWidth = 0.08f});
    const BodyProfile& body = f.Body;
    auto T = body.Top;
    auto B = body.Bottom;
    const Color base = Rgb(0xB09C80), back = Rgb(0x8A7456), throat = Rgb(0xE8501E), pearl = Rgb(0xF8F4EC);
    FinColourFn fin = [=](float, float, float e) {
        return WithAlpha(Mix(Rgb(0xE8DCC8), Rgb(0xA08C70), 0.5f), 0.55f * Smoothstep(0, 0.01f, e) + 0.1f);
    };
    MedianFin dorsal = BackFin(body, 0.55f, 0.78f,
                               {{0.78f, T(0.78f)}, {0.8f, T(0.78f) + 0.08f}, {0.66f, T(0.66f) + 0.1f},
                                {0.56f, T(0.56f) + 0.05f}, {0.55f, T(0.55f)}});
    dorsal.Paint.Colour = fin;
    // Long anal fin with a fringed edge.
    std::vector<V2> fringe = {{0.95f, B(0.95f)}};
    for (int i = 0; i <= 16; ++i) {
        float s = 0.94f - 0.62f * static_cast<float>(i) / 16;
        float depth = 0.03f + 0.14f * Smoothstep(0.32f, 0.85f, s);
        fringe.push_back({s, B(s) - depth - ((i & 1) ? 0.02f : 0.0f)});
    }
    fringe.push_back({0.3f, B(0.3f)});
    MedianFin anal = BellyFin(body, 0.3f, 0.95f, fringe);
    anal.Paint.Colour = [=](float s, float, float e) {
        Color c = Mix(throat, Rgb(0xC0A888), Smoothstep(0.45f, 0.6f, s));
        return WithAlpha(c, 0.7f * Smoothstep(0, 0.01f, e) + 0.1f);
    };
    MedianFin tail = OutlineFin(TailTruncate(0.95f, 0.08f, 0.25f, 0.2f, -0.04f), {0.9f, 0}, fin);
    f.MedianFins = {dorsal, anal, tail};
    PairedFin pect = Pectoral(body, 0.3f, -0.03f, 0.13f, 0.09f, PlainFin(Rgb(0xE8E0D0), 0.3f));
    // Thread-like feelers.
    PairedFin pelv = ThreadPelvic(body, 0.3f, 0.7f, 0.03f,
                                  {{-0.03f, 0}, {0.35f, 0.008f}, {0.7f, 0.014f}, {0.72f, 0.02f}, {0.35f, 0.026f},
                                   {-0.03f, 0.03f}},
                                  0.9f, 0.2f, 0.004f, PlainFin(Rgb(0xF07030), 0.9f));
    f.PairedFins = {pect, pelv};
    f.Eye = {0.12f, 0.07f, 0.045f, Rgb(0xB05020), Rgb(0x201810)};
    f.BodyColour = [=](const BodyPoint& p) {
        Color c = Countershade(p.t, Rgb(0xD8C8B0), base, back);
        float throatZone = (1 - Smoothstep(0.35f, 0.55f, p.s)) * (1 - Smoothstep(0.25f, 0.45f, p.t));
        return Mix(c, throat, throatZone * 0.9f);
    };
    f.Decorate = [=](FishCanvas& cv) {
        // Pearly dots all over body and fins.
        for (const V2& d : cv.Scatter(Layer::Body, 0.026f, 0.008f, 5000)) {
            if (d.x < 0.06f) continue;
            cv.Disc(Layer::Body, d.x, d.y, 0.0085f, WithAlpha(pearl, 0.9f));
        }
        for (const V2& d : cv.Scatter(Layer::Fins, 0.028f, 0.012f, 4000))
            cv.Disc(Layer::Fins, d.x, d.y, 0.008f, WithAlpha(pearl, 0.85f));
        // Black zig-zag line from the snout through the eye to the tail base.
        std::vector<V2> zz;
        for (int i = 0; i <= 40; ++i) {
            float s = 0.02f + 0.94f * static_cast<float>(i) / 40;
            zz.push_back({s, 0.05f - 0.06f * s + ((i & 1) ? 0.008f : -0.008f)});
        }
        cv.Line(Layer::Body, zz, 0.014f, WithAlpha(Rgb(0x1A1410), 0.9f));
        cv.Disc(Layer::Body, 0.93f, -0.005f, 0.03f, WithAlpha(Rgb(0x1A1410), 0.9f));
    };
    f.ScaleSize = 0.025f;
    f.ScaleContrast = 0.04f;
    return f;
}

FishDesign TigerBarb() {
    FishDesign f = NewFishDesign("TigerBarb", 0x71BA, 420);
    f.Body = MakeBody({.TopH = 0.25f, .BottomH = 0.2f, .A = 0.7f, .SMax = 0.42f, .TopStalk = 0.07f,
                       .BottomStalk = 0.07f, .MouthY = -0.02f, .HalfWidth = 0.09f});
    const BodyProfile& body = f.Body;
    const Color gold = Rgb(0xF2B640), pale = Rgb(0xFBE6A8), back = Rgb(0xC88A28), red = Rgb(0xF02818);
    const std::vector<Bar> barList = {
        {0.12f, 0.025f, 0, -0.05f}, {0.36f, 0.045f, 0.01f, -0.12f}, {0.63f, 0.05f, 0.01f, -0.15f}, {0.93f, 0.035f}};
    auto bars = [=](float s, float y, float aa) { return Bars(s, y, aa, barList); };
    MedianFin dorsal = DorsalFin(
        body, {{0.62f, 0}, {0.6f, 0.07f}, {0.52f, 0.19f}, {0.45f, 0.16f}, {0.42f, 0}},
        [=](float, float, float e) {
            return WithAlpha(Mix(red, Rgb(0x141010), Smoothstep(0.01f, 0.025f, e)), 0.95f);
        });
    MedianFin anal = AnalFin(body, {{0.84f, 0}, {0.82f, 0.08f}, {0.72f, 0.12f}, {0.64f, 0}},
                             RimmedFin(WithAlpha(Rgb(0xF0D090), 0.6f), WithAlpha(red, 0.9f), 0.02f));
    MedianFin tail = OutlineFin(TailForked(0.96f, 0.07f, 0.3f, 0.2f, 0.42f), {0.9f, 0},
                                RimmedFin(WithAlpha(Rgb(0xF0D8A0), 0.45f), WithAlpha(red, 0.9f), 0.02f));
    f.MedianFins = {dorsal, anal, tail};
    PairedFin pect = Pectoral(body, 0.28f, -0.05f, 0.12f, 0.08f, PlainFin(Rgb(0xF8E0B0), 0.4f));
    PairedFin pelv = Pelvic(body, 0.45f, 0.13f, 0.07f, PlainFin(red, 0.92f));
    f.PairedFins = {pect, pelv};
    f.Eye = {0.12f, 0.06f, 0.05f, Rgb(0xE8C050), Black};
    f.BodyColour = [=](const BodyPoint& p) {
        Color c = Countershade(p.t, pale, gold, back);
        c = Mix(c, Rgb(0x141210), 0.95f * bars(p.s, p.y, p.pixel));
        // Red snout.
        c = Mix(c, red, 0.7f * (1 - Smoothstep(0.03f, 0.08f, p.s)));
        return c;
    };
    f.ScaleSize = 0.035f;
    f.ScaleContrast = 0.09f;
    return f;
}

FishDesign ClownLoach() {
    FishDesign f = NewFishDesign("ClownLoach", 0xC10C, 620);
    f.Body = MakeBody({.TopH = 0.16f, .BottomH = 0.11f, .A = 0.75f, .SMax = 0.42f, .TopStalk = 0.06f,
                       .BottomStalk = 0.06f, .MouthY = -0.05f, .HalfWidth = 0.08f});
    const BodyProfile& body = f.Body;
    const Color orange = Rgb(0xFFA414), back = Rgb(0xF08A0A), pale = Rgb(0xFFD080), red = Rgb(0xE83418);
    const Color black = Rgb(0x12100C);
    const std::vector<Bar> bandList = {
        {0.13f, 0.045f, 0, -0.1f}, {0.4f, 0.07f, -0.01f, -0.25f}, {0.72f, 0.08f, -0.01f, -0.3f}};
    auto bands = [=](float s, float y, float aa) { return Bars(s, y, aa, bandList); };
    MedianFin dorsal = DorsalFin(
        body, {{0.64f, 0}, {0.62f, 0.07f}, {0.55f, 0.14f}, {0.48f, 0.12f}, {0.46f, 0}},
        [=](float s, float y, float e) {
            Color c = Mix(red, black, bands(s, y, 0.004f));
            return WithAlpha(Mix(Shade(red, 1.1f), c, Smoothstep(0, 0.015f, e)), 0.92f);
        });
    MedianFin anal = AnalFin(body, {{0.86f, 0}, {0.84f, 0.06f}, {0.76f, 0.08f}, {0.72f, 0}}, PlainFin(red, 0.9f));
    MedianFin tail = OutlineFin(TailForked(0.95f, 0.06f, 0.3f, 0.2f, 0.5f), {0.9f, 0}, [=](float s, float y, float) {
        float mark = (1 - Smoothstep(0.05f, 0.08f, std::fabs(y) - 0.02f)) * Band(s, 1.08f, 0.05f, 0.01f);
        return WithAlpha(Mix(red, black, mark * 0.9f), 0.9f);
    });
    f.MedianFins = {dorsal, anal, tail};
    PairedFin pect = Pectoral(body, 0.26f, -0.06f, 0.13f, 0.08f, PlainFin(red, 0.85f));
    PairedFin pelv = Pelvic(body, 0.5f, 0.11f, 0.06f, PlainFin(red, 0.9f));
    f.PairedFins = {pect, pelv};
    f.Eye = {0.12f, 0.03f, 0.04f, Rgb(0x6A5030), black};
    f.BodyColour = [=](const BodyPoint& p) {
        Color c = Countershade(p.t, pale, orange, back);
        return Mix(c, black, 0.96f * bands(p.s, p.y, p.pixel));
    };
    f.Decorate = [=](FishCanvas& cv) {
        // Barbels around the mouth.
        cv.Line(Layer::Body, {{0.02f, -0.06f}, {0.0f, -0.09f}}, 0.008f, Rgb(0xE09040));
        cv.Line(Layer::Body, {{0.04f, -0.065f}, {0.035f, -0.1f}}, 0.008f, Rgb(0xE09040));
    };
    f.ScaleSize = 0.0f;
    return f;
}

}  // namespace

std::vector<FishDesign> FreshWaterFish() {
    return {RedOscar(), Discus(),       Scalare(),   NeonTetra(), Goldfish(),
            Guppy(),    Swordtail(),    PearlGourami(), TigerBarb(), ClownLoach()};
}

void GenerateFreshWaterFish(ContentSink& sink) { PutFishDesigns(sink, FreshWaterFish()); }

}  // namespace cg
