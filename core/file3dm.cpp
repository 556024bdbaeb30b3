#include "core/file3dm.h"

#include "core/archive.h"
#include "core/errors.h"
#include "core/stream.h"
#include "core/strutil.h"

#include <algorithm>
#include <cfloat>
#include <cmath>

namespace {

constexpr size_t npos = std::string_view::npos;

// No real mesh has more frames; a larger Length is corrupt input and would
// only allocate.
constexpr int32_t MaxAnimationFrames = 100000;

[[noreturn]] void IndexError(int index) {
    throw Exception("List index out of bounds (" + str::IntToStr(index) + ")");
}

// Thrown when the lines run out: the normal end of every file.
struct TEndOfLines {};

// Lines of a whole text (CR LF, LF or CR endings) or of a list, read one at a
// time without copying.
class TLineSource {
public:
    explicit TLineSource(std::string_view text) : Text(text) {
        size_t pos = 0;
        while (pos < Text.size()) {
            NextEnd(pos);
            ++Total;
        }
    }
    explicit TLineSource(const std::vector<std::string>& lines) : List(&lines), Total(lines.size()) {}

    bool Next(std::string_view& line) {
        if (Index >= Total) return false;
        if (List) {
            line = (*List)[Index];
        } else {
            size_t start = Pos;
            size_t end = NextEnd(Pos);
            line = Text.substr(start, end - start);
        }
        ++Index;
        return true;
    }

    size_t Count() const { return Total; }

private:
    // Moves pos past the line starting there; returns where its text ends.
    size_t NextEnd(size_t& pos) const {
        size_t end = Text.find_first_of("\r\n", pos);
        if (end == npos) {
            pos = Text.size();
            return Text.size();
        }
        pos = end + 1;
        if (Text[end] == '\r' && pos < Text.size() && Text[pos] == '\n') ++pos;
        return end;
    }

    std::string_view Text;
    const std::vector<std::string>* List = nullptr;
    size_t Total = 0;
    size_t Index = 0;
    size_t Pos = 0;
};

struct TKeyLine {
    std::string_view Key;
    std::string_view Value;
};

// The key is the text before the first space; a line without one has an
// empty key, which matches nothing.
TKeyLine SplitKey(std::string_view line) {
    size_t p = line.find(' ');
    if (p == npos) return {{}, {}};
    return {line.substr(0, p), line.substr(p + 1)};
}

// The text strictly between positions a and b; empty when either is missing
// or they are adjacent.
std::string_view Between(std::string_view s, size_t a, size_t b) {
    if (a == npos || b == npos || a >= b) return {};
    return s.substr(a + 1, b - a - 1);
}

float ToSingle(std::string_view text) {
    double v = str::StrToFloat(text);
    // A value beyond single range is as malformed as a non-number.
    if (!(std::fabs(v) <= FLT_MAX)) throw EConvertError("'" + std::string(text) + "' is not a valid floating point value");
    return static_cast<float>(v);
}

// "[a,b,c]": the numbers lie between the first character, the first and
// second "," and the last character.
struct TTripleText {
    std::string_view A, B, C;
};

TTripleText SplitTriple(std::string_view s) {
    size_t c1 = s.find(',');
    size_t c2 = c1 == npos ? npos : s.find(',', c1 + 1);
    size_t last = s.empty() ? npos : s.size() - 1;
    return {Between(s, 0, c1), Between(s, c1, c2), Between(s, c2, last)};
}

T3DMPoint ParsePoint(std::string_view s) {
    TTripleText t = SplitTriple(s);
    return {ToSingle(t.A), ToSingle(t.B), ToSingle(t.C)};
}

T3DMFace ParseFace(std::string_view s) {
    TTripleText t = SplitTriple(s);
    return {str::StrToInt(t.A), str::StrToInt(t.B), str::StrToInt(t.C)};
}

// "[u,v,w]" or "[u,v]"; w is not used.
T3DMTexCoord ParseTexCoord(std::string_view s) {
    size_t c1 = s.find(',');
    size_t c2 = c1 == npos ? npos : s.find(',', c1 + 1);
    size_t last = s.empty() ? npos : s.size() - 1;
    std::string_view u = Between(s, 0, c1);
    std::string_view v = c2 == npos ? Between(s, c1, last) : Between(s, c1, c2);
    return {ToSingle(u), ToSingle(v)};
}

// "(color r g b)"
T3DMColor ParseColor(std::string_view s) {
    constexpr size_t prefix = 7;  // "(color "
    std::string_view rest = s.size() > prefix ? s.substr(prefix) : std::string_view();
    size_t s1 = rest.find(' ');
    size_t s2 = s1 == npos ? npos : rest.find(' ', s1 + 1);
    size_t last = rest.empty() ? npos : rest.size() - 1;
    std::string_view r = s1 == npos ? std::string_view() : rest.substr(0, s1);
    return {ToSingle(r), ToSingle(Between(rest, s1, s2)), ToSingle(Between(rest, s2, last))};
}

// "(matrix3 [a,b,c] [d,e,f] [g,h,i] [x,y,z])": a number starts after "[" or
// "," and ends at the next "," or "]"; "]" closes a row. Numbers beyond four
// rows of three are dropped, missing ones stay 0.
void ParseMatrix(std::string_view s, T3DMMatrix& m) {
    m = T3DMMatrix{};
    size_t row = 0, col = 0;
    size_t i = 0;
    while (i < s.size()) {
        char c = s[i];
        if (c == '[' || c == ',') {
            size_t end = s.find_first_of(",]", i + 1);
            if (end == npos) end = s.size();
            float v = ToSingle(s.substr(i + 1, end - i - 1));
            if (row < m.size() && col < m[row].size()) m[row][col] = v;
            ++col;
            i = end;
            continue;
        }
        if (c == ']') {
            ++row;
            col = 0;
        }
        ++i;
    }
}

bool ParseBool(std::string_view s) { return !s.empty() && (s[0] == 't' || s[0] == 'T'); }

std::string ParseMapName(std::string_view s) {
    if (str::SameText(s, "undefined")) return {};
    return std::string(s);
}

class T3DMReader {
public:
    T3DMReader(T3DMFile& file, TLineSource& source) : File(file), Source(source) {}

