// The content generator: reproducible output, meshes the engine can read and
// draw as intended, pictures the texture loader takes as they are, and the
// painting and file-format helpers the generator groups share.
#include "contactsheet.h"
#include "content.h"
#include "groups.h"
#include "icons.h"
#include "image.h"
#include "raster.h"
#include "rng.h"
#include "swim.h"
#include "writers.h"

#include "core/file3dm.h"
#include "core/strutil.h"

#include <gtest/gtest.h>

#include <zlib.h>

#include <algorithm>
#include <cmath>
#include <map>
#include <set>
#include <string>

using namespace cg;

namespace {

// The fish and creature groups, generated once for the whole file.
const MemorySink& Generated() {
    static const MemorySink sink = [] {
        MemorySink s;
        GenerateContent(s, {"saltfish", "freshfish", "creatures"}, nullptr);
        return s;
    }();
    return sink;
}

bool EndsWith(const std::string& s, const std::string& tail) {
    return s.size() >= tail.size() && s.compare(s.size() - tail.size(), tail.size(), tail) == 0;
}

std::string Text(const Bytes& b) { return std::string(b.begin(), b.end()); }

std::vector<FishDesign> AllFish() {
    std::vector<FishDesign> all = SaltWaterFish();
    for (FishDesign& f : FreshWaterFish()) all.push_back(std::move(f));
    return all;
}

struct Extent {
    Vec3f Min{1e30f, 1e30f, 1e30f}, Max{-1e30f, -1e30f, -1e30f};
    void Add(const Vec3f& v) {
        Min = {std::min(Min.x, v.x), std::min(Min.y, v.y), std::min(Min.z, v.z)};
        Max = {std::max(Max.x, v.x), std::max(Max.y, v.y), std::max(Max.z, v.z)};
    }
};

Extent MeshExtent(const ReviewMesh& m) {
    Extent e;
    for (const RasterGroup& g : m.Groups)
        for (const Vec3f& v : g.Positions) e.Add(v);
    return e;
}

float AlphaAt(const Image& img, Tex2f uv) {
    return img.Sample(uv.u * static_cast<float>(img.Width()), (1 - uv.v) * static_cast<float>(img.Height()), false).a;
}

// Six times the volume enclosed by a triangle soup: positive when the faces
// wind counter-clockwise seen from outside.
double SignedVolume6(const RasterGroup& g) {
    double v = 0;
    for (size_t i = 0; i + 2 < g.Indices.size(); i += 3) {
        const Vec3f &a = g.Positions[g.Indices[i]], &b = g.Positions[g.Indices[i + 1]],
                    &c = g.Positions[g.Indices[i + 2]];
        v += a.x * (static_cast<double>(b.y) * c.z - static_cast<double>(b.z) * c.y) +
             a.y * (static_cast<double>(b.z) * c.x - static_cast<double>(b.x) * c.z) +
             a.z * (static_cast<double>(b.x) * c.y - static_cast<double>(b.y) * c.x);
    }
    return v;
}

}  // namespace

TEST(ContentGenerator, TwoRunsGiveIdenticalBytes) {
    MemorySink again;
    GenerateContent(again, {"saltfish", "freshfish", "creatures"}, nullptr);
    const auto& first = Generated().Files;
    ASSERT_EQ(first.size(), again.Files.size());
    for (const auto& [name, bytes] : first) {
        auto it = again.Files.find(name);
        ASSERT_NE(it, again.Files.end()) << name;
        EXPECT_TRUE(it->second == bytes) << name << " differs between runs";
    }
}

TEST(ContentGenerator, UnknownGroupIsRefusedAndNamesAreUnique) {
    MemorySink sink;
    EXPECT_THROW(GenerateContent(sink, {"nosuchgroup"}, nullptr), std::runtime_error);
    EXPECT_TRUE(sink.Files.empty());
    sink.Put("a.jpg", {1});
    EXPECT_THROW(sink.Put("a.jpg", {2}), std::runtime_error);
    std::set<std::string> names;
    for (const ContentGroup& g : ContentGroups()) EXPECT_TRUE(names.insert(g.Name).second) << g.Name;
}

