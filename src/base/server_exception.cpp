#include "base/server_exception.h"

void RaiseHresult(HRESULT hr) { throw CServerException(hr); }

HRESULT HresultFromLastError() { return HRESULT_FROM_WIN32(GetLastError()); }

HRESULT FailureFromLastError()
{
    const HRESULT hr = HresultFromLastError();
    return FAILED(hr) ? hr : E_FAIL;
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
