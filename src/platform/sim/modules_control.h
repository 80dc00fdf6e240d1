// Test controls of the simulated modules. Only tests include this.
#pragma once

#include "platform/sim/modules.h"

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
// The next `count` calls of GetModuleHandleExW fail with ERROR_MOD_NOT_FOUND.
void FailGetModuleHandleEx(int count);
void ResetModules();

}  // namespace sim
