// The server installing and removing itself: the registration exports over the object map, the
// script read from the library's own file with the module's variables, the type library, the
// per-user switch and the thread locale, against the simulated platform.
#include <new>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "base/server_exception.h"
#include "enabler/ivesk_enabler.h"
#include "sim/sim_control.h"
#include "registrar/per_user_registration.h"
#include "registry_test_support.h"
#include "server/module_records.h"
#include "server/registration_exports.h"
#include "server/registry_script_resources.h"
#include "server/vesk_module.h"
#include "server_script.h"
#include "sim_fixture.h"
#include "stack_object.h"
#include "utf16.h"

namespace {

using namespace entries;

const char kLibraryPath[] = "C:\\Program Files\\Vesk\\Vesk.dll";
// A caller's locale that is not the system default, to see it come back.
constexpr LCID kCallerLocale = 0x0407;

std::vector<BYTE> Bytes(const std::string& text) { return std::vector<BYTE>(text.begin(), text.end()); }

// A path of exactly `length` characters ending in "\Vesk.dll".
std::string PathOfLength(size_t length)
{
    const std::string prefix = "C:\\";
    const std::string file = "\\Vesk.dll";
    return prefix + std::string(length - prefix.size() - file.size(), 'd') + file;
}

class Registration : public SimulatedPlatformTest {
protected:
    void SetUp() override
    {
        SimulatedPlatformTest::SetUp();
        ASSERT_TRUE(SetThreadLocale(kCallerLocale));
    }
    void TearDown() override
    {
        EXPECT_EQ(GetThreadLocale(), kCallerLocale) << "the caller's thread locale was not restored";
        SimulatedPlatformTest::TearDown();
    }

    // A fresh registry, automation and resources, machine-wide, in the caller's locale again (the
    // resources' reset sets the thread locale too): a table's row starts here.
    static void ResetRegistration()
    {
        sim::ResetRegistry();
        sim::ResetAutomation();
        sim::ResetResources();
        g_bPerUserRegistration = false;
        ASSERT_TRUE(SetThreadLocale(kCallerLocale));
    }
    // The library's file moved to `path`, carrying its script and its type library there.
    static void MoveLibrary(const std::string& path)
    {
        sim::SetModuleFileName(sim::LibraryModule(), WideText(path).c_str());
    }
};

}  // namespace

// --- the whole road ------------------------------------------------------------------------------

TEST_F(Registration, TheLibrarysFileCarriesTheScriptByteForByte)
{
    const std::vector<BYTE> script = sim::LibraryScriptBytes();
    ASSERT_EQ(script.size(), 636u);
    std::u16string widened;
    for (BYTE b : script)
        widened.push_back(b);
    EXPECT_EQ(Utf8(widened), Utf8(ServerScript())) << "Vesk.rgs is the script the tests know";
}

TEST_F(Registration, RegisteringWritesTheServersEntriesAndItsTypeLibrary)
{
    ASSERT_EQ(DllRegisterServer(), S_OK);
    EXPECT_TRUE(SameEntries(MachineClasses(), ServerScriptEntries(kLibraryPath)));
    EXPECT_TRUE(SameEntries(sim::DumpRegistry(HKEY_CLASSES_ROOT), ServerScriptEntries(kLibraryPath)));
    EXPECT_TRUE(UserClasses().empty()) << "nothing for the current user";
    EXPECT_TRUE(OneVeskLibraryRegistration(kLibraryPath, false));

    EXPECT_EQ(sim::DataModuleLoads(), 1) << "the script is read from the library's file once";
    EXPECT_EQ(sim::LastConversionLocale(), static_cast<LCID>(LOCALE_SYSTEM_DEFAULT))
        << "the script is widened under the system default locale";
}

TEST_F(Registration, UnregisteringLeavesOnlyWhatWasThereBefore)
{
    struct Case { const char* name; std::vector<std::string> existing; };
    const Case cases[] = {
        {"an empty classes root keeps the shared CLSID key", {}},
        {"other classes stay", {"CLSID\\{00000000-1111-2222-3333-444444444444}", "Other.Class"}},
    };
    for (const Case& c : cases) {
        ResetRegistration();
        for (const std::string& key : c.existing)
            ASSERT_NO_FATAL_FAILURE(MakeKey(HKEY_LOCAL_MACHINE, WideText("Software\\Classes\\" + key).c_str()));
        const auto before = MachineClasses();
        ASSERT_EQ(DllRegisterServer(), S_OK) << c.name;
        ASSERT_EQ(DllUnregisterServer(), S_OK) << c.name;
        auto expected = before;
        if (c.existing.empty())
            expected.push_back(Key("CLSID"));
        EXPECT_TRUE(SameEntries(MachineClasses(), expected)) << c.name;
        EXPECT_TRUE(sim::TypeLibraryRegistrations().empty()) << c.name << ": the type library is unregistered";
    }
}

