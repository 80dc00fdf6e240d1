// What the simulated threads offer the rest of the simulation, not the system nor the tests.
#pragma once

#include "sim/threads.h"

namespace sim::internal {

// A deadline no clock step reaches: the thread waits until it is woken.
constexpr DWORD kNoDeadline = 0xFFFFFFFF;

struct PlatformThread;

// Starts `routine` on a thread of the platform's own: it takes part in the simulated clock (its
// waits end with the clock; AdvanceClock and settling wait for it) but is not one the system
// created, so Threads() does not list it and there is no handle. Null when it cannot start. The
// result stays valid until ResetThreads.
PlatformThread* StartPlatformThread(LPTHREAD_START_ROUTINE routine, LPVOID parameter);
// On a platform thread: waits until the clock reaches `deadline` or the thread is woken (a wake
// that came first ends the next wait at once).
void WaitUntil(DWORD deadline);
void Wake(PlatformThread* thread);

// Called by ResetThreads once every timed wait has ended: each thread-pool worker is told to end,
// and woken.
void RetireThreadPool();
// Called by ResetThreads once every thread has ended: forgets the thread pool's timers.
void ForgetThreadPool();

}  // namespace sim::internal
