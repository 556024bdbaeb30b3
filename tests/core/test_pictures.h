// Pictures the texture and texel tests build their cases from.
#pragma once

#include "core/picture.h"

#include <cstdint>

// Blue = 10x + y, green = 20y, red = 200 - x - y.
inline TPicture Pattern(int32_t w, int32_t h) {
    TPicture p;
    p.SetSize(w, h, 24);
    for (int32_t y = 0; y < h; ++y)
        for (int32_t x = 0; x < w; ++x) {
            uint8_t* px = p.Row(y) + 3 * x;
            px[0] = static_cast<uint8_t>(10 * x + y);
            px[1] = static_cast<uint8_t>(20 * y);
            px[2] = static_cast<uint8_t>(200 - x - y);
        }
    return p;
}

inline TPicture Flat(int32_t w, int32_t h, uint8_t b, uint8_t g, uint8_t r) {
    TPicture p;
    p.SetSize(w, h, 24);
    for (size_t i = 0; i < p.Pixels.size(); i += 3) {
        p.Pixels[i] = b;
        p.Pixels[i + 1] = g;
        p.Pixels[i + 2] = r;
    }
    return p;
}
