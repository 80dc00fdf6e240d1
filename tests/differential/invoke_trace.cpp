#include "invoke_trace.h"

#include <cstdio>

#include "argument_variants.h"
#include "recording_enabler.h"
#include "seeded_random.h"
#include "value_object.h"

namespace differential {

const char* const kLeftOutNames[kLeftOutCount] = {"none", "surplus-arguments", "unknown-named-id", "propertyput-id"};

namespace {

// Every case draws from its own seed; the salt keeps these draws apart from the other generator's.
class Random : public SeededRandom {
public:
    explicit Random(uint32_t seed) : SeededRandom(0x494E564B00000000ull, seed) {}
};

enum class Kind {
    Empty, Null, I1, UI1, I2, UI2, I4, UI4, I8, UI8, Int, UInt, R4, R8, Currency, Date, Bool, Error, Decimal,
    Text, Object, ObjectAsText, RefusingObject, NullObject, Unknown, NullUnknown, Array,
    ByRefI4, ByRefI2, ByRefR8, ByRefText, ByRefVariant, ByRefVariantText, ByRefNull,
};
const char* const kKindNames[] = {
    "empty", "null", "i1", "ui1", "i2", "ui2", "i4", "ui4", "i8", "ui8", "int", "uint", "r4", "r8", "currency",
    "date", "bool", "error", "decimal", "text", "object", "object-as-text", "refusing-object", "null-object",
    "unknown", "null-unknown", "array", "byref-i4", "byref-i2", "byref-r8", "byref-text", "byref-variant",
    "byref-variant-text", "byref-null",
};
constexpr int kKindCount = sizeof kKindNames / sizeof kKindNames[0];

const LONGLONG kIntegers[] = {0, 1, -1, 7, 127, 128, 255, 256, 32767, -32768, 65535, 2147483647, -2147483647 - 1,
                              4294967295ll, 4294967296ll, -4294967296ll, 9007199254740993ll};
const double kReals[] = {0.0, 0.5, 1.5, 2.5, -2.5, -0.5, 3.4999, 1e10, -1e10, 2147483647.4, 2147483647.5,
                         -2147483648.5, -2147483648.4, 1e300, 4294967295.0};
const char16_t* const kTexts[] = {u"", u"0", u"42", u" 42", u"42 ", u"-7", u"1e3", u"0x10", u"&H10", u"4294967295",
                                  u"2147483648", u"-2147483649", u"abc", u"3.5", u"2,5", u"1,000", u"true", u"+5",
                                  u"  -0  ", u"\u0661\u0662", u"&O17", u"&H1f", u",5", u"&HFFFFFFFF", u"-&H10",
                                  u"1.2,5", u"&H80000000", u"&HDEADBEEF", u"&H100000000", u"- 5"};

// Storage for one argument: what a by-reference argument points at, and the object it names.
struct Slot {
    test_args::ArgumentStorage storage{};
    ValueObject object;
    Slot() = default;
    ~Slot() { test_args::Release(storage); }
    Slot(const Slot&) = delete;
    Slot& operator=(const Slot&) = delete;
};

LONGLONG Integer(Random& r) { return r.Pick(kIntegers) * (r.Percent(20) ? -1 : 1); }

BSTR Text(Random& r)
{
    const char16_t* text = r.Pick(kTexts);
    UINT length = 0;
    while (text[length])
        ++length;
    // Now and then a text with a null inside it, which a BSTR may hold.
    if (r.Percent(5)) {
        BSTR withNull = SysAllocStringLen(nullptr, length + 2);
        if (!withNull)
            return nullptr;
        for (UINT i = 0; i < length; ++i)
            withNull[i] = static_cast<OLECHAR>(text[i]);
        withNull[length] = 0;
        withNull[length + 1] = L'9';
        return withNull;
    }
    return SysAllocStringLen(reinterpret_cast<const OLECHAR*>(text), length);
}

void AppendText(std::string& out, BSTR text)
{
    out += "'";
    for (UINT i = 0; text && i < SysStringLen(text); ++i)
        out += text[i] >= 0x20 && text[i] < 0x7F ? static_cast<char>(text[i]) : '?';
    out += "'";
}

// Fills `v` with an argument of `kind`; what it points at lives in `slot`. `text` describes it.
void MakeArgument(Random& r, Kind kind, Slot& slot, VARIANT& v, std::string& text)
{
    VariantInit(&v);
    char number[64];
    const LONGLONG integer = Integer(r);
    const double real = r.Pick(kReals) * (r.Percent(20) ? -1 : 1);
    std::snprintf(number, sizeof number, "%lld/%.17g", static_cast<long long>(integer), real);
    text += kKindNames[static_cast<int>(kind)];
    text += "(";
    text += number;
    text += ")";
    using namespace test_args;
    VARIANT made;
    switch (kind) {
    case Kind::Empty: break;
    case Kind::Null: SetNull(v); break;
    case Kind::I1: SetInteger(v, VT_I1, integer); break;
    case Kind::UI1: SetInteger(v, VT_UI1, integer); break;
    case Kind::I2: SetInteger(v, VT_I2, integer); break;
    case Kind::UI2: SetInteger(v, VT_UI2, integer); break;
    case Kind::I4: SetInteger(v, VT_I4, integer); break;
    case Kind::UI4: SetInteger(v, VT_UI4, integer); break;
    case Kind::I8: SetInteger(v, VT_I8, integer); break;
    case Kind::UI8: SetInteger(v, VT_UI8, integer); break;
    case Kind::Int: SetInteger(v, VT_INT, integer); break;
    case Kind::UInt: SetInteger(v, VT_UINT, integer); break;
    case Kind::R4: SetReal(v, VT_R4, real > 1e30 || real < -1e30 ? 1e30 : real); break;
    case Kind::R8: SetReal(v, VT_R8, real); break;
    case Kind::Currency:
        // Modulo 2^64: the product of the largest integers does not fit, and a signed overflow is undefined.
        SetInteger(v, VT_CY, static_cast<LONGLONG>(static_cast<ULONGLONG>(integer) * 5000u));
        break;
    case Kind::Date: SetReal(v, VT_DATE, real > 2e6 || real < -6e5 ? 2.5 : real); break;
    case Kind::Bool: SetInteger(v, VT_BOOL, integer & 1 ? VARIANT_TRUE : VARIANT_FALSE); break;
    case Kind::Error: SetInteger(v, VT_ERROR, DISP_E_PARAMNOTFOUND); break;
    case Kind::Decimal: {
        // Drawn in this order: the scale, then whether the high part is set.
        const BYTE scale = static_cast<BYTE>(r.Below(4));
        const ULONG high = r.Percent(10) ? 1 : 0;
        SetDecimal(v, scale, integer < 0, high,
                   integer < 0 ? 0ull - static_cast<ULONGLONG>(integer) : static_cast<ULONGLONG>(integer));
        break;
    }
    case Kind::Text: SetText(v, Text(r)); AppendText(text, v.bstrVal); break;
    case Kind::Object:
        SetObject(v, slot.object, ValueObject::Answer::Number, static_cast<LONG>(integer & 0x7FFFFFFF));
        break;
    case Kind::ObjectAsText:
        SetObject(v, slot.object, ValueObject::Answer::Text, static_cast<LONG>(integer & 0x7FFFFFFF));
        break;
    case Kind::RefusingObject: SetObject(v, slot.object, ValueObject::Answer::Refuse, 0); break;
    case Kind::NullObject: SetObject(v, nullptr); break;
    case Kind::Unknown: SetObject(v, &slot.object, VT_UNKNOWN); break;
    case Kind::NullUnknown: SetObject(v, nullptr, VT_UNKNOWN); break;
    case Kind::Array: SetArray(v, VT_I4, SafeArrayCreateVector(VT_I4, 0, 1 + r.Below(2))); break;
    case Kind::ByRefI4: SetInteger(made, VT_I4, integer); Refer(v, slot.storage, made); break;
    case Kind::ByRefI2: SetInteger(made, VT_I2, integer); Refer(v, slot.storage, made); break;
    case Kind::ByRefR8: SetReal(made, VT_R8, real); Refer(v, slot.storage, made); break;
    case Kind::ByRefText:
        SetText(made, Text(r));
        AppendText(text, made.bstrVal);
        Refer(v, slot.storage, made);
        break;
    case Kind::ByRefVariant: SetInteger(slot.storage.variant, VT_I4, integer); ReferVariant(v, slot.storage); break;
    case Kind::ByRefVariantText:
        SetText(slot.storage.variant, Text(r));
        AppendText(text, slot.storage.variant.bstrVal);
        ReferVariant(v, slot.storage);
        break;
    case Kind::ByRefNull: SetNull(made); Refer(v, slot.storage, made); break;
    }
}

struct Call {
    DISPID dispid = 0;
    WORD flags = 0;
    LCID locale = 0;
    UINT count = 0;
    UINT named = 0;
    DISPID namedIds[1] = {};
    bool withResult = false;
    bool withException = false;
    bool withArgumentError = false;
    Kind kinds[3] = {};
};

Call MakeCall(Random& r)
{
    // Mostly the calls a script engine makes: either method, as a method or a method-or-get.
    static const DISPID kMethods[] = {2, 3};
    static const DISPID kOtherDispids[] = {4, 1, 0, -1, -3};
    static const WORD kCallFlags[] = {DISPATCH_METHOD, DISPATCH_METHOD | DISPATCH_PROPERTYGET};
    static const WORD kOtherFlags[] = {DISPATCH_PROPERTYGET, DISPATCH_PROPERTYPUT, DISPATCH_PROPERTYPUTREF, 0, 0x10};
    static const LCID kLocales[] = {0, 0x409, 0x409, 0x407, 0x800};
    static const DISPID kNamedIds[] = {DISPID_PROPERTYPUT, 0, 1, 5};
    Call call;
    call.dispid = r.Percent(85) ? r.Pick(kMethods) : r.Pick(kOtherDispids);
    call.flags = r.Percent(85) ? r.Pick(kCallFlags) : r.Pick(kOtherFlags);
    call.locale = r.Pick(kLocales);
    call.count = r.Percent(75) ? 1 : static_cast<UINT>(r.Below(4));
    call.named = call.count > 0 && r.Percent(10) ? 1 : 0;
    call.namedIds[0] = r.Pick(kNamedIds);
    call.withResult = r.Percent(70);
    call.withException = r.Percent(70);
    call.withArgumentError = r.Percent(80);
    for (Kind& kind : call.kinds)
        kind = static_cast<Kind>(r.Below(kKindCount));
    return call;
}

std::string Hex(unsigned long value)
{
    char text[16];
    std::snprintf(text, sizeof text, "%08lx", value);
    return text;
}

// Which of the case's three drawn arguments a call passes: `count` of them from index `first`, the
// first `named` of those under the case's named id.
struct Passing {
    UINT first;
    UINT count;
    UINT named;
};

// What the caller's argument-error index holds before the call, and keeps unless it is written.
constexpr UINT kUntouched = 77;
// What a caller sees of a call refused before the method.
const char kNothingReached[] = "calls 0 slot 0 value 0 result 0 exception 00000000/0 reads 0 references back";

struct Outcome {
    HRESULT hr;
    UINT argErr = kUntouched;
    std::string rest;  // what reached the method, came back, and was given back
};

std::string Text(const Outcome& o, const std::string& argErr)
{
    return "hr " + Hex(static_cast<unsigned long>(static_cast<uint32_t>(o.hr))) + " " + o.rest + " argErr " + argErr;
}
std::string Text(const Outcome& o) { return Text(o, std::to_string(o.argErr)); }

// Makes the case's call, passing what `passing` says (or all it drew); `description` receives what
// was drawn.
Outcome Run(uint32_t seed, const Passing* passing, Call* drawn, std::string* description)
{
    Random r(seed);
    const Call call = MakeCall(r);
    RecordingEnabler object;
    Slot slots[3];
    VARIANT args[3];
    std::string passed = "dispid " + std::to_string(call.dispid) + " flags " + std::to_string(call.flags) +
                         " locale " + Hex(call.locale) + " count " + std::to_string(call.count) + " named " +
                         std::to_string(call.named) + "/" + std::to_string(call.namedIds[0]) + " out " +
                         (call.withResult ? "r" : "-") + (call.withException ? "e" : "-") +
                         (call.withArgumentError ? "a" : "-") + " args";
    for (UINT i = 0; i < 3; ++i) {
        passed += " ";
        MakeArgument(r, call.kinds[i], slots[i], args[i], passed);
    }
    const Passing all = {0, call.count, call.named};
    const Passing& p = passing ? *passing : all;
    DISPID namedIds[1] = {call.namedIds[0]};
    DISPPARAMS params = {p.count ? args + p.first : nullptr, p.named ? namedIds : nullptr, p.count, p.named};
    VARIANT result;
    VariantInit(&result);
    EXCEPINFO exception = {};
    Outcome o;
    o.hr = object.Invoke(call.dispid, GUID_NULL, call.locale, call.flags, &params, call.withResult ? &result : nullptr,
                         call.withException ? &exception : nullptr, call.withArgumentError ? &o.argErr : nullptr);
    o.rest = "calls " + std::to_string(object.m_nCalls) + " slot " + std::to_string(object.m_slot) + " value " +
             std::to_string(object.m_value) + " result " + std::to_string(result.vt) + " exception " +
             Hex(static_cast<unsigned long>(static_cast<uint32_t>(exception.scode))) + "/" +
             std::to_string(exception.wCode) + (exception.bstrDescription ? "/text" : "");
    SysFreeString(exception.bstrSource);
    SysFreeString(exception.bstrDescription);
    SysFreeString(exception.bstrHelpFile);
    VariantClear(&result);
    bool referencesBack = object.m_nReferences == 1;
    int reads = 0;
    for (UINT i = 0; i < 3; ++i) {
        VariantClear(&args[i]);
        referencesBack = referencesBack && slots[i].object.m_nReferences == 1;
        reads += slots[i].object.m_nReads;
    }
    o.rest += " reads " + std::to_string(reads) + (referencesBack ? " references back" : " references kept");
    if (drawn)
        *drawn = call;
    if (description)
        *description = passed;
    return o;
}

// The one parameter of either method, hWnd, and its id.
constexpr DISPID kParameterId = 0;

LeftOut Classify(const Call& call)
{
    const bool method = (call.dispid == 2 || call.dispid == 3) && (call.flags & DISPATCH_METHOD);
    if (!method)
        return LeftOut::None;
    if (call.named && call.namedIds[0] == DISPID_PROPERTYPUT)
        return LeftOut::PropertyPutId;
    if (call.named && call.namedIds[0] != kParameterId)
        return LeftOut::UnknownNamedId;
    return call.count > 1 ? LeftOut::SurplusArguments : LeftOut::None;
}

// Where a call of one argument fails, the platform documents the index of that argument; Wine
// never writes it.
UINT DocumentedArgErr(const Call& call, HRESULT hr)
{
    const bool documented = hr == DISP_E_TYPEMISMATCH || hr == DISP_E_PARAMNOTFOUND;
    return ThisPlatform() == Platform::Windows && call.withArgumentError && documented ? 0 : kUntouched;
}

// Windows refuses a left-out call before the method: surplus arguments with DISP_E_BADPARAMCOUNT,
// a named id that is not the parameter's with DISP_E_PARAMNOTFOUND and the index of that argument
// (named arguments come first).
Outcome WindowsAnswer(LeftOut kind, const Call& call)
{
    const HRESULT hr = kind == LeftOut::SurplusArguments ? DISP_E_BADPARAMCOUNT : DISP_E_PARAMNOTFOUND;
    return {hr, DocumentedArgErr(call, hr), kNothingReached};
}

// Wine gives the parameter one argument and answers as a call of that argument alone: the one named
// by the parameter's id or by DISPID_PROPERTYPUT, else the first positional one (the last in the
// array); a named id it does not know is passed over, and with it the only argument there was.
Passing WinePassing(LeftOut kind, const Call& call)
{
    if (kind == LeftOut::PropertyPutId || (kind == LeftOut::SurplusArguments && call.named))
        return {0, 1, 0};
    if (kind == LeftOut::UnknownNamedId && call.count == 1)
        return {0, 0, 0};
    return {call.count - 1, 1, 0};
}

// Runs the case; `description` receives what was passed.
InvokeTrace RunCase(uint32_t seed, std::string* description)
{
    Call call;
    const Outcome o = Run(seed, nullptr, &call, description);
    InvokeTrace trace;
    trace.leftOut = Classify(call);
    if (trace.leftOut == LeftOut::None) {
        const UINT documented = DocumentedArgErr(call, o.hr);
        trace.text = Text(o, o.argErr == documented ? "as documented"
                                                    : std::to_string(o.argErr) + ", documented " +
                                                          std::to_string(documented));
        return trace;
    }
    const bool windows = ThisPlatform() == Platform::Windows;
    const Passing passing = WinePassing(trace.leftOut, call);
    const Outcome expected = windows ? WindowsAnswer(trace.leftOut, call) : Run(seed, &passing, nullptr, nullptr);
    trace.asDocumented = Text(o) == Text(expected);
    trace.text = std::string("left out, ") + kLeftOutNames[static_cast<int>(trace.leftOut)] + "; " +
                 (windows ? "Windows" : "Wine") + " answered: " + Text(o) + "; documented: " + Text(expected) +
                 (trace.asDocumented ? "; as documented" : "; NOT as documented");
    return trace;
}

}  // namespace

InvokeTrace TraceInvoke(uint32_t seed) { return RunCase(seed, nullptr); }

std::string DescribeInvoke(uint32_t seed)
{
    std::string description;
    const InvokeTrace trace = RunCase(seed, &description);
    return description + "\n" + trace.text + "\n";
}

}  // namespace differential
