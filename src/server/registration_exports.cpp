#include "server/registration_exports.h"

#include <cstring>
#include <new>

#include "base/server_exception.h"
#include "base/string_copy.h"
#include "com/interface_holder.h"
#include "registrar/per_user_registration.h"
#include "registrar/registry_key.h"
#include "server/type_library_registration.h"

namespace {

constexpr size_t kCategoryKeyLength = 128;
constexpr int kClsidTextLength = 64;

bool SkippedByFilter(const ObjectMapEntry& entry, const CLSID* filter)
{
    return filter && std::memcmp(entry.classId, filter, sizeof(CLSID)) != 0;
}

const CategoryMapEntry* CategoriesOf(const ObjectMapEntry& entry)
{
    return entry.getCategoryMap ? entry.getCategoryMap() : nullptr;
}

// Deletes HKCR\CLSID\<clsid><suffix> when it has no sub-keys left.
void RemoveEmptyCategoryKey(LPCWSTR clsidText, LPCWSTR suffix)
{
    WCHAR keyName[kCategoryKeyLength];
    StringCopy(keyName, kCategoryKeyLength, L"CLSID\\");
    StringAppend(keyName, kCategoryKeyLength, clsidText);
    StringAppend(keyName, kCategoryKeyLength, suffix);

    RegistryKey key;
    if (key.OpenKey(HKEY_CLASSES_ROOT, keyName, KEY_READ) != ERROR_SUCCESS || RegistryKey::HasChildKeys(key.Handle()))
        return;
    key.CloseKey();
    // A key whose query failed is tried as well: the registry itself refuses to delete one that has sub-keys.
    BorrowedKey root(HKEY_CLASSES_ROOT);
    root.Key().DeleteChildKey(keyName);
}

// The thread's locale set to the system default for one registration run, restored on every path.
class SystemLocaleScope {
public:
    SystemLocaleScope() : m_saved(GetThreadLocale()) { SetThreadLocale(LOCALE_SYSTEM_DEFAULT); }
    ~SystemLocaleScope() { SetThreadLocale(m_saved); }
    SystemLocaleScope(const SystemLocaleScope&) = delete;
    SystemLocaleScope& operator=(const SystemLocaleScope&) = delete;

private:
    LCID m_saved;
};

// Runs an export's work so that no exception leaves the library.
template <class Work>
HRESULT Guarded(Work work)
{
    try {
        return work();
    } catch (const CServerException& e) {
        return FAILED(e.Result()) ? e.Result() : E_FAIL;
    } catch (const std::bad_alloc&) {
        return E_OUTOFMEMORY;
    } catch (...) {
        return E_FAIL;
    }
}

}  // namespace

HRESULT UpdateClassCategories(REFCLSID clsid, const CategoryMapEntry* table, BOOL bRegister)
{
    if (!table || IsEqualGUID(clsid, GUID_NULL))
        return S_OK;
    CInterfaceHolder<ICatRegister> manager;
    if (FAILED(CoCreateInstance(CLSID_StdComponentCategoriesMgr, nullptr, CLSCTX_INPROC_SERVER, IID_ICatRegister,
                                reinterpret_cast<void**>(manager.Out()))))
        manager.ReleaseInterface();
    if (!manager.Get())
        return S_OK;  // registration goes on without categories

    for (const CategoryMapEntry* entry = table; entry->kind != kCategoryEnd; ++entry) {
        CATID catid = *entry->catid;
        if (bRegister) {
            const HRESULT hr = entry->kind == kCategoryImplemented
                                   ? manager->RegisterClassImplCategories(clsid, 1, &catid)
                                   : manager->RegisterClassReqCategories(clsid, 1, &catid);
            if (FAILED(hr))
                return hr;
        } else if (entry->kind == kCategoryImplemented) {
            // Unregistration removes what it can: a category that cannot go must not keep the rest.
            manager->UnRegisterClassImplCategories(clsid, 1, &catid);
        } else {
            manager->UnRegisterClassReqCategories(clsid, 1, &catid);  // as above
        }
    }

    if (!bRegister) {
        OLECHAR clsidText[kClsidTextLength];
        if (StringFromGUID2(clsid, clsidText, kClsidTextLength) != 0) {
            RemoveEmptyCategoryKey(clsidText, L"\\Required Categories");
            RemoveEmptyCategoryKey(clsidText, L"\\Implemented Categories");
        }
    }
    return S_OK;
}

