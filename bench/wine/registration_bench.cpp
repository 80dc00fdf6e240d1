// Timings of the real Vesk.dll under Wine, in one process per mode:
//   rounds N   DllRegisterServer + DllUnregisterServer N times, against a floor of the same registry
//              writes and deletes made directly (with and without the type library's registration)
//   register / unregister   one registration or unregistration, for the cold runs around them
//   cold       the first CoCreateInstance, GetIDsOfNames("EnableVesk") and Invoke of this process
//   warm N     the same N times after a first one, every object released each time
// Each mode prints "name: figures" lines; times are from QueryPerformanceCounter.
#include "platform/win32.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <cwchar>
#include <string>
#include <vector>

#include "enabler/ivesk_enabler.h"
#include "loaded_server.h"

namespace {

const wchar_t kDllPath[] = L"" VESK_DLL_PATH;
const wchar_t kClsid[] = L"{4D2A7C19-0B6E-4F83-9A51-C7E2D8B3F046}";
const wchar_t kLibid[] = L"{A1C5E3F7-6B28-4D9A-8E40-2F7B9C1D5E63}";

constexpr DWORD kExitPauseMilliseconds = 200;

using ExportFunction = vesk_test::LoadedServer::ExportFunction;

// The server's file name as the loader gives it, which is what the script's %MODULE% stands for.
wchar_t g_modulePath[MAX_PATH];
// Its directory, which the server gives as the type library's help directory.
wchar_t g_moduleDirectory[MAX_PATH];

double Seconds()
{
    static LARGE_INTEGER frequency = [] {
        LARGE_INTEGER f;
        QueryPerformanceFrequency(&f);
        return f;
    }();
    LARGE_INTEGER now;
    QueryPerformanceCounter(&now);
    return static_cast<double>(now.QuadPart) / static_cast<double>(frequency.QuadPart);
}

double Median(std::vector<double> values)
{
    if (values.empty())
        return 0;
    std::sort(values.begin(), values.end());
    const size_t mid = values.size() / 2;
    return values.size() % 2 ? values[mid] : (values[mid - 1] + values[mid]) / 2;
}

void Report(const char* name, const std::vector<double>& seconds)
{
    std::vector<double> sorted = seconds;
    std::sort(sorted.begin(), sorted.end());
    double total = 0;
    for (double s : seconds)
        total += s;
    const double median = Median(seconds);
    std::printf("%-42s n=%-4u median %8.3f ms  min %8.3f  p90 %8.3f  mean %8.3f  %9.1f /s (by median)\n", name,
                static_cast<unsigned>(seconds.size()), median * 1e3, sorted.front() * 1e3,
                sorted[sorted.size() * 9 / 10] * 1e3, total / seconds.size() * 1e3, median > 0 ? 1 / median : 0.0);
}

bool Check(HRESULT hr, const char* what)
{
    if (SUCCEEDED(hr))
        return true;
    std::printf("FAILED: %s (0x%08lX)\n", what, static_cast<unsigned long>(hr));
    return false;
}

bool CheckLong(LONG status, const char* what)
{
    return Check(status == ERROR_SUCCESS ? S_OK : HRESULT_FROM_WIN32(static_cast<DWORD>(status)), what);
}

// A key under HKCR created (or opened) with its default value, closed at once unless kept.
bool WriteKey(HKEY parent, const wchar_t* name, const wchar_t* value, HKEY* keep = nullptr)
{
    HKEY key = nullptr;
    if (!CheckLong(RegCreateKeyExW(parent, name, 0, nullptr, 0, KEY_READ | KEY_WRITE, nullptr, &key, nullptr),
                   "RegCreateKeyExW"))
        return false;
    bool ok = true;
    if (value)
        ok = CheckLong(RegSetValueExW(key, nullptr, 0, REG_SZ, reinterpret_cast<const BYTE*>(value),
                                      static_cast<DWORD>((lstrlenW(value) + 1) * sizeof(wchar_t))),
                       "RegSetValueExW");
    if (keep && ok)
        *keep = key;
    else
        RegCloseKey(key);
    return ok;
}

bool SetNamed(HKEY key, const wchar_t* name, const wchar_t* value)
{
    return CheckLong(RegSetValueExW(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(value),
                                    static_cast<DWORD>((lstrlenW(value) + 1) * sizeof(wchar_t))),
                     "RegSetValueExW");
}

// The entries the server's registry script makes, written directly.
bool FloorRegisterKeys()
{
    const wchar_t* description = L"VeskEnabler Class";
    HKEY key = nullptr;
    bool ok = WriteKey(HKEY_CLASSES_ROOT, L"Vesk.VeskEnabler.1", description, &key);
    if (!ok)
        return false;
    ok = WriteKey(key, L"CLSID", kClsid);
    RegCloseKey(key);
    ok = ok && WriteKey(HKEY_CLASSES_ROOT, L"Vesk.VeskEnabler", description, &key);
    if (!ok)
        return false;
    ok = WriteKey(key, L"CLSID", kClsid) && WriteKey(key, L"CurVer", L"Vesk.VeskEnabler.1");
    RegCloseKey(key);
    HKEY classes = nullptr;
    ok = ok && WriteKey(HKEY_CLASSES_ROOT, L"CLSID", nullptr, &classes);
    if (!ok)
        return false;
    ok = WriteKey(classes, kClsid, description, &key);
    RegCloseKey(classes);
    if (!ok)
        return false;
    HKEY server = nullptr;
    ok = WriteKey(key, L"ProgID", L"Vesk.VeskEnabler.1") && WriteKey(key, L"VersionIndependentProgID", L"Vesk.VeskEnabler") &&
         WriteKey(key, L"Programmable", nullptr) && WriteKey(key, L"InprocServer32", g_modulePath, &server);
    if (ok) {
        ok = SetNamed(server, L"ThreadingModel", L"Apartment");
        RegCloseKey(server);
    }
    ok = ok && WriteKey(key, L"TypeLib", kLibid);
    RegCloseKey(key);
    return ok;
}

bool FloorUnregisterKeys()
{
    wchar_t clsidKey[64] = L"CLSID\\";
    lstrcatW(clsidKey, kClsid);
    return CheckLong(RegDeleteTreeW(HKEY_CLASSES_ROOT, L"Vesk.VeskEnabler.1"), "RegDeleteTreeW") &&
           CheckLong(RegDeleteTreeW(HKEY_CLASSES_ROOT, L"Vesk.VeskEnabler"), "RegDeleteTreeW") &&
           CheckLong(RegDeleteTreeW(HKEY_CLASSES_ROOT, clsidKey), "RegDeleteTreeW");
}

bool FloorRegisterTypeLib()
{
    ITypeLib* library = nullptr;
    if (!Check(LoadTypeLib(g_modulePath, &library), "LoadTypeLib"))
        return false;
    const bool ok = Check(RegisterTypeLib(library, g_modulePath, g_moduleDirectory), "RegisterTypeLib");
    library->Release();
    return ok;
}

bool FloorUnregisterTypeLib()
{
    GUID libid;
    if (!Check(CLSIDFromString(const_cast<LPOLESTR>(kLibid), &libid), "CLSIDFromString"))
        return false;
    return Check(UnRegisterTypeLib(libid, 1, 0, LOCALE_NEUTRAL, sizeof(void*) == 8 ? SYS_WIN64 : SYS_WIN32), "UnRegisterTypeLib");
}

// Every key and value under `path` as lines "key|name|type|data", sub-keys in the order the registry
// enumerates them; so two registrations can be compared entry for entry.
void Snapshot(HKEY root, const std::wstring& path, std::vector<std::wstring>* lines)
{
    HKEY key = nullptr;
    if (RegOpenKeyExW(root, path.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS)
        return;
    lines->push_back(path);
    for (DWORD i = 0;; ++i) {
        wchar_t name[256];
        DWORD nameLength = 256;
        BYTE data[1024];
        DWORD dataLength = sizeof data;
        DWORD type = 0;
        if (RegEnumValueW(key, i, name, &nameLength, nullptr, &type, data, &dataLength) != ERROR_SUCCESS)
            break;
        std::wstring line = path + L"|" + name + L"|" + std::to_wstring(type) + L"|";
        line.append(reinterpret_cast<const wchar_t*>(data), dataLength / sizeof(wchar_t));
        lines->push_back(line);
    }
    std::vector<std::wstring> children;
    for (DWORD i = 0;; ++i) {
        wchar_t name[256];
        DWORD nameLength = 256;
        if (RegEnumKeyExW(key, i, name, &nameLength, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS)
            break;
        children.push_back(name);
    }
    RegCloseKey(key);
    for (const std::wstring& child : children)
        Snapshot(root, path + L"\\" + child, lines);
}

std::vector<std::wstring> ServerEntries()
{
    std::vector<std::wstring> lines;
    Snapshot(HKEY_CLASSES_ROOT, L"Vesk.VeskEnabler.1", &lines);
    Snapshot(HKEY_CLASSES_ROOT, L"Vesk.VeskEnabler", &lines);
    Snapshot(HKEY_CLASSES_ROOT, std::wstring(L"CLSID\\") + kClsid, &lines);
    Snapshot(HKEY_CLASSES_ROOT, std::wstring(L"TypeLib\\") + kLibid, &lines);
    Snapshot(HKEY_CLASSES_ROOT, L"Interface\\{7E3B9D51-C2A4-4F68-B0D7-13A9E5C8F2B4}", &lines);
    std::sort(lines.begin(), lines.end());
    return lines;
}

// The library with its two registration exports.
struct Server : vesk_test::LoadedServer {
    ExportFunction registerServer = Export<ExportFunction>("DllRegisterServer");
    ExportFunction unregisterServer = Export<ExportFunction>("DllUnregisterServer");

    Server() : LoadedServer(kDllPath) {}
    bool Loaded() const { return registerServer && unregisterServer; }
};

// One way of registering and unregistering, with its timings so far.
struct Way {
    const char* name;
    bool (*registering)(void* context);
    bool (*unregistering)(void* context);
    std::vector<double> registerTimes, unregisterTimes, roundTrips;
};

bool TimeOneRound(Way& way, void* context)
{
    const double t0 = Seconds();
    if (!way.registering(context))
        return false;
    const double t1 = Seconds();
    if (!way.unregistering(context))
        return false;
    const double t2 = Seconds();
    way.registerTimes.push_back(t1 - t0);
    way.unregisterTimes.push_back(t2 - t1);
    way.roundTrips.push_back(t2 - t0);
    return true;
}

void ReportWay(const Way& way)
{
    char label[96];
    std::snprintf(label, sizeof label, "%s: round trip", way.name);
    Report(label, way.roundTrips);
    std::snprintf(label, sizeof label, "%s: register", way.name);
    Report(label, way.registerTimes);
    std::snprintf(label, sizeof label, "%s: unregister", way.name);
    Report(label, way.unregisterTimes);
}

bool VeskRegister(void* server) { return Check(static_cast<Server*>(server)->registerServer(), "DllRegisterServer"); }
bool VeskUnregister(void* server)
{
    return Check(static_cast<Server*>(server)->unregisterServer(), "DllUnregisterServer");
}
bool FloorRegister(void*) { return FloorRegisterKeys() && FloorRegisterTypeLib(); }
bool FloorUnregister(void*) { return FloorUnregisterKeys() && FloorUnregisterTypeLib(); }
bool KeysRegister(void*) { return FloorRegisterKeys(); }
bool KeysUnregister(void*) { return FloorUnregisterKeys(); }
bool LibraryRegister(void*) { return FloorRegisterTypeLib(); }
bool LibraryUnregister(void*) { return FloorUnregisterTypeLib(); }

int Rounds(int rounds)
{
    Server server;
    if (!server.Loaded()) {
        std::printf("FAILED: Vesk.dll or its exports not found\n");
        return 1;
    }
    if (!GetModuleFileNameW(server.Module(), g_modulePath, MAX_PATH))
        return 1;
    lstrcpyW(g_moduleDirectory, g_modulePath);
    if (wchar_t* slash = std::wcsrchr(g_moduleDirectory, L'\\'))
        *slash = 0;
    Way ways[] = {
        {"Vesk.dll exports", &VeskRegister, &VeskUnregister, {}, {}, {}},
        {"floor, keys + type library", &FloorRegister, &FloorUnregister, {}, {}, {}},
        {"floor, keys only", &KeysRegister, &KeysUnregister, {}, {}, {}},
        {"floor, type library only", &LibraryRegister, &LibraryUnregister, {}, {}, {}},
    };
    // The floor must do the same work: it writes exactly the entries the exports write.
    if (!VeskRegister(&server))
        return 1;
    const std::vector<std::wstring> byExports = ServerEntries();
    if (!VeskUnregister(&server) || !FloorRegister(nullptr))
        return 1;
    const std::vector<std::wstring> byFloor = ServerEntries();
    if (!FloorUnregister(nullptr))
        return 1;
    if (byExports != byFloor || byExports.empty()) {
        std::printf("FAILED: the floor writes other entries than the exports (%u against %u)\n",
                    static_cast<unsigned>(byFloor.size()), static_cast<unsigned>(byExports.size()));
        for (const std::wstring& line : byExports)
            std::printf("exports: %ls\n", line.c_str());
        for (const std::wstring& line : byFloor)
            std::printf("floor:   %ls\n", line.c_str());
        return 1;
    }
    std::printf("entries written, by the exports and by the floor alike: %u\n",
                static_cast<unsigned>(byExports.size()));
    // One untimed round of each way first, so that every way starts with the same warm caches; then
    // the ways take turns round by round, so that whatever else the machine does falls on all alike.
    for (Way& way : ways) {
        if (!TimeOneRound(way, &server))
            return 1;
        way.registerTimes.clear();
        way.unregisterTimes.clear();
        way.roundTrips.clear();
    }
    for (int i = 0; i < rounds; ++i) {
        for (Way& way : ways) {
            if (!TimeOneRound(way, &server))
                return 1;
        }
    }
    for (const Way& way : ways)
        ReportWay(way);
    const double exports = Median(ways[0].roundTrips);
    std::printf("ratio exports / floor with type library: %.2fx\n", exports / Median(ways[1].roundTrips));
    std::printf("ratio exports / floor of the keys only:  %.2fx\n", exports / Median(ways[2].roundTrips));
    // Every round ends unregistered: nothing of the server may be left.
    wchar_t clsidKey[64] = L"CLSID\\";
    lstrcatW(clsidKey, kClsid);
    wchar_t libraryKey[64] = L"TypeLib\\";
    lstrcatW(libraryKey, kLibid);
    const wchar_t* const left[] = {L"Vesk.VeskEnabler.1", L"Vesk.VeskEnabler", clsidKey, libraryKey};
    int remaining = 0;
    for (const wchar_t* name : left) {
        HKEY key = nullptr;
        if (RegOpenKeyExW(HKEY_CLASSES_ROOT, name, 0, KEY_READ, &key) == ERROR_SUCCESS) {
            RegCloseKey(key);
            ++remaining;
        }
    }
    std::printf("keys of the server left after the rounds: %d\n", remaining);
    return remaining == 0 ? 0 : 1;
}

// The first use of the enabler by a host: creation by CLSID, the name, and the call with a null window.
bool FirstUse(double* create, double* names, double* invoke)
{
    const double t0 = Seconds();
    void* out = nullptr;
    if (!Check(CoCreateInstance(CLSID_VeskEnabler, nullptr, CLSCTX_INPROC_SERVER, IID_IDispatch, &out),
               "CoCreateInstance"))
        return false;
    auto* dispatch = static_cast<IDispatch*>(out);
    const double t1 = Seconds();
    LPOLESTR name[] = {const_cast<LPOLESTR>(L"EnableVesk")};
    DISPID dispid = 0;
    bool ok = Check(dispatch->GetIDsOfNames(IID_NULL, name, 1, LOCALE_USER_DEFAULT, &dispid), "GetIDsOfNames");
    const double t2 = Seconds();
    double t3 = t2;
    if (ok) {
        VARIANTARG arg;
        VariantInit(&arg);
        arg.vt = VT_I4;
        arg.lVal = 0;
        DISPPARAMS params = {&arg, nullptr, 1, 0};
        ok = Check(dispatch->Invoke(dispid, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_METHOD, &params, nullptr, nullptr,
                                    nullptr),
                   "Invoke");
        t3 = Seconds();
    }
    dispatch->Release();
    *create = t1 - t0;
    *names = t2 - t1;
    *invoke = t3 - t2;
    return ok;
}

int Use(int repeats)
{
    if (!Check(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED), "CoInitializeEx"))
        return 1;
    int status = 0;
    double create = 0, names = 0, invoke = 0;
    if (!FirstUse(&create, &names, &invoke)) {
        status = 1;
    } else if (repeats == 0) {
        std::printf("cold first use: create %.3f ms  names %.3f ms  invoke %.3f ms  total %.3f ms\n", create * 1e3,
                    names * 1e3, invoke * 1e3, (create + names + invoke) * 1e3);
    } else {
        std::vector<double> c, n, i, total;
        for (int k = 0; k < repeats && status == 0; ++k) {
            if (!FirstUse(&create, &names, &invoke))
                status = 1;
            c.push_back(create);
            n.push_back(names);
            i.push_back(invoke);
            total.push_back(create + names + invoke);
        }
        if (status == 0) {
            Report("warm use: CoCreateInstance", c);
            Report("warm use: GetIDsOfNames", n);
            Report("warm use: Invoke EnableVesk(0)", i);
            Report("warm use: total", total);
        }
    }
    CoUninitialize();
    // The call has just started its notification threads. Wine itself (seen here with threads
    // started by a plain program as well) now and then crashes when a process exits while threads
    // are still starting; a short wait after the timings lets them reach their sleep first.
    Sleep(kExitPauseMilliseconds);
    return status;
}

int Once(bool registering)
{
    Server server;
    if (!server.Loaded())
        return 1;
    return Check(registering ? server.registerServer() : server.unregisterServer(),
                 registering ? "DllRegisterServer" : "DllUnregisterServer")
               ? 0
               : 1;
}

}  // namespace

int main(int argc, char** argv)
{
    setvbuf(stdout, nullptr, _IONBF, 0);
    const char* mode = argc > 1 ? argv[1] : "";
    const int count = argc > 2 ? std::atoi(argv[2]) : 0;
    if (!std::strcmp(mode, "rounds") && count > 0)
        return Rounds(count);
    if (!std::strcmp(mode, "register"))
        return Once(true);
    if (!std::strcmp(mode, "unregister"))
        return Once(false);
    if (!std::strcmp(mode, "cold"))
        return Use(0);
    if (!std::strcmp(mode, "warm") && count > 0)
        return Use(count);
    std::printf("usage: vesk_wine_bench rounds N | register | unregister | cold | warm N\n");
    return 2;
}
