// Test controls of the simulated modules. Only tests include this.
#pragma once

#include <string>

#include "sim/modules.h"

namespace sim {

// Thrown by FreeLibraryAndExitThread to end a simulated thread; caught by the thread's own frame.
struct ThreadExit {
    DWORD exitCode;
};

// The library module that holds the system's code, and the host executable.
HMODULE LibraryModule();
HMODULE ExecutableModule();
// References on the library module: 1 while loaded, plus one per GetModuleHandleExW without
// UNCHANGED_REFCOUNT, minus one per FreeLibrary.
LONG LibraryReferences();
// Publishes an entry point of a system module under its name, as GetProcAddress will find it; a
// null function withdraws it (as on a system that lacks the function).
void PublishExport(LPCWSTR moduleName, const char* procName, FARPROC function);
template <class Function>
void PublishExport(LPCWSTR moduleName, const char* procName, Function* function)
{
    // Through void(*)(), the generic function pointer type, so that the cast is not flagged.
    PublishExport(moduleName, procName, reinterpret_cast<FARPROC>(reinterpret_cast<void (*)()>(function)));
}
// The path GetModuleFileNameW gives for a module (any length; null forgets the module's path, so
// that the call fails for it). Defaults: the library "C:\\Program Files\\Vesk\\Vesk.dll", the
// executable "C:\\Program Files\\Host\\host.exe", a system module "C:\\windows\\system32\\<name>".
void SetModuleFileName(HMODULE module, LPCWSTR path);
// The path GetModuleFileNameW gives for a module, empty when it has none.
std::u16string ModuleFileName(HMODULE module);
// Back to the default paths and the loaded library with one reference, without the modules'
// faults; published exports stay.
void ResetModules();

}  // namespace sim
