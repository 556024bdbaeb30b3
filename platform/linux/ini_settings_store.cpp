#include "platform/linux/ini_settings_store.h"

#include "platform/file_replace.h"

#include <fcntl.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <vector>

namespace platform {
namespace {

constexpr char HexDigits[] = "0123456789ABCDEF";

bool IsBlank(char c) { return c == ' ' || c == '\t'; }

std::string Escape(std::string_view s, bool isName) {
    std::string out;
    out.reserve(s.size());
    for (size_t i = 0; i < s.size(); ++i) {
        auto b = static_cast<unsigned char>(s[i]);
        bool edge = i == 0 || i + 1 == s.size();
        bool escape = b < 0x20 || b >= 0x7F || b == '\\' || (edge && b == ' ') ||
                      (isName && (b == '=' || b == '#' || b == ';' || b == '['));
        if (escape) {
            out += "\\x";
            out += HexDigits[b >> 4];
            out += HexDigits[b & 15];
        } else {
            out += static_cast<char>(b);
        }
    }
    return out;
}

int HexValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    return -1;
}

std::optional<std::string> Unescape(std::string_view s) {
    std::string out;
    out.reserve(s.size());
    for (size_t i = 0; i < s.size(); ++i) {
        if (s[i] != '\\') {
            out += s[i];
            continue;
        }
        if (i + 3 >= s.size()) return std::nullopt;
        if (s[i + 1] != 'x') return std::nullopt;
        int hi = HexValue(s[i + 2]), lo = HexValue(s[i + 3]);
        if (hi < 0 || lo < 0) return std::nullopt;
        out += static_cast<char>(hi * 16 + lo);
        i += 3;
    }
    return out;
}

std::string_view TrimBlanks(std::string_view s) {
    while (!s.empty() && IsBlank(s.front())) s.remove_prefix(1);
    while (!s.empty() && (IsBlank(s.back()) || s.back() == '\r')) s.remove_suffix(1);
    return s;
}

bool IsDirectory(const std::string& path) {
    struct stat st {};
    return stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

// mkdir -p; false when a folder cannot be made.
bool MakeFolders(const std::string& folder, mode_t mode) {
    if (folder.empty() || IsDirectory(folder)) return !folder.empty();
    for (size_t pos = 1; pos <= folder.size(); ++pos) {
        if (pos < folder.size() && folder[pos] != '/') continue;
        std::string part = folder.substr(0, pos);
        if (mkdir(part.c_str(), mode) != 0 && errno != EEXIST) return false;
    }
    return IsDirectory(folder);
}

// Regular file contents, or nothing when it does not exist or is no
// regular file. Unreadable and oversized files read as empty text.
std::optional<std::string> ReadFile(const std::string& fileName) {
    int fd = open(fileName.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        if (errno == ENOENT || errno == ENOTDIR) return std::nullopt;
        return std::string();
    }
    struct stat st {};
    if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        close(fd);
        return std::nullopt;
    }
    std::string text;
    if (st.st_size > 0) {
        // Past the limit, one byte more than it is enough to refuse the file;
        // below it, one byte more than the file had tells that it grew.
        const bool oversize = static_cast<uint64_t>(st.st_size) > MaxSettingsFileSize;
        const size_t size = oversize ? MaxSettingsFileSize + 1 : static_cast<size_t>(st.st_size);
        std::vector<char> buffer(oversize ? size : size + 1);
        size_t got = 0;
        while (got < buffer.size()) {
            ssize_t n = read(fd, buffer.data() + got, buffer.size() - got);
            if (n < 0 && errno == EINTR) continue;
            if (n <= 0) break;
            got += static_cast<size_t>(n);
        }
        // Grown while we read: wait for the writer's rename next time.
        if (oversize || got <= size) text.assign(buffer.data(), got);
    }
    close(fd);
    return text;
}

class IniSettingsKey final : public ISettingsKey {
public:
    IniSettingsKey(std::string fileName, bool writable, mode_t mode, SettingsValues values)
        : FileName(std::move(fileName)), Writable(writable), Mode(mode), Values(std::move(values)) {}

    ReadResult Read(const std::string& name) override {
        ReadResult result;
        auto it = Values.find(name);
        if (it != Values.end()) result.Value = it->second;
        return result;
    }

    bool Write(const std::string& name, const std::string& value) override {
        if (!Writable) return false;
        // Start from the file as it is now, so values another process wrote
        // since we opened are kept.
        SettingsValues current;
        if (auto text = ReadFile(FileName)) current = ParseSettingsText(*text);
        current[name] = value;
        if (!ReplaceFile(FileName, FormatSettingsText(current), static_cast<int>(Mode)).empty()) return false;
        Values = std::move(current);
        return true;
    }

private:
    std::string FileName;
    bool Writable;
    mode_t Mode;
    SettingsValues Values;
};

std::string HomeFolder() {
    if (const char* home = std::getenv("HOME"); home && home[0] == '/') return home;
    if (const passwd* pw = getpwuid(getuid()); pw && pw->pw_dir && pw->pw_dir[0] == '/') return pw->pw_dir;
    return {};
}

}  // namespace

