#include "render/gl_objects.h"

#include <algorithm>
#include <cstring>

#include "render/gl_table.h"
#include "render/opengl.h"
#include "core/errors.h"

bool GL_IsExtensionSupported(const char* name) {
    if (!gl.GetString || name == nullptr || *name == '\0') return false;
    const GLubyte* text = gl.GetString(GL_EXTENSIONS);
    return text != nullptr && std::strstr(reinterpret_cast<const char*>(text), name) != nullptr;
}

// ---------------------------------------------------------------------------
// Items and lists

TGLItem::TGLItem(TGLItemList* owner) : FOwner(owner) {}

TGLItem::~TGLItem() {
    if (FOwner) FOwner->Detach(this);
}

TGLItemList::~TGLItemList() { Clear(); }

TGLItem* TGLItemList::Items(int index) const {
    if (index < 0 || index >= Count()) throw Exception("TGLItemList.Items error: Index out of bounds");
    return FItems[static_cast<size_t>(index)].get();
}

void TGLItemList::SetCapacity(int n) {
    if (n > 0) FItems.reserve(static_cast<size_t>(n));
}

void TGLItemList::Clear() {
    std::vector<std::unique_ptr<TGLItem>> dying = std::move(FItems);
    FItems.clear();
    for (auto it = dying.rbegin(); it != dying.rend(); ++it) {
        (*it)->FOwner = nullptr;
        it->reset();
    }
}

void TGLItemList::Delete(TGLItem* item) {
    for (auto it = FItems.begin(); it != FItems.end(); ++it) {
        if (it->get() != item) continue;
        std::unique_ptr<TGLItem> dying = std::move(*it);
        FItems.erase(it);
        return;
    }
}

// Called from an item's destructor: the entry stops owning it.
void TGLItemList::Detach(TGLItem* item) {
    for (auto it = FItems.begin(); it != FItems.end(); ++it) {
        if (it->get() != item) continue;
        static_cast<void>(it->release());
        FItems.erase(it);
        return;
    }
}

void TGLItemList::InitContext() { FContextCurrent = true; }

void TGLItemList::DoneContext() { FContextCurrent = false; }

bool TGLItemList::ContextCurrent() const { return FContextCurrent && (Context == nullptr || Context->Active()); }

GLint TGLItemList::GetInt(GLenum name) const {
    if (!ContextCurrent() || !gl.GetIntegerv) throw Exception("TCustomOpenGL.GetInt error: OpenGL is not activated!");
    GLint value = 0;
    gl.GetIntegerv(name, &value);
    return value;
}

// ---------------------------------------------------------------------------
// Primitives

namespace {

void CopyArray(const TDArray& source, TDArray& target) {
    if (source.Count() == 0)
        target.SetCount(0);
    else
        source.AssignTo(&target);
}

TVector3f FaceNormal(const TVector3f& a, const TVector3f& b, const TVector3f& c) {
    const float ux = b.x - a.x, uy = b.y - a.y, uz = b.z - a.z;
    const float vx = c.x - a.x, vy = c.y - a.y, vz = c.z - a.z;
    return {uy * vz - uz * vy, uz * vx - ux * vz, ux * vy - uy * vx};
}

void AddTo(TVector3f& sum, const TVector3f& v) {
    sum.x += v.x;
    sum.y += v.y;
    sum.z += v.z;
}

}  // namespace

TGLPrimitive::TGLPrimitive(TGLPrimitiveList* owner) : TGLItem(owner) {}

// Owners are always of the item's list type; empty while the list is freeing it.
TGLPrimitiveList* TGLPrimitive::Primitives() const { return static_cast<TGLPrimitiveList*>(Owner()); }

TGLPrimitive::~TGLPrimitive() {
    if (FListBuilt && gl.DeleteLists) FreeList();
}

TGLTextureCoordDArray& TGLPrimitive::GetTextureCoords(int index) {
    if (index < 0 || index >= 3) throw Exception("TGLPrimitive.GetTextureCoords error: Index out of bounds");
    return FTexCoords[static_cast<size_t>(index)];
}

