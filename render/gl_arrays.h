// Typed vertex-data arrays that GL reads in place: positions and normals,
// byte colours, texture coordinates and 16-bit indices. Each fixes the
// element size of its TDArray; the bulk fills size the array to n elements.
#pragma once

#include <cstdint>

#include "core/containers.h"
#include "core/vecmath.h"

// Three floats per element (12 bytes).
class TGLVectorDArray : public TDArray {
public:
    TGLVectorDArray() : TDArray(12) {}

    TVector3f* Vectors() { return As<TVector3f>(); }
    const TVector3f* Vectors() const { return As<TVector3f>(); }
    TVector3f Get(int index) const;
    void Set(int index, const TVector3f& value);
    // From 3n floats (x, y, z per element).
    void Assign(const float* xyz, int n);
    void Zero();
};

// Four bytes per element: red, green, blue, alpha.
class TGLColorDArray : public TDArray {
public:
    TGLColorDArray() : TDArray(4) {}

    uint8_t* Bytes() { return static_cast<uint8_t*>(Data()); }
    const uint8_t* Bytes() const { return static_cast<const uint8_t*>(Data()); }
    TByteColor Get(int index) const;
    void Set(int index, TByteColor value);
    // From n packed colours, 4n bytes (red, green, blue, alpha), or 3n bytes
    // (red, green, blue; alpha becomes 255).
    void Assign(const TByteColor* colours, int n);
    void AssignRGBA(const uint8_t* rgba, int n);
    void AssignRGB(const uint8_t* rgb, int n);
};

// Two floats per element: s, t (8 bytes).
class TGLTextureCoordDArray : public TDArray {
public:
    TGLTextureCoordDArray() : TDArray(8) {}

    TVector2f* Coords() { return As<TVector2f>(); }
    const TVector2f* Coords() const { return As<TVector2f>(); }
    TVector2f Get(int index) const;
    void Set(int index, const TVector2f& value);
    // From 2n floats (s, t per element).
    void Assign(const float* st, int n);
};

// One 16-bit index per element. GL reads them as unsigned shorts.
class TGLIndexDArray : public TDArray {
public:
    TGLIndexDArray() : TDArray(2) {}

    int16_t* Indices() { return As<int16_t>(); }
    const int16_t* Indices() const { return As<int16_t>(); }
    int16_t Get(int index) const;
    void Set(int index, int16_t value);
    void Assign(const int16_t* values, int n);
    // True when every index, read as GL reads it, is below vertexCount.
    bool AllBelow(int vertexCount) const;
};
