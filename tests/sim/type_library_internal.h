// What the simulated type library's files share, not the system nor the tests: the library object
// and its type information, the records and strings they hand out, and the count of calls.
#pragma once

#include <atomic>
#include <new>
#include <string>

#include "sim/faults_internal.h"
#include "sim/type_layout.h"
#include "sim/type_library.h"

namespace sim::internal {

// Calls into the service, by operation, for sim::AutomationCallCounts.
enum CallIndex {
    kLoadTypeLib, kLoadRegTypeLib, kRegisterTypeLib, kUnregisterTypeLib, kGetTypeInfoOfGuid, kGetTypeAttr,
    kGetFuncDesc, kGetDocumentation, kGetIDsOfNames, kInvoke, kQueryInterface, kCallIndexCount,
};
void CountCall(CallIndex call);

// Description records handed out and not yet given back through their Release call.
extern std::atomic<int> g_outstandingDescriptions;

// Allocates a description record the caller releases through the matching Release call.
template <class Record>
Record* NewRecord()
{
    if (Injected(Op::Allocation))
        return nullptr;
    Record* record = new (std::nothrow) Record();
    if (record)
        ++g_outstandingDescriptions;
    return record;
}

template <class Record>
void DeleteRecord(Record* record)
{
    if (!record)
        return;
    --g_outstandingDescriptions;
    delete record;
}

// Requested outputs of a GetDocumentation call, all or nothing; a missing help string or help file
// is null.
HRESULT FillDocumentation(const WCHAR* name, const WCHAR* doc, BSTR* pName, BSTR* pDoc, DWORD* pContext,
                          BSTR* pHelpFile, const WCHAR* helpFile = nullptr);

class SimTypeLib;

// One of the library's descriptions or views as type information.
class SimTypeInfo : public ITypeInfo2 {
public:
    SimTypeLib* m_library = nullptr;
    UINT m_index = 0;
    SimTypeInfo* m_facet = nullptr;  // the split ITypeInfo2 object, or null on the facet itself

    const TypeData& Data() const { return kLayout.types[m_index]; }
    const FunctionData& Function(WORD index) const { return kLayout.functions[Data().firstFunction + index]; }

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override;
    ULONG STDMETHODCALLTYPE AddRef() override;
    ULONG STDMETHODCALLTYPE Release() override;

    HRESULT STDMETHODCALLTYPE GetTypeAttr(TYPEATTR** ppTypeAttr) override;
    HRESULT STDMETHODCALLTYPE GetTypeComp(ITypeComp** ppTComp) override;
    HRESULT STDMETHODCALLTYPE GetFuncDesc(UINT index, FUNCDESC** ppFuncDesc) override;
    HRESULT STDMETHODCALLTYPE GetVarDesc(UINT, VARDESC** ppVarDesc) override;
    HRESULT STDMETHODCALLTYPE GetNames(MEMBERID memid, BSTR* rgBstrNames, UINT cMaxNames, UINT* pcNames) override;
    HRESULT STDMETHODCALLTYPE GetRefTypeOfImplType(UINT index, HREFTYPE* pRefType) override;
    HRESULT STDMETHODCALLTYPE GetImplTypeFlags(UINT index, INT* pImplTypeFlags) override;
    HRESULT STDMETHODCALLTYPE GetIDsOfNames(LPOLESTR* rgszNames, UINT cNames, MEMBERID* pMemId) override;
    HRESULT STDMETHODCALLTYPE Invoke(PVOID pvInstance, MEMBERID memid, WORD wFlags, DISPPARAMS* pDispParams,
                                     VARIANT* pVarResult, EXCEPINFO* pExcepInfo, UINT* puArgErr) override;
    HRESULT STDMETHODCALLTYPE GetDocumentation(MEMBERID memid, BSTR* pBstrName, BSTR* pBstrDocString,
                                               DWORD* pdwHelpContext, BSTR* pBstrHelpFile) override;
    HRESULT STDMETHODCALLTYPE GetDllEntry(MEMBERID, INVOKEKIND, BSTR*, BSTR*, WORD*) override;
    HRESULT STDMETHODCALLTYPE GetRefTypeInfo(HREFTYPE hRefType, ITypeInfo** ppTInfo) override;
    HRESULT STDMETHODCALLTYPE AddressOfMember(MEMBERID, INVOKEKIND, PVOID* ppv) override;
    HRESULT STDMETHODCALLTYPE CreateInstance(IUnknown*, REFIID, PVOID* ppvObj) override;
    HRESULT STDMETHODCALLTYPE GetMops(MEMBERID, BSTR* pBstrMops) override;
    HRESULT STDMETHODCALLTYPE GetContainingTypeLib(ITypeLib** ppTLib, UINT* pIndex) override;
    void STDMETHODCALLTYPE ReleaseTypeAttr(TYPEATTR* pTypeAttr) override { DeleteRecord(pTypeAttr); }
    void STDMETHODCALLTYPE ReleaseFuncDesc(FUNCDESC* pFuncDesc) override;
    void STDMETHODCALLTYPE ReleaseVarDesc(VARDESC*) override {}