TEST_F(Registration, PerUserInstallationLandsInTheUsersClassesOnly)
{
    const auto machineBefore = sim::DumpRegistry(HKEY_LOCAL_MACHINE);
    ASSERT_EQ(DllInstall(TRUE, L"user"), S_OK);
    EXPECT_TRUE(g_bPerUserRegistration);
    EXPECT_TRUE(SameEntries(UserClasses(), ServerScriptEntries(kLibraryPath)));
    EXPECT_TRUE(SameEntries(sim::DumpRegistry(HKEY_LOCAL_MACHINE), machineBefore)) << "nothing machine-wide";
    EXPECT_TRUE(SameEntries(sim::DumpRegistry(HKEY_CLASSES_ROOT), ServerScriptEntries(kLibraryPath)))
        << "readers of the classes root see the user's class";
    EXPECT_TRUE(OneVeskLibraryRegistration(kLibraryPath, true));

    ASSERT_EQ(DllInstall(FALSE, L"user"), S_OK);
    EXPECT_TRUE(SameEntries(UserClasses(), {Key(""), Key("CLSID")}));
    EXPECT_TRUE(SameEntries(sim::DumpRegistry(HKEY_LOCAL_MACHINE), machineBefore));
    EXPECT_TRUE(sim::TypeLibraryRegistrations().empty());
}

TEST_F(Registration, OnlyTheExactCommandUserSwitchesToPerUser)
{
    struct Case { const char* name; LPCWSTR command; bool perUser; };
    const Case cases[] = {
        {"user", L"user", true},
        {"USER: any letter case", L"USER", true},
        {"User", L"User", true},
        {"users: longer than the command", L"users", false},
        {"us: a prefix of it", L"us", false},
        {"empty", L"", false},
        {"no command line", nullptr, false},
    };
    for (const Case& c : cases) {
        ResetRegistration();
        ASSERT_EQ(DllInstall(TRUE, c.command), S_OK) << c.name;
        EXPECT_EQ(g_bPerUserRegistration, c.perUser) << c.name;
        const auto& home = c.perUser ? UserClasses() : MachineClasses();
        EXPECT_TRUE(SameEntries(home, ServerScriptEntries(kLibraryPath))) << c.name;
        EXPECT_TRUE(sim::DumpRegistry(c.perUser ? HKEY_LOCAL_MACHINE : HKEY_CURRENT_USER,
                                      c.perUser ? L"Software\\Classes\\CLSID" : L"Software\\Classes")
                        .empty())
            << c.name << ": the other root stays untouched";
        ASSERT_EQ(DllInstall(FALSE, c.command), S_OK) << c.name;
        EXPECT_TRUE(SameEntries(c.perUser ? UserClasses() : MachineClasses(), {Key(""), Key("CLSID")})) << c.name;
        EXPECT_TRUE(sim::TypeLibraryRegistrations().empty()) << c.name << ": uninstalled as unregistration does";
    }
}

TEST_F(Registration, AnOtherCommandLeavesPerUserOnAndOnlyTheSwitchTurnsItOff)
{
    ASSERT_EQ(DllInstall(TRUE, L"user"), S_OK);
    ASSERT_EQ(DllInstall(FALSE, L"users"), S_OK) << "the flag stays on: removed from the user's classes";
    EXPECT_TRUE(g_bPerUserRegistration);
    EXPECT_TRUE(SameEntries(UserClasses(), {Key(""), Key("CLSID")}));

    EXPECT_EQ(DllSetPerUserRegistration(FALSE), S_OK);
    EXPECT_FALSE(g_bPerUserRegistration);
    // The user's CLSID key stays (it is shared) and would take the classes root's writes, as on
    // Windows; without it the machine-wide road is plain to see.
    sim::ResetRegistry();
    ASSERT_EQ(DllRegisterServer(), S_OK);
    EXPECT_TRUE(SameEntries(MachineClasses(), ServerScriptEntries(kLibraryPath))) << "machine-wide again";
    EXPECT_TRUE(OneVeskLibraryRegistration(kLibraryPath, false));
    ASSERT_EQ(DllUnregisterServer(), S_OK);

    EXPECT_EQ(DllSetPerUserRegistration(7), S_OK);
    EXPECT_TRUE(g_bPerUserRegistration) << "any nonzero value turns it on";
}

