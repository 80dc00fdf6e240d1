// The module object's lower layers, which the object wrappers, the class factory and the dispatch
// code reach through g_pModule: the record the clean-up list works on, and the virtual operations
// with the start-up and shutdown of the module object. The server builds the one module object
// on top of them.
#pragma once

#include <atomic>

#include "base/critical_section.h"
#include "platform/win32.h"

// One clean-up to run at unload.
struct CleanupEntry {
    void (*function)(void* context);
    void* context;
    CleanupEntry* next;  // the older node, or null
};

struct ModuleRecord {
    UINT m_nRecordSize;  // 0 until m_csModule exists, and again after shutdown
    LONG m_nServerLocks;
    CleanupEntry* m_pCleanups;  // the newest clean-up, or null
    OwnedCriticalSection m_csModule;  // re-entrant

    // S_OK, E_OUTOFMEMORY when the node cannot be allocated, E_INVALIDARG for a null function.
    HRESULT AddCleanup(void (*function)(void* context), void* context);
    // Runs the clean-ups newest first, each once, and frees the list. Takes no lock: it runs at
    // unload, when no other thread uses the module.
    void RunCleanups();
};

class CModuleBase : public ModuleRecord {
public:
    CModuleBase(const CModuleBase&) = delete;
    CModuleBase& operator=(const CModuleBase&) = delete;

    // The virtual operations, in slot order.
    virtual ~CModuleBase();
    virtual LONG AddServerLock();
    virtual LONG ReleaseServerLock();
    virtual LONG GetServerLockCount();
    // Hands out the process's global interface table with one reference, creating it on the
    // first call; a failed creation is returned unchanged and stores nothing.
    virtual HRESULT GetInterfaceTable(IGlobalInterfaceTable** ppTable);

    // Published with release once created, read with acquire: later calls take no lock.
    std::atomic<IGlobalInterfaceTable*> m_pInterfaceTable;

protected:
    CModuleBase();
    // Creates m_csModule; its failure when it cannot, and the module then stays unstarted.
    HRESULT StartModule();
    // Runs the clean-ups, releases the interface table and deletes m_csModule; nothing when the
    // module never started.
    void ShutDownModule();
};

// The module object while the library is attached; null before and after.
extern CModuleBase* g_pModule;
