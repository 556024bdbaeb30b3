// The generated environment: the six waters' sea beds, surfaces and
// backgrounds with their meshes and file lists, the caustic and light-ray
// maps, the clock pictures and the two sounds. Pictures are checked as the
// scene will read them (decoded from the written files).
#include "backgrounds.h"
#include "caustics.h"
#include "clockpics.h"
#include "content.h"
#include "sounds.h"
#include "waters.h"
#include "writers.h"

#include "core/picture.h"
#include "core/file3dm.h"
#include "core/stream.h"
#include "sound/wave.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <set>
#include <string>

using namespace cg;

namespace {

const std::vector<std::string> Groups = {"waters", "backdrops", "caustics", "clock", "sounds"};

const MemorySink& Env() {
    static const MemorySink sink = [] {
        MemorySink s;
        GenerateContent(s, Groups, nullptr);
        return s;
    }();
    return sink;
}

const Bytes& File(const std::string& name) {
    auto it = Env().Files.find(name);
    if (it == Env().Files.end()) throw std::runtime_error("not generated: " + name);
    return it->second;
}

bool Has(const std::string& name) { return Env().Files.count(name) > 0; }

// A decoded picture; with an alpha picture, its grey level as alpha.
Image Picture(const std::string& name, const std::string& alpha = "") {
    auto pic = DecodePicture(name, File(name));
    if (!pic) throw std::runtime_error("undecodable: " + name);
    Image img = FromRgb8(pic->Rgb, pic->Width, pic->Height);
    if (!alpha.empty()) {
        auto a = DecodePicture(alpha, File(alpha));
        if (!a || a->Width != pic->Width || a->Height != pic->Height) throw std::runtime_error("bad alpha: " + alpha);
        for (size_t i = 0; i < img.Pixels.size(); ++i)
            img.Pixels[i].a = static_cast<float>(a->Rgb[i * 3] + a->Rgb[i * 3 + 1] + a->Rgb[i * 3 + 2]) / (3 * 255.0f);
    }
    return img;
}

// The hand-written file lists beside the scene script.
std::vector<std::string> ListLines(const std::string& name, bool* crlf = nullptr) {
    auto path = std::filesystem::path(MARIVELLE_TEST_DATA).parent_path().parent_path() / "data" / name;
    std::ifstream f(path, std::ios::binary);
    std::string text((std::istreambuf_iterator<char>(f)), {});
    std::vector<std::string> lines;
    bool allCrlf = true;
    size_t start = 0;
    while (start < text.size()) {
        size_t end = text.find('\n', start);
        if (end == std::string::npos) end = text.size();
        std::string line = text.substr(start, end - start);
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        else if (end < text.size())
            allCrlf = false;
        lines.push_back(line);
        start = end + 1;
    }
    if (crlf) *crlf = allCrlf;
    return lines;
}

float Luma(const Color& c) { return 0.299f * c.r + 0.587f * c.g + 0.114f * c.b; }

// The step across the wrap edges against the step across the inner 8 x 8
// block edges of the JPEG (which the wrap edges are too, so block artefacts
// count on both sides): about 1 for a picture that tiles. With gate, only
// colour counts, and only where both texels pass the scene's alpha test.
double WrapSeamRatio(const Image& img, bool acrossOnly, bool gate = false) {
    auto diff = [gate](const Color& a, const Color& b) {
        if (gate && (a.a <= 0.35f || b.a <= 0.35f)) return 0.0;
        double d = gate ? 0.0 : std::fabs(a.a - b.a);
        return d + std::fabs(a.r - b.r) + std::fabs(a.g - b.g) + std::fabs(a.b - b.b);
    };
    const int w = img.Width(), h = img.Height();
    double seam = 0, inner = 0;
    long seamCount = 0, innerCount = 0;
    for (int y = 0; y < h; ++y) {
        seam += diff(img.At(w - 1, y), img.At(0, y));
        ++seamCount;
        for (int x = 8; x < w; x += 8) {
            inner += diff(img.At(x - 1, y), img.At(x, y));
            ++innerCount;
        }
    }
    if (!acrossOnly)
        for (int x = 0; x < w; ++x) {
            seam += diff(img.At(x, h - 1), img.At(x, 0));
            ++seamCount;
            for (int y = 8; y < h; y += 8) {
                inner += diff(img.At(x, y - 1), img.At(x, y));
                ++innerCount;
            }
        }
    seam /= static_cast<double>(seamCount);
    inner /= static_cast<double>(innerCount);
    return inner > 1e-9 ? seam / inner : 1.0;
}

std::vector<int16_t> Samples(const Bytes& wav) {
    std::vector<int16_t> s;
    for (size_t i = 44; i + 1 < wav.size(); i += 2)
        s.push_back(static_cast<int16_t>(static_cast<uint16_t>(wav[i] | (wav[i + 1] << 8))));
    return s;
}

uint32_t U32(const Bytes& b, size_t at) {
    return static_cast<uint32_t>(b[at]) | static_cast<uint32_t>(b[at + 1]) << 8 | static_cast<uint32_t>(b[at + 2]) << 16 |
           static_cast<uint32_t>(b[at + 3]) << 24;
}
uint16_t U16(const Bytes& b, size_t at) { return static_cast<uint16_t>(b[at] | (b[at + 1] << 8)); }

// Frequency from upward zero crossings over a stretch: whole cycles between
// the first and the last crossing, each placed between its two samples.
double CrossingHz(const std::vector<float>& x, size_t from, size_t to, int rate) {
    double first = -1, last = -1;
    int ups = 0;
    for (size_t i = from + 1; i < to && i < x.size(); ++i)
        if (x[i - 1] < 0 && x[i] >= 0) {
            double at = static_cast<double>(i - 1) + x[i - 1] / (x[i - 1] - x[i]);
            if (first < 0) first = at;
            last = at;
            ++ups;
        }
    return ups > 1 ? (ups - 1) * static_cast<double>(rate) / (last - first) : 0.0;
}

}  // namespace

