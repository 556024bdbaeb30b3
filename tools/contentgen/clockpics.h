// The clock's pictures: one 256 x 256 texture ("clock.bmp" with its alpha
// picture "ClockA.bmp") holding the plate, the digits, the colon, the date
// separator, the am and pm signs and the seven weekday names, each in its own
// rectangle for the scene's sprites to cut out. Light grey on transparent:
// the sprites tint them with the clock colour. Set with FreeType in a bold
// sans face found through fontconfig.
#pragma once

#include "image.h"

#include <string>
#include <vector>

namespace cg {

// A sprite's cut-out: the top-left pixel counted from the picture's top.
struct ClockCell {
    std::string Sprite;  // the sprite's scene name
    std::string Text;    // what is drawn there (empty for the plate)
    int X, Y, Width, Height;
};

constexpr int ClockPictureSize = 256;

// Every rectangle, plate first, then "0" to "9", ":", "\", "am", "pm",
// "sun" to "sat".
const std::vector<ClockCell>& ClockCells();

// The picture with its alpha; throws when no usable font is found.
Image ClockPicture();

// The font file fontconfig chooses for the clock.
std::string ClockFontFile();

}  // namespace cg
