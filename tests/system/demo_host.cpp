// The demo's toolbar host: the registered Vesk.dll, created by its ProgID and called by name
// through IDispatch, as a browser toolbar uses it, against a real rebar. Three scenarios: a narrow
// band widened at once; a band that appears only later, found by answering the re-checks with
// MakeSure; a band that never appears, where the re-checks stop after nine; and the toolbar's own
// JScript, run in this process by the platform's engine. Fails when a scenario does not turn out so.
//
//   vesk_demo_host
//   vesk_demo_host --pictures ASSEMBLY_MANIFEST SIGNAL_DIR
//
// With --pictures it runs one scenario instead, for pictures of the toolbar's window drawn on an X
// display: the enabler is created without registration, through Vesk.dll's assembly manifest, and
// the window is shown before and after EnableVesk widens its band header. At each "picture" line it
// waits until the demo script has captured the window and created SIGNAL_DIR\<name>.taken.
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <cwchar>
#include <string>
#include <vector>

#include "child_process.h"
#include "com/interface_holder.h"
#include "dispatch_calls.h"
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
        DISPID dispid = DISPID_UNKNOWN;
        const HRESULT hr = DispIdOf(m_dispatch, name, &dispid, LOCALE_USER_DEFAULT);
        if (FAILED(hr)) {
            m_hr = hr;
            return DISPID_UNKNOWN;
        }
        return dispid;
    }
    HRESULT Call(const wchar_t* name, DISPID dispid, HWND window)
    {
        const HRESULT hr =
            CallWithLong(m_dispatch, dispid, vesk_test::InterfaceValue(window), nullptr, LOCALE_USER_DEFAULT);
        Trace("toolbar -> IDispatch::Invoke %s (DISPID %ld) hWnd %#lx: 0x%08lX", vesk_test::NarrowText(name).c_str(),
              static_cast<long>(dispid), Handle(window), static_cast<unsigned long>(hr));
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

// The windows in the pictures paint themselves in a colour of their own, with their title on it:
// the bands' windows light grey, so that the rebar's headers and grippers show beside them, the
// toolbar dark blue, another toolbar in the upper band grey-green, and the label slate. The demo
// script finds the toolbar by its colour.
constexpr COLORREF kBandWindowColour = RGB(0xD8, 0xDC, 0xE4);
constexpr COLORREF kToolbarColour = RGB(0x2B, 0x57, 0x9A);
constexpr COLORREF kOtherToolbarColour = RGB(0x5E, 0x7D, 0x6B);
constexpr COLORREF kLabelColour = RGB(0x33, 0x3B, 0x47);
const wchar_t kPaintedClass[] = L"VeskDemoPainted";

LRESULT CALLBACK PaintedWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message != WM_PAINT)
        return DefWindowProcW(window, message, wParam, lParam);
    PAINTSTRUCT paint;
    const HDC dc = BeginPaint(window, &paint);
    RECT area = {};
    GetClientRect(window, &area);
    const HBRUSH brush = CreateSolidBrush(static_cast<COLORREF>(GetWindowLongPtrW(window, GWLP_USERDATA)));
    FillRect(dc, &area, brush);
    DeleteObject(brush);
    wchar_t title[64] = {};
    GetWindowTextW(window, title, 64);
    SetBkMode(dc, TRANSPARENT);
    SetTextColor(dc, RGB(0xFF, 0xFF, 0xFF));
    DrawTextW(dc, title, -1, &area, DT_CENTER | DT_VCENTER | DT_SINGLELINE);
    EndPaint(window, &paint);
    return 0;
}

HWND CreatePaintedWindow(HWND parent, const wchar_t* title, COLORREF colour, RECT place = {0, 0, 200, 24})
{
    WNDCLASSW painted = {};
    painted.lpfnWndProc = PaintedWindowProc;
    painted.hInstance = GetModuleHandleW(nullptr);
    painted.lpszClassName = kPaintedClass;
    RegisterClassW(&painted);
    const HWND window = CreateWindowExW(0, kPaintedClass, title, WS_CHILD | WS_VISIBLE, place.left, place.top,
                                        place.right - place.left, place.bottom - place.top, parent, nullptr,
                                        GetModuleHandleW(nullptr), nullptr);
    SetWindowLongPtrW(window, GWLP_USERDATA, static_cast<LONG_PTR>(colour));
    return window;
}

// The pictures' rebar: two bands, each with its gripper always drawn, on a row of their own. The
// upper one holds another toolbar, for context, with the header the rebar chooses for its label;
// the lower one holds the Vesk toolbar's window behind a header of the given width.
constexpr int kPictureWidth = 520;
constexpr int kBandHeight = 30;

