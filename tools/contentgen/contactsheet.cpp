#include "contactsheet.h"

#include "content.h"
#include "swim.h"

#include "core/file3dm.h"

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <iterator>

namespace cg {

namespace {

std::string Lower(std::string s) {
    for (char& c : s)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c + 32);
    return s;
}

bool EndsWith(const std::string& s, const std::string& tail) {
    return s.size() >= tail.size() && s.compare(s.size() - tail.size(), tail.size(), tail) == 0;
}

const Bytes* FindFile(const FileMap& files, const std::string& name) {
    auto it = files.find(name);
    if (it != files.end()) return &it->second;
    const std::string want = Lower(name);
    for (const auto& [n, b] : files)
        if (Lower(n) == want) return &b;
    return nullptr;
}

std::unique_ptr<Image> LoadPicture(const FileMap& files, const std::string& colour, const std::string& alpha,
                                   std::vector<std::string>& missing) {
    const Bytes* cb = FindFile(files, colour);
    if (!cb) {
        missing.push_back(colour);
        return nullptr;
    }
    auto pic = DecodePicture(colour, *cb);
    if (!pic) {
        missing.push_back(colour);
        return nullptr;
    }
    auto img = std::make_unique<Image>(FromRgb8(pic->Rgb, pic->Width, pic->Height));
    if (!alpha.empty()) {
        const Bytes* ab = FindFile(files, alpha);
        auto apic = ab ? DecodePicture(alpha, *ab) : std::nullopt;
        if (!apic || apic->Width != pic->Width || apic->Height != pic->Height) {
            missing.push_back(alpha);
        } else {
            for (size_t i = 0; i < img->Pixels.size(); ++i) {
                const uint8_t* p = &apic->Rgb[i * 3];
                img->Pixels[i].a = static_cast<float>(p[0] + p[1] + p[2]) / (3 * 255.0f);
            }
        }
    }
    return img;
}

// 5 x 7 glyphs, one byte per row, bit 4 leftmost.
struct Glyph {
    char C;
    uint8_t Rows[7];
};
const Glyph Font[] = {
    {'0', {0x0E, 0x11, 0x13, 0x15, 0x19, 0x11, 0x0E}}, {'1', {0x04, 0x0C, 0x04, 0x04, 0x04, 0x04, 0x0E}},
    {'2', {0x0E, 0x11, 0x01, 0x02, 0x04, 0x08, 0x1F}}, {'3', {0x1F, 0x02, 0x04, 0x02, 0x01, 0x11, 0x0E}},
    {'4', {0x02, 0x06, 0x0A, 0x12, 0x1F, 0x02, 0x02}}, {'5', {0x1F, 0x10, 0x1E, 0x01, 0x01, 0x11, 0x0E}},
    {'6', {0x06, 0x08, 0x10, 0x1E, 0x11, 0x11, 0x0E}}, {'7', {0x1F, 0x01, 0x02, 0x04, 0x08, 0x08, 0x08}},
    {'8', {0x0E, 0x11, 0x11, 0x0E, 0x11, 0x11, 0x0E}}, {'9', {0x0E, 0x11, 0x11, 0x0F, 0x01, 0x02, 0x0C}},
    {'A', {0x0E, 0x11, 0x11, 0x1F, 0x11, 0x11, 0x11}}, {'B', {0x1E, 0x11, 0x11, 0x1E, 0x11, 0x11, 0x1E}},
    {'C', {0x0E, 0x11, 0x10, 0x10, 0x10, 0x11, 0x0E}}, {'D', {0x1C, 0x12, 0x11, 0x11, 0x11, 0x12, 0x1C}},
    {'E', {0x1F, 0x10, 0x10, 0x1E, 0x10, 0x10, 0x1F}}, {'F', {0x1F, 0x10, 0x10, 0x1E, 0x10, 0x10, 0x10}},
    {'G', {0x0E, 0x11, 0x10, 0x17, 0x11, 0x11, 0x0F}}, {'H', {0x11, 0x11, 0x11, 0x1F, 0x11, 0x11, 0x11}},
    {'I', {0x0E, 0x04, 0x04, 0x04, 0x04, 0x04, 0x0E}}, {'J', {0x07, 0x02, 0x02, 0x02, 0x02, 0x12, 0x0C}},
    {'K', {0x11, 0x12, 0x14, 0x18, 0x14, 0x12, 0x11}}, {'L', {0x10, 0x10, 0x10, 0x10, 0x10, 0x10, 0x1F}},
    {'M', {0x11, 0x1B, 0x15, 0x15, 0x11, 0x11, 0x11}}, {'N', {0x11, 0x11, 0x19, 0x15, 0x13, 0x11, 0x11}},
    {'O', {0x0E, 0x11, 0x11, 0x11, 0x11, 0x11, 0x0E}}, {'P', {0x1E, 0x11, 0x11, 0x1E, 0x10, 0x10, 0x10}},
    {'Q', {0x0E, 0x11, 0x11, 0x11, 0x15, 0x12, 0x0D}}, {'R', {0x1E, 0x11, 0x11, 0x1E, 0x14, 0x12, 0x11}},
    {'S', {0x0F, 0x10, 0x10, 0x0E, 0x01, 0x01, 0x1E}}, {'T', {0x1F, 0x04, 0x04, 0x04, 0x04, 0x04, 0x04}},
    {'U', {0x11, 0x11, 0x11, 0x11, 0x11, 0x11, 0x0E}}, {'V', {0x11, 0x11, 0x11, 0x11, 0x11, 0x0A, 0x04}},
    {'W', {0x11, 0x11, 0x11, 0x15, 0x15, 0x15, 0x0A}}, {'X', {0x11, 0x11, 0x0A, 0x04, 0x0A, 0x11, 0x11}},
    {'Y', {0x11, 0x11, 0x11, 0x0A, 0x04, 0x04, 0x04}}, {'Z', {0x1F, 0x01, 0x02, 0x04, 0x08, 0x10, 0x1F}},
    {'.', {0x00, 0x00, 0x00, 0x00, 0x00, 0x0C, 0x0C}}, {'-', {0x00, 0x00, 0x00, 0x1F, 0x00, 0x00, 0x00}},
    {'_', {0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x1F}}, {':', {0x00, 0x0C, 0x0C, 0x00, 0x0C, 0x0C, 0x00}},
    {'(', {0x02, 0x04, 0x08, 0x08, 0x08, 0x04, 0x02}}, {')', {0x08, 0x04, 0x02, 0x02, 0x02, 0x04, 0x08}},
    {'/', {0x01, 0x01, 0x02, 0x04, 0x08, 0x10, 0x10}}, {',', {0x00, 0x00, 0x00, 0x00, 0x0C, 0x04, 0x08}},
    {'=', {0x00, 0x00, 0x1F, 0x00, 0x1F, 0x00, 0x00}}, {'%', {0x18, 0x19, 0x02, 0x04, 0x08, 0x13, 0x03}},
};

void Checkerboard(Image& img, int x0, int y0, int w, int h) {
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            int px = x0 + x, py = y0 + y;
            if (px < 0 || py < 0 || px >= img.Width() || py >= img.Height()) continue;
            bool dark = ((x / 8) + (y / 8)) & 1;
            img.At(px, py) = dark ? Color{0.55f, 0.55f, 0.55f, 1} : Color{0.8f, 0.8f, 0.8f, 1};
        }
}

