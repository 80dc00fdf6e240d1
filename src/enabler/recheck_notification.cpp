#include "enabler/recheck_notification.h"

namespace {

// The module holding this code, found without taking a reference.
HMODULE ModuleOfThisCode()
{
    HMODULE self = nullptr;
    GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                       reinterpret_cast<LPCWSTR>(&ModuleOfThisCode), &self);
    return self;
}

}  // namespace

template <DWORD DelayMilliseconds>
DWORD WINAPI RecheckAfterDelay(LPVOID hWnd)
{
    Sleep(DelayMilliseconds);
    PostMessageW(static_cast<HWND>(hWnd), WM_RECHECK_BAND, 0, 0);
    // Gives back the reference StartRecheck took; the code being run may be unmapped right after,
    // so this call must not return here.
    FreeLibraryAndExitThread(ModuleOfThisCode(), 0);
    return 0;
}

template DWORD WINAPI RecheckAfterDelay<1000>(LPVOID);
template DWORD WINAPI RecheckAfterDelay<2000>(LPVOID);
template DWORD WINAPI RecheckAfterDelay<5000>(LPVOID);
template DWORD WINAPI RecheckAfterDelay<10000>(LPVOID);

void StartRecheck(LPTHREAD_START_ROUTINE routine, HWND hWnd)
{
    HMODULE self = nullptr;
    if (!GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS, reinterpret_cast<LPCWSTR>(routine), &self))
        return;
    DWORD threadId = 0;
    HANDLE thread = CreateThread(nullptr, 0, routine, hWnd, 0, &threadId);
    if (!thread) {
        FreeLibrary(self);
        return;
    }
    // The thread runs detached; only its handle is given back.
    CloseHandle(thread);
}