TEST(ContentGenerator, ElevenSaltAndTenFreshFishWithTheirFiles) {
    EXPECT_EQ(SaltWaterFish().size(), 11u);
    EXPECT_EQ(FreshWaterFish().size(), 10u);
    const auto& files = Generated().Files;
    std::set<std::string> seen;
    for (const FishDesign& f : AllFish()) {
        EXPECT_TRUE(seen.insert(f.Name).second) << "species named twice: " << f.Name;
        EXPECT_EQ(f.Name.find(' '), std::string::npos) << f.Name;
        EXPECT_TRUE(files.count(f.Name + ".3dm")) << f.Name;
        EXPECT_TRUE(files.count(f.Name + ".jpg")) << f.Name;
        EXPECT_TRUE(files.count(f.Name + "A.jpg")) << f.Name;
    }
    for (const char* name : {"Plankton.3dm", "Plankton.jpg", "PlanktonA.jpg", "Starfish.3dm", "Starfish.jpg",
                             "bubble.3dm", "bubble.jpg", "bubblea.jpg"})
        EXPECT_TRUE(files.count(name)) << name;
}

TEST(ContentGenerator, EveryMeshParsesWithTheEngineReader) {
    for (const auto& [name, bytes] : Generated().Files) {
        if (!EndsWith(name, ".3dm")) continue;
        SCOPED_TRACE(name);
        T3DMFile file;
        ASSERT_NO_THROW(file.LoadFromText(Text(bytes)));
        EXPECT_EQ(file.Version, 1);
        ASSERT_GE(file.ObjectCount(), 1);
        for (int i = 0; i < file.ObjectCount(); ++i) {
            const T3DMObject& o = file.GetObject(i);
            ASSERT_FALSE(o.Vertices.empty());
            ASSERT_TRUE(o.HasTexCoords);
            EXPECT_EQ(o.VertexFaces.size(), o.TexCoordFaces.size());
            EXPECT_EQ(o.VertexFaces.size(), o.FaceMaterialIds.size());
            EXPECT_LT(o.Vertices.size(), 65536u);  // 16-bit indices
            EXPECT_NE(file.Materials.FindMaterial(o.MaterialName), nullptr);
            const int nv = static_cast<int>(o.Vertices.size()), nt = static_cast<int>(o.TexCoords.size());
            for (size_t f = 0; f < o.VertexFaces.size(); ++f) {
                const T3DMFace &v = o.VertexFaces[f], &t = o.TexCoordFaces[f];
                for (int k : {v.a, v.b, v.c}) ASSERT_TRUE(k >= 1 && k <= nv);
                for (int k : {t.a, t.b, t.c}) ASSERT_TRUE(k >= 1 && k <= nt);
                ASSERT_GE(o.FaceMaterialIds[f], 1);
            }
            for (const T3DMTexCoord& t : o.TexCoords) {
                EXPECT_TRUE(t.u >= 0 && t.u <= 1 && t.v >= 0 && t.v <= 1) << t.u << "," << t.v;
            }
            EXPECT_TRUE(o.Frames.Items.empty()) << "the engine builds the swimming motion itself";
        }
    }
}

TEST(ContentGenerator, FishBodiesAreOpaqueAndFinsBlended) {
    const auto& files = Generated().Files;
    for (const FishDesign& species : AllFish()) {
        SCOPED_TRACE(species.Name);
        T3DMFile file;
        file.LoadFromText(Text(files.at(species.Name + ".3dm")));
        ASSERT_EQ(file.Materials.Count(), 1);
        auto* multi = dynamic_cast<T3DMMaterialMultiSubObject*>(file.Materials.GetMaterial(0));
        ASSERT_NE(multi, nullptr);
        ASSERT_EQ(multi->SubMaterials.Count(), 2);
        auto* body = dynamic_cast<T3DMMaterialStandard*>(multi->SubMaterials.GetMaterial(0));
        auto* fins = dynamic_cast<T3DMMaterialStandard*>(multi->SubMaterials.GetMaterial(1));
        ASSERT_TRUE(body && fins);
        EXPECT_EQ(body->DiffuseMap, species.Name + ".jpg");
        EXPECT_TRUE(body->OpacityMap.empty());
        EXPECT_GE(body->Opacity, 99.0f);
        EXPECT_EQ(fins->DiffuseMap, species.Name + ".jpg");
        EXPECT_EQ(fins->OpacityMap, species.Name + "A.jpg");
        std::set<int> ids(file.GetObject(0).FaceMaterialIds.begin(), file.GetObject(0).FaceMaterialIds.end());
        EXPECT_EQ(ids, (std::set<int>{1, 2}));
    }
}