TEST_F(Registration, AFailedInstallationIsUndoneWholly)
{
    // The type library cannot be loaded, so registration fails after the script's keys were written.
    sim::RemoveTypeLibraryFile(WideText(kLibraryPath).c_str());
    const auto before = MachineClasses();
    const HRESULT registered = DllRegisterServer();
    ASSERT_TRUE(FAILED(registered));
    EXPECT_TRUE(SameEntries(MachineClasses(), ServerScriptEntries(kLibraryPath)))
        << "the walk itself undoes nothing";
    EXPECT_TRUE(FAILED(DllUnregisterServer())) << "no type library to remove";

    EXPECT_EQ(DllInstall(TRUE, nullptr), registered) << "the registration's failure is returned";
    auto expected = before;
    expected.push_back(Key("CLSID"));
    EXPECT_TRUE(SameEntries(MachineClasses(), expected)) << "the installation removed what it wrote";
    EXPECT_TRUE(sim::TypeLibraryRegistrations().empty());
}

// --- the module's path ---------------------------------------------------------------------------

TEST_F(Registration, TheModulePathReachesTheInprocServerKey)
{
    struct Case { const char* name; std::string path; HRESULT result; std::string value; };
    const Case cases[] = {
        {"a plain path", kLibraryPath, S_OK, kLibraryPath},
        {"a single quote is kept once", "C:\\Bob's Files\\Vesk.dll", S_OK, "C:\\Bob's Files\\Vesk.dll"},
        {"two quotes side by side", "C:\\a''b\\Vesk.dll", S_OK, "C:\\a''b\\Vesk.dll"},
        {"259 characters fit", PathOfLength(259), S_OK, PathOfLength(259)},
        {"260 characters may be cut: refused", PathOfLength(260), HRESULT_FROM_WIN32(ERROR_INSUFFICIENT_BUFFER), ""},
    };
    for (const Case& c : cases) {
        ResetRegistration();
        MoveLibrary(c.path);
        EXPECT_EQ(DllRegisterServer(), c.result) << c.name;
        if (FAILED(c.result)) {
            EXPECT_TRUE(SameEntries(MachineClasses(), {Key("")})) << c.name << ": nothing written";
            EXPECT_TRUE(sim::TypeLibraryRegistrations().empty()) << c.name;
            continue;
        }
        // The whole classes root, the in-process server key's value among it.
        EXPECT_TRUE(SameEntries(MachineClasses(), ServerScriptEntries(c.value))) << c.name;
        EXPECT_EQ(DllUnregisterServer(), S_OK) << c.name;
        EXPECT_TRUE(SameEntries(MachineClasses(), {Key(""), Key("CLSID")})) << c.name;
    }
}

// A probe script in the module's file that shows the two path variables as values.
class ModuleVariables : public Registration {
protected:
    static constexpr UINT kProbeScript = 200;

    static void PlaceProbe(const std::string& path)
    {
        sim::SetModuleFileResources(
            WideText(path).c_str(),
            {sim::ModuleResource{u"REGISTRY", u"#200",
                                 Bytes("HKCR\r\n{\r\n\tProbe = s '%Module%'\r\n\t{\r\n\t\tval Raw = s '%MODULE_RAW%'\r\n"
                                       "\t\tval AppId = s '[%APPID%]'\r\n\t}\r\n}\r\n")}});
    }
    static std::vector<sim::RegistryEntry> ProbeEntries(const std::string& module, const std::string& raw)
    {
        return {Key(""), Sz("", "", module), Sz("", "AppId", "[]"), Sz("", "Raw", raw)};
    }
    static std::vector<sim::RegistryEntry> Probe()
    {
        return sim::DumpRegistry(HKEY_LOCAL_MACHINE, L"Software\\Classes\\Probe");
    }
};

