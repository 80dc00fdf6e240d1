#include "automation/type_info_holder.h"

#include <cstring>

#include "automation/description_holder.h"
#include "base/critical_section.h"
#include "com/interface_holder.h"
#include "com/module_base.h"

namespace {

bool SameIdentity(IUnknown* a, IUnknown* b)
{
    CInterfaceHolder<IUnknown> identityA;
    CInterfaceHolder<IUnknown> identityB;
    if (FAILED(a->QueryInterface(IID_IUnknown, reinterpret_cast<void**>(identityA.Out()))) ||
        FAILED(b->QueryInterface(IID_IUnknown, reinterpret_cast<void**>(identityB.Out()))))
        return false;
    return identityA.Get() == identityB.Get();
}

}  // namespace

HRESULT CTypeInfoHolder::GetTypeInfo(UINT iTInfo, LCID lcid, ITypeInfo** ppTInfo)
{
    if (iTInfo != 0) {
        // A failed call leaves its out pointer null, so a caller that releases whatever it got
        // releases nothing.
        if (ppTInfo)
            *ppTInfo = nullptr;
        return DISP_E_BADINDEX;
    }
    if (!ppTInfo)
        return E_POINTER;
    HRESULT result = S_OK;
    if (!m_pTypeInfo.load(std::memory_order_acquire))
        result = LoadTypeInfo(lcid);
    ITypeInfo* typeInfo = m_pTypeInfo.load(std::memory_order_acquire);
    *ppTInfo = typeInfo;
    if (!typeInfo)
        return result;
    typeInfo->AddRef();
    return S_OK;
}

HRESULT CTypeInfoHolder::GetIDsOfNames(REFIID, LPOLESTR* rgszNames, UINT cNames, LCID lcid, DISPID* rgDispId)
{
    const HRESULT result = EnsureTypeInfo(lcid);
    ITypeInfo* typeInfo = m_pTypeInfo.load(std::memory_order_acquire);
    if (!typeInfo)
        return result;
    // Null arrays go on to the type information, which answers them; the cache never reads them.
    if (cNames == 1 && rgszNames && rgszNames[0] && rgDispId && LookUpCachedName(rgszNames[0], &rgDispId[0]))
        return S_OK;
    return typeInfo->GetIDsOfNames(rgszNames, cNames, rgDispId);
}

HRESULT CTypeInfoHolder::Invoke(IDispatch* instance, DISPID dispIdMember, REFIID, LCID lcid, WORD wFlags,
                                DISPPARAMS* pDispParams, VARIANT* pVarResult, EXCEPINFO* pExcepInfo,
                                UINT* puArgErr)
{
    const HRESULT result = EnsureTypeInfo(lcid);
    ITypeInfo* typeInfo = m_pTypeInfo.load(std::memory_order_acquire);
    if (!typeInfo)
        return result;
    // A caller of IDispatch::Invoke may pass no argument-error pointer, but the type information's
    // Invoke documents that it cannot be null and writes it when an argument fails.
    UINT unreadArgErr = 0;
    return typeInfo->Invoke(instance, dispIdMember, wFlags, pDispParams, pVarResult, pExcepInfo,
                            puArgErr ? puArgErr : &unreadArgErr);
}

bool CTypeInfoHolder::LookUpCachedName(LPCOLESTR name, DISPID* dispid) const
{
    const NameCacheEntry* cache = m_pNameCache.load(std::memory_order_acquire);
    if (!cache)
        return false;
    const LONG length = lstrlenW(name);
    // Backwards, exact and case-sensitive: a name that differs in case goes to the type information.
    for (LONG index = m_nNameCount - 1; index >= 0; --index) {
        const NameCacheEntry& entry = cache[index];
        // An entry whose look-ups failed has no name and must not answer for the empty name.
        if (!entry.bstrName || entry.nLength != length)
            continue;
        if (std::memcmp(entry.bstrName, name, static_cast<size_t>(length) * sizeof(OLECHAR)) == 0) {
            *dispid = entry.dispid;
            return true;
        }
    }
    return false;
}

HRESULT CTypeInfoHolder::EnsureTypeInfo(LCID lcid)
{
    if (m_pTypeInfo.load(std::memory_order_acquire) && m_pNameCache.load(std::memory_order_acquire))
        return S_OK;
    return LoadTypeInfo(lcid);
}

