#include "com/module_base.h"

CModuleBase* g_pModule = nullptr;

HRESULT ModuleRecord::AddCleanup(void (*function)(void* context), void* context)
{
    if (!function)
        return E_INVALIDARG;
    // Task memory: a failed allocation comes back as null, never as an exception.
    auto* node = static_cast<CleanupEntry*>(CoTaskMemAlloc(sizeof(CleanupEntry)));
    if (!node)
        return E_OUTOFMEMORY;
    node->function = function;
    node->context = context;
    CriticalSectionLock lock(m_csModule);
    node->next = m_pCleanups;
    m_pCleanups = node;
    return S_OK;
}

void ModuleRecord::RunCleanups()
{
    // Each node leaves the list before its function runs, so that it runs once even if that function
    // adds a clean-up of its own (which then runs next).
    while (CleanupEntry* node = m_pCleanups) {
        m_pCleanups = node->next;
        node->function(node->context);
        CoTaskMemFree(node);
    }
}

CModuleBase::CModuleBase() : m_pInterfaceTable(nullptr)
{
    m_nRecordSize = 0;
    m_nServerLocks = 0;
    m_pCleanups = nullptr;
    m_csModule = {};
}

CModuleBase::~CModuleBase() = default;

LONG CModuleBase::AddServerLock() { return InterlockedIncrement(&m_nServerLocks); }

LONG CModuleBase::ReleaseServerLock() { return InterlockedDecrement(&m_nServerLocks); }

LONG CModuleBase::GetServerLockCount()
{
    // An atomic read: the count is changed by other threads without a lock.
    return InterlockedCompareExchange(&m_nServerLocks, 0, 0);
}

HRESULT CModuleBase::GetInterfaceTable(IGlobalInterfaceTable** ppTable)
{
    if (!ppTable)
        return E_POINTER;
    HRESULT hr = S_OK;
    IGlobalInterfaceTable* table = m_pInterfaceTable.load(std::memory_order_acquire);
    if (!table) {
        // Two first callers must not both create the table: the loser's reference would be lost.
        CriticalSectionLock lock(m_csModule);
        table = m_pInterfaceTable.load(std::memory_order_relaxed);
        if (!table) {
            hr = CoCreateInstance(CLSID_StdGlobalInterfaceTable, nullptr, CLSCTX_INPROC_SERVER,
                                  IID_IGlobalInterfaceTable, reinterpret_cast<void**>(&table));
            if (FAILED(hr))
                return hr;
            m_pInterfaceTable.store(table, std::memory_order_release);
        }
    }
    *ppTable = table;
    table->AddRef();
    return hr;
}

HRESULT CModuleBase::StartModule()
{
    const HRESULT hr = m_csModule.Create();
    if (FAILED(hr))
        return hr;
    m_nRecordSize = sizeof(ModuleRecord);
    return S_OK;
}

void CModuleBase::ShutDownModule()
{
    if (m_nRecordSize == 0)
        return;
    if (m_pCleanups) {
        RunCleanups();
        m_pCleanups = nullptr;
    }
    if (IGlobalInterfaceTable* table = m_pInterfaceTable.exchange(nullptr, std::memory_order_acquire))
        table->Release();
    m_csModule.Delete();
    m_nRecordSize = 0;
}