SettingsValues ParseSettingsText(std::string_view text, std::string* damage) {
    SettingsValues values;
    if (text.size() > MaxSettingsFileSize || text.find('\0') != std::string_view::npos) {
        if (damage)
            *damage = text.size() > MaxSettingsFileSize ? "is larger than " + std::to_string(MaxSettingsFileSize) + " bytes"
                                                        : "holds NUL bytes";
        return values;
    }
    size_t lineNumber = 0, skipped = 0, firstSkipped = 0;
    while (!text.empty()) {
        size_t end = text.find('\n');
        std::string_view line = TrimBlanks(text.substr(0, end));
        text = end == std::string_view::npos ? std::string_view() : text.substr(end + 1);
        ++lineNumber;
        if (line.empty() || line[0] == '#' || line[0] == ';' || line[0] == '[') continue;
        size_t eq = line.find('=');
        auto name = eq == std::string_view::npos ? std::nullopt : Unescape(TrimBlanks(line.substr(0, eq)));
        auto value = eq == std::string_view::npos ? std::nullopt : Unescape(TrimBlanks(line.substr(eq + 1)));
        if (!name || !value) {
            if (skipped++ == 0) firstSkipped = lineNumber;
            continue;
        }
        values[*name] = std::move(*value);
    }
    if (damage && skipped)
        *damage = std::to_string(skipped) + (skipped == 1 ? " line" : " lines") + " cannot be read, the first is line " +
                  std::to_string(firstSkipped);
    return values;
}

std::string FormatSettingsText(const SettingsValues& values) {
    std::string text = "# Settings: name=value, special bytes as \\xHH\n";
    for (const auto& [name, value] : values) {
        text += Escape(name, true);
        text += '=';
        text += Escape(value, false);
        text += '\n';
    }
    return text;
}

IniSettingsStore::IniSettingsStore(std::string userRoot, std::string machineRoot)
    : UserRoot(std::move(userRoot)), MachineRoot(std::move(machineRoot)) {}

std::string IniSettingsStore::RootFolder(SettingsRoot root) const {
    if (root == SettingsRoot::Machine) {
        if (!MachineRoot.empty()) return MachineRoot;
        // The first folder of $XDG_CONFIG_DIRS is the most important one;
        // relative entries are to be ignored.
        if (const char* dirs = std::getenv("XDG_CONFIG_DIRS"); dirs && dirs[0] == '/') {
            return std::string(dirs, std::strcspn(dirs, ":"));
        }
        return "/etc/xdg";
    }
    if (!UserRoot.empty()) return UserRoot;
    // Relative values are to be ignored.
    if (const char* config = std::getenv("XDG_CONFIG_HOME"); config && config[0] == '/') return config;
    std::string home = HomeFolder();
    return home.empty() ? std::string() : home + "/.config";
}

std::string IniSettingsStore::FileName(SettingsRoot root, const std::string& keyPath) const {
    std::vector<std::string> names;
    size_t start = 0;
    while (start <= keyPath.size()) {
        size_t end = keyPath.find('\\', start);
        if (end == std::string::npos) end = keyPath.size();
        std::string name = keyPath.substr(start, end - start);
        start = end + 1;
        if (name.empty()) continue;
        if (names.empty() && name.size() == 8) {
            std::string lower;
            for (char c : name) lower += static_cast<char>(c >= 'A' && c <= 'Z' ? c + 32 : c);
            if (lower == "software") continue;
        }
        // A key name is one file or folder name, never a way out of the root.
        for (char& c : name)
            if (c == '/' || c == '\0') c = '_';
        if (name == "." || name == "..") name = "_";
        names.push_back(std::move(name));
    }
    std::string folder = RootFolder(root);
    if (names.empty() || folder.empty()) return {};
    std::string path = folder;
    for (const auto& name : names) path += "/" + name;
    return path + ".conf";
}

std::unique_ptr<ISettingsKey> IniSettingsStore::Open(SettingsRoot root, const std::string& keyPath,
                                                     SettingsAccess how) {
    std::string fileName = FileName(root, keyPath);
    if (fileName.empty()) return nullptr;
    std::string folder = fileName.substr(0, fileName.rfind('/'));
    bool writable = how == SettingsAccess::ReadWrite;
    mode_t fileMode = root == SettingsRoot::User ? 0600 : 0644;
    std::optional<std::string> text;
    if (writable) {
        if (!MakeFolders(folder, root == SettingsRoot::User ? 0700 : 0755)) return nullptr;
        if (::access(folder.c_str(), W_OK) != 0) return nullptr;
        if (::access(fileName.c_str(), F_OK) == 0 && ::access(fileName.c_str(), W_OK) != 0) return nullptr;
        text = ReadFile(fileName);
    } else {
        text = ReadFile(fileName);
        if (!text) return nullptr;
    }
    std::string damage;
    SettingsValues values = text ? ParseSettingsText(*text, &damage) : SettingsValues();
    // A damaged file still starts the program, with defaults for what was
    // lost; one line (the framework opens keys often) says why settings
    // seem forgotten.
    if (!damage.empty() && Reported.insert(fileName).second)
        std::fprintf(stderr, "Settings file \"%s\" %s; those values are back at their defaults\n", fileName.c_str(),
                     damage.c_str());
    return std::make_unique<IniSettingsKey>(std::move(fileName), writable, fileMode, std::move(values));
}

ISettingsStore& SystemSettingsStore() {
    static IniSettingsStore store;
    return store;
}

}  // namespace platform
