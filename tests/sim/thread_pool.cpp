#include <cstdio>
#include <cstdlib>
#include <memory>
#include <mutex>
#include <new>
#include <vector>

#include "sim/faults_internal.h"
#include "sim/thread_pool_control.h"
#include "sim/threads_control.h"
#include "sim/threads_internal.h"

struct TP_TIMER {
    sim::TimerRecord record;
    sim::internal::PlatformThread* worker = nullptr;  // waits for this timer's expirations
    bool armed = false;
    DWORD dueAt = 0;
    bool closed = false;
    bool retired = false;  // the reset is under way: the worker ends
};

struct TP_CALLBACK_INSTANCE {
    HMODULE releaseOnReturn = nullptr;
};

namespace {

struct Pool {
    std::mutex mutex;
    // Kept until the reset, closed or not, so that a late use of a closed timer is seen, not a crash.
    std::vector<std::unique_ptr<TP_TIMER>> timers;
    int live = 0;
};

Pool& ThePool()
{
    static Pool* pool = new Pool;  // outlives detached workers at process exit
    return *pool;
}

[[noreturn]] void NotSimulated(const char* what)
{
    std::fprintf(stderr, "simulated thread pool: %s is not simulated\n", what);
    std::abort();
}

// The worker of one timer, started with it so that arming it later needs nothing more: it waits
// for the due time on the simulated clock, runs the callback, and ends once the timer is closed.
DWORD WINAPI TimerWorker(LPVOID parameter)
{
    TP_TIMER* timer = static_cast<TP_TIMER*>(parameter);
    Pool& pool = ThePool();
    for (;;) {
        const DWORD now = sim::Now();
        DWORD deadline = sim::internal::kNoDeadline;
        bool fire = false;
        {
            std::lock_guard<std::mutex> lock(pool.mutex);
            if (timer->retired || (timer->closed && !timer->armed))
                return 0;
            if (timer->armed && timer->dueAt <= now) {
                timer->armed = false;
                ++timer->record.firings;
                fire = true;
            } else if (timer->armed) {
                deadline = timer->dueAt;
            }
        }
        if (!fire) {
            sim::internal::WaitUntil(deadline);
            continue;
        }
        TP_CALLBACK_INSTANCE instance;
        timer->record.callback(&instance, timer->record.context, timer);
        if (instance.releaseOnReturn)
            FreeLibrary(instance.releaseOnReturn);
    }
}

}  // namespace

PTP_TIMER WINAPI CreateThreadpoolTimer(PTP_TIMER_CALLBACK pfnti, PVOID pv, PTP_CALLBACK_ENVIRON pcbe)
{
    if (pcbe || !pfnti) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    LONG injected = 0;
    if (sim::internal::Injected(sim::Op::CreateThreadpoolTimer, &injected)) {
        SetLastError(static_cast<DWORD>(injected));
        return nullptr;
    }
    Pool& pool = ThePool();
    // A shortage anywhere here is this function's failure, as on the platform.
    TP_TIMER* timer = new (std::nothrow) TP_TIMER;
    if (!timer) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return nullptr;
    }
    try {
        std::lock_guard<std::mutex> lock(pool.mutex);
        timer->record = {static_cast<unsigned>(pool.timers.size()), pfnti, pv, 0, 0, 0, 0, 0, 0};
        pool.timers.emplace_back(timer);
    } catch (...) {
        delete timer;
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return nullptr;
    }
    sim::internal::PlatformThread* worker = sim::internal::StartPlatformThread(&TimerWorker, timer);
    std::lock_guard<std::mutex> lock(pool.mutex);
    if (!worker) {
        pool.timers.pop_back();  // deletes it
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return nullptr;
    }
    timer->worker = worker;
    ++pool.live;
    return timer;
}

VOID WINAPI SetThreadpoolTimer(PTP_TIMER pti, PFILETIME pftDueTime, DWORD msPeriod, DWORD msWindowLength)
{
    if (pftDueTime && (msPeriod || msWindowLength))
        NotSimulated("a periodic or windowed timer");
    const DWORD now = sim::Now();
    Pool& pool = ThePool();
    {
        std::lock_guard<std::mutex> lock(pool.mutex);
        if (pti->closed) {
            ++pti->record.usesAfterClose;
            return;
        }
        pti->armed = pftDueTime != nullptr;
        if (pftDueTime) {
            const LONGLONG due = static_cast<LONGLONG>(
                (static_cast<ULONGLONG>(pftDueTime->dwHighDateTime) << 32) | pftDueTime->dwLowDateTime);
            // A positive due time is absolute (due now once passed); rounded up to whole ms, never early.
            const LONGLONG ahead = due < 0 ? -due : due - sim::kClockStart - now * 10000LL;
            pti->dueAt = now + static_cast<DWORD>(ahead > 0 ? (ahead + 9999) / 10000 : 0);
            if (pti->record.armings++ == 0) {
                pti->record.firstDueAt = pti->dueAt;
                pti->record.firstDelay = pti->dueAt > now ? pti->dueAt - now : 0;
            }
        }
    }
    sim::internal::Wake(pti->worker);
}

VOID WINAPI CloseThreadpoolTimer(PTP_TIMER pti)
{
    Pool& pool = ThePool();
    {
        std::lock_guard<std::mutex> lock(pool.mutex);
        ++pti->record.closes;
        if (pti->closed)
            return;
        pti->closed = true;
        pti->armed = false;
        --pool.live;
    }
    sim::internal::Wake(pti->worker);
}

VOID WINAPI FreeLibraryWhenCallbackReturns(PTP_CALLBACK_INSTANCE pci, HMODULE mod) { pci->releaseOnReturn = mod; }

namespace sim {

std::vector<TimerRecord> Timers()
{
    WaitForThreadsToSettle();
    Pool& pool = ThePool();
    std::lock_guard<std::mutex> lock(pool.mutex);
    std::vector<TimerRecord> records;
    for (const auto& timer : pool.timers)
        records.push_back(timer->record);
    return records;
}

int LiveThreadpoolTimers()
{
    WaitForThreadsToSettle();
    Pool& pool = ThePool();
    std::lock_guard<std::mutex> lock(pool.mutex);
    return pool.live;
}

int ThreadpoolTimersCreated()
{
    Pool& pool = ThePool();
    std::lock_guard<std::mutex> lock(pool.mutex);
    return static_cast<int>(pool.timers.size());
}

namespace internal {

void RetireThreadPool()
{
    Pool& pool = ThePool();
    std::vector<PlatformThread*> workers;
    {
        std::lock_guard<std::mutex> lock(pool.mutex);
        for (const auto& timer : pool.timers) {
            timer->retired = true;
            workers.push_back(timer->worker);
        }
    }
    for (PlatformThread* worker : workers)
        Wake(worker);
}

void ForgetThreadPool()
{
    Pool& pool = ThePool();
    std::lock_guard<std::mutex> lock(pool.mutex);
    pool.timers.clear();
    pool.live = 0;
    ClearFaults({Op::CreateThreadpoolTimer});
}

}  // namespace internal

}  // namespace sim
