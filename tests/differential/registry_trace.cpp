#include "registry_trace.h"

#include <algorithm>
#include <cstdio>
#include <vector>

#include "registrar/per_user_registration.h"
#include "registrar/reg_script_parser.h"
#include "registrar/registrar.h"
#include "registrar/registry_key.h"

namespace differential {

namespace {

// Where scratch keys may land: the parent key of each place.
struct ScratchPlace {
    const char* label;
    HKEY root;
    LPCWSTR parent;
};
const ScratchPlace kScratchPlaces[] = {
    {"user", HKEY_CURRENT_USER, L"Software"},
    {"user classes", HKEY_CURRENT_USER, L"Software\\Classes"},
    // Where an HKCR block would land if the per-user rewrite missed it.
    {"machine classes", HKEY_LOCAL_MACHINE, L"Software\\Classes"},
};

void AppendHex(std::string& out, const BYTE* bytes, DWORD count)
{
    static const char kDigits[] = "0123456789abcdef";
    for (DWORD i = 0; i < count; ++i) {
        out += kDigits[bytes[i] >> 4];
        out += kDigits[bytes[i] & 15];
    }
}

// Names as UTF-16 code units in hex: the trace compares them exactly, letter case included.
void AppendName(std::string& out, const Text& name)
{
    for (char16_t c : name) {
        if (c > 0x20 && c < 0x7F && c != '\\' && c != '%') {
            out += static_cast<char>(c);
        } else {
            char escaped[8];
            std::snprintf(escaped, sizeof escaped, "%%%04x", static_cast<unsigned>(c));
            out += escaped;
        }
    }
}

// The registry orders names without letter case; the trace orders them by a folding of its own
// (ASCII and Latin-1 letters), the same on every platform.
Text Folded(const Text& name)
{
    Text folded = name;
    for (char16_t& c : folded)
        if ((c >= L'a' && c <= L'z') || (c >= 0xE0 && c <= 0xFE && c != 0xF7))
            c = static_cast<char16_t>(c - 0x20);
    return folded;
}

void AppendValue(std::string& out, HKEY key, LPCWSTR name, const std::string& label)
{
    BYTE data[8192];
    DWORD size = sizeof data;
    DWORD type = 0;
    const LONG result = RegQueryValueExW(key, name, nullptr, &type, data, &size);
    if (result == ERROR_FILE_NOT_FOUND)
        return;
    out += "  value " + label + " ";
    if (result != ERROR_SUCCESS) {
        out += "error " + std::to_string(result) + "\n";
        return;
    }
    out += "type " + std::to_string(type) + " bytes " + std::to_string(size) + " ";
    AppendHex(out, data, size);
    out += "\n";
}

void AppendTree(std::string& out, HKEY key, const std::string& path, int depth)
{
    DWORD subKeys = 0;
    DWORD values = 0;
    if (RegQueryInfoKeyW(key, nullptr, nullptr, nullptr, &subKeys, nullptr, nullptr, &values, nullptr, nullptr,
                         nullptr, nullptr) != ERROR_SUCCESS) {
        out += "key " + path + " (no information)\n";
        return;
    }
    out += "key " + path + " values " + std::to_string(values) + "\n";
    AppendValue(out, key, nullptr, "(default)");
    for (int i = 0; i < kValueNameCount; ++i) {
        std::string label;
        AppendName(label, kValueNames[i]);
        AppendValue(out, key, reinterpret_cast<LPCWSTR>(kValueNames[i]), label);
    }
    std::vector<Text> names;
    for (DWORD index = 0;; ++index) {
        WCHAR name[256];
        DWORD length = 256;
        if (RegEnumKeyExW(key, index, name, &length, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS)
            break;
        names.emplace_back(reinterpret_cast<const char16_t*>(name), length);
    }
    std::sort(names.begin(), names.end(), [](const Text& a, const Text& b) { return Folded(a) < Folded(b); });
    for (const Text& name : names) {
        std::string child = path + "\\";
        AppendName(child, name);
        RegistryKey sub;
        if (depth > 40 || sub.OpenKey(key, Wide(name), KEY_READ) != ERROR_SUCCESS) {
            out += "key " + child + " (not opened)\n";
            continue;
        }
        AppendTree(out, sub.Handle(), child, depth + 1);
    }
}

void AppendScratch(std::string& out)
{
    for (const ScratchPlace& place : kScratchPlaces) {
        RegistryKey parent;
        if (parent.OpenKey(place.root, place.parent, KEY_READ) != ERROR_SUCCESS)
            continue;
        for (int i = 0; i < kScratchNameCount; ++i) {
            RegistryKey scratch;
            const LPCWSTR name = reinterpret_cast<LPCWSTR>(kScratchNames[i]);
            if (scratch.OpenKey(parent.Handle(), name, KEY_READ) == ERROR_SUCCESS)
                AppendTree(out, scratch.Handle(), std::string(place.label) + ":" + std::to_string(i + 1), 0);
        }
    }
}

std::string Hresult(HRESULT result)
{
    char text[16];
    std::snprintf(text, sizeof text, "%08lx", static_cast<unsigned long>(static_cast<uint32_t>(result)));
    return text;
}

}  // namespace

void ClearScratch()
{
    for (const ScratchPlace& place : kScratchPlaces) {
        RegistryKey parent;
        if (parent.OpenKey(place.root, place.parent, KEY_READ | KEY_WRITE) != ERROR_SUCCESS)
            continue;
        for (int i = 0; i < kScratchNameCount; ++i)
            parent.DeleteTree(reinterpret_cast<LPCWSTR>(kScratchNames[i]));
    }
}

std::string TraceScript(const GeneratedScript& script)
{
    ClearScratch();
    CRegistrar registrar;
    for (int i = 0; i < kVariableCount; ++i)
        registrar.AddVariable(reinterpret_cast<LPCOLESTR>(kVariables[i].name),
                              reinterpret_cast<LPCOLESTR>(kVariables[i].value));
    g_bPerUserRegistration = script.perUser;
    std::string trace = script.perUser ? "per user\n" : "machine\n";
    for (BOOL registering : {TRUE, FALSE}) {
        CRegScriptParser parser(&registrar.Variables());
        const HRESULT result = parser.RunScript(Wide(script.text), registering);
        trace += (registering ? "register " : "unregister ") + Hresult(result) + "\n";
        AppendScratch(trace);
    }
    g_bPerUserRegistration = false;
    ClearScratch();
    return trace;
}

}  // namespace differential
