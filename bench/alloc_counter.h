// Counts the calls of the global operator new and delete in a benchmark
// executable, so a benchmark can show how many allocations a piece of
// per-frame code makes. Only executables that link alloc_counter.cpp count;
// memory taken with malloc directly (C libraries) is not seen.
#pragma once

#include <cstdint>

namespace bench {

struct TAllocationCounts {
    uint64_t News = 0;     // calls of any operator new
    uint64_t Deletes = 0;  // calls of any operator delete with a non-null pointer
    uint64_t Bytes = 0;    // bytes asked for by those news
};

// The totals since the process started, from every thread.
TAllocationCounts AllocationCounts();

// Counts the allocations made since its construction.
class TAllocationProbe {
public:
    TAllocationProbe() : FStart(AllocationCounts()) {}
    // News since construction.
    uint64_t News() const { return AllocationCounts().News - FStart.News; }
    uint64_t Bytes() const { return AllocationCounts().Bytes - FStart.Bytes; }

private:
    TAllocationCounts FStart;
};

}  // namespace bench
