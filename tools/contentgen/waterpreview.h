// A review picture of one water as the scene composes it: surface with its
// light layer and fog, the backdrop gradient, the fogged sea bed under the
// caustic, the light-ray sheet and three copies of the background plane,
// seen from the camera with a 75 degree field of view. Ray-cast, no GL.
#pragma once

#include "contactsheet.h"
#include "image.h"

#include <string>
#include <vector>

namespace cg {

struct WaterPreviewOptions {
    int Width = 960, Height = 540;  // the aspect decides the view's width
    bool Caustic = true;
    bool Rays = true;
    bool Background = true;
    float CausticTime = 0;
};

// Missing pictures leave their layer out and are listed in missing.
Image WaterPreview(const FileMap& files, int water, const WaterPreviewOptions& options,
                   std::vector<std::string>* missing = nullptr);

}  // namespace cg
