// The enabler against a real frame, a real comctl32 rebar and a real toolbar window under Wine:
// the band messages the rebar receives, the headers it ends up with, and the re-check messages
// that reach the toolbar.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "real_windows.h"
#include "test_enabler_object.h"
#include "this_build.h"

namespace {

using vesk_test::EnablerReference;
using vesk_test::InterfaceValue;
using vesk_test::kBandRecordBytes;
using vesk_test::LoggedBandMessage;
using vesk_test::RealRebarFrame;

constexpr int kNoBand = -1;

struct BandLayoutCase {
    const char* name;
    std::vector<UINT> headers;  // the bands, in order, with the header each is inserted with
    int toolbarBand;            // the band holding the toolbar's parent; kNoBand: a stray child of the rebar
    int widenedBand;            // the band that must receive RB_SETBANDINFOW; kNoBand: none
    int lastBandRead;           // the last index the enabler must read; kNoBand: no band message at all
    bool byMakeSure = false;    // MakeSure is called, not EnableVesk
    bool hidden = false;        // the toolbar window is hidden first
};

const BandLayoutCase kBandLayoutCases[] = {
    {"narrow header 10 widened to 32", {10}, 0, 0, 0},
    {"header 31 widened to 32", {31}, 0, 0, 0},
    {"header 32 left alone", {32}, 0, kNoBand, 0},
    {"header 40 left alone", {40}, 0, kNoBand, 0},
    {"toolbar's band after a wide one widened, later band not read", {40, 10, 10}, 1, 1, 1},
    {"wide toolbar band does not end the scan, nothing written", {10, 40, 10}, 1, kNoBand, 2},
    {"band child not the toolbar's parent: every band read, nothing written", {10, 10}, kNoBand, kNoBand, 1},
    {"MakeSure widens the band as EnableVesk does", {10}, 0, 0, 0, true},
    {"a hidden toolbar gets no band message", {10}, 0, kNoBand, kNoBand, false, true},
};

std::string Describe(const std::vector<LoggedBandMessage>& log)
{
    std::string text;
    for (const LoggedBandMessage& m : log) {
        text += m.message == RB_GETBANDCOUNT   ? "count"
                : m.message == RB_GETBANDINFOW ? "get" + std::to_string(m.index)
                : m.message == RB_SETBANDINFOW ? "set" + std::to_string(m.index)
                                               : "msg" + std::to_string(m.message);
        text += ' ';
    }
    return text;
}

std::string Expected(const BandLayoutCase& row)
{
    if (row.lastBandRead == kNoBand)
        return "";
    std::string text = "count ";
    for (int i = 0; i <= row.lastBandRead; ++i)
        text += "get" + std::to_string(i) + ' ';
    if (row.widenedBand != kNoBand)
        text += "set" + std::to_string(row.widenedBand) + ' ';
    return text;
}

// A frame whose rebar holds bands as a row describes, with the toolbar window inside the band
// child (or inside a window of the rebar that no band holds).
struct ToolbarInRebar {
    RealRebarFrame frame;
    HWND toolbar = nullptr;

