// Runs arbitrary script text through expansion, registration and unregistration against the
// simulated registry, machine-wide and per user. It stops at a run that leaves a key handle open or
// task memory behind, and at one that breaks a rule of the script language: a block that fails its
// syntax check changes nothing, so the script with such a block added at its end leaves the registry
// exactly as the script alone does, in either pass; and a script that registers and unregisters
// without NoRemove leaves no key that was not there before, and no value but the default value of
// such a key (which keeps its sub-keys, and so stays). The sanitizers catch everything else.
#include <algorithm>
#include <cctype>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "sim/sim_control.h"
#include "registrar/per_user_registration.h"
#include "registrar/reg_script_parser.h"
#include "registrar/registrar.h"

namespace {

void Check(bool condition, const char* what)
{
    if (!condition) {
        std::fprintf(stderr, "registry script fuzzer: %s\n", what);
        std::abort();
    }
}

// A block that fails its syntax check (it never ends) after entries that, run, would take away a key
// that was there: registration deletes it for ForceRemove, unregistration for the entry. With no
// closing brace and no quote (a quoted text starting with '}' closes a block too), it ends no block
// and no quoted text of the script before it, which so stays as it was.
const WCHAR kFailingBlock[] = L"\r\nHKCU { ForceRemove Sentinel Other";

// Every root but HKEY_CLASSES_ROOT, whose keys are the machine's or the user's.
using Registry = std::vector<std::vector<sim::RegistryEntry>>;
Registry Everything()
{
    Registry all;
    for (HKEY root : {HKEY_CURRENT_USER, HKEY_LOCAL_MACHINE, HKEY_USERS, HKEY_PERFORMANCE_DATA, HKEY_CURRENT_CONFIG,
                      HKEY_DYN_DATA})
        all.push_back(sim::DumpRegistry(root));
    return all;
}

HRESULT RunScript(std::vector<WCHAR> text, bool registering)
{
    text.push_back(0);
    CRegistrar registrar;
    registrar.AddVariable(L"Module", L"C:\\Vesk\\Vesk.dll");
    registrar.AddVariable(L"APPID", L"");
    CRegScriptParser parser(&registrar.Variables());
    const HRESULT hr = parser.RunScript(text.data(), registering);
    Check(sim::OpenRegistryHandles() == 0, "a key is left open");
    return hr;
}

// The registry after a fresh start (HKCU\Sentinel with a value, so that no rule keeps it for its
// sub-keys), the script registered when it is to be unregistered, and the run, with the failing block
// added to it when asked.
Registry RunFresh(std::vector<WCHAR> script, bool registering, bool withFailingBlock)
{
    sim::ResetRegistry();
    HKEY sentinel = nullptr;
    RegCreateKeyExW(HKEY_CURRENT_USER, L"Sentinel", 0, nullptr, 0, KEY_WRITE, nullptr, &sentinel, nullptr);
    RegSetValueExW(sentinel, L"Kept", 0, REG_DWORD, reinterpret_cast<const BYTE*>("\1\0\0\0"), 4);
    RegCloseKey(sentinel);
    if (!registering)
        RunScript(script, true);
    if (withFailingBlock)
        script.insert(script.end(), std::begin(kFailingBlock), std::end(kFailingBlock) - 1);
    RunScript(script, registering);
    return Everything();
}

void RunBothWays(const std::vector<WCHAR>& script, bool perUser, bool keepsKeys)
{
    g_bPerUserRegistration = perUser;
    const int liveBlocks = sim::LiveTaskMemBlocks();
    const Registry before = RunFresh({}, true, false);
    const HRESULT registered = RunScript(script, true);
    const Registry between = Everything();
    const HRESULT unregistered = RunScript(script, false);
    const Registry after = Everything();
    Check(RunFresh(script, true, true) == between, "a block that failed its syntax check registered");
    Check(RunFresh(script, false, true) == after, "a block that failed its syntax check unregistered");
    if (registered == S_OK && unregistered == S_OK && !keepsKeys)
        for (size_t root = 0; root < after.size(); ++root)
            for (const sim::RegistryEntry& e : after[root])
                Check((e.isValue && e.valueName.empty()) ||
                          std::find(before[root].begin(), before[root].end(), e) != before[root].end(),
                      "registering and unregistering a script without NoRemove left something it made");
    Check(sim::LiveTaskMemBlocks() == liveBlocks, "task memory is left behind");
    g_bPerUserRegistration = false;
}

}  // namespace

// The input is 8-bit script text up to its first zero, widened byte by byte as the library widens its
// own script.
extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size > 64 * 1024)
        return 0;
    const std::vector<WCHAR> script(data, std::find(data, data + size, 0));
    std::string lower(script.begin(), script.end());
    std::transform(lower.begin(), lower.end(), lower.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    // NoRemove keeps keys by design. A Val or a Delete entry may be followed by a nested block, which
    // registration writes below the key of the entry before and unregistration does not look for
    // there (a Val entry's it reads as a key named "{"): those keys stay too, until the passes agree.
    const bool keepsKeys = lower.find("noremove") != std::string::npos || lower.find("val") != std::string::npos ||
                           lower.find("delete") != std::string::npos;
    RunBothWays(script, false, keepsKeys);
    RunBothWays(script, true, keepsKeys);
    return 0;
}