TEST(ContentGenerator, PicturesArePowersOfTwoWithMatchingAlphaPictures) {
    const auto& files = Generated().Files;
    std::map<std::string, std::pair<int, int>> sizes;
    for (const auto& [name, bytes] : files) {
        if (!EndsWith(name, ".jpg") && !EndsWith(name, ".bmp")) continue;
        SCOPED_TRACE(name);
        auto pic = DecodePicture(name, bytes);
        ASSERT_TRUE(pic.has_value());
        EXPECT_TRUE(IsPowerOfTwo(pic->Width) && pic->Width <= 1024) << pic->Width;
        EXPECT_TRUE(IsPowerOfTwo(pic->Height) && pic->Height <= 1024) << pic->Height;
        sizes[name] = {pic->Width, pic->Height};
        if (EndsWith(name, ".jpg")) {
            for (uint8_t f : JpegSamplingFactors(bytes)) EXPECT_EQ(f, 0x11) << "chroma must not be subsampled";
        }
    }
    // Every opacity map a mesh names exists and matches its colour picture.
    for (const auto& [name, bytes] : files) {
        if (!EndsWith(name, ".3dm")) continue;
        T3DMFile file;
        file.LoadFromText(Text(bytes));
        std::vector<T3DMMaterialStandard*> mats;
        for (int i = 0; i < file.Materials.Count(); ++i) {
            T3DMMaterial* m = file.Materials.GetMaterial(i);
            if (auto* multi = dynamic_cast<T3DMMaterialMultiSubObject*>(m)) {
                for (int j = 0; j < multi->SubMaterials.Count(); ++j)
                    mats.push_back(dynamic_cast<T3DMMaterialStandard*>(multi->SubMaterials.GetMaterial(j)));
            } else {
                mats.push_back(dynamic_cast<T3DMMaterialStandard*>(m));
            }
        }
        for (T3DMMaterialStandard* m : mats) {
            ASSERT_NE(m, nullptr);
            SCOPED_TRACE(name + " / " + m->Name());
            ASSERT_TRUE(sizes.count(m->DiffuseMap)) << m->DiffuseMap;
            if (m->OpacityMap.empty()) continue;
            ASSERT_TRUE(sizes.count(m->OpacityMap)) << m->OpacityMap;
            EXPECT_EQ(sizes[m->OpacityMap], sizes[m->DiffuseMap]);
            EXPECT_TRUE(str::SameText(m->OpacityMap, AlphaPictureName(m->DiffuseMap))) << m->OpacityMap;
        }
    }
}

TEST(ContentGenerator, WorldSizesArePlausible) {
    const auto& files = Generated().Files;
    for (const FishDesign& species : AllFish()) {
        ReviewMesh m = LoadReviewMesh(files, species.Name + ".3dm");
        Extent e = MeshExtent(m);
        float length = e.Max.x - e.Min.x;
        // Fin geometry reaches a little past the painted outline.
        EXPECT_NEAR(length, species.WorldLength, 0.02f * species.WorldLength) << species.Name;
        EXPECT_TRUE(length >= 300 && length <= 900) << species.Name << " " << length;
        // Centred along its length.
        EXPECT_NEAR(e.Max.x + e.Min.x, 0.0f, 0.02f * species.WorldLength) << species.Name;
    }
    Extent plankton = MeshExtent(LoadReviewMesh(files, "Plankton.3dm"));
    EXPECT_TRUE(plankton.Max.x - plankton.Min.x >= 5 && plankton.Max.x - plankton.Min.x <= 15);
    Extent star = MeshExtent(LoadReviewMesh(files, "Starfish.3dm"));
    EXPECT_NEAR(std::max(star.Max.x - star.Min.x, star.Max.z - star.Min.z), 400.0f, 40.0f);
    EXPECT_LT(star.Max.y - star.Min.y, 60.0f);  // lies flat on the sea bed
    EXPECT_GE(star.Min.y, 0.0f);
    Extent bubble = MeshExtent(LoadReviewMesh(files, "bubble.3dm"));
    EXPECT_TRUE(bubble.Max.x - bubble.Min.x >= 30 && bubble.Max.x - bubble.Min.x <= 80);
}