const TGLTextureCoordDArray& TGLPrimitive::GetTextureCoords(int index) const {
    if (index < 0 || index >= 3) throw Exception("TGLPrimitive.GetTextureCoords error: Index out of bounds");
    return FTexCoords[static_cast<size_t>(index)];
}

TGLPrimitive* TGLPrimitive::AssignTo(TGLPrimitive* target) const {
    if (target == nullptr) {
        if (Primitives() == nullptr) return nullptr;
        target = Primitives()->Add();
    }
    if (target == this) return target;
    target->Mode = Mode;
    CopyArray(Colors, target->Colors);
    CopyArray(Vertices, target->Vertices);
    CopyArray(Normals, target->Normals);
    for (size_t i = 0; i < FTexCoords.size(); ++i) CopyArray(FTexCoords[i], target->FTexCoords[i]);
    CopyArray(Indices, target->Indices);
    return target;
}

void TGLPrimitive::ComputeNormals() { ComputeNormals(Vertices, Normals); }

void TGLPrimitive::ComputeNormals(const TGLVectorDArray& source, TGLVectorDArray& target) const {
    if (&source == &target) return;
    const int n = source.Count();
    target.SetCount(n);
    target.Zero();
    if (n == 0) return;
    const TVector3f* v = source.Vectors();
    TVector3f* out = target.Vectors();
    const int indexCount = Indices.Count();

    if (Mode == GL_TRIANGLES && indexCount > 0) {
        // Shared vertices sum the unnormalised face normals, so larger faces
        // weigh more. Indices outside the vertices are skipped.
        const int16_t* idx = Indices.Indices();
        for (int t = 0; t + 2 < indexCount; t += 3) {
            const int i = static_cast<uint16_t>(idx[t]);
            const int j = static_cast<uint16_t>(idx[t + 1]);
            const int k = static_cast<uint16_t>(idx[t + 2]);
            if (i >= n || j >= n || k >= n) continue;
            const TVector3f face = FaceNormal(v[i], v[j], v[k]);
            AddTo(out[i], face);
            AddTo(out[j], face);
            AddTo(out[k], face);
        }
    } else if (Mode == GL_TRIANGLES) {
        for (int i = 0; i + 2 < n; i += 3) out[i] = out[i + 1] = out[i + 2] = FaceNormal(v[i], v[i + 1], v[i + 2]);
    } else if (Mode == GL_QUADS && indexCount == 0) {
        for (int i = 0; i + 3 < n; i += 4)
            out[i] = out[i + 1] = out[i + 2] = out[i + 3] = FaceNormal(v[i], v[i + 1], v[i + 2]);
    }
    NormalizeArray(out, out, n);
}

void TGLPrimitive::InterpolateVertices(const TGLVectorDArray& a, const TGLVectorDArray& b, float t) {
    if (a.Count() != b.Count()) return;
    Vertices.SetCount(a.Count());
    LerpArray(a.Vectors(), b.Vectors(), Vertices.Vectors(), t, a.Count());
}

void TGLPrimitive::InterpolateNormals(const TGLVectorDArray& a, const TGLVectorDArray& b, float t) {
    if (Normals.Count() == 0 || a.Count() != b.Count()) return;
    Normals.SetCount(a.Count());
    LerpArray(a.Vectors(), b.Vectors(), Normals.Vectors(), t, a.Count());
}

void TGLPrimitive::Transform(const TMatrix4f& matrix) {
    TransformArray(Vertices.Vectors(), Vertices.Vectors(), Vertices.Count(), matrix);
}

void TGLPrimitive::RotateZ(float angle) {
    RotateZArray(Vertices.Vectors(), Vertices.Vectors(), Vertices.Count(), angle);
}

// Units that get their own coordinate set; 0 when coordinates go to the
// current unit only.
int TGLPrimitive::CoordUnits() const {
    const TGLPrimitiveList* list = Primitives();
    if (!Multitexture || list == nullptr || !list->MultitextureSupported() || !gl.ClientActiveTextureARB) return 0;
    return std::min(list->TextureUnits(), 3);
}

