// A fixture with the library attached, as a host process has it after LoadLibrary, on a fresh
// simulated platform; detached again after each test, which must leave no server lock, task memory,
// string or type library behind.
#pragma once

#include "attached_library.h"
#include "registrar/per_user_registration.h"
#include "server/vesk_module.h"
#include "sim_fixture.h"

class AttachedModuleTest : public SimulatedPlatformTest {
protected:
    void SetUp() override
    {
        SimulatedPlatformTest::SetUp();
        g_bPerUserRegistration = false;
        m_liveBlocks = sim::LiveTaskMemBlocks();
        ASSERT_TRUE(m_library.Attach());
    }
    void TearDown() override
    {
        if (m_library.Attached()) {
            EXPECT_EQ(ServerLocks(), 0) << "a test left the server locked";
        }
        m_library.Detach();
        EXPECT_EQ(sim::LiveTaskMemBlocks(), m_liveBlocks) << "task memory was leaked";
        EXPECT_EQ(sim::LiveStrings(), 0) << "a string was left allocated";
        EXPECT_EQ(sim::LiveTypeLibraries(), 0) << "a type library was left referenced";
        g_bPerUserRegistration = false;
        SimulatedPlatformTest::TearDown();
    }

    static LONG ServerLocks() { return g_pModule->GetServerLockCount(); }

    int m_liveBlocks = 0;
    AttachedLibrary m_library{false};
};
