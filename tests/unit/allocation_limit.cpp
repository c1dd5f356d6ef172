// The test program's own operator new, so a test can make large allocations fail.
#include "tests/unit/allocation_limit.h"

#include <cstdlib>
#include <new>

std::atomic<std::size_t> failAllocationsFrom = 0;

void* operator new(std::size_t size)
{
    const std::size_t limit = failAllocationsFrom.load();
    if (limit != 0 && size >= limit)
        throw std::bad_alloc();
    if (void* memory = std::malloc(size ? size : 1))
        return memory;
    throw std::bad_alloc();
}

void* operator new[](std::size_t size) { return operator new(size); }
void operator delete(void* memory) noexcept { std::free(memory); }
void operator delete[](void* memory) noexcept { std::free(memory); }
void operator delete(void* memory, std::size_t) noexcept { std::free(memory); }
void operator delete[](void* memory, std::size_t) noexcept { std::free(memory); }