    void Run() {
        try {
            for (;;) ReadSection(FindHeader());
        } catch (const TEndOfLines&) {
            // Out of lines: everything read so far stays.
        }
    }

private:
    struct THeader {
        std::string_view Name;
        int32_t Count = 0;
    };

    // The next non-empty line, trimmed; a line of blanks reads as empty.
    std::string_view ReadLine() {
        std::string_view raw;
        do {
            if (!Source.Next(raw)) throw TEndOfLines{};
        } while (raw.empty());
        return str::Trim(raw);
    }

    // "#Name count"; lines before it that do not start with "#" are skipped.
    THeader FindHeader() {
        std::string_view line;
        do {
            line = ReadLine();
        } while (line.empty() || line[0] != '#');
        size_t p = line.find(' ');
        THeader h;
        // Without a space the count is the whole line, which is no number.
        h.Count = str::StrToInt(p == npos ? line : line.substr(p + 1));
        h.Name = line.substr(1, p == npos ? npos : p - 1);
        return h;
    }

    T3DMObject& Current(std::string_view section) {
        if (!Object) throw Exception("T3DMFile error: #" + std::string(section) + " section before any #Object");
        return *Object;
    }

    void ReadSection(const THeader& h) {
        const std::string_view n = h.Name;
        const int32_t count = std::max<int32_t>(h.Count, 0);
        if (n == "Header") {
            ReadHeader(count);
        } else if (n == "MaterialStandard") {
            auto* m = static_cast<T3DMMaterialStandard*>(File.Materials.Add(std::make_unique<T3DMMaterialStandard>()));
            ReadStandard(*m, count);
        } else if (n == "MaterialMultiSubObject") {
            ReadMultiSubObject(count);
        } else if (n == "Object") {
            ReadObject(count);
        } else if (n == "Transform") {
            ReadTransform(Current(n), count);
        } else if (n == "Vertices") {
            T3DMObject& o = Current(n);
            for (int32_t i = 0; i < count; ++i) o.Vertices.push_back(ParsePoint(ReadLine()));
        } else if (n == "Normals") {
            T3DMObject& o = Current(n);
            for (int32_t i = 0; i < count; ++i) {
                o.Normals.push_back(ParsePoint(ReadLine()));
                o.HasNormals = true;
            }
        } else if (n == "TextureCoords") {
            T3DMObject& o = Current(n);
            for (int32_t i = 0; i < count; ++i) {
                o.TexCoords.push_back(ParseTexCoord(ReadLine()));
                o.HasTexCoords = true;
            }
        } else if (n == "Colors") {
            T3DMObject& o = Current(n);
            for (int32_t i = 0; i < count; ++i) {
                o.Colors.push_back(ParseColor(ReadLine()));
                o.HasColors = true;
            }
        } else if (n == "VertexFaces") {
            ReadFaces(Current(n).VertexFaces, count);
        } else if (n == "TextureCoordFaces") {
            ReadFaces(Current(n).TexCoordFaces, count);
        } else if (n == "ColorFaces") {
            ReadFaces(Current(n).ColorFaces, count);
        } else if (n == "Material") {
            T3DMObject& o = Current(n);
            TKeyLine k = SplitKey(ReadLine());
            if (k.Key == "Name") o.MaterialName = std::string(k.Value);
        } else if (n == "FaceMatID") {
            T3DMObject& o = Current(n);
            for (int32_t i = 0; i < count; ++i) o.FaceMaterialIds.push_back(str::StrToInt(ReadLine()));
        } else if (n == "Animation") {
            ReadAnimation(Current(n), count);
        } else if (n == "AnimMesh") {
            ReadAnimMesh(Current(n));
        } else {
            for (int32_t i = 0; i < count; ++i) ReadLine();
        }
    }

