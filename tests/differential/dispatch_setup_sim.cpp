// The simulated platform's set-up of the dispatch replay: a fresh platform, the library attached,
// its type library registered from the library's file. The simulation answers as Windows does.
#include "attached_library.h"
#include "invoke_trace.h"

namespace differential {

namespace {
AttachedLibrary* g_library = nullptr;
}

bool PrepareDispatch(const char*)
{
    sim::ResetAll();
    g_library = new AttachedLibrary;
    return g_library->Attached() && SUCCEEDED(RegisterTypeLibraryAt(L"C:\\Vesk\\Vesk.dll"));
}

Platform ThisPlatform() { return Platform::Windows; }

// The simulated conversions work in the conventions of the United States.
bool UserLocaleAsAssumed(std::string*) { return true; }

void EndDispatch()
{
    delete g_library;
    g_library = nullptr;
    sim::ResetAll();
}

}  // namespace differential
