#include "server/class_object_lookup.h"

#include "server/vesk_module.h"

namespace {

ObjectMapEntry* FindServedClass(const ComModuleRecord& record, REFCLSID clsid)
{
    for (ObjectMapEntry* const* slot = record.m_ppObjectMapBegin; slot != record.m_ppObjectMapEnd; ++slot) {
        ObjectMapEntry* entry = *slot;
        if (entry && entry->createClassObject && IsEqualCLSID(*entry->classId, clsid))
            return entry;
    }
    return nullptr;
}

// Builds the class object once, however many threads ask at the same time; the result is
// published only after it is complete, so a reader without the lock never sees half of it.
HRESULT CreateCachedClassObject(ComModuleRecord& record, ObjectMapEntry& entry)
{
    CriticalSectionLock lock(record.m_csObjectMap);
    if (entry.classObject.load(std::memory_order_acquire))
        return S_OK;
    void* created = nullptr;
    const HRESULT hr = entry.createClassObject(reinterpret_cast<void*>(entry.createInstance), IID_IUnknown, &created);
    if (SUCCEEDED(hr) && created)
        entry.classObject.store(static_cast<IUnknown*>(created), std::memory_order_release);
    return hr;
}

}  // namespace

HRESULT GetClassObjectFromMap(ComModuleRecord* record, REFCLSID clsid, REFIID iid, void** out)
{
    if (!out)
        return E_POINTER;
    *out = nullptr;
    if (!record)
        return E_INVALIDARG;
    if (record->m_nRecordSize == 0)
        return E_UNEXPECTED;

    ObjectMapEntry* entry = FindServedClass(*record, clsid);
    if (!entry)
        return CLASS_E_CLASSNOTAVAILABLE;

    HRESULT hr = S_OK;
    if (!entry->classObject.load(std::memory_order_acquire))
        hr = CreateCachedClassObject(*record, *entry);
    if (IUnknown* classObject = entry->classObject.load(std::memory_order_acquire))
        hr = classObject->QueryInterface(iid, out);
    if (*out == nullptr && hr == S_OK)
        hr = CLASS_E_CLASSNOTAVAILABLE;
    return hr;
}

extern "C" HRESULT STDAPICALLTYPE DllGetClassObject(REFCLSID rclsid, REFIID riid, LPVOID* ppv)
{
    return GetClassObjectFromMap(&g_comModule, rclsid, riid, ppv);
}

extern "C" HRESULT STDAPICALLTYPE DllCanUnloadNow()
{
    return g_pModule && g_pModule->GetServerLockCount() != 0 ? S_FALSE : S_OK;
}
