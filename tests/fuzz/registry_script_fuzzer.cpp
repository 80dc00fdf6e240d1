// Runs arbitrary script text through expansion, registration and unregistration against the
// simulated registry, machine-wide and per user, and stops at the first run that leaves a key
// handle open or task memory behind. The sanitizers catch everything else.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
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

void RunBothWays(const WCHAR* text, bool perUser)
{
    sim::ResetRegistry();
    g_bPerUserRegistration = perUser;
    const int liveBlocks = sim::LiveTaskMemBlocks();
    {
        CRegistrar registrar;
        registrar.AddVariable(L"Module", L"C:\\Vesk\\Vesk.dll");
        registrar.AddVariable(L"APPID", L"");
        {
            CRegScriptParser parser(&registrar.Variables());
            parser.RunScript(text, TRUE);
        }
        Check(sim::OpenRegistryHandles() == 0, "a key is left open after registration");
        {
            CRegScriptParser parser(&registrar.Variables());
            parser.RunScript(text, FALSE);
        }
        Check(sim::OpenRegistryHandles() == 0, "a key is left open after unregistration");
    }
    Check(sim::LiveTaskMemBlocks() == liveBlocks, "task memory is left behind");
    g_bPerUserRegistration = false;
}

}  // namespace

// The input is 8-bit script text, widened byte by byte as the library widens its own script.
extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size > 64 * 1024)
        return 0;
    std::vector<WCHAR> text(size + 1, 0);
    for (size_t i = 0; i < size; ++i)
        text[i] = static_cast<WCHAR>(data[i]);
    RunBothWays(text.data(), false);
    RunBothWays(text.data(), true);
    return 0;
}
