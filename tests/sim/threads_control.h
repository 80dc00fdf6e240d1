// Test controls of the simulated threads and clock. Only tests include this.
#pragma once

#include <vector>

#include "sim/threads.h"

namespace sim {

constexpr DWORD kCurrentProcessId = 0x1F40;

struct ThreadRecord {
    unsigned sequence;            // order of creation, from 0
    LPTHREAD_START_ROUTINE routine;
    LPVOID parameter;
    DWORD firstSleep;             // the first Sleep the thread asked for; 0 until it sleeps
    bool finished;
};

// Where the clock starts: a present-day system time (100 ns units since 1601), 2025-01-01 00:00 UTC.
constexpr LONGLONG kClockStart = 133801632000000000;
// Virtual milliseconds since the last ResetThreads, which set the clock to kClockStart.
DWORD Now();
// Moves the clock forward, waking sleepers deadline by deadline in time order, and waits after each
// step until every woken thread has finished or sleeps again.
void AdvanceClock(DWORD milliseconds);
// Waits until no thread is starting or running (all sleep with a future deadline or have ended).
// Returns false when that did not happen within a few seconds of real time.
bool WaitForThreadsToSettle();
// Every thread started since the last reset, in order of creation (after settling).
std::vector<ThreadRecord> Threads();
// Lets every pending thread and thread-pool timer run to its end, then forgets all threads and
// timers and the faults of their creation, and sets the clock to 0.
void ResetThreads();
// Thread handles handed out by CreateThread and not yet closed.
int OpenThreadHandles();
// Critical sections initialised and not deleted.
int LiveCriticalSections();

}  // namespace sim
