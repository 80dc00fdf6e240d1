// The delayed re-check notifications: each waits its delay on a thread of its own, then posts
// WM_RECHECK_BAND to the toolbar window.
#pragma once

#include "platform/win32.h"

constexpr UINT WM_RECHECK_BAND = WM_USER + 2013;  // 3037

// The thread routine of one delay; the parameter is the toolbar window.
template <DWORD DelayMilliseconds>
DWORD WINAPI RecheckAfterDelay(LPVOID hWnd);

// Starts the notification on a thread of its own. The thread holds a reference on this library's
// module until it has posted, so the host may release every object and unload meanwhile. A
// notification that cannot take that reference, or whose thread cannot start, does not happen.
void StartRecheck(LPTHREAD_START_ROUTINE routine, HWND hWnd);
