// A toolbar hosted in a band of a simulated rebar, and the enabler called as the toolbar's script
// calls it: through IVeskEnabler with the window handle in 32 bits.
#pragma once

#include <vector>

#include "enabler/recheck_notification.h"
#include "sim/sim_control.h"
#include "test_enabler_object.h"

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

// The delays of the notifications started so far, in the order their timers were created.
inline std::vector<DWORD> StartedDelays()
{
    std::vector<DWORD> delays;
    for (const sim::TimerRecord& timer : sim::Timers())
        delays.push_back(timer.firstDelay);
    return delays;
}

// The simulated times at which WM_RECHECK_BAND reached `hwnd`, after letting every notification run.
inline std::vector<DWORD> RecheckArrivals(HWND hwnd)
{
    sim::AdvanceClock(20000);
    std::vector<DWORD> times;
    for (const sim::PostedMessage& m : sim::PostedMessages(hwnd)) {
        EXPECT_EQ(m.message, WM_RECHECK_BAND);
        EXPECT_EQ(m.wParam, 0u);
        EXPECT_EQ(m.lParam, 0);
        times.push_back(m.time);
    }
    return times;
}
