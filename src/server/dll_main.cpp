#include "server/dll_main.h"

#include <new>

#include "server/module_records.h"
#include "server/vesk_module.h"

namespace {

// The module object lives in static storage but is built and destroyed by the entry point, not by
// static construction, so that start-up and shutdown keep their order and can fail as values.
alignas(CVeskModule) unsigned char g_moduleStorage[sizeof(CVeskModule)];
CVeskModule* g_pBuiltModule = nullptr;

void StartServer(HINSTANCE instance)
{
    g_bInitFailed = false;
    g_comModule.StartUp(instance);
    g_baseModule.StartUp(instance);
    g_pBuiltModule = new (g_moduleStorage) CVeskModule;
}

void ShutDownServer()
{
    if (!g_pBuiltModule)
        return;
    // The module object shuts down first but is destroyed last: a class object that the map lets go
    // of while a host still holds it gives back its server lock through g_pModule.
    g_pBuiltModule->ShutDown();
    g_baseModule.ShutDown();
    g_comModule.ShutDown();
    g_pBuiltModule->~CVeskModule();
    g_pBuiltModule = nullptr;
}

}  // namespace

extern "C" BOOL WINAPI DllMain(HINSTANCE hInstance, DWORD reason, LPVOID reserved)
{
    switch (reason) {
    case DLL_PROCESS_ATTACH:
        StartServer(hInstance);
        if (g_bInitFailed) {
            // A refused load may or may not be followed by a detach; either way nothing stays behind.
            ShutDownServer();
            return FALSE;
        }
        return TRUE;
    case DLL_PROCESS_DETACH:
        // A non-null `reserved` means the process is ending: its other threads are gone or were
        // stopped anywhere, and the libraries the teardown would call may have detached already.
        // The process's end gives everything back; only an unload by FreeLibrary tears down.
        if (!reserved)
            ShutDownServer();
        return TRUE;
    default:
        return TRUE;
    }
}
