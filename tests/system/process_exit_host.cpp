// A browser closing while Vesk's re-check notifications are pending: the host loads Vesk.dll, calls
// EnableVesk on toolbars that have no band yet (so notifications are scheduled on the thread pool)
// and then ends its own process, in one of these ways:
//   held      with the class factory and its enablers still held
//   released  with every object released
//   firing    at a random moment while the one-second re-checks fire, each answered with MakeSure
//   freed     after DllCanUnloadNow answered S_OK and the library was freed
//   baseline  no Vesk: the same thread-pool timers posting the same message, each holding a
//             library reference given back when its callback returns, answered like `firing`
//   faulting  no Vesk: DLL is a library that faults in its detach, which the test must see
// The seed picks the moment. The last line it prints before ExitProcess(0) says it got there; the
// test driver (process_exit_test.sh) checks that line, the exit status, and Wine's exception trace.
//   vesk_process_exit_host DLL WAY SEED
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "loaded_server.h"
#include "real_windows.h"

namespace {

constexpr size_t kToolbars = 3;
constexpr size_t kBaselineRechecks = 9;

struct Options {
    const char* way;
    unsigned seed;
};

// A moment in [from, to) milliseconds, spread over the range by the seed (Knuth's multiplicative
// hash, so that neighbouring seeds land far apart).
DWORD MomentBetween(unsigned seed, DWORD from, DWORD to)
{
    const unsigned spread = (seed * 2654435761u) >> 7;
    return from + spread % (to - from);
}

// Pumps this thread's messages (the toolbars answer their re-checks meanwhile) until a moment in
// [from, to) milliseconds drawn from the seed, then ends the process there.
[[noreturn]] void EndProcessBetween(const Options& options, DWORD from, DWORD to)
{
    const DWORD moment = MomentBetween(options.seed, from, to);
    vesk_test::PumpMessagesFor(moment);
    std::printf("exit host: %s, seed %u: ending the process at %lu ms\n", options.way, options.seed,
                static_cast<unsigned long>(moment));
    std::fflush(stdout);
    ExitProcess(0);
}

// The baseline's notification: posts the message, then gives back the library reference its timer
// holds once the callback has returned, as Vesk's notifications do.
void CALLBACK PostBaselineRecheck(PTP_CALLBACK_INSTANCE instance, PVOID hWnd, PTP_TIMER timer)
{
    PostMessageW(static_cast<HWND>(hWnd), WM_RECHECK_BAND, 0, 0);
    CloseThreadpoolTimer(timer);
    FreeLibraryWhenCallbackReturns(instance, GetModuleHandleW(L"version.dll"));
}

void StartBaselineRecheck(DWORD milliseconds, HWND toolbar)
{
    if (LoadLibraryW(L"version.dll"))
        vesk_test::StartPoolTimer(&PostBaselineRecheck, toolbar, milliseconds);
}

// The moments of the ways: before the first notice fires, or while the one-second ones fire.
constexpr DWORD kEarly = 0;
constexpr DWORD kFirstNotice = 1000;
constexpr DWORD kLate = 2500;

}  // namespace

int main(int argc, char** argv)
{
    if (argc != 4) {
        std::fprintf(stderr, "usage: vesk_process_exit_host DLL held|released|firing|freed|baseline|faulting SEED\n");
        return 2;
    }
    const Options options{argv[2], static_cast<unsigned>(std::strtoul(argv[3], nullptr, 10))};
    const auto is = [&](const char* way) { return std::strcmp(options.way, way) == 0; };
    if (FAILED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED)))
        return 3;

    vesk_test::RealRebarFrame frame;
    std::vector<IVeskEnabler*> enablers;
    std::vector<HWND> toolbars;
    for (size_t i = 0; i < kToolbars; ++i) {
        // Each re-check is answered as a toolbar does: with MakeSure while the way keeps the
        // enabler; in the baseline, with another one-second timer while there have been nine or fewer.
        const auto answer = [&enablers, &options, i](HWND window, const vesk_test::RecheckArrival&) {
            if (std::strcmp(options.way, "baseline") == 0) {
                if (vesk_test::RecheckArrivals(window).size() <= kBaselineRechecks)
                    StartBaselineRecheck(1000, window);
            } else if (i < enablers.size() && enablers[i]) {
                enablers[i]->MakeSure(vesk_test::InterfaceValue(window));
            }
        };
        const HWND toolbar = vesk_test::CreateToolbarWindow(frame.CreateBandChild(), answer);
        if (!toolbar)
            return 4;
        toolbars.push_back(toolbar);
    }
    if (is("baseline")) {
        for (HWND toolbar : toolbars)
            for (DWORD delay : {1000u, 1000u, 2000u, 2000u, 5000u, 10000u})
                StartBaselineRecheck(delay, toolbar);
        EndProcessBetween(options, kFirstNotice, kLate);
    }

    std::vector<wchar_t> path(std::strlen(argv[1]) + 1);
    MultiByteToWideChar(CP_ACP, 0, argv[1], -1, path.data(), static_cast<int>(path.size()));
    // A library that cannot be loaded is no server either: the answer below.
    if (is("faulting") && LoadLibraryW(path.data()))
        EndProcessBetween(options, kEarly, kLate);
    vesk_test::LoadedServer server(path.data());
    if (!server.Loaded())
        return 5;
    IClassFactory* factory = server.ClassFactory();
    for (HWND toolbar : toolbars) {
        IVeskEnabler* enabler = server.CreateEnabler();
        if (!enabler || enabler->EnableVesk(vesk_test::InterfaceValue(toolbar)) != S_OK)
            return 6;
        enablers.push_back(enabler);
    }
    if (is("held"))
        EndProcessBetween(options, kEarly, kLate);
    if (is("firing"))
        EndProcessBetween(options, kFirstNotice, kLate);

    for (IVeskEnabler*& enabler : enablers) {
        enabler->Release();
        enabler = nullptr;
    }
    if (factory)
        factory->Release();
    if (is("released"))
        EndProcessBetween(options, kEarly, kLate);
    if (is("freed")) {
        if (server.canUnloadNow() != S_OK) {
            std::printf("exit host: DllCanUnloadNow did not answer S_OK with every object released\n");
            return 7;
        }
        // The library stays mapped while its pending notifications hold it.
        server.Free();
        EndProcessBetween(options, kEarly, kLate);
    }
    std::fprintf(stderr, "exit host: unknown way %s\n", options.way);
    return 2;
}
