// Decodes the input as a JPEG file; what decodes must be a consistent
// 24-bit picture that encodes again.
#include "core/picture.h"
#include "core/errors.h"

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    TPicture picture;
    try {
        picture = DecodeJPEG(data, size);
    } catch (const Exception&) {
        return 0;
    }
    if (picture.Empty() || picture.BitsPerPixel != 24 ||
        picture.Pixels.size() != picture.RowSize() * static_cast<size_t>(picture.Height))
        __builtin_trap();
    // Re-encoding is linear in the pixels; keep it to pictures a fuzz run
    // can afford.
    if (static_cast<int64_t>(picture.Width) * picture.Height <= 256 * 256) EncodeJPEG(picture, 75);
    return 0;
}
