// A recording GL table for tests and benchmarks: every call is logged with
// its numeric arguments, generated names count up from 1, and queries answer
// with values the test chose. Installing it replaces `gl`; the destructor
// restores the previous table.
#pragma once

#include "render/gl_table.h"

#include <initializer_list>
#include <map>
#include <string>
#include <vector>

struct TGLCall {
    const char* Name;          // "glEnable"
    std::vector<double> Args;  // numbers as given; pointers as 0 (null) or 1
};

class TGLRecorder {
public:
    TGLRecorder();
    ~TGLRecorder();
    TGLRecorder(const TGLRecorder&) = delete;
    TGLRecorder& operator=(const TGLRecorder&) = delete;

    std::vector<TGLCall> Calls;
    // Answers of glGetString and glGetIntegerv (first value of the query).
    std::map<GLenum, std::string> Strings;
    std::map<GLenum, GLint> Integers;
    // When false, the extension entries are left empty, as on a driver
    // without them.
    bool Extensions = true;

    void Clear() { Calls.clear(); }
    int Count(const char* name) const;
    // True when some call of `name` had exactly these leading arguments.
    bool Has(const char* name, std::initializer_list<double> args = {}) const;
    // All calls as text, one per line, for failure messages.
    std::string Text() const;

    // Installs the recording entries into `gl` (the constructor does it).
    void Install();

    static TGLRecorder* Current;

    GLuint NextTexture = 1;
    GLuint NextList = 1;

private:
    TGLTable Saved;
    TGLCapabilities SavedCaps;
};
