#include "enabler/recheck_notification.h"

#include <iterator>

#include "enabler/window_owner.h"

namespace {

// The module holding this code, found without taking a reference.
HMODULE ModuleOfThisCode()
{
    HMODULE self = nullptr;
    GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                       reinterpret_cast<LPCWSTR>(&ModuleOfThisCode), &self);
    return self;
}

// A due time relative to now, in the platform's 100-nanosecond units (negative means relative).
FILETIME RelativeDueTime(DWORD milliseconds)
{
    const ULONGLONG ticks = static_cast<ULONGLONG>(-(static_cast<LONGLONG>(milliseconds) * 10000));
    FILETIME due;
    due.dwLowDateTime = static_cast<DWORD>(ticks & 0xFFFFFFFFu);
    due.dwHighDateTime = static_cast<DWORD>(ticks >> 32);
    return due;
}

}  // namespace

void CALLBACK PostRecheck(PTP_CALLBACK_INSTANCE instance, PVOID hWnd, PTP_TIMER timer)
{
    const HWND window = static_cast<HWND>(hWnd);
    // Asked again: by now the handle may name a window of another process.
    if (!IsWindowOfAnotherProcess(window))
        PostMessageW(window, WM_RECHECK_BAND, 0, 0);
    // One shot: the timer is done with. Closing it from its own callback is allowed; the platform
    // frees it once the callback has returned.
    CloseThreadpoolTimer(timer);
    // The reference StartRecheck took is given back by the pool after this code has returned, so
    // the library may be unmapped right then without pulling the code from under its caller.
    FreeLibraryWhenCallbackReturns(instance, ModuleOfThisCode());
}

void StartRechecks(HWND hWnd, size_t count)
{
    if (IsWindowOfAnotherProcess(hWnd))
        return;
    for (size_t step = 0; step < count && step < std::size(kRecheckSchedule); ++step) {
        HMODULE self = nullptr;
        if (!GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS, reinterpret_cast<LPCWSTR>(&PostRecheck), &self))
            continue;
        const PTP_TIMER timer = CreateThreadpoolTimer(&PostRecheck, hWnd, nullptr);
        if (!timer) {
            FreeLibrary(self);
            continue;
        }
        FILETIME due = RelativeDueTime(kRecheckSchedule[step]);
        // Owned by the pool from here on: the callback closes it.
        SetThreadpoolTimer(timer, &due, 0, 0);
    }
}
