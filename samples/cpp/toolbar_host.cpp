// Vesk from a toolbar written in C++, in a small host that stands in for the browser: a frame window
// with a rebar, one band whose child window holds the toolbar's window, and a message loop.
//
// The toolbar creates the enabler with its window, calls EnableVesk once its window is visible (the
// host says so, as a browser tells a toolbar that it is shown), answers message 3037 with MakeSure
// and releases the enabler with its window. What happens is written to the debugger's output
// (OutputDebugString) and to the frame's title. README.txt, section 8, says how to build and run it.
#include <windows.h>
#include <commctrl.h>
#include <strsafe.h>
#include <wchar.h>

#include "VeskLib.h"

namespace {

const UINT WM_RECHECK_BAND = WM_USER + 2013;  // 3037, posted by the enabler
// Sent by the host once the toolbar's window is on screen.
const UINT WM_TOOLBAR_SHOWN = WM_APP + 1;
const int kRebarId = 1;

HWND g_frame = nullptr;

// Narrow text, which every debugger's output shows (Wine's shows only OutputDebugStringA's).
void Report(const char* format, ...)
{
    char line[160];
    va_list arguments;
    va_start(arguments, format);
    StringCchVPrintfA(line, ARRAYSIZE(line), format, arguments);
    va_end(arguments);
    SetWindowTextA(g_frame, line);
    StringCchCatA(line, ARRAYSIZE(line), "\n");
    OutputDebugStringA(line);
}

// The interface carries a window handle as a 32-bit long, also in 64-bit processes: the platform
// keeps window handles within 32 bits, so the value goes as it is.
LONG HandleValue(HWND window) { return static_cast<LONG>(reinterpret_cast<LONG_PTR>(window)); }

// The enabler: registered, or named by this program's manifest. Where neither is so, from the
// Vesk.dll and Vesk.Enabler.manifest beside this module, through an activation context of its own,
// as a toolbar DLL in a browser must (the browser's manifest does not name Vesk). Calls through
// the interface need no context afterwards; calls by name would, to load the type library.
HRESULT CreateEnabler(IVeskEnabler** enabler)
{
    HRESULT hr = CoCreateInstance(CLSID_VeskEnabler, nullptr, CLSCTX_INPROC_SERVER, IID_IVeskEnabler,
                                  reinterpret_cast<void**>(enabler));
    if (hr != REGDB_E_CLASSNOTREG)
        return hr;
    HMODULE self = nullptr;
    wchar_t manifest[MAX_PATH];
    const DWORD length = GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS |
                                                GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                                            reinterpret_cast<LPCWSTR>(&CreateEnabler), &self)
                             ? GetModuleFileNameW(self, manifest, MAX_PATH)
                             : 0;
    wchar_t* folderEnd = length > 0 && length < MAX_PATH ? wcsrchr(manifest, L'\\') : nullptr;
    if (!folderEnd ||
        FAILED(StringCchCopyW(folderEnd + 1, ARRAYSIZE(manifest) - (folderEnd + 1 - manifest), L"Vesk.Enabler.manifest")))
        return hr;
    ACTCTXW context = {};
    context.cbSize = sizeof(context);
    context.lpSource = manifest;
    const HANDLE activation = CreateActCtxW(&context);
    if (activation == INVALID_HANDLE_VALUE)
        return hr;  // no private copy either
    ULONG_PTR cookie = 0;
    if (ActivateActCtx(activation, &cookie)) {
        hr = CoCreateInstance(CLSID_VeskEnabler, nullptr, CLSCTX_INPROC_SERVER, IID_IVeskEnabler,
                              reinterpret_cast<void**>(enabler));
        DeactivateActCtx(0, cookie);
        if (SUCCEEDED(hr))
            Report("Vesk sample: the enabler comes from Vesk.Enabler.manifest beside this program");
    }
    ReleaseActCtx(activation);
    return hr;
}

// The toolbar's window; GWLP_USERDATA holds its enabler from WM_CREATE to WM_DESTROY.
LRESULT CALLBACK ToolbarWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    IVeskEnabler* enabler = reinterpret_cast<IVeskEnabler*>(GetWindowLongPtrW(window, GWLP_USERDATA));
    switch (message) {
    case WM_CREATE: {
        // Not EnableVesk yet: the window is not visible, which the enabler takes for "band not
        // found", and the header would be widened only by the first re-check, a second later.
        IVeskEnabler* created = nullptr;
        const HRESULT hr = CreateEnabler(&created);
        if (SUCCEEDED(hr))
            SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(created));
        else
            Report("Vesk sample: no enabler (0x%08lX), the band keeps its header", static_cast<unsigned long>(hr));
        return 0;
    }
    case WM_TOOLBAR_SHOWN:
        if (enabler)
            Report("Vesk sample: EnableVesk answered 0x%08lX",
                   static_cast<unsigned long>(enabler->EnableVesk(HandleValue(window))));
        return 0;
    case WM_RECHECK_BAND:
        // After 1, 2, 5 and 10 s, and while the band is not there, a second after each call that
        // did not find it.
        if (enabler)
            Report("Vesk sample: message 3037, MakeSure answered 0x%08lX",
                   static_cast<unsigned long>(enabler->MakeSure(HandleValue(window))));
        return 0;
    case WM_DESTROY:
        if (enabler) {
            SetWindowLongPtrW(window, GWLP_USERDATA, 0);
            enabler->Release();
        }
        return 0;
    default:
        return DefWindowProcW(window, message, wParam, lParam);
    }
}

