// Real windows for the system tests and the toolbar host: a top-level frame holding a comctl32
// rebar, the windows that bands hold, a toolbar window that records each WM_RECHECK_BAND it
// receives, a log of the band messages the rebar receives, and a message pump with a deadline.
#pragma once

#include "platform/win32.h"

#include <functional>
#include <vector>

#include "enabler/recheck_notification.h"
#include "enabler/vesk_enabler.h"

namespace vesk_test {

// One band message as it reached the rebar, with the band record as the sender filled it.
struct LoggedBandMessage {
    UINT message;
    WPARAM index;
    UINT cbSize;
    UINT fMask;
    UINT cxHeader;
};

struct RecheckArrival {
    DWORD tick;  // GetTickCount when the toolbar window handled it
    WPARAM wParam;
    LPARAM lParam;
};

// The wParam of the message a test posts to a watched toolbar of another process to end the watch;
// the enabler's own re-checks carry 0.
constexpr WPARAM kEndOfWatch = 0x0E0D;
// The wParam of a test's own notice (StartReferenceNotice), timed beside the enabler's.
constexpr WPARAM kReferenceNotice = 1;

namespace detail {

const wchar_t kFrameClass[] = L"VeskTestFrame";
const wchar_t kPlainClass[] = L"VeskTestBandChild";
const wchar_t kToolbarClass[] = L"VeskTestToolbar";
const wchar_t kBandLogProperty[] = L"VeskTestBandLog";

struct ToolbarState {
    std::vector<RecheckArrival> arrivals;
    std::function<void(HWND, const RecheckArrival&)> onRecheck;
};

struct BandLog {
    WNDPROC original = nullptr;
    std::vector<LoggedBandMessage> messages;
};

inline bool IsBandMessage(UINT message)
{
    return message == RB_GETBANDCOUNT || message == RB_GETBANDINFOW || message == RB_SETBANDINFOW ||
           message == RB_INSERTBANDW;
}

inline LRESULT CALLBACK ToolbarProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    auto* state = reinterpret_cast<ToolbarState*>(GetWindowLongPtrW(window, GWLP_USERDATA));
    if (message == WM_RECHECK_BAND && state) {
        const RecheckArrival arrival{GetTickCount(), wParam, lParam};
        state->arrivals.push_back(arrival);
        if (state->onRecheck)
            state->onRecheck(window, arrival);
        return 0;
    }
    if (message == WM_NCDESTROY && state) {
        SetWindowLongPtrW(window, GWLP_USERDATA, 0);
        delete state;
    }
    return DefWindowProcW(window, message, wParam, lParam);
}

inline LRESULT CALLBACK LoggingRebarProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    auto* log = static_cast<BandLog*>(GetPropW(window, kBandLogProperty));
    if (!log)
        return DefWindowProcW(window, message, wParam, lParam);
    if (IsBandMessage(message)) {
        LoggedBandMessage logged{message, wParam, 0, 0, 0};
        if (message != RB_GETBANDCOUNT && lParam) {
            // Only what the sender's record holds is read: cxHeader lies beyond a short record.
            const auto* record = reinterpret_cast<const REBARBANDINFOW*>(lParam);
            logged.cbSize = record->cbSize;
            logged.fMask = record->fMask;
            if (record->cbSize >= REBARBANDINFOW_V6_SIZE)
                logged.cxHeader = record->cxHeader;
        }
        log->messages.push_back(logged);
    }
    const WNDPROC original = log->original;
    if (message == WM_NCDESTROY) {
        SetWindowLongPtrW(window, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(original));
        RemovePropW(window, kBandLogProperty);
    }
    return CallWindowProcW(original, window, message, wParam, lParam);
}

inline VOID CALLBACK PostReferenceNotice(PTP_CALLBACK_INSTANCE, PVOID toolbar, PTP_TIMER timer)
{
    PostMessageW(static_cast<HWND>(toolbar), WM_RECHECK_BAND, kReferenceNotice, 0);
    CloseThreadpoolTimer(timer);
}

inline void RegisterClasses()
{
    static const bool registered = [] {
        INITCOMMONCONTROLSEX controls = {sizeof(controls), ICC_COOL_CLASSES};
        InitCommonControlsEx(&controls);
        WNDCLASSW plain = {};
        plain.lpfnWndProc = DefWindowProcW;
        plain.hInstance = GetModuleHandleW(nullptr);
        plain.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1);
        plain.lpszClassName = kFrameClass;
        RegisterClassW(&plain);
        plain.lpszClassName = kPlainClass;
        RegisterClassW(&plain);
        WNDCLASSW toolbar = plain;
        toolbar.lpfnWndProc = ToolbarProc;
        toolbar.lpszClassName = kToolbarClass;
        RegisterClassW(&toolbar);
        return true;
    }();
    (void)registered;
}

}  // namespace detail

