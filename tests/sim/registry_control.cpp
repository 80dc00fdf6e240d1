#include "sim/registry_handles.h"

using namespace sim::registry;

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
