#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "sim/automation.h"
#include "sim/number_conversion.h"

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

// What number text says: a whole number in hexadecimal or octal, kept as bits (saturated above 64
// of them), or any other number as a double.
struct ParsedNumber {
    bool radix = false;
    uint64_t bits = 0;
    double value = 0;
};

// "&H" and hexadecimal digits, or "&O" and octal ones, as script languages write whole numbers.
bool ParseRadixNumber(const OLECHAR* p, ParsedNumber* number, HRESULT* result)
{
    if (p[0] != L'&')
        return false;
    const int radix = (p[1] == L'H' || p[1] == L'h') ? 16 : (p[1] == L'O' || p[1] == L'o') ? 8 : 0;
    if (radix == 0)
        return false;
    p += 2;
    uint64_t bits = 0;
    int digits = 0;
    for (; DigitValue(*p) < radix; ++p, ++digits) {
        const uint64_t digit = static_cast<uint64_t>(DigitValue(*p));
        bits = bits > (UINT64_MAX - digit) / static_cast<uint64_t>(radix) ? UINT64_MAX : bits * static_cast<uint64_t>(radix) + digit;
    }
    while (IsBlank(*p))
        ++p;
    *result = digits > 0 && *p == 0 ? S_OK : DISP_E_TYPEMISMATCH;
    number->radix = true;
    number->bits = bits;
    return true;
}

// Accepts blanks, an optional sign and blanks, then either a whole number in hexadecimal or octal
// (the sign passed over, as the platform does) or digits with an optional decimal point, the
// user's thousands separator (a comma) anywhere after the first digit or the point, an optional
// exponent and blanks; anything else is no number. The platform's conversions work in the user's
// conventions (those of the United States here), whatever locale the caller names. The checked
// text goes to strtod in the "C" locale.
HRESULT ParseNumber(LPCOLESTR text, ParsedNumber* number)
{
    if (!text || !number)
        return E_INVALIDARG;
    const OLECHAR* p = text;
    while (IsBlank(*p))
        ++p;
    std::string ascii;
    if (*p == L'+' || *p == L'-')
        ascii.push_back(static_cast<char>(*p++));
    while (IsBlank(*p))
        ++p;
    HRESULT radixResult = S_OK;
    if (ParseRadixNumber(p, number, &radixResult))
        return radixResult;
    int mantissaDigits = 0;
    bool point = false;
    for (;; ++p) {
        if (IsDigit(*p)) {
            ascii.push_back(static_cast<char>(*p));
            ++mantissaDigits;
        } else if (*p == L'.' && !point) {
            ascii.push_back('.');
            point = true;
        } else if (*p != L',' || (mantissaDigits == 0 && !point)) {
            break;
        }
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
    number->value = parsed;
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

HRESULT DoubleToI4(double value, LONG* out)
{
    if (std::isnan(value))
        return DISP_E_OVERFLOW;
    const double rounded = RoundHalfToEven(value);
    if (rounded < -2147483648.0 || rounded > 2147483647.0)
        return DISP_E_OVERFLOW;
    *out = static_cast<LONG>(rounded);
    return S_OK;
}

}  // namespace sim

HRESULT WINAPI VarI4FromStr(LPCOLESTR strIn, LCID, ULONG, LONG* plOut)
{
    if (!plOut)
        return E_INVALIDARG;
    ParsedNumber number;
    const HRESULT hr = ParseNumber(strIn, &number);
    if (FAILED(hr))
        return hr;
    if (!number.radix)
        return sim::DoubleToI4(number.value, plOut);
    // A whole number of up to 32 bits keeps them: "&HFFFFFFFF" is -1.
    if (number.bits > 0xFFFFFFFFull)
        return DISP_E_OVERFLOW;
    *plOut = static_cast<LONG>(static_cast<ULONG>(number.bits));
    return S_OK;
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
    ParsedNumber number;
    const HRESULT hr = ParseNumber(strIn, &number);
    if (FAILED(hr))
        return hr;
    const double value = number.radix ? static_cast<double>(number.bits) : sim::RoundHalfToEven(number.value);
    if (value < 0 || value > 4294967295.0)
        return DISP_E_OVERFLOW;
    *pulOut = static_cast<ULONG>(value);
    return S_OK;
}