// The toolbar's own window: a visible child of `parent` that records each WM_RECHECK_BAND and
// hands it to `onRecheck`, if given. It is destroyed with its parent.
inline HWND CreateToolbarWindow(HWND parent, std::function<void(HWND, const RecheckArrival&)> onRecheck = nullptr)
{
    detail::RegisterClasses();
    HWND window = CreateWindowExW(0, detail::kToolbarClass, L"toolbar", WS_CHILD | WS_VISIBLE, 0, 0, 200, 24, parent,
                                  nullptr, GetModuleHandleW(nullptr), nullptr);
    if (window) {
        auto* state = new detail::ToolbarState;
        // Room for the usual few arrivals, so that recording them allocates nothing while a test
        // measures the process's memory.
        state->arrivals.reserve(8);
        state->onRecheck = std::move(onRecheck);
        SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(state));
    }
    return window;
}

inline std::vector<RecheckArrival> RecheckArrivals(HWND toolbar)
{
    const auto* state = reinterpret_cast<const detail::ToolbarState*>(GetWindowLongPtrW(toolbar, GWLP_USERDATA));
    return state ? state->arrivals : std::vector<RecheckArrival>{};
}

// Dispatches this thread's messages until `done` answers true or `timeoutMs` has passed; answers
// whether `done` was met.
inline bool PumpMessagesUntil(DWORD timeoutMs, const std::function<bool()>& done)
{
    const DWORD start = GetTickCount();
    for (;;) {
        MSG msg;
        while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
            TranslateMessage(&msg);
            DispatchMessageW(&msg);
            if (done())
                return true;
        }
        if (done())
            return true;
        const DWORD elapsed = GetTickCount() - start;
        if (elapsed >= timeoutMs)
            return false;
        MsgWaitForMultipleObjects(0, nullptr, FALSE, timeoutMs - elapsed, QS_ALLINPUT);
    }
}

inline void PumpMessagesFor(DWORD milliseconds)
{
    PumpMessagesUntil(milliseconds, [] { return false; });
}

// A first EnableVesk's last notification is due 10 s after the call.
constexpr DWORD kLastRecheckMs = 10000;
// How late a notification may come on a loaded machine before a wait for it gives up: the platform
// has delivered whole bursts of due timers seconds late. Only a failing wait takes this long.
constexpr DWORD kRecheckMarginMs = 5000;
// Timers due together may arrive this far apart, and one due earlier this much after one due later.
constexpr DWORD kOvertakenMs = 500;

// Starts a one-shot timer of the thread pool the enabler's notifications use: `callback` with
// `context`, `milliseconds` from now. False when the timer cannot be created.
inline bool StartPoolTimer(PTP_TIMER_CALLBACK callback, PVOID context, LONGLONG milliseconds)
{
    const PTP_TIMER timer = CreateThreadpoolTimer(callback, context, nullptr);
    const ULONGLONG due = static_cast<ULONGLONG>(-milliseconds * 10000);  // negative: relative to now
    FILETIME relative = {static_cast<DWORD>(due), static_cast<DWORD>(due >> 32)};
    if (timer)
        SetThreadpoolTimer(timer, &relative, 0, 0);
    return timer != nullptr;
}

// A notice of the test's own: WM_RECHECK_BAND with kReferenceNotice, posted to `toolbar` by such a
// timer.
inline bool StartReferenceNotice(HWND toolbar, LONGLONG milliseconds)
{
    return StartPoolTimer(&detail::PostReferenceNotice, toolbar, milliseconds);
}

// Pumps until `toolbar` has received `count` re-checks, the last of them due `dueMs` from now.
inline bool PumpUntilRechecks(HWND toolbar, size_t count, DWORD dueMs)
{
    return PumpMessagesUntil(dueMs + kRecheckMarginMs, [&] { return RecheckArrivals(toolbar).size() >= count; });
}

