// The fault injection itself: which calls a fault reaches, what they answer, and what clears it.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>

#include "sim_fixture.h"

namespace {

class Faults : public SimulatedPlatformTest {
protected:
    Faults() : SimulatedPlatformTest(false) {}
};

// Asks for the executable's module `calls` times: '.' for each success, 'x' for each failure that
// left `code` as the last error, '?' for anything else.
std::string Outcomes(int calls, DWORD code)
{
    std::string outcomes;
    for (int i = 0; i < calls; ++i) {
        HMODULE module = nullptr;
        SetLastError(0);
        if (GetModuleHandleExW(0, nullptr, &module))
            outcomes += module == sim::ExecutableModule() ? '.' : '?';
        else
            outcomes += GetLastError() == code ? 'x' : '?';
    }
    return outcomes;
}

TEST_F(Faults, WhenNamesTheCallsThatFail)
{
    struct Case { const char* name; sim::When when; const char* outcomes; };
    const Case cases[] = {
        {"by default the next call", sim::When{}, "x...."},
        {"after the calls it skips", sim::When{2}, "..x.."},
        {"several in a row", sim::When{1, 3}, ".xxx."},
        {"a count of none fails nothing", sim::When{3, 0}, "....."},
    };
    for (const Case& c : cases) {
        sim::Fail(sim::Op::GetModuleHandleEx, c.when, ERROR_ACCESS_DENIED);
        const std::string outcomes = Outcomes(5, ERROR_ACCESS_DENIED);
        EXPECT_EQ(outcomes, c.outcomes) << c.name;
        EXPECT_EQ(sim::InjectedFailures(sim::Op::GetModuleHandleEx), std::count(outcomes.begin(), outcomes.end(), 'x'))
            << c.name;
    }
    // A fault replaces the earlier one of its operation, and no other.
    sim::Fail(sim::Op::Allocation, sim::When{});
    sim::Fail(sim::Op::GetModuleHandleEx, sim::When{1}, ERROR_MOD_NOT_FOUND);
    EXPECT_EQ(Outcomes(3, ERROR_MOD_NOT_FOUND), ".x.");
    EXPECT_EQ(CoTaskMemAlloc(1), nullptr);
}

TEST_F(Faults, EachResetClearsTheFaultsOfItsService)
{
    struct Case { const char* name; void (*reset)(); bool clearsRegistry; bool clearsModules; bool clearsAllocation; };
    const Case cases[] = {
        {"the whole platform", &sim::ResetAll, true, true, true},
        {"every fault", &sim::ClearFaults, true, true, true},
        {"the registry", &sim::ResetRegistry, true, false, false},
        {"the modules", &sim::ResetModules, false, true, false},
    };
    for (const Case& c : cases) {
        sim::Fail(sim::Op::RegOpenKeyEx, sim::When{}, ERROR_ACCESS_DENIED);
        sim::Fail(sim::Op::GetModuleHandleEx, sim::When{}, ERROR_ACCESS_DENIED);
        sim::Fail(sim::Op::Allocation, sim::When{});
        c.reset();
        HKEY key = nullptr;
        EXPECT_EQ(RegOpenKeyExW(HKEY_LOCAL_MACHINE, L"Software", 0, KEY_READ, &key),
                  c.clearsRegistry ? ERROR_SUCCESS : ERROR_ACCESS_DENIED) << c.name;
        EXPECT_EQ(Outcomes(1, ERROR_ACCESS_DENIED), c.clearsModules ? "." : "x") << c.name;
        void* block = CoTaskMemAlloc(1);
        EXPECT_EQ(block != nullptr, c.clearsAllocation) << c.name;
        CoTaskMemFree(block);
        if (key)
            RegCloseKey(key);
        sim::ClearFaults();
    }
}

}  // namespace