TEST(ContentGenerator, ClosedBodiesFaceOutwards) {
    // With back faces culled, an inside-out body would vanish.
    const auto& files = Generated().Files;
    for (const FishDesign& species : AllFish()) {
        ReviewMesh m = LoadReviewMesh(files, species.Name + ".3dm");
        ASSERT_FALSE(m.Groups.empty());
        ASSERT_FALSE(m.Groups[0].Blended) << species.Name;
        EXPECT_GT(SignedVolume6(m.Groups[0]), 0.0) << species.Name;
    }
    ReviewMesh star = LoadReviewMesh(files, "Starfish.3dm");
    ASSERT_EQ(star.Groups.size(), 1u);
    EXPECT_GT(SignedVolume6(star.Groups[0]), 0.0);
}

TEST(ContentGenerator, BodyGeometrySamplesThePaintedBodyAndFinsTheirOwnTexels) {
    const auto& files = Generated().Files;
    for (const FishDesign& species : AllFish()) {
        SCOPED_TRACE(species.Name);
        ReviewMesh m = LoadReviewMesh(files, species.Name + ".3dm");
        ASSERT_TRUE(m.MissingFiles.empty());
        ASSERT_EQ(m.Groups.size(), 2u);
        const RasterGroup &body = m.Groups[0], &fins = m.Groups[1];
        ASSERT_TRUE(fins.Blended);
        ASSERT_NE(body.Texture, nullptr);
        // Body triangles fall inside the painted body (alpha 1 there).
        int inside = 0, total = 0;
        for (size_t i = 0; i + 2 < body.Indices.size(); i += 3) {
            Tex2f c{(body.Uv[body.Indices[i]].u + body.Uv[body.Indices[i + 1]].u + body.Uv[body.Indices[i + 2]].u) / 3,
                    (body.Uv[body.Indices[i]].v + body.Uv[body.Indices[i + 1]].v + body.Uv[body.Indices[i + 2]].v) / 3};
            inside += AlphaAt(*body.Texture, c) > 0.5f;
            ++total;
        }
        EXPECT_GT(inside, total * 97 / 100) << inside << " of " << total;
        // Fin geometry covers visible membrane and reaches past its rim.
        float visible = 0, clear = 0;
        for (const Tex2f& uv : fins.Uv) {
            float a = AlphaAt(*fins.Texture, uv);
            visible += a > 0.2f;
            clear += a < 0.05f;
        }
        EXPECT_GT(visible, 0.15f * static_cast<float>(fins.Uv.size()));
        EXPECT_GT(clear, 0.1f * static_cast<float>(fins.Uv.size()));
    }
}

TEST(ContentGenerator, SwimmingBendStaysModest) {
    // The engine bends by x from the mesh's bounding box; a badly placed
    // origin or fins sticking out the wrong way would make it fly apart.
    const auto& files = Generated().Files;
    for (const FishDesign& species : AllFish()) {
        ReviewMesh m = LoadReviewMesh(files, species.Name + ".3dm");
        Extent e = MeshExtent(m);
        const float len = e.Max.x - e.Min.x;
        float largest = 0;
        for (int i = 0; i < 10; ++i) {
            std::vector<VertexGroup> op, bl;
            for (const RasterGroup& g : m.Groups) (g.Blended ? bl : op).push_back(g.Positions);
            SwimBend(op, bl, static_cast<float>(i) / 10);
            size_t io = 0, ib = 0;
            for (const RasterGroup& g : m.Groups) {
                const VertexGroup& bent = g.Blended ? bl[ib++] : op[io++];
                for (size_t k = 0; k < bent.size(); ++k) {
                    float dz = std::fabs(bent[k].z - g.Positions[k].z);
                    if (!g.Blended) largest = std::max(largest, dz);
                    EXPECT_LT(std::fabs(bent[k].x - g.Positions[k].x), 0.5f * len) << species.Name;
                }
            }
        }
        EXPECT_GT(largest, 0.03f * len) << species.Name << ": the body should visibly bend";
        EXPECT_LT(largest, 0.12f * len) << species.Name;
    }
}

