#include "clockpics.h"

#include "content.h"
#include "groups.h"

#include <fontconfig/fontconfig.h>
#include <ft2build.h>
#include FT_FREETYPE_H

#include <algorithm>
#include <cmath>
#include <memory>
#include <stdexcept>

namespace cg {

const std::vector<ClockCell>& ClockCells() {
    static const std::vector<ClockCell> cells = [] {
        std::vector<ClockCell> c;
        c.push_back({"Plate", "", 0, 0, 180, 131});
        for (int d = 0; d <= 9; ++d) {
            std::string s(1, static_cast<char>('0' + d));
            c.push_back({s, s, d < 7 ? 36 * d : 36 * (d - 7), d < 7 ? 140 : 198, 36, 58});
        }
        c.push_back({":", ":", 108, 198, 18, 58});
        c.push_back({"\\", "/", 126, 198, 30, 58});  // the date separator
        c.push_back({"am", "AM", 156, 198, 50, 29});
        c.push_back({"pm", "PM", 156, 227, 50, 29});
        const char* days[] = {"sun", "mon", "tue", "wed", "thu", "fri", "sat"};
        const char* shown[] = {"SUN", "MON", "TUE", "WED", "THU", "FRI", "SAT"};
        for (int i = 0; i < 7; ++i) c.push_back({days[i], shown[i], 180, 20 * i, 76, 20});
        return c;
    }();
    return cells;
}

std::string ClockFontFile() {
    // A configuration of our own, destroyed when done, so nothing of
    // fontconfig's outlives the call.
    FcConfig* config = FcInitLoadConfigAndFonts();
    if (!config) throw std::runtime_error("clock pictures: fontconfig cannot start");
    std::string file;
    if (FcPattern* pattern = FcNameParse(reinterpret_cast<const FcChar8*>("DejaVu Sans:bold"))) {
        FcConfigSubstitute(config, pattern, FcMatchPattern);
        FcDefaultSubstitute(pattern);
        FcResult result = FcResultNoMatch;
        FcPattern* match = FcFontMatch(config, pattern, &result);
        FcPatternDestroy(pattern);
        if (match) {
            FcChar8* path = nullptr;
            if (FcPatternGetString(match, FC_FILE, 0, &path) == FcResultMatch && path)
                file = reinterpret_cast<const char*>(path);
            FcPatternDestroy(match);
        }
    }
    FcConfigDestroy(config);
    if (file.empty()) throw std::runtime_error("clock pictures: no font found (install fonts-dejavu-core)");
    return file;
}

namespace {

// Everything is set at four times the size and filtered down.
constexpr int K = 4;
constexpr int Big = ClockPictureSize * K;

struct FontLibrary {
    FT_Library Lib = nullptr;
    FT_Face Face = nullptr;
    explicit FontLibrary(const std::string& file) {
        if (FT_Init_FreeType(&Lib)) throw std::runtime_error("clock pictures: FreeType cannot start");
        if (FT_New_Face(Lib, file.c_str(), 0, &Face)) {
            FT_Done_FreeType(Lib);
            throw std::runtime_error("clock pictures: cannot open font " + file);
        }
    }
    ~FontLibrary() {
        FT_Done_Face(Face);
        FT_Done_FreeType(Lib);
    }
    FontLibrary(const FontLibrary&) = delete;
    FontLibrary& operator=(const FontLibrary&) = delete;
};

// Coverage of a line of text at a pixel size, squeezed across by xScale,
// in a tight box around its ink; baseline is the ink box row of the baseline.
struct Inked {
    Mask Cover;
    int Baseline = 0;
};

Inked SetText(FT_Face face, const std::string& text, int pixelSize, float xScale) {
    FT_Set_Pixel_Sizes(face, 0, static_cast<FT_UInt>(pixelSize));
    FT_Matrix m{static_cast<FT_Fixed>(std::lround(xScale * 65536.0f)), 0, 0, 0x10000};
    FT_Set_Transform(face, &m, nullptr);
    struct Placed {
        std::vector<uint8_t> Pixels;
        int W, H, X, Top;
    };
    std::vector<Placed> glyphs;
    long pen = 0;
    for (char ch : text) {
        if (FT_Load_Char(face, static_cast<unsigned char>(ch), FT_LOAD_RENDER | FT_LOAD_NO_HINTING)) continue;
        const FT_Bitmap& b = face->glyph->bitmap;
        Placed p{{}, static_cast<int>(b.width), static_cast<int>(b.rows), static_cast<int>(pen >> 6) + face->glyph->bitmap_left,
                 face->glyph->bitmap_top};
        for (int y = 0; y < p.H; ++y)
            for (int x = 0; x < p.W; ++x) p.Pixels.push_back(b.buffer[y * b.pitch + x]);
        glyphs.push_back(std::move(p));
        pen += face->glyph->advance.x;
    }
    FT_Set_Transform(face, nullptr, nullptr);
    int minX = 1 << 30, maxX = -(1 << 30), top = -(1 << 30), bottom = 1 << 30;
    for (const Placed& p : glyphs) {
        if (p.W == 0 || p.H == 0) continue;
        minX = std::min(minX, p.X);
        maxX = std::max(maxX, p.X + p.W);
        top = std::max(top, p.Top);
        bottom = std::min(bottom, p.Top - p.H);
    }
    Inked out;
    if (maxX <= minX) return out;
    out.Cover = Mask(maxX - minX, top - bottom);
    out.Baseline = top;
    for (const Placed& p : glyphs)
        for (int y = 0; y < p.H; ++y)
            for (int x = 0; x < p.W; ++x) {
                float& c = out.Cover.At(p.X - minX + x, top - p.Top + y);
                c = std::max(c, static_cast<float>(p.Pixels[static_cast<size_t>(y) * p.W + x]) / 255.0f);
            }
    return out;
}

// Light grey lettering with a soft dark rim and a slight fall of light from
// top to bottom, stamped at (x, y) of the big picture.
void Stamp(Image& img, const Mask& cover, int x0, int y0, float rim) {
    const int pad = static_cast<int>(std::ceil(rim)) + 2 * K;
    Mask padded(cover.Width() + 2 * pad, cover.Height() + 2 * pad);
    for (int y = 0; y < cover.Height(); ++y)
        for (int x = 0; x < cover.Width(); ++x) padded.At(x + pad, y + pad) = cover.At(x, y);
    Mask halo = Grow(padded, rim);
    for (int y = 0; y < padded.Height(); ++y)
        for (int x = 0; x < padded.Width(); ++x) {
            int px = x0 - pad + x, py = y0 - pad + y;
            if (px < 0 || py < 0 || px >= Big || py >= Big) continue;
            // The rim sits a little down and right, like a shadow.
            float h = halo.Get(x - K / 2, y - K / 2);
            if (h > 0) BlendOver(img.At(px, py), {0.02f, 0.04f, 0.08f, 0.7f}, h);
            float c = padded.At(x, y);
            if (c > 0) {
                float t = static_cast<float>(y - pad) / std::max(1, cover.Height());
                float v = Mix(1.0f, 0.8f, Clamp01(t));
                BlendOver(img.At(px, py), {v, v, v, 1}, c);
            }
        }
}

// Distance outside a rounded rectangle (negative inside).
float RoundedBox(float x, float y, float x0, float y0, float x1, float y1, float r) {
    float cx = std::clamp(x, x0 + r, x1 - r), cy = std::clamp(y, y0 + r, y1 - r);
    return std::hypot(x - cx, y - cy) - r;
}

void Plate(Image& img, const ClockCell& cell) {
    const float s = K;
    const float x0 = (static_cast<float>(cell.X) + 2) * s, y0 = (static_cast<float>(cell.Y) + 2) * s;
    const float x1 = (static_cast<float>(cell.X + cell.Width) - 2) * s, y1 = (static_cast<float>(cell.Y + cell.Height) - 2) * s;
    const float r = 16 * s, line = 1.6f * s;
    for (int y = cell.Y * K; y < (cell.Y + cell.Height) * K; ++y)
        for (int x = cell.X * K; x < (cell.X + cell.Width) * K; ++x) {
            float fx = static_cast<float>(x) + 0.5f, fy = static_cast<float>(y) + 0.5f;
            float d = RoundedBox(fx, fy, x0, y0, x1, y1, r);
            float inside = Clamp01(0.5f - d);
            if (inside <= 0) continue;
            float t = (fy - y0) / (y1 - y0);
            // Smoked glass, a sheen on the upper half, a bright rim.
            float v = Mix(0.85f, 0.55f, t);
            float a = Mix(0.32f, 0.22f, t);
            if (t < 0.45f) {
                float sheen = Smoothstep(0.45f, 0.05f, t) * 0.12f;
                v += sheen;
                a += sheen;
            }
            Color c{v, v, v, a};
            float rim = Clamp01(1 - std::fabs(d + line) / line);
            c = Mix(c, Color{1, 1, 1, 0.85f}, rim);
            // A faint line between the time and the date.
            float sep = std::fabs(fy - 72.5f * s);
            if (sep < s && fx > x0 + 12 * s && fx < x1 - 12 * s) c = Mix(c, Color{1, 1, 1, 0.55f}, Clamp01(1 - sep / s));
            c.a *= inside;
            img.At(x, y) = c;
        }
}

}  // namespace

Image ClockPicture() {
    FontLibrary font(ClockFontFile());
    Image big(Big, Big, {0.8f, 0.8f, 0.8f, 0});
    const auto& cells = ClockCells();
    Plate(big, cells[0]);

    // Digits: the tallest fills 46 of the 58 rows, squeezed so the widest
    // keeps a margin in its 36 columns; all share one baseline.
    int digitSize = 64 * K;
    {
        Inked zero = SetText(font.Face, "0", digitSize, 1);
        if (zero.Cover.Height() > 0) digitSize = digitSize * 46 * K / zero.Cover.Height();
    }
    float squeeze = 1;
    for (char d = '0'; d <= '9'; ++d) {
        Inked g = SetText(font.Face, std::string(1, d), digitSize, 1);
        squeeze = std::min(squeeze, static_cast<float>(29 * K) / static_cast<float>(std::max(1, g.Cover.Width())));
    }
    // A thinner rim for the small signs.
    auto rimOf = [](const ClockCell& cell) { return (cell.Height >= 58 ? 1.6f : cell.Height >= 29 ? 1.4f : 1.1f) * K; };
    // Centred across; on the given baseline, but never closer to the cell's
    // edge than the rim and a texel, so filtering never reaches a neighbour.
    auto place = [&](const ClockCell& cell, const Inked& g, int baselineFromTop) {
        const float rim = rimOf(cell);
        const int margin = static_cast<int>(std::ceil(rim)) + 2 * K;
        int x = cell.X * K + (cell.Width * K - g.Cover.Width()) / 2;
        int y = cell.Y * K + baselineFromTop - g.Baseline;
        y = std::min(y, (cell.Y + cell.Height) * K - margin - g.Cover.Height());
        y = std::max(y, cell.Y * K + margin);
        Stamp(big, g.Cover, x, y, rim);
    };
    const int digitBaseline = (58 - 6) * K;  // 6 rows under the digits for the rim
    for (const ClockCell& cell : cells) {
        if (cell.Text.empty()) continue;
        if (cell.Sprite == "\\") {
            Inked g = SetText(font.Face, cell.Text, digitSize * 4 / 5, squeeze);
            place(cell, g, (cell.Height * K + g.Cover.Height()) / 2 - (g.Cover.Height() - g.Baseline));
        } else if (cell.Height == 58) {
            place(cell, SetText(font.Face, cell.Text, digitSize, squeeze), digitBaseline);
        } else {
            // Signs and weekday names: capitals filling most of the height.
            int cap = cell.Height == 29 ? 19 : 12;
            Inked probe = SetText(font.Face, "H", 32 * K, 1);
            int size = probe.Cover.Height() > 0 ? 32 * K * cap * K / probe.Cover.Height() : cap * K;
            Inked g = SetText(font.Face, cell.Text, size, 1);
            float fit = static_cast<float>((cell.Width - 8) * K) / static_cast<float>(std::max(1, g.Cover.Width()));
            if (fit < 1) g = SetText(font.Face, cell.Text, size, fit);
            place(cell, g, (cell.Height * K + cap * K) / 2);
        }
    }
    Image img = Downsample(big, K);
    SpreadColourUnderTransparency(img);
    return img;
}

void GenerateClockPictures(ContentSink& sink) {
    Image img = ClockPicture();
    sink.Put("clock.bmp", EncodeBmp24(ToRgb8(img, 0x400u), img.Width(), img.Height()));
    std::vector<std::array<uint8_t, 3>> grey(256);
    for (int i = 0; i < 256; ++i) grey[static_cast<size_t>(i)] = {static_cast<uint8_t>(i), static_cast<uint8_t>(i), static_cast<uint8_t>(i)};
    // The alpha picture keeps exact levels: no dither.
    std::vector<uint8_t> alpha(img.Pixels.size());
    for (size_t i = 0; i < alpha.size(); ++i) alpha[i] = static_cast<uint8_t>(std::lround(Clamp01(img.Pixels[i].a) * 255.0f));
    sink.Put("ClockA.bmp", EncodeBmp8(alpha, img.Width(), img.Height(), grey));
}

}  // namespace cg
