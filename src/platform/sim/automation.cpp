#include <atomic>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <new>

#include "platform/sim/automation.h"
#include "platform/sim/automation_control.h"
#include "platform/sim/memory_control.h"
#include "platform/sim/number_conversion.h"
#include "platform/sim/strings.h"

namespace {

std::atomic<int> g_liveStrings{0};

// The block: 32-bit byte length, the text, a zero code unit.
DWORD* HeaderOf(BSTR text) { return reinterpret_cast<DWORD*>(text) - 1; }

BSTR AllocateString(const OLECHAR* source, UINT length)
{
    if (length > 0x7FFFFFF0u / sizeof(OLECHAR))
        return nullptr;
    if (sim::ShouldFailAllocation())
        return nullptr;
    const size_t bytes = sizeof(DWORD) + (static_cast<size_t>(length) + 1) * sizeof(OLECHAR);
    DWORD* block = static_cast<DWORD*>(std::malloc(bytes));
    if (!block)
        return nullptr;
    block[0] = static_cast<DWORD>(length * sizeof(OLECHAR));
    BSTR text = reinterpret_cast<BSTR>(block + 1);
    if (source)
        std::memcpy(text, source, length * sizeof(OLECHAR));
    else
        std::memset(text, 0, length * sizeof(OLECHAR));
    text[length] = 0;
    ++g_liveStrings;
    return text;
}

HRESULT FromDouble(double value, LONG* out)
{
    if (std::isnan(value))
        return DISP_E_OVERFLOW;
    const double rounded = sim::RoundHalfToEven(value);
    if (rounded < -2147483648.0 || rounded > 2147483647.0)
        return DISP_E_OVERFLOW;
    *out = static_cast<LONG>(rounded);
    return S_OK;
}

HRESULT FromInteger(LONGLONG value, LONG* out)
{
    if (value < -2147483648LL || value > 2147483647LL)
        return DISP_E_OVERFLOW;
    *out = static_cast<LONG>(value);
    return S_OK;
}

HRESULT FromUnsigned(ULONGLONG value, LONG* out)
{
    if (value > 2147483647ULL)
        return DISP_E_OVERFLOW;
    *out = static_cast<LONG>(value);
    return S_OK;
}

// One variant, by value or by reference, to a 32-bit signed integer.
HRESULT ToI4(const VARIANT& source, LONG* out)
{
    const VARTYPE type = source.vt & VT_TYPEMASK;
    const bool byRef = (source.vt & VT_BYREF) != 0;
    if (source.vt & (VT_ARRAY | VT_VECTOR | VT_RESERVED))
        return DISP_E_TYPEMISMATCH;
    if (byRef && !source.byref)
        return E_INVALIDARG;
    switch (type) {
    case VT_EMPTY:
        if (byRef)
            return DISP_E_BADVARTYPE;
        *out = 0;
        return S_OK;
    case VT_I1: return FromInteger(byRef ? *static_cast<const CHAR*>(source.byref) : source.cVal, out);
    case VT_UI1: return FromInteger(byRef ? *source.pbVal : source.bVal, out);
    case VT_I2: return FromInteger(byRef ? *source.piVal : source.iVal, out);
    case VT_UI2: return FromInteger(byRef ? *static_cast<const USHORT*>(source.byref) : source.uiVal, out);
    case VT_I4:
    case VT_INT: return FromInteger(byRef ? *source.plVal : source.lVal, out);
    case VT_UI4:
    case VT_UINT:
        // The platform keeps the 32 bits: an unsigned value above the signed range turns negative.
        *out = static_cast<LONG>(byRef ? *static_cast<const ULONG*>(source.byref) : source.ulVal);
        return S_OK;
    case VT_I8: return FromInteger(byRef ? *static_cast<const LONGLONG*>(source.byref) : source.llVal, out);
    case VT_UI8: return FromUnsigned(byRef ? *static_cast<const ULONGLONG*>(source.byref) : source.ullVal, out);
    case VT_R4: return FromDouble(byRef ? *source.pfltVal : source.fltVal, out);
    case VT_R8:
    case VT_DATE: return FromDouble(byRef ? *source.pdblVal : source.dblVal, out);
    case VT_BOOL: *out = (byRef ? *source.pboolVal : source.boolVal) ? -1 : 0; return S_OK;
    case VT_BSTR: {
        const BSTR text = byRef ? *source.pbstrVal : source.bstrVal;
        double value = 0;
        const HRESULT hr = VarR8FromStr(text ? text : L"", 0, 0, &value);
        return FAILED(hr) ? hr : FromDouble(value, out);
    }
    case VT_VARIANT:
        if (!byRef)
            return DISP_E_BADVARTYPE;
        return ToI4(*source.pvarVal, out);
    case VT_NULL:
    case VT_ERROR:
    case VT_DISPATCH:
    case VT_UNKNOWN:
    case VT_CY:
    case VT_DECIMAL:
        return DISP_E_TYPEMISMATCH;
    default:
        return DISP_E_BADVARTYPE;
    }
}

}  // namespace