namespace {

// A coordinate set is used only when it has one pair per vertex; otherwise
// its array is switched off so GL never reads a stale pointer.
void SetupCoords(const TGLTextureCoordDArray& coords, int vertexCount) {
    if (coords.Count() == vertexCount) {
        gl.TexCoordPointer(2, GL_FLOAT, 8, coords.Data());
        gl.EnableClientState(GL_TEXTURE_COORD_ARRAY);
    } else {
        gl.DisableClientState(GL_TEXTURE_COORD_ARRAY);
    }
}

}  // namespace

void TGLPrimitive::SetupArrays() {
    const int n = Vertices.Count();
    if (n == 0) return;
    gl.EnableClientState(GL_VERTEX_ARRAY);
    gl.VertexPointer(3, GL_FLOAT, 12, Vertices.Data());

    if (Colors.Count() == n) {
        gl.EnableClientState(GL_COLOR_ARRAY);
        gl.ColorPointer(4, GL_UNSIGNED_BYTE, 4, Colors.Data());
    } else {
        gl.DisableClientState(GL_COLOR_ARRAY);
        if (Colors.Count() == 1) gl.Color4ubv(Colors.Bytes());
    }

    if (Normals.Count() == n) {
        gl.EnableClientState(GL_NORMAL_ARRAY);
        gl.NormalPointer(GL_FLOAT, 12, Normals.Data());
    } else {
        gl.DisableClientState(GL_NORMAL_ARRAY);
        if (Normals.Count() == 1) gl.Normal3fv(static_cast<const GLfloat*>(Normals.Data()));
    }

    const int units = CoordUnits();
    if (units == 0) {
        SetupCoords(FTexCoords[0], n);
        return;
    }
    for (int u = 0; u < units; ++u) {
        gl.ClientActiveTextureARB(GL_TEXTURE0_ARB + static_cast<GLenum>(u));
        SetupCoords(FTexCoords[static_cast<size_t>(u)], n);
    }
}

void TGLPrimitive::Draw() {
    const int n = Vertices.Count();
    if (Indices.Count() == 0) {
        gl.DrawArrays(Mode, 0, n);
    } else if (Indices.AllBelow(n)) {
        // Indices that point past the vertices would make GL read outside
        // the array: such a primitive is not drawn.
        gl.DrawElements(Mode, Indices.Count(), GL_UNSIGNED_SHORT, Indices.Data());
    }
}

// After a multitexture draw the other units' coordinate arrays are switched
// off and unit 0 selected again, so that the next single-texture primitive
// does not draw with this one's coordinates.
void TGLPrimitive::ResetUnits() {
    const int units = CoordUnits();
    if (units == 0) return;
    for (int u = 1; u < units; ++u) {
        gl.ClientActiveTextureARB(GL_TEXTURE0_ARB + static_cast<GLenum>(u));
        gl.DisableClientState(GL_TEXTURE_COORD_ARRAY);
    }
    gl.ClientActiveTextureARB(GL_TEXTURE0_ARB);
}

void TGLPrimitive::Render() {
    const int n = Vertices.Count();
    if (n == 0) return;
    if (UseDisplayList) {
        if (!FListBuilt) BuildList();
        if (FListBuilt) gl.CallList(FListName);
        return;
    }
    SetupArrays();
    // Lock only with both entries, so that a lock is always released.
    const bool lock = gl.LockArraysEXT && gl.UnlockArraysEXT;
    if (lock) gl.LockArraysEXT(0, n);
    Draw();
    if (lock) gl.UnlockArraysEXT();
    ResetUnits();
}

void TGLPrimitive::BuildList() {
    FreeList();
    FListName = gl.GenLists(1);
    if (FListName == 0) return;
    gl.NewList(FListName, GL_COMPILE);
    SetupArrays();
    Draw();
    gl.EndList();
    ResetUnits();
    FListBuilt = true;
}

void TGLPrimitive::FreeList() {
    if (!FListBuilt) return;
    gl.DeleteLists(FListName, 1);
    FListBuilt = false;
    FListName = 0;
}

TGLPrimitive* TGLPrimitiveList::Add() { return Append(std::make_unique<TGLPrimitive>(this)); }

void TGLPrimitiveList::FreeDisplayLists() {
    for (int i = 0; i < Count(); ++i) Items(i)->FreeList();
}

