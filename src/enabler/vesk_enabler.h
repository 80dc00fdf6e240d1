// The enabler: finds the rebar band that hosts the toolbar and keeps its header at least 32 pixels
// wide, scheduling re-check notifications while the band is not there yet.
#pragma once

#include "automation/dispatch_impl.h"
#include "automation/type_info_holder.h"
#include "com/interface_map.h"
#include "com/object_root.h"
#include "enabler/ivesk_enabler.h"

constexpr UINT kMinimumHeaderWidth = 32;
// MakeSure schedules nothing once the count of failed calls in a row reaches this.
constexpr LONG kRetryLimit = 10;

// The dispatch slots come from the type library through the shared holder; the IUnknown slots are
// supplied by the wrapper that completes the object.
class CVeskEnabler : public CObjectRootEx<CSingleThreadModel>,
                     public CDispatchImpl<IVeskEnabler, &IID_IVeskEnabler, &LIBID_VeskLib, 1, 0, CTypeInfoHolder> {
public:
    LONG m_nRetries = 0;
    BOOL m_bFirstCall = TRUE;

    static const InterfaceMapEntry* InterfaceMap();

    HRESULT STDMETHODCALLTYPE EnableVesk(LONG hWnd) override;
    HRESULT STDMETHODCALLTYPE MakeSure(LONG hWnd) override;

    // True when the band was found, whether or not its header had to be widened.
    bool EnsureBandHeader(HWND hWnd, BOOL bFromEnable);

private:
    bool FindAndWidenBand(HWND hWnd);
};

// The interface carries the handle in 32 bits; it is used as a handle unchanged.
inline HWND WindowFromInterfaceValue(LONG hWnd) { return reinterpret_cast<HWND>(static_cast<LONG_PTR>(hWnd)); }
