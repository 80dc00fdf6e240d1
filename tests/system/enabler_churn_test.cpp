// Churn on the real platform: one process creates 2,000 enablers from the library regsvr32
// registered, each by its ProgID, calls EnableVesk on each with a toolbar of its own that no band
// holds (six notifications each) and releases the object at once, a thousand at a time. Every
// notification arrives, once, on time; afterwards the process holds what it held before the first
// object, within stated margins, the second thousand leaves nothing on the heap, its peaks stay within
// what the platform's pool may take, and the library unloads only after the last notification has
// posted.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <vector>

#include "child_process.h"
#include "process_figures.h"
#include "real_windows.h"
#include "server_fixture.h"

namespace {

using namespace vesk_test;

constexpr int kObjects = 2000;
// A first EnableVesk on a toolbar in no band: the missing band's pair and the first call's four,
// earliest first.
constexpr LONGLONG kDelaysMs[] = {1000, 1000, 2000, 2000, 5000, 10000};
constexpr int kPerObject = 6;
// The test's own timers on the same pool, one per object, each delay in turn. On a loaded machine
// the pool delivers every due timer late alike (up to 0.9 s seen, with all its workers started),
// but in the order they came due; so each notification is timed against the notices due after it,
// the library's and these: one due at 1 s that arrives only with those due at 2 s has been overtaken
// by a second, and fails. Seen: at most 176 ms, with both cores busy besides.
constexpr LONGLONG kReferenceDelaysMs[] = {1000, 2000, 5000, 10000};
// What the process may hold beyond its figures before the first object once all is done. The first
// object loads the library and what it imports and fills COM's caches: a few handles and about
// 80 KB of heap that stay. The platform's pool has started its 500 threads and ends them after a
// few idle seconds, and the memory its heaps and threads committed meanwhile stays committed for
// reuse: 6 to 10 MB whether 500, 1,000 or 2,000 objects were made. Measured once the pool has
// ended its workers, the heap after the second thousand, which found all that in place, must hold
// less beyond the heap after the first than 16 bytes an object would leave.
constexpr long kHandleMargin = 8;
constexpr int kThreadMargin = 2;
constexpr SIZE_T kPrivateBytesMargin = 10 * 1024 * 1024;
constexpr SIZE_T kHeapBytesMargin = 128 * 1024;
constexpr SIZE_T kSecondThousandHeapMargin = 8 * 1024;
// The peaks: the platform's pool and nothing else may add threads (Wine's limit is 500, Windows'
// 512), and what is committed meanwhile is their stacks, about 1 MB each, and little besides.
constexpr int kPoolThreadLimit = 512;
constexpr SIZE_T kPeakPrivateBytesMargin = (kPoolThreadLimit + 64) * SIZE_T{1024 * 1024};

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

// A process always has a thread, handles, committed memory and heap blocks in use: 0 is a figure
// that could not be read.
bool Readable(const Figures& figures)
{
    return figures.handles > 0 && figures.threads > 0 && figures.privateBytes > 0 && figures.heapBytes > 0;
}

LONGLONG Counter()
{
    LARGE_INTEGER now;
    QueryPerformanceCounter(&now);
    return now.QuadPart;
}

// One object's EnableVesk and the notifications its toolbar received, and the test's own timer set
// right after the call, in performance-counter units.
struct ObjectRecord {
    LONGLONG calledAt = 0;
    LONGLONG returnedAt = 0;
    LONGLONG arrivals[kPerObject] = {};
    int count = 0;
    LONGLONG referenceDelayMs = 0;
    LONGLONG referenceSetFrom = 0;
    LONGLONG referenceSetBy = 0;
    LONGLONG referenceArrival = 0;
};

// A notice as it came: due between two moments (those of the call that scheduled it), and arrived.
struct Notice {
    LONGLONG dueFrom;
    LONGLONG dueBy;
    LONGLONG arrival;
    bool ours;  // the library's, not one of the test's own timers
};

typedef HRESULT(STDAPICALLTYPE* CanUnloadNowFunction)();

class EnablerChurn : public ServerTest {
protected:
    EnablerChurn() : ServerTest(kApartment | kRegistration) {}
};

// Samples the process's thread count and private bytes every 200 ms on a thread of its own, for
// their peaks; a sample that could not be read is remembered. Under Wine a thread snapshot of a
// process with hundreds of threads takes long enough to delay the messages of a thread that takes
// it while pumping.
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
    bool MissedASample() const { return m_bMissed; }
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
            const int threads = ThreadsOfThisProcess();
            const SIZE_T privateBytes = PrivateBytesOfThisProcess();
            if (threads <= 0 || privateBytes == 0)
                sampler->m_bMissed = true;
            sampler->m_peak.threads = std::max(sampler->m_peak.threads, threads);
            sampler->m_peak.privateBytes = std::max(sampler->m_peak.privateBytes, privateBytes);
        } while (WaitForSingleObject(sampler->m_stop, 200) == WAIT_TIMEOUT);
        return 0;
    }

    Figures m_peak;
    bool m_bMissed = false;
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

