// File lists: text files naming one content file a line, the waters, sea
// beds and backgrounds a texture or mesh can switch between; and the
// settings value that remembers which line was chosen.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

class TMainScene;

// No file list is read past this size.
constexpr size_t MaxFileListSize = 1u << 20;

// The lines of the list, trimmed, blank ones kept so that line numbers stay
// those of the file. Read from the scene's sources: disk, archive, or disk
// then archive; the archive when there is no scene. A list that is missing
// or too large gives no lines.
std::vector<std::string> ReadFileListLines(const TMainScene* scene, const std::string& fileName);

// The settings value holding a list's chosen line: "fons.txt" -> "fonsIndex".
std::string FileListIndexKey(const std::string& fileListName);
