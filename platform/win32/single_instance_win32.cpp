// A named semaphore (initial count 0, maximum 1): the name exists while some
// process holds a handle to it, and the system closes the handles of a
// process that ends, however it ends.
#include "platform/single_instance.h"

#include <windows.h>

#include "platform/win32/wide_text.h"

namespace platform {
namespace {

class SemaphoreLock final : public IInstanceLock {
public:
    explicit SemaphoreLock(HANDLE handle) : Handle(handle) {}
    ~SemaphoreLock() override { CloseHandle(Handle); }
    SemaphoreLock(const SemaphoreLock&) = delete;
    SemaphoreLock& operator=(const SemaphoreLock&) = delete;

private:
    HANDLE Handle;
};

class Win32SingleInstance final : public ISingleInstance {
public:
    InstanceLockResult TryLock(const std::string& name) override {
        InstanceLockResult result;
        // "\" separates the name space ("Local\") from the name.
        std::string objectName = name;
        for (char& c : objectName)
            if (c == '\\') c = '_';
        HANDLE handle = CreateSemaphoreW(nullptr, 0, 1, win32::Widen(objectName).c_str());
        const DWORD error = GetLastError();
        if (!handle) return result;
        if (error == ERROR_ALREADY_EXISTS) {
            CloseHandle(handle);
            result.AlreadyHeld = true;
            return result;
        }
        result.Lock = std::make_unique<SemaphoreLock>(handle);
        return result;
    }
};

}  // namespace

ISingleInstance& SystemSingleInstance() {
    static Win32SingleInstance instance;
    return instance;
}

}  // namespace platform
