// The real platform's set-up of the dispatch replay: this program's own module attached as the
// server, the compiled type library registered for the length of the run. Wine is told from Windows
// by an export that only Wine's ntdll has.
#include <cstdio>
#include <string>

#include "enabler/ivesk_enabler.h"
#include "invoke_trace.h"
#include "server/dll_main.h"
#include "this_build.h"

namespace differential {

namespace {
bool g_attached = false;
bool g_registered = false;
}

bool PrepareDispatch(const char* typeLibraryPath)
{
    g_attached = DllMain(GetModuleHandleW(nullptr), DLL_PROCESS_ATTACH, nullptr) != FALSE;
    std::wstring path;
    for (const char* c = typeLibraryPath; c && *c; ++c)
        path.push_back(static_cast<wchar_t>(static_cast<unsigned char>(*c)));
    ITypeLib* library = nullptr;
    if (!g_attached || FAILED(LoadTypeLibEx(path.c_str(), REGKIND_NONE, &library)))
        return false;
    g_registered = SUCCEEDED(RegisterTypeLib(library, &path[0], nullptr));
    library->Release();
    return g_registered;
}

Platform ThisPlatform()
{
    const HMODULE ntdll = GetModuleHandleW(L"ntdll.dll");
    return ntdll && GetProcAddress(ntdll, "wine_get_version") ? Platform::Wine : Platform::Windows;
}

bool UserLocaleAsAssumed(std::string* found)
{
    WCHAR thousands[8] = {};
    WCHAR decimal[8] = {};
    GetLocaleInfoW(LOCALE_USER_DEFAULT, LOCALE_STHOUSAND, thousands, 8);
    GetLocaleInfoW(LOCALE_USER_DEFAULT, LOCALE_SDECIMAL, decimal, 8);
    if (lstrcmpW(thousands, L",") == 0 && lstrcmpW(decimal, L".") == 0)
        return true;
    char text[96];
    std::snprintf(text, sizeof text, "locale %04lx, thousands separator '%ls', decimal point '%ls'",
                  static_cast<unsigned long>(GetUserDefaultLCID()), thousands, decimal);
    *found = text;
    return false;
}

void EndDispatch()
{
    if (g_registered)
        UnRegisterTypeLib(LIBID_VeskLib, 1, 0, 0, vesk_test::kThisSysKind);
    if (g_attached)
        DllMain(GetModuleHandleW(nullptr), DLL_PROCESS_DETACH, nullptr);
    g_registered = g_attached = false;
}

}  // namespace differential
