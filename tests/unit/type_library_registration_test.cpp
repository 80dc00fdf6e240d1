// Loading the type library from a module's file or the ".tlb" beside it, and registering and
// unregistering it machine-wide or per user, against the simulated platform.
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "attached_library.h"
#include "registry_test_support.h"
#include "enabler/ivesk_enabler.h"
#include "sim/sim_control.h"
#include "registrar/per_user_registration.h"
#include "server/module_records.h"
#include "server/type_library_registration.h"
#include "sim_fixture.h"
#include "utf16.h"

namespace {

const char kDefaultModulePath[] = "C:\\Program Files\\Vesk\\Vesk.dll";

LPCWSTR Wide(const std::u16string& text) { return reinterpret_cast<LPCWSTR>(text.c_str()); }

std::u16string Repeat(char16_t c, size_t count) { return std::u16string(count, c); }

// A path of exactly `length` characters: C:\ddd...\<fileName>.
std::u16string PathOfLength(size_t length, const std::u16string& fileName)
{
    const std::u16string prefix = u"C:\\";
    return prefix + Repeat(u'd', length - prefix.size() - 1 - fileName.size()) + u"\\" + fileName;
}

// A load of the library module's type library: where the module's file is, what lies beside it,
// and what the load answers.
struct LoadCase {
    const char* name;
    std::u16string modulePath;  // empty: the default path, whose file holds the library
    bool moduleHoldsLibrary;
    std::u16string placed;  // a library file placed beside it; empty: none
    std::u16string index;   // empty: no index
    HRESULT result;
    std::u16string loadedPath;  // empty: none
    int loads;                  // LoadTypeLib calls
};

class TypeLibraryRegistrationTest : public DetachedPlatformTest {
protected:
    // The library module's file moved to `path`, holding no library of its own.
    static void MoveModuleWithoutLibrary(const std::u16string& path)
    {
        sim::SetModuleFileName(sim::LibraryModule(), Wide(path));
        sim::RemoveTypeLibraryFile(Wide(path));
    }

    // LoadModuleTypeLib on the library module; the path that loaded, or "" after a failure.
    static HRESULT Load(LPCOLESTR index, std::string* loadedPath)
    {
        BSTR path = nullptr;
        ITypeLib* library = nullptr;
        const HRESULT hr = LoadModuleTypeLib(sim::LibraryModule(), index, &path, &library);
        *loadedPath = path ? Utf8(path) : "";
        if (FAILED(hr)) {
            EXPECT_EQ(path, nullptr) << "a failed load hands out no path";
            EXPECT_EQ(library, nullptr) << "a failed load hands out no library";
        }
        SysFreeString(path);
        if (library)
            library->Release();
        return hr;
    }

