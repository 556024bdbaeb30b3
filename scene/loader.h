// The scene script (INI text) and the loader that builds the object tree
// from it, and writes a tree back.
#pragma once

#include "core/vecmath.h"

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

class TMainObject;
class TMainScene;
class TResource;

// A parsed script: sections of lines in file order. Lines are trimmed;
// comments (";" first), empty lines and lines before the first section are
// dropped. Section names and keys match without regard to case; where a
// section or a key appears twice, the first one counts.
class TScript {
public:
    struct TLine {
        std::string Key;    // empty for a line without "="
        std::string Value;  // the whole line when it has no "="
        bool IsKey = false;
    };
    struct TSection {
        std::string Name;
        std::vector<TLine> Lines;
        std::unordered_map<std::string, size_t> Keys;  // upper-case key -> line
    };

    static TScript Parse(std::string_view text);

    // The value of the key, or null when the section or the key is absent.
    const std::string* Value(std::string_view section, std::string_view key) const;
    // Sets the key, adding the section and the key when they are absent.
    void SetValue(std::string_view section, std::string_view key, std::string_view value);
    // Drops the key's line, if present.
    void RemoveValue(std::string_view section, std::string_view key);
    bool HasSection(std::string_view section) const;

    // "[Section]" lines followed by their lines, CR LF line endings.
    std::string Text() const;

    const std::vector<TSection>& Sections() const { return FSections; }

private:
    TSection* Find(std::string_view section);
    const TSection* Find(std::string_view section) const;

    std::vector<TSection> FSections;
    std::unordered_map<std::string, size_t> FIndex;  // upper-case name -> section
};

// Reads or writes one script, section by section. Created for one load or
// save and freed right after it.
class TResourceLoader {
public:
    TResourceLoader() = default;
    // Closes; a write failure here is swallowed, so writers call Close().
    ~TResourceLoader();
    TResourceLoader(const TResourceLoader&) = delete;
    TResourceLoader& operator=(const TResourceLoader&) = delete;

    // Reads FileName from the archive (a missing entry is an empty script)
    // or from disk (a missing file raises EFOpenError). Without archive and
    // without a file name no script is opened.
    void Open();
    // Takes the script from text instead of a file.
    void OpenText(std::string_view text);
    // Starts an empty script that Close writes to FileName.
    void CreateForWriting();
    void Close();
    // Writes the script to FileName on disk (when there are both).
    void Flush();
    bool HasScript() const { return FScript != nullptr; }
    const TScript* Script() const { return FScript.get(); }

    // Reads from the current Section; see each for what a missing key gives.
    bool ReadBool(std::string_view key, bool defaultValue) const;
    int32_t ReadInteger(std::string_view key, int32_t defaultValue) const;
    float ReadFloat(std::string_view key, float defaultValue) const;
    // Missing: the default; present but empty: " ".
    std::string ReadString(std::string_view key, const std::string& defaultValue) const;
    // A component that is not a number raises EConvertError.
    TColor4f ReadColor(std::string_view key, const TColor4f& current) const;
    TByteColor ReadByteColor(std::string_view key, TByteColor current) const;
    TVector3f ReadVector(std::string_view key, const TVector3f& current) const;
    // A non-empty value is looked up in Scene (null when not found).
    TMainObject* ReadReference(std::string_view key, TMainObject* current) const;
    std::string ReadFileName(std::string_view key, const std::string& basePath,
                             const std::string& defaultValue) const;

    // An empty string is not written (an empty value would read back as
    // " "), so reading it gives the reader's default again.
    void WriteBool(std::string_view key, bool value);
    void WriteInteger(std::string_view key, int32_t value);
    void WriteFloat(std::string_view key, float value);
    void WriteString(std::string_view key, std::string_view value);
    void WriteColor(std::string_view key, const TColor4f& value);
    void WriteByteColor(std::string_view key, TByteColor value);
    void WriteVector(std::string_view key, const TVector3f& value);
    void WriteReference(std::string_view key, const TMainObject* object);
    void WriteFileName(std::string_view key, const std::string& basePath, const std::string& name);

    // Creates the object of the current Section by its "Type" and "Name".
    std::unique_ptr<TMainObject> CreateObject();
    // Creates, adds and loads the children of the resource: the sections
    // named resource.Name + 1 ... + Count. A child named like one the
    // resource already holds is freed unread.
    void LoadChildren(TResource& resource);
    void WriteHeader(const TMainObject& object);
    void SaveChildren(TResource& resource);

    std::string Section;
    std::string FileName;
    bool FromArchive = false;
    bool Modified = false;
    TMainScene* Scene = nullptr;

    // Lists nest at most this deep (sections and source files together),
    // and one load creates at most this many objects: a script whose lists
    // nest into themselves fails instead of recursing without end.
    static constexpr int MaxNesting = 64;
    static constexpr int MaxObjects = 20000;

private:
    const std::string* Value(std::string_view key) const;
    TScript& WritableScript();

    std::unique_ptr<TScript> FScript;
};

// Counts one level of list nesting for the duration of a load step; raises
// when the nesting passes TResourceLoader::MaxNesting. The outermost guard
// also starts a new object count.
class TLoadNestingGuard {
public:
    explicit TLoadNestingGuard(const std::string& where);
    ~TLoadNestingGuard();
    TLoadNestingGuard(const TLoadNestingGuard&) = delete;
    TLoadNestingGuard& operator=(const TLoadNestingGuard&) = delete;
};
