// Who owns a window. Band records carry pointers into this process's memory and message 3037 means
// something only to our own toolbar, so the enabler sends and posts nothing to a window of another
// process.
#pragma once

#include "platform/win32.h"

// The process that owns `window`, or 0 when no window has that handle.
DWORD WindowProcessId(HWND window);

inline bool IsWindowOfThisProcess(HWND window) { return WindowProcessId(window) == GetCurrentProcessId(); }

// False for a handle that names no window: only an existing window can be another process's.
inline bool IsWindowOfAnotherProcess(HWND window)
{
    const DWORD owner = WindowProcessId(window);
    return owner != 0 && owner != GetCurrentProcessId();
}
