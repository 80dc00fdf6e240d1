#include <algorithm>

#include "sim/registry_view.h"

namespace sim::registry {

View View::Child(const Text& name) const
{
    View child;
    child.classes = classes;
    child.machine = Alive(machine) ? FindChild(machine, name) : nullptr;
    child.user = Alive(user) ? FindChild(user, name) : nullptr;
    return child;
}

bool View::Readable() const
{
    return (!Alive(machine) || machine->readable) && (!Alive(user) || user->readable);
}

bool View::Writable() const
{
    Node* target = WriteTarget();
    return !target || target->writable;
}

std::vector<Text> View::SubKeyNames() const
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

std::vector<const Value*> View::Values() const
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

const Value* View::QueryValue(const Text& name) const
{
    if (const Value* v = Alive(user) ? FindValue(user.get(), name) : nullptr)
        return v;
    return Alive(machine) ? FindValue(machine.get(), name) : nullptr;
}

}  // namespace sim::registry
