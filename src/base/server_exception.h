// The one exception the server raises itself, and the error helpers around it.
#pragma once

#include "platform/win32.h"

class CServerException {
public:
    explicit CServerException(HRESULT hr) : m_hr(hr) {}
    HRESULT Result() const { return m_hr; }

private:
    HRESULT m_hr;
};

[[noreturn]] void RaiseHresult(HRESULT hr);

// The calling thread's last Win32 error as an HRESULT: 0 and negative codes pass unchanged.
HRESULT HresultFromLastError();
// The same for a platform call that failed: never a success, even when it left no error code.
HRESULT FailureFromLastError();

// Error numbers of the bounded string operations.
constexpr int kStringOk = 0;
constexpr int kStringNoMemory = 12;   // ENOMEM
constexpr int kStringInvalid = 22;    // EINVAL
constexpr int kStringRange = 34;      // ERANGE
constexpr int kStringTruncated = 80;  // STRUNCATE

// Returns the code for success and truncation; raises CServerException for every other code
// (E_OUTOFMEMORY, E_INVALIDARG, or E_FAIL).
int CheckStringResult(int error);