void TGLPrimitiveList::InitContext() {
    TGLItemList::InitContext();
    FMultitexture = GL_IsExtensionSupported("GL_ARB_multitexture");
    FTextureUnits = FMultitexture ? std::max(1, GetInt(GL_MAX_TEXTURE_UNITS_ARB)) : 1;
}

// ---------------------------------------------------------------------------
// Lights

namespace {

void SendColor(GLenum light, GLenum pname, const TColor4f& c) {
    const GLfloat v[4] = {c.r, c.g, c.b, c.a};
    gl.Lightfv(light, pname, v);
}

}  // namespace

TGLLight::TGLLight(TGLLightList* owner) : TGLItem(owner) {
    FSlot = owner ? owner->Count() : 0;
    FDirty = ldAll;
}

TGLLight::~TGLLight() {
    if (!FEnabled) return;
    if (Live())
        Disable();
    else if (Lights())
        Lights()->ReleaseSlot(FSlot);
}

TGLLightList* TGLLight::Lights() const { return static_cast<TGLLightList*>(Owner()); }

bool TGLLight::Live() const { return Lights() != nullptr && Lights()->ContextCurrent(); }

void TGLLight::SetAmbient(const TColor4f& c) {
    FAmbient = c;
    FDirty |= ldAmbient;
}
void TGLLight::SetDiffuse(const TColor4f& c) {
    FDiffuse = c;
    FDirty |= ldDiffuse;
}
void TGLLight::SetSpecular(const TColor4f& c) {
    FSpecular = c;
    FDirty |= ldSpecular;
}
void TGLLight::SetPosition(const TVector3f& v) {
    FPosition = v;
    FDirty |= ldPosition;
}
void TGLLight::SetSpotDirection(const TVector3f& v) {
    FSpotDirection = v;
    FDirty |= ldDirection;
}
void TGLLight::SetSpotExponent(float v) {
    FSpotExponent = v;
    FDirty |= ldSpotExponent;
}
void TGLLight::SetSpotCutoff(float v) {
    FSpotCutoff = v;
    FDirty |= ldSpotCutoff;
}
void TGLLight::SetConstantAttenuation(float v) {
    FConstantAttenuation = v;
    FDirty |= ldConstantAttenuation;
}
void TGLLight::SetLinearAttenuation(float v) {
    FLinearAttenuation = v;
    FDirty |= ldLinearAttenuation;
}
void TGLLight::SetQuadraticAttenuation(float v) {
    FQuadraticAttenuation = v;
    FDirty |= ldQuadraticAttenuation;
}
void TGLLight::SetInfinite(bool v) {
    FInfinite = v;
    FDirty |= ldInfinite;
}
void TGLLight::SetLocalViewer(bool v) {
    FLocalViewer = v;
    FDirty |= ldLocalViewer;
}
void TGLLight::SetTwoSide(bool v) {
    FTwoSide = v;
    FDirty |= ldTwoSide;
}

void TGLLight::SetParallel() {
    SetInfinite(true);
    const TVector3f d = FSpotDirection;
    SetPosition({d.x * 1e37f, d.y * 1e37f, d.z * 1e37f});
    SetParallelPoint();
}

void TGLLight::SetParallelPoint() {
    SetInfinite(true);
    SetSpotExponent(0);
    SetSpotCutoff(180);
    SetConstantAttenuation(1);
    SetLinearAttenuation(0);
    SetQuadraticAttenuation(0);
}

void TGLLight::SetPoint() {
    SetInfinite(false);
    SetSpotExponent(0);
    SetSpotCutoff(180);
}

void TGLLight::SetDirectional() { SetInfinite(false); }

void TGLLight::Enable() {
    if (!Live()) return;
    if (!FEnabled) FSlot = Lights()->AllocSlot();
    FDirty = ldAll;
    Apply();
    gl.Enable(GL_LIGHT0 + static_cast<GLenum>(FSlot));
    FEnabled = true;
}

void TGLLight::Disable() {
    if (!FEnabled || !Live()) return;
    Lights()->ReleaseSlot(FSlot);
    gl.Disable(GL_LIGHT0 + static_cast<GLenum>(FSlot));
    FEnabled = false;
}

