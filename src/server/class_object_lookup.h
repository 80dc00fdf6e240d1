// Class objects for the host's COM runtime, and whether the library may be unloaded.
#pragma once

#include "server/module_records.h"

// Hands out the class object of `clsid` from the record's object map, building and caching it on
// the first request.
HRESULT GetClassObjectFromMap(ComModuleRecord* record, REFCLSID clsid, REFIID iid, void** out);

extern "C" HRESULT STDAPICALLTYPE DllGetClassObject(REFCLSID rclsid, REFIID riid, LPVOID* ppv);
extern "C" HRESULT STDAPICALLTYPE DllCanUnloadNow();
