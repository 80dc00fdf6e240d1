#include "sim/strings.h"

namespace {

WCHAR FoldCase(WCHAR c) { return (c >= L'A' && c <= L'Z') ? static_cast<WCHAR>(c - L'A' + L'a') : c; }

}  // namespace

int WINAPI lstrlenW(LPCWSTR lpString)
{
    if (!lpString)
        return 0;
    int n = 0;
    while (lpString[n])
        ++n;
    return n;
}

int WINAPI lstrcmpiW(LPCWSTR a, LPCWSTR b)
{
    if (!a || !b)
        return a ? 1 : (b ? -1 : 0);
    for (;; ++a, ++b) {
        const WCHAR ca = FoldCase(*a);
        const WCHAR cb = FoldCase(*b);
        if (ca != cb)
            return ca < cb ? -1 : 1;
        if (!ca)
            return 0;
    }
}

int WINAPI lstrcmpW(LPCWSTR a, LPCWSTR b)
{
    if (!a || !b)
        return a ? 1 : (b ? -1 : 0);
    for (;; ++a, ++b) {
        if (*a != *b)
            return *a < *b ? -1 : 1;
        if (!*a)
            return 0;
    }
}

LPWSTR WINAPI CharNextW(LPCWSTR lpsz)
{
    if (*lpsz)
        ++lpsz;
    return const_cast<LPWSTR>(lpsz);
}
