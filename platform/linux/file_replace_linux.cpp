#include "platform/file_replace.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cctype>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace platform {
namespace {

bool WriteAll(int fd, std::string_view bytes) {
    size_t done = 0;
    while (done < bytes.size()) {
        ssize_t n = write(fd, bytes.data() + done, bytes.size() - done);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) return false;
        if (n == 0) {
            errno = ENOSPC;
            return false;
        }
        done += static_cast<size_t>(n);
    }
    return true;
}

mode_t NewFileMode() {
    // Reading the mask with umask() would change it for a moment under the
    // other threads' feet; the kernel also reports it here.
    mode_t mask = 022;
    if (int fd = open("/proc/self/status", O_RDONLY | O_CLOEXEC); fd >= 0) {
        char text[4096];
        ssize_t n = read(fd, text, sizeof text - 1);
        close(fd);
        if (n > 0) {
            text[n] = '\0';
            if (const char* line = std::strstr(text, "\nUmask:")) mask = static_cast<mode_t>(std::strtoul(line + 7, nullptr, 8));
        }
    }
    return 0666 & ~mask;
}

// A temporary file's name: "." + base + "." and mkostemp's six letters.
bool IsTemporaryOf(std::string_view name, std::string_view prefix) {
    if (name.size() != prefix.size() + 6 || name.substr(0, prefix.size()) != prefix) return false;
    for (char c : name.substr(prefix.size()))
        if (!std::isalnum(static_cast<unsigned char>(c))) return false;
    return true;
}

// Removes what writers of this file that were killed mid-write left behind.
// A live writer holds a lock on its temporary file until it is renamed, and
// the system drops the lock of a dead one, so only theirs are taken.
void SweepDeadTemporaries(const std::string& folder, const std::string& base) {
    DIR* dir = opendir(folder.c_str());
    if (!dir) return;
    const std::string prefix = "." + base + ".";
    while (const dirent* entry = readdir(dir)) {
        if (!IsTemporaryOf(entry->d_name, prefix)) continue;
        const std::string path = folder + "/" + entry->d_name;
        const int fd = open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
        if (fd < 0) continue;
        struct stat st {};
        if (fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && flock(fd, LOCK_EX | LOCK_NB) == 0) unlink(path.c_str());
        close(fd);
    }
    closedir(dir);
}

}  // namespace

std::string ReplaceFile(const std::string& fileName, std::string_view bytes, int mode) {
    if (fileName.empty()) return std::strerror(ENOENT);
    size_t slash = fileName.rfind('/');
    std::string folder = slash == std::string::npos ? "." : slash == 0 ? "/" : fileName.substr(0, slash);
    std::string base = slash == std::string::npos ? fileName : fileName.substr(slash + 1);
    mode_t bits;
    if (mode != KeepFileMode) {
        bits = static_cast<mode_t>(mode) & 07777;
    } else if (struct stat st {}; stat(fileName.c_str(), &st) == 0 && S_ISREG(st.st_mode)) {
        bits = st.st_mode & 07777;
    } else {
        bits = NewFileMode();
    }
    // Hidden, so a folder listing never shows the half-written file.
    std::string temp = folder + "/." + base + ".XXXXXX";
    std::vector<char> name(temp.begin(), temp.end());
    name.push_back('\0');
    int fd = mkostemp(name.data(), O_CLOEXEC);
    if (fd < 0) return std::strerror(errno);
    // Locked until renamed (the duplicate keeps the lock past close), so a
    // sweep of dead writers' files leaves this one alone.
    flock(fd, LOCK_EX | LOCK_NB);
    const int hold = fcntl(fd, F_DUPFD_CLOEXEC, 0);
    // close() reports what the file system could not store (NFS, quotas);
    // fsync makes the rename below publish bytes that are on the disk.
    bool ok = fchmod(fd, bits) == 0 && WriteAll(fd, bytes) && fsync(fd) == 0;
    int err = ok ? 0 : errno;
    if (close(fd) != 0 && ok) {
        ok = false;
        err = errno;
    }
    if (ok && rename(name.data(), fileName.c_str()) != 0) {
        ok = false;
        err = errno;
    }
    if (!ok) {
        unlink(name.data());
        if (hold >= 0) close(hold);
        return std::strerror(err);
    }
    if (hold >= 0) close(hold);
    SweepDeadTemporaries(folder, base);
    // The rename itself reaches the disk with the folder.
    if (int dir = open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC); dir >= 0) {
        fsync(dir);
        close(dir);
    }
    return {};
}

}  // namespace platform
