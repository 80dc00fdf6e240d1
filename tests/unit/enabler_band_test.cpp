// The messages the enabler sends the rebar, exactly: one read per band up to the match, a single
// write for a narrow header, nothing after the write, and nothing at all when there is no band.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "enabler_test_support.h"
#include "sim_fixture.h"
#include "this_build.h"

namespace {

class EnablerBand : public DetachedPlatformTest {
protected:
    TestEnablerObject m_enabler;

    void Enable(HWND toolbar) { static_cast<IVeskEnabler*>(&m_enabler)->EnableVesk(AsInterfaceValue(toolbar)); }
    void MakeSure(HWND toolbar) { static_cast<IVeskEnabler*>(&m_enabler)->MakeSure(AsInterfaceValue(toolbar)); }
};

// "count", "get N", "set N=W": the rebar's log in a form a failure message shows at a glance.
std::string Describe(const std::vector<sim::RebarMessage>& log)
{
    std::string text;
    for (const sim::RebarMessage& m : log) {
        if (!text.empty())
            text += ", ";
        switch (m.message) {
        case RB_GETBANDCOUNT: text += "count"; break;
        case RB_GETBANDINFOW: text += "get " + std::to_string(m.wParam); break;
        case RB_SETBANDINFOW: text += "set " + std::to_string(m.wParam) + "=" + std::to_string(m.cxHeader); break;
        default: text += "message " + std::to_string(m.message); break;
        }
    }
    return text;
}

struct BandCase {
    const char* name;
    UINT header;
    int before;
    int after;
    const char* messages;
    UINT headerAfter;
    bool highHandles = false;  // every window's handle at or above 0x80000000, as a script holds it in 32 bits
};

const BandCase kBandCases[] = {
    {"header 31 is widened", 31, 0, 0, "count, get 0, set 0=32", 32},
    {"header 0 is widened", 0, 0, 0, "count, get 0, set 0=32", 32},
    {"header 10 in the middle: no read after the write", 10, 2, 2, "count, get 0, get 1, get 2, set 2=32", 32},
    {"header 32 is left alone", 32, 0, 0, "count, get 0", 32},
    {"a wide match does not stop the scan", 40, 1, 2, "count, get 0, get 1, get 2, get 3", 40},
    {"a width read as negative is huge, not narrow", 0xFFFFFFF0u, 0, 1, "count, get 0, get 1", 0xFFFFFFF0u},
    {"a handle with its top bit set is sign-extended, and found", 10, 0, 0, "count, get 0, set 0=32", 32, true},
};

TEST_F(EnablerBand, SendsExactlyTheMessagesOfItsRow)
{
    for (const BandCase& c : kBandCases) {
        SCOPED_TRACE(c.name);
        sim::ResetWindows();
        if (c.highHandles)
            sim::NumberWindowsFrom(0x80000010u);
        HostedToolbar host = MakeHostedToolbar(c.header, c.before, c.after);
        m_enabler.m_nRetries = 5;
        MakeSure(host.toolbar);

        const std::vector<sim::RebarMessage> log = sim::RebarMessages(host.rebar);
        EXPECT_EQ(Describe(log), c.messages);
        EXPECT_EQ(sim::BandHeader(host.rebar, c.before), c.headerAfter);
        EXPECT_EQ(m_enabler.m_nRetries, 0) << "a found band resets the retries";
        for (const sim::RebarMessage& m : log) {
            if (m.message == RB_GETBANDINFOW) {
                EXPECT_EQ(m.cbSize, vesk_test::kBandRecordBytes);
                EXPECT_EQ(m.fMask, static_cast<UINT>(RBBIM_CHILD | RBBIM_HEADERSIZE));
            } else if (m.message == RB_SETBANDINFOW) {
                EXPECT_EQ(m.cbSize, vesk_test::kBandRecordBytes);
                EXPECT_EQ(m.fMask, static_cast<UINT>(RBBIM_HEADERSIZE));
            }
        }
    }
}

// The record the rows expect is the platform's up to the header width, which the simulated rebar
// lays out as the platform does: the header's field ends at 80 bytes (108 in 64 bits), before the
// chevron fields.
TEST_F(EnablerBand, TheBandRecordIsTheRecordUpToTheHeaderWidth)
{
    EXPECT_EQ(REBARBANDINFOW_V6_SIZE, vesk_test::kBandRecordBytes);
    EXPECT_LT(vesk_test::kBandRecordBytes, sizeof(REBARBANDINFOW)) << "not the layout with the chevron fields";
}

// Toolbars the enabler does not find, each made from a toolbar in the band of a 10-pixel header.
struct MissCase {
    const char* name;
    void (*arrange)(HostedToolbar& h);
    const char* messages;
    const char* neverCalled = "";  // a window function the search must not reach, if any
};

const MissCase kMissCases[] = {
    {"an invisible toolbar: its parent is never asked",
     [](HostedToolbar& h) { sim::SetWindowVisible(h.toolbar, false); }, "", "GetParent"},
    {"zero bands", [](HostedToolbar& h) { sim::OverrideBandCount(h.rebar, 0); }, "count"},
    {"negative count", [](HostedToolbar& h) { sim::OverrideBandCount(h.rebar, -3); }, "count"},
    {"failed query: the rebar receives nothing",
     [](HostedToolbar&) { sim::Fail(sim::Op::SendMessage, sim::When{}, ERROR_INVALID_WINDOW_HANDLE); }, ""},
    {"a failed band read fills no record, which matches no band",
     [](HostedToolbar&) { sim::Fail(sim::Op::SendMessage, sim::When{1}, ERROR_INVALID_WINDOW_HANDLE); }, "count"},
    {"a top-level toolbar", [](HostedToolbar& h) { h.toolbar = sim::CreateTestWindow(); }, ""},
    // The toolbar's parent is a child of the rebar, but no band holds it.
    {"a band whose child is another window is not ours",
     [](HostedToolbar& h) { sim::SetWindowParent(h.toolbar, sim::CreateTestWindow(h.rebar)); },
     "count, get 0"},
};

TEST_F(EnablerBand, AToolbarNotFoundKeepsEveryHeaderAndCountsARetry)
{
    for (const MissCase& c : kMissCases) {
        SCOPED_TRACE(c.name);
        sim::ResetWindows();
        HostedToolbar host = MakeHostedToolbar(10);
        c.arrange(host);
        m_enabler.m_nRetries = 0;
        MakeSure(host.toolbar);
        EXPECT_EQ(Describe(sim::RebarMessages(host.rebar)), c.messages);
        EXPECT_EQ(sim::BandHeader(host.rebar, 0), 10u);
        EXPECT_EQ(m_enabler.m_nRetries, 1);
        for (const sim::WindowCall& call : sim::WindowCalls()) {
            EXPECT_TRUE(std::strcmp(call.function, "SendMessageW") != 0 || call.hwnd == host.rebar)
                << "a message to a window that is no rebar";
            EXPECT_STRNE(call.function, c.neverCalled);
        }
    }
}

TEST_F(EnablerBand, ARebarOfAnotherProcessGetsNoBandMessage)
{
    HostedToolbar host = MakeHostedToolbar(10, 0, 0, sim::kCurrentProcessId + 1);
    Enable(host.toolbar);

    EXPECT_TRUE(sim::RebarMessages(host.rebar).empty()) << "its band records would point into our memory";
    EXPECT_EQ(sim::BandHeader(host.rebar, 0), 10u);
    // Not found: the two re-checks of a missing band, then the first call's four.
    EXPECT_EQ(StartedDelays(), (std::vector<DWORD>{1000, 2000, 1000, 2000, 5000, 10000}));
}

TEST_F(EnablerBand, BothMethodsAlwaysSucceed)
{
    HostedToolbar host = MakeHostedToolbar(10);
    IVeskEnabler* object = &m_enabler;
    const LONG values[] = {0, AsInterfaceValue(host.toolbar), AsInterfaceValue(host.rebar), -1, 12345};
    for (LONG value : values) {
        EXPECT_EQ(object->EnableVesk(value), S_OK) << value;
        EXPECT_EQ(object->MakeSure(value), S_OK) << value;
    }
}

}  // namespace
