// What this process holds now, as the platform counts it: threads (a Toolhelp snapshot), kernel
// handles, private bytes (committed memory no other process shares) and the bytes its heaps have
// handed out and not had back.
#pragma once

#include "platform/win32.h"

#include <psapi.h>
#include <tlhelp32.h>

namespace vesk_test {

// -1 when the snapshot cannot be taken, 0 when it cannot be read.
inline int ThreadsOfThisProcess()
{
    const HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPTHREAD, 0);
    if (snapshot == INVALID_HANDLE_VALUE)
        return -1;
    int count = 0;
    THREADENTRY32 entry = {};
    entry.dwSize = sizeof entry;
    for (BOOL more = Thread32First(snapshot, &entry); more; more = Thread32Next(snapshot, &entry))
        if (entry.th32OwnerProcessID == GetCurrentProcessId())
            ++count;
    CloseHandle(snapshot);
    return count;
}

// A process always holds a few handles, yet Wine 8 answers GetProcessHandleCount with 0. There
// they are counted one by one: a value names a handle when GetHandleInformation accepts it, and
// the table is filled from its lowest values, so the count ends after a long run of values that
// name none.
inline DWORD HandlesOfThisProcess()
{
    DWORD count = 0;
    if (GetProcessHandleCount(GetCurrentProcess(), &count) && count != 0)
        return count;
    const ULONG_PTR kRunWithoutHandles = 4096;
    ULONG_PTR lastHandle = 0;
    for (ULONG_PTR value = 4; value <= lastHandle + kRunWithoutHandles; value += 4) {
        DWORD flags = 0;
        if (GetHandleInformation(reinterpret_cast<HANDLE>(value), &flags)) {
            ++count;
            lastHandle = value;
        }
    }
    return count;
}

// The commit charge. Wine 8 leaves PrivateUsage at 0 and reports the charge in PagefileUsage, which
// the platform documents as the same figure.
inline SIZE_T PrivateBytesOfThisProcess()
{
    PROCESS_MEMORY_COUNTERS_EX counters = {};
    counters.cb = sizeof counters;
    if (!GetProcessMemoryInfo(GetCurrentProcess(), reinterpret_cast<PROCESS_MEMORY_COUNTERS*>(&counters),
                              sizeof counters))
        return 0;
    return counters.PrivateUsage != 0 ? counters.PrivateUsage : counters.PagefileUsage;
}

// Unlike private bytes, this does not count what a heap keeps for reuse after it was freed. 0 when a
// heap cannot be walked to its end.
inline SIZE_T HeapBytesInUse()
{
    HANDLE heaps[64];
    const DWORD count = GetProcessHeaps(64, heaps);
    if (count == 0 || count > 64)
        return 0;
    SIZE_T inUse = 0;
    for (DWORD h = 0; h < count; ++h) {
        if (!HeapLock(heaps[h]))
            return 0;
        PROCESS_HEAP_ENTRY entry = {};
        while (HeapWalk(heaps[h], &entry))
            if (entry.wFlags & PROCESS_HEAP_ENTRY_BUSY)
                inUse += entry.cbData;
        const bool walkedToTheEnd = GetLastError() == ERROR_NO_MORE_ITEMS;
        HeapUnlock(heaps[h]);
        if (!walkedToTheEnd)
            return 0;
    }
    return inUse;
}

}  // namespace vesk_test
