// Resampling of pictures to the power-of-two sizes textures need. Each axis
// is filtered on its own: an area (box) average where it shrinks, so every
// source pixel counts by the share of it a target pixel covers; bilinear
// interpolation where it grows; a plain copy where it keeps its size.
#pragma once

#include "core/picture.h"

#include <cstdint>

// Largest texture side a picture is stretched to.
constexpr int32_t kMaxTextureSide = 1024;

// True for a power of two from 1 to kMaxTextureSide.
bool IsTextureSide(int32_t side);

// The side a picture takes as a texture: the largest power of two not above
// `side`, at most kMaxTextureSide; 0 (and below) gives 0.
int32_t TextureSide(int32_t side);

// A new 24-bit picture of width x height resampled from `source` (8-bit
// pictures are read through their palettes). An empty source or a zero side
// gives an empty picture. Raises Exception for a source whose pixel buffer
// does not match its size or depth, and for a target beyond the picture
// limits.
TPicture StretchPicture(const TPicture& source, int32_t width, int32_t height);
