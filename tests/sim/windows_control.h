// Test controls of the simulated window system. Only tests include this.
#pragma once

#include <vector>

#include "sim/windows.h"

namespace sim {

// A window; processId 0 means this process.
HWND CreateTestWindow(HWND parent = nullptr, bool visible = true, DWORD processId = 0);
// A rebar control: a window that answers the band messages.
HWND CreateRebar(HWND parent = nullptr, DWORD processId = 0);
void DestroyTestWindow(HWND hwnd);
void SetWindowVisible(HWND hwnd, bool visible);
void SetWindowParent(HWND hwnd, HWND parent);
// Hands the window to another process (0: this one), as when its handle is reused by that process.
void SetWindowProcess(HWND hwnd, DWORD processId);
// Numbers the windows created from now on from `first` up, each 32-bit handle sign-extended as the
// platform widens one: from 0x80000000 up, a handle has its high bits set in 64 bits.
void NumberWindowsFrom(DWORD first);

void AddBand(HWND rebar, HWND child, UINT cxHeader);
UINT BandHeader(HWND rebar, int index);
void SetBandHeader(HWND rebar, int index, UINT cxHeader);
// Makes RB_GETBANDCOUNT answer `count` whatever the bands are (for instance a negative count).
void OverrideBandCount(HWND rebar, LRESULT count);

// Each message the rebar received, with the band record as it arrived.
struct RebarMessage {
    UINT message;
    WPARAM wParam;
    UINT cbSize;     // 0 when lParam carried no record
    UINT fMask;
    UINT cxHeader;   // what the sender put in the record (meaningful for RB_SETBANDINFOW)
};
std::vector<RebarMessage> RebarMessages(HWND rebar);

// A window-system call made by the system, for tests of which windows were touched.
struct WindowCall {
    const char* function;  // "IsWindowVisible", "GetParent", "GetWindowThreadProcessId", "SendMessageW"
    HWND hwnd;
};
std::vector<WindowCall> WindowCalls();

struct PostedMessage {
    HWND hwnd;
    UINT message;
    WPARAM wParam;
    LPARAM lParam;
    DWORD time;  // simulated clock when posted
};
// Messages posted to `hwnd` (null: thread messages), oldest first; and all of them in order.
std::vector<PostedMessage> PostedMessages(HWND hwnd);
std::vector<PostedMessage> AllPostedMessages();

// Forgets every window, message and recorded call.
void ResetWindows();

}  // namespace sim
