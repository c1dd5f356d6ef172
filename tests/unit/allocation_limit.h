// Lack of memory on demand: while set, every allocation of at least that many bytes throws.
#pragma once

#include <atomic>
#include <cstddef>

extern std::atomic<std::size_t> failAllocationsFrom;  // 0: none fails

// Sets the limit for its lifetime.
struct AllocationLimit {
    explicit AllocationLimit(std::size_t bytes) { failAllocationsFrom = bytes; }
    ~AllocationLimit() { failAllocationsFrom = 0; }
};