// Draws a picture scaled to fit w x h (bilinear), as colour, as alpha, or
// composited over what is there.
enum class Show { Colour, Alpha, Over };
void Blit(Image& dst, int x0, int y0, int w, int h, const Image& src, Show show) {
    if (src.Empty()) return;
    float k = std::min(static_cast<float>(w) / src.Width(), static_cast<float>(h) / src.Height());
    k = std::min(k, 2.0f);
    int bw = std::max(1, static_cast<int>(src.Width() * k)), bh = std::max(1, static_cast<int>(src.Height() * k));
    // Shrinking: average a box per target pixel.
    int step = std::max(1, static_cast<int>(1 / k));
    for (int y = 0; y < bh; ++y)
        for (int x = 0; x < bw; ++x) {
            int px = x0 + x, py = y0 + y;
            if (px < 0 || py < 0 || px >= dst.Width() || py >= dst.Height()) continue;
            Color c{0, 0, 0, 0};
            float sx = (static_cast<float>(x) + 0.5f) / k, sy = (static_cast<float>(y) + 0.5f) / k;
            if (step > 1) {
                int ix = static_cast<int>(sx) - step / 2, iy = static_cast<int>(sy) - step / 2;
                for (int j = 0; j < step; ++j)
                    for (int i = 0; i < step; ++i) {
                        const Color& s =
                            src.At(std::clamp(ix + i, 0, src.Width() - 1), std::clamp(iy + j, 0, src.Height() - 1));
                        c = c + s;
                    }
                c = c * (1.0f / static_cast<float>(step * step));
            } else {
                c = src.Sample(sx, sy, false);
            }
            Color& d = dst.At(px, py);
            if (show == Show::Colour)
                d = {c.r, c.g, c.b, 1};
            else if (show == Show::Alpha)
                d = {c.a, c.a, c.a, 1};
            else
                BlendOver(d, c, 1);
        }
}

