// Drives one enabler, obtained as a host obtains it (DllGetClassObject, the class object's
// CreateInstance), through a sequence of calls read from the input: QueryInterface, the four
// IDispatch slots with names and arguments of every kind a script engine produces, the two methods
// through the vtable, changes to the simulated windows and steps of the clock. It stops at the first
// answer the platform does not document for the call, at an Invoke whose answer differs from the one
// worked out from the call itself (its flags, DISPID, arguments and their kinds and values), and,
// after each input, at anything left behind: a string, an array, a reference, a description, a
// server lock, a timer, a library reference, or a notification that did not post exactly once at its
// due time. Beside the simulation it keeps its own account of the scene, from the platform's documented
// values alone: the band each call must find, the header that band must end with, and the
// notifications each call must start. The sanitizers catch everything else.
#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iterator>
#include <string>
#include <utility>
#include <vector>

#include "enabler/ivesk_enabler.h"
#include "sim/sim_control.h"
#include "server/class_object_lookup.h"
#include "server/dll_main.h"
#include "argument_variants.h"
#include "leak_snapshot.h"
#include "this_build.h"
#include "value_object.h"

namespace {

// DISPATCH_FUZZER_TRACE=1 in the environment lists each call and its answer, to read a finding.
const bool g_trace = std::getenv("DISPATCH_FUZZER_TRACE") != nullptr;

// Answers 1, so that a check can count what it checked.
int Check(bool condition, const char* what)
{
    if (!condition) {
        std::fprintf(stderr, "dispatch fuzzer: %s\n", what);
        std::abort();
    }
    return 1;
}

// --- what the platform documents each call may answer -------------------------------------------
// The codes of each method's reference page; a null out pointer may be refused with E_POINTER or
// E_INVALIDARG, as every COM method may refuse it. No input here runs short of memory, so
// E_OUTOFMEMORY is not among them, and the type library is registered, so no load failure is.
enum class Call { QueryInterface, QueryInterfaceNullOut, GetTypeInfoCount, GetTypeInfoCountNullOut, GetTypeInfo,
                  GetTypeInfoNullOut, GetIDsOfNames, Invoke, Method };

struct Documented {
    Call call;
    std::vector<HRESULT> codes;
};

const Documented kDocumented[] = {
    {Call::QueryInterface, {S_OK, E_NOINTERFACE}},
    {Call::QueryInterfaceNullOut, {E_POINTER, E_INVALIDARG}},
    {Call::GetTypeInfoCount, {S_OK}},
    {Call::GetTypeInfoCountNullOut, {E_POINTER, E_INVALIDARG}},
    {Call::GetTypeInfo, {S_OK, DISP_E_BADINDEX}},
    {Call::GetTypeInfoNullOut, {E_POINTER, E_INVALIDARG, DISP_E_BADINDEX}},
    {Call::GetIDsOfNames, {S_OK, DISP_E_UNKNOWNNAME, DISP_E_UNKNOWNLCID}},
    {Call::Invoke,
     {S_OK, DISP_E_BADPARAMCOUNT, DISP_E_BADVARTYPE, DISP_E_EXCEPTION, DISP_E_MEMBERNOTFOUND, DISP_E_NONAMEDARGS,
      DISP_E_OVERFLOW, DISP_E_PARAMNOTFOUND, DISP_E_TYPEMISMATCH, DISP_E_UNKNOWNINTERFACE, DISP_E_UNKNOWNLCID,
      DISP_E_PARAMNOTOPTIONAL}},
    // EnableVesk and MakeSure succeed whatever the window is.
    {Call::Method, {S_OK}},
};

void CheckDocumented(Call call, HRESULT result, const char* what)
{
    if (g_trace)
        std::fprintf(stderr, "  %s: 0x%08X\n", what, static_cast<unsigned>(result));
    for (const Documented& entry : kDocumented) {
        if (entry.call != call)
            continue;
        if (std::find(entry.codes.begin(), entry.codes.end(), result) != entry.codes.end())
            return;
        std::fprintf(stderr, "dispatch fuzzer: %s answered 0x%08X, which the platform does not document\n", what,
                     static_cast<unsigned>(result));
        std::abort();
    }
    Check(false, "a call without a table entry");
}

// --- the input ----------------------------------------------------------------------------------
class Input {
public:
    Input(const uint8_t* data, size_t size) : m_data(data), m_size(size) {}
    bool Empty() const { return m_size == 0; }
    uint8_t Byte()
    {
        if (m_size == 0)
            return 0;
        --m_size;
        return *m_data++;
    }
    // Little-endian, the bytes in the input's order.
    uint64_t Bytes(int count)
    {
        uint64_t value = 0;
        for (int i = 0; i < count; ++i)
            value |= static_cast<uint64_t>(Byte()) << (8 * i);
        return value;
    }
    uint16_t Word() { return static_cast<uint16_t>(Bytes(2)); }
    uint32_t Dword() { return static_cast<uint32_t>(Bytes(4)); }
    uint64_t Qword() { return Bytes(8); }
    template <class T, size_t N>
    const T& Pick(const T (&table)[N])
    {
        return table[Byte() % N];
    }

private:
    const uint8_t* m_data;
    size_t m_size;
};

// --- what an argument must become ---------------------------------------------------------------
// How the platform converts an argument to the methods' one parameter, a 32-bit integer, worked out
// from how the input made it: the number it becomes, or how it fails. Open where platforms differ
// (a NaN, a sign after a sign) or where code units at random may spell a number in some form the
// platform accepts: any of the conversion's answers will do there.
struct Conversion {
    HRESULT result;  // S_OK: it becomes `value`
    LONG value;
    bool open;
};

Conversion Becomes(LONG value) { return {S_OK, value, false}; }
Conversion Fails(HRESULT result) { return {result, 0, false}; }
const Conversion kOpen = {S_OK, 0, true};

__extension__ typedef __int128 Wide;

Conversion FromWhole(Wide whole)
{
    return whole < INT32_MIN || whole > INT32_MAX ? Fails(DISP_E_OVERFLOW) : Becomes(static_cast<LONG>(whole));
}

Wide Magnitude(Wide number) { return number < 0 ? -number : number; }

// numerator / divisor, rounded half to even, as every numeric conversion rounds.
Conversion FromQuotient(Wide numerator, Wide divisor)
{
    Wide whole = Magnitude(numerator) / divisor;
    const Wide twice = Magnitude(numerator) % divisor * 2;
    if (twice > divisor || (twice == divisor && whole % 2 != 0))
        ++whole;
    return FromWhole(numerator < 0 ? -whole : whole);
}

// std::nearbyint rounds half to even in the default rounding mode.
Conversion FromReal(double number)
{
    if (std::isnan(number))
        return kOpen;  // Windows' answer is not documented; Wine converts it
    return std::fabs(number) < 4e9 ? FromWhole(static_cast<Wide>(std::nearbyint(number))) : Fails(DISP_E_OVERFLOW);
}

// --- the simulated windows ----------------------------------------------------------------------
// A rebar of this process whose bands hold, in order, the windows of a visible toolbar, of an
// invisible one and, once an input adds that band, of a third toolbar that starts in a window of the
// rebar no band holds. Beside them, what the enabler must find there: the count the rebar reports,
// and each band's header as the calls must leave it.
struct Scene {
    HWND rebar;
    HWND holders[3];  // the windows the bands hold, each a toolbar's parent
    HWND toolbars[3];
    int bands = 2;
    LRESULT reportedCount = 3;  // what RB_GETBANDCOUNT answers, as far as it matters: every band
    UINT headers[3] = {};
};

const UINT kHeaders[] = {0, 10, 31, 32, 33, 200, 0x80000000u};

Scene BuildScene(Input& in)
{
    Scene s{};
    s.rebar = sim::CreateRebar();
    for (int i = 0; i < 3; ++i) {
        s.holders[i] = sim::CreateTestWindow(s.rebar);
        if (i < s.bands) {
            s.headers[i] = in.Pick(kHeaders);
            sim::AddBand(s.rebar, s.holders[i], s.headers[i]);
        }
        s.toolbars[i] = sim::CreateTestWindow(s.holders[i], i != 1);
    }
    return s;
}

LONG InterfaceValue(HWND window) { return static_cast<LONG>(reinterpret_cast<LONG_PTR>(window)); }

// The handle a script's 32 bits stand for: sign-extended, as the platform widens a window handle.
HWND HandleOf(LONG value) { return reinterpret_cast<HWND>(static_cast<intptr_t>(value)); }

// The band the enabler must find for `window`: that of a toolbar that shows (as the platform tells),
// among the bands the rebar reports; -1 for none.
int BandOf(const Scene& s, HWND window)
{
    for (int i = 0; i < s.bands && i < s.reportedCount; ++i)
        if (window == s.toolbars[i] && IsWindowVisible(window))
            return i;
    return -1;
}

// A window as the script holds it: one of the scene's, null, one beside a real one, or garbage.
LONG WindowValue(Input& in, const Scene& s)
{
    switch (in.Byte() % 9) {
    case 0: return InterfaceValue(s.toolbars[0]);
    case 1: return InterfaceValue(s.toolbars[2]);
    case 2: return InterfaceValue(s.toolbars[1]);
    case 3: return 0;
    case 4: return InterfaceValue(s.rebar);
    case 5: return InterfaceValue(s.holders[0]);
    case 6: return InterfaceValue(s.toolbars[0]) + static_cast<int8_t>(in.Byte());
    case 7: return InterfaceValue(s.holders[2]);
    default: return static_cast<LONG>(in.Dword());
    }
}

// Changes a script cannot make but a host does meanwhile.
void ChangeScene(Input& in, Scene& s)
{
    switch (in.Byte() % 7) {
    case 0:
        if (s.bands == 2) {
            s.headers[2] = in.Pick(kHeaders);
            sim::AddBand(s.rebar, s.holders[2], s.headers[2]);
            s.bands = 3;
        }
        break;
    case 1: sim::SetWindowVisible(s.toolbars[0], (in.Byte() & 1) != 0); break;
    case 2:
        s.headers[0] = in.Pick(kHeaders);
        sim::SetBandHeader(s.rebar, 0, s.headers[0]);
        break;
    case 3: sim::DestroyTestWindow(s.toolbars[0]); break;
    case 4: sim::SetWindowVisible(s.toolbars[1], true); break;
    case 5: {
        const LRESULT counts[] = {-1, 0, 1, 5, -2147483647 - 1};  // the rebar reports a wrong count
        s.reportedCount = in.Pick(counts);
        sim::OverrideBandCount(s.rebar, s.reportedCount);
        break;
    }
    default: {
        const DWORD steps[] = {1, 999, 1000, 2000, 5000, 10000};
        sim::AdvanceClock(in.Pick(steps));
        break;
    }
    }
}

// --- arguments ----------------------------------------------------------------------------------
// What by-reference arguments point at, and the objects arguments name; the caller owns all of it,
// as a script engine owns its variables.
using Storage = test_args::ArgumentStorage;

struct Arguments {
    VARIANT args[8];
    Storage storage[8];
    ValueObject value;
};

BSTR NumberText(Input& in, LONG number, Conversion* made)
{
    // Decimal digits, then whatever decoration the input asks for.
    OLECHAR text[96];
    size_t at = 0;
    const uint8_t form = in.Byte();
    if (form & 1)
        text[at++] = L' ';
    if (form & 2)
        text[at++] = L'+';
    const bool negative = number < 0;
    if (negative)
        text[at++] = L'-';
    if (form & 4)
        for (int i = 0; i < 40; ++i)
            text[at++] = L'0';
    for (char digit : std::to_string(static_cast<uint64_t>(Magnitude(number))))
        text[at++] = static_cast<OLECHAR>(digit);
    const OLECHAR* const tails[] = {L"", L".5", L".4999", L"e0", L"E+1", L".", L" ", L"\t"};
    const int tail = (form >> 3) % 8;
    for (const OLECHAR* unit = tails[tail]; *unit; ++unit)
        text[at++] = *unit;
    // The text's number, in ten-thousandths where it has a fraction.
    const Wide whole = Magnitude(number);
    const bool fraction = tail == 1 || tail == 2;
    const Wide scaled = fraction ? whole * 10000 + (tail == 1 ? 5000 : 4999) : tail == 4 ? whole * 10 : whole;
    const Wide divisor = fraction ? 10000 : 1;
    *made = (form & 2) && negative ? kOpen : FromQuotient(negative ? -scaled : scaled, divisor);
    return SysAllocStringLen(text, static_cast<UINT>(at));
}

// A letter that no form of number has (hexadecimal digits, exponents and the "&H" and "&O" prefixes
// do).
bool IsNoNumberLetter(OLECHAR c)
{
    const OLECHAR lower = (c >= L'A' && c <= L'Z') ? static_cast<OLECHAR>(c + 32) : c;
    return lower >= L'g' && lower <= L'z' && lower != L'h' && lower != L'o';
}

// Text of any kind: a window as a number, random code units with zeros among them, a long run, or
// nothing at all.
BSTR AnyText(Input& in, const Scene& s, Conversion* made)
{
    *made = Fails(DISP_E_TYPEMISMATCH);
    switch (in.Byte() % 5) {
    case 0: return NumberText(in, WindowValue(in, s), made);
    case 1: {
        const UINT length = in.Byte();
        std::vector<OLECHAR> units(length);
        for (OLECHAR& unit : units)
            unit = static_cast<OLECHAR>(in.Word());
        // The platform reads up to the first zero.
        bool letter = false;
        UINT end = 0;
        for (; end < length && units[end] != 0; ++end)
            letter = letter || IsNoNumberLetter(units[end]);
        if (end > 0 && !letter)
            *made = kOpen;
        return SysAllocStringLen(units.data(), length);
    }
    case 2: {
        const UINT length = 1 + in.Word() % 20000;
        const OLECHAR unit = static_cast<OLECHAR>(L"09 .e-"[in.Byte() % 6]);
        std::vector<OLECHAR> units(length, unit);
        if (unit == L'0')
            *made = Becomes(0);
        else if (unit == L'9')
            *made = length <= 9 ? Becomes(static_cast<LONG>(std::pow(10.0, length) - 1)) : Fails(DISP_E_OVERFLOW);
        return SysAllocStringLen(units.data(), length);
    }
    case 3: return SysAllocString(L"");
    default: return nullptr;  // read as empty
    }
}

void FillDecimal(Input& in, const Scene& s, DECIMAL& dec)
{
    dec = DECIMAL{};
    dec.scale = static_cast<BYTE>(in.Byte() % 29);
    dec.sign = (in.Byte() & 1) ? DECIMAL_NEG : 0;
    if (in.Byte() & 1) {
        dec.Hi32 = in.Dword();
        dec.Lo64 = in.Qword();
        return;
    }
    // The window, scaled up so that the decimal means the window's number again (when it fits).
    const LONG window = WindowValue(in, s);
    dec.sign = window < 0 ? DECIMAL_NEG : 0;
    Wide mantissa = Magnitude(window);
    for (BYTE i = 0; i < dec.scale && mantissa < (static_cast<Wide>(1) << 90); ++i)
        mantissa *= 10;
    dec.Hi32 = static_cast<ULONG>(mantissa >> 64);
    dec.Lo64 = static_cast<ULONGLONG>(mantissa);
}

double NumberNear(Input& in, const Scene& s)
{
    if (in.Byte() & 1) {
        const uint64_t bits = in.Qword();
        double any = 0;
        std::memcpy(&any, &bits, sizeof any);
        return any;
    }
    return WindowValue(in, s) + static_cast<int8_t>(in.Byte()) / 64.0;
}

// Kinds a value can have; by reference and in arrays the same kinds appear again.
enum Kind : uint8_t {
    kI1, kUI1, kI2, kUI2, kI4, kUI4, kInt, kUInt, kI8, kUI8, kR4, kR8, kDate, kCy, kDecimal, kBool, kError,
    kEmpty, kNull, kText, kObject, kUnknown, kKindCount
};

// An object converts through its default value, which it answers as a number or as the number's
// text, or refuses; a null one is no value at all. Passed as IUnknown alone, it does not convert.
Conversion MakeObject(Input& in, const Scene& s, ValueObject& value, bool unknown, VARIANT& v)
{
    if (in.Byte() % 4 == 0) {
        test_args::SetObject(v, nullptr, unknown ? VT_UNKNOWN : VT_DISPATCH);
        return Fails(unknown ? DISP_E_TYPEMISMATCH : DISP_E_BADVARTYPE);
    }
    const ValueObject::Answer answers[] = {ValueObject::Answer::Number, ValueObject::Answer::Text,
                                           ValueObject::Answer::Refuse};
    const ValueObject::Answer answer = in.Pick(answers);
    const LONG number = WindowValue(in, s);
    value.m_answer = answer;
    value.m_value = number;
    test_args::SetObject(v, &value, unknown ? VT_UNKNOWN : VT_DISPATCH);
    if (unknown)
        return Fails(DISP_E_TYPEMISMATCH);
    return answer == ValueObject::Answer::Refuse ? Fails(DISP_E_TYPEMISMATCH) : Becomes(number);
}

// Makes `v` a value of `kind` that owns what it holds (strings, references), as VariantClear expects;
// answers what it converts to. Integers keep their bits where they fit (a boolean too, true being -1),
// unsigned 32 bits included; an error code, a null and an interface other than IDispatch do not
// convert.
Conversion MakeValue(Input& in, const Scene& s, ValueObject& value, Kind kind, VARIANT& v)
{
    using namespace test_args;
    VariantInit(&v);
    switch (kind) {
    case kI1: SetInteger(v, VT_I1, in.Byte()); return Becomes(static_cast<int8_t>(v.cVal));
    case kUI1: SetInteger(v, VT_UI1, in.Byte()); return Becomes(v.bVal);
    case kI2: SetInteger(v, VT_I2, WindowValue(in, s)); return Becomes(v.iVal);
    case kUI2: SetInteger(v, VT_UI2, WindowValue(in, s)); return Becomes(v.uiVal);
    case kI4: SetInteger(v, VT_I4, WindowValue(in, s)); return Becomes(v.lVal);
    case kUI4: SetInteger(v, VT_UI4, WindowValue(in, s)); return Becomes(static_cast<LONG>(v.ulVal));
    case kInt: SetInteger(v, VT_INT, WindowValue(in, s)); return Becomes(v.intVal);
    case kUInt: SetInteger(v, VT_UINT, WindowValue(in, s)); return Becomes(static_cast<LONG>(v.uintVal));
    case kI8:
        SetInteger(v, VT_I8, (in.Byte() & 1) ? static_cast<LONGLONG>(in.Qword()) : WindowValue(in, s));
        return FromWhole(v.llVal);
    case kUI8:
        SetInteger(v, VT_UI8, static_cast<LONGLONG>((in.Byte() & 1) ? in.Qword() : static_cast<ULONG>(WindowValue(in, s))));
        return FromWhole(v.ullVal);
    case kR4: {
        // Any bits, a NaN's payload included, or a window's number.
        const uint32_t bits = in.Dword();
        FLOAT real;
        std::memcpy(&real, &bits, sizeof bits);
        if (bits & 1)
            real = static_cast<FLOAT>(WindowValue(in, s));
        SetFloat(v, real);
        return FromReal(v.fltVal);
    }
    case kR8: SetReal(v, VT_R8, NumberNear(in, s)); return FromReal(v.dblVal);
    case kDate: SetReal(v, VT_DATE, NumberNear(in, s)); return FromReal(v.date);
    case kCy: {
        LONGLONG units;
        if (in.Byte() & 1) {
            units = static_cast<LONGLONG>(in.Qword());
        } else {
            // The window first, then the fraction, as the input holds them.
            const LONG window = WindowValue(in, s);
            units = window * 10000LL + static_cast<int16_t>(in.Word()) % 10000;
        }
        SetInteger(v, VT_CY, units);
        return FromQuotient(units, 10000);
    }
    case kDecimal: {
        DECIMAL dec;
        FillDecimal(in, s, dec);
        SetDecimal(v, dec.scale, dec.sign == DECIMAL_NEG, dec.Hi32, dec.Lo64);
        Wide divisor = 1;
        for (BYTE i = 0; i < v.decVal.scale; ++i)
            divisor *= 10;
        const Wide mantissa = static_cast<Wide>(v.decVal.Hi32) << 64 | v.decVal.Lo64;
        return FromQuotient(v.decVal.sign == DECIMAL_NEG ? -mantissa : mantissa, divisor);
    }
    case kBool: {
        const VARIANT_BOOL values[] = {VARIANT_TRUE, VARIANT_FALSE, 1, static_cast<VARIANT_BOOL>(0x8000)};
        SetInteger(v, VT_BOOL, in.Pick(values));
        return Becomes(v.boolVal);
    }
    case kError:
        SetInteger(v, VT_ERROR, (in.Byte() & 1) ? DISP_E_PARAMNOTFOUND : static_cast<SCODE>(in.Dword()));
        return Fails(DISP_E_TYPEMISMATCH);
    case kEmpty: return Becomes(0);
    case kNull: SetNull(v); return Fails(DISP_E_TYPEMISMATCH);
    case kText: {
        Conversion made;
        SetText(v, AnyText(in, s, &made));
        return made;
    }
    case kObject: return MakeObject(in, s, value, false, v);
    default: return MakeObject(in, s, value, true, v);
    }
}

// Fills `slot` (storage the caller owns) with a value of `kind` and points `v` at it; the reference
// converts as the value does, but an empty or a null one is no valid type.
Conversion MakeReference(Input& in, const Scene& s, ValueObject& value, Kind kind, Storage& slot, VARIANT& v)
{
    VARIANT made;
    const Conversion conversion = MakeValue(in, s, value, kind, made);
    test_args::Refer(v, slot, made);
    return kind == kEmpty || kind == kNull ? Fails(DISP_E_BADVARTYPE) : conversion;
}

// An array, by value or by reference, never converts to a number.
Conversion MakeArray(Input& in, const Scene& s, ValueObject& value, Storage& slot, VARIANT& v)
{
    const VARTYPE types[] = {VT_I4, VT_BSTR, VT_VARIANT, VT_R8, VT_DISPATCH};
    const VARTYPE type = in.Pick(types);
    const ULONG count = in.Byte() % 4;
    SAFEARRAY* array = SafeArrayCreateVector(type, static_cast<LONG>(in.Byte() % 3), count);
    Check(array != nullptr, "an array could not be made");
    void* data = nullptr;
    Check(SafeArrayAccessData(array, &data) == S_OK, "an array could not be filled");
    for (ULONG i = 0; i < count; ++i) {
        VARIANT element;
        switch (type) {
        case VT_I4: static_cast<LONG*>(data)[i] = WindowValue(in, s); break;
        case VT_BSTR: {
            Conversion unused;
            static_cast<BSTR*>(data)[i] = AnyText(in, s, &unused);
            break;
        }
        case VT_VARIANT: MakeValue(in, s, value, static_cast<Kind>(in.Byte() % kKindCount), static_cast<VARIANT*>(data)[i]); break;
        case VT_R8: static_cast<double*>(data)[i] = NumberNear(in, s); break;
        default:
            MakeValue(in, s, value, kObject, element);
            static_cast<IDispatch**>(data)[i] = element.pdispVal;
            break;
        }
    }
    SafeArrayUnaccessData(array);
    VARIANT made;
    test_args::SetArray(made, type, array);
    if (in.Byte() & 1)
        v = made;
    else
        test_args::Refer(v, slot, made);
    return Fails(DISP_E_TYPEMISMATCH);
}

// One argument of any kind: a value, a reference to a value or to a variant, or an array.
Conversion MakeArgument(Input& in, const Scene& s, ValueObject& value, Storage& slot, VARIANT& v)
{
    const uint8_t shape = in.Byte();
    const Kind kind = static_cast<Kind>(in.Byte() % kKindCount);
    switch (shape % 8) {
    case 0: return MakeReference(in, s, value, kind, slot, v);
    case 1: {
        const Conversion conversion = MakeValue(in, s, value, kind, slot.variant);
        test_args::ReferVariant(v, slot);
        return conversion;
    }
    case 2: return MakeArray(in, s, value, slot, v);
    default: return MakeValue(in, s, value, kind, v);
    }
}

// --- the calls ----------------------------------------------------------------------------------
struct Run {
    IDispatch* object;
    IVeskEnabler* enabler;  // the same object through its own interface, borrowed
    IUnknown* identity;
    Scene scene;
    bool enabled = false;       // EnableVesk was reached
    int missesInARow = 0;       // of MakeSure, since a call last found the band
    int widenings = 0;          // headers the calls must have widened
    int notifications[4] = {};  // those the calls must have started, after 1, 2, 5 and 10 s
};

// A method was reached with the window its argument converts to (`open`: not known; the window it
// asks about first stands for it). It asks first about that window, sign-extended, or about none
// when it is null; and it acts on the scene as the oracle expects: a narrow header of the toolbar's
// band becomes 32 pixels; a miss of EnableVesk starts a 1- and a 2-second notification, one of
// MakeSure a 1-second one until nine in a row; the first EnableVesk starts four of its own.
void Reached(Run& run, bool enable, LONG value, bool open, size_t callsBefore)
{
    const std::vector<sim::WindowCall> calls = sim::WindowCalls();
    const HWND asked = calls.size() > callsBefore ? calls[callsBefore].hwnd : nullptr;
    Check(open || ((calls.size() > callsBefore) == (value != 0) && asked == HandleOf(value)),
          "the method was given another window than its argument converts to");
    Scene& s = run.scene;
    const int band = BandOf(s, asked);
    if (band >= 0) {
        run.widenings += s.headers[band] < 32 ? 1 : 0;
        s.headers[band] = std::max(s.headers[band], 32u);
        run.missesInARow = 0;
    } else {
        run.notifications[0] += enable || ++run.missesInARow <= 9 ? 1 : 0;
        run.notifications[1] += enable ? 1 : 0;
    }
    if (enable && !std::exchange(run.enabled, true))
        for (int& count : run.notifications)
            ++count;
}

void CallQueryInterface(Input& in, Run& run)
{
    IID iid = GUID_NULL;
    bool known = true;
    switch (in.Byte() % 8) {
    case 0: iid = IID_IUnknown; break;
    case 1: iid = IID_IDispatch; break;
    case 2: iid = IID_IVeskEnabler; break;
    case 3: iid = IID_IClassFactory; known = false; break;
    case 4: iid = IID_ITypeInfo; known = false; break;
    case 5:
        // One bit away from the enabler's interface.
        iid = IID_IVeskEnabler;
        reinterpret_cast<BYTE*>(&iid)[in.Byte() % sizeof iid] ^= static_cast<BYTE>(1u << (in.Byte() % 8));
        known = false;
        break;
    default:
        for (size_t i = 0; i < sizeof iid; ++i)
            reinterpret_cast<BYTE*>(&iid)[i] = in.Byte();
        known = iid == IID_IUnknown || iid == IID_IDispatch || iid == IID_IVeskEnabler;
        break;
    }
    if (in.Byte() % 8 == 0) {
        CheckDocumented(Call::QueryInterfaceNullOut, run.object->QueryInterface(iid, nullptr), "QueryInterface(null)");
        return;
    }
    void* out = reinterpret_cast<void*>(0x1);
    const HRESULT hr = run.object->QueryInterface(iid, &out);
    CheckDocumented(Call::QueryInterface, hr, "QueryInterface");
    Check((hr == S_OK) == known, "QueryInterface answers exactly the enabler's three interfaces");
    Check(hr == S_OK ? out != nullptr : out == nullptr,
          "QueryInterface hands out an interface exactly when it succeeds");
    if (hr != S_OK)
        return;
    if (iid == IID_IUnknown)
        Check(out == run.identity, "IUnknown is the object's one identity");
    static_cast<IUnknown*>(out)->Release();
}

void CallGetTypeInfoCount(Input& in, Run& run)
{
    if (in.Byte() % 4 == 0) {
        CheckDocumented(Call::GetTypeInfoCountNullOut, run.object->GetTypeInfoCount(nullptr), "GetTypeInfoCount(null)");
        return;
    }
    UINT count = 7;
    CheckDocumented(Call::GetTypeInfoCount, run.object->GetTypeInfoCount(&count), "GetTypeInfoCount");
    Check(count == 1, "the enabler offers one type information");
}

const LCID kLocales[] = {0, 0x409, 0x407, 0x400, 0x800, 0x411};

LCID AnyLocale(Input& in) { return (in.Byte() & 1) ? in.Dword() : in.Pick(kLocales); }

void CallGetTypeInfo(Input& in, Run& run)
{
    const UINT indexes[] = {0, 0, 1, 0xFFFFFFFFu};
    const UINT index = (in.Byte() % 8 == 0) ? in.Dword() : in.Pick(indexes);
    const LCID lcid = AnyLocale(in);
    if (in.Byte() % 4 == 0) {
        CheckDocumented(Call::GetTypeInfoNullOut, run.object->GetTypeInfo(index, lcid, nullptr), "GetTypeInfo(null)");
        return;
    }
    ITypeInfo* typeInfo = reinterpret_cast<ITypeInfo*>(0x1);
    const HRESULT hr = run.object->GetTypeInfo(index, lcid, &typeInfo);
    CheckDocumented(Call::GetTypeInfo, hr, "GetTypeInfo");
    Check((hr == S_OK) == (index == 0), "only index 0 names a type information");
    Check(hr == S_OK ? typeInfo != nullptr : typeInfo == nullptr,
          "GetTypeInfo hands out an interface exactly when it succeeds");
    if (hr != S_OK)
        return;
    TYPEATTR* attributes = nullptr;
    Check(typeInfo->GetTypeAttr(&attributes) == S_OK && attributes, "the type information describes itself");
    Check(attributes->guid == IID_IVeskEnabler, "the type information is the enabler's interface");
    typeInfo->ReleaseTypeAttr(attributes);
    typeInfo->Release();
}

// The members of the interface's dispatch view and their DISPIDs, as the type library declares them,
// with the one parameter name of the two methods.
struct Member {
    const char* name;
    DISPID dispid;
    bool hasWindowParameter;
};
const Member kMembers[] = {
    {"QueryInterface", 0x60000000, false}, {"AddRef", 0x60000001, false},
    {"Release", 0x60000002, false},        {"GetTypeInfoCount", 0x60010000, false},
    {"GetTypeInfo", 0x60010001, false},    {"GetIDsOfNames", 0x60010002, false},
    {"Invoke", 0x60010003, false},         {"EnableVesk", 2, true},
    {"MakeSure", 3, true},
};
const char kParameterName[] = "hWnd";

OLECHAR FoldAscii(OLECHAR c) { return (c >= L'A' && c <= L'Z') ? static_cast<OLECHAR>(c - L'A' + L'a') : c; }

bool SameName(const std::vector<OLECHAR>& name, const char* expected)
{
    size_t i = 0;
    for (; expected[i]; ++i)
        if (i >= name.size() || FoldAscii(name[i]) != FoldAscii(static_cast<OLECHAR>(expected[i])))
            return false;
    // The name ends at its first zero, as the platform reads it.
    return i == name.size() || name[i] == 0;
}

std::vector<OLECHAR> AnyName(Input& in)
{
    std::vector<OLECHAR> name;
    const uint8_t form = in.Byte();
    switch (form % 5) {
    case 0:
    case 1: {
        // A member's or the parameter's name, each letter in either case.
        const char* source = (form % 5 == 1 && (in.Byte() & 1)) ? kParameterName : in.Pick(kMembers).name;
        // Every unit of these names is a letter, whose case is its bit 5.
        for (const char* c = source; *c; ++c)
            name.push_back(static_cast<OLECHAR>((in.Byte() & 1) ? *c ^ 0x20 : *c));
        if (form & 0x80)
            name.push_back(static_cast<OLECHAR>(in.Word()));  // one unit too many
        break;
    }
    case 2: break;  // empty
    case 3: name.assign(1 + in.Word() % 20000, static_cast<OLECHAR>(L'A' + in.Byte() % 26)); break;
    default:
        for (uint8_t length = in.Byte() % 24; length > 0; --length)
            name.push_back(static_cast<OLECHAR>(in.Word()));
        break;
    }
    name.push_back(0);
    return name;
}

// IDispatch reserves its interface identifier (IID_NULL); the enabler does not look at it, so a call
// with another answers as one with IID_NULL.
const IID* const kReservedIids[] = {&GUID_NULL, &IID_IVeskEnabler, &IID_IDispatch, &IID_IUnknown};

void CallGetIDsOfNames(Input& in, Run& run)
{
    const uint8_t countAndIid = in.Byte();
    const UINT count = 1 + countAndIid % 4;
    std::vector<std::vector<OLECHAR>> names(count);
    std::vector<LPOLESTR> pointers;
    for (auto& name : names) {
        name = AnyName(in);
        pointers.push_back(name.data());
    }
    std::vector<DISPID> ids(count, 12345);
    const HRESULT hr = run.object->GetIDsOfNames(*kReservedIids[(countAndIid >> 2) % 4], pointers.data(), count,
                                                 AnyLocale(in), ids.data());
    CheckDocumented(Call::GetIDsOfNames, hr, "GetIDsOfNames");

    // The first name is a member; the others are that member's parameter names.
    const Member* member = nullptr;
    for (const Member& m : kMembers)
        if (SameName(names[0], m.name))
            member = &m;
    bool allKnown = member != nullptr;
    Check(ids[0] == (member ? member->dispid : DISPID_UNKNOWN), "GetIDsOfNames gives the member's DISPID");
    for (UINT i = 1; i < count; ++i) {
        const bool parameter = member && member->hasWindowParameter && SameName(names[i], kParameterName);
        if (member)
            Check(ids[i] == (parameter ? 0 : DISPID_UNKNOWN), "GetIDsOfNames gives the parameter's DISPID");
        allKnown = allKnown && parameter;
    }
    Check((hr == S_OK) == allKnown, "GetIDsOfNames succeeds exactly when every name is known");
}

const DISPID kDispids[] = {2, 3, 2, 3, DISPID_VALUE, DISPID_UNKNOWN, DISPID_PROPERTYPUT, 1, 4, 0x60000000, 0x60010003};
const WORD kFlags[] = {DISPATCH_METHOD, DISPATCH_METHOD | DISPATCH_PROPERTYGET, DISPATCH_PROPERTYGET,
                       DISPATCH_PROPERTYPUT, DISPATCH_PROPERTYPUTREF, 0};

constexpr UINT kUntouched = 0xFFFFFFFFu;

// What Invoke must answer, worked out from the call alone, in the order the type information
// checks: only DISPIDs 2 and 3 are methods, reached only with DISPATCH_METHOD; each named argument
// must be their one parameter (id 0), else the first that is not is named in puArgErr; they take
// exactly one argument; and that must convert (a type mismatch names it in puArgErr too).
Conversion ExpectedAnswer(DISPID dispid, WORD flags, UINT argCount, bool namesNoParameter,
                          const Conversion& argument)
{
    if ((dispid != 2 && dispid != 3) || !(flags & DISPATCH_METHOD))
        return Fails(DISP_E_MEMBERNOTFOUND);
    if (namesNoParameter)
        return Fails(DISP_E_PARAMNOTFOUND);
    return argCount == 1 ? argument : Fails(DISP_E_BADPARAMCOUNT);
}

void CallInvoke(Input& in, Run& run)
{
    const DISPID dispid = (in.Byte() % 8 == 0) ? static_cast<DISPID>(in.Dword()) : in.Pick(kDispids);
    const WORD flags = (in.Byte() % 8 == 0) ? in.Word() : in.Pick(kFlags);
    const LCID lcid = AnyLocale(in);
    const uint8_t shape = in.Byte();
    const UINT argCount = (shape & 3) == 0 ? (shape >> 2) % 9 : 1;
    const UINT namedCount = (shape & 0x40) ? (argCount ? 1 + in.Byte() % argCount : 0) : 0;

    Arguments arguments{};
    Conversion first = kOpen;
    for (UINT i = 0; i < argCount; ++i) {
        const Conversion made = MakeArgument(in, run.scene, arguments.value, arguments.storage[i], arguments.args[i]);
        if (i == 0)
            first = made;
    }
    DISPID named[8];
    const DISPID namedIds[] = {0, 0, DISPID_PROPERTYPUT, 1, -1};
    for (UINT i = 0; i < namedCount; ++i)
        named[i] = (in.Byte() % 8 == 0) ? static_cast<DISPID>(in.Dword()) : in.Pick(namedIds);
    DISPPARAMS params = {argCount ? arguments.args : nullptr, namedCount ? named : nullptr, argCount, namedCount};
    const DISPID* const notParameter =
        std::find_if(named, named + namedCount, [](DISPID id) { return id != 0; });
    const UINT badName = static_cast<UINT>(notParameter - named);
    const Conversion expected =
        ExpectedAnswer(dispid, flags, argCount, badName < namedCount, first);

    const uint8_t outputs = in.Byte();
    VARIANT result;
    VariantInit(&result);
    if (outputs & 8) {
        result.vt = VT_I4;  // a stale value the callee must replace, holding nothing
        result.lVal = 77;
    }
    // The callee fills the exception record only when it answers DISP_E_EXCEPTION.
    EXCEPINFO exception = {};
    exception.wCode = 0x5EE;
    exception.dwHelpContext = 77;
    exception.scode = E_UNEXPECTED;
    EXCEPINFO exceptionBefore;
    std::memcpy(&exceptionBefore, &exception, sizeof exception);
    UINT argErr = kUntouched;

    // The arguments are the caller's: the call reads them and changes nothing in them.
    VARIANT argsBefore[8];
    Storage storageBefore[8];
    std::memcpy(argsBefore, arguments.args, sizeof argsBefore);
    std::memcpy(storageBefore, arguments.storage, sizeof storageBefore);
    const LONG valueReferences = arguments.value.m_nReferences;
    const size_t windowCallsBefore = sim::WindowCalls().size();

    const HRESULT hr =
        run.object->Invoke(dispid, *kReservedIids[(outputs >> 4) % 4], lcid, flags, &params,
                           (outputs & 1) ? &result : nullptr, (outputs & 2) ? &exception : nullptr,
                           (outputs & 4) ? &argErr : nullptr);
    CheckDocumented(Call::Invoke, hr, "Invoke");
    if (expected.open) {
        Check(hr == S_OK || hr == DISP_E_TYPEMISMATCH || hr == DISP_E_OVERFLOW,
              "Invoke answered other than a conversion of its argument may");
    } else if (hr != expected.result) {
        std::fprintf(stderr, "dispatch fuzzer: Invoke of DISPID %d, flags 0x%X, %u arguments (%u named) answered "
                     "0x%08X where the call itself says 0x%08X\n", static_cast<int>(dispid), flags, argCount,
                     namedCount, static_cast<unsigned>(hr), static_cast<unsigned>(expected.result));
        std::abort();
    }
    Check(std::memcmp(argsBefore, arguments.args, sizeof argsBefore) == 0, "Invoke changed its arguments");
    Check(std::memcmp(storageBefore, arguments.storage, sizeof storageBefore) == 0,
          "Invoke wrote through a reference to an input");
    Check(arguments.value.m_nReferences == valueReferences, "Invoke kept or dropped a reference of an argument");
    Check(hr == DISP_E_EXCEPTION || std::memcmp(&exception, &exceptionBefore, sizeof exception) == 0,
          "Invoke wrote the exception record without answering DISP_E_EXCEPTION");
    // A type mismatch can only be that of the one argument.
    if (outputs & 4)
        Check(argErr == (hr == DISP_E_PARAMNOTFOUND  ? badName
                         : hr == DISP_E_TYPEMISMATCH ? 0
                                                     : kUntouched),
              "puArgErr names other than the failed argument, or was written without one");
    if (hr != S_OK) {
        Check(sim::WindowCalls().size() == windowCallsBefore, "a failed Invoke reached a method");
    } else {
        Check(dispid == 2 || dispid == 3, "Invoke succeeded for a member that is no method");
        Check((outputs & 1) == 0 || result.vt == VT_EMPTY, "the methods return no value");
        Reached(run, dispid == 2, expected.value, expected.open, windowCallsBefore);
    }
    if (hr == DISP_E_EXCEPTION && (outputs & 2)) {
        SysFreeString(exception.bstrSource);
        SysFreeString(exception.bstrDescription);
        SysFreeString(exception.bstrHelpFile);
    }
    VariantClear(&result);
    for (UINT i = 0; i < argCount; ++i) {
        VariantClear(&arguments.args[i]);
        test_args::Release(arguments.storage[i]);
    }
    Check(arguments.value.m_nReferences == 1, "an argument's object kept a reference");
}

void CallMethod(Input& in, Run& run)
{
    IVeskEnabler* enabler = run.enabler;
    const bool enable = in.Byte() & 1;
    const LONG window = WindowValue(in, run.scene);
    const size_t callsBefore = sim::WindowCalls().size();
    CheckDocumented(Call::Method, enable ? enabler->EnableVesk(window) : enabler->MakeSure(window),
                    enable ? "EnableVesk" : "MakeSure");
    Reached(run, enable, window, false, callsBefore);
}

void RunCalls(Input& in, Run& run)
{
    for (int calls = 0; calls < 64 && !in.Empty(); ++calls) {
        switch (in.Byte() % 8) {
        case 0: CallQueryInterface(in, run); break;
        case 1: CallGetTypeInfoCount(in, run); break;
        case 2: CallGetTypeInfo(in, run); break;
        case 3: CallGetIDsOfNames(in, run); break;
        case 4: CallMethod(in, run); break;
        case 5: ChangeScene(in, run.scene); break;
        default: CallInvoke(in, run); break;
        }
    }
}

// --- after the input ----------------------------------------------------------------------------
// Every notification scheduled was a timer that fired once, at its due time, and closed itself; it
// posted message 3037 to its window then, and nothing else was posted; and each delay had exactly the
// notifications the calls called for.
void CheckNotifications(const Run& run)
{
    const std::vector<sim::TimerRecord> timers = sim::Timers();
    std::vector<sim::PostedMessage> posted = sim::AllPostedMessages();
    int byDelay[4] = {0, 0, 0, 0};
    for (const sim::TimerRecord& timer : timers) {
        Check(timer.firings == 1 && timer.closes == 1 && timer.armings == 1 && timer.usesAfterClose == 0,
              "a notification's timer did not fire once and close once");
        const DWORD delays[] = {1000, 2000, 5000, 10000};
        const DWORD* const delay = std::find(std::begin(delays), std::end(delays), timer.firstDelay);
        Check(delay != std::end(delays), "a notification with a delay the enabler never uses");
        ++byDelay[delay - delays];
        const HWND window = static_cast<HWND>(timer.context);
        const auto due = std::find_if(posted.begin(), posted.end(), [&](const sim::PostedMessage& m) {
            return m.hwnd == window && m.time == timer.firstDueAt && m.message == WM_USER + 2013 &&
                   m.wParam == 0 && m.lParam == 0;
        });
        const bool found = due != posted.end();
        if (found)
            posted.erase(due);
        // A post to a window that is gone (or never was) fails and leaves no message.
        Check(found || (window && !IsWindow(window)),
              "a notification fired without posting message 3037 at its due time");
    }
    Check(posted.empty(), "a message was posted that no notification accounts for");
    if (g_trace)
        std::fprintf(stderr, "  notifications after 1, 2, 5, 10 s: %d %d %d %d, called for: %d %d %d %d\n", byDelay[0],
                     byDelay[1], byDelay[2], byDelay[3], run.notifications[0], run.notifications[1],
                     run.notifications[2], run.notifications[3]);
    Check(std::equal(std::begin(byDelay), std::end(byDelay), run.notifications),
          "the notifications after some delay are not those the calls called for");
    Check(sim::LiveThreadpoolTimers() == 0, "a timer was left alive");
    Check(sim::LibraryReferences() == 1, "a notification kept its reference on the library");
}

// Band messages went to the toolbars' rebar only, each with the record up to the header (80 bytes, 108
// in 64 bits); a header was written only to become 32, once for each narrow one found; and every band
// ended with the header the calls left it at.
void CheckBandMessages(const Run& run)
{
    for (const sim::WindowCall& call : sim::WindowCalls())
        if (std::strcmp(call.function, "SendMessageW") == 0)
            Check(call.hwnd == run.scene.rebar, "a band message went to a window that is no rebar of the toolbar");
    int writes = 0;
    for (const sim::RebarMessage& m : sim::RebarMessages(run.scene.rebar)) {
        if (m.message == RB_GETBANDINFOW)
            Check(m.cbSize == vesk_test::kBandRecordBytes && m.fMask == (RBBIM_CHILD | RBBIM_HEADERSIZE),
                  "a band read of another shape");
        else if (m.message == RB_SETBANDINFOW)
            writes += Check(m.cbSize == vesk_test::kBandRecordBytes && m.fMask == RBBIM_HEADERSIZE && m.cxHeader == 32,
                            "a band write other than the header to 32 pixels");
        else
            Check(m.message == RB_GETBANDCOUNT, "a band message the enabler does not send");
    }
    Check(writes == run.widenings, "a narrow header of the toolbar's band was not widened once each time it was found");
    for (int i = 0; i < run.scene.bands; ++i)
        Check(sim::BandHeader(run.scene.rebar, i) == run.scene.headers[i], "a header is not what the calls left");
}

// An interface the enabler must answer, its reference given back at once: the caller holds one.
template <class T>
T* Borrow(IUnknown* object, REFIID iid, const char* what)
{
    void* out = nullptr;
    Check(object->QueryInterface(iid, &out) == S_OK, what);
    static_cast<IUnknown*>(out)->Release();
    return static_cast<T*>(out);
}

bool PrepareOnce()
{
    sim::ResetAutomation();
    sim::ResetModules();
    // The library's own file holds the type library; it is registered there, as registration does.
    const std::u16string path = sim::ModuleFileName(sim::LibraryModule());
    ITypeLib* library = nullptr;
    if (FAILED(LoadTypeLib(reinterpret_cast<LPCOLESTR>(path.c_str()), &library)))
        return false;
    const HRESULT registered = RegisterTypeLib(library, const_cast<OLECHAR*>(reinterpret_cast<LPCOLESTR>(path.c_str())),
                                               nullptr);
    library->Release();
    return SUCCEEDED(registered);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static const bool prepared = PrepareOnce();
    Check(prepared, "the type library could not be registered");
    if (size > 16 * 1024)
        return 0;
    Input in(data, size);
    sim::ResetThreads();
    sim::ResetWindows();
    const LeakSnapshot before;
    Check(DllMain(sim::LibraryModule(), DLL_PROCESS_ATTACH, nullptr) != FALSE, "the library did not attach");
    {
        Run run{};
        run.scene = BuildScene(in);
        void* factory = nullptr;
        Check(DllGetClassObject(CLSID_VeskEnabler, IID_IClassFactory, &factory) == S_OK, "no class object");
        const IID asked[] = {IID_IUnknown, IID_IDispatch, IID_IVeskEnabler};
        void* created = nullptr;
        Check(static_cast<IClassFactory*>(factory)->CreateInstance(nullptr, in.Pick(asked), &created) == S_OK,
              "the class object made no enabler");
        static_cast<IClassFactory*>(factory)->Release();
        // The reference CreateInstance handed out is the run's one reference.
        IUnknown* unknown = static_cast<IUnknown*>(created);
        run.object = Borrow<IDispatch>(unknown, IID_IDispatch, "the enabler is no IDispatch");
        run.identity = Borrow<IUnknown>(run.object, IID_IUnknown, "the enabler has no identity");
        run.enabler =
            Borrow<IVeskEnabler>(run.object, IID_IVeskEnabler, "the enabler is no IVeskEnabler");

        RunCalls(in, run);

        // Ours is the one reference left: AddRef answers 2.
        Check(run.object->AddRef() == 2, "a call kept or dropped a reference on the enabler");
        run.object->Release();
        run.object->Release();
        Check(DllCanUnloadNow() == S_OK, "the released enabler still locks the server");

        // Past the longest delay, so every notification has fired.
        sim::AdvanceClock(20000);
        CheckNotifications(run);
        CheckBandMessages(run);
    }
    sim::ResetThreads();
    sim::ResetWindows();
    DllMain(sim::LibraryModule(), DLL_PROCESS_DETACH, nullptr);
    Check(sim::LiveTypeLibraries() == 0 && sim::OutstandingDescriptions() == 0,
          "a type library or a description outlived the library");
    const std::string left = LeakSnapshot().Differences(before);
    if (!left.empty()) {
        std::fprintf(stderr, "dispatch fuzzer: left behind: %s\n", left.c_str());
        std::abort();
    }
    return 0;
}
