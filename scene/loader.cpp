#include "scene/loader.h"

#include "core/archive.h"
#include "core/errors.h"
#include "scene/objects.h"
#include "scene/registry.h"
#include "core/stream.h"
#include "core/strutil.h"

#include <cmath>

// --- TScript ------------------------------------------------------------------

TScript TScript::Parse(std::string_view text) {
    TScript script;
    TSection* current = nullptr;
    for (const std::string& raw : str::SplitLines(text)) {
        std::string_view line = str::Trim(raw);
        if (line.empty() || line.front() == ';') continue;
        if (line.size() >= 2 && line.front() == '[' && line.back() == ']') {
            std::string name(str::Trim(line.substr(1, line.size() - 2)));
            script.FSections.push_back(TSection{name, {}, {}});
            script.FIndex.emplace(str::UpperCase(name), script.FSections.size() - 1);
            current = &script.FSections.back();
            continue;
        }
        if (!current) continue;  // before the first section
        size_t eq = line.find('=');
        if (eq == std::string_view::npos) {
            current->Lines.push_back(TLine{"", std::string(line), false});
            continue;
        }
        std::string key(str::Trim(line.substr(0, eq)));
        current->Keys.emplace(str::UpperCase(key), current->Lines.size());
        current->Lines.push_back(TLine{std::move(key), std::string(str::Trim(line.substr(eq + 1))), true});
    }
    return script;
}

const TScript::TSection* TScript::Find(std::string_view section) const {
    auto it = FIndex.find(str::UpperCase(section));
    return it == FIndex.end() ? nullptr : &FSections[it->second];
}

TScript::TSection* TScript::Find(std::string_view section) {
    return const_cast<TSection*>(static_cast<const TScript*>(this)->Find(section));
}

bool TScript::HasSection(std::string_view section) const { return Find(section) != nullptr; }

const std::string* TScript::Value(std::string_view section, std::string_view key) const {
    const TSection* s = Find(section);
    if (!s) return nullptr;
    auto it = s->Keys.find(str::UpperCase(key));
    return it == s->Keys.end() ? nullptr : &s->Lines[it->second].Value;
}

void TScript::SetValue(std::string_view section, std::string_view key, std::string_view value) {
    TSection* s = Find(section);
    if (!s) {
        FSections.push_back(TSection{std::string(section), {}, {}});
        FIndex.emplace(str::UpperCase(section), FSections.size() - 1);
        s = &FSections.back();
    }
    std::string upper = str::UpperCase(key);
    auto it = s->Keys.find(upper);
    if (it != s->Keys.end()) {
        s->Lines[it->second].Value = std::string(value);
        return;
    }
    s->Keys.emplace(std::move(upper), s->Lines.size());
    s->Lines.push_back(TLine{std::string(key), std::string(value), true});
}

void TScript::RemoveValue(std::string_view section, std::string_view key) {
    TSection* s = Find(section);
    if (!s) return;
    auto it = s->Keys.find(str::UpperCase(key));
    if (it == s->Keys.end()) return;
    s->Lines.erase(s->Lines.begin() + static_cast<std::ptrdiff_t>(it->second));
    s->Keys.clear();
    for (size_t i = 0; i < s->Lines.size(); ++i)
        if (s->Lines[i].IsKey) s->Keys.emplace(str::UpperCase(s->Lines[i].Key), i);
}

std::string TScript::Text() const {
    std::string text;
    for (size_t i = 0; i < FSections.size(); ++i) {
        if (i > 0) text += "\r\n";
        text += "[" + FSections[i].Name + "]\r\n";
        for (const TLine& line : FSections[i].Lines) {
            if (line.IsKey)
                text += line.Key + "=" + line.Value + "\r\n";
            else
                text += line.Value + "\r\n";
        }
    }
    return text;
}

// --- nesting guard --------------------------------------------------------------

namespace {
struct TLoadCounters {
    int Depth = 0;
    int Objects = 0;
};
// Loading runs on one thread; each thread would count its own loads.
thread_local TLoadCounters loadCounters;
}  // namespace

TLoadNestingGuard::TLoadNestingGuard(const std::string& where) {
    if (loadCounters.Depth >= TResourceLoader::MaxNesting)
        throw Exception("TResourceLoader.LoadChildren error: Lists nested more than " +
                        std::to_string(TResourceLoader::MaxNesting) + " levels deep! for " + where);
    if (loadCounters.Depth == 0) loadCounters.Objects = 0;
    ++loadCounters.Depth;
}

TLoadNestingGuard::~TLoadNestingGuard() { --loadCounters.Depth; }