TEST_F(ModuleVariables, ModuleIsQuotedOnlyForAnExecutableHost)
{
    struct Case { const char* name; HINSTANCE handle; std::string path; std::string module; std::string raw; };
    const Case cases[] = {
        {"the library: plain", sim::LibraryModule(), "C:\\Lib\\Vesk.dll", "C:\\Lib\\Vesk.dll", "C:\\Lib\\Vesk.dll"},
        {"the host executable: quoted", sim::ExecutableModule(), "C:\\Host\\host.exe", "\"C:\\Host\\host.exe\"",
         "C:\\Host\\host.exe"},
        {"no handle stands for the executable", nullptr, "C:\\Host\\host.exe", "\"C:\\Host\\host.exe\"",
         "C:\\Host\\host.exe"},
        {"a quote in an executable's path", sim::ExecutableModule(), "C:\\Bob's\\host.exe",
         "\"C:\\Bob's\\host.exe\"", "C:\\Bob's\\host.exe"},
    };
    const HINSTANCE library = g_baseModule.m_hModule;
    for (const Case& c : cases) {
        sim::ResetRegistry();
        sim::SetModuleFileName(c.handle ? c.handle : sim::ExecutableModule(), WideText(c.path).c_str());
        PlaceProbe(c.path);
        g_baseModule.m_hModule = c.handle;
        const HRESULT hr = VeskModule()->ApplyRegistryScript(kProbeScript, TRUE, nullptr);
        g_baseModule.m_hModule = library;
        ASSERT_EQ(hr, S_OK) << c.name;
        EXPECT_TRUE(SameEntries(Probe(), ProbeEntries(c.module, c.raw))) << c.name;
        EXPECT_EQ(VeskModule()->ApplyRegistryScript(kProbeScript, FALSE, nullptr), S_OK) << c.name;
    }
}

TEST_F(ModuleVariables, TheCallersVariablesComeFirstAndWin)
{
    PlaceProbe(kLibraryPath);
    const VariableEntry extra[] = {{L"Module", L"C:\\Elsewhere.dll"}, {L"APPID", L"{app}"}, {nullptr, L"ignored"},
                                   {L"Module_Raw", L"never read"}};
    ASSERT_EQ(VeskModule()->ApplyRegistryScript(kProbeScript, TRUE, extra), S_OK);
    EXPECT_TRUE(SameEntries(Probe(), {Key(""), Sz("", "", "C:\\Elsewhere.dll"), Sz("", "AppId", "[{app}]"),
                                      Sz("", "Raw", kLibraryPath)}));
}

TEST_F(ModuleVariables, FailuresOfTheFileAndItsResourceChangeNothing)
{
    struct Case {
        const char* name;
        std::vector<sim::ModuleResource> resources;  // of the library's file
        bool fileMissing;
        DWORD loadResourceError;
        UINT id;
        HRESULT result;
    };
    const Case cases[] = {
        {"no such file", {}, true, 0, 102, HRESULT_FROM_WIN32(ERROR_MOD_NOT_FOUND)},
        {"no such id", {}, false, 0, 999, HRESULT_FROM_WIN32(ERROR_RESOURCE_NAME_NOT_FOUND)},
        {"no REGISTRY resources at all", {sim::ModuleResource{u"TYPELIB", u"#1", Bytes("x")}}, false, 0, 102,
         HRESULT_FROM_WIN32(ERROR_RESOURCE_TYPE_NOT_FOUND)},
        {"the resource's data cannot be loaded", {}, false, ERROR_NOT_ENOUGH_MEMORY, 102,
         HRESULT_FROM_WIN32(ERROR_NOT_ENOUGH_MEMORY)},
        {"an empty resource cannot be converted", {sim::ModuleResource{u"REGISTRY", u"#102", {}}}, false, 0, 102,
         HRESULT_FROM_WIN32(ERROR_INVALID_PARAMETER)},
        {"a failure without an error code is still a failure", {}, false, ERROR_SUCCESS, 102, E_FAIL},
        {"a size whose terminator does not fit in 32 bits",
         {sim::ModuleResource{u"REGISTRY", u"#102", Bytes("HKCR { A }"), true, 0xFFFFFFFF}}, false, 0, 102,
         E_OUTOFMEMORY},
        {"a script with a syntax error", {sim::ModuleResource{u"registry", u"#102", Bytes("HKCR { A = q 'x' }")}},
         false, 0, 102, DISP_E_EXCEPTION},
    };
    for (const Case& c : cases) {
        sim::ResetRegistry();
        sim::ResetResources();
        ASSERT_TRUE(SetThreadLocale(kCallerLocale));
        if (c.fileMissing)
            sim::RemoveModuleFile(WideText(kLibraryPath).c_str());
        else if (!c.resources.empty())
            sim::SetModuleFileResources(WideText(kLibraryPath).c_str(), c.resources);
        if (c.loadResourceError || std::string(c.name).find("error code") != std::string::npos)
            sim::Fail(sim::Op::LoadResource, sim::When{}, c.loadResourceError);
        const auto before = sim::DumpRegistry(HKEY_LOCAL_MACHINE);
        EXPECT_EQ(VeskModule()->ApplyRegistryScript(c.id, TRUE, nullptr), c.result) << c.name;
        EXPECT_TRUE(SameEntries(sim::DumpRegistry(HKEY_LOCAL_MACHINE), before)) << c.name;
        EXPECT_EQ(sim::OpenDataModules(), 0) << c.name << ": the file is released";
    }
}

