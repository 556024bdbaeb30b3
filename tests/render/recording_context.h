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

class TRecordingContext {
public:
    // The recorder must already be installed in the GL table.
    explicit TRecordingContext(TGLRecorder& recorder) {
        Library.Available.insert(platform::GLLibraryFileName(false));
#define MGL_SYMBOL(ret, name, params, args) Library.Symbols["gl" #name] = reinterpret_cast<void*>(gl.name);
        MGL_CORE_FUNCTIONS(MGL_SYMBOL)
#undef MGL_SYMBOL
#define MGL_SYMBOL(ret, name, params, args) Library.ExtensionSymbols["gl" #name] = reinterpret_cast<void*>(gl.name);
        MGL_EXTENSION_FUNCTIONS(MGL_SYMBOL)
#undef MGL_SYMBOL
        recorder.Strings[GL_VERSION] = "1.4 Test";
        recorder.Strings[GL_RENDERER] = "Test Renderer";
        recorder.Strings[GL_VENDOR] = "Test Vendor";
        recorder.Strings[GL_EXTENSIONS] = "GL_ARB_multitexture";
        platform::PixelFormatDescriptor format;
        format.ColorBits = 32;
        format.DepthBits = 16;
        format.DrawToWindow = true;
        format.DoubleBuffer = true;
        Binding.Formats = {format};
        OpenGL.Activate(Window);
        recorder.Clear();
    }

    static constexpr platform::GLWindowHandle Window = 0x42;
    platform::NullGLLibrary Library;
    platform::NullGLContext Binding;
    TCustomOpenGL OpenGL{Library, Binding};
};
