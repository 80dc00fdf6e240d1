// A type library as its interface description states it. The server's, sim::kServerLibrary, is
// written at build time from resources/VeskLib.idl by library_description.py into the header
// server_library_description.h, so that the simulation holds no copy of it; how the platform lays it
// out (views, vtable offsets, flags) is derived from it in type_layout.h.
#pragma once

#include "sim/automation.h"
#include "sim/base_types.h"

namespace sim {

struct ParameterDescription {
    const WCHAR* name;
    VARTYPE type;
};

// A method with its DISPID and its one parameter, the kind the simulation can call.
struct MethodDescription {
    const WCHAR* name;
    MEMBERID id;
    VARTYPE result;
    const WCHAR* helpString;  // null: none
    ParameterDescription parameter;
};

// A dual interface derived from IDispatch, the one kind of interface the simulation describes.
struct InterfaceDescription {
    const WCHAR* name;
    GUID iid;
    const WCHAR* helpString;
    bool dual;
    bool nonextensible;
    bool oleautomation;
    const MethodDescription* methods;
    WORD methodCount;
};

// A creatable class of one default interface.
struct CoClassDescription {
    const WCHAR* name;
    GUID clsid;
    const WCHAR* helpString;
    WORD defaultInterfaceEntry;  // the library's index of that interface's description
};

// One of the library's descriptions: a co-class or an interface. Told by its kind, not by a null
// pointer: GCC's undefined-behaviour sanitizer takes no null test of an inline variable's address
// as a constant expression.
struct LibraryEntry {
    bool isCoClass;
    const CoClassDescription* coClass;
    const InterfaceDescription* dualInterface;
};

struct LibraryDescription {
    const WCHAR* name;
    GUID libid;
    WORD majorVersion;
    WORD minorVersion;
    const WCHAR* helpString;
    const LibraryEntry* entries;  // in the order the library keeps them
    WORD entryCount;
};

}  // namespace sim
