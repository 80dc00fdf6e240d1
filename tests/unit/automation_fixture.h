// The library attached for one test with an enabler object of its own, and helpers to place and
// register the type library where LoadRegTypeLib finds it.
#pragma once

#include <gtest/gtest.h>

#include "attached_library.h"
#include "dispatch_calls.h"
#include "enabler/vesk_enabler.h"
#include "sim/sim_control.h"
#include "sim_fixture.h"
#include "test_enabler_object.h"

// The path the tests give the server's own file.
inline LPCWSTR ServerPath() { return L"C:\\Program Files\\Vesk\\Vesk.dll"; }

inline CTypeInfoHolder& EnablerHolder() { return CVeskEnabler::s_typeInfoHolder; }

// Places the library file and registers it machine-wide, as registration does.
inline void RegisterServerLibrary() { ASSERT_EQ(RegisterTypeLibraryAt(ServerPath()), S_OK); }

// The one fixture, with an enabler object of the test's own.
class AutomationTest : public SimulatedPlatformTest {
protected:
    void SetUp() override
    {
        SimulatedPlatformTest::SetUp();
        m_pObject = new TestEnablerObject;
        m_pObject->AddRef();
    }
    void TearDown() override
    {
        if (m_pObject)
            m_pObject->Release();
        SimulatedPlatformTest::TearDown();
    }

    IDispatch* Dispatch() { return m_pObject; }

    HRESULT IdOf(LPCWSTR name, DISPID* dispid) { return DispIdOf(Dispatch(), name, dispid); }

    TestEnablerObject* m_pObject = nullptr;
};
