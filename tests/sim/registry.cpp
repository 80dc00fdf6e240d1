#include <algorithm>
#include <map>
#include <memory>
#include <mutex>
#include <new>
#include <string>
#include <vector>

#include "sim/faults_internal.h"
#include "sim/modules_control.h"
#include "sim/registry_control.h"

namespace {

typedef std::u16string Text;

struct Value {
    Text name;
    DWORD type;
    std::vector<BYTE> data;
};

struct Node {
    Text name;
    Node* parent = nullptr;
    std::vector<std::shared_ptr<Node>> children;  // in enumeration order
    std::vector<Value> values;                    // in name order
    bool readable = true;
    bool writable = true;
    bool deleted = false;
};
typedef std::shared_ptr<Node> NodePtr;

// The platform's registry folds letter case beyond ASCII too ("\u00E4" names the same key as
// "\u00C4"); the simulation knows the letters of Latin-1.
char16_t UpperCase(char16_t c)
{
    if ((c >= u'a' && c <= u'z') || (c >= 0xE0 && c <= 0xFE && c != 0xF7))
        return static_cast<char16_t>(c - 0x20);
    return c == 0xFF ? char16_t(0x178) : c;
}

// Registry names compare without letter case; the platform orders them by their upper-case form.
int CompareNames(const Text& a, const Text& b)
{
    const size_t n = std::min(a.size(), b.size());
    for (size_t i = 0; i < n; ++i) {
        const char16_t ca = UpperCase(a[i]);
        const char16_t cb = UpperCase(b[i]);
        if (ca != cb)
            return ca < cb ? -1 : 1;
    }
    return a.size() == b.size() ? 0 : (a.size() < b.size() ? -1 : 1);
}

Text ToText(LPCWSTR s)
{
    Text text;
    if (s)
        for (; *s; ++s)
            text.push_back(static_cast<char16_t>(*s));
    return text;
}

std::string ToUtf8(const Text& text)
{
    std::string out;
    for (size_t i = 0; i < text.size(); ++i) {
        uint32_t c = text[i];
        if (c >= 0xD800 && c < 0xDC00 && i + 1 < text.size() && text[i + 1] >= 0xDC00 && text[i + 1] < 0xE000) {
            c = 0x10000 + ((c - 0xD800) << 10) + (text[i + 1] - 0xDC00);
            ++i;
        }
        if (c < 0x80) {
            out.push_back(static_cast<char>(c));
        } else if (c < 0x800) {
            out.push_back(static_cast<char>(0xC0 | (c >> 6)));
            out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
        } else if (c < 0x10000) {
            out.push_back(static_cast<char>(0xE0 | (c >> 12)));
            out.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
            out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
        } else {
            out.push_back(static_cast<char>(0xF0 | (c >> 18)));
            out.push_back(static_cast<char>(0x80 | ((c >> 12) & 0x3F)));
            out.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
            out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
        }
    }
    return out;
}

NodePtr FindChild(const NodePtr& node, const Text& name)
{
    if (!node)
        return nullptr;
    for (const NodePtr& child : node->children)
        if (CompareNames(child->name, name) == 0)
            return child;
    return nullptr;
}

NodePtr AddChild(const NodePtr& node, const Text& name)
{
    auto child = std::make_shared<Node>();
    child->name = name;
    child->parent = node.get();
    auto at = std::find_if(node->children.begin(), node->children.end(),
                           [&](const NodePtr& c) { return CompareNames(name, c->name) < 0; });
    node->children.insert(at, child);
    return child;
}

Value* FindValue(Node* node, const Text& name)
{
    if (!node)
        return nullptr;
    for (Value& value : node->values)
        if (CompareNames(value.name, name) == 0)
            return &value;
    return nullptr;
}

void MarkDeleted(Node& node)
{
    node.deleted = true;
    for (const NodePtr& child : node.children)
        MarkDeleted(*child);
}

std::string NodePath(const Node* node)
{
    std::string path;
    for (; node; node = node->parent)
        path = ToUtf8(node->name) + (path.empty() ? "" : "\\" + path);
    return path;
}

bool Alive(const NodePtr& node) { return node && !node->deleted; }

// What a handle refers to. Keys below HKEY_CLASSES_ROOT are seen through two nodes: the user's
// classes over the machine's; writes go to the machine's key where it exists.
struct View {
    NodePtr machine;  // the key itself, or for classes the machine's key
    NodePtr user;     // classes only: the user's key
    bool classes = false;

