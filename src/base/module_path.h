// The file a module was loaded from, read the one way the server reads it.
#pragma once

#include "base/server_exception.h"

// GetModuleFileNameW is asked for at most this many characters; a path that fills them may have
// been cut.
constexpr DWORD kModulePathLength = MAX_PATH;

// Writes the path of `module`, terminated, into `path` (room for kModulePathLength characters at
// least). A path that may have been cut is refused with ERROR_INSUFFICIENT_BUFFER; a failure that
// left no error code is still a failure.
inline HRESULT ReadModulePath(HMODULE module, LPWSTR path)
{
    const DWORD length = GetModuleFileNameW(module, path, kModulePathLength);
    if (length == 0)
        return FailureFromLastError();
    return length == kModulePathLength ? HRESULT_FROM_WIN32(ERROR_INSUFFICIENT_BUFFER) : S_OK;
}
