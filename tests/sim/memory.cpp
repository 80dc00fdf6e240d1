#include <atomic>
#include <cstdlib>

#include "sim/faults_internal.h"
#include "sim/memory_control.h"
#include "sim/memory.h"

namespace {

std::atomic<int> g_liveTaskMemBlocks{0};

}  // namespace

LPVOID WINAPI CoTaskMemAlloc(SIZE_T cb)
{
    if (sim::internal::Injected(sim::Op::Allocation))
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
    if (sim::internal::Injected(sim::Op::Allocation))
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

int LiveTaskMemBlocks() { return g_liveTaskMemBlocks; }

}  // namespace sim