TEST_F(ModuleVariables, AScriptWithoutFinalLineEndRunsAllTheSame)
{
    sim::SetModuleFileResources(WideText(kLibraryPath).c_str(),
                                {sim::ModuleResource{u"REGISTRY", u"#102", Bytes("HKCR { Probe = s 'x' }")}});
    ASSERT_EQ(UpdateEnablerRegistry(TRUE), S_OK);
    EXPECT_TRUE(SameEntries(Probe(), {Key(""), Sz("", "", "x")}));
    EXPECT_EQ(sim::DataModuleLoads(), 1);
}

TEST_F(ModuleVariables, AModulePathThatCannotBeHadFailsBeforeAnythingIsRead)
{
    struct Case { const char* name; DWORD lastError; HRESULT result; };
    const Case cases[] = {
        {"the platform's error", ERROR_MOD_NOT_FOUND, HRESULT_FROM_WIN32(ERROR_MOD_NOT_FOUND)},
        {"no error code: still a failure", ERROR_SUCCESS, E_FAIL},
    };
    for (const Case& c : cases) {
        sim::Fail(sim::Op::GetModuleFileName, sim::When{}, c.lastError);
        EXPECT_EQ(DllRegisterServer(), c.result) << c.name;
        EXPECT_EQ(sim::DataModuleLoads(), 0) << c.name;
        EXPECT_TRUE(SameEntries(MachineClasses(), {Key("")})) << c.name;
    }
}

// --- quotes --------------------------------------------------------------------------------------

TEST(EscapeQuotes, DoublesEveryQuoteWithinTheCapacity)
{
    struct Case { const char* name; std::string source; size_t capacity; std::string expected; };
    const Case cases[] = {
        {"no quote", "C:\\x.dll", 20, "C:\\x.dll"},
        {"one quote doubled", "a'b", 10, "a''b"},
        {"two quotes", "''", 5, "''''"},
        {"cut to capacity - 1", "abcdef", 4, "abc"},
        {"a quote without room for its double stays single", "ab'c", 4, "ab'"},
        {"a doubled quote that just fits", "a'b", 4, "a''"},
        {"capacity 1 holds the terminator only", "abc", 1, ""},
        {"empty source", "", 3, ""},
    };
    for (const Case& c : cases) {
        WCHAR destination[32];
        for (WCHAR& ch : destination)
            ch = L'#';
        EscapeQuotes(destination, c.capacity, WideText(c.source).c_str());
        EXPECT_EQ(Utf8(destination), c.expected) << c.name;
        EXPECT_EQ(destination[c.capacity], L'#') << c.name << ": nothing beyond the capacity";
    }
    WCHAR untouched[2] = {L'#', 0};
    EscapeQuotes(untouched, 0, L"abc");
    EXPECT_EQ(untouched[0], L'#') << "capacity 0 writes nothing";
}

// --- the thread locale ---------------------------------------------------------------------------

