#include <functional>

#include "registrar/reg_script_parser.h"
#include "registrar/registrar.h"
#include "registrar/registry_key.h"
#include "registry_test_support.h"
#include "script_driver_behaviour.h"
#include "server_script.h"

void ScriptDriverOnTheRegistry::PlatformSetUp() { sim::ResetRegistry(); }

void ScriptDriverOnTheRegistry::PlatformTearDown()
{
    EXPECT_EQ(sim::OpenRegistryHandles(), 0) << "a registry key was left open";
}

namespace {

using namespace entries;

const char kModulePath[] = "C:\\Program Files\\Vesk\\Vesk.dll";

class ScriptDriver : public RegistryTest {
protected:
    void SetUp() override
    {
        RegistryTest::SetUp();
        ASSERT_EQ(m_registrar.AddVariable(L"Module", L"C:\\Program Files\\Vesk\\Vesk.dll"), S_OK);
    }
    void TearDown() override
    {
        m_registrar.ClearVariables();  // before the fixture counts the task memory still held
        RegistryTest::TearDown();
    }
    HRESULT Run(LPCWSTR script, BOOL registering)
    {
        CRegScriptParser parser(&m_registrar.Variables());
        return parser.RunScript(script, registering);
    }

    CRegistrar m_registrar;
};

// The server's entries as a reader of the classes sees them, below the classes root.
std::vector<sim::RegistryEntry> ServerEntries() { return ServerScriptEntries(kModulePath); }

TEST_F(ScriptDriver, TheServerScriptRegistersAndUnregistersMachineWide)
{
    ASSERT_EQ(Run(ServerScript(), TRUE), S_OK);
    EXPECT_TRUE(SameEntries(MachineClasses(), ServerEntries()));
    EXPECT_TRUE(SameEntries(sim::DumpRegistry(HKEY_CLASSES_ROOT), ServerEntries()));
    EXPECT_TRUE(UserClasses().empty());

    ASSERT_EQ(Run(ServerScript(), FALSE), S_OK);
    EXPECT_TRUE(SameEntries(MachineClasses(), {Key(""), Key("CLSID")}))
        << "only the shared CLSID key stays";
    ASSERT_EQ(Run(ServerScript(), FALSE), S_OK) << "a second unregistration finds nothing to do";
}

TEST_F(ScriptDriver, RegisteringTwiceGivesTheSameTree)
{
    ASSERT_EQ(Run(ServerScript(), TRUE), S_OK);
    ASSERT_NO_FATAL_FAILURE(MakeKey(HKEY_CLASSES_ROOT, L"CLSID\\" VESK_GUID_TEXT L"\\Stale"));
    ASSERT_EQ(Run(ServerScript(), TRUE), S_OK);
    EXPECT_TRUE(SameEntries(sim::DumpRegistry(HKEY_CLASSES_ROOT), ServerEntries()))
        << "ForceRemove clears what an older registration left under the class";
}

TEST_F(ScriptDriver, PerUserRegistrationLandsInTheUsersClasses)
{
    ASSERT_NO_FATAL_FAILURE(MakeKey(HKEY_CLASSES_ROOT, L"CLSID\\{Other}"));
    const std::vector<sim::RegistryEntry> machine = {Key(""), Key("CLSID"), Key("CLSID\\{Other}")};
    g_bPerUserRegistration = true;
    ASSERT_EQ(Run(ServerScript(), TRUE), S_OK);
    EXPECT_TRUE(SameEntries(UserClasses(), ServerEntries()));
    EXPECT_TRUE(SameEntries(MachineClasses(), machine)) << "the machine's classes are untouched";
    RegistryKey seen;
    EXPECT_EQ(seen.OpenKey(HKEY_CLASSES_ROOT, L"Vesk.VeskEnabler\\CurVer", KEY_READ), ERROR_SUCCESS)
        << "readers of the classes root see the user's registration";
    seen.CloseKey();

    ASSERT_EQ(Run(ServerScript(), FALSE), S_OK);
    EXPECT_TRUE(SameEntries(UserClasses(), {Key(""), Key("CLSID")}));
    EXPECT_TRUE(SameEntries(MachineClasses(), machine));
}

TEST_F(ScriptDriver, AFailedRootBlockIsUndoneToTheRegistryBeforeIt)
{
    ASSERT_NO_FATAL_FAILURE(MakeKey(HKEY_CLASSES_ROOT, L"CLSID\\{Other}", L"someone else's"));
    const std::vector<sim::RegistryEntry> before = sim::DumpRegistry(HKEY_LOCAL_MACHINE);
    // Each value write in turn fails, the module path's (the ninth) among them.
    for (int failing = 0; failing < 10; ++failing) {
        sim::Fail(sim::Op::RegSetValueEx, sim::When{failing}, ERROR_NOT_ENOUGH_MEMORY);
        EXPECT_EQ(Run(ServerScript(), TRUE), HRESULT_FROM_WIN32(ERROR_NOT_ENOUGH_MEMORY)) << "write " << failing;
        EXPECT_TRUE(SameEntries(sim::DumpRegistry(HKEY_LOCAL_MACHINE), before)) << "write " << failing;
        EXPECT_EQ(sim::OpenRegistryHandles(), 0) << "write " << failing;
    }
    sim::Fail(sim::Op::RegCreateKeyEx, sim::When{4}, ERROR_ACCESS_DENIED);
    EXPECT_EQ(Run(ServerScript(), TRUE), HRESULT_FROM_WIN32(ERROR_ACCESS_DENIED));
    EXPECT_TRUE(SameEntries(sim::DumpRegistry(HKEY_LOCAL_MACHINE), before));
}

TEST_F(ScriptDriver, BlocksBeforeAFailingOneStayAndOnlyItIsUndone)
{
    EXPECT_EQ(Run(L"HKCR { A = s 'x' } HKCU { B = q 'y' } HKLM { C }", TRUE), DISP_E_EXCEPTION);
    EXPECT_TRUE(SameEntries(sim::DumpRegistry(HKEY_CLASSES_ROOT), {Key(""), Key("A"), Sz("A", "", "x")}));
    EXPECT_TRUE(SameEntries(sim::DumpRegistry(HKEY_CURRENT_USER), {Key(""), Key("Software")}))
        << "B is never written";
    EXPECT_TRUE(sim::DumpRegistry(HKEY_LOCAL_MACHINE, L"C").empty()) << "later blocks are not run";
}

TEST_F(ScriptDriver, AFailedUnregistrationStopsTheRun)
{
    ASSERT_EQ(Run(L"HKLM { A B }", TRUE), S_OK);
    EXPECT_EQ(Run(L"HKLM { A } HKLM { Val N } HKLM { B }", FALSE), DISP_E_EXCEPTION);
    EXPECT_TRUE(SameEntries(sim::DumpRegistry(HKEY_LOCAL_MACHINE, L"B"), {Key("")}));
    EXPECT_TRUE(sim::DumpRegistry(HKEY_LOCAL_MACHINE, L"A").empty());
}

TEST_F(ScriptDriver, EachRootNameSelectsItsPredefinedKey)
{
    struct Case { LPCWSTR name; HKEY root; LPCWSTR probe; };  // `probe`: where the key lands
    const Case cases[] = {
        {L"HKCR", HKEY_LOCAL_MACHINE, L"Software\\Classes\\Probe"},
        {L"hkcr", HKEY_LOCAL_MACHINE, L"Software\\Classes\\Probe"},
        {L"HKEY_Classes_Root", HKEY_LOCAL_MACHINE, L"Software\\Classes\\Probe"},
        {L"HKCU", HKEY_CURRENT_USER, L"Probe"},
        {L"HKEY_CURRENT_USER", HKEY_CURRENT_USER, L"Probe"},
        {L"HKLM", HKEY_LOCAL_MACHINE, L"Probe"},
        {L"HKEY_LOCAL_MACHINE", HKEY_LOCAL_MACHINE, L"Probe"},
        {L"HKU", HKEY_USERS, L"Probe"},
        {L"HKEY_USERS", HKEY_USERS, L"Probe"},
        {L"HKPD", HKEY_PERFORMANCE_DATA, L"Probe"},
        {L"HKEY_PERFORMANCE_DATA", HKEY_PERFORMANCE_DATA, L"Probe"},
        {L"HKDD", HKEY_DYN_DATA, L"Probe"},
        {L"HKEY_DYN_DATA", HKEY_DYN_DATA, L"Probe"},
        {L"HKCC", HKEY_CURRENT_CONFIG, L"Probe"},
        {L"HKEY_CURRENT_CONFIG", HKEY_CURRENT_CONFIG, L"Probe"},
    };
    EXPECT_EQ(reinterpret_cast<uintptr_t>(HKEY_DYN_DATA),
              static_cast<uintptr_t>(static_cast<intptr_t>(static_cast<LONG>(0x80000006u))));
    EXPECT_EQ(reinterpret_cast<uintptr_t>(HKEY_CURRENT_CONFIG),
              static_cast<uintptr_t>(static_cast<intptr_t>(static_cast<LONG>(0x80000005u))));
    for (const Case& c : cases) {
        sim::ResetRegistry();
        WideText script;
        script.Append(c.name).Append(" { Probe }");
        EXPECT_EQ(Run(script.c_str(), TRUE), S_OK) << Utf8(c.name);
        EXPECT_FALSE(sim::DumpRegistry(c.root, c.probe).empty()) << Utf8(c.name);
        EXPECT_EQ(Run(script.c_str(), FALSE), S_OK) << Utf8(c.name);
        EXPECT_TRUE(sim::DumpRegistry(c.root, c.probe).empty()) << Utf8(c.name);
    }
}

TEST_F(ScriptDriver, MalformedScriptsFailWithTheirResult)
{
    WideText longName;
    longName.Append("HKLM { %").Repeat(u'N', 40).Append("% }");
    struct Case { const char* name; LPCWSTR script; HRESULT result; };
    const Case cases[] = {
        {"an empty script", L"", S_OK},
        {"blanks and line breaks only", L" \r\n\t ", DISP_E_EXCEPTION},
        {"a path is no root name", L"HKCR\\Software { }", DISP_E_EXCEPTION},
        {"a root name without a block", L"HKLM Software", DISP_E_EXCEPTION},
        {"an unknown root name", L"HKXX { }", DISP_E_EXCEPTION},
        {"a root name at the end", L"HKLM", DISP_E_EXCEPTION},
        {"two empty blocks and trailing blanks", L"HKCR { } HKLM { }\r\n\r\n", S_OK},
        {"only the first character of the brace counts", L"HKLM {x }", S_OK},
        {"an unclosed block", L"HKLM { A", DISP_E_EXCEPTION},
        {"an undefined variable", L"HKLM { A = s '%Nobody%' }", DISP_E_EXCEPTION},
        {"an over-long variable name", longName.c_str(), E_FAIL},
        {"no text at all", nullptr, E_POINTER},
    };
    for (const Case& c : cases) {
        for (BOOL registering : {TRUE, FALSE}) {
            sim::ResetRegistry();
            EXPECT_EQ(Run(c.script, registering), c.result) << c.name << (registering ? " (register)" : " (unregister)");
            EXPECT_EQ(sim::OpenRegistryHandles(), 0) << c.name;
        }
    }
}

// "HKLM { K { K { ... } } }" with the root block and `levels - 1` nested blocks.
WideText NestedScript(int levels)
{
    WideText script;
    script.Append("HKLM {");
    for (int i = 1; i < levels; ++i)
        script.Append(" K {");
    for (int i = 0; i < levels; ++i)
        script.Append(" }");
    return script;
}

TEST_F(ScriptDriver, NestingIsBoundedAt32LevelsInBothPasses)
{
    const WideText deepest = NestedScript(32);
    ASSERT_EQ(Run(deepest.c_str(), TRUE), S_OK);
    WideText path;
    path.Append("K");
    for (int i = 1; i < 31; ++i)  // the 31 keys of the 31 nested blocks
        path.Append("\\K");
    EXPECT_FALSE(sim::DumpRegistry(HKEY_LOCAL_MACHINE, path.c_str()).empty());
    ASSERT_EQ(Run(deepest.c_str(), FALSE), S_OK);
    EXPECT_TRUE(sim::DumpRegistry(HKEY_LOCAL_MACHINE, L"K").empty());

    const WideText tooDeep = NestedScript(33);
    EXPECT_EQ(Run(tooDeep.c_str(), FALSE), DISP_E_EXCEPTION) << "also while reading keys that are not there";
    EXPECT_EQ(Run(tooDeep.c_str(), TRUE), DISP_E_EXCEPTION);
    EXPECT_TRUE(sim::DumpRegistry(HKEY_LOCAL_MACHINE, L"K").empty()) << "no level is written before the error";
    EXPECT_EQ(Run(NestedScript(200000).c_str(), TRUE), DISP_E_EXCEPTION) << "no stack is exhausted";
    EXPECT_EQ(Run(NestedScript(200000).c_str(), FALSE), DISP_E_EXCEPTION);
}

// Every registry call of a run fails in turn, with each kind of operation: nothing is left open
// or leaked, a failed registration leaves the registry as it was, and a run that succeeds anyway
// (the failure fell on a call whose failure is tolerated) leaves the complete result.
TEST_F(ScriptDriver, AnyFailingRegistryCallLeavesAnOrderlyRegistry)
{
    const sim::Op operations[] = {
        sim::Op::RegOpenKeyEx,   sim::Op::RegCreateKeyEx, sim::Op::RegCloseKey,  sim::Op::RegSetValueEx,
        sim::Op::RegDeleteValue, sim::Op::RegDeleteKey,   sim::Op::RegDeleteKeyEx, sim::Op::RegEnumKeyEx,
        sim::Op::RegQueryInfoKey,
    };
    const std::vector<sim::RegistryEntry> unregistered = {Key(""), Key("CLSID")};
    int failuresSeen = 0;
    for (sim::Op operation : operations) {
        for (int skip = 0; skip < 40; ++skip) {
            const std::string row = "operation " + std::to_string(static_cast<int>(operation)) + ", call " +
                                    std::to_string(skip);
            // The shared CLSID key exists on every system; NoRemove keeps it through the undo.
            sim::ResetRegistry();
            ASSERT_NO_FATAL_FAILURE(MakeKey(HKEY_CLASSES_ROOT, L"CLSID"));
            sim::Fail(operation, sim::When{skip}, ERROR_NOT_ENOUGH_MEMORY);
            const HRESULT registered = Run(ServerScript(), TRUE);
            EXPECT_EQ(sim::OpenRegistryHandles(), 0) << row;
            if (FAILED(registered)) {
                ++failuresSeen;
                EXPECT_TRUE(SameEntries(MachineClasses(), unregistered)) << row;
            } else {
                EXPECT_TRUE(SameEntries(sim::DumpRegistry(HKEY_CLASSES_ROOT), ServerEntries())) << row;
            }

            sim::ResetRegistry();
            ASSERT_EQ(Run(ServerScript(), TRUE), S_OK) << row;
            sim::Fail(operation, sim::When{skip}, ERROR_NOT_ENOUGH_MEMORY);
            const HRESULT removed = Run(ServerScript(), FALSE);
            EXPECT_EQ(sim::OpenRegistryHandles(), 0) << row;
            if (FAILED(removed))
                ++failuresSeen;
            else
                EXPECT_TRUE(SameEntries(sim::DumpRegistry(HKEY_CLASSES_ROOT), unregistered)) << row;
        }
    }
    EXPECT_GT(failuresSeen, 50) << "the injected failures reached the runs";
}

TEST_F(ScriptDriver, AQuoteInAVariableSurvivesWhenItComesDoubled)
{
    CRegistrar registrar;
    ASSERT_EQ(registrar.AddVariable(L"Module", L"C:\\it''s\\Vesk.dll"), S_OK);
    CRegScriptParser parser(&registrar.Variables());
    ASSERT_EQ(parser.RunScript(L"HKLM { Server = s '%Module%' }", TRUE), S_OK);
    EXPECT_TRUE(SameEntries(sim::DumpRegistry(HKEY_LOCAL_MACHINE, L"Server"), {Key(""), Sz("", "", "C:\\it's\\Vesk.dll")}));
}

TEST_F(ScriptDriver, ANamedValueAtRootLevelGoesOnTheRootKey)
{
    ASSERT_EQ(Run(L"HKCU { Val Setting = d '5' }", TRUE), S_OK);
    const std::vector<sim::RegistryEntry> root = sim::DumpRegistry(HKEY_CURRENT_USER);
    ASSERT_GE(root.size(), 2u);
    EXPECT_EQ(root[1], Dword("", "Setting", 5));
    ASSERT_EQ(Run(L"HKCU { Val Setting = d '5' }", FALSE), S_OK);
    EXPECT_TRUE(SameEntries(sim::DumpRegistry(HKEY_CURRENT_USER), {Key(""), Key("Software")}));
}

TEST_F(ScriptDriver, OutOfMemoryWhileExpandingTouchesNothing)
{
    sim::Fail(sim::Op::Allocation, sim::When{});
    EXPECT_EQ(Run(ServerScript(), TRUE), E_OUTOFMEMORY);
    sim::ClearFaults();
    EXPECT_TRUE(SameEntries(MachineClasses(), {Key("")}));
}

}  // namespace
