// The server's registry script run by the script engine against the real registry, machine-wide
// and per user, read back through the registry API.
#include <gtest/gtest.h>

#include <string>

#include "registrar/per_user_registration.h"
#include "registrar/reg_script_parser.h"
#include "registrar/registrar.h"
#include "registrar/registry_key.h"
#include "server_script.h"
#include "utf16.h"

namespace {

struct ExpectedValue {
    LPCWSTR path;  // below the classes root
    LPCWSTR name;  // null for the default value
    LPCWSTR text;
};

const ExpectedValue kServerValues[] = {
    {L"Vesk.VeskEnabler.1", nullptr, L"VeskEnabler Class"},
    {L"Vesk.VeskEnabler.1\\CLSID", nullptr, VESK_GUID_TEXT},
    {L"Vesk.VeskEnabler", nullptr, L"VeskEnabler Class"},
    {L"Vesk.VeskEnabler\\CLSID", nullptr, VESK_GUID_TEXT},
    {L"Vesk.VeskEnabler\\CurVer", nullptr, L"Vesk.VeskEnabler.1"},
    {L"CLSID\\" VESK_GUID_TEXT, nullptr, L"VeskEnabler Class"},
    {L"CLSID\\" VESK_GUID_TEXT L"\\ProgID", nullptr, L"Vesk.VeskEnabler.1"},
    {L"CLSID\\" VESK_GUID_TEXT L"\\VersionIndependentProgID", nullptr, L"Vesk.VeskEnabler"},
    {L"CLSID\\" VESK_GUID_TEXT L"\\InprocServer32", nullptr, L"C:\\Vesk Test\\Vesk.dll"},
    {L"CLSID\\" VESK_GUID_TEXT L"\\InprocServer32", L"ThreadingModel", L"Apartment"},
    {L"CLSID\\" VESK_GUID_TEXT L"\\TypeLib", nullptr, VESK_LIBID_TEXT},
};

std::string ReadString(HKEY root, LPCWSTR path, LPCWSTR name)
{
    RegistryKey key;
    if (key.OpenKey(root, path, KEY_READ) != ERROR_SUCCESS)
        return "(no key)";
    WCHAR text[512];
    DWORD size = sizeof text - sizeof(WCHAR);
    DWORD type = 0;
    if (RegQueryValueExW(key.Handle(), name, nullptr, &type, reinterpret_cast<BYTE*>(text), &size) != ERROR_SUCCESS)
        return "(no value)";
    text[size / sizeof(WCHAR)] = 0;
    return type == REG_SZ ? Utf8(text) : "(not a string)";
}

bool KeyExists(HKEY root, LPCWSTR path)
{
    RegistryKey key;
    return key.OpenKey(root, path, KEY_READ) == ERROR_SUCCESS;
}

class ScriptDriverOnTheRegistry : public ::testing::TestWithParam<bool> {
protected:
    void SetUp() override
    {
        g_bPerUserRegistration = GetParam();
        ASSERT_EQ(m_registrar.AddVariable(L"Module", L"C:\\Vesk Test\\Vesk.dll"), S_OK);
        // A fresh profile may have no classes of its own yet.
        ASSERT_EQ(m_classes.CreateKey(GetParam() ? HKEY_CURRENT_USER : HKEY_LOCAL_MACHINE, L"Software\\Classes"),
                  ERROR_SUCCESS);
    }
    void TearDown() override { g_bPerUserRegistration = false; }
    HRESULT Run(BOOL registering)
    {
        CRegScriptParser parser(&m_registrar.Variables());
        return parser.RunScript(ServerScript(), registering);
    }

    CRegistrar m_registrar;
    RegistryKey m_classes;
};

TEST_P(ScriptDriverOnTheRegistry, RegistersEveryEntryAndRemovesThemAgain)
{
    ASSERT_EQ(Run(TRUE), S_OK);
    for (const ExpectedValue& v : kServerValues)
        EXPECT_EQ(ReadString(m_classes.Handle(), v.path, v.name), Utf8(v.text)) << Utf8(v.path);
    EXPECT_TRUE(KeyExists(m_classes.Handle(), L"CLSID\\" VESK_GUID_TEXT L"\\Programmable"));

    ASSERT_EQ(Run(FALSE), S_OK);
    for (LPCWSTR gone : {L"Vesk.VeskEnabler.1", L"Vesk.VeskEnabler", L"CLSID\\" VESK_GUID_TEXT})
        EXPECT_FALSE(KeyExists(m_classes.Handle(), gone)) << Utf8(gone);
    EXPECT_TRUE(KeyExists(m_classes.Handle(), L"CLSID")) << "the shared key stays";
    EXPECT_EQ(Run(FALSE), S_OK) << "a second unregistration finds nothing to do";
}

// A script with a syntax error changes nothing on the real registry either.
TEST_P(ScriptDriverOnTheRegistry, ASyntaxErrorLeavesTheRegistryAsItWas)
{
    std::wstring deep = L"HKCR { VeskUndoProbe {";
    for (int level = 0; level < 40; ++level)
        deep += L" K {";
    deep += std::wstring(41, L'}') + L" }";
    struct Case { const char* name; std::wstring script; HRESULT result; };
    const Case cases[] = {
        {"a bad type letter after a value", L"HKCR { VeskUndoProbe = s 'x' { Inner = d '12' Bad = q 'y' } }",
         DISP_E_EXCEPTION},
        {"a block nested 40 levels deep", deep, DISP_E_EXCEPTION},
        {"an unterminated quote", L"HKCR { VeskUndoProbe = s 'x' { Inner = s 'y } }", DISP_E_EXCEPTION},
        {"an odd number of hex digits", L"HKCR { VeskUndoProbe { Inner = b '123' } }", E_FAIL},
    };
    HKEY root = GetParam() ? HKEY_CURRENT_USER : HKEY_LOCAL_MACHINE;
    for (const Case& c : cases) {
        CRegScriptParser parser(&m_registrar.Variables());
        EXPECT_EQ(parser.RunScript(c.script.c_str(), TRUE), c.result) << c.name;
        EXPECT_FALSE(KeyExists(root, L"Software\\Classes\\VeskUndoProbe")) << c.name;
        RegDeleteTreeW(root, L"Software\\Classes\\VeskUndoProbe");  // so that a failure does not spill over
    }
}

INSTANTIATE_TEST_SUITE_P(MachineAndUser, ScriptDriverOnTheRegistry, ::testing::Values(false, true),
                         [](const ::testing::TestParamInfo<bool>& param) {
                             return param.param ? std::string("PerUser") : std::string("MachineWide");
                         });

}  // namespace
