#include <map>
#include <memory>
#include <mutex>

#include "sim/faults_internal.h"
#include "sim/threads.h"
#include "sim/threads_control.h"
#include "sim/windows_control.h"

namespace {

struct Band {
    HWND child;
    UINT cxHeader;
};

struct Window {
    HWND parent = nullptr;
    bool visible = true;
    DWORD processId = sim::kCurrentProcessId;
    bool isRebar = false;
    std::vector<Band> bands;
    bool overrideCount = false;
    LRESULT bandCount = 0;
    std::vector<sim::RebarMessage> received;
};

struct WindowSystem {
    std::mutex mutex;
    std::map<HWND, Window> windows;
    uintptr_t nextHandle = 0x20000;
    std::vector<sim::WindowCall> calls;
    std::vector<sim::PostedMessage> posted;
};

WindowSystem& TheWindows()
{
    static WindowSystem* windows = new WindowSystem;  // outlives detached threads at process exit
    return *windows;
}

Window* FindLocked(WindowSystem& ws, HWND hwnd)
{
    auto it = ws.windows.find(hwnd);
    return it == ws.windows.end() ? nullptr : &it->second;
}

HWND CreateLocked(WindowSystem& ws, HWND parent, bool visible, DWORD processId, bool isRebar)
{
    HWND handle = reinterpret_cast<HWND>(ws.nextHandle);
    ws.nextHandle += 4;
    Window& w = ws.windows[handle];
    w.parent = parent;
    w.visible = visible;
    w.processId = processId ? processId : sim::kCurrentProcessId;
    w.isRebar = isRebar;
    return handle;
}

// The rebar reads and writes only the fields a record of the given size holds, as comctl32 does.
bool RecordHolds(const REBARBANDINFOW* record, size_t fieldEnd) { return record->cbSize >= fieldEnd; }

LRESULT RebarMessage(Window& rebar, UINT msg, WPARAM wParam, LPARAM lParam)
{
    auto* record = reinterpret_cast<REBARBANDINFOW*>(lParam);
    sim::RebarMessage logged{msg, wParam, 0, 0, 0};
    if ((msg == RB_GETBANDINFOW || msg == RB_SETBANDINFOW || msg == RB_INSERTBANDW) && record) {
        logged.cbSize = record->cbSize;
        logged.fMask = record->fMask;
        if (RecordHolds(record, REBARBANDINFOW_V6_SIZE))
            logged.cxHeader = record->cxHeader;
    }
    rebar.received.push_back(logged);

    switch (msg) {
    case RB_GETBANDCOUNT:
        return rebar.overrideCount ? rebar.bandCount : static_cast<LRESULT>(rebar.bands.size());
    case RB_GETBANDINFOW:
    case RB_SETBANDINFOW: {
        if (!record || record->cbSize < REBARBANDINFOW_V3_SIZE || wParam >= rebar.bands.size())
            return FALSE;
        Band& band = rebar.bands[wParam];
        const bool headerField = RecordHolds(record, REBARBANDINFOW_V6_SIZE) && (record->fMask & RBBIM_HEADERSIZE);
        if (msg == RB_GETBANDINFOW) {
            if (record->fMask & RBBIM_CHILD)
                record->hwndChild = band.child;
            if (headerField)
                record->cxHeader = band.cxHeader;
        } else {
            if (record->fMask & RBBIM_CHILD)
                band.child = record->hwndChild;
            if (headerField)
                band.cxHeader = record->cxHeader;
        }
        return TRUE;
    }
    default:
        return 0;
    }
}

void LogCall(WindowSystem& ws, const char* function, HWND hwnd) { ws.calls.push_back({function, hwnd}); }

}  // namespace

BOOL WINAPI IsWindow(HWND hWnd)
{
    WindowSystem& ws = TheWindows();
    std::lock_guard<std::mutex> lock(ws.mutex);
    return FindLocked(ws, hWnd) != nullptr;
}

BOOL WINAPI IsWindowVisible(HWND hWnd)
{
    WindowSystem& ws = TheWindows();
    std::lock_guard<std::mutex> lock(ws.mutex);
    LogCall(ws, "IsWindowVisible", hWnd);
    // A window is visible only when it and all its ancestors are.
    for (Window* w = FindLocked(ws, hWnd); w; w = w->parent ? FindLocked(ws, w->parent) : nullptr) {
        if (!w->visible)
            return FALSE;
        if (!w->parent)
            return TRUE;
    }
    return FALSE;
}

HWND WINAPI GetParent(HWND hWnd)
{
    WindowSystem& ws = TheWindows();
    std::lock_guard<std::mutex> lock(ws.mutex);
    LogCall(ws, "GetParent", hWnd);
    Window* w = FindLocked(ws, hWnd);
    if (!w) {
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return nullptr;
    }
    return w->parent;
}

DWORD WINAPI GetWindowThreadProcessId(HWND hWnd, LPDWORD lpdwProcessId)
{
    WindowSystem& ws = TheWindows();
    std::lock_guard<std::mutex> lock(ws.mutex);
    LogCall(ws, "GetWindowThreadProcessId", hWnd);
    Window* w = FindLocked(ws, hWnd);
    if (!w) {
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return 0;
    }
    if (lpdwProcessId)
        *lpdwProcessId = w->processId;
    return 1;
}

