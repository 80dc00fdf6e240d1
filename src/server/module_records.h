// The two plain records beside the module object: the server's classes and the library's own
// module handle. Both are trivial so that nothing runs before the library's entry point starts
// them; StartUp and ShutDown are called from there, in the load and unload order.
#pragma once

#include "base/critical_section.h"
#include "platform/win32.h"
#include "server/object_map.h"

struct ComModuleRecord {
    UINT m_nRecordSize;  // 0 until m_csObjectMap exists, and again after shutdown
    HINSTANCE m_hTypeLibModule;
    ObjectMapEntry* const* m_ppObjectMapBegin;
    ObjectMapEntry* const* m_ppObjectMapEnd;
    OwnedCriticalSection m_csObjectMap;  // guards the lazy creation of class objects

    // Sets g_bInitFailed when the critical section cannot be created.
    void StartUp(HINSTANCE instance);
    // Releases the cached class objects and deletes the section; nothing when never started.
    void ShutDown();
};

struct BaseModuleRecord {
    HINSTANCE m_hModule;
    OwnedCriticalSection m_csBaseModule;

    // Sets g_bInitFailed when the critical section cannot be created.
    void StartUp(HINSTANCE instance);
    void ShutDown();
};

extern ComModuleRecord g_comModule;
extern BaseModuleRecord g_baseModule;
// Set when any of the three critical sections of the start-up cannot be created.
extern bool g_bInitFailed;