    bool Exists() const { return Alive(machine) || Alive(user); }
    Node* WriteTarget() const { return Alive(machine) ? machine.get() : (Alive(user) ? user.get() : nullptr); }
    View Child(const Text& name) const
    {
        View child;
        child.classes = classes;
        child.machine = Alive(machine) ? FindChild(machine, name) : nullptr;
        child.user = Alive(user) ? FindChild(user, name) : nullptr;
        return child;
    }
    bool Readable() const
    {
        return (!Alive(machine) || machine->readable) && (!Alive(user) || user->readable);
    }
    bool Writable() const
    {
        Node* target = WriteTarget();
        return !target || target->writable;
    }
    std::vector<Text> SubKeyNames() const
    {
        std::vector<Text> names;
        auto add = [&](const NodePtr& node) {
            if (!Alive(node))
                return;
            for (const NodePtr& child : node->children) {
                bool seen = false;
                for (const Text& n : names)
                    seen = seen || CompareNames(n, child->name) == 0;
                if (!seen)
                    names.push_back(child->name);
            }
        };
        add(user);
        add(machine);
        std::sort(names.begin(), names.end(), [](const Text& a, const Text& b) { return CompareNames(a, b) < 0; });
        return names;
    }
    std::vector<const Value*> Values() const
    {
        std::vector<const Value*> values;
        auto add = [&](const NodePtr& node) {
            if (!Alive(node))
                return;
            for (const Value& v : node->values) {
                bool seen = false;
                for (const Value* other : values)
                    seen = seen || CompareNames(other->name, v.name) == 0;
                if (!seen)
                    values.push_back(&v);
            }
        };
        add(user);
        add(machine);
        std::sort(values.begin(), values.end(),
                  [](const Value* a, const Value* b) { return CompareNames(a->name, b->name) < 0; });
        return values;
    }
    const Value* QueryValue(const Text& name) const
    {
        if (const Value* v = Alive(user) ? FindValue(user.get(), name) : nullptr)
            return v;
        return Alive(machine) ? FindValue(machine.get(), name) : nullptr;
    }
};

struct OpenHandle {
    View view;
    REGSAM access;
};

constexpr REGSAM kReadRights = KEY_QUERY_VALUE | KEY_ENUMERATE_SUB_KEYS | KEY_NOTIFY;
constexpr REGSAM kWriteRights = KEY_SET_VALUE | KEY_CREATE_SUB_KEY | KEY_CREATE_LINK | DELETE;
constexpr size_t kMaxKeyNameLength = 255;

struct Registry {
    std::recursive_mutex mutex;
    NodePtr roots[7];  // by the low bits of the predefined handle; [0] stays null (classes are a view)
    std::map<uintptr_t, OpenHandle> handles;
    uintptr_t nextHandle = 0x1000;
    std::vector<sim::DeletedKey> deletedKeys;

    void Reset()
    {
        static const char16_t* const kRootNames[7] = {u"HKCR", u"HKCU", u"HKLM", u"HKU", u"HKPD", u"HKCC", u"HKDD"};
        for (int i = 0; i < 7; ++i) {
            roots[i] = std::make_shared<Node>();
            roots[i]->name = kRootNames[i];
        }
        roots[0].reset();
        AddChild(AddChild(roots[2], u"Software"), u"Classes");
        AddChild(roots[1], u"Software");
        handles.clear();
        sim::internal::ClearFaults({sim::Op::RegOpenKeyEx, sim::Op::RegCreateKeyEx, sim::Op::RegCloseKey,
                                    sim::Op::RegSetValueEx, sim::Op::RegQueryValueEx, sim::Op::RegDeleteValue,
                                    sim::Op::RegDeleteKey, sim::Op::RegDeleteKeyEx, sim::Op::RegEnumKeyEx,
                                    sim::Op::RegQueryInfoKey});
        deletedKeys.clear();
    }

    // The index of a predefined handle, or -1.
    static int PredefinedIndex(HKEY key)
    {
        const uintptr_t value = reinterpret_cast<uintptr_t>(key);
        for (int i = 0; i < 7; ++i)
            if (value == static_cast<uintptr_t>(static_cast<intptr_t>(static_cast<LONG>(0x80000000u + i))))
                return i;
        return -1;
    }

    View ClassesRoot()
    {
        View view;
        view.classes = true;
        view.machine = FindChild(FindChild(roots[2], u"Software"), u"Classes");
        view.user = FindChild(FindChild(roots[1], u"Software"), u"Classes");
        return view;
    }

    // Resolves a handle: ERROR_INVALID_HANDLE for one that is not open.
    LONG Resolve(HKEY key, View* view, REGSAM* access)
    {
        const int predefined = PredefinedIndex(key);
        if (predefined == 0) {
            *view = ClassesRoot();
            *access = KEY_ALL_ACCESS;
        } else if (predefined > 0) {
            *view = View();
            view->machine = roots[predefined];
            *access = KEY_ALL_ACCESS;
        } else {
            auto it = handles.find(reinterpret_cast<uintptr_t>(key));
            if (it == handles.end())
                return ERROR_INVALID_HANDLE;
            *view = it->second.view;
            *access = it->second.access;
        }
        if (predefined >= 0) {
            // A predefined key grants whatever its key has not been restricted from.
            if (!view->Readable())
                *access &= ~kReadRights;
            if (!view->Writable())
                *access &= ~kWriteRights;
        }
        if (!view->Exists())
            return ERROR_KEY_DELETED;
        return ERROR_SUCCESS;
    }

    // The start every operation on an open key shares: an injected failure first, then the handle,
    // then the right the operation needs.
    LONG Enter(sim::Op operation, HKEY key, REGSAM required, View* view)
    {
        LONG error = 0;
        if (sim::internal::Injected(operation, &error))
            return error;
        REGSAM access = 0;
        error = Resolve(key, view, &access);
        if (error != ERROR_SUCCESS)
            return error;
        return (access & required) ? ERROR_SUCCESS : ERROR_ACCESS_DENIED;
    }

