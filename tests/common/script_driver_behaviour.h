// The server's registry script and scripts with syntax errors, run by the script engine against the
// registry, machine-wide and per user, and read back through the registry API, so that the same cases
// run against the simulation and against the real registry. The including file defines
// ScriptDriverOnTheRegistry::PlatformSetUp and PlatformTearDown.
#pragma once

#include <gtest/gtest.h>

#include <string>

#include "registrar/per_user_registration.h"
#include "registrar/reg_script_parser.h"
#include "registrar/registrar.h"
#include "registrar/registry_key.h"
#include "server_script.h"
#include "utf16.h"

namespace script_driver_behaviour {

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

inline std::string ReadString(HKEY root, LPCWSTR path, LPCWSTR name)
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

inline bool KeyExists(HKEY root, LPCWSTR path)
{
    RegistryKey key;
    return key.OpenKey(root, path, KEY_READ) == ERROR_SUCCESS;
}

// Keys that the syntax-error cases start with, and the scripts' other keys.
const LPCWSTR kProbeKeys[] = {L"VeskUndoProbe", L"VeskUndoDoomed", L"VeskUndoNew", L"VeskUndoFirst"};

// A key and everything below it as text: how many values it has, its default value and value "N"
// (type and data), and its sub-keys in the order the registry lists them; empty when it is not there.
inline std::string Tree(HKEY parent, LPCWSTR name)
{
    RegistryKey key;
    if (key.OpenKey(parent, name, KEY_READ) != ERROR_SUCCESS)
        return "";
    DWORD values = 0;
    RegQueryInfoKeyW(key.Handle(), nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, &values, nullptr, nullptr,
                     nullptr, nullptr);
    std::string text = Utf8(name) + " (" + std::to_string(values) + " values)";
    for (LPCWSTR value : {static_cast<LPCWSTR>(nullptr), static_cast<LPCWSTR>(L"N")}) {
        WCHAR data[64] = {};
        DWORD size = sizeof data - sizeof(WCHAR);
        DWORD type = 0;
        if (RegQueryValueExW(key.Handle(), value, nullptr, &type, reinterpret_cast<BYTE*>(data), &size) == ERROR_SUCCESS)
            text += " " + Utf8(value ? value : L"@") + "=" + std::to_string(type) + ":" + Utf8(data);
    }
    text += " {";
    WCHAR child[256];
    for (DWORD index = 0;; ++index) {
        DWORD length = 256;
        if (RegEnumKeyExW(key.Handle(), index, child, &length, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS)
            break;
        text += " " + Tree(key.Handle(), child);
    }
    return text + " }";
}

}  // namespace script_driver_behaviour

class ScriptDriverOnTheRegistry : public ::testing::TestWithParam<bool> {
protected:
    void SetUp() override
    {
        PlatformSetUp();
        g_bPerUserRegistration = GetParam();
        ASSERT_EQ(m_registrar.AddVariable(L"Module", L"C:\\Vesk Test\\Vesk.dll"), S_OK);
        // A fresh profile may have no classes of its own yet.
        ASSERT_EQ(m_classes.CreateKey(GetParam() ? HKEY_CURRENT_USER : HKEY_LOCAL_MACHINE, L"Software\\Classes"),
                  ERROR_SUCCESS);
    }
    void TearDown() override
    {
        for (LPCWSTR name : script_driver_behaviour::kProbeKeys)
            m_classes.DeleteTree(name);
        m_classes.CloseKey();
        m_registrar.ClearVariables();
        g_bPerUserRegistration = false;
        PlatformTearDown();
    }
    void PlatformSetUp();
    void PlatformTearDown();

    HRESULT Run(LPCWSTR script, BOOL registering)
    {
        CRegScriptParser parser(&m_registrar.Variables());
        return parser.RunScript(script, registering);
    }
    // The probe keys as text, in one line.
    std::string ProbeTrees() const
    {
        std::string text;
        for (LPCWSTR name : script_driver_behaviour::kProbeKeys)
            text += script_driver_behaviour::Tree(m_classes.Handle(), name) + "\n";
        return text;
    }

