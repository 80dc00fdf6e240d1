#include "enabler/vesk_enabler.h"

#include <iterator>
#include <limits>

#include "enabler/recheck_notification.h"
#include "enabler/window_owner.h"

namespace {

// IVeskEnabler is the object's primary base, so both entries sit at offset 0 (the tests check it).
const InterfaceMapEntry kEnablerInterfaceMap[] = {
    {&IID_IVeskEnabler, 0, &OffsetEntry},
    {&IID_IDispatch, 0, &OffsetEntry},
    {nullptr, 0, nullptr},
};

}  // namespace

const InterfaceMapEntry* CVeskEnabler::InterfaceMap() { return kEnablerInterfaceMap; }

bool CVeskEnabler::FindAndWidenBand(HWND hWnd)
{
    // A toolbar of another process is none of ours: it is not looked at.
    if (!hWnd || IsWindowOfAnotherProcess(hWnd) || !IsWindowVisible(hWnd))
        return false;
    HWND child = GetParent(hWnd);
    if (!child)
        return false;
    // A rebar of another process would misread our band records: it holds no band of ours.
    HWND rebar = GetParent(child);
    if (!IsWindowOfThisProcess(rebar))
        return false;
    const LONG bandCount = static_cast<LONG>(SendMessageW(rebar, RB_GETBANDCOUNT, 0, 0));
    if (bandCount <= 0)
        return false;

    REBARBANDINFOW band = {};
    bool found = false;
    for (LONG index = 0; index < bandCount; ++index) {
        band.cbSize = REBARBANDINFOW_V6_SIZE;
        band.fMask = RBBIM_CHILD | RBBIM_HEADERSIZE;
        SendMessageW(rebar, RB_GETBANDINFOW, static_cast<WPARAM>(index), reinterpret_cast<LPARAM>(&band));
        if (band.hwndChild != child)
            continue;
        found = true;
        // Compared unsigned on purpose: a width the rebar reports as negative reads as huge and is left alone.
        if (band.cxHeader < kMinimumHeaderWidth) {
            band.fMask = RBBIM_HEADERSIZE;
            band.cxHeader = kMinimumHeaderWidth;
            SendMessageW(rebar, RB_SETBANDINFOW, static_cast<WPARAM>(index), reinterpret_cast<LPARAM>(&band));
            return true;
        }
    }
    return found;
}

bool CVeskEnabler::EnsureBandHeader(HWND hWnd, BOOL bFromEnable)
{
    if (FindAndWidenBand(hWnd)) {
        m_nRetries = 0;
        return true;
    }
    if (bFromEnable) {
        StartRechecks(hWnd, 2);  // at 1 and 2 s
        return false;
    }
    // Held below the largest count so that an endless run of failures cannot overflow it.
    if (m_nRetries < std::numeric_limits<LONG>::max())
        ++m_nRetries;
    if (m_nRetries >= kRetryLimit)
        return false;
    StartRechecks(hWnd, 1);  // the one-second retry
    return false;
}

HRESULT STDMETHODCALLTYPE CVeskEnabler::EnableVesk(LONG hWnd)
{
    const HWND window = WindowFromInterfaceValue(hWnd);
    EnsureBandHeader(window, TRUE);
    if (m_bFirstCall) {
        m_bFirstCall = FALSE;
        StartRechecks(window, std::size(kRecheckSchedule));
    }
    return S_OK;
}

HRESULT STDMETHODCALLTYPE CVeskEnabler::MakeSure(LONG hWnd)
{
    EnsureBandHeader(WindowFromInterfaceValue(hWnd), FALSE);
    return S_OK;
}
