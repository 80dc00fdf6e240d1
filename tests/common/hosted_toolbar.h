// A toolbar hosted in a band of a simulated rebar, and its window handle as the toolbar's script
// passes it through IVeskEnabler: in 32 bits.
#pragma once

#include "sim/sim_control.h"

struct HostedToolbar {
    HWND rebar;
    HWND bandChild;  // the window the band holds; the toolbar's parent
    HWND toolbar;
};

// A rebar with `before` other bands, then the toolbar's band with `header`, then `after` other bands.
inline HostedToolbar MakeHostedToolbar(UINT header, int before = 0, int after = 0, DWORD rebarProcess = 0)
{
    HostedToolbar host{};
    host.rebar = sim::CreateRebar(nullptr, rebarProcess);
    for (int i = 0; i < before; ++i)
        sim::AddBand(host.rebar, sim::CreateTestWindow(host.rebar), 50);
    host.bandChild = sim::CreateTestWindow(host.rebar);
    sim::AddBand(host.rebar, host.bandChild, header);
    for (int i = 0; i < after; ++i)
        sim::AddBand(host.rebar, sim::CreateTestWindow(host.rebar), 50);
    host.toolbar = sim::CreateTestWindow(host.bandChild);
    return host;
}

inline LONG AsInterfaceValue(HWND hwnd) { return static_cast<LONG>(reinterpret_cast<LONG_PTR>(hwnd)); }
