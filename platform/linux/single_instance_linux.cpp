#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <string>

#include "platform/single_instance.h"

namespace platform {
namespace {

class FileLock final : public IInstanceLock {
public:
    explicit FileLock(int fd) : Fd(fd) {}
    ~FileLock() override { close(Fd); }  // closing releases the flock
    FileLock(const FileLock&) = delete;
    FileLock& operator=(const FileLock&) = delete;

private:
    int Fd;
};

std::string LockFileName(std::string name) {
    for (char& c : name)
        if (c == '/' || c == '\0') c = '_';
    const char* runtime = std::getenv("XDG_RUNTIME_DIR");
    struct stat st {};
    if (runtime && runtime[0] == '/' && stat(runtime, &st) == 0 && S_ISDIR(st.st_mode))
        return std::string(runtime) + "/" + name + ".lock";
    // /tmp is shared by every user: the uid keeps their locks apart.
    return "/tmp/" + name + "-" + std::to_string(getuid()) + ".lock";
}

class LinuxSingleInstance final : public ISingleInstance {
public:
    InstanceLockResult TryLock(const std::string& name) override {
        InstanceLockResult result;
        std::string fileName = LockFileName(name);
        int fd = open(fileName.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
        if (fd < 0) return result;
        int rc;
        do {
            rc = flock(fd, LOCK_EX | LOCK_NB);
        } while (rc != 0 && errno == EINTR);
        if (rc != 0) {
            result.AlreadyHeld = errno == EWOULDBLOCK;
            close(fd);
            return result;
        }
        result.Lock = std::make_unique<FileLock>(fd);
        return result;
    }
};

}  // namespace

ISingleInstance& SystemSingleInstance() {
    static LinuxSingleInstance instance;
    return instance;
}

}  // namespace platform
