#include "icons.h"

#include "contactsheet.h"
#include "content.h"
#include "groups.h"
#include "raster.h"
#include "writers.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <iterator>
#include <limits>
#include <stdexcept>

namespace cg {

namespace {

constexpr const char* IconFishName = "Clown";
// Extra supersampling on top of the rasteriser's own: small icons are mostly
// edge, and large ones would only cost memory (a 4096-pixel square is 256 MB).
int Oversample(int size) { return std::clamp(256 / size, 1, 4); }

const Color WaterTop = Rgb(0x5CC8F0);
const Color WaterBottom = Rgb(0x0B4E8C);
const Color Rim = Rgb(0x06345E);

struct Bubble {
    float X, Y, R;  // in units of the icon's size
};
const Bubble Bubbles[] = {{0.25f, 0.27f, 0.045f}, {0.33f, 0.17f, 0.03f}, {0.22f, 0.12f, 0.02f}};

// The fish mesh with its picture, built once: it is the same for every size.
const ReviewMesh& IconFish() {
    static const ReviewMesh mesh = [] {
        for (const FishDesign& species : SaltWaterFish()) {
            if (species.Name != IconFishName) continue;
            MemorySink sink;
            const BuiltFish fish = BuildFish(species);
            PutFish(sink, fish);
            return LoadReviewMesh(sink.Files, fish.MeshName);
        }
        throw std::runtime_error("icons: no species named " + std::string(IconFishName));
    }();
    return mesh;
}

// The fish alone, facing right, filling the middle of the picture.
Image DrawFish(int size, float widthShare) {
    const ReviewMesh& mesh = IconFish();
    Vec3f lo{std::numeric_limits<float>::max(), std::numeric_limits<float>::max(), 0};
    Vec3f hi{-std::numeric_limits<float>::max(), -std::numeric_limits<float>::max(), 0};
    for (const RasterGroup& g : mesh.Groups)
        for (const Vec3f& p : g.Positions) {
            lo = {std::min(lo.x, p.x), std::min(lo.y, p.y), 0};
            hi = {std::max(hi.x, p.x), std::max(hi.y, p.y), 0};
        }
    const int big = size * Oversample(size);
    const float scale = widthShare * static_cast<float>(big) / (hi.x - lo.x);
    Rasteriser r(big, big, {0, 0, 0, 0});
    r.Draw(mesh.Groups, MakeView(0, 0, {(lo.x + hi.x) / 2, (lo.y + hi.y) / 2, 0}, scale));
    return Downsample(r.Result(), Oversample(size));
}

}  // namespace

const std::vector<int>& IconSizes() {
    static const std::vector<int> sizes = {16, 22, 24, 32, 48, 64, 128, 256};
    return sizes;
}

Image DrawIcon(int size) {
    if (size <= 0) throw std::invalid_argument("DrawIcon: bad size");
    const float s = static_cast<float>(size);
    Image icon(size, size);
    // The rim stays at least a pixel wide however small the icon.
    const float radius = s * 0.48f, rim = std::max(1.0f, s * 0.03f);
    FillDisc(icon, s / 2, s / 2, radius, Rim);
    // Water darkening with depth: rows of the gradient clipped to the disc.
    Image water(size, size);
    for (int y = 0; y < size; ++y)
        for (int x = 0; x < size; ++x)
            water.At(x, y) = Mix(WaterTop, WaterBottom, (static_cast<float>(y) + 0.5f) / s);
    Image disc(size, size);
    FillDisc(disc, s / 2, s / 2, radius - rim, {1, 1, 1, 1});
    for (size_t i = 0; i < icon.Pixels.size(); ++i) BlendOver(icon.Pixels[i], water.Pixels[i], disc.Pixels[i].a);
    if (size >= 32)
        for (const Bubble& b : Bubbles) {
            FillDisc(icon, b.X * s, b.Y * s, b.R * s, WithAlpha(Rgb(0xE8F8FF), 0.55f));
            FillDisc(icon, (b.X - b.R * 0.3f) * s, (b.Y - b.R * 0.3f) * s, b.R * 0.35f * s,
                     WithAlpha(Rgb(0xFFFFFF), 0.8f));
        }
    const Image fish = DrawFish(size, 0.8f);
    for (size_t i = 0; i < icon.Pixels.size(); ++i) BlendOver(icon.Pixels[i], fish.Pixels[i], 1);
    return icon;
}

std::string IconSvg() {
    constexpr int FishPixels = 512;
    const Image fish = DrawFish(FishPixels, 0.8f);
    const Bytes png = EncodePng(ToRgba8(fish), fish.Width(), fish.Height());
    static const char Alphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    std::string base64;
    for (size_t i = 0; i < png.size(); i += 3) {
        const uint32_t n = (uint32_t{png[i]} << 16) | (i + 1 < png.size() ? uint32_t{png[i + 1]} << 8 : 0) |
                           (i + 2 < png.size() ? uint32_t{png[i + 2]} : 0);
        base64 += Alphabet[(n >> 18) & 63];
        base64 += Alphabet[(n >> 12) & 63];
        base64 += i + 1 < png.size() ? Alphabet[(n >> 6) & 63] : '=';
        base64 += i + 2 < png.size() ? Alphabet[n & 63] : '=';
    }
    auto hex = [](Color c) {
        char buf[16];
        std::snprintf(buf, sizeof buf, "#%02x%02x%02x", static_cast<int>(std::lround(c.r * 255)),
                      static_cast<int>(std::lround(c.g * 255)), static_cast<int>(std::lround(c.b * 255)));
        return std::string(buf);
    };
    std::string svg =
        "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
        "<svg xmlns=\"http://www.w3.org/2000/svg\" xmlns:xlink=\"http://www.w3.org/1999/xlink\" "
        "width=\"256\" height=\"256\" viewBox=\"0 0 256 256\">\n"
        "  <defs>\n"
        "    <linearGradient id=\"water\" x1=\"0\" y1=\"0\" x2=\"0\" y2=\"1\">\n"
        "      <stop offset=\"0\" stop-color=\"" + hex(WaterTop) + "\"/>\n"
        "      <stop offset=\"1\" stop-color=\"" + hex(WaterBottom) + "\"/>\n"
        "    </linearGradient>\n"
        "  </defs>\n"
        "  <circle cx=\"128\" cy=\"128\" r=\"122.88\" fill=\"url(#water)\" stroke=\"" + hex(Rim) +
        "\" stroke-width=\"7.68\"/>\n";
    for (const Bubble& b : Bubbles) {
        char buf[256];
        std::snprintf(buf, sizeof buf,
                      "  <circle cx=\"%.2f\" cy=\"%.2f\" r=\"%.2f\" fill=\"#e8f8ff\" fill-opacity=\"0.55\"/>\n"
                      "  <circle cx=\"%.2f\" cy=\"%.2f\" r=\"%.2f\" fill=\"#ffffff\" fill-opacity=\"0.8\"/>\n",
                      b.X * 256, b.Y * 256, b.R * 256, (b.X - b.R * 0.3f) * 256, (b.Y - b.R * 0.3f) * 256,
                      b.R * 0.35f * 256);
        svg += buf;
    }
    svg += "  <image x=\"0\" y=\"0\" width=\"256\" height=\"256\" xlink:href=\"data:image/png;base64," + base64 +
           "\"/>\n</svg>\n";
    return svg;
}

void WriteIcons(const std::string& folder, const std::string& name) {
    for (int size : IconSizes()) {
        const Image icon = DrawIcon(size);
        const std::string dim = std::to_string(size) + "x" + std::to_string(size);
        DirectorySink sink(folder + "/" + dim + "/apps");
        sink.Put(name + ".png", EncodePng(ToRgba8(icon), size, size));
    }
    const std::string svg = IconSvg();
    DirectorySink(folder + "/scalable/apps").Put(name + ".svg", Bytes(svg.begin(), svg.end()));
}

Bytes WindowsIcon() {
    static constexpr int kSizes[] = {16, 24, 32, 48, 64, 256};
    constexpr size_t kCount = std::size(kSizes);
    std::vector<Bytes> pictures;
    for (int size : kSizes) pictures.push_back(EncodePng(ToRgba8(DrawIcon(size)), size, size));
    Bytes file;
    auto u16 = [&](uint32_t v) {
        file.push_back(static_cast<uint8_t>(v));
        file.push_back(static_cast<uint8_t>(v >> 8));
    };
    auto u32 = [&](uint32_t v) {
        u16(v & 0xFFFF);
        u16(v >> 16);
    };
    u16(0);  // reserved
    u16(1);  // an icon, not a cursor
    u16(kCount);
    uint32_t offset = static_cast<uint32_t>(6 + 16 * kCount);
    for (size_t i = 0; i < kCount; ++i) {
        const auto side = static_cast<uint8_t>(kSizes[i] & 0xFF);  // 256 is written as 0
        file.push_back(side);
        file.push_back(side);
        file.push_back(0);  // no palette
        file.push_back(0);
        u16(1);   // planes
        u16(32);  // bits per pixel
        u32(static_cast<uint32_t>(pictures[i].size()));
        u32(offset);
        offset += static_cast<uint32_t>(pictures[i].size());
    }
    for (const Bytes& picture : pictures) file.insert(file.end(), picture.begin(), picture.end());
    return file;
}

}  // namespace cg
