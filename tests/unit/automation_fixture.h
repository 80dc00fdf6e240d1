// The library attached for one test, with the simulated automation service fresh, and helpers to
// place and register the type library where LoadRegTypeLib finds it.
#pragma once

#include <gtest/gtest.h>

#include "attached_library.h"
#include "enabler/vesk_enabler.h"
#include "sim/sim_control.h"
#include "test_enabler_object.h"

// The path the tests give the server's own file.
inline LPCWSTR ServerPath() { return L"C:\\Program Files\\Vesk\\Vesk.dll"; }

inline CTypeInfoHolder& EnablerHolder() { return CVeskEnabler::s_typeInfoHolder; }

// Places the library file and registers it machine-wide, as registration does.
inline void RegisterServerLibrary() { ASSERT_EQ(RegisterTypeLibraryAt(ServerPath()), S_OK); }

class AutomationTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        sim::ResetAll();
        ASSERT_TRUE(m_library.Attach());
        m_pObject = new TestEnablerObject;
        m_pObject->AddRef();
    }
    void TearDown() override
    {
        if (m_pObject)
            m_pObject->Release();
        Detach();
        sim::ResetThreads();
        sim::ClearFaults();
        EXPECT_EQ(EnablerHolder().m_pTypeInfo.load(), nullptr) << "detach releases the type information";
        EXPECT_EQ(EnablerHolder().m_pNameCache.load(), nullptr) << "detach frees the name cache";
        EXPECT_EQ(sim::LiveTypeLibraries(), 0);
        EXPECT_EQ(sim::OutstandingDescriptions(), 0);
        EXPECT_EQ(sim::LiveStrings(), 0);
        EXPECT_EQ(sim::LiveArrays(), 0);
    }
    void Detach() { m_library.Detach(); }
    void Attach() { ASSERT_TRUE(m_library.Attach()); }

    IDispatch* Dispatch() { return m_pObject; }

    HRESULT IdOf(LPCWSTR name, DISPID* dispid)
    {
        LPOLESTR names[] = {const_cast<LPOLESTR>(name)};
        return Dispatch()->GetIDsOfNames(GUID_NULL, names, 1, 0, dispid);
    }

    TestEnablerObject* m_pObject = nullptr;
    AttachedLibrary m_library{false};
};
