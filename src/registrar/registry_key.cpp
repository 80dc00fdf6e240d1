#include "registrar/registry_key.h"

namespace {

constexpr DWORD kViewBits = KEY_WOW64_64KEY | KEY_WOW64_32KEY;
constexpr REGSAM kReadWrite = KEY_READ | KEY_WRITE;
constexpr DWORD kNameCapacity = 256;

typedef LONG(WINAPI* DeleteKeyExFunction)(HKEY, LPCWSTR, REGSAM, DWORD);

// Looked up once per process; the library is not loaded for it, so a system without the function
// (or without the module mapped) simply falls back to RegDeleteKeyW.
DeleteKeyExFunction g_deleteKeyEx = nullptr;
bool g_deleteKeyExLookedUp = false;

DeleteKeyExFunction DeleteKeyEx()
{
    if (!g_deleteKeyExLookedUp) {
        HMODULE advapi = GetModuleHandleW(L"Advapi32.dll");
        if (advapi)
            g_deleteKeyEx = reinterpret_cast<DeleteKeyExFunction>(
                reinterpret_cast<void (*)()>(GetProcAddress(advapi, "RegDeleteKeyExW")));
        g_deleteKeyExLookedUp = true;
    }
    return g_deleteKeyEx;
}

}  // namespace

LONG RegistryKey::Adopt(HKEY newHandle, REGSAM access)
{
    LONG result = ERROR_SUCCESS;
    if (m_handle)
        result = RegCloseKey(m_handle);
    m_handle = newHandle;
    m_viewFlags = access & kViewBits;
    return result;
}

LONG RegistryKey::OpenKey(HKEY parent, LPCWSTR name, REGSAM access)
{
    HKEY newHandle = nullptr;
    const LONG error = RegOpenKeyExW(parent, name, 0, access, &newHandle);
    if (error != ERROR_SUCCESS)
        return error;
    return Adopt(newHandle, access);
}

LONG RegistryKey::CreateKey(HKEY parent, LPCWSTR name)
{
    HKEY newHandle = nullptr;
    DWORD disposition = 0;
    const LONG error = RegCreateKeyExW(parent, name, 0, nullptr, REG_OPTION_NON_VOLATILE, kReadWrite, nullptr,
                                       &newHandle, &disposition);
    if (error != ERROR_SUCCESS)
        return error;
    return Adopt(newHandle, kReadWrite);
}

LONG RegistryKey::CloseKey()
{
    LONG result = ERROR_SUCCESS;
    if (m_handle) {
        result = RegCloseKey(m_handle);
        m_handle = nullptr;
    }
    m_viewFlags = 0;
    return result;
}

LONG RegistryKey::WriteString(LPCWSTR valueName, LPCWSTR text, DWORD type)
{
    if (!text)
        return ERROR_INVALID_DATA;
    const DWORD bytes = static_cast<DWORD>((lstrlenW(text) + 1) * sizeof(WCHAR));
    return RegSetValueExW(m_handle, valueName, 0, type, reinterpret_cast<const BYTE*>(text), bytes);
}

LONG RegistryKey::WriteDword(LPCWSTR valueName, DWORD value)
{
    const BYTE bytes[4] = {static_cast<BYTE>(value), static_cast<BYTE>(value >> 8), static_cast<BYTE>(value >> 16),
                           static_cast<BYTE>(value >> 24)};
    return RegSetValueExW(m_handle, valueName, 0, REG_DWORD, bytes, sizeof bytes);
}

LONG RegistryKey::WriteBinary(LPCWSTR valueName, const BYTE* bytes, DWORD byteCount)
{
    return RegSetValueExW(m_handle, valueName, 0, REG_BINARY, bytes, byteCount);
}

LONG RegistryKey::WriteMultiString(LPCWSTR valueName, LPCWSTR list)
{
    if (!list)
        return ERROR_INVALID_DATA;
    DWORD bytes = 0;
    for (LPCWSTR p = list;;) {
        const int n = lstrlenW(p) + 1;
        bytes += static_cast<DWORD>(n * sizeof(WCHAR));
        p += n;
        if (n == 1)
            break;
    }
    return RegSetValueExW(m_handle, valueName, 0, REG_MULTI_SZ, reinterpret_cast<const BYTE*>(list), bytes);
}

LONG RegistryKey::RemoveValue(LPCWSTR valueName) { return RegDeleteValueW(m_handle, valueName); }

LONG RegistryKey::DeleteChildKey(LPCWSTR name)
{
    if (DeleteKeyExFunction deleteKeyEx = DeleteKeyEx())
        return deleteKeyEx(m_handle, name, m_viewFlags, 0);
    return RegDeleteKeyW(m_handle, name);
}

LONG RegistryKey::DeleteTree(LPCWSTR name)
{
    {
        RegistryKey child;
        // The whole tree is worked in this key's registry view.
        const LONG error = child.OpenKey(m_handle, name, kReadWrite | m_viewFlags);
        if (error != ERROR_SUCCESS)
            return error;
        WCHAR childName[kNameCapacity];
        for (;;) {
            DWORD size = kNameCapacity;
            FILETIME lastWriteTime;
            // Always index 0: the child found last time has been deleted.
            if (RegEnumKeyExW(child.m_handle, 0, childName, &size, nullptr, nullptr, nullptr, &lastWriteTime) !=
                ERROR_SUCCESS)
                break;
            const LONG nested = child.DeleteTree(childName);
            if (nested != ERROR_SUCCESS)
                return nested;
        }
    }
    return DeleteChildKey(name);
}

bool RegistryKey::HasChildKeys(HKEY handle)
{
    DWORD subKeys = 0;
    const LONG error = RegQueryInfoKeyW(handle, nullptr, nullptr, nullptr, &subKeys, nullptr, nullptr, nullptr,
                                        nullptr, nullptr, nullptr, nullptr);
    return error == ERROR_SUCCESS && subKeys != 0;
}
