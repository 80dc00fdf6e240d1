// Every allocation of a whole operation failing in turn: registration, unregistration, and a
// caller's road from the class object to its first Invoke. Each run either succeeds or returns a
// failure; none leaks, leaves a key open, or leaves the registry in a state the rules do not allow.
// The platform's allocators (task memory, strings) and the test binary's operator new are swept
// separately, since each counts a different set of allocations.
#include <functional>
#include <set>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "automation_fixture.h"
#include "enabler/ivesk_enabler.h"
#include "failing_allocator.h"
#include "sim/sim_control.h"
#include "registrar/per_user_registration.h"
#include "registry_test_support.h"
#include "server/class_object_lookup.h"
#include "server/dll_main.h"
#include "server/registration_exports.h"
#include "server/vesk_module.h"
#include "sim_fixture.h"

namespace {

using namespace entries;

const char kLibraryPath[] = "C:\\Program Files\\Vesk\\Vesk.dll";
// Far above any operation's allocations: a sweep that gets here never succeeded.
constexpr int kMaxAllocations = 5000;

struct Counter {
    const char* name;
    void (*failAt)(int allocation);  // that allocation, counted from 0, fails
    bool (*reached)();               // whether it was made
};
const Counter kCounters[] = {
    {"platform allocations", [](int n) { sim::Fail(sim::Op::Allocation, sim::When{n}); },
     [] { return sim::InjectedFailures(sim::Op::Allocation) > 0; }},
    {"operator new", &test::FailOperatorNewAfter, [] { return test::OperatorNewCountdown() < 0; }},
};

void FailNoAllocation()
{
    sim::ClearFaults();
    test::FailOperatorNewAfter(-1);
}

// Whether every entry of `part` appears in `whole`: a partial state of a registration.
bool WithinEntries(const std::vector<sim::RegistryEntry>& part, const std::vector<sim::RegistryEntry>& whole)
{
    for (const sim::RegistryEntry& e : part) {
        bool found = false;
        for (const sim::RegistryEntry& w : whole)
            found = found || e == w;
        if (!found)
            return false;
    }
    return true;
}

std::string Hex(HRESULT hr)
{
    char text[16];
    snprintf(text, sizeof text, "0x%08X", static_cast<unsigned>(hr));
    return text;
}

class AllocationSweep : public SimulatedPlatformTest {
protected:
    // What one failing run leaves that every run must leave alike.
    void ExpectNothingHeld(const std::string& run)
    {
        EXPECT_EQ(sim::OpenRegistryHandles(), 0) << run << ": a registry key was left open";
        EXPECT_EQ(sim::OpenDataModules(), 0) << run << ": the library's file was left mapped";
        EXPECT_EQ(sim::LiveTaskMemBlocks(), m_before.taskMemory) << run << ": task memory was leaked";
        EXPECT_EQ(sim::LiveStrings(), 0) << run << ": a string was left allocated";
        EXPECT_EQ(sim::OutstandingDescriptions(), 0) << run;
    }

    // One failing run of a sweep: its name, what the operation answered, and whether the failure
    // was made at all.
    struct Run {
        std::string name;
        HRESULT hr;
        bool reached;
    };

    // Runs `operation` on a fresh platform readied by `prepare`, once for each allocation it makes,
    // that allocation failing, with each counter in turn, until a run makes no failing allocation;
    // `check` looks at each run. A failure must come from the failing allocation. With `what`, the
    // operation must allocate, so that the first run fails.
    void Sweep(const char* what, const std::function<void(const std::string& run)>& prepare,
               HRESULT (*operation)(), const std::function<void(const Run& run)>& check)
    {
        for (const Counter& counter : kCounters) {
            bool succeeded = false;
            int n = 0;
            for (; n < kMaxAllocations && !succeeded; ++n) {
                const std::string name = std::string(counter.name) + ", allocation " + std::to_string(n);
                Run run{name + " failing", S_OK, false};
                sim::ResetAll();
                prepare(run.name);
                if (HasFatalFailure())
                    return;
                counter.failAt(n);
                run.hr = operation();
                run.reached = counter.reached();
                FailNoAllocation();
                if (SUCCEEDED(run.hr)) {
                    // Also where a failure was made but tolerated (the category manager is optional).
                    EXPECT_EQ(run.hr, S_OK) << run.name;
                    succeeded = !run.reached;
                } else {
                    EXPECT_TRUE(run.reached) << run.name << ": failed with no allocation failing";
                    m_failures.insert(run.hr);
                }
                check(run);
                if (HasFatalFailure())
                    return;
            }
            EXPECT_TRUE(succeeded) << counter.name << ": never ran to the end without a failure";
            RecordProperty(std::string("runs with ") + counter.name, n);
            if (what) {
                EXPECT_GT(n, 1) << counter.name << ": " << what << " allocates, so the first run must fail";
            }
        }
    }

