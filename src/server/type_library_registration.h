// Registration of the type library held in a module's own file (or in a ".tlb" file beside it),
// machine-wide or, with per-user registration on, for the current user only.
#pragma once

#include "platform/win32.h"

// The '.' that starts the file name's extension, or the terminating zero when the file name has
// none; only '\' separates directories. A null or empty path is returned unchanged.
LPCWSTR FindPathExtension(LPCWSTR path);
// Characters up to and including the last '\', '/' or ':'; 0 when there is none.
int DirectoryPrefixLength(LPCWSTR path);

// Loads the type library of the module's file, with `index` (may be null) appended to the path;
// failing that, the ".tlb" file of the same name. On success *pPath is the path that loaded and
// *ppTypeLib holds one reference; the caller frees both, also after a failure.
HRESULT LoadModuleTypeLib(HINSTANCE hModule, LPCOLESTR index, BSTR* pPath, ITypeLib** ppTypeLib);
HRESULT RegisterModuleTypeLib(HINSTANCE hModule, LPCOLESTR index);
HRESULT UnregisterModuleTypeLib(HINSTANCE hModule, LPCOLESTR index);