struct HeldWorkers {
    LONG started;
    LONG finished;
    HANDLE release;
};

VOID CALLBACK HoldWorker(PTP_CALLBACK_INSTANCE, PVOID context)
{
    auto* held = static_cast<HeldWorkers*>(context);
    InterlockedIncrement(&held->started);
    WaitForSingleObject(held->release, INFINITE);
    InterlockedIncrement(&held->finished);
}

// Makes the pool start every worker it may have, with callbacks of the test's own that wait until
// the pool starts no more; answers how many it started, or 0. Wine's pool starts a worker, one at
// a time under its lock, whenever a timer comes due while all its workers are busy (one starting
// counts as busy), so a burst of due timers makes it start workers up to its limit while it holds
// every due timer back: seconds on a loaded machine, and with hundreds of threads starting, one
// worker may run a second behind the others. The notifications are timed in a pool that has its
// workers already; they idle out again after 5 s without work.
LONG StartAllWorkers()
{
    constexpr LONG kCallbacks = kPoolThreadLimit + 16;
    HeldWorkers held{0, 0, CreateEventW(nullptr, TRUE, FALSE, nullptr)};
    if (!held.release)
        return 0;
    LONG submitted = 0;
    while (submitted < kCallbacks && TrySubmitThreadpoolCallback(&HoldWorker, &held, nullptr))
        ++submitted;
    LONG started = -1;
    for (int unchanged = 0; unchanged < 3;) {
        PumpMessagesFor(100);
        const LONG now = InterlockedCompareExchange(&held.started, 0, 0);
        unchanged = now == started ? unchanged + 1 : 0;
        started = now;
    }
    SetEvent(held.release);
    while (InterlockedCompareExchange(&held.finished, 0, 0) < submitted)
        PumpMessagesFor(10);
    CloseHandle(held.release);
    return submitted == kCallbacks ? started : 0;
}