void TGLLight::Apply() {
    if (FDirty == 0 || !Live()) return;
    const GLenum light = GL_LIGHT0 + static_cast<GLenum>(FSlot);
    if (FDirty & ldAmbient) SendColor(light, GL_AMBIENT, FAmbient);
    if (FDirty & ldDiffuse) SendColor(light, GL_DIFFUSE, FDiffuse);
    if (FDirty & ldSpecular) SendColor(light, GL_SPECULAR, FSpecular);
    if (FDirty & (ldInfinite | ldPosition | ldDirection)) {
        const TVector3f& d = FSpotDirection;
        GLfloat position[4];
        if (FInfinite) {
            position[0] = -d.x, position[1] = -d.y, position[2] = -d.z, position[3] = 0;
        } else {
            position[0] = FPosition.x, position[1] = FPosition.y, position[2] = FPosition.z, position[3] = 1;
        }
        const GLfloat direction[3] = {d.x, d.y, d.z};
        // Position and direction are meant in eye coordinates, whatever the
        // model-view matrix holds now.
        gl.PushMatrix();
        gl.LoadIdentity();
        gl.Lightfv(light, GL_POSITION, position);
        gl.Lightfv(light, GL_SPOT_DIRECTION, direction);
        gl.PopMatrix();
    }
    if (FDirty & ldSpotExponent) gl.Lightf(light, GL_SPOT_EXPONENT, FSpotExponent);
    if (FDirty & ldSpotCutoff) gl.Lightf(light, GL_SPOT_CUTOFF, FSpotCutoff);
    if (FDirty & ldConstantAttenuation) gl.Lightf(light, GL_CONSTANT_ATTENUATION, FConstantAttenuation);
    if (FDirty & ldLinearAttenuation) gl.Lightf(light, GL_LINEAR_ATTENUATION, FLinearAttenuation);
    if (FDirty & ldQuadraticAttenuation) gl.Lightf(light, GL_QUADRATIC_ATTENUATION, FQuadraticAttenuation);
    // The light model is the same for every light: both faces lit, infinite
    // viewer. The light's own two-side and local-viewer values are kept for
    // the scene script only.
    if (FDirty & (ldTwoSide | ldLocalViewer)) {
        gl.LightModeli(GL_LIGHT_MODEL_TWO_SIDE, 1);
        gl.LightModeli(GL_LIGHT_MODEL_LOCAL_VIEWER, 0);
    }
    FDirty = 0;
}

TGLLight* TGLLightList::Add() { return Append(std::make_unique<TGLLight>(this)); }

int TGLLightList::MaxLights() {
    if (FMaxLights == 0) FMaxLights = std::clamp(GetInt(GL_MAX_LIGHTS), 0, 32);
    return FMaxLights;
}

int TGLLightList::AllocSlot() {
    const int n = MaxLights();
    for (int s = 0; s < n; ++s) {
        const uint32_t bit = 1u << s;
        if ((FSlotMask & bit) == 0) {
            FSlotMask |= bit;
            return s;
        }
    }
    // All taken: slot 0 is shared.
    return 0;
}

void TGLLightList::ReleaseSlot(int slot) {
    if (slot >= 0 && slot < 32) FSlotMask &= ~(1u << slot);
}

void TGLLightList::SetAmbient(const TColor4f& colour) {
    FAmbient = colour;
    if (!ContextCurrent()) return;
    const GLfloat v[4] = {colour.r, colour.g, colour.b, colour.a};
    gl.LightModelfv(GL_LIGHT_MODEL_AMBIENT, v);
}

void TGLLightList::InitContext() {
    TGLItemList::InitContext();
    SetAmbient({0, 0, 0, 1});
}

// ---------------------------------------------------------------------------
// Materials

TGLMaterial::TGLMaterial(TGLMaterialList* owner) : TGLItem(owner) { FDirty = mdAll; }

