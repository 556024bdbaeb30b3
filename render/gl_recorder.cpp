#include "render/gl_recorder.h"

#include <cstring>
#include <sstream>
#include <type_traits>

TGLRecorder* TGLRecorder::Current = nullptr;

namespace {

template <class T>
double ArgValue(T v) {
    if constexpr (std::is_pointer_v<T>)
        return v ? 1.0 : 0.0;
    else
        return static_cast<double>(v);
}

template <class... A>
void Record(const char* name, A... args) {
    if (!TGLRecorder::Current) return;
    TGLRecorder::Current->Calls.push_back(TGLCall{name, {ArgValue(args)...}});
}

template <class R>
R DefaultResult() {
    if constexpr (!std::is_void_v<R>) return R{};
}

#define MGL_RECORD(ret, name, params, args)        \
    ret MGL_APIENTRY Rec_##name params {           \
        Record("gl" #name MGL_EXPAND_ARGS args);   \
        return DefaultResult<ret>();               \
    }
#define MGL_EXPAND_ARGS(...) __VA_OPT__(, ) __VA_ARGS__
MGL_ALL_FUNCTIONS(MGL_RECORD)
#undef MGL_RECORD

void MGL_APIENTRY Answer_GenTextures(GLsizei n, GLuint* textures) {
    Record("glGenTextures", n, textures);
    for (GLsizei i = 0; i < n; ++i) textures[i] = TGLRecorder::Current ? TGLRecorder::Current->NextTexture++ : 0;
}

GLuint MGL_APIENTRY Answer_GenLists(GLsizei range) {
    Record("glGenLists", range);
    if (!TGLRecorder::Current || range <= 0) return 0;
    GLuint first = TGLRecorder::Current->NextList;
    TGLRecorder::Current->NextList += static_cast<GLuint>(range);
    return first;
}

const GLubyte* MGL_APIENTRY Answer_GetString(GLenum name) {
    Record("glGetString", name);
    if (!TGLRecorder::Current) return nullptr;
    auto it = TGLRecorder::Current->Strings.find(name);
    if (it == TGLRecorder::Current->Strings.end()) return nullptr;
    return reinterpret_cast<const GLubyte*>(it->second.c_str());
}

void MGL_APIENTRY Answer_GetIntegerv(GLenum pname, GLint* params) {
    Record("glGetIntegerv", pname, params);
    if (!TGLRecorder::Current || !params) return;
    auto it = TGLRecorder::Current->Integers.find(pname);
    if (it != TGLRecorder::Current->Integers.end()) *params = it->second;
}

}  // namespace

TGLRecorder::TGLRecorder() : Saved(gl), SavedCaps(glCaps) {
    Current = this;
    glCaps = TGLCapabilities{};  // a context that has told nothing yet
    Install();
}

TGLRecorder::~TGLRecorder() {
    gl = Saved;
    glCaps = SavedCaps;
    if (Current == this) Current = nullptr;
}

void TGLRecorder::Install() {
#define MGL_SET(ret, name, params, args) gl.name = &Rec_##name;
    MGL_CORE_FUNCTIONS(MGL_SET)
    if (Extensions) {
        MGL_EXTENSION_FUNCTIONS(MGL_SET)
    } else {
#undef MGL_SET
#define MGL_SET(ret, name, params, args) gl.name = nullptr;
        MGL_EXTENSION_FUNCTIONS(MGL_SET)
    }
#undef MGL_SET
    gl.GenTextures = &Answer_GenTextures;
    gl.GenLists = &Answer_GenLists;
    gl.GetString = &Answer_GetString;
    gl.GetIntegerv = &Answer_GetIntegerv;
}

int TGLRecorder::Count(const char* name) const {
    int n = 0;
    for (const TGLCall& c : Calls)
        if (std::strcmp(c.Name, name) == 0) ++n;
    return n;
}

bool TGLRecorder::Has(const char* name, std::initializer_list<double> args) const {
    for (const TGLCall& c : Calls) {
        if (std::strcmp(c.Name, name) != 0 || c.Args.size() < args.size()) continue;
        bool same = true;
        size_t i = 0;
        for (double a : args) same = same && c.Args[i++] == a;
        if (same) return true;
    }
    return false;
}

std::string TGLRecorder::Text() const {
    std::ostringstream out;
    for (const TGLCall& c : Calls) {
        out << c.Name << '(';
        for (size_t i = 0; i < c.Args.size(); ++i) out << (i ? ", " : "") << c.Args[i];
        out << ")\n";
    }
    return out.str();
}
