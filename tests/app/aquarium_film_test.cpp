// Films of the whole aquarium: the built program records short fixed-step
// films on a private Xvfb server with each of the six waters and both kinds
// of fish, and every frame is checked for the layers it must show: the
// water surface at the top, the backdrop and the background picture in the
// middle, the sea bed at the bottom, fish swimming and bubbles rising. An
// empty aquarium of each water is compared with a small table of region
// statistics kept in tests/data/films/.
//
// The films are 16:9 (so the view is the wide one), which with the 75 degree
// view puts the surface (y 5000 beyond depth 6516) in the top sixth of the
// picture and the near sea bed (y -3000 from depth 3900) in the bottom
// fifth; the bands below stay clear of the edges between the layers.
#include "core/picture.h"
#include "core/archive.h"
#include "film_checks.h"
#include "core/strutil.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iomanip>
#include <iterator>
#include <map>
#include <set>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

// Last: the X headers define macros that clash with the ones above.
#include "program_runner.h"


namespace {

namespace fs = std::filesystem;
using namespace film_checks;

const auto* const environment = ::testing::AddGlobalTestEnvironment(new xvfb::Environment(1920, 1080));

constexpr int FilmWidth = 480;
constexpr int FilmHeight = 270;
constexpr int FilmSeconds = 1;
constexpr int FilmRate = 4;  // frames per second: a quarter-second step
constexpr int FilmFrames = FilmSeconds * FilmRate;

// Pixels of rows [top, bottom) whose colour is far from the colour of
// their row (its median): the water's own colour changes only with height,
// so these are the things in front of it.
std::vector<bool> StrangerMask(const TFrame& f, int top, int bottom, int threshold = 40) {
    std::vector<bool> mask(static_cast<size_t>(f.Width) * f.Height, false);
    std::array<std::vector<uint8_t>, 3> row;
    for (int y = top; y < bottom; ++y) {
        int median[3];
        for (int c = 0; c < 3; ++c) {
            row[c].clear();
            for (int x = 0; x < f.Width; ++x) row[c].push_back(f.At(x, y)[c]);
            std::nth_element(row[c].begin(), row[c].begin() + f.Width / 2, row[c].end());
            median[c] = row[c][static_cast<size_t>(f.Width / 2)];
        }
        for (int x = 0; x < f.Width; ++x) {
            const auto& p = f.At(x, y);
            for (int c = 0; c < 3; ++c)
                if (std::abs(p[c] - median[c]) > threshold) mask[static_cast<size_t>(y) * f.Width + x] = true;
        }
    }
    return mask;
}

long Count(const std::vector<bool>& mask) { return std::count(mask.begin(), mask.end(), true); }

long Changed(const std::vector<bool>& a, const std::vector<bool>& b) {
    long n = 0;
    for (size_t i = 0; i < a.size() && i < b.size(); ++i) n += a[i] != b[i];
    return n;
}

// Small bright spots: pixels clearly brighter than the four pixels two
// steps away, in rows [top, bottom).
std::set<std::pair<int, int>> Spots(const TFrame& f, int top, int bottom) {
    std::set<std::pair<int, int>> spots;
    for (int y = std::max(top, 2); y < std::min(bottom, f.Height - 2); ++y)
        for (int x = 2; x < f.Width - 2; ++x) {
            const double around =
                (f.Luminance(x - 2, y) + f.Luminance(x + 2, y) + f.Luminance(x, y - 2) + f.Luminance(x, y + 2)) / 4.0;
            if (f.Luminance(x, y) - around > 6) spots.insert({x, y});
        }
    return spots;
}

// Spots of one frame that the next frame shows a little higher in the same
// column (and not lower), less those it shows a little lower (and not
// higher). Things that stand still or swim sideways give as many of one as
// of the other; rising bubbles tip the balance upward.
long RisingSpots(const std::set<std::pair<int, int>>& before, const std::set<std::pair<int, int>>& after) {
    constexpr int Reach = 7;  // pixels a near, fast bubble rises in a step
    long up = 0, down = 0;
    for (const auto& [x, y] : before) {
        if (after.count({x, y})) continue;
        bool higher = false, lower = false;
        for (int d = 1; d <= Reach; ++d) {
            higher = higher || after.count({x, y - d});
            lower = lower || after.count({x, y + d});
        }
        if (higher && !lower) ++up;
        if (lower && !higher) ++down;
    }
    return up - down;
}

// ---------------------------------------------------------------- the program

using program_runner::ReadAll;

// "" when the program ended well, else why not.
std::string RunProgram(const std::vector<std::string>& args, const fs::path& dir) {
    const program_runner::RunResult run = program_runner::RunProgram(args, dir, std::chrono::seconds(60));
    return run.ExitCode == 0 ? "" : "the program failed: " + run.Err;
}

// What a film is made with: the user's settings file.
struct TFilmSettings {
    int Water = 0;
    int FishType = 0;
    int FishCount = 40;
    int BubbleCount = 400;
    bool UseBackground = true;
    int RenderScale = 100;

