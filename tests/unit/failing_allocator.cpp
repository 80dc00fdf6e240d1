// The test binary's global allocation operators: they fail when the simulated platform's
// allocation countdown says so (sim::FailAllocationAfter), so allocation failures of the system's
// own objects are testable. The throwing forms throw std::bad_alloc, as the language requires.
#include <cstdlib>
#include <new>

#include "platform/sim/memory_control.h"

void* operator new(std::size_t size)
{
    if (sim::ShouldFailAllocation())
        throw std::bad_alloc();
    if (void* block = std::malloc(size ? size : 1))
        return block;
    throw std::bad_alloc();
}

void* operator new[](std::size_t size) { return operator new(size); }

void* operator new(std::size_t size, const std::nothrow_t&) noexcept
{
    if (sim::ShouldFailAllocation())
        return nullptr;
    return std::malloc(size ? size : 1);
}

void* operator new[](std::size_t size, const std::nothrow_t& tag) noexcept { return operator new(size, tag); }

void operator delete(void* block) noexcept { std::free(block); }
void operator delete[](void* block) noexcept { std::free(block); }
void operator delete(void* block, std::size_t) noexcept { std::free(block); }
void operator delete[](void* block, std::size_t) noexcept { std::free(block); }
void operator delete(void* block, const std::nothrow_t&) noexcept { std::free(block); }
void operator delete[](void* block, const std::nothrow_t&) noexcept { std::free(block); }
