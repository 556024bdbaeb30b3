#include "core/picture_scale.h"

#include "core/errors.h"

#include <algorithm>
#include <cmath>
#include <vector>

namespace {

// One source pixel's share in a target pixel along one axis.
struct TTap {
    int32_t Source;
    double Weight;
};

// The taps of every target index of one axis, target by target.
struct TAxis {
    std::vector<size_t> First;  // First[i] .. First[i + 1] are the taps of target i
    std::vector<TTap> Taps;
};

TAxis MakeAxis(int32_t from, int32_t to) {
    TAxis axis;
    axis.First.reserve(static_cast<size_t>(to) + 1);
    for (int32_t i = 0; i < to; ++i) {
        axis.First.push_back(axis.Taps.size());
        if (from == to) {
            axis.Taps.push_back({i, 1.0});
        } else if (to < from) {
            // Area average: target i covers [lo, hi) of the source.
            const double scale = static_cast<double>(from) / to;
            const double lo = i * scale, hi = (i + 1) * scale;
            const int32_t last = std::min(from - 1, static_cast<int32_t>(std::ceil(hi)) - 1);
            for (auto s = static_cast<int32_t>(std::floor(lo)); s <= last; ++s) {
                const double covered = std::min(hi, s + 1.0) - std::max(lo, static_cast<double>(s));
                if (covered > 1e-12) axis.Taps.push_back({s, covered / scale});
            }
        } else {
            // Bilinear between the two source centres around the target centre.
            double u = (i + 0.5) * from / to - 0.5;
            u = std::clamp(u, 0.0, static_cast<double>(from - 1));
            const auto s0 = static_cast<int32_t>(std::floor(u));
            const int32_t s1 = std::min(s0 + 1, from - 1);
            const double f = u - s0;
            axis.Taps.push_back({s0, 1.0 - f});
            if (f > 0 && s1 != s0) axis.Taps.push_back({s1, f});
        }
    }
    axis.First.push_back(axis.Taps.size());
    return axis;
}

bool Consistent(const TPicture& p) {
    if (p.BitsPerPixel != 8 && p.BitsPerPixel != 24) return false;
    if (p.Width < 0 || p.Height < 0) return false;
    return p.Pixels.size() >= p.RowSize() * static_cast<size_t>(p.Height);
}

// Row y of the picture as blue, green, red bytes.
void DecodeRow(const TPicture& p, int32_t y, std::vector<uint8_t>& out) {
    const uint8_t* row = p.Row(y);
    if (p.BitsPerPixel == 24) {
        std::copy(row, row + static_cast<size_t>(p.Width) * 3, out.begin());
        return;
    }
    for (int32_t x = 0; x < p.Width; ++x) {
        const size_t index = row[x];
        const TRGBQuad q = index < p.Palette.size() ? p.Palette[index] : TRGBQuad{};
        out[3 * static_cast<size_t>(x)] = q.Blue;
        out[3 * static_cast<size_t>(x) + 1] = q.Green;
        out[3 * static_cast<size_t>(x) + 2] = q.Red;
    }
}

}  // namespace

bool IsTextureSide(int32_t side) { return side >= 1 && side <= kMaxTextureSide && (side & (side - 1)) == 0; }

int32_t TextureSide(int32_t side) {
    if (side <= 0) return 0;
    int32_t p = 1;
    while (p <= side / 2 && p < kMaxTextureSide) p *= 2;
    return p;
}

TPicture StretchPicture(const TPicture& source, int32_t width, int32_t height) {
    TPicture target;
    if (source.Empty() || width <= 0 || height <= 0) return target;
    if (!Consistent(source)) throw Exception("StretchPicture error: Picture data does not match its size");
    target.SetSize(width, height, 24);

    const TAxis across = MakeAxis(source.Width, width);
    const TAxis down = MakeAxis(source.Height, height);
    // Which target rows each source row feeds, and by how much.
    std::vector<std::vector<TTap>> feeds(static_cast<size_t>(source.Height));
    for (int32_t ty = 0; ty < height; ++ty)
        for (size_t k = down.First[ty]; k < down.First[ty + 1]; ++k)
            feeds[static_cast<size_t>(down.Taps[k].Source)].push_back({ty, down.Taps[k].Weight});

    const size_t targetRow = static_cast<size_t>(width) * 3;
    std::vector<double> sums(targetRow * static_cast<size_t>(height), 0.0);
    std::vector<uint8_t> decoded(static_cast<size_t>(source.Width) * 3);
    std::vector<double> filtered(targetRow);
    for (int32_t sy = 0; sy < source.Height; ++sy) {
        const auto& rows = feeds[static_cast<size_t>(sy)];
        if (rows.empty()) continue;
        DecodeRow(source, sy, decoded);
        for (int32_t tx = 0; tx < width; ++tx) {
            double b = 0, g = 0, r = 0;
            for (size_t k = across.First[tx]; k < across.First[tx + 1]; ++k) {
                const TTap& tap = across.Taps[k];
                const uint8_t* p = decoded.data() + 3 * static_cast<size_t>(tap.Source);
                b += p[0] * tap.Weight;
                g += p[1] * tap.Weight;
                r += p[2] * tap.Weight;
            }
            double* out = filtered.data() + 3 * static_cast<size_t>(tx);
            out[0] = b;
            out[1] = g;
            out[2] = r;
        }
        for (const TTap& row : rows) {
            double* sum = sums.data() + static_cast<size_t>(row.Source) * targetRow;
            for (size_t i = 0; i < targetRow; ++i) sum[i] += filtered[i] * row.Weight;
        }
    }
    for (size_t i = 0; i < sums.size(); ++i)
        target.Pixels[i] = static_cast<uint8_t>(std::clamp(std::lround(sums[i]), 0L, 255L));
    return target;
}
