// GL state objects that live in a context: primitives drawn from vertex
// arrays, fixed-function lights and materials, viewports and display-list
// builders. Each belongs to a typed list owned by the context object; the
// objects keep their parameters in memory and send them only when asked, so
// they can be set up before a context exists.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

#include "render/gl_api.h"
#include "render/gl_arrays.h"
#include "core/vecmath.h"

class TCustomOpenGL;
class TGLItemList;

// True when name occurs anywhere in the extension text the driver gives at
// this moment (a substring test). False when there is no extension text.
bool GL_IsExtensionSupported(const char* name);

class TGLItem {
public:
    explicit TGLItem(TGLItemList* owner);
    // An item destroyed on its own leaves its owner's list.
    virtual ~TGLItem();
    TGLItem(const TGLItem&) = delete;
    TGLItem& operator=(const TGLItem&) = delete;

    TGLItemList* Owner() const { return FOwner; }

private:
    friend class TGLItemList;
    TGLItemList* FOwner;
};

// An owning, ordered list of GL items. The context creates one list per kind
// and calls InitContext on each after a new context has been made current,
// and DoneContext before the context goes away.
class TGLItemList {
public:
    explicit TGLItemList(TCustomOpenGL* context = nullptr) : Context(context) {}
    virtual ~TGLItemList();
    TGLItemList(const TGLItemList&) = delete;
    TGLItemList& operator=(const TGLItemList&) = delete;

    int Count() const { return static_cast<int>(FItems.size()); }
    TGLItem* Items(int index) const;
    void SetCapacity(int n);
    // Frees every item, last first; each item's owner is cleared before it
    // is freed.
    void Clear();
    // Frees one item of this list (it still sees its owner while it goes);
    // other lists' items are left alone.
    void Delete(TGLItem* item);

    // InitContext marks the list live (overrides call it first); DoneContext
    // marks it dead again.
    virtual void InitContext();
    virtual void DoneContext();
    // GL may be called: the list was initialised for a context and that
    // context (when the list has one) is still active.
    bool ContextCurrent() const;
    // glGetIntegerv of name; raises when no context is current.
    GLint GetInt(GLenum name) const;

    // The context object owning this list (back-pointer, may be empty).
    TCustomOpenGL* Context;

protected:
    template <class T>
    T* Append(std::unique_ptr<T> item) {
        T* p = item.get();
        FItems.push_back(std::move(item));
        return p;
    }

private:
    friend class TGLItem;
    void Detach(TGLItem* item);

    std::vector<std::unique_ptr<TGLItem>> FItems;
    bool FContextCurrent = false;
};

class TGLPrimitiveList;

// Geometry drawn from vertex arrays, directly or through a display list.
class TGLPrimitive : public TGLItem {
public:
    explicit TGLPrimitive(TGLPrimitiveList* owner = nullptr);
    ~TGLPrimitive() override;

    // When not empty, drawing is indexed.
    TGLIndexDArray Indices;
    TGLVectorDArray Normals;
    // Positions; the vertex count is their length.
    TGLVectorDArray Vertices;
    TGLColorDArray Colors;
    // GL primitive mode; GL_TRIANGLES and GL_QUADS get generated normals.
    GLenum Mode = GL_TRIANGLES;
    // Feed each texture unit its own coordinate set.
    bool Multitexture = false;
    bool UseDisplayList = false;

    int VertexCount() const { return Vertices.Count(); }
    // Coordinate set 0..2.
    TGLTextureCoordDArray& GetTextureCoords(int index);
    const TGLTextureCoordDArray& GetTextureCoords(int index) const;

    // Copies mode and arrays (not the display-list state or the flags) into
    // target; with no target a new primitive is added to this one's list
    // (nullptr when it has none). Returns the target.
    TGLPrimitive* AssignTo(TGLPrimitive* target) const;