HRESULT CTypeInfoHolder::LoadTypeInfo(LCID lcid)
{
    if (m_pTypeInfo.load(std::memory_order_acquire) && m_pNameCache.load(std::memory_order_acquire))
        return S_OK;
    // Loading needs the module's critical section; without a module there is nothing to load under.
    if (!g_pModule)
        return E_UNEXPECTED;
    CriticalSectionLock lock(g_pModule->m_csModule);
    HRESULT result = E_FAIL;
    if (m_pTypeInfo.load(std::memory_order_acquire)) {
        result = S_OK;  // another thread loaded it meanwhile
    } else {
        CInterfaceHolder<ITypeLib> library;
        result = LoadRegTypeLib(*m_pLibid, m_wVerMajor, m_wVerMinor, lcid, library.Out());
        if (SUCCEEDED(result)) {
            CInterfaceHolder<ITypeInfo> typeInfo;
            result = library->GetTypeInfoOfGuid(*m_pIid, typeInfo.Out());
            if (SUCCEEDED(result) && !typeInfo.Get())
                result = E_UNEXPECTED;
            if (SUCCEEDED(result)) {
                // A type information whose ITypeInfo2 lives in another object (a proxy or a wrapper)
                // is kept through that object's ITypeInfo.
                CInterfaceHolder<ITypeInfo> kept;
                CInterfaceHolder<ITypeInfo2> typeInfo2;
                if (SUCCEEDED(typeInfo->QueryInterface(IID_ITypeInfo2, reinterpret_cast<void**>(typeInfo2.Out()))) &&
                    typeInfo2.Get() && !SameIdentity(typeInfo.Get(), typeInfo2.Get())) {
                    if (FAILED(typeInfo2->QueryInterface(IID_ITypeInfo, reinterpret_cast<void**>(kept.Out()))))
                        kept.ReleaseInterface();
                }
                if (!kept.Get())
                    kept.Attach(typeInfo.Detach());
                // The clean-up goes on the list before the pointer is published: a type information
                // that no clean-up would release is not kept, and nobody has seen it yet.
                result = g_pModule->AddCleanup(&CTypeInfoHolder::ReleaseTypeInfo, this);
                if (SUCCEEDED(result))
                    m_pTypeInfo.store(kept.Detach(), std::memory_order_release);
            }
        }
    }
    ITypeInfo* typeInfo = m_pTypeInfo.load(std::memory_order_acquire);
    if (typeInfo && !m_pNameCache.load(std::memory_order_acquire))
        result = BuildNameCache(typeInfo);
    return result;
}

HRESULT CTypeInfoHolder::BuildNameCache(ITypeInfo* typeInfo)
{
    CDescriptionHolder<ITypeInfo, TYPEATTR> attributes(typeInfo);
    if (FAILED(typeInfo->GetTypeAttr(attributes.Out())) || !attributes.Get())
        return S_OK;  // no cache: the next dispatch call tries again
    m_nNameCount = attributes->cFuncs;
    m_pNameCache.store(nullptr, std::memory_order_relaxed);
    NameCacheEntry* entries = nullptr;
    if (m_nNameCount != 0) {
        entries = new (std::nothrow) NameCacheEntry[static_cast<size_t>(m_nNameCount)];
        if (!entries)
            return E_OUTOFMEMORY;
    }
    for (LONG index = 0; index < m_nNameCount; ++index) {
        CDescriptionHolder<ITypeInfo, FUNCDESC> function(typeInfo);
        if (FAILED(typeInfo->GetFuncDesc(static_cast<UINT>(index), function.Out())) || !function.Get())
            continue;
        BSTR name = nullptr;
        if (SUCCEEDED(typeInfo->GetDocumentation(function->memid, &name, nullptr, nullptr, nullptr))) {
            entries[index].bstrName = name;
            entries[index].nLength = static_cast<LONG>(SysStringLen(name));
            entries[index].dispid = function->memid;
        }
    }
    m_pNameCache.store(entries, std::memory_order_release);
    return S_OK;
}

void CTypeInfoHolder::ReleaseTypeInfo(void* holder)
{
    if (!holder)
        return;
    CTypeInfoHolder* self = static_cast<CTypeInfoHolder*>(holder);
    if (ITypeInfo* typeInfo = self->m_pTypeInfo.exchange(nullptr, std::memory_order_acq_rel))
        typeInfo->Release();
    if (NameCacheEntry* cache = self->m_pNameCache.exchange(nullptr, std::memory_order_acq_rel))
        delete[] cache;
}