TEST(EnvironmentFiles, ListsNameGeneratedPicturesAndEveryWaterPictureIsListed) {
    bool crlf = false;
    auto seabeds = ListLines("seabeds.txt", &crlf);
    EXPECT_TRUE(crlf);
    auto waters = ListLines("waters.txt", &crlf);
    EXPECT_TRUE(crlf);
    auto fons = ListLines("fons.txt", &crlf);
    EXPECT_TRUE(crlf);
    ASSERT_EQ(seabeds.size(), 6u);
    ASSERT_EQ(waters.size(), 6u);
    ASSERT_EQ(fons.size(), 12u);
    std::set<std::string> listed;
    for (int i = 0; i < 6; ++i) {
        EXPECT_EQ(seabeds[static_cast<size_t>(i)], SeabedName(i));
        EXPECT_EQ(waters[static_cast<size_t>(i)], SurfaceName(i));
        EXPECT_EQ(fons[static_cast<size_t>(2 * i)], BackgroundName(i));
        // Pair mode: the colour picture, then its alpha picture.
        EXPECT_EQ(fons[static_cast<size_t>(2 * i + 1)], AlphaPictureName(fons[static_cast<size_t>(2 * i)]));
    }
    for (const auto* list : {&seabeds, &waters, &fons})
        for (const std::string& name : *list) {
            EXPECT_TRUE(Has(name)) << name;
            listed.insert(name);
        }
    for (const auto& [name, bytes] : Env().Files) {
        bool waterPicture = name.rfind("seabed", 0) == 0 || name.rfind("water", 0) == 0 || name.rfind("Fon", 0) == 0;
        if (waterPicture) {
            EXPECT_TRUE(listed.count(name)) << name << " is generated but no list names it";
        }
    }
    for (const char* name : {"caustfish.jpg", "caustback.jpg", "caustlight.jpg", "caustlightA.jpg", "clock.bmp",
                             "ClockA.bmp", "bubbles7.wav", "waves04.wav"})
        EXPECT_TRUE(Has(name)) << name;
    // Each water's background mesh, under the name the scene loads.
    std::set<int> fon;
    for (int i = 0; i < 6; ++i) {
        EXPECT_TRUE(Has(BackgroundMeshName(i))) << BackgroundMeshName(i);
        fon.insert(Waters()[static_cast<size_t>(i)].Fon);
    }
    EXPECT_EQ(fon, (std::set<int>{1, 2, 3, 4, 5, 6}));
}

