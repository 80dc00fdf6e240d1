// The file a module was loaded from, read the one way the server reads it.
#pragma once

#include "base/server_exception.h"

// GetModuleFileNameW is asked for at most this many characters; a path that fills them may have
// been cut.
constexpr DWORD kModulePathLength = MAX_PATH;

// Writes the path of `module` into `path` (room for kModulePathLength characters at least) and its
// length into `*length` unless that is null. A path that may have been cut is refused with
// ERROR_INSUFFICIENT_BUFFER; a failure that left no error code is still a failure.
inline HRESULT ReadModulePath(HMODULE module, LPWSTR path, DWORD* length = nullptr)
{
    const DWORD written = GetModuleFileNameW(module, path, kModulePathLength);
    if (written == 0)
        return FailureFromLastError();
    if (written == kModulePathLength)
        return HRESULT_FROM_WIN32(ERROR_INSUFFICIENT_BUFFER);
    if (length)
        *length = written;
    return S_OK;
}
