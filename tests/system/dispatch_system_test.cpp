// The dispatch slots over the platform's own automation service: the compiled library registered
// in the Wine prefix, loaded back by LoadRegTypeLib, and calls made through the real ITypeInfo.
#include <cstdio>
#include <string>

#include <gtest/gtest.h>

#include "child_process.h"
#include "dispatch_calls.h"
#include "enabler/vesk_enabler.h"
#include "invoke_cases.h"
#include "platform/win32.h"
#include "recording_enabler.h"
#include "server/dll_main.h"
#include "this_build.h"

namespace {

std::wstring g_path;

class PlatformDispatch : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(DllMain(GetModuleHandleW(nullptr), DLL_PROCESS_ATTACH, nullptr));
        m_bAttached = true;
        ITypeLib* library = nullptr;
        ASSERT_EQ(LoadTypeLibEx(g_path.c_str(), REGKIND_NONE, &library), S_OK);
        ASSERT_EQ(RegisterTypeLib(library, &g_path[0], nullptr), S_OK);
        library->Release();
        m_bRegistered = true;
    }
    void TearDown() override
    {
        if (m_bAttached)
            DllMain(GetModuleHandleW(nullptr), DLL_PROCESS_DETACH, nullptr);
        EXPECT_EQ(CVeskEnabler::s_typeInfoHolder.m_pTypeInfo.load(), nullptr) << "detach released it";
        if (m_bRegistered) {
            EXPECT_EQ(UnRegisterTypeLib(LIBID_VeskLib, 1, 0, 0, vesk_test::kThisSysKind), S_OK);
        }
    }
    bool m_bAttached = false;
    bool m_bRegistered = false;
};

TEST_F(PlatformDispatch, NamesAreAnsweredFromTheCacheAndByTheTypeInformation)
{
    RecordingEnabler object;
    struct Case { const char* name; LPCOLESTR names[2]; UINT count; HRESULT result; DISPID ids[2]; };
    const Case cases[] = {
        {"EnableVesk", {L"EnableVesk", nullptr}, 1, S_OK, {2, 0}},
        {"MakeSure", {L"MakeSure", nullptr}, 1, S_OK, {3, 0}},
        {"in another case", {L"enablevesk", nullptr}, 1, S_OK, {2, 0}},
        {"with the parameter", {L"MakeSure", L"hWnd"}, 2, S_OK, {3, 0}},
        {"the parameter in another case", {L"EnableVesk", L"HWND"}, 2, S_OK, {2, 0}},
        {"an unknown name", {L"Widen", nullptr}, 1, DISP_E_UNKNOWNNAME, {DISPID_UNKNOWN, 0}},
    };
    for (const Case& c : cases) {
        LPOLESTR names[2] = {const_cast<LPOLESTR>(c.names[0]), const_cast<LPOLESTR>(c.names[1])};
        DISPID ids[2] = {-7, -7};
        EXPECT_EQ(object.GetIDsOfNames(GUID_NULL, names, c.count, 0x409, ids), c.result) << c.name;
        EXPECT_EQ(ids[0], c.ids[0]) << c.name;
        if (c.count == 2) {
            EXPECT_EQ(ids[1], c.ids[1]) << c.name;
        }
    }
    EXPECT_NE(CVeskEnabler::s_typeInfoHolder.m_pNameCache.load(), nullptr);
    EXPECT_EQ(CVeskEnabler::s_typeInfoHolder.m_nNameCount, 9) << "the platform's dispatch view";
}

TEST_F(PlatformDispatch, GetTypeInfoHandsOutTheInterface)
{
    RecordingEnabler object;
    ITypeInfo* typeInfo = nullptr;
    EXPECT_EQ(object.GetTypeInfo(1, 0, nullptr), DISP_E_BADINDEX);
    ASSERT_EQ(object.GetTypeInfo(0, 0, &typeInfo), S_OK);
    TYPEATTR* attr = nullptr;
    ASSERT_EQ(typeInfo->GetTypeAttr(&attr), S_OK);
    EXPECT_TRUE(attr->guid == IID_IVeskEnabler);
    typeInfo->ReleaseTypeAttr(attr);
    typeInfo->Release();
}

TEST_F(PlatformDispatch, InvokeAnswersAsTheSimulationClaims)
{
    for (const invoke_cases::Case& c : invoke_cases::kCases) {
        // Wine calls a method given more arguments than its parameters, a documented difference.
        if (c.count > 1)
            std::printf("left out, Wine calls a method given more arguments than parameters: %s\n", c.name);
        else
            invoke_cases::Run(c, invoke_cases::kWineLeavesArgumentError);
    }
}

// The platform's answer for a library that is not registered reaches every dispatch call, and each
// call asks again.
TEST(PlatformDispatchUnregistered, EveryCallFailsWithTheLoadFailure)
{
    ASSERT_TRUE(DllMain(GetModuleHandleW(nullptr), DLL_PROCESS_ATTACH, nullptr));
    ITypeLib* stray = nullptr;
    const HRESULT unregistered = LoadRegTypeLib(LIBID_VeskLib, 1, 0, 0, &stray);
    ASSERT_TRUE(FAILED(unregistered)) << "the library must not be registered in this prefix";
    EXPECT_EQ(unregistered, TYPE_E_LIBNOTREGISTERED) << "the simulation answers the same";
    RecordingEnabler object;
    ITypeInfo* typeInfo = reinterpret_cast<ITypeInfo*>(&object);
    EXPECT_EQ(object.GetTypeInfo(0, 0, &typeInfo), unregistered);
    EXPECT_EQ(typeInfo, nullptr);
    DISPID dispid = 0;
    EXPECT_EQ(DispIdOf(&object, L"MakeSure", &dispid), unregistered);
    EXPECT_EQ(CallWithLong(&object, 3, 0), unregistered);
    EXPECT_EQ(object.m_nCalls, 0);

    ITypeLib* library = nullptr;
    ASSERT_EQ(LoadTypeLibEx(g_path.c_str(), REGKIND_NONE, &library), S_OK);
    ASSERT_EQ(RegisterTypeLib(library, &g_path[0], nullptr), S_OK);
    library->Release();
    EXPECT_EQ(DispIdOf(&object, L"MakeSure", &dispid), S_OK) << "the next call loads";
    EXPECT_EQ(dispid, 3);
    EXPECT_EQ(UnRegisterTypeLib(LIBID_VeskLib, 1, 0, 0, vesk_test::kThisSysKind), S_OK);
    DllMain(GetModuleHandleW(nullptr), DLL_PROCESS_DETACH, nullptr);
}

}  // namespace

int main(int argc, char** argv)
{
    ::testing::InitGoogleTest(&argc, argv);
    g_path = argc > 1 ? vesk_test::WidenText(argv[1]) : vesk_test::WidenText(VESK_TYPELIB_PATH);
    CoInitialize(nullptr);
    const int result = RUN_ALL_TESTS();
    CoUninitialize();
    return result;
}
