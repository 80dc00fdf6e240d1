#include <algorithm>
#include <new>

#include "sim/faults_internal.h"
#include "sim/registry_handles.h"

using namespace sim::registry;

namespace {

LONG DeleteKey(HKEY hKey, LPCWSTR lpSubKey, bool extended, REGSAM view)
{
    Registry& r = TheRegistry();
    View parent;
    REGSAM access = 0;
    LONG error = r.Resolve(hKey, &parent, &access);
    if (error != ERROR_SUCCESS)
        return error;
    if (!lpSubKey)
        return ERROR_INVALID_PARAMETER;
    const std::vector<Text> parts = SplitPath(lpSubKey);
    if (parts.empty())
        return ERROR_ACCESS_DENIED;  // a key cannot delete itself through an empty name
    View target = parent;
    for (const Text& part : parts) {
        target = target.Child(part);
        if (!target.Exists())
            return ERROR_FILE_NOT_FOUND;
    }
    Node* node = target.WriteTarget();
    if (!node || !node->parent || !node->writable || !node->children.empty())
        return ERROR_ACCESS_DENIED;
    Node* owner = node->parent;
    auto it = std::find_if(owner->children.begin(), owner->children.end(),
                           [&](const NodePtr& c) { return c.get() == node; });
    if (it == owner->children.end())
        return ERROR_KEY_DELETED;
    NodePtr keep = *it;  // alive until it is marked
    owner->children.erase(it);
    r.deletedKeys.push_back(sim::DeletedKey{NodePath(node), extended, view});
    MarkDeleted(*node);
    return ERROR_SUCCESS;
}

}  // namespace

LSTATUS WINAPI RegOpenKeyExW(HKEY hKey, LPCWSTR lpSubKey, DWORD ulOptions, REGSAM samDesired, PHKEY phkResult)
try {
    (void)ulOptions;
    if (!phkResult)
        return ERROR_INVALID_PARAMETER;
    *phkResult = nullptr;
    Registry& r = TheRegistry();
    std::lock_guard<std::recursive_mutex> lock(r.mutex);
    LONG error = 0;
    if (sim::internal::Injected(sim::Op::RegOpenKeyEx, &error))
        return error;
    View view;
    REGSAM access = 0;
    error = r.Resolve(hKey, &view, &access);
    if (error != ERROR_SUCCESS)
        return error;
    const std::vector<Text> parts = SplitPath(lpSubKey);
    if (parts.empty() && Registry::PredefinedIndex(hKey) >= 0) {
        *phkResult = hKey;  // the platform hands back the predefined key itself
        return ERROR_SUCCESS;
    }
    for (const Text& part : parts) {
        if (part.size() > kMaxKeyNameLength)
            return ERROR_FILE_NOT_FOUND;
        view = view.Child(part);
        if (!view.Exists())
            return ERROR_FILE_NOT_FOUND;
    }
    error = CheckAccess(view, samDesired);
    if (error != ERROR_SUCCESS)
        return error;
    *phkResult = r.NewHandle(view, samDesired);
    return ERROR_SUCCESS;
} catch (const std::bad_alloc&) {
    // The platform reports a shortage as an error code; it never throws into its caller.
    return ERROR_OUTOFMEMORY;
}

LSTATUS WINAPI RegCreateKeyExW(HKEY hKey, LPCWSTR lpSubKey, DWORD Reserved, LPWSTR lpClass, DWORD dwOptions,
                               REGSAM samDesired, LPSECURITY_ATTRIBUTES lpSecurityAttributes, PHKEY phkResult,
                               LPDWORD lpdwDisposition)
try {
    (void)Reserved;
    (void)lpClass;
    (void)dwOptions;
    (void)lpSecurityAttributes;
    if (!phkResult)
        return ERROR_INVALID_PARAMETER;
    *phkResult = nullptr;
    Registry& r = TheRegistry();
    std::lock_guard<std::recursive_mutex> lock(r.mutex);
    LONG error = 0;
    if (sim::internal::Injected(sim::Op::RegCreateKeyEx, &error))
        return error;
    View view;
    REGSAM parentAccess = 0;
    error = r.Resolve(hKey, &view, &parentAccess);
    if (error != ERROR_SUCCESS)
        return error;
    const std::vector<Text> parts = SplitPath(lpSubKey);
    for (const Text& part : parts)
        if (part.size() > kMaxKeyNameLength)
            return ERROR_INVALID_PARAMETER;
    bool created = false;
    bool first = true;
    for (const Text& part : parts) {
        View child = view.Child(part);
        if (!child.Exists()) {
            if ((first && !(parentAccess & KEY_CREATE_SUB_KEY)) || !view.Writable())
                return ERROR_ACCESS_DENIED;
            Node* target = view.WriteTarget();
            NodePtr owner = target == view.machine.get() ? view.machine : view.user;
            AddChild(owner, part);
            child = view.Child(part);
            created = true;
        }
        view = child;
        first = false;
    }
    if (!created) {
        error = CheckAccess(view, samDesired);
        if (error != ERROR_SUCCESS)
            return error;
    }
    *phkResult = r.NewHandle(view, samDesired);
    if (lpdwDisposition)
        *lpdwDisposition = created ? REG_CREATED_NEW_KEY : REG_OPENED_EXISTING_KEY;
    return ERROR_SUCCESS;
} catch (const std::bad_alloc&) {
    return ERROR_OUTOFMEMORY;
}

