// Timers of the process's thread pool (KERNEL32): one-shot callbacks run by the pool when their due
// time comes, on the simulated clock.
#pragma once

#include "sim/base_types.h"
#include "sim/modules.h"
#include "sim/registry.h"  // FILETIME
#include "sim/threads.h"

#define NTAPI

struct TP_TIMER;
typedef TP_TIMER* PTP_TIMER;
struct TP_CALLBACK_INSTANCE;
typedef TP_CALLBACK_INSTANCE* PTP_CALLBACK_INSTANCE;
// Only the process's default pool is simulated: the environment must be null.
struct TP_CALLBACK_ENVIRON;
typedef TP_CALLBACK_ENVIRON* PTP_CALLBACK_ENVIRON;

typedef VOID(NTAPI* PTP_TIMER_CALLBACK)(PTP_CALLBACK_INSTANCE Instance, PVOID Context, PTP_TIMER Timer);

// Fails with ERROR_NOT_ENOUGH_MEMORY when short, or ERROR_INVALID_PARAMETER for an environment.
PTP_TIMER WINAPI CreateThreadpoolTimer(PTP_TIMER_CALLBACK pfnti, PVOID pv, PTP_CALLBACK_ENVIRON pcbe);
// Arms the timer (a null due time disarms it). A negative due time is relative, in 100 ns units; a
// positive one is an absolute system time (sim::kClockStart is the clock's start), due at once when
// it has passed. Setting again replaces the expiration not yet due. Only one-shot timers are simulated: a period or window ends the test program.
VOID WINAPI SetThreadpoolTimer(PTP_TIMER pti, PFILETIME pftDueTime, DWORD msPeriod, DWORD msWindowLength);
// Allowed from the timer's own callback. An expiration not yet due is cancelled.
VOID WINAPI CloseThreadpoolTimer(PTP_TIMER pti);
// The pool gives back one reference on `mod` once the current callback has returned.
VOID WINAPI FreeLibraryWhenCallbackReturns(PTP_CALLBACK_INSTANCE pci, HMODULE mod);
