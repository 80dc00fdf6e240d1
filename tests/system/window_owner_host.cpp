// A toolbar of another process, for the tests that prove the enabler leaves such windows alone: a
// frame with a rebar whose one band (header 10) holds the toolbar's parent. It prints
// "toolbar T" (the decimal handle as the interface carries it), pumps messages for the given number
// of milliseconds, then prints "band messages B rechecks N header H" and exits 0.
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
    const HWND toolbar = vesk_test::CreateToolbarWindow(bandChild);
    if (!toolbar)
        return 3;
    frame.StartLogging();
    std::printf("toolbar %ld\n", static_cast<long>(vesk_test::InterfaceValue(toolbar)));
    std::fflush(stdout);

    vesk_test::PumpMessagesFor(lifetime);
    const size_t bandMessages = frame.Log().size();
    std::printf("band messages %u rechecks %u header %u\n", static_cast<unsigned>(bandMessages),
                static_cast<unsigned>(vesk_test::RecheckArrivals(toolbar).size()), frame.ReadHeader(0));
    return 0;
}
