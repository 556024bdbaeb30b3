// Where generated files go, and the list of content groups. Each group is a
// function that writes its files into a sink; groups are independent and
// each asset draws from its own fixed seed, so output never depends on which
// groups run or in what order.
#pragma once

#include "image.h"
#include "writers.h"

#include <functional>
#include <map>
#include <string>
#include <vector>

namespace cg {

class ContentSink {
public:
    virtual ~ContentSink() = default;
    // Adds one file; a name given twice is a generator bug and throws.
    virtual void Put(const std::string& name, Bytes bytes) = 0;
};

// Writes each file into a folder (created when missing).
class DirectorySink : public ContentSink {
public:
    explicit DirectorySink(std::string folder);
    void Put(const std::string& name, Bytes bytes) override;
    const std::vector<std::string>& Names() const { return Written; }

private:
    std::string Folder;
    std::vector<std::string> Written;
};

// Keeps the files in memory, by name.
class MemorySink : public ContentSink {
public:
    void Put(const std::string& name, Bytes bytes) override;
    std::map<std::string, Bytes> Files;
};

struct ContentGroup {
    const char* Name;
    const char* Description;
    void (*Generate)(ContentSink& sink);
};

// Every group, in generation order. New groups are added in groups.cpp.
const std::vector<ContentGroup>& ContentGroups();

// Runs every group (or only those named, when the list is not empty);
// progress gets one line per group.
void GenerateContent(ContentSink& sink, const std::vector<std::string>& only,
                     const std::function<void(const std::string& line)>& progress);

// Colour picture as JPEG (quality 92, no chroma subsampling), one level of
// dither from the seed.
void PutJpeg(ContentSink& sink, const std::string& name, const Image& img, uint32_t ditherSeed);
// The alpha channel as a grey JPEG.
void PutAlphaJpeg(ContentSink& sink, const std::string& name, const Image& img, uint32_t ditherSeed);
void PutText(ContentSink& sink, const std::string& name, const std::string& text);

// "Fish.jpg" -> "FishA.jpg": the name of a picture's alpha picture.
std::string AlphaPictureName(const std::string& colourName);

// Runs fn(0 .. count-1) on up to two threads; results must be written by
// index so the order of completion never shows in the output.
void ParallelFor(int count, const std::function<void(int)>& fn);

constexpr int JpegQuality = 92;

}  // namespace cg