namespace {

HRESULT UpdateScript(const ObjectMapEntry& entry, BOOL bRegister)
{
    return entry.updateRegistry ? entry.updateRegistry(bRegister) : S_OK;
}

HRESULT UpdateCategories(const ObjectMapEntry& entry, BOOL bRegister)
{
    return UpdateClassCategories(*entry.classId, CategoriesOf(entry), bRegister);
}

// Registers or unregisters every class of the map (or only `filter`) and then, when `typeLib` is
// set, the type library. A class's categories follow its registry script in and go before it out.
// The first failure ends the walk; otherwise the last step's result is the walk's.
HRESULT UpdateServerObjects(ComModuleRecord* record, BOOL typeLib, const CLSID* filter, BOOL bRegister)
{
    if (!record)
        return E_INVALIDARG;
    HRESULT hr = S_OK;
    for (ObjectMapEntry* const* slot = record->m_ppObjectMapBegin; slot != record->m_ppObjectMapEnd; ++slot) {
        const ObjectMapEntry* entry = *slot;
        if (!entry || SkippedByFilter(*entry, filter))
            continue;
        hr = bRegister ? UpdateScript(*entry, TRUE) : UpdateCategories(*entry, FALSE);
        if (FAILED(hr))
            return hr;
        hr = bRegister ? UpdateCategories(*entry, TRUE) : UpdateScript(*entry, FALSE);
        if (FAILED(hr))
            return hr;
    }
    if (typeLib)
        hr = bRegister ? RegisterModuleTypeLib(record->m_hTypeLibModule, nullptr)
                       : UnregisterModuleTypeLib(record->m_hTypeLibModule, nullptr);
    return hr;
}

}  // namespace

HRESULT RegisterServerObjects(ComModuleRecord* record, BOOL registerTypeLib, const CLSID* filter)
{
    return UpdateServerObjects(record, registerTypeLib, filter, TRUE);
}

HRESULT UnregisterServerObjects(ComModuleRecord* record, BOOL unregisterTypeLib, const CLSID* filter)
{
    return UpdateServerObjects(record, unregisterTypeLib, filter, FALSE);
}

extern "C" HRESULT STDAPICALLTYPE DllRegisterServer()
{
    SystemLocaleScope locale;
    return Guarded([] { return RegisterServerObjects(&g_comModule, TRUE, nullptr); });
}

extern "C" HRESULT STDAPICALLTYPE DllUnregisterServer()
{
    SystemLocaleScope locale;
    const HRESULT hr = Guarded([] { return UnregisterServerObjects(&g_comModule, TRUE, nullptr); });
    return FAILED(hr) ? hr : S_OK;
}

extern "C" HRESULT STDAPICALLTYPE DllInstall(BOOL bInstall, LPCWSTR pszCmdLine)
{
    // Exactly "user" in any letter case: the terminator takes part in the comparison.
    if (pszCmdLine && lstrlenW(pszCmdLine) == 4 && lstrcmpiW(pszCmdLine, L"user") == 0)
        g_bPerUserRegistration = true;
    if (!bInstall)
        return DllUnregisterServer();
    const HRESULT hr = DllRegisterServer();
    if (FAILED(hr))
        DllUnregisterServer();  // removes what the failed run wrote; its own result does not matter
    return hr;
}

extern "C" HRESULT STDAPICALLTYPE DllSetPerUserRegistration(BOOL bEnable)
{
    g_bPerUserRegistration = bEnable != FALSE;
    return S_OK;
}
