// Vesk.dll read as a file by the platform: its version record, its embedded registry script and
// its type library, loaded by the platform's own automation service and checked attribute by
// attribute. The DLL need not be of this program's bitness: a 64-bit program checks the 32-bit
// library on machines that cannot run it.
//
//   vesk_dll_file_tests [--library-bits=32|64] [DLL]    (default: this build's Vesk.dll)
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>

#include <gtest/gtest.h>

#include "child_process.h"
#include "platform/win32.h"
#include "vesk_lib_expectations.h"

namespace {

std::wstring g_path;
vesk_lib::PointerSizes g_sizes = vesk_lib::kThisBuild;

// The script as it is checked in, byte for byte.
std::string ScriptSource()
{
    std::ifstream file(VESK_RGS_FILE, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
}

TEST(DllResources, CarryAVersionRecordNamingTheProduct)
{
    DWORD ignored = 0;
    const DWORD size = GetFileVersionInfoSizeW(g_path.c_str(), &ignored);
    ASSERT_GT(size, 0u);
    std::string record(size, '\0');
    ASSERT_TRUE(GetFileVersionInfoW(g_path.c_str(), 0, size, &record[0]));
    VS_FIXEDFILEINFO* fixed = nullptr;
    UINT length = 0;
    ASSERT_TRUE(VerQueryValueW(&record[0], L"\\", reinterpret_cast<void**>(&fixed), &length));
    EXPECT_EQ(fixed->dwFileVersionMS, 0x00010000u) << "file version 1.0";
    EXPECT_EQ(fixed->dwFileType, static_cast<DWORD>(VFT_DLL));
    wchar_t* product = nullptr;
    ASSERT_TRUE(VerQueryValueW(&record[0], L"\\StringFileInfo\\040904B0\\ProductName",
                               reinterpret_cast<void**>(&product), &length));
    EXPECT_EQ(std::wstring(product), L"Vesk");
}

TEST(DllResources, CarryTheTypeLibraryAndTheScriptAsWrittenInEnglish)
{
    HMODULE data = LoadLibraryExW(g_path.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
    ASSERT_NE(data, nullptr);
    const WORD english = MAKELANGID(LANG_ENGLISH, SUBLANG_ENGLISH_US);
    EXPECT_NE(FindResourceExW(data, L"TYPELIB", MAKEINTRESOURCEW(1), english), nullptr);
    // The registry script, byte for byte as written: 636 bytes, no terminating zero.
    HRSRC script = FindResourceExW(data, L"REGISTRY", MAKEINTRESOURCEW(102), english);
    ASSERT_NE(script, nullptr);
    const DWORD size = SizeofResource(data, script);
    EXPECT_EQ(size, 636u);
    const char* text = static_cast<const char*>(LockResource(LoadResource(data, script)));
    ASSERT_NE(text, nullptr);
    EXPECT_EQ(std::string(text, 6), "HKCR\r\n");
    EXPECT_EQ(std::string(text + 629, 7), "\t}\r\n}\r\n") << "tab-indented, CR LF to the last line";
    EXPECT_EQ(std::string(text, size), ScriptSource()) << "the embedded script is Vesk.rgs as checked in";
    FreeLibrary(data);
}

class TypeLibraryFile : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_EQ(LoadTypeLibEx(g_path.c_str(), REGKIND_NONE, &m_library), S_OK) << "loading the compiled library";
    }
    void TearDown() override
    {
        if (m_library)
            m_library->Release();
    }
    ITypeLib* m_library = nullptr;
};

TEST_F(TypeLibraryFile, AnswersAttributeByAttribute) { vesk_lib::CheckLibrary(m_library, g_sizes); }

// The library's own name is answered by GetDocumentation(-1) above; IsName looks at the names of
// its descriptions, their members and parameters.
TEST_F(TypeLibraryFile, DefinesTheServersNames)
{
    struct Case { const char* name; LPCOLESTR text; BOOL defined; };
    const Case cases[] = {
        {"co-class", L"VeskEnabler", TRUE},
        {"interface", L"IVeskEnabler", TRUE},
        {"method", L"EnableVesk", TRUE},
        {"method", L"MakeSure", TRUE},
        {"parameter", L"hWnd", TRUE},
        {"nothing else", L"Vesk", FALSE},
        {"nor a base's member beyond the library", L"Widen", FALSE},
    };
    for (const Case& c : cases) {
        std::wstring buffer = c.text;
        BOOL found = !c.defined;
        ASSERT_EQ(m_library->IsName(&buffer[0], 0, &found), S_OK) << c.name;
        EXPECT_EQ(found, c.defined) << c.name;
    }
}

TEST_F(TypeLibraryFile, ImportsTheStandardLibraryForIDispatch)
{
    ITypeInfo* dispatch = nullptr;
    ASSERT_EQ(m_library->GetTypeInfoOfGuid(IID_IVeskEnabler, &dispatch), S_OK);
    HREFTYPE reference = 0;
    ASSERT_EQ(dispatch->GetRefTypeOfImplType(0, &reference), S_OK);
    ITypeInfo* base = nullptr;
    ASSERT_EQ(dispatch->GetRefTypeInfo(reference, &base), S_OK);
    ITypeLib* imported = nullptr;
    UINT index = 0;
    ASSERT_EQ(base->GetContainingTypeLib(&imported, &index), S_OK);
    TLIBATTR* attr = nullptr;
    ASSERT_EQ(imported->GetLibAttr(&attr), S_OK);
    const GUID stdole = {0x00020430, 0, 0, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};
    EXPECT_TRUE(attr->guid == stdole);
    EXPECT_EQ(attr->wMajorVerNum, 2);
    EXPECT_EQ(attr->wMinorVerNum, 0);
    EXPECT_EQ(attr->lcid, 0u);
    imported->ReleaseTLibAttr(attr);
    TYPEATTR* baseAttr = nullptr;
    ASSERT_EQ(base->GetTypeAttr(&baseAttr), S_OK);
    EXPECT_TRUE(baseAttr->guid == IID_IDispatch);
    base->ReleaseTypeAttr(baseAttr);
    imported->Release();
    base->Release();
    dispatch->Release();
}

}  // namespace

int main(int argc, char** argv)
{
    ::testing::InitGoogleTest(&argc, argv);
    g_path = vesk_test::WidenText(VESK_DLL_PATH);
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--library-bits=32") == 0)
            g_sizes.library = 4;
        else if (std::strcmp(argv[i], "--library-bits=64") == 0)
            g_sizes.library = 8;
        else
            g_path = vesk_test::WidenText(argv[i]);
    }
    if (GetFileAttributesW(g_path.c_str()) == INVALID_FILE_ATTRIBUTES) {
        std::printf("no library to check at %ls: build it first\n", g_path.c_str());
        return 1;
    }
    CoInitialize(nullptr);
    const int result = RUN_ALL_TESTS();
    CoUninitialize();
    return result;
}
