// Invoke through the dispatch slots with one argument of each kind: what the platform's type
// information answers and which value reaches which method. One table, checked against the
// simulation natively and against the platform under Wine; natively, the rows that name a band are
// also called on the enabler itself, with a toolbar's handle.
#pragma once

#include <string>

#include <gtest/gtest.h>

#include "argument_variants.h"
#include "platform/win32.h"
#include "recording_enabler.h"
#include "utf16.h"
#include "value_object.h"

namespace invoke_cases {

enum class Arg {
    I4, I2, UI1, R8, R4, Text, Bool, ByRefI4, ByRefVariant, UI4, Null,
    I8, Date, Currency, Decimal, Object, ObjectAsText, NullObject, Unknown, Array, ByRefNull, ByRefToByRef,
};

// A toolbar in a band whose header is 10 pixels, given the call's argument as its window: the
// header afterwards, and how many notifications the call started. Rows with none (header 0) are not
// run there.
struct Band {
    UINT header;
    size_t notifications;
};

struct Case {
    const char* name;
    DISPID dispid;
    WORD flags;
    Arg kind;
    double number;
    const char* text;  // Text: its characters; "%h" stands for the handle's decimal digits
    UINT count;        // arguments passed
    HRESULT result;
    DISPID slot;       // 0: no method reached
    LONG value;
    bool noArgErr = false;    // the caller passes no argument-error pointer
    bool nearHandle = false;  // number and value are offsets from a window's handle
    Band band = {0, 0};
};

constexpr WORD kMethod = DISPATCH_METHOD;
constexpr WORD kScript = DISPATCH_METHOD | DISPATCH_PROPERTYGET;
constexpr bool kNear = true;

const Case kCases[] = {
    {"DISPID 2 with a 32-bit integer", 2, kMethod, Arg::I4, 1234, nullptr, 1, S_OK, 2, 1234},
    {"DISPID 3 with a 32-bit integer", 3, kMethod, Arg::I4, -5, nullptr, 1, S_OK, 3, -5},
    {"a script host's method-or-get call", 3, kScript, Arg::I4, 8, nullptr, 1, S_OK, 3, 8},
    {"decimal text", 3, kMethod, Arg::Text, 0, "4660", 1, S_OK, 3, 4660},
    {"negative decimal text", 2, kMethod, Arg::Text, 0, "-12", 1, S_OK, 2, -12},
    {"text with a fraction rounds half to even", 3, kMethod, Arg::Text, 0, "2.5", 1, S_OK, 3, 2},
    {"a double 2.5 rounds to 2", 3, kMethod, Arg::R8, 2.5, nullptr, 1, S_OK, 3, 2},
    {"a double 3.5 rounds to 4", 3, kMethod, Arg::R8, 3.5, nullptr, 1, S_OK, 3, 4},
    {"a double -2.5 rounds to -2", 2, kMethod, Arg::R8, -2.5, nullptr, 1, S_OK, 2, -2},
    {"a double 2.4 rounds to 2", 3, kMethod, Arg::R8, 2.4, nullptr, 1, S_OK, 3, 2},
    {"a double 2.6 rounds to 3", 3, kMethod, Arg::R8, 2.6, nullptr, 1, S_OK, 3, 3},
    {"a float 1.5 rounds to 2", 3, kMethod, Arg::R4, 1.5, nullptr, 1, S_OK, 3, 2},
    {"a 16-bit integer", 2, kMethod, Arg::I2, -300, nullptr, 1, S_OK, 2, -300},
    {"a byte", 3, kMethod, Arg::UI1, 200, nullptr, 1, S_OK, 3, 200},
    {"true is -1", 3, kMethod, Arg::Bool, -1, nullptr, 1, S_OK, 3, -1},
    {"a boolean other than true keeps its value", 2, kMethod, Arg::Bool, 1, nullptr, 1, S_OK, 2, 1},
    {"a 32-bit integer by reference", 3, kMethod, Arg::ByRefI4, 99, nullptr, 1, S_OK, 3, 99},
    {"a variant by reference", 2, kMethod, Arg::ByRefVariant, 41, nullptr, 1, S_OK, 2, 41},
    {"an unsigned value above the signed range keeps its bits", 3, kMethod, Arg::UI4, 2147483648.0, nullptr, 1, S_OK,
     3, -2147483647 - 1},
    {"a double beyond 32 bits", 3, kMethod, Arg::R8, 1e12, nullptr, 1, DISP_E_OVERFLOW, 0, 0},
    {"text that is no number", 3, kMethod, Arg::Text, 0, "band", 1, DISP_E_TYPEMISMATCH, 0, 0},
    {"text that is no number, no argument-error pointer", 2, kMethod, Arg::Text, 0, "band", 1, DISP_E_TYPEMISMATCH, 0,
     0, true},
    {"a 32-bit integer, no argument-error pointer", 2, kMethod, Arg::I4, 12, nullptr, 1, S_OK, 2, 12, true},
    {"null", 2, kMethod, Arg::Null, 0, nullptr, 1, DISP_E_TYPEMISMATCH, 0, 0},
    {"no argument", 3, kMethod, Arg::I4, 1, nullptr, 0, DISP_E_BADPARAMCOUNT, 0, 0},
    {"a 64-bit integer", 2, kMethod, Arg::I8, -9, nullptr, 1, S_OK, 2, -9},
    {"a 64-bit integer beyond 32 bits", 3, kMethod, Arg::I8, 1e12, nullptr, 1, DISP_E_OVERFLOW, 0, 0},
    {"a date is its day number, rounded", 3, kMethod, Arg::Date, 2.5, nullptr, 1, S_OK, 3, 2},
    {"currency 2.5 rounds to 2", 3, kMethod, Arg::Currency, 2.5, nullptr, 1, S_OK, 3, 2},
    {"currency -3.5 rounds to -4", 2, kMethod, Arg::Currency, -3.5, nullptr, 1, S_OK, 2, -4},
    {"currency beyond 32 bits", 3, kMethod, Arg::Currency, 3e9, nullptr, 1, DISP_E_OVERFLOW, 0, 0},
    {"a decimal 2.5 rounds to 2", 3, kMethod, Arg::Decimal, 2.5, nullptr, 1, S_OK, 3, 2},
    {"a negative decimal -7.5 rounds to -8", 2, kMethod, Arg::Decimal, -7.5, nullptr, 1, S_OK, 2, -8},
    {"a decimal beyond 32 bits", 3, kMethod, Arg::Decimal, 3e9, nullptr, 1, DISP_E_OVERFLOW, 0, 0},
    {"an object converts through its default value", 3, kMethod, Arg::Object, 77, nullptr, 1, S_OK, 3, 77},
    {"an object whose default value is text", 2, kMethod, Arg::ObjectAsText, -12, nullptr, 1, S_OK, 2, -12},
    {"a null object", 3, kMethod, Arg::NullObject, 0, nullptr, 1, DISP_E_BADVARTYPE, 0, 0},
    {"an object without a value interface", 3, kMethod, Arg::Unknown, 5, nullptr, 1, DISP_E_TYPEMISMATCH, 0, 0},
    {"an array", 2, kMethod, Arg::Array, 5, nullptr, 1, DISP_E_TYPEMISMATCH, 0, 0},
    {"null by reference", 3, kMethod, Arg::ByRefNull, 0, nullptr, 1, DISP_E_BADVARTYPE, 0, 0},
    {"a reference to a reference to a variant", 2, kMethod, Arg::ByRefToByRef, 6, nullptr, 1, E_INVALIDARG, 0, 0},
    {"DISPID 4 is no member", 4, kMethod, Arg::I4, 1, nullptr, 1, DISP_E_MEMBERNOTFOUND, 0, 0},
    {"a property put of a method", 3, DISPATCH_PROPERTYPUT, Arg::I4, 1, nullptr, 1, DISP_E_MEMBERNOTFOUND, 0, 0},
    // With a window's handle: natively also given to the enabler, as a toolbar's in a band.
    {"DISPID 2 with a 32-bit integer reaches EnableVesk", 2, kMethod, Arg::I4, 0, nullptr, 1, S_OK, 2, 0, false, kNear,
     {32, 4}},
    {"DISPID 3 with a 32-bit integer reaches MakeSure", 3, kMethod, Arg::I4, 0, nullptr, 1, S_OK, 3, 0, false, kNear,
     {32, 0}},
    {"a script host's method-or-get call with the toolbar's handle", 3, kScript, Arg::I4, 0, nullptr, 1, S_OK, 3, 0,
     false, kNear, {32, 0}},
    {"DISPID 3 with decimal text", 3, kMethod, Arg::Text, 0, "%h", 1, S_OK, 3, 0, false, kNear, {32, 0}},
    {"DISPID 2 with blank-padded decimal text", 2, kMethod, Arg::Text, 0, " %h ", 1, S_OK, 2, 0, false, kNear, {32, 4}},
    {"a double rounds to the nearest integer", 3, kMethod, Arg::R8, 0.4, nullptr, 1, S_OK, 3, 0, false, kNear, {32, 0}},
    {"a double half-way up rounds to the even handle", 3, kMethod, Arg::R8, 0.5, nullptr, 1, S_OK, 3, 0, false, kNear,
     {32, 0}},
    {"a double half-way down rounds to the even handle", 3, kMethod, Arg::R8, -0.5, nullptr, 1, S_OK, 3, 0, false, kNear,
     {32, 0}},
    {"1.5 above rounds to the next even number, another window", 3, kMethod, Arg::R8, 1.5, nullptr, 1, S_OK, 3, 2, false,
     kNear, {10, 1}},
    {"DISPID 2 with a double", 2, kMethod, Arg::R8, 0.25, nullptr, 1, S_OK, 2, 0, false, kNear, {32, 4}},
    {"a float", 3, kMethod, Arg::R4, 0, nullptr, 1, S_OK, 3, 0, false, kNear, {32, 0}},
    {"the toolbar's handle by reference", 3, kMethod, Arg::ByRefI4, 0, nullptr, 1, S_OK, 3, 0, false, kNear, {32, 0}},
    {"the toolbar's handle in a variant by reference", 3, kMethod, Arg::ByRefVariant, 0, nullptr, 1, S_OK, 3, 0, false,
     kNear, {32, 0}},
    {"a 16-bit integer that is no window: EnableVesk misses", 2, kMethod, Arg::I2, 5, nullptr, 1, S_OK, 2, 5, false,
     false, {10, 6}},
    {"true is -1, no window: MakeSure misses", 3, kMethod, Arg::Bool, -1, nullptr, 1, S_OK, 3, -1, false, false, {10, 1}},
    {"text that is no number leaves the band", 3, kMethod, Arg::Text, 0, "band", 1, DISP_E_TYPEMISMATCH, 0, 0, false,
     false, {10, 0}},
    {"the handle beyond 32 bits leaves the band", 3, kMethod, Arg::R8, 1e12, nullptr, 1, DISP_E_OVERFLOW, 0, 0, false,
     kNear, {10, 0}},
    {"an unsigned value above the signed range turns negative: no window", 2, kMethod, Arg::UI4, 2147483648.0, nullptr,
     1, S_OK, 2, -2147483647 - 1, false, false, {10, 6}},
    {"null leaves the band", 3, kMethod, Arg::Null, 0, nullptr, 1, DISP_E_TYPEMISMATCH, 0, 0, false, false, {10, 0}},
    {"no argument leaves the band", 3, kMethod, Arg::I4, 0, nullptr, 0, DISP_E_BADPARAMCOUNT, 0, 0, false, kNear,
     {10, 0}},
    // Wine calls the method with the extra argument; the platform's documented answer is this one.
    {"two arguments", 2, kMethod, Arg::I4, 0, nullptr, 2, DISP_E_BADPARAMCOUNT, 0, 0, false, kNear, {10, 0}},
    {"DISPID 4 is no member and leaves the band", 4, kMethod, Arg::I4, 0, nullptr, 1, DISP_E_MEMBERNOTFOUND, 0, 0, false,
     kNear, {10, 0}},
    {"DISPID 1 is no member", 1, kMethod, Arg::I4, 0, nullptr, 1, DISP_E_MEMBERNOTFOUND, 0, 0, false, kNear, {10, 0}},
    {"a property put of a method leaves the band", 3, DISPATCH_PROPERTYPUT, Arg::I4, 0, nullptr, 1,
     DISP_E_MEMBERNOTFOUND, 0, 0, false, kNear, {10, 0}},
};

// What becomes of puArgErr: the platform documents that a type mismatch names the argument there,
// and the simulation does so; Wine never writes it.
constexpr bool kArgumentErrorDocumented = true;
constexpr bool kWineLeavesArgumentError = false;

// The handle the rows near a window name when no window is there: even, as handles are, and exact
// as a float.
constexpr LONG kHandleWithoutWindow = 0x30008;

// A row's arguments, the first of its kind, the second a 32-bit zero (passed by rows of two), with
// what they point at and the object they name; `handle` is the window rows near a handle name.
class RowArguments {
public:
    RowArguments(const Case& c, LONG handle)
    {
        using namespace test_args;
        // Integer rows hold integral numbers in range; only they are converted (a cast of an
        // out-of-range double would be undefined).
        const double number = c.nearHandle ? handle + c.number : c.number;
        const auto integral = [number] { return static_cast<LONG>(number); };
        VARIANT& arg = m_args[0];
        VARIANT made;
        switch (c.kind) {
        case Arg::I4: SetInteger(arg, VT_I4, integral()); break;
        case Arg::I2: SetInteger(arg, VT_I2, integral()); break;
        case Arg::UI1: SetInteger(arg, VT_UI1, integral()); break;
        case Arg::R8: SetReal(arg, VT_R8, number); break;
        case Arg::R4: SetReal(arg, VT_R4, number); break;
        case Arg::Text: SetText(arg, SysAllocString(Text(c.text, handle).c_str())); break;
        case Arg::Bool: SetInteger(arg, VT_BOOL, integral()); break;
        case Arg::ByRefI4: SetInteger(made, VT_I4, integral()); Refer(arg, m_outer, made); break;
        case Arg::ByRefVariant: SetInteger(m_outer.variant, VT_I4, integral()); ReferVariant(arg, m_outer); break;
        case Arg::UI4: SetInteger(arg, VT_UI4, static_cast<LONGLONG>(number)); break;
        case Arg::Null: SetNull(arg); break;
        case Arg::I8: SetInteger(arg, VT_I8, static_cast<LONGLONG>(number)); break;
        case Arg::Date: SetReal(arg, VT_DATE, number); break;
        case Arg::Currency: SetInteger(arg, VT_CY, static_cast<LONGLONG>(number * 10000)); break;
        case Arg::Decimal:
            // Tenths: the number times ten, with scale 1.
            SetDecimal(arg, 1, number < 0, 0, static_cast<ULONGLONG>((number < 0 ? -number : number) * 10));
            break;
        case Arg::Object: SetObject(arg, m_value, ValueObject::Answer::Number, integral()); break;
        case Arg::ObjectAsText: SetObject(arg, m_value, ValueObject::Answer::Text, integral()); break;
        case Arg::NullObject: SetObject(arg, nullptr); break;
        case Arg::Unknown: SetObject(arg, &m_value, VT_UNKNOWN); break;
        case Arg::Array: SetArray(arg, VT_I4, SafeArrayCreateVector(VT_I4, 0, 1)); break;
        case Arg::ByRefNull: SetNull(made); Refer(arg, m_outer, made); break;
        case Arg::ByRefToByRef:
            // The outer reference names a variant that is itself a reference to a variant.
            SetInteger(m_inner.variant, VT_I4, integral());
            ReferVariant(m_outer.variant, m_inner);
            ReferVariant(arg, m_outer);
            break;
        }
        SetInteger(m_args[1], VT_I4, 0);
        m_params = {m_args, nullptr, c.count, 0};
    }
    ~RowArguments() { Clear(); }
    RowArguments(const RowArguments&) = delete;
    RowArguments& operator=(const RowArguments&) = delete;