void WaterBackground(Image& img, int x0, int y0, int w, int h) {
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            int px = x0 + x, py = y0 + y;
            if (px < 0 || py < 0 || px >= img.Width() || py >= img.Height()) continue;
            img.At(px, py) = Mix(Rgb(0x2A7FA8), Rgb(0x0B3550), static_cast<float>(y) / static_cast<float>(h));
        }
}

struct Bounds3 {
    Vec3f Min{1e30f, 1e30f, 1e30f}, Max{-1e30f, -1e30f, -1e30f};
    void Add(const Vec3f& v) {
        Min = {std::min(Min.x, v.x), std::min(Min.y, v.y), std::min(Min.z, v.z)};
        Max = {std::max(Max.x, v.x), std::max(Max.y, v.y), std::max(Max.z, v.z)};
    }
    Vec3f Centre() const { return {(Min.x + Max.x) * 0.5f, (Min.y + Max.y) * 0.5f, (Min.z + Max.z) * 0.5f}; }
};

Bounds3 MeshBounds(const std::vector<RasterGroup>& groups) {
    Bounds3 b;
    for (const RasterGroup& g : groups)
        for (const Vec3f& v : g.Positions) b.Add(v);
    return b;
}

void DrawMeshCell(Image& sheet, int x0, int y0, int w, int h, const std::vector<RasterGroup>& groups,
                  float yaw, float pitch, Vec3f centre, float scale, const std::string& caption) {
    Rasteriser r(w, h, {0, 0, 0, 0});
    r.Draw(groups, MakeView(yaw, pitch, centre, scale));
    Image pic = r.Result();
    WaterBackground(sheet, x0, y0, w, h);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            int px = x0 + x, py = y0 + y;
            if (px < 0 || py < 0 || px >= sheet.Width() || py >= sheet.Height()) continue;
            BlendOver(sheet.At(px, py), pic.At(x, y), 1);
        }
    DrawLabel(sheet, x0 + 4, y0 + 4, caption, 1, Rgb(0xFFFFFF));
}

}  // namespace

FileMap ReadContentFolder(const std::string& folder) {
    FileMap files;
    for (const auto& entry : std::filesystem::directory_iterator(folder)) {
        if (!entry.is_regular_file()) continue;
        std::ifstream f(entry.path(), std::ios::binary);
        files[entry.path().filename().string()] = Bytes(std::istreambuf_iterator<char>(f), {});
    }
    return files;
}