TEST(EnvironmentFiles, PicturesArePowersOfTwoWithMatchingAlphaAndFullColourJpeg) {
    int pictures = 0;
    for (const auto& [name, bytes] : Env().Files) {
        std::string lower = name;
        for (char& ch : lower) ch = static_cast<char>(std::tolower(static_cast<unsigned char>(ch)));
        bool jpeg = lower.size() > 4 && lower.substr(lower.size() - 4) == ".jpg";
        bool bmp = lower.size() > 4 && lower.substr(lower.size() - 4) == ".bmp";
        if (!jpeg && !bmp) continue;
        ++pictures;
        auto pic = DecodePicture(name, bytes);
        ASSERT_TRUE(pic) << name;
        EXPECT_TRUE(IsPowerOfTwo(pic->Width) && IsPowerOfTwo(pic->Height)) << name;
        EXPECT_LE(std::max(pic->Width, pic->Height), 1024) << name;
        if (jpeg) {
            // No chroma subsampling: every component at full resolution.
            for (uint8_t f : JpegSamplingFactors(bytes)) EXPECT_EQ(f, 0x11) << name;
        }
        std::string alpha = AlphaPictureName(name);
        if (Has(alpha)) {
            auto a = DecodePicture(alpha, File(alpha));
            ASSERT_TRUE(a) << alpha;
            EXPECT_EQ(a->Width, pic->Width) << alpha;
            EXPECT_EQ(a->Height, pic->Height) << alpha;
        }
    }
    EXPECT_EQ(pictures, 12 + 12 + 4 + 2);
}

TEST(EnvironmentFiles, TwoRunsWriteIdenticalBytes) {
    MemorySink again;
    GenerateContent(again, Groups, nullptr);
    ASSERT_EQ(again.Files.size(), Env().Files.size());
    for (const auto& [name, bytes] : Env().Files) {
        auto it = again.Files.find(name);
        ASSERT_NE(it, again.Files.end()) << name;
        EXPECT_TRUE(it->second == bytes) << name << " differs between runs";
    }
}

TEST(TileableTextures, SeaBedsSurfacesAndCausticsHaveNoSeam) {
    std::vector<std::string> names{"caustfish.jpg", "caustback.jpg"};
    for (int i = 0; i < 6; ++i) {
        names.push_back(SeabedName(i));
        names.push_back(SurfaceName(i));
    }
    for (const std::string& name : names) {
        double ratio = WrapSeamRatio(Picture(name), false);
        std::printf("seam %-16s %.3f\n", name.c_str(), ratio);
        EXPECT_LT(ratio, 1.5) << name;
    }
    // The light rays' colour is flat; their shape is in the alpha picture.
    double ratio = WrapSeamRatio(Picture("caustlight.jpg", "caustlightA.jpg"), false);
    std::printf("seam %-16s %.3f\n", "caustlight+A", ratio);
    EXPECT_LT(ratio, 1.5);
}

TEST(TileableTextures, BackgroundsJoinAcross) {
    for (int i = 0; i < 6; ++i) {
        Image img = Picture(BackgroundName(i), AlphaPictureName(BackgroundName(i)));
        // Upright stems and blades may run along any column, the wrap's
        // included, so the wrap only must not stand out from every inner
        // block edge: in outline (alpha), and in colour where both sides show.
        auto step = [&](int left, int right, bool colour) {
            double d = 0;
            for (int y = 0; y < img.Height(); ++y) {
                const Color &a = img.At(left, y), &b = img.At(right, y);
                if (!colour)
                    d += std::fabs(a.a - b.a);
                else if (a.a > 0.35f && b.a > 0.35f)
                    d += std::fabs(a.r - b.r) + std::fabs(a.g - b.g) + std::fabs(a.b - b.b);
            }
            return d / img.Height();
        };
        double worstInner = 0, worstInnerColour = 0;
        for (int x = 8; x < img.Width(); x += 8) {
            worstInner = std::max(worstInner, step(x - 1, x, false));
            worstInnerColour = std::max(worstInnerColour, step(x - 1, x, true));
        }
        double wrapStep = step(img.Width() - 1, 0, false), wrapColour = step(img.Width() - 1, 0, true);
        std::printf("seam %-16s colour %.4f (inner worst %.4f, ratio to mean %.2f), alpha %.4f (inner worst %.4f)\n",
                    BackgroundName(i).c_str(), wrapColour, worstInnerColour, WrapSeamRatio(img, true, true), wrapStep,
                    worstInner);
        EXPECT_LE(wrapColour, worstInnerColour) << BackgroundName(i);
        EXPECT_LE(wrapStep, worstInner) << BackgroundName(i);
    }
}

