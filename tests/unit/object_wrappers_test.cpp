// The object wrappers: counts, server locks, aggregation, destruction and allocation failure.
#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "sim_fixture.h"
#include "aggregating_outer.h"
#include "com/class_factory.h"
#include "com/object_wrappers.h"
#include "enabler/vesk_enabler.h"
#include "failing_allocator.h"
#include "run_together.h"

namespace {

using ObjectWrappers = SimulatedPlatformTest;

TEST_F(ObjectWrappers, APlainEnablerHoldsOneServerLockWhileAlive)
{
    void* out = nullptr;
    ASSERT_EQ(PlainCreator<CVeskEnabler>(nullptr, IID_IVeskEnabler, &out), S_OK);
    auto* enabler = static_cast<IVeskEnabler*>(out);
    EXPECT_EQ(ServerLocks(), 1);
    EXPECT_EQ(enabler->AddRef(), 2u);
    EXPECT_EQ(enabler->Release(), 1u);
    EXPECT_EQ(static_cast<CVeskEnabler*>(enabler)->m_nRetries, 0);
    EXPECT_TRUE(static_cast<CVeskEnabler*>(enabler)->m_bFirstCall);
    EXPECT_EQ(enabler->Release(), 0u);
    EXPECT_EQ(ServerLocks(), 0);
}

// A creator that fails, because its object cannot answer the interface or cannot be allocated,
// leaves nothing: no object, lock or critical section, and a null out pointer.
TEST_F(ObjectWrappers, AFailedCreatorLeavesNothingBehind)
{
    struct Case {
        const char* name;
        CreatorFunction creator;
        void* context;
        const IID* iid;
        bool allocationFails;
        HRESULT result;
    };
    AggregatingOuter outer;
    void* const factoryContext = reinterpret_cast<void*>(&InstanceCreator<CVeskEnabler>);
    const Case cases[] = {
        {"plain, another interface", &PlainCreator<CVeskEnabler>, nullptr, &IID_IClassFactory, false, E_NOINTERFACE},
        {"aggregated, another interface", &AggregatedCreator<CVeskEnabler>, &outer, &IID_IClassFactory, false,
         E_NOINTERFACE},
        {"instance, another interface", &InstanceCreator<CVeskEnabler>, nullptr, &IID_IClassFactory, false,
         E_NOINTERFACE},
        {"class object, another interface", &ClassObjectCreator<CClassFactory>, factoryContext, &IID_IVeskEnabler,
         false, E_NOINTERFACE},
        {"plain, no memory", &PlainCreator<CVeskEnabler>, nullptr, &IID_IVeskEnabler, true, E_OUTOFMEMORY},
        {"aggregated, no memory", &AggregatedCreator<CVeskEnabler>, &outer, &IID_IUnknown, true, E_OUTOFMEMORY},
        {"instance, no memory", &InstanceCreator<CVeskEnabler>, nullptr, &IID_IVeskEnabler, true, E_OUTOFMEMORY},
        {"class object, no memory", &ClassObjectCreator<CClassFactory>, factoryContext, &IID_IClassFactory, true,
         E_OUTOFMEMORY},
    };
    const int sectionsBefore = sim::LiveCriticalSections();
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        void* out = reinterpret_cast<void*>(1);
        test::FailOperatorNewAfter(c.allocationFails ? 0 : -1);
        EXPECT_EQ(c.creator(c.context, *c.iid, &out), c.result);
        test::FailOperatorNewAfter(-1);
        EXPECT_EQ(out, nullptr);
        EXPECT_EQ(ServerLocks(), 0);
        EXPECT_EQ(sim::LiveCriticalSections(), sectionsBefore);
        EXPECT_EQ(c.creator(c.context, IID_IUnknown, nullptr), E_POINTER);
    }
    EXPECT_EQ(outer.m_nReferences, 1) << "a failed aggregation leaves the outer object's count alone";
}

