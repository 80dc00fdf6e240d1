#include <gtest/gtest.h>

#include "sim/sim_control.h"
#include "sim_fixture.h"
#include "registrar/registrar.h"
#include "utf16.h"

namespace {

using RegistrarVariables = DetachedPlatformTest;

TEST_F(RegistrarVariables, TheFirstDefinitionOfANameWinsInAnyLetterCase)
{
    CRegistrar registrar;
    ASSERT_EQ(registrar.AddVariable(L"Module", L"first"), S_OK);
    ASSERT_EQ(registrar.AddVariable(L"MODULE", L"second"), S_OK);
    ASSERT_EQ(registrar.AddVariable(L"Other", L""), S_OK);
    EXPECT_EQ(registrar.VariableCount(), 3) << "a repeated name is stored again";
    EXPECT_EQ(Utf8(registrar.FindVariable(L"module")), "first");
    EXPECT_EQ(Utf8(registrar.FindVariable(L"OTHER")), "") << "an empty value is a value";
    EXPECT_EQ(registrar.FindVariable(L"Modul"), nullptr);
}

TEST_F(RegistrarVariables, NullArgumentsAreRejectedAndStoreNothing)
{
    CRegistrar registrar;
    EXPECT_EQ(registrar.AddVariable(nullptr, L"v"), E_INVALIDARG);
    EXPECT_EQ(registrar.AddVariable(L"n", nullptr), E_INVALIDARG);
    EXPECT_EQ(registrar.VariableCount(), 0);
    EXPECT_EQ(registrar.FindVariable(L"n"), nullptr);
}

TEST_F(RegistrarVariables, ClearingEmptiesTheMapAndSucceedsWhenAlreadyEmpty)
{
    CRegistrar registrar;
    EXPECT_EQ(registrar.ClearVariables(), S_OK);
    ASSERT_EQ(registrar.AddVariable(L"A", L"1"), S_OK);
    ASSERT_EQ(registrar.AddVariable(L"B", L"2"), S_OK);
    EXPECT_EQ(registrar.ClearVariables(), S_OK);
    EXPECT_EQ(registrar.VariableCount(), 0);
    EXPECT_EQ(registrar.FindVariable(L"A"), nullptr);
    EXPECT_EQ(registrar.AddVariable(L"A", L"again"), S_OK);
    EXPECT_EQ(Utf8(registrar.FindVariable(L"a")), "again");
}

TEST_F(RegistrarVariables, TheUnknownPartIsInert)
{
    CRegistrar registrar;
    IUnknown* unknown = &registrar;
    void* out = &registrar;
    EXPECT_EQ(unknown->QueryInterface(IID_IUnknown, &out), E_NOTIMPL);
    EXPECT_EQ(out, static_cast<void*>(&registrar)) << "the out pointer is left untouched";
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(unknown->AddRef(), 1u);
        EXPECT_EQ(unknown->Release(), 0u);
    }
    EXPECT_EQ(registrar.AddVariable(L"still", L"alive"), S_OK);
}

TEST_F(RegistrarVariables, EachFailedAllocationLeavesTheMapAsItWas)
{
    // An addition makes four allocations: two copies and one growth of each array.
    for (int failing = 0; failing < 4; ++failing) {
        CRegistrar registrar;
        ASSERT_EQ(registrar.AddVariable(L"Kept", L"value"), S_OK);
        sim::Fail(sim::Op::Allocation, sim::When{failing});
        EXPECT_EQ(registrar.AddVariable(L"Lost", L"value"), E_OUTOFMEMORY) << "allocation " << failing;
        sim::ClearFaults();
        EXPECT_EQ(registrar.VariableCount(), 1) << "allocation " << failing;
        EXPECT_EQ(registrar.FindVariable(L"Lost"), nullptr) << "allocation " << failing;
        EXPECT_EQ(Utf8(registrar.FindVariable(L"Kept")), "value") << "allocation " << failing;
        EXPECT_EQ(registrar.AddVariable(L"Later", L"fine"), S_OK) << "allocation " << failing;
    }
}

TEST_F(RegistrarVariables, AllVariablesAreDestroyedWithTheRegistrar)
{
    {
        CRegistrar registrar;
        for (int i = 0; i < 20; ++i)
            ASSERT_EQ(registrar.AddVariable(L"Name", L"Value"), S_OK);
        EXPECT_GT(sim::LiveTaskMemBlocks(), m_before.taskMemory);
    }
    EXPECT_EQ(sim::LiveTaskMemBlocks(), m_before.taskMemory);
}

}  // namespace
