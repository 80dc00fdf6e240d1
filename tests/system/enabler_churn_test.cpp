// Churn on the real platform: one process creates 2,000 enablers from the library regsvr32
// registered, each by its ProgID, calls EnableVesk on each with a toolbar of its own that no band
// holds (six notifications each) and releases the object at once. Every notification arrives, once,
// on time; afterwards the process holds what it held before the first object, within stated margins,
// and the library unloads only after the last notification has posted.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <vector>

#include "child_process.h"
#include "process_figures.h"
#include "real_windows.h"

namespace {

using namespace vesk_test;

const wchar_t kDllPath[] = L"" VESK_DLL_PATH;
constexpr int kObjects = 2000;
// A first EnableVesk on a toolbar in no band: the missing band's pair and the first call's four.
constexpr LONGLONG kDelaysMs[] = {1000, 1000, 2000, 2000, 5000, 10000};
constexpr int kPerObject = 6;
constexpr LONGLONG kLatenessMs = 2000;
// What the process may hold beyond its figures before the first object once all is done. The first
// object loads the library and what it imports and fills COM's caches: a few handles and about
// 80 KB of heap that stay. The platform's pool starts up to 500 threads for the bursts of timers
// (Wine does so for any such burst, with or without this library) and ends them after a few idle
// seconds, and the memory its heaps and threads committed meanwhile stays committed for reuse:
// 6 to 8 MB whether 500, 1,000 or 2,000 objects were made.
constexpr long kHandleMargin = 8;
constexpr int kThreadMargin = 2;
constexpr SIZE_T kPrivateBytesMargin = 10 * 1024 * 1024;
constexpr SIZE_T kHeapBytesMargin = 128 * 1024;

struct Figures {
    DWORD handles;
    int threads;
    SIZE_T privateBytes;
    SIZE_T heapBytes;
};

Figures Measure()
{
    return Figures{HandlesOfThisProcess(), ThreadsOfThisProcess(), PrivateBytesOfThisProcess(), HeapBytesInUse()};
}

LONGLONG Counter()
{
    LARGE_INTEGER now;
    QueryPerformanceCounter(&now);
    return now.QuadPart;
}

// One object's EnableVesk and the notifications its toolbar received, in performance-counter units.
struct ObjectRecord {
    LONGLONG calledAt = 0;
    LONGLONG arrivals[kPerObject] = {};
    int count = 0;
};

typedef HRESULT(STDAPICALLTYPE* CanUnloadNowFunction)();

class EnablerChurn : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(SUCCEEDED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED)));
        ASSERT_EQ(RunRegsvr32(kDllPath, L""), 0) << "regsvr32 /s registers the library";
        m_bRegistered = true;
    }
    void TearDown() override
    {
        CoFreeUnusedLibraries();
        CoUninitialize();
        if (m_bRegistered) {
            EXPECT_EQ(RunRegsvr32(kDllPath, L"/u"), 0) << "regsvr32 /u /s unregisters the library";
        }
    }

private:
    bool m_bRegistered = false;
};

// Samples the process's thread count and private bytes every 200 ms on a thread of its own, for
// their peaks. Under Wine a thread snapshot of a process with hundreds of threads takes long enough
// to delay the messages of a thread that takes it while pumping.
class PeakSampler {
public:
    explicit PeakSampler(Figures start) : m_peak(start), m_stop(CreateEventW(nullptr, TRUE, FALSE, nullptr))
    {
        if (m_stop)
            m_thread = CreateThread(nullptr, 0, &PeakSampler::Run, this, 0, nullptr);
    }
    ~PeakSampler() { Stop(); }
    PeakSampler(const PeakSampler&) = delete;
    PeakSampler& operator=(const PeakSampler&) = delete;

    bool Running() const { return m_thread != nullptr; }
    // Ends the sampling; the peaks are final once it has returned.
    Figures Stop()
    {
        if (m_thread) {
            SetEvent(m_stop);
            WaitForSingleObject(m_thread, INFINITE);
            CloseHandle(m_thread);
            m_thread = nullptr;
        }
        if (m_stop) {
            CloseHandle(m_stop);
            m_stop = nullptr;
        }
        return m_peak;
    }

private:
    static DWORD WINAPI Run(void* self)
    {
        auto* sampler = static_cast<PeakSampler*>(self);
        do {
            sampler->m_peak.threads = std::max(sampler->m_peak.threads, ThreadsOfThisProcess());
            sampler->m_peak.privateBytes = std::max(sampler->m_peak.privateBytes, PrivateBytesOfThisProcess());
        } while (WaitForSingleObject(sampler->m_stop, 200) == WAIT_TIMEOUT);
        return 0;
    }

