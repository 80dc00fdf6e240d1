#include <cmath>
#include <cstdlib>
#include <string>

#include "platform/sim/automation.h"
#include "platform/sim/number_conversion.h"

namespace {

bool IsBlank(WCHAR c) { return c == L' ' || c == L'\t'; }
bool IsDigit(WCHAR c) { return c >= L'0' && c <= L'9'; }

int DigitValue(WCHAR c)
{
    if (c >= L'0' && c <= L'9')
        return c - L'0';
    if (c >= L'a' && c <= L'f')
        return c - L'a' + 10;
    if (c >= L'A' && c <= L'F')
        return c - L'A' + 10;
    return 99;
}

// "&H" and hexadecimal digits, or "&O" and octal ones, as script languages write whole numbers.
bool ParseRadixNumber(const OLECHAR* p, DOUBLE* value, HRESULT* result)
{
    if (p[0] != L'&')
        return false;
    const int radix = (p[1] == L'H' || p[1] == L'h') ? 16 : (p[1] == L'O' || p[1] == L'o') ? 8 : 0;
    if (radix == 0)
        return false;
    p += 2;
    double number = 0;
    int digits = 0;
    for (; DigitValue(*p) < radix; ++p, ++digits)
        number = number * radix + DigitValue(*p);
    while (IsBlank(*p))
        ++p;
    *result = digits > 0 && *p == 0 ? S_OK : DISP_E_TYPEMISMATCH;
    if (*result == S_OK)
        *value = number;
    return true;
}

// Accepts blanks, an optional sign, digits (with the user's thousands separator, a comma, anywhere
// after the first) with an optional decimal point, an optional exponent and blanks, or a whole
// number in hexadecimal or octal; anything else is no number. The platform's conversions work in
// the user's conventions (those of the United States here), whatever locale the caller names. The
// checked text goes to strtod in the "C" locale.
HRESULT ParseNumber(LPCOLESTR text, DOUBLE* value)
{
    if (!text || !value)
        return E_INVALIDARG;
    const OLECHAR* p = text;
    while (IsBlank(*p))
        ++p;
    HRESULT radixResult = S_OK;
    if (ParseRadixNumber(p, value, &radixResult))
        return radixResult;
    std::string ascii;
    if (*p == L'+' || *p == L'-')
        ascii.push_back(static_cast<char>(*p++));
    int mantissaDigits = 0;
    for (; IsDigit(*p) || (*p == L',' && mantissaDigits > 0); ++p) {
        if (*p == L',')
            continue;
        ascii.push_back(static_cast<char>(*p));
        ++mantissaDigits;
    }
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
