// The process-wide table of GL entry points. Every GL call of the program
// goes through `gl` (gl.Enable(GL_CULL_FACE)); tests install a recording
// table (render/gl_recorder.h) so drawing logic runs without a GPU.
#pragma once

#include "render/gl_api.h"

namespace platform {
class IGLLibrary;
}

struct TGLTable {
#define MGL_MEMBER(ret, name, params, args) ret(MGL_APIENTRY* name) params = nullptr;
    MGL_ALL_FUNCTIONS(MGL_MEMBER)
#undef MGL_MEMBER
};

extern TGLTable gl;

// What the current context offers beyond its entry points; set when it is
// made, emptied with the entries.
struct TGLCapabilities {
    // GL_CLAMP_TO_EDGE (GL 1.2, or an edge-clamp extension).
    bool EdgeClamp = false;
    // Textures of any size, not only powers of two (GL 2.0, or
    // GL_ARB_texture_non_power_of_two).
    bool AnyTextureSize = false;

    // The wrap of a texture that does not repeat: to the edge where the
    // context has it, else GL 1.1's clamp.
    GLint ClampWrap() const { return EdgeClamp ? GL_CLAMP_TO_EDGE : GL_CLAMP; }
};

extern TGLCapabilities glCaps;

// Fills the core entries from the loaded library by name; a missing entry
// stays empty. Returns the number of core entries that were found.
int GL_LoadCoreEntryPoints(platform::IGLLibrary& library);
// The name of the first core entry that is empty ("glFogf"), or null when
// every one is there.
const char* GL_MissingCoreEntryPoint();
// Looks up the extension entries; call with a context current.
void GL_LoadExtensionEntryPoints(platform::IGLLibrary& library);
// Empties every entry.
void GL_ClearEntryPoints();
