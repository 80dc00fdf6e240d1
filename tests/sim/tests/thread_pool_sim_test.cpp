// The simulated thread pool's timers: due-time order on the simulated clock, arming again,
// disarming, closing, the library reference given back after the callback, and creation failures.
#include <gtest/gtest.h>

#include <algorithm>
#include <mutex>
#include <vector>

#include "sim_fixture.h"

namespace {

class ThreadPoolSim : public SimulatedPlatformTest {
protected:
    ThreadPoolSim() : SimulatedPlatformTest(false) {}
};

// What the callbacks saw, in the order they ran.
struct Firing {
    int tag;
    DWORD at;
    LONG libraryReferences;
};
std::mutex g_firingsMutex;
std::vector<Firing> g_firings;

std::vector<Firing> Firings()
{
    std::lock_guard<std::mutex> lock(g_firingsMutex);
    return g_firings;
}

void ClearFirings()
{
    std::lock_guard<std::mutex> lock(g_firingsMutex);
    g_firings.clear();
}

int TagOf(PVOID context) { return static_cast<int>(reinterpret_cast<intptr_t>(context)); }
PVOID Tag(int tag) { return reinterpret_cast<PVOID>(static_cast<intptr_t>(tag)); }

VOID NTAPI Record(PTP_CALLBACK_INSTANCE, PVOID context, PTP_TIMER)
{
    std::lock_guard<std::mutex> lock(g_firingsMutex);
    g_firings.push_back({TagOf(context), sim::Now(), sim::LibraryReferences()});
}

VOID NTAPI RecordCloseAndRelease(PTP_CALLBACK_INSTANCE instance, PVOID context, PTP_TIMER timer)
{
    CloseThreadpoolTimer(timer);
    FreeLibraryWhenCallbackReturns(instance, sim::LibraryModule());
    Record(instance, context, timer);  // after asking: the reference is still held until return
}

// A due time in 100 ns units: negative is relative, positive an absolute system time.
FILETIME Due(LONGLONG t) { return {static_cast<DWORD>(t), static_cast<DWORD>(static_cast<ULONGLONG>(t) >> 32)}; }

PTP_TIMER Armed(PTP_TIMER_CALLBACK callback, int tag, DWORD milliseconds)
{
    const PTP_TIMER timer = CreateThreadpoolTimer(callback, Tag(tag), nullptr);
    EXPECT_NE(timer, nullptr);
    FILETIME due = Due(-static_cast<LONGLONG>(milliseconds) * 10000);
    SetThreadpoolTimer(timer, &due, 0, 0);
    return timer;
}

struct OrderCase {
    const char* name;
    std::vector<DWORD> delays;         // timer i is tagged i
    std::vector<int> expectedOrder;
    std::vector<DWORD> expectedTimes;
};

const OrderCase kOrderCases[] = {
    {"armed in due order", {100, 200, 300}, {0, 1, 2}, {100, 200, 300}},
    {"armed against due order: fired in due order", {300, 100, 200}, {1, 2, 0}, {100, 200, 300}},
    {"a zero delay is due at once: fires without the clock moving", {50, 0}, {1, 0}, {0, 50}},
    {"a part of a millisecond rounds up, never early", {7}, {0}, {7}},
};

TEST_F(ThreadPoolSim, TimersFireInDueTimeOrderAtTheirDueTime)
{
    for (const OrderCase& c : kOrderCases) {
        SCOPED_TRACE(c.name);
        ClearFirings();
        std::vector<PTP_TIMER> timers;
        for (size_t i = 0; i < c.delays.size(); ++i)
            timers.push_back(Armed(&Record, static_cast<int>(i), c.delays[i]));
        ASSERT_TRUE(sim::WaitForThreadsToSettle());
        const size_t dueAtOnce = static_cast<size_t>(std::count(c.delays.begin(), c.delays.end(), 0u));
        EXPECT_EQ(Firings().size(), dueAtOnce) << "only what is due now fires before the clock moves";
        sim::AdvanceClock(1000);
        std::vector<int> order;
        std::vector<DWORD> times;
        for (const Firing& f : Firings()) {
            order.push_back(f.tag);
            times.push_back(f.at);
        }
        EXPECT_EQ(order, c.expectedOrder);
        EXPECT_EQ(times, c.expectedTimes);
        for (PTP_TIMER timer : timers)
            CloseThreadpoolTimer(timer);
        sim::ResetThreads();
    }
}

TEST_F(ThreadPoolSim, ArmingAgainDisarmingAndClosingChangeWhatFires)
{
    // Armed for 100 ms at 5 ms on the clock, then armed again with `due` (0: disarmed) unless untouched.
    struct Case { const char* name; bool armAgain; LONGLONG due; std::vector<DWORD> expectedTimes; };
    const Case cases[] = {
        {"untouched: fires at 105", false, 0, {105}},
        {"armed again for 300: only the new due time", true, -300 * 10000, {305}},
        {"disarmed: never", true, 0, {}},
        {"an absolute due time fires when the clock reaches it", true, sim::kClockStart + 40 * 10000, {40}},
        {"an absolute due time long past, counted from 1601, fires at once", true, 40 * 10000, {5}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ClearFirings();
        sim::AdvanceClock(5);
        const PTP_TIMER timer = Armed(&Record, 0, 100);
        FILETIME due = Due(c.due);
        if (c.armAgain)
            SetThreadpoolTimer(timer, c.due ? &due : nullptr, 0, 0);
        sim::AdvanceClock(1000);
        std::vector<DWORD> times;
        for (const Firing& f : Firings())
            times.push_back(f.at);
        EXPECT_EQ(times, c.expectedTimes);
        CloseThreadpoolTimer(timer);
        sim::ResetThreads();
    }
}

TEST_F(ThreadPoolSim, ClosingBeforeTheDueTimeCancelsAndAnyLaterUseIsRecorded)
{
    ClearFirings();
    const PTP_TIMER timer = Armed(&Record, 0, 100);
    EXPECT_EQ(sim::LiveThreadpoolTimers(), 1);
    CloseThreadpoolTimer(timer);
    EXPECT_EQ(sim::LiveThreadpoolTimers(), 0);
    FILETIME due = Due(-10 * 10000);
    SetThreadpoolTimer(timer, &due, 0, 0);
    CloseThreadpoolTimer(timer);
    sim::AdvanceClock(1000);
    EXPECT_TRUE(Firings().empty());
    const sim::TimerRecord record = sim::Timers().at(0);
    EXPECT_EQ(record.firings, 0);
    EXPECT_EQ(record.closes, 2);
    EXPECT_EQ(record.usesAfterClose, 1);
    EXPECT_EQ(record.firstDelay, 100u);
}

TEST_F(ThreadPoolSim, TheLibraryReferenceIsGivenBackOnlyAfterTheCallbackReturned)
{
    ClearFirings();
    HMODULE held = nullptr;
    ASSERT_TRUE(GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS, reinterpret_cast<LPCWSTR>(&Record), &held));
    Armed(&RecordCloseAndRelease, 7, 500);
    EXPECT_EQ(sim::LibraryReferences(), 2);
    sim::AdvanceClock(500);
    const std::vector<Firing> firings = Firings();
    ASSERT_EQ(firings.size(), 1u);
    EXPECT_EQ(firings[0].libraryReferences, 2) << "still held while the callback runs";
    EXPECT_EQ(sim::LibraryReferences(), 1) << "given back once it returned";
    EXPECT_EQ(sim::LiveThreadpoolTimers(), 0) << "the callback closed its own timer";
    EXPECT_TRUE(sim::Threads().empty()) << "the pool's workers are not threads the system created";
}

TEST_F(ThreadPoolSim, CreationFailsAsToldAndForAnEnvironment)
{
    struct Case { const char* name; int failures; PTP_CALLBACK_ENVIRON environment; DWORD error; };
    alignas(8) char environment[64] = {};
    const Case cases[] = {
        {"told to fail", 1, nullptr, ERROR_NOT_ENOUGH_MEMORY},
        {"an environment of its own is not simulated", 0,
         reinterpret_cast<PTP_CALLBACK_ENVIRON>(environment), ERROR_INVALID_PARAMETER},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        sim::Fail(sim::Op::CreateThreadpoolTimer, sim::When{0, c.failures}, ERROR_NOT_ENOUGH_MEMORY);
        SetLastError(0);
        EXPECT_EQ(CreateThreadpoolTimer(&Record, nullptr, c.environment), nullptr);
        EXPECT_EQ(GetLastError(), c.error);
        EXPECT_EQ(sim::ThreadpoolTimersCreated(), 0);
        EXPECT_EQ(sim::LiveThreadpoolTimers(), 0);
    }
    const PTP_TIMER timer = CreateThreadpoolTimer(&Record, nullptr, nullptr);
    EXPECT_NE(timer, nullptr) << "only the next one failed";
    CloseThreadpoolTimer(timer);
}

}  // namespace
