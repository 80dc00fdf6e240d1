// The simulated registry itself: its root keys, its open handles and how a handle resolves to
// what it refers to, and what the registry functions share.
#pragma once

#include <cstdint>
#include <map>
#include <mutex>
#include <vector>

#include "sim/faults_control.h"
#include "sim/registry_control.h"
#include "sim/registry_view.h"

namespace sim::registry {

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

    void Reset();

    // The index of a predefined handle, or -1.
    static int PredefinedIndex(HKEY key);

    View ClassesRoot();

    // Resolves a handle: ERROR_INVALID_HANDLE for one that is not open.
    LONG Resolve(HKEY key, View* view, REGSAM* access);

    // The start every operation on an open key shares: an injected failure first, then the handle,
    // then the right the operation needs.
    LONG Enter(sim::Op operation, HKEY key, REGSAM required, View* view);

    HKEY NewHandle(const View& view, REGSAM access);
};

Registry& TheRegistry();

// ERROR_ACCESS_DENIED where `wanted` asks for rights the key has been restricted from.
LONG CheckAccess(const View& view, REGSAM wanted);

// Publishes RegDeleteKeyExW in Advapi32.dll, as a current system does.
void PublishDeleteKeyEx();

}  // namespace sim::registry
