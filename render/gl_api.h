// The OpenGL 1.1 types, constants and entry points this program calls. We
// link no GL library: the entry points are loaded by name at run time into
// the table of render/gl_table.h.
#pragma once

#include <cstddef>
#include <cstdint>

using GLenum = unsigned int;
using GLboolean = unsigned char;
using GLbitfield = unsigned int;
using GLbyte = signed char;
using GLshort = short;
using GLint = int;
using GLsizei = int;
using GLubyte = unsigned char;
using GLushort = unsigned short;
using GLuint = unsigned int;
using GLfloat = float;
using GLclampf = float;
using GLdouble = double;
using GLclampd = double;
using GLvoid = void;

#ifdef _WIN32
#define MGL_APIENTRY __stdcall
#else
#define MGL_APIENTRY
#endif

// Every entry point: X(return type, name without "gl", (parameters), (argument names)).
// Core GL 1.1 functions come first, then the extension functions that may be absent.
#define MGL_CORE_FUNCTIONS(X)                                                                                   \
    X(void, AlphaFunc, (GLenum func, GLclampf ref), (func, ref))                                                \
    X(void, BindTexture, (GLenum target, GLuint texture), (target, texture))                                    \
    X(void, BlendFunc, (GLenum sfactor, GLenum dfactor), (sfactor, dfactor))                                    \
    X(void, CallList, (GLuint list), (list))                                                                    \
    X(void, Clear, (GLbitfield mask), (mask))                                                                   \
    X(void, ClearColor, (GLclampf r, GLclampf g, GLclampf b, GLclampf a), (r, g, b, a))                         \
    X(void, Color4fv, (const GLfloat* v), (v))                                                                  \
    X(void, Color4ubv, (const GLubyte* v), (v))                                                                 \
    X(void, ColorPointer, (GLint size, GLenum type, GLsizei stride, const GLvoid* ptr), (size, type, stride, ptr)) \
    X(void, CopyTexImage1D, (GLenum target, GLint level, GLenum fmt, GLint x, GLint y, GLsizei w, GLint border), \
      (target, level, fmt, x, y, w, border))                                                                    \
    X(void, CopyTexImage2D,                                                                                     \
      (GLenum target, GLint level, GLenum fmt, GLint x, GLint y, GLsizei w, GLsizei h, GLint border),           \
      (target, level, fmt, x, y, w, h, border))                                                                 \
    X(void, CopyTexSubImage2D,                                                                                  \
      (GLenum target, GLint level, GLint xoffset, GLint yoffset, GLint x, GLint y, GLsizei w, GLsizei h),        \
      (target, level, xoffset, yoffset, x, y, w, h))                                                            \
    X(void, CullFace, (GLenum mode), (mode))                                                                    \
    X(void, DeleteLists, (GLuint list, GLsizei range), (list, range))                                           \
    X(void, DeleteTextures, (GLsizei n, const GLuint* textures), (n, textures))                                 \
    X(void, DepthFunc, (GLenum func), (func))                                                                   \
    X(void, DepthMask, (GLboolean flag), (flag))                                                                \
    X(void, Disable, (GLenum cap), (cap))                                                                       \
    X(void, DisableClientState, (GLenum array), (array))                                                        \
    X(void, DrawArrays, (GLenum mode, GLint first, GLsizei count), (mode, first, count))                        \
    X(void, DrawElements, (GLenum mode, GLsizei count, GLenum type, const GLvoid* indices),                     \
      (mode, count, type, indices))                                                                             \
    X(void, Enable, (GLenum cap), (cap))                                                                        \
    X(void, EnableClientState, (GLenum array), (array))                                                         \
    X(void, EndList, (), ())                                                                                    \
    X(void, Finish, (), ())                                                                                     \
    X(void, Flush, (), ())                                                                                      \
    X(void, Fogf, (GLenum pname, GLfloat param), (pname, param))                                                \
    X(void, Fogfv, (GLenum pname, const GLfloat* params), (pname, params))                                      \
    X(void, Fogi, (GLenum pname, GLint param), (pname, param))                                                  \
    X(void, FrontFace, (GLenum mode), (mode))                                                                   \
    X(void, Frustum, (GLdouble l, GLdouble r, GLdouble b, GLdouble t, GLdouble n, GLdouble f), (l, r, b, t, n, f)) \
    X(GLuint, GenLists, (GLsizei range), (range))                                                               \
    X(void, GenTextures, (GLsizei n, GLuint* textures), (n, textures))                                          \
    X(GLenum, GetError, (), ())                                                                                 \
    X(void, GetIntegerv, (GLenum pname, GLint* params), (pname, params))                                        \
    X(const GLubyte*, GetString, (GLenum name), (name))                                                         \
    X(void, Hint, (GLenum target, GLenum mode), (target, mode))                                                 \
    X(void, InitNames, (), ())                                                                                  \
    X(void, LightModelfv, (GLenum pname, const GLfloat* params), (pname, params))                               \
    X(void, LightModeli, (GLenum pname, GLint param), (pname, param))                                           \
    X(void, Lightf, (GLenum light, GLenum pname, GLfloat param), (light, pname, param))                         \
    X(void, Lightfv, (GLenum light, GLenum pname, const GLfloat* params), (light, pname, params))               \
    X(void, LoadIdentity, (), ())                                                                               \
    X(void, LoadMatrixf, (const GLfloat* m), (m))                                                               \
    X(void, Materialf, (GLenum face, GLenum pname, GLfloat param), (face, pname, param))                        \
    X(void, Materialfv, (GLenum face, GLenum pname, const GLfloat* params), (face, pname, params))              \
    X(void, MatrixMode, (GLenum mode), (mode))                                                                  \
    X(void, MultMatrixf, (const GLfloat* m), (m))                                                               \
    X(void, NewList, (GLuint list, GLenum mode), (list, mode))                                                  \
    X(void, Normal3fv, (const GLfloat* v), (v))                                                                 \
    X(void, NormalPointer, (GLenum type, GLsizei stride, const GLvoid* ptr), (type, stride, ptr))               \
    X(void, Ortho, (GLdouble l, GLdouble r, GLdouble b, GLdouble t, GLdouble n, GLdouble f), (l, r, b, t, n, f)) \
    X(void, PixelStorei, (GLenum pname, GLint param), (pname, param))                                           \
    X(void, PopAttrib, (), ())                                                                                  \
    X(void, PopClientAttrib, (), ())                                                                            \
    X(void, PopMatrix, (), ())                                                                                  \
    X(void, PushAttrib, (GLbitfield mask), (mask))                                                              \
    X(void, PushClientAttrib, (GLbitfield mask), (mask))                                                        \
    X(void, PushMatrix, (), ())                                                                                 \
    X(void, PushName, (GLuint name), (name))                                                                    \
    X(void, ReadBuffer, (GLenum mode), (mode))                                                                  \
    X(void, ReadPixels, (GLint x, GLint y, GLsizei w, GLsizei h, GLenum fmt, GLenum type, GLvoid* pixels),      \
      (x, y, w, h, fmt, type, pixels))                                                                          \
    X(GLint, RenderMode, (GLenum mode), (mode))                                                                 \
    X(void, Rotatef, (GLfloat angle, GLfloat x, GLfloat y, GLfloat z), (angle, x, y, z))                        \
    X(void, Scalef, (GLfloat x, GLfloat y, GLfloat z), (x, y, z))                                               \
    X(void, Scissor, (GLint x, GLint y, GLsizei w, GLsizei h), (x, y, w, h))                                    \
    X(void, SelectBuffer, (GLsizei size, GLuint* buffer), (size, buffer))                                       \
    X(void, ShadeModel, (GLenum mode), (mode))                                                                  \
    X(void, TexCoordPointer, (GLint size, GLenum type, GLsizei stride, const GLvoid* ptr), (size, type, stride, ptr)) \
    X(void, TexEnvfv, (GLenum target, GLenum pname, const GLfloat* params), (target, pname, params))            \
    X(void, TexEnvi, (GLenum target, GLenum pname, GLint param), (target, pname, param))                        \
    X(void, TexGenfv, (GLenum coord, GLenum pname, const GLfloat* params), (coord, pname, params))              \
    X(void, TexGeni, (GLenum coord, GLenum pname, GLint param), (coord, pname, param))                          \
    X(void, TexImage1D,                                                                                         \
      (GLenum target, GLint level, GLint ifmt, GLsizei w, GLint border, GLenum fmt, GLenum type, const GLvoid* px), \
      (target, level, ifmt, w, border, fmt, type, px))                                                          \
    X(void, TexImage2D,                                                                                         \
      (GLenum target, GLint level, GLint ifmt, GLsizei w, GLsizei h, GLint border, GLenum fmt, GLenum type,     \
       const GLvoid* px),                                                                                       \
      (target, level, ifmt, w, h, border, fmt, type, px))                                                       \
    X(void, TexParameterf, (GLenum target, GLenum pname, GLfloat param), (target, pname, param))                \
    X(void, TexParameteri, (GLenum target, GLenum pname, GLint param), (target, pname, param))                  \
    X(void, Translatef, (GLfloat x, GLfloat y, GLfloat z), (x, y, z))                                           \
    X(void, VertexPointer, (GLint size, GLenum type, GLsizei stride, const GLvoid* ptr), (size, type, stride, ptr)) \
    X(void, Viewport, (GLint x, GLint y, GLsizei w, GLsizei h), (x, y, w, h))