TEST(Backgrounds, NoDarkHaloWhereTheyFadeOut) {
    // Where a texel is barely visible next to an opaque one, the colour
    // under it must be about the opaque neighbour's, not the black of empty
    // canvas: filtering would pull that in as a dark fringe.
    for (int i = 0; i < 6; ++i) {
        Image img = Picture(BackgroundName(i), AlphaPictureName(BackgroundName(i)));
        int edges = 0, dark = 0;
        for (int y = 1; y + 1 < img.Height(); ++y)
            for (int x = 1; x + 1 < img.Width(); ++x) {
                const Color& p = img.At(x, y);
                if (p.a < 0.02f || p.a > 0.5f) continue;
                for (auto [dx, dy] : {std::pair{1, 0}, {-1, 0}, {0, 1}, {0, -1}}) {
                    const Color& q = img.At(x + dx, y + dy);
                    if (q.a < 0.95f) continue;
                    ++edges;
                    if (Luma(p) < 0.6f * Luma(q) - 0.03f) ++dark;
                    break;
                }
            }
        ASSERT_GT(edges, 100) << BackgroundName(i);
        EXPECT_LT(dark, edges / 50 + 1) << BackgroundName(i) << ": " << dark << " of " << edges;
    }
}

TEST(Backgrounds, StandOnTheSeaBedAndLeaveTheWaterAboveOpen) {
    for (int i = 0; i < 6; ++i) {
        Image img = Picture(BackgroundName(i), AlphaPictureName(BackgroundName(i)));
        const int h = img.Height();
        float bottomMin = 1, topMax = 0, covered = 0;
        for (int x = 0; x < img.Width(); ++x) {
            bottomMin = std::min(bottomMin, img.At(x, h - 1).a);
            for (int y = 0; y < h / 5; ++y) topMax = std::max(topMax, img.At(x, y).a);
            for (int y = 0; y < h; ++y) covered += img.At(x, y).a > 0.35f ? 1.0f : 0.0f;
        }
        EXPECT_GT(bottomMin, 0.9f) << BackgroundName(i) << ": the lower edge must not show a gap";
        EXPECT_LT(topMax, 0.1f) << BackgroundName(i);
        float share = covered / static_cast<float>(img.Width() * h);
        EXPECT_GT(share, 0.12f) << BackgroundName(i);
        EXPECT_LT(share, 0.7f) << BackgroundName(i);
    }
}

