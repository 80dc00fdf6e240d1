// The simulated module files and their paths, resources, 8-bit widening and thread locales answer as
// the platform does in the cases the registrar relies on.
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "sim/sim_control.h"
#include "sim_fixture.h"
#include "utf16.h"

namespace {

class ResourcesSim : public SimulatedPlatformTest {
protected:
    ResourcesSim() : SimulatedPlatformTest(false) {}
};

TEST_F(ResourcesSim, TheLibrarysFileFollowsItsPathAndEveryDataHandleIsCounted)
{
    HMODULE first = LoadLibraryExW(L"c:\\program files\\VESK\\vesk.dll", nullptr, LOAD_LIBRARY_AS_DATAFILE);
    ASSERT_NE(first, nullptr) << "paths compare in any letter case";
    HMODULE second = LoadLibraryExW(L"C:\\Program Files\\Vesk\\Vesk.dll", nullptr, LOAD_LIBRARY_AS_DATAFILE);
    ASSERT_NE(second, nullptr);
    EXPECT_NE(first, second);
    EXPECT_EQ(sim::OpenDataModules(), 2);

    HRSRC found = FindResourceW(first, MAKEINTRESOURCEW(102), L"registry");
    ASSERT_NE(found, nullptr);
    EXPECT_EQ(SizeofResource(first, found), 636u);
    EXPECT_EQ(SizeofResource(second, found), 0u) << "a resource belongs to the handle it was found in";
    HGLOBAL loaded = LoadResource(first, found);
    ASSERT_NE(loaded, nullptr);
    const auto* bytes = static_cast<const BYTE*>(LockResource(loaded));
    EXPECT_EQ(std::vector<BYTE>(bytes, bytes + 636), sim::LibraryScriptBytes());

    EXPECT_TRUE(FreeLibrary(first));
    EXPECT_FALSE(FreeLibrary(first)) << "a released handle is no longer known";
    EXPECT_TRUE(FreeLibrary(second));
    EXPECT_EQ(sim::DataModuleLoads(), 2);
    EXPECT_EQ(sim::LibraryReferences(), 1) << "data handles are not the loaded library";

    sim::SetModuleFileName(sim::LibraryModule(), L"D:\\Moved\\Vesk.dll");
    EXPECT_EQ(LoadLibraryExW(L"C:\\Program Files\\Vesk\\Vesk.dll", nullptr, LOAD_LIBRARY_AS_DATAFILE), nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_MOD_NOT_FOUND)) << "the file moved with the library";
    HMODULE moved = LoadLibraryExW(L"D:\\Moved\\Vesk.dll", nullptr, LOAD_LIBRARY_AS_DATAFILE);
    ASSERT_NE(moved, nullptr);
    EXPECT_TRUE(FreeLibrary(moved));
    EXPECT_EQ(LoadLibraryExW(L"D:\\Moved\\Vesk.dll", nullptr, 0), nullptr) << "only data mappings are served";
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
}

TEST_F(ResourcesSim, GetModuleFileNameCutsAndTerminatesAPathThatDoesNotFit)
{
    sim::SetModuleFileName(sim::LibraryModule(), L"C:\\lib\\server.dll");  // 17 characters
    struct Case { const char* name; DWORD size; DWORD result; DWORD lastError; const char* text; };
    const Case cases[] = {
        {"room to spare", 64, 17, 0, "C:\\lib\\server.dll"},
        {"exactly the path and its terminator", 18, 17, 0, "C:\\lib\\server.dll"},
        {"no room for the terminator", 17, 17, ERROR_INSUFFICIENT_BUFFER, "C:\\lib\\server.dl"},
        {"a short buffer", 4, 4, ERROR_INSUFFICIENT_BUFFER, "C:\\"},
    };
    for (const Case& c : cases) {
        WCHAR buffer[65];
        for (WCHAR& w : buffer)
            w = L'#';
        SetLastError(0);
        EXPECT_EQ(GetModuleFileNameW(sim::LibraryModule(), buffer, c.size), c.result) << c.name;
        EXPECT_EQ(GetLastError(), c.lastError) << c.name;
        EXPECT_EQ(Utf8(buffer), c.text) << c.name;
        EXPECT_EQ(buffer[c.size], L'#') << c.name << ": nothing written beyond the buffer";
    }
}

