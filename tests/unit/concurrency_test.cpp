// Many callers at once on a freshly attached library: the class object, instances, server locks and
// the first dispatch calls that load the type information, all racing. Run under ThreadSanitizer
// (native-tsan) it proves the shared state is published soundly; in every build it proves the
// counts come out right.
#include <vector>

#include <gtest/gtest.h>

#include "automation_fixture.h"
#include "run_together.h"
#include "server/class_object_lookup.h"
#include "server/vesk_module.h"

namespace {

constexpr int kThreads = 8;
constexpr int kRounds = 20;

struct ThreadResult {
    int failures = 0;
    DISPID enableVesk = DISPID_UNKNOWN;
};

// One caller: the class object, a lock held over the round, an instance, its first name lookup and
// a MakeSure call with no window, then everything released again.
void OneCaller(ThreadResult* result)
{
    for (int round = 0; round < kRounds; ++round) {
        void* out = nullptr;
        if (DllGetClassObject(CLSID_VeskEnabler, IID_IClassFactory, &out) != S_OK || out == nullptr) {
            ++result->failures;
            continue;
        }
        IClassFactory* factory = static_cast<IClassFactory*>(out);
        if (factory->LockServer(TRUE) != S_OK)
            ++result->failures;
        void* instance = nullptr;
        if (factory->CreateInstance(nullptr, IID_IDispatch, &instance) == S_OK && instance != nullptr) {
            IDispatch* dispatch = static_cast<IDispatch*>(instance);
            DISPID dispid = DISPID_UNKNOWN;
            if (DispIdOf(dispatch, L"EnableVesk", &dispid) != S_OK)
                ++result->failures;
            result->enableVesk = dispid;
            if (CallWithLong(dispatch, 3, 0) != S_OK)
                ++result->failures;
            dispatch->Release();
        } else {
            ++result->failures;
        }
        if (factory->LockServer(FALSE) != S_OK)
            ++result->failures;
        factory->Release();
    }
}

using Concurrency = AutomationTest;

TEST_F(Concurrency, EightCallersAtOnceLeaveNoLockAndLoadTheTypeInformationOnce)
{
    RegisterServerLibrary();
    ASSERT_EQ(sim::AutomationCallCounts().loadRegTypeLib, 0);

    std::vector<ThreadResult> results(kThreads);
    RunTogether(kThreads, [&results](int i) { OneCaller(&results[static_cast<size_t>(i)]); });

    for (int i = 0; i < kThreads; ++i) {
        EXPECT_EQ(results[static_cast<size_t>(i)].failures, 0) << "thread " << i;
        EXPECT_EQ(results[static_cast<size_t>(i)].enableVesk, 2) << "thread " << i;
    }
    EXPECT_EQ(g_pModule->GetServerLockCount(), 0) << "every lock and every object was given back";
    EXPECT_EQ(DllCanUnloadNow(), S_OK);
    EXPECT_EQ(sim::AutomationCallCounts().loadRegTypeLib, 1) << "the type information is loaded once";
    EXPECT_NE(EnablerHolder().m_pTypeInfo.load(), nullptr);
}

}  // namespace
