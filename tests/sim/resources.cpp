#include <cstddef>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "sim/faults_internal.h"
#include "sim/modules_control.h"
#include "sim/resources_control.h"
#include "sim/threads.h"

// Generated at build time from resources/Vesk.rgs.
extern const unsigned char g_veskScriptBytes[];
extern const size_t g_veskScriptBytes_size;

namespace {

struct DescribedFile {
    bool exists;
    std::vector<sim::ModuleResource> resources;
};

struct Resources {
    std::mutex mutex;
    std::map<std::u16string, DescribedFile> files;  // lower-case path -> file
    std::map<HMODULE, std::unique_ptr<std::vector<sim::ModuleResource>>> open;
    int loads = 0;
    uintptr_t nextHandle = 0x20000002;  // data handles have bit 1 set, as on Windows
    LCID lastConversionLocale = 0;
};

Resources& TheResources()
{
    static Resources* resources = new Resources;
    return *resources;
}

thread_local LCID t_threadLocale = 0x0409;

const BYTE kEmpty = 0;

std::u16string Lower(const std::u16string& text)
{
    std::u16string lower = text;
    for (char16_t& c : lower)
        if (c >= u'A' && c <= u'Z')
            c = static_cast<char16_t>(c - u'A' + u'a');
    return lower;
}

std::u16string FromWide(LPCWSTR text) { return std::u16string(reinterpret_cast<const char16_t*>(text)); }

// A resource name or type as the lists keep it: "#<n>" for an integer identifier.
std::u16string ResourceKey(LPCWSTR name)
{
    if (IS_INTRESOURCE(name)) {
        const std::string digits = std::to_string(static_cast<unsigned>(reinterpret_cast<ULONG_PTR>(name)));
        return u"#" + std::u16string(digits.begin(), digits.end());
    }
    return Lower(FromWide(name));
}

std::vector<sim::ModuleResource> LibraryResources()
{
    return {sim::ModuleResource{u"REGISTRY", u"#102", sim::LibraryScriptBytes()}};
}

}  // namespace

HMODULE WINAPI LoadLibraryExW(LPCWSTR lpLibFileName, HANDLE hFile, DWORD dwFlags)
{
    if (!lpLibFileName || hFile || dwFlags != LOAD_LIBRARY_AS_DATAFILE) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    const std::u16string path = Lower(FromWide(lpLibFileName));
    const std::u16string libraryPath = Lower(sim::ModuleFileName(sim::LibraryModule()));
    Resources& r = TheResources();
    std::lock_guard<std::mutex> lock(r.mutex);
    std::vector<sim::ModuleResource> resources;
    auto described = r.files.find(path);
    if (described != r.files.end()) {
        if (!described->second.exists) {
            SetLastError(ERROR_MOD_NOT_FOUND);
            return nullptr;
        }
        resources = described->second.resources;
    } else if (!path.empty() && path == libraryPath) {
        resources = LibraryResources();
    } else {
        SetLastError(ERROR_MOD_NOT_FOUND);
        return nullptr;
    }
    HMODULE handle = reinterpret_cast<HMODULE>(r.nextHandle);
    r.nextHandle += 0x10000;
    r.open[handle] = std::make_unique<std::vector<sim::ModuleResource>>(std::move(resources));
    ++r.loads;
    return handle;
}

HRSRC WINAPI FindResourceW(HMODULE hModule, LPCWSTR lpName, LPCWSTR lpType)
{
    if (!lpName || !lpType) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    Resources& r = TheResources();
    std::lock_guard<std::mutex> lock(r.mutex);
    auto file = r.open.find(hModule);
    if (file == r.open.end()) {
        SetLastError(ERROR_RESOURCE_DATA_NOT_FOUND);
        return nullptr;
    }
    const std::u16string type = ResourceKey(lpType);
    const std::u16string name = ResourceKey(lpName);
    bool typeFound = false;
    for (sim::ModuleResource& resource : *file->second) {
        if (Lower(resource.type) != type)
            continue;
        typeFound = true;
        if (Lower(resource.name) == name)
            return reinterpret_cast<HRSRC>(&resource);
    }
    SetLastError(typeFound ? ERROR_RESOURCE_NAME_NOT_FOUND : ERROR_RESOURCE_TYPE_NOT_FOUND);
    return nullptr;
}

namespace {

// The resource behind `info` if it belongs to the open file `module`.
sim::ModuleResource* OpenResourceLocked(Resources& r, HMODULE module, HRSRC info)
{
    auto file = r.open.find(module);
    if (file == r.open.end() || !info)
        return nullptr;
    for (sim::ModuleResource& resource : *file->second)
        if (reinterpret_cast<HRSRC>(&resource) == info)
            return &resource;
    return nullptr;
}

}  // namespace

