// The enabler's dual interface and the server's identities.
#pragma once

#include "platform/win32.h"

extern const CLSID CLSID_VeskEnabler;  // {4D2A7C19-0B6E-4F83-9A51-C7E2D8B3F046}
extern const IID IID_IVeskEnabler;     // {7E3B9D51-C2A4-4F68-B0D7-13A9E5C8F2B4}
extern const GUID LIBID_VeskLib;       // {A1C5E3F7-6B28-4D9A-8E40-2F7B9C1D5E63}

// Slots after IDispatch's seven: EnableVesk (DISPID 2), MakeSure (DISPID 3). The window handle
// travels in 32 bits, as the type library declares it.
struct IVeskEnabler : public IDispatch {
    virtual HRESULT STDMETHODCALLTYPE EnableVesk(LONG hWnd) = 0;
    virtual HRESULT STDMETHODCALLTYPE MakeSure(LONG hWnd) = 0;
};
