#include <string>
#include <vector>

#include "automation_fixture.h"
#include "invoke_cases.h"

namespace {

using DispatchTest = AutomationTest;

TEST_F(DispatchTest, GetTypeInfoCountStoresOneWithoutLoading)
{
    EXPECT_EQ(Dispatch()->GetTypeInfoCount(nullptr), E_POINTER);
    UINT count = 7;
    EXPECT_EQ(Dispatch()->GetTypeInfoCount(&count), S_OK);
    EXPECT_EQ(count, 1u);
    EXPECT_EQ(sim::AutomationCallCounts().loadRegTypeLib, 0);
}

TEST_F(DispatchTest, GetTypeInfoChecksTheIndexBeforeThePointer)
{
    RegisterServerLibrary();
    struct Case { const char* name; UINT index; bool pointer; HRESULT result; };
    const Case cases[] = {
        {"index 1 with a null pointer", 1, false, DISP_E_BADINDEX},
        {"index 1", 1, true, DISP_E_BADINDEX},
        {"a large index", 0xFFFFFFFFu, true, DISP_E_BADINDEX},
        {"index 0 with a null pointer", 0, false, E_POINTER},
    };
    for (const Case& c : cases) {
        // A stale value in the caller's variable, which a refused call must clear.
        ITypeInfo* typeInfo = reinterpret_cast<ITypeInfo*>(0x1);
        EXPECT_EQ(Dispatch()->GetTypeInfo(c.index, 0, c.pointer ? &typeInfo : nullptr), c.result) << c.name;
        EXPECT_EQ(typeInfo, c.pointer ? nullptr : reinterpret_cast<ITypeInfo*>(0x1)) << c.name;
    }
    EXPECT_EQ(sim::AutomationCallCounts().loadRegTypeLib, 0) << "a refused call loads nothing";
}

TEST_F(DispatchTest, GetTypeInfoHandsOutTheInterfaceWithAReference)
{
    RegisterServerLibrary();
    ITypeInfo* typeInfo = nullptr;
    ASSERT_EQ(Dispatch()->GetTypeInfo(0, 0x409, &typeInfo), S_OK);
    ASSERT_NE(typeInfo, nullptr);
    TYPEATTR* attr = nullptr;
    ASSERT_EQ(typeInfo->GetTypeAttr(&attr), S_OK);
    EXPECT_TRUE(attr->guid == IID_IVeskEnabler);
    EXPECT_EQ(attr->typekind, TKIND_DISPATCH);
    typeInfo->ReleaseTypeAttr(attr);
    // The holder keeps its own reference: the caller's release leaves the type information usable.
    typeInfo->Release();
    ITypeInfo* again = nullptr;
    ASSERT_EQ(Dispatch()->GetTypeInfo(0, 0, &again), S_OK);
    EXPECT_EQ(again, typeInfo);
    ASSERT_EQ(again->GetTypeAttr(&attr), S_OK);
    again->ReleaseTypeAttr(attr);
    again->Release();
    EXPECT_EQ(sim::LiveTypeLibraries(), 1);
    EXPECT_EQ(sim::AutomationCallCounts().loadRegTypeLib, 1);
}

TEST_F(DispatchTest, NamesGiveTheLibrarysDispids)
{
    RegisterServerLibrary();
    DISPID dispid = 0;
    EXPECT_EQ(IdOf(L"EnableVesk", &dispid), S_OK);
    EXPECT_EQ(dispid, 2);
    EXPECT_EQ(IdOf(L"MakeSure", &dispid), S_OK);
    EXPECT_EQ(dispid, 3);
}

// A toolbar in a band whose header is too narrow: a call that reaches EnableVesk or MakeSure with
// the toolbar's handle widens it; EnableVesk's first call also starts four notifications.
struct Scene {
    HWND rebar;
    HWND child;
    HWND toolbar;
};

Scene BuildScene()
{
    Scene scene{};
    scene.rebar = sim::CreateRebar();
    scene.child = sim::CreateTestWindow(scene.rebar);
    scene.toolbar = sim::CreateTestWindow(scene.child);
    sim::AddBand(scene.rebar, scene.child, 10);
    return scene;
}

enum class Arg { I4, I2, R8, R4, Text, ByRefI4, ByRefVariant, UI4, Null, Bool };

struct InvokeCase {
    const char* name;
    DISPID dispid;
    WORD flags;
    Arg kind;
    double offset;      // added to the toolbar's handle (numeric kinds)
    const char* text;   // Text kind: "%h" stands for the handle's decimal digits
    UINT count;         // number of arguments passed
    HRESULT result;
    UINT header;        // the band header afterwards
    size_t notifications;  // notifications started
};

std::u16string Widen(const std::string& text)
{
    std::u16string wide;
    for (char c : text)
        wide.push_back(static_cast<char16_t>(c));
    return wide;
}

const WORD kMethod = DISPATCH_METHOD;
const WORD kScriptCall = DISPATCH_METHOD | DISPATCH_PROPERTYGET;

const InvokeCase kInvokeCases[] = {
    {"DISPID 2 with a 32-bit integer reaches EnableVesk", 2, kMethod, Arg::I4, 0, nullptr, 1, S_OK, 32, 4},
    {"DISPID 3 with a 32-bit integer reaches MakeSure", 3, kMethod, Arg::I4, 0, nullptr, 1, S_OK, 32, 0},
    {"a script host's method-or-get call", 3, kScriptCall, Arg::I4, 0, nullptr, 1, S_OK, 32, 0},
    {"DISPID 3 with decimal text", 3, kMethod, Arg::Text, 0, "%h", 1, S_OK, 32, 0},
    {"DISPID 2 with blank-padded decimal text", 2, kMethod, Arg::Text, 0, " %h ", 1, S_OK, 32, 4},
    {"a double rounds to the nearest integer", 3, kMethod, Arg::R8, 0.4, nullptr, 1, S_OK, 32, 0},
    {"a double half-way up rounds to the even handle", 3, kMethod, Arg::R8, 0.5, nullptr, 1, S_OK, 32, 0},
    {"a double half-way down rounds to the even handle", 3, kMethod, Arg::R8, -0.5, nullptr, 1, S_OK, 32, 0},
    {"1.5 above rounds to the next even number, another window", 3, kMethod, Arg::R8, 1.5, nullptr, 1, S_OK, 10, 1},
    {"DISPID 2 with a double", 2, kMethod, Arg::R8, 0.25, nullptr, 1, S_OK, 32, 4},
    {"a float", 3, kMethod, Arg::R4, 0, nullptr, 1, S_OK, 32, 0},
    {"a 32-bit integer by reference", 3, kMethod, Arg::ByRefI4, 0, nullptr, 1, S_OK, 32, 0},
    {"a variant by reference", 3, kMethod, Arg::ByRefVariant, 0, nullptr, 1, S_OK, 32, 0},
    {"a 16-bit integer that is no window: EnableVesk misses", 2, kMethod, Arg::I2, 0, nullptr, 1, S_OK, 10, 6},
    {"true is -1, no window: MakeSure misses", 3, kMethod, Arg::Bool, 0, nullptr, 1, S_OK, 10, 1},
    {"text that is no number", 3, kMethod, Arg::Text, 0, "band", 1, DISP_E_TYPEMISMATCH, 10, 0},
    {"a double beyond 32 bits", 3, kMethod, Arg::R8, 1e12, nullptr, 1, DISP_E_OVERFLOW, 10, 0},
    {"an unsigned value above the signed range turns negative: no window", 2, kMethod, Arg::UI4, 0, nullptr, 1, S_OK, 10, 6},
    {"null", 3, kMethod, Arg::Null, 0, nullptr, 1, DISP_E_TYPEMISMATCH, 10, 0},
    {"no argument", 3, kMethod, Arg::I4, 0, nullptr, 0, DISP_E_BADPARAMCOUNT, 10, 0},
    // Wine calls the method with the extra argument; the platform's documented answer is this one.
    {"two arguments", 2, kMethod, Arg::I4, 0, nullptr, 2, DISP_E_BADPARAMCOUNT, 10, 0},
    {"DISPID 4 is no member", 4, kMethod, Arg::I4, 0, nullptr, 1, DISP_E_MEMBERNOTFOUND, 10, 0},
    {"DISPID 1 is no member", 1, kMethod, Arg::I4, 0, nullptr, 1, DISP_E_MEMBERNOTFOUND, 10, 0},
    {"a property put of a method", 3, DISPATCH_PROPERTYPUT, Arg::I4, 0, nullptr, 1, DISP_E_MEMBERNOTFOUND, 10, 0},
};

TEST_F(DispatchTest, InvokeConvertsTheArgumentAndCallsTheSlot)
{
    RegisterServerLibrary();
    for (const InvokeCase& c : kInvokeCases) {
        sim::ResetThreads();
        sim::ResetWindows();
        const Scene scene = BuildScene();
        const LONG handle = static_cast<LONG>(reinterpret_cast<LONG_PTR>(scene.toolbar));
        TestEnablerObject* object = new TestEnablerObject;
        object->AddRef();

        VARIANT args[2];
        VariantInit(&args[0]);
        VariantInit(&args[1]);
        VARIANT referenced;
        VariantInit(&referenced);
        LONG referencedValue = handle;
        VARIANT& arg = args[0];
        switch (c.kind) {
        case Arg::I4: arg.vt = VT_I4; arg.lVal = handle; break;
        case Arg::I2: arg.vt = VT_I2; arg.iVal = 5; break;
        case Arg::R8: arg.vt = VT_R8; arg.dblVal = handle + c.offset; break;
        case Arg::R4: arg.vt = VT_R4; arg.fltVal = static_cast<FLOAT>(handle); break;
        case Arg::ByRefI4: arg.vt = VT_I4 | VT_BYREF; arg.plVal = &referencedValue; break;
        case Arg::ByRefVariant:
            referenced.vt = VT_I4;
            referenced.lVal = handle;
            arg.vt = VT_VARIANT | VT_BYREF;
            arg.pvarVal = &referenced;
            break;
        case Arg::UI4: arg.vt = VT_UI4; arg.ulVal = 0x80000000u; break;
        case Arg::Null: arg.vt = VT_NULL; break;
        case Arg::Bool: arg.vt = VT_BOOL; arg.boolVal = VARIANT_TRUE; break;
        case Arg::Text: {
            std::string text = c.text;
            const size_t at = text.find("%h");
            if (at != std::string::npos)
                text.replace(at, 2, std::to_string(handle));
            const std::u16string wide = Widen(text);
            arg.vt = VT_BSTR;
            arg.bstrVal = SysAllocString(reinterpret_cast<const OLECHAR*>(wide.c_str()));
            break;
        }
        }
        args[1].vt = VT_I4;
        DISPPARAMS params = {args, nullptr, c.count, 0};
        VARIANT result;
        VariantInit(&result);
        result.vt = VT_I4;
        UINT argErr = 99;
        EXCEPINFO exception = {};
        EXPECT_EQ(object->Invoke(c.dispid, GUID_NULL, 0, c.flags, &params, &result, &exception, &argErr), c.result)
            << c.name;
        if (c.result == S_OK) {
            EXPECT_EQ(result.vt, VT_EMPTY) << c.name << ": the methods return no value";
        }
        EXPECT_EQ(argErr, c.result == DISP_E_TYPEMISMATCH ? 0u : 99u) << c.name << ": only a type mismatch names it";
        EXPECT_EQ(sim::BandHeader(scene.rebar, 0), c.header) << c.name;
        ASSERT_TRUE(sim::WaitForThreadsToSettle());
        EXPECT_EQ(sim::Timers().size(), c.notifications) << c.name;
        VariantClear(&args[0]);
        object->Release();
    }
}

TEST_F(DispatchTest, InvokeAnswersAsThePlatformDoes)
{
    RegisterServerLibrary();
    for (const invoke_cases::Case& c : invoke_cases::kCases)
        invoke_cases::Run(c, invoke_cases::kArgumentErrorDocumented);
}

TEST_F(DispatchTest, InvokeThroughTheDispatchInterfaceOfTheObject)
{
    RegisterServerLibrary();
    const Scene scene = BuildScene();
    IDispatch* dispatch = nullptr;
    ASSERT_EQ(m_pObject->QueryInterface(IID_IDispatch, reinterpret_cast<void**>(&dispatch)), S_OK);
    LPOLESTR names[] = {const_cast<LPOLESTR>(L"MakeSure")};
    DISPID dispid = 0;
    ASSERT_EQ(dispatch->GetIDsOfNames(GUID_NULL, names, 1, 0, &dispid), S_OK);
    VARIANT arg;
    VariantInit(&arg);
    arg.vt = VT_I4;
    arg.lVal = static_cast<LONG>(reinterpret_cast<LONG_PTR>(scene.toolbar));
    DISPPARAMS params = {&arg, nullptr, 1, 0};
    EXPECT_EQ(dispatch->Invoke(dispid, GUID_NULL, 0, DISPATCH_METHOD, &params, nullptr, nullptr, nullptr), S_OK);
    EXPECT_EQ(sim::BandHeader(scene.rebar, 0), 32u);
    dispatch->Release();
}

}  // namespace
