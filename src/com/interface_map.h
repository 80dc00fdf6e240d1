// Interface maps: per-class constant tables that QueryInterface walks.
#pragma once

#include "platform/win32.h"

// Resolves one entry: (object base, requested IID, out pointer, the entry's value).
typedef HRESULT (*InterfaceResolver)(void* object, REFIID iid, void** out, DWORD value);

struct InterfaceMapEntry {
    const IID* iid;             // null: a blind entry, consulted for every IID
    DWORD value;                // offset entry: byte offset of the interface; function entry: its argument
    InterfaceResolver resolve;  // OffsetEntry marks an offset entry; null ends the map
};

// Marks an offset entry. Never called as a resolver: the lookup itself adds the offset.
HRESULT OffsetEntry(void* object, REFIID iid, void** out, DWORD value);

bool IsIUnknownIid(REFIID iid);

// Answers QueryInterface from `map` for the object at `object`; the first entry, an offset entry,
// also answers IUnknown and so gives the object's identity.
HRESULT LookupInterface(void* object, const InterfaceMapEntry* map, REFIID iid, void** out);