TEST(Backgrounds, MeshesAreOneCameraFacingPlanePerCopyWithTheSelectableTexture) {
    for (int i = 0; i < 6; ++i) {
        const Bytes& b = File(BackgroundMeshName(i));
        T3DMFile file;
        file.LoadFromText(std::string_view(reinterpret_cast<const char*>(b.data()), b.size()));
        ASSERT_EQ(file.ObjectCount(), 1) << BackgroundMeshName(i);
        const T3DMObject& o = file.GetObject(0);
        ASSERT_EQ(o.Vertices.size(), 4u);
        ASSERT_EQ(o.VertexFaces.size(), 2u);
        ASSERT_EQ(o.TexCoords.size(), 4u);
        EXPECT_FALSE(o.HasTransform);  // placed by its own coordinates
        float minX = 1e9f, maxX = -1e9f, minY = 1e9f, maxY = -1e9f;
        for (const T3DMPoint& p : o.Vertices) {
            minX = std::min(minX, p.x);
            maxX = std::max(maxX, p.x);
            minY = std::min(minY, p.y);
            maxY = std::max(maxY, p.y);
            EXPECT_GT(p.z, -10000.0f);  // in front of the backdrop
            EXPECT_LT(p.z, -8000.0f);
        }
        // Copies 12600 apart join edge to edge.
        EXPECT_FLOAT_EQ(maxX - minX, PlaneWidth);
        EXPECT_FLOAT_EQ(minX + maxX, 0.0f);
        EXPECT_LT(minY, BottomY);  // reaches under the sea bed line
        EXPECT_GT(maxY, 0.0f);
        for (size_t f = 0; f < o.VertexFaces.size(); ++f) {
            const T3DMFace& face = o.VertexFaces[f];
            const T3DMPoint &a = o.Vertices[static_cast<size_t>(face.a - 1)], &pb = o.Vertices[static_cast<size_t>(face.b - 1)],
                            &c = o.Vertices[static_cast<size_t>(face.c - 1)];
            float nz = (pb.x - a.x) * (c.y - a.y) - (pb.y - a.y) * (c.x - a.x);
            EXPECT_GT(nz, 0) << "face " << f << " turns away from the camera";
            // The picture's bottom row lies on the lower edge.
            const T3DMFace& tf = o.TexCoordFaces[f];
            for (auto [vi, ti] : {std::pair{face.a, tf.a}, {face.b, tf.b}, {face.c, tf.c}}) {
                const T3DMPoint& p = o.Vertices[static_cast<size_t>(vi - 1)];
                const T3DMTexCoord& t = o.TexCoords[static_cast<size_t>(ti - 1)];
                EXPECT_FLOAT_EQ(t.u, (p.x - minX) / PlaneWidth);
                EXPECT_FLOAT_EQ(t.v, (p.y - minY) / (maxY - minY));
            }
        }
        // The mesh loader names the texture diffuse-stem + "A" + extension;
        // it must be the scene's "FonA.jpg", whose file list picks the water.
        auto* m = dynamic_cast<T3DMMaterialStandard*>(file.Materials.FindMaterial(o.MaterialName));
        ASSERT_NE(m, nullptr);
        EXPECT_FALSE(m->OpacityMap.empty());
        EXPECT_EQ(AlphaPictureName(m->DiffuseMap), "FonA.jpg");
    }
}

TEST(Caustics, MapsDarkenOnAverageByAboutAThird) {
    for (const char* name : {"caustfish.jpg", "caustback.jpg"}) {
        Color m = MeanColour(Picture(name));
        std::printf("mean %-16s %.3f\n", name, m.g);
        EXPECT_NEAR(m.g, 0.65f, 0.06f) << name;
        EXPECT_NEAR(m.r, m.b, 0.01f) << name;  // neutral: the light colour tints it
    }
}

TEST(Caustics, TracerKeepsTheLightAndFocusesMoreWithStrength) {
    auto waves = RandomWaves(8, 77);
    for (const SurfaceWave& w : waves) EXPECT_LE(w.Kx * w.Kx + w.Ky * w.Ky, 25);
    Mask soft = TraceCaustic(96, waves, 0.8f, 4);
    Mask sharp = TraceCaustic(96, waves, 2.2f, 4);
    auto stats = [](const Mask& m, double& mean, float& peak) {
        mean = 0;
        peak = 0;
        for (float v : m.Values) {
            mean += v;
            peak = std::max(peak, v);
        }
        mean /= static_cast<double>(m.Values.size());
    };
    double meanSoft, meanSharp;
    float peakSoft, peakSharp;
    stats(soft, meanSoft, peakSoft);
    stats(sharp, meanSharp, peakSharp);
    EXPECT_NEAR(meanSoft, 1.0, 1e-3);  // every ray lands somewhere
    EXPECT_NEAR(meanSharp, 1.0, 1e-3);
    EXPECT_GT(peakSharp, peakSoft * 1.5f);
    // Light wraps around: moving the surface by whole texels moves the map
    // by as much, also across the edges.
    std::vector<SurfaceWave> moved = waves;
    for (SurfaceWave& w : moved) w.Phase -= 2 * Pi * static_cast<float>(w.Kx * 17 + w.Ky * 5) / 96.0f;
    Mask shifted = TraceCaustic(96, moved, 2.2f, 4);
    float worst = 0;
    for (int y = 0; y < 96; ++y)
        for (int x = 0; x < 96; ++x)
            worst = std::max(worst, std::fabs(shifted.At(x, y) - sharp.At((x + 96 - 17) % 96, (y + 96 - 5) % 96)));
    EXPECT_LT(worst, 0.02f * peakSharp);
    // A flat surface focuses nothing.
    Mask flat = TraceCaustic(32, {{1, 0, 0.0f, 0.0f}}, 2.0f, 4);
    for (float v : flat.Values) EXPECT_NEAR(v, 1.0f, 1e-3f);
}

