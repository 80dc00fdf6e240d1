#include "platform/sim/number_conversion.h"

namespace {

bool IsBlank(OLECHAR c) { return c == L' ' || c == L'\t' || c == L'\r' || c == L'\n'; }

}  // namespace

HRESULT WINAPI VarUI4FromStr(LPCOLESTR strIn, LCID lcid, ULONG dwFlags, ULONG* pulOut)
{
    (void)lcid;
    (void)dwFlags;
    if (!strIn || !pulOut)
        return E_INVALIDARG;
    const OLECHAR* p = strIn;
    while (IsBlank(*p))
        ++p;
    bool negative = false;
    if (*p == L'+' || *p == L'-') {
        negative = *p == L'-';
        ++p;
    }
    if (*p < L'0' || *p > L'9')
        return DISP_E_TYPEMISMATCH;
    uint64_t value = 0;
    bool overflow = false;
    for (; *p >= L'0' && *p <= L'9'; ++p) {
        value = value * 10 + static_cast<uint64_t>(*p - L'0');
        if (value > 0xFFFFFFFFu) {
            overflow = true;
            value = 0xFFFFFFFFu + 1ull;  // keep scanning without growing further
        }
    }
    while (IsBlank(*p))
        ++p;
    if (*p)
        return DISP_E_TYPEMISMATCH;
    if (overflow || (negative && value != 0))
        return DISP_E_OVERFLOW;
    *pulOut = static_cast<ULONG>(value);
    return S_OK;
}