    void ComputeNormals();
    void ComputeNormals(const TGLVectorDArray& source, TGLVectorDArray& target) const;
    // vertex i := a[i] + t (b[i] - a[i]); nothing when a and b differ in length.
    void InterpolateVertices(const TGLVectorDArray& a, const TGLVectorDArray& b, float t);
    // The same for the normals, only when there are normals already.
    void InterpolateNormals(const TGLVectorDArray& a, const TGLVectorDArray& b, float t);
    void Transform(const TMatrix4f& matrix);
    void RotateZ(float angle);

    void Render();
    void BuildList();
    void FreeList();
    bool ListBuilt() const { return FListBuilt; }
    GLuint DisplayList() const { return FListName; }

private:
    int CoordUnits() const;
    void SetupArrays();
    void Draw();
    void ResetUnits();

    TGLPrimitiveList* Primitives() const;
    std::array<TGLTextureCoordDArray, 3> FTexCoords;
    GLuint FListName = 0;
    bool FListBuilt = false;
};

class TGLPrimitiveList : public TGLItemList {
public:
    using TGLItemList::TGLItemList;

    TGLPrimitive* Add();
    TGLPrimitive* Items(int index) const { return static_cast<TGLPrimitive*>(TGLItemList::Items(index)); }
    // Deletes the display list of every primitive.
    void FreeDisplayLists();
    void InitContext() override;

    bool MultitextureSupported() const { return FMultitexture; }
    int TextureUnits() const { return FTextureUnits; }

private:
    bool FMultitexture = false;
    int FTextureUnits = 1;
};

// Dirty bits of a light's parameters.
enum : uint32_t {
    ldAmbient = 0x1,
    ldDiffuse = 0x2,
    ldSpecular = 0x8,
    ldInfinite = 0x40,
    ldPosition = 0x80,
    ldDirection = 0x100,
    ldSpotExponent = 0x200,
    ldSpotCutoff = 0x400,
    ldConstantAttenuation = 0x800,
    ldLinearAttenuation = 0x1000,
    ldQuadraticAttenuation = 0x2000,
    ldTwoSide = 0x4000,
    ldLocalViewer = 0x8000,
    ldAll = 0xFFCB,
};

class TGLLightList;

// One fixed-function light. Every setter marks its parameter dirty; Apply
// sends the dirty ones to the light's slot.
class TGLLight : public TGLItem {
public:
    explicit TGLLight(TGLLightList* owner = nullptr);
    ~TGLLight() override;

    void SetAmbient(const TColor4f& c);
    void SetDiffuse(const TColor4f& c);
    void SetSpecular(const TColor4f& c);
    void SetPosition(const TVector3f& v);
    void SetSpotDirection(const TVector3f& v);
    void SetSpotExponent(float v);
    void SetSpotCutoff(float v);
    void SetConstantAttenuation(float v);
    void SetLinearAttenuation(float v);
    void SetQuadraticAttenuation(float v);
    void SetInfinite(bool v);
    void SetLocalViewer(bool v);
    void SetTwoSide(bool v);

    const TColor4f& Ambient() const { return FAmbient; }
    const TColor4f& Diffuse() const { return FDiffuse; }
    const TColor4f& Specular() const { return FSpecular; }
    const TVector3f& Position() const { return FPosition; }
    const TVector3f& SpotDirection() const { return FSpotDirection; }
    float SpotExponent() const { return FSpotExponent; }
    float SpotCutoff() const { return FSpotCutoff; }
    float ConstantAttenuation() const { return FConstantAttenuation; }
    float LinearAttenuation() const { return FLinearAttenuation; }
    float QuadraticAttenuation() const { return FQuadraticAttenuation; }
    bool Infinite() const { return FInfinite; }
    bool LocalViewer() const { return FLocalViewer; }
    bool TwoSide() const { return FTwoSide; }
    bool Enabled() const { return FEnabled; }
    int Slot() const { return FSlot; }
    uint32_t DirtyMask() const { return FDirty; }

    // Presets of the scene light styles.
    void SetParallel();
    void SetParallelPoint();
    void SetPoint();
    void SetDirectional();

