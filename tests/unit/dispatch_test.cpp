#include "automation_fixture.h"
#include "hosted_toolbar.h"
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
// The rows that name a band: the enabler itself is called with the toolbar's handle.
TEST_F(DispatchTest, InvokeConvertsTheArgumentAndCallsTheSlot)
{
    RegisterServerLibrary();
    for (const invoke_cases::Case& c : invoke_cases::kCases) {
        if (c.band.header == 0)
            continue;
        sim::ResetThreads();
        sim::ResetWindows();
        const HostedToolbar scene = MakeHostedToolbar(10);
        const LONG handle = AsInterfaceValue(scene.toolbar);
        TestEnablerObject* object = new TestEnablerObject;
        object->AddRef();
        invoke_cases::RowArguments arguments(c, handle);
        VARIANT result;
        VariantInit(&result);
        result.vt = VT_I4;
        UINT argErr = 99;
        EXCEPINFO exception = {};
        EXPECT_EQ(object->Invoke(c.dispid, GUID_NULL, 0, c.flags, arguments.Params(), &result, &exception, &argErr),
                  c.result)
            << c.name;
        if (c.result == S_OK) {
            EXPECT_EQ(result.vt, VT_EMPTY) << c.name << ": the methods return no value";
        }
        EXPECT_EQ(argErr, c.result == DISP_E_TYPEMISMATCH ? 0u : 99u) << c.name << ": only a type mismatch names it";
        EXPECT_EQ(sim::BandHeader(scene.rebar, 0), c.band.header) << c.name;
        ASSERT_TRUE(sim::WaitForThreadsToSettle());
        EXPECT_EQ(sim::Timers().size(), c.band.notifications) << c.name;
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
    const HostedToolbar scene = MakeHostedToolbar(10);
    IDispatch* dispatch = nullptr;
    ASSERT_EQ(m_pObject->QueryInterface(IID_IDispatch, reinterpret_cast<void**>(&dispatch)), S_OK);
    DISPID dispid = 0;
    ASSERT_EQ(DispIdOf(dispatch, L"MakeSure", &dispid), S_OK);
    EXPECT_EQ(CallWithLong(dispatch, dispid, AsInterfaceValue(scene.toolbar)), S_OK);
    EXPECT_EQ(sim::BandHeader(scene.rebar, 0), 32u);
    dispatch->Release();
}

}  // namespace
