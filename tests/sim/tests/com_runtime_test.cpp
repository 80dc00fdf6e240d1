#include <gtest/gtest.h>

#include "stack_object.h"
#include "sim/sim_control.h"
#include "sim_fixture.h"

namespace {

class ComRuntime : public SimulatedPlatformTest {
protected:
    ComRuntime() : SimulatedPlatformTest(false) {}
};

const CLSID kUnknownClass = {0x12345678, 0x1234, 0x1234, {1, 2, 3, 4, 5, 6, 7, 8}};

// The interface table, as the module creates it.
HRESULT CreateTable(REFIID iid, void** out)
{
    return CoCreateInstance(CLSID_StdGlobalInterfaceTable, nullptr, CLSCTX_INPROC_SERVER, iid, out);
}

TEST_F(ComRuntime, CreationAnswers)
{
    StackObject<IUnknown> outer;
    struct Case {
        const char* name;
        const CLSID* clsid;
        IUnknown* outer;
        DWORD context;
        const IID* iid;
        HRESULT result;
    };
    const Case cases[] = {
        {"table by its interface", &CLSID_StdGlobalInterfaceTable, nullptr, CLSCTX_INPROC_SERVER,
         &IID_IGlobalInterfaceTable, S_OK},
        {"table as IUnknown", &CLSID_StdGlobalInterfaceTable, nullptr, CLSCTX_ALL, &IID_IUnknown, S_OK},
        {"table without an in-process context", &CLSID_StdGlobalInterfaceTable, nullptr, CLSCTX_LOCAL_SERVER,
         &IID_IGlobalInterfaceTable, REGDB_E_CLASSNOTREG},
        {"table under an outer object", &CLSID_StdGlobalInterfaceTable, &outer, CLSCTX_INPROC_SERVER, &IID_IUnknown,
         CLASS_E_NOAGGREGATION},
        {"table for an interface it lacks", &CLSID_StdGlobalInterfaceTable, nullptr, CLSCTX_INPROC_SERVER,
         &IID_IDispatch, E_NOINTERFACE},
        {"unregistered class", &kUnknownClass, nullptr, CLSCTX_INPROC_SERVER, &IID_IUnknown, REGDB_E_CLASSNOTREG},
    };
    for (const Case& c : cases) {
        void* object = &outer;
        EXPECT_EQ(CoCreateInstance(*c.clsid, c.outer, c.context, *c.iid, &object), c.result) << c.name;
        EXPECT_EQ(object == nullptr, FAILED(c.result)) << c.name << ": a failure leaves null";
        if (object)
            static_cast<IUnknown*>(object)->Release();
    }
    EXPECT_EQ(CreateTable(IID_IUnknown, nullptr), E_POINTER);
    EXPECT_EQ(sim::InterfaceTableCreations(), 2);
}

TEST_F(ComRuntime, TableKeepsInterfacesUntilRevoked)
{
    IGlobalInterfaceTable* table = nullptr;
    ASSERT_EQ(CreateTable(IID_IGlobalInterfaceTable, reinterpret_cast<void**>(&table)), S_OK);
    StackObject<IUnknown> object;
    DWORD cookie = 0;
    ASSERT_EQ(table->RegisterInterfaceInGlobal(&object, IID_IUnknown, &cookie), S_OK);
    EXPECT_NE(cookie, 0u);
    EXPECT_EQ(object.m_nReferences, 2) << "the table holds the interface";
    EXPECT_EQ(sim::InterfaceTableEntries(), 1);

    IUnknown* fetched = nullptr;
    ASSERT_EQ(table->GetInterfaceFromGlobal(cookie, IID_IUnknown, reinterpret_cast<void**>(&fetched)), S_OK);
    EXPECT_EQ(fetched, &object);
    fetched->Release();

    void* missing = &object;
    EXPECT_EQ(table->GetInterfaceFromGlobal(cookie, IID_IDispatch, &missing), E_NOINTERFACE);
    EXPECT_EQ(missing, nullptr);

    EXPECT_EQ(table->RevokeInterfaceFromGlobal(cookie), S_OK);
    EXPECT_EQ(object.m_nReferences, 1);
    EXPECT_EQ(table->RevokeInterfaceFromGlobal(cookie), E_INVALIDARG) << "a cookie is revoked once";
    EXPECT_EQ(table->GetInterfaceFromGlobal(cookie, IID_IUnknown, reinterpret_cast<void**>(&fetched)), E_INVALIDARG);
    EXPECT_EQ(table->RegisterInterfaceInGlobal(&object, IID_IDispatch, &cookie), E_NOINTERFACE);
    EXPECT_EQ(sim::InterfaceTableEntries(), 0);
    table->Release();
}

TEST_F(ComRuntime, InjectedFailureIsAnsweredThenCleared)
{
    sim::Fail(sim::Op::CoCreateInstance, sim::When{0, 2}, E_OUTOFMEMORY);
    void* object = nullptr;
    EXPECT_EQ(CreateTable(IID_IUnknown, &object), E_OUTOFMEMORY);
    EXPECT_EQ(CreateTable(IID_IUnknown, &object), E_OUTOFMEMORY);
    EXPECT_EQ(sim::InterfaceTableCreations(), 0);
    ASSERT_EQ(CreateTable(IID_IUnknown, &object), S_OK);
    static_cast<IUnknown*>(object)->Release();
}

}  // namespace
