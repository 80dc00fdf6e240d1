// The demo's toolbar host: the registered Vesk.dll, created by its ProgID and called by name
// through IDispatch, as a browser toolbar uses it, against a real rebar. Three scenarios: a narrow
// band widened at once; a band that appears only later, found by answering the re-checks with
// MakeSure; a band that never appears, where the re-checks stop after nine; and the toolbar's own
// JScript, run in this process by the platform's engine. Fails when a scenario does not turn out so.
#include <cstdarg>
#include <cstdio>
#include <string>
#include <vector>

#include "child_process.h"
#include "real_windows.h"
#include "script_engine.h"

namespace {

using vesk_test::LoggedBandMessage;
using vesk_test::RealRebarFrame;
using vesk_test::RecheckArrival;

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
    g_start = GetTickCount();
}

unsigned long Handle(HWND window) { return static_cast<unsigned long>(reinterpret_cast<ULONG_PTR>(window)); }

bool Check(bool condition, const char* what)
{
    Trace("%s: %s", condition ? "OK  " : "FAIL", what);
    return condition;
}

void TraceBandMessages(RealRebarFrame& frame)
{
    for (const LoggedBandMessage& m : frame.Log()) {
        if (m.message == RB_GETBANDCOUNT)
            Trace("    rebar <- RB_GETBANDCOUNT");
        else if (m.message == RB_GETBANDINFOW)
            Trace("    rebar <- RB_GETBANDINFOW(band %u)", static_cast<unsigned>(m.index));
        else if (m.message == RB_SETBANDINFOW)
            Trace("    rebar <- RB_SETBANDINFOW(band %u, cxHeader %u)  <-- the band is widened",
                  static_cast<unsigned>(m.index), m.cxHeader);
    }
    if (frame.Log().empty())
        Trace("    rebar <- nothing (the toolbar's parent is in no band of a rebar)");
    frame.ClearLog();
}

// The registered enabler, reached only through IDispatch by the methods' names.
class RegisteredEnabler {
public:
    RegisteredEnabler()
    {
        CLSID found = {};
        m_hr = CLSIDFromProgID(L"Vesk.VeskEnabler.1", &found);
        if (SUCCEEDED(m_hr))
            m_hr = CoCreateInstance(found, nullptr, CLSCTX_INPROC_SERVER, IID_IDispatch,
                                    reinterpret_cast<void**>(&m_dispatch));
        if (SUCCEEDED(m_hr)) {
            m_enable = Lookup(L"EnableVesk");
            m_makeSure = Lookup(L"MakeSure");
        }
    }
    ~RegisteredEnabler()
    {
        if (m_dispatch)
            m_dispatch->Release();
    }
    RegisteredEnabler(const RegisteredEnabler&) = delete;
    RegisteredEnabler& operator=(const RegisteredEnabler&) = delete;

    bool Ready() const { return m_dispatch && m_enable != DISPID_UNKNOWN && m_makeSure != DISPID_UNKNOWN; }
    HRESULT Status() const { return m_hr; }
    HRESULT EnableVesk(HWND window) { return Call(L"EnableVesk", m_enable, window); }
    HRESULT MakeSure(HWND window) { return Call(L"MakeSure", m_makeSure, window); }

private:
    DISPID Lookup(const wchar_t* name)
    {
        LPOLESTR names[] = {const_cast<LPOLESTR>(name)};
        DISPID dispid = DISPID_UNKNOWN;
        const HRESULT hr = m_dispatch->GetIDsOfNames(IID_NULL, names, 1, LOCALE_USER_DEFAULT, &dispid);
        if (FAILED(hr)) {
            m_hr = hr;
            return DISPID_UNKNOWN;
        }
        return dispid;
    }
    HRESULT Call(const wchar_t* name, DISPID dispid, HWND window)
    {
        VARIANT argument;
        VariantInit(&argument);
        argument.vt = VT_I4;
        argument.lVal = vesk_test::InterfaceValue(window);
        DISPPARAMS parameters = {&argument, nullptr, 1, 0};
        const HRESULT hr = m_dispatch->Invoke(dispid, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_METHOD, &parameters,
                                              nullptr, nullptr, nullptr);
        char narrow[32] = {};
        for (int i = 0; name[i] && i < 31; ++i)
            narrow[i] = static_cast<char>(name[i]);
        Trace("toolbar -> IDispatch::Invoke %s (DISPID %ld) hWnd %#lx: 0x%08lX", narrow, static_cast<long>(dispid),
              Handle(window), static_cast<unsigned long>(hr));
        return hr;
    }

