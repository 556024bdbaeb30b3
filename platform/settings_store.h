// Hierarchical store of named string values: the user's and the machine's
// settings. A key is addressed by a root and a path of names joined by "\"
// ("Software\Company\Title 1"); it holds string values by name. Names and
// values are arbitrary bytes.
#pragma once

#include <memory>
#include <optional>
#include <string>

namespace platform {

enum class SettingsRoot { Machine, User };

enum class SettingsAccess {
    ReadOnly,   // the key must exist
    ReadWrite,  // the key is created when missing
};

// An open key. Closing is destruction.
class ISettingsKey {
public:
    virtual ~ISettingsKey() = default;

    struct ReadResult {
        bool Failed = false;               // the value could not be read
        std::optional<std::string> Value;  // absent when there is no such value
    };
    virtual ReadResult Read(const std::string& name) = 0;
    // False when the value could not be stored.
    virtual bool Write(const std::string& name, const std::string& value) = 0;
};

class ISettingsStore {
public:
    virtual ~ISettingsStore() = default;
    // Null when the key cannot be opened (missing for ReadOnly; not creatable
    // or not writable for ReadWrite).
    virtual std::unique_ptr<ISettingsKey> Open(SettingsRoot root, const std::string& keyPath,
                                               SettingsAccess access) = 0;
};

// The store of this OS: INI files under the XDG configuration folders on
// Linux (see platform/linux/ini_settings_store.h).
ISettingsStore& SystemSettingsStore();

}  // namespace platform