    HRESULT STDMETHODCALLTYPE GetTypeKind(TYPEKIND* pTypeKind) override;
    HRESULT STDMETHODCALLTYPE GetTypeFlags(ULONG* pTypeFlags) override;
    HRESULT STDMETHODCALLTYPE GetFuncIndexOfMemId(MEMBERID memid, INVOKEKIND invKind, UINT* pFuncIndex) override;
    HRESULT STDMETHODCALLTYPE GetVarIndexOfMemId(MEMBERID, UINT*) override { return TYPE_E_ELEMENTNOTFOUND; }
    HRESULT STDMETHODCALLTYPE GetCustData(REFGUID, VARIANT* pVarVal) override { return NoCustomData(pVarVal); }
    HRESULT STDMETHODCALLTYPE GetFuncCustData(UINT, REFGUID, VARIANT* pVarVal) override;
    HRESULT STDMETHODCALLTYPE GetParamCustData(UINT, UINT, REFGUID, VARIANT* pVarVal) override;
    HRESULT STDMETHODCALLTYPE GetVarCustData(UINT, REFGUID, VARIANT* pVarVal) override;
    HRESULT STDMETHODCALLTYPE GetImplTypeCustData(UINT, REFGUID, VARIANT* pVarVal) override;
    HRESULT STDMETHODCALLTYPE GetDocumentation2(MEMBERID, LCID, BSTR*, DWORD*, BSTR*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetAllCustData(CUSTDATA*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetAllFuncCustData(UINT, CUSTDATA*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetAllParamCustData(UINT, UINT, CUSTDATA*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetAllVarCustData(UINT, CUSTDATA*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetAllImplTypeCustData(UINT, CUSTDATA*) override { return E_NOTIMPL; }

    virtual ~SimTypeInfo() = default;

private:
    struct FunctionRecord {
        FUNCDESC desc;
        ELEMDESC parameter;
    };

    const FunctionData* FindFunction(MEMBERID memid) const;
    static HRESULT NoCustomData(VARIANT* value);
};

// The library and its type information share one reference count, so type information keeps its
// library alive, as on the platform.
class SimTypeLib : public ITypeLib {
public:
    std::atomic<LONG> m_references{1};
    SimTypeInfo m_infos[kViewCount];
    SimTypeInfo m_facets[kViewCount];
    std::u16string m_helpFile;

    SimTypeLib(bool splitIdentity, std::u16string helpFile);
    virtual ~SimTypeLib();

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override;
    ULONG STDMETHODCALLTYPE AddRef() override { return static_cast<ULONG>(++m_references); }
    ULONG STDMETHODCALLTYPE Release() override;

    UINT STDMETHODCALLTYPE GetTypeInfoCount() override { return kTypeCount; }
    HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT index, ITypeInfo** ppTInfo) override;
    HRESULT GetView(UINT index, ITypeInfo** ppTInfo);
    HRESULT STDMETHODCALLTYPE GetTypeInfoType(UINT index, TYPEKIND* pTKind) override;
    HRESULT STDMETHODCALLTYPE GetTypeInfoOfGuid(REFGUID guid, ITypeInfo** ppTinfo) override;
    HRESULT STDMETHODCALLTYPE GetLibAttr(TLIBATTR** ppTLibAttr) override;
    HRESULT STDMETHODCALLTYPE GetTypeComp(ITypeComp** ppTComp) override;
    HRESULT STDMETHODCALLTYPE GetDocumentation(INT index, BSTR* pBstrName, BSTR* pBstrDocString,
                                               DWORD* pdwHelpContext, BSTR* pBstrHelpFile) override;
    HRESULT STDMETHODCALLTYPE IsName(LPOLESTR, ULONG, BOOL*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE FindName(LPOLESTR, ULONG, ITypeInfo**, MEMBERID*, USHORT*) override;
    void STDMETHODCALLTYPE ReleaseTLibAttr(TLIBATTR* pTLibAttr) override { DeleteRecord(pTLibAttr); }
};

}  // namespace sim::internal
