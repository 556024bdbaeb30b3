#include "render/gl_census.h"

#include "render/gl_table.h"

namespace {

TGLCensus Census;
decltype(TGLTable::GenTextures) RealGenTextures = nullptr;
decltype(TGLTable::DeleteTextures) RealDeleteTextures = nullptr;
decltype(TGLTable::GenLists) RealGenLists = nullptr;
decltype(TGLTable::DeleteLists) RealDeleteLists = nullptr;

void MGL_APIENTRY CountGenTextures(GLsizei n, GLuint* textures) {
    RealGenTextures(n, textures);
    if (n > 0) Census.Textures += n;
}

// Name 0 is no texture and is skipped by GL; so is it here.
void MGL_APIENTRY CountDeleteTextures(GLsizei n, const GLuint* textures) {
    for (GLsizei i = 0; i < n; ++i)
        if (textures[i] != 0) --Census.Textures;
    RealDeleteTextures(n, textures);
}

// 0 is GL's answer when it could not make the lists.
GLuint MGL_APIENTRY CountGenLists(GLsizei range) {
    const GLuint first = RealGenLists(range);
    if (first != 0 && range > 0) Census.Lists += range;
    return first;
}

void MGL_APIENTRY CountDeleteLists(GLuint list, GLsizei range) {
    if (list != 0 && range > 0) Census.Lists -= range;
    RealDeleteLists(list, range);
}

}  // namespace

void GL_StartCensus() {
    if (!gl.GenTextures || !gl.DeleteTextures || !gl.GenLists || !gl.DeleteLists) return;
    if (gl.GenTextures != &CountGenTextures) RealGenTextures = gl.GenTextures;
    if (gl.DeleteTextures != &CountDeleteTextures) RealDeleteTextures = gl.DeleteTextures;
    if (gl.GenLists != &CountGenLists) RealGenLists = gl.GenLists;
    if (gl.DeleteLists != &CountDeleteLists) RealDeleteLists = gl.DeleteLists;
    gl.GenTextures = &CountGenTextures;
    gl.DeleteTextures = &CountDeleteTextures;
    gl.GenLists = &CountGenLists;
    gl.DeleteLists = &CountDeleteLists;
}

bool GL_CensusStarted() { return gl.GenTextures == &CountGenTextures; }

TGLCensus GL_Census() { return Census; }