void InsertPictureBand(HWND rebar, HWND child, const wchar_t* label, UINT cxHeader)
{
    REBARBANDINFOW band = {};
    band.cbSize = REBARBANDINFOW_V6_SIZE;
    band.fMask = RBBIM_STYLE | RBBIM_CHILD | RBBIM_CHILDSIZE | RBBIM_SIZE | (label ? RBBIM_TEXT : RBBIM_HEADERSIZE);
    band.fStyle = RBBS_GRIPPERALWAYS | RBBS_BREAK | RBBS_CHILDEDGE;
    band.lpText = const_cast<LPWSTR>(label);
    band.hwndChild = child;
    band.cxMinChild = 200;
    band.cyMinChild = kBandHeight;
    band.cx = kPictureWidth;
    band.cxHeader = cxHeader;
    SendMessageW(rebar, RB_INSERTBANDW, static_cast<WPARAM>(-1), reinterpret_cast<LPARAM>(&band));
}

// Below the rebar: which picture it is, and who drew it.
void SetPictureLabel(HWND label, const wchar_t* text)
{
    SetWindowTextW(label, text);
    InvalidateRect(label, nullptr, TRUE);
}

struct ActivationContextReleaser {
    void operator()(void* context) const { ReleaseActCtx(context); }
};

// Vesk.dll's assembly as this thread's active activation context while it lives, as a host whose
// application manifest depends on the assembly has it: the enabler is then created with no
// registry entry of its own.
class ActiveAssembly {
public:
    explicit ActiveAssembly(const std::wstring& manifest)
    {
        ACTCTXW request = {};
        request.cbSize = sizeof(request);
        request.lpSource = manifest.c_str();
        const HANDLE context = CreateActCtxW(&request);
        if (context == INVALID_HANDLE_VALUE)
            return;
        m_context.Attach(context);
        if (!ActivateActCtx(context, &m_cookie))
            m_cookie = 0;
    }
    ~ActiveAssembly()
    {
        if (m_cookie)
            DeactivateActCtx(0, m_cookie);
    }
    ActiveAssembly(const ActiveAssembly&) = delete;
    ActiveAssembly& operator=(const ActiveAssembly&) = delete;

    bool Active() const { return m_cookie != 0; }

private:
    CScopedOwner<void, ActivationContextReleaser> m_context;
    ULONG_PTR m_cookie = 0;
};

// Says that the window is ready for its picture and waits, its messages pumped so that it stays
// drawn, until the demo script has taken it.
bool AwaitPicture(const std::wstring& signals, const wchar_t* name, UINT header, LONG left)
{
    std::printf("picture %s: band header %u px, band child at x = %ld\n", vesk_test::NarrowText(name).c_str(),
                header, static_cast<long>(left));
    std::fflush(stdout);
    const std::wstring taken = signals + L"\\" + name + L".taken";
    for (DWORD waited = 0; waited < 60000; waited += 100) {
        if (GetFileAttributesW(taken.c_str()) != INVALID_FILE_ATTRIBUTES)
            return true;
        vesk_test::PumpMessagesFor(100);
    }
    return Check(false, "the demo script took the picture within a minute");
}

