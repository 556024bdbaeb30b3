// rfapack: builds, lists and extracts resource archives (.rfa).
//   rfapack pack OUT.rfa (DIR | --list FILE.txt)...
//   rfapack list IN.rfa          (also: rfapack --list IN.rfa)
//   rfapack extract IN.rfa DIR
#include "core/archive.h"
#include "core/archive_packer.h"
#include "core/errors.h"

#include <cstdio>
#include <exception>
#include <string>
#include <vector>

namespace {

int Usage() {
    std::fputs(
        "usage: rfapack pack OUT.rfa (DIR | --list FILE.txt)...\n"
        "       rfapack list IN.rfa\n"
        "       rfapack extract IN.rfa DIR\n",
        stderr);
    return 2;
}

int Pack(const std::vector<std::string>& args) {
    if (args.size() < 2) return Usage();
    std::vector<TArchiveSource> sources;
    for (size_t i = 1; i < args.size(); ++i) {
        if (args[i] == "--list") {
            if (++i == args.size()) return Usage();
            AddListSources(sources, args[i]);
        } else {
            AddFolderSources(sources, args[i]);
        }
    }
    size_t count = sources.size();
    auto bytes = PackArchive(std::move(sources));
    // In one step: a failed run never leaves a half-written archive that
    // looks up to date.
    SaveBytesToFile(args[0], bytes);
    std::printf("%s: %zu files, %zu bytes\n", args[0].c_str(), count, bytes.size());
    return 0;
}

int List(const std::vector<std::string>& args) {
    if (args.size() != 1) return Usage();
    TResourceFileArchive archive;
    archive.LoadFromFile(args[0]);
    uint64_t packed = 0, unpacked = 0;
    std::printf("%10s %10s  %s\n", "Size", "Packed", "Name");
    for (int i = 0; i < archive.Count(); ++i) {
        const TArchiveFile& file = archive.Entry(i);
        std::printf("%10u %10u  %s\n", file.UnpackedSize, file.PackedSize, file.Name.c_str());
        packed += file.PackedSize;
        unpacked += file.UnpackedSize;
    }
    std::printf("%10llu %10llu  %d files\n", static_cast<unsigned long long>(unpacked),
                static_cast<unsigned long long>(packed), archive.Count());
    return 0;
}

int Extract(const std::vector<std::string>& args) {
    if (args.size() != 2) return Usage();
    TResourceFileArchive archive;
    archive.LoadFromFile(args[0]);
    ExtractArchive(archive, args[1]);
    std::printf("%s: %d files extracted to %s\n", args[0].c_str(), archive.Count(), args[1].c_str());
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) return Usage();
    std::string verb = argv[1];
    std::vector<std::string> args(argv + 2, argv + argc);
    try {
        if (verb == "pack") return Pack(args);
        if (verb == "list" || verb == "--list") return List(args);
        if (verb == "extract") return Extract(args);
        return Usage();
    } catch (const std::exception& e) {
        std::fprintf(stderr, "rfapack: %s\n", e.what());
        return 1;
    }
}