// --- TResourceLoader: opening and closing -----------------------------------------

TResourceLoader::~TResourceLoader() {
    try {
        Close();
    } catch (const std::exception&) {
        // Writers call Close themselves to see the error.
    }
}

void TResourceLoader::Open() {
    Close();
    if (FromArchive) {
        TResourceFileReader& reader = TheResourceReader();
        std::string text;
        if (reader.Open(FileName) && reader.Stream()) text = reader.Stream()->ReadRemaining();
        FScript = std::make_unique<TScript>(TScript::Parse(text));
        return;
    }
    if (FileName.empty()) return;
    FScript = std::make_unique<TScript>(TScript::Parse(ReadFileText(str::ToHostPath(FileName))));
}

void TResourceLoader::OpenText(std::string_view text) {
    Close();
    FScript = std::make_unique<TScript>(TScript::Parse(text));
}

void TResourceLoader::CreateForWriting() {
    Close();
    FScript = std::make_unique<TScript>();
    Modified = true;
}

void TResourceLoader::Close() {
    if (Modified) {
        Modified = false;
        Flush();
    }
    FScript.reset();
}

void TResourceLoader::Flush() {
    if (!FScript || FileName.empty()) return;
    std::string text = FScript->Text();
    SaveBytesToFile(str::ToHostPath(FileName), text);
}

TScript& TResourceLoader::WritableScript() {
    if (!FScript) FScript = std::make_unique<TScript>();
    return *FScript;
}

// --- reading ------------------------------------------------------------------

const std::string* TResourceLoader::Value(std::string_view key) const {
    return FScript ? FScript->Value(Section, key) : nullptr;
}

int32_t TResourceLoader::ReadInteger(std::string_view key, int32_t defaultValue) const {
    const std::string* value = Value(key);
    if (!value) return defaultValue;
    return str::ParseInt(*value).value_or(defaultValue);
}

bool TResourceLoader::ReadBool(std::string_view key, bool defaultValue) const {
    return ReadInteger(key, defaultValue ? 1 : 0) != 0;
}

float TResourceLoader::ReadFloat(std::string_view key, float defaultValue) const {
    const std::string* value = Value(key);
    if (!value) return defaultValue;
    auto parsed = str::ParseFloat(*value);
    if (!parsed) return defaultValue;
    float f = static_cast<float>(*parsed);
    return std::isfinite(f) ? f : defaultValue;  // beyond float range
}

std::string TResourceLoader::ReadString(std::string_view key, const std::string& defaultValue) const {
    const std::string* value = Value(key);
    if (!value) return defaultValue;
    return value->empty() ? std::string(" ") : *value;
}

TColor4f TResourceLoader::ReadColor(std::string_view key, const TColor4f& current) const {
    const std::string* value = Value(key);
    return value ? StrToColor(*value) : current;
}

TByteColor TResourceLoader::ReadByteColor(std::string_view key, TByteColor current) const {
    const std::string* value = Value(key);
    return value ? StrToByteColor(*value) : current;
}

TVector3f TResourceLoader::ReadVector(std::string_view key, const TVector3f& current) const {
    const std::string* value = Value(key);
    return value ? StrToVector(*value) : current;
}

TMainObject* TResourceLoader::ReadReference(std::string_view key, TMainObject* current) const {
    const std::string* value = Value(key);
    if (!value) return current;
    std::string path = ReadString(key, "");
    return Scene ? Scene->FindObject(path) : nullptr;
}

std::string TResourceLoader::ReadFileName(std::string_view key, const std::string& basePath,
                                          const std::string& defaultValue) const {
    std::string name = ReadString(key, defaultValue);
    return name.empty() ? name : str::CombinePath(basePath, name);
}

// --- writing ------------------------------------------------------------------

void TResourceLoader::WriteString(std::string_view key, std::string_view value) {
    if (value.empty())
        WritableScript().RemoveValue(Section, key);
    else
        WritableScript().SetValue(Section, key, value);
}

void TResourceLoader::WriteBool(std::string_view key, bool value) { WriteString(key, value ? "1" : "0"); }

void TResourceLoader::WriteInteger(std::string_view key, int32_t value) { WriteString(key, str::IntToStr(value)); }

void TResourceLoader::WriteFloat(std::string_view key, float value) { WriteString(key, str::FloatToStr(value)); }

void TResourceLoader::WriteColor(std::string_view key, const TColor4f& value) { WriteString(key, ColorToStr(value)); }