    void ReadHeader(int32_t count) {
        for (int32_t i = 0; i < count; ++i) {
            TKeyLine k = SplitKey(ReadLine());
            if (k.Key == "Version") {
                File.Version = str::StrToInt(k.Value);
                return;
            }
        }
    }

    // The material is already in its list, so a file ending inside the
    // section keeps what was read.
    void ReadStandard(T3DMMaterialStandard& m, int32_t count) {
        for (int32_t i = 0; i < count; ++i) {
            TKeyLine k = SplitKey(ReadLine());
            const std::string_view key = k.Key;
            const std::string_view v = k.Value;
            if (v.empty()) continue;
            if (key == "Name") {
                m.SetName(std::string(v));
            } else if (key == "ShaderType") {
                // "1 Blinn": the number, then the shader's name.
                m.ShaderType = str::StrToInt(v.substr(0, v.find(' ')));
            } else if (key == "Faceted") {
                m.Faceted = ParseBool(v);
            } else if (key == "WireSize") {
                m.WireSize = str::StrToInt(v);
            } else if (key == "TwoSided") {
                m.TwoSided = ParseBool(v);
            } else if (key == "OpacityType") {
                m.OpacityType = str::StrToInt(v);
            } else if (key == "Opacity") {
                m.Opacity = ToSingle(v);
            } else if (key == "selfIllumColor") {
                m.SelfIllumColor = ParseColor(v);
            } else if (key == "Ambient") {
                m.Ambient = ParseColor(v);
            } else if (key == "Diffuse") {
                m.Diffuse = ParseColor(v);
            } else if (key == "Specular") {
                m.Specular = ParseColor(v);
            } else if (key == "SpecularLevel") {
                m.SpecularLevel = ToSingle(v);
            } else if (key == "Glossiness") {
                m.Glossiness = ToSingle(v);
            } else if (key == "DiffuseMap") {
                m.DiffuseMap = ParseMapName(v);
            } else if (key == "OpacityMap") {
                m.OpacityMap = ParseMapName(v);
            } else if (key == "BumpMap") {
                m.BumpMap = ParseMapName(v);
            } else if (key == "ReflectionMap") {
                m.ReflectionMap = ParseMapName(v);
            }
        }
    }