    IDispatch* m_dispatch = nullptr;
    DISPID m_enable = DISPID_UNKNOWN;
    DISPID m_makeSure = DISPID_UNKNOWN;
    HRESULT m_hr = E_FAIL;
};

bool NarrowBandWidenedAtOnce()
{
    Heading("A: the toolbar's band is in the rebar, its header 10 px wide");
    RealRebarFrame frame;
    const HWND bandChild = frame.CreateBandChild();
    frame.InsertBand(bandChild, 10);
    const HWND toolbar = vesk_test::CreateToolbarWindow(bandChild);
    const UINT before = frame.ReadHeader(0);
    Trace("rebar %#lx, band 0 holds %#lx, toolbar %#lx inside it; header %u px", Handle(frame.Rebar()),
          Handle(bandChild), Handle(toolbar), before);
    RegisteredEnabler enabler;
    if (!Check(enabler.Ready(), "Vesk.VeskEnabler.1 created and its methods found by name"))
        return false;
    frame.StartLogging();
    const HRESULT hr = enabler.EnableVesk(toolbar);
    TraceBandMessages(frame);
    const UINT after = frame.ReadHeader(0);
    frame.ClearLog();
    Trace("band 0 header now %u px", after);
    bool passed = Check(hr == S_OK, "EnableVesk succeeded");
    passed &= Check(before == 10 && after == 32, "the header went from 10 to 32 px at once");
    return passed;
}

bool BandAppearsLater()
{
    Heading("B: the toolbar exists before its band; it answers each WM_RECHECK_BAND (3037) with MakeSure");
    constexpr DWORD kInsertAfterMs = 2500;
    constexpr DWORD kWatchForMs = 11000;
    RealRebarFrame frame;
    const HWND bandChild = frame.CreateBandChild();
    RegisteredEnabler enabler;
    if (!Check(enabler.Ready(), "Vesk.VeskEnabler.1 created and its methods found by name"))
        return false;
    bool inserted = false;
    int beforeBand = 0;
    UINT firstAnswerHeader = 0;
    bool answered = false;
    int arrivals = 0;
    const HWND toolbar = vesk_test::CreateToolbarWindow(bandChild, [&](HWND window, const RecheckArrival&) {
        ++arrivals;
        Trace("toolbar <- WM_RECHECK_BAND #%d", arrivals);
        if (!inserted)
            ++beforeBand;
        frame.ClearLog();
        enabler.MakeSure(window);
        TraceBandMessages(frame);
        if (inserted) {
            const UINT header = frame.ReadHeader(0);
            frame.ClearLog();
            Trace("    band 0 header %u px", header);
            if (!answered)
                firstAnswerHeader = header;
            answered = true;
        }
    });
    frame.StartLogging();
    Trace("toolbar %#lx sits in %#lx, which no band holds yet", Handle(toolbar), Handle(bandChild));
    enabler.EnableVesk(toolbar);
    TraceBandMessages(frame);
    vesk_test::PumpMessagesFor(kInsertAfterMs);
    frame.InsertBand(bandChild, 10);
    inserted = true;
    frame.ClearLog();
    Trace("host inserts band 0 holding %#lx, header %u px", Handle(bandChild), frame.ReadHeader(0));
    frame.ClearLog();
    vesk_test::PumpMessagesFor(kWatchForMs - (GetTickCount() - g_start));
    bool passed = Check(beforeBand >= 2, "re-checks arrived while the band was missing");
    passed &= Check(firstAnswerHeader == 32, "the first MakeSure after the band appeared widened it to 32 px");
    passed &= Check(frame.ReadHeader(0) == 32, "the band is 32 px wide at the end");
    return passed;
}

