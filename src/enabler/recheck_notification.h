// The delayed re-check notifications: each is a one-shot timer of the platform's thread pool that
// posts WM_RECHECK_BAND to the toolbar window when its delay ends. No thread waits for it.
#pragma once

#include "platform/win32.h"

constexpr UINT WM_RECHECK_BAND = WM_USER + 2013;  // 3037

// The timer callback of every notification; the context is the toolbar window.
void CALLBACK PostRecheck(PTP_CALLBACK_INSTANCE instance, PVOID hWnd, PTP_TIMER timer);

// The re-check delays in milliseconds. The first EnableVesk starts them all, an EnableVesk that
// misses the band the first two, a MakeSure that misses it the first one (the one-second retry).
constexpr DWORD kRecheckSchedule[] = {1000, 2000, 5000, 10000};

// Starts the first `count` notifications of the schedule: WM_RECHECK_BAND reaches `hWnd` when each
// delay ends. Each timer holds a reference on this library's module until its callback has
// returned, so the host may release every object and unload meanwhile. A notification that cannot
// take that reference, or whose timer cannot be created, does not happen; nor one for a window of
// another process, which is asked again when the delay ends.
void StartRechecks(HWND hWnd, size_t count);