TEST(Clock, CellsAreWhereTheSpritesCutAndHoldTheirSignsAlone) {
    const auto& cells = ClockCells();
    ASSERT_EQ(cells.size(), 1u + 10 + 2 + 2 + 7);
    EXPECT_EQ(cells[0].Sprite, "Plate");
    EXPECT_EQ(std::tie(cells[0].X, cells[0].Y, cells[0].Width, cells[0].Height), std::make_tuple(0, 0, 180, 131));
    for (int d = 0; d <= 9; ++d) {
        const ClockCell& c = cells[static_cast<size_t>(1 + d)];
        EXPECT_EQ(c.Sprite, std::string(1, static_cast<char>('0' + d)));
        EXPECT_EQ(c.Width, 36);
        EXPECT_EQ(c.Height, 58);
        EXPECT_GE(c.Y, 140);
    }
    EXPECT_EQ(cells[1].X, 0);
    EXPECT_EQ(cells[1].Y, 140);
    EXPECT_EQ(cells[2].X, 36);
    std::set<std::string> names;
    for (size_t i = 0; i < cells.size(); ++i) {
        const ClockCell& a = cells[i];
        names.insert(a.Sprite);
        EXPECT_GE(a.X, 0);
        EXPECT_GE(a.Y, 0);
        EXPECT_LE(a.X + a.Width, ClockPictureSize) << a.Sprite;
        EXPECT_LE(a.Y + a.Height, ClockPictureSize) << a.Sprite;
        for (size_t j = i + 1; j < cells.size(); ++j) {
            const ClockCell& b = cells[j];
            bool apart = a.X + a.Width <= b.X || b.X + b.Width <= a.X || a.Y + a.Height <= b.Y || b.Y + b.Height <= a.Y;
            EXPECT_TRUE(apart) << a.Sprite << " overlaps " << b.Sprite;
        }
    }
    for (const char* n : {":", "\\", "am", "pm", "sun", "mon", "tue", "wed", "thu", "fri", "sat"})
        EXPECT_TRUE(names.count(n)) << n;

    // Both pictures read by the engine's own reader: 24-bit colour, 8-bit alpha.
    const Bytes& colour = File("clock.bmp");
    const Bytes& alphaBytes = File("ClockA.bmp");
    TPicture c = ReadBMP(colour.data(), colour.size());
    TPicture a = ReadBMP(alphaBytes.data(), alphaBytes.size());
    EXPECT_EQ(c.BitsPerPixel, 24);
    EXPECT_EQ(a.BitsPerPixel, 8);
    ASSERT_EQ(c.Width, ClockPictureSize);
    ASSERT_EQ(c.Height, ClockPictureSize);
    ASSERT_EQ(a.Width, ClockPictureSize);
    ASSERT_EQ(a.Height, ClockPictureSize);
    auto alpha = [&](int x, int y) { return a.PixelColor(x, y).Red / 255.0f; };
    for (const ClockCell& cell : cells) {
        float inside = 0, border = 0;
        for (int y = cell.Y; y < cell.Y + cell.Height; ++y)
            for (int x = cell.X; x < cell.X + cell.Width; ++x) {
                bool edge = x == cell.X || y == cell.Y || x == cell.X + cell.Width - 1 || y == cell.Y + cell.Height - 1;
                (edge ? border : inside) = std::max(edge ? border : inside, alpha(x, y));
            }
        EXPECT_GT(inside, cell.Sprite == "Plate" ? 0.5f : 0.9f) << cell.Sprite << " is empty";
        // Nothing at the cut line, so linear filtering never shows a neighbour.
        EXPECT_LT(border, 0.05f) << cell.Sprite;
    }
    // The glyphs are light: the clock colour tints them.
    const ClockCell& seven = cells[8];
    int bright = 0;
    for (int y = seven.Y; y < seven.Y + seven.Height; ++y)
        for (int x = seven.X; x < seven.X + seven.Width; ++x)
            if (alpha(x, y) > 0.95f && c.PixelColor(x, y).Green > 180) ++bright;
    EXPECT_GT(bright, 60);
}

