// The two calls a script engine makes of an object it knows only by name: the DISPID of a name, and
// a method called with one 32-bit argument, as a script passes a window.
#pragma once

#include "platform/win32.h"

inline HRESULT DispIdOf(IDispatch* object, LPCWSTR name, DISPID* dispid, LCID locale = 0)
{
    LPOLESTR names[] = {const_cast<LPOLESTR>(name)};
    return object->GetIDsOfNames(GUID_NULL, names, 1, locale, dispid);
}

inline HRESULT CallWithLong(IDispatch* object, DISPID dispid, LONG value, VARIANT* result = nullptr,
                            LCID locale = 0)
{
    VARIANT argument;
    VariantInit(&argument);
    argument.vt = VT_I4;
    argument.lVal = value;
    DISPPARAMS params = {&argument, nullptr, 1, 0};
    return object->Invoke(dispid, GUID_NULL, locale, DISPATCH_METHOD, &params, result, nullptr, nullptr);
}