// Extension entry points: looked up after a context is current; may stay empty.
#define MGL_EXTENSION_FUNCTIONS(X)                                                  \
    X(void, ActiveTextureARB, (GLenum texture), (texture))                         \
    X(void, ClientActiveTextureARB, (GLenum texture), (texture))                   \
    X(void, LockArraysEXT, (GLint first, GLsizei count), (first, count))           \
    X(void, UnlockArraysEXT, (), ())                                               \
    X(void, FogCoordPointerEXT, (GLenum type, GLsizei stride, const GLvoid* ptr), (type, stride, ptr)) \
    X(void, GenQueriesARB, (GLsizei n, GLuint * ids), (n, ids))                    \
    X(void, DeleteQueriesARB, (GLsizei n, const GLuint* ids), (n, ids))            \
    X(void, BeginQueryARB, (GLenum target, GLuint id), (target, id))               \
    X(void, EndQueryARB, (GLenum target), (target))                                \
    X(void, GetQueryObjectuivARB, (GLuint id, GLenum pname, GLuint * params), (id, pname, params))

#define MGL_ALL_FUNCTIONS(X) MGL_CORE_FUNCTIONS(X) MGL_EXTENSION_FUNCTIONS(X)

// Constants (values from the OpenGL 1.1 headers and the extension registry).
enum : GLenum {
    GL_FALSE = 0,
    GL_TRUE = 1,
    GL_NO_ERROR = 0,
    // primitives
    GL_POINTS = 0x0000,
    GL_LINES = 0x0001,
    GL_LINE_STRIP = 0x0003,
    GL_TRIANGLES = 0x0004,
    GL_TRIANGLE_STRIP = 0x0005,
    GL_TRIANGLE_FAN = 0x0006,
    GL_QUADS = 0x0007,
    // comparison
    GL_NEVER = 0x0200,
    GL_LESS = 0x0201,
    GL_EQUAL = 0x0202,
    GL_LEQUAL = 0x0203,
    GL_GREATER = 0x0204,
    GL_NOTEQUAL = 0x0205,
    GL_GEQUAL = 0x0206,
    GL_ALWAYS = 0x0207,
    // blending
    GL_ZERO = 0,
    GL_ONE = 1,
    GL_SRC_COLOR = 0x0300,
    GL_ONE_MINUS_SRC_COLOR = 0x0301,
    GL_SRC_ALPHA = 0x0302,
    GL_ONE_MINUS_SRC_ALPHA = 0x0303,
    GL_DST_ALPHA = 0x0304,
    GL_ONE_MINUS_DST_ALPHA = 0x0305,
    GL_DST_COLOR = 0x0306,
    GL_ONE_MINUS_DST_COLOR = 0x0307,
    // faces
    GL_FRONT = 0x0404,
    GL_BACK = 0x0405,
    GL_FRONT_AND_BACK = 0x0408,
    GL_CW = 0x0900,
    GL_CCW = 0x0901,
    // capabilities
    GL_FOG = 0x0B60,
    GL_LIGHTING = 0x0B50,
    GL_LIGHT_MODEL_TWO_SIDE = 0x0B52,
    GL_LIGHT_MODEL_AMBIENT = 0x0B53,
    GL_LIGHT_MODEL_LOCAL_VIEWER = 0x0B51,
    GL_LIGHT_MODEL_COLOR_CONTROL = 0x81F8,
    GL_SINGLE_COLOR = 0x81F9,
    GL_SEPARATE_SPECULAR_COLOR = 0x81FA,
    GL_CULL_FACE = 0x0B44,
    GL_DEPTH_TEST = 0x0B71,
    GL_NORMALIZE = 0x0BA1,
    GL_ALPHA_TEST = 0x0BC0,
    GL_BLEND = 0x0BE2,
    GL_TEXTURE_1D = 0x0DE0,
    GL_TEXTURE_2D = 0x0DE1,
    GL_TEXTURE_GEN_S = 0x0C60,
    GL_TEXTURE_GEN_T = 0x0C61,
    GL_TEXTURE_GEN_R = 0x0C62,
    GL_TEXTURE_GEN_Q = 0x0C63,
    GL_COLOR_MATERIAL = 0x0B57,
    GL_DITHER = 0x0BD0,
    GL_SCISSOR_TEST = 0x0C11,
    // hints
    GL_PERSPECTIVE_CORRECTION_HINT = 0x0C50,
    GL_FOG_HINT = 0x0C54,
    GL_DONT_CARE = 0x1100,
    GL_FASTEST = 0x1101,
    GL_NICEST = 0x1102,
    // queries
    GL_VIEWPORT = 0x0BA2,
    GL_MAX_TEXTURE_SIZE = 0x0D33,
    GL_MAX_LIGHTS = 0x0D31,
    GL_MAX_TEXTURE_UNITS_ARB = 0x84E2,
    GL_VENDOR = 0x1F00,
    GL_RENDERER = 0x1F01,
    GL_VERSION = 0x1F02,
    GL_EXTENSIONS = 0x1F03,
    // data types
    GL_BYTE = 0x1400,
    GL_UNSIGNED_BYTE = 0x1401,
    GL_SHORT = 0x1402,
    GL_UNSIGNED_SHORT = 0x1403,
    GL_INT = 0x1404,
    GL_UNSIGNED_INT = 0x1405,
    GL_FLOAT = 0x1406,
    // matrices
    GL_MODELVIEW = 0x1700,
    GL_PROJECTION = 0x1701,
    GL_TEXTURE = 0x1702,
    // pixel formats
    GL_COLOR_INDEX = 0x1900,
    GL_ALPHA = 0x1906,
    GL_RGB = 0x1907,
    GL_RGBA = 0x1908,
    GL_LUMINANCE = 0x1909,
    GL_LUMINANCE_ALPHA = 0x190A,
    GL_BGR_EXT = 0x80E0,
    GL_BGRA_EXT = 0x80E1,
    GL_R3_G3_B2 = 0x2A10,
    GL_ALPHA4 = 0x803B,
    GL_ALPHA8 = 0x803C,
    GL_LUMINANCE8 = 0x8040,
    GL_LUMINANCE8_ALPHA8 = 0x8045,
    GL_INTENSITY = 0x8049,
    GL_INTENSITY8 = 0x804B,
    GL_RGB4 = 0x804F,
    GL_RGB5 = 0x8050,
    GL_RGB8 = 0x8051,
    GL_RGBA2 = 0x8055,
    GL_RGBA4 = 0x8056,
    GL_RGB5_A1 = 0x8057,
    GL_RGBA8 = 0x8058,
    GL_UNSIGNED_BYTE_3_3_2 = 0x8032,
    GL_UNSIGNED_SHORT_4_4_4_4 = 0x8033,
    GL_UNSIGNED_SHORT_5_5_5_1 = 0x8034,
    GL_UNSIGNED_INT_8_8_8_8 = 0x8035,
    GL_UNSIGNED_INT_10_10_10_2 = 0x8036,
    GL_UNSIGNED_BYTE_2_3_3_REV = 0x8362,
    GL_UNSIGNED_SHORT_5_6_5 = 0x8363,
    GL_UNSIGNED_SHORT_5_6_5_REV = 0x8364,
    GL_UNSIGNED_SHORT_4_4_4_4_REV = 0x8365,
    GL_UNSIGNED_SHORT_1_5_5_5_REV = 0x8366,
    GL_UNSIGNED_INT_8_8_8_8_REV = 0x8367,
    GL_UNSIGNED_INT_2_10_10_10_REV = 0x8368,
    GL_COMPRESSED_RGB_ARB = 0x84ED,
    GL_COMPRESSED_RGBA_ARB = 0x84EE,
    GL_TEXTURE_COMPRESSION_HINT_ARB = 0x84EF,
    GL_COMPRESSED_RGB_S3TC_DXT1_EXT = 0x83F0,
    GL_COMPRESSED_RGBA_S3TC_DXT3_EXT = 0x83F2,
    GL_PACK_ALIGNMENT = 0x0D05,
    GL_UNPACK_ALIGNMENT = 0x0CF5,
    GL_UNPACK_ROW_LENGTH = 0x0CF2,
    GL_UNPACK_SKIP_ROWS = 0x0CF3,
    GL_UNPACK_SKIP_PIXELS = 0x0CF4,
    // lights and materials
    GL_AMBIENT = 0x1200,
    GL_DIFFUSE = 0x1201,
    GL_SPECULAR = 0x1202,
    GL_POSITION = 0x1203,
    GL_SPOT_DIRECTION = 0x1204,
    GL_SPOT_EXPONENT = 0x1205,
    GL_SPOT_CUTOFF = 0x1206,
    GL_CONSTANT_ATTENUATION = 0x1207,
    GL_LINEAR_ATTENUATION = 0x1208,
    GL_QUADRATIC_ATTENUATION = 0x1209,
    GL_EMISSION = 0x1600,
    GL_SHININESS = 0x1601,
    GL_AMBIENT_AND_DIFFUSE = 0x1602,
    GL_LIGHT0 = 0x4000,
    GL_FLAT = 0x1D00,
    GL_SMOOTH = 0x1D01,
    // fog
    GL_FOG_DENSITY = 0x0B62,
    GL_FOG_START = 0x0B63,
    GL_FOG_END = 0x0B64,
    GL_FOG_MODE = 0x0B65,
    GL_FOG_COLOR = 0x0B66,
    GL_EXP = 0x0800,
    GL_EXP2 = 0x0801,
    GL_LINEAR = 0x2601,
    // textures
    GL_MODULATE = 0x2100,
    GL_DECAL = 0x2101,
    GL_REPLACE = 0x1E01,
    GL_TEXTURE_ENV_MODE = 0x2200,
    GL_TEXTURE_ENV_COLOR = 0x2201,
    GL_TEXTURE_ENV = 0x2300,
    // ARB_texture_env_combine
    GL_COMBINE_ARB = 0x8570,
    GL_COMBINE_RGB_ARB = 0x8571,
    GL_COMBINE_ALPHA_ARB = 0x8572,
    GL_INTERPOLATE_ARB = 0x8575,
    GL_CONSTANT_ARB = 0x8576,
    GL_PREVIOUS_ARB = 0x8578,
    GL_SOURCE0_RGB_ARB = 0x8580,
    GL_SOURCE1_RGB_ARB = 0x8581,
    GL_SOURCE2_RGB_ARB = 0x8582,
    GL_SOURCE0_ALPHA_ARB = 0x8588,
    GL_OPERAND0_RGB_ARB = 0x8590,
    GL_OPERAND1_RGB_ARB = 0x8591,
    GL_OPERAND2_RGB_ARB = 0x8592,
    GL_OPERAND0_ALPHA_ARB = 0x8598,
    GL_EYE_LINEAR = 0x2400,
    GL_OBJECT_LINEAR = 0x2401,
    GL_SPHERE_MAP = 0x2402,
    GL_TEXTURE_GEN_MODE = 0x2500,
    GL_OBJECT_PLANE = 0x2501,
    GL_EYE_PLANE = 0x2502,
    GL_S = 0x2000,
    GL_T = 0x2001,
    GL_R = 0x2002,
    GL_Q = 0x2003,
    GL_NEAREST = 0x2600,
    GL_NEAREST_MIPMAP_NEAREST = 0x2700,
    GL_LINEAR_MIPMAP_NEAREST = 0x2701,
    GL_NEAREST_MIPMAP_LINEAR = 0x2702,
    GL_LINEAR_MIPMAP_LINEAR = 0x2703,
    GL_TEXTURE_MAG_FILTER = 0x2800,
    GL_TEXTURE_MIN_FILTER = 0x2801,
    GL_TEXTURE_WRAP_S = 0x2802,
    GL_TEXTURE_WRAP_T = 0x2803,
    GL_TEXTURE_PRIORITY = 0x8066,
    GL_CLAMP = 0x2900,
    GL_REPEAT = 0x2901,
    GL_CLAMP_TO_EDGE = 0x812F,
    GL_TEXTURE0_ARB = 0x84C0,
    GL_TEXTURE1_ARB = 0x84C1,
    // fog coordinates
    GL_FOG_COORDINATE_SOURCE_EXT = 0x8450,
    GL_FOG_COORDINATE_EXT = 0x8451,
    GL_FRAGMENT_DEPTH_EXT = 0x8452,
    GL_FOG_COORDINATE_ARRAY_EXT = 0x8457,
    // occlusion queries
    GL_SAMPLES_PASSED_ARB = 0x8914,
    GL_QUERY_RESULT_ARB = 0x8866,
    // arrays
    GL_VERTEX_ARRAY = 0x8074,
    GL_NORMAL_ARRAY = 0x8075,
    GL_COLOR_ARRAY = 0x8076,
    GL_TEXTURE_COORD_ARRAY = 0x8078,
    // display lists and selection
    GL_COMPILE = 0x1300,
    GL_COMPILE_AND_EXECUTE = 0x1301,
    GL_RENDER = 0x1C00,
    GL_FEEDBACK = 0x1C01,
    GL_SELECT = 0x1C02,
    // buffers
    GL_FRONT_LEFT = 0x0400,
    GL_BACK_LEFT = 0x0402,
    GL_DEPTH_BUFFER_BIT = 0x00000100,
    GL_ACCUM_BUFFER_BIT = 0x00000200,
    GL_STENCIL_BUFFER_BIT = 0x00000400,
    GL_COLOR_BUFFER_BIT = 0x00004000,
    // saved state
    GL_ALL_ATTRIB_BITS = 0x000FFFFF,
    GL_CLIENT_VERTEX_ARRAY_BIT = 0x00000002,
};
