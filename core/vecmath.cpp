#include "core/vecmath.h"

#include "core/errors.h"
#include "core/strutil.h"

#include <cmath>
#include <limits>
#include <string_view>
#include <vector>

TVector3f MakeVector(float x, float y, float z) { return {x, y, z}; }
TVector2f MakeVector2(float x, float y) { return {x, y}; }
TColor4f MakeColor(float r, float g, float b, float a) { return {r, g, b, a}; }

TByteColor MakeByteColor(uint8_t r, uint8_t g, uint8_t b, uint8_t a) {
    return static_cast<TByteColor>(r) | static_cast<TByteColor>(g) << 8 | static_cast<TByteColor>(b) << 16 |
           static_cast<TByteColor>(a) << 24;
}

// Components outside 0..1 saturate instead of spilling into the next byte.
static uint8_t ComponentToByte(float c) {
    int64_t v = Round64(static_cast<long double>(c) * 255);
    return static_cast<uint8_t>(v < 0 ? 0 : v > 255 ? 255 : v);
}

TByteColor ColorToByteColor(const TColor4f& c) {
    return MakeByteColor(ComponentToByte(c.r), ComponentToByte(c.g), ComponentToByte(c.b), ComponentToByte(c.a));
}

TColor4f ByteColorToColor(TByteColor b) {
    return {static_cast<float>(b & 0xFF) / 255.0f, static_cast<float>(b >> 8 & 0xFF) / 255.0f,
            static_cast<float>(b >> 16 & 0xFF) / 255.0f, static_cast<float>(b >> 24) / 255.0f};
}

TColor4f ByteColorToColor3(TByteColor b) {
    TColor4f c = ByteColorToColor(b);
    c.a = 1.0f;
    return c;
}

TByteColor SetOpaque(TByteColor b) { return b | 0xFF000000u; }
TByteColor StripAlpha(TByteColor b) { return b & 0x00FFFFFFu; }

TOrientation MakeOrientation(const TVector3f& first, const TVector3f& second) {
    return {Normalize(second), Normalize(first)};
}

TVector3f Normalize(const TVector3f& v) {
    long double x = v.x, y = v.y, z = v.z;
    long double length = std::sqrt(x * x + y * y + z * z);
    if (length == 0) return v;
    return {static_cast<float>(x / length), static_cast<float>(y / length), static_cast<float>(z / length)};
}

void NormalizeArray(const TVector3f* source, TVector3f* target, int n) {
    for (int i = 0; i < n; ++i) target[i] = Normalize(source[i]);
}

void TransformArray(const TVector3f* source, TVector3f* target, int n, const TMatrix4f& m) {
    const float* k = m.m;
    for (int i = 0; i < n; ++i) {
        const float x = source[i].x, y = source[i].y, z = source[i].z;
        target[i] = {x * k[0] + y * k[4] + z * k[8] + k[12], x * k[1] + y * k[5] + z * k[9] + k[13],
                     x * k[2] + y * k[6] + z * k[10] + k[14]};
    }
}

void RotateZArray(const TVector3f* source, TVector3f* target, int n, float angle) {
    const long double radians = DegToRad(angle);
    const float s = static_cast<float>(std::sin(radians)), c = static_cast<float>(std::cos(radians));
    for (int i = 0; i < n; ++i) {
        const float x = source[i].x, y = source[i].y;
        target[i] = {x * c - y * s, x * s + y * c, source[i].z};
    }
}

void LerpArray(const TVector3f* a, const TVector3f* b, TVector3f* target, float t, int n) {
    for (int i = 0; i < n; ++i) {
        const TVector3f p = a[i], q = b[i];
        target[i] = {p.x + t * (q.x - p.x), p.y + t * (q.y - p.y), p.z + t * (q.z - p.z)};
    }
}

void BoundsInit(const TVector3f& v, TBounds3f& box) { box = {v.x, v.y, v.z, v.x, v.y, v.z}; }

void BoundsExtend(const TVector3f& v, TBounds3f& box) {
    if (v.x < box.minX) box.minX = v.x;
    if (v.y < box.minY) box.minY = v.y;
    if (v.z < box.minZ) box.minZ = v.z;
    if (v.x > box.maxX) box.maxX = v.x;
    if (v.y > box.maxY) box.maxY = v.y;
    if (v.z > box.maxZ) box.maxZ = v.z;
}

TBounds3f MakeBounds(float minX, float minY, float minZ, float maxX, float maxY, float maxZ) {
    return {minX, minY, minZ, maxX, maxY, maxZ};
}

void MatrixMultiply(const TMatrix4f& a, const TMatrix4f& b, TMatrix4f& out) {
    TMatrix4f r;
    for (int i = 0; i < 4; ++i)
        for (int j = 0; j < 4; ++j) {
            float sum = 0;
            for (int k = 0; k < 4; ++k) sum += a.m[i * 4 + k] * b.m[k * 4 + j];
            r.m[i * 4 + j] = sum;
        }
    out = r;
}

TMatrix4f IdentityMatrix() {
    TMatrix4f r;
    r.m[0] = r.m[5] = r.m[10] = r.m[15] = 1;
    return r;
}

void RotationXMatrix(TMatrix4f& out, float angle) {
    const long double radians = DegToRad(angle);
    const float s = static_cast<float>(std::sin(radians)), c = static_cast<float>(std::cos(radians));
    out = IdentityMatrix();
    out.m[5] = c;
    out.m[6] = s;
    out.m[9] = -s;
    out.m[10] = c;
}

