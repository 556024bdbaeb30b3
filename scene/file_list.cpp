#include "scene/file_list.h"

#include "core/strutil.h"
#include "scene/objects.h"
#include "scene/scene_textures.h"

#include <cstdint>
#include <string_view>

std::vector<std::string> ReadFileListLines(const TMainScene* scene, const std::string& fileName) {
    std::vector<std::string> lines;
    std::vector<uint8_t> bytes;
    const bool disk = scene && (scene->LoadSources & lsFiles);
    const bool archive = !scene || (scene->LoadSources & lsArchive);
    if (!ReadContentFile(fileName, disk, archive, MaxFileListSize, bytes)) return lines;
    std::string_view text(reinterpret_cast<const char*>(bytes.data()), bytes.size());
    for (const std::string& line : str::SplitLines(text)) lines.emplace_back(str::Trim(line));
    return lines;
}

std::string FileListIndexKey(const std::string& fileListName) {
    std::string base(str::ExtractFileName(fileListName));
    const size_t dot = base.rfind('.');
    if (dot != std::string::npos) base.erase(dot);
    return base + "Index";
}