TEST_F(Registration, TheCallersThreadLocaleComesBackOnEveryPath)
{
    struct Case { const char* name; void (*arrange)(); HRESULT (*call)(); bool succeeds; };
    auto nothing = [] {};
    auto noScript = [] { sim::RemoveModuleFile(L"C:\\Program Files\\Vesk\\Vesk.dll"); };
    auto noTypeLibrary = [] { sim::RemoveTypeLibraryFile(L"C:\\Program Files\\Vesk\\Vesk.dll"); };
    const Case cases[] = {
        {"registration", nothing, [] { return DllRegisterServer(); }, true},
        {"unregistration", nothing, [] { return DllUnregisterServer(); }, true},
        {"registration, script missing", noScript, [] { return DllRegisterServer(); }, false},
        {"unregistration, script missing", noScript, [] { return DllUnregisterServer(); }, false},
        {"installation", nothing, [] { return DllInstall(TRUE, L"user"); }, true},
        {"failed installation, undone", noTypeLibrary, [] { return DllInstall(TRUE, nullptr); }, false},
        {"uninstallation", nothing, [] { return DllInstall(FALSE, nullptr); }, true},
        {"per-user uninstallation of a machine-wide library", nothing,
         [] { return DllInstall(FALSE, L"user"); }, false},
    };
    for (const Case& c : cases) {
        ResetRegistration();
        ASSERT_EQ(DllRegisterServer(), S_OK) << c.name;  // something to remove
        ASSERT_TRUE(SetThreadLocale(kCallerLocale));
        c.arrange();
        EXPECT_EQ(SUCCEEDED(c.call()), c.succeeds) << c.name;
        EXPECT_EQ(GetThreadLocale(), kCallerLocale) << c.name;
        EXPECT_EQ(sim::LastConversionLocale(), static_cast<LCID>(LOCALE_SYSTEM_DEFAULT)) << c.name;
    }
}

// --- walks and categories ------------------------------------------------------------------------

TEST_F(Registration, TheWalksTakeTheFilterAndTheTypeLibraryFlag)
{
    const CLSID other = {0x12345678, 0, 0, {0, 0, 0, 0, 0, 0, 0, 1}};
    EXPECT_EQ(RegisterServerObjects(nullptr, TRUE, nullptr), E_INVALIDARG);
    EXPECT_EQ(UnregisterServerObjects(nullptr, TRUE, nullptr), E_INVALIDARG);

    ASSERT_EQ(RegisterServerObjects(&g_comModule, TRUE, &other), S_OK);
    EXPECT_TRUE(SameEntries(MachineClasses(), {Key("")})) << "a filter for another class skips the enabler";
    ASSERT_EQ(sim::TypeLibraryRegistrations().size(), 1u) << "the type library does not depend on the filter";
    ASSERT_EQ(UnregisterServerObjects(&g_comModule, TRUE, &other), S_OK);
    EXPECT_TRUE(sim::TypeLibraryRegistrations().empty());

    ASSERT_EQ(RegisterServerObjects(&g_comModule, FALSE, &CLSID_VeskEnabler), S_OK);
    EXPECT_TRUE(SameEntries(MachineClasses(), ServerScriptEntries(kLibraryPath)));
    EXPECT_TRUE(sim::TypeLibraryRegistrations().empty()) << "the flag off: no type library";
    ASSERT_EQ(UnregisterServerObjects(&g_comModule, FALSE, &CLSID_VeskEnabler), S_OK);
    EXPECT_TRUE(SameEntries(MachineClasses(), {Key(""), Key("CLSID")}));
}