    std::string Key() const {
        std::ostringstream out;
        out << "water" << Water << "-fish" << FishType << "x" << FishCount << "-bubbles" << BubbleCount
            << (UseBackground ? "" : "-nobackground");
        if (RenderScale != 100) out << "-scale" << RenderScale;
        return out.str();
    }
};

struct TFilm {
    std::string Error;
    std::vector<TFrame> Frames;
    fs::path Folder;
};

// Records a film once per test process and keeps it for every test that
// looks at it.
const TFilm& Film(const TFilmSettings& s) {
    static std::map<std::string, TFilm> films;
    const std::string key = s.Key();
    if (auto it = films.find(key); it != films.end()) return it->second;
    TFilm& film = films[key];
    const xvfb::Server& server = xvfb::TheServer();
    if (!server.Error.empty() || !server.Dpy) {
        film.Error = server.Error.empty() ? "no X server" : server.Error;
        return film;
    }
    // Under the first test that asks: CTest runs each test in a process of
    // its own, in parallel, and each records the films it needs.
    const ::testing::TestInfo* test = ::testing::UnitTest::GetInstance()->current_test_info();
    const std::string testName = test ? std::string(test->test_suite_name()) + "." + test->name() : "global";
    std::string folderName = testName;
    std::replace(folderName.begin(), folderName.end(), '/', '_');
    film.Folder = fs::path(MARIVELLE_BUILD_DIR) / "tests" / "scratch" / "films" / folderName / key;
    fs::remove_all(film.Folder);
    const fs::path settings = film.Folder / "config" / "Tarnwick Software";
    fs::create_directories(settings);
    fs::create_directories(film.Folder / "film");
    {
        std::ofstream conf(settings / "3D Marivelle 4.conf");
        conf << "WaterBackgroundIndex=" << s.Water << "\nFishTypeIndex=" << s.FishType << "\nFishCount=" << s.FishCount
             << "\nBubbleCount=" << s.BubbleCount << "\nUseBackground=" << (s.UseBackground ? 1 : 0) << "\n";
    }
    const std::string size = std::to_string(FilmWidth) + "x" + std::to_string(FilmHeight);
    film.Error = RunProgram({"--record-film", std::to_string(FilmSeconds), std::to_string(FilmRate), "film/f.bmp",
                             "--size", size, "--render-scale", std::to_string(s.RenderScale)},
                            film.Folder);
    if (!film.Error.empty()) return film;
    for (int i = 1; i <= FilmFrames; ++i) {
        char name[32];
        std::snprintf(name, sizeof name, "f%05d.bmp", i);
        const std::string bytes = ReadAll(film.Folder / "film" / name);
        try {
            film.Frames.push_back(FrameOf(ReadBMP(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size())));
        } catch (const std::exception& e) {
            film.Error = std::string(name) + ": " + e.what();
            return film;
        }
        if (film.Frames.back().Width != FilmWidth || film.Frames.back().Height != FilmHeight) {
            film.Error = std::string(name) + " has the wrong size";
            return film;
        }
    }
    return film;
}

// An empty aquarium: no fish of type Fish, no bubbles (plankton and the
// starfish still come with salt-water fish).
TFilmSettings Empty(int water) {
    TFilmSettings s;
    s.Water = water;
    s.FishType = water < 3 ? 0 : 1;
    s.FishCount = 0;
    s.BubbleCount = 0;
    return s;
}

// ---------------------------------------------------------------- every frame of every film

struct TFilmCase {
    int Water, FishType;
};

std::ostream& operator<<(std::ostream& out, const TFilmCase& c) {
    return out << "water" << c.Water << "_fish" << c.FishType;
}

std::vector<TFilmCase> AllFilms() {
    std::vector<TFilmCase> cases;
    for (int w = 0; w < 6; ++w)
        for (int f = 0; f < 2; ++f) cases.push_back({w, f});
    return cases;
}

class AquariumFilmTest : public ::testing::TestWithParam<TFilmCase> {
protected:
    const TFilm& Full() {
        TFilmSettings s;
        s.Water = GetParam().Water;
        s.FishType = GetParam().FishType;
        return Film(s);
    }
};

// The surface, the backdrop with the background picture in front of it, and
// the sea bed, each in its band of every frame.
void CheckLayers(const TFilm& film, int waterIndex) {
    film_checks::CheckLayers(film.Frames, waterIndex, film.Folder.string());
}

std::vector<bool> FishMask(const TFrame& f) { return StrangerMask(f, f.Row(WaterTop), f.Row(WaterBottom)); }

// Far more things stand out from the water than in the empty aquarium of
// the same water, and three quarters of a second later they are elsewhere.
void CheckFish(const TFilm& film, const TFilm& empty) {
    const auto emptyFirst = FishMask(empty.Frames.front()), emptyLast = FishMask(empty.Frames.back());
    std::vector<std::vector<bool>> masks;
    for (size_t i = 0; i < film.Frames.size(); ++i) {
        masks.push_back(FishMask(film.Frames[i]));
        EXPECT_GT(Count(masks.back()), Count(emptyFirst) + 500)
            << "frame " << i + 1 << " of " << film.Folder.string() << " shows few fish";
    }
    EXPECT_GT(Changed(masks.front(), masks.back()), Changed(emptyFirst, emptyLast) + 300)
        << "the fish stand still in " << film.Folder.string();
}

long RisingSpotsOf(const TFilm& film) {
    long rising = 0;
    for (size_t i = 0; i + 1 < film.Frames.size(); ++i) {
        const TFrame& a = film.Frames[i];
        const TFrame& b = film.Frames[i + 1];
        rising += RisingSpots(Spots(a, a.Row(0.05), a.Row(WaterBottom)), Spots(b, b.Row(0.05), b.Row(WaterBottom)));
    }
    return rising;
}

// With 40 fish and 400 bubbles, against the empty aquarium of its water.
TEST_P(AquariumFilmTest, EveryFrameShowsTheWaterItsFishAndItsBubbles) {
    const TFilm& film = Full();
    ASSERT_EQ(film.Error, "");
    ASSERT_EQ(film.Frames.size(), static_cast<size_t>(FilmFrames));
    const TFilm& empty = Film(Empty(GetParam().Water));
    ASSERT_EQ(empty.Error, "");
    ASSERT_EQ(empty.Frames.size(), static_cast<size_t>(FilmFrames));
    CheckLayers(film, GetParam().Water);
    CheckFish(film, empty);
    EXPECT_GT(RisingSpotsOf(film), 400) << "few bubbles rise in " << film.Folder.string();
}

INSTANTIATE_TEST_SUITE_P(Films, AquariumFilmTest, ::testing::ValuesIn(AllFilms()),
                         [](const auto& p) {
                             std::ostringstream out;
                             out << p.param;
                             return out.str();
                         });

// ---------------------------------------------------------------- the empty aquarium of each water

// A grid of 4 columns and 8 rows; each cell keeps its mean colour and its
// contrast.
constexpr int GridColumns = 4, GridRows = 8;

struct TCell {
    TRGB Colour;
    double Contrast = 0;
};

using TGrid = std::array<TCell, GridColumns * GridRows>;

TGrid GridOf(const TFrame& f) {
    TGrid grid;
    for (int r = 0; r < GridRows; ++r)
        for (int c = 0; c < GridColumns; ++c) {
            const int top = r * f.Height / GridRows, bottom = (r + 1) * f.Height / GridRows;
            const int left = c * f.Width / GridColumns, right = (c + 1) * f.Width / GridColumns;
            TRGB sum;
            for (int y = top; y < bottom; ++y)
                for (int x = left; x < right; ++x) {
                    sum.R += f.At(x, y)[0];
                    sum.G += f.At(x, y)[1];
                    sum.B += f.At(x, y)[2];
                }
            const double n = static_cast<double>(bottom - top) * (right - left);
            TCell& cell = grid[static_cast<size_t>(r * GridColumns + c)];
            cell.Colour = {sum.R / n, sum.G / n, sum.B / n};
            cell.Contrast = Contrast(f, top, bottom, left, right);
        }
    return grid;
}

// Wide enough for another rasteriser's rounding and filtering, narrow
// enough that another water, a missing background or a missing sea bed
// leaves whole rows of cells outside it.
constexpr double ColourTolerance = 12;
bool CellMatches(const TCell& seen, const TCell& reference) {
    return seen.Colour.MaxDifference(reference.Colour) <= ColourTolerance &&
           std::fabs(seen.Contrast - reference.Contrast) <= std::max(1.0, 0.3 * reference.Contrast);
}

int CellsOff(const TGrid& seen, const TGrid& reference) {
    int off = 0;
    for (size_t i = 0; i < seen.size(); ++i) off += !CellMatches(seen[i], reference[i]);
    return off;
}

const fs::path ReferenceFile = fs::path(MARIVELLE_TEST_DATA) / "films" / "regions.txt";

// Lines "water row column red green blue contrast"; "#" starts a comment.
std::map<int, TGrid> ReadReferences(std::string& error) {
    std::map<int, TGrid> grids;
    std::map<int, int> cells;
    std::ifstream in(ReferenceFile);
    if (!in) {
        error = "cannot read " + ReferenceFile.string();
        return grids;
    }
    std::string line;
    while (std::getline(in, line)) {
        if (str::Trim(line).empty() || str::Trim(line)[0] == '#') continue;
        std::istringstream fields(line);
        int water, row, column;
        TCell cell;
        if (!(fields >> water >> row >> column >> cell.Colour.R >> cell.Colour.G >> cell.Colour.B >> cell.Contrast) ||
            water < 0 || water >= 6 || row < 0 || row >= GridRows || column < 0 || column >= GridColumns) {
            error = "bad line in " + ReferenceFile.string() + ": " + line;
            return grids;
        }
        grids[water][static_cast<size_t>(row * GridColumns + column)] = cell;
        ++cells[water];
    }
    for (const auto& [water, n] : cells)
        if (n != GridColumns * GridRows) error = "water " + std::to_string(water) + " has " + std::to_string(n) + " cells";
    return grids;
}

std::string Describe(int water, const TGrid& grid) {
    std::ostringstream out;
    out.setf(std::ios::fixed);
    for (int r = 0; r < GridRows; ++r)
        for (int c = 0; c < GridColumns; ++c) {
            const TCell& cell = grid[static_cast<size_t>(r * GridColumns + c)];
            out << water << " " << r << " " << c << " " << std::setprecision(1) << cell.Colour.R << " "
                << cell.Colour.G << " " << cell.Colour.B << " " << std::setprecision(2) << cell.Contrast << "\n";
        }
    return out.str();
}

class EmptyAquariumTest : public ::testing::TestWithParam<int> {};

// The table holds the first frame of each empty aquarium as it looked when
// the pictures were checked by eye. A test run writes what it measured next
// to the films (measured.txt), for a new table after a deliberate change.
TEST_P(EmptyAquariumTest, LooksLikeItsOwnReferenceAndNoOther) {
    const int water = GetParam();
    const TFilm& empty = Film(Empty(water));
    ASSERT_EQ(empty.Error, "");
    ASSERT_FALSE(empty.Frames.empty());
    const TGrid seen = GridOf(empty.Frames[0]);
    {
        std::ofstream out(empty.Folder / "measured.txt");
        out << Describe(water, seen);
    }
    std::string error;
    const std::map<int, TGrid> references = ReadReferences(error);
    ASSERT_EQ(error, "");
    ASSERT_EQ(references.size(), 6u) << ReferenceFile;

    const TGrid& own = references.at(water);
    for (size_t i = 0; i < seen.size(); ++i) {
        EXPECT_TRUE(CellMatches(seen[i], own[i]))
            << "cell row " << i / GridColumns << " column " << i % GridColumns << ": " << seen[i].Colour
            << " contrast " << seen[i].Contrast << ", reference " << own[i].Colour << " contrast "
            << own[i].Contrast << "; measured: " << (empty.Folder / "measured.txt").string();
    }
    for (const auto& [other, grid] : references) {
        if (other == water) continue;
        EXPECT_GE(CellsOff(seen, grid), GridColumns * GridRows / 2)
            << Waters[water].Name << " passes for " << Waters[other].Name;
    }
}

// The detectors the films rely on find nothing where there is nothing;
// and without its background picture the water misses its reference.
TEST_P(EmptyAquariumTest, ShowsNothingThatSwimsOrRisesAndNeedsItsBackground) {
    const int water = GetParam();
    const TFilm& empty = Film(Empty(water));
    ASSERT_EQ(empty.Error, "");
    ASSERT_EQ(empty.Frames.size(), static_cast<size_t>(FilmFrames));
    for (size_t i = 0; i < empty.Frames.size(); ++i)
        EXPECT_LT(Count(FishMask(empty.Frames[i])), 600) << "frame " << i + 1;
    EXPECT_LT(RisingSpotsOf(empty), 200);

    TFilmSettings s = Empty(water);
    s.UseBackground = false;
    const TFilm& bare = Film(s);
    ASSERT_EQ(bare.Error, "");
    ASSERT_FALSE(bare.Frames.empty());
    std::string error;
    const std::map<int, TGrid> references = ReadReferences(error);
    ASSERT_EQ(error, "");
    ASSERT_EQ(references.count(water), 1u);
    // At least the row of cells the background stands in.
    EXPECT_GE(CellsOff(GridOf(bare.Frames[0]), references.at(water)), GridColumns);
    const TFrame& f = bare.Frames[0];
    EXPECT_LT(Contrast(f, f.Row(BackgroundTop), f.Row(BackgroundBottom)), 1.0) << "only the smooth backdrop is left";
}

INSTANTIATE_TEST_SUITE_P(Waters, EmptyAquariumTest, ::testing::Range(0, 6),
                         [](const auto& p) { return "water" + std::to_string(p.param); });

// ---------------------------------------------------------------- drawn at half size

// Drawn at half the size and stretched, every frame still shows each layer in
// its band, and the empty aquarium looks like the one drawn at full size in
// every part of the window: the stretch reaches every edge, and what it
// changes in GL for itself does not leak into the next frame.
TEST(HalfRenderSizeTest, StretchedFramesShowTheSameAquariumOverTheWholeWindow) {
    TFilmSettings crowded;
    crowded.RenderScale = 50;
    const TFilm& film = Film(crowded);
    ASSERT_EQ(film.Error, "");
    ASSERT_EQ(film.Frames.size(), static_cast<size_t>(FilmFrames));
    CheckLayers(film, 0);

    TFilmSettings half = Empty(0);
    half.RenderScale = 50;
    const TFilm& stretched = Film(half);
    const TFilm& full = Film(Empty(0));
    ASSERT_EQ(stretched.Error, "");
    ASSERT_EQ(full.Error, "");
    for (size_t i = 0; i < full.Frames.size() && i < stretched.Frames.size(); ++i) {
        const TFrame& a = full.Frames[i];
        const TFrame& b = stretched.Frames[i];
        constexpr int Columns = 8, Rows = 6;
        for (int r = 0; r < Rows; ++r)
            for (int c = 0; c < Columns; ++c) {
                std::array<long, 3> sumA{}, sumB{};
                const int x0 = c * a.Width / Columns, x1 = (c + 1) * a.Width / Columns;
                const int y0 = r * a.Height / Rows, y1 = (r + 1) * a.Height / Rows;
                for (int y = y0; y < y1; ++y)
                    for (int x = x0; x < x1; ++x)
                        for (int k = 0; k < 3; ++k) {
                            sumA[static_cast<size_t>(k)] += a.At(x, y)[static_cast<size_t>(k)];
                            sumB[static_cast<size_t>(k)] += b.At(x, y)[static_cast<size_t>(k)];
                        }
                const long n = static_cast<long>(x1 - x0) * (y1 - y0);
                for (size_t k = 0; k < 3; ++k)
                    EXPECT_LE(std::labs(sumA[k] - sumB[k]) / n, 10)
                        << "frame " << i + 1 << ", block row " << r << " column " << c << ", channel " << k << " in "
                        << stretched.Folder.string();
            }
    }
}

}  // namespace
