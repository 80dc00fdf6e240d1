// The simulated platform short of memory in its own bookkeeping (the test binary's operator new
// failing): each service answers with its error code, as the platform does, and keeps nothing of
// the failed call; no exception reaches the caller.
#include <gtest/gtest.h>

#include "enabler/ivesk_enabler.h"
#include "failing_allocator.h"
#include "sim/sim_control.h"
#include "sim_fixture.h"

namespace {

DWORD WINAPI DoNothing(LPVOID) { return 0; }
VOID NTAPI Expire(PTP_CALLBACK_INSTANCE, PVOID, PTP_TIMER) {}

class SimShortage : public SimulatedPlatformTest {
protected:
    SimShortage() : SimulatedPlatformTest(false) {}
};

// Runs `call` with its first operator new failing, then again with none failing, and returns both.
template <class Call>
std::pair<long long, long long> ShortThenPlenty(Call call)
{
    test::FailOperatorNewAfter(0);
    const long long shortResult = call();
    const bool reached = test::OperatorNewCountdown() < 0;
    test::FailOperatorNewAfter(-1);
    EXPECT_TRUE(reached) << "the call allocates nothing: the case proves nothing";
    return {shortResult, call()};
}

TEST_F(SimShortage, EachServiceReportsTheShortageAndWorksAfterwards)
{
    struct Case { const char* name; long long (*call)(); long long shortResult; long long plentyResult; };
    const Case cases[] = {
        {"creating a registry key", [] {
             HKEY key = nullptr;
             const LONG result = RegCreateKeyExW(HKEY_CURRENT_USER, L"Software\\Short", 0, nullptr, 0,
                                                 KEY_ALL_ACCESS, nullptr, &key, nullptr);
             if (result == ERROR_SUCCESS)
                 RegCloseKey(key);
             return static_cast<long long>(result);
         }, ERROR_OUTOFMEMORY, ERROR_SUCCESS},
        {"creating a critical section", [] {
             CRITICAL_SECTION section;
             const BOOL created = InitializeCriticalSectionAndSpinCount(&section, 0);
             if (created)
                 DeleteCriticalSection(&section);
             return static_cast<long long>(created ? 0 : GetLastError());
         }, ERROR_NOT_ENOUGH_MEMORY, 0},
        {"creating a thread", [] {
             HANDLE thread = CreateThread(nullptr, 0, &DoNothing, nullptr, 0, nullptr);
             if (thread)
                 CloseHandle(thread);
             return static_cast<long long>(thread ? 0 : GetLastError());
         }, ERROR_NOT_ENOUGH_MEMORY, 0},
        {"creating a thread-pool timer", [] {
             const PTP_TIMER timer = CreateThreadpoolTimer(&Expire, nullptr, nullptr);
             if (timer)
                 CloseThreadpoolTimer(timer);
             return static_cast<long long>(timer ? 0 : GetLastError());
         }, ERROR_NOT_ENOUGH_MEMORY, 0},
        {"loading a type library by its registration", [] {
             ITypeLib* library = nullptr;
             const HRESULT hr = LoadRegTypeLib(LIBID_VeskLib, 1, 0, 0, &library);
             if (library)
                 library->Release();
             return static_cast<long long>(hr);
         }, E_OUTOFMEMORY, S_OK},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        SetUp();
        // The library registered, so that loading it by its registration can succeed.
        sim::PlaceTypeLibraryFile(L"C:\\Vesk.dll");
        ITypeLib* library = nullptr;
        ASSERT_EQ(LoadTypeLib(L"C:\\Vesk.dll", &library), S_OK);
        ASSERT_EQ(RegisterTypeLib(library, const_cast<OLECHAR*>(L"C:\\Vesk.dll"), nullptr), S_OK);
        library->Release();

        const auto results = ShortThenPlenty(c.call);
        EXPECT_EQ(results.first, c.shortResult);
        EXPECT_EQ(results.second, c.plentyResult);
        EXPECT_EQ(LeakSnapshot().Differences(m_before), "");
        sim::ResetThreads();
        EXPECT_EQ(sim::OpenThreadHandles(), 0);
        EXPECT_EQ(sim::ThreadpoolTimersCreated(), 0);
    }
}

}  // namespace
