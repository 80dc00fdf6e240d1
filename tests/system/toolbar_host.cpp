// A toolbar host for watching the enabler at work: a frame with a real rebar, a toolbar window in
// (or not yet in) a band, and the enabler called as a browser toolbar calls it. It prints what the
// rebar receives and when the re-check messages arrive, and fails when the band does not end up
// at least 32 pixels wide.
#include <cstdarg>
#include <cstdio>
#include <string>
#include <vector>

#include "real_windows.h"
#include "test_enabler_object.h"

namespace {

using vesk_test::LoggedBandMessage;
using vesk_test::RealRebarFrame;

DWORD g_start = 0;

void Trace(const char* format, ...)
{
    char text[512];
    va_list args;
    va_start(args, format);
    std::vsnprintf(text, sizeof(text), format, args);
    va_end(args);
    const DWORD elapsed = GetTickCount() - g_start;
    std::printf("[%3lu.%03lu s] %s\n", static_cast<unsigned long>(elapsed / 1000),
                static_cast<unsigned long>(elapsed % 1000), text);
    std::fflush(stdout);
}

void Heading(const char* text)
{
    std::printf("\n== %s ==\n", text);
    std::fflush(stdout);
}

std::string DescribeMessage(const LoggedBandMessage& m)
{
    char text[128];
    if (m.message == RB_GETBANDCOUNT)
        std::snprintf(text, sizeof(text), "RB_GETBANDCOUNT");
    else if (m.message == RB_GETBANDINFOW)
        std::snprintf(text, sizeof(text), "RB_GETBANDINFOW(band %u, cbSize %u, fMask 0x%04X)",
                      static_cast<unsigned>(m.index), m.cbSize, m.fMask);
    else if (m.message == RB_SETBANDINFOW)
        std::snprintf(text, sizeof(text), "RB_SETBANDINFOW(band %u, cbSize %u, fMask 0x%04X, cxHeader %u)",
                      static_cast<unsigned>(m.index), m.cbSize, m.fMask, m.cxHeader);
    else
        std::snprintf(text, sizeof(text), "message %u", m.message);
    return text;
}

// Prints the band messages the enabler just sent, then forgets them.
void TraceBandMessages(RealRebarFrame& frame)
{
    if (frame.Log().empty())
        Trace("    rebar received no band message");
    for (const LoggedBandMessage& m : frame.Log())
        Trace("    rebar received %s", DescribeMessage(m).c_str());
    frame.ClearLog();
}

unsigned long Handle(HWND window) { return static_cast<unsigned long>(reinterpret_cast<ULONG_PTR>(window)); }

bool Check(bool condition, const char* what)
{
    Trace("%s: %s", condition ? "OK  " : "FAIL", what);
    return condition;
}

// A band already in the rebar with a header too narrow: one EnableVesk widens it at once.
bool NarrowBandWidenedAtOnce()
{
    Heading("Scenario A: the toolbar's band is there, its header only 10 px wide");
    RealRebarFrame frame;
    const HWND bandChild = frame.CreateBandChild();
    frame.InsertBand(bandChild, 10);
    const HWND toolbar = vesk_test::CreateToolbarWindow(bandChild);
    Trace("frame %#lx, rebar %#lx, band 0 holds window %#lx, toolbar window %#lx inside it", Handle(frame.Frame()),
          Handle(frame.Rebar()), Handle(bandChild), Handle(toolbar));
    const UINT before = frame.ReadHeader(0);
    Trace("band 0 header before: %u px", before);

    vesk_test::EnablerReference<TestEnablerObject> enabler;
    frame.StartLogging();
    Trace("toolbar calls EnableVesk(%#lx)", Handle(toolbar));
    enabler->EnableVesk(vesk_test::InterfaceValue(toolbar));
    TraceBandMessages(frame);
    const UINT after = frame.ReadHeader(0);
    Trace("band 0 header after:  %u px", after);
    frame.ClearLog();

    bool passed = Check(before == 10, "the band started 10 px wide");
    passed &= Check(after == 32, "EnableVesk left the header at 32 px");
    return passed;
}

// The toolbar exists before its band: the enabler finds nothing and keeps sending WM_RECHECK_BAND;
// the toolbar answers each with MakeSure, and once the host has inserted the band the next
// MakeSure widens it.
bool BandInsertedLater()
{
    Heading("Scenario B: the toolbar is created before its band exists");
    constexpr DWORD kInsertAfterMs = 2500;
    constexpr DWORD kWatchForMs = 11000;

    RealRebarFrame frame;
    frame.StartLogging();
    const HWND bandChild = frame.CreateBandChild();
    vesk_test::EnablerReference<TestEnablerObject> enabler;
    IVeskEnabler* answering = nullptr;
    int rechecks = 0;
    int rechecksBeforeBand = 0;
    bool bandInserted = false;
    UINT headerAfterFirstAnswer = 0;
    bool answeredSinceInsert = false;

    const HWND toolbar = vesk_test::CreateToolbarWindow(bandChild, [&](HWND window, const vesk_test::RecheckArrival&) {
        ++rechecks;
        if (!bandInserted)
            ++rechecksBeforeBand;
        Trace("WM_RECHECK_BAND (3037) #%d arrived at the toolbar; it answers with MakeSure", rechecks);
        frame.ClearLog();
        if (answering)
            answering->MakeSure(vesk_test::InterfaceValue(window));
        TraceBandMessages(frame);
        if (bandInserted) {
            const UINT header = frame.ReadHeader(0);
            frame.ClearLog();
            Trace("    band 0 header now %u px", header);
            if (!answeredSinceInsert)
                headerAfterFirstAnswer = header;
            answeredSinceInsert = true;
        } else {
            const LONG failures = enabler.State().m_nRetries;
            Trace("    band not found: window %#lx is in no band yet; MakeSure failures in a row: %ld%s",
                  Handle(bandChild), static_cast<long>(failures),
                  failures < kRetryLimit ? ", next re-check in 1 s" : ", no further re-check");
        }
    });
    answering = enabler.Get();
    g_start = GetTickCount();
    Trace("clock restarts; toolbar window %#lx sits in window %#lx, which no band holds (rebar has %ld bands)",
          Handle(toolbar), Handle(bandChild), static_cast<long>(frame.BandCount()));
    frame.ClearLog();

    Trace("toolbar calls EnableVesk(%#lx): first call, band missing", Handle(toolbar));
    enabler->EnableVesk(vesk_test::InterfaceValue(toolbar));
    TraceBandMessages(frame);
    Trace("    re-checks due at 1 s and 2 s (band missing) and at 1, 2, 5 and 10 s (first call)");

    vesk_test::PumpMessagesFor(kInsertAfterMs);
    frame.InsertBand(bandChild, 10);
    frame.ClearLog();
    bandInserted = true;
    Trace("host inserts band 0 holding window %#lx, header %u px", Handle(bandChild), frame.ReadHeader(0));
    frame.ClearLog();

    vesk_test::PumpMessagesFor(kWatchForMs - (GetTickCount() - g_start));
    Trace("%d re-checks arrived in %lu s", rechecks, static_cast<unsigned long>(kWatchForMs / 1000));
    answering = nullptr;

    bool passed = Check(rechecksBeforeBand >= 2, "re-checks arrived while the band was missing");
    passed &= Check(headerAfterFirstAnswer == 32, "the first MakeSure after the insertion widened the band to 32 px");
    passed &= Check(frame.ReadHeader(0) == 32, "the band is 32 px wide at the end");
    return passed;
}

}  // namespace

int main()
{
    g_start = GetTickCount();
    std::printf("Vesk toolbar host: the enabler against a real rebar control (comctl32)\n");
    bool passed = NarrowBandWidenedAtOnce();
    passed &= BandInsertedLater();
    std::printf("\n%s\n", passed ? "toolbar host: all scenarios passed" : "toolbar host: a scenario FAILED");
    return passed ? 0 : 1;
}
