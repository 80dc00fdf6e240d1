#include "module/registration_exports.h"

#include <cstring>
#include <new>

#include "module/per_user_registration.h"
#include "module/server_exception.h"
#include "module/string_copy.h"
#include "module/type_library_registration.h"
#include "registrar/registry_key.h"

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

// The category manager's interface, released on every path.
class CategoryManager {
public:
    CategoryManager()
    {
        void* manager = nullptr;
        if (SUCCEEDED(CoCreateInstance(CLSID_StdComponentCategoriesMgr, nullptr, CLSCTX_INPROC_SERVER,
                                       IID_ICatRegister, &manager)))
            m_pManager = static_cast<ICatRegister*>(manager);
        else if (manager)
            static_cast<IUnknown*>(manager)->Release();
    }
    ~CategoryManager()
    {
        if (m_pManager)
            m_pManager->Release();
    }
    CategoryManager(const CategoryManager&) = delete;
    CategoryManager& operator=(const CategoryManager&) = delete;

    ICatRegister* Get() const { return m_pManager; }

private:
    ICatRegister* m_pManager = nullptr;
};

// Deletes HKCR\CLSID\<clsid><suffix> when it has no sub-keys left.
void RemoveEmptyCategoryKey(LPCWSTR clsidText, LPCWSTR suffix)
{
    WCHAR keyName[kCategoryKeyLength];
    StringCopy(keyName, kCategoryKeyLength, L"CLSID\\");
    StringAppend(keyName, kCategoryKeyLength, clsidText);
    StringAppend(keyName, kCategoryKeyLength, suffix);

    DWORD subKeys = 0;
    LONG queried;
    {
        RegistryKey key;
        if (key.OpenKey(HKEY_CLASSES_ROOT, keyName, KEY_READ) != ERROR_SUCCESS)
            return;
        queried = RegQueryInfoKeyW(key.Handle(), nullptr, nullptr, nullptr, &subKeys, nullptr, nullptr, nullptr,
                                   nullptr, nullptr, nullptr, nullptr);
    }
    if (queried == ERROR_SUCCESS && subKeys == 0) {
        BorrowedKey root(HKEY_CLASSES_ROOT);
        root.Key().DeleteChildKey(keyName);
    }
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
    CategoryManager manager;
    if (!manager.Get())
        return S_OK;  // registration goes on without categories

    for (const CategoryMapEntry* entry = table; entry->kind != kCategoryEnd; ++entry) {
        CATID catid = *entry->catid;
        if (bRegister) {
            const HRESULT hr = entry->kind == kCategoryImplemented
                                   ? manager.Get()->RegisterClassImplCategories(clsid, 1, &catid)
                                   : manager.Get()->RegisterClassReqCategories(clsid, 1, &catid);
            if (FAILED(hr))
                return hr;
        } else if (entry->kind == kCategoryImplemented) {
            manager.Get()->UnRegisterClassImplCategories(clsid, 1, &catid);
        } else {
            manager.Get()->UnRegisterClassReqCategories(clsid, 1, &catid);
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

HRESULT RegisterServerObjects(ComModuleRecord* record, BOOL registerTypeLib, const CLSID* filter)
{
    if (!record)
        return E_INVALIDARG;
    HRESULT hr = S_OK;
    for (ObjectMapEntry* const* slot = record->m_ppObjectMapBegin; slot != record->m_ppObjectMapEnd; ++slot) {
        ObjectMapEntry* entry = *slot;
        if (!entry || SkippedByFilter(*entry, filter))
            continue;
        hr = entry->updateRegistry ? entry->updateRegistry(TRUE) : S_OK;
        if (FAILED(hr))
            return hr;
        hr = UpdateClassCategories(*entry->classId, CategoriesOf(*entry), TRUE);
        if (FAILED(hr))
            return hr;
    }
    if (registerTypeLib)
        hr = RegisterModuleTypeLib(record->m_hTypeLibModule, nullptr);
    return hr;
}

HRESULT UnregisterServerObjects(ComModuleRecord* record, BOOL unregisterTypeLib, const CLSID* filter)
{
    if (!record)
        return E_INVALIDARG;
    HRESULT hr = S_OK;
    for (ObjectMapEntry* const* slot = record->m_ppObjectMapBegin; slot != record->m_ppObjectMapEnd; ++slot) {
        ObjectMapEntry* entry = *slot;
        if (!entry || SkippedByFilter(*entry, filter))
            continue;
        hr = UpdateClassCategories(*entry->classId, CategoriesOf(*entry), FALSE);
        if (FAILED(hr))
            return hr;
        hr = entry->updateRegistry ? entry->updateRegistry(FALSE) : S_OK;
        if (FAILED(hr))
            return hr;
    }
    if (unregisterTypeLib)
        hr = UnregisterModuleTypeLib(record->m_hTypeLibModule, nullptr);
    return hr;
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
