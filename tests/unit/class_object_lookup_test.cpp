// DllGetClassObject and DllCanUnloadNow over the object map.
#include <gtest/gtest.h>

#include <vector>

#include "sim_fixture.h"
#include "enabler/ivesk_enabler.h"
#include "failing_allocator.h"
#include "run_together.h"
#include "server/class_object_lookup.h"

namespace {

class ClassObjectLookup : public SimulatedPlatformTest {
protected:
    static IUnknown* Cached() { return (*ObjectMapBegin())->classObject.load(); }
};

const CLSID CLSID_NotServed = {0x4D2A7C19, 0x0B6E, 0x4F83, {0x9A, 0x51, 0xC7, 0xE2, 0xD8, 0xB3, 0xF0, 0x47}};

TEST_F(ClassObjectLookup, AnswersEachRequestAsItsRowSays)
{
    struct Case { const char* name; const CLSID* clsid; const IID* iid; HRESULT result; bool cachedAfter; };
    const Case cases[] = {
        {"a class the library does not serve", &CLSID_NotServed, &IID_IClassFactory, CLASS_E_CLASSNOTAVAILABLE, false},
        {"the enabler's interface is not the class object's", &CLSID_VeskEnabler, &IID_IVeskEnabler, E_NOINTERFACE,
         true},
        {"the class factory", &CLSID_VeskEnabler, &IID_IClassFactory, S_OK, true},
        {"the class object's IUnknown", &CLSID_VeskEnabler, &IID_IUnknown, S_OK, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        void* out = reinterpret_cast<void*>(1);
        EXPECT_EQ(DllGetClassObject(*c.clsid, *c.iid, &out), c.result);
        EXPECT_EQ(Cached() != nullptr, c.cachedAfter);
        if (c.result == S_OK) {
            EXPECT_EQ(out, static_cast<void*>(Cached()));
            EXPECT_EQ(DllCanUnloadNow(), S_FALSE) << "a caller holds the class object";
            static_cast<IUnknown*>(out)->Release();
        } else {
            EXPECT_EQ(out, nullptr);
        }
        EXPECT_EQ(DllCanUnloadNow(), S_OK);
    }
    EXPECT_EQ(DllGetClassObject(CLSID_VeskEnabler, IID_IClassFactory, nullptr), E_POINTER);
}

TEST_F(ClassObjectLookup, TheClassObjectIsBuiltOnceAndSharedByEveryCaller)
{
    void* first = nullptr;
    void* second = nullptr;
    ASSERT_EQ(DllGetClassObject(CLSID_VeskEnabler, IID_IClassFactory, &first), S_OK);
    ASSERT_EQ(DllGetClassObject(CLSID_VeskEnabler, IID_IClassFactory, &second), S_OK);
    EXPECT_EQ(first, second);
    EXPECT_EQ(ServerLocks(), 1) << "one lock however many callers hold it";
    EXPECT_EQ(static_cast<IUnknown*>(first)->Release(), 2u);
    EXPECT_EQ(static_cast<IUnknown*>(second)->Release(), 1u) << "the map keeps its own reference";
}

TEST_F(ClassObjectLookup, ManyThreadsAskingFirstBuildOneClassObject)
{
    std::vector<void*> answers(8, nullptr);
    RunTogether(8, [&answers](int t) { DllGetClassObject(CLSID_VeskEnabler, IID_IClassFactory, &answers[t]); });
    for (void* answer : answers) {
        EXPECT_EQ(answer, static_cast<void*>(Cached()));
        static_cast<IUnknown*>(answer)->Release();
    }
}

TEST_F(ClassObjectLookup, AFailedCreationIsReturnedAndTriedAgainNextTime)
{
    void* out = reinterpret_cast<void*>(1);
    test::FailOperatorNewAfter(0);
    EXPECT_EQ(DllGetClassObject(CLSID_VeskEnabler, IID_IClassFactory, &out), E_OUTOFMEMORY);
    test::FailOperatorNewAfter(-1);
    EXPECT_EQ(out, nullptr);
    EXPECT_EQ(Cached(), nullptr);
    ASSERT_EQ(DllGetClassObject(CLSID_VeskEnabler, IID_IClassFactory, &out), S_OK);
    static_cast<IUnknown*>(out)->Release();
}

TEST_F(ClassObjectLookup, RecordsThatAreMissingOrNotStartedAreRefused)
{
    void* out = reinterpret_cast<void*>(1);
    EXPECT_EQ(GetClassObjectFromMap(nullptr, CLSID_VeskEnabler, IID_IClassFactory, &out), E_INVALIDARG);
    EXPECT_EQ(out, nullptr);
    ComModuleRecord neverStarted = {};
    EXPECT_EQ(GetClassObjectFromMap(&neverStarted, CLSID_VeskEnabler, IID_IClassFactory, &out), E_UNEXPECTED);
}

TEST_F(ClassObjectLookup, UnloadIsAllowedExactlyWhenNothingHoldsTheServer)
{
    EXPECT_EQ(DllCanUnloadNow(), S_OK) << "right after load";
    void* out = nullptr;
    ASSERT_EQ(DllGetClassObject(CLSID_VeskEnabler, IID_IClassFactory, &out), S_OK);
    auto* factory = static_cast<IClassFactory*>(out);

    void* enabler = nullptr;
    ASSERT_EQ(factory->CreateInstance(nullptr, IID_IVeskEnabler, &enabler), S_OK);
    factory->Release();
    EXPECT_EQ(DllCanUnloadNow(), S_FALSE) << "an enabler is alive";
    static_cast<IUnknown*>(enabler)->Release();
    EXPECT_EQ(DllCanUnloadNow(), S_OK);

    ASSERT_EQ(DllGetClassObject(CLSID_VeskEnabler, IID_IClassFactory, &out), S_OK);
    factory = static_cast<IClassFactory*>(out);
    factory->LockServer(TRUE);
    factory->Release();
    EXPECT_EQ(DllCanUnloadNow(), S_FALSE) << "LockServer(1) keeps the library";
    ASSERT_EQ(DllGetClassObject(CLSID_VeskEnabler, IID_IClassFactory, &out), S_OK);
    factory = static_cast<IClassFactory*>(out);
    factory->LockServer(FALSE);
    factory->Release();
    EXPECT_EQ(DllCanUnloadNow(), S_OK);
}

}  // namespace