LSTATUS WINAPI RegCloseKey(HKEY hKey)
try {
    Registry& r = TheRegistry();
    std::lock_guard<std::recursive_mutex> lock(r.mutex);
    LONG error = ERROR_SUCCESS;
    // An injected failure is reported, but the handle is gone all the same.
    sim::internal::Injected(sim::Op::RegCloseKey, &error);
    if (Registry::PredefinedIndex(hKey) >= 0)
        return error;
    auto it = r.handles.find(reinterpret_cast<uintptr_t>(hKey));
    if (it == r.handles.end())
        return ERROR_INVALID_HANDLE;
    r.handles.erase(it);
    return error;
} catch (const std::bad_alloc&) {
    return ERROR_OUTOFMEMORY;
}

LSTATUS WINAPI RegDeleteKeyW(HKEY hKey, LPCWSTR lpSubKey)
try {
    Registry& r = TheRegistry();
    std::lock_guard<std::recursive_mutex> lock(r.mutex);
    LONG error = 0;
    if (sim::internal::Injected(sim::Op::RegDeleteKey, &error))
        return error;
    return DeleteKey(hKey, lpSubKey, false, 0);
} catch (const std::bad_alloc&) {
    return ERROR_OUTOFMEMORY;
}

LSTATUS WINAPI RegDeleteKeyExW(HKEY hKey, LPCWSTR lpSubKey, REGSAM samDesired, DWORD Reserved)
try {
    (void)Reserved;
    Registry& r = TheRegistry();
    std::lock_guard<std::recursive_mutex> lock(r.mutex);
    LONG error = 0;
    if (sim::internal::Injected(sim::Op::RegDeleteKeyEx, &error))
        return error;
    return DeleteKey(hKey, lpSubKey, true, samDesired & KEY_WOW64_RES);
} catch (const std::bad_alloc&) {
    return ERROR_OUTOFMEMORY;
}

LSTATUS WINAPI RegEnumKeyExW(HKEY hKey, DWORD dwIndex, LPWSTR lpName, LPDWORD lpcchName, LPDWORD lpReserved,
                             LPWSTR lpClass, LPDWORD lpcchClass, PFILETIME lpftLastWriteTime)
try {
    (void)lpReserved;
    Registry& r = TheRegistry();
    std::lock_guard<std::recursive_mutex> lock(r.mutex);
    View view;
    LONG error = r.Enter(sim::Op::RegEnumKeyEx, hKey, KEY_ENUMERATE_SUB_KEYS, &view);
    if (error != ERROR_SUCCESS)
        return error;
    if (!lpName || !lpcchName)
        return ERROR_INVALID_PARAMETER;
    const std::vector<Text> names = view.SubKeyNames();
    if (dwIndex >= names.size())
        return ERROR_NO_MORE_ITEMS;
    const Text& name = names[dwIndex];
    if (*lpcchName <= name.size())
        return ERROR_MORE_DATA;
    for (size_t i = 0; i < name.size(); ++i)
        lpName[i] = static_cast<WCHAR>(name[i]);
    lpName[name.size()] = 0;
    *lpcchName = static_cast<DWORD>(name.size());
    if (lpClass && lpcchClass && *lpcchClass) {
        lpClass[0] = 0;
        *lpcchClass = 0;
    }
    if (lpftLastWriteTime)
        *lpftLastWriteTime = FILETIME{0, 0};
    return ERROR_SUCCESS;
} catch (const std::bad_alloc&) {
    return ERROR_OUTOFMEMORY;
}

LSTATUS WINAPI RegQueryInfoKeyW(HKEY hKey, LPWSTR lpClass, LPDWORD lpcchClass, LPDWORD lpReserved,
                                LPDWORD lpcSubKeys, LPDWORD lpcbMaxSubKeyLen, LPDWORD lpcbMaxClassLen,
                                LPDWORD lpcValues, LPDWORD lpcbMaxValueNameLen, LPDWORD lpcbMaxValueLen,
                                LPDWORD lpcbSecurityDescriptor, PFILETIME lpftLastWriteTime)
try {
    (void)lpReserved;
    Registry& r = TheRegistry();
    std::lock_guard<std::recursive_mutex> lock(r.mutex);
    View view;
    LONG error = r.Enter(sim::Op::RegQueryInfoKey, hKey, KEY_QUERY_VALUE, &view);
    if (error != ERROR_SUCCESS)
        return error;
    const std::vector<Text> names = view.SubKeyNames();
    const std::vector<const Value*> values = view.Values();
    DWORD maxName = 0;
    for (const Text& n : names)
        maxName = std::max(maxName, static_cast<DWORD>(n.size()));
    DWORD maxValueName = 0;
    DWORD maxValue = 0;
    for (const Value* v : values) {
        maxValueName = std::max(maxValueName, static_cast<DWORD>(v->name.size()));
        maxValue = std::max(maxValue, static_cast<DWORD>(v->data.size()));
    }
    if (lpClass && lpcchClass && *lpcchClass)
        lpClass[0] = 0;
    if (lpcchClass)
        *lpcchClass = 0;
    if (lpcSubKeys)
        *lpcSubKeys = static_cast<DWORD>(names.size());
    if (lpcbMaxSubKeyLen)
        *lpcbMaxSubKeyLen = maxName;
    if (lpcbMaxClassLen)
        *lpcbMaxClassLen = 0;
    if (lpcValues)
        *lpcValues = static_cast<DWORD>(values.size());
    if (lpcbMaxValueNameLen)
        *lpcbMaxValueNameLen = maxValueName;
    if (lpcbMaxValueLen)
        *lpcbMaxValueLen = maxValue;
    if (lpcbSecurityDescriptor)
        *lpcbSecurityDescriptor = 0;
    if (lpftLastWriteTime)
        *lpftLastWriteTime = FILETIME{0, 0};
    return ERROR_SUCCESS;
} catch (const std::bad_alloc&) {
    return ERROR_OUTOFMEMORY;
}
