#include <atomic>
#include <cstdlib>
#include <cstring>
#include <new>

#include "sim/automation.h"
#include "sim/automation_control.h"
#include "sim/faults_internal.h"
#include "sim/number_conversion.h"
#include "sim/strings.h"

namespace {

std::atomic<int> g_liveStrings{0};
std::atomic<int> g_liveArrays{0};

// The block: 32-bit byte length, the text, a zero code unit.
DWORD* HeaderOf(BSTR text) { return reinterpret_cast<DWORD*>(text) - 1; }

BSTR AllocateString(const OLECHAR* source, UINT length)
{
    if (length > 0x7FFFFFF0u / sizeof(OLECHAR))
        return nullptr;
    if (sim::internal::Injected(sim::Op::Allocation))
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

// A quotient and the remainder of its division, rounded half to even like every numeric conversion
// of the platform; `half` is half the divisor, `negative` the sign of the value.
template <class Unsigned>
HRESULT FromRoundedQuotient(Unsigned quotient, Unsigned remainder, Unsigned half, bool negative, LONG* out)
{
    if (remainder > half || (remainder == half && half != 0 && (quotient & 1) != 0))
        ++quotient;
    if (quotient > (negative ? Unsigned(2147483648u) : Unsigned(2147483647u)))
        return DISP_E_OVERFLOW;
    const LONGLONG magnitude = static_cast<LONGLONG>(quotient);
    *out = static_cast<LONG>(negative ? -magnitude : magnitude);
    return S_OK;
}

// Currency is exact: ten-thousandths are divided out in integers, never through floating point.
HRESULT FromCurrency(const CY& value, LONG* out)
{
    const bool negative = value.int64 < 0;
    // The magnitude in unsigned arithmetic, so that the smallest value has one too.
    const ULONGLONG magnitude = negative ? 0 - static_cast<ULONGLONG>(value.int64) : static_cast<ULONGLONG>(value.int64);
    return FromRoundedQuotient<ULONGLONG>(magnitude / 10000, magnitude % 10000, 5000, negative, out);
}

__extension__ typedef unsigned __int128 Unsigned128;

// A decimal whose scale or sign byte is out of its range is refused, as the platform refuses it.
HRESULT FromDecimal(const DECIMAL& value, LONG* out)
{
    if (value.scale > 28 || (value.sign & ~DECIMAL_NEG) != 0)
        return E_INVALIDARG;
    const Unsigned128 mantissa = (static_cast<Unsigned128>(value.Hi32) << 64) | value.Lo64;
    Unsigned128 divisor = 1;
    for (BYTE i = 0; i < value.scale; ++i)
        divisor *= 10;
    return FromRoundedQuotient<Unsigned128>(mantissa / divisor, mantissa % divisor, divisor / 2,
                                            value.sign == DECIMAL_NEG, out);
}

HRESULT ToI4(const VARIANT& source, LONG* out);

// An object converts through its default value, the property DISPID_VALUE; an object without one
// does not convert.
HRESULT FromDefaultValue(IDispatch* object, LONG* out)
{
    DISPPARAMS none = {nullptr, nullptr, 0, 0};
    VARIANT value;
    VariantInit(&value);
    if (FAILED(object->Invoke(DISPID_VALUE, GUID_NULL, 0, DISPATCH_PROPERTYGET, &none, &value, nullptr, nullptr))) {
        VariantClear(&value);
        return DISP_E_TYPEMISMATCH;
    }
    const HRESULT hr = ToI4(value, out);
    VariantClear(&value);
    return hr;
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
    case VT_I1: return FromInteger(byRef ? *source.pcVal : source.cVal, out);
    case VT_UI1: return FromInteger(byRef ? *source.pbVal : source.bVal, out);
    case VT_I2: return FromInteger(byRef ? *source.piVal : source.iVal, out);
    case VT_UI2: return FromInteger(byRef ? *source.puiVal : source.uiVal, out);
    case VT_I4:
    case VT_INT: return FromInteger(byRef ? *source.plVal : source.lVal, out);
    case VT_UI4:
    case VT_UINT:
        // The platform keeps the 32 bits: an unsigned value above the signed range turns negative.
        *out = static_cast<LONG>(byRef ? *source.pulVal : source.ulVal);
        return S_OK;
    case VT_I8: return FromInteger(byRef ? *source.pllVal : source.llVal, out);
    case VT_UI8: return FromUnsigned(byRef ? *source.pullVal : source.ullVal, out);
    case VT_R4: return sim::DoubleToI4(byRef ? *source.pfltVal : source.fltVal, out);
    case VT_R8:
    case VT_DATE: return sim::DoubleToI4(byRef ? *source.pdblVal : source.dblVal, out);
    case VT_CY: return FromCurrency(byRef ? *source.pcyVal : source.cyVal, out);
    case VT_DECIMAL: return FromDecimal(byRef ? *source.pdecVal : source.decVal, out);
    case VT_BOOL:
        // The value as it is: true is -1, and a non-zero value other than true stays what it was.
        *out = byRef ? *source.pboolVal : source.boolVal;
        return S_OK;
    case VT_BSTR: {
        const BSTR text = byRef ? *source.pbstrVal : source.bstrVal;
        return VarI4FromStr(text ? text : L"", 0, 0, out);
    }
    case VT_DISPATCH: {
        IDispatch* object = byRef ? *source.ppdispVal : source.pdispVal;
        return object ? FromDefaultValue(object, out) : DISP_E_BADVARTYPE;
    }
    case VT_VARIANT:
        if (!byRef)
            return DISP_E_TYPEMISMATCH;
        // One level of indirection only: a reference to a reference is refused.
        if (source.pvarVal->vt == (VT_VARIANT | VT_BYREF))
            return E_INVALIDARG;
        return ToI4(*source.pvarVal, out);
    case VT_NULL:
        return byRef ? DISP_E_BADVARTYPE : DISP_E_TYPEMISMATCH;
    case VT_ERROR:
    case VT_UNKNOWN:
        return DISP_E_TYPEMISMATCH;
    default:
        return DISP_E_BADVARTYPE;
    }
}

// The size of one element of an array of `vt`, and the feature flag that says what its elements
// own; 0 for a type arrays do not hold here.
ULONG ElementSize(VARTYPE vt, USHORT* features)
{
    *features = 0;
    switch (vt) {
    case VT_I1:
    case VT_UI1: return 1;
    case VT_I2:
    case VT_UI2:
    case VT_BOOL: return 2;
    case VT_I4:
    case VT_UI4:
    case VT_INT:
    case VT_UINT:
    case VT_R4:
    case VT_ERROR: return 4;
    case VT_I8:
    case VT_UI8:
    case VT_R8:
    case VT_DATE:
    case VT_CY: return 8;
    case VT_DECIMAL: return sizeof(DECIMAL);
    case VT_BSTR: *features = FADF_BSTR; return sizeof(BSTR);
    case VT_UNKNOWN: *features = FADF_UNKNOWN; return sizeof(IUnknown*);
    case VT_DISPATCH: *features = FADF_DISPATCH; return sizeof(IDispatch*);
    case VT_VARIANT: *features = FADF_VARIANT; return sizeof(VARIANT);
    default: return 0;
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
        default:
            if (pvarg->vt & VT_ARRAY)
                SafeArrayDestroy(pvarg->parray);
            break;
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

SAFEARRAY* WINAPI SafeArrayCreateVector(VARTYPE vt, LONG lLbound, ULONG cElements)
{
    USHORT features = 0;
    const ULONG size = ElementSize(vt, &features);
    if (size == 0 || cElements > 0x7FFFFFFFu / size)
        return nullptr;
    if (sim::internal::Injected(sim::Op::Allocation))
        return nullptr;
    SAFEARRAY* array = new (std::nothrow) SAFEARRAY();
    if (!array)
        return nullptr;
    // Zeroed, as the platform hands them out: null strings and interfaces, empty variants.
    array->pvData = std::calloc(cElements ? cElements : 1, size);
    if (!array->pvData) {
        delete array;
        return nullptr;
    }
    array->cDims = 1;
    array->fFeatures = features;
    array->cbElements = size;
    array->rgsabound[0] = SAFEARRAYBOUND{cElements, lLbound};
    ++g_liveArrays;
    return array;
}

HRESULT WINAPI SafeArrayDestroy(SAFEARRAY* psa)
{
    if (!psa)
        return S_OK;
    if (psa->cLocks != 0)
        return DISP_E_ARRAYISLOCKED;
    const ULONG count = psa->rgsabound[0].cElements;
    for (ULONG i = 0; i < count; ++i) {
        BYTE* element = static_cast<BYTE*>(psa->pvData) + static_cast<size_t>(i) * psa->cbElements;
        if (psa->fFeatures & FADF_BSTR) {
            BSTR text = nullptr;
            std::memcpy(&text, element, sizeof(text));
            SysFreeString(text);
        } else if (psa->fFeatures & (FADF_UNKNOWN | FADF_DISPATCH)) {
            IUnknown* object = nullptr;
            std::memcpy(&object, element, sizeof(object));
            if (object)
                object->Release();
        } else if (psa->fFeatures & FADF_VARIANT) {
            VariantClear(reinterpret_cast<VARIANT*>(element));
        }
    }
    std::free(psa->pvData);
    delete psa;
    --g_liveArrays;
    return S_OK;
}

HRESULT WINAPI SafeArrayAccessData(SAFEARRAY* psa, void** ppvData)
{
    if (!psa || !ppvData)
        return E_INVALIDARG;
    ++psa->cLocks;
    *ppvData = psa->pvData;
    return S_OK;
}

HRESULT WINAPI SafeArrayUnaccessData(SAFEARRAY* psa)
{
    if (!psa)
        return E_INVALIDARG;
    if (psa->cLocks == 0)
        return E_UNEXPECTED;
    --psa->cLocks;
    return S_OK;
}

namespace sim {

int LiveStrings() { return g_liveStrings; }
int LiveArrays() { return g_liveArrays; }

}  // namespace sim