ReviewMesh LoadReviewMesh(const FileMap& files, const std::string& meshName) {
    ReviewMesh out;
    const Bytes* bytes = FindFile(files, meshName);
    if (!bytes) {
        out.MissingFiles.push_back(meshName);
        return out;
    }
    T3DMFile file;
    file.LoadFromText(std::string_view(reinterpret_cast<const char*>(bytes->data()), bytes->size()));
    std::map<std::string, Image*> pictures;
    for (int oi = 0; oi < file.ObjectCount(); ++oi) {
        const T3DMObject& obj = file.GetObject(oi);
        std::vector<const T3DMMaterialStandard*> subs;
        if (T3DMMaterial* m = file.Materials.FindMaterial(obj.MaterialName)) {
            if (auto* multi = dynamic_cast<T3DMMaterialMultiSubObject*>(m)) {
                for (int i = 0; i < multi->SubMaterials.Count(); ++i)
                    subs.push_back(dynamic_cast<T3DMMaterialStandard*>(multi->SubMaterials.GetMaterial(i)));
            } else {
                subs.push_back(dynamic_cast<T3DMMaterialStandard*>(m));
            }
        }
        std::map<int, size_t> groupOf;
        for (size_t f = 0; f < obj.VertexFaces.size(); ++f) {
            int id = f < obj.FaceMaterialIds.size() ? obj.FaceMaterialIds[f] : 1;
            int sub = subs.empty() ? 0 : std::clamp(id - 1, 0, static_cast<int>(subs.size()) - 1);
            auto it = groupOf.find(sub);
            if (it == groupOf.end()) {
                RasterGroup g;
                const T3DMMaterialStandard* m = subs.empty() ? nullptr : subs[sub];
                if (m) {
                    g.Blended = !m->OpacityMap.empty() || m->Opacity < 99;
                    std::string key = m->DiffuseMap + "|" + m->OpacityMap;
                    if (!m->DiffuseMap.empty()) {
                        if (!pictures.count(key)) {
                            auto img = LoadPicture(files, m->DiffuseMap, m->OpacityMap, out.MissingFiles);
                            pictures[key] = img.get();
                            if (img) out.Textures.push_back(std::move(img));
                        }
                        g.Texture = pictures[key];
                    }
                }
                it = groupOf.emplace(sub, out.Groups.size()).first;
                out.Groups.push_back(std::move(g));
            }
            RasterGroup& g = out.Groups[it->second];
            const T3DMFace& vf = obj.VertexFaces[f];
            const int corners[3] = {vf.a, vf.b, vf.c};
            const int tcs[3] = {f < obj.TexCoordFaces.size() ? obj.TexCoordFaces[f].a : 0,
                                f < obj.TexCoordFaces.size() ? obj.TexCoordFaces[f].b : 0,
                                f < obj.TexCoordFaces.size() ? obj.TexCoordFaces[f].c : 0};
            for (int k = 0; k < 3; ++k) {
                int vi = corners[k] - 1, ti = tcs[k] - 1;
                if (vi < 0 || vi >= static_cast<int>(obj.Vertices.size())) {
                    g.Positions.push_back({});
                } else {
                    const T3DMPoint& p = obj.Vertices[vi];
                    Vec3f v{p.x, p.y, p.z};
                    if (obj.HasTransform) {
                        const T3DMMatrix& m = obj.Matrix;
                        Vec3f t{p.x * m[0][0] + p.y * m[1][0] + p.z * m[2][0] + m[3][0],
                                p.x * m[0][1] + p.y * m[1][1] + p.z * m[2][1] + m[3][1],
                                p.x * m[0][2] + p.y * m[1][2] + p.z * m[2][2] + m[3][2]};
                        v = {t.x, t.z, -t.y};
                    }
                    g.Positions.push_back(v);
                }
                if (ti >= 0 && ti < static_cast<int>(obj.TexCoords.size()))
                    g.Uv.push_back({obj.TexCoords[ti].u, obj.TexCoords[ti].v});
                else
                    g.Uv.push_back({0, 0});
                g.Indices.push_back(static_cast<int>(g.Positions.size()) - 1);
            }
        }
    }
    return out;
}

void DrawLabel(Image& img, int x, int y, const std::string& text, int size, Color c) {
    int cx = x;
    for (char ch : text) {
        char u = (ch >= 'a' && ch <= 'z') ? static_cast<char>(ch - 32) : ch;
        const Glyph* g = nullptr;
        for (const Glyph& f : Font)
            if (f.C == u) g = &f;
        if (g)
            for (int row = 0; row < 7; ++row)
                for (int col = 0; col < 5; ++col) {
                    if (!(g->Rows[row] & (0x10 >> col))) continue;
                    for (int j = 0; j < size; ++j)
                        for (int i = 0; i < size; ++i) {
                            int px = cx + col * size + i, py = y + row * size + j;
                            if (px >= 0 && py >= 0 && px < img.Width() && py < img.Height()) img.At(px, py) = c;
                        }
                }
        cx += 6 * size;
    }
}

