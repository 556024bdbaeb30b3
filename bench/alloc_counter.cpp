// Replaces every form of the global operator new and delete with versions
// that count their calls and then use malloc and free.
#include "bench/alloc_counter.h"

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <new>

namespace {

std::atomic<uint64_t> News{0};
std::atomic<uint64_t> Deletes{0};
std::atomic<uint64_t> Bytes{0};

void Count(std::size_t size) {
    News.fetch_add(1, std::memory_order_relaxed);
    Bytes.fetch_add(size, std::memory_order_relaxed);
}

// The standard's loop: retry through the new-handler until it gives up.
void* Allocate(std::size_t size) {
    Count(size);
    if (size == 0) size = 1;
    for (;;) {
        if (void* p = std::malloc(size)) return p;
        std::new_handler handler = std::get_new_handler();
        if (!handler) throw std::bad_alloc();
        handler();
    }
}

void* AllocateAligned(std::size_t size, std::align_val_t alignment) {
    Count(size);
    std::size_t align = static_cast<std::size_t>(alignment);
    if (align < sizeof(void*)) align = sizeof(void*);
    // aligned_alloc wants a size that is a multiple of the alignment.
    if (size > SIZE_MAX - align) throw std::bad_alloc();
    std::size_t rounded = size == 0 ? align : (size + align - 1) / align * align;
    for (;;) {
        if (void* p = std::aligned_alloc(align, rounded)) return p;
        std::new_handler handler = std::get_new_handler();
        if (!handler) throw std::bad_alloc();
        handler();
    }
}

void Free(void* p) noexcept {
    if (!p) return;
    Deletes.fetch_add(1, std::memory_order_relaxed);
    std::free(p);
}

}  // namespace

namespace bench {

TAllocationCounts AllocationCounts() {
    TAllocationCounts counts;
    counts.News = News.load(std::memory_order_relaxed);
    counts.Deletes = Deletes.load(std::memory_order_relaxed);
    counts.Bytes = Bytes.load(std::memory_order_relaxed);
    return counts;
}

}  // namespace bench

void* operator new(std::size_t size) { return Allocate(size); }
void* operator new[](std::size_t size) { return Allocate(size); }
void* operator new(std::size_t size, const std::nothrow_t&) noexcept {
    try {
        return Allocate(size);
    } catch (...) {
        return nullptr;
    }
}
void* operator new[](std::size_t size, const std::nothrow_t&) noexcept {
    try {
        return Allocate(size);
    } catch (...) {
        return nullptr;
    }
}
void* operator new(std::size_t size, std::align_val_t alignment) { return AllocateAligned(size, alignment); }
void* operator new[](std::size_t size, std::align_val_t alignment) { return AllocateAligned(size, alignment); }
void* operator new(std::size_t size, std::align_val_t alignment, const std::nothrow_t&) noexcept {
    try {
        return AllocateAligned(size, alignment);
    } catch (...) {
        return nullptr;
    }
}
void* operator new[](std::size_t size, std::align_val_t alignment, const std::nothrow_t&) noexcept {
    try {
        return AllocateAligned(size, alignment);
    } catch (...) {
        return nullptr;
    }
}

void operator delete(void* p) noexcept { Free(p); }
void operator delete[](void* p) noexcept { Free(p); }
void operator delete(void* p, std::size_t) noexcept { Free(p); }
void operator delete[](void* p, std::size_t) noexcept { Free(p); }
void operator delete(void* p, const std::nothrow_t&) noexcept { Free(p); }
void operator delete[](void* p, const std::nothrow_t&) noexcept { Free(p); }
void operator delete(void* p, std::align_val_t) noexcept { Free(p); }
void operator delete[](void* p, std::align_val_t) noexcept { Free(p); }
void operator delete(void* p, std::size_t, std::align_val_t) noexcept { Free(p); }
void operator delete[](void* p, std::size_t, std::align_val_t) noexcept { Free(p); }
void operator delete(void* p, std::align_val_t, const std::nothrow_t&) noexcept { Free(p); }
void operator delete[](void* p, std::align_val_t, const std::nothrow_t&) noexcept { Free(p); }
