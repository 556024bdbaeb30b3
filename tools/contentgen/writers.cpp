#include "writers.h"

#include "core/errors.h"
#include "core/picture.h"

#include <algorithm>
#include <charconv>
#include <cstdio>
#include <cstring>
#include <stdexcept>

#include <zlib.h>

namespace cg {

namespace {

void Put16(Bytes& b, uint32_t v) {
    b.push_back(static_cast<uint8_t>(v));
    b.push_back(static_cast<uint8_t>(v >> 8));
}

void Put32(Bytes& b, uint32_t v) {
    Put16(b, v & 0xFFFF);
    Put16(b, v >> 16);
}

void PutBe32(Bytes& b, uint32_t v) {
    b.push_back(static_cast<uint8_t>(v >> 24));
    b.push_back(static_cast<uint8_t>(v >> 16));
    b.push_back(static_cast<uint8_t>(v >> 8));
    b.push_back(static_cast<uint8_t>(v));
}

uint32_t Get16(const Bytes& b, size_t o) { return b[o] | (static_cast<uint32_t>(b[o + 1]) << 8); }
uint32_t Get32(const Bytes& b, size_t o) { return Get16(b, o) | (Get16(b, o + 2) << 16); }

}  // namespace

Bytes EncodeJpeg(const std::vector<uint8_t>& rgb, int width, int height, int quality) {
    if (width <= 0 || height <= 0 || rgb.size() < static_cast<size_t>(width) * height * 3)
        throw std::runtime_error("EncodeJpeg: bad picture size");
    TPicture picture;
    picture.SetSize(width, height, 24);
    for (size_t i = 0; i < picture.Pixels.size(); i += 3) {
        picture.Pixels[i] = rgb[i + 2];
        picture.Pixels[i + 1] = rgb[i + 1];
        picture.Pixels[i + 2] = rgb[i];
    }
    // Huffman tables made for each picture keep the archive small.
    return EncodeJPEG(picture, quality, true);
}

std::optional<DecodedPicture> DecodeJpeg(const Bytes& bytes) {
    if (bytes.size() < 4) return std::nullopt;
    TPicture picture;
    try {
        picture = DecodeJPEG(bytes.data(), bytes.size());
    } catch (const Exception&) {
        return std::nullopt;
    }
    DecodedPicture pic;
    pic.Width = picture.Width;
    pic.Height = picture.Height;
    pic.Rgb.resize(picture.Pixels.size());
    for (size_t i = 0; i < pic.Rgb.size(); i += 3) {
        pic.Rgb[i] = picture.Pixels[i + 2];
        pic.Rgb[i + 1] = picture.Pixels[i + 1];
        pic.Rgb[i + 2] = picture.Pixels[i];
    }
    return pic;
}

std::vector<uint8_t> JpegSamplingFactors(const Bytes& bytes) {
    size_t p = 2;
    if (bytes.size() < 4 || bytes[0] != 0xFF || bytes[1] != 0xD8) return {};
    while (p + 4 <= bytes.size()) {
        if (bytes[p] != 0xFF) return {};
        uint8_t marker = bytes[p + 1];
        size_t len = (static_cast<size_t>(bytes[p + 2]) << 8) | bytes[p + 3];
        if (len < 2 || p + 2 + len > bytes.size()) return {};
        if (marker >= 0xC0 && marker <= 0xC2) {
            size_t q = p + 4;
            if (q + 6 > bytes.size()) return {};
            int n = bytes[q + 5];
            std::vector<uint8_t> result;
            for (int c = 0; c < n; ++c) {
                size_t at = q + 6 + static_cast<size_t>(c) * 3 + 1;
                if (at >= bytes.size()) return {};
                result.push_back(bytes[at]);
            }
            return result;
        }
        p += 2 + len;
    }
    return {};
}

Bytes EncodeBmp24(const std::vector<uint8_t>& rgb, int width, int height) {
    if (width <= 0 || height <= 0 || rgb.size() < static_cast<size_t>(width) * height * 3)
        throw std::runtime_error("EncodeBmp24: bad picture size");
    const uint32_t stride = (static_cast<uint32_t>(width) * 3 + 3) & ~3u;
    const uint32_t dataSize = stride * static_cast<uint32_t>(height);
    Bytes b;
    b.reserve(54 + dataSize);
    b.push_back('B');
    b.push_back('M');
    Put32(b, 54 + dataSize);
    Put32(b, 0);
    Put32(b, 54);
    Put32(b, 40);
    Put32(b, static_cast<uint32_t>(width));
    Put32(b, static_cast<uint32_t>(height));
    Put16(b, 1);
    Put16(b, 24);
    Put32(b, 0);
    Put32(b, dataSize);
    Put32(b, 2835);
    Put32(b, 2835);
    Put32(b, 0);
    Put32(b, 0);
    for (int y = height - 1; y >= 0; --y) {
        const uint8_t* row = rgb.data() + static_cast<size_t>(y) * width * 3;
        for (int x = 0; x < width; ++x) {
            b.push_back(row[x * 3 + 2]);
            b.push_back(row[x * 3 + 1]);
            b.push_back(row[x * 3]);
        }
        for (uint32_t pad = static_cast<uint32_t>(width) * 3; pad < stride; ++pad) b.push_back(0);
    }
    return b;
}

Bytes EncodeBmp8(const std::vector<uint8_t>& indices, int width, int height,
                 const std::vector<std::array<uint8_t, 3>>& palette) {
    if (width <= 0 || height <= 0 || indices.size() < static_cast<size_t>(width) * height || palette.empty() ||
        palette.size() > 256)
        throw std::runtime_error("EncodeBmp8: bad picture");
    const uint32_t stride = (static_cast<uint32_t>(width) + 3) & ~3u;
    const uint32_t dataSize = stride * static_cast<uint32_t>(height);
    const uint32_t colours = static_cast<uint32_t>(palette.size());
    const uint32_t offset = 54 + colours * 4;
    Bytes b;
    b.reserve(offset + dataSize);
    b.push_back('B');
    b.push_back('M');
    Put32(b, offset + dataSize);
    Put32(b, 0);
    Put32(b, offset);
    Put32(b, 40);
    Put32(b, static_cast<uint32_t>(width));
    Put32(b, static_cast<uint32_t>(height));
    Put16(b, 1);
    Put16(b, 8);
    Put32(b, 0);
    Put32(b, dataSize);
    Put32(b, 2835);
    Put32(b, 2835);
    Put32(b, colours);
    Put32(b, colours);
    for (const auto& c : palette) {
        b.push_back(c[2]);
        b.push_back(c[1]);
        b.push_back(c[0]);
        b.push_back(0);
    }
    for (int y = height - 1; y >= 0; --y) {
        const uint8_t* row = indices.data() + static_cast<size_t>(y) * width;
        for (int x = 0; x < width; ++x) b.push_back(std::min<uint8_t>(row[x], static_cast<uint8_t>(colours - 1)));
        for (uint32_t pad = static_cast<uint32_t>(width); pad < stride; ++pad) b.push_back(0);
    }
    return b;
}

std::optional<DecodedPicture> DecodeBmp(const Bytes& b) {
    if (b.size() < 54 || b[0] != 'B' || b[1] != 'M') return std::nullopt;
    const uint32_t offset = Get32(b, 10);
    const uint32_t headerSize = Get32(b, 14);
    if (headerSize < 40) return std::nullopt;
    const int32_t width = static_cast<int32_t>(Get32(b, 18));
    int32_t height = static_cast<int32_t>(Get32(b, 22));
    const uint32_t bits = Get16(b, 28);
    const uint32_t compression = Get32(b, 30);
    bool topDown = height < 0;
    if (topDown) height = -height;
    if (width <= 0 || height <= 0 || width > 16384 || height > 16384 || compression != 0) return std::nullopt;
    if (bits != 24 && bits != 8) return std::nullopt;
    const size_t stride = ((static_cast<size_t>(width) * bits / 8) + 3) & ~static_cast<size_t>(3);
    if (offset > b.size() || b.size() - offset < stride * static_cast<size_t>(height)) return std::nullopt;
    std::vector<std::array<uint8_t, 3>> palette(256, {0, 0, 0});
    if (bits == 8) {
        uint32_t used = Get32(b, 46);
        if (used == 0 || used > 256) used = 256;
        size_t at = 14 + headerSize;
        for (uint32_t i = 0; i < used && at + 4 <= offset; ++i, at += 4) palette[i] = {b[at + 2], b[at + 1], b[at]};
    }
    DecodedPicture pic;
    pic.Width = width;
    pic.Height = height;
    pic.Rgb.resize(static_cast<size_t>(width) * height * 3);
    for (int y = 0; y < height; ++y) {
        int srcRow = topDown ? y : height - 1 - y;
        const uint8_t* row = b.data() + offset + static_cast<size_t>(srcRow) * stride;
        uint8_t* dst = pic.Rgb.data() + static_cast<size_t>(y) * width * 3;
        for (int x = 0; x < width; ++x) {
            if (bits == 24) {
                dst[x * 3] = row[x * 3 + 2];
                dst[x * 3 + 1] = row[x * 3 + 1];
                dst[x * 3 + 2] = row[x * 3];
            } else {
                const auto& c = palette[row[x]];
                dst[x * 3] = c[0];
                dst[x * 3 + 1] = c[1];
                dst[x * 3 + 2] = c[2];
            }
        }
    }
    return pic;
}

std::optional<DecodedPicture> DecodePicture(const std::string& name, const Bytes& bytes) {
    std::string lower(name);
    std::transform(lower.begin(), lower.end(), lower.begin(),
                   [](char c) { return static_cast<char>(c >= 'A' && c <= 'Z' ? c + 32 : c); });
    auto ends = [&](const char* ext) {
        size_t n = std::strlen(ext);
        return lower.size() >= n && lower.compare(lower.size() - n, n, ext) == 0;
    };
    if (ends(".jpg") || ends(".jpeg")) return DecodeJpeg(bytes);
    if (ends(".bmp")) return DecodeBmp(bytes);
    return std::nullopt;
}

namespace {

void PngChunk(Bytes& out, const char* type, const Bytes& data) {
    PutBe32(out, static_cast<uint32_t>(data.size()));
    size_t start = out.size();
    out.insert(out.end(), type, type + 4);
    out.insert(out.end(), data.begin(), data.end());
    uLong crc = crc32(0, out.data() + start, static_cast<uInt>(out.size() - start));
    PutBe32(out, static_cast<uint32_t>(crc));
}

}  // namespace

Bytes EncodePng(const std::vector<uint8_t>& rgba, int width, int height) {
    if (width <= 0 || height <= 0 || rgba.size() < static_cast<size_t>(width) * height * 4)
        throw std::runtime_error("EncodePng: bad picture size");
    Bytes raw;
    const size_t stride = static_cast<size_t>(width) * 4;
    raw.reserve((stride + 1) * height);
    for (int y = 0; y < height; ++y) {
        // Filter "sub": each byte minus the one four to the left.
        raw.push_back(1);
        const uint8_t* row = rgba.data() + y * stride;
        for (size_t i = 0; i < stride; ++i) raw.push_back(static_cast<uint8_t>(row[i] - (i >= 4 ? row[i - 4] : 0)));
    }
    uLongf zsize = compressBound(static_cast<uLong>(raw.size()));
    Bytes z(zsize);
    if (compress2(z.data(), &zsize, raw.data(), static_cast<uLong>(raw.size()), 6) != Z_OK)
        throw std::runtime_error("EncodePng: deflate failed");
    z.resize(zsize);
    Bytes out = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
    Bytes ihdr;
    PutBe32(ihdr, static_cast<uint32_t>(width));
    PutBe32(ihdr, static_cast<uint32_t>(height));
    ihdr.push_back(8);  // bit depth
    ihdr.push_back(6);  // RGBA
    ihdr.push_back(0);
    ihdr.push_back(0);
    ihdr.push_back(0);
    PngChunk(out, "IHDR", ihdr);
    PngChunk(out, "IDAT", z);
    PngChunk(out, "IEND", {});
    return out;
}

std::string FormatFloat(float v) {
    if (v == 0) return "0";
    char buf[32];
    auto res = std::to_chars(buf, buf + sizeof(buf), v);
    return std::string(buf, res.ptr);
}

std::string FormatFixed(float v, int decimals) {
    char buf[64];
    auto res = std::to_chars(buf, buf + sizeof(buf), v, std::chars_format::fixed, decimals);
    std::string s(buf, res.ptr);
    if (s.find('.') != std::string::npos) {
        while (s.back() == '0') s.pop_back();
        if (s.back() == '.') s.pop_back();
    }
    if (s == "-0") s = "0";
    return s;
}

namespace {

std::string Triple(float a, float b, float c) {
    return "[" + FormatFloat(a) + "," + FormatFloat(b) + "," + FormatFloat(c) + "]";
}

std::string FixedTriple(float a, float b, float c, int decimals) {
    return "[" + FormatFixed(a, decimals) + "," + FormatFixed(b, decimals) + "," + FormatFixed(c, decimals) + "]";
}

std::string Colour(const Vec3f& c) {
    return "(color " + FormatFloat(c.x) + " " + FormatFloat(c.y) + " " + FormatFloat(c.z) + ")";
}

std::string MapName(const std::string& s) { return s.empty() ? "undefined" : s; }

void WriteStandard(std::string& out, const Material3dm& m) {
    out += "#MaterialStandard 17\n";
    out += "Name " + m.Name + "\n";
    out += "ShaderType 1 Blinn\n";
    out += "Faceted false\n";
    out += "WireSize 0\n";
    out += std::string("TwoSided ") + (m.TwoSided ? "true" : "false") + "\n";
    out += "OpacityType 0\n";
    out += "Opacity " + FormatFloat(m.Opacity) + "\n";
    out += "selfIllumColor " + Colour(m.SelfIllum) + "\n";
    out += "Ambient " + Colour(m.Ambient) + "\n";
    out += "Diffuse " + Colour(m.Diffuse) + "\n";
    out += "Specular " + Colour(m.Specular) + "\n";
    out += "SpecularLevel " + FormatFloat(m.SpecularLevel) + "\n";
    out += "Glossiness " + FormatFloat(m.Glossiness) + "\n";
    out += "DiffuseMap " + MapName(m.DiffuseMap) + "\n";
    out += "OpacityMap " + MapName(m.OpacityMap) + "\n";
    out += "BumpMap undefined\n";
    out += "ReflectionMap undefined\n";
}

void WriteFaces(std::string& out, const char* section, const std::vector<Tri>& faces) {
    out += std::string("#") + section + " " + std::to_string(faces.size()) + "\n";
    for (const Tri& f : faces)
        out += "[" + std::to_string(f.a) + "," + std::to_string(f.b) + "," + std::to_string(f.c) + "]\n";
}

}  // namespace

std::string Write3dm(const Mesh3dm& mesh) {
    std::string out;
    out += "#Header 1\nVersion 1\n";
    out += "#MaterialCount 1\nCount 1\n";
    if (!mesh.SubMaterials.empty()) {
        out += "#MaterialMultiSubObject 2\n";
        out += "Name " + mesh.MaterialName + "\n";
        out += "NumSubs " + std::to_string(mesh.SubMaterials.size()) + "\n";
        for (const Material3dm& m : mesh.SubMaterials) WriteStandard(out, m);
    } else if (mesh.Standard) {
        WriteStandard(out, *mesh.Standard);
    }
    for (const Object3dm& o : mesh.Objects) {
        out += "#Object 1\nName " + o.Name + "\n";
        if (o.Transform) {
            const auto& t = *o.Transform;
            out += "#Transform 4\n";
            out += "Position " + Triple(t[3].x, t[3].y, t[3].z) + "\n";
            out += "Rotation (quat 0 0 0 1)\n";
            out += "Scale [1,1,1]\n";
            out += "(matrix3 " + Triple(t[0].x, t[0].y, t[0].z) + " " + Triple(t[1].x, t[1].y, t[1].z) + " " +
                   Triple(t[2].x, t[2].y, t[2].z) + " " + Triple(t[3].x, t[3].y, t[3].z) + ")\n";
        }
        out += "#Vertices " + std::to_string(o.Vertices.size()) + "\n";
        for (const Vec3f& v : o.Vertices) out += FixedTriple(v.x, v.y, v.z, 2) + "\n";
        WriteFaces(out, "VertexFaces", o.Faces);
        out += "#Material 1\nName " + o.MaterialName + "\n";
        out += "#FaceMatID " + std::to_string(o.FaceMaterialIds.size()) + "\n";
        for (int id : o.FaceMaterialIds) out += std::to_string(id) + "\n";
        if (!o.Normals.empty()) {
            out += "#Normals " + std::to_string(o.Normals.size()) + "\n";
            for (const Vec3f& n : o.Normals) out += FixedTriple(n.x, n.y, n.z, 5) + "\n";
        }
        out += "#TextureCoords " + std::to_string(o.TexCoords.size()) + "\n";
        for (const Tex2f& t : o.TexCoords) out += FixedTriple(t.u, t.v, 0, 5) + "\n";
        WriteFaces(out, "TextureCoordFaces", o.TexFaces);
    }
    return out;
}

}  // namespace cg