TEST(ContentReview, SwimBendFollowsTheEngineFormula) {
    // Body 200 long from x = -100; one fin point sticking out sideways.
    std::vector<VertexGroup> body = {{{-100, 0, 0}, {100, 0, 0}, {0, 10, 5}, {0, -10, -5}}};
    std::vector<VertexGroup> fins = {{{0, 0, 30}}};
    SwimBend(body, fins, 0.25f);
    EXPECT_NEAR(body[0][0].z, 17.0f, 1e-3f);   // tail: full amplitude plus the flutter
    EXPECT_NEAR(body[0][1].z, 17.0f, 1e-3f);   // head: the engine's head term
    EXPECT_NEAR(body[0][2].z, 5 - 6.6667f, 1e-3f);
    EXPECT_FLOAT_EQ(body[0][2].x, 0.0f);       // the body only moves sideways
    // The fin is swept back and its tip moved towards the body.
    EXPECT_NEAR(fins[0][0].x, -12.1622f, 1e-3f);
    EXPECT_NEAR(fins[0][0].z, 16.0444f, 1e-3f);
    EXPECT_FLOAT_EQ(fins[0][0].y, 0.0f);
}

TEST(ContentGenerator, BubbleKeepsItsQuadStructure) {
    T3DMFile file;
    file.LoadFromText(Text(Generated().Files.at("bubble.3dm")));
    ASSERT_EQ(file.ObjectCount(), 1);
    const T3DMObject& o = file.GetObject(0);
    EXPECT_EQ(o.Name, "Puzir01");
    EXPECT_EQ(o.MaterialName, "Puzir01");
    EXPECT_EQ(o.Vertices.size(), 4u);
    EXPECT_EQ(o.Normals.size(), 4u);
    EXPECT_EQ(o.TexCoords.size(), 4u);
    ASSERT_EQ(o.VertexFaces.size(), 2u);
    EXPECT_EQ(o.VertexFaces[0].a, 3);
    EXPECT_EQ(o.VertexFaces[0].b, 4);
    EXPECT_EQ(o.VertexFaces[0].c, 1);
    EXPECT_EQ(o.VertexFaces[1].a, 2);
    EXPECT_EQ(o.VertexFaces[1].b, 3);
    EXPECT_EQ(o.VertexFaces[1].c, 1);
    EXPECT_TRUE(o.HasTransform);
    auto* mat = dynamic_cast<T3DMMaterialStandard*>(file.Materials.FindMaterial("Puzir01"));
    ASSERT_NE(mat, nullptr);
    EXPECT_EQ(mat->DiffuseMap, "bubble.jpg");
    EXPECT_EQ(mat->OpacityMap, "bubblea.jpg");
    // After the loader's turn the quad faces the camera (+z), wound
    // counter-clockwise.
    ReviewMesh m = LoadReviewMesh(Generated().Files, "bubble.3dm");
    ASSERT_EQ(m.Groups.size(), 1u);
    const RasterGroup& g = m.Groups[0];
    EXPECT_TRUE(g.Blended);
    for (size_t i = 0; i + 2 < g.Indices.size(); i += 3) {
        const Vec3f &a = g.Positions[g.Indices[i]], &b = g.Positions[g.Indices[i + 1]], &c = g.Positions[g.Indices[i + 2]];
        float nz = (b.x - a.x) * (c.y - a.y) - (b.y - a.y) * (c.x - a.x);
        EXPECT_GT(nz, 0.0f);
        EXPECT_NEAR(a.z, 0.0f, 1e-4f);
    }
}

TEST(ContentPictures, SpreadingColourLeavesNoDarkHalo) {
    Image img(8, 4, {0, 0, 0, 0});
    for (int y = 0; y < 4; ++y)
        for (int x = 0; x < 3; ++x) img.At(x, y) = {1, 0.2f, 0.1f, 1};
    SpreadColourUnderTransparency(img);
    for (int y = 0; y < 4; ++y)
        for (int x = 3; x < 8; ++x) {
            EXPECT_NEAR(img.At(x, y).r, 1.0f, 1e-5f);
            EXPECT_NEAR(img.At(x, y).g, 0.2f, 1e-5f);
            EXPECT_EQ(img.At(x, y).a, 0.0f) << "alpha must stay";
        }
}

TEST(ContentPictures, DownsampleWeighsColourByAlpha) {
    Image img(2, 2, {0, 0, 0, 0});
    img.At(0, 0) = {1, 0, 0, 1};
    img.At(1, 1) = {1, 0, 0, 1};
    Image half = Downsample(img, 2);
    ASSERT_EQ(half.Width(), 1);
    EXPECT_NEAR(half.At(0, 0).r, 1.0f, 1e-6f);  // not darkened by the transparent black
    EXPECT_NEAR(half.At(0, 0).a, 0.5f, 1e-6f);
}

