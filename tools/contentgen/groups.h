// The generators of each content group (one source file each) and the fish
// species they are made of.
#pragma once

#include "content.h"
#include "fishbuild.h"

#include <vector>

namespace cg {

// Eleven salt-water species.
std::vector<FishDesign> SaltWaterFish();
// Ten fresh-water species.
std::vector<FishDesign> FreshWaterFish();

void GenerateSaltWaterFish(ContentSink& sink);
void GenerateFreshWaterFish(ContentSink& sink);
// Plankton speck, starfish and bubble.
void GenerateCreatures(ContentSink& sink);

// The six waters: sea beds, surfaces, backgrounds and their meshes.
void GenerateWaters(ContentSink& sink);
void GenerateBackgrounds(ContentSink& sink);
// Caustic maps for fish and background, and the light-ray map.
void GenerateCaustics(ContentSink& sink);
// Clock plate, digits and signs with their alpha picture.
void GenerateClockPictures(ContentSink& sink);
// The two looping ambient sounds.
void GenerateSounds(ContentSink& sink);

}  // namespace cg
