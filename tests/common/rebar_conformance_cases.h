// What the enabler relies on from a rebar control, stated once. The native unit tests run these
// cases against the simulated rebar and the windows system tests against comctl32's under Wine, so
// the simulation cannot drift from the real control.
//
// Include this after defining a gtest fixture `RebarConformance` with:
//   HWND Rebar() const;                 a rebar with no band yet
//   HWND AppendBand(UINT cxHeader);     appends a band with that header; returns the band's child
//   HWND PlainWindow();                 a visible window that is no rebar
#pragma once

#include <gtest/gtest.h>

#include "platform/win32.h"

namespace rebar_conformance {

// The record up to and including cxHeader, as the enabler sends it: 80 bytes on 32-bit Windows, 108
// where handles and pointers are 64 bits wide.
const UINT kRecordSize = REBARBANDINFOW_V6_SIZE;
constexpr UINT kUntouchedHeader = 0xA5A5A5A5u;
inline HWND UntouchedChild() { return reinterpret_cast<HWND>(static_cast<LONG_PTR>(0x5A5A0)); }

struct ReadCase {
    const char* name;
    UINT cbSize;
    UINT fMask;
    bool beyondLastBand;  // reads index == band count instead of band 1
    bool succeeds;
    bool fillsChild;
    bool fillsHeader;
};

const ReadCase kReadCases[] = {
    {"record up to cxHeader with child and header mask fills both", kRecordSize, RBBIM_CHILD | RBBIM_HEADERSIZE, false, true,
     true, true},
    {"child-only mask leaves the header alone", kRecordSize, RBBIM_CHILD, false, true, true, false},
    {"header-only mask leaves the child alone", kRecordSize, RBBIM_HEADERSIZE, false, true, false, true},
    {"record too short for cxHeader fills the child only", REBARBANDINFOW_V3_SIZE, RBBIM_CHILD | RBBIM_HEADERSIZE,
     false, true, true, false},
    {"record shorter than the oldest layout is refused", 8, RBBIM_CHILD | RBBIM_HEADERSIZE, false, false, false,
     false},
    {"index beyond the last band is refused", kRecordSize, RBBIM_CHILD | RBBIM_HEADERSIZE, true, false, false, false},
};

struct WriteCase {
    const char* name;
    UINT cbSize;
    UINT fMask;
    UINT headerAfter;  // as read back through a record up to cxHeader; the band starts at 10
};

const WriteCase kWriteCases[] = {
    {"record up to cxHeader with header mask sets the header", kRecordSize, RBBIM_HEADERSIZE, 32},
    {"record too short for cxHeader leaves the header", REBARBANDINFOW_V3_SIZE, RBBIM_HEADERSIZE, 10},
    {"mask without the header leaves the header", kRecordSize, 0, 10},
};

inline UINT ReadHeader(HWND rebar, WPARAM index)
{
    REBARBANDINFOW band = {};
    band.cbSize = kRecordSize;
    band.fMask = RBBIM_HEADERSIZE;
    band.cxHeader = kUntouchedHeader;
    SendMessageW(rebar, RB_GETBANDINFOW, index, reinterpret_cast<LPARAM>(&band));
    return band.cxHeader;
}

}  // namespace rebar_conformance

TEST_F(RebarConformance, BandCountAnswersTheNumberOfBands)
{
    EXPECT_EQ(SendMessageW(Rebar(), RB_GETBANDCOUNT, 0, 0), 0);
    AppendBand(10);
    AppendBand(40);
    EXPECT_EQ(SendMessageW(Rebar(), RB_GETBANDCOUNT, 0, 0), 2);
}

TEST_F(RebarConformance, BandReadFillsOnlyWhatMaskAndRecordHold)
{
    using namespace rebar_conformance;
    for (const ReadCase& row : kReadCases) {
        SCOPED_TRACE(row.name);
        AppendBand(10);
        const HWND child = AppendBand(40);
        const LRESULT count = SendMessageW(Rebar(), RB_GETBANDCOUNT, 0, 0);
        REBARBANDINFOW band = {};
        band.cbSize = row.cbSize;
        band.fMask = row.fMask;
        band.hwndChild = UntouchedChild();
        band.cxHeader = kUntouchedHeader;
        const WPARAM index = static_cast<WPARAM>(row.beyondLastBand ? count : count - 1);
        const LRESULT result = SendMessageW(Rebar(), RB_GETBANDINFOW, index, reinterpret_cast<LPARAM>(&band));
        EXPECT_EQ(result != 0, row.succeeds);
        EXPECT_EQ(band.hwndChild, row.fillsChild ? child : UntouchedChild());
        EXPECT_EQ(band.cxHeader, row.fillsHeader ? 40u : kUntouchedHeader);
        EXPECT_EQ(band.cbSize, row.cbSize) << "the rebar must not change the record's size";
    }
}

TEST_F(RebarConformance, BandWriteAppliesHeaderOnlyThroughALongEnoughRecord)
{
    using namespace rebar_conformance;
    for (const WriteCase& row : kWriteCases) {
        SCOPED_TRACE(row.name);
        const HWND first = AppendBand(10);
        const HWND second = AppendBand(10);
        const WPARAM index = static_cast<WPARAM>(SendMessageW(Rebar(), RB_GETBANDCOUNT, 0, 0)) - 1;
        REBARBANDINFOW band = {};
        band.cbSize = row.cbSize;
        band.fMask = row.fMask;
        band.cxHeader = 32;
        SendMessageW(Rebar(), RB_SETBANDINFOW, index, reinterpret_cast<LPARAM>(&band));
        EXPECT_EQ(ReadHeader(Rebar(), index), row.headerAfter);
        EXPECT_EQ(ReadHeader(Rebar(), index - 1), 10u) << "the band before is not touched";

        REBARBANDINFOW children = {};
        children.cbSize = kRecordSize;
        children.fMask = RBBIM_CHILD;
        SendMessageW(Rebar(), RB_GETBANDINFOW, index, reinterpret_cast<LPARAM>(&children));
        EXPECT_EQ(children.hwndChild, second) << "a header write keeps the band's child";
        SendMessageW(Rebar(), RB_GETBANDINFOW, index - 1, reinterpret_cast<LPARAM>(&children));
        EXPECT_EQ(children.hwndChild, first);
    }
}

// The enabler sends the count query to whatever window holds the toolbar's parent; one that is no
// rebar must answer 0, so that the band counts as missing.
TEST_F(RebarConformance, BandCountOfAWindowThatIsNoRebarIsZero)
{
    EXPECT_EQ(SendMessageW(PlainWindow(), RB_GETBANDCOUNT, 0, 0), 0);
}

TEST_F(RebarConformance, BandMessagesToNoWindowAnswerZero)
{
    REBARBANDINFOW band = {};
    band.cbSize = rebar_conformance::kRecordSize;
    band.fMask = RBBIM_CHILD | RBBIM_HEADERSIZE;
    EXPECT_EQ(SendMessageW(nullptr, RB_GETBANDCOUNT, 0, 0), 0);
    EXPECT_EQ(SendMessageW(nullptr, RB_GETBANDINFOW, 0, reinterpret_cast<LPARAM>(&band)), 0);
}
