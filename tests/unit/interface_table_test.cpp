#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>
#include <vector>

#include "attached_library.h"
#include "run_together.h"
#include "sim/sim_control.h"
#include "sim_fixture.h"
#include "server/vesk_module.h"

namespace {

using InterfaceTable = SimulatedPlatformTest;

IGlobalInterfaceTable* const kUntouched = reinterpret_cast<IGlobalInterfaceTable*>(static_cast<uintptr_t>(0x5A5A));

TEST_F(InterfaceTable, TwoRequestsCreateOnceAndHandOutTwoReferences)
{
    IGlobalInterfaceTable* first = nullptr;
    IGlobalInterfaceTable* second = nullptr;
    ASSERT_EQ(g_pModule->GetInterfaceTable(&first), S_OK);
    ASSERT_EQ(g_pModule->GetInterfaceTable(&second), S_OK);
    ASSERT_NE(first, nullptr);
    EXPECT_EQ(first, second);
    EXPECT_EQ(sim::InterfaceTableCreations(), 1);
    EXPECT_EQ(sim::InterfaceTableReferences(), 3) << "the module's own and one per caller";
    first->Release();
    second->Release();
    EXPECT_EQ(sim::InterfaceTableReferences(), 1) << "the module keeps its own until unload";
}

TEST_F(InterfaceTable, NullOutPointerIsRefusedWithoutCreating)
{
    EXPECT_EQ(g_pModule->GetInterfaceTable(nullptr), E_POINTER);
    EXPECT_EQ(sim::InterfaceTableCreations(), 0);
}

TEST_F(InterfaceTable, FailedCreationIsPassedOnAndStoresNothing)
{
    struct Case { const char* name; HRESULT result; };
    const Case cases[] = {
        {"out of memory", E_OUTOFMEMORY},
        {"COM not initialised on the thread", CO_E_NOTINITIALIZED},
        {"class not registered", REGDB_E_CLASSNOTREG},
    };
    for (const Case& c : cases) {
        sim::Fail(sim::Op::CoCreateInstance, sim::When{}, c.result);
        IGlobalInterfaceTable* table = kUntouched;
        EXPECT_EQ(g_pModule->GetInterfaceTable(&table), c.result) << c.name;
        EXPECT_EQ(table, kUntouched) << c.name << ": nothing stored through the out pointer";
        EXPECT_EQ(g_pModule->m_pInterfaceTable.load(), nullptr) << c.name << ": nothing cached";
        EXPECT_EQ(sim::InterfaceTableReferences(), 0) << c.name;
    }
    // A later request tries again.
    IGlobalInterfaceTable* table = nullptr;
    ASSERT_EQ(g_pModule->GetInterfaceTable(&table), S_OK);
    EXPECT_NE(table, nullptr);
    EXPECT_EQ(sim::InterfaceTableCreations(), 1);
    table->Release();
}

TEST_F(InterfaceTable, ConcurrentFirstRequestsCreateOnce)
{
    constexpr int kThreads = 16;
    // Each creation waits a while for a second one to begin beside it: one that does means the
    // first creation was not serialised.
    std::atomic<int> inside{0};
    std::atomic<int> mostInside{0};
    sim::SetCoCreateInstanceHook([&] {
        const int now = ++inside;
        int seen = mostInside.load();
        while (now > seen && !mostInside.compare_exchange_weak(seen, now)) {
        }
        for (int i = 0; i < 100 && mostInside.load() < 2; ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        --inside;
    });
    std::vector<IGlobalInterfaceTable*> tables(kThreads, nullptr);
    std::vector<HRESULT> results(kThreads, E_FAIL);
    RunTogether(kThreads, [&](int t) { results[t] = g_pModule->GetInterfaceTable(&tables[t]); });
    sim::SetCoCreateInstanceHook(nullptr);
    EXPECT_EQ(mostInside.load(), 1) << "creations overlapped";
    EXPECT_EQ(sim::InterfaceTableCreations(), 1);
    EXPECT_EQ(sim::InterfaceTableReferences(), kThreads + 1);
    for (int t = 0; t < kThreads; ++t) {
        EXPECT_EQ(results[t], S_OK) << "thread " << t;
        EXPECT_EQ(tables[t], tables[0]) << "thread " << t;
        if (tables[t])
            tables[t]->Release();
    }
}

}  // namespace
