// The simulated platform's set-up of the dispatch replay: a fresh platform, the library attached,
// its type library registered from the library's file. The simulation answers as Windows does.
#include "attached_library.h"
#include "invoke_trace.h"

namespace differential {

namespace {
AttachedServer* g_server = nullptr;
}

bool PrepareDispatch(const char*)
{
    g_server = new AttachedServer;
    return g_server->Ready();
}

Platform ThisPlatform() { return Platform::Windows; }

// The simulated conversions work in the conventions of the United States.
bool UserLocaleAsAssumed(std::string*) { return true; }

void EndDispatch()
{
    delete g_server;
    g_server = nullptr;
}

}  // namespace differential