    // Takes a slot, sends every parameter and switches the light on.
    void Enable();
    void Disable();
    void Apply();

private:
    TGLLightList* Lights() const;
    bool Live() const;

    TColor4f FAmbient{0, 0, 0, 1};
    TColor4f FDiffuse{1, 1, 1, 1};
    TColor4f FSpecular{1, 1, 1, 1};
    TVector3f FPosition{0, 0, 0};
    TVector3f FSpotDirection{-1, -1, -1};
    float FSpotExponent = 0;
    float FSpotCutoff = 180;
    float FConstantAttenuation = 1;
    float FLinearAttenuation = 0;
    float FQuadraticAttenuation = 0;
    bool FInfinite = true;
    bool FLocalViewer = false;
    bool FTwoSide = false;
    bool FEnabled = false;
    int FSlot = 0;
    uint32_t FDirty = 0;
};

class TGLLightList : public TGLItemList {
public:
    using TGLItemList::TGLItemList;

    // The new light's slot is the list's count before the append.
    TGLLight* Add();
    TGLLight* Items(int index) const { return static_cast<TGLLight*>(TGLItemList::Items(index)); }

    // GL_MAX_LIGHTS, read once (bounded by the 32-bit slot mask).
    int MaxLights();
    // The first free slot, marked taken; 0 when all are taken.
    int AllocSlot();
    void ReleaseSlot(int slot);
    uint32_t SlotMask() const { return FSlotMask; }
    // The global ambient colour of the light model, sent at once.
    void SetAmbient(const TColor4f& colour);
    const TColor4f& Ambient() const { return FAmbient; }

    void InitContext() override;

private:
    int FMaxLights = 0;
    TColor4f FAmbient{0, 0, 0, 1};
    uint32_t FSlotMask = 0;
};

// Dirty bits of a material's parameters.
enum : uint32_t {
    mdAmbient = 0x1,
    mdDiffuse = 0x2,
    mdSpecular = 0x8,
    mdEmission = 0x10,
    mdShininess = 0x20,
    mdAll = 0x3B,
};

class TGLMaterialList;

class TGLMaterial : public TGLItem {
public:
    explicit TGLMaterial(TGLMaterialList* owner = nullptr);

    void SetAmbient(const TColor4f& c);
    void SetDiffuse(const TColor4f& c);
    void SetSpecular(const TColor4f& c);
    void SetEmission(const TColor4f& c);
    void SetShininess(float v);
    // Changing the faces marks every parameter dirty.
    void SetFront(bool v);
    void SetBack(bool v);

    const TColor4f& Ambient() const { return FAmbient; }
    const TColor4f& Diffuse() const { return FDiffuse; }
    const TColor4f& Specular() const { return FSpecular; }
    const TColor4f& Emission() const { return FEmission; }
    float Shininess() const { return FShininess; }
    bool Front() const { return FFront; }
    bool Back() const { return FBack; }
    uint32_t DirtyMask() const { return FDirty; }

    // Sends the dirty parameters to the chosen faces.
    void Apply();
    void ApplyAll();

private:
    TColor4f FAmbient{0.2f, 0.2f, 0.2f, 1};
    TColor4f FDiffuse{0.8f, 0.8f, 0.8f, 1};
    TColor4f FSpecular{0, 0, 0, 0};
    TColor4f FEmission{0, 0, 0, 0};
    float FShininess = 0;
    uint32_t FDirty = 0;
    bool FBack = false;
    bool FFront = true;
};

class TGLMaterialList : public TGLItemList {
public:
    using TGLItemList::TGLItemList;

    TGLMaterial* Add();
    TGLMaterial* Items(int index) const { return static_cast<TGLMaterial*>(TGLItemList::Items(index)); }
    void InitContext() override;

    // Light both faces, with the specular colour added after texturing.
    bool TwoSidedLighting = false;
    bool SeparateSpecularSupported() const { return FSeparateSpecular; }

private:
    bool FSeparateSpecular = false;
};

struct TGLBox {
    double Left, Right, Bottom, Top, Near, Far;
};