// The host's frame: the rebar follows its size, and closing it ends the program.
LRESULT CALLBACK FrameWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_SIZE:
        SendDlgItemMessageW(window, kRebarId, WM_SIZE, 0, 0);
        return 0;
    case WM_DESTROY:
        PostQuitMessage(0);
        return 0;
    default:
        return DefWindowProcW(window, message, wParam, lParam);
    }
}

UINT BandHeader(HWND rebar)
{
    REBARBANDINFOW band = {};
    band.cbSize = REBARBANDINFOW_V6_SIZE;
    band.fMask = RBBIM_HEADERSIZE;
    SendMessageW(rebar, RB_GETBANDINFOW, 0, reinterpret_cast<LPARAM>(&band));
    return band.cxHeader;
}

HWND CreateHost(HINSTANCE instance)
{
    INITCOMMONCONTROLSEX controls = {sizeof(controls), ICC_COOL_CLASSES};
    InitCommonControlsEx(&controls);
    WNDCLASSW frameClass = {};
    frameClass.lpfnWndProc = FrameWindowProc;
    frameClass.hInstance = instance;
    frameClass.hCursor = LoadCursorW(nullptr, reinterpret_cast<LPCWSTR>(IDC_ARROW));
    frameClass.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_APPWORKSPACE + 1);
    frameClass.lpszClassName = L"VeskSampleFrame";
    WNDCLASSW toolbarClass = {};
    toolbarClass.lpfnWndProc = ToolbarWindowProc;
    toolbarClass.hInstance = instance;
    toolbarClass.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_HIGHLIGHT + 1);
    toolbarClass.lpszClassName = L"VeskSampleToolbar";
    if (!RegisterClassW(&frameClass) || !RegisterClassW(&toolbarClass))
        return nullptr;
    g_frame = CreateWindowExW(0, frameClass.lpszClassName, L"Vesk sample", WS_OVERLAPPEDWINDOW, CW_USEDEFAULT,
                              CW_USEDEFAULT, 640, 160, nullptr, nullptr, instance, nullptr);
    const HWND rebar = CreateWindowExW(0, REBARCLASSNAMEW, nullptr,
                                       WS_CHILD | WS_VISIBLE | WS_CLIPCHILDREN | RBS_VARHEIGHT | CCS_NODIVIDER, 0, 0,
                                       0, 0, g_frame, reinterpret_cast<HMENU>(static_cast<INT_PTR>(kRebarId)),
                                       instance, nullptr);
    // The band holds a window of the browser's, which holds the toolbar's window.
    const HWND bandChild = CreateWindowExW(0, WC_STATICW, nullptr, WS_CHILD | WS_VISIBLE, 0, 0, 300, 24, g_frame,
                                           nullptr, instance, nullptr);
    const HWND toolbar = CreateWindowExW(0, toolbarClass.lpszClassName, nullptr, WS_CHILD | WS_VISIBLE, 0, 0, 300,
                                         24, bandChild, nullptr, instance, nullptr);
    if (!rebar || !toolbar)
        return nullptr;
    REBARBANDINFOW band = {};
    band.cbSize = REBARBANDINFOW_V6_SIZE;
    band.fMask = RBBIM_STYLE | RBBIM_CHILD | RBBIM_CHILDSIZE;
    band.fStyle = RBBS_GRIPPERALWAYS;
    band.hwndChild = bandChild;
    band.cxMinChild = 100;
    band.cyMinChild = 24;
    SendMessageW(rebar, RB_INSERTBANDW, static_cast<WPARAM>(-1), reinterpret_cast<LPARAM>(&band));
    return toolbar;
}

}  // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int show)
{
    // A browser's window threads are single-threaded apartments, and the enabler lives in one.
    if (FAILED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED)))
        return 1;
    int result = 1;
    if (const HWND toolbar = CreateHost(instance)) {
        const HWND rebar = GetDlgItem(g_frame, kRebarId);
        ShowWindow(g_frame, show);
        UpdateWindow(g_frame);
        Report("Vesk sample: the toolbar is visible, the band's header is %u px", BandHeader(rebar));
        SendMessageW(toolbar, WM_TOOLBAR_SHOWN, 0, 0);
        Report("Vesk sample: the toolbar was told, the band's header is %u px", BandHeader(rebar));
        MSG message;
        BOOL got;
        while ((got = GetMessageW(&message, nullptr, 0, 0)) > 0) {
            TranslateMessage(&message);
            DispatchMessageW(&message);
        }
        result = got == 0 ? static_cast<int>(message.wParam) : 1;
    }
    CoUninitialize();
    return result;
}
