// The benchmarks' allocation counter, linked into this test executable the
// way a benchmark links it, so these checks see the replaced operators.
#include "bench/alloc_counter.cpp"

#include <cstdint>
#include <memory>
#include <new>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

namespace {

// Stores keep the compiler from dropping a new/delete pair.
void* volatile Sink = nullptr;

struct alignas(64) TWide {
    char Bytes[64];
};

TEST(AllocCounterTest, CountsEveryFormOfNew) {
    bench::TAllocationProbe probe;
    const uint64_t deletesBefore = bench::AllocationCounts().Deletes;

    int* one = new int(1);
    Sink = one;
    delete one;
    int* many = new int[10];
    Sink = many;
    delete[] many;
    int* quiet = new (std::nothrow) int;
    Sink = quiet;
    delete quiet;
    TWide* wide = new TWide;
    Sink = wide;
    EXPECT_EQ(reinterpret_cast<uintptr_t>(wide) % alignof(TWide), 0u);
    delete wide;
    TWide* wideMany = new TWide[3];
    Sink = wideMany;
    EXPECT_EQ(reinterpret_cast<uintptr_t>(wideMany) % alignof(TWide), 0u);
    delete[] wideMany;

    EXPECT_EQ(probe.News(), 5u);
    EXPECT_EQ(bench::AllocationCounts().Deletes - deletesBefore, 5u);
    EXPECT_GE(probe.Bytes(), sizeof(int) * 12 + sizeof(TWide) * 4);
}

TEST(AllocCounterTest, DeletingNullIsNoRelease) {
    const uint64_t before = bench::AllocationCounts().Deletes;
    int* none = nullptr;
    Sink = none;
    delete static_cast<int*>(Sink);
    ::operator delete(nullptr);
    EXPECT_EQ(bench::AllocationCounts().Deletes, before);
}

#if defined(__SANITIZE_ADDRESS__)
#define MARIVELLE_ASAN 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define MARIVELLE_ASAN 1
#endif
#endif

TEST(AllocCounterTest, FailedAllocationThrowsOrReturnsNull) {
#ifdef MARIVELLE_ASAN
    GTEST_SKIP() << "AddressSanitizer ends the process on an impossible malloc";
#endif
    bench::TAllocationProbe probe;
    // Read at run time, so the compiler does not reject the size itself.
    volatile size_t hugeSize = SIZE_MAX - 8;
    const size_t huge = hugeSize;
    EXPECT_THROW(Sink = ::operator new(huge), std::bad_alloc);
    EXPECT_EQ(::operator new(huge, std::nothrow), nullptr);
    EXPECT_THROW(Sink = ::operator new(huge, std::align_val_t{64}), std::bad_alloc);
    EXPECT_EQ(::operator new(huge, std::align_val_t{64}, std::nothrow), nullptr);
    EXPECT_EQ(probe.News(), 4u) << "a failed call still counts as an attempt";
}

TEST(AllocCounterTest, CountsFromEveryThread) {
    constexpr int Threads = 4, PerThread = 1000;
    bench::TAllocationProbe probe;
    std::vector<std::thread> threads;
    threads.reserve(Threads);
    const uint64_t startNews = probe.News();  // the reserve above
    for (int t = 0; t < Threads; ++t)
        threads.emplace_back([] {
            for (int i = 0; i < PerThread; ++i) {
                auto p = std::make_unique<long>(i);
                Sink = p.get();
            }
        });
    for (auto& thread : threads) thread.join();
    // Starting a thread allocates its state too; every make_unique counts.
    EXPECT_GE(probe.News() - startNews, static_cast<uint64_t>(Threads) * PerThread);
    EXPECT_LE(probe.News() - startNews, static_cast<uint64_t>(Threads) * (PerThread + 8));
}

}  // namespace
