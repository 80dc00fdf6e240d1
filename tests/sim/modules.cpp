#include <algorithm>
#include <cstring>
#include <map>
#include <mutex>
#include <string>
#include <vector>
#include <utility>

#include "sim/faults_internal.h"
#include "sim/modules_control.h"
#include "sim/resources_control.h"
#include "sim/strings.h"
#include "sim/threads.h"

namespace {

struct Modules {
    std::mutex mutex;
    LONG libraryReferences = 1;
    std::vector<std::pair<std::string, HMODULE>> systemModules;  // lower-case ASCII name -> handle
    std::map<std::pair<HMODULE, std::string>, FARPROC> exports;
    std::map<HMODULE, std::u16string> fileNames;  // set or forgotten by tests; others have defaults
    std::vector<HMODULE> forgottenFileNames;
};

std::string LowerAscii(LPCWSTR name)
{
    std::string lower;
    for (; *name; ++name) {
        WCHAR c = *name;
        if (c >= L'A' && c <= L'Z')
            c = static_cast<WCHAR>(c - L'A' + L'a');
        lower.push_back(c < 0x80 ? static_cast<char>(c) : '?');
    }
    return lower;
}

HMODULE SystemModuleLocked(Modules& m, LPCWSTR name, bool create)
{
    const std::string key = LowerAscii(name);
    for (const auto& entry : m.systemModules)
        if (entry.first == key)
            return entry.second;
    if (!create)
        return nullptr;
    HMODULE handle = reinterpret_cast<HMODULE>(static_cast<uintptr_t>(0x70000000 + 0x10000 * m.systemModules.size()));
    m.systemModules.emplace_back(key, handle);
    return handle;
}

Modules& TheModules()
{
    static Modules* modules = new Modules;  // outlives detached threads at process exit
    return *modules;
}

// Distinct, never dereferenced handle values.
HMODULE const kLibraryModule = reinterpret_cast<HMODULE>(static_cast<uintptr_t>(0x10000000));
HMODULE const kExecutableModule = reinterpret_cast<HMODULE>(static_cast<uintptr_t>(0x00400000));

const char16_t kLibraryPath[] = u"C:\\Program Files\\Vesk\\Vesk.dll";
const char16_t kExecutablePath[] = u"C:\\Program Files\\Host\\host.exe";

// The path of a module; empty for a handle the loader does not know or whose path was forgotten.
std::u16string FileNameLocked(const Modules& m, HMODULE module)
{
    if (std::find(m.forgottenFileNames.begin(), m.forgottenFileNames.end(), module) != m.forgottenFileNames.end())
        return std::u16string();
    auto set = m.fileNames.find(module);
    if (set != m.fileNames.end())
        return set->second;
    if (module == kLibraryModule)
        return kLibraryPath;
    if (module == kExecutableModule)
        return kExecutablePath;
    for (const auto& entry : m.systemModules)
        if (entry.second == module)
            return u"C:\\windows\\system32\\" + std::u16string(entry.first.begin(), entry.first.end());
    return std::u16string();
}

}  // namespace

BOOL WINAPI GetModuleHandleExW(DWORD dwFlags, LPCWSTR lpModuleName, HMODULE* phModule)
{
    if (!phModule) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    *phModule = nullptr;
    Modules& m = TheModules();
    std::lock_guard<std::mutex> lock(m.mutex);
    LONG injected = 0;
    if (sim::internal::Injected(sim::Op::GetModuleHandleEx, &injected)) {
        SetLastError(static_cast<DWORD>(injected));
        return FALSE;
    }
    if (!(dwFlags & GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS) && lpModuleName == nullptr) {
        *phModule = kExecutableModule;
        return TRUE;
    }
    if (!(dwFlags & GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS)) {
        SetLastError(ERROR_MOD_NOT_FOUND);
        return FALSE;
    }
    if (m.libraryReferences <= 0) {
        SetLastError(ERROR_MOD_NOT_FOUND);
        return FALSE;
    }
    if (!(dwFlags & (GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT | GET_MODULE_HANDLE_EX_FLAG_PIN)))
        ++m.libraryReferences;
    *phModule = kLibraryModule;
    return TRUE;
}

