#include "render/gl_arrays.h"

#include <cstring>

namespace {

// Sizes the array to n elements and copies n elements' worth of bytes.
void Fill(TDArray& array, const void* source, int n) {
    if (n < 0 || source == nullptr) n = 0;
    array.SetCount(n);
    if (n > 0) std::memcpy(array.Data(), source, array.ByteSize());
}

}  // namespace

TVector3f TGLVectorDArray::Get(int index) const {
    TVector3f v;
    GetItem(index, &v);
    return v;
}

void TGLVectorDArray::Set(int index, const TVector3f& value) { SetItem(index, &value); }

void TGLVectorDArray::Assign(const float* xyz, int n) { Fill(*this, xyz, n); }

void TGLVectorDArray::Zero() {
    if (Count() > 0) std::memset(Data(), 0, ByteSize());
}

TByteColor TGLColorDArray::Get(int index) const {
    uint8_t b[4];
    GetItem(index, b);
    return MakeByteColor(b[0], b[1], b[2], b[3]);
}

void TGLColorDArray::Set(int index, TByteColor value) {
    const uint8_t b[4] = {static_cast<uint8_t>(value), static_cast<uint8_t>(value >> 8),
                          static_cast<uint8_t>(value >> 16), static_cast<uint8_t>(value >> 24)};
    SetItem(index, b);
}

void TGLColorDArray::Assign(const TByteColor* colours, int n) {
    if (n < 0 || colours == nullptr) n = 0;
    SetCount(n);
    for (int i = 0; i < n; ++i) Set(i, colours[i]);
}

void TGLColorDArray::AssignRGBA(const uint8_t* rgba, int n) { Fill(*this, rgba, n); }

void TGLColorDArray::AssignRGB(const uint8_t* rgb, int n) {
    if (n < 0 || rgb == nullptr) n = 0;
    SetCount(n);
    uint8_t* out = Bytes();
    for (int i = 0; i < n; ++i, rgb += 3, out += 4) {
        out[0] = rgb[0];
        out[1] = rgb[1];
        out[2] = rgb[2];
        out[3] = 255;
    }
}

TVector2f TGLTextureCoordDArray::Get(int index) const {
    TVector2f v;
    GetItem(index, &v);
    return v;
}

void TGLTextureCoordDArray::Set(int index, const TVector2f& value) { SetItem(index, &value); }

void TGLTextureCoordDArray::Assign(const float* st, int n) { Fill(*this, st, n); }

int16_t TGLIndexDArray::Get(int index) const {
    int16_t v;
    GetItem(index, &v);
    return v;
}

void TGLIndexDArray::Set(int index, int16_t value) { SetItem(index, &value); }

void TGLIndexDArray::Assign(const int16_t* values, int n) { Fill(*this, values, n); }

bool TGLIndexDArray::AllBelow(int vertexCount) const {
    const int16_t* p = Indices();
    const int n = Count();
    uint16_t highest = 0;
    for (int i = 0; i < n; ++i) {
        const uint16_t v = static_cast<uint16_t>(p[i]);
        if (v > highest) highest = v;
    }
    return n == 0 || static_cast<int>(highest) < vertexCount;
}
