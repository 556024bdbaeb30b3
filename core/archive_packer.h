// Building resource archives (.rfa) from files, and taking them apart again:
// the logic of the rfapack tool.
#pragma once

#include "core/archive.h"

#include <cstdint>
#include <string>
#include <vector>

struct TArchiveSource {
    std::string Name;  // the bare file name stored in the archive
    std::vector<uint8_t> Content;
    std::string Origin;  // where the content came from, for messages; Name when empty
};

// Sorts the files by name without regard to case, deflates each at zlib's
// maximum level and returns the archive: D, the deflated directory, then the
// entries' streams in directory order. Raises Exception for an empty name, a
// name with a directory part, a duplicate name (without regard to case), an
// empty file or one larger than the reader accepts.
std::vector<uint8_t> PackArchive(std::vector<TArchiveSource> sources);

// Appends every plain file of a folder (hidden files are skipped; a subfolder
// is an error, since archive names carry no directory part).
void AddFolderSources(std::vector<TArchiveSource>& sources, const std::string& folder);

// Appends the files named in a list: one path a line, relative paths taken
// from the list's folder; blank lines and lines starting with "#" are skipped.
void AddListSources(std::vector<TArchiveSource>& sources, const std::string& listFile);

// Writes every entry of the archive into the folder (created when missing).
// Refuses names that could reach outside the folder.
void ExtractArchive(const TResourceFileArchive& archive, const std::string& folder);
