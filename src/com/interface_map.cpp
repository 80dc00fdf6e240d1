#include "com/interface_map.h"

HRESULT OffsetEntry(void*, REFIID, void**, DWORD) { return E_UNEXPECTED; }

bool IsIUnknownIid(REFIID iid) { return IsEqualGUID(iid, IID_IUnknown); }

namespace {

void* HandOutAt(void* object, DWORD offset)
{
    auto* unknown = reinterpret_cast<IUnknown*>(static_cast<BYTE*>(object) + offset);
    unknown->AddRef();
    return unknown;
}

}  // namespace

HRESULT LookupInterface(void* object, const InterfaceMapEntry* map, REFIID iid, void** out)
{
    if (!object || !map)
        return E_INVALIDARG;
    if (!out)
        return E_POINTER;
    *out = nullptr;

    if (IsIUnknownIid(iid)) {
        *out = HandOutAt(object, map[0].value);
        return S_OK;
    }

    for (const InterfaceMapEntry* entry = map; entry->resolve; ++entry) {
        const bool blind = entry->iid == nullptr;
        if (!blind && !IsEqualGUID(*entry->iid, iid))
            continue;
        if (entry->resolve == &OffsetEntry) {
            *out = HandOutAt(object, entry->value);
            return S_OK;
        }
        const HRESULT hr = entry->resolve(object, iid, out, entry->value);
        if (hr == S_OK)
            return S_OK;
        // A named entry that fails decides; a blind one, or any other success code, lets the walk go on.
        if (!blind && FAILED(hr))
            return hr;
    }
    return E_NOINTERFACE;
}
