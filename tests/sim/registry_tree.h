// The simulated registry's keys and values: a tree of named keys, each with its values, and the
// platform's rules for their names.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "sim/registry.h"

namespace sim::registry {

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

// Registry names compare without letter case; the platform orders them by their upper-case form.
int CompareNames(const Text& a, const Text& b);
Text ToText(LPCWSTR s);
std::string ToUtf8(const Text& text);
// The parts of a path separated by '\', empty parts left out.
std::vector<Text> SplitPath(LPCWSTR path);

NodePtr FindChild(const NodePtr& node, const Text& name);
// Adds a sub-key in its place in name order.
NodePtr AddChild(const NodePtr& node, const Text& name);
Value* FindValue(Node* node, const Text& name);
// Marks a key and everything below it deleted, for the handles still open on them.
void MarkDeleted(Node& node);
// A key's path from its root ("HKLM\Software\X").
std::string NodePath(const Node* node);
inline bool Alive(const NodePtr& node) { return node && !node->deleted; }

}  // namespace sim::registry
