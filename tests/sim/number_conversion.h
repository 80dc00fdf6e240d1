// Text-to-number conversion of OLE Automation (OLEAUT32).
#pragma once

#include "sim/base_types.h"

#define VAR_LOCALBOOL 0x10

// Exact for decimal text of an unsigned 32-bit number (leading and trailing blanks allowed);
// DISP_E_TYPEMISMATCH for text that is no number, DISP_E_OVERFLOW beyond 0xFFFFFFFF.
HRESULT WINAPI VarUI4FromStr(LPCOLESTR strIn, LCID lcid, ULONG dwFlags, ULONG* pulOut);
// The same parse for a signed 32-bit number, rounded half to even; hexadecimal and octal text keeps
// its 32 bits. The VT_BSTR branch of the VT_I4 conversion.
HRESULT WINAPI VarI4FromStr(LPCOLESTR strIn, LCID lcid, ULONG dwFlags, LONG* plOut);

namespace sim {
// Half-way values go to the even neighbour, as in every numeric conversion of the platform.
double RoundHalfToEven(double value);
// A double to a 32-bit signed integer, rounded so; DISP_E_OVERFLOW outside the range.
HRESULT DoubleToI4(double value, LONG* out);
}  // namespace sim