    void ReadMultiSubObject(int32_t count) {
        auto* multi = static_cast<T3DMMaterialMultiSubObject*>(
            File.Materials.Add(std::make_unique<T3DMMaterialMultiSubObject>()));
        int32_t subs = 0;
        for (int32_t i = 0; i < count; ++i) {
            TKeyLine k = SplitKey(ReadLine());
            if (k.Key == "Name") {
                multi->SetName(std::string(k.Value));
            } else if (k.Key == "NumSubs") {
                subs = str::StrToInt(k.Value);
            }
        }
        for (int32_t i = 0; i < subs; ++i) {
            THeader h = FindHeader();
            if (h.Name != "MaterialStandard") throw Exception("T3DMFile error: SubMaterial is not Standard");
            auto* sub = static_cast<T3DMMaterialStandard*>(
                multi->SubMaterials.Add(std::make_unique<T3DMMaterialStandard>()));
            ReadStandard(*sub, std::max<int32_t>(h.Count, 0));
        }
    }

    void ReadObject(int32_t count) {
        File.Objects.push_back(std::make_unique<T3DMObject>());
        Object = File.Objects.back().get();
        for (int32_t i = 0; i < count; ++i) {
            TKeyLine k = SplitKey(ReadLine());
            if (k.Key == "Name") {
                Object->Name = std::string(k.Value);
                return;
            }
        }
    }

    // Only "(matrix3 ...)" lines count (even behind other text); "Position",
    // "Rotation" and "Scale" repeat what the matrix holds.
    void ReadTransform(T3DMObject& o, int32_t count) {
        o.HasTransform = true;
        for (int32_t i = 0; i < count; ++i) {
            std::string_view line = ReadLine();
            if (line.find("(matrix3") != npos) ParseMatrix(line, o.Matrix);
        }
    }

    void ReadFaces(std::vector<T3DMFace>& faces, int32_t count) {
        for (int32_t i = 0; i < count; ++i) faces.push_back(ParseFace(ReadLine()));
    }

    void ReadAnimation(T3DMObject& o, int32_t count) {
        for (int32_t i = 0; i < count; ++i) {
            TKeyLine k = SplitKey(ReadLine());
            if (k.Key == "Length") {
                int32_t length = str::StrToInt(k.Value);
                // Every frame of every object needs its own "Frame" line, so
                // the file cannot hold more frames than it has lines. This
                // keeps many objects with long animations from allocating
                // far more than the file's size.
                size_t others = FramesInFile - static_cast<size_t>(o.Frames.Count());
                if (length < 0 || length > MaxAnimationFrames || others + static_cast<size_t>(length) > Source.Count())
                    throw Exception("T3DMFile.ReadAnimation error: Length " + str::IntToStr(length) + " is out of range");
                o.Frames.SetCount(length);
                FramesInFile = others + static_cast<size_t>(length);
            } else if (k.Key == "Loop") {
                o.Frames.Loop = str::LowerCase(k.Value) == "true";
            }
        }
    }

    // The header's count is not used: every frame is a "Frame n" line and one
    // triple per vertex of the object.
    void ReadAnimMesh(T3DMObject& o) {
        const size_t vertices = o.Vertices.size();
        for (int f = 0; f < o.Frames.Count(); ++f) {
            if (SplitKey(ReadLine()).Key != "Frame")
                throw Exception("T3DMFile.ReadAnimMesh error: It is not vertex frame animation!");
            T3DMVertexFrameList::TFrame& frame = o.Frames.Frame(f);
            frame.clear();
            for (size_t v = 0; v < vertices; ++v) frame.push_back(ParsePoint(ReadLine()));
        }
    }

    T3DMFile& File;
    TLineSource& Source;
    T3DMObject* Object = nullptr;
    size_t FramesInFile = 0;  // over all objects
};

}  // namespace

// ---------------------------------------------------------------------------

void T3DMVertexFrameList::SetCount(int n) { Items.resize(static_cast<size_t>(std::max(n, 0))); }

T3DMVertexFrameList::TFrame& T3DMVertexFrameList::Frame(int index) {
    if (index < 0 || index >= Count()) IndexError(index);
    return Items[static_cast<size_t>(index)];
}

const T3DMVertexFrameList::TFrame& T3DMVertexFrameList::Frame(int index) const {
    if (index < 0 || index >= Count()) IndexError(index);
    return Items[static_cast<size_t>(index)];
}

// ---------------------------------------------------------------------------

