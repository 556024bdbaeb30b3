// File formats the generator writes: JPEG (through the core's codec, no
// chroma subsampling), 8-bit palette and 24-bit BMP, PNG for review sheets,
// and 3DM mesh text. The JPEG and BMP readers are here too, for the
// contact sheet and tests.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace cg {

using Bytes = std::vector<uint8_t>;

// rgb: width * height * 3 bytes, rows top to bottom.
Bytes EncodeJpeg(const std::vector<uint8_t>& rgb, int width, int height, int quality);
// 24-bit BMP, bottom-up rows as usual.
Bytes EncodeBmp24(const std::vector<uint8_t>& rgb, int width, int height);
// 8-bit BMP: one index per pixel and a palette of up to 256 RGB entries.
Bytes EncodeBmp8(const std::vector<uint8_t>& indices, int width, int height,
                 const std::vector<std::array<uint8_t, 3>>& palette);
// 8-bit RGBA PNG (review output only).
Bytes EncodePng(const std::vector<uint8_t>& rgba, int width, int height);

struct DecodedPicture {
    int Width = 0, Height = 0;
    std::vector<uint8_t> Rgb;  // rows top to bottom
};
// Empty result for anything that is not a well-formed picture.
std::optional<DecodedPicture> DecodeJpeg(const Bytes& bytes);
std::optional<DecodedPicture> DecodeBmp(const Bytes& bytes);
// By the name's extension (".jpg", ".jpeg", ".bmp").
std::optional<DecodedPicture> DecodePicture(const std::string& name, const Bytes& bytes);

// Sampling factors of each component of a baseline or progressive JPEG, as
// (h << 4 | v) bytes; empty when there is no frame header.
std::vector<uint8_t> JpegSamplingFactors(const Bytes& bytes);

// 3DM mesh text.
struct Vec3f {
    float x = 0, y = 0, z = 0;
};
struct Tex2f {
    float u = 0, v = 0;
};
struct Tri {
    int a = 0, b = 0, c = 0;  // 1-based
};

struct Material3dm {
    std::string Name;
    bool TwoSided = false;
    float Opacity = 100;  // percent
    Vec3f Ambient{150, 150, 150}, Diffuse{255, 255, 255}, Specular{0, 0, 0}, SelfIllum{0, 0, 0};  // 0 to 255
    float SpecularLevel = 0, Glossiness = 10;  // percent
    std::string DiffuseMap, OpacityMap;        // empty: "undefined"
};

struct Object3dm {
    std::string Name;
    std::string MaterialName;
    std::vector<Vec3f> Vertices;
    std::vector<Vec3f> Normals;
    std::vector<Tex2f> TexCoords;
    std::vector<Tri> Faces;
    std::vector<Tri> TexFaces;
    std::vector<int> FaceMaterialIds;
    // Rows: three axes then the translation. With a transform the loader
    // turns the object from a z-up into the engine's y-up frame.
    std::optional<std::array<Vec3f, 4>> Transform;
};

struct Mesh3dm {
    // A multi-material when it has sub-materials, else one standard material.
    std::string MaterialName;
    std::vector<Material3dm> SubMaterials;
    std::optional<Material3dm> Standard;
    std::vector<Object3dm> Objects;
};

std::string Write3dm(const Mesh3dm& mesh);
// Shortest text that reads back as the same float, "." as decimal separator.
std::string FormatFloat(float v);
// At most the given number of decimals, trailing zeros dropped ("12.5", "-3").
std::string FormatFixed(float v, int decimals);

}  // namespace cg
