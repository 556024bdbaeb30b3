// Reads the input as a BMP file. A picture that loads must be consistent
// and must survive being written and read again unchanged.
#include "core/picture.h"
#include "core/errors.h"

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    TPicture picture;
    try {
        picture = ReadBMP(data, size);
    } catch (const Exception&) {
        return 0;
    }
    if (picture.Empty() || picture.Pixels.size() != picture.RowSize() * static_cast<size_t>(picture.Height))
        __builtin_trap();
    if (picture.BitsPerPixel == 8 && picture.Palette.size() != 256) __builtin_trap();
    std::vector<uint8_t> file = WriteBMP(picture);
    TPicture again = ReadBMP(file.data(), file.size());
    if (again.Pixels != picture.Pixels || again.Width != picture.Width || again.Height != picture.Height)
        __builtin_trap();
    return 0;
}
