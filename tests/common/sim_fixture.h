// The one fixture of the native tests: each test starts on a fresh simulated platform, with the
// library attached as a host process has it after LoadLibrary (unless the fixture asks otherwise),
// and ends with the proof that it left nothing behind: no server lock, timer, thread handle,
// reference on the library or the interface table, cached type information, task memory, string,
// array, type library, type description, registry key, mapped module file or critical section.
#pragma once

#include <gtest/gtest.h>

#include "attached_library.h"
#include "enabler/vesk_enabler.h"
#include "failing_allocator.h"
#include "leak_snapshot.h"
#include "registrar/per_user_registration.h"
#include "server/vesk_module.h"
#include "sim/sim_control.h"

class SimulatedPlatformTest : public ::testing::Test {
protected:
    // `attachLibrary` false: the test attaches the library itself, or has no use for it.
    explicit SimulatedPlatformTest(bool attachLibrary = true) : m_bAttachLibrary(attachLibrary) {}

    void SetUp() override
    {
        sim::ResetAll();
        g_bPerUserRegistration = false;
        m_before = LeakSnapshot();
        if (m_bAttachLibrary) {
            ASSERT_TRUE(m_library.Attach());
        }
    }

    void TearDown() override
    {
        sim::ClearFaults();
        test::FailOperatorNewAfter(-1);
        if (m_library.Attached()) {
            EXPECT_EQ(ServerLocks(), 0) << "a test left the server locked";
        }
        m_library.Detach();
        EXPECT_EQ(g_pModule, nullptr) << "the module object outlived the library";
        // Longer than any delay the system uses: every pending timer fires, and closes itself.
        sim::AdvanceClock(60000);
        EXPECT_EQ(sim::LiveThreadpoolTimers(), 0) << "a timer was left alive";
        sim::ResetThreads();
        EXPECT_EQ(sim::OpenThreadHandles(), 0) << "a thread handle was left open";
        EXPECT_EQ(sim::LibraryReferences(), 1) << "a notification kept a reference on the library";
        EXPECT_EQ(sim::InterfaceTableReferences(), 0) << "the module releases its reference at unload";
        EXPECT_EQ(CVeskEnabler::s_typeInfoHolder.m_pTypeInfo.load(), nullptr) << "detach releases the type information";
        EXPECT_EQ(CVeskEnabler::s_typeInfoHolder.m_pNameCache.load(), nullptr) << "detach frees the name cache";
        EXPECT_EQ(LeakSnapshot().Differences(m_before), "") << "left behind";
        g_bPerUserRegistration = false;
        sim::ResetAll();
    }

    void Attach() { ASSERT_TRUE(m_library.Attach()); }
    void Detach() { m_library.Detach(); }
    static LONG ServerLocks() { return g_pModule->GetServerLockCount(); }

    AttachedLibrary m_library{false};
    // Taken on the fresh platform, before the library is attached.
    LeakSnapshot m_before;

private:
    bool m_bAttachLibrary;
};

// The fixture of the tests that attach the library themselves, or have no use for it.
class DetachedPlatformTest : public SimulatedPlatformTest {
protected:
    DetachedPlatformTest() : SimulatedPlatformTest(false) {}
};
