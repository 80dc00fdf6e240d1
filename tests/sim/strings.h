// Wide-text operations of the platform (KERNEL32, USER32). System code uses these, never the C
// library's wide functions, so that text is UTF-16 in both builds.
#pragma once

#include "sim/base_types.h"

int WINAPI lstrlenW(LPCWSTR lpString);
// Case-insensitive comparison; letters outside ASCII compare by code unit.
int WINAPI lstrcmpiW(LPCWSTR lpString1, LPCWSTR lpString2);
int WINAPI lstrcmpW(LPCWSTR lpString1, LPCWSTR lpString2);
LPWSTR WINAPI CharNextW(LPCWSTR lpsz);
