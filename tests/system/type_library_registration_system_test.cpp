// Type-library registration on the real platform under Wine: the library embedded in the real
// Vesk.dll registered and unregistered through the platform's automation service, the ".tlb"
// fall-back beside a module without one, and the platform's GetModuleFileNameW truncation.
#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "child_process.h"
#include "enabler/ivesk_enabler.h"
#include "loaded_server.h"
#include "registrar/per_user_registration.h"
#include "server/type_library_registration.h"
#include "this_build.h"

namespace {

using namespace vesk_test;

const wchar_t kDllPath[] = L"" VESK_DLL_PATH;
const wchar_t kTypeLibPath[] = L"" VESK_TYPELIB_PATH;
const wchar_t kLibraryKey[] = L"TypeLib\\{A1C5E3F7-6B28-4D9A-8E40-2F7B9C1D5E63}";
const wchar_t kUserLibraryKey[] = L"Software\\Classes\\TypeLib\\{A1C5E3F7-6B28-4D9A-8E40-2F7B9C1D5E63}";
// Version 1.0, locale 0, this build's platform: the key that names the registered file.
const std::wstring kVersionKey = std::wstring(L"\\1.0\\0\\") + vesk_test::kTypeLibPlatformKey;
const std::wstring kPlatformKeyString = kLibraryKey + kVersionKey;
const wchar_t* const kPlatformKey = kPlatformKeyString.c_str();

std::wstring ModulePath(HMODULE module)
{
    wchar_t buffer[MAX_PATH] = {};
    const DWORD length = GetModuleFileNameW(module, buffer, MAX_PATH);
    return std::wstring(buffer, length);
}

class TypeLibraryRegistrationSystemTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(SUCCEEDED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED)));
        g_bPerUserRegistration = false;
        RemoveRegistrations();
        m_library = std::make_unique<vesk_test::LoadedServer>(kDllPath);
        m_server = m_library->Module();
        ASSERT_NE(m_server, nullptr) << "Vesk.dll loads";
    }
    void TearDown() override
    {
        g_bPerUserRegistration = false;
        m_library.reset();
        RemoveRegistrations();
        EXPECT_FALSE(KeyExists(HKEY_CLASSES_ROOT, kLibraryKey)) << "the prefix's registry is clean again";
        CoUninitialize();
    }
    // Whatever a failed run may have left, machine-wide and per user.
    static void RemoveRegistrations()
    {
        RegDeleteTreeW(HKEY_CLASSES_ROOT, kLibraryKey);
        RegDeleteKeyW(HKEY_CLASSES_ROOT, kLibraryKey);
        RegDeleteTreeW(HKEY_CURRENT_USER, kUserLibraryKey);
        RegDeleteKeyW(HKEY_CURRENT_USER, kUserLibraryKey);
    }

    std::unique_ptr<vesk_test::LoadedServer> m_library;
    HMODULE m_server = nullptr;
};

TEST_F(TypeLibraryRegistrationSystemTest, RegistersTheEmbeddedLibraryAtTheDllsPathAndRemovesItAgain)
{
    ASSERT_EQ(RegisterModuleTypeLib(m_server, nullptr), S_OK);
    EXPECT_EQ(StringValue(HKEY_CLASSES_ROOT, kPlatformKey), NarrowText(ModulePath(m_server)));

    ITypeLib* library = nullptr;
    ASSERT_EQ(LoadRegTypeLib(LIBID_VeskLib, 1, 0, 0x0409, &library), S_OK) << "found by identity while registered";
    TLIBATTR* attributes = nullptr;
    ASSERT_EQ(library->GetLibAttr(&attributes), S_OK);
    EXPECT_TRUE(IsEqualGUID(attributes->guid, LIBID_VeskLib));
    library->ReleaseTLibAttr(attributes);
    library->Release();

    ASSERT_EQ(UnregisterModuleTypeLib(m_server, nullptr), S_OK);
    EXPECT_FALSE(KeyExists(HKEY_CLASSES_ROOT, kPlatformKey)) << "the registration is gone";
    library = nullptr;
    EXPECT_TRUE(FAILED(LoadRegTypeLib(LIBID_VeskLib, 1, 0, 0, &library)));
    EXPECT_EQ(library, nullptr);
}

