#include "sim/faults_internal.h"
#include "sim/modules_control.h"
#include "sim/registry_handles.h"

namespace sim::registry {

void Registry::Reset()
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

int Registry::PredefinedIndex(HKEY key)
{
    const uintptr_t value = reinterpret_cast<uintptr_t>(key);
    for (int i = 0; i < 7; ++i)
        if (value == static_cast<uintptr_t>(static_cast<intptr_t>(static_cast<LONG>(0x80000000u + i))))
            return i;
    return -1;
}

View Registry::ClassesRoot()
{
    View view;
    view.classes = true;
    view.machine = FindChild(FindChild(roots[2], u"Software"), u"Classes");
    view.user = FindChild(FindChild(roots[1], u"Software"), u"Classes");
    return view;
}

LONG Registry::Resolve(HKEY key, View* view, REGSAM* access)
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

LONG Registry::Enter(sim::Op operation, HKEY key, REGSAM required, View* view)
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

HKEY Registry::NewHandle(const View& view, REGSAM access)
{
    const uintptr_t value = nextHandle;
    nextHandle += 4;
    handles[value] = OpenHandle{view, access};
    return reinterpret_cast<HKEY>(value);
}

Registry& TheRegistry()
{
    static Registry* registry = [] {
        auto* r = new Registry;
        r->Reset();
        return r;
    }();
    return *registry;
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

namespace {

// Publishes RegDeleteKeyExW from the start, as a current system does.
struct PublishAtLoad {
    PublishAtLoad() { PublishDeleteKeyEx(); }
} g_publishAtLoad;

}  // namespace

}  // namespace sim::registry