std::vector<uint8_t> ToRgba8(const Image& img) {
    std::vector<uint8_t> out(img.Pixels.size() * 4);
    for (size_t i = 0; i < img.Pixels.size(); ++i) {
        const Color& c = img.Pixels[i];
        out[i * 4] = static_cast<uint8_t>(std::lround(Clamp01(c.r) * 255));
        out[i * 4 + 1] = static_cast<uint8_t>(std::lround(Clamp01(c.g) * 255));
        out[i * 4 + 2] = static_cast<uint8_t>(std::lround(Clamp01(c.b) * 255));
        out[i * 4 + 3] = static_cast<uint8_t>(std::lround(Clamp01(c.a) * 255));
    }
    return out;
}

Image MakeContactSheet(const FileMap& files, const std::string& filter, int zoom) {
    zoom = std::clamp(zoom, 1, 4);
    // Several filters may be given, separated by commas.
    std::vector<std::string> wants;
    for (size_t start = 0; start <= filter.size();) {
        size_t end = filter.find(',', start);
        if (end == std::string::npos) end = filter.size();
        if (end > start) wants.push_back(Lower(filter.substr(start, end - start)));
        start = end + 1;
    }
    auto selected = [&](const std::string& name) {
        if (wants.empty()) return true;
        for (const std::string& w : wants)
            if (Lower(name).find(w) != std::string::npos) return true;
        return false;
    };

    std::vector<std::string> meshes, pictures;
    for (const auto& [name, bytes] : files) {
        std::string l = Lower(name);
        if (EndsWith(l, ".3dm") && selected(name)) meshes.push_back(name);
        if (EndsWith(l, ".jpg") || EndsWith(l, ".jpeg") || EndsWith(l, ".bmp")) pictures.push_back(name);
    }
    // Alpha pictures are shown with their colour picture.
    std::vector<std::pair<std::string, std::string>> pairs;
    for (const std::string& p : pictures) {
        if (!selected(p)) continue;
        bool isAlpha = false;
        for (const std::string& q : pictures)
            if (q != p && Lower(AlphaPictureName(q)) == Lower(p)) isAlpha = true;
        if (isAlpha) continue;
        std::string alpha;
        for (const std::string& q : pictures)
            if (Lower(AlphaPictureName(p)) == Lower(q)) alpha = q;
        pairs.push_back({p, alpha});
    }

    const int cellW = 296 * zoom, cellH = 200 * zoom, pad = 4, labelH = 16;
    const int perRow = zoom > 1 ? 3 : 6, sheetW = perRow * (cellW + pad) + pad;
    const int texCell = 180 * zoom, texPerRow = zoom > 1 ? 2 : 3, texBlockW = 3 * (texCell + pad) + 2 * pad;
    const int viewRows = (6 + perRow - 1) / perRow;
    const int meshRowH = labelH + viewRows * (cellH + pad) + pad;
    const int texRows = (static_cast<int>(pairs.size()) + texPerRow - 1) / texPerRow;
    const int texRowH = labelH + texCell + pad * 2;
    const int sheetH = 40 + static_cast<int>(meshes.size()) * meshRowH + 30 + texRows * texRowH + 20;
    Image sheet(sheetW, sheetH, Rgb(0x1A1A1A));
    DrawLabel(sheet, 8, 8, "3D MARIVELLE CONTENT - " + std::to_string(meshes.size()) + " MESHES, " +
                               std::to_string(pairs.size()) + " PICTURES",
              2, Rgb(0xFFFFFF));
    int y = 40;
    for (const std::string& name : meshes) {
        ReviewMesh m;
        std::string problem;
        try {
            m = LoadReviewMesh(files, name);
        } catch (const std::exception& e) {
            problem = e.what();
        }
        size_t tris = 0, verts = 0;
        bool opaque = false, blended = false;
        for (const RasterGroup& g : m.Groups) {
            tris += g.Indices.size() / 3;
            verts += g.Positions.size();
            (g.Blended ? blended : opaque) = true;
        }
        Bounds3 b = MeshBounds(m.Groups);
        char dims[96];
        std::snprintf(dims, sizeof dims, "  %.0f X %.0f X %.0f  %zu TRIANGLES", b.Max.x - b.Min.x, b.Max.y - b.Min.y,
                      b.Max.z - b.Min.z, tris);
        std::string label = name + dims;
        if (!problem.empty()) label += "  ERROR: " + problem;
        for (const std::string& miss : m.MissingFiles) label += "  MISSING " + miss;
        DrawLabel(sheet, 8, y + 4, label, 1, problem.empty() && m.MissingFiles.empty() ? Rgb(0xE0E0E0) : Rgb(0xFF5050));
        int cell = 0;
        auto place = [&](const std::vector<RasterGroup>& groups, float yaw, float pitch, float scale,
                         const std::string& caption) {
            int x0 = pad + (cell % perRow) * (cellW + pad);
            int y0 = y + labelH + (cell / perRow) * (cellH + pad);
            DrawMeshCell(sheet, x0, y0, cellW, cellH, groups, yaw, pitch, b.Centre(), scale, caption);
            ++cell;
        };
        if (verts > 0) {
            const float lenX = std::max(1e-3f, b.Max.x - b.Min.x), lenY = std::max(1e-3f, b.Max.y - b.Min.y);
            const float lenZ = std::max(1e-3f, b.Max.z - b.Min.z);
            // A body with fins: opaque and blended groups.
            const bool fish = opaque && blended;
            if (fish) {
                const float k = std::min(cellW * 0.86f / lenX, cellH * 0.86f / lenY);
                const float kt = std::min(cellW * 0.86f / lenX, cellH * 0.86f / (lenZ + 0.16f * lenX));
                place(m.Groups, 0, 0, k, "REST");
                for (float p : {0.0f, 0.3f, 0.6f}) {
                    std::vector<VertexGroup> op, bl;
                    for (const RasterGroup& g : m.Groups) (g.Blended ? bl : op).push_back(g.Positions);
                    SwimBend(op, bl, p);
                    std::vector<RasterGroup> bent = m.Groups;
                    size_t io = 0, ib = 0;
                    for (RasterGroup& g : bent) g.Positions = g.Blended ? bl[ib++] : op[io++];
                    char cap[32];
                    std::snprintf(cap, sizeof cap, "SWIM %.1f", p);
                    place(bent, 0, 0, k, cap);
                    if (p == 0.3f) {
                        place(bent, 0, 89.9f, kt, "TOP, SWIM 0.3");
                        place(bent, -35, 20, k, "TURNED, SWIM 0.3");
                    }
                }
            } else {
                const float radius = 0.5f * std::sqrt(lenX * lenX + lenY * lenY + lenZ * lenZ);
                const float k = std::min(cellW, cellH) * 0.45f / radius;
                place(m.Groups, 0, 0, k, "FRONT");
                place(m.Groups, 0, 34, k, "FROM ABOVE 34");
                place(m.Groups, 0, 89.9f, k, "TOP");
                place(m.Groups, 40, 20, k, "TURNED");
                place(m.Groups, 90, 0, k, "SIDE");
                place(m.Groups, 0, -60, k, "BELOW");
            }
        }
        y += meshRowH;
    }
    y += 10;
    DrawLabel(sheet, 8, y, "PICTURES: COLOUR, ALPHA, OVER CHECKERBOARD", 2, Rgb(0xFFFFFF));
    y += 20;
    for (size_t i = 0; i < pairs.size(); ++i) {
        const int col = static_cast<int>(i) % texPerRow, row = static_cast<int>(i) / texPerRow;
        const int x0 = pad + col * texBlockW, y0 = y + row * texRowH;
        std::vector<std::string> missing;
        auto img = LoadPicture(files, pairs[i].first, pairs[i].second, missing);
        std::string label = pairs[i].first;
        if (img) label += " " + std::to_string(img->Width()) + "X" + std::to_string(img->Height());
        if (!pairs[i].second.empty()) label += " + " + pairs[i].second;
        DrawLabel(sheet, x0, y0 + 4, label, 1, missing.empty() ? Rgb(0xE0E0E0) : Rgb(0xFF5050));
        if (!img) continue;
        const int ty = y0 + labelH;
        Blit(sheet, x0, ty, texCell, texCell, *img, Show::Colour);
        Blit(sheet, x0 + texCell + pad, ty, texCell, texCell, *img, Show::Alpha);
        Checkerboard(sheet, x0 + 2 * (texCell + pad), ty, texCell, texCell);
        Blit(sheet, x0 + 2 * (texCell + pad), ty, texCell, texCell, *img, Show::Over);
    }
    return sheet;
}

}  // namespace cg
