// The rows the server's own registration writes, for the installer packages and the WiX fragments
// (tools/wix-fragment): the library's registry script run by the server's own registration code
// (the enabler's entry of the object map, its script from the library file, the module's
// variables), built natively against the simulated registry, and what that left below the
// machine's classes key read back. Nothing here reads the script's grammar.
//
//   vesk_registration_rows
//
// Tab-separated lines: first "module PATH", the library's path during the run; then
//   value KEY NAME TYPE DATA   a value registration writes (NAME @ for a key's default value,
//                              TYPE s or d, DATA the text or the unsigned number)
//   key KEY kept|removed       a key registration creates that holds no values and no keys, and
//                              whether unregistration removes it again
// KEY is below the classes key. The type library's keys are not among them: the platform's own
// type-library registration writes those (tools/wix-fragment reads the compiled library for them).
#include <cstdio>
#include <cstring>
#include <set>
#include <string>
#include <vector>

#include "attached_library.h"
#include "server/registry_script_resources.h"

namespace {

constexpr wchar_t kModulePath[] = L"C:\\Program Files\\Vesk\\Vesk.dll";

std::vector<sim::RegistryEntry> Classes() { return sim::DumpRegistry(HKEY_LOCAL_MACHINE, L"Software\\Classes"); }

// UTF-16 registry text as UTF-8; false for text a tab-separated line cannot carry.
bool Utf8(const std::vector<BYTE>& data, std::string* out)
{
    std::u16string text(data.size() / 2, u'\0');
    std::memcpy(text.data(), data.data(), text.size() * 2);
    while (!text.empty() && text.back() == u'\0')
        text.pop_back();
    for (size_t i = 0; i < text.size(); ++i) {
        char32_t c = text[i];
        if (c >= 0xD800 && c < 0xDC00 && i + 1 < text.size())
            c = 0x10000 + ((c - 0xD800) << 10) + (text[++i] - 0xDC00);
        if (c < 0x20)
            return false;
        if (c < 0x80) {
            *out += static_cast<char>(c);
        } else if (c < 0x800) {
            *out += static_cast<char>(0xC0 | (c >> 6));
            *out += static_cast<char>(0x80 | (c & 0x3F));
        } else if (c < 0x10000) {
            *out += static_cast<char>(0xE0 | (c >> 12));
            *out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
            *out += static_cast<char>(0x80 | (c & 0x3F));
        } else {
            *out += static_cast<char>(0xF0 | (c >> 18));
            *out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
            *out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
            *out += static_cast<char>(0x80 | (c & 0x3F));
        }
    }
    return true;
}

int Fail(const char* what)
{
    std::fprintf(stderr, "vesk_registration_rows: %s\n", what);
    return 1;
}

}  // namespace

int main()
{
    sim::ResetAll();
    sim::SetModuleFileName(sim::LibraryModule(), reinterpret_cast<LPCWSTR>(kModulePath));
    AttachedLibrary library;
    if (!library.Attached())
        return Fail("the library did not attach");
    std::set<std::string> before;
    for (const sim::RegistryEntry& entry : Classes())
        before.insert(entry.key);
    if (FAILED(UpdateEnablerRegistry(TRUE)))
        return Fail("the registration failed");
    const std::vector<sim::RegistryEntry> registered = Classes();
    if (FAILED(UpdateEnablerRegistry(FALSE)))
        return Fail("the unregistration failed");
    std::set<std::string> left;
    for (const sim::RegistryEntry& entry : Classes())
        left.insert(entry.key);

    std::vector<BYTE> path(sizeof kModulePath);
    std::memcpy(path.data(), kModulePath, sizeof kModulePath);
    std::string line = "module\t";
    Utf8(path, &line);
    std::printf("%s\n", line.c_str());
    for (size_t i = 0; i < registered.size(); ++i) {
        const sim::RegistryEntry& entry = registered[i];
        const bool last = i + 1 == registered.size();
        if (entry.isValue) {
            line = "value\t" + entry.key + "\t" + (entry.valueName.empty() ? "@" : entry.valueName) + "\t";
            DWORD number = 0;
            if (entry.type == REG_DWORD && entry.data.size() == sizeof number) {
                std::memcpy(&number, entry.data.data(), sizeof number);
                line += "d\t" + std::to_string(number);
            } else if (entry.type != REG_SZ || !Utf8(entry.data, &(line += "s\t"))) {
                return Fail(("a value of " + entry.key + " that an installer row cannot carry").c_str());
            }
        } else {
            // Values follow their key, and sub-keys follow those: a key with neither is followed by
            // a key that is not below it.
            const bool empty = last || (!registered[i + 1].isValue &&
                                        registered[i + 1].key.rfind(entry.key + "\\", 0) != 0);
            if (before.count(entry.key) || !empty)
                continue;
            line = "key\t" + entry.key + "\t" + (left.count(entry.key) ? "kept" : "removed");
        }
        std::printf("%s\n", line.c_str());
    }
    return 0;
}
