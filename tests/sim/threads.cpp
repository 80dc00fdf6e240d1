#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <new>
#include <thread>
#include <vector>

#include "sim/faults_internal.h"
#include "sim/modules_control.h"
#include "sim/threads_control.h"
#include "sim/threads_internal.h"

namespace {

enum class ThreadState { Starting, Running, Sleeping, Finished };

struct SimThread {
    sim::ThreadRecord record;
    ThreadState state = ThreadState::Starting;
    DWORD deadline = 0;
    DWORD id = 0;
    bool platforms = false;  // one of the platform's own, not created by the system
    bool woken = false;      // a platform thread's wait ends early
};

struct ThreadHandle {
    std::shared_ptr<SimThread> thread;
};

struct Scheduler {
    std::mutex mutex;
    std::condition_variable changed;
    DWORD now = 0;
    std::vector<std::shared_ptr<SimThread>> threads;
    std::vector<ThreadHandle*> handles;
    unsigned created = 0;  // threads the system created
    DWORD nextThreadId = 100;
};

Scheduler& TheScheduler()
{
    static Scheduler* scheduler = new Scheduler;  // outlives detached threads at process exit
    return *scheduler;
}

thread_local SimThread* t_current = nullptr;
thread_local DWORD t_lastError = 0;
thread_local DWORD t_threadId = 0;

bool SettledLocked(const Scheduler& s)
{
    for (const auto& t : s.threads) {
        if (t->state == ThreadState::Starting || t->state == ThreadState::Running)
            return false;
        if (t->state == ThreadState::Sleeping && (t->deadline <= s.now || t->woken))
            return false;
    }
    return true;
}

bool WaitSettledLocked(Scheduler& s, std::unique_lock<std::mutex>& lock)
{
    return s.changed.wait_for(lock, std::chrono::seconds(10), [&] { return SettledLocked(s); });
}

void SetState(SimThread* thread, ThreadState state)
{
    Scheduler& s = TheScheduler();
    std::lock_guard<std::mutex> lock(s.mutex);
    thread->state = state;
    s.changed.notify_all();
}

void RunThread(std::shared_ptr<SimThread> thread)
{
    t_current = thread.get();
    t_threadId = thread->id;
    SetState(thread.get(), ThreadState::Running);
    try {
        thread->record.routine(thread->record.parameter);
    } catch (const sim::ThreadExit&) {
        // FreeLibraryAndExitThread ended the thread.
    }
    Scheduler& s = TheScheduler();
    std::lock_guard<std::mutex> lock(s.mutex);
    thread->state = ThreadState::Finished;
    thread->record.finished = true;
    s.changed.notify_all();
}

struct CriticalSectionState {
    std::mutex mutex;
    int live = 0;
};

CriticalSectionState& TheCriticalSections()
{
    static CriticalSectionState state;
    return state;
}

}  // namespace

HANDLE WINAPI CreateThread(LPSECURITY_ATTRIBUTES, SIZE_T, LPTHREAD_START_ROUTINE lpStartAddress, LPVOID lpParameter,
                           DWORD, LPDWORD lpThreadId)
{
    Scheduler& s = TheScheduler();
    // A shortage anywhere here is this function's failure, as on the platform: nothing is left
    // registered and no exception reaches the caller.
    std::shared_ptr<SimThread> thread;
    ThreadHandle* handle = nullptr;
    try {
        thread = std::make_shared<SimThread>();
        handle = new ThreadHandle{thread};
        std::lock_guard<std::mutex> lock(s.mutex);
        LONG injected = 0;
        if (sim::internal::Injected(sim::Op::CreateThread, &injected)) {
            delete handle;
            t_lastError = static_cast<DWORD>(injected);
            return nullptr;
        }
        s.threads.reserve(s.threads.size() + 1);
        s.handles.reserve(s.handles.size() + 1);
        thread->record = {s.created++, lpStartAddress, lpParameter, 0, false};
        thread->id = s.nextThreadId++;
        s.threads.push_back(thread);
    } catch (...) {
        delete handle;
        t_lastError = ERROR_NOT_ENOUGH_MEMORY;
        return nullptr;
    }
    try {
        std::thread(RunThread, thread).detach();
    } catch (...) {
        std::lock_guard<std::mutex> lock(s.mutex);
        s.threads.pop_back();
        delete handle;
        t_lastError = ERROR_NOT_ENOUGH_MEMORY;
        return nullptr;
    }
    if (lpThreadId)
        *lpThreadId = thread->id;
    std::lock_guard<std::mutex> lock(s.mutex);
    s.handles.push_back(handle);
    return handle;
}

