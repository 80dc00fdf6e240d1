#include <mutex>

#include "platform/sim/modules_control.h"
#include "platform/sim/threads.h"

namespace {

struct Modules {
    std::mutex mutex;
    LONG libraryReferences = 1;
    int failGetModuleHandleEx = 0;
};

Modules& TheModules()
{
    static Modules* modules = new Modules;  // outlives detached threads at process exit
    return *modules;
}

// Distinct, never dereferenced handle values.
HMODULE const kLibraryModule = reinterpret_cast<HMODULE>(static_cast<uintptr_t>(0x10000000));
HMODULE const kExecutableModule = reinterpret_cast<HMODULE>(static_cast<uintptr_t>(0x00400000));

}  // namespace

BOOL WINAPI GetModuleHandleExW(DWORD dwFlags, LPCWSTR lpModuleName, HMODULE* phModule)
{
    if (!phModule) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    *phModule = nullptr;
    Modules& m = TheModules();
    std::lock_guard<std::mutex> lock(m.mutex);
    if (m.failGetModuleHandleEx > 0) {
        --m.failGetModuleHandleEx;
        SetLastError(ERROR_MOD_NOT_FOUND);
        return FALSE;
    }
    if (!(dwFlags & GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS) && lpModuleName == nullptr) {
        *phModule = kExecutableModule;
        return TRUE;
    }
    if (!(dwFlags & GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS)) {
        SetLastError(ERROR_MOD_NOT_FOUND);
        return FALSE;
    }
    if (m.libraryReferences <= 0) {
        SetLastError(ERROR_MOD_NOT_FOUND);
        return FALSE;
    }
    if (!(dwFlags & (GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT | GET_MODULE_HANDLE_EX_FLAG_PIN)))
        ++m.libraryReferences;
    *phModule = kLibraryModule;
    return TRUE;
}

BOOL WINAPI FreeLibrary(HMODULE hLibModule)
{
    Modules& m = TheModules();
    std::lock_guard<std::mutex> lock(m.mutex);
    if (hLibModule == kExecutableModule)
        return TRUE;
    if (hLibModule != kLibraryModule || m.libraryReferences <= 0) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    --m.libraryReferences;
    return TRUE;
}

void WINAPI FreeLibraryAndExitThread(HMODULE hLibModule, DWORD dwExitCode)
{
    FreeLibrary(hLibModule);
    throw sim::ThreadExit{dwExitCode};
}

namespace sim {

HMODULE LibraryModule() { return kLibraryModule; }
HMODULE ExecutableModule() { return kExecutableModule; }

LONG LibraryReferences()
{
    Modules& m = TheModules();
    std::lock_guard<std::mutex> lock(m.mutex);
    return m.libraryReferences;
}

void FailGetModuleHandleEx(int count)
{
    Modules& m = TheModules();
    std::lock_guard<std::mutex> lock(m.mutex);
    m.failGetModuleHandleEx = count;
}

void ResetModules()
{
    Modules& m = TheModules();
    std::lock_guard<std::mutex> lock(m.mutex);
    m.libraryReferences = 1;
    m.failGetModuleHandleEx = 0;
}

}  // namespace sim
