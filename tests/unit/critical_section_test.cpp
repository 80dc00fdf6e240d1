#include <gtest/gtest.h>

#include "base/critical_section.h"
#include "sim/sim_control.h"

namespace {

TEST(CreateCriticalSectionChecked, FailureIsAValueAndLeavesNothingToDelete)
{
    struct Case { const char* name; int failures; HRESULT result; int created; };
    const Case cases[] = {
        {"created", 0, S_OK, 1},
        {"the system cannot create it", 1, E_OUTOFMEMORY, 0},
    };
    for (const Case& c : cases) {
        const int before = sim::LiveCriticalSections();
        sim::Fail(sim::Op::InitializeCriticalSectionAndSpinCount, sim::When{0, c.failures}, ERROR_NOT_ENOUGH_MEMORY);
        CRITICAL_SECTION section;
        EXPECT_EQ(CreateCriticalSectionChecked(&section), c.result) << c.name;
        EXPECT_EQ(sim::LiveCriticalSections(), before + c.created) << c.name;
        if (SUCCEEDED(c.result)) {
            EnterCriticalSection(&section);
            EnterCriticalSection(&section);  // re-entrant for its owner
            LeaveCriticalSection(&section);
            LeaveCriticalSection(&section);
            DeleteCriticalSection(&section);
        }
        sim::ClearFaults();
        EXPECT_EQ(sim::LiveCriticalSections(), before) << c.name;
    }
}

}  // namespace
