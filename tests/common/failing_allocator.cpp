// The test binary's global allocation operators, with a countdown that makes one of them fail, so
// that allocation failures of the system's own objects are testable. The throwing forms throw
// std::bad_alloc, as the language requires.
#include "failing_allocator.h"

#include <atomic>
#include <cstdlib>
#include <new>

namespace {

std::atomic<int> g_newCountdown{-1};

bool ShouldFailNew()
{
    int current = g_newCountdown.load();
    while (current >= 0) {
        if (g_newCountdown.compare_exchange_weak(current, current - 1))
            return current == 0;
    }
    return false;
}

}  // namespace

void test::FailOperatorNewAfter(int allocations) { g_newCountdown = allocations; }
int test::OperatorNewCountdown() { return g_newCountdown.load(); }

void* operator new(std::size_t size)
{
    if (ShouldFailNew())
        throw std::bad_alloc();
    if (void* block = std::malloc(size ? size : 1))
        return block;
    throw std::bad_alloc();
}

void* operator new[](std::size_t size) { return operator new(size); }

void* operator new(std::size_t size, const std::nothrow_t&) noexcept
{
    if (ShouldFailNew())
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