TEST_F(ObjectWrappers, AnAggregatedEnablerLeadsBackToItsOuterObject)
{
    AggregatingOuter outer;
    void* inner = nullptr;
    ASSERT_EQ(AggregatedCreator<CVeskEnabler>(&outer, IID_IUnknown, &inner), S_OK);
    outer.m_inner = static_cast<IUnknown*>(inner);
    EXPECT_EQ(ServerLocks(), 1);
    EXPECT_EQ(outer.m_nReferences, 1) << "building the aggregate takes no reference on the outer object";

    // The aggregate's own IUnknown answers IUnknown with itself, not with the contained object.
    void* self = nullptr;
    ASSERT_EQ(outer.m_inner->QueryInterface(IID_IUnknown, &self), S_OK);
    EXPECT_EQ(self, inner);
    EXPECT_EQ(outer.m_inner->Release(), 1u);

    void* enablerOut = nullptr;
    ASSERT_EQ(outer.QueryInterface(IID_IVeskEnabler, &enablerOut), S_OK);
    auto* enabler = static_cast<IVeskEnabler*>(enablerOut);
    EXPECT_NE(static_cast<void*>(enabler), inner);
    EXPECT_EQ(outer.m_nReferences, 2) << "the interface handed out counts on the outer object";

    // Counting and querying on the inner interface reach the outer object.
    EXPECT_EQ(enabler->AddRef(), 3u);
    EXPECT_EQ(enabler->Release(), 2u);
    void* identity = nullptr;
    const int queriesBefore = outer.m_nQueries;
    ASSERT_EQ(enabler->QueryInterface(IID_IUnknown, &identity), S_OK);
    EXPECT_EQ(identity, static_cast<IUnknown*>(&outer));
    EXPECT_EQ(outer.m_nQueries, queriesBefore + 1);
    EXPECT_EQ(enabler->Release(), 2u);
    EXPECT_EQ(enabler->Release(), 1u);

    EXPECT_EQ(outer.m_inner->Release(), 0u) << "the outer object's release destroys the aggregate";
    EXPECT_EQ(ServerLocks(), 0);
}

TEST_F(ObjectWrappers, TheCachedClassObjectLocksTheServerOnlyWhileSharedWithTheMap)
{
    void* out = nullptr;
    ASSERT_EQ(ClassObjectCreator<CClassFactory>(reinterpret_cast<void*>(&InstanceCreator<CVeskEnabler>), IID_IUnknown,
                                                &out),
              S_OK);
    auto* factory = static_cast<IUnknown*>(out);
    EXPECT_EQ(ServerLocks(), 0) << "the map's own reference takes no lock";
    const int sectionsWithFactory = sim::LiveCriticalSections();

    struct Step { const char* name; bool addRef; ULONG count; LONG locks; };
    const Step steps[] = {
        {"1 -> 2 locks", true, 2, 1},
        {"2 -> 3 does not lock again", true, 3, 1},
        {"3 -> 2 keeps the lock", false, 2, 1},
        {"2 -> 1 unlocks", false, 1, 0},
    };
    for (const Step& s : steps) {
        EXPECT_EQ(s.addRef ? factory->AddRef() : factory->Release(), s.count) << s.name;
        EXPECT_EQ(ServerLocks(), s.locks) << s.name;
    }
    EXPECT_EQ(factory->Release(), 0u);
    EXPECT_EQ(ServerLocks(), 0) << "destruction touches no lock";
    EXPECT_EQ(sim::LiveCriticalSections(), sectionsWithFactory - 1) << "the object's critical section is deleted";
}

TEST_F(ObjectWrappers, TheClassObjectLockFollowsTransitionsUnderManyThreads)
{
    void* out = nullptr;
    ASSERT_EQ(ClassObjectCreator<CClassFactory>(reinterpret_cast<void*>(&InstanceCreator<CVeskEnabler>),
                                                IID_IClassFactory, &out),
              S_OK);
    auto* factory = static_cast<IClassFactory*>(out);
    constexpr int kThreads = 8;
    std::atomic<int> holding{0};
    std::atomic<int> wrongLocks{0};
    RunTogether(kThreads, [&](int) {
        for (int i = 0; i < 3000; ++i) {
            factory->AddRef();
            factory->Release();
        }
        // Once every thread's AddRef has returned, exactly one lock is out however they raced.
        factory->AddRef();
        ++holding;
        while (holding.load() < kThreads)
            std::this_thread::yield();
        if (ServerLocks() != 1)
            ++wrongLocks;
        factory->Release();
    });
    EXPECT_EQ(wrongLocks.load(), 0);
    EXPECT_EQ(ServerLocks(), 0) << "every 1->2 lock was given back by a 2->1";
    EXPECT_EQ(factory->Release(), 0u);
}

TEST_F(ObjectWrappers, AClassObjectWhoseCriticalSectionFailsIsNotBuilt)
{
    const int sectionsBefore = sim::LiveCriticalSections();
    sim::Fail(sim::Op::InitializeCriticalSectionAndSpinCount, sim::When{}, ERROR_NOT_ENOUGH_MEMORY);
    void* out = reinterpret_cast<void*>(1);
    EXPECT_EQ(ClassObjectCreator<CClassFactory>(reinterpret_cast<void*>(&InstanceCreator<CVeskEnabler>),
                                                IID_IClassFactory, &out),
              E_OUTOFMEMORY);
    EXPECT_EQ(out, nullptr);
    EXPECT_EQ(sim::LiveCriticalSections(), sectionsBefore);
    EXPECT_EQ(ServerLocks(), 0);
}

}  // namespace
