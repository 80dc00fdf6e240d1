// What each call of the enabler schedules: delays, order, target window and the retry count.
#include <gtest/gtest.h>

#include "enabler_test_support.h"
#include "sim_fixture.h"

namespace {

using Delays = std::vector<DWORD>;

class EnablerSchedule : public DetachedPlatformTest {
protected:
    // Through the interface, with the window as the script holds it.
    HRESULT Enable(HWND window) { return Object()->EnableVesk(AsInterfaceValue(window)); }
    HRESULT MakeSure(HWND window) { return Object()->MakeSure(AsInterfaceValue(window)); }
    IVeskEnabler* Object() { return &m_enabler; }

    TestEnablerObject m_enabler;
};

enum class Call { FirstEnable, LaterEnable, MakeSure };

struct ScheduleCase {
    const char* name;
    Call call;
    bool bandPresent;
    LONG retriesBefore;
    Delays started;
    LONG retriesAfter;
    bool foreignToolbar = false;  // the toolbar window belongs to another process
};

const ScheduleCase kScheduleCases[] = {
    {"first EnableVesk, band found", Call::FirstEnable, true, 3, {1000, 2000, 5000, 10000}, 0},
    {"first EnableVesk, band missing", Call::FirstEnable, false, 3, {1000, 2000, 1000, 2000, 5000, 10000}, 3},
    {"later EnableVesk, band found", Call::LaterEnable, true, 4, {}, 0},
    {"later EnableVesk, band missing", Call::LaterEnable, false, 4, {1000, 2000}, 4},
    {"MakeSure, band found", Call::MakeSure, true, 7, {}, 0},
    {"MakeSure, band missing, no retries yet", Call::MakeSure, false, 0, {1000}, 1},
    {"MakeSure, band missing, 8 retries before", Call::MakeSure, false, 8, {1000}, 9},
    {"MakeSure, band missing, 9 retries before", Call::MakeSure, false, 9, {}, 10},
    {"MakeSure, band missing, 12 retries before", Call::MakeSure, false, 12, {}, 13},
    {"MakeSure, band missing, the largest count stays", Call::MakeSure, false, 0x7FFFFFFF, {}, 0x7FFFFFFF},
    // A window of another process gets nothing, whatever its band says; the call counts as a miss.
    {"first EnableVesk, toolbar of another process", Call::FirstEnable, true, 3, {}, 3, true},
    {"later EnableVesk, toolbar of another process", Call::LaterEnable, true, 4, {}, 4, true},
    {"MakeSure, toolbar of another process", Call::MakeSure, true, 0, {}, 1, true},
};

TEST_F(EnablerSchedule, EachCallSchedulesAsItsRowSays)
{
    for (const ScheduleCase& c : kScheduleCases) {
        SCOPED_TRACE(c.name);
        sim::ResetThreads();
        sim::AdvanceClock(700);  // the delays count from the call, not from the clock's start
        // Header 40: a found band needs no write, so only the schedule differs between rows.
        HostedToolbar host = MakeHostedToolbar(40);
        if (!c.bandPresent)
            sim::SetWindowParent(host.toolbar, sim::CreateTestWindow());
        if (c.foreignToolbar)
            sim::SetWindowProcess(host.toolbar, sim::kCurrentProcessId + 1);
        // The enabler's whole state, as the row has it.
        m_enabler.m_bFirstCall = c.call != Call::LaterEnable;
        m_enabler.m_nRetries = c.retriesBefore;

        const HRESULT hr = c.call == Call::MakeSure ? MakeSure(host.toolbar) : Enable(host.toolbar);

        EXPECT_EQ(hr, S_OK);
        EXPECT_EQ(StartedDelays(), c.started);
        for (const sim::TimerRecord& timer : sim::Timers())
            EXPECT_EQ(timer.context, host.toolbar) << "a notification is addressed to the toolbar window";
        EXPECT_TRUE(sim::Threads().empty()) << "no thread is started for a notification";
        if (c.foreignToolbar) {
            EXPECT_TRUE(sim::RebarMessages(host.rebar).empty()) << "no band message for a window of another process";
        }
        EXPECT_EQ(m_enabler.m_nRetries, c.retriesAfter);
        EXPECT_EQ(m_enabler.m_bFirstCall, c.call == Call::MakeSure ? TRUE : FALSE);
    }
}

TEST_F(EnablerSchedule, AWindowThatPassesToAnotherProcessBeforeTheDelayEndsGetsNothing)
{
    HostedToolbar host = MakeHostedToolbar(40);
    sim::SetWindowParent(host.toolbar, sim::CreateTestWindow());
    Enable(host.toolbar);
    ASSERT_EQ(StartedDelays().size(), 6u);

    sim::AdvanceClock(1500);
    EXPECT_EQ(sim::PostedMessages(host.toolbar).size(), 2u) << "ours at one second";
    // The handle now names a window of another process, as a reused handle would.
    sim::SetWindowProcess(host.toolbar, sim::kCurrentProcessId + 1);
    EXPECT_EQ(RecheckArrivals(host.toolbar), (Delays{1000, 1000})) << "nothing after it changed hands";
    EXPECT_EQ(sim::LiveThreadpoolTimers(), 0) << "the skipped notifications still end";
}

TEST_F(EnablerSchedule, NullWindowTouchesNoWindowAndStillSchedules)
{
    EXPECT_EQ(Enable(nullptr), S_OK);
    EXPECT_EQ(MakeSure(nullptr), S_OK);

    EXPECT_TRUE(sim::WindowCalls().empty()) << "no window operation for handle 0";
    EXPECT_EQ(StartedDelays(), (Delays{1000, 2000, 1000, 2000, 5000, 10000, 1000}));
    EXPECT_EQ(m_enabler.m_nRetries, 1);
    EXPECT_EQ(RecheckArrivals(nullptr).size(), 7u) << "posted to handle 0 as the platform does";
}

TEST_F(EnablerSchedule, NineRetriesInARowThenNothingUntilTheBandIsFound)
{
    const HostedToolbar host = MakeHostedToolbar(40);
    const HWND elsewhere = sim::CreateTestWindow();
    sim::SetWindowParent(host.toolbar, elsewhere);
    // The timers one MakeSure started.
    const auto started = [&] {
        const size_t before = sim::Timers().size();
        MakeSure(host.toolbar);
        return sim::Timers().size() - before;
    };

    for (int call = 1; call <= 11; ++call)
        EXPECT_EQ(started(), call <= 9 ? 1u : 0u) << "MakeSure call " << call;
    // Failing EnableVesk calls leave the count alone: the next failing MakeSure still starts nothing.
    m_enabler.m_bFirstCall = FALSE;
    Enable(host.toolbar);
    Enable(host.toolbar);
    EXPECT_EQ(m_enabler.m_nRetries, 11);
    EXPECT_EQ(started(), 0u);

    // Found once: the count starts afresh and a later failure schedules again.
    sim::SetWindowParent(host.toolbar, host.bandChild);
    MakeSure(host.toolbar);
    EXPECT_EQ(m_enabler.m_nRetries, 0);
    sim::SetWindowParent(host.toolbar, elsewhere);
    EXPECT_EQ(started(), 1u);
    EXPECT_EQ(m_enabler.m_nRetries, 1);
}

TEST_F(EnablerSchedule, EachObjectStartsWithItsOwnFreshState)
{
    Enable(nullptr);
    Enable(nullptr);
    EXPECT_EQ(sim::Timers().size(), 8u) << "the second call starts no second burst";

    TestEnablerObject second;
    EXPECT_EQ(second.m_nRetries, 0);
    EXPECT_TRUE(second.m_bFirstCall);
    static_cast<IVeskEnabler*>(&second)->EnableVesk(0);
    EXPECT_EQ(sim::Timers().size(), 14u);
}

// --- the library stays loaded while a notification is pending --------------------------------

TEST_F(EnablerSchedule, ANotificationThatCannotHoldTheLibraryIsNotScheduled)
{
    sim::Fail(sim::Op::GetModuleHandleEx, sim::When{}, ERROR_MOD_NOT_FOUND);
    MakeSure(nullptr);
    EXPECT_EQ(sim::ThreadpoolTimersCreated(), 0);
    EXPECT_EQ(sim::LibraryReferences(), 1);
    EXPECT_EQ(m_enabler.m_nRetries, 1) << "the retry is still counted";
}

TEST_F(EnablerSchedule, ATimerThatCannotBeCreatedGivesItsReferenceBackAtOnce)
{
    sim::Fail(sim::Op::CreateThreadpoolTimer, sim::When{0, 2}, ERROR_NOT_ENOUGH_MEMORY);
    Enable(nullptr);
    EXPECT_EQ(StartedDelays(), (Delays{1000, 2000, 5000, 10000})) << "the first two could not be created";
    EXPECT_EQ(sim::Now(), 0u);
    EXPECT_EQ(sim::LibraryReferences(), 1 + 4) << "the two failed ones hold nothing";
    EXPECT_EQ(RecheckArrivals(nullptr), (Delays{1000, 2000, 5000, 10000}));
    EXPECT_EQ(sim::LibraryReferences(), 1);
}

// A first EnableVesk that finds no band, watched step by step on the clock: the call returns at once;
// then what has been posted (to the toolbar, and to no other window), how many references the pending
// notifications hold on the library, and how many timers are still alive.
TEST_F(EnablerSchedule, AFirstEnableWithoutABandPostsSixTimesAndThenLetsTheLibraryGo)
{
    struct Miss { const char* name; void (*arrange)(HostedToolbar& host); };
    const Miss misses[] = {
        {"the toolbar's parent is in no band",
         [](HostedToolbar& host) { sim::SetWindowParent(host.toolbar, sim::CreateTestWindow()); }},
        {"the toolbar is hidden", [](HostedToolbar& host) { sim::SetWindowVisible(host.toolbar, false); }},
        {"no window: posted to handle 0, as the platform does", [](HostedToolbar& host) { host.toolbar = nullptr; }},
    };
    struct Step { const char* name; DWORD at; size_t posted; LONG references; int liveTimers; };
    const Step steps[] = {
        {"all six pending right after the call", 0, 0, 1 + 6, 6},
        {"just before the first delay ends", 999, 0, 1 + 6, 6},
        {"both 1 s notifications posted", 1000, 2, 1 + 4, 4},
        {"nothing more before 2 s", 1999, 2, 1 + 4, 4},
        {"both 2 s notifications posted", 2000, 4, 1 + 2, 2},
        {"the 5 s notification posted", 5000, 5, 1 + 1, 1},
        {"the 10 s one still pending just before", 9999, 5, 1 + 1, 1},
        {"the last posted: the library is back to its own reference", 10000, 6, 1, 0},
    };
    for (const Miss& miss : misses) {
        SCOPED_TRACE(miss.name);
        sim::ResetThreads();
        sim::ResetWindows();
        HostedToolbar host = MakeHostedToolbar(40);
        miss.arrange(host);
        {
            TestEnablerObject* enabler = new TestEnablerObject;
            enabler->AddRef();
            EXPECT_EQ(enabler->EnableVesk(AsInterfaceValue(host.toolbar)), S_OK);
            enabler->Release();  // the caller is gone; the notifications do not need it
        }
        EXPECT_EQ(sim::Now(), 0u) << "the clock has not moved: the caller does not wait for its notifications";
        EXPECT_TRUE(sim::Threads().empty()) << "EnableVesk created no thread";
        EXPECT_EQ(sim::ThreadpoolTimersCreated(), 6);
        for (const Step& step : steps) {
            SCOPED_TRACE(step.name);
            sim::AdvanceClock(step.at - sim::Now());
            EXPECT_EQ(sim::PostedMessages(host.toolbar).size(), step.posted);
            EXPECT_EQ(sim::AllPostedMessages().size(), step.posted) << "posted to another window";
            EXPECT_EQ(sim::LibraryReferences(), step.references);
            EXPECT_EQ(sim::LiveThreadpoolTimers(), step.liveTimers);
        }
        EXPECT_EQ(RecheckArrivals(host.toolbar), (Delays{1000, 1000, 2000, 2000, 5000, 10000}));
        for (const sim::TimerRecord& timer : sim::Timers()) {
            EXPECT_EQ(timer.firings, 1) << "timer " << timer.sequence;
            EXPECT_EQ(timer.closes, 1) << "timer " << timer.sequence << " is closed once, by its callback";
            EXPECT_EQ(timer.usesAfterClose, 0) << "timer " << timer.sequence;
        }
        EXPECT_TRUE(sim::Threads().empty());
    }
}

}  // namespace