// A visible top-level frame with a real rebar across its top. Destroying the frame destroys the
// rebar and every window in it.
class RealRebarFrame {
public:
    RealRebarFrame()
    {
        detail::RegisterClasses();
        const HINSTANCE instance = GetModuleHandleW(nullptr);
        m_frame = CreateWindowExW(0, detail::kFrameClass, L"Vesk test frame", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 0, 0,
                                  640, 200, nullptr, nullptr, instance, nullptr);
        m_rebar = CreateWindowExW(WS_EX_TOOLWINDOW, REBARCLASSNAMEW, nullptr,
                                  WS_CHILD | WS_VISIBLE | WS_CLIPSIBLINGS | WS_CLIPCHILDREN | RBS_VARHEIGHT |
                                      CCS_NODIVIDER,
                                  0, 0, 640, 60, m_frame, nullptr, instance, nullptr);
    }
    ~RealRebarFrame()
    {
        if (m_frame)
            DestroyWindow(m_frame);
    }
    RealRebarFrame(const RealRebarFrame&) = delete;
    RealRebarFrame& operator=(const RealRebarFrame&) = delete;

    HWND Frame() const { return m_frame; }
    HWND Rebar() const { return m_rebar; }

    // A plain visible window, meant to be held by a band; it sits in `parent` (the frame when null)
    // until a band takes it, when the rebar makes itself its parent.
    HWND CreateBandChild(HWND parent = nullptr) const
    {
        return CreateWindowExW(0, detail::kPlainClass, nullptr, WS_CHILD | WS_VISIBLE, 0, 0, 200, 24,
                               parent ? parent : m_frame, nullptr, GetModuleHandleW(nullptr), nullptr);
    }

    // Appends a band holding `child` with the given header width, through a record up to cxHeader.
    bool InsertBand(HWND child, UINT cxHeader) const
    {
        REBARBANDINFOW band = {};
        band.cbSize = REBARBANDINFOW_V6_SIZE;
        band.fMask = RBBIM_CHILD | RBBIM_CHILDSIZE | RBBIM_SIZE | RBBIM_HEADERSIZE;
        band.hwndChild = child;
        band.cxMinChild = 100;
        band.cyMinChild = 24;
        band.cx = 300;
        band.cxHeader = cxHeader;
        return SendMessageW(m_rebar, RB_INSERTBANDW, static_cast<WPARAM>(-1), reinterpret_cast<LPARAM>(&band)) != 0;
    }

    LRESULT BandCount() const { return SendMessageW(m_rebar, RB_GETBANDCOUNT, 0, 0); }

    // Where a window's left edge is in the rebar's client area.
    LONG LeftInRebar(HWND window) const
    {
        RECT rect = {};
        GetWindowRect(window, &rect);
        MapWindowPoints(HWND_DESKTOP, m_rebar, reinterpret_cast<POINT*>(&rect), 2);
        return rect.left;
    }

    // What a host's layout does when its frame changes size: the rebar is told to size itself
    // again, and lays its bands out.
    void LayOut() const { SendMessageW(m_rebar, WM_SIZE, 0, 0); }

    // The header width the rebar reports for a band; 0xFFFFFFFF when it answers nothing.
    UINT ReadHeader(WPARAM index) const
    {
        REBARBANDINFOW band = {};
        band.cbSize = REBARBANDINFOW_V6_SIZE;
        band.fMask = RBBIM_HEADERSIZE;
        band.cxHeader = 0xFFFFFFFFu;
        SendMessageW(m_rebar, RB_GETBANDINFOW, index, reinterpret_cast<LPARAM>(&band));
        return band.cxHeader;
    }

    // From now on every band message the rebar receives is logged, before the rebar handles it.
    void StartLogging()
    {
        if (m_log.original)
            return;
        SetPropW(m_rebar, detail::kBandLogProperty, &m_log);
        m_log.original = reinterpret_cast<WNDPROC>(
            SetWindowLongPtrW(m_rebar, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&detail::LoggingRebarProc)));
    }
    const std::vector<LoggedBandMessage>& Log() const { return m_log.messages; }
    void ClearLog() { m_log.messages.clear(); }

private:
    HWND m_frame = nullptr;
    HWND m_rebar = nullptr;
    detail::BandLog m_log;
};

// An enabler object reached only through its IVeskEnabler vtable, released at scope end.
template <class Object>
class EnablerReference {
public:
    EnablerReference() : m_object(new Object), m_enabler(m_object) { m_enabler->AddRef(); }
    ~EnablerReference() { m_enabler->Release(); }
    EnablerReference(const EnablerReference&) = delete;
    EnablerReference& operator=(const EnablerReference&) = delete;
    IVeskEnabler* operator->() const { return m_enabler; }
    IVeskEnabler* Get() const { return m_enabler; }
    // For reporting the object's state only; calls go through the interface.
    const Object& State() const { return *m_object; }

private:
    Object* m_object;
    IVeskEnabler* m_enabler;
};

// The 32-bit value the interface carries for a window.
inline LONG InterfaceValue(HWND window) { return static_cast<LONG>(reinterpret_cast<LONG_PTR>(window)); }

}  // namespace vesk_test
