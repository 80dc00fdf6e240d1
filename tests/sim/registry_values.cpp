#include <algorithm>
#include <cstring>
#include <new>

#include "sim/registry_handles.h"

using namespace sim::registry;

LSTATUS WINAPI RegSetValueExW(HKEY hKey, LPCWSTR lpValueName, DWORD Reserved, DWORD dwType, const BYTE* lpData,
                              DWORD cbData)
try {
    (void)Reserved;
    Registry& r = TheRegistry();
    std::lock_guard<std::recursive_mutex> lock(r.mutex);
    View view;
    LONG error = r.Enter(sim::Op::RegSetValueEx, hKey, KEY_SET_VALUE, &view);
    if (error != ERROR_SUCCESS)
        return error;
    if (!lpData && cbData)
        return ERROR_NOACCESS;
    Node* node = view.WriteTarget();
    const Text name = ToText(lpValueName);
    std::vector<BYTE> data(lpData, lpData + cbData);
    if (Value* existing = FindValue(node, name)) {
        existing->type = dwType;
        existing->data = std::move(data);
        return ERROR_SUCCESS;
    }
    auto at = std::find_if(node->values.begin(), node->values.end(),
                           [&](const Value& v) { return CompareNames(name, v.name) < 0; });
    node->values.insert(at, Value{name, dwType, std::move(data)});
    return ERROR_SUCCESS;
} catch (const std::bad_alloc&) {
    return ERROR_OUTOFMEMORY;
}

LSTATUS WINAPI RegQueryValueExW(HKEY hKey, LPCWSTR lpValueName, LPDWORD lpReserved, LPDWORD lpType, LPBYTE lpData,
                                LPDWORD lpcbData)
try {
    (void)lpReserved;
    Registry& r = TheRegistry();
    std::lock_guard<std::recursive_mutex> lock(r.mutex);
    View view;
    LONG error = r.Enter(sim::Op::RegQueryValueEx, hKey, KEY_QUERY_VALUE, &view);
    if (error != ERROR_SUCCESS)
        return error;
    if (lpData && !lpcbData)
        return ERROR_INVALID_PARAMETER;
    const Value* value = view.QueryValue(ToText(lpValueName));
    if (!value)
        return ERROR_FILE_NOT_FOUND;
    if (lpType)
        *lpType = value->type;
    const DWORD size = static_cast<DWORD>(value->data.size());
    if (!lpcbData)
        return ERROR_SUCCESS;
    if (lpData && *lpcbData < size) {
        *lpcbData = size;
        return ERROR_MORE_DATA;
    }
    if (lpData && size)
        std::memcpy(lpData, value->data.data(), size);
    *lpcbData = size;
    return ERROR_SUCCESS;
} catch (const std::bad_alloc&) {
    return ERROR_OUTOFMEMORY;
}

LSTATUS WINAPI RegDeleteValueW(HKEY hKey, LPCWSTR lpValueName)
try {
    Registry& r = TheRegistry();
    std::lock_guard<std::recursive_mutex> lock(r.mutex);
    View view;
    LONG error = r.Enter(sim::Op::RegDeleteValue, hKey, KEY_SET_VALUE, &view);
    if (error != ERROR_SUCCESS)
        return error;
    Node* node = view.WriteTarget();
    const Text name = ToText(lpValueName);
    auto it = std::find_if(node->values.begin(), node->values.end(),
                           [&](const Value& v) { return CompareNames(v.name, name) == 0; });
    if (it == node->values.end())
        return ERROR_FILE_NOT_FOUND;
    node->values.erase(it);
    return ERROR_SUCCESS;
} catch (const std::bad_alloc&) {
    return ERROR_OUTOFMEMORY;
}
