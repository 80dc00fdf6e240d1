// Registration of the real Vesk.dll under Wine: regsvr32 writes the script's entries and the type
// library, the class is then created by its ProgID and answers by name, and unregistration takes
// it all away again but the shared CLSID key; per-user installation writes to the user's classes.
#include <gtest/gtest.h>

#include <string>

#include "child_process.h"
#include "dispatch_calls.h"
#include "enabler/ivesk_enabler.h"
#include "this_build.h"

namespace {

using namespace vesk_test;

const wchar_t kDllPath[] = L"" VESK_DLL_PATH;
const wchar_t kGuid[] = L"{4D2A7C19-0B6E-4F83-9A51-C7E2D8B3F046}";
const wchar_t kClsidKey[] = L"CLSID\\{4D2A7C19-0B6E-4F83-9A51-C7E2D8B3F046}";
const wchar_t kLibraryKey[] = L"TypeLib\\{A1C5E3F7-6B28-4D9A-8E40-2F7B9C1D5E63}";
const wchar_t* const kProgIds[] = {L"Vesk.VeskEnabler.1", L"Vesk.VeskEnabler"};

// Lower case with '\' for '/', to compare paths as the file system does.
std::string PathForm(std::string out)
{
    for (char& c : out) {
        if (c == '/')
            c = '\\';
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c - 'A' + 'a');
    }
    return out;
}

// The server's keys, machine-wide and the user's.
void RemoveEverything()
{
    for (const wchar_t* key : {kClsidKey, kLibraryKey, kProgIds[0], kProgIds[1]}) {
        RegDeleteTreeW(HKEY_CLASSES_ROOT, key);
        RegDeleteTreeW(HKEY_CURRENT_USER, (std::wstring(L"Software\\Classes\\") + key).c_str());
    }
}

class RegistrationSystemTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(SUCCEEDED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED)));
        RemoveEverything();
    }
    void TearDown() override
    {
        RemoveEverything();
        CoUninitialize();
    }
};

TEST_F(RegistrationSystemTest, Regsvr32RegistersActivatesByProgIdAndUnregisters)
{
    ASSERT_EQ(RunRegsvr32(kDllPath, L""), 0) << "regsvr32 /s registers the library";

    const std::wstring clsid = kClsidKey;
    EXPECT_EQ(StringValue(HKEY_CLASSES_ROOT, clsid), "VeskEnabler Class");
    EXPECT_EQ(PathForm(StringValue(HKEY_CLASSES_ROOT, clsid + L"\\InprocServer32")), PathForm(NarrowText(kDllPath)));
    EXPECT_EQ(StringValue(HKEY_CLASSES_ROOT, clsid + L"\\InprocServer32", L"ThreadingModel"), "Apartment");
    EXPECT_EQ(StringValue(HKEY_CLASSES_ROOT, clsid + L"\\ProgID"), "Vesk.VeskEnabler.1");
    EXPECT_EQ(StringValue(HKEY_CLASSES_ROOT, clsid + L"\\VersionIndependentProgID"), "Vesk.VeskEnabler");
    EXPECT_TRUE(KeyExists(HKEY_CLASSES_ROOT, clsid + L"\\Programmable"));
    EXPECT_EQ(StringValue(HKEY_CLASSES_ROOT, clsid + L"\\TypeLib"), "{A1C5E3F7-6B28-4D9A-8E40-2F7B9C1D5E63}");
    EXPECT_EQ(StringValue(HKEY_CLASSES_ROOT, L"Vesk.VeskEnabler.1\\CLSID"), NarrowText(kGuid));
    EXPECT_EQ(StringValue(HKEY_CLASSES_ROOT, L"Vesk.VeskEnabler\\CurVer"), "Vesk.VeskEnabler.1");
    EXPECT_TRUE(KeyExists(HKEY_CLASSES_ROOT, std::wstring(kLibraryKey) + L"\\1.0\\0\\" + kTypeLibPlatformKey))
        << "the type library is registered";

    CLSID found = {};
    ASSERT_EQ(CLSIDFromProgID(L"Vesk.VeskEnabler.1", &found), S_OK);
    EXPECT_TRUE(IsEqualCLSID(found, CLSID_VeskEnabler));
    IDispatch* enabler = nullptr;
    ASSERT_EQ(CoCreateInstance(found, nullptr, CLSCTX_INPROC_SERVER, IID_IDispatch,
                               reinterpret_cast<void**>(&enabler)), S_OK);
    DISPID dispid = 0;
    EXPECT_EQ(DispIdOf(enabler, L"MakeSure", &dispid, LOCALE_USER_DEFAULT), S_OK)
        << "names are answered through the registered type library";
    EXPECT_EQ(dispid, 3);
    enabler->Release();
    CoFreeUnusedLibraries();

    ASSERT_EQ(RunRegsvr32(kDllPath, L"/u"), 0) << "regsvr32 /s /u unregisters the library";
    EXPECT_FALSE(KeyExists(HKEY_CLASSES_ROOT, clsid));
    for (const wchar_t* progId : kProgIds)
        EXPECT_FALSE(KeyExists(HKEY_CLASSES_ROOT, progId)) << NarrowText(progId);
    EXPECT_FALSE(KeyExists(HKEY_CLASSES_ROOT, kLibraryKey)) << "the type library is unregistered";
    EXPECT_TRUE(KeyExists(HKEY_CLASSES_ROOT, L"CLSID")) << "the shared CLSID key stays";
}

TEST_F(RegistrationSystemTest, PerUserInstallationWritesOnlyTheUsersClasses)
{
    // regsvr32 /n /i:user calls DllInstall(TRUE, "user") alone; /u /n /i:user calls DllInstall(FALSE, "user").
    ASSERT_EQ(RunRegsvr32(kDllPath, L"/n /i:user"), 0) << "regsvr32 /s /n /i:user installs for the current user";
    const std::wstring user = L"Software\\Classes\\";
    EXPECT_EQ(PathForm(StringValue(HKEY_CURRENT_USER, user + kClsidKey + L"\\InprocServer32")),
              PathForm(NarrowText(kDllPath)));
    EXPECT_EQ(StringValue(HKEY_CURRENT_USER, user + L"Vesk.VeskEnabler.1\\CLSID"), NarrowText(kGuid));
    EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, std::wstring(L"Software\\Classes\\") + kClsidKey))
        << "nothing machine-wide";
    EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, L"Software\\Classes\\Vesk.VeskEnabler.1"));

    ASSERT_EQ(RunRegsvr32(kDllPath, L"/u /n /i:user"), 0)
        << "regsvr32 /s /u /n /i:user removes the user's installation";
    EXPECT_FALSE(KeyExists(HKEY_CURRENT_USER, user + kClsidKey));
    EXPECT_FALSE(KeyExists(HKEY_CURRENT_USER, user + L"Vesk.VeskEnabler.1"));
    EXPECT_FALSE(KeyExists(HKEY_CURRENT_USER, user + kLibraryKey)) << "the user's type library is unregistered";
}

}  // namespace