TEST(Sounds, AreMonoPcm22050With16BitSamplesAndAPlainFormatChunk) {
    for (const char* name : {"bubbles7.wav", "waves04.wav"}) {
        const Bytes& b = File(name);
        ASSERT_GT(b.size(), 44u);
        EXPECT_EQ(std::string(b.begin(), b.begin() + 4), "RIFF");
        EXPECT_EQ(U32(b, 4), b.size() - 8);
        EXPECT_EQ(std::string(b.begin() + 8, b.begin() + 16), "WAVEfmt ");
        EXPECT_EQ(U32(b, 16), 16u) << "format chunk of 16 bytes";
        EXPECT_EQ(std::string(b.begin() + 36, b.begin() + 40), "data");
        EXPECT_EQ(U32(b, 40), b.size() - 44);
        TWaveSound wave(name);
        TMemoryStream stream(b);
        wave.LoadFromStream(stream);
        ASSERT_TRUE(wave.WaveLoaded()) << name;
        EXPECT_EQ(wave.FormatTag(), TWaveSound::FormatTagPcm);
        EXPECT_EQ(wave.Channels(), 1);
        EXPECT_EQ(wave.SamplesPerSec(), 22050u);
        EXPECT_EQ(wave.BitsPerSample(), 16);
        EXPECT_EQ(wave.BlockAlign(), 2);
        double seconds = wave.WaveDataSize() / 2.0 / 22050.0;
        EXPECT_GE(seconds, 10.0) << name;
        EXPECT_LE(seconds, 30.0) << name;
        EXPECT_EQ(U16(b, 20), 1);
    }
}

TEST(Sounds, LoopPointIsNoLouderAStepThanAnyOtherSample) {
    for (const char* name : {"bubbles7.wav", "waves04.wav"}) {
        std::vector<int16_t> s = Samples(File(name));
        ASSERT_GT(s.size(), 22050u);
        double mean = 0;
        std::vector<double> steps;
        for (size_t i = 1; i < s.size(); ++i) {
            double d = std::fabs(static_cast<double>(s[i]) - s[i - 1]);
            steps.push_back(d);
            mean += d;
        }
        mean /= static_cast<double>(steps.size());
        std::sort(steps.begin(), steps.end());
        double p99 = steps[steps.size() * 99 / 100];
        double seam = std::fabs(static_cast<double>(s.front()) - s.back());
        std::printf("loop %-13s step at the loop %.0f, mean step %.1f, 99th percentile %.0f\n", name, seam, mean, p99);
        EXPECT_LE(seam, p99) << name;
        // No level jump either: the last and first 50 ms are alike.
        auto rms = [&](size_t from, size_t to) {
            double e = 0;
            for (size_t i = from; i < to; ++i) e += static_cast<double>(s[i]) * s[i];
            return std::sqrt(e / static_cast<double>(to - from));
        };
        const size_t w = 1102;
        double end = rms(s.size() - w, s.size()), start = rms(0, w);
        if (name == std::string("waves04.wav")) {
            EXPECT_LT(std::max(end, start) / std::max(1.0, std::min(end, start)), 1.6) << name;
        }
    }
}

TEST(Sounds, BubblesRingAtTheirResonance) {
    for (float r : {0.001f, 0.002f, 0.004f}) {
        std::vector<float> b = BubbleSound(r, SoundRate);
        double expected = 3.26 / r;
        // The first eight cycles, before the chirp has risen much.
        double hz = CrossingHz(b, 0, static_cast<size_t>(8 / expected * SoundRate), SoundRate);
        EXPECT_NEAR(hz, expected, expected * 0.05) << "radius " << r;
        // It rises, then dies away.
        size_t n = b.size();
        EXPECT_GT(CrossingHz(b, n / 2, n, SoundRate), hz * 0.98);
        EXPECT_LT(std::fabs(b[n - 1]), 0.01f);
    }
    // The loop as a whole sits in the bubbles' band.
    std::vector<int16_t> s = Samples(File("bubbles7.wav"));
    std::vector<float> f(s.begin(), s.end());
    double hz = CrossingHz(f, 0, f.size(), SoundRate);
    std::printf("bubbles: %.0f Hz by zero crossings\n", hz);
    EXPECT_GT(hz, 500);
    EXPECT_LT(hz, 3500);
    std::vector<int16_t> w = Samples(File("waves04.wav"));
    std::vector<float> fw(w.begin(), w.end());
    EXPECT_LT(CrossingHz(fw, 0, fw.size(), SoundRate), 500);
}
