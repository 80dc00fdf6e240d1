#include <cstring>
#include <string>

#include <gtest/gtest.h>

#include "enabler/ivesk_enabler.h"
#include "sim/sim_control.h"
#include "sim_fixture.h"
#include "utf16.h"
#include "vesk_lib_expectations.h"

namespace {

class AutomationSimTest : public SimulatedPlatformTest {
protected:
    AutomationSimTest() : SimulatedPlatformTest(false) {}
};

TEST_F(AutomationSimTest, StringsCarryTheirByteLengthAndATerminator)
{
    BSTR text = SysAllocString(L"hWnd");
    ASSERT_NE(text, nullptr);
    DWORD prefix = 0;
    std::memcpy(&prefix, reinterpret_cast<const BYTE*>(text) - sizeof(DWORD), sizeof(DWORD));
    EXPECT_EQ(prefix, 8u) << "byte length before the text";
    EXPECT_EQ(text[4], 0) << "zero terminator";
    EXPECT_EQ(SysStringLen(text), 4u);
    EXPECT_EQ(SysStringByteLen(text), 8u);
    SysFreeString(text);

    const OLECHAR embedded[] = {L'a', 0, L'b'};
    BSTR counted = SysAllocStringLen(embedded, 3);
    ASSERT_NE(counted, nullptr);
    EXPECT_EQ(SysStringLen(counted), 3u) << "the length counts past an embedded zero";
    EXPECT_EQ(counted[2], L'b');
    EXPECT_EQ(counted[3], 0);
    SysFreeString(counted);

    BSTR blank = SysAllocStringLen(nullptr, 2);
    ASSERT_NE(blank, nullptr);
    EXPECT_EQ(SysStringLen(blank), 2u);
    SysFreeString(blank);

    EXPECT_EQ(SysAllocString(nullptr), nullptr);
    EXPECT_EQ(SysStringLen(nullptr), 0u);
    SysFreeString(nullptr);
}

TEST_F(AutomationSimTest, StringAllocationFailsWhenTheAllocatorSaysSo)
{
    sim::Fail(sim::Op::Allocation, sim::When{});
    EXPECT_EQ(SysAllocString(L"x"), nullptr);
    sim::Fail(sim::Op::Allocation, sim::When{});
    EXPECT_EQ(SysAllocStringLen(L"x", 1), nullptr);
}

TEST_F(AutomationSimTest, UnsignedTextConvertsExactly)
{
    struct Case { const char* name; LPCOLESTR text; HRESULT result; ULONG value; };
    const Case cases[] = {
        {"zero", L"0", S_OK, 0},
        {"the largest value", L"4294967295", S_OK, 0xFFFFFFFFu},
        {"one below the largest", L"4294967294", S_OK, 0xFFFFFFFEu},
        {"blanks around", L"  42 ", S_OK, 42},
        {"a plus sign", L"+7", S_OK, 7},
        {"leading zeros", L"000123", S_OK, 123},
        {"one above the largest", L"4294967296", DISP_E_OVERFLOW, 0},
        {"many digits", L"99999999999999999999999", DISP_E_OVERFLOW, 0},
        {"negative", L"-1", DISP_E_OVERFLOW, 0},
        {"letters", L"12a", DISP_E_TYPEMISMATCH, 0},
        {"empty", L"", DISP_E_TYPEMISMATCH, 0},
        {"a fraction rounds half to even", L"2.5", S_OK, 2},
        {"another fraction", L"3.5", S_OK, 4},
        {"hexadecimal with every bit set", L"&HFFFFFFFF", S_OK, 0xFFFFFFFFu},
        {"hexadecimal beyond 32 bits", L"&H100000000", DISP_E_OVERFLOW, 0},
        {"a sign before hexadecimal is passed over", L"-&H10", S_OK, 16},
        {"a thousands separator in the fraction is passed over", L"2.5,1", S_OK, 3},
    };
    for (const Case& c : cases) {
        ULONG value = 0xDEADBEEF;
        EXPECT_EQ(VarUI4FromStr(c.text, 0, 0, &value), c.result) << c.name;
        if (c.result == S_OK) {
            EXPECT_EQ(value, c.value) << c.name;
        }
    }
}

TEST_F(AutomationSimTest, VariantsConvertToAThirtyTwoBitInteger)
{
    struct Case { const char* name; VARTYPE vt; double number; HRESULT result; LONG value; };
    const Case cases[] = {
        {"2.5 rounds to 2", VT_R8, 2.5, S_OK, 2},
        {"3.5 rounds to 4", VT_R8, 3.5, S_OK, 4},
        {"-2.5 rounds to -2", VT_R8, -2.5, S_OK, -2},
        {"2.6 rounds to 3", VT_R8, 2.6, S_OK, 3},
        {"the smallest 32-bit value", VT_R8, -2147483648.0, S_OK, -2147483647 - 1},
        {"just above the largest rounds into range", VT_R8, 2147483647.4, S_OK, 2147483647},
        {"half above the largest overflows", VT_R8, 2147483647.5, DISP_E_OVERFLOW, 0},
        {"a float", VT_R4, 1.5, S_OK, 2},
        {"a 16-bit integer", VT_I2, -5, S_OK, -5},
        {"a byte", VT_UI1, 200, S_OK, 200},
        {"an unsigned value at the signed limit", VT_UI4, 2147483647.0, S_OK, 2147483647},
        {"an unsigned value above it keeps its bits", VT_UI4, 2147483648.0, S_OK, -2147483647 - 1},
        {"true", VT_BOOL, -1, S_OK, -1},
        {"false", VT_BOOL, 0, S_OK, 0},
        {"empty is zero", VT_EMPTY, 0, S_OK, 0},
        {"null does not convert", VT_NULL, 0, DISP_E_TYPEMISMATCH, 0},
        {"an error code does not convert", VT_ERROR, 0, DISP_E_TYPEMISMATCH, 0},
    };
    for (const Case& c : cases) {
        VARIANT source;
        VariantInit(&source);
        source.vt = c.vt;
        switch (c.vt) {
        case VT_R8: source.dblVal = c.number; break;
        case VT_R4: source.fltVal = static_cast<FLOAT>(c.number); break;
        case VT_I2: source.iVal = static_cast<SHORT>(c.number); break;
        case VT_UI1: source.bVal = static_cast<BYTE>(c.number); break;
        case VT_UI4: source.ulVal = static_cast<ULONG>(c.number); break;
        case VT_BOOL: source.boolVal = static_cast<VARIANT_BOOL>(c.number); break;
        default: break;
        }
        VARIANT target;
        VariantInit(&target);
        EXPECT_EQ(VariantChangeType(&target, &source, 0, VT_I4), c.result) << c.name;
        if (c.result == S_OK) {
            EXPECT_EQ(target.vt, VT_I4) << c.name;
            EXPECT_EQ(target.lVal, c.value) << c.name;
        }
    }
}

TEST_F(AutomationSimTest, NumericTextConvertsAsANumber)
{
    struct Case { const char* name; LPCOLESTR text; HRESULT result; LONG value; };
    const Case cases[] = {
        {"negative decimal", L"-17", S_OK, -17},
        {"a fraction", L"7.5", S_OK, 8},
        {"an exponent", L"1e3", S_OK, 1000},
        {"a thousands separator", L"1,000", S_OK, 1000},
        {"a thousands separator anywhere after the first digit", L"2,5", S_OK, 25},
        {"a thousands separator first", L",5", DISP_E_TYPEMISMATCH, 0},
        {"hexadecimal", L"&H1f", S_OK, 31},
        {"octal", L"&O17", S_OK, 15},
        {"no hexadecimal digit", L"&H", DISP_E_TYPEMISMATCH, 0},
        {"hexadecimal keeps its 32 bits", L"&HFFFFFFFF", S_OK, -1},
        {"hexadecimal of the sign bit alone", L"&H80000000", S_OK, -2147483647 - 1},
        {"hexadecimal beyond 32 bits", L"&H100000000", DISP_E_OVERFLOW, 0},
        {"a sign before hexadecimal is passed over", L"- &H10", S_OK, 16},
        {"blanks after the sign", L"- 5", S_OK, -5},
        {"a thousands separator in the fraction is passed over", L"2.5,1", S_OK, 3},
        {"a thousands separator right after the point", L"1.,5", S_OK, 2},
        {"not a number", L"seven", DISP_E_TYPEMISMATCH, 0},
        {"beyond the range", L"3000000000", DISP_E_OVERFLOW, 0},
    };
    for (const Case& c : cases) {
        VARIANT source;
        VariantInit(&source);
        source.vt = VT_BSTR;
        source.bstrVal = SysAllocString(c.text);
        VARIANT target;
        VariantInit(&target);
        EXPECT_EQ(VariantChangeType(&target, &source, 0, VT_I4), c.result) << c.name;
        if (c.result == S_OK) {
            EXPECT_EQ(target.lVal, c.value) << c.name;
        }
        VariantClear(&source);
    }
}

TEST_F(AutomationSimTest, LoadTypeLibReadsOnlyPlacedFiles)
{
    ITypeLib* library = reinterpret_cast<ITypeLib*>(this);
    EXPECT_EQ(LoadTypeLib(L"C:\\nowhere\\Vesk.dll", &library), TYPE_E_CANTLOADLIBRARY);
    EXPECT_EQ(library, nullptr);
    sim::PlaceTypeLibraryFile(L"C:\\Vesk\\Vesk.dll");
    ASSERT_EQ(LoadTypeLib(L"c:\\VESK\\vesk.DLL", &library), S_OK) << "paths compare without regard to case";
    EXPECT_EQ(sim::LiveTypeLibraries(), 1);
    library->Release();
    EXPECT_EQ(sim::AutomationCallCounts().loadTypeLib, 2);
}

TEST_F(AutomationSimTest, TheLibraryModulesFileHoldsTheLibraryWhereverItIs)
{
    struct Step { const char* name; void (*change)(); const WCHAR* path; HRESULT result; };
    const Step steps[] = {
        {"at the module's default path", [] {}, L"C:\\Program Files\\Vesk\\Vesk.dll", S_OK},
        {"the module moved: its old path holds nothing",
         [] { sim::SetModuleFileName(sim::LibraryModule(), L"D:\\app\\Vesk.dll"); },
         L"C:\\Program Files\\Vesk\\Vesk.dll", TYPE_E_CANTLOADLIBRARY},
        {"the module's new path", [] {}, L"D:\\app\\Vesk.dll", S_OK},
        {"removed from the module", [] { sim::RemoveTypeLibraryFile(L"D:\\app\\Vesk.dll"); },
         L"D:\\app\\Vesk.dll", TYPE_E_CANTLOADLIBRARY},
        {"placed there again", [] { sim::PlaceTypeLibraryFile(L"D:\\app\\Vesk.dll"); }, L"D:\\app\\Vesk.dll", S_OK},
        {"a placed file removed", [] {
             sim::PlaceTypeLibraryFile(L"D:\\app\\Vesk.tlb");
             sim::RemoveTypeLibraryFile(L"D:\\app\\Vesk.tlb");
         },
         L"D:\\app\\Vesk.tlb", TYPE_E_CANTLOADLIBRARY},
        {"reset: the module holds its library again", [] {
             sim::ResetModules();
             sim::ResetAutomation();
         },
         L"C:\\Program Files\\Vesk\\Vesk.dll", S_OK},
    };
    for (const Step& step : steps) {
        step.change();
        ITypeLib* library = nullptr;
        EXPECT_EQ(LoadTypeLib(step.path, &library), step.result) << step.name;
        if (library)
            library->Release();
    }
}

TEST_F(AutomationSimTest, APlacedLibraryNamesItsHelpFile)
{
    struct Case { const char* name; const WCHAR* helpFile; const char* result; };
    const Case cases[] = {
        {"with a help file", L"C:\\help\\guide.chm", "C:\\help\\guide.chm"},
        {"without: null", nullptr, "(null)"},
    };
    for (const Case& c : cases) {
        sim::PlaceTypeLibraryFile(L"C:\\Vesk\\Vesk.dll", c.helpFile);
        ITypeLib* library = nullptr;
        ASSERT_EQ(LoadTypeLib(L"C:\\Vesk\\Vesk.dll", &library), S_OK) << c.name;
        BSTR helpFile = reinterpret_cast<BSTR>(this);
        ASSERT_EQ(library->GetDocumentation(-1, nullptr, nullptr, nullptr, &helpFile), S_OK) << c.name;
        EXPECT_EQ(Utf8(helpFile), c.result) << c.name;
        SysFreeString(helpFile);
        library->Release();
    }
}

class RegistrationTest : public AutomationSimTest {
protected:
    void SetUp() override
    {
        AutomationSimTest::SetUp();
        sim::PlaceTypeLibraryFile(L"C:\\Vesk\\Vesk.dll");
        ASSERT_EQ(LoadTypeLib(L"C:\\Vesk\\Vesk.dll", &m_library), S_OK);
    }
    void TearDown() override
    {
        if (m_library)
            m_library->Release();
        AutomationSimTest::TearDown();
    }
    ITypeLib* m_library = nullptr;
};

TEST_F(RegistrationTest, TheSimulatedLibraryAnswersAsTheCompiledOne)
{
    vesk_lib::CheckLibrary(m_library, vesk_lib::kWin32);
}

TEST_F(RegistrationTest, RecordsTheLibrarysIdentityPathAndHelpDirectory)
{
    ASSERT_EQ(RegisterTypeLib(m_library, const_cast<OLECHAR*>(L"C:\\Vesk\\Vesk.dll"),
                              const_cast<OLECHAR*>(L"C:\\Vesk")),
              S_OK);
    const auto records = sim::TypeLibraryRegistrations();
    ASSERT_EQ(records.size(), 1u);
    EXPECT_TRUE(records[0].libid == LIBID_VeskLib);
    EXPECT_EQ(records[0].wMajorVerNum, 1);
    EXPECT_EQ(records[0].wMinorVerNum, 0);
    EXPECT_EQ(records[0].lcid, 0u);
    EXPECT_EQ(records[0].syskind, SYS_WIN32);
    EXPECT_FALSE(records[0].perUser);
    EXPECT_EQ(Utf8(records[0].path), "C:\\Vesk\\Vesk.dll");
    EXPECT_TRUE(records[0].helpDirectoryGiven);
    EXPECT_EQ(Utf8(records[0].helpDirectory), "C:\\Vesk");
    EXPECT_EQ(Utf8(records[0].name), "Vesk 1.0 Type Library");
    EXPECT_EQ(RegisterTypeLib(nullptr, const_cast<OLECHAR*>(L"C:\\Vesk\\Vesk.dll"), nullptr), E_INVALIDARG);
    EXPECT_EQ(RegisterTypeLib(m_library, nullptr, nullptr), E_INVALIDARG);
    ASSERT_EQ(RegisterTypeLib(m_library, const_cast<OLECHAR*>(L"C:\\Vesk\\Vesk.dll"), nullptr), S_OK);
    const auto replaced = sim::TypeLibraryRegistrations();
    ASSERT_EQ(replaced.size(), 1u) << "registering again replaces the record";
    EXPECT_FALSE(replaced[0].helpDirectoryGiven) << "a null help directory is told from an empty one";
}

TEST_F(RegistrationTest, LoadRegTypeLibFindsTheLanguageNeutralLibraryByIdentityAndVersion)
{
    ASSERT_EQ(RegisterTypeLib(m_library, const_cast<OLECHAR*>(L"C:\\Vesk\\Vesk.dll"), nullptr), S_OK);
    struct Case { const char* name; const GUID* libid; WORD major; WORD minor; LCID lcid; HRESULT result; };
    const GUID other = {0x12345678, 0, 0, {0, 0, 0, 0, 0, 0, 0, 1}};
    const Case cases[] = {
        {"neutral locale", &LIBID_VeskLib, 1, 0, 0, S_OK},
        {"English (US)", &LIBID_VeskLib, 1, 0, 0x0409, S_OK},
        {"German", &LIBID_VeskLib, 1, 0, 0x0407, S_OK},
        {"another major version", &LIBID_VeskLib, 2, 0, 0, TYPE_E_LIBNOTREGISTERED},
        {"a higher minor version", &LIBID_VeskLib, 1, 1, 0, TYPE_E_LIBNOTREGISTERED},
        {"another library", &other, 1, 0, 0, TYPE_E_LIBNOTREGISTERED},
    };
    for (const Case& c : cases) {
        ITypeLib* found = nullptr;
        EXPECT_EQ(LoadRegTypeLib(*c.libid, c.major, c.minor, c.lcid, &found), c.result) << c.name;
        if (found)
            found->Release();
        EXPECT_EQ(found != nullptr, c.result == S_OK) << c.name;
    }
}

TEST_F(RegistrationTest, UnregistrationRemovesOnlyTheMatchingRecord)
{
    ASSERT_EQ(RegisterTypeLib(m_library, const_cast<OLECHAR*>(L"C:\\Vesk\\Vesk.dll"), nullptr), S_OK);
    ASSERT_EQ(RegisterTypeLibForUser(m_library, const_cast<OLECHAR*>(L"C:\\User\\Vesk.dll"), nullptr), S_OK);
    ASSERT_EQ(sim::TypeLibraryRegistrations().size(), 2u);
    EXPECT_NE(UnRegisterTypeLib(LIBID_VeskLib, 1, 0, 0x409, SYS_WIN32), S_OK) << "another locale";
    EXPECT_NE(UnRegisterTypeLib(LIBID_VeskLib, 1, 0, 0, SYS_WIN64), S_OK) << "another system";
    EXPECT_NE(UnRegisterTypeLib(LIBID_VeskLib, 1, 1, 0, SYS_WIN32), S_OK) << "another version";
    EXPECT_EQ(sim::TypeLibraryRegistrations().size(), 2u);
    EXPECT_EQ(UnRegisterTypeLibForUser(LIBID_VeskLib, 1, 0, 0, SYS_WIN32), S_OK);
    auto records = sim::TypeLibraryRegistrations();
    ASSERT_EQ(records.size(), 1u);
    EXPECT_FALSE(records[0].perUser) << "the machine's registration stays";
    EXPECT_EQ(UnRegisterTypeLib(LIBID_VeskLib, 1, 0, 0, SYS_WIN32), S_OK);
    EXPECT_TRUE(sim::TypeLibraryRegistrations().empty());
    ITypeLib* found = nullptr;
    EXPECT_EQ(LoadRegTypeLib(LIBID_VeskLib, 1, 0, 0, &found), TYPE_E_LIBNOTREGISTERED);
}

TEST_F(RegistrationTest, PerUserRegistrationIsRecordedAsSuch)
{
    ASSERT_EQ(RegisterTypeLibForUser(m_library, const_cast<OLECHAR*>(L"C:\\Vesk\\Vesk.dll"), nullptr), S_OK);
    const auto records = sim::TypeLibraryRegistrations();
    ASSERT_EQ(records.size(), 1u);
    EXPECT_TRUE(records[0].perUser);
    ITypeLib* found = nullptr;
    ASSERT_EQ(LoadRegTypeLib(LIBID_VeskLib, 1, 0, 0, &found), S_OK) << "the user's registration is found";
    found->Release();
}

TEST_F(AutomationSimTest, ServiceFunctionsArePublishedByNameAndWithdrawable)
{
    HMODULE oleaut = GetModuleHandleW(L"OLEAUT32.DLL");
    ASSERT_NE(oleaut, nullptr);
    const char* always[] = {"LoadTypeLib", "LoadRegTypeLib", "RegisterTypeLib", "UnRegisterTypeLib"};
    for (const char* name : always)
        EXPECT_NE(GetProcAddress(oleaut, name), nullptr) << name;
    EXPECT_EQ(GetProcAddress(oleaut, "RegisterTypeLibForUser"),
              reinterpret_cast<FARPROC>(reinterpret_cast<void (*)()>(&RegisterTypeLibForUser)));
    EXPECT_NE(GetProcAddress(oleaut, "UnRegisterTypeLibForUser"), nullptr);
    sim::PublishPerUserTypeLibraryFunctions(false);
    EXPECT_EQ(GetProcAddress(oleaut, "RegisterTypeLibForUser"), nullptr);
    EXPECT_EQ(GetProcAddress(oleaut, "UnRegisterTypeLibForUser"), nullptr);
    EXPECT_NE(GetProcAddress(oleaut, "RegisterTypeLib"), nullptr) << "the machine-wide function stays";
    sim::ResetAutomation();
    EXPECT_NE(GetProcAddress(oleaut, "RegisterTypeLibForUser"), nullptr) << "a reset publishes them again";
}

}  // namespace