// One record of the selection buffer.
struct TGLHit {
    GLuint NameCount = 0;
    GLuint MinDepth = 0;
    GLuint MaxDepth = 0;
    // The names on the stack at the hit, NameCount of them.
    const GLuint* Names = nullptr;
};

class TGLViewportList;

// The drawing area with its projection and camera.
class TGLViewport : public TGLItem {
public:
    explicit TGLViewport(TGLViewportList* owner = nullptr);

    void SetViewport(int x, int y, int width, int height);
    void SetFrustum(double left, double right, double bottom, double top, double nearZ, double farZ);
    void SetOrtho(double left, double right, double bottom, double top, double nearZ, double farZ);
    // Frustum from a vertical field of view in degrees.
    void SetPerspective(double fovy, double aspect, double nearZ, double farZ);
    // Up in `second`, view direction in `first` (MakeOrientation(direction, up)).
    void SetOrientation(const TOrientation& orientation);
    void SetUp(const TVector3f& up);
    void SetDirection(const TVector3f& direction);
    void SetEye(const TVector3f& eye) { FEye = eye; }

    int X() const { return FX; }
    int Y() const { return FY; }
    int Width() const { return FWidth; }
    int Height() const { return FHeight; }
    const TGLBox& Frustum() const { return FFrustum; }
    const TGLBox& Ortho() const { return FOrtho; }
    const TVector3f& Up() const { return FOrientation.second; }
    const TVector3f& Direction() const { return FOrientation.first; }
    const TVector3f& Eye() const { return FEye; }

    bool Perspective = true;

    // Viewport, projection and camera.
    void Apply();
    // Picking: the next drawing goes to the selection buffer, restricted to
    // width x height pixels around window point (x, y) (y counted from the top).
    void Select(int x, int y, int width, int height);
    // Back to rendering; the nearest record becomes the current hit.
    void EndSelect();
    // The record found by the last EndSelect, or nullptr.
    const TGLHit* CurrentHit() const { return FHasHit ? &FHit : nullptr; }

private:
    void ApplyProjection();
    void ApplyCamera();

    int FX = 0, FY = 0, FWidth = 100, FHeight = 100;
    TGLBox FOrtho{-1, 1, -1, 1, 1, 100};
    TGLBox FFrustum{-1, 1, -1, 1, 1, 100};
    TOrientation FOrientation{{0, 1, 0}, {0, 0, -1}};
    TVector3f FEye{0, 0, 0};
    TGLHit FHit;
    bool FHasHit = false;
    std::array<GLuint, 512> FSelectBuffer{};
};

class TGLViewportList : public TGLItemList {
public:
    using TGLItemList::TGLItemList;

    TGLViewport* Add();
    TGLViewport* Items(int index) const { return static_cast<TGLViewport*>(TGLItemList::Items(index)); }
};

class TGLDisplayListList;

// A range of display lists compiled by a callback.
class TGLDisplayList : public TGLItem {
public:
    using TBuildEvent = std::function<void(TGLDisplayList&)>;

    TGLDisplayList(TGLDisplayListList* owner, int count, TBuildEvent onBuild);
    ~TGLDisplayList() override;

    // Generates count list names and calls the callback to compile them.
    void Build();
    // Deletes the compiled lists.
    void FreeLists();

    bool Compiled() const { return FCompiled; }
    GLuint First() const { return FFirst; }
    int ListCount() const { return FCount; }

private:
    TBuildEvent FOnBuild;
    bool FCompiled = false;
    GLuint FFirst = 0;
    int FCount;
};

// Registry of display-list builders. The context builds every entry when it
// has been activated and frees them when it is deactivated.
class TGLDisplayListList : public TGLItemList {
public:
    using TGLItemList::TGLItemList;

    TGLDisplayList* Add(int count, TGLDisplayList::TBuildEvent onBuild);
    TGLDisplayList* Items(int index) const { return static_cast<TGLDisplayList*>(TGLItemList::Items(index)); }
    void BuildAll();
    void FreeAll();
};
