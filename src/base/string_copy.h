// Bounded copies into destinations of a given capacity. The Bounded* operations report the error
// numbers of the safe C string functions; the short-named helpers pass them through
// CheckStringResult, so a failure raises CServerException and truncation returns normally.
#pragma once

#include <cstddef>

#include "platform/win32.h"

// Copies `source` with its terminator; capacity in characters.
int BoundedStringCopy(WCHAR* destination, size_t capacity, LPCWSTR source);
// Appends `source` behind the text already in `destination`.
int BoundedStringAppend(WCHAR* destination, size_t capacity, LPCWSTR source);
// Copies at most `count` characters of `source` and a terminator.
int BoundedCountedCopy(WCHAR* destination, size_t capacity, LPCWSTR source, size_t count);
// Copies `count` bytes; capacity in bytes.
int BoundedMemoryCopy(void* destination, size_t capacity, const void* source, size_t count);

int StringCopy(WCHAR* destination, size_t capacity, LPCWSTR source);
int StringAppend(WCHAR* destination, size_t capacity, LPCWSTR source);
int CountedStringCopy(WCHAR* destination, size_t capacity, LPCWSTR source, size_t count);
int MemoryCopy(void* destination, size_t capacity, const void* source, size_t count);
