// The settings store in the registry: a key path "Software\Company\Title 1"
// under HKEY_LOCAL_MACHINE or HKEY_CURRENT_USER, every value a REG_SZ
// string. Names and values are byte strings inside the program; at the edge
// they become UTF-16 (see wide_text.h), so complemented names round-trip.
// A value name cannot hold a NUL (the system ends names there): such a
// write fails.
#include "platform/settings_store.h"

#include <windows.h>

#include <vector>

#include "platform/win32/wide_text.h"

namespace platform {
namespace {

class RegistryKey final : public ISettingsKey {
public:
    explicit RegistryKey(HKEY key) : Key(key) {}
    ~RegistryKey() override { RegCloseKey(Key); }
    RegistryKey(const RegistryKey&) = delete;
    RegistryKey& operator=(const RegistryKey&) = delete;

    ReadResult Read(const std::string& name) override {
        ReadResult result;
        const std::wstring wideName = win32::Widen(name);
        std::vector<wchar_t> buffer(64);
        for (;;) {
            DWORD type = 0;
            DWORD bytes = static_cast<DWORD>(buffer.size() * sizeof(wchar_t));
            const LONG rc = RegQueryValueExW(Key, wideName.c_str(), nullptr, &type,
                                             reinterpret_cast<BYTE*>(buffer.data()), &bytes);
            if (rc == ERROR_FILE_NOT_FOUND) return result;
            // Grown since the size was asked for: ask again.
            if (rc == ERROR_MORE_DATA) {
                buffer.resize(bytes / sizeof(wchar_t) + 2);
                continue;
            }
            if (rc != ERROR_SUCCESS || (type != REG_SZ && type != REG_EXPAND_SZ)) {
                result.Failed = true;
                return result;
            }
            // Written with one terminator, which is not part of the text;
            // a NUL before it is (values are byte strings).
            std::wstring_view text(buffer.data(), bytes / sizeof(wchar_t));
            if (!text.empty() && text.back() == L'\0') text.remove_suffix(1);
            result.Value = win32::Narrow(text);
            return result;
        }
    }

    bool Write(const std::string& name, const std::string& value) override {
        if (name.find('\0') != std::string::npos) return false;
        const std::wstring wideValue = win32::Widen(value);
        const auto bytes = static_cast<DWORD>((wideValue.size() + 1) * sizeof(wchar_t));
        return RegSetValueExW(Key, win32::Widen(name).c_str(), 0, REG_SZ,
                              reinterpret_cast<const BYTE*>(wideValue.c_str()), bytes) == ERROR_SUCCESS;
    }

private:
    HKEY Key;
};

class RegistrySettingsStore final : public ISettingsStore {
public:
    std::unique_ptr<ISettingsKey> Open(SettingsRoot root, const std::string& keyPath, SettingsAccess access) override {
        HKEY base = root == SettingsRoot::Machine ? HKEY_LOCAL_MACHINE : HKEY_CURRENT_USER;
        const std::wstring path = win32::Widen(keyPath);
        HKEY key = nullptr;
        LONG rc;
        if (access == SettingsAccess::ReadOnly)
            rc = RegOpenKeyExW(base, path.c_str(), 0, KEY_READ, &key);
        else
            rc = RegCreateKeyExW(base, path.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE, KEY_READ | KEY_WRITE, nullptr,
                                 &key, nullptr);
        if (rc != ERROR_SUCCESS) return nullptr;
        return std::make_unique<RegistryKey>(key);
    }
};

}  // namespace

ISettingsStore& SystemSettingsStore() {
    static RegistrySettingsStore store;
    return store;
}

}  // namespace platform
