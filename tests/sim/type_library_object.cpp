#include <utility>

#include "sim/automation_control.h"
#include "sim/type_library_internal.h"

namespace sim::internal {

namespace {

std::atomic<int> g_liveLibraries{0};

}  // namespace

SimTypeLib::SimTypeLib(bool splitIdentity, std::u16string helpFile) : m_helpFile(std::move(helpFile))
{
    ++g_liveLibraries;
    for (UINT i = 0; i < kViewCount; ++i) {
        m_infos[i].m_library = this;
        m_infos[i].m_index = i;
        m_infos[i].m_facet = splitIdentity ? &m_facets[i] : nullptr;
        m_facets[i].m_library = this;
        m_facets[i].m_index = i;
    }
}

SimTypeLib::~SimTypeLib() { --g_liveLibraries; }

HRESULT STDMETHODCALLTYPE SimTypeLib::QueryInterface(REFIID riid, void** ppv)
{
    if (!ppv)
        return E_POINTER;
    *ppv = nullptr;
    if (riid != IID_IUnknown && riid != IID_ITypeLib)
        return E_NOINTERFACE;
    *ppv = static_cast<ITypeLib*>(this);
    AddRef();
    return S_OK;
}

ULONG STDMETHODCALLTYPE SimTypeLib::Release()
{
    const LONG count = --m_references;
    if (count == 0)
        delete this;
    return static_cast<ULONG>(count);
}

HRESULT STDMETHODCALLTYPE SimTypeLib::GetTypeInfo(UINT index, ITypeInfo** ppTInfo)
{
    if (!ppTInfo)
        return E_INVALIDARG;
    *ppTInfo = nullptr;
    if (index >= kTypeCount)
        return TYPE_E_ELEMENTNOTFOUND;
    return GetView(index, ppTInfo);
}

HRESULT SimTypeLib::GetView(UINT index, ITypeInfo** ppTInfo)
{
    *ppTInfo = &m_infos[index];
    AddRef();
    return S_OK;
}

HRESULT STDMETHODCALLTYPE SimTypeLib::GetTypeInfoType(UINT index, TYPEKIND* pTKind)
{
    if (!pTKind)
        return E_INVALIDARG;
    if (index >= kTypeCount)
        return TYPE_E_ELEMENTNOTFOUND;
    *pTKind = kLayout.types[index].kind;
    return S_OK;
}

HRESULT STDMETHODCALLTYPE SimTypeLib::GetTypeInfoOfGuid(REFGUID guid, ITypeInfo** ppTinfo)
{
    CountCall(kGetTypeInfoOfGuid);
    if (!ppTinfo)
        return E_INVALIDARG;
    *ppTinfo = nullptr;
    HRESULT injected = S_OK;
    if (Injected(Op::GetTypeInfoOfGuid, &injected))
        return injected;
    for (UINT i = 0; i < kTypeCount; ++i)
        if (*kLayout.types[i].guid == guid)
            return GetTypeInfo(i, ppTinfo);
    return TYPE_E_ELEMENTNOTFOUND;
}

HRESULT STDMETHODCALLTYPE SimTypeLib::GetLibAttr(TLIBATTR** ppTLibAttr)
{
    if (!ppTLibAttr)
        return E_INVALIDARG;
    *ppTLibAttr = nullptr;
    HRESULT injected = S_OK;
    if (Injected(Op::GetLibAttr, &injected))
        return injected;
    TLIBATTR* attr = NewRecord<TLIBATTR>();
    if (!attr)
        return E_OUTOFMEMORY;
    attr->guid = kServerLibrary.libid;
    attr->lcid = 0;
    attr->syskind = SYS_WIN32;
    attr->wMajorVerNum = kServerLibrary.majorVersion;
    attr->wMinorVerNum = kServerLibrary.minorVersion;
    attr->wLibFlags = 0;
    *ppTLibAttr = attr;
    return S_OK;
}

HRESULT STDMETHODCALLTYPE SimTypeLib::GetTypeComp(ITypeComp** ppTComp)
{
    if (ppTComp)
        *ppTComp = nullptr;
    return E_NOTIMPL;
}

HRESULT STDMETHODCALLTYPE SimTypeLib::GetDocumentation(INT index, BSTR* pBstrName, BSTR* pBstrDocString,
                                                       DWORD* pdwHelpContext, BSTR* pBstrHelpFile)
{
    if (index == -1) {
        HRESULT injected = S_OK;
        if (Injected(Op::GetLibraryDocumentation, &injected))
            return injected;
        return FillDocumentation(kServerLibrary.name, kServerLibrary.helpString, pBstrName, pBstrDocString,
                                 pdwHelpContext, pBstrHelpFile,
                                 m_helpFile.empty() ? nullptr : reinterpret_cast<const WCHAR*>(m_helpFile.c_str()));
    }
    if (index < 0 || static_cast<UINT>(index) >= kTypeCount)
        return TYPE_E_ELEMENTNOTFOUND;
    return FillDocumentation(kLayout.types[index].name, kLayout.types[index].doc, pBstrName, pBstrDocString,
                             pdwHelpContext, pBstrHelpFile);
}

HRESULT STDMETHODCALLTYPE SimTypeLib::FindName(LPOLESTR, ULONG, ITypeInfo**, MEMBERID*, USHORT*)
{
    return E_NOTIMPL;
}

}  // namespace sim::internal

namespace sim {

int LiveTypeLibraries() { return internal::g_liveLibraries; }

}  // namespace sim
