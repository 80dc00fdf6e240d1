// What the server's type library must answer, written once and checked against the platform's
// type-library API in both builds: the simulation natively, the compiled library under Wine.
#pragma once

#include <string>

#include <gtest/gtest.h>

#include "enabler/ivesk_enabler.h"
#include "platform/win32.h"
#include "utf16.h"

namespace vesk_lib {

struct ExpectedFunction {
    const char* name;
    MEMBERID memid;
    SHORT slot;  // vtable slot: after the seven of IUnknown and IDispatch
    const char* doc;
    const char* parameter;
};

const ExpectedFunction kFunctions[] = {
    {"EnableVesk", 2, 7, "method EnableVesk", "hWnd"},
    {"MakeSure", 3, 8, "method MakeSure", "hWnd"},
};

constexpr WORD kInterfaceFlags = 0x11C0;  // dual, non-extensible, OLE automation, dispatchable
constexpr WORD kVtableSlots = 9;

// What pointer size changes: the library's system kind and the vtable size it stores follow the
// pointer size it was compiled for; function offsets are answered in the reader's own pointer size
// (a 64-bit reader scales a 32-bit library's stored 28 and 32 to 56 and 64).
struct PointerSizes {
    WORD library;  // 4: SYS_WIN32, 8: SYS_WIN64
    WORD reader;
};
// The 32-bit library, as the simulation stands in for it.
constexpr PointerSizes kWin32 = {4, 4};
// A library of this program's own bitness, read by this program.
constexpr PointerSizes kThisBuild = {sizeof(void*), sizeof(void*)};

// Releases what the check borrowed.
template <class I>
struct Held {
    I* p = nullptr;
    ~Held()
    {
        if (p)
            p->Release();
    }
};

struct Strings {
    BSTR name = nullptr;
    BSTR doc = nullptr;
    BSTR helpFile = nullptr;
    DWORD context = 0xFFFFFFFF;
    ~Strings()
    {
        SysFreeString(name);
        SysFreeString(doc);
        SysFreeString(helpFile);
    }
};

inline void CheckFunctions(ITypeInfo* vtable, PointerSizes sizes)
{
    for (UINT index = 0; index < sizeof(kFunctions) / sizeof(kFunctions[0]); ++index) {
        const ExpectedFunction& want = kFunctions[index];
        SCOPED_TRACE(want.name);
        FUNCDESC* f = nullptr;
        ASSERT_EQ(vtable->GetFuncDesc(index, &f), S_OK);
        EXPECT_EQ(f->memid, want.memid);
        EXPECT_EQ(f->funckind, FUNC_PUREVIRTUAL);
        EXPECT_EQ(f->invkind, INVOKE_FUNC);
        EXPECT_EQ(f->callconv, CC_STDCALL);
        EXPECT_EQ(f->cParams, 1);
        EXPECT_EQ(f->cParamsOpt, 0);
        EXPECT_EQ(f->oVft, want.slot * sizes.reader);
        EXPECT_EQ(f->elemdescFunc.tdesc.vt, VT_HRESULT) << "no [retval] parameter";
        EXPECT_EQ(f->wFuncFlags, 0) << "neither hidden nor restricted";
        if (f->cParams == 1) {
            EXPECT_EQ(f->lprgelemdescParam[0].tdesc.vt, VT_I4);
            EXPECT_EQ(f->lprgelemdescParam[0].paramdesc.wParamFlags, PARAMFLAG_NONE);
        }
        BSTR names[3] = {};
        UINT count = 0;
        ASSERT_EQ(vtable->GetNames(f->memid, names, 3, &count), S_OK);
        EXPECT_EQ(count, 2u);
        EXPECT_EQ(Utf8(names[0]), want.name);
        EXPECT_EQ(Utf8(names[1]), want.parameter);
        for (UINT i = 0; i < count; ++i)
            SysFreeString(names[i]);
        Strings docs;
        ASSERT_EQ(vtable->GetDocumentation(f->memid, &docs.name, &docs.doc, &docs.context, &docs.helpFile), S_OK);
        EXPECT_EQ(Utf8(docs.doc), want.doc);
        EXPECT_EQ(docs.context, 0u);
        vtable->ReleaseFuncDesc(f);
    }
}

inline void CheckNameLookUps(ITypeInfo* info)
{
    struct Case { const char* name; LPCOLESTR names[2]; UINT count; MEMBERID ids[2]; };
    const Case cases[] = {
        {"EnableVesk", {L"EnableVesk", nullptr}, 1, {2, 0}},
        {"MakeSure", {L"MakeSure", nullptr}, 1, {3, 0}},
        {"MakeSure with its parameter", {L"MakeSure", L"hWnd"}, 2, {3, 0}},
        {"EnableVesk with its parameter", {L"EnableVesk", L"hWnd"}, 2, {2, 0}},
    };
    for (const Case& c : cases) {
        LPOLESTR names[2] = {const_cast<LPOLESTR>(c.names[0]), const_cast<LPOLESTR>(c.names[1])};
        MEMBERID ids[2] = {-7, -7};
        EXPECT_EQ(info->GetIDsOfNames(names, c.count, ids), S_OK) << c.name;
        EXPECT_EQ(ids[0], c.ids[0]) << c.name;
        if (c.count == 2) {
            EXPECT_EQ(ids[1], c.ids[1]) << c.name;
        }
    }
}

// The whole library, description by description.
inline void CheckLibrary(ITypeLib* library, PointerSizes sizes)
{
    TLIBATTR* lib = nullptr;
    ASSERT_EQ(library->GetLibAttr(&lib), S_OK);
    EXPECT_TRUE(lib->guid == LIBID_VeskLib);
    EXPECT_EQ(lib->lcid, 0u) << "language-neutral";
    EXPECT_EQ(lib->syskind, sizes.library == 8 ? SYS_WIN64 : SYS_WIN32);
    EXPECT_EQ(lib->wMajorVerNum, 1);
    EXPECT_EQ(lib->wMinorVerNum, 0);
    // The platform marks a library it read from a file; no flag is stored.
    EXPECT_EQ(lib->wLibFlags & ~LIBFLAG_FHASDISKIMAGE, 0);
    library->ReleaseTLibAttr(lib);
    {
        Strings docs;
        ASSERT_EQ(library->GetDocumentation(-1, &docs.name, &docs.doc, &docs.context, &docs.helpFile), S_OK);
        EXPECT_EQ(Utf8(docs.name), "VeskLib");
        EXPECT_EQ(Utf8(docs.doc), "Vesk 1.0 Type Library");
        EXPECT_EQ(docs.context, 0u);
        EXPECT_EQ(docs.helpFile, nullptr) << "no help file";
    }
    ASSERT_EQ(library->GetTypeInfoCount(), 2u);
    TYPEKIND kind = TKIND_MAX;
    ASSERT_EQ(library->GetTypeInfoType(0, &kind), S_OK);
    EXPECT_EQ(kind, TKIND_COCLASS) << "the co-class comes first";
    ASSERT_EQ(library->GetTypeInfoType(1, &kind), S_OK);
    EXPECT_EQ(kind, TKIND_DISPATCH) << "the dual interface is stored as a dispatch interface";

    // 1. The co-class.
    Held<ITypeInfo> coclass;
    ASSERT_EQ(library->GetTypeInfo(0, &coclass.p), S_OK);
    {
        Strings docs;
        ASSERT_EQ(coclass.p->GetDocumentation(MEMBERID_NIL, &docs.name, &docs.doc, &docs.context, nullptr), S_OK);
        EXPECT_EQ(Utf8(docs.name), "VeskEnabler");
        EXPECT_EQ(Utf8(docs.doc), "VeskEnabler Class");
        TYPEATTR* attr = nullptr;
        ASSERT_EQ(coclass.p->GetTypeAttr(&attr), S_OK);
        EXPECT_TRUE(attr->guid == CLSID_VeskEnabler);
        EXPECT_EQ(attr->typekind, TKIND_COCLASS);
        EXPECT_EQ(attr->wTypeFlags, TYPEFLAG_FCANCREATE);
        EXPECT_EQ(attr->wMajorVerNum, 0);
        EXPECT_EQ(attr->wMinorVerNum, 0);
        EXPECT_EQ(attr->cImplTypes, 1);
        coclass.p->ReleaseTypeAttr(attr);
        INT implFlags = -1;
        ASSERT_EQ(coclass.p->GetImplTypeFlags(0, &implFlags), S_OK);
        EXPECT_EQ(implFlags, IMPLTYPEFLAG_FDEFAULT);
        HREFTYPE reference = 0;
        ASSERT_EQ(coclass.p->GetRefTypeOfImplType(0, &reference), S_OK);
        Held<ITypeInfo> implemented;
        ASSERT_EQ(coclass.p->GetRefTypeInfo(reference, &implemented.p), S_OK);
        Strings implementedDocs;
        ASSERT_EQ(implemented.p->GetDocumentation(MEMBERID_NIL, &implementedDocs.name, nullptr, nullptr, nullptr),
                  S_OK);
        EXPECT_EQ(Utf8(implementedDocs.name), "IVeskEnabler");
    }

    // 2. The interface: its dispatch view, as GetTypeInfoOfGuid hands it out.
    Held<ITypeInfo> dispatch;
    ASSERT_EQ(library->GetTypeInfoOfGuid(IID_IVeskEnabler, &dispatch.p), S_OK);
    {
        Strings docs;
        ASSERT_EQ(dispatch.p->GetDocumentation(MEMBERID_NIL, &docs.name, &docs.doc, nullptr, nullptr), S_OK);
        EXPECT_EQ(Utf8(docs.name), "IVeskEnabler");
        EXPECT_EQ(Utf8(docs.doc), "IVeskEnabler Interface");
        TYPEATTR* attr = nullptr;
        ASSERT_EQ(dispatch.p->GetTypeAttr(&attr), S_OK);
        EXPECT_TRUE(attr->guid == IID_IVeskEnabler);
        EXPECT_EQ(attr->typekind, TKIND_DISPATCH);
        EXPECT_EQ(attr->wTypeFlags & (TYPEFLAG_FDUAL | TYPEFLAG_FDISPATCHABLE | TYPEFLAG_FNONEXTENSIBLE),
                  TYPEFLAG_FDUAL | TYPEFLAG_FDISPATCHABLE | TYPEFLAG_FNONEXTENSIBLE);
        EXPECT_EQ(attr->wTypeFlags & (TYPEFLAG_FHIDDEN | TYPEFLAG_FRESTRICTED), 0);
        EXPECT_EQ(attr->cFuncs, 9) << "seven inherited, then the two methods";
        dispatch.p->ReleaseTypeAttr(attr);
        CheckNameLookUps(dispatch.p);
    }

    // 3. The interface as stored: its vtable view.
    HREFTYPE vtableReference = 0;
    ASSERT_EQ(dispatch.p->GetRefTypeOfImplType(static_cast<UINT>(-1), &vtableReference), S_OK);
    Held<ITypeInfo> vtable;
    ASSERT_EQ(dispatch.p->GetRefTypeInfo(vtableReference, &vtable.p), S_OK);
    TYPEATTR* attr = nullptr;
    ASSERT_EQ(vtable.p->GetTypeAttr(&attr), S_OK);
    EXPECT_TRUE(attr->guid == IID_IVeskEnabler);
    EXPECT_EQ(attr->typekind, TKIND_INTERFACE);
    EXPECT_EQ(attr->wTypeFlags, kInterfaceFlags);
    EXPECT_EQ(attr->cFuncs, 2);
    EXPECT_EQ(attr->cVars, 0);
    EXPECT_EQ(attr->cImplTypes, 1) << "IDispatch";
    EXPECT_EQ(attr->cbSizeVft, kVtableSlots * sizes.library);
    EXPECT_EQ(attr->wMajorVerNum, 0);
    EXPECT_EQ(attr->wMinorVerNum, 0);
    vtable.p->ReleaseTypeAttr(attr);
    CheckFunctions(vtable.p, sizes);
    CheckNameLookUps(vtable.p);
}

}  // namespace vesk_lib