T3DMMaterial::~T3DMMaterial() {
    // Freed behind its list's back: the list must forget it.
    if (FOwner) FOwner->Detach(this);
}

void T3DMMaterial::SetName(const std::string& name) {
    if (FOwner) FOwner->IndexRemove(this);
    FName = name;
    if (FOwner) FOwner->IndexInsert(this);
}

T3DMMaterialList::~T3DMMaterialList() { Clear(); }

T3DMMaterial* T3DMMaterialList::Add(std::unique_ptr<T3DMMaterial> material) {
    if (!material) throw Exception("T3DMMaterialList error: Add a NIL Material");
    T3DMMaterial* m = material.get();
    Items.push_back(std::move(material));
    m->FOwner = this;
    IndexInsert(m);
    return m;
}

bool T3DMMaterialList::TNameLess::operator()(std::string_view a, std::string_view b) const {
    return str::CompareText(a, b) < 0;
}

T3DMMaterial* T3DMMaterialList::FindMaterial(std::string_view name) const {
    // lower_bound, not find: of equal names, the first keyed.
    auto it = Index.lower_bound(name);
    if (it == Index.end() || str::CompareText(it->first, name) != 0) return nullptr;
    return it->second;
}

T3DMMaterial* T3DMMaterialList::GetMaterial(int index) const {
    if (index < 0 || index >= Count()) IndexError(index);
    return Items[static_cast<size_t>(index)].get();
}

std::unique_ptr<T3DMMaterial> T3DMMaterialList::Extract(T3DMMaterial* material) {
    auto it = std::find_if(Items.begin(), Items.end(), [&](const auto& p) { return p.get() == material; });
    if (it == Items.end()) return nullptr;
    IndexRemove(material);
    std::unique_ptr<T3DMMaterial> owned = std::move(*it);
    Items.erase(it);
    owned->FOwner = nullptr;
    return owned;
}

void T3DMMaterialList::Delete(T3DMMaterial* material) { Extract(material); }

void T3DMMaterialList::Clear() {
    for (auto& m : Items) m->FOwner = nullptr;
    Index.clear();
    // Last first, as the list frees its children.
    while (!Items.empty()) Items.pop_back();
}

void T3DMMaterialList::IndexInsert(T3DMMaterial* material) {
    // A multimap adds after equal keys, so the first one keyed stays found.
    Index.emplace(material->Name(), material);
}

void T3DMMaterialList::IndexRemove(T3DMMaterial* material) {
    auto [first, last] = Index.equal_range(material->Name());
    // The material being named is usually the newest of its name: look from the back.
    for (auto it = last; it != first;) {
        --it;
        if (it->second == material) {
            Index.erase(it);
            return;
        }
    }
}

void T3DMMaterialList::Detach(T3DMMaterial* material) {
    IndexRemove(material);
    auto it = std::find_if(Items.begin(), Items.end(), [&](const auto& p) { return p.get() == material; });
    if (it != Items.end()) {
        (void)it->release();  // already being destroyed
        Items.erase(it);
    }
    material->FOwner = nullptr;
}

// ---------------------------------------------------------------------------

void T3DMFile::Clear() {
    Objects.clear();
    Materials.Clear();
    Version = 0;
}

T3DMObject& T3DMFile::GetObject(int index) const {
    if (index < 0 || index >= ObjectCount()) IndexError(index);
    return *Objects[static_cast<size_t>(index)];
}

void T3DMFile::LoadFromFile(const std::string& name) {
    Clear();
    std::string text;
    if (FromArchive) {
        TResourceFileReader& reader = TheResourceReader();
        if (!reader.Open(name) || !reader.Stream()) return;
        text = reader.Stream()->ReadRemaining();
    } else {
        text = ReadFileText(str::ToHostPath(name));
    }
    TLineSource source(text);
    T3DMReader(*this, source).Run();
}

void T3DMFile::LoadFromText(std::string_view text) {
    Clear();
    TLineSource source(text);
    T3DMReader(*this, source).Run();
}

void T3DMFile::LoadFromLines(const std::vector<std::string>& lines) {
    Clear();
    TLineSource source(lines);
    T3DMReader(*this, source).Run();
}