HGLOBAL WINAPI LoadResource(HMODULE hModule, HRSRC hResInfo)
{
    Resources& r = TheResources();
    std::lock_guard<std::mutex> lock(r.mutex);
    LONG injected = 0;
    if (sim::internal::Injected(sim::Op::LoadResource, &injected)) {
        SetLastError(static_cast<DWORD>(injected));
        return nullptr;
    }
    sim::ModuleResource* resource = OpenResourceLocked(r, hModule, hResInfo);
    if (!resource) {
        SetLastError(ERROR_RESOURCE_DATA_NOT_FOUND);
        return nullptr;
    }
    return resource->data.empty() ? const_cast<BYTE*>(&kEmpty) : resource->data.data();
}

DWORD WINAPI SizeofResource(HMODULE hModule, HRSRC hResInfo)
{
    Resources& r = TheResources();
    std::lock_guard<std::mutex> lock(r.mutex);
    sim::ModuleResource* resource = OpenResourceLocked(r, hModule, hResInfo);
    if (!resource) {
        SetLastError(ERROR_RESOURCE_DATA_NOT_FOUND);
        return 0;
    }
    return resource->claimsSize ? resource->claimedSize : static_cast<DWORD>(resource->data.size());
}

LPVOID WINAPI LockResource(HGLOBAL hResData) { return hResData; }

int WINAPI MultiByteToWideChar(UINT CodePage, DWORD dwFlags, LPCSTR lpMultiByteStr, int cbMultiByte,
                               LPWSTR lpWideCharStr, int cchWideChar)
{
    if ((CodePage != CP_ACP && CodePage != CP_THREAD_ACP) || dwFlags != 0 || !lpMultiByteStr ||
        cbMultiByte == 0 || cbMultiByte < -1 || cchWideChar < 0 || (cchWideChar > 0 && !lpWideCharStr)) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    if (CodePage == CP_THREAD_ACP) {
        Resources& r = TheResources();
        std::lock_guard<std::mutex> lock(r.mutex);
        r.lastConversionLocale = t_threadLocale;
    }
    const int length = cbMultiByte == -1 ? static_cast<int>(std::char_traits<char>::length(lpMultiByteStr)) + 1
                                         : cbMultiByte;
    if (cchWideChar == 0)
        return length;
    if (length > cchWideChar) {
        SetLastError(ERROR_INSUFFICIENT_BUFFER);
        return 0;
    }
    for (int i = 0; i < length; ++i)
        lpWideCharStr[i] = static_cast<WCHAR>(static_cast<unsigned char>(lpMultiByteStr[i]));
    return length;
}

LCID WINAPI GetThreadLocale() { return t_threadLocale; }

BOOL WINAPI SetThreadLocale(LCID Locale)
{
    if (Locale == 0) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    t_threadLocale = Locale;
    return TRUE;
}

namespace sim {

std::vector<BYTE> LibraryScriptBytes()
{
    return std::vector<BYTE>(g_veskScriptBytes, g_veskScriptBytes + g_veskScriptBytes_size);
}

void SetModuleFileResources(LPCWSTR path, std::vector<ModuleResource> resources)
{
    Resources& r = TheResources();
    std::lock_guard<std::mutex> lock(r.mutex);
    r.files[Lower(FromWide(path))] = DescribedFile{true, std::move(resources)};
}

void RemoveModuleFile(LPCWSTR path)
{
    Resources& r = TheResources();
    std::lock_guard<std::mutex> lock(r.mutex);
    r.files[Lower(FromWide(path))] = DescribedFile{false, {}};
}

int DataModuleLoads()
{
    Resources& r = TheResources();
    std::lock_guard<std::mutex> lock(r.mutex);
    return r.loads;
}

int OpenDataModules()
{
    Resources& r = TheResources();
    std::lock_guard<std::mutex> lock(r.mutex);
    return static_cast<int>(r.open.size());
}

LCID LastConversionLocale()
{
    Resources& r = TheResources();
    std::lock_guard<std::mutex> lock(r.mutex);
    return r.lastConversionLocale;
}

bool ReleaseDataModule(HMODULE module)
{
    Resources& r = TheResources();
    std::lock_guard<std::mutex> lock(r.mutex);
    return r.open.erase(module) != 0;
}

void ResetResources()
{
    Resources& r = TheResources();
    std::lock_guard<std::mutex> lock(r.mutex);
    r.files.clear();
    r.open.clear();
    r.loads = 0;
    r.lastConversionLocale = 0;
    t_threadLocale = 0x0409;
    internal::ClearFaults({Op::LoadResource});
}

}  // namespace sim
