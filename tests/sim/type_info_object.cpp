#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "sim/strings.h"
#include "sim/type_library_internal.h"

namespace sim::internal {

namespace {

// Calls the slot at a 32-bit vtable byte offset of the instance, as the platform's call-by-vtable
// does: the slot is read from the instance's own vtable and called with the instance first.
HRESULT CallSlot(void* instance, SHORT oVft, LONG argument)
{
    typedef HRESULT (*Slot)(void* self, LONG value);
    void* const* vtable = nullptr;
    std::memcpy(&vtable, instance, sizeof(vtable));
    Slot slot = nullptr;
    std::memcpy(&slot, &vtable[oVft / kPointerSize32], sizeof(slot));
    return slot(instance, argument);
}

}  // namespace

HRESULT FillDocumentation(const WCHAR* name, const WCHAR* doc, BSTR* pName, BSTR* pDoc, DWORD* pContext,
                          BSTR* pHelpFile, const WCHAR* helpFile)
{
    BSTR newName = nullptr;
    BSTR newDoc = nullptr;
    BSTR newHelpFile = nullptr;
    if (pName && !(newName = SysAllocString(name)))
        return E_OUTOFMEMORY;
    if (pDoc && doc && !(newDoc = SysAllocString(doc))) {
        SysFreeString(newName);
        return E_OUTOFMEMORY;
    }
    if (pHelpFile && helpFile && !(newHelpFile = SysAllocString(helpFile))) {
        SysFreeString(newName);
        SysFreeString(newDoc);
        return E_OUTOFMEMORY;
    }
    if (pName)
        *pName = newName;
    if (pDoc)
        *pDoc = newDoc;
    if (pContext)
        *pContext = 0;
    if (pHelpFile)
        *pHelpFile = newHelpFile;
    return S_OK;
}

HRESULT STDMETHODCALLTYPE SimTypeInfo::QueryInterface(REFIID riid, void** ppv)
{
    CountCall(kQueryInterface);
    if (!ppv)
        return E_POINTER;
    *ppv = nullptr;
    if (riid == IID_ITypeInfo2 && m_facet) {
        *ppv = static_cast<ITypeInfo2*>(m_facet);
    } else if (riid == IID_IUnknown || riid == IID_ITypeInfo || riid == IID_ITypeInfo2) {
        *ppv = static_cast<ITypeInfo2*>(this);
    } else {
        return E_NOINTERFACE;
    }
    AddRef();
    return S_OK;
}

ULONG STDMETHODCALLTYPE SimTypeInfo::AddRef() { return m_library->AddRef(); }
ULONG STDMETHODCALLTYPE SimTypeInfo::Release() { return m_library->Release(); }

HRESULT STDMETHODCALLTYPE SimTypeInfo::GetTypeAttr(TYPEATTR** ppTypeAttr)
{
    CountCall(kGetTypeAttr);
    if (!ppTypeAttr)
        return E_INVALIDARG;
    *ppTypeAttr = nullptr;
    HRESULT injected = S_OK;
    if (Injected(Op::GetTypeAttr, &injected))
        return injected;
    TYPEATTR* attr = NewRecord<TYPEATTR>();
    if (!attr)
        return E_OUTOFMEMORY;
    const TypeData& d = Data();
    attr->guid = *d.guid;
    attr->lcid = 0;
    attr->memidConstructor = MEMBERID_NIL;
    attr->memidDestructor = MEMBERID_NIL;
    attr->cbSizeInstance = d.cbSizeInstance;
    attr->typekind = d.kind;
    attr->cFuncs = d.functionCount;
    attr->cImplTypes = 1;
    attr->cbSizeVft = d.cbSizeVft;
    attr->cbAlignment = kPointerSize32;
    attr->wTypeFlags = d.flags;
    attr->tdescAlias.vt = VT_EMPTY;
    *ppTypeAttr = attr;
    return S_OK;
}

HRESULT STDMETHODCALLTYPE SimTypeInfo::GetTypeComp(ITypeComp** ppTComp)
{
    if (ppTComp)
        *ppTComp = nullptr;
    return E_NOTIMPL;
}

HRESULT STDMETHODCALLTYPE SimTypeInfo::GetFuncDesc(UINT index, FUNCDESC** ppFuncDesc)
{
    CountCall(kGetFuncDesc);
    if (!ppFuncDesc)
        return E_INVALIDARG;
    *ppFuncDesc = nullptr;
    HRESULT injected = S_OK;
    if (Injected(Op::GetFuncDesc, &injected))
        return injected;
    if (index >= Data().functionCount)
        return TYPE_E_ELEMENTNOTFOUND;
    FunctionRecord* record = NewRecord<FunctionRecord>();
    if (!record)
        return E_OUTOFMEMORY;
    const FunctionData& f = Function(static_cast<WORD>(index));
    FUNCDESC& desc = record->desc;
    desc.memid = f.memid;
    desc.lprgelemdescParam = &record->parameter;
    desc.funckind = f.kind;
    desc.invkind = INVOKE_FUNC;
    desc.callconv = CC_STDCALL;
    desc.cParams = f.parameter ? 1 : 0;
    desc.oVft = f.oVft;
    desc.elemdescFunc.tdesc.vt = f.result;
    desc.wFuncFlags = f.flags;
    record->parameter.tdesc.vt = VT_I4;
    record->parameter.paramdesc.wParamFlags = PARAMFLAG_NONE;
    *ppFuncDesc = &record->desc;
    return S_OK;
}

HRESULT STDMETHODCALLTYPE SimTypeInfo::GetVarDesc(UINT, VARDESC** ppVarDesc)
{
    if (ppVarDesc)
        *ppVarDesc = nullptr;
    return TYPE_E_ELEMENTNOTFOUND;
}

HRESULT STDMETHODCALLTYPE SimTypeInfo::GetNames(MEMBERID memid, BSTR* rgBstrNames, UINT cMaxNames, UINT* pcNames)
{
    if (!rgBstrNames || !pcNames)
        return E_INVALIDARG;
    const FunctionData* f = FindFunction(memid);
    if (!f)
        return TYPE_E_ELEMENTNOTFOUND;
    const WCHAR* names[] = {f->name, f->parameter};
    const UINT available = f->parameter ? 2 : 1;
    UINT count = 0;
    for (; count < available && count < cMaxNames; ++count) {
        rgBstrNames[count] = SysAllocString(names[count]);
        if (!rgBstrNames[count]) {
            while (count > 0)
                SysFreeString(rgBstrNames[--count]);
            return E_OUTOFMEMORY;
        }
    }
    *pcNames = count;
    return S_OK;
}

HRESULT STDMETHODCALLTYPE SimTypeInfo::GetRefTypeOfImplType(UINT index, HREFTYPE* pRefType)
{
    if (!pRefType)
        return E_INVALIDARG;
    if (index == kDualImplIndex && Data().vtableView != kNoReference) {
        *pRefType = Data().vtableView;
        return S_OK;
    }
    if (index != 0)
        return TYPE_E_ELEMENTNOTFOUND;
    *pRefType = Data().implType;
    return S_OK;
}

HRESULT STDMETHODCALLTYPE SimTypeInfo::GetImplTypeFlags(UINT index, INT* pImplTypeFlags)
{
    if (!pImplTypeFlags)
        return E_INVALIDARG;
    if (index != 0)
        return TYPE_E_ELEMENTNOTFOUND;
    *pImplTypeFlags = Data().implFlags;
    return S_OK;
}

HRESULT STDMETHODCALLTYPE SimTypeInfo::GetIDsOfNames(LPOLESTR* rgszNames, UINT cNames, MEMBERID* pMemId)
{
    CountCall(kGetIDsOfNames);
    if (!rgszNames || !pMemId || cNames == 0)
        return E_INVALIDARG;
    for (UINT i = 0; i < cNames; ++i)
        pMemId[i] = DISPID_UNKNOWN;
    const FunctionData* match = nullptr;
    for (WORD i = 0; i < Data().functionCount; ++i)
        if (rgszNames[0] && lstrcmpiW(rgszNames[0], Function(i).name) == 0)
            match = &Function(i);
    if (!match)
        return DISP_E_UNKNOWNNAME;
    pMemId[0] = match->memid;
    HRESULT result = S_OK;
    for (UINT i = 1; i < cNames; ++i) {
        if (rgszNames[i] && match->parameter && lstrcmpiW(rgszNames[i], match->parameter) == 0)
            pMemId[i] = 0;
        else
            result = DISP_E_UNKNOWNNAME;
    }
    return result;
}

HRESULT STDMETHODCALLTYPE SimTypeInfo::Invoke(PVOID pvInstance, MEMBERID memid, WORD wFlags, DISPPARAMS* pDispParams,
                                              VARIANT* pVarResult, EXCEPINFO* pExcepInfo, UINT* puArgErr)
{
    CountCall(kInvoke);
    // The platform documents that puArgErr cannot be null, and writes it without looking: a
    // caller that passes null would crash there, so it ends the program here too.
    if (!puArgErr) {
        std::fprintf(stderr, "ITypeInfo::Invoke: puArgErr is null, which the platform does not allow\n");
        std::abort();
    }
    if (!pDispParams)
        return E_INVALIDARG;
    const FunctionData* f = FindFunction(memid);
    if (!f || !f->parameter || !(wFlags & DISPATCH_METHOD))
        return DISP_E_MEMBERNOTFOUND;
    if (pDispParams->cNamedArgs > pDispParams->cArgs)
        return E_INVALIDARG;
    for (UINT i = 0; i < pDispParams->cNamedArgs; ++i)
        if (!pDispParams->rgdispidNamedArgs || pDispParams->rgdispidNamedArgs[i] != 0) {
            *puArgErr = i;
            return DISP_E_PARAMNOTFOUND;
        }
    if (pDispParams->cArgs != 1)
        return DISP_E_BADPARAMCOUNT;
    if (!pvInstance || !pDispParams->rgvarg)
        return E_INVALIDARG;
    VARIANT argument;
    VariantInit(&argument);
    const HRESULT converted = VariantChangeType(&argument, &pDispParams->rgvarg[0], 0, VT_I4);
    if (FAILED(converted)) {
        // Documented for a type mismatch only: an overflow or a bad variant type leaves it alone.
        if (converted == DISP_E_TYPEMISMATCH)
            *puArgErr = 0;
        return converted;
    }
    const HRESULT called = CallSlot(pvInstance, f->oVft, argument.lVal);
    if (FAILED(called)) {
        if (pExcepInfo) {
            std::memset(pExcepInfo, 0, sizeof(*pExcepInfo));
            pExcepInfo->scode = called;
        }
        return DISP_E_EXCEPTION;
    }
    if (pVarResult)
        VariantInit(pVarResult);
    return S_OK;
}

HRESULT STDMETHODCALLTYPE SimTypeInfo::GetDocumentation(MEMBERID memid, BSTR* pBstrName, BSTR* pBstrDocString,
                                                        DWORD* pdwHelpContext, BSTR* pBstrHelpFile)
{
    CountCall(kGetDocumentation);
    HRESULT injected = S_OK;
    if (Injected(Op::GetDocumentation, &injected))
        return injected;
    if (memid == MEMBERID_NIL)
        return FillDocumentation(Data().name, Data().doc, pBstrName, pBstrDocString, pdwHelpContext,
                                 pBstrHelpFile);
    const FunctionData* f = FindFunction(memid);
    if (!f)
        return TYPE_E_ELEMENTNOTFOUND;
    return FillDocumentation(f->name, f->doc, pBstrName, pBstrDocString, pdwHelpContext, pBstrHelpFile);
}

HRESULT STDMETHODCALLTYPE SimTypeInfo::GetDllEntry(MEMBERID, INVOKEKIND, BSTR*, BSTR*, WORD*)
{
    return TYPE_E_BADMODULEKIND;
}

HRESULT STDMETHODCALLTYPE SimTypeInfo::AddressOfMember(MEMBERID, INVOKEKIND, PVOID* ppv)
{
    if (ppv)
        *ppv = nullptr;
    return E_NOTIMPL;
}

HRESULT STDMETHODCALLTYPE SimTypeInfo::CreateInstance(IUnknown*, REFIID, PVOID* ppvObj)
{
    if (ppvObj)
        *ppvObj = nullptr;
    return E_NOTIMPL;
}

HRESULT STDMETHODCALLTYPE SimTypeInfo::GetMops(MEMBERID, BSTR* pBstrMops)
{
    if (pBstrMops)
        *pBstrMops = nullptr;
    return S_OK;
}

void STDMETHODCALLTYPE SimTypeInfo::ReleaseFuncDesc(FUNCDESC* pFuncDesc)
{
    // The description is the first member of its record.
    DeleteRecord(reinterpret_cast<FunctionRecord*>(pFuncDesc));
}

HRESULT STDMETHODCALLTYPE SimTypeInfo::GetTypeKind(TYPEKIND* pTypeKind)
{
    if (!pTypeKind)
        return E_INVALIDARG;
    *pTypeKind = Data().kind;
    return S_OK;
}

HRESULT STDMETHODCALLTYPE SimTypeInfo::GetTypeFlags(ULONG* pTypeFlags)
{
    if (!pTypeFlags)
        return E_INVALIDARG;
    *pTypeFlags = Data().flags;
    return S_OK;
}

HRESULT STDMETHODCALLTYPE SimTypeInfo::GetFuncIndexOfMemId(MEMBERID memid, INVOKEKIND invKind, UINT* pFuncIndex)
{
    if (!pFuncIndex)
        return E_INVALIDARG;
    for (WORD i = 0; i < Data().functionCount; ++i)
        if (Function(i).memid == memid && (invKind & INVOKE_FUNC)) {
            *pFuncIndex = i;
            return S_OK;
        }
    return TYPE_E_ELEMENTNOTFOUND;
}

HRESULT STDMETHODCALLTYPE SimTypeInfo::GetFuncCustData(UINT, REFGUID, VARIANT* pVarVal)
{
    return NoCustomData(pVarVal);
}

HRESULT STDMETHODCALLTYPE SimTypeInfo::GetParamCustData(UINT, UINT, REFGUID, VARIANT* pVarVal)
{
    return NoCustomData(pVarVal);
}

HRESULT STDMETHODCALLTYPE SimTypeInfo::GetVarCustData(UINT, REFGUID, VARIANT* pVarVal)
{
    return NoCustomData(pVarVal);
}

HRESULT STDMETHODCALLTYPE SimTypeInfo::GetImplTypeCustData(UINT, REFGUID, VARIANT* pVarVal)
{
    return NoCustomData(pVarVal);
}

const FunctionData* SimTypeInfo::FindFunction(MEMBERID memid) const
{
    for (WORD i = 0; i < Data().functionCount; ++i)
        if (Function(i).memid == memid)
            return &Function(i);
    return nullptr;
}

HRESULT SimTypeInfo::NoCustomData(VARIANT* value)
{
    if (!value)
        return E_INVALIDARG;
    VariantInit(value);
    return S_OK;
}

HRESULT STDMETHODCALLTYPE SimTypeInfo::GetRefTypeInfo(HREFTYPE hRefType, ITypeInfo** ppTInfo)
{
    if (!ppTInfo)
        return E_INVALIDARG;
    *ppTInfo = nullptr;
    if (hRefType == kImportedIDispatch)
        return E_NOTIMPL;  // the imported standard library is not part of the simulation
    if (hRefType >= kViewCount)
        return TYPE_E_ELEMENTNOTFOUND;
    return m_library->GetView(hRefType, ppTInfo);
}

HRESULT STDMETHODCALLTYPE SimTypeInfo::GetContainingTypeLib(ITypeLib** ppTLib, UINT* pIndex)
{
    if (!ppTLib)
        return E_INVALIDARG;
    *ppTLib = m_library;
    m_library->AddRef();
    if (pIndex)
        *pIndex = Data().description;  // a view has its description's index
    return S_OK;
}

}  // namespace sim::internal