void TGLMaterial::SetAmbient(const TColor4f& c) {
    FAmbient = c;
    FDirty |= mdAmbient;
}
void TGLMaterial::SetDiffuse(const TColor4f& c) {
    FDiffuse = c;
    FDirty |= mdDiffuse;
}
void TGLMaterial::SetSpecular(const TColor4f& c) {
    FSpecular = c;
    FDirty |= mdSpecular;
}
void TGLMaterial::SetEmission(const TColor4f& c) {
    FEmission = c;
    FDirty |= mdEmission;
}
void TGLMaterial::SetShininess(float v) {
    FShininess = v;
    FDirty |= mdShininess;
}
void TGLMaterial::SetFront(bool v) {
    FFront = v;
    FDirty |= mdAll;
}
void TGLMaterial::SetBack(bool v) {
    FBack = v;
    FDirty |= mdAll;
}

void TGLMaterial::Apply() {
    // Without a current context the parameters stay dirty for later.
    if (FDirty == 0 || (Owner() != nullptr && !Owner()->ContextCurrent())) return;
    const GLenum face = FFront ? (FBack ? GL_FRONT_AND_BACK : GL_FRONT) : GL_BACK;
    auto send = [face](GLenum pname, const TColor4f& c) {
        const GLfloat v[4] = {c.r, c.g, c.b, c.a};
        gl.Materialfv(face, pname, v);
    };
    if (FDirty & mdAmbient) send(GL_AMBIENT, FAmbient);
    if (FDirty & mdDiffuse) send(GL_DIFFUSE, FDiffuse);
    if (FDirty & mdSpecular) send(GL_SPECULAR, FSpecular);
    if (FDirty & mdEmission) send(GL_EMISSION, FEmission);
    if (FDirty & mdShininess) gl.Materialf(face, GL_SHININESS, FShininess);
    FDirty = 0;
}

void TGLMaterial::ApplyAll() {
    FDirty |= mdAll;
    Apply();
}

TGLMaterial* TGLMaterialList::Add() { return Append(std::make_unique<TGLMaterial>(this)); }

void TGLMaterialList::InitContext() {
    TGLItemList::InitContext();
    FSeparateSpecular = GL_IsExtensionSupported("EXT_separate_specular_color");
    if (TwoSidedLighting) {
        gl.LightModeli(GL_LIGHT_MODEL_TWO_SIDE, 1);
        gl.LightModeli(GL_LIGHT_MODEL_COLOR_CONTROL, GL_SEPARATE_SPECULAR_COLOR);
    }
}

// ---------------------------------------------------------------------------
// Viewports

TGLViewport::TGLViewport(TGLViewportList* owner) : TGLItem(owner) {}

void TGLViewport::SetViewport(int x, int y, int width, int height) {
    FX = x;
    FY = y;
    FWidth = width;
    FHeight = height;
}

void TGLViewport::SetFrustum(double left, double right, double bottom, double top, double nearZ, double farZ) {
    FFrustum = {left, right, bottom, top, nearZ, farZ};
}

void TGLViewport::SetOrtho(double left, double right, double bottom, double top, double nearZ, double farZ) {
    FOrtho = {left, right, bottom, top, nearZ, farZ};
}

void TGLViewport::SetPerspective(double fovy, double aspect, double nearZ, double farZ) {
    const double top = static_cast<double>(Tan(DegToRad(fovy) / 2)) * nearZ;
    const double right = aspect * top;
    FFrustum = {-right, right, -top, top, nearZ, farZ};
}

void TGLViewport::SetOrientation(const TOrientation& orientation) {
    FOrientation = MakeOrientation(orientation.first, orientation.second);
}

void TGLViewport::SetUp(const TVector3f& up) { FOrientation.second = Normalize(up); }

void TGLViewport::SetDirection(const TVector3f& direction) { FOrientation.first = Normalize(direction); }

void TGLViewport::ApplyProjection() {
    const TGLBox& b = Perspective ? FFrustum : FOrtho;
    if (Perspective)
        gl.Frustum(b.Left, b.Right, b.Bottom, b.Top, b.Near, b.Far);
    else
        gl.Ortho(b.Left, b.Right, b.Bottom, b.Top, b.Near, b.Far);
}

