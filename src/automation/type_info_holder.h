// The process-wide holder of the type information that dispatches calls by name, with a table of
// member names that answers single-name look-ups without a call into the automation service.
#pragma once

#include <atomic>
#include <new>

#include "platform/win32.h"

struct NameCacheEntry {
    BSTR bstrName = nullptr;
    LONG nLength = 0;
    DISPID dispid = DISPID_UNKNOWN;

    NameCacheEntry() = default;
    NameCacheEntry(const NameCacheEntry&) = delete;
    NameCacheEntry& operator=(const NameCacheEntry&) = delete;
    ~NameCacheEntry() { SysFreeString(bstrName); }

    // The array comes from task memory: a failed allocation is a null result, never an exception.
    static void* operator new[](size_t bytes, const std::nothrow_t&) noexcept { return CoTaskMemAlloc(bytes); }
    static void operator delete[](void* block) noexcept { CoTaskMemFree(block); }
    static void operator delete[](void* block, const std::nothrow_t&) noexcept { CoTaskMemFree(block); }
};

// Constant-initialised: every field is static data, so the holder is usable before any code runs
// and needs no constructor. m_pTypeInfo and m_pNameCache go from null to a value once, under the
// module's critical section, and are read without a lock: they are published with release and
// read with acquire.
struct CTypeInfoHolder {
    const GUID* m_pIid;
    const GUID* m_pLibid;
    WORD m_wVerMajor;
    WORD m_wVerMinor;
    std::atomic<ITypeInfo*> m_pTypeInfo;
    std::atomic<NameCacheEntry*> m_pNameCache;
    LONG m_nNameCount;  // meaningful while m_pNameCache is present

    HRESULT GetTypeInfo(UINT iTInfo, LCID lcid, ITypeInfo** ppTInfo);
    HRESULT GetIDsOfNames(REFIID riid, LPOLESTR* rgszNames, UINT cNames, LCID lcid, DISPID* rgDispId);
    HRESULT Invoke(IDispatch* instance, DISPID dispIdMember, REFIID riid, LCID lcid, WORD wFlags,
                   DISPPARAMS* pDispParams, VARIANT* pVarResult, EXCEPINFO* pExcepInfo, UINT* puArgErr);

    HRESULT EnsureTypeInfo(LCID lcid);
    HRESULT LoadTypeInfo(LCID lcid);
    HRESULT BuildNameCache(ITypeInfo* typeInfo);
    // The clean-up pushed on the module's list; the value is the holder.
    static void ReleaseTypeInfo(void* holder);

private:
    bool LookUpCachedName(LPCOLESTR name, DISPID* dispid) const;
};
