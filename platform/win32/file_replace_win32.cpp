// The new bytes go to a hidden temporary file beside the old one, are
// flushed to the disk, and MoveFileExW puts the file in the old one's place,
// waiting until the move itself is on the disk. Windows has no permission
// bits; the mode is not used.
#include "platform/file_replace.h"

#include <windows.h>
// The system's own ReplaceFile (a macro for ReplaceFileW) is not ours.
#undef ReplaceFile

#include "platform/win32/wide_text.h"

namespace platform {
namespace {

bool WriteAll(HANDLE file, std::string_view bytes) {
    while (!bytes.empty()) {
        const DWORD chunk = bytes.size() > (1u << 30) ? (1u << 30) : static_cast<DWORD>(bytes.size());
        DWORD written = 0;
        if (!WriteFile(file, bytes.data(), chunk, &written, nullptr)) return false;
        if (written == 0) {
            SetLastError(ERROR_DISK_FULL);
            return false;
        }
        bytes.remove_prefix(written);
    }
    return true;
}

// Removes what writers of this file that were killed mid-write left behind
// (".<base>.<process>.<counter>.tmp"). A live writer has its file open
// without sharing, so only the dead ones' can be deleted (but for the moment
// between a writer's close and its move, whose failure it then reports).
void SweepDeadTemporaries(const std::string& folder, const std::string& base) {
    const std::wstring prefix = win32::Widen("." + base + ".");
    WIN32_FIND_DATAW found{};
    HANDLE search = FindFirstFileExW(win32::Widen(folder + "." + base + ".*.tmp").c_str(), FindExInfoBasic, &found,
                                     FindExSearchNameMatch, nullptr, 0);
    if (search == INVALID_HANDLE_VALUE) return;
    do {
        const std::wstring name = found.cFileName;
        // The pattern also matches short names: only our own, whose middle
        // is the process and the counter.
        if (name.size() <= prefix.size() + 4 || name.compare(0, prefix.size(), prefix) != 0 ||
            (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY))
            continue;
        const std::wstring middle = name.substr(prefix.size(), name.size() - prefix.size() - 4);
        if (middle.find_first_not_of(L"0123456789.") != std::wstring::npos) continue;
        DeleteFileW((win32::Widen(folder) + name).c_str());
    } while (FindNextFileW(search, &found));
    FindClose(search);
}

}  // namespace

std::string ReplaceFile(const std::string& fileName, std::string_view bytes, int) {
    if (fileName.empty()) return win32::ErrorText(ERROR_FILE_NOT_FOUND);
    const size_t slash = fileName.find_last_of("\\/");
    const std::string folder = slash == std::string::npos ? std::string() : fileName.substr(0, slash + 1);
    const std::string base = slash == std::string::npos ? fileName : fileName.substr(slash + 1);
    const std::wstring target = win32::Widen(fileName);

    // A name of our own: the process id and a counter keep two writers,
    // in this process or another, apart.
    static LONG counter = 0;
    HANDLE file = INVALID_HANDLE_VALUE;
    std::wstring temp;
    for (int attempt = 0; attempt < 100 && file == INVALID_HANDLE_VALUE; ++attempt) {
        temp = win32::Widen(folder + "." + base + "." + std::to_string(GetCurrentProcessId()) + "." +
                            std::to_string(InterlockedIncrement(&counter)) + ".tmp");
        file = CreateFileW(temp.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_HIDDEN, nullptr);
        if (file == INVALID_HANDLE_VALUE && GetLastError() != ERROR_FILE_EXISTS) break;
    }
    if (file == INVALID_HANDLE_VALUE) return win32::ErrorText(GetLastError());

    bool ok = WriteAll(file, bytes) && FlushFileBuffers(file);
    DWORD error = ok ? 0 : GetLastError();
    if (!CloseHandle(file) && ok) {
        ok = false;
        error = GetLastError();
    }
    // The replaced file keeps no hidden attribute of the temporary one.
    if (ok && !SetFileAttributesW(temp.c_str(), FILE_ATTRIBUTE_NORMAL)) {
        ok = false;
        error = GetLastError();
    }
    if (ok && !MoveFileExW(temp.c_str(), target.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
        ok = false;
        error = GetLastError();
    }
    if (!ok) {
        DeleteFileW(temp.c_str());
        return win32::ErrorText(error);
    }
    SweepDeadTemporaries(folder, base);
    return {};
}

}  // namespace platform