    explicit ToolbarInRebar(const BandLayoutCase& row)
    {
        HWND toolbarParent = nullptr;
        for (size_t i = 0; i < row.headers.size(); ++i) {
            const HWND child = frame.CreateBandChild();
            frame.InsertBand(child, row.headers[i]);
            if (static_cast<int>(i) == row.toolbarBand)
                toolbarParent = child;
        }
        if (!toolbarParent)
            toolbarParent = frame.CreateBandChild(frame.Rebar());
        toolbar = vesk_test::CreateToolbarWindow(toolbarParent);
    }
};

TEST(RealRebarEnabler, WidensOnlyTheToolbarsNarrowBand)
{
    for (const BandLayoutCase& row : kBandLayoutCases) {
        SCOPED_TRACE(row.name);
        ToolbarInRebar setup(row);
        ASSERT_NE(setup.toolbar, nullptr);
        ASSERT_TRUE(IsWindowVisible(setup.toolbar));
        for (size_t i = 0; i < row.headers.size(); ++i)
            ASSERT_EQ(setup.frame.ReadHeader(i), row.headers[i]) << "the rebar keeps the header it was given";
        if (row.hidden)
            ShowWindow(setup.toolbar, SW_HIDE);
        setup.frame.StartLogging();

        EnablerReference<TestEnablerObject> enabler;
        const LONG toolbar = InterfaceValue(setup.toolbar);
        EXPECT_EQ(row.byMakeSure ? enabler->MakeSure(toolbar) : enabler->EnableVesk(toolbar), S_OK);

        const std::vector<LoggedBandMessage>& log = setup.frame.Log();
        EXPECT_EQ(Describe(log), Expected(row));
        for (const LoggedBandMessage& m : log) {
            if (m.message == RB_GETBANDINFOW) {
                EXPECT_EQ(m.cbSize, kBandRecordBytes);
                EXPECT_EQ(m.fMask, static_cast<UINT>(RBBIM_CHILD | RBBIM_HEADERSIZE));
            } else if (m.message == RB_SETBANDINFOW) {
                EXPECT_EQ(m.cbSize, kBandRecordBytes);
                EXPECT_EQ(m.fMask, static_cast<UINT>(RBBIM_HEADERSIZE));
                EXPECT_EQ(m.cxHeader, 32u);
            }
        }
        for (size_t i = 0; i < row.headers.size(); ++i) {
            const UINT expected = static_cast<int>(i) == row.widenedBand ? 32u : row.headers[i];
            EXPECT_EQ(setup.frame.ReadHeader(i), expected) << "band " << i;
        }
    }
}

// The message arrives on the toolbar's own thread, through its queue, a second after the call: before
// a notice of the test's own due half a second later on the same thread pool, which delivers its
// timers in the order they come due however late a loaded machine makes them.
TEST(RealRebarEnabler, RecheckReachesTheToolbarOneSecondAfterEnableVesk)
{
    ToolbarInRebar setup(kBandLayoutCases[0]);
    EnablerReference<TestEnablerObject> enabler;
    const DWORD start = GetTickCount();
    ASSERT_TRUE(vesk_test::StartReferenceNotice(setup.toolbar, 1500));
    enabler->EnableVesk(InterfaceValue(setup.toolbar));

    const bool arrived = vesk_test::PumpMessagesUntil(
        1500 + vesk_test::kRecheckMarginMs, [&] { return !vesk_test::RecheckArrivals(setup.toolbar).empty(); });
    ASSERT_TRUE(arrived) << "no WM_RECHECK_BAND at all";
    const vesk_test::RecheckArrival first = vesk_test::RecheckArrivals(setup.toolbar).front();
    EXPECT_GE(first.tick - start, 700u);
    EXPECT_EQ(first.wParam, 0u) << "the test's own notice, due at 1.5 s, came first";
    EXPECT_EQ(first.lParam, 0);
}

// Not found on the first call: the pair for the missing band and the first-call burst both start
// with a one-second notification, so two arrive together and the next only a second later.
TEST(RealRebarEnabler, FirstEnableVeskWithoutBandSendsTwoRechecksAtOneSecond)
{
    RealRebarFrame frame;
    const HWND toolbar = vesk_test::CreateToolbarWindow(frame.CreateBandChild());
    EnablerReference<TestEnablerObject> enabler;
    const DWORD start = GetTickCount();
    enabler->EnableVesk(InterfaceValue(toolbar));

    const bool arrived =
        vesk_test::PumpMessagesUntil(4000, [&] { return vesk_test::RecheckArrivals(toolbar).size() >= 2; });
    ASSERT_TRUE(arrived) << "fewer than two WM_RECHECK_BAND within 4 s";
    const std::vector<vesk_test::RecheckArrival> arrivals = vesk_test::RecheckArrivals(toolbar);
    EXPECT_GE(arrivals[0].tick - start, 700u);
    EXPECT_LT(arrivals[1].tick - arrivals[0].tick, 500u) << "the two one-second notifications arrive together";
    EXPECT_EQ(SendMessageW(frame.Rebar(), RB_GETBANDCOUNT, 0, 0), 0) << "nothing was inserted meanwhile";
}

// A toolbar that answers each re-check with MakeSure has its band widened once the band exists.
TEST(RealRebarEnabler, MakeSureOnRecheckWidensTheBandInsertedLater)
{
    RealRebarFrame frame;
    const HWND bandChild = frame.CreateBandChild();
    EnablerReference<TestEnablerObject> enabler;
    IVeskEnabler* answering = nullptr;
    const HWND toolbar = vesk_test::CreateToolbarWindow(bandChild, [&](HWND window, const vesk_test::RecheckArrival&) {
        if (answering)
            answering->MakeSure(InterfaceValue(window));
    });
    answering = enabler.Get();
    enabler->EnableVesk(InterfaceValue(toolbar));
    EXPECT_EQ(SendMessageW(frame.Rebar(), RB_GETBANDCOUNT, 0, 0), 0);

    ASSERT_TRUE(frame.InsertBand(bandChild, 10));
    ASSERT_EQ(GetParent(bandChild), frame.Rebar()) << "the rebar takes the band's child as its own";
    const bool widened = vesk_test::PumpMessagesUntil(4000, [&] { return frame.ReadHeader(0) == 32; });
    EXPECT_TRUE(widened) << "the header is still " << frame.ReadHeader(0);
    EXPECT_FALSE(vesk_test::RecheckArrivals(toolbar).empty());
    answering = nullptr;
}

}  // namespace
