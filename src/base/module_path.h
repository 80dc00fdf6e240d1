// The file a module was loaded from, read the one way the server reads it: for the registry
// scripts' variables, the script resources and the type library.
#pragma once

#include "platform/win32.h"

// GetModuleFileNameW is asked for at most this many characters; a path that fills them may have
// been cut.
constexpr DWORD kModulePathLength = MAX_PATH;

// Writes the path of `module` (with its terminator) into `path`, which has room for at least
// kModulePathLength characters, and its length into `*length` when that is not null. A failure
// is never S_OK, even when the platform left no error code; a path that may have been cut is
// ERROR_INSUFFICIENT_BUFFER.
HRESULT ReadModulePath(HMODULE module, LPWSTR path, DWORD* length = nullptr);
