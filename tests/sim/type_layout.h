// The server's type library as the platform lays out its description: the descriptions in the
// library's order, each dual interface seen as a dispatch view (IDispatch's seven functions first)
// and, reached only by reference, as its vtable view; vtable offsets in slot order; type flags from
// the interface's attributes. Worked out at compile time from sim::kServerLibrary.
#pragma once

#include <array>

#include "server_library_description.h"
#include "sim/type_library.h"

namespace sim::internal {

// Offsets and sizes are those of the 32-bit platform, where the library's vtable layout was decided.
constexpr WORD kPointerSize32 = 4;
// A reference to IDispatch in the imported standard library; not followed by the simulation.
constexpr HREFTYPE kImportedIDispatch = 0xFFFF0001;
// GetRefTypeOfImplType(-1) of a dual interface's dispatch view leads to its vtable view.
constexpr UINT kDualImplIndex = 0xFFFFFFFFu;
constexpr HREFTYPE kNoReference = 0xFFFFFFFFu;

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
    UINT description;     // the library's index of the description this is a view of
    UINT firstFunction;   // in TypeLayout::functions
    WORD functionCount;
};

// IDispatch's functions, IUnknown's first (inheritance level 0), as the imported standard library
// declares them. Having no DISPIDs, they are numbered by level and position within their level.
struct InheritedFunction {
    const WCHAR* name;
    MEMBERID level;
    VARTYPE result;
};
constexpr InheritedFunction kIDispatchFunctions[] = {
    {L"QueryInterface", 0, VT_HRESULT},   {L"AddRef", 0, VT_UI4},          {L"Release", 0, VT_UI4},
    {L"GetTypeInfoCount", 1, VT_HRESULT}, {L"GetTypeInfo", 1, VT_HRESULT}, {L"GetIDsOfNames", 1, VT_HRESULT},
    {L"Invoke", 1, VT_HRESULT},
};
constexpr WORD kIDispatchSlots = sizeof(kIDispatchFunctions) / sizeof(kIDispatchFunctions[0]);

// A dispatch view reports a function's HRESULT as no result: failures travel as exceptions there.
constexpr VARTYPE DispatchResult(VARTYPE result) { return result == VT_HRESULT ? VARTYPE{VT_VOID} : result; }

constexpr UINT DualInterfaceCount(const LibraryDescription& library)
{
    UINT count = 0;
    for (WORD i = 0; i < library.entryCount; ++i)
        count += library.entries[i].isCoClass ? 0 : 1;
    return count;
}

// A dual interface's two views list IDispatch's seven once and its own methods twice.
constexpr UINT FunctionCount(const LibraryDescription& library)
{
    UINT count = 0;
    for (WORD i = 0; i < library.entryCount; ++i)
        if (!library.entries[i].isCoClass)
            count += kIDispatchSlots + 2u * library.entries[i].dualInterface->methodCount;
    return count;
}

constexpr UINT kTypeCount = kServerLibrary.entryCount;
constexpr UINT kViewCount = kTypeCount + DualInterfaceCount(kServerLibrary);

struct TypeLayout {
    std::array<TypeData, kViewCount> types;
    std::array<FunctionData, FunctionCount(kServerLibrary)> functions;
};

constexpr TypeLayout LayOut(const LibraryDescription& library)
{
    TypeLayout layout{};
    UINT nextView = library.entryCount;
    UINT nextFunction = 0;
    for (UINT i = 0; i < library.entryCount; ++i) {
        if (library.entries[i].isCoClass) {
            const CoClassDescription& coClass = *library.entries[i].coClass;
            layout.types[i] = TypeData{coClass.name, &coClass.clsid, TKIND_COCLASS, TYPEFLAG_FCANCREATE,
                                       coClass.helpString, 0, kPointerSize32, coClass.defaultInterfaceEntry,
                                       IMPLTYPEFLAG_FDEFAULT, kNoReference, i, 0, 0};
            continue;
        }
        const InterfaceDescription& described = *library.entries[i].dualInterface;
        const WORD flags = (described.dual ? TYPEFLAG_FDUAL | TYPEFLAG_FDISPATCHABLE : 0) |
                           (described.nonextensible ? TYPEFLAG_FNONEXTENSIBLE : 0) |
                           (described.oleautomation ? TYPEFLAG_FOLEAUTOMATION : 0);
        const WORD slots = static_cast<WORD>(kIDispatchSlots + described.methodCount);
        // The dispatch view: IDispatch's functions first and restricted, the stored flags less
        // TYPEFLAG_FOLEAUTOMATION and IDispatch's vtable size, as the platform's reader reports them.
        layout.types[i] = TypeData{described.name, &described.iid, TKIND_DISPATCH,
                                   static_cast<WORD>(flags & ~TYPEFLAG_FOLEAUTOMATION), described.helpString,
                                   kIDispatchSlots * kPointerSize32, kPointerSize32, kImportedIDispatch, 0,
                                   nextView, i, nextFunction, slots};
        for (WORD slot = 0, position = 0; slot < kIDispatchSlots; ++slot, ++position) {
            const InheritedFunction& f = kIDispatchFunctions[slot];
            if (slot > 0 && f.level != kIDispatchFunctions[slot - 1].level)
                position = 0;
            layout.functions[nextFunction++] = FunctionData{
                f.name, 0x60000000 | (f.level << 16) | position, static_cast<SHORT>(slot * kPointerSize32), nullptr,
                nullptr, FUNC_DISPATCH, DispatchResult(f.result), FUNCFLAG_FRESTRICTED};
        }
        // The vtable view: the interface's own functions alone, after IDispatch's slots.
        layout.types[nextView++] = TypeData{described.name, &described.iid, TKIND_INTERFACE, flags,
                                            described.helpString, static_cast<WORD>(slots * kPointerSize32),
                                            kPointerSize32, kImportedIDispatch, 0, kNoReference, i,
                                            nextFunction + described.methodCount, described.methodCount};
        for (int view = 0; view < 2; ++view)
            for (WORD m = 0; m < described.methodCount; ++m) {
                const MethodDescription& method = described.methods[m];
                const bool dispatch = view == 0;
                layout.functions[nextFunction++] = FunctionData{
                    method.name, method.id, static_cast<SHORT>((kIDispatchSlots + m) * kPointerSize32),
                    method.helpString, method.parameter.name, dispatch ? FUNC_DISPATCH : FUNC_PUREVIRTUAL,
                    dispatch ? DispatchResult(method.result) : method.result, 0};
            }
    }
    return layout;
}

inline constexpr TypeLayout kLayout = LayOut(kServerLibrary);

}  // namespace sim::internal
