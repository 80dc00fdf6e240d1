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
    g_pBuiltModule->~CVeskModule();
    g_pBuiltModule = nullptr;
    g_baseModule.ShutDown();
    g_comModule.ShutDown();
}

}  // namespace

extern "C" BOOL WINAPI DllMain(HINSTANCE hInstance, DWORD reason, LPVOID)
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
        ShutDownServer();
        return TRUE;
    default:
        return TRUE;
    }
}