namespace sim::internal {

PlatformThread* StartPlatformThread(LPTHREAD_START_ROUTINE routine, LPVOID parameter)
{
    Scheduler& s = TheScheduler();
    std::shared_ptr<SimThread> thread;
    try {
        thread = std::make_shared<SimThread>();
        thread->platforms = true;
        std::lock_guard<std::mutex> lock(s.mutex);
        thread->record = {0, routine, parameter, 0, false};
        thread->id = s.nextThreadId++;
        s.threads.push_back(thread);
    } catch (...) {
        return nullptr;
    }
    try {
        std::thread(RunThread, thread).detach();
    } catch (...) {
        std::lock_guard<std::mutex> lock(s.mutex);
        s.threads.erase(std::find(s.threads.begin(), s.threads.end(), thread));
        return nullptr;
    }
    // The handle is only ever turned back into the thread it names.
    return reinterpret_cast<PlatformThread*>(thread.get());
}

void WaitUntil(DWORD deadline)
{
    Scheduler& s = TheScheduler();
    std::unique_lock<std::mutex> lock(s.mutex);
    SimThread* self = t_current;
    if (!self->woken) {
        self->deadline = deadline;
        self->state = ThreadState::Sleeping;
        s.changed.notify_all();
        s.changed.wait(lock, [&] { return s.now >= self->deadline || self->woken; });
        self->state = ThreadState::Running;
    }
    self->woken = false;
    s.changed.notify_all();
}

void Wake(PlatformThread* thread)
{
    Scheduler& s = TheScheduler();
    std::lock_guard<std::mutex> lock(s.mutex);
    reinterpret_cast<SimThread*>(thread)->woken = true;
    s.changed.notify_all();
}

}  // namespace sim::internal

void WINAPI Sleep(DWORD dwMilliseconds)
{
    Scheduler& s = TheScheduler();
    std::unique_lock<std::mutex> lock(s.mutex);
    if (!t_current) {
        // A thread of the test itself: time passes for it alone.
        s.now += dwMilliseconds;
        s.changed.notify_all();
        return;
    }
    SimThread* self = t_current;
    if (self->record.firstSleep == 0)
        self->record.firstSleep = dwMilliseconds;
    self->deadline = s.now + dwMilliseconds;
    self->state = ThreadState::Sleeping;
    s.changed.notify_all();
    s.changed.wait(lock, [&] { return s.now >= self->deadline; });
    self->state = ThreadState::Running;
    s.changed.notify_all();
}

BOOL WINAPI CloseHandle(HANDLE hObject)
{
    Scheduler& s = TheScheduler();
    std::lock_guard<std::mutex> lock(s.mutex);
    for (auto it = s.handles.begin(); it != s.handles.end(); ++it) {
        if (*it == hObject) {
            delete *it;
            s.handles.erase(it);
            return TRUE;
        }
    }
    t_lastError = ERROR_INVALID_HANDLE;
    return FALSE;
}

DWORD WINAPI GetCurrentProcessId() { return sim::kCurrentProcessId; }

DWORD WINAPI GetCurrentThreadId()
{
    if (t_threadId == 0) {
        Scheduler& s = TheScheduler();
        std::lock_guard<std::mutex> lock(s.mutex);
        t_threadId = s.nextThreadId++;
    }
    return t_threadId;
}

DWORD WINAPI GetLastError() { return t_lastError; }
void WINAPI SetLastError(DWORD dwErrCode) { t_lastError = dwErrCode; }

LONG WINAPI InterlockedIncrement(LONG volatile* addend) { return __atomic_add_fetch(addend, 1, __ATOMIC_SEQ_CST); }
LONG WINAPI InterlockedDecrement(LONG volatile* addend) { return __atomic_sub_fetch(addend, 1, __ATOMIC_SEQ_CST); }
LONG WINAPI InterlockedExchange(LONG volatile* target, LONG value)
{
    return __atomic_exchange_n(target, value, __ATOMIC_SEQ_CST);
}
LONG WINAPI InterlockedCompareExchange(LONG volatile* destination, LONG exchange, LONG comparand)
{
    __atomic_compare_exchange_n(destination, &comparand, exchange, false, __ATOMIC_SEQ_CST, __ATOMIC_SEQ_CST);
    return comparand;
}

void WINAPI InitializeCriticalSection(LPCRITICAL_SECTION cs)
{
    CriticalSectionState& state = TheCriticalSections();
    std::lock_guard<std::mutex> lock(state.mutex);
    cs->m_impl = new std::recursive_mutex;
    ++state.live;
}