    CRegistrar m_registrar;
    RegistryKey m_classes;
};

TEST_P(ScriptDriverOnTheRegistry, RegistersEveryEntryAndRemovesThemAgain)
{
    using namespace script_driver_behaviour;
    ASSERT_EQ(Run(ServerScript(), TRUE), S_OK);
    for (const ExpectedValue& v : kServerValues)
        EXPECT_EQ(ReadString(m_classes.Handle(), v.path, v.name), Utf8(v.text)) << Utf8(v.path);
    EXPECT_TRUE(KeyExists(m_classes.Handle(), L"CLSID\\" VESK_GUID_TEXT L"\\Programmable"));

    ASSERT_EQ(Run(ServerScript(), FALSE), S_OK);
    for (LPCWSTR gone : {L"Vesk.VeskEnabler.1", L"Vesk.VeskEnabler", L"CLSID\\" VESK_GUID_TEXT})
        EXPECT_FALSE(KeyExists(m_classes.Handle(), gone)) << Utf8(gone);
    EXPECT_TRUE(KeyExists(m_classes.Handle(), L"CLSID")) << "the shared key stays";
    EXPECT_EQ(Run(ServerScript(), FALSE), S_OK) << "a second unregistration finds nothing to do";
}

// A root block with a syntax error anywhere changes nothing, not even what a ForceRemove or a Delete
// before the error would have removed, in either pass; root blocks before it stay as they ran.
TEST_P(ScriptDriverOnTheRegistry, ASyntaxErrorLeavesTheRegistryAsItWas)
{
    using namespace script_driver_behaviour;
    WideText deep("HKCR { Delete VeskUndoDoomed VeskUndoNew {");
    for (int level = 0; level < 40; ++level)
        deep.Append(" K {");
    deep.Repeat(u'}', 41).Append(" }");
    struct Case {
        const char* name;
        LPCWSTR script;
        BOOL registering;
        HRESULT result;
        bool firstBlockStays = false;  // an earlier root block wrote VeskUndoFirst = 'a'
    };
    const Case cases[] = {
        {"ForceRemove, then a bad type letter",
         L"HKCR { ForceRemove VeskUndoProbe = s 'new' { Inner = s 'x' } VeskUndoNew = q 'y' }", TRUE, DISP_E_EXCEPTION},
        {"Delete, then an unterminated quote", L"HKCR { Delete VeskUndoDoomed VeskUndoProbe { Kept = s 'changed } }",
         TRUE, DISP_E_EXCEPTION},
        {"a nested ForceRemove, then a number that is none",
         L"HKCR { VeskUndoProbe { ForceRemove Kept { X } } VeskUndoNew = d 'twelve' }", TRUE, DISP_E_EXCEPTION},
        {"ForceRemove, then an odd number of hex digits", L"HKCR { ForceRemove VeskUndoDoomed VeskUndoNew = b '123' }",
         TRUE, E_FAIL},
        {"Delete, then a block nested 40 levels deep", deep.c_str(), TRUE, DISP_E_EXCEPTION},
        {"unregistering, then a bad type letter", L"HKCR { VeskUndoProbe { Kept } VeskUndoDoomed = q 'x' }", FALSE,
         DISP_E_EXCEPTION},
        {"a root block before the one with the error",
         L"HKCR { VeskUndoFirst = s 'a' } HKCR { ForceRemove VeskUndoProbe VeskUndoNew = q 'y' }", TRUE,
         DISP_E_EXCEPTION, true},
    };
    for (const Case& c : cases) {
        for (LPCWSTR name : kProbeKeys)
            m_classes.DeleteTree(name);
        RegistryKey made;
        ASSERT_EQ(made.CreateKey(m_classes.Handle(), L"VeskUndoProbe"), ERROR_SUCCESS);
        ASSERT_EQ(made.WriteString(nullptr, L"old", REG_SZ), ERROR_SUCCESS);
        ASSERT_EQ(made.CreateKey(m_classes.Handle(), L"VeskUndoProbe\\Kept"), ERROR_SUCCESS);
        ASSERT_EQ(made.WriteString(L"N", L"kept", REG_SZ), ERROR_SUCCESS);
        ASSERT_EQ(made.CreateKey(m_classes.Handle(), L"VeskUndoDoomed\\Inner"), ERROR_SUCCESS);
        made.CloseKey();
        const std::string before = ProbeTrees();

        EXPECT_EQ(Run(c.script, c.registering), c.result) << c.name;
        EXPECT_EQ(ReadString(m_classes.Handle(), L"VeskUndoFirst", nullptr), c.firstBlockStays ? "a" : "(no key)")
            << c.name;
        m_classes.DeleteTree(L"VeskUndoFirst");
        EXPECT_EQ(ProbeTrees(), before) << c.name;
    }
}

INSTANTIATE_TEST_SUITE_P(MachineAndUser, ScriptDriverOnTheRegistry, ::testing::Values(false, true),
                         [](const ::testing::TestParamInfo<bool>& param) {
                             return param.param ? std::string("PerUser") : std::string("MachineWide");
                         });
