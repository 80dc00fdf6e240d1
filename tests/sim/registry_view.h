// What a handle of the simulated registry refers to. Keys below HKEY_CLASSES_ROOT are seen through
// two nodes: the user's classes over the machine's; writes go to the machine's key where it exists.
#pragma once

#include "sim/registry_tree.h"

namespace sim::registry {

struct View {
    NodePtr machine;  // the key itself, or for classes the machine's key
    NodePtr user;     // classes only: the user's key
    bool classes = false;

    bool Exists() const { return Alive(machine) || Alive(user); }
    Node* WriteTarget() const { return Alive(machine) ? machine.get() : (Alive(user) ? user.get() : nullptr); }
    View Child(const Text& name) const;
    bool Readable() const;
    bool Writable() const;
    std::vector<Text> SubKeyNames() const;
    std::vector<const Value*> Values() const;
    const Value* QueryValue(const Text& name) const;
};

}  // namespace sim::registry