    std::set<HRESULT> m_failures;
};

// The classes root of a fresh registry.
std::vector<sim::RegistryEntry> EmptyState()
{
    sim::ResetRegistry();
    return MachineClasses();
}

// After unregistration: the shared CLSID key is never removed, as the script marks it NoRemove.
std::vector<sim::RegistryEntry> UnregisteredState()
{
    std::vector<sim::RegistryEntry> state = EmptyState();
    state.push_back(Key("CLSID"));
    return state;
}

TEST_F(AllocationSweep, RegistrationFailsWhollyOrAsTheBlockUndoAllowsAndRecovers)
{
    const std::vector<sim::RegistryEntry> complete = ServerScriptEntries(kLibraryPath);
    const std::vector<sim::RegistryEntry> empty = EmptyState();
    const std::vector<sim::RegistryEntry> unregistered = UnregisteredState();
    int undoneRuns = 0;
    int scriptDoneRuns = 0;
    int toleratedRuns = 0;
    Sweep("registration", [](const std::string&) {}, DllRegisterServer, [&](const Run& run) {
        ExpectNothingHeld(run.name);
        const auto state = MachineClasses();
        if (SUCCEEDED(run.hr)) {
            EXPECT_TRUE(SameEntries(state, complete)) << run.name;
            EXPECT_EQ(sim::TypeLibraryRegistrations().size(), 1u) << run.name;
            toleratedRuns += run.reached ? 1 : 0;
            return;
        }
        // A failed script block is undone; a failure after the script (categories, type
        // library) leaves the script's entries, which only DllInstall removes.
        const bool undone = SameEntries(state, empty) || SameEntries(state, unregistered);
        const bool scriptDone = SameEntries(state, complete);
        EXPECT_TRUE(undone || scriptDone)
            << run.name << " (" << Hex(run.hr) << ") left:\n" << sim::DescribeEntries(state);
        undoneRuns += undone ? 1 : 0;
        scriptDoneRuns += scriptDone ? 1 : 0;
        if (run.hr == TYPE_E_CANTLOADLIBRARY) {
            EXPECT_TRUE(scriptDone) << run.name << ": only the type library's .tlb fall-back answers so";
        }
        EXPECT_TRUE(sim::TypeLibraryRegistrations().empty()) << run.name << ": the type library is the last step";
        // What a failure leaves, a later registration completes.
        ASSERT_EQ(DllRegisterServer(), S_OK) << run.name;
        EXPECT_TRUE(SameEntries(MachineClasses(), complete)) << run.name << ": the retry";
        ExpectNothingHeld(run.name + ", retried");
    });
    // A failed first load of the type library is followed by the .tlb fall-back, whose own failure
    // (there is no such file) is what the step returns.
    for (HRESULT hr : m_failures)
        EXPECT_TRUE(hr == E_OUTOFMEMORY || hr == TYPE_E_CANTLOADLIBRARY) << "registration failed with " << Hex(hr);
    EXPECT_EQ(m_failures.count(E_OUTOFMEMORY), 1u);
    // Both kinds of failed run were met: one inside the script, one after it.
    EXPECT_GT(undoneRuns, 0);
    EXPECT_GT(scriptDoneRuns, 0);
    RecordProperty("runs undone by the script driver", undoneRuns);
    RecordProperty("runs failing after the script", scriptDoneRuns);
    RecordProperty("runs whose failure was tolerated", toleratedRuns);
}

TEST_F(AllocationSweep, UnregistrationRemovesPartOrAllAndARetryFinishes)
{
    const std::vector<sim::RegistryEntry> complete = ServerScriptEntries(kLibraryPath);
    const std::vector<sim::RegistryEntry> unregistered = UnregisteredState();
    const auto registered = [](const std::string& run) { ASSERT_EQ(DllRegisterServer(), S_OK) << run; };
    Sweep("unregistration", registered, DllUnregisterServer, [&](const Run& run) {
        ExpectNothingHeld(run.name);
        const auto state = MachineClasses();
        if (SUCCEEDED(run.hr)) {
            EXPECT_TRUE(SameEntries(state, unregistered)) << run.name;
            EXPECT_TRUE(sim::TypeLibraryRegistrations().empty()) << run.name;
            return;
        }
        if (run.hr == TYPE_E_CANTLOADLIBRARY) {
            EXPECT_TRUE(SameEntries(state, unregistered)) << run.name << ": the type library is the last step";
        }
        // Unregistration undoes nothing on failure: what is left is part of the registration.
        EXPECT_TRUE(WithinEntries(state, complete))
            << run.name << " (" << Hex(run.hr) << ") left:\n" << sim::DescribeEntries(state);
        // A later unregistration removes the rest.
        const HRESULT retried = DllUnregisterServer();
        EXPECT_TRUE(SameEntries(MachineClasses(), unregistered))
            << run.name << ": the retry (" << Hex(retried) << ")";
        ExpectNothingHeld(run.name + ", retried");
    });
    for (HRESULT hr : m_failures)
        EXPECT_TRUE(hr == E_OUTOFMEMORY || hr == TYPE_E_CANTLOADLIBRARY) << "unregistration failed with " << Hex(hr);
    EXPECT_EQ(m_failures.count(E_OUTOFMEMORY), 1u);
}

// The class object, an instance and its first Invoke (which loads the type information).
HRESULT FirstCall()
{
    void* out = nullptr;
    HRESULT hr = DllGetClassObject(CLSID_VeskEnabler, IID_IClassFactory, &out);
    if (FAILED(hr))
        return hr;
    IClassFactory* factory = static_cast<IClassFactory*>(out);
    void* instance = nullptr;
    hr = factory->CreateInstance(nullptr, IID_IDispatch, &instance);
    factory->Release();
    if (FAILED(hr))
        return hr;
    IDispatch* dispatch = static_cast<IDispatch*>(instance);
    VARIANT result;
    VariantInit(&result);
    hr = CallWithLong(dispatch, 3, 0, &result);
    VariantClear(&result);
    dispatch->Release();
    return hr;
}

TEST_F(AllocationSweep, TheFirstCallFailsCleanlyAndTheNextSucceeds)
{
    m_library.Detach();
    // A fresh load each run, so that the class object and the type information are built anew.
    const auto loaded = [this](const std::string&) {
        RegisterServerLibrary();
        ASSERT_TRUE(m_library.Attach());
    };
    Sweep(nullptr, loaded, FirstCall, [this](const Run& run) {
        if (FAILED(run.hr)) {
            EXPECT_EQ(FirstCall(), S_OK) << run.name << ": the next caller";
        }
        EXPECT_EQ(g_pModule->GetServerLockCount(), 0) << run.name;
        EXPECT_EQ(DllCanUnloadNow(), S_OK) << run.name;
        // The type information and its name cache are held until the library is unloaded.
        m_library.Detach();
        ExpectNothingHeld(run.name);
        EXPECT_EQ(sim::LiveTypeLibraries(), 0) << run.name;
    });
    ASSERT_TRUE(m_library.Attach());
    for (HRESULT hr : m_failures)
        EXPECT_EQ(hr, E_OUTOFMEMORY) << "the first call failed with " << Hex(hr);
}

}  // namespace
