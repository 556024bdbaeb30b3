#include "core/containers.h"

#include <climits>
#include <cstring>
#include <new>

TDArray::TDArray(int elementSize) : Stride(elementSize) {
    if (elementSize <= 0) throw Exception("TDArray: invalid element size.");
}

void TDArray::CheckType(size_t size) const {
    if (size != static_cast<size_t>(Stride)) throw Exception("TDArray: element type does not match element size.");
}

void TDArray::GetItem(int index, void* out) const {
    if (index < 0 || index >= Length) throw Exception("TDArray GetItem: index out of bounds.");
    std::memcpy(out, Buffer.get() + static_cast<size_t>(index) * static_cast<size_t>(Stride), static_cast<size_t>(Stride));
}

void TDArray::SetItem(int index, const void* value) {
    if (index < 0 || index >= Length) throw Exception("TDArray SetItem: index out of bounds.");
    std::memcpy(Buffer.get() + static_cast<size_t>(index) * static_cast<size_t>(Stride), value, static_cast<size_t>(Stride));
}

// Replaces the buffer by a zero-filled one of exactly count elements holding
// the first elements of the old one.
void TDArray::Reallocate(int count) {
    if (count <= 0) {
        Buffer.reset();
        Length = 0;
        return;
    }
    size_t bytes = static_cast<size_t>(count) * static_cast<size_t>(Stride);
    std::unique_ptr<unsigned char[]> fresh;
    try {
        fresh.reset(new unsigned char[bytes]());
    } catch (const std::bad_alloc&) {
        throw Exception("TDArray: out of memory.");
    }
    size_t keep = static_cast<size_t>(count < Length ? count : Length) * static_cast<size_t>(Stride);
    if (keep > 0) std::memcpy(fresh.get(), Buffer.get(), keep);
    Buffer = std::move(fresh);
    Length = count;
}

void TDArray::Grow(int n) {
    if (n <= 0) return;
    // Count and the byte size must both stay representable.
    if (n > INT_MAX - Length || static_cast<size_t>(Length + n) > SIZE_MAX / static_cast<size_t>(Stride))
        throw Exception("TDArray Grow: size overflow.");
    Reallocate(Length + n);
}

void TDArray::Shrink(int n) {
    if (n <= 0) return;
    Reallocate(Length - n);
}

void TDArray::SetCount(int n) {
    if (n > Length)
        Grow(n - Length);
    else if (n < Length)
        Shrink(n < 0 ? Length : Length - n);
}

void TDArray::AssignTo(TDArray* target) const {
    if (target == nullptr || target == this || Length == 0) return;
    if (target->Stride != Stride) {
        target->SetCount(0);
        target->Stride = Stride;
    }
    target->SetCount(Length);
    std::memcpy(target->Buffer.get(), Buffer.get(), ByteSize());
}
