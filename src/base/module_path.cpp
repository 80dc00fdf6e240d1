#include "base/module_path.h"

#include "base/server_exception.h"

HRESULT ReadModulePath(HMODULE module, LPWSTR path, DWORD* length)
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