// A category manager that records its calls and answers a chosen result.
class RecordingCategories : public StackObject<ICatRegister, &IID_ICatRegister> {
public:
    RecordingCategories() : StackObject(0) {}
    HRESULT STDMETHODCALLTYPE RegisterCategories(ULONG, CATEGORYINFO*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE UnRegisterCategories(ULONG, CATID*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE RegisterClassImplCategories(REFCLSID, ULONG n, CATID* ids) override
    {
        return Record("register implemented", n, ids);
    }
    HRESULT STDMETHODCALLTYPE UnRegisterClassImplCategories(REFCLSID, ULONG n, CATID* ids) override
    {
        return Record("unregister implemented", n, ids);
    }
    HRESULT STDMETHODCALLTYPE RegisterClassReqCategories(REFCLSID, ULONG n, CATID* ids) override
    {
        return Record("register required", n, ids);
    }
    HRESULT STDMETHODCALLTYPE UnRegisterClassReqCategories(REFCLSID, ULONG n, CATID* ids) override
    {
        return Record("unregister required", n, ids);
    }

    std::vector<std::string> calls;
    std::vector<std::string>* trace = nullptr;  // also records there, when set
    HRESULT result = S_OK;

private:
    HRESULT Record(const char* what, ULONG n, CATID* ids)
    {
        calls.push_back(std::string(what) + " " + std::to_string(n) + " " + std::to_string(ids[0].Data1));
        if (trace)
            trace->push_back(calls.back());
        return result;
    }
};

TEST_F(Registration, CategoriesGoThroughTheManagerWhenThereIsOne)
{
    const CATID first = {1, 0, 0, {0}};
    const CATID second = {2, 0, 0, {0}};
    const CategoryMapEntry table[] = {{kCategoryImplemented, &first}, {kCategoryRequired, &second},
                                      {5, &first}, {kCategoryEnd, nullptr}};
    int creations = 0;
    sim::SetCoCreateInstanceHook([&creations] { ++creations; });

    EXPECT_EQ(UpdateClassCategories(CLSID_VeskEnabler, nullptr, TRUE), S_OK);
    EXPECT_EQ(creations, 0) << "a null table does not create the manager";
    EXPECT_EQ(UpdateClassCategories(GUID_NULL, table, TRUE), S_OK);
    EXPECT_EQ(creations, 0) << "nor does a null class";
    EXPECT_EQ(UpdateClassCategories(CLSID_VeskEnabler, table, TRUE), S_OK) << "no manager: no categories";
    EXPECT_EQ(creations, 1);

    RecordingCategories manager;
    sim::ServeCategoryManager(&manager);
    EXPECT_EQ(UpdateClassCategories(CLSID_VeskEnabler, table, TRUE), S_OK);
    EXPECT_EQ(manager.calls, (std::vector<std::string>{"register implemented 1 1", "register required 1 2",
                                                       "register required 1 1"}));
    EXPECT_EQ(manager.m_nReferences, 0) << "the manager is released";

    manager.calls.clear();
    manager.result = E_ACCESSDENIED;
    EXPECT_EQ(UpdateClassCategories(CLSID_VeskEnabler, table, TRUE), E_ACCESSDENIED);
    EXPECT_EQ(manager.calls.size(), 1u) << "the first failure ends registration";
    EXPECT_EQ(manager.m_nReferences, 0);

    manager.calls.clear();
    EXPECT_EQ(UpdateClassCategories(CLSID_VeskEnabler, table, FALSE), S_OK) << "removal failures are not looked at";
    EXPECT_EQ(manager.calls.size(), 3u);
    EXPECT_EQ(manager.m_nReferences, 0);
    sim::ServeCategoryManager(nullptr);
    sim::SetCoCreateInstanceHook({});
}

TEST_F(Registration, UnregisteringCategoriesRemovesOnlyTheirEmptiedKeys)
{
    const CATID category = {7, 0, 0, {0}};
    const CategoryMapEntry table[] = {{kCategoryImplemented, &category}, {kCategoryEnd, nullptr}};
    const std::string clsid = std::string("CLSID\\") + Utf8(VESK_GUID_TEXT);
    for (const std::string& key : {clsid + "\\Required Categories", clsid + "\\Implemented Categories\\{keep}"})
        ASSERT_NO_FATAL_FAILURE(MakeKey(HKEY_CLASSES_ROOT, WideText(key).c_str()));
    RecordingCategories manager;
    sim::ServeCategoryManager(&manager);
    EXPECT_EQ(UpdateClassCategories(CLSID_VeskEnabler, table, FALSE), S_OK);
    sim::ServeCategoryManager(nullptr);
    EXPECT_TRUE(SameEntries(sim::DumpRegistry(HKEY_CLASSES_ROOT, WideText(clsid).c_str()),
                            {Key(""), Key("Implemented Categories"), Key("Implemented Categories\\{keep}")}));
}

// --- a map of test classes -----------------------------------------------------------------------

// Stands in for the library's object map for one test, with classes whose registry functions
// record their calls, fail or raise.
class TestClassMap : public Registration {
protected:
    void SetUp() override
    {
        Registration::SetUp();
        s_steps.clear();
        s_failure = S_OK;
        s_raise = Raise::Nothing;
        m_savedBegin = g_comModule.m_ppObjectMapBegin;
        m_savedEnd = g_comModule.m_ppObjectMapEnd;
        g_comModule.m_ppObjectMapBegin = m_slots;
        g_comModule.m_ppObjectMapEnd = m_slots + 3;
        m_categories.trace = &s_steps;
        sim::ServeCategoryManager(&m_categories);
    }
    void TearDown() override
    {
        sim::ServeCategoryManager(nullptr);
        g_comModule.m_ppObjectMapBegin = m_savedBegin;
        g_comModule.m_ppObjectMapEnd = m_savedEnd;
        EXPECT_EQ(m_categories.m_nReferences, 0) << "the category manager was not released";
        Registration::TearDown();
    }

    enum class Raise { Nothing, ServerException, BadAlloc };
    static HRESULT FirstClass(BOOL bRegister) { return Step(bRegister ? "register first" : "unregister first"); }
    static HRESULT SecondClass(BOOL bRegister) { return Step(bRegister ? "register second" : "unregister second"); }
    static HRESULT Step(const std::string& step)
    {
        s_steps.push_back(step);
        if (step.find("second") != std::string::npos) {
            if (s_raise == Raise::ServerException)
                RaiseHresult(E_ACCESSDENIED);
            if (s_raise == Raise::BadAlloc)
                throw std::bad_alloc();
            return s_failure;
        }
        return S_OK;
    }
    static const CategoryMapEntry* FirstCategories()
    {
        static const CATID category = {11, 0, 0, {0}};
        static const CategoryMapEntry table[] = {{kCategoryImplemented, &category}, {kCategoryEnd, nullptr}};
        return table;
    }
    // The steps recorded since the last call, which starts the record afresh.
    static std::vector<std::string> TakeSteps()
    {
        std::vector<std::string> steps;
        steps.swap(s_steps);
        return steps;
    }
    using Steps = std::vector<std::string>;

    static inline std::vector<std::string> s_steps;
    static inline HRESULT s_failure = S_OK;
    static inline Raise s_raise = Raise::Nothing;

    RecordingCategories m_categories;
    const CLSID m_firstId = {0x1111, 0, 0, {1}};
    const CLSID m_secondId = {0x2222, 0, 0, {2}};
    ObjectMapEntry m_first = {&m_firstId, FirstClass, nullptr, nullptr, {nullptr}, 0, nullptr, FirstCategories, nullptr};
    ObjectMapEntry m_second = {&m_secondId, SecondClass, nullptr, nullptr, {nullptr}, 0, nullptr, nullptr, nullptr};
    ObjectMapEntry* m_slots[3] = {&m_first, nullptr, &m_second};
    ObjectMapEntry* const* m_savedBegin = nullptr;
    ObjectMapEntry* const* m_savedEnd = nullptr;
};

TEST_F(TestClassMap, EachClassWritesItsScriptBeforeItsCategoriesAndRemovesThemTheOtherWay)
{
    ASSERT_EQ(RegisterServerObjects(&g_comModule, FALSE, nullptr), S_OK);
    EXPECT_EQ(TakeSteps(), (Steps{"register first", "register implemented 1 11", "register second"}))
        << "null slots are skipped";
    ASSERT_EQ(UnregisterServerObjects(&g_comModule, FALSE, nullptr), S_OK);
    EXPECT_EQ(TakeSteps(), (Steps{"unregister implemented 1 11", "unregister first", "unregister second"}));
    ASSERT_EQ(UnregisterServerObjects(&g_comModule, FALSE, &m_secondId), S_OK);
    EXPECT_EQ(TakeSteps(), (Steps{"unregister second"})) << "the filter keeps one class";
}

TEST_F(TestClassMap, TheFirstFailureEndsTheWalkAndNothingIsUndoneButByTheInstallation)
{
    s_failure = E_ACCESSDENIED;
    EXPECT_EQ(DllRegisterServer(), E_ACCESSDENIED);
    const Steps registration = {"register first", "register implemented 1 11", "register second"};
    EXPECT_EQ(TakeSteps(), registration);
    EXPECT_TRUE(sim::TypeLibraryRegistrations().empty()) << "no type library after a failed class";

    EXPECT_EQ(DllInstall(TRUE, nullptr), E_ACCESSDENIED);
    Steps undone = registration;
    undone.insert(undone.end(), {"unregister implemented 1 11", "unregister first", "unregister second"});
    EXPECT_EQ(TakeSteps(), undone) << "the failed installation runs the whole unregistration";
}

TEST_F(TestClassMap, NoExceptionLeavesAnExport)
{
    struct Case { const char* name; Raise raise; HRESULT result; };
    const Case cases[] = {
        {"the server's exception gives the result it carries", Raise::ServerException, E_ACCESSDENIED},
        {"an allocation failure gives E_OUTOFMEMORY", Raise::BadAlloc, E_OUTOFMEMORY},
    };
    for (const Case& c : cases) {
        s_raise = c.raise;
        EXPECT_EQ(DllRegisterServer(), c.result) << c.name;
        EXPECT_EQ(GetThreadLocale(), kCallerLocale) << c.name;
        EXPECT_EQ(DllUnregisterServer(), c.result) << c.name;
        EXPECT_EQ(DllInstall(TRUE, nullptr), c.result) << c.name;
        EXPECT_EQ(DllInstall(FALSE, nullptr), c.result) << c.name;
        EXPECT_EQ(GetThreadLocale(), kCallerLocale) << c.name;
    }
}