TEST(ContentPictures, PolygonCoverageIsAreaExact) {
    // A square from (1.5, 1.5) to (4.5, 3.5): 6 pixels of area.
    Mask m = PolygonCoverage(6, 5, {{1.5f, 1.5f}, {4.5f, 1.5f}, {4.5f, 3.5f}, {1.5f, 3.5f}});
    float sum = 0;
    for (float v : m.Values) sum += v;
    EXPECT_NEAR(sum, 6.0f, 0.05f);
    EXPECT_NEAR(m.At(1, 1), 0.25f, 0.06f);  // corner pixel, a quarter covered
    EXPECT_NEAR(m.At(2, 2), 1.0f, 1e-6f);
    EXPECT_EQ(m.At(0, 0), 0.0f);
}

TEST(ContentPictures, SignedDistanceMeasuresFromTheEdge) {
    Mask m(21, 21, 0);
    for (int y = 5; y < 16; ++y)
        for (int x = 5; x < 16; ++x) m.At(x, y) = 1;
    Mask d = SignedDistance(m);
    EXPECT_NEAR(d.At(10, 10), 5.5f, 0.01f);  // centre of an 11-pixel square
    EXPECT_NEAR(d.At(5, 10), 0.5f, 0.01f);
    EXPECT_NEAR(d.At(2, 10), -2.5f, 0.01f);
    EXPECT_NEAR(d.At(0, 0), -std::sqrt(50.0f) + 0.5f, 0.01f);
}

TEST(ContentPictures, SeamMeasureTellsTileableFromNot) {
    const int n = 64;
    Image tileable(n, n), plain(n, n);
    for (int y = 0; y < n; ++y)
        for (int x = 0; x < n; ++x) {
            float fx = static_cast<float>(x) / n * 4, fy = static_cast<float>(y) / n * 4;
            float v = PeriodicFbm(fx, fy, 4, 4, 4, 7);
            tileable.At(x, y) = {v, v, v, 1};
            float w = Fbm(fx * 1.37f + 3, fy * 1.37f + 5, 4, 7);
            plain.At(x, y) = {w, w, w, 1};
        }
    EXPECT_LT(SeamRatio(tileable), 1.4);
    EXPECT_GT(SeamRatio(plain), 2.0);
    // The wrap really repeats the lattice.
    EXPECT_NEAR(PeriodicValueNoise(0.3f, 0.7f, 4, 4, 9), PeriodicValueNoise(4.3f, -3.3f, 4, 4, 9), 1e-6f);
}

TEST(ContentPictures, RandomStreamIsFixed) {
    Rng a(42), b(42);
    for (int i = 0; i < 100; ++i) ASSERT_EQ(a.NextU64(), b.NextU64());
    Rng c(1);
    // splitmix64 of state 1.
    EXPECT_EQ(c.NextU64(), 0x910A2DEC89025CC1ull);
    Rng d(7);
    for (int i = 0; i < 1000; ++i) {
        float u = d.Unit();
        ASSERT_TRUE(u >= 0 && u < 1);
        ASSERT_LT(d.Below(10), 10u);
    }
}

TEST(ContentFiles, BmpRoundTripsBothDepths) {
    std::vector<uint8_t> rgb = {255, 0, 0, 0, 255, 0, 0, 0, 255, 10, 20, 30, 40, 50, 60, 70, 80, 90};
    auto pic = DecodeBmp(EncodeBmp24(rgb, 3, 2));
    ASSERT_TRUE(pic.has_value());
    EXPECT_EQ(pic->Width, 3);
    EXPECT_EQ(pic->Height, 2);
    EXPECT_EQ(pic->Rgb, rgb);
    std::vector<uint8_t> idx = {0, 1, 2, 2, 1, 0, 1, 1, 1, 0};
    std::vector<std::array<uint8_t, 3>> palette = {{{0, 0, 0}}, {{255, 128, 0}}, {{1, 2, 3}}};
    auto pic8 = DecodeBmp(EncodeBmp8(idx, 5, 2, palette));
    ASSERT_TRUE(pic8.has_value());
    for (size_t i = 0; i < idx.size(); ++i)
        for (int c = 0; c < 3; ++c) EXPECT_EQ(pic8->Rgb[i * 3 + c], palette[idx[i]][c]);
    // Truncated or foreign bytes decode to nothing.
    Bytes cut = EncodeBmp24(rgb, 3, 2);
    cut.resize(cut.size() - 4);
    EXPECT_FALSE(DecodeBmp(cut).has_value());
    EXPECT_FALSE(DecodeBmp(Bytes{'B', 'M', 0, 0}).has_value());
}

