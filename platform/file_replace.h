// Writing a whole file so that it is never seen half-written: the bytes go
// to a temporary file in the same folder, reach the disk, and then take the
// old file's place in one rename. After a full disk, a read-only folder, a
// crash or a power cut, the file holds either its old contents or the new.
#pragma once

#include <string>
#include <string_view>

namespace platform {

// Permission bits of the new file: those of the file it replaces, or the
// usual ones for a new file (read-write for all, less the process's mask).
inline constexpr int KeepFileMode = -1;

// Replaces (or creates) fileName with exactly these bytes. Returns an empty
// text on success, else the system's reason ("No space left on device"); on
// failure the old file is untouched and no temporary file is left behind.
// What a writer of the same file killed mid-write left goes with the next
// successful write.
std::string ReplaceFile(const std::string& fileName, std::string_view bytes, int mode = KeepFileMode);

}  // namespace platform
