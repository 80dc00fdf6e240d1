// Builds the arguments a script engine passes to Invoke: every VARIANT kind by value, by reference
// to storage the caller owns, or as a reference to a variant; objects, texts and arrays. The Invoke
// table, the differential replay and the dispatch fuzzer fill their arguments here, each from values
// it has drawn in its own order.
#pragma once

#include "platform/win32.h"
#include "value_object.h"

namespace test_args {

// What by-reference arguments point at, owned by the caller as a script engine owns its variables.
// Value-initialise it ({}): all zero is empty, and Release frees what it then holds.
struct ArgumentStorage {
    CHAR i1;
    BYTE ui1;
    SHORT i2;
    USHORT ui2;
    LONG i4;
    ULONG ui4;
    LONGLONG i8;
    ULONGLONG ui8;
    FLOAT r4;
    DOUBLE r8;
    CY cy;
    DECIMAL dec;
    VARIANT_BOOL boolean;
    SCODE error;
    BSTR text;
    IDispatch* object;
    IUnknown* unknown;
    SAFEARRAY* array;
    VARIANT variant;
};

inline void Release(ArgumentStorage& storage)
{
    SysFreeString(storage.text);
    if (storage.object)
        storage.object->Release();
    if (storage.unknown)
        storage.unknown->Release();
    SafeArrayDestroy(storage.array);
    VariantClear(&storage.variant);
    storage = ArgumentStorage{};
}

// A kind whose value is an integer: VT_I1 to VT_UI8, VT_INT and VT_UINT (the integer's low bits of
// the kind's width), VT_CY (in ten-thousandths), VT_BOOL and VT_ERROR.
inline void SetInteger(VARIANT& v, VARTYPE type, LONGLONG integer)
{
    VariantInit(&v);
    v.vt = type;
    switch (type) {
    case VT_I1: v.cVal = static_cast<CHAR>(integer & 0xFF); break;
    case VT_UI1: v.bVal = static_cast<BYTE>(integer & 0xFF); break;
    case VT_I2: v.iVal = static_cast<SHORT>(integer & 0xFFFF); break;
    case VT_UI2: v.uiVal = static_cast<USHORT>(integer & 0xFFFF); break;
    case VT_I4: v.lVal = static_cast<LONG>(integer & 0xFFFFFFFF); break;
    case VT_UI4: v.ulVal = static_cast<ULONG>(integer & 0xFFFFFFFF); break;
    case VT_INT: v.intVal = static_cast<INT>(integer & 0xFFFFFFFF); break;
    case VT_UINT: v.uintVal = static_cast<UINT>(integer & 0xFFFFFFFF); break;
    case VT_I8: v.llVal = integer; break;
    case VT_CY: v.cyVal.int64 = integer; break;
    case VT_BOOL: v.boolVal = static_cast<VARIANT_BOOL>(integer & 0xFFFF); break;
    case VT_ERROR: v.scode = static_cast<SCODE>(integer & 0xFFFFFFFF); break;
    default: v.vt = VT_UI8; v.ullVal = static_cast<ULONGLONG>(integer); break;
    }
}

// VT_R4 with exactly these bits (a NaN's payload included).
inline void SetFloat(VARIANT& v, FLOAT real)
{
    VariantInit(&v);
    v.vt = VT_R4;
    v.fltVal = real;
}

// A real kind: VT_R4 (rounded to a float), VT_R8 or VT_DATE (a day number).
inline void SetReal(VARIANT& v, VARTYPE type, double real)
{
    if (type == VT_R4)
        return SetFloat(v, static_cast<FLOAT>(real));
    VariantInit(&v);
    v.vt = type == VT_DATE ? VT_DATE : VT_R8;
    v.dblVal = real;
}

// (high * 2^64 + low) / 10^scale with that sign. The record overlaps the variant's type, which is
// therefore written last.
inline void SetDecimal(VARIANT& v, BYTE scale, bool negative, ULONG high, ULONGLONG low)
{
    VariantInit(&v);
    v.decVal.scale = scale;
    v.decVal.sign = negative ? DECIMAL_NEG : 0;
    v.decVal.Hi32 = high;
    v.decVal.Lo64 = low;
    v.vt = VT_DECIMAL;
}

inline void SetNull(VARIANT& v)
{
    VariantInit(&v);
    v.vt = VT_NULL;
}

// The variant owns `text` from now on.
inline void SetText(VARIANT& v, BSTR text)
{
    VariantInit(&v);
    v.vt = VT_BSTR;
    v.bstrVal = text;
}

// An object that converts through its default value (VT_DISPATCH), or the same passed as IUnknown
// alone, which no conversion reads (VT_UNKNOWN); null: a null one. The variant holds a reference of
// its own.
inline void SetObject(VARIANT& v, ValueObject* object, VARTYPE type = VT_DISPATCH)
{
    VariantInit(&v);
    v.vt = type;
    if (type == VT_UNKNOWN)
        v.punkVal = object;
    else
        v.pdispVal = object;
    if (object)
        object->AddRef();
}

// The same object, `answer` its default value `value`.
inline void SetObject(VARIANT& v, ValueObject& object, ValueObject::Answer answer, LONG value)
{
    object.m_answer = answer;
    object.m_value = value;
    SetObject(v, &object);
}

// The variant owns `array`, of elements of `type`, from now on.
inline void SetArray(VARIANT& v, VARTYPE type, SAFEARRAY* array)
{
    VariantInit(&v);
    v.vt = static_cast<VARTYPE>(VT_ARRAY | type);
    v.parray = array;
}

// `v` becomes a reference to `made`'s value, which moves into `storage` (with the string,
// reference or array it holds). An empty or a null value by reference points at a variant's
// worth of storage.
inline void Refer(VARIANT& v, ArgumentStorage& storage, const VARIANT& made)
{
    VariantInit(&v);
    v.vt = static_cast<VARTYPE>(made.vt | VT_BYREF);
    if (made.vt & VT_ARRAY) {
        storage.array = made.parray;
        v.pparray = &storage.array;
        return;
    }
    switch (made.vt) {
    case VT_I1: storage.i1 = made.cVal; v.pcVal = &storage.i1; break;
    case VT_UI1: storage.ui1 = made.bVal; v.pbVal = &storage.ui1; break;
    case VT_I2: storage.i2 = made.iVal; v.piVal = &storage.i2; break;
    case VT_UI2: storage.ui2 = made.uiVal; v.puiVal = &storage.ui2; break;
    case VT_I4:
    case VT_INT: storage.i4 = made.lVal; v.plVal = &storage.i4; break;
    case VT_UI4:
    case VT_UINT: storage.ui4 = made.ulVal; v.pulVal = &storage.ui4; break;
    case VT_I8: storage.i8 = made.llVal; v.pllVal = &storage.i8; break;
    case VT_UI8: storage.ui8 = made.ullVal; v.pullVal = &storage.ui8; break;
    case VT_R4: storage.r4 = made.fltVal; v.pfltVal = &storage.r4; break;
    case VT_R8:
    case VT_DATE: storage.r8 = made.dblVal; v.pdblVal = &storage.r8; break;
    case VT_CY: storage.cy = made.cyVal; v.pcyVal = &storage.cy; break;
    case VT_DECIMAL:
        // The copied record's first field is `made`'s type; in storage it is reserved, zero.
        storage.dec = made.decVal;
        storage.dec.wReserved = 0;
        v.pdecVal = &storage.dec;
        break;
    case VT_BOOL: storage.boolean = made.boolVal; v.pboolVal = &storage.boolean; break;
    case VT_ERROR: storage.error = made.scode; v.pscode = &storage.error; break;
    case VT_BSTR: storage.text = made.bstrVal; v.pbstrVal = &storage.text; break;
    case VT_DISPATCH: storage.object = made.pdispVal; v.ppdispVal = &storage.object; break;
    case VT_UNKNOWN: storage.unknown = made.punkVal; v.ppunkVal = &storage.unknown; break;
    default: v.byref = &storage.variant; break;
    }
}

// `v` becomes a reference to the variant in `storage`, which the caller fills.
inline void ReferVariant(VARIANT& v, ArgumentStorage& storage)
{
    VariantInit(&v);
    v.vt = VT_VARIANT | VT_BYREF;
    v.pvarVal = &storage.variant;
}

}  // namespace test_args
