#include <cmath>
#include <cstdlib>
#include <string>

#include "platform/sim/automation.h"
#include "platform/sim/number_conversion.h"

namespace {

bool IsBlank(WCHAR c) { return c == L' ' || c == L'\t'; }
bool IsDigit(WCHAR c) { return c >= L'0' && c <= L'9'; }

// Accepts blanks, an optional sign, digits with an optional decimal point, an optional exponent and
// blanks; anything else is no number. The checked text goes to strtod in the "C" locale.
HRESULT ParseNumber(LPCOLESTR text, DOUBLE* value)
{
    if (!text || !value)
        return E_INVALIDARG;
    const OLECHAR* p = text;
    while (IsBlank(*p))
        ++p;
    std::string ascii;
    if (*p == L'+' || *p == L'-')
        ascii.push_back(static_cast<char>(*p++));
    int mantissaDigits = 0;
    for (; IsDigit(*p); ++p, ++mantissaDigits)
        ascii.push_back(static_cast<char>(*p));
    if (*p == L'.') {
        ascii.push_back('.');
        for (++p; IsDigit(*p); ++p, ++mantissaDigits)
            ascii.push_back(static_cast<char>(*p));
    }
    if (mantissaDigits == 0)
        return DISP_E_TYPEMISMATCH;
    if (*p == L'e' || *p == L'E') {
        ascii.push_back('e');
        ++p;
        if (*p == L'+' || *p == L'-')
            ascii.push_back(static_cast<char>(*p++));
        if (!IsDigit(*p))
            return DISP_E_TYPEMISMATCH;
        for (; IsDigit(*p); ++p)
            ascii.push_back(static_cast<char>(*p));
    }
    while (IsBlank(*p))
        ++p;
    if (*p != 0)
        return DISP_E_TYPEMISMATCH;
    const double parsed = std::strtod(ascii.c_str(), nullptr);
    if (std::isinf(parsed))
        return DISP_E_OVERFLOW;
    *value = parsed;
    return S_OK;
}

// Decimal digits alone are converted exactly, without a detour through floating point.
bool ParseUnsignedDigits(LPCOLESTR text, ULONG* out, bool* overflow)
{
    const OLECHAR* p = text;
    while (IsBlank(*p))
        ++p;
    if (*p == L'+')
        ++p;
    if (!IsDigit(*p))
        return false;
    uint64_t value = 0;
    *overflow = false;
    for (; IsDigit(*p); ++p) {
        value = value * 10 + static_cast<uint64_t>(*p - L'0');
        if (value > 0xFFFFFFFFull)
            *overflow = true, value = 0xFFFFFFFFull + 1;
    }
    while (IsBlank(*p))
        ++p;
    if (*p != 0)
        return false;
    *out = static_cast<ULONG>(value);
    return true;
}

}  // namespace

namespace sim {

// Rounds half to even, as the platform's numeric conversions do.
double RoundHalfToEven(double value)
{
    const double lower = std::floor(value);
    const double fraction = value - lower;
    if (fraction > 0.5)
        return lower + 1;
    if (fraction < 0.5)
        return lower;
    return std::fmod(lower, 2.0) == 0 ? lower : lower + 1;
}

}  // namespace sim

HRESULT WINAPI VarR8FromStr(LPCOLESTR strIn, LCID, ULONG, DOUBLE* pdblOut)
{
    return ParseNumber(strIn, pdblOut);
}

HRESULT WINAPI VarUI4FromStr(LPCOLESTR strIn, LCID, ULONG, ULONG* pulOut)
{
    if (!strIn || !pulOut)
        return E_INVALIDARG;
    bool overflow = false;
    ULONG exact = 0;
    if (ParseUnsignedDigits(strIn, &exact, &overflow)) {
        if (overflow)
            return DISP_E_OVERFLOW;
        *pulOut = exact;
        return S_OK;
    }
    double value = 0;
    const HRESULT hr = ParseNumber(strIn, &value);
    if (FAILED(hr))
        return hr;
    value = sim::RoundHalfToEven(value);
    if (value < 0 || value > 4294967295.0)
        return DISP_E_OVERFLOW;
    *pulOut = static_cast<ULONG>(value);
    return S_OK;
}
