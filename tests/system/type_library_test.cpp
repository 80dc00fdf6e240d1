// The type library embedded in Vesk.dll, loaded by the platform's own automation service.
#include <string>

#include <gtest/gtest.h>

#include "platform/win32.h"
#include "vesk_lib_expectations.h"

namespace {

// The build passes the library's path; a first argument of the program replaces it.
std::wstring g_path;

std::wstring Widen(const char* text)
{
    std::wstring wide;
    for (; *text; ++text)
        wide.push_back(static_cast<wchar_t>(static_cast<unsigned char>(*text)));
    return wide;
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

TEST_F(TypeLibraryFile, AnswersAttributeByAttribute) { vesk_lib::CheckLibrary(m_library); }

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
    g_path = argc > 1 ? Widen(argv[1]) : Widen(VESK_TYPELIB_PATH);
    CoInitialize(nullptr);
    const int result = RUN_ALL_TESTS();
    CoUninitialize();
    return result;
}
