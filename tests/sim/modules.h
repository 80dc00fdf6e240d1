// Loaded modules and their reference counts (KERNEL32).
#pragma once

#include "sim/base_types.h"

// Reasons the loader gives a library's entry point.
#define DLL_PROCESS_DETACH 0
#define DLL_PROCESS_ATTACH 1
#define DLL_THREAD_ATTACH 2
#define DLL_THREAD_DETACH 3

#define GET_MODULE_HANDLE_EX_FLAG_PIN 0x00000001
#define GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT 0x00000002
#define GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS 0x00000004

// In the simulation every address belongs to one library module, the one the system is built into;
// a name of null (without FROM_ADDRESS) gives the host executable.
BOOL WINAPI GetModuleHandleExW(DWORD dwFlags, LPCWSTR lpModuleName, HMODULE* phModule);
BOOL WINAPI FreeLibrary(HMODULE hLibModule);

typedef intptr_t(WINAPI* FARPROC)();
// System modules the simulation knows by name ("Advapi32.dll", "OLEAUT32.DLL", ...; any letter
// case); their entry points are those tests have published (modules_control.h).
HMODULE WINAPI GetModuleHandleW(LPCWSTR lpModuleName);
FARPROC WINAPI GetProcAddress(HMODULE hModule, LPCSTR lpProcName);
// The file a module was loaded from. A path that does not fit is cut to nSize - 1 characters and
// terminated, as Windows since Vista does (Wine and XP leave the last character unterminated); the
// result is then nSize with ERROR_INSUFFICIENT_BUFFER.
// A null module is the host executable; an unknown one fails with ERROR_MOD_NOT_FOUND.
DWORD WINAPI GetModuleFileNameW(HMODULE hModule, LPWSTR lpFilename, DWORD nSize);
#define MAX_PATH 260
DECLSPEC_NORETURN void WINAPI FreeLibraryAndExitThread(HMODULE hLibModule, DWORD dwExitCode);