TEST_F(EnablerChurn, TwoThousandEnablersNotifySixTimesEachOnTimeAndLeaveNothingBehind)
{
    CLSID enablerClass = {};
    ASSERT_EQ(CLSIDFromProgID(L"Vesk.VeskEnabler", &enablerClass), S_OK);
    LARGE_INTEGER frequency;
    ASSERT_TRUE(QueryPerformanceFrequency(&frequency));
    const auto milliseconds = [&](LONGLONG ticks) { return ticks * 1000 / frequency.QuadPart; };
    const auto ticks = [&](LONGLONG ms) { return ms * frequency.QuadPart / 1000; };

    // Everything the test itself keeps is made before the first figures: the frame, one toolbar per
    // object, and the records the toolbars fill.
    RealRebarFrame frame;
    std::vector<ObjectRecord> records(kObjects);
    std::vector<HWND> toolbars(kObjects);
    std::vector<Notice> notices;
    notices.reserve(kObjects * (kPerObject + 1));
    int arrived = 0;
    int extra = 0;
    int referencesArrived = 0;
    for (int i = 0; i < kObjects; ++i) {
        ObjectRecord* record = &records[i];
        toolbars[i] = CreateToolbarWindow(frame.Frame(), [record, &arrived, &extra, &referencesArrived](
                                                             HWND, const RecheckArrival& arrival) {
            if (arrival.wParam == kReferenceNotice) {
                record->referenceArrival = Counter();
                ++referencesArrived;
                return;
            }
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
    ASSERT_TRUE(Readable(before)) << "handles " << before.handles << ", threads " << before.threads
                                  << ", private bytes " << before.privateBytes << ", heap bytes " << before.heapBytes;
    PeakSampler sampler(before);
    ASSERT_TRUE(sampler.Running());
    const LONG workers = StartAllWorkers();
    ASSERT_GT(workers, 0) << "the pool's workers could not be started";

    // A thousand at a time, each until its last notification has posted; the heap is measured then.
    // The library the first thousand loaded stays for the second, which so finds in place all that the
    // first loaded for good.
    const LONGLONG start = Counter();
    LONGLONG creating = 0;
    LONGLONG lastArrival = 0;
    SIZE_T heapAfter[2] = {};
    LONGLONG settleStart = 0;
    LONGLONG settled = 0;
    HMODULE held = nullptr;
    for (int thousand = 0; thousand < 2; ++thousand) {
        const int end = (thousand + 1) * kObjects / 2;
        const LONGLONG creatingFrom = Counter();
        for (int i = thousand * kObjects / 2; i < end; ++i) {
            IVeskEnabler* enabler = nullptr;
            ASSERT_EQ(CoCreateInstance(enablerClass, nullptr, CLSCTX_INPROC_SERVER, IID_IVeskEnabler,
                                       reinterpret_cast<void**>(&enabler)),
                      S_OK)
                << "object " << i;
            ObjectRecord& record = records[i];
            record.calledAt = Counter();
            EXPECT_EQ(enabler->EnableVesk(InterfaceValue(toolbars[i])), S_OK);
            record.returnedAt = Counter();
            enabler->Release();

            record.referenceDelayMs = kReferenceDelaysMs[i % 4];
            record.referenceSetFrom = Counter();
            ASSERT_TRUE(StartReferenceNotice(toolbars[i], record.referenceDelayMs));
            record.referenceSetBy = Counter();

            // The host goes on handling its messages between objects, as a browser does between scripts.
            PumpMessagesFor(0);
        }
        creating += Counter() - creatingFrom;
        if (thousand == 0)
            ASSERT_TRUE(GetModuleHandleExW(0, L"Vesk.dll", &held));
        else
            FreeLibrary(held);

        // Every object is gone; the pending notifications are no server lock, but they hold the library.
        const HMODULE library = GetModuleHandleW(L"Vesk.dll");
        ASSERT_NE(library, nullptr);
        const auto canUnloadNow = reinterpret_cast<CanUnloadNowFunction>(
            reinterpret_cast<void*>(GetProcAddress(library, "DllCanUnloadNow")));
        ASSERT_NE(canUnloadNow, nullptr);
        EXPECT_EQ(canUnloadNow(), S_OK) << "no object and no lock is left";
        CoFreeUnusedLibraries();
        EXPECT_NE(GetModuleHandleW(L"Vesk.dll"), nullptr) << "the pending notifications hold the library";

        // Pumped until the last notification.
        // Until 9.9 s after the last EnableVesk its 10-second notification has certainly not posted.
        const LONGLONG surelyPending = records[end - 1].calledAt + frequency.QuadPart * 99 / 10;
        bool unloadedEarly = false;
        const bool allArrived = PumpMessagesUntil(30000, [&] {
            const LONGLONG now = Counter();
            if (now < surelyPending && !GetModuleHandleW(L"Vesk.dll"))
                unloadedEarly = true;
            return arrived >= end * kPerObject && referencesArrived >= end;
        });
        lastArrival = Counter();
        EXPECT_FALSE(unloadedEarly) << "the library was unloaded while notifications were pending";
        EXPECT_TRUE(allArrived) << arrived << " of " << end * kPerObject << " notifications and " << referencesArrived
                                << " of " << end << " of the test's own arrived";
        if (thousand == 1) {
            EXPECT_TRUE(PumpMessagesUntil(2000, [] { return GetModuleHandleW(L"Vesk.dll") == nullptr; }))
                << "the last notification let the library go";
        }
        PumpMessagesFor(200);  // a notification too many would arrive now
        // The pool's workers hold heap blocks of their own (the C runtime's data of each thread, for
        // one) for as long as they run, and how many still run varies from run to run: the heap is
        // measured once the pool has ended the workers it added, as it does once they have idled a
        // while (Wine: 5 s).
        settleStart = Counter();
        for (int waited = 0; waited < 40 && ThreadsOfThisProcess() > before.threads; ++waited)
            PumpMessagesFor(250);
        settled = Counter();
        heapAfter[thousand] = HeapBytesInUse();
    }
    const Figures peak = sampler.Stop();
    EXPECT_EQ(extra, 0) << "notifications beyond six for one object";

    // Each object's six arrivals, in the order they came, answer its six due times, earliest first:
    // the messages are alike, and this pairing leaves each as little lateness as any would. None
    // arrives before its due time.
    int wrongCounts = 0;
    int early = 0;
    LONGLONG latest = 0;
    LONGLONG latestOwn = 0;
    for (const ObjectRecord& record : records) {
        notices.push_back({record.referenceSetFrom + ticks(record.referenceDelayMs),
                           record.referenceSetBy + ticks(record.referenceDelayMs), record.referenceArrival, false});
        latestOwn = std::max(latestOwn, notices.back().arrival - notices.back().dueBy);
        if (record.count != kPerObject) {
            ++wrongCounts;
            continue;
        }
        for (int k = 0; k < kPerObject; ++k) {
            notices.push_back({record.calledAt + ticks(kDelaysMs[k]), record.returnedAt + ticks(kDelaysMs[k]),
                               record.arrivals[k], true});
            if (record.arrivals[k] < notices.back().dueFrom)
                ++early;
            latest = std::max(latest, notices.back().arrival - notices.back().dueBy);
        }
    }
    EXPECT_EQ(wrongCounts, 0) << "objects whose toolbar did not receive exactly six notifications";
    EXPECT_EQ(early, 0) << "notifications that arrived before their due time";
    EXPECT_LE(latest, latestOwn + ticks(kOvertakenMs)) << "notifications later past their due times than the pool "
                                                          "delivered the test's own timers";

    // No notification arrives after a notice, the library's or the test's own, that came due more
    // than the bound after it.
    std::sort(notices.begin(), notices.end(), [](const Notice& a, const Notice& b) { return a.arrival < b.arrival; });
    LONGLONG dueBefore = notices.front().dueFrom;  // the latest due time among the notices that arrived so far
    LONGLONG overtaken = 0;
    int overtakenTooFar = 0;
    for (const Notice& notice : notices) {
        if (notice.ours) {
            overtaken = std::max(overtaken, dueBefore - notice.dueBy);
            if (dueBefore - notice.dueBy > ticks(kOvertakenMs))
                ++overtakenTooFar;
        }
        dueBefore = std::max(dueBefore, notice.dueFrom);
    }
    EXPECT_EQ(overtakenTooFar, 0) << "notifications that arrived after a notice due more than " << kOvertakenMs
                                  << " ms after them; at most " << milliseconds(overtaken) << " ms";

    const Figures after = Measure();
    std::printf("churn: the pool started %ld workers; %d objects created and released in %lld ms; %d notifications, "
                "the last %lld ms after the first call; at most %lld ms past their due times (the test's own "
                "timers: %lld ms), overtaken by notices due at most %lld ms after them\n",
                static_cast<long>(workers), kObjects, static_cast<long long>(milliseconds(creating)), arrived,
                static_cast<long long>(milliseconds(lastArrival - start)), static_cast<long long>(milliseconds(latest)),
                static_cast<long long>(milliseconds(latestOwn)), static_cast<long long>(milliseconds(overtaken)));
    std::printf("churn: threads back %lld ms after the last notification of the second thousand\n",
                static_cast<long long>(milliseconds(settled - settleStart)));
    std::printf("churn: before / peak / after: threads %d / %d / %d; private bytes %lu / %lu / %lu KB\n",
                before.threads, peak.threads, after.threads, static_cast<unsigned long>(before.privateBytes / 1024),
                static_cast<unsigned long>(peak.privateBytes / 1024), static_cast<unsigned long>(after.privateBytes / 1024));
    std::printf("churn: before / after: handles %lu / %lu; heap bytes in use %lu / after each thousand %lu, %lu / %lu\n",
                static_cast<unsigned long>(before.handles), static_cast<unsigned long>(after.handles),
                static_cast<unsigned long>(before.heapBytes), static_cast<unsigned long>(heapAfter[0]),
                static_cast<unsigned long>(heapAfter[1]), static_cast<unsigned long>(after.heapBytes));
    EXPECT_FALSE(sampler.MissedASample()) << "a thread count or the private bytes could not be read meanwhile";
    ASSERT_TRUE(Readable(after)) << "handles " << after.handles << ", threads " << after.threads << ", private bytes "
                                 << after.privateBytes << ", heap bytes " << after.heapBytes;
    EXPECT_LE(peak.threads - before.threads, kPoolThreadLimit);
    EXPECT_LE(peak.privateBytes, before.privateBytes + kPeakPrivateBytesMargin);
    EXPECT_LE(static_cast<long>(after.handles) - static_cast<long>(before.handles), kHandleMargin);
    EXPECT_LE(after.threads - before.threads, kThreadMargin);
    EXPECT_LE(after.privateBytes, before.privateBytes + kPrivateBytesMargin);
    EXPECT_LE(after.heapBytes, before.heapBytes + kHeapBytesMargin);
    EXPECT_LT(heapAfter[1], heapAfter[0] + kSecondThousandHeapMargin) << "the second thousand";
}

}  // namespace
