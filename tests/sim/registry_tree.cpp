#include <algorithm>

#include "sim/registry_tree.h"

namespace sim::registry {

namespace {

// The platform's registry folds letter case beyond ASCII too ("\u00E4" names the same key as
// "\u00C4"); the simulation knows the letters of Latin-1.
char16_t UpperCase(char16_t c)
{
    if ((c >= u'a' && c <= u'z') || (c >= 0xE0 && c <= 0xFE && c != 0xF7))
        return static_cast<char16_t>(c - 0x20);
    return c == 0xFF ? char16_t(0x178) : c;
}

}  // namespace

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

}  // namespace sim::registry
