// Vesk from a toolbar written in C++: the window procedure of the toolbar's window creates the
// enabler with the window, calls EnableVesk, answers message 3037 with MakeSure and releases the
// enabler with the window. Build it with include\VeskLib.h and include\VeskLib_i.c; the thread
// that creates the window has initialised COM as a single-threaded apartment (CoInitializeEx with
// COINIT_APARTMENTTHREADED), as a browser's window threads have.
#include <windows.h>

#include "VeskLib.h"

namespace {

const UINT WM_RECHECK_BAND = WM_USER + 2013;  // 3037, posted by the enabler

// The interface carries a window handle as a 32-bit long, also in 64-bit processes: the platform
// keeps window handles within 32 bits, so the value goes as it is.
LONG HandleValue(HWND window) { return static_cast<LONG>(reinterpret_cast<LONG_PTR>(window)); }

}  // namespace

LRESULT CALLBACK ToolbarWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    IVeskEnabler* enabler = reinterpret_cast<IVeskEnabler*>(GetWindowLongPtrW(window, GWLP_USERDATA));
    switch (message) {
    case WM_CREATE:
        if (SUCCEEDED(CoCreateInstance(CLSID_VeskEnabler, nullptr, CLSCTX_INPROC_SERVER, IID_IVeskEnabler,
                                       reinterpret_cast<void**>(&enabler)))) {
            SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(enabler));
            // Usually the band is not there yet: then message 3037 comes after 1 second.
            enabler->EnableVesk(HandleValue(window));
        }
        return 0;
    case WM_RECHECK_BAND:
        if (enabler)
            enabler->MakeSure(HandleValue(window));
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
