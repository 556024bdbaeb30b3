#include "groups.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <stdexcept>

namespace cg {

const std::vector<ContentGroup>& ContentGroups() {
    static const std::vector<ContentGroup> groups = {
        {"saltfish", "salt-water fish meshes and pictures", GenerateSaltWaterFish},
        {"freshfish", "fresh-water fish meshes and pictures", GenerateFreshWaterFish},
        {"creatures", "plankton, starfish and bubble", GenerateCreatures},
        {"waters", "sea beds and surfaces of the six waters", GenerateWaters},
        {"backdrops", "reef and plant backgrounds with their meshes", GenerateBackgrounds},
        {"caustics", "caustic maps and light rays", GenerateCaustics},
        {"clock", "clock plate, digits and signs", GenerateClockPictures},
        {"sounds", "bubbles and waves", GenerateSounds},
    };
    return groups;
}

namespace {

// Counts what a group writes, for the progress line.
class CountingSink : public ContentSink {
public:
    explicit CountingSink(ContentSink& inner) : Inner(inner) {}
    void Put(const std::string& name, Bytes bytes) override {
        ++Files;
        Size += bytes.size();
        Inner.Put(name, std::move(bytes));
    }
    ContentSink& Inner;
    size_t Files = 0, Size = 0;
};

void Generate(const ContentGroup& g, ContentSink& sink, const std::function<void(const std::string&)>& progress) {
    CountingSink counting(sink);
    auto start = std::chrono::steady_clock::now();  // timing is reported only, never used for content
    g.Generate(counting);
    double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    if (progress) {
        char line[160];
        std::snprintf(line, sizeof line, "%-10s %3zu files %8.1f KB %6.2f s  (%s)", g.Name, counting.Files,
                      static_cast<double>(counting.Size) / 1024.0, seconds, g.Description);
        progress(line);
    }
}

}  // namespace

void GenerateContent(ContentSink& sink, const std::vector<std::string>& only,
                     const std::function<void(const std::string& line)>& progress) {
    for (const std::string& name : only) {
        bool known = std::any_of(ContentGroups().begin(), ContentGroups().end(),
                                 [&](const ContentGroup& g) { return name == g.Name; });
        if (!known) throw std::runtime_error("unknown content group: " + name);
    }
    for (const ContentGroup& g : ContentGroups()) {
        if (!only.empty() && std::find(only.begin(), only.end(), g.Name) == only.end()) continue;
        Generate(g, sink, progress);
    }
}

}  // namespace cg
