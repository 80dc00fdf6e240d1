#include "server/registry_script_resources.h"

#include "base/module_path.h"
#include "base/string_copy.h"
#include "registrar/registrar.h"
#include "server/module_records.h"
#include "server/resource_script.h"
#include "server/vesk_module.h"

namespace {

constexpr size_t kEscapedPathLength = 2 * kModulePathLength;
constexpr size_t kQuotedPathLength = kEscapedPathLength + 4;
constexpr UINT kEnablerScript = 102;

}  // namespace

void EscapeQuotes(LPOLESTR destination, size_t capacity, LPCOLESTR source)
{
    if (capacity == 0)
        return;
    size_t written = 0;
    for (; *source && written < capacity - 1; ++source) {
        destination[written++] = *source;
        if (*source == L'\'') {
            if (written >= capacity - 1)
                break;
            destination[written++] = L'\'';
        }
    }
    destination[written] = 0;
}

HRESULT CVeskModule::ApplyRegistryScript(UINT resourceId, BOOL bRegister, const VariableEntry* extra)
{
    CRegistrar registrar;
    HRESULT hr = S_OK;
    for (const VariableEntry* entry = extra; entry && entry->name; ++entry) {
        // A variable that could not be added would leave its %name% references unexpandable.
        hr = registrar.AddVariable(entry->name, entry->value);
        if (FAILED(hr))
            return hr;
    }

    hr = AddCommonVariables(&registrar);
    if (FAILED(hr))
        return hr;

    const HINSTANCE module = g_baseModule.m_hModule;
    OLECHAR modulePath[kModulePathLength];
    hr = ReadModulePath(module, modulePath);
    if (FAILED(hr))
        return hr;

    OLECHAR escapedPath[kEscapedPathLength];
    EscapeQuotes(escapedPath, kEscapedPathLength, modulePath);

    // A server in an executable is started by command line, so its path is quoted there.
    LPCOLESTR moduleValue = escapedPath;
    OLECHAR quotedPath[kQuotedPathLength];
    if (!module || module == GetModuleHandleW(nullptr)) {
        const size_t escapedLength = static_cast<size_t>(lstrlenW(escapedPath));
        if (escapedLength + 1 > kQuotedPathLength - 1)
            return E_FAIL;
        quotedPath[0] = L'"';
        StringCopy(quotedPath + 1, kQuotedPathLength - 1, escapedPath);
        quotedPath[escapedLength + 1] = L'"';
        quotedPath[escapedLength + 2] = 0;
        moduleValue = quotedPath;
    }

    hr = registrar.AddVariable(L"Module", moduleValue);
    if (FAILED(hr))
        return hr;
    hr = registrar.AddVariable(L"Module_Raw", escapedPath);
    if (FAILED(hr))
        return hr;

    return RunResourceScript(registrar.Variables(), modulePath, resourceId, L"REGISTRY", bRegister);
}

HRESULT UpdateEnablerRegistry(BOOL bRegister)
{
    CVeskModule* module = VeskModule();
    if (!module)
        return E_UNEXPECTED;
    return module->ApplyRegistryScript(kEnablerScript, bRegister, nullptr);
}
