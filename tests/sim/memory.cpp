#include <atomic>
#include <cstdlib>

#include "sim/memory_control.h"
#include "sim/memory.h"

namespace {

std::atomic<int> g_failCountdown{-1};
std::atomic<int> g_liveTaskMemBlocks{0};

}  // namespace

LPVOID WINAPI CoTaskMemAlloc(SIZE_T cb)
{
    if (sim::ShouldFailAllocation())
        return nullptr;
    void* block = std::malloc(cb ? cb : 1);
    if (block)
        ++g_liveTaskMemBlocks;
    return block;
}

LPVOID WINAPI CoTaskMemRealloc(LPVOID pv, SIZE_T cb)
{
    if (!pv)
        return CoTaskMemAlloc(cb);
    if (cb == 0) {
        CoTaskMemFree(pv);
        return nullptr;
    }
    if (sim::ShouldFailAllocation())
        return nullptr;
    return std::realloc(pv, cb);
}

void WINAPI CoTaskMemFree(LPVOID pv)
{
    if (!pv)
        return;
    --g_liveTaskMemBlocks;
    std::free(pv);
}

namespace sim {

void FailAllocationAfter(int allocations) { g_failCountdown = allocations; }
int AllocationCountdown() { return g_failCountdown.load(); }

bool ShouldFailAllocation()
{
    int current = g_failCountdown.load();
    while (current >= 0) {
        if (g_failCountdown.compare_exchange_weak(current, current - 1))
            return current == 0;
    }
    return false;
}

int LiveTaskMemBlocks() { return g_liveTaskMemBlocks; }

}  // namespace sim
