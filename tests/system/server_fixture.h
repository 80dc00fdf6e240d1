// The fixture of the system tests that use Vesk.dll: a COM apartment on the test's thread and,
// where the fixture asks, the library registered by regsvr32 for the length of the test.
#pragma once

#include <gtest/gtest.h>

#include "child_process.h"
#include "platform/win32.h"

class ServerTest : public ::testing::Test {
protected:
    enum Needs : unsigned { kApartment = 1, kRegistration = 2 };
    explicit ServerTest(unsigned needs) : m_needs(needs) {}

    void SetUp() override
    {
        if (m_needs & kApartment) {
            ASSERT_TRUE(SUCCEEDED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED)));
            m_bInitialized = true;
        }
        if (m_needs & kRegistration) {
            ASSERT_EQ(vesk_test::RunRegsvr32(DllPath(), L""), 0) << "regsvr32 /s registers the library";
            m_bRegistered = true;
        }
    }
    void TearDown() override
    {
        if (m_bInitialized)
            CoFreeUnusedLibraries();
        Uninitialize();
        if (m_bRegistered) {
            EXPECT_EQ(vesk_test::RunRegsvr32(DllPath(), L"/u"), 0) << "regsvr32 /u /s unregisters the library";
        }
    }
    // Unregisters the library before the test ends; regsvr32's exit code.
    long Unregister()
    {
        m_bRegistered = false;
        return vesk_test::RunRegsvr32(DllPath(), L"/u");
    }
    // Leaves the apartment before the test ends.
    void Uninitialize()
    {
        if (m_bInitialized)
            CoUninitialize();
        m_bInitialized = false;
    }
    static const wchar_t* DllPath() { return L"" VESK_DLL_PATH; }

private:
    unsigned m_needs;
    bool m_bInitialized = false;
    bool m_bRegistered = false;
};