BOOL WINAPI InitializeCriticalSectionAndSpinCount(LPCRITICAL_SECTION cs, DWORD)
{
    LONG injected = 0;
    if (sim::internal::Injected(sim::Op::InitializeCriticalSectionAndSpinCount, &injected)) {
        cs->m_impl = nullptr;
        t_lastError = static_cast<DWORD>(injected);
        return FALSE;
    }
    // A shortage is this function's failure, as on the platform, not an exception into the caller.
    auto* impl = new (std::nothrow) std::recursive_mutex;
    if (!impl) {
        cs->m_impl = nullptr;
        t_lastError = ERROR_NOT_ENOUGH_MEMORY;
        return FALSE;
    }
    CriticalSectionState& state = TheCriticalSections();
    std::lock_guard<std::mutex> lock(state.mutex);
    cs->m_impl = impl;
    ++state.live;
    return TRUE;
}

void WINAPI EnterCriticalSection(LPCRITICAL_SECTION cs) { static_cast<std::recursive_mutex*>(cs->m_impl)->lock(); }
void WINAPI LeaveCriticalSection(LPCRITICAL_SECTION cs) { static_cast<std::recursive_mutex*>(cs->m_impl)->unlock(); }

void WINAPI DeleteCriticalSection(LPCRITICAL_SECTION cs)
{
    CriticalSectionState& state = TheCriticalSections();
    std::lock_guard<std::mutex> lock(state.mutex);
    delete static_cast<std::recursive_mutex*>(cs->m_impl);
    cs->m_impl = nullptr;
    --state.live;
}

namespace sim {

DWORD Now()
{
    Scheduler& s = TheScheduler();
    std::lock_guard<std::mutex> lock(s.mutex);
    return s.now;
}

void AdvanceClock(DWORD milliseconds)
{
    Scheduler& s = TheScheduler();
    std::unique_lock<std::mutex> lock(s.mutex);
    WaitSettledLocked(s, lock);
    const DWORD target = s.now + milliseconds;
    for (;;) {
        DWORD next = target;
        for (const auto& t : s.threads)
            if (t->state == ThreadState::Sleeping && t->deadline < next)
                next = t->deadline;
        s.now = next;
        s.changed.notify_all();
        WaitSettledLocked(s, lock);
        if (next == target)
            break;
    }
}

bool WaitForThreadsToSettle()
{
    Scheduler& s = TheScheduler();
    std::unique_lock<std::mutex> lock(s.mutex);
    return WaitSettledLocked(s, lock);
}

std::vector<ThreadRecord> Threads()
{
    Scheduler& s = TheScheduler();
    std::unique_lock<std::mutex> lock(s.mutex);
    WaitSettledLocked(s, lock);
    std::vector<ThreadRecord> records;
    for (const auto& t : s.threads)
        if (!t->platforms)
            records.push_back(t->record);
    return records;
}

void ResetThreads()
{
    Scheduler& s = TheScheduler();
    const auto ended = [&](bool idleWorkersToo) {
        for (const auto& t : s.threads) {
            const bool idle = t->platforms && t->state == ThreadState::Sleeping &&
                              t->deadline == internal::kNoDeadline && !t->woken;
            if (t->state != ThreadState::Finished && !(idleWorkersToo && idle))
                return false;
        }
        return true;
    };
    {
        std::unique_lock<std::mutex> lock(s.mutex);
        WaitSettledLocked(s, lock);
        // Far enough for any delay the system uses; sleepers wake, post and end, timers fire.
        s.now += 0x40000000;
        s.changed.notify_all();
        s.changed.wait_for(lock, std::chrono::seconds(10), [&] { return ended(true); });
    }
    // The pool's workers wait for nothing more now; they are told to end.
    internal::RetireThreadPool();
    {
        std::unique_lock<std::mutex> lock(s.mutex);
        s.changed.wait_for(lock, std::chrono::seconds(10), [&] { return ended(false); });
        s.threads.clear();
        for (ThreadHandle* handle : s.handles)
            delete handle;
        s.handles.clear();
        s.now = 0;
        s.created = 0;
    }
    internal::ClearFaults({Op::CreateThread});
    internal::ForgetThreadPool();
}

int OpenThreadHandles()
{
    Scheduler& s = TheScheduler();
    std::lock_guard<std::mutex> lock(s.mutex);
    return static_cast<int>(s.handles.size());
}

int LiveCriticalSections()
{
    CriticalSectionState& state = TheCriticalSections();
    std::lock_guard<std::mutex> lock(state.mutex);
    return state.live;
}

}  // namespace sim
