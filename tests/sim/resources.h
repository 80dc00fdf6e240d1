// Module files mapped as data, their resources, the 8-bit to UTF-16 conversion and the thread
// locale (KERNEL32).
#pragma once

#include "sim/base_types.h"

#define LOAD_LIBRARY_AS_DATAFILE 0x00000002

#define MAKEINTRESOURCEW(i) (reinterpret_cast<LPWSTR>(static_cast<ULONG_PTR>(static_cast<WORD>(i))))
#define IS_INTRESOURCE(r) (((reinterpret_cast<ULONG_PTR>(r)) >> 16) == 0)

#define CP_ACP 0
#define CP_THREAD_ACP 3

#define LOCALE_SYSTEM_DEFAULT 0x0800
#define LOCALE_USER_DEFAULT 0x0400

// Only LOAD_LIBRARY_AS_DATAFILE is served: the module files the simulation knows (the library's own
// file at its current path, and those tests have described) are mapped as data; every data handle is
// released with FreeLibrary. An unknown file fails with ERROR_MOD_NOT_FOUND.
HMODULE WINAPI LoadLibraryExW(LPCWSTR lpLibFileName, HANDLE hFile, DWORD dwFlags);
// Names and types are integer identifiers (MAKEINTRESOURCEW) or names compared in any letter case.
HRSRC WINAPI FindResourceW(HMODULE hModule, LPCWSTR lpName, LPCWSTR lpType);
HGLOBAL WINAPI LoadResource(HMODULE hModule, HRSRC hResInfo);
DWORD WINAPI SizeofResource(HMODULE hModule, HRSRC hResInfo);
LPVOID WINAPI LockResource(HGLOBAL hResData);

// CP_ACP and CP_THREAD_ACP widen each byte to the character of the same value (ASCII and Latin-1).
// A length of 0 fails with ERROR_INVALID_PARAMETER; -1 converts up to and including the terminator;
// an output of 0 characters asks for the length; an output too small fails with
// ERROR_INSUFFICIENT_BUFFER.
int WINAPI MultiByteToWideChar(UINT CodePage, DWORD dwFlags, LPCSTR lpMultiByteStr, int cbMultiByte,
                               LPWSTR lpWideCharStr, int cchWideChar);

// Each thread has its own locale, US English (0x0409) until set.
LCID WINAPI GetThreadLocale();
BOOL WINAPI SetThreadLocale(LCID Locale);