BOOL WINAPI FreeLibrary(HMODULE hLibModule)
{
    if (sim::ReleaseDataModule(hLibModule))
        return TRUE;
    Modules& m = TheModules();
    std::lock_guard<std::mutex> lock(m.mutex);
    if (hLibModule == kExecutableModule)
        return TRUE;
    if (hLibModule != kLibraryModule || m.libraryReferences <= 0) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    --m.libraryReferences;
    return TRUE;
}

HMODULE WINAPI GetModuleHandleW(LPCWSTR lpModuleName)
{
    if (!lpModuleName)
        return kExecutableModule;
    Modules& m = TheModules();
    std::lock_guard<std::mutex> lock(m.mutex);
    HMODULE handle = SystemModuleLocked(m, lpModuleName, false);
    if (!handle)
        SetLastError(ERROR_MOD_NOT_FOUND);
    return handle;
}

FARPROC WINAPI GetProcAddress(HMODULE hModule, LPCSTR lpProcName)
{
    Modules& m = TheModules();
    std::lock_guard<std::mutex> lock(m.mutex);
    auto it = m.exports.find({hModule, lpProcName ? std::string(lpProcName) : std::string()});
    if (it == m.exports.end() || !it->second) {
        SetLastError(ERROR_PROC_NOT_FOUND);
        return nullptr;
    }
    return it->second;
}

DWORD WINAPI GetModuleFileNameW(HMODULE hModule, LPWSTR lpFilename, DWORD nSize)
{
    std::u16string path;
    {
        Modules& m = TheModules();
        std::lock_guard<std::mutex> lock(m.mutex);
        LONG injected = 0;
        if (sim::internal::Injected(sim::Op::GetModuleFileName, &injected)) {
            SetLastError(static_cast<DWORD>(injected));
            return 0;
        }
        path = FileNameLocked(m, hModule ? hModule : kExecutableModule);
    }
    if (path.empty()) {
        SetLastError(ERROR_MOD_NOT_FOUND);
        return 0;
    }
    if (nSize == 0) {
        SetLastError(ERROR_INSUFFICIENT_BUFFER);
        return 0;
    }
    if (!lpFilename) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    if (path.size() >= nSize) {
        std::memcpy(lpFilename, path.data(), (nSize - 1) * sizeof(WCHAR));
        lpFilename[nSize - 1] = 0;
        SetLastError(ERROR_INSUFFICIENT_BUFFER);
        return nSize;
    }
    std::memcpy(lpFilename, path.data(), path.size() * sizeof(WCHAR));
    lpFilename[path.size()] = 0;
    return static_cast<DWORD>(path.size());
}

void WINAPI FreeLibraryAndExitThread(HMODULE hLibModule, DWORD dwExitCode)
{
    FreeLibrary(hLibModule);
    throw sim::ThreadExit{dwExitCode};
}

namespace sim {

HMODULE LibraryModule() { return kLibraryModule; }
HMODULE ExecutableModule() { return kExecutableModule; }

LONG LibraryReferences()
{
    Modules& m = TheModules();
    std::lock_guard<std::mutex> lock(m.mutex);
    return m.libraryReferences;
}

void PublishExport(LPCWSTR moduleName, const char* procName, FARPROC function)
{
    Modules& m = TheModules();
    std::lock_guard<std::mutex> lock(m.mutex);
    HMODULE module = SystemModuleLocked(m, moduleName, true);
    m.exports[{module, std::string(procName)}] = function;
}

void SetModuleFileName(HMODULE module, LPCWSTR path)
{
    Modules& m = TheModules();
    std::lock_guard<std::mutex> lock(m.mutex);
    m.forgottenFileNames.erase(std::remove(m.forgottenFileNames.begin(), m.forgottenFileNames.end(), module),
                               m.forgottenFileNames.end());
    m.fileNames.erase(module);
    if (path && *path)
        m.fileNames[module] = reinterpret_cast<const char16_t*>(path);
    else
        m.forgottenFileNames.push_back(module);
}

std::u16string ModuleFileName(HMODULE module)
{
    Modules& m = TheModules();
    std::lock_guard<std::mutex> lock(m.mutex);
    return FileNameLocked(m, module);
}

void ResetModules()
{
    Modules& m = TheModules();
    std::lock_guard<std::mutex> lock(m.mutex);
    m.fileNames.clear();
    m.forgottenFileNames.clear();
    m.libraryReferences = 1;
    internal::ClearFaults({Op::GetModuleHandleEx, Op::GetModuleFileName});
}

}  // namespace sim
