// Growable array of fixed-size elements whose buffer GL reads in place, and
// an owning list of objects.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <type_traits>
#include <utility>
#include <vector>

#include "core/errors.h"

// Every size change reallocates to the exact size, zero-filling new elements,
// so callers size an array once and then fill it. Typed descendants fix the
// element size in their constructor.
class TDArray {
public:
    TDArray() = default;
    virtual ~TDArray() = default;

    TDArray(const TDArray&) = delete;
    TDArray& operator=(const TDArray&) = delete;
    TDArray(TDArray&& other) noexcept { *this = std::move(other); }
    TDArray& operator=(TDArray&& other) noexcept {
        if (this == &other) return *this;
        Buffer = std::move(other.Buffer);
        Length = std::exchange(other.Length, 0);
        Stride = other.Stride;
        return *this;
    }

    // The raw buffer, or null when the array is empty.
    void* Data() { return Buffer.get(); }
    const void* Data() const { return Buffer.get(); }
    int Count() const { return Length; }
    int ElementSize() const { return Stride; }
    size_t ByteSize() const { return static_cast<size_t>(Length) * static_cast<size_t>(Stride); }

    // The buffer seen as elements of T, which must be ElementSize bytes.
    template <class T>
    T* As() {
        static_assert(std::is_trivially_copyable_v<T>);
        CheckType(sizeof(T));
        return reinterpret_cast<T*>(Buffer.get());
    }
    template <class T>
    const T* As() const {
        static_assert(std::is_trivially_copyable_v<T>);
        CheckType(sizeof(T));
        return reinterpret_cast<const T*>(Buffer.get());
    }

    // Copy one element (ElementSize bytes) out of or into the array.
    void GetItem(int index, void* out) const;
    void SetItem(int index, const void* value);

    void Grow(int n);
    void Shrink(int n);
    void SetCount(int n);
    // Sizes target like this array and copies the bytes; an empty source
    // leaves target untouched.
    void AssignTo(TDArray* target) const;

protected:
    explicit TDArray(int elementSize);

private:
    void CheckType(size_t size) const;
    void Reallocate(int count);

    std::unique_ptr<unsigned char[]> Buffer;
    int Length = 0;
    int Stride = 1;
};

// A list that owns its objects. Clear (and the destructor) frees them in
// index order; the list is already empty while they are being freed.
template <class T>
class TBaseList {
public:
    TBaseList() = default;
    ~TBaseList() { Clear(); }

    TBaseList(const TBaseList&) = delete;
    TBaseList& operator=(const TBaseList&) = delete;
    TBaseList(TBaseList&&) noexcept = default;
    TBaseList& operator=(TBaseList&& other) noexcept {
        if (this != &other) {
            Clear();
            Items = std::move(other.Items);
        }
        return *this;
    }

    // Appends object and returns it; the list owns it from now on.
    T* Add(std::unique_ptr<T> object) {
        T* p = object.get();
        Items.push_back(std::move(object));
        return p;
    }

    T* Get(int index) const {
        if (index < 0 || static_cast<size_t>(index) >= Items.size())
            throw Exception("TBaseList Get: index out of bounds.");
        return Items[static_cast<size_t>(index)].get();
    }

    int Count() const { return static_cast<int>(Items.size()); }

    void Clear() {
        std::vector<std::unique_ptr<T>> dying = std::move(Items);
        Items.clear();
        for (auto& p : dying) p.reset();
    }

    auto begin() const { return Items.begin(); }
    auto end() const { return Items.end(); }

protected:
    std::vector<std::unique_ptr<T>> Items;
};
