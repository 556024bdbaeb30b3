#pragma once
// A file system of its own for tests of writers: a 64 KiB tmpfs mounted on a
// scratch folder, which can be filled up or made read-only. Mounting needs
// root (or CAP_SYS_ADMIN); where it is refused, Mounted() is false and the
// test skips with the reason.
#include <gtest/gtest.h>

#include <sys/mount.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>

class SmallFileSystem {
public:
    explicit SmallFileSystem(const std::filesystem::path& folder) : Folder(folder) {
        std::filesystem::create_directories(folder);
        if (mount("tmpfs", folder.c_str(), "tmpfs", MS_NOSUID | MS_NODEV, "size=64k,mode=0755") == 0)
            IsMounted = true;
        else
            Reason = std::string("cannot mount a tmpfs: ") + std::strerror(errno);
    }
    ~SmallFileSystem() {
        if (IsMounted) umount2(Folder.c_str(), MNT_DETACH);
    }
    SmallFileSystem(const SmallFileSystem&) = delete;
    SmallFileSystem& operator=(const SmallFileSystem&) = delete;

    bool Mounted() const { return IsMounted; }
    const std::string& SkipReason() const { return Reason; }

    // Takes every free block with a filler file; false when it could not.
    bool Fill() {
        std::ofstream filler(Folder / "filler", std::ios::binary);
        std::string block(4096, 'f');
        while (filler.write(block.data(), static_cast<std::streamsize>(block.size())) && filler.flush()) {
        }
        filler.clear();
        filler.close();
        // Single bytes into the last partial block, until nothing fits.
        std::ofstream tail(Folder / "filler", std::ios::binary | std::ios::app);
        while (tail.put('f') && tail.flush()) {
        }
        return std::filesystem::file_size(Folder / "filler") > 0;
    }

    // Writes stay refused for root too, which a folder's mode bits would not do.
    bool MakeReadOnly() {
        return mount("tmpfs", Folder.c_str(), "tmpfs", MS_REMOUNT | MS_RDONLY | MS_NOSUID | MS_NODEV, nullptr) == 0;
    }

private:
    std::filesystem::path Folder;
    bool IsMounted = false;
    std::string Reason;
};
