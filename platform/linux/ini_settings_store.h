// The settings store as INI files in the XDG configuration folders. A key
// path "Software\Company\Title 1" is the file "<root>/Company/Title 1.conf"
// (the leading "Software" is dropped; the last name is the file, the others
// folders). The user root is $XDG_CONFIG_HOME (default ~/.config), the
// machine root the first folder of $XDG_CONFIG_DIRS (default /etc/xdg),
// which users cannot write.
//
// Each value is one line "name=value". Bytes that would break the line
// structure (controls, DEL, bytes above 0x7F, "\", and in names also "=",
// "#", ";", "[" and blanks at either end; in values blanks at either end)
// are written as \xHH, so any name and value survive the round trip.
// Blank lines, lines starting with "#" or ";", section headers and lines
// that do not parse are skipped; a file with NUL bytes or above the size
// limit reads as empty. Opening a damaged file writes one line about it to
// standard error.
#pragma once

#include <cstddef>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <string_view>

#include "platform/settings_store.h"

namespace platform {

using SettingsValues = std::map<std::string, std::string>;

inline constexpr size_t MaxSettingsFileSize = 1 << 20;

// When damage is given, it receives what was wrong with the text (empty
// when nothing was): its size, NUL bytes, or lines that could not be read.
SettingsValues ParseSettingsText(std::string_view text, std::string* damage = nullptr);
std::string FormatSettingsText(const SettingsValues& values);

class IniSettingsStore final : public ISettingsStore {
public:
    // Empty roots are taken from the environment on every Open.
    explicit IniSettingsStore(std::string userRoot = {}, std::string machineRoot = {});

    std::unique_ptr<ISettingsKey> Open(SettingsRoot root, const std::string& keyPath,
                                       SettingsAccess how) override;

    // The file a key is kept in; empty when the path names no file.
    std::string FileName(SettingsRoot root, const std::string& keyPath) const;

private:
    std::string RootFolder(SettingsRoot root) const;

    std::string UserRoot;
    std::string MachineRoot;
    std::set<std::string> Reported;  // damaged files already named on stderr
};

}  // namespace platform
