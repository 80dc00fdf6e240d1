// Installing and removing the server: the registration exports and the object-map walks behind
// them.
#pragma once

#include "platform/win32.h"
#include "server/module_records.h"
#include "server/object_map.h"

// Each class's registry function, then its categories, for every class of the map (or only
// `filter`); then the type library when `registerTypeLib` is set. The first failure ends the walk.
HRESULT RegisterServerObjects(ComModuleRecord* record, BOOL registerTypeLib, const CLSID* filter);
// The same walk removing, categories before the registry script within a class.
HRESULT UnregisterServerObjects(ComModuleRecord* record, BOOL unregisterTypeLib, const CLSID* filter);
// Registers or unregisters the categories of `table` (null: none) for `clsid` through the
// platform's category manager; a system without it registers none and answers S_OK.
HRESULT UpdateClassCategories(REFCLSID clsid, const CategoryMapEntry* table, BOOL bRegister);

extern "C" HRESULT STDAPICALLTYPE DllRegisterServer();
extern "C" HRESULT STDAPICALLTYPE DllUnregisterServer();
extern "C" HRESULT STDAPICALLTYPE DllInstall(BOOL bInstall, LPCWSTR pszCmdLine);
extern "C" HRESULT STDAPICALLTYPE DllSetPerUserRegistration(BOOL bEnable);