TEST(ContentFiles, JpegKeepsFullResolutionChroma) {
    const int w = 32, h = 16;
    std::vector<uint8_t> rgb(static_cast<size_t>(w) * h * 3);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            // A one-pixel red line on blue: smeared by 4:2:0 sampling.
            bool line = x == 10;
            rgb[(y * w + x) * 3] = line ? 255 : 0;
            rgb[(y * w + x) * 3 + 2] = line ? 0 : 255;
        }
    Bytes jpg = EncodeJpeg(rgb, w, h, JpegQuality);
    EXPECT_EQ(JpegSamplingFactors(jpg), (std::vector<uint8_t>{0x11, 0x11, 0x11}));
    auto pic = DecodeJpeg(jpg);
    ASSERT_TRUE(pic.has_value());
    EXPECT_GT(pic->Rgb[(8 * w + 10) * 3], 200);     // the line stays red
    EXPECT_LT(pic->Rgb[(8 * w + 12) * 3], 60);      // and does not bleed
    EXPECT_FALSE(DecodeJpeg(Bytes{0xFF, 0xD8, 0xFF}).has_value());
}

TEST(ContentFiles, PngHoldsTheRowsDeflated) {
    std::vector<uint8_t> rgba = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12};
    Bytes png = EncodePng(rgba, 3, 1);
    ASSERT_GT(png.size(), 8u + 25u + 12u + 12u);
    EXPECT_EQ(png[1], 'P');
    // IHDR: width 3, height 1, 8-bit RGBA.
    EXPECT_EQ(png[19], 3);
    EXPECT_EQ(png[23], 1);
    EXPECT_EQ(png[24], 8);
    EXPECT_EQ(png[25], 6);
    // IDAT follows: inflate it and undo the "sub" filter.
    size_t at = 33;
    uint32_t len = (png[at] << 24) | (png[at + 1] << 16) | (png[at + 2] << 8) | png[at + 3];
    ASSERT_EQ(std::string(png.begin() + at + 4, png.begin() + at + 8), "IDAT");
    std::vector<uint8_t> raw(13);
    uLongf rawLen = raw.size();
    ASSERT_EQ(uncompress(raw.data(), &rawLen, png.data() + at + 8, len), Z_OK);
    ASSERT_EQ(rawLen, 13u);
    EXPECT_EQ(raw[0], 1);
    for (size_t i = 0; i < 12; ++i) {
        uint8_t left = i >= 4 ? rgba[i - 4] : 0;
        EXPECT_EQ(static_cast<uint8_t>(raw[1 + i] + left), rgba[i]);
    }
}

