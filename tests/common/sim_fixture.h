// The one fixture of the native tests: each test starts on a fresh simulated platform, with the
// library attached as a host process has it after LoadLibrary (unless the fixture asks otherwise),
// and ends with the proof that it left nothing behind: no server lock, timer, thread handle,
// reference on the library or the interface table, cached type information, task memory, string,
// array, type library, type description, registry key, mapped module file or critical section.
#pragma once

#include <string>

#include <gtest/gtest.h>

#include "attached_library.h"
#include "enabler/vesk_enabler.h"
#include "failing_allocator.h"
#include "registrar/per_user_registration.h"
#include "server/vesk_module.h"
#include "sim/sim_control.h"

// What a test can leave behind on the simulated platform, counted at one moment.
struct LeakSnapshot {
    int taskMemory = sim::LiveTaskMemBlocks();
    int strings = sim::LiveStrings();
    int arrays = sim::LiveArrays();
    int typeLibraries = sim::LiveTypeLibraries();
    int descriptions = sim::OutstandingDescriptions();
    int registryHandles = sim::OpenRegistryHandles();
    int dataModules = sim::OpenDataModules();
    int criticalSections = sim::LiveCriticalSections();

    // One failure for each count that differs from `before`'s.
    void ExpectSameAs(const LeakSnapshot& before, const std::string& when = "") const
    {
        EXPECT_EQ(taskMemory, before.taskMemory) << when << "task memory was leaked";
        EXPECT_EQ(strings, before.strings) << when << "a string was left allocated";
        EXPECT_EQ(arrays, before.arrays) << when << "an array was left allocated";
        EXPECT_EQ(typeLibraries, before.typeLibraries) << when << "a type library was left referenced";
        EXPECT_EQ(descriptions, before.descriptions) << when << "a type description was not released";
        EXPECT_EQ(registryHandles, before.registryHandles) << when << "a registry key was left open";
        EXPECT_EQ(dataModules, before.dataModules) << when << "a module file mapped as data was not released";
        EXPECT_EQ(criticalSections, before.criticalSections) << when << "a critical section was not deleted";
    }
};

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
        LeakSnapshot().ExpectSameAs(m_before);
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