BSTR WINAPI SysAllocString(const OLECHAR* psz)
{
    if (!psz)
        return nullptr;
    return AllocateString(psz, static_cast<UINT>(lstrlenW(psz)));
}

BSTR WINAPI SysAllocStringLen(const OLECHAR* strIn, UINT ui) { return AllocateString(strIn, ui); }

UINT WINAPI SysStringLen(BSTR pbstr) { return pbstr ? *HeaderOf(pbstr) / sizeof(OLECHAR) : 0; }

UINT WINAPI SysStringByteLen(BSTR bstr) { return bstr ? *HeaderOf(bstr) : 0; }

void WINAPI SysFreeString(BSTR bstrString)
{
    if (!bstrString)
        return;
    --g_liveStrings;
    std::free(HeaderOf(bstrString));
}

void WINAPI VariantInit(VARIANTARG* pvarg)
{
    if (!pvarg)
        return;
    std::memset(pvarg, 0, sizeof(*pvarg));
    pvarg->vt = VT_EMPTY;
}

HRESULT WINAPI VariantClear(VARIANTARG* pvarg)
try {
    if (!pvarg)
        return E_INVALIDARG;
    if (!(pvarg->vt & VT_BYREF)) {
        switch (pvarg->vt) {
        case VT_BSTR: SysFreeString(pvarg->bstrVal); break;
        case VT_DISPATCH:
        case VT_UNKNOWN:
            if (pvarg->punkVal)
                pvarg->punkVal->Release();
            break;
        default: break;
        }
    }
    VariantInit(pvarg);
    return S_OK;
} catch (const std::bad_alloc&) {
    // The service reports a shortage as E_OUTOFMEMORY; it never throws into its caller.
    return E_OUTOFMEMORY;
}

HRESULT WINAPI VariantChangeType(VARIANTARG* pvargDest, const VARIANTARG* pvarSrc, USHORT, VARTYPE vt)
try {
    if (!pvargDest || !pvarSrc)
        return E_INVALIDARG;
    if (vt != VT_I4)
        return DISP_E_BADVARTYPE;
    LONG value = 0;
    const HRESULT hr = ToI4(*pvarSrc, &value);
    if (FAILED(hr))
        return hr;
    if (pvargDest != pvarSrc)
        VariantClear(pvargDest);
    else if (pvargDest->vt == VT_BSTR)
        SysFreeString(pvargDest->bstrVal);
    VariantInit(pvargDest);
    pvargDest->vt = VT_I4;
    pvargDest->lVal = value;
    return S_OK;
} catch (const std::bad_alloc&) {
    return E_OUTOFMEMORY;
}

namespace sim {

int LiveStrings() { return g_liveStrings; }

}  // namespace sim
