#include "render/gl_table.h"

#include "platform/gl_library.h"

TGLTable gl;
TGLCapabilities glCaps;

int GL_LoadCoreEntryPoints(platform::IGLLibrary& library) {
    int found = 0;
#define MGL_LOAD(ret, name, params, args)                                                   \
    gl.name = reinterpret_cast<ret(MGL_APIENTRY*) params>(library.GetProcAddress("gl" #name)); \
    if (gl.name) ++found;
    MGL_CORE_FUNCTIONS(MGL_LOAD)
#undef MGL_LOAD
    return found;
}

const char* GL_MissingCoreEntryPoint() {
#define MGL_CHECK(ret, name, params, args) \
    if (!gl.name) return "gl" #name;
    MGL_CORE_FUNCTIONS(MGL_CHECK)
#undef MGL_CHECK
    return nullptr;
}

void GL_LoadExtensionEntryPoints(platform::IGLLibrary& library) {
#define MGL_LOAD(ret, name, params, args) \
    gl.name = reinterpret_cast<ret(MGL_APIENTRY*) params>(library.GetExtensionProcAddress("gl" #name));
    MGL_EXTENSION_FUNCTIONS(MGL_LOAD)
#undef MGL_LOAD
}

void GL_ClearEntryPoints() {
    gl = TGLTable{};
    glCaps = TGLCapabilities{};
}
