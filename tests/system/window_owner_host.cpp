// A toolbar of another process, for the tests that prove the enabler leaves such windows alone: a
// frame with a rebar whose one band (header 10) holds the toolbar's parent. It prints
// "toolbar T" (the decimal handle as the interface carries it) and pumps messages until the test
// posts the toolbar a WM_RECHECK_BAND with wParam kEndOfWatch, which arrives after anything posted to
// it before; then it prints "band messages B rechecks N header H" (N without the test's message) and
// exits 0. No end within the given number of milliseconds exits 4.
//   vesk_window_owner_host MILLISECONDS
#include <cstdio>
#include <cstdlib>

#include "real_windows.h"

int main(int argc, char** argv)
{
    if (argc != 2)
        return 1;
    const DWORD lifetime = static_cast<DWORD>(std::strtoul(argv[1], nullptr, 10));
    vesk_test::RealRebarFrame frame;
    const HWND bandChild = frame.CreateBandChild();
    if (!frame.InsertBand(bandChild, 10))
        return 2;
    bool ended = false;
    const HWND toolbar = vesk_test::CreateToolbarWindow(bandChild, [&ended](HWND, const vesk_test::RecheckArrival& a) {
        ended = ended || a.wParam == vesk_test::kEndOfWatch;
    });
    if (!toolbar)
        return 3;
    frame.StartLogging();
    std::printf("toolbar %ld\n", static_cast<long>(vesk_test::InterfaceValue(toolbar)));
    std::fflush(stdout);

    if (!vesk_test::PumpMessagesUntil(lifetime, [&ended] { return ended; }))
        return 4;
    const size_t bandMessages = frame.Log().size();
    std::printf("band messages %u rechecks %u header %u\n", static_cast<unsigned>(bandMessages),
                static_cast<unsigned>(vesk_test::RecheckArrivals(toolbar).size() - 1), frame.ReadHeader(0));
    return 0;
}
