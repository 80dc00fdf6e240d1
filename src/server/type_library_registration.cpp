#include "server/type_library_registration.h"

#include "automation/description_holder.h"
#include "base/module_path.h"
#include "base/server_exception.h"
#include "base/string_copy.h"
#include "com/bstr_holder.h"
#include "com/interface_holder.h"
#include "registrar/per_user_registration.h"

namespace {

// The module path plus room for an index suffix.
constexpr size_t kPathBufferLength = kModulePathLength + 10;
constexpr size_t kHelpDirectoryLength = 260;
// ".tlb" and its terminating zero.
constexpr size_t kTlbSuffixLength = 5;

const WCHAR kAutomationModule[] = L"OLEAUT32.DLL";
const WCHAR kTlbExtension[] = L".tlb";

typedef HRESULT(WINAPI* RegisterFunction)(ITypeLib*, OLECHAR*, OLECHAR*);
typedef HRESULT(WINAPI* UnregisterFunction)(REFGUID, WORD, WORD, LCID, SYSKIND);

// The per-user variant of a registration function when per-user registration is on and the
// automation library has it; null means the machine-wide function is to be used.
template <class Function>
Function FindPerUserFunction(const char* name)
{
    if (!g_bPerUserRegistration)
        return nullptr;
    HMODULE automation = GetModuleHandleW(kAutomationModule);
    if (!automation)
        return nullptr;
    FARPROC function = GetProcAddress(automation, name);
    if (!function)
        return nullptr;
    // Through void(*)(), the generic function pointer type, so that the cast is not flagged.
    return reinterpret_cast<Function>(reinterpret_cast<void (*)()>(function));
}

// The type library of a module with the path it was loaded from, both released on every path.
struct ModuleTypeLib {
    CBstrHolder path;
    CInterfaceHolder<ITypeLib> library;

    HRESULT Load(HINSTANCE hModule, LPCOLESTR index)
    {
        return LoadModuleTypeLib(hModule, index, path.Out(), library.Out());
    }
};

}  // namespace

LPCWSTR FindPathExtension(LPCWSTR path)
{
    if (!path || !*path)
        return path;
    LPCWSTR extension = nullptr;
    LPCWSTR position = path;
    while (*position) {
        if (*position == L'.')
            extension = position;
        else if (*position == L'\\')
            extension = nullptr;
        position = CharNextW(position);
    }
    return extension ? extension : position;
}

int DirectoryPrefixLength(LPCWSTR path)
{
    if (!path)
        return 0;
    int length = 0;
    for (LPCWSTR position = path; *position; position = CharNextW(position))
        if (*position == L'\\' || *position == L'/' || *position == L':')
            length = static_cast<int>(position - path) + 1;
    return length;
}

HRESULT LoadModuleTypeLib(HINSTANCE hModule, LPCOLESTR index, BSTR* pPath, ITypeLib** ppTypeLib)
{
    if (!pPath || !ppTypeLib)
        return E_POINTER;
    *pPath = nullptr;
    *ppTypeLib = nullptr;

    WCHAR path[kPathBufferLength];
    HRESULT hr = ReadModulePath(hModule, path);
    if (FAILED(hr))
        return hr;
    const size_t length = static_cast<size_t>(lstrlenW(path));

    // Found before the index is added, so that the fall-back replaces the index as well.
    const size_t extension = static_cast<size_t>(FindPathExtension(path) - path);

    if (index) {
        const size_t total = length + static_cast<size_t>(lstrlenW(index));
        if (total >= kPathBufferLength)
            return E_FAIL;
        StringCopy(path + length, kPathBufferLength - length, index);
    }

    hr = LoadTypeLib(path, ppTypeLib);
    if (FAILED(hr)) {
        if (extension + kTlbSuffixLength > kModulePathLength)
            return E_FAIL;
        StringCopy(path + extension, kPathBufferLength - extension, kTlbExtension);
        hr = LoadTypeLib(path, ppTypeLib);
        if (FAILED(hr))
            return hr;
    }

    *pPath = SysAllocString(path);
    if (!*pPath)
        return E_OUTOFMEMORY;
    return hr;
}

HRESULT RegisterModuleTypeLib(HINSTANCE hModule, LPCOLESTR index)
{
    ModuleTypeLib loaded;
    const HRESULT hr = loaded.Load(hModule, index);
    if (FAILED(hr))
        return hr;
    ITypeLib* library = loaded.library.Get();

    WCHAR helpDirectoryBuffer[kHelpDirectoryLength];
    OLECHAR* helpDirectory = nullptr;
    CBstrHolder helpFile;
    if (SUCCEEDED(library->GetDocumentation(MEMBERID_NIL, nullptr, nullptr, nullptr, helpFile.Out())) &&
        helpFile.Get()) {
        try {
            CountedStringCopy(helpDirectoryBuffer, kHelpDirectoryLength, helpFile.Get(), SysStringLen(helpFile.Get()));
        } catch (const CServerException& e) {
            // A help-file path too long for the buffer; reported rather than let out of the export.
            return e.Result();
        }
        helpDirectoryBuffer[kHelpDirectoryLength - 1] = 0;
        helpDirectoryBuffer[DirectoryPrefixLength(helpDirectoryBuffer)] = 0;
        helpDirectory = helpDirectoryBuffer;
    }

    if (RegisterFunction perUser = FindPerUserFunction<RegisterFunction>("RegisterTypeLibForUser"))
        return perUser(library, loaded.path.Get(), helpDirectory);
    return RegisterTypeLib(library, loaded.path.Get(), helpDirectory);
}

HRESULT UnregisterModuleTypeLib(HINSTANCE hModule, LPCOLESTR index)
{
    ModuleTypeLib loaded;
    HRESULT hr = loaded.Load(hModule, index);
    if (FAILED(hr))
        return hr;
    CDescriptionHolder<ITypeLib, TLIBATTR> attributes(loaded.library.Get());
    hr = loaded.library->GetLibAttr(attributes.Out());
    if (FAILED(hr))
        return hr;

    UnregisterFunction unregister = FindPerUserFunction<UnregisterFunction>("UnRegisterTypeLibForUser");
    if (!unregister)
        unregister = &UnRegisterTypeLib;
    return unregister(attributes->guid, attributes->wMajorVerNum, attributes->wMinorVerNum, attributes->lcid,
                      attributes->syskind);
}