    Figures m_peak;
    HANDLE m_stop;
    HANDLE m_thread = nullptr;
};

VOID CALLBACK NothingToDo(PTP_CALLBACK_INSTANCE, PVOID fired, PTP_TIMER)
{
    InterlockedExchange(static_cast<LONG*>(fired), 1);
}

// Starts the process's thread pool with a timer of the test's own, so that the threads the pool
// keeps are there before the first figures are taken.
bool WarmThreadPool()
{
    LONG fired = 0;
    const PTP_TIMER timer = CreateThreadpoolTimer(&NothingToDo, &fired, nullptr);
    if (!timer)
        return false;
    FILETIME now = {};
    SetThreadpoolTimer(timer, &now, 0, 0);
    PumpMessagesUntil(2000, [&] { return InterlockedCompareExchange(&fired, 0, 0) != 0; });
    WaitForThreadpoolTimerCallbacks(timer, FALSE);
    CloseThreadpoolTimer(timer);
    return fired != 0;
}

TEST_F(EnablerChurn, TwoThousandEnablersNotifySixTimesEachOnTimeAndLeaveNothingBehind)
{
    CLSID enablerClass = {};
    ASSERT_EQ(CLSIDFromProgID(L"Vesk.VeskEnabler", &enablerClass), S_OK);
    LARGE_INTEGER frequency;
    ASSERT_TRUE(QueryPerformanceFrequency(&frequency));
    const auto milliseconds = [&](LONGLONG ticks) { return ticks * 1000 / frequency.QuadPart; };

    // Everything the test itself keeps is made before the first figures: the frame, one toolbar per
    // object, and the records the toolbars fill.
    RealRebarFrame frame;
    std::vector<ObjectRecord> records(kObjects);
    std::vector<HWND> toolbars(kObjects);
    std::vector<LONGLONG> all;
    all.reserve(kObjects * kPerObject);
    int arrived = 0;
    int extra = 0;
    for (int i = 0; i < kObjects; ++i) {
        ObjectRecord* record = &records[i];
        toolbars[i] = CreateToolbarWindow(frame.Frame(), [record, &arrived, &extra](HWND, const RecheckArrival&) {
            if (record->count < kPerObject)
                record->arrivals[record->count] = Counter();
            else
                ++extra;
            ++record->count;
            ++arrived;
        });
        ASSERT_NE(toolbars[i], nullptr);
    }
    ASSERT_TRUE(WarmThreadPool());
    ASSERT_EQ(GetModuleHandleW(L"Vesk.dll"), nullptr) << "nothing has loaded the library yet";
    const Figures before = Measure();
    PeakSampler sampler(before);
    ASSERT_TRUE(sampler.Running());

    const LONGLONG start = Counter();
    for (int i = 0; i < kObjects; ++i) {
        IVeskEnabler* enabler = nullptr;
        ASSERT_EQ(CoCreateInstance(enablerClass, nullptr, CLSCTX_INPROC_SERVER, IID_IVeskEnabler,
                                   reinterpret_cast<void**>(&enabler)),
                  S_OK)
            << "object " << i;
        records[i].calledAt = Counter();
        EXPECT_EQ(enabler->EnableVesk(InterfaceValue(toolbars[i])), S_OK);
        enabler->Release();
        // The host goes on handling its messages between objects, as a browser does between scripts.
        MSG msg;
        while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
            TranslateMessage(&msg);
            DispatchMessageW(&msg);
        }
    }
    const LONGLONG created = Counter();

    // Every object is gone; the pending notifications are no server lock, but they hold the library.
    const HMODULE library = GetModuleHandleW(L"Vesk.dll");
    ASSERT_NE(library, nullptr);
    const auto canUnloadNow =
        reinterpret_cast<CanUnloadNowFunction>(reinterpret_cast<void*>(GetProcAddress(library, "DllCanUnloadNow")));
    ASSERT_NE(canUnloadNow, nullptr);
    EXPECT_EQ(canUnloadNow(), S_OK) << "no object and no lock is left";
    CoFreeUnusedLibraries();
    EXPECT_NE(GetModuleHandleW(L"Vesk.dll"), nullptr) << "the pending notifications hold the library";

    // Pumped until the last notification.
    // Until 9.9 s after the last EnableVesk its 10-second notification has certainly not posted.
    const LONGLONG surelyPending = records.back().calledAt + frequency.QuadPart * 99 / 10;
    bool unloadedEarly = false;
    const bool allArrived = PumpMessagesUntil(30000, [&] {
        const LONGLONG now = Counter();
        if (now < surelyPending && !GetModuleHandleW(L"Vesk.dll"))
            unloadedEarly = true;
        return arrived >= kObjects * kPerObject;
    });
    const LONGLONG lastArrival = Counter();
    const Figures peak = sampler.Stop();
    EXPECT_FALSE(unloadedEarly) << "the library was unloaded while notifications were pending";
    EXPECT_TRUE(allArrived) << arrived << " of " << kObjects * kPerObject << " notifications arrived";
    EXPECT_TRUE(PumpMessagesUntil(2000, [] { return GetModuleHandleW(L"Vesk.dll") == nullptr; }))
        << "the last notification let the library go";
    PumpMessagesFor(200);  // a notification too many would arrive now
    EXPECT_EQ(extra, 0) << "notifications beyond six for one object";

    // Each object's six arrivals, earliest first, against its six delays, shortest first: none before
    // its delay, none more than two seconds after it.
    LONGLONG earliest = kLatenessMs;
    LONGLONG latest = -kLatenessMs;
    int wrongCounts = 0;
    int outOfTime = 0;
    for (const ObjectRecord& record : records) {
        if (record.count != kPerObject) {
            ++wrongCounts;
            continue;
        }
        LONGLONG offsets[kPerObject];
        for (int k = 0; k < kPerObject; ++k) {
            offsets[k] = record.arrivals[k] - record.calledAt;
            all.push_back(record.arrivals[k]);
        }
        std::sort(offsets, offsets + kPerObject);
        for (int k = 0; k < kPerObject; ++k) {
            const LONGLONG past = milliseconds(offsets[k]) - kDelaysMs[k];
            earliest = std::min(earliest, past);
            latest = std::max(latest, past);
            if (past < 0 || past > kLatenessMs)
                ++outOfTime;
        }
    }
    EXPECT_EQ(wrongCounts, 0) << "objects whose toolbar did not receive exactly six notifications";
    EXPECT_EQ(outOfTime, 0) << "notifications early or more than 2 s late; earliest " << earliest
                            << " ms, latest " << latest << " ms past the delay";

    // The busiest second of delivery.
    std::sort(all.begin(), all.end());
    size_t busiest = 0;
    for (size_t first = 0, last = 0; last < all.size(); ++last) {
        while (all[last] - all[first] > frequency.QuadPart)
            ++first;
        busiest = std::max(busiest, last - first + 1);
    }

    // The platform's pool ends the workers it added once they have idled a while (Wine: 5 s).
    const LONGLONG settleStart = Counter();
    for (int waited = 0; waited < 40 && ThreadsOfThisProcess() > before.threads + kThreadMargin; ++waited)
        PumpMessagesFor(250);
    const LONGLONG settled = Counter();
    const Figures after = Measure();
    std::printf("churn: %d objects created and released in %lld ms; %d notifications, the last %lld ms after "
                "the first call; busiest second %zu notifications; %lld to %lld ms past their delays\n",
                kObjects, static_cast<long long>(milliseconds(created - start)), arrived,
                static_cast<long long>(milliseconds(lastArrival - start)), busiest,
                static_cast<long long>(earliest), static_cast<long long>(latest));
    std::printf("churn: threads back within the margin %lld ms after the last notification\n",
                static_cast<long long>(milliseconds(settled - settleStart)));
    std::printf("churn: before / peak / after: threads %d / %d / %d; private bytes %lu / %lu / %lu KB\n",
                before.threads, peak.threads, after.threads, static_cast<unsigned long>(before.privateBytes / 1024),
                static_cast<unsigned long>(peak.privateBytes / 1024), static_cast<unsigned long>(after.privateBytes / 1024));
    std::printf("churn: before / after: handles %lu / %lu; heap bytes in use %lu / %lu KB\n",
                static_cast<unsigned long>(before.handles), static_cast<unsigned long>(after.handles),
                static_cast<unsigned long>(before.heapBytes / 1024), static_cast<unsigned long>(after.heapBytes / 1024));
    ASSERT_GT(before.handles, 0u) << "the handles could not be counted";
    ASSERT_GT(before.privateBytes, 0u) << "the private bytes could not be read";
    EXPECT_LE(static_cast<long>(after.handles) - static_cast<long>(before.handles), kHandleMargin);
    EXPECT_LE(after.threads - before.threads, kThreadMargin);
    EXPECT_LE(after.privateBytes, before.privateBytes + kPrivateBytesMargin);
    EXPECT_LE(after.heapBytes, before.heapBytes + kHeapBytesMargin);
}

}  // namespace
