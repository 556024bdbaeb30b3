// A frame drawn at a fraction of the window and stretched over it: on a
// software renderer the pixels are the cost, so a large screen drawn at half
// its size takes about a quarter of the time, for a softer picture.
#pragma once

#include "render/gl_api.h"

#include <cstdint>

// The sizes the scaler offers, in percent of the window's sides. Three
// quarters is not among them: on a software renderer the stretch over the
// whole window costs more than the quarter fewer pixels save.
inline constexpr int32_t kRenderScales[] = {100, 50};

// The place of `percent` in kRenderScales; 0 (full size) when it is none.
int32_t RenderScaleIndex(int32_t percent);
// `percent` when it is one of kRenderScales, else 100 (full size).
int32_t ValidRenderScale(int32_t percent);
// A side drawn at `percent`: at least one pixel.
int32_t ScaledSide(int32_t side, int32_t percent);

class TFrameScaler {
public:
    // Copies the drawn corner (the lower left `drawnWidth` x `drawnHeight`
    // pixels of the back buffer) into a texture and draws it over the lower
    // left `width` x `height` pixels with linear filtering. Every GL state it
    // touches is put back, so the scene's own state tracking stays true.
    // Fits has said yes to the drawn size in this context.
    void Stretch(int32_t drawnWidth, int32_t drawnHeight, int32_t width, int32_t height);
    // Whether a drawn corner of that size fits in a texture of the current
    // context (its limits are asked once).
    bool Fits(int32_t drawnWidth, int32_t drawnHeight);
    // Deletes the texture and forgets the context's limits; call while the
    // context is current, before it goes.
    void Release();

    GLuint Texture() const { return FTexture; }
    int32_t TextureWidth() const { return FTextureWidth; }
    int32_t TextureHeight() const { return FTextureHeight; }

private:
    GLuint FTexture = 0;
    int32_t FTextureWidth = 0, FTextureHeight = 0;
    GLint FLargestTexture = -1;  // not asked yet
    GLint FTextureUnits = 1;
};
