// JPEG decoding and encoding of packed 8-bit RGB rows. The core's picture
// type sits above this layer, so pixels travel through the caller's rows.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace platform {

// Gives the codec the row buffer for a decoded picture of width x height
// (width * 3 bytes a row, rows one after another); null refuses the size.
class IJpegTarget {
public:
    virtual uint8_t* Allocate(uint32_t width, uint32_t height) = 0;

protected:
    ~IJpegTarget() = default;
};

// Fills one row of width * 3 bytes (red, green, blue) for the encoder.
class IJpegSource {
public:
    virtual void Row(uint32_t y, uint8_t* rgb) = 0;

protected:
    ~IJpegSource() = default;
};

// Both return 0, or the codec's error code (libjpeg's message codes on
// Linux). Any input ends in a picture or a code, never in a read past the
// data. `optimizeCoding` builds Huffman tables for the picture: a smaller
// file for a second pass over the data.
int DecodeJpeg(const uint8_t* data, size_t size, IJpegTarget& target);
int EncodeJpeg(uint32_t width, uint32_t height, int quality, IJpegSource& source, std::vector<uint8_t>& out,
               bool optimizeCoding = false);

}  // namespace platform
