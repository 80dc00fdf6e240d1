// Text-to-number conversion of OLE Automation (OLEAUT32).
#pragma once

#include "platform/sim/base_types.h"

// Exact for decimal text of an unsigned 32-bit number (leading and trailing blanks allowed, an
// optional plus sign); DISP_E_TYPEMISMATCH for text that is no number, DISP_E_OVERFLOW beyond
// 0xFFFFFFFF or below 0.
HRESULT WINAPI VarUI4FromStr(LPCOLESTR strIn, LCID lcid, ULONG dwFlags, ULONG* pulOut);