void TGLViewport::ApplyCamera() {
    gl.MatrixMode(GL_MODELVIEW);
    gl.LoadIdentity();
    const TVector3f& d = Direction();
    const TVector3f centre{FEye.x + d.x, FEye.y + d.y, FEye.z + d.z};
    TMatrix4f m;
    LookAtMatrix(m, FEye, centre, Up());
    gl.MultMatrixf(m.m);
}

void TGLViewport::Apply() {
    gl.Viewport(FX, FY, FWidth, FHeight);
    gl.MatrixMode(GL_PROJECTION);
    gl.LoadIdentity();
    ApplyProjection();
    ApplyCamera();
}

void TGLViewport::Select(int x, int y, int width, int height) {
    gl.SelectBuffer(static_cast<GLsizei>(FSelectBuffer.size()), FSelectBuffer.data());
    gl.RenderMode(GL_SELECT);
    gl.InitNames();
    gl.PushName(0);
    GLint view[4] = {0, 0, 0, 0};
    gl.GetIntegerv(GL_VIEWPORT, view);
    gl.MatrixMode(GL_PROJECTION);
    gl.LoadIdentity();
    // The pick region, centred on the window point, is scaled up to fill
    // the whole viewport.
    if (width > 0 && height > 0 && view[2] > 0 && view[3] > 0) {
        const double cx = x, cy = static_cast<double>(view[3]) - y;
        TMatrix4f pick = IdentityMatrix();
        pick.m[0] = static_cast<float>(static_cast<double>(view[2]) / width);
        pick.m[5] = static_cast<float>(static_cast<double>(view[3]) / height);
        pick.m[12] = static_cast<float>((view[2] - 2 * (cx - view[0])) / width);
        pick.m[13] = static_cast<float>((view[3] - 2 * (cy - view[1])) / height);
        gl.MultMatrixf(pick.m);
    }
    ApplyProjection();
    ApplyCamera();
    FHasHit = false;
}

void TGLViewport::EndSelect() {
    const GLint hits = gl.RenderMode(GL_RENDER);
    FHasHit = false;
    if (hits < 1) return;
    // Records: name count, minimum and maximum depth, then the names. The
    // nearest complete record is the hit.
    const size_t size = FSelectBuffer.size();
    size_t at = 0;
    for (GLint h = 0; h < hits && at + 3 <= size; ++h) {
        const GLuint count = FSelectBuffer[at];
        if (count > size - at - 3) break;
        if (!FHasHit || FSelectBuffer[at + 1] < FHit.MinDepth) {
            FHit.NameCount = count;
            FHit.MinDepth = FSelectBuffer[at + 1];
            FHit.MaxDepth = FSelectBuffer[at + 2];
            FHit.Names = FSelectBuffer.data() + at + 3;
            FHasHit = true;
        }
        at += 3 + count;
    }
}

TGLViewport* TGLViewportList::Add() { return Append(std::make_unique<TGLViewport>(this)); }

// ---------------------------------------------------------------------------
// Display-list registry

TGLDisplayList::TGLDisplayList(TGLDisplayListList* owner, int count, TBuildEvent onBuild)
    : TGLItem(owner), FOnBuild(std::move(onBuild)), FCount(count > 0 ? count : 1) {}

TGLDisplayList::~TGLDisplayList() {
    if (FCompiled && gl.DeleteLists) FreeLists();
}

void TGLDisplayList::Build() {
    if (!FOnBuild) return;
    FreeLists();
    FFirst = gl.GenLists(FCount);
    if (FFirst == 0) return;
    FOnBuild(*this);
    FCompiled = true;
}

void TGLDisplayList::FreeLists() {
    if (!FCompiled) return;
    gl.DeleteLists(FFirst, FCount);
    FCompiled = false;
}

TGLDisplayList* TGLDisplayListList::Add(int count, TGLDisplayList::TBuildEvent onBuild) {
    return Append(std::make_unique<TGLDisplayList>(this, count, std::move(onBuild)));
}

void TGLDisplayListList::BuildAll() {
    for (int i = 0; i < Count(); ++i) Items(i)->Build();
}

void TGLDisplayListList::FreeAll() {
    for (int i = 0; i < Count(); ++i) Items(i)->FreeLists();
}