LRESULT WINAPI SendMessageW(HWND hWnd, UINT Msg, WPARAM wParam, LPARAM lParam)
{
    WindowSystem& ws = TheWindows();
    std::lock_guard<std::mutex> lock(ws.mutex);
    LogCall(ws, "SendMessageW", hWnd);
    LONG injected = 0;
    if (sim::internal::Injected(sim::Op::SendMessage, &injected)) {
        SetLastError(static_cast<DWORD>(injected));
        return 0;
    }
    Window* w = FindLocked(ws, hWnd);
    if (!w || !w->isRebar)
        return 0;
    return RebarMessage(*w, Msg, wParam, lParam);
}

BOOL WINAPI PostMessageW(HWND hWnd, UINT Msg, WPARAM wParam, LPARAM lParam)
{
    const DWORD now = sim::Now();
    WindowSystem& ws = TheWindows();
    std::lock_guard<std::mutex> lock(ws.mutex);
    // A null window posts to the calling thread's queue, which the simulation keeps under null.
    if (hWnd && !FindLocked(ws, hWnd)) {
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return FALSE;
    }
    ws.posted.push_back({hWnd, Msg, wParam, lParam, now});
    return TRUE;
}

namespace sim {

HWND CreateTestWindow(HWND parent, bool visible, DWORD processId)
{
    WindowSystem& ws = TheWindows();
    std::lock_guard<std::mutex> lock(ws.mutex);
    return CreateLocked(ws, parent, visible, processId, false);
}

HWND CreateRebar(HWND parent, DWORD processId)
{
    WindowSystem& ws = TheWindows();
    std::lock_guard<std::mutex> lock(ws.mutex);
    return CreateLocked(ws, parent, true, processId, true);
}

void DestroyTestWindow(HWND hwnd)
{
    WindowSystem& ws = TheWindows();
    std::lock_guard<std::mutex> lock(ws.mutex);
    ws.windows.erase(hwnd);
}

void SetWindowVisible(HWND hwnd, bool visible)
{
    WindowSystem& ws = TheWindows();
    std::lock_guard<std::mutex> lock(ws.mutex);
    if (Window* w = FindLocked(ws, hwnd))
        w->visible = visible;
}

void SetWindowProcess(HWND hwnd, DWORD processId)
{
    WindowSystem& ws = TheWindows();
    std::lock_guard<std::mutex> lock(ws.mutex);
    if (Window* w = FindLocked(ws, hwnd))
        w->processId = processId ? processId : sim::kCurrentProcessId;
}

void SetWindowParent(HWND hwnd, HWND parent)
{
    WindowSystem& ws = TheWindows();
    std::lock_guard<std::mutex> lock(ws.mutex);
    if (Window* w = FindLocked(ws, hwnd))
        w->parent = parent;
}

void NumberWindowsFrom(DWORD first)
{
    WindowSystem& ws = TheWindows();
    std::lock_guard<std::mutex> lock(ws.mutex);
    ws.nextHandle = static_cast<uintptr_t>(static_cast<intptr_t>(static_cast<LONG>(first)));
}

void AddBand(HWND rebar, HWND child, UINT cxHeader)
{
    WindowSystem& ws = TheWindows();
    std::lock_guard<std::mutex> lock(ws.mutex);
    if (Window* w = FindLocked(ws, rebar))
        w->bands.push_back({child, cxHeader});
}

UINT BandHeader(HWND rebar, int index)
{
    WindowSystem& ws = TheWindows();
    std::lock_guard<std::mutex> lock(ws.mutex);
    Window* w = FindLocked(ws, rebar);
    return w ? w->bands.at(static_cast<size_t>(index)).cxHeader : 0;
}

void SetBandHeader(HWND rebar, int index, UINT cxHeader)
{
    WindowSystem& ws = TheWindows();
    std::lock_guard<std::mutex> lock(ws.mutex);
    if (Window* w = FindLocked(ws, rebar))
        w->bands.at(static_cast<size_t>(index)).cxHeader = cxHeader;
}

void OverrideBandCount(HWND rebar, LRESULT count)
{
    WindowSystem& ws = TheWindows();
    std::lock_guard<std::mutex> lock(ws.mutex);
    if (Window* w = FindLocked(ws, rebar)) {
        w->overrideCount = true;
        w->bandCount = count;
    }
}

std::vector<RebarMessage> RebarMessages(HWND rebar)
{
    WindowSystem& ws = TheWindows();
    std::lock_guard<std::mutex> lock(ws.mutex);
    Window* w = FindLocked(ws, rebar);
    return w ? w->received : std::vector<RebarMessage>{};
}

std::vector<WindowCall> WindowCalls()
{
    WindowSystem& ws = TheWindows();
    std::lock_guard<std::mutex> lock(ws.mutex);
    return ws.calls;
}

std::vector<PostedMessage> PostedMessages(HWND hwnd)
{
    WindowSystem& ws = TheWindows();
    std::lock_guard<std::mutex> lock(ws.mutex);
    std::vector<PostedMessage> result;
    for (const PostedMessage& m : ws.posted)
        if (m.hwnd == hwnd)
            result.push_back(m);
    return result;
}

std::vector<PostedMessage> AllPostedMessages()
{
    WindowSystem& ws = TheWindows();
    std::lock_guard<std::mutex> lock(ws.mutex);
    return ws.posted;
}

void ResetWindows()
{
    WindowSystem& ws = TheWindows();
    std::lock_guard<std::mutex> lock(ws.mutex);
    ws.windows.clear();
    ws.calls.clear();
    ws.posted.clear();
    ws.nextHandle = 0x20000;
    internal::ClearFaults({Op::SendMessage});
}

}  // namespace sim
