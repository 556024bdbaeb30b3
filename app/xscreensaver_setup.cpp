#include "app/xscreensaver_setup.h"

#include "core/errors.h"
#include "core/stream.h"

#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>

namespace {

namespace fs = std::filesystem;

// One programs entry: a GL hack, continued to the next line of the list.
const std::string kEntry = std::string("  GL: \t\t\t\t") + kXScreenSaverCommand + "\t\t\t\t    \\n\\\n";

bool HasOurEntry(const std::string& settings) {
    std::istringstream lines(settings);
    std::string line;
    bool inPrograms = false;
    while (std::getline(lines, line)) {
        if (line.rfind("programs:", 0) == 0) inPrograms = true;
        if (inPrograms && line.find(kXScreenSaverCommand) != std::string::npos) return true;
        // The list ends at the first line not continued with a backslash.
        if (inPrograms && (line.empty() || line.back() != '\\')) inPrograms = false;
    }
    return false;
}

std::string ReadText(const fs::path& file) {
    std::ifstream in(file, std::ios::binary);
    if (!in) throw Exception("Cannot read " + file.string());
    return std::string(std::istreambuf_iterator<char>(in), {});
}

}  // namespace

std::string WithXScreenSaverEntry(const std::string& settings) {
    if (HasOurEntry(settings)) return settings;
    size_t at = settings.rfind("programs:", 0) == 0 ? 0 : settings.find("\nprograms:");
    if (at != std::string::npos && at != 0) ++at;
    if (at == std::string::npos) {
        std::string text = settings;
        if (!text.empty() && text.back() != '\n') text += '\n';
        return text + "programs:\t\t\t\t\t\t\t      \\\n" + kEntry + "\n";
    }
    // First in the list: right after the line that opens it.
    std::string text = settings;
    if (text.find('\n', at) == std::string::npos) text += '\n';
    const size_t lineEnd = text.find('\n', at);
    // "programs:" with its first entry on the same line: continue it first.
    if (lineEnd == 0 || text[lineEnd - 1] != '\\') text.insert(lineEnd, "\\n\\");
    const size_t insertAt = text.find('\n', at) + 1;
    text.insert(insertAt, kEntry);
    return text;
}

std::string InstallXScreenSaverEntry(const std::string& fileName) {
    const fs::path file(fileName);
    std::error_code error;
    const bool exists = fs::exists(file, error);
    const std::string before = exists ? ReadText(file) : std::string();
    const std::string after = WithXScreenSaverEntry(before);
    if (after == before) return file.string() + " already lists 3D Marivelle.";
    // A file its owner made read-only stays as it is, whoever we run as.
    if (exists && (fs::status(file).permissions() & fs::perms::owner_write) == fs::perms::none)
        throw Exception("Cannot add 3D Marivelle to " + file.string() + ": the file is read-only");
    try {
        if (exists) {
            const fs::path backup = file.string() + ".bak";
            if (!fs::exists(backup, error)) fs::copy_file(file, backup);
        }
        SaveBytesToFile(file.string(), std::string_view(after));
    } catch (const std::exception& e) {
        throw Exception(std::string("Cannot add 3D Marivelle to ") + file.string() + ": " + e.what());
    }
    return "Added 3D Marivelle to " + file.string() + "; choose it in the XScreenSaver settings.";
}
