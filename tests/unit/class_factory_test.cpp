// The class factory: what CreateInstance builds for each caller, and LockServer.
#include <gtest/gtest.h>

#include "sim_fixture.h"
#include "com/class_factory.h"
#include "com/object_wrappers.h"
#include "enabler/vesk_enabler.h"
#include "stack_object.h"

namespace {

class ClassFactory : public SimulatedPlatformTest {
protected:
    void SetUp() override
    {
        SimulatedPlatformTest::SetUp();
        void* out = nullptr;
        ASSERT_EQ(ClassObjectCreator<CClassFactory>(reinterpret_cast<void*>(&InstanceCreator<CVeskEnabler>),
                                                    IID_IClassFactory, &out),
                  S_OK);
        m_factory = static_cast<IClassFactory*>(out);
    }
    void TearDown() override
    {
        m_factory->Release();
        SimulatedPlatformTest::TearDown();
    }

    IClassFactory* m_factory = nullptr;
};

// The fixture's class object is held as the object map holds it: one reference, no server lock.

TEST_F(ClassFactory, CreateInstanceAnswersEachCallerAsItsRowSays)
{
    // The controlling object of an aggregate.
    StackObject<IUnknown> outer;
    struct Case { const char* name; IUnknown* outer; const IID* iid; HRESULT result; };
    const Case cases[] = {
        {"plain enabler by IDispatch", nullptr, &IID_IDispatch, S_OK},
        {"plain enabler by IVeskEnabler", nullptr, &IID_IVeskEnabler, S_OK},
        {"plain object does not answer IClassFactory", nullptr, &IID_IClassFactory, E_NOINTERFACE},
        {"aggregation must ask for IUnknown", &outer, &IID_IVeskEnabler, CLASS_E_NOAGGREGATION},
        {"aggregation by IUnknown", &outer, &IID_IUnknown, S_OK},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        void* out = reinterpret_cast<void*>(1);
        EXPECT_EQ(m_factory->CreateInstance(c.outer, *c.iid, &out), c.result);
        if (c.result != S_OK) {
            EXPECT_EQ(out, nullptr);
            EXPECT_EQ(ServerLocks(), 0) << "nothing was built";
            continue;
        }
        EXPECT_EQ(ServerLocks(), 1) << "a live enabler holds one server lock";
        auto* object = static_cast<IUnknown*>(out);
        if (c.outer) {
            void* self = nullptr;
            ASSERT_EQ(object->QueryInterface(IID_IUnknown, &self), S_OK);
            EXPECT_EQ(self, out) << "the outer object receives the aggregate's own IUnknown";
            object->Release();
        }
        EXPECT_EQ(object->Release(), 0u);
    }
    EXPECT_EQ(m_factory->CreateInstance(nullptr, IID_IDispatch, nullptr), E_POINTER);
    EXPECT_EQ(outer.m_nReferences, 1);
}

TEST_F(ClassFactory, LockServerAddsAndReleasesOneLockPerCall)
{
    EXPECT_EQ(ServerLocks(), 0);
    EXPECT_EQ(m_factory->LockServer(TRUE), S_OK);
    EXPECT_EQ(m_factory->LockServer(7), S_OK) << "any nonzero value locks";
    EXPECT_EQ(ServerLocks(), 2);
    EXPECT_EQ(m_factory->LockServer(FALSE), S_OK);
    EXPECT_EQ(m_factory->LockServer(FALSE), S_OK);
    EXPECT_EQ(ServerLocks(), 0);
}

TEST_F(ClassFactory, TheClassObjectAnswersIUnknownAndIClassFactoryOnly)
{
    struct Case { const IID* iid; HRESULT result; };
    const Case cases[] = {{&IID_IUnknown, S_OK}, {&IID_IClassFactory, S_OK}, {&IID_IDispatch, E_NOINTERFACE},
                          {&IID_IVeskEnabler, E_NOINTERFACE}};
    for (const Case& c : cases) {
        void* out = nullptr;
        EXPECT_EQ(m_factory->QueryInterface(*c.iid, &out), c.result);
        if (out) {
            EXPECT_EQ(out, static_cast<void*>(m_factory));
            m_factory->Release();
        }
    }
}

}  // namespace