namespace {
struct Vec3d {
    double x, y, z;
};

void NormalizeIfLong(Vec3d& v) {
    const double length = std::sqrt(v.x * v.x + v.y * v.y + v.z * v.z);
    if (length > 0) {
        v.x /= length;
        v.y /= length;
        v.z /= length;
    }
}

Vec3d Cross(const Vec3d& a, const Vec3d& b) {
    return {a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x};
}
}  // namespace

void LookAtMatrix(TMatrix4f& out, const TVector3f& eye, const TVector3f& centre, const TVector3f& up) {
    Vec3d f{static_cast<double>(eye.x) - centre.x, static_cast<double>(eye.y) - centre.y,
            static_cast<double>(eye.z) - centre.z};
    NormalizeIfLong(f);
    Vec3d s = Cross({up.x, up.y, up.z}, f);
    NormalizeIfLong(s);
    Vec3d u = Cross(f, s);
    NormalizeIfLong(u);
    const double values[16] = {s.x, s.y, s.z, 0, u.x, u.y, u.z, 0, f.x, f.y, f.z, 0, -eye.x, -eye.y, -eye.z, 1};
    for (int i = 0; i < 16; ++i) out.m[i] = static_cast<float>(values[i]);
}

void SinCos(float angle, float& sine, float& cosine) {
    const double a = angle;
    sine = static_cast<float>(std::sin(a));
    cosine = static_cast<float>(std::cos(a));
}

long double Tan(long double x) { return std::tan(x); }

long double Power(long double x, int n) {
    // Magnitude as unsigned so that the most negative n does not overflow.
    unsigned int e = n < 0 ? 0u - static_cast<unsigned int>(n) : static_cast<unsigned int>(n);
    long double result = 1, base = x;
    while (e != 0) {
        if (e & 1u) result *= base;
        base *= base;
        e >>= 1;
    }
    return n < 0 ? 1 / result : result;
}

long double DegToRad(long double x) { return x * 0.017453292519943295769L; }
float DegToRadF(float x) { return x * 0.017453292f; }
float RadToDegF(float x) { return x * 57.29578f; }

// Conversions saturate at the 64/32-bit limits and read NaN as 0, so that
// a bad value cannot invoke an undefined conversion.
template <class I, class F>
static I Saturate(F x) {
    if (std::isnan(x)) return 0;
    if (x >= static_cast<F>(std::numeric_limits<I>::max())) return std::numeric_limits<I>::max();
    if (x <= static_cast<F>(std::numeric_limits<I>::min())) return std::numeric_limits<I>::min();
    return static_cast<I>(x);
}

int64_t Round64(long double x) {
    long double r = std::round(x);  // ties away from zero
    if (std::fabs(x - std::trunc(x)) == 0.5L) r = 2 * std::round(x / 2);
    return Saturate<int64_t>(r);
}

int64_t Trunc64(long double x) { return Saturate<int64_t>(std::trunc(x)); }
int32_t TruncInt(float x) { return Saturate<int32_t>(std::trunc(x)); }

float EaseInOut(float x) {
    if (x >= 0.5f) return 1 - 2 * (1 - x) * (1 - x);
    return 2 * x * x;
}

// Script text forms.

namespace {
// The comma-separated items of s, at most limit of them; a blank text has none.
std::vector<std::string_view> Items(const std::string& s, size_t limit) {
    std::vector<std::string_view> items;
    if (str::Trim(s).empty()) return items;
    items = str::Split(s, ',');
    if (items.size() > limit) items.resize(limit);
    for (auto& item : items) item = str::Trim(item);
    return items;
}

float ItemToFloat(std::string_view item) {
    const double v = str::StrToFloat(item);
    const float f = static_cast<float>(v);
    if (std::isinf(f)) throw EConvertError("'" + std::string(item) + "' is not a valid floating point value");
    return f;
}
}  // namespace

std::string ColorToStr(const TColor4f& c) {
    return str::FloatToStr(c.r) + "," + str::FloatToStr(c.g) + "," + str::FloatToStr(c.b) + "," + str::FloatToStr(c.a);
}

TColor4f StrToColor(const std::string& s) {
    float v[4] = {1, 1, 1, 1};
    const auto items = Items(s, 4);
    for (size_t i = 0; i < items.size(); ++i) v[i] = ItemToFloat(items[i]);
    return {v[0], v[1], v[2], v[3]};
}

std::string ByteColorToStr(TByteColor c) {
    return str::IntToStr(c & 0xFF) + "," + str::IntToStr(c >> 8 & 0xFF) + "," + str::IntToStr(c >> 16 & 0xFF) + "," +
           str::IntToStr(c >> 24);
}

TByteColor StrToByteColor(const std::string& s) {
    uint8_t v[4] = {255, 255, 255, 255};
    const auto items = Items(s, 4);
    for (size_t i = 0; i < items.size(); ++i) {
        const int32_t n = str::StrToInt(items[i]);
        if (n < 0 || n > 255)
            throw EConvertError("'" + std::string(items[i]) + "' is not a valid colour component (0 to 255)");
        v[i] = static_cast<uint8_t>(n);
    }
    return MakeByteColor(v[0], v[1], v[2], v[3]);
}

std::string VectorToStr(const TVector3f& v) {
    return str::FloatToStr(v.x) + "," + str::FloatToStr(v.y) + "," + str::FloatToStr(v.z);
}

TVector3f StrToVector(const std::string& s) {
    float v[3] = {0, 0, 0};
    const auto items = Items(s, 3);
    for (size_t i = 0; i < items.size(); ++i) v[i] = ItemToFloat(items[i]);
    return {v[0], v[1], v[2]};
}