    // One row of a load table, on fresh modules and automation.
    static void ExpectLoad(const LoadCase& c)
    {
        SCOPED_TRACE(c.name);
        sim::ResetAutomation();
        sim::ResetModules();
        if (!c.modulePath.empty())
            sim::SetModuleFileName(sim::LibraryModule(), Wide(c.modulePath));
        if (!c.moduleHoldsLibrary)
            sim::RemoveTypeLibraryFile(Wide(c.modulePath));
        if (!c.placed.empty())
            sim::PlaceTypeLibraryFile(Wide(c.placed));
        std::string loaded;
        EXPECT_EQ(Load(c.index.empty() ? nullptr : Wide(c.index), &loaded), c.result);
        EXPECT_EQ(loaded, Utf8(c.loadedPath));
        EXPECT_EQ(sim::AutomationCallCounts().loadTypeLib, c.loads);
    }
};

// --- path helpers --------------------------------------------------------------------------------

TEST(PathExtensionTest, FindsTheFileNamesExtensionOrTheEnd)
{
    struct Case { const char* name; const WCHAR* path; int offset; };
    const Case cases[] = {
        {"extension of the file name", L"C:\\lib\\server.dll", 13},
        {"a dot in a directory name is not an extension", L"C:\\dir.x\\server", 15},
        {"the last dot of the file name", L"C:\\lib\\archive.tar.gz", 18},
        {"'/' does not end the directory's dot", L"C:\\lib/v1.0/server", 9},
        {"a trailing dot", L"server.", 6},
        {"a name that starts with a dot", L".hidden", 0},
        {"no separator and no dot", L"server", 6},
        {"a path that ends with a separator", L"C:\\dir.x\\", 9},
    };
    for (const Case& c : cases)
        EXPECT_EQ(FindPathExtension(c.path) - c.path, c.offset) << c.name;

    const WCHAR empty[] = L"";
    EXPECT_EQ(FindPathExtension(empty), empty) << "an empty path comes back unchanged";
    EXPECT_EQ(FindPathExtension(nullptr), nullptr) << "a null path comes back unchanged";
}

TEST(DirectoryPrefixTest, CountsUpToTheLastSeparator)
{
    struct Case { const char* name; const WCHAR* path; int length; };
    const Case cases[] = {
        {"backslash kept", L"C:\\help\\guide.chm", 8},
        {"no separator", L"guide.chm", 0},
        {"drive colon", L"C:guide.chm", 2},
        {"forward slash", L"docs/guide.chm", 5},
        {"the last of mixed separators", L"C:\\help/sub\\guide.chm", 12},
        {"a path that is all directory", L"\\\\server\\share\\", 15},
        {"empty path", L"", 0},
        {"null path", nullptr, 0},
    };
    for (const Case& c : cases)
        EXPECT_EQ(DirectoryPrefixLength(c.path), c.length) << c.name;
}

// --- LoadModuleTypeLib ---------------------------------------------------------------------------

TEST_F(TypeLibraryRegistrationTest, LoadsFromTheModuleOrTheTlbBesideIt)
{
    const LoadCase cases[] = {
        {"the module's own file", u"", true, u"", u"", S_OK, u"C:\\Program Files\\Vesk\\Vesk.dll", 1},
        {"a file name without extension gets .tlb appended", u"C:\\dir.x\\server", false,
         u"C:\\dir.x\\server.tlb", u"", S_OK, u"C:\\dir.x\\server.tlb", 2},
        {"the extension is replaced by .tlb", u"C:\\lib\\server.dll", false, u"C:\\lib\\server.tlb", u"",
         S_OK, u"C:\\lib\\server.tlb", 2},
        {"neither file: the second load's failure", u"C:\\lib\\server.dll", false, u"", u"",
         TYPE_E_CANTLOADLIBRARY, u"", 2},
        {"the index is appended unchanged", u"C:\\lib\\server.dll", false, u"C:\\lib\\server.dll\\2",
         u"\\2", S_OK, u"C:\\lib\\server.dll\\2", 1},
        {"the fall-back drops the index", u"C:\\lib\\server.dll", false, u"C:\\lib\\server.tlb", u"\\2",
         S_OK, u"C:\\lib\\server.tlb", 2},
        {"a dot in the index does not move the extension", u"C:\\lib\\server.dll", false,
         u"C:\\lib\\server.tlb", u"\\2.x", S_OK, u"C:\\lib\\server.tlb", 2},
        {"an index on a name without extension is replaced", u"C:\\lib\\server", false,
         u"C:\\lib\\server.tlb", u"\\3", S_OK, u"C:\\lib\\server.tlb", 2},
        {"'/' does not separate: the directory's dot is taken", u"C:\\lib/v1.0/server", false,
         u"C:\\lib/v1.tlb", u"", S_OK, u"C:\\lib/v1.tlb", 2},
    };
    for (const LoadCase& c : cases)
        ExpectLoad(c);
}

TEST_F(TypeLibraryRegistrationTest, NullOutPointersAreRefusedAndFailuresLeaveNull)
{
    BSTR path = nullptr;
    ITypeLib* library = nullptr;
    EXPECT_EQ(LoadModuleTypeLib(sim::LibraryModule(), nullptr, nullptr, &library), E_POINTER);
    EXPECT_EQ(LoadModuleTypeLib(sim::LibraryModule(), nullptr, &path, nullptr), E_POINTER);
    EXPECT_EQ(sim::AutomationCallCounts().loadTypeLib, 0);

    path = reinterpret_cast<BSTR>(this);
    library = reinterpret_cast<ITypeLib*>(this);
    EXPECT_EQ(LoadModuleTypeLib(reinterpret_cast<HMODULE>(static_cast<uintptr_t>(0x5000)), nullptr, &path, &library),
              HRESULT_FROM_WIN32(ERROR_MOD_NOT_FOUND))
        << "an unknown module: the module lookup's error";
    EXPECT_EQ(path, nullptr);
    EXPECT_EQ(library, nullptr);
}

TEST_F(TypeLibraryRegistrationTest, AModulePathThatFailsGivesTheLastErrorAndNeverSuccess)
{
    struct Case { const char* name; DWORD lastError; HRESULT result; };
    const Case cases[] = {
        {"access denied", ERROR_ACCESS_DENIED, static_cast<HRESULT>(0x80070005)},
        {"module not found", ERROR_MOD_NOT_FOUND, static_cast<HRESULT>(0x8007007E)},
        {"a failure without an error code is still a failure", 0, E_FAIL},
    };
    for (const Case& c : cases) {
        sim::Fail(sim::Op::GetModuleFileName, sim::When{}, c.lastError);
        std::string loaded;
        EXPECT_EQ(Load(nullptr, &loaded), c.result) << c.name;
        sim::Fail(sim::Op::GetModuleFileName, sim::When{}, c.lastError);
        EXPECT_EQ(RegisterModuleTypeLib(sim::LibraryModule(), nullptr), c.result) << c.name;
        sim::Fail(sim::Op::GetModuleFileName, sim::When{}, c.lastError);
        EXPECT_EQ(UnregisterModuleTypeLib(sim::LibraryModule(), nullptr), c.result) << c.name;
    }
    EXPECT_EQ(sim::AutomationCallCounts().loadTypeLib, 0);
    EXPECT_TRUE(sim::TypeLibraryRegistrations().empty());
}

TEST_F(TypeLibraryRegistrationTest, PathBoundsOfTheModuleTheIndexAndTheFallBack)
{
    const std::u16string path259 = PathOfLength(259, u"server.dll");
    const std::u16string path260 = PathOfLength(260, u"server.dll");
    const std::u16string bare255 = PathOfLength(255, u"server");
    const std::u16string bare256 = PathOfLength(256, u"server");
    const std::u16string ext256 = PathOfLength(259, u"server.dl");  // its '.' at position 256
    const std::u16string index10 = u"\\" + Repeat(u'9', 9);
    const std::u16string index11 = u"\\" + Repeat(u'9', 10);
    const LoadCase cases[] = {
        {"a path of 259 characters loads", path259, true, u"", u"", S_OK, path259, 1},
        {"a path of 260 characters may have been cut", path260, true, u"", u"",
         HRESULT_FROM_WIN32(ERROR_INSUFFICIENT_BUFFER), u"", 0},
        {"a path longer still", PathOfLength(300, u"server.dll"), true, u"", u"",
         HRESULT_FROM_WIN32(ERROR_INSUFFICIENT_BUFFER), u"", 0},
        {"path and index of 269 characters", path259, false, path259 + index10, index10, S_OK, path259 + index10, 1},
        {"path and index of 270 characters", path259, false, path259 + index11, index11, E_FAIL, u"", 0},
        {"an index far too long", PathOfLength(20, u"a.dll"), true, u"", Repeat(u'9', 400), E_FAIL, u"", 0},
        {"the fall-back of a 259-character path", path259, false, PathOfLength(259, u"server.tlb"), u"", S_OK,
         PathOfLength(259, u"server.tlb"), 2},
        {"extension at 255: .tlb ends at 260", bare255, false, bare255 + u".tlb", u"", S_OK, bare255 + u".tlb", 2},
        {"extension at 256 (end of a bare name): too long", bare256, false, bare256 + u".tlb", u"", E_FAIL, u"", 1},
        {"extension at 256 (a dot): too long", ext256, false, u"", u"", E_FAIL, u"", 1},
        {"the fall-back bound counts from the extension, not the index", bare255, false, bare255 + u".tlb",
         u"\\12345", S_OK, bare255 + u".tlb", 2},
    };
    for (const LoadCase& c : cases)
        ExpectLoad(c);
}

TEST_F(TypeLibraryRegistrationTest, APathStringThatCannotBeAllocatedLeavesTheLibraryToTheCaller)
{
    sim::Fail(sim::Op::Allocation, sim::When{1});  // the library loads; its path string fails
    BSTR path = nullptr;
    ITypeLib* library = nullptr;
    EXPECT_EQ(LoadModuleTypeLib(sim::LibraryModule(), nullptr, &path, &library), E_OUTOFMEMORY);
    EXPECT_EQ(path, nullptr);
    ASSERT_NE(library, nullptr) << "the loaded library stays for the caller to release";
    library->Release();
}

// --- registration --------------------------------------------------------------------------------

TEST_F(TypeLibraryRegistrationTest, RegistersTheModulesLibraryWithItsPathAndNoHelpDirectory)
{
    AttachedLibrary attached;
    ASSERT_TRUE(attached.Attached());
    ASSERT_EQ(RegisterModuleTypeLib(g_comModule.m_hTypeLibModule, nullptr), S_OK);
    ASSERT_TRUE(OneVeskLibraryRegistration(kDefaultModulePath, false));
    EXPECT_FALSE(sim::TypeLibraryRegistrations()[0].helpDirectoryGiven)
        << "a library without help file registers no help directory";

    ITypeLib* library = nullptr;
    ASSERT_EQ(LoadRegTypeLib(LIBID_VeskLib, 1, 0, 0x0409, &library), S_OK) << "found where it was registered";
    library->Release();
}

TEST_F(TypeLibraryRegistrationTest, TheHelpDirectoryIsTheHelpFilesDirectoryPart)
{
    // `documented` false: the library's documentation call fails, and no help directory is given.
    struct Case {
        const char* name;
        std::u16string helpFile;
        bool documented;
        HRESULT result;
        std::string helpDirectory;
    };
    const std::u16string long259 = PathOfLength(259, u"guide.chm");
    const Case cases[] = {
        {"separator kept", u"C:\\help\\guide.chm", true, S_OK, "C:\\help\\"},
        {"no directory: empty, not null", u"guide.chm", true, S_OK, ""},
        {"drive only", u"C:guide.chm", true, S_OK, "C:"},
        {"forward slash separates here", u"docs/guide.chm", true, S_OK, "docs/"},
        {"a help file of 259 characters", long259, true, S_OK, Utf8(long259.substr(0, 250))},
        {"a help file of 260 characters is refused", PathOfLength(260, u"guide.chm"), true, E_INVALIDARG, ""},
        {"a failing documentation call registers without", u"C:\\help\\guide.chm", false, S_OK, ""},
    };
    for (const Case& c : cases) {
        sim::ResetAutomation();
        sim::PlaceTypeLibraryFile(L"C:\\Program Files\\Vesk\\Vesk.dll", Wide(c.helpFile));
        if (!c.documented)
            sim::Fail(sim::Op::GetLibraryDocumentation, sim::When{}, E_OUTOFMEMORY);
        EXPECT_EQ(RegisterModuleTypeLib(sim::LibraryModule(), nullptr), c.result) << c.name;
        const auto records = sim::TypeLibraryRegistrations();
        if (FAILED(c.result)) {
            EXPECT_TRUE(records.empty()) << c.name;
            continue;
        }
        ASSERT_EQ(records.size(), 1u) << c.name;
        EXPECT_EQ(records[0].helpDirectoryGiven, c.documented) << c.name;
        EXPECT_EQ(Utf8(records[0].helpDirectory), c.helpDirectory) << c.name;
    }
}

TEST_F(TypeLibraryRegistrationTest, PerUserFunctionsAreUsedOnlyWhenAskedForAndPresent)
{
    struct Case { const char* name; bool perUserFlag; bool functionsPublished; bool registeredPerUser; };
    const Case cases[] = {
        {"flag off: machine-wide", false, true, false},
        {"flag on: for the current user", true, true, true},
        {"flag on, functions missing: machine-wide", true, false, false},
        {"flag off, functions missing: machine-wide", false, false, false},
    };
    for (const Case& c : cases) {
        sim::ResetAutomation();
        sim::PublishPerUserTypeLibraryFunctions(c.functionsPublished);
        g_bPerUserRegistration = c.perUserFlag;
        ASSERT_EQ(RegisterModuleTypeLib(sim::LibraryModule(), nullptr), S_OK) << c.name;
        EXPECT_TRUE(OneVeskLibraryRegistration(kDefaultModulePath, c.registeredPerUser)) << c.name;
        EXPECT_EQ(UnregisterModuleTypeLib(sim::LibraryModule(), nullptr), S_OK) << c.name;
        EXPECT_TRUE(sim::TypeLibraryRegistrations().empty()) << c.name << ": unregistered the same way";
    }
}

TEST_F(TypeLibraryRegistrationTest, UnregistrationUsesTheSameChoiceAndPassesItsResultOn)
{
    ASSERT_EQ(RegisterModuleTypeLib(sim::LibraryModule(), nullptr), S_OK);  // machine-wide
    g_bPerUserRegistration = true;
    EXPECT_EQ(UnregisterModuleTypeLib(sim::LibraryModule(), nullptr), TYPE_E_REGISTRYACCESS)
        << "the per-user removal finds no per-user registration";
    EXPECT_EQ(sim::TypeLibraryRegistrations().size(), 1u) << "the machine's registration stays";
    g_bPerUserRegistration = false;
    EXPECT_EQ(UnregisterModuleTypeLib(sim::LibraryModule(), nullptr), S_OK);
    EXPECT_EQ(UnregisterModuleTypeLib(sim::LibraryModule(), nullptr), TYPE_E_REGISTRYACCESS)
        << "nothing left to remove";
}

struct UnregisterArguments { int calls; GUID libid; WORD major; WORD minor; LCID lcid; SYSKIND syskind; };
UnregisterArguments g_unregisterArguments;

HRESULT WINAPI RecordUnregistration(REFGUID libID, WORD major, WORD minor, LCID lcid, SYSKIND syskind)
{
    g_unregisterArguments = UnregisterArguments{g_unregisterArguments.calls + 1, libID, major, minor, lcid, syskind};
    return static_cast<HRESULT>(0x80040001);
}

TEST_F(TypeLibraryRegistrationTest, UnregistrationPassesTheLibrarysOwnAttributes)
{
    g_unregisterArguments = UnregisterArguments{};
    sim::PublishExport(L"OLEAUT32.DLL", "UnRegisterTypeLibForUser", &RecordUnregistration);
    g_bPerUserRegistration = true;
    EXPECT_EQ(UnregisterModuleTypeLib(sim::LibraryModule(), nullptr), static_cast<HRESULT>(0x80040001))
        << "the function's result is passed on unchanged";
    ASSERT_EQ(g_unregisterArguments.calls, 1);
    EXPECT_TRUE(g_unregisterArguments.libid == LIBID_VeskLib);
    EXPECT_EQ(g_unregisterArguments.major, 1);
    EXPECT_EQ(g_unregisterArguments.minor, 0);
    EXPECT_EQ(g_unregisterArguments.lcid, 0u);
    EXPECT_EQ(g_unregisterArguments.syskind, SYS_WIN32);
}

TEST_F(TypeLibraryRegistrationTest, FailuresOfTheLibraryArePassedOnAndLeakNothing)
{
    ASSERT_EQ(RegisterModuleTypeLib(sim::LibraryModule(), nullptr), S_OK);
    sim::Fail(sim::Op::GetLibAttr, sim::When{}, E_OUTOFMEMORY);
    EXPECT_EQ(UnregisterModuleTypeLib(sim::LibraryModule(), nullptr), E_OUTOFMEMORY);
    EXPECT_EQ(sim::TypeLibraryRegistrations().size(), 1u) << "nothing removed";
    EXPECT_EQ(sim::AutomationCallCounts().unregisterTypeLib, 0);

    MoveModuleWithoutLibrary(u"C:\\lib\\server.dll");
    EXPECT_EQ(RegisterModuleTypeLib(sim::LibraryModule(), nullptr), TYPE_E_CANTLOADLIBRARY);
    EXPECT_EQ(UnregisterModuleTypeLib(sim::LibraryModule(), nullptr), TYPE_E_CANTLOADLIBRARY);
    EXPECT_EQ(sim::TypeLibraryRegistrations().size(), 1u);
}

TEST_F(TypeLibraryRegistrationTest, EveryAllocationFailureFailsCleanly)
{
    // A failing allocation inside the documentation call only costs the help directory; every other
    // one fails the registration. Either way nothing is left allocated.
    bool complete = false;
    for (int allocation = 0; allocation < 32 && !complete; ++allocation) {
        sim::ResetAutomation();
        sim::PlaceTypeLibraryFile(L"C:\\Program Files\\Vesk\\Vesk.dll", L"C:\\help\\guide.chm");
        sim::Fail(sim::Op::Allocation, sim::When{allocation});
        const HRESULT hr = RegisterModuleTypeLib(sim::LibraryModule(), nullptr);
        sim::ClearFaults();
        const auto records = sim::TypeLibraryRegistrations();
        if (hr == S_OK) {
            ASSERT_EQ(records.size(), 1u) << "allocation " << allocation;
            complete = records[0].helpDirectoryGiven;
            if (complete) {
                EXPECT_EQ(Utf8(records[0].helpDirectory), "C:\\help\\") << "allocation " << allocation;
            }
        } else {
            // The library object itself failing sends the load on to the ".tlb" file, which is not there.
            EXPECT_EQ(hr, allocation == 0 ? TYPE_E_CANTLOADLIBRARY : E_OUTOFMEMORY) << "allocation " << allocation;
            EXPECT_TRUE(records.empty()) << "allocation " << allocation;
        }
        EXPECT_EQ(LeakSnapshot().Differences(m_before), "") << "allocation " << allocation;
    }
    EXPECT_TRUE(complete) << "registration with its help directory once allocations no longer fail";
}

}  // namespace
