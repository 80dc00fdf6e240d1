// What the enabler's tests read of the notifications a toolbar in a band received.
#pragma once

#include <vector>

#include "enabler/recheck_notification.h"
#include "hosted_toolbar.h"
#include "sim/sim_control.h"
#include "test_enabler_object.h"

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
