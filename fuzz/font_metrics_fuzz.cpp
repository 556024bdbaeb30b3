// The font metrics reader: any bytes give a table of 256 entries whose sizes
// stay within bounds, and the cells laid out from it stay finite.
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "scene/scene_fonts.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::string_view text(reinterpret_cast<const char*>(data), size);
    TFontMetrics metrics;
    if (!ParseFontMetrics(text, metrics)) {
        if (size != 0) std::abort();
        return 0;
    }
    for (const TFontMetricsEntry& e : metrics)
        if (e.Width < 0 || e.Width > MaxMetricsSize || e.Height < 0 || e.Height > MaxMetricsSize) std::abort();
    // The same table through a font's cell layout (no GL, no file).
    TSceneFont font;
    font.FontOptions = 0;
    font.ApplyMetrics(metrics);
    font.ComputeCells();
    for (int code = 0; code < 256; ++code) {
        const TCharCell cell = font.GetCharMap(code);
        if (cell.Width > font.FontCellSize || cell.Height > font.FontCellSize) std::abort();
        for (const TVector2f& st : cell.TexCoords)
            if (!std::isfinite(st.x) || !std::isfinite(st.y)) std::abort();
    }
    return 0;
}