TEST_F(ResourcesSim, GetModuleFileNameKnowsTheLibraryTheHostAndNoOtherHandle)
{
    WCHAR buffer[260];
    ASSERT_NE(GetModuleFileNameW(sim::LibraryModule(), buffer, 260), 0u);
    EXPECT_EQ(Utf8(buffer), "C:\\Program Files\\Vesk\\Vesk.dll");
    ASSERT_NE(GetModuleFileNameW(nullptr, buffer, 260), 0u);
    EXPECT_EQ(Utf8(buffer), Utf8(sim::ModuleFileName(sim::ExecutableModule()))) << "null is the host executable";

    SetLastError(0);
    EXPECT_EQ(GetModuleFileNameW(reinterpret_cast<HMODULE>(static_cast<uintptr_t>(0x5000)), buffer, 260), 0u);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_MOD_NOT_FOUND));

    sim::SetModuleFileName(sim::LibraryModule(), L"D:\\elsewhere\\Vesk.dll");
    ASSERT_NE(GetModuleFileNameW(sim::LibraryModule(), buffer, 260), 0u);
    EXPECT_EQ(Utf8(buffer), "D:\\elsewhere\\Vesk.dll");
    sim::ResetModules();
    ASSERT_NE(GetModuleFileNameW(sim::LibraryModule(), buffer, 260), 0u);
    EXPECT_EQ(Utf8(buffer), "C:\\Program Files\\Vesk\\Vesk.dll") << "reset restores the default path";
}

TEST_F(ResourcesSim, LookupsFailWithTheResourceErrors)
{
    sim::SetModuleFileResources(L"C:\\x.dll", {sim::ModuleResource{u"REGISTRY", u"#5", {'a'}},
                                                sim::ModuleResource{u"Script", u"Named", {'b'}}});
    HMODULE module = LoadLibraryExW(L"C:\\X.DLL", nullptr, LOAD_LIBRARY_AS_DATAFILE);
    ASSERT_NE(module, nullptr);
    struct Case { const char* name; LPCWSTR resource; LPCWSTR type; DWORD error; };
    const Case cases[] = {
        {"found by id", MAKEINTRESOURCEW(5), L"REGISTRY", 0},
        {"found by name in any case", L"named", L"SCRIPT", 0},
        {"no such id", MAKEINTRESOURCEW(6), L"REGISTRY", ERROR_RESOURCE_NAME_NOT_FOUND},
        {"no such type", MAKEINTRESOURCEW(5), L"TYPELIB", ERROR_RESOURCE_TYPE_NOT_FOUND},
    };
    for (const Case& c : cases) {
        SetLastError(0);
        HRSRC found = FindResourceW(module, c.resource, c.type);
        EXPECT_EQ(found == nullptr, c.error != 0) << c.name;
        EXPECT_EQ(GetLastError(), c.error) << c.name;
    }
    EXPECT_TRUE(FreeLibrary(module));
    sim::RemoveModuleFile(L"C:\\x.dll");
    EXPECT_EQ(LoadLibraryExW(L"C:\\x.dll", nullptr, LOAD_LIBRARY_AS_DATAFILE), nullptr);
}

TEST_F(ResourcesSim, WideningIsByteForByte)
{
    const char text[] = {'A', '\t', static_cast<char>(0xE9), static_cast<char>(0xFF), 0};
    WCHAR out[8] = {};
    struct Case { const char* name; UINT codePage; int length; int capacity; int result; DWORD error; };
    const Case cases[] = {
        {"thread code page", CP_THREAD_ACP, 4, 8, 4, 0},
        {"ANSI code page", CP_ACP, 4, 8, 4, 0},
        {"with the terminator", CP_ACP, -1, 8, 5, 0},
        {"length asked for", CP_ACP, 4, 0, 4, 0},
        {"zero length", CP_THREAD_ACP, 0, 8, 0, ERROR_INVALID_PARAMETER},
        {"too small", CP_ACP, 4, 3, 0, ERROR_INSUFFICIENT_BUFFER},
        {"another code page", 65001, 4, 8, 0, ERROR_INVALID_PARAMETER},
    };
    for (const Case& c : cases) {
        SetLastError(0);
        EXPECT_EQ(MultiByteToWideChar(c.codePage, 0, text, c.length, c.capacity ? out : nullptr, c.capacity), c.result)
            << c.name;
        EXPECT_EQ(GetLastError(), c.error) << c.name;
    }
    ASSERT_EQ(MultiByteToWideChar(CP_ACP, 0, text, -1, out, 8), 5);
    EXPECT_EQ(out[2], 0xE9);
    EXPECT_EQ(out[3], 0xFF);
}

TEST_F(ResourcesSim, EachThreadHasItsOwnLocale)
{
    EXPECT_EQ(GetThreadLocale(), 0x0409u);
    ASSERT_TRUE(SetThreadLocale(LOCALE_SYSTEM_DEFAULT));
    LCID other = 0;
    std::thread([&other] { other = GetThreadLocale(); }).join();
    EXPECT_EQ(other, 0x0409u) << "another thread keeps its own";
    EXPECT_EQ(GetThreadLocale(), static_cast<LCID>(LOCALE_SYSTEM_DEFAULT));
    const char a = 'a';
    WCHAR w = 0;
    ASSERT_EQ(MultiByteToWideChar(CP_THREAD_ACP, 0, &a, 1, &w, 1), 1);
    EXPECT_EQ(sim::LastConversionLocale(), static_cast<LCID>(LOCALE_SYSTEM_DEFAULT));
    EXPECT_FALSE(SetThreadLocale(0));
}

}  // namespace