    HKEY NewHandle(const View& view, REGSAM access)
    {
        const uintptr_t value = nextHandle;
        nextHandle += 4;
        handles[value] = OpenHandle{view, access};
        return reinterpret_cast<HKEY>(value);
    }
};

Registry& TheRegistry()
{
    static Registry* registry = [] {
        auto* r = new Registry;
        r->Reset();
        return r;
    }();
    return *registry;
}

std::vector<Text> SplitPath(LPCWSTR path)
{
    std::vector<Text> parts;
    Text current;
    if (path) {
        for (; *path; ++path) {
            if (*path == L'\\') {
                if (!current.empty())
                    parts.push_back(current);
                current.clear();
            } else {
                current.push_back(static_cast<char16_t>(*path));
            }
        }
    }
    if (!current.empty())
        parts.push_back(current);
    return parts;
}

LONG CheckAccess(const View& view, REGSAM wanted)
{
    if ((wanted & kReadRights) && !view.Readable())
        return ERROR_ACCESS_DENIED;
    if ((wanted & kWriteRights) && !view.Writable())
        return ERROR_ACCESS_DENIED;
    return ERROR_SUCCESS;
}

void PublishDeleteKeyEx()
{
    // Through the one function type that converts to and from any other without complaint.
    sim::PublishExport(L"Advapi32.dll", "RegDeleteKeyExW",
                       reinterpret_cast<FARPROC>(reinterpret_cast<void (*)()>(&RegDeleteKeyExW)));
}

// Publishes RegDeleteKeyExW from the start, as a current system does.
struct PublishAtLoad {
    PublishAtLoad() { PublishDeleteKeyEx(); }
} g_publishAtLoad;

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

namespace sim {

void ResetRegistry()
{
    Registry& r = TheRegistry();
    std::lock_guard<std::recursive_mutex> lock(r.mutex);
    r.Reset();
    PublishDeleteKeyEx();
}

int OpenRegistryHandles()
{
    Registry& r = TheRegistry();
    std::lock_guard<std::recursive_mutex> lock(r.mutex);
    return static_cast<int>(r.handles.size());
}

void RestrictKey(HKEY root, LPCWSTR path, bool readable, bool writable)
{
    Registry& r = TheRegistry();
    std::lock_guard<std::recursive_mutex> lock(r.mutex);
    View view;
    REGSAM access = 0;
    if (r.Resolve(root, &view, &access) != ERROR_SUCCESS)
        return;
    for (const Text& part : SplitPath(path))
        view = view.Child(part);
    for (const NodePtr& node : {view.machine, view.user}) {
        if (Alive(node)) {
            node->readable = readable;
            node->writable = writable;
        }
    }
}

REGSAM HandleAccess(HKEY handle)
{
    Registry& r = TheRegistry();
    std::lock_guard<std::recursive_mutex> lock(r.mutex);
    auto it = r.handles.find(reinterpret_cast<uintptr_t>(handle));
    return it == r.handles.end() ? 0 : it->second.access;
}

std::vector<DeletedKey> DeletedKeys()
{
    Registry& r = TheRegistry();
    std::lock_guard<std::recursive_mutex> lock(r.mutex);
    return r.deletedKeys;
}

namespace {

void DumpView(const View& view, const std::string& path, std::vector<RegistryEntry>& out)
{
    out.push_back(RegistryEntry{path, false, std::string(), 0, {}});
    for (const Value* value : view.Values())
        out.push_back(RegistryEntry{path, true, ToUtf8(value->name), value->type, value->data});
    for (const Text& name : view.SubKeyNames())
        DumpView(view.Child(name), path.empty() ? ToUtf8(name) : path + "\\" + ToUtf8(name), out);
}

}  // namespace

std::vector<RegistryEntry> DumpRegistry(HKEY root, LPCWSTR path)
{
    Registry& r = TheRegistry();
    std::lock_guard<std::recursive_mutex> lock(r.mutex);
    std::vector<RegistryEntry> entries;
    View view;
    REGSAM access = 0;
    if (r.Resolve(root, &view, &access) != ERROR_SUCCESS)
        return entries;
    for (const Text& part : SplitPath(path)) {
        view = view.Child(part);
        if (!view.Exists())
            return entries;
    }
    DumpView(view, std::string(), entries);
    return entries;
}

std::string DescribeEntries(const std::vector<RegistryEntry>& entries)
{
    static const char kHex[] = "0123456789abcdef";
    std::string text;
    for (const RegistryEntry& e : entries) {
        text += "[" + e.key + "]";
        if (e.isValue) {
            text += " " + (e.valueName.empty() ? std::string("@") : "\"" + e.valueName + "\"") + " type " +
                    std::to_string(e.type) + " =";
            for (BYTE b : e.data) {
                text += ' ';
                text += kHex[b >> 4];
                text += kHex[b & 15];
            }
        }
        text += '\n';
    }
    return text;
}

}  // namespace sim