    DISPPARAMS* Params() { return &m_params; }
    // Gives back what the arguments hold, as the caller does after the call.
    void Clear()
    {
        VariantClear(&m_args[0]);
        test_args::Release(m_outer);
        test_args::Release(m_inner);
    }
    // The object an object argument names.
    const ValueObject& Value() const { return m_value; }

private:
    static WideText Text(const char* text, LONG handle)
    {
        std::string expanded = text;
        const size_t at = expanded.find("%h");
        if (at != std::string::npos)
            expanded.replace(at, 2, std::to_string(handle));
        return WideText(expanded);
    }

    VARIANT m_args[2];
    // What a by-reference argument points at; a reference to a reference needs two.
    test_args::ArgumentStorage m_outer{};
    test_args::ArgumentStorage m_inner{};
    ValueObject m_value;
    DISPPARAMS m_params;
};

// What the row's method receives when `handle` is the window's.
inline LONG ExpectedValue(const Case& c, LONG handle) { return c.slot && c.nearHandle ? handle + c.value : c.value; }

// Runs one row on a fresh object that records what reaches its methods; the caller has made the
// type library loadable.
inline void Run(const Case& c, bool documentedArgumentError)
{
    RecordingEnabler object;
    RowArguments arguments(c, kHandleWithoutWindow);
    const ValueObject& value = arguments.Value();
    const LONG referencesBefore = value.m_nReferences;
    VARIANT result;
    VariantInit(&result);
    EXCEPINFO exception = {};
    UINT argErr = 99;
    EXPECT_EQ(object.Invoke(c.dispid, GUID_NULL, 0, c.flags, arguments.Params(), &result, &exception,
                            c.noArgErr ? nullptr : &argErr),
              c.result)
        << c.name;
    EXPECT_EQ(object.m_nCalls, c.slot ? 1 : 0) << c.name;
    EXPECT_EQ(object.m_slot, c.slot) << c.name;
    EXPECT_EQ(object.m_value, ExpectedValue(c, kHandleWithoutWindow)) << c.name;
    if (c.result == S_OK) {
        EXPECT_EQ(result.vt, VT_EMPTY) << c.name << ": the methods return no value";
    }
    const bool named = documentedArgumentError && c.result == DISP_E_TYPEMISMATCH && !c.noArgErr;
    EXPECT_EQ(argErr, named ? 0u : 99u) << c.name << (named ? ": names the argument" : ": leaves it alone");
    EXPECT_EQ(value.m_nReferences, referencesBefore) << c.name << ": every reference taken is given back";
    EXPECT_EQ(value.m_nReads, c.kind == Arg::Object || c.kind == Arg::ObjectAsText ? 1 : 0)
        << c.name << ": an object's value is read once, only when it is converted";
    arguments.Clear();
    VariantClear(&result);
    EXPECT_EQ(value.m_nReferences, 1) << c.name;
}

}  // namespace invoke_cases
