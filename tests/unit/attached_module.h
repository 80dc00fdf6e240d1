// A fixture with the library attached, as a host process has it after LoadLibrary, on a fresh
// simulated platform; detached again after each test.
#pragma once

#include "server/dll_main.h"
#include "server/vesk_module.h"
#include "sim_fixture.h"

class AttachedModuleTest : public SimulatedPlatformTest {
protected:
    void SetUp() override
    {
        SimulatedPlatformTest::SetUp();
        ASSERT_TRUE(DllMain(sim::LibraryModule(), DLL_PROCESS_ATTACH, nullptr));
    }
    void TearDown() override
    {
        EXPECT_EQ(ServerLocks(), 0) << "a test left the server locked";
        DllMain(sim::LibraryModule(), DLL_PROCESS_DETACH, nullptr);
        SimulatedPlatformTest::TearDown();
    }

    static LONG ServerLocks() { return g_pModule->GetServerLockCount(); }
};
