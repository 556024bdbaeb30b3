// contentgen: writes every generated content file into a folder, or draws a
// contact sheet of generated content for review.
#include "contactsheet.h"
#include "content.h"
#include "icons.h"
#include "waterpreview.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

namespace {

void Usage() {
    std::fprintf(stderr,
                 "usage: contentgen OUTPUT-FOLDER [--only GROUP[,GROUP...]]\n"
                 "       contentgen --contact-sheet OUT.png [CONTENT-FOLDER] [--filter TEXT] [--zoom N]\n"
                 "       contentgen --list\n"
                 "       contentgen --water-preview OUT.png CONTENT-FOLDER\n"
                 "       contentgen --icons OUTPUT-FOLDER NAME\n"
                 "       contentgen --windows-icon OUTPUT.ico\n");
}

std::vector<std::string> SplitComma(const std::string& s) {
    std::vector<std::string> out;
    size_t start = 0;
    while (start <= s.size()) {
        size_t end = s.find(',', start);
        if (end == std::string::npos) end = s.size();
        if (end > start) out.push_back(s.substr(start, end - start));
        start = end + 1;
    }
    return out;
}

int ContactSheet(int argc, char** argv) {
    std::string out, folder, filter;
    int zoom = 1;
    for (int i = 2; i < argc; ++i) {
        if (std::strcmp(argv[i], "--filter") == 0 && i + 1 < argc)
            filter = argv[++i];
        else if (std::strcmp(argv[i], "--zoom") == 0 && i + 1 < argc)
            zoom = std::atoi(argv[++i]);
        else if (out.empty())
            out = argv[i];
        else if (folder.empty())
            folder = argv[i];
        else {
            Usage();
            return 2;
        }
    }
    if (out.empty()) {
        Usage();
        return 2;
    }
    cg::FileMap files;
    if (!folder.empty()) {
        files = cg::ReadContentFolder(folder);
    } else {
        cg::MemorySink sink;
        cg::GenerateContent(sink, {}, [](const std::string& line) { std::printf("%s\n", line.c_str()); });
        files = std::move(sink.Files);
    }
    cg::Image sheet = cg::MakeContactSheet(files, filter, zoom);
    cg::Bytes png = cg::EncodePng(cg::ToRgba8(sheet), sheet.Width(), sheet.Height());
    std::ofstream f(out, std::ios::binary | std::ios::trunc);
    f.write(reinterpret_cast<const char*>(png.data()), static_cast<std::streamsize>(png.size()));
    if (!f) {
        std::fprintf(stderr, "contentgen: cannot write %s\n", out.c_str());
        return 1;
    }
    std::printf("contact sheet %s: %d x %d\n", out.c_str(), sheet.Width(), sheet.Height());
    return 0;
}

// The six waters as the scene composes them, one above the other.
int WaterPreviews(int argc, char** argv) {
    if (argc != 4) {
        Usage();
        return 2;
    }
    cg::FileMap files = cg::ReadContentFolder(argv[3]);
    cg::WaterPreviewOptions options;
    cg::Image sheet(options.Width, options.Height * 6);
    for (int water = 0; water < 6; ++water) {
        std::vector<std::string> missing;
        cg::Image pic = cg::WaterPreview(files, water, options, &missing);
        for (const std::string& m : missing) std::fprintf(stderr, "contentgen: water %d: missing %s\n", water + 1, m.c_str());
        for (int y = 0; y < pic.Height(); ++y)
            for (int x = 0; x < pic.Width(); ++x) sheet.At(x, water * options.Height + y) = pic.At(x, y);
    }
    cg::Bytes png = cg::EncodePng(cg::ToRgba8(sheet), sheet.Width(), sheet.Height());
    std::ofstream f(argv[2], std::ios::binary | std::ios::trunc);
    f.write(reinterpret_cast<const char*>(png.data()), static_cast<std::streamsize>(png.size()));
    return f ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
    try {
        if (argc < 2) {
            Usage();
            return 2;
        }
        std::string first = argv[1];
        if (first == "--contact-sheet") return ContactSheet(argc, argv);
        if (first == "--water-preview") return WaterPreviews(argc, argv);
        if (first == "--icons") {
            if (argc != 4) {
                Usage();
                return 2;
            }
            cg::WriteIcons(argv[2], argv[3]);
            return 0;
        }
        if (first == "--windows-icon") {
            if (argc != 3) {
                Usage();
                return 2;
            }
            const cg::Bytes icon = cg::WindowsIcon();
            const std::filesystem::path path(argv[2]);
            cg::DirectorySink(path.has_parent_path() ? path.parent_path().string() : ".").Put(path.filename().string(), icon);
            return 0;
        }
        if (first == "--list") {
            for (const cg::ContentGroup& g : cg::ContentGroups()) std::printf("%-10s %s\n", g.Name, g.Description);
            return 0;
        }
        if (first.rfind("--", 0) == 0) {
            Usage();
            return 2;
        }
        std::vector<std::string> only;
        for (int i = 2; i < argc; ++i) {
            if (std::strcmp(argv[i], "--only") == 0 && i + 1 < argc) {
                for (std::string& g : SplitComma(argv[++i])) only.push_back(g);
            } else {
                Usage();
                return 2;
            }
        }
        auto start = std::chrono::steady_clock::now();
        cg::DirectorySink sink(first);
        cg::GenerateContent(sink, only, [](const std::string& line) {
            std::printf("%s\n", line.c_str());
            std::fflush(stdout);
        });
        double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        std::printf("contentgen: %zu files in %s, %.2f s\n", sink.Names().size(), first.c_str(), seconds);
        return 0;
    } catch (const std::exception& e) {
        std::fprintf(stderr, "contentgen: %s\n", e.what());
        return 1;
    }
}
