#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include "attached_library.h"
#include "run_together.h"
#include "stack_object.h"
#include "enabler/ivesk_enabler.h"
#include "sim/sim_control.h"
#include "sim_fixture.h"
#include "registrar/registrar.h"
#include "server/class_object_lookup.h"
#include "server/module_records.h"
#include "server/vesk_module.h"

namespace {

// Each test attaches and detaches the library itself: the fixture's where nothing on the test's
// stack outlives the test, a scoped one where a clean-up or class object on the stack must see it go.
using ModuleLifetime = DetachedPlatformTest;

ObjectMapEntry* EnablerEntry()
{
    for (ObjectMapEntry* const* slot = g_comModule.m_ppObjectMapBegin; slot != g_comModule.m_ppObjectMapEnd; ++slot)
        if (*slot && IsEqualCLSID(*(*slot)->classId, CLSID_VeskEnabler))
            return *slot;
    return nullptr;
}

TEST_F(ModuleLifetime, AttachAndDetachRepeatedlyStartFresh)
{
    for (int round = 0; round < 3; ++round) {
        SCOPED_TRACE("round " + std::to_string(round));
        ASSERT_NO_FATAL_FAILURE(Attach());
        ASSERT_NE(g_pModule, nullptr);
        EXPECT_EQ(g_pModule->m_nRecordSize, sizeof(ModuleRecord));
        EXPECT_EQ(g_comModule.m_nRecordSize, sizeof(ComModuleRecord));
        EXPECT_EQ(g_comModule.m_hTypeLibModule, sim::LibraryModule());
        EXPECT_EQ(g_baseModule.m_hModule, sim::LibraryModule());
        EXPECT_EQ(g_comModule.m_ppObjectMapEnd - g_comModule.m_ppObjectMapBegin, 1);
        EXPECT_EQ(sim::LiveCriticalSections(), m_before.criticalSections + 3) << "object map, base record and module";
        EXPECT_EQ(g_pModule->GetServerLockCount(), 0);
        EXPECT_EQ(g_pModule->m_pCleanups, nullptr);
        EXPECT_EQ(g_pModule->m_pInterfaceTable.load(), nullptr);

        // Leave state behind that the next round must not see.
        g_pModule->AddServerLock();
        Detach();
        EXPECT_EQ(g_pModule, nullptr);
        EXPECT_EQ(g_comModule.m_nRecordSize, 0u);
        EXPECT_EQ(sim::LiveCriticalSections(), m_before.criticalSections);
    }
}

TEST_F(ModuleLifetime, OtherNotificationsDoNothing)
{
    struct Case { const char* name; DWORD reason; };
    const Case cases[] = {
        {"thread attach", DLL_THREAD_ATTACH},
        {"thread detach", DLL_THREAD_DETACH},
        {"detach without attach", DLL_PROCESS_DETACH},
        {"unknown reason", 7},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(DllMain(sim::LibraryModule(), c.reason, nullptr), TRUE) << c.name;
        EXPECT_EQ(g_pModule, nullptr) << c.name;
        EXPECT_EQ(sim::LiveCriticalSections(), m_before.criticalSections) << c.name;
    }
    ASSERT_NO_FATAL_FAILURE(Attach());
    EXPECT_EQ(DllMain(sim::LibraryModule(), DLL_THREAD_ATTACH, nullptr), TRUE);
    EXPECT_NE(g_pModule, nullptr) << "a thread notification leaves the module running";
    EXPECT_EQ(sim::LiveCriticalSections(), m_before.criticalSections + 3);
}

TEST_F(ModuleLifetime, ServerLocksCountUpAndDown)
{
    ASSERT_NO_FATAL_FAILURE(Attach());
    EXPECT_EQ(g_pModule->GetServerLockCount(), 0) << "no lock right after load";
    EXPECT_EQ(g_pModule->AddServerLock(), 1);
    EXPECT_EQ(g_pModule->AddServerLock(), 2);
    EXPECT_EQ(g_pModule->GetServerLockCount(), 2);
    EXPECT_EQ(g_pModule->ReleaseServerLock(), 1);
    EXPECT_EQ(g_pModule->ReleaseServerLock(), 0);
    EXPECT_EQ(g_pModule->GetServerLockCount(), 0);
}

TEST_F(ModuleLifetime, ServerLocksFromManyThreadsLoseNoChange)
{
    ASSERT_NO_FATAL_FAILURE(Attach());
    constexpr int kThreads = 8;
    constexpr int kLocksPerThread = 20000;
    std::atomic<LONG> highest{0};
    auto run = [&](bool add) {
        RunTogether(kThreads, [&](int) {
            for (int i = 0; i < kLocksPerThread; ++i) {
                const LONG count = add ? g_pModule->AddServerLock() : g_pModule->ReleaseServerLock();
                LONG seen = highest.load();
                while (count > seen && !highest.compare_exchange_weak(seen, count)) {
                }
            }
        });
    };
    run(true);
    EXPECT_EQ(g_pModule->GetServerLockCount(), kThreads * kLocksPerThread);
    EXPECT_EQ(highest.load(), kThreads * kLocksPerThread) << "each increment answers its own new count";
    run(false);
    EXPECT_EQ(g_pModule->GetServerLockCount(), 0);
}

struct CleanupLog { std::vector<std::string> calls; };

void CleanupA(void* context) { static_cast<CleanupLog*>(context)->calls.push_back("A"); }
void CleanupB(void* context) { static_cast<CleanupLog*>(context)->calls.push_back("B"); }

TEST_F(ModuleLifetime, CleanupsRunNewestFirstEachOnceWithTheirContext)
{
    CleanupLog first;
    CleanupLog second;
    {
        AttachedLibrary library;
        ASSERT_TRUE(library.Attached());
        ASSERT_EQ(g_pModule->AddCleanup(CleanupA, &first), S_OK);
        ASSERT_EQ(g_pModule->AddCleanup(CleanupB, &second), S_OK);
        ASSERT_EQ(g_pModule->AddCleanup(CleanupA, &second), S_OK);
        EXPECT_TRUE(first.calls.empty() && second.calls.empty()) << "nothing runs before unload";
    }
    EXPECT_EQ(first.calls, std::vector<std::string>({"A"}));
    EXPECT_EQ(second.calls, std::vector<std::string>({"A", "B"})) << "the newest clean-up runs first";

    // The list was emptied: a second load and unload runs none of them again.
    {
        AttachedLibrary library;
        ASSERT_TRUE(library.Attached());
        EXPECT_EQ(g_pModule->m_pCleanups, nullptr);
    }
    EXPECT_EQ(first.calls.size(), 1u);
    EXPECT_EQ(second.calls.size(), 2u);
}

struct ChainedCleanup { CleanupLog* log; HRESULT added; };

void AddingCleanup(void* context)
{
    auto* chained = static_cast<ChainedCleanup*>(context);
    chained->log->calls.push_back("adding");
    chained->added = g_pModule->AddCleanup(CleanupB, chained->log);
}

TEST_F(ModuleLifetime, CleanupAddedWhileCleaningUpRunsOnce)
{
    CleanupLog log;
    ChainedCleanup chained = {&log, E_FAIL};
    {
        AttachedLibrary library;
        ASSERT_TRUE(library.Attached());
        ASSERT_EQ(g_pModule->AddCleanup(CleanupA, &log), S_OK);
        ASSERT_EQ(g_pModule->AddCleanup(AddingCleanup, &chained), S_OK);
    }
    EXPECT_EQ(chained.added, S_OK);
    EXPECT_EQ(log.calls, std::vector<std::string>({"adding", "B", "A"}));
}

TEST_F(ModuleLifetime, AddCleanupFailuresLeaveTheListUnchanged)
{
    CleanupLog log;
    {
        AttachedLibrary library;
        ASSERT_TRUE(library.Attached());
        ASSERT_EQ(g_pModule->AddCleanup(CleanupA, &log), S_OK);
        CleanupEntry* const before = g_pModule->m_pCleanups;

        sim::Fail(sim::Op::Allocation, sim::When{});
        EXPECT_EQ(g_pModule->AddCleanup(CleanupB, &log), E_OUTOFMEMORY) << "node allocation fails";
        sim::ClearFaults();
        EXPECT_EQ(g_pModule->m_pCleanups, before);

        EXPECT_EQ(g_pModule->AddCleanup(nullptr, &log), E_INVALIDARG) << "a null function would crash the unload";
        EXPECT_EQ(g_pModule->m_pCleanups, before);
    }
    EXPECT_EQ(log.calls, std::vector<std::string>({"A"}));
}

TEST_F(ModuleLifetime, ModuleSectionIsReentrantForAddCleanup)
{
    CleanupLog log;
    {
        AttachedLibrary library;
        ASSERT_TRUE(library.Attached());
        EnterCriticalSection(&g_pModule->m_csModule.m_section);
        EXPECT_EQ(g_pModule->AddCleanup(CleanupA, &log), S_OK) << "the holder may add a clean-up";
        LeaveCriticalSection(&g_pModule->m_csModule.m_section);
    }
    EXPECT_EQ(log.calls, std::vector<std::string>({"A"}));
}

TEST_F(ModuleLifetime, AddCleanupWaitsForAnotherHolderOfTheModuleSection)
{
    CleanupLog log;
    {
        AttachedLibrary library;
        ASSERT_TRUE(library.Attached());
        std::atomic<bool> added{false};
        EnterCriticalSection(&g_pModule->m_csModule.m_section);
        std::thread other([&] {
            g_pModule->AddCleanup(CleanupA, &log);
            added = true;
        });
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        EXPECT_FALSE(added.load()) << "the insertion is serialised by the module section";
        LeaveCriticalSection(&g_pModule->m_csModule.m_section);
        other.join();
        EXPECT_TRUE(added.load());
    }
    EXPECT_EQ(log.calls, std::vector<std::string>({"A"}));
}

// What each step of the unload could see of the others.
struct ShutdownWitness {
    std::vector<std::string> events;
    int baseSections = 0;
    StackObject<IUnknown>* classObject = nullptr;
};

// The sections still alive and the interface table's references, as a step of the unload sees them.
std::string UnloadState(const ShutdownWitness& witness)
{
    return "sections " + std::to_string(sim::LiveCriticalSections() - witness.baseSections) +
           ", table references " + std::to_string(sim::InterfaceTableReferences());
}

void WitnessCleanup(void* context)
{
    auto* witness = static_cast<ShutdownWitness*>(context);
    witness->events.push_back("clean-up: " + UnloadState(*witness) + ", class object references " +
                              std::to_string(witness->classObject->m_nReferences));
}

TEST_F(ModuleLifetime, ShutdownRunsCleanupsThenReleasesTableThenClassObjects)
{
    ShutdownWitness witness;
    witness.baseSections = m_before.criticalSections;
    StackObject<IUnknown> classObject(1);  // the map's own reference
    witness.classObject = &classObject;
    classObject.m_onFinalRelease = [&] {
        witness.events.push_back("class object released: " + UnloadState(witness) +
                                 (g_pModule ? ", module reachable" : ", module gone"));
    };
    {
        AttachedLibrary library;
        ASSERT_TRUE(library.Attached());
        ObjectMapEntry* entry = EnablerEntry();
        ASSERT_NE(entry, nullptr);
        entry->classObject.store(&classObject);  // as if a class object had been requested

        IGlobalInterfaceTable* table = nullptr;
        ASSERT_EQ(g_pModule->GetInterfaceTable(&table), S_OK);
        table->Release();  // the module keeps its own reference

        ASSERT_EQ(g_pModule->AddCleanup(WitnessCleanup, &witness), S_OK);
        ASSERT_EQ(g_pModule->AddCleanup(WitnessCleanup, &witness), S_OK);
    }
    const std::vector<std::string> expected = {
        "clean-up: sections 3, table references 1, class object references 1",
        "clean-up: sections 3, table references 1, class object references 1",
        // m_csModule and the base record's section are gone; only the object map's remains. The
        // module object outlives it: a class object a host still holds gives its lock back there.
        "class object released: sections 1, table references 0, module reachable",
    };
    EXPECT_EQ(witness.events, expected);
    EXPECT_EQ(classObject.m_nReferences, 0);
    ObjectMapEntry* entry = EnablerEntry();
    ASSERT_NE(entry, nullptr);
    EXPECT_EQ(entry->classObject.load(), nullptr) << "the next load starts without a cached class object";
}

IClassFactory* RequestClassFactory()
{
    IClassFactory* factory = nullptr;
    EXPECT_EQ(DllGetClassObject(CLSID_VeskEnabler, IID_IClassFactory, reinterpret_cast<void**>(&factory)), S_OK);
    return factory;
}

TEST_F(ModuleLifetime, ProcessTerminationTearsNothingDown)
{
    ASSERT_NO_FATAL_FAILURE(Attach());
    IClassFactory* factory = RequestClassFactory();
    ASSERT_NE(factory, nullptr);
    CModuleBase* const module = g_pModule;
    int processEnding = 1;  // what the loader passes as `reserved` when the process ends
    EXPECT_EQ(DllMain(sim::LibraryModule(), DLL_PROCESS_DETACH, &processEnding), TRUE);
    EXPECT_EQ(g_pModule, module);
    EXPECT_EQ(sim::LiveCriticalSections(), m_before.criticalSections + 4) << "object map, base record, module, class object";
    EXPECT_EQ(g_pModule->GetServerLockCount(), 1) << "the host's class object";
    factory->Release();
}

TEST_F(ModuleLifetime, UnloadWhileAHostHoldsTheClassObjectReachesNoGoneModule)
{
    IClassFactory* factory = nullptr;
    {
        AttachedLibrary library;
        ASSERT_TRUE(library.Attached());
        factory = RequestClassFactory();
        ASSERT_NE(factory, nullptr);
        EXPECT_EQ(g_pModule->GetServerLockCount(), 1);
    }
    EXPECT_EQ(g_pModule, nullptr);
    EXPECT_EQ(factory->Release(), 0u) << "the host's reference was the last";
}

TEST_F(ModuleLifetime, AttachIsRefusedWhenACriticalSectionCannotBeCreated)
{
    struct Case { const char* name; sim::When failing; };
    const Case cases[] = {
        {"object map section (created first)", {0}},
        {"base record section (created second)", {1}},
        {"module section (created third)", {2}},
        {"no section at all", {0, 3}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        sim::Fail(sim::Op::InitializeCriticalSectionAndSpinCount, c.failing, ERROR_NOT_ENOUGH_MEMORY);
        EXPECT_EQ(DllMain(sim::LibraryModule(), DLL_PROCESS_ATTACH, nullptr), FALSE);
        sim::ClearFaults();
        EXPECT_TRUE(g_bInitFailed);
        EXPECT_EQ(sim::LiveCriticalSections(), m_before.criticalSections) << "the refused load leaves no section behind";
        EXPECT_EQ(g_pModule, nullptr);
        EXPECT_EQ(g_comModule.m_nRecordSize, 0u) << "the class-object record answers as uninitialised";

        // The loader may follow a refused attach with a detach: it finds nothing to tear down.
        EXPECT_EQ(DllMain(sim::LibraryModule(), DLL_PROCESS_DETACH, nullptr), TRUE);
        EXPECT_EQ(sim::LiveCriticalSections(), m_before.criticalSections);

        AttachedLibrary library;
        EXPECT_TRUE(library.Attached()) << "a later load starts afresh";
        EXPECT_FALSE(g_bInitFailed);
    }
}

TEST(CommonVariables, DefineAnEmptyAppId)
{
    AttachedLibrary library;
    ASSERT_TRUE(library.Attached());
    CRegistrar registrar;
    EXPECT_EQ(VeskModule()->AddCommonVariables(&registrar), S_OK);
    EXPECT_EQ(registrar.VariableCount(), 1);
    LPCOLESTR appId = registrar.FindVariable(L"appid");
    ASSERT_NE(appId, nullptr);
    EXPECT_EQ(appId[0], 0) << "the server has no application id: the variable expands to nothing";
    EXPECT_EQ(VeskModule()->AddCommonVariables(nullptr), E_INVALIDARG);
}

}  // namespace
