#include <atomic>
#include <chrono>
#include <thread>

#include "automation_fixture.h"
#include "utf16.h"

namespace {

class HolderTest : public AutomationTest {
protected:
    // GetIDsOfNames of the one name `name` succeeds with `expected`.
    void ExpectId(LPCWSTR name, DISPID expected, const char* why = "")
    {
        DISPID dispid = 0;
        EXPECT_EQ(IdOf(name, &dispid), S_OK) << Utf8(name) << ": " << why;
        EXPECT_EQ(dispid, expected) << Utf8(name) << ": " << why;
    }

    // Registers the library; the first call loads it.
    void Load()
    {
        RegisterServerLibrary();
        ExpectId(L"EnableVesk", 2, "loads");
    }
};

TEST_F(HolderTest, LoadsTheLibraryOncePerProcess)
{
    RegisterServerLibrary();
    DISPID dispid = 0;
    for (int call = 0; call < 3; ++call)
        ASSERT_EQ(IdOf(L"EnableVesk", &dispid), S_OK);
    ITypeInfo* typeInfo = nullptr;
    ASSERT_EQ(Dispatch()->GetTypeInfo(0, 0, &typeInfo), S_OK);
    typeInfo->Release();
    TestEnablerObject* second = new TestEnablerObject;
    second->AddRef();
    EXPECT_EQ(IdOf(L"MakeSure", &dispid), S_OK);
    EXPECT_EQ(DispIdOf(second, L"MakeSure", &dispid, 0x409), S_OK);
    second->Release();

    const sim::AutomationCalls calls = sim::AutomationCallCounts();
    EXPECT_EQ(calls.loadRegTypeLib, 1);
    EXPECT_EQ(calls.getTypeInfoOfGuid, 1);
    EXPECT_EQ(calls.getTypeAttr, 1) << "the name cache is built once";
}

TEST_F(HolderTest, CacheAnswersSingleNamesWithoutTheTypeInformation)
{
    Load();
    const sim::AutomationCalls before = sim::AutomationCallCounts();

    struct Case { LPCWSTR name; DISPID expected; };
    const Case cases[] = {
        {L"EnableVesk", 2},
        {L"MakeSure", 3},
    };
    for (const Case& c : cases)
        ExpectId(c.name, c.expected, "from the cache");
    const sim::AutomationCalls after = sim::AutomationCallCounts();
    EXPECT_EQ(after.getIDsOfNames, before.getIDsOfNames) << "no call into the type information";
    EXPECT_EQ(after.loadRegTypeLib, before.loadRegTypeLib);
    EXPECT_EQ(after.getDocumentation, before.getDocumentation);
}

TEST_F(HolderTest, OtherRequestsGoToTheTypeInformation)
{
    RegisterServerLibrary();
    DISPID warm = 0;
    ASSERT_EQ(IdOf(L"MakeSure", &warm), S_OK);

    struct Case {
        const char* name;
        LPCWSTR names[2];
        UINT count;
        HRESULT result;
        DISPID expected[2];
    };
    const Case cases[] = {
        {"a name differing in case misses the cache", {L"enablevesk", nullptr}, 1, S_OK, {2, 0}},
        {"upper case as well", {L"MAKESURE", nullptr}, 1, S_OK, {3, 0}},
        {"method and parameter", {L"MakeSure", L"hWnd"}, 2, S_OK, {3, 0}},
        {"method and its parameter in another case", {L"EnableVesk", L"HWND"}, 2, S_OK, {2, 0}},
        {"an unknown name", {L"Widen", nullptr}, 1, DISP_E_UNKNOWNNAME, {DISPID_UNKNOWN, 0}},
        {"an unknown parameter", {L"MakeSure", L"width"}, 2, DISP_E_UNKNOWNNAME, {3, DISPID_UNKNOWN}},
        {"a name the cached one begins with", {L"Make", nullptr}, 1, DISP_E_UNKNOWNNAME, {DISPID_UNKNOWN, 0}},
        {"the empty name", {L"", nullptr}, 1, DISP_E_UNKNOWNNAME, {DISPID_UNKNOWN, 0}},
    };
    for (const Case& c : cases) {
        const int forwardedBefore = sim::AutomationCallCounts().getIDsOfNames;
        LPOLESTR names[2] = {const_cast<LPOLESTR>(c.names[0]), const_cast<LPOLESTR>(c.names[1])};
        DISPID ids[2] = {12345, 12345};
        EXPECT_EQ(Dispatch()->GetIDsOfNames(GUID_NULL, names, c.count, 0, ids), c.result) << c.name;
        EXPECT_EQ(ids[0], c.expected[0]) << c.name;
        if (c.count == 2) {
            EXPECT_EQ(ids[1], c.expected[1]) << c.name;
        }
        EXPECT_EQ(sim::AutomationCallCounts().getIDsOfNames, forwardedBefore + 1) << c.name << ": forwarded once";
    }
}

TEST_F(HolderTest, UnregisteredLibraryFailsEveryCallAndIsRetried)
{
    DISPID dispid = 0;
    ITypeInfo* typeInfo = reinterpret_cast<ITypeInfo*>(this);
    EXPECT_EQ(Dispatch()->GetTypeInfo(0, 0, &typeInfo), TYPE_E_LIBNOTREGISTERED);
    EXPECT_EQ(typeInfo, nullptr) << "a failed GetTypeInfo stores null";
    EXPECT_EQ(IdOf(L"EnableVesk", &dispid), TYPE_E_LIBNOTREGISTERED);
    EXPECT_EQ(CallWithLong(Dispatch(), 2, 0), TYPE_E_LIBNOTREGISTERED);
    EXPECT_EQ(sim::AutomationCallCounts().loadRegTypeLib, 3) << "each call tries to load again";
    EXPECT_EQ(EnablerHolder().m_pTypeInfo.load(), nullptr);

    RegisterServerLibrary();
    ExpectId(L"EnableVesk", 2, "a later registration is found");
}

TEST_F(HolderTest, LoadFailuresArePassedOnUnchanged)
{
    RegisterServerLibrary();
    struct Case { const char* name; sim::Op fault; HRESULT result; };
    const Case cases[] = {
        {"library load", sim::Op::LoadRegTypeLib, TYPE_E_CANTLOADLIBRARY},
        {"no type information for the interface", sim::Op::GetTypeInfoOfGuid, TYPE_E_ELEMENTNOTFOUND},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        sim::Fail(c.fault, sim::When{}, c.result);
        DISPID dispid = 0;
        EXPECT_EQ(IdOf(L"MakeSure", &dispid), c.result);
        EXPECT_EQ(sim::LiveTypeLibraries(), 0) << "nothing is kept";
        ExpectId(L"MakeSure", 3, "the next call loads");
        Detach();
        Attach();
    }
}

TEST_F(HolderTest, MissingCacheIsRetriedWithoutReloading)
{
    RegisterServerLibrary();
    sim::Fail(sim::Op::GetTypeAttr, sim::When{}, E_OUTOFMEMORY);
    ExpectId(L"EnableVesk", 2, "the type information answers without a cache");
    EXPECT_EQ(EnablerHolder().m_pNameCache.load(), nullptr);
    EXPECT_EQ(sim::AutomationCallCounts().getIDsOfNames, 1);

    ExpectId(L"MakeSure", 3);
    const sim::AutomationCalls calls = sim::AutomationCallCounts();
    EXPECT_EQ(calls.loadRegTypeLib, 1) << "the library is not loaded again";
    EXPECT_EQ(calls.getTypeAttr, 2) << "only the cache is retried";
    EXPECT_EQ(calls.getIDsOfNames, 1) << "the rebuilt cache answered";
    EXPECT_NE(EnablerHolder().m_pNameCache.load(), nullptr);
}

TEST_F(HolderTest, MemberLookUpFailuresLeaveEntriesThatNeverAnswer)
{
    RegisterServerLibrary();
    // Every name look-up fails while the cache is built: each entry keeps its initial values.
    sim::Fail(sim::Op::GetDocumentation, sim::When{0, 100}, E_OUTOFMEMORY);
    ExpectId(L"MakeSure", 3);
    sim::ClearFaults();
    const NameCacheEntry* cache = EnablerHolder().m_pNameCache.load();
    ASSERT_NE(cache, nullptr);
    ASSERT_EQ(EnablerHolder().m_nNameCount, 9) << "IDispatch's seven and the two methods";
    for (LONG i = 0; i < EnablerHolder().m_nNameCount; ++i) {
        EXPECT_EQ(cache[i].bstrName, nullptr) << i;
        EXPECT_EQ(cache[i].nLength, 0) << i;
        EXPECT_EQ(cache[i].dispid, DISPID_UNKNOWN) << i;
    }
    const int forwarded = sim::AutomationCallCounts().getIDsOfNames;
    ExpectId(L"EnableVesk", 2, "the type information still knows the name");
    DISPID dispid = 0;
    EXPECT_EQ(IdOf(L"", &dispid), DISP_E_UNKNOWNNAME) << "a nameless entry does not answer the empty name";
    EXPECT_EQ(sim::AutomationCallCounts().getIDsOfNames, forwarded + 2);
}

TEST_F(HolderTest, CacheHoldsEveryFunctionOfTheDispatchView)
{
    Load();
    const NameCacheEntry* cache = EnablerHolder().m_pNameCache.load();
    ASSERT_NE(cache, nullptr);
    ASSERT_EQ(EnablerHolder().m_nNameCount, 9);
    EXPECT_EQ(Utf8(cache[7].bstrName), "EnableVesk");
    EXPECT_EQ(cache[7].nLength, 10);
    EXPECT_EQ(cache[7].dispid, 2);
    EXPECT_EQ(Utf8(cache[8].bstrName), "MakeSure");
    EXPECT_EQ(cache[8].dispid, 3);
    const int forwarded = sim::AutomationCallCounts().getIDsOfNames;
    ExpectId(L"Invoke", 0x60010003, "inherited names are cached too");
    EXPECT_EQ(sim::AutomationCallCounts().getIDsOfNames, forwarded);
}

TEST_F(HolderTest, DetachReleasesTheTypeInformationAndTheNextAttachLoadsAgain)
{
    Load();
    EXPECT_EQ(sim::LiveTypeLibraries(), 1) << "the held type information keeps its library";
    ASSERT_NE(EnablerHolder().m_pNameCache.load(), nullptr);
    const int stringsWithCache = sim::LiveStrings();
    EXPECT_EQ(stringsWithCache, 9) << "one name per function";

    Detach();
    EXPECT_EQ(EnablerHolder().m_pTypeInfo.load(), nullptr);
    EXPECT_EQ(EnablerHolder().m_pNameCache.load(), nullptr);
    EXPECT_EQ(LeakSnapshot().Differences(m_before), "") << "detached";

    Attach();
    ExpectId(L"MakeSure", 3);
    EXPECT_EQ(sim::AutomationCallCounts().loadRegTypeLib, 2);
}

TEST_F(HolderTest, ReleaseTypeInfoOfNoHolderDoesNothing)
{
    Load();
    CTypeInfoHolder::ReleaseTypeInfo(nullptr);
    EXPECT_NE(EnablerHolder().m_pTypeInfo.load(), nullptr);
}

TEST_F(HolderTest, AllocationFailuresAreReportedAndLeaveNothingBehind)
{
    RegisterServerLibrary();
    bool sawFailure = false;
    bool sawSuccess = false;
    for (int allocations = 0; allocations < 12; ++allocations) {
        SCOPED_TRACE("allocation " + std::to_string(allocations));
        sim::Fail(sim::Op::Allocation, sim::When{allocations});
        DISPID dispid = 0;
        const HRESULT first = IdOf(L"EnableVesk", &dispid);
        sim::ClearFaults();
        EXPECT_TRUE(first == S_OK || first == E_OUTOFMEMORY) << "allocation " << allocations << ": " << first;
        if (first == S_OK) {
            EXPECT_EQ(dispid, 2) << "allocation " << allocations;
        }
        sawFailure |= first == E_OUTOFMEMORY;
        sawSuccess |= first == S_OK;
        ExpectId(L"EnableVesk", 2, "recovers");
        Detach();
        EXPECT_EQ(LeakSnapshot().Differences(m_before), "") << "allocation " << allocations;
        Attach();
    }
    EXPECT_TRUE(sawFailure);
    EXPECT_TRUE(sawSuccess);
}

TEST_F(HolderTest, KeepsTheTypeInfoOfASeparateTypeInfo2Object)
{
    struct Case { const char* name; bool split; };
    const Case cases[] = {{"same identity keeps the type information itself", false},
                          {"another identity keeps that object's ITypeInfo", true}};
    for (const Case& c : cases) {
        sim::SplitTypeInfo2Identity(c.split);
        RegisterServerLibrary();
        ITypeInfo* held = nullptr;
        ASSERT_EQ(Dispatch()->GetTypeInfo(0, 0, &held), S_OK) << c.name;

        ITypeLib* library = nullptr;
        UINT index = 99;
        ASSERT_EQ(held->GetContainingTypeLib(&library, &index), S_OK);
        ITypeInfo* primary = nullptr;
        ASSERT_EQ(library->GetTypeInfo(index, &primary), S_OK);
        EXPECT_EQ(held != primary, c.split) << c.name;
        TYPEATTR* attr = nullptr;
        ASSERT_EQ(held->GetTypeAttr(&attr), S_OK);
        EXPECT_TRUE(attr->guid == IID_IVeskEnabler) << c.name;
        held->ReleaseTypeAttr(attr);
        primary->Release();
        library->Release();
        held->Release();
        Detach();
        sim::ResetAutomation();
        Attach();
    }
}

std::atomic<int> g_loadsInside{0};
std::atomic<bool> g_releaseLoad{false};

void HoldFirstLoad()
{
    if (g_loadsInside.fetch_add(1) == 0)
        while (!g_releaseLoad.load())
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
}

TEST_F(HolderTest, TwoThreadsMakingTheFirstCallTogetherLoadOnce)
{
    RegisterServerLibrary();
    g_loadsInside = 0;
    g_releaseLoad = false;
    sim::OnLoadRegTypeLib(&HoldFirstLoad);
    DISPID first = 0;
    DISPID second = 0;
    HRESULT firstResult = E_FAIL;
    HRESULT secondResult = E_FAIL;
    std::thread a([&] { firstResult = IdOf(L"EnableVesk", &first); });
    while (g_loadsInside.load() == 0)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    // The first thread now holds the module lock inside the load; the second must wait for it.
    std::thread b([&] { secondResult = IdOf(L"MakeSure", &second); });
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    g_releaseLoad = true;
    a.join();
    b.join();
    sim::OnLoadRegTypeLib(nullptr);
    EXPECT_EQ(firstResult, S_OK);
    EXPECT_EQ(secondResult, S_OK);
    EXPECT_EQ(first, 2);
    EXPECT_EQ(second, 3);
    EXPECT_EQ(sim::AutomationCallCounts().loadRegTypeLib, 1);
    EXPECT_EQ(g_loadsInside.load(), 1);
}

}  // namespace
