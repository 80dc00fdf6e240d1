// Threads, the clock, last-error, interlocked counts and critical sections (KERNEL32).
#pragma once

#include "sim/base_types.h"

typedef DWORD(WINAPI* LPTHREAD_START_ROUTINE)(LPVOID lpThreadParameter);
typedef LPTHREAD_START_ROUTINE PTHREAD_START_ROUTINE;
struct SECURITY_ATTRIBUTES;
typedef SECURITY_ATTRIBUTES* LPSECURITY_ATTRIBUTES;

HANDLE WINAPI CreateThread(LPSECURITY_ATTRIBUTES lpThreadAttributes, SIZE_T dwStackSize,
                           LPTHREAD_START_ROUTINE lpStartAddress, LPVOID lpParameter, DWORD dwCreationFlags,
                           LPDWORD lpThreadId);
// Sleeps on the simulated clock: the thread wakes when a test has advanced the clock far enough.
void WINAPI Sleep(DWORD dwMilliseconds);
BOOL WINAPI CloseHandle(HANDLE hObject);
DWORD WINAPI GetCurrentProcessId();
DWORD WINAPI GetCurrentThreadId();
DWORD WINAPI GetLastError();
void WINAPI SetLastError(DWORD dwErrCode);

LONG WINAPI InterlockedIncrement(LONG volatile* addend);
LONG WINAPI InterlockedDecrement(LONG volatile* addend);
LONG WINAPI InterlockedExchange(LONG volatile* target, LONG value);
LONG WINAPI InterlockedCompareExchange(LONG volatile* destination, LONG exchange, LONG comparand);

// Re-entrant, as on Windows: the owning thread may enter again.
struct CRITICAL_SECTION {
    void* m_impl;
};
typedef CRITICAL_SECTION* LPCRITICAL_SECTION;

void WINAPI InitializeCriticalSection(LPCRITICAL_SECTION cs);
BOOL WINAPI InitializeCriticalSectionAndSpinCount(LPCRITICAL_SECTION cs, DWORD spinCount);
void WINAPI EnterCriticalSection(LPCRITICAL_SECTION cs);
void WINAPI LeaveCriticalSection(LPCRITICAL_SECTION cs);
void WINAPI DeleteCriticalSection(LPCRITICAL_SECTION cs);
