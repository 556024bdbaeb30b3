#include "render/frame_scaler.h"

#include "render/gl_table.h"

#include <algorithm>
#include <iterator>

int32_t RenderScaleIndex(int32_t percent) {
    const auto found = std::find(std::begin(kRenderScales), std::end(kRenderScales), percent);
    return found != std::end(kRenderScales) ? static_cast<int32_t>(found - std::begin(kRenderScales)) : 0;
}

int32_t ValidRenderScale(int32_t percent) { return kRenderScales[RenderScaleIndex(percent)]; }

int32_t ScaledSide(int32_t side, int32_t percent) {
    return std::max<int32_t>(1, static_cast<int32_t>(static_cast<int64_t>(side) * percent / 100));
}

namespace {

int32_t CopyTextureSide(int32_t side) {
    if (glCaps.AnyTextureSize) return side;
    int32_t power = 1;
    while (power < side) power *= 2;
    return power;
}

}  // namespace

bool TFrameScaler::Fits(int32_t drawnWidth, int32_t drawnHeight) {
    if (!gl.CopyTexSubImage2D || !gl.PushAttrib || !gl.PushClientAttrib) return false;
    if (FLargestTexture < 0) {
        FLargestTexture = 0;
        gl.GetIntegerv(GL_MAX_TEXTURE_SIZE, &FLargestTexture);
        FTextureUnits = 1;
        if (gl.ActiveTextureARB) gl.GetIntegerv(GL_MAX_TEXTURE_UNITS_ARB, &FTextureUnits);
    }
    return CopyTextureSide(drawnWidth) <= FLargestTexture && CopyTextureSide(drawnHeight) <= FLargestTexture;
}

void TFrameScaler::Stretch(int32_t drawnWidth, int32_t drawnHeight, int32_t width, int32_t height) {
    if (drawnWidth <= 0 || drawnHeight <= 0 || width <= 0 || height <= 0) return;
    gl.PushAttrib(GL_ALL_ATTRIB_BITS);
    gl.PushClientAttrib(GL_CLIENT_VERTEX_ARRAY_BIT);

    for (GLint u = FTextureUnits - 1; u >= 0; --u) {
        if (gl.ActiveTextureARB) gl.ActiveTextureARB(GL_TEXTURE0_ARB + static_cast<GLenum>(u));
        if (gl.ClientActiveTextureARB) gl.ClientActiveTextureARB(GL_TEXTURE0_ARB + static_cast<GLenum>(u));
        gl.Disable(GL_TEXTURE_1D);
        gl.Disable(GL_TEXTURE_2D);
        for (GLenum coord : {GL_TEXTURE_GEN_S, GL_TEXTURE_GEN_T, GL_TEXTURE_GEN_R, GL_TEXTURE_GEN_Q}) gl.Disable(coord);
        gl.DisableClientState(GL_TEXTURE_COORD_ARRAY);
    }
    // Unit 0 is selected now.
    gl.Enable(GL_TEXTURE_2D);
    gl.TexEnvi(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, GL_REPLACE);
    for (GLenum cap : {GL_DEPTH_TEST, GL_LIGHTING, GL_FOG, GL_BLEND, GL_ALPHA_TEST, GL_CULL_FACE, GL_SCISSOR_TEST})
        gl.Disable(cap);

    if (!FTexture) gl.GenTextures(1, &FTexture);
    gl.BindTexture(GL_TEXTURE_2D, FTexture);
    const int32_t textureWidth = CopyTextureSide(drawnWidth), textureHeight = CopyTextureSide(drawnHeight);
    if (textureWidth != FTextureWidth || textureHeight != FTextureHeight) {
        FTextureWidth = textureWidth;
        FTextureHeight = textureHeight;
        gl.TexImage2D(GL_TEXTURE_2D, 0, GL_RGB8, textureWidth, textureHeight, 0, GL_RGB, GL_UNSIGNED_BYTE, nullptr);
        gl.TexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_LINEAR);
        gl.TexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_LINEAR);
        gl.TexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, glCaps.ClampWrap());
        gl.TexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, glCaps.ClampWrap());
    }
    gl.CopyTexSubImage2D(GL_TEXTURE_2D, 0, 0, 0, 0, 0, drawnWidth, drawnHeight);

    gl.Viewport(0, 0, width, height);
    for (GLenum mode : {GL_TEXTURE, GL_PROJECTION, GL_MODELVIEW}) {
        gl.MatrixMode(mode);
        gl.PushMatrix();
        gl.LoadIdentity();
    }
    gl.Ortho(0, 1, 0, 1, -1, 1);
    // From the centre of the first texel to the centre of the last drawn
    // one: linear filtering never reaches past the copied corner.
    const float s0 = 0.5f / static_cast<float>(textureWidth);
    const float t0 = 0.5f / static_cast<float>(textureHeight);
    const float s1 = (static_cast<float>(drawnWidth) - 0.5f) / static_cast<float>(textureWidth);
    const float t1 = (static_cast<float>(drawnHeight) - 0.5f) / static_cast<float>(textureHeight);
    const GLfloat corners[] = {0, 0, 1, 0, 0, 1, 1, 1};
    const GLfloat coords[] = {s0, t0, s1, t0, s0, t1, s1, t1};
    gl.DisableClientState(GL_COLOR_ARRAY);
    gl.DisableClientState(GL_NORMAL_ARRAY);
    if (gl.FogCoordPointerEXT) gl.DisableClientState(GL_FOG_COORDINATE_ARRAY_EXT);
    gl.EnableClientState(GL_VERTEX_ARRAY);
    gl.VertexPointer(2, GL_FLOAT, 0, corners);
    gl.EnableClientState(GL_TEXTURE_COORD_ARRAY);
    gl.TexCoordPointer(2, GL_FLOAT, 0, coords);
    gl.DrawArrays(GL_TRIANGLE_STRIP, 0, 4);

    for (GLenum mode : {GL_MODELVIEW, GL_PROJECTION, GL_TEXTURE}) {
        gl.MatrixMode(mode);
        gl.PopMatrix();
    }
    gl.PopClientAttrib();
    gl.PopAttrib();
}

void TFrameScaler::Release() {
    if (FTexture && gl.DeleteTextures) gl.DeleteTextures(1, &FTexture);
    FTexture = 0;
    FTextureWidth = FTextureHeight = 0;
    FLargestTexture = -1;
    FTextureUnits = 1;
}