bool PicturesOfTheWidening(const std::wstring& manifest, const std::wstring& signals)
{
    Heading("Pictures: the toolbar's window before and after EnableVesk widens its band header");
    const ActiveAssembly assembly(manifest);
    if (!Check(assembly.Active(), "Vesk.dll's assembly manifest is the active activation context"))
        return false;
    RealRebarFrame frame;
    // The frame's client area is the picture: the rebar with its two bands, and two lines of label.
    RECT client = {0, 0, kPictureWidth, 2 * (kBandHeight + 6) + 48};
    AdjustWindowRect(&client, WS_OVERLAPPEDWINDOW, FALSE);
    SetWindowPos(frame.Frame(), nullptr, 0, 0, client.right - client.left, client.bottom - client.top,
                 SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
    SendMessageW(frame.Rebar(), WM_SIZE, 0, 0);
    const HWND otherChild = CreatePaintedWindow(frame.Frame(), L"", kBandWindowColour);
    CreatePaintedWindow(otherChild, L"another toolbar", kOtherToolbarColour, {0, 3, 200, kBandHeight - 3});
    InsertPictureBand(frame.Rebar(), otherChild, L"Links", 0);
    const HWND bandChild = CreatePaintedWindow(frame.Frame(), L"", kBandWindowColour);
    InsertPictureBand(frame.Rebar(), bandChild, nullptr, 10);
    const HWND toolbar = CreatePaintedWindow(bandChild, L"Vesk toolbar", kToolbarColour, {0, 3, 200, kBandHeight - 3});
    RECT rebar = {};
    GetWindowRect(frame.Rebar(), &rebar);
    const int labelTop = rebar.bottom - rebar.top + 4;
    const HWND label = CreatePaintedWindow(frame.Frame(), L"", kLabelColour, {0, labelTop, kPictureWidth, labelTop + 22});
    CreatePaintedWindow(frame.Frame(), L"rebar, bands, headers and grippers drawn by Wine's comctl32",
                        kLabelColour, {0, labelTop + 22, kPictureWidth, labelTop + 42});
    const UINT headerBefore = frame.ReadHeader(1);
    const LONG leftBefore = frame.LeftInRebar(bandChild);
    wchar_t text[128];
    swprintf(text, 128, L"BEFORE EnableVesk: the header (gripper to toolbar) is %u px", headerBefore);
    SetPictureLabel(label, text);
    vesk_test::PumpMessagesFor(300);
    if (!AwaitPicture(signals, L"before", headerBefore, leftBefore))
        return false;

    CInterfaceHolder<IVeskEnabler> enabler;
    HRESULT hr = CoCreateInstance(CLSID_VeskEnabler, nullptr, CLSCTX_INPROC_SERVER, IID_IVeskEnabler,
                                  reinterpret_cast<void**>(enabler.Out()));
    if (!Check(hr == S_OK, "the enabler created by its CLSID through the assembly (this prefix never registers it)"))
        return false;
    hr = enabler->EnableVesk(vesk_test::InterfaceValue(toolbar));
    Trace("toolbar -> IVeskEnabler::EnableVesk hWnd %#lx: 0x%08lX", Handle(toolbar), static_cast<unsigned long>(hr));
    vesk_test::PumpMessagesFor(200);
    if (frame.LeftInRebar(bandChild) == leftBefore) {
        Trace("the rebar has stored the new header width but keeps the band's child where it was until it lays");
        Trace("its bands out again; the host lays out its frame, as a browser does on its next layout");
        frame.LayOut();
        vesk_test::PumpMessagesFor(200);
    }
    const UINT headerAfter = frame.ReadHeader(1);
    const LONG leftAfter = frame.LeftInRebar(bandChild);
    Trace("band 1 header now %u px; the band's child moved from x = %ld to %ld", headerAfter,
          static_cast<long>(leftBefore), static_cast<long>(leftAfter));
    bool passed = Check(hr == S_OK && headerBefore == 10 && headerAfter == 32, "the header went from 10 to 32 px");
    passed &= Check(leftAfter - leftBefore == static_cast<LONG>(headerAfter - headerBefore),
                    "the band's child moved right by the header's growth");
    swprintf(text, 128, L"AFTER EnableVesk: header %u px, the toolbar %ld px further right", headerAfter,
             static_cast<long>(leftAfter - leftBefore));
    SetPictureLabel(label, text);
    vesk_test::PumpMessagesFor(200);
    return AwaitPicture(signals, L"after", headerAfter, leftAfter) && passed;
}

}  // namespace

int main(int argc, char** argv)
{
    g_start = GetTickCount();
    const bool pictures = argc == 4 && std::strcmp(argv[1], "--pictures") == 0;
    if (argc != 1 && !pictures) {
        std::printf("usage: vesk_demo_host [--pictures ASSEMBLY_MANIFEST SIGNAL_DIR]\n");
        return 2;
    }
    if (pictures)
        std::printf("Vesk demo: pictures of the toolbar's window, drawn by Wine's X11 driver\n");
    else
        std::printf("Vesk demo: the registered Vesk.dll (ProgID Vesk.VeskEnabler.1, called through IDispatch by\n"
                    "name) against a real comctl32 rebar; times are seconds since each scenario began\n");
    if (FAILED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED))) {
        std::printf("demo host: COM could not be initialised\n");
        return 1;
    }
    bool passed = true;
    if (pictures) {
        passed = PicturesOfTheWidening(vesk_test::WidenText(argv[2]), vesk_test::WidenText(argv[3]));
    } else {
        passed &= NarrowBandWidenedAtOnce();
        passed &= BandAppearsLater();
        passed &= RetriesStopAfterNine();
        passed &= ToolbarsOwnScript();
    }
    CoUninitialize();
    std::printf("\n%s\n", passed ? "demo host: all scenarios passed" : "demo host: a scenario FAILED");
    return passed ? 0 : 1;
}
