// Value types of the engine and their arithmetic: vectors, colours, 4x4
// matrices in GL memory order, bounding boxes, and their script text forms.
#pragma once

#include <cstdint>
#include <string>

struct TVector3f {
    float x = 0, y = 0, z = 0;
};

struct TVector2f {
    float x = 0, y = 0;
};

struct TColor4f {
    float r = 0, g = 0, b = 0, a = 0;
};

// Packed RGBA: red in bits 0-7, green 8-15, blue 16-23, alpha 24-31.
using TByteColor = uint32_t;

// 16 floats in the order GL takes them; translation in m[12], m[13], m[14].
struct TMatrix4f {
    float m[16] = {};
};

struct TBounds3f {
    float minX = 0, minY = 0, minZ = 0;
    float maxX = 0, maxY = 0, maxZ = 0;
};

// Two normalized directions for the viewport and camera: `second` first.
struct TOrientation {
    TVector3f second;
    TVector3f first;
};

TVector3f MakeVector(float x, float y, float z);
TVector2f MakeVector2(float x, float y);
TColor4f MakeColor(float r, float g, float b, float a);
TByteColor MakeByteColor(uint8_t r, uint8_t g, uint8_t b, uint8_t a);
TByteColor ColorToByteColor(const TColor4f& c);
TColor4f ByteColorToColor(TByteColor b);
TColor4f ByteColorToColor3(TByteColor b);
TByteColor SetOpaque(TByteColor b);
TByteColor StripAlpha(TByteColor b);
TOrientation MakeOrientation(const TVector3f& first, const TVector3f& second);

TVector3f Normalize(const TVector3f& v);
void NormalizeArray(const TVector3f* source, TVector3f* target, int n);
void TransformArray(const TVector3f* source, TVector3f* target, int n, const TMatrix4f& m);
void RotateZArray(const TVector3f* source, TVector3f* target, int n, float angle);
void LerpArray(const TVector3f* a, const TVector3f* b, TVector3f* target, float t, int n);

void BoundsInit(const TVector3f& v, TBounds3f& box);
void BoundsExtend(const TVector3f& v, TBounds3f& box);
TBounds3f MakeBounds(float minX, float minY, float minZ, float maxX, float maxY, float maxZ);

void MatrixMultiply(const TMatrix4f& a, const TMatrix4f& b, TMatrix4f& out);
TMatrix4f IdentityMatrix();
void RotationXMatrix(TMatrix4f& out, float angle);
void LookAtMatrix(TMatrix4f& out, const TVector3f& eye, const TVector3f& centre, const TVector3f& up);

void SinCos(float angle, float& sine, float& cosine);
long double Tan(long double x);
long double Power(long double x, int n);
long double DegToRad(long double x);
float DegToRadF(float x);
float RadToDegF(float x);
int64_t Round64(long double x);
int64_t Trunc64(long double x);
int32_t TruncInt(float x);
float EaseInOut(float x);

// Script text forms. Parsing takes comma-separated items (blanks around them
// allowed), at most four (colours) or three (vectors); missing components
// are 1 (float colours), 255 (byte colours) or 0 (vectors). An item that is
// not a number raises EConvertError.
std::string ColorToStr(const TColor4f& c);
TColor4f StrToColor(const std::string& s);
std::string ByteColorToStr(TByteColor c);
TByteColor StrToByteColor(const std::string& s);
std::string VectorToStr(const TVector3f& v);
TVector3f StrToVector(const std::string& s);