TEST(ContentFiles, MeshTextReadsBackExactly) {
    Mesh3dm mesh;
    Material3dm m;
    m.Name = "Test Material";
    m.Opacity = 99;
    m.TwoSided = true;
    m.Diffuse = {12.5f, 0, 255};
    m.DiffuseMap = "x.jpg";
    mesh.MaterialName = m.Name;
    mesh.Standard = m;
    Object3dm o;
    o.Name = "Obj";
    o.MaterialName = m.Name;
    o.Vertices = {{1.25f, -0.004f, 123456.7f}, {-0.5f, 2, 0}, {0, 0, -3}};
    o.TexCoords = {{0, 0}, {1, 0.333333f}, {0.5f, 1}};
    o.Faces = {{1, 2, 3}};
    o.TexFaces = o.Faces;
    o.FaceMaterialIds = {1};
    o.Transform = std::array<Vec3f, 4>{Vec3f{1, 0, 0}, Vec3f{0, 0, 1}, Vec3f{0, -1, 0}, Vec3f{5, 6, 7}};
    mesh.Objects.push_back(o);
    T3DMFile file;
    file.LoadFromText(Write3dm(mesh));
    ASSERT_EQ(file.ObjectCount(), 1);
    const T3DMObject& r = file.GetObject(0);
    EXPECT_EQ(r.Name, "Obj");
    ASSERT_EQ(r.Vertices.size(), 3u);
    EXPECT_FLOAT_EQ(r.Vertices[0].x, 1.25f);
    EXPECT_NEAR(r.Vertices[0].y, 0.0f, 0.006f);  // two decimals
    EXPECT_NEAR(r.Vertices[0].z, 123456.7f, 0.01f);
    EXPECT_NEAR(r.TexCoords[1].v, 0.33333f, 1e-5f);
    EXPECT_TRUE(r.HasTransform);
    EXPECT_FLOAT_EQ(r.Matrix[1][2], 1.0f);
    EXPECT_FLOAT_EQ(r.Matrix[2][1], -1.0f);
    EXPECT_FLOAT_EQ(r.Matrix[3][2], 7.0f);
    auto* mat = dynamic_cast<T3DMMaterialStandard*>(file.Materials.FindMaterial("Test Material"));
    ASSERT_NE(mat, nullptr);
    EXPECT_FLOAT_EQ(mat->Opacity, 99);
    EXPECT_TRUE(mat->TwoSided);
    EXPECT_FLOAT_EQ(mat->Diffuse.r, 12.5f);
    EXPECT_EQ(mat->DiffuseMap, "x.jpg");
    EXPECT_TRUE(mat->OpacityMap.empty());
    EXPECT_EQ(FormatFixed(-0.0001f, 2), "0");
    EXPECT_EQ(FormatFixed(2.5f, 3), "2.5");
    EXPECT_EQ(FormatFloat(-6.38976e-7f).find(','), std::string::npos);
}

TEST(ContentReview, RasteriserCullsBackFacesLikeGl) {
    Image white(2, 2, {1, 1, 1, 1});
    RasterGroup g;
    g.Positions = {{-1, -1, 0}, {1, -1, 0}, {1, 1, 0}};
    g.Uv = {{0, 0}, {1, 0}, {1, 1}};
    g.Texture = &white;
    g.Indices = {0, 1, 2};  // counter-clockwise seen from +z
    Rasteriser front(20, 20, {0, 0, 0, 1});
    front.Draw({g}, MakeView(0, 0, {0, 0, 0}, 8));
    EXPECT_GT(front.Result().At(12, 12).r, 0.9f);
    g.Indices = {0, 2, 1};
    Rasteriser back(20, 20, {0, 0, 0, 1});
    back.Draw({g}, MakeView(0, 0, {0, 0, 0}, 8));
    EXPECT_LT(back.Result().At(12, 12).r, 0.1f);
    // Seen from behind (turned half round) the first winding is a back face.
    g.Indices = {0, 1, 2};
    Rasteriser behind(20, 20, {0, 0, 0, 1});
    behind.Draw({g}, MakeView(180, 0, {0, 0, 0}, 8));
    float sum = 0;
    for (const Color& c : behind.Result().Pixels) sum += c.r;
    EXPECT_LT(sum, 0.01f);
}

TEST(ContentReview, ContactSheetShowsEveryMeshAndPicture) {
    Image sheet = MakeContactSheet(Generated().Files, "bubble,plankton");
    EXPECT_GT(sheet.Width(), 600);
    // Two meshes with a row of views each, and the pictures below.
    EXPECT_GT(sheet.Height(), 2 * 200);
    Image none = MakeContactSheet(Generated().Files, "no such name");
    EXPECT_LT(none.Height(), sheet.Height());
}

// Every size: transparent corners, an opaque disc, and the fish's own orange
// covering a fair part of it (a fish that failed to load its picture would
// come out grey, a lost mesh not at all).
TEST(ContentIcons, EverySizeShowsTheColouredFishInsideTheDisc) {
    for (int size : cg::IconSizes()) {
        SCOPED_TRACE(size);
        const cg::Image icon = cg::DrawIcon(size);
        ASSERT_EQ(icon.Width(), size);
        ASSERT_EQ(icon.Height(), size);
        EXPECT_EQ(icon.At(0, 0).a, 0.0f);
        EXPECT_EQ(icon.At(size - 1, size - 1).a, 0.0f);
        EXPECT_GT(icon.At(size / 2, size / 2).a, 0.99f);
        int orange = 0;
        for (const cg::Color& c : icon.Pixels)
            if (c.a > 0.9f && c.r > 0.7f && c.g > 0.2f && c.g < 0.65f && c.b < 0.3f) ++orange;
        EXPECT_GT(orange, size * size / 12);
    }
}
