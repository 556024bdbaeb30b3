// The program's icon: one of the aquarium's own fish, drawn side-on over a
// round patch of water, at the sizes desktops look for, and as SVG.
#pragma once

#include "image.h"
#include "writers.h"

#include <string>
#include <vector>

namespace cg {

// Square sizes in pixels of the PNG icons.
const std::vector<int>& IconSizes();

// The icon at size x size pixels, transparent outside the water disc.
Image DrawIcon(int size);

// The scalable icon: the water disc and its bubbles as shapes, the fish as
// an embedded picture drawn at 512 pixels.
std::string IconSvg();

// Writes <size>x<size>/apps/<name>.png for every size and
// scalable/apps/<name>.svg under the folder (a hicolor theme layout).
void WriteIcons(const std::string& folder, const std::string& name);

// The icon as a Windows icon file: the sizes Windows shows, each a PNG
// (which Windows reads in icon files since Vista).
Bytes WindowsIcon();

}  // namespace cg
