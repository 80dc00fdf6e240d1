#include "base/server_exception.h"

void RaiseHresult(HRESULT hr) { throw CServerException(hr); }

HRESULT HresultFromLastError()
{
    const LONG code = static_cast<LONG>(GetLastError());
    if (code <= 0)
        return code;
    return static_cast<HRESULT>(0x80070000u | (static_cast<DWORD>(code) & 0xFFFFu));
}

int CheckStringResult(int error)
{
    switch (error) {
    case kStringOk:
    case kStringTruncated:
        return error;
    case kStringNoMemory:
        RaiseHresult(E_OUTOFMEMORY);
    case kStringInvalid:
    case kStringRange:
        RaiseHresult(E_INVALIDARG);
    default:
        RaiseHresult(E_FAIL);
    }
}