TEST_F(TypeLibraryRegistrationSystemTest, LoadsTheEmbeddedLibraryFromTheModulesOwnFile)
{
    BSTR path = nullptr;
    ITypeLib* library = nullptr;
    ASSERT_EQ(LoadModuleTypeLib(m_server, nullptr, &path, &library), S_OK);
    EXPECT_EQ(NarrowText(std::wstring(path, SysStringLen(path))), NarrowText(ModulePath(m_server)));
    TLIBATTR* attributes = nullptr;
    ASSERT_EQ(library->GetLibAttr(&attributes), S_OK);
    EXPECT_TRUE(IsEqualGUID(attributes->guid, LIBID_VeskLib));
    EXPECT_EQ(attributes->wMajorVerNum, 1);
    EXPECT_EQ(attributes->wMinorVerNum, 0);
    EXPECT_EQ(attributes->lcid, 0u);
    EXPECT_EQ(attributes->syskind, vesk_test::kThisSysKind);
    library->ReleaseTLibAttr(attributes);
    library->Release();
    SysFreeString(path);
}

TEST_F(TypeLibraryRegistrationSystemTest, PerUserRegistrationRoundTripsAndLeavesNothing)
{
    g_bPerUserRegistration = true;
    ASSERT_EQ(RegisterModuleTypeLib(m_server, nullptr), S_OK);
    const bool machine = KeyExists(HKEY_CLASSES_ROOT, kPlatformKey);
    const bool user = KeyExists(HKEY_CURRENT_USER, kUserLibraryKey);
    EXPECT_TRUE(machine || user) << "registered somewhere the platform's per-user function chose";
    ASSERT_EQ(UnregisterModuleTypeLib(m_server, nullptr), S_OK);
    EXPECT_FALSE(KeyExists(HKEY_CLASSES_ROOT, kPlatformKey));
    EXPECT_FALSE(KeyExists(HKEY_CURRENT_USER, (kUserLibraryKey + kVersionKey).c_str()));
}

TEST_F(TypeLibraryRegistrationSystemTest, AModuleWithoutLibraryFallsBackToTheTlbBesideIt)
{
    // The test program holds no type library; a copy of the compiled one beside it, named after it.
    const HMODULE self = GetModuleHandleW(nullptr);
    std::wstring tlb = ModulePath(self);
    ASSERT_FALSE(tlb.empty());
    tlb = tlb.substr(0, tlb.rfind(L'.')) + L".tlb";

    BSTR path = nullptr;
    ITypeLib* library = nullptr;
    DeleteFileW(tlb.c_str());
    EXPECT_TRUE(FAILED(LoadModuleTypeLib(self, nullptr, &path, &library))) << "neither file holds a library";
    EXPECT_EQ(path, nullptr);
    EXPECT_EQ(library, nullptr);

    ASSERT_TRUE(CopyFileW(kTypeLibPath, tlb.c_str(), FALSE));
    const HRESULT hr = LoadModuleTypeLib(self, nullptr, &path, &library);
    EXPECT_EQ(hr, S_OK);
    if (SUCCEEDED(hr)) {
        EXPECT_EQ(NarrowText(std::wstring(path, SysStringLen(path))), NarrowText(tlb));
        library->Release();
    }
    SysFreeString(path);
    DeleteFileW(tlb.c_str());
}

TEST(ModuleFileNameSystemTest, APathThatDoesNotFitIsCutTerminatedAndReportedAsTheBufferSize)
{
    const HMODULE self = GetModuleHandleW(nullptr);
    wchar_t full[MAX_PATH];
    const DWORD length = GetModuleFileNameW(self, full, MAX_PATH);
    ASSERT_GT(length, 4u);
    struct Case { const char* name; DWORD size; DWORD result; DWORD lastError; };
    const Case cases[] = {
        {"exactly the path and its terminator", length + 1, length, 0},
        {"no room for the terminator", length, length, ERROR_INSUFFICIENT_BUFFER},
        {"a short buffer", 4, 4, ERROR_INSUFFICIENT_BUFFER},
    };
    for (const Case& c : cases) {
        wchar_t buffer[MAX_PATH + 1];
        for (wchar_t& w : buffer)
            w = L'#';
        SetLastError(0);
        EXPECT_EQ(GetModuleFileNameW(self, buffer, c.size), c.result) << c.name;
        EXPECT_EQ(GetLastError(), c.lastError) << c.name;
        EXPECT_EQ(NarrowText(std::wstring(buffer, c.size - 1)), NarrowText(std::wstring(full, c.size - 1))) << c.name;
        // Windows since Vista terminates the cut path; Wine, like Windows XP, fills the last
        // character with the path's. Callers may rely on neither, so a full buffer means "cut".
        EXPECT_TRUE(buffer[c.size - 1] == 0 || buffer[c.size - 1] == full[c.size - 1]) << c.name;
        EXPECT_EQ(buffer[c.size], L'#') << c.name << ": nothing written beyond the buffer";
    }
    SetLastError(0);
    EXPECT_EQ(GetModuleFileNameW(reinterpret_cast<HMODULE>(static_cast<uintptr_t>(0x5000)), full, MAX_PATH), 0u);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_MOD_NOT_FOUND));
}

}  // namespace
