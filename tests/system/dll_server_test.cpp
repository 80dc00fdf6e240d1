// The real Vesk.dll under Wine: loading, the class object, plain and aggregated creation,
// LockServer and DllCanUnloadNow, activation by CLSID, and unload safety of pending notifications.
#include <gtest/gtest.h>

#include "aggregating_outer.h"
#include "child_process.h"
#include "enabler/ivesk_enabler.h"
#include "loaded_server.h"
#include "process_figures.h"
#include "real_windows.h"
#include "server_fixture.h"

#include <cstdio>
#include <string>

namespace {

using namespace vesk_test;

const wchar_t kDllPath[] = L"" VESK_DLL_PATH;
const wchar_t kClsidKey[] = L"CLSID\\{4D2A7C19-0B6E-4F83-9A51-C7E2D8B3F046}";

class DllServer : public ServerTest {
protected:
    DllServer() : ServerTest(kApartment) {}
};

TEST_F(DllServer, ServesItsClassObjectAndCreatesPlainAndAggregatedEnablers)
{
    LoadedServer server(kDllPath);
    ASSERT_TRUE(server.Loaded()) << "LoadLibrary and both exports";
    EXPECT_EQ(server.canUnloadNow(), S_OK) << "right after load";

    void* out = nullptr;
    EXPECT_EQ(server.getClassObject(IID_IVeskEnabler, IID_IClassFactory, &out), CLASS_E_CLASSNOTAVAILABLE);
    EXPECT_EQ(server.getClassObject(CLSID_VeskEnabler, IID_IVeskEnabler, &out), E_NOINTERFACE);
    ASSERT_EQ(server.getClassObject(CLSID_VeskEnabler, IID_IClassFactory, &out), S_OK);
    auto* factory = static_cast<IClassFactory*>(out);
    EXPECT_EQ(server.canUnloadNow(), S_FALSE) << "the class object is held";

    void* plain = nullptr;
    ASSERT_EQ(factory->CreateInstance(nullptr, IID_IDispatch, &plain), S_OK);
    void* enabler = nullptr;
    ASSERT_EQ(static_cast<IUnknown*>(plain)->QueryInterface(IID_IVeskEnabler, &enabler), S_OK);
    EXPECT_EQ(enabler, plain) << "IDispatch and IVeskEnabler are one interface";
    static_cast<IUnknown*>(enabler)->Release();

    AggregatingOuter outer;
    void* refused = reinterpret_cast<void*>(1);
    EXPECT_EQ(factory->CreateInstance(&outer, IID_IVeskEnabler, &refused), CLASS_E_NOAGGREGATION);
    EXPECT_EQ(refused, nullptr);
    void* inner = nullptr;
    ASSERT_EQ(factory->CreateInstance(&outer, IID_IUnknown, &inner), S_OK);
    outer.m_inner = static_cast<IUnknown*>(inner);
    void* aggregated = nullptr;
    ASSERT_EQ(outer.QueryInterface(IID_IVeskEnabler, &aggregated), S_OK);
    EXPECT_EQ(outer.m_nReferences, 2) << "the inner interface counts on the outer object";
    void* identity = nullptr;
    ASSERT_EQ(static_cast<IUnknown*>(aggregated)->QueryInterface(IID_IUnknown, &identity), S_OK);
    EXPECT_EQ(identity, static_cast<IUnknown*>(&outer));
    static_cast<IUnknown*>(identity)->Release();
    static_cast<IUnknown*>(aggregated)->Release();
    EXPECT_EQ(outer.m_inner->Release(), 0u);

    EXPECT_EQ(factory->LockServer(TRUE), S_OK);
    static_cast<IUnknown*>(plain)->Release();
    factory->Release();
    EXPECT_EQ(server.canUnloadNow(), S_FALSE) << "LockServer(1) keeps the library";
    ASSERT_EQ(server.getClassObject(CLSID_VeskEnabler, IID_IClassFactory, &out), S_OK);
    factory = static_cast<IClassFactory*>(out);
    EXPECT_EQ(factory->LockServer(FALSE), S_OK);
    factory->Release();
    EXPECT_EQ(server.canUnloadNow(), S_OK);
}

// The class registered by hand, as an installer would, so the COM runtime can activate it.
class HandRegistration {
public:
    HandRegistration()
    {
        HKEY server = nullptr;
        const std::wstring key = std::wstring(kClsidKey) + L"\\InprocServer32";
        if (RegCreateKeyExW(HKEY_CLASSES_ROOT, key.c_str(), 0, nullptr, 0, KEY_WRITE, nullptr, &server, nullptr) !=
            ERROR_SUCCESS)
            return;
        const std::wstring path = kDllPath;
        const wchar_t model[] = L"Apartment";
        m_bDone = RegSetValueExW(server, nullptr, 0, REG_SZ, reinterpret_cast<const BYTE*>(path.c_str()),
                                 static_cast<DWORD>((path.size() + 1) * sizeof(wchar_t))) == ERROR_SUCCESS &&
                  RegSetValueExW(server, L"ThreadingModel", 0, REG_SZ, reinterpret_cast<const BYTE*>(model),
                                 sizeof(model)) == ERROR_SUCCESS;
        RegCloseKey(server);
    }
    ~HandRegistration() { RegDeleteTreeW(HKEY_CLASSES_ROOT, kClsidKey); }
    bool Done() const { return m_bDone; }

private:
    bool m_bDone = false;
};

TEST_F(DllServer, IsActivatedByClsidAndWidensARealBand)
{
    HandRegistration registration;
    ASSERT_TRUE(registration.Done());
    RealRebarFrame frame;
    const HWND bandChild = frame.CreateBandChild();
    ASSERT_TRUE(frame.InsertBand(bandChild, 10));
    const HWND toolbar = CreateToolbarWindow(bandChild);

    IVeskEnabler* enabler = nullptr;
    ASSERT_EQ(CoCreateInstance(CLSID_VeskEnabler, nullptr, CLSCTX_INPROC_SERVER, IID_IVeskEnabler,
                               reinterpret_cast<void**>(&enabler)),
              S_OK);
    EXPECT_EQ(enabler->MakeSure(InterfaceValue(toolbar)), S_OK);
    EXPECT_EQ(frame.ReadHeader(0), 32u);
    enabler->Release();
    CoFreeUnusedLibraries();
}

TEST_F(DllServer, PendingNotificationsKeepTheLibraryUntilTheyHavePosted)
{
    RealRebarFrame frame;
    const HWND toolbar = CreateToolbarWindow(frame.Frame());  // in no band: every re-check is scheduled
    {
        LoadedServer server(kDllPath);
        IVeskEnabler* enabler = server.CreateEnabler();
        ASSERT_NE(enabler, nullptr);
        EXPECT_EQ(enabler->EnableVesk(InterfaceValue(toolbar)), S_OK);
        enabler->Release();
        EXPECT_EQ(server.canUnloadNow(), S_OK) << "the notifications are not counted as server locks";
        CoFreeUnusedLibraries();
        server.Free();
    }
    Uninitialize();
    EXPECT_NE(GetModuleHandleW(L"Vesk.dll"), nullptr) << "six notifications still hold the library";

    EXPECT_TRUE(PumpUntilRechecks(toolbar, 6, kLastRecheckMs)) << "every pending notification posted";
    EXPECT_TRUE(PumpMessagesUntil(2000, [] { return GetModuleHandleW(L"Vesk.dll") == nullptr; }))
        << "the last notification let the library go";
    EXPECT_EQ(RecheckArrivals(toolbar).size(), 6u);
}

TEST_F(DllServer, SixPendingNotificationsCostFewerThanSixThreads)
{
    RealRebarFrame frame;
    const HWND toolbar = CreateToolbarWindow(frame.Frame());  // in no band: six re-checks are scheduled
    LoadedServer server(kDllPath);
    IVeskEnabler* enabler = server.CreateEnabler();
    ASSERT_NE(enabler, nullptr);
    PumpMessagesFor(200);

    const int before = ThreadsOfThisProcess();
    ASSERT_GT(before, 0);
    EXPECT_EQ(enabler->EnableVesk(InterfaceValue(toolbar)), S_OK);
    enabler->Release();
    PumpMessagesFor(300);
    const int pending = ThreadsOfThisProcess();
    ASSERT_TRUE(RecheckArrivals(toolbar).empty()) << "measured while all six are pending";
    ASSERT_TRUE(PumpUntilRechecks(toolbar, 6, kLastRecheckMs));
    PumpMessagesFor(500);
    const int after = ThreadsOfThisProcess();
    std::printf("threads of this process: %d before EnableVesk, %d with six notifications pending, %d after\n",
                before, pending, after);

    EXPECT_LT(pending - before, 6) << "the pending notifications took a thread each";
    EXPECT_EQ(RecheckArrivals(toolbar).size(), 6u);
}

// The toolbar window of another process gets neither a band message nor a re-check message, while
// the same call with a window of this process gets its six re-checks. The other process watches its
// toolbar until the test's own message, posted once this process's last re-check has come and any
// due with it would have too.
TEST_F(DllServer, AWindowOfAnotherProcessGetsNothing)
{
    ChildProcess owner;
    ASSERT_TRUE(owner.Start(L"\"" VESK_WINDOW_OWNER_HOST L"\" 60000"));
    long foreign = 0;
    ASSERT_TRUE(owner.WaitForOutput(
        30000, [&](const std::string& output) { return std::sscanf(output.c_str(), "toolbar %ld", &foreign) == 1; }))
        << owner.Output();
    RealRebarFrame frame;
    const HWND own = CreateToolbarWindow(frame.Frame());  // in no band: six re-checks

    LoadedServer server(kDllPath);
    IVeskEnabler* foreignCaller = server.CreateEnabler();
    IVeskEnabler* ownCaller = server.CreateEnabler();
    ASSERT_TRUE(foreignCaller && ownCaller);
    EXPECT_EQ(foreignCaller->EnableVesk(foreign), S_OK);
    EXPECT_EQ(foreignCaller->MakeSure(foreign), S_OK);
    const DWORD called = GetTickCount();
    EXPECT_EQ(ownCaller->EnableVesk(InterfaceValue(own)), S_OK);
    foreignCaller->Release();
    ownCaller->Release();

    ASSERT_TRUE(PumpUntilRechecks(own, 6, kLastRecheckMs)) << "the same call with a window of this process";
    std::printf("this process's last re-check came %lu ms after the call\n",
                static_cast<unsigned long>(RecheckArrivals(own).back().tick - called));
    PumpMessagesFor(kOvertakenMs);
    PostMessageW(WindowFromInterfaceValue(foreign), WM_RECHECK_BAND, kEndOfWatch, 0);
    ASSERT_TRUE(owner.WaitPumping(15000));
    EXPECT_EQ(owner.ExitCode(), 0) << owner.Output();
    EXPECT_NE(owner.Output().find("band messages 0 rechecks 0 header 10"), std::string::npos) << owner.Output();
}

}  // namespace
