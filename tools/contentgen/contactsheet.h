// One review picture of the generated content: every picture with its alpha
// picture and over a checkerboard, and every mesh drawn with its textures
// (fish at rest and at several phases of the engine's swimming bend).
#pragma once

#include "image.h"
#include "raster.h"
#include "writers.h"

#include <map>
#include <memory>
#include <string>
#include <vector>

namespace cg {

using FileMap = std::map<std::string, Bytes>;

// Every regular file of a folder, by name.
FileMap ReadContentFolder(const std::string& folder);

// A mesh as the scene would draw it: one group per face material, grouped
// and transformed as the mesh loader does, with the pictures its materials
// name (colour plus the opacity map as alpha).
struct ReviewMesh {
    std::vector<RasterGroup> Groups;
    std::vector<std::unique_ptr<Image>> Textures;  // owned; groups point here
    std::vector<std::string> MissingFiles;
};
// Parses with the engine's own 3DM reader; throws its errors.
ReviewMesh LoadReviewMesh(const FileMap& files, const std::string& meshName);

// Only items whose name contains one of the comma-separated filter texts
// (case-insensitive), when it is not empty; zoom scales every cell.
Image MakeContactSheet(const FileMap& files, const std::string& filter = "", int zoom = 1);

// Text in a 5 x 7 pixel font scaled by size; letters shown upper case.
void DrawLabel(Image& img, int x, int y, const std::string& text, int size, Color c);

// Image to 8-bit RGBA rows.
std::vector<uint8_t> ToRgba8(const Image& img);

}  // namespace cg