void TResourceLoader::WriteByteColor(std::string_view key, TByteColor value) {
    WriteString(key, ByteColorToStr(value));
}

void TResourceLoader::WriteVector(std::string_view key, const TVector3f& value) {
    WriteString(key, VectorToStr(value));
}

void TResourceLoader::WriteReference(std::string_view key, const TMainObject* object) {
    WriteString(key, RefferenceToStr(Scene, object));
}

void TResourceLoader::WriteFileName(std::string_view key, const std::string& basePath, const std::string& name) {
    if (str::ExtractFilePath(name) == basePath)
        WriteString(key, str::ExtractFileName(name));
    else
        WriteString(key, name);
}

// --- building the tree ----------------------------------------------------------

std::unique_ptr<TMainObject> TResourceLoader::CreateObject() {
    const std::string* typeValue = Value("Type");
    const std::string* nameValue = Value("Name");
    std::string type = typeValue ? *typeValue : std::string();
    std::string name = nameValue ? *nameValue : std::string();
    if (type.empty()) throw Exception("TResourceLoader.CreateObject error: Unknown Object Type! for " + Section);
    if (name.empty()) throw Exception("TResourceLoader.CreateObject error: Empty Object Name! for " + Section);

    std::unique_ptr<TMainObject> object = TheClassRegistry().Create(type);
    if (!object)
        throw Exception("TResourceLoader.CreateObject error: Object not created! for " + Section + " Type: " + type +
                        " Name: " + name);
    if (loadCounters.Depth > 0 && ++loadCounters.Objects > MaxObjects)
        throw Exception("TResourceLoader.CreateObject error: More than " + std::to_string(MaxObjects) +
                        " objects in one load! for " + Section);
    object->SetName(name);
    if (auto* sceneObject = dynamic_cast<TMainSceneObject*>(object.get()))
        sceneObject->ProcessOptions = StrToProcessOptions(ReadString("ProcessOptions", ""));
    return object;
}

void TResourceLoader::LoadChildren(TResource& resource) {
    if (!resource.ChildrenInScript) return;
    TLoadNestingGuard nesting(Section);
    resource.SetCapacity(ReadInteger("Capacity", resource.GetCapacity()));
    // Each child needs its own section, so a huge Count fails at the first
    // missing one; nothing is reserved by it.
    int32_t count = ReadInteger("Count", 0);
    for (int32_t i = 1; i > 0 && i <= count; ++i) {
        Section = resource.Name() + std::to_string(i);
        std::unique_ptr<TMainObject> created = CreateObject();
        // The list's name index ignores a name it already holds: the later
        // child (and any children of its own) is dropped, not shown twice.
        if (resource.FindObject(created->Name())) continue;
        TMainObject* object = resource.Add(std::move(created));
        object->ReadProperties(*this);
        auto* child = dynamic_cast<TResource*>(object);
        if (!child) continue;
        std::string source = ReadString("SourceName", "");
        if (!source.empty()) {
            child->SourceName = str::CombinePath(child->Path, source);
            child->LoadFromFile();
        } else {
            LoadChildren(*child);
        }
    }
}

void TResourceLoader::WriteHeader(const TMainObject& object) {
    WriteString("Type", object.ClassName());
    WriteString("Name", object.Name());
    if (auto* sceneObject = dynamic_cast<const TMainSceneObject*>(&object))
        if (sceneObject->ProcessOptions != 0) WriteString("ProcessOptions", ProcessOptionsToStr(sceneObject->ProcessOptions));
}

void TResourceLoader::SaveChildren(TResource& resource) {
    if (!resource.ChildrenInScript) return;
    // The scene's removed children leave holes; only the others are saved.
    std::vector<TMainObject*> children;
    for (int i = 0, n = resource.GetCount(); i < n; ++i)
        if (auto* object = dynamic_cast<TMainObject*>(resource.GetItem(i))) children.push_back(object);

    WriteInteger("Capacity", resource.GetCapacity());
    WriteInteger("Count", static_cast<int32_t>(children.size()));
    for (size_t i = 0; i < children.size(); ++i) {
        TMainObject* object = children[i];
        Section = resource.Name() + std::to_string(i + 1);
        WriteHeader(*object);
        // Properties go here even for a child with a file of its own: loading
        // reads them from this section before the child opens its file.
        object->WriteProperties(*this);
        auto* child = dynamic_cast<TResource*>(object);
        if (!child) continue;
        if (!child->SourceName.empty()) {
            WriteFileName("SourceName", child->Path, child->SourceName);
            child->SaveToFile();
        } else {
            SaveChildren(*child);
        }
    }
}
