// The process-exit test's positive control: a library that faults in its entry point when the
// process ends with it loaded. Wine swallows that fault, so only its exception trace shows it.
#include "platform/win32.h"

extern "C" BOOL WINAPI DllMain(HINSTANCE, DWORD reason, LPVOID processEnds);
extern "C" BOOL WINAPI DllMain(HINSTANCE, DWORD reason, LPVOID processEnds)
{
    static int* volatile nowhere = nullptr;  // not known to be null, so the compiler keeps the write
    if (reason == DLL_PROCESS_DETACH && processEnds)
        *nowhere = 1;
    return TRUE;
}
