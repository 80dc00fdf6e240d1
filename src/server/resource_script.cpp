#include "server/resource_script.h"

#include <cstdint>
#include <type_traits>

#include "base/scoped_owner.h"
#include "base/scratch_buffer.h"
#include "base/server_exception.h"
#include "registrar/reg_script_parser.h"

namespace {

// The module file mapped as data, freed on every path.
struct LibraryFreer {
    void operator()(std::remove_pointer_t<HMODULE>* module) const { FreeLibrary(module); }
};
using DataModule = CFreeingOwner<std::remove_pointer_t<HMODULE>, LibraryFreer>;

}  // namespace

HRESULT RunResourceScript(const VariableMap& variables, LPCOLESTR moduleFile, UINT resourceId,
                          LPCOLESTR resourceType, BOOL bRegister)
{
    DataModule module(LoadLibraryExW(moduleFile, nullptr, LOAD_LIBRARY_AS_DATAFILE));
    if (!module.Get())
        return FailureFromLastError();
    HRSRC found = FindResourceW(module.Get(), MAKEINTRESOURCEW(resourceId & 0xFFFF), resourceType);
    if (!found)
        return FailureFromLastError();
    HGLOBAL loaded = LoadResource(module.Get(), found);
    if (!loaded)
        return FailureFromLastError();
    const DWORD size = SizeofResource(module.Get(), found);
    if (size == UINT32_MAX)
        return E_OUTOFMEMORY;
    const auto* bytes = static_cast<LPCSTR>(LockResource(loaded));

    ScratchBuffer<OLECHAR, 1024> buffer;
    OLECHAR* text = buffer.TryAllocate(static_cast<size_t>(size) + 1);
    if (!text)
        return E_OUTOFMEMORY;
    // A size of 0 is refused by the conversion itself, with the platform's own error. A size beyond
    // INT_MAX cannot be a script this library ships; the conversion is asked for what fits.
    const int count = size > INT32_MAX ? INT32_MAX : static_cast<int>(size);
    const int converted = MultiByteToWideChar(CP_THREAD_ACP, 0, bytes, count, text, count);
    if (converted == 0)
        return FailureFromLastError();
    text[converted] = 0;

    CRegScriptParser parser(&variables);
    return parser.RunScript(text, bRegister);
}
