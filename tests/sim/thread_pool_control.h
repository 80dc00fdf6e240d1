// Test controls of the simulated thread pool. Only tests include this. sim::ResetThreads (threads_control.h)
// also lets every pending timer fire and then forgets all timers and CreateThreadpoolTimer's faults.
#pragma once

#include <vector>

#include "sim/thread_pool.h"

namespace sim {

struct TimerRecord {
    unsigned sequence;            // order of creation, from 0
    PTP_TIMER_CALLBACK callback;
    PVOID context;
    DWORD firstDelay;             // milliseconds from the first SetThreadpoolTimer to its due time
    DWORD firstDueAt;             // the simulated time that first expiration was due
    int firings;                  // callbacks run
    int closes;                   // CloseThreadpoolTimer calls; more than one is a fault
    int usesAfterClose;           // SetThreadpoolTimer calls after the timer was closed; a fault
    int armings;                  // SetThreadpoolTimer calls with a due time
};

// Every timer created since the last reset, in order of creation.
std::vector<TimerRecord> Timers();
// Timers created and not yet closed.
int LiveThreadpoolTimers();
// Timers created since the last reset.
int ThreadpoolTimersCreated();

}  // namespace sim
