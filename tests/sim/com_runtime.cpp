#include <atomic>
#include <map>
#include <mutex>
#include <vector>

#include "sim/com_runtime_control.h"
#include "sim/component_categories.h"
#include "sim/faults_internal.h"

const CLSID CLSID_StdGlobalInterfaceTable = {0x00000323, 0x0000, 0x0000,
                                             {0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};
const IID IID_IGlobalInterfaceTable = {0x00000146, 0x0000, 0x0000, {0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};

namespace {

// One table per process, as on Windows: every creation hands out the same object. Within one
// simulated process there is nothing to marshal, so an interface comes back by QueryInterface.
class GlobalInterfaceTable : public IGlobalInterfaceTable {
public:
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppvObject) override
    {
        if (!ppvObject)
            return E_POINTER;
        *ppvObject = nullptr;
        if (!IsEqualIID(riid, IID_IUnknown) && !IsEqualIID(riid, IID_IGlobalInterfaceTable))
            return E_NOINTERFACE;
        AddRef();
        *ppvObject = static_cast<IGlobalInterfaceTable*>(this);
        return S_OK;
    }
    ULONG STDMETHODCALLTYPE AddRef() override
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        return static_cast<ULONG>(++m_references);
    }
    ULONG STDMETHODCALLTYPE Release() override
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        return static_cast<ULONG>(--m_references);
    }

    HRESULT STDMETHODCALLTYPE RegisterInterfaceInGlobal(IUnknown* pUnk, REFIID riid, DWORD* pdwCookie) override
    {
        if (!pUnk || !pdwCookie)
            return E_INVALIDARG;
        *pdwCookie = 0;
        IUnknown* held = nullptr;
        const HRESULT hr = pUnk->QueryInterface(riid, reinterpret_cast<void**>(&held));
        if (FAILED(hr))
            return hr;
        std::lock_guard<std::mutex> lock(m_mutex);
        const DWORD cookie = m_nextCookie++;
        m_entries[cookie] = held;
        *pdwCookie = cookie;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE RevokeInterfaceFromGlobal(DWORD dwCookie) override
    {
        IUnknown* held = TakeEntry(dwCookie, true);
        if (!held)
            return E_INVALIDARG;
        held->Release();
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetInterfaceFromGlobal(DWORD dwCookie, REFIID riid, void** ppv) override
    {
        if (!ppv)
            return E_INVALIDARG;
        *ppv = nullptr;
        IUnknown* held = TakeEntry(dwCookie, false);
        if (!held)
            return E_INVALIDARG;
        const HRESULT hr = held->QueryInterface(riid, ppv);
        held->Release();
        return hr;
    }

    // The entry's interface with a reference for the caller: the table's own when `revoke` takes
    // the entry out, a new one otherwise; null for an unknown cookie.
    IUnknown* TakeEntry(DWORD cookie, bool revoke)
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        auto it = m_entries.find(cookie);
        if (it == m_entries.end())
            return nullptr;
        IUnknown* held = it->second;
        if (revoke)
            m_entries.erase(it);
        else
            held->AddRef();
        return held;
    }

    LONG References()
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_references;
    }
    int Entries()
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        return static_cast<int>(m_entries.size());
    }
    void RevokeAll()
    {
        std::vector<IUnknown*> held;
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            for (const auto& entry : m_entries)
                held.push_back(entry.second);
            m_entries.clear();
        }
        for (IUnknown* unknown : held)
            unknown->Release();
    }

private:
    std::mutex m_mutex;
    LONG m_references = 0;
    DWORD m_nextCookie = 0x100;
    std::map<DWORD, IUnknown*> m_entries;
};

struct ComRuntime {
    std::mutex mutex;
    int tableCreations = 0;
    std::function<void()> hook;
};

ComRuntime& TheComRuntime()
{
    static ComRuntime* runtime = new ComRuntime;  // outlives detached threads at process exit
    return *runtime;
}

GlobalInterfaceTable& TheInterfaceTable()
{
    static GlobalInterfaceTable* table = new GlobalInterfaceTable;
    return *table;
}

}  // namespace

namespace {
std::atomic<IUnknown*> g_categoryManager{nullptr};
}  // namespace

HRESULT WINAPI CoCreateInstance(REFCLSID rclsid, LPUNKNOWN pUnkOuter, DWORD dwClsContext, REFIID riid, LPVOID* ppv)
{
    if (!ppv)
        return E_POINTER;
    *ppv = nullptr;
    ComRuntime& runtime = TheComRuntime();
    HRESULT injected = S_OK;
    if (sim::internal::Injected(sim::Op::CoCreateInstance, &injected))
        return injected;
    std::function<void()> hook;
    {
        std::lock_guard<std::mutex> lock(runtime.mutex);
        hook = runtime.hook;
    }
    if (hook)
        hook();
    if (IsEqualCLSID(rclsid, CLSID_StdComponentCategoriesMgr) && (dwClsContext & CLSCTX_INPROC_SERVER)) {
        IUnknown* manager = g_categoryManager.load();
        if (!manager)
            return REGDB_E_CLASSNOTREG;
        return pUnkOuter ? CLASS_E_NOAGGREGATION : manager->QueryInterface(riid, ppv);
    }
    if (!IsEqualCLSID(rclsid, CLSID_StdGlobalInterfaceTable) || !(dwClsContext & CLSCTX_INPROC_SERVER))
        return REGDB_E_CLASSNOTREG;
    if (pUnkOuter)
        return CLASS_E_NOAGGREGATION;
    const HRESULT hr = TheInterfaceTable().QueryInterface(riid, ppv);
    if (SUCCEEDED(hr)) {
        std::lock_guard<std::mutex> lock(runtime.mutex);
        ++runtime.tableCreations;
    }
    return hr;
}

namespace sim {

int InterfaceTableCreations()
{
    ComRuntime& runtime = TheComRuntime();
    std::lock_guard<std::mutex> lock(runtime.mutex);
    return runtime.tableCreations;
}

LONG InterfaceTableReferences() { return TheInterfaceTable().References(); }

int InterfaceTableEntries() { return TheInterfaceTable().Entries(); }

void SetCoCreateInstanceHook(std::function<void()> hook)
{
    ComRuntime& runtime = TheComRuntime();
    std::lock_guard<std::mutex> lock(runtime.mutex);
    runtime.hook = std::move(hook);
}

void ServeCategoryManager(IUnknown* manager) { g_categoryManager.store(manager); }

void ResetComRuntime()
{
    g_categoryManager.store(nullptr);
    TheInterfaceTable().RevokeAll();
    ComRuntime& runtime = TheComRuntime();
    std::lock_guard<std::mutex> lock(runtime.mutex);
    runtime.tableCreations = 0;
    runtime.hook = nullptr;
    internal::ClearFaults({Op::CoCreateInstance});
}

}  // namespace sim
