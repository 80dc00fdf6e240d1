// Test controls of the simulated registry. Only tests include this.
#pragma once

#include <string>
#include <vector>

#include "sim/registry.h"

namespace sim {

// An empty registry with HKEY_LOCAL_MACHINE\Software\Classes and HKEY_CURRENT_USER\Software, no open handles, no
// fault of a registry function, nothing restricted, and RegDeleteKeyExW published in Advapi32.dll.
void ResetRegistry();

// Handles opened or created and not yet closed (the predefined keys do not count).
int OpenRegistryHandles();

// Makes an existing key refuse opens that ask for read rights (query, enumerate, notify) or for
// write rights (set value, create sub-key, delete). `path` is relative to `root`, '\' separated.
void RestrictKey(HKEY root, LPCWSTR path, bool readable, bool writable);

// The access mask a handle was opened with (0 for an unknown handle).
REGSAM HandleAccess(HKEY handle);

// Every key deleted since the reset, in order: its path below its root ("HKLM\Software\X"), whether
// RegDeleteKeyExW did it, and the registry view bits it was given (0 for RegDeleteKeyW).
struct DeletedKey {
    std::string path;
    bool extended;
    REGSAM view;
};
std::vector<DeletedKey> DeletedKeys();

// One line of a tree dump: a key (no value), or one of its values with its type and bytes.
struct RegistryEntry {
    std::string key;        // path below the dumped key, '\' separated; "" for the key itself
    bool isValue;
    std::string valueName;  // "" for the default value
    DWORD type;
    std::vector<BYTE> data;
    bool operator==(const RegistryEntry& other) const
    {
        return key == other.key && isValue == other.isValue && valueName == other.valueName &&
               type == other.type && data == other.data;
    }
};
// The key below `root` at `path` (null or "" for `root` itself) and everything under it, keys in
// enumeration order, each followed by its values in name order; empty when the key does not exist.
// HKEY_CLASSES_ROOT is dumped as its readers see it (the user's classes over the machine's).
std::vector<RegistryEntry> DumpRegistry(HKEY root, LPCWSTR path = nullptr);
// A dump as readable text, one entry per line, for failure messages.
std::string DescribeEntries(const std::vector<RegistryEntry>& entries);

}  // namespace sim
