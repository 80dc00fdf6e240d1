#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <new>
#include <string>
#include <utility>
#include <vector>

#include "sim/automation_control.h"
#include "sim/faults_internal.h"
#include "sim/modules_control.h"
#include "sim/strings.h"
#include "sim/type_library.h"

const IID IID_ITypeInfo = {0x00020401, 0x0000, 0x0000, {0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};
const IID IID_ITypeInfo2 = {0x00020412, 0x0000, 0x0000, {0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};
const IID IID_ITypeLib = {0x00020402, 0x0000, 0x0000, {0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};
const IID IID_ITypeComp = {0x00020403, 0x0000, 0x0000, {0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};

namespace {

// --- the one library file the simulation knows: the server's VeskLib -----------------------------
// Offsets and sizes are those of the 32-bit platform, where the file's vtable layout was decided.
constexpr WORD kPointerSize32 = 4;

const GUID kLibid = {0xA1C5E3F7, 0x6B28, 0x4D9A, {0x8E, 0x40, 0x2F, 0x7B, 0x9C, 0x1D, 0x5E, 0x63}};
const GUID kClsid = {0x4D2A7C19, 0x0B6E, 0x4F83, {0x9A, 0x51, 0xC7, 0xE2, 0xD8, 0xB3, 0xF0, 0x46}};
const GUID kIid = {0x7E3B9D51, 0xC2A4, 0x4F68, {0xB0, 0xD7, 0x13, 0xA9, 0xE5, 0xC8, 0xF2, 0xB4}};

struct FunctionData {
    const WCHAR* name;
    MEMBERID memid;
    SHORT oVft;
    const WCHAR* doc;        // null: none
    const WCHAR* parameter;  // the one VT_I4 parameter without flags; null: parameters not described
    FUNCKIND kind;
    VARTYPE result;
    WORD flags;
};

// A reference to IDispatch in the imported standard library; not followed by the simulation.
constexpr HREFTYPE kImportedIDispatch = 0xFFFF0001;
// GetRefTypeOfImplType(-1) of a dual interface's dispatch view leads to its vtable view.
constexpr UINT kDualImplIndex = 0xFFFFFFFFu;
constexpr HREFTYPE kNoReference = 0xFFFFFFFFu;

struct TypeData {
    const WCHAR* name;
    const GUID* guid;
    TYPEKIND kind;
    WORD flags;
    const WCHAR* doc;
    WORD cbSizeVft;
    ULONG cbSizeInstance;
    HREFTYPE implType;
    INT implFlags;
    HREFTYPE vtableView;  // kNoReference unless this is a dual interface's dispatch view
    const FunctionData* functions;
    WORD functionCount;
};

constexpr WORD kDualFlags = TYPEFLAG_FDUAL | TYPEFLAG_FNONEXTENSIBLE | TYPEFLAG_FOLEAUTOMATION | TYPEFLAG_FDISPATCHABLE;
constexpr WORD kRestricted = FUNCFLAG_FRESTRICTED;

// The dispatch view lists IDispatch's seven inherited functions first, as the platform presents a
// dual interface; their parameters are not described here.
const FunctionData kDispatchViewFunctions[] = {
    {L"QueryInterface", 0x60000000, 0 * kPointerSize32, nullptr, nullptr, FUNC_DISPATCH, VT_VOID, kRestricted},
    {L"AddRef", 0x60000001, 1 * kPointerSize32, nullptr, nullptr, FUNC_DISPATCH, VT_UI4, kRestricted},
    {L"Release", 0x60000002, 2 * kPointerSize32, nullptr, nullptr, FUNC_DISPATCH, VT_UI4, kRestricted},
    {L"GetTypeInfoCount", 0x60010000, 3 * kPointerSize32, nullptr, nullptr, FUNC_DISPATCH, VT_VOID, kRestricted},
    {L"GetTypeInfo", 0x60010001, 4 * kPointerSize32, nullptr, nullptr, FUNC_DISPATCH, VT_VOID, kRestricted},
    {L"GetIDsOfNames", 0x60010002, 5 * kPointerSize32, nullptr, nullptr, FUNC_DISPATCH, VT_VOID, kRestricted},
    {L"Invoke", 0x60010003, 6 * kPointerSize32, nullptr, nullptr, FUNC_DISPATCH, VT_VOID, kRestricted},
    {L"EnableVesk", 2, 7 * kPointerSize32, L"method EnableVesk", L"hWnd", FUNC_DISPATCH, VT_VOID, 0},
    {L"MakeSure", 3, 8 * kPointerSize32, L"method MakeSure", L"hWnd", FUNC_DISPATCH, VT_VOID, 0},
};

const FunctionData kVtableViewFunctions[] = {
    {L"EnableVesk", 2, 7 * kPointerSize32, L"method EnableVesk", L"hWnd", FUNC_PUREVIRTUAL, VT_HRESULT, 0},
    {L"MakeSure", 3, 8 * kPointerSize32, L"method MakeSure", L"hWnd", FUNC_PUREVIRTUAL, VT_HRESULT, 0},
};

// The library's two descriptions, co-class first, then the vtable view of the dual interface,
// which only a reference reaches. The dispatch view reports the stored flags less
// TYPEFLAG_FOLEAUTOMATION and IDispatch's vtable size, as the platform's reader does.
const TypeData kTypes[] = {
    {L"VeskEnabler", &kClsid, TKIND_COCLASS, TYPEFLAG_FCANCREATE, L"VeskEnabler Class", 0, kPointerSize32,
     1, IMPLTYPEFLAG_FDEFAULT, kNoReference, nullptr, 0},
    {L"IVeskEnabler", &kIid, TKIND_DISPATCH, kDualFlags & ~TYPEFLAG_FOLEAUTOMATION, L"IVeskEnabler Interface",
     7 * kPointerSize32, kPointerSize32, kImportedIDispatch, 0, 2, kDispatchViewFunctions, 9},
    {L"IVeskEnabler", &kIid, TKIND_INTERFACE, kDualFlags, L"IVeskEnabler Interface", 9 * kPointerSize32,
     kPointerSize32, kImportedIDispatch, 0, kNoReference, kVtableViewFunctions, 2},
};
constexpr UINT kTypeCount = 2;
constexpr UINT kViewCount = sizeof(kTypes) / sizeof(kTypes[0]);

const WCHAR kLibraryName[] = L"VeskLib";
const WCHAR kLibraryDoc[] = L"Vesk 1.0 Type Library";

// --- state ---------------------------------------------------------------------------------------
// A file placed by a test that holds the library, with the help file the library names.
struct PlacedFile {
    std::u16string path;
    std::u16string helpFile;  // empty: none
};

struct Service {
    std::mutex mutex;
    std::vector<PlacedFile> placedFiles;
    // The library module's file holds the library unless a test removed it from there.
    bool moduleFileHoldsLibrary = true;
    std::vector<sim::TypeLibraryRegistration> registrations;
    bool splitIdentity = false;
};

Service& TheService()
{
    static Service* service = new Service;  // outlives detached threads at process exit
    return *service;
}

std::atomic<int> g_calls[11];
enum CallIndex {
    kLoadTypeLib, kLoadRegTypeLib, kRegisterTypeLib, kUnregisterTypeLib, kGetTypeInfoOfGuid, kGetTypeAttr,
    kGetFuncDesc, kGetDocumentation, kGetIDsOfNames, kInvoke, kQueryInterface,
};
std::atomic<int> g_liveLibraries{0};
std::atomic<void (*)()> g_loadRegTypeLibHook{nullptr};
std::atomic<int> g_outstandingDescriptions{0};

void Count(CallIndex call) { ++g_calls[call]; }

std::u16string Text(LPCOLESTR text) { return text ? std::u16string(reinterpret_cast<const char16_t*>(text)) : u""; }

bool SamePath(const std::u16string& a, LPCOLESTR b)
{
    return lstrcmpiW(reinterpret_cast<LPCWSTR>(a.c_str()), b) == 0;
}

// Allocates a description record the caller releases through the matching Release call.
template <class Record>
Record* NewRecord()
{
    if (sim::internal::Injected(sim::Op::Allocation))
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
                          BSTR* pHelpFile, const WCHAR* helpFile = nullptr)
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

class SimTypeLib;

class SimTypeInfo : public ITypeInfo2 {
public:
    SimTypeLib* m_library = nullptr;
    UINT m_index = 0;
    SimTypeInfo* m_facet = nullptr;  // the split ITypeInfo2 object, or null on the facet itself

    const TypeData& Data() const { return kTypes[m_index]; }

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override;
    ULONG STDMETHODCALLTYPE AddRef() override;
    ULONG STDMETHODCALLTYPE Release() override;

    HRESULT STDMETHODCALLTYPE GetTypeAttr(TYPEATTR** ppTypeAttr) override
    {
        Count(kGetTypeAttr);
        if (!ppTypeAttr)
            return E_INVALIDARG;
        *ppTypeAttr = nullptr;
        HRESULT injected = S_OK;
        if (sim::internal::Injected(sim::Op::GetTypeAttr, &injected))
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
    HRESULT STDMETHODCALLTYPE GetTypeComp(ITypeComp** ppTComp) override
    {
        if (ppTComp)
            *ppTComp = nullptr;
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE GetFuncDesc(UINT index, FUNCDESC** ppFuncDesc) override
    {
        Count(kGetFuncDesc);
        if (!ppFuncDesc)
            return E_INVALIDARG;
        *ppFuncDesc = nullptr;
        HRESULT injected = S_OK;
        if (sim::internal::Injected(sim::Op::GetFuncDesc, &injected))
            return injected;
        if (index >= Data().functionCount)
            return TYPE_E_ELEMENTNOTFOUND;
        FunctionRecord* record = NewRecord<FunctionRecord>();
        if (!record)
            return E_OUTOFMEMORY;
        const FunctionData& f = Data().functions[index];
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
    HRESULT STDMETHODCALLTYPE GetVarDesc(UINT, VARDESC** ppVarDesc) override
    {
        if (ppVarDesc)
            *ppVarDesc = nullptr;
        return TYPE_E_ELEMENTNOTFOUND;
    }
    HRESULT STDMETHODCALLTYPE GetNames(MEMBERID memid, BSTR* rgBstrNames, UINT cMaxNames, UINT* pcNames) override
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
    HRESULT STDMETHODCALLTYPE GetRefTypeOfImplType(UINT index, HREFTYPE* pRefType) override
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
    HRESULT STDMETHODCALLTYPE GetImplTypeFlags(UINT index, INT* pImplTypeFlags) override
    {
        if (!pImplTypeFlags)
            return E_INVALIDARG;
        if (index != 0)
            return TYPE_E_ELEMENTNOTFOUND;
        *pImplTypeFlags = Data().implFlags;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetIDsOfNames(LPOLESTR* rgszNames, UINT cNames, MEMBERID* pMemId) override
    {
        Count(kGetIDsOfNames);
        if (!rgszNames || !pMemId || cNames == 0)
            return E_INVALIDARG;
        for (UINT i = 0; i < cNames; ++i)
            pMemId[i] = DISPID_UNKNOWN;
        const FunctionData* match = nullptr;
        for (WORD i = 0; i < Data().functionCount; ++i)
            if (rgszNames[0] && lstrcmpiW(rgszNames[0], Data().functions[i].name) == 0)
                match = &Data().functions[i];
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
    HRESULT STDMETHODCALLTYPE Invoke(PVOID pvInstance, MEMBERID memid, WORD wFlags, DISPPARAMS* pDispParams,
                                     VARIANT* pVarResult, EXCEPINFO* pExcepInfo, UINT* puArgErr) override
    {
        Count(kInvoke);
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
    HRESULT STDMETHODCALLTYPE GetDocumentation(MEMBERID memid, BSTR* pBstrName, BSTR* pBstrDocString,
                                               DWORD* pdwHelpContext, BSTR* pBstrHelpFile) override
    {
        Count(kGetDocumentation);
        HRESULT injected = S_OK;
        if (sim::internal::Injected(sim::Op::GetDocumentation, &injected))
            return injected;
        if (memid == MEMBERID_NIL)
            return FillDocumentation(Data().name, Data().doc, pBstrName, pBstrDocString, pdwHelpContext,
                                     pBstrHelpFile);
        const FunctionData* f = FindFunction(memid);
        if (!f)
            return TYPE_E_ELEMENTNOTFOUND;
        return FillDocumentation(f->name, f->doc, pBstrName, pBstrDocString, pdwHelpContext, pBstrHelpFile);
    }
    HRESULT STDMETHODCALLTYPE GetDllEntry(MEMBERID, INVOKEKIND, BSTR*, BSTR*, WORD*) override
    {
        return TYPE_E_BADMODULEKIND;
    }
    HRESULT STDMETHODCALLTYPE GetRefTypeInfo(HREFTYPE hRefType, ITypeInfo** ppTInfo) override;
    HRESULT STDMETHODCALLTYPE AddressOfMember(MEMBERID, INVOKEKIND, PVOID* ppv) override
    {
        if (ppv)
            *ppv = nullptr;
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE CreateInstance(IUnknown*, REFIID, PVOID* ppvObj) override
    {
        if (ppvObj)
            *ppvObj = nullptr;
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE GetMops(MEMBERID, BSTR* pBstrMops) override
    {
        if (pBstrMops)
            *pBstrMops = nullptr;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetContainingTypeLib(ITypeLib** ppTLib, UINT* pIndex) override;
    void STDMETHODCALLTYPE ReleaseTypeAttr(TYPEATTR* pTypeAttr) override { DeleteRecord(pTypeAttr); }
    void STDMETHODCALLTYPE ReleaseFuncDesc(FUNCDESC* pFuncDesc) override
    {
        // The description is the first member of its record.
        DeleteRecord(reinterpret_cast<FunctionRecord*>(pFuncDesc));
    }
    void STDMETHODCALLTYPE ReleaseVarDesc(VARDESC*) override {}

    HRESULT STDMETHODCALLTYPE GetTypeKind(TYPEKIND* pTypeKind) override
    {
        if (!pTypeKind)
            return E_INVALIDARG;
        *pTypeKind = Data().kind;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetTypeFlags(ULONG* pTypeFlags) override
    {
        if (!pTypeFlags)
            return E_INVALIDARG;
        *pTypeFlags = Data().flags;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetFuncIndexOfMemId(MEMBERID memid, INVOKEKIND invKind, UINT* pFuncIndex) override
    {
        if (!pFuncIndex)
            return E_INVALIDARG;
        for (WORD i = 0; i < Data().functionCount; ++i)
            if (Data().functions[i].memid == memid && (invKind & INVOKE_FUNC)) {
                *pFuncIndex = i;
                return S_OK;
            }
        return TYPE_E_ELEMENTNOTFOUND;
    }
    HRESULT STDMETHODCALLTYPE GetVarIndexOfMemId(MEMBERID, UINT*) override { return TYPE_E_ELEMENTNOTFOUND; }
    HRESULT STDMETHODCALLTYPE GetCustData(REFGUID, VARIANT* pVarVal) override { return NoCustomData(pVarVal); }
    HRESULT STDMETHODCALLTYPE GetFuncCustData(UINT, REFGUID, VARIANT* pVarVal) override
    {
        return NoCustomData(pVarVal);
    }
    HRESULT STDMETHODCALLTYPE GetParamCustData(UINT, UINT, REFGUID, VARIANT* pVarVal) override
    {
        return NoCustomData(pVarVal);
    }
    HRESULT STDMETHODCALLTYPE GetVarCustData(UINT, REFGUID, VARIANT* pVarVal) override
    {
        return NoCustomData(pVarVal);
    }
    HRESULT STDMETHODCALLTYPE GetImplTypeCustData(UINT, REFGUID, VARIANT* pVarVal) override
    {
        return NoCustomData(pVarVal);
    }
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

    const FunctionData* FindFunction(MEMBERID memid) const
    {
        for (WORD i = 0; i < Data().functionCount; ++i)
            if (Data().functions[i].memid == memid)
                return &Data().functions[i];
        return nullptr;
    }
    static HRESULT NoCustomData(VARIANT* value)
    {
        if (!value)
            return E_INVALIDARG;
        VariantInit(value);
        return S_OK;
    }
};

// The library and its type information share one reference count, so type information keeps its
// library alive, as on the platform.
class SimTypeLib : public ITypeLib {
public:
    std::atomic<LONG> m_references{1};
    SimTypeInfo m_infos[kViewCount];
    SimTypeInfo m_facets[kViewCount];
    std::u16string m_helpFile;

    SimTypeLib(bool splitIdentity, std::u16string helpFile) : m_helpFile(std::move(helpFile))
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
    virtual ~SimTypeLib() { --g_liveLibraries; }

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override
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
    ULONG STDMETHODCALLTYPE AddRef() override { return static_cast<ULONG>(++m_references); }
    ULONG STDMETHODCALLTYPE Release() override
    {
        const LONG count = --m_references;
        if (count == 0)
            delete this;
        return static_cast<ULONG>(count);
    }

    UINT STDMETHODCALLTYPE GetTypeInfoCount() override { return kTypeCount; }
    HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT index, ITypeInfo** ppTInfo) override
    {
        if (!ppTInfo)
            return E_INVALIDARG;
        *ppTInfo = nullptr;
        if (index >= kTypeCount)
            return TYPE_E_ELEMENTNOTFOUND;
        return GetView(index, ppTInfo);
    }
    HRESULT GetView(UINT index, ITypeInfo** ppTInfo)
    {
        *ppTInfo = &m_infos[index];
        AddRef();
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetTypeInfoType(UINT index, TYPEKIND* pTKind) override
    {
        if (!pTKind)
            return E_INVALIDARG;
        if (index >= kTypeCount)
            return TYPE_E_ELEMENTNOTFOUND;
        *pTKind = kTypes[index].kind;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetTypeInfoOfGuid(REFGUID guid, ITypeInfo** ppTinfo) override
    {
        Count(kGetTypeInfoOfGuid);
        if (!ppTinfo)
            return E_INVALIDARG;
        *ppTinfo = nullptr;
        HRESULT injected = S_OK;
        if (sim::internal::Injected(sim::Op::GetTypeInfoOfGuid, &injected))
            return injected;
        for (UINT i = 0; i < kTypeCount; ++i)
            if (*kTypes[i].guid == guid)
                return GetTypeInfo(i, ppTinfo);
        return TYPE_E_ELEMENTNOTFOUND;
    }
    HRESULT STDMETHODCALLTYPE GetLibAttr(TLIBATTR** ppTLibAttr) override
    {
        if (!ppTLibAttr)
            return E_INVALIDARG;
        *ppTLibAttr = nullptr;
        HRESULT injected = S_OK;
        if (sim::internal::Injected(sim::Op::GetLibAttr, &injected))
            return injected;
        TLIBATTR* attr = NewRecord<TLIBATTR>();
        if (!attr)
            return E_OUTOFMEMORY;
        attr->guid = kLibid;
        attr->lcid = 0;
        attr->syskind = SYS_WIN32;
        attr->wMajorVerNum = 1;
        attr->wMinorVerNum = 0;
        attr->wLibFlags = 0;
        *ppTLibAttr = attr;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetTypeComp(ITypeComp** ppTComp) override
    {
        if (ppTComp)
            *ppTComp = nullptr;
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE GetDocumentation(INT index, BSTR* pBstrName, BSTR* pBstrDocString,
                                               DWORD* pdwHelpContext, BSTR* pBstrHelpFile) override
    {
        if (index == -1) {
            HRESULT injected = S_OK;
            if (sim::internal::Injected(sim::Op::GetLibraryDocumentation, &injected))
                return injected;
            return FillDocumentation(kLibraryName, kLibraryDoc, pBstrName, pBstrDocString, pdwHelpContext,
                                     pBstrHelpFile,
                                     m_helpFile.empty() ? nullptr : reinterpret_cast<const WCHAR*>(m_helpFile.c_str()));
        }
        if (index < 0 || static_cast<UINT>(index) >= kTypeCount)
            return TYPE_E_ELEMENTNOTFOUND;
        return FillDocumentation(kTypes[index].name, kTypes[index].doc, pBstrName, pBstrDocString,
                                 pdwHelpContext, pBstrHelpFile);
    }
    HRESULT STDMETHODCALLTYPE IsName(LPOLESTR, ULONG, BOOL*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE FindName(LPOLESTR, ULONG, ITypeInfo**, MEMBERID*, USHORT*) override
    {
        return E_NOTIMPL;
    }
    void STDMETHODCALLTYPE ReleaseTLibAttr(TLIBATTR* pTLibAttr) override { DeleteRecord(pTLibAttr); }
};

HRESULT STDMETHODCALLTYPE SimTypeInfo::QueryInterface(REFIID riid, void** ppv)
{
    Count(kQueryInterface);
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
        *pIndex = m_index < kTypeCount ? m_index : 1;  // a view has its description's index
    return S_OK;
}

HRESULT OpenPlacedFile(LPCOLESTR path, ITypeLib** pptlib)
{
    bool placed = false;
    bool split = false;
    std::u16string helpFile;
    const std::u16string modulePath = sim::ModuleFileName(sim::LibraryModule());
    {
        Service& s = TheService();
        std::lock_guard<std::mutex> lock(s.mutex);
        auto file = std::find_if(s.placedFiles.begin(), s.placedFiles.end(),
                                 [path](const PlacedFile& f) { return SamePath(f.path, path); });
        if (file != s.placedFiles.end()) {
            placed = true;
            helpFile = file->helpFile;
        } else {
            placed = s.moduleFileHoldsLibrary && !modulePath.empty() && SamePath(modulePath, path);
        }
        split = s.splitIdentity;
    }
    if (!placed)
        return TYPE_E_CANTLOADLIBRARY;
    if (sim::internal::Injected(sim::Op::Allocation))
        return E_OUTOFMEMORY;
    SimTypeLib* library = new (std::nothrow) SimTypeLib(split, std::move(helpFile));
    if (!library)
        return E_OUTOFMEMORY;
    *pptlib = library;
    return S_OK;
}

HRESULT Register(ITypeLib* ptlib, LPCOLESTR path, LPCOLESTR helpDir, bool perUser)
{
    Count(kRegisterTypeLib);
    if (!ptlib || !path)
        return E_INVALIDARG;
    TLIBATTR* attr = nullptr;
    HRESULT hr = ptlib->GetLibAttr(&attr);
    if (FAILED(hr))
        return hr;
    BSTR doc = nullptr;
    hr = ptlib->GetDocumentation(-1, nullptr, &doc, nullptr, nullptr);
    if (FAILED(hr)) {
        ptlib->ReleaseTLibAttr(attr);
        return hr;
    }
    // The record's copies may run short; the attributes and the name are given back either way.
    sim::TypeLibraryRegistration record;
    try {
        record = sim::TypeLibraryRegistration{attr->guid, attr->wMajorVerNum, attr->wMinorVerNum, attr->lcid,
                                              attr->syskind, perUser, Text(path), helpDir != nullptr,
                                              Text(helpDir), Text(doc)};
    } catch (const std::bad_alloc&) {
        hr = E_OUTOFMEMORY;
    }
    SysFreeString(doc);
    ptlib->ReleaseTLibAttr(attr);
    if (FAILED(hr))
        return hr;

    Service& s = TheService();
    std::lock_guard<std::mutex> lock(s.mutex);
    for (auto& existing : s.registrations)
        if (existing.libid == record.libid && existing.wMajorVerNum == record.wMajorVerNum &&
            existing.wMinorVerNum == record.wMinorVerNum && existing.lcid == record.lcid &&
            existing.syskind == record.syskind && existing.perUser == perUser) {
            existing = record;
            return S_OK;
        }
    s.registrations.push_back(record);
    return S_OK;
}

HRESULT Unregister(REFGUID libID, WORD major, WORD minor, LCID lcid, SYSKIND syskind, bool perUser)
{
    Count(kUnregisterTypeLib);
    Service& s = TheService();
    std::lock_guard<std::mutex> lock(s.mutex);
    for (auto it = s.registrations.begin(); it != s.registrations.end(); ++it)
        if (it->libid == libID && it->wMajorVerNum == major && it->wMinorVerNum == minor && it->lcid == lcid &&
            it->syskind == syskind && it->perUser == perUser) {
            s.registrations.erase(it);
            return S_OK;
        }
    return TYPE_E_REGISTRYACCESS;
}

void PublishFunctions(bool perUser)
{
    sim::PublishExport(L"OLEAUT32.DLL", "LoadTypeLib", &LoadTypeLib);
    sim::PublishExport(L"OLEAUT32.DLL", "LoadRegTypeLib", &LoadRegTypeLib);
    sim::PublishExport(L"OLEAUT32.DLL", "RegisterTypeLib", &RegisterTypeLib);
    sim::PublishExport(L"OLEAUT32.DLL", "UnRegisterTypeLib", &UnRegisterTypeLib);
    sim::PublishExport(L"OLEAUT32.DLL", "RegisterTypeLibForUser", perUser ? &RegisterTypeLibForUser : nullptr);
    sim::PublishExport(L"OLEAUT32.DLL", "UnRegisterTypeLibForUser",
                       perUser ? &UnRegisterTypeLibForUser : nullptr);
}

// The service's exports are there from the start, as OLEAUT32's are.
const bool g_published = (PublishFunctions(true), true);

}  // namespace

HRESULT WINAPI LoadTypeLib(LPCOLESTR szFile, ITypeLib** pptlib)
try {
    Count(kLoadTypeLib);
    if (!pptlib)
        return E_INVALIDARG;
    *pptlib = nullptr;
    if (!szFile)
        return E_INVALIDARG;
    return OpenPlacedFile(szFile, pptlib);
} catch (const std::bad_alloc&) {
    // The service reports a shortage as E_OUTOFMEMORY; it never throws into its caller.
    return E_OUTOFMEMORY;
}

HRESULT WINAPI LoadRegTypeLib(REFGUID rguid, WORD wVerMajor, WORD wVerMinor, LCID lcid, ITypeLib** pptlib)
try {
    Count(kLoadRegTypeLib);
    if (!pptlib)
        return E_INVALIDARG;
    *pptlib = nullptr;
    HRESULT injected = S_OK;
    if (sim::internal::Injected(sim::Op::LoadRegTypeLib, &injected))
        return injected;
    if (void (*hook)() = g_loadRegTypeLibHook.load())
        hook();
    std::u16string path;
    {
        Service& s = TheService();
        std::lock_guard<std::mutex> lock(s.mutex);
        // The locale itself, then its primary language, then the language-neutral registration; the
        // user's registration hides the machine's; among minor versions at least the one asked for,
        // the highest.
        const LCID candidates[] = {lcid, lcid & 0x3FF, 0};
        const sim::TypeLibraryRegistration* best = nullptr;
        for (LCID wanted : candidates) {
            for (const auto& r : s.registrations) {
                if (r.libid != rguid || r.wMajorVerNum != wVerMajor || r.wMinorVerNum < wVerMinor ||
                    r.lcid != wanted || r.syskind != SYS_WIN32)
                    continue;
                if (!best || r.wMinorVerNum > best->wMinorVerNum ||
                    (r.wMinorVerNum == best->wMinorVerNum && r.perUser && !best->perUser))
                    best = &r;
            }
            if (best)
                break;
        }
        if (!best)
            return TYPE_E_LIBNOTREGISTERED;
        path = best->path;
    }
    return OpenPlacedFile(reinterpret_cast<LPCOLESTR>(path.c_str()), pptlib);
} catch (const std::bad_alloc&) {
    return E_OUTOFMEMORY;
}

HRESULT WINAPI RegisterTypeLib(ITypeLib* ptlib, OLECHAR* szFullPath, OLECHAR* szHelpDir)
try {
    return Register(ptlib, szFullPath, szHelpDir, false);
} catch (const std::bad_alloc&) {
    return E_OUTOFMEMORY;
}

HRESULT WINAPI UnRegisterTypeLib(REFGUID libID, WORD wVerMajor, WORD wVerMinor, LCID lcid, SYSKIND syskind)
try {
    return Unregister(libID, wVerMajor, wVerMinor, lcid, syskind, false);
} catch (const std::bad_alloc&) {
    return E_OUTOFMEMORY;
}

HRESULT WINAPI RegisterTypeLibForUser(ITypeLib* ptlib, OLECHAR* szFullPath, OLECHAR* szHelpDir)
try {
    return Register(ptlib, szFullPath, szHelpDir, true);
} catch (const std::bad_alloc&) {
    return E_OUTOFMEMORY;
}

HRESULT WINAPI UnRegisterTypeLibForUser(REFGUID libID, WORD wMajorVerNum, WORD wMinorVerNum, LCID lcid,
                                        SYSKIND syskind)
try {
    return Unregister(libID, wMajorVerNum, wMinorVerNum, lcid, syskind, true);
} catch (const std::bad_alloc&) {
    return E_OUTOFMEMORY;
}

namespace sim {

AutomationCalls AutomationCallCounts()
{
    return AutomationCalls{g_calls[kLoadTypeLib], g_calls[kLoadRegTypeLib], g_calls[kRegisterTypeLib],
                           g_calls[kUnregisterTypeLib], g_calls[kGetTypeInfoOfGuid], g_calls[kGetTypeAttr],
                           g_calls[kGetFuncDesc], g_calls[kGetDocumentation], g_calls[kGetIDsOfNames],
                           g_calls[kInvoke], g_calls[kQueryInterface]};
}

void PlaceTypeLibraryFile(LPCWSTR path, LPCWSTR helpFile)
{
    Service& s = TheService();
    std::lock_guard<std::mutex> lock(s.mutex);
    s.placedFiles.erase(std::remove_if(s.placedFiles.begin(), s.placedFiles.end(),
                                       [path](const PlacedFile& f) { return SamePath(f.path, path); }),
                        s.placedFiles.end());
    s.placedFiles.push_back(PlacedFile{Text(path), Text(helpFile)});
}

void RemoveTypeLibraryFile(LPCWSTR path)
{
    const std::u16string modulePath = ModuleFileName(LibraryModule());
    Service& s = TheService();
    std::lock_guard<std::mutex> lock(s.mutex);
    s.placedFiles.erase(std::remove_if(s.placedFiles.begin(), s.placedFiles.end(),
                                       [path](const PlacedFile& f) { return SamePath(f.path, path); }),
                        s.placedFiles.end());
    if (!modulePath.empty() && SamePath(modulePath, path))
        s.moduleFileHoldsLibrary = false;
}

std::vector<TypeLibraryRegistration> TypeLibraryRegistrations()
{
    Service& s = TheService();
    std::lock_guard<std::mutex> lock(s.mutex);
    return s.registrations;
}

void SplitTypeInfo2Identity(bool split)
{
    Service& s = TheService();
    std::lock_guard<std::mutex> lock(s.mutex);
    s.splitIdentity = split;
}

void OnLoadRegTypeLib(void (*hook)()) { g_loadRegTypeLibHook = hook; }

int LiveTypeLibraries() { return g_liveLibraries; }
int OutstandingDescriptions() { return g_outstandingDescriptions; }

void PublishPerUserTypeLibraryFunctions(bool publish) { PublishFunctions(publish); }

void ResetAutomation()
{
    {
        Service& s = TheService();
        std::lock_guard<std::mutex> lock(s.mutex);
        s.placedFiles.clear();
        s.moduleFileHoldsLibrary = true;
        s.registrations.clear();
        s.splitIdentity = false;
    }
    g_loadRegTypeLibHook = nullptr;
    internal::ClearFaults({Op::LoadRegTypeLib, Op::GetTypeInfoOfGuid, Op::GetLibAttr, Op::GetLibraryDocumentation,
                           Op::GetTypeAttr, Op::GetFuncDesc, Op::GetDocumentation});
    for (auto& count : g_calls)
        count = 0;
    PublishFunctions(true);
}

}  // namespace sim
