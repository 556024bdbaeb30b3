// What the test programs share: the message of a raised error, a scratch
// folder per test, small text files, and guards that put process-wide state
// back when a test ends (environment variables, the resource reader, the
// class registry), so that the order tests run in never matters.
#pragma once

#include "core/archive.h"
#include "core/errors.h"
#include "scene/registry.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <optional>
#include <sstream>
#include <string>

// The message of the Exception f raises, or "" when it raises none.
template <class F>
std::string ErrorOf(F f) {
    try {
        f();
    } catch (const Exception& e) {
        return e.what();
    }
    return "";
}

// A scratch folder of one's own for each test. CTest runs tests in parallel,
// so two tests sharing a folder would remove each other's files.
inline std::filesystem::path ScratchDir(const std::string& tag) {
    const ::testing::TestInfo* info = ::testing::UnitTest::GetInstance()->current_test_info();
    std::string name = info ? std::string(info->test_suite_name()) + "." + info->name() : "global";
    std::filesystem::path dir = std::filesystem::path(MARIVELLE_BUILD_DIR) / "tests" / "scratch" / tag / name;
    std::filesystem::remove_all(dir);
    std::filesystem::create_directories(dir);
    return dir;
}

inline void WriteText(const std::filesystem::path& path, const std::string& text) {
    std::ofstream out(path, std::ios::binary);
    out << text;
}

inline std::string ReadText(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

// Sets (or, given null, removes) an environment variable for the guard's
// life time, then restores what was there.
class TScopedEnv {
public:
    TScopedEnv(const char* name, const char* value) : Name(name) {
        if (const char* old = std::getenv(name)) Saved = old;
        Set(value);
    }
    ~TScopedEnv() { Set(Saved ? Saved->c_str() : nullptr); }
    TScopedEnv(const TScopedEnv&) = delete;
    TScopedEnv& operator=(const TScopedEnv&) = delete;

    void Set(const char* value) {
#ifdef _WIN32
        // An empty value removes the variable.
        _putenv_s(Name.c_str(), value ? value : "");
#else
        if (value)
            setenv(Name.c_str(), value, 1);
        else
            unsetenv(Name.c_str());
#endif
    }

private:
    std::string Name;
    std::optional<std::string> Saved;
};

// Restores the process's resource reader: its mode, archive name and base
// path; the archive it loaded meanwhile is dropped.
class TResourceReaderGuard {
public:
    TResourceReaderGuard()
        : Mode(TheResourceReader().Mode),
          ArchiveName(TheResourceReader().ArchiveName),
          BasePath(TheResourceReader().BasePath()) {}
    ~TResourceReaderGuard() {
        TResourceFileReader& reader = TheResourceReader();
        reader.CloseArchive();
        reader.Mode = Mode;
        reader.ArchiveName = ArchiveName;
        reader.SetBasePath(BasePath);
    }
    TResourceReaderGuard(const TResourceReaderGuard&) = delete;
    TResourceReaderGuard& operator=(const TResourceReaderGuard&) = delete;

private:
    uint8_t Mode;
    std::string ArchiveName;
    std::string BasePath;
};

// Restores the process's class registry, dropping the classes a test
// registered or replaced.
class TClassRegistryGuard {
public:
    TClassRegistryGuard() : Saved(TheClassRegistry()) {}
    ~TClassRegistryGuard() { TheClassRegistry() = Saved; }
    TClassRegistryGuard(const TClassRegistryGuard&) = delete;
    TClassRegistryGuard& operator=(const TClassRegistryGuard&) = delete;

private:
    TClassRegistry Saved;
};