bool RetriesStopAfterNine()
{
    Heading("C: the toolbar never gets a band; it answers every WM_RECHECK_BAND with MakeSure");
    constexpr DWORD kSilenceMs = 3000;
    RealRebarFrame frame;
    const HWND bandChild = frame.CreateBandChild();
    RegisteredEnabler enabler;
    if (!Check(enabler.Ready(), "Vesk.VeskEnabler.1 created and its methods found by name"))
        return false;
    std::vector<DWORD> times;
    // The toolbar's own count of MakeSure calls that found no band, against the limit of ten.
    const auto TraceFailure = [](int failures) {
        if (failures < 10)
            Trace("    band still missing: failure %d in a row, so one more re-check is due in 1 s", failures);
        else
            Trace("    band still missing: failure %d in a row; that was the last re-check (nine retries)", failures);
    };
    const HWND toolbar = vesk_test::CreateToolbarWindow(bandChild, [&](HWND window, const RecheckArrival& arrival) {
        times.push_back(arrival.tick);
        Trace("toolbar <- WM_RECHECK_BAND #%u", static_cast<unsigned>(times.size()));
        enabler.MakeSure(window);
        TraceFailure(static_cast<int>(times.size()) + 1);
    });
    // MakeSure first, not EnableVesk: a first EnableVesk adds its own 1, 2, 5 and 10 s notices,
    // and here only the chain of one-second retries is watched.
    Trace("toolbar %#lx sits in %#lx, which no band holds; it checks its band with MakeSure", Handle(toolbar),
          Handle(bandChild));
    enabler.MakeSure(toolbar);
    TraceFailure(1);
    // Watches until nothing has arrived for a while (or far longer than nine retries need).
    DWORD last = GetTickCount();
    while (GetTickCount() - last < kSilenceMs && GetTickCount() - g_start < 20000) {
        const size_t seen = times.size();
        vesk_test::PumpMessagesUntil(200, [&] { return times.size() != seen; });
        if (times.size() != seen)
            last = GetTickCount();
    }
    Trace("nothing more arrived in the %lu s after the last re-check", static_cast<unsigned long>(kSilenceMs / 1000));
    bool spacing = !times.empty();
    DWORD previous = g_start;
    for (DWORD t : times) {
        spacing &= (t - previous) >= 900 && (t - previous) <= 1600;
        previous = t;
    }
    bool passed = Check(times.size() == 9, "exactly nine re-checks arrived");
    passed &= Check(spacing, "one second apart");
    return passed;
}

bool ToolbarsOwnScript()
{
    Heading("D: the toolbar runs its own JScript in-process; the script creates the enabler by ProgID");
    RealRebarFrame frame;
    const HWND bandChild = frame.CreateBandChild();
    frame.InsertBand(bandChild, 10);
    const HWND toolbar = vesk_test::CreateToolbarWindow(bandChild);
    const UINT before = frame.ReadHeader(0);
    const std::wstring code = L"var e = new ActiveXObject(\"Vesk.VeskEnabler.1\"); e.EnableVesk(" +
                              std::to_wstring(vesk_test::InterfaceValue(toolbar)) + L");";
    Trace("band 0 header %u px; the JScript engine runs:", before);
    std::printf("              %s\n", vesk_test::NarrowText(code).c_str());
    frame.StartLogging();
    vesk_test::MinimalScriptSite site;
    const vesk_test::ScriptRun run = vesk_test::RunJScript(site, code, {});
    TraceBandMessages(frame);
    for (const vesk_test::ScriptError& error : run.errors)
        Trace("script error 0x%08lX: %s", static_cast<unsigned long>(error.code), error.text.c_str());
    const UINT after = frame.ReadHeader(0);
    frame.ClearLog();
    Trace("script finished: 0x%08lX; band 0 header now %u px", static_cast<unsigned long>(run.hr), after);
    bool passed = Check(run.hr == S_OK && run.errors.empty(), "the script ran without error");
    passed &= Check(before == 10 && after == 32, "the header went from 10 to 32 px");
    return passed;
}

}  // namespace

int main()
{
    g_start = GetTickCount();
    std::printf("Vesk demo: the registered Vesk.dll (ProgID Vesk.VeskEnabler.1, called through IDispatch by\n"
                "name) against a real comctl32 rebar; times are seconds since each scenario began\n");
    if (FAILED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED))) {
        std::printf("demo host: COM could not be initialised\n");
        return 1;
    }
    bool passed = NarrowBandWidenedAtOnce();
    passed &= BandAppearsLater();
    passed &= RetriesStopAfterNine();
    passed &= ToolbarsOwnScript();
    CoUninitialize();
    std::printf("\n%s\n", passed ? "demo host: all scenarios passed" : "demo host: a scenario FAILED");
    return passed ? 0 : 1;
}
