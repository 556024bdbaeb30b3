// A GL context object over the platform doubles whose entry points are the
// recorder's, made current so the lists it owns are live: what the scene's
// lights, materials and primitives send to GL lands in the recorder.
#pragma once

#include "platform/gl_library.h"
#include "platform/null/gl_context_null.h"
#include "platform/null/gl_library_null.h"
#include "render/gl_recorder.h"
#include "render/gl_table.h"
#include "render/opengl.h"

// Makes the null library hand out the GL table's current entries (the
// recorder's, once it is installed) under their GL names.
inline void OfferGLTable(platform::NullGLLibrary& library, bool extensions = true) {
#define MGL_SYMBOL(ret, name, params, args) library.Symbols["gl" #name] = reinterpret_cast<void*>(gl.name);
    MGL_CORE_FUNCTIONS(MGL_SYMBOL)
#undef MGL_SYMBOL
    if (!extensions) return;
#define MGL_SYMBOL(ret, name, params, args) library.ExtensionSymbols["gl" #name] = reinterpret_cast<void*>(gl.name);
    MGL_EXTENSION_FUNCTIONS(MGL_SYMBOL)
#undef MGL_SYMBOL
}

// A double-buffered window format with 32-bit colour and a 16-bit depth.
inline platform::PixelFormatDescriptor WindowPixelFormat() {
    platform::PixelFormatDescriptor format;
    format.ColorBits = 32;
    format.DepthBits = 16;
    format.DrawToWindow = true;
    format.DoubleBuffer = true;
    return format;
}

class TRecordingContext {
public:
    // The recorder must already be installed in the GL table.
    explicit TRecordingContext(TGLRecorder& recorder) {
        Library.Available.insert(platform::GLLibraryFileName(false));
        OfferGLTable(Library);
        recorder.Strings[GL_VERSION] = "1.4 Test";
        recorder.Strings[GL_RENDERER] = "Test Renderer";
        recorder.Strings[GL_VENDOR] = "Test Vendor";
        recorder.Strings[GL_EXTENSIONS] = "GL_ARB_multitexture";
        Binding.Formats = {WindowPixelFormat()};
        OpenGL.Activate(Window);
        recorder.Clear();
    }

    static constexpr platform::GLWindowHandle Window = 0x42;
    platform::NullGLLibrary Library;
    platform::NullGLContext Binding;
    TCustomOpenGL OpenGL{Library, Binding};
};
