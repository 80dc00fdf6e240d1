#include <gtest/gtest.h>

#include <string>

#include "sim/sim_control.h"
#include "sim_fixture.h"
#include "registrar/per_user_registration.h"
#include "registrar/reg_script_parser.h"
#include "registrar/registrar.h"
#include "registrar/script_buffer.h"
#include "server_script.h"
#include "utf16.h"

namespace {

struct ExpandCase { const char* name; LPCWSTR text; HRESULT result; std::string output; };

class ScriptPreprocessor : public DetachedPlatformTest {
protected:
    void SetUp() override
    {
        SimulatedPlatformTest::SetUp();
        ASSERT_EQ(m_registrar.AddVariable(L"Module", L"C:\\Vesk\\Vesk.dll"), S_OK);
        ASSERT_EQ(m_registrar.AddVariable(L"Percent", L"100%"), S_OK);
        ASSERT_EQ(m_registrar.AddVariable(L"ABCDEFGHIJKLMNOPQRSTUVWXYZABCDE", L"thirty-one"), S_OK);
        ASSERT_EQ(m_registrar.AddVariable(L"ABCDEFGHIJKLMNOPQRSTUVWXYZABCDEF", L"thirty-two"), S_OK);
    }
    void TearDown() override
    {
        m_registrar.ClearVariables();  // before the fixture counts the task memory still held
        SimulatedPlatformTest::TearDown();
    }

    // Expands `text`; the output as UTF-8, or "" on failure.
    HRESULT Expand(LPCWSTR text, std::string* output)
    {
        CRegScriptParser parser(&m_registrar.Variables());
        LPOLESTR out = reinterpret_cast<LPOLESTR>(this);  // must be overwritten with null on failure
        const HRESULT hr = parser.ExpandScript(text, &out);
        if (SUCCEEDED(hr)) {
            *output = Utf8(out);
            EXPECT_EQ(*parser.Position(), 0) << "the position ends at the end of the input";
        } else {
            EXPECT_EQ(out, nullptr) << "no output on failure";
            output->clear();
        }
        CoTaskMemFree(out);
        return hr;
    }
    void ExpectExpansion(const ExpandCase& c)
    {
        std::string output;
        EXPECT_EQ(Expand(c.text, &output), c.result) << c.name;
        EXPECT_EQ(output, c.output) << c.name;
    }

    CRegistrar m_registrar;
};

TEST_F(ScriptPreprocessor, ReplacesVariableReferences)
{
    const ExpandCase cases[] = {
        {"a defined name", L"x = s '%MODULE%'", S_OK, "x = s 'C:\\Vesk\\Vesk.dll'"},
        {"names in any letter case", L"%module%", S_OK, "C:\\Vesk\\Vesk.dll"},
        {"a doubled percent sign is one", L"50%%", S_OK, "50%"},
        {"three, a name, three", L"%%%module%%%", S_OK, "%C:\\Vesk\\Vesk.dll%"},
        {"values are not expanded again", L"%Percent%%Percent%", S_OK, "100%100%"},
        {"inside and outside quotes alike", L"'%module%' %module%", S_OK, "'C:\\Vesk\\Vesk.dll' C:\\Vesk\\Vesk.dll"},
        {"an empty script", L"", S_OK, ""},
        {"a 31-character name is looked up", L"%ABCDEFGHIJKLMNOPQRSTUVWXYZABCDE%", S_OK, "thirty-one"},
        {"a 32-character name is too long", L"%ABCDEFGHIJKLMNOPQRSTUVWXYZABCDEF%", E_FAIL, ""},
        {"no second percent sign", L"abc %module", DISP_E_EXCEPTION, ""},
        {"a percent sign at the very end", L"abc %", DISP_E_EXCEPTION, ""},
        {"an undefined name", L"%Nobody%", DISP_E_EXCEPTION, ""},
        {"braces and quotes play no part outside per-user mode", L"HKCR { '}' }", S_OK, "HKCR { '}' }"},
    };
    for (const ExpandCase& c : cases)
        ExpectExpansion(c);
}

TEST_F(ScriptPreprocessor, NullArgumentsAreRejected)
{
    CRegScriptParser parser(&m_registrar.Variables());
    LPOLESTR out = nullptr;
    EXPECT_EQ(parser.ExpandScript(nullptr, &out), E_POINTER);
    EXPECT_EQ(parser.ExpandScript(L"x", nullptr), E_POINTER);
}

const char kOpening[] = "HKCU\r\n{\tSoftware\r\n\t{\r\n\t\tClasses";
const char kClosing[] = "\r\n\t}\r\n}\r\n";

// A classes block as per-user registration rewrites it: `body` is the block up to its final "}",
// before which the closing text goes.
std::string Wrapped(const std::string& body) { return kOpening + body + kClosing + "}"; }

TEST_F(ScriptPreprocessor, PerUserRegistrationWrapsEachTopLevelClassesBlock)
{
    g_bPerUserRegistration = true;
    const ExpandCase cases[] = {
        {"one block", L"HKCR { a }", S_OK, Wrapped(" { a ")},
        {"the lower-case root name is left alone", L"hkcr { a }", S_OK, "hkcr { a }"},
        {"other roots are left alone", L"HKLM { a }", S_OK, "HKLM { a }"},
        {"a top-level HKCU block is left alone", L"HKCU { a }", S_OK, "HKCU { a }"},
        {"a top-level HKCC block is left alone", L"HKCC { a }", S_OK, "HKCC { a }"},
        {"an HKCR inside braces is left alone", L"HKLM { HKCR { } }", S_OK, "HKLM { HKCR { } }"},
        {"HKCR with nothing after it: the driver reports the missing block", L"HKCR", S_OK, kOpening},
        {"only the HKCR blocks are wrapped, each of them", L"HKLM { x } HKCR { y } HKCR { z }", S_OK,
         "HKLM { x } " + Wrapped(" { y ") + " " + Wrapped(" { z ")},
        {"quotes hide braces", L"HKCR { a = s '}{' }", S_OK, Wrapped(" { a = s '}{' ")},
        {"doubled quotes stay in the string", L"HKCR { a = s 'it''s }' }", S_OK,
         Wrapped(" { a = s 'it''s }' ")},
        {"the depth goes negative: only a block at depth 0 again is wrapped", L"} HKCR { a } { HKCR { b }",
         S_OK, "} HKCR { a } { " + Wrapped(" { b ")},
    };
    for (const ExpandCase& c : cases)
        ExpectExpansion(c);
}

TEST_F(ScriptPreprocessor, TheServerScriptIsRewrittenForTheUser)
{
    std::string machine;
    ASSERT_EQ(Expand(ServerScript(), &machine), S_OK);
    std::string expected = Utf8(ServerScript());
    const size_t at = expected.find("%MODULE%");
    ASSERT_NE(at, std::string::npos);
    expected.replace(at, 8, "C:\\Vesk\\Vesk.dll");
    EXPECT_EQ(machine, expected) << "machine-wide only the module path changes";

    g_bPerUserRegistration = true;
    std::string user;
    ASSERT_EQ(Expand(ServerScript(), &user), S_OK);
    const std::string body = expected.substr(4, expected.size() - 4 - 3);  // after "HKCR", before "}\r\n"
    EXPECT_EQ(user, Wrapped(body) + "\r\n");
}

TEST_F(ScriptPreprocessor, OutOfMemoryFreesThePartialOutput)
{
    WideText longText;
    longText.Repeat(u'a', 60).Append("%module%");  // 120 characters at the start, grown by the value
    for (int failing = 0; failing < 2; ++failing) {
        sim::Fail(sim::Op::Allocation, sim::When{failing});
        std::string output;
        EXPECT_EQ(Expand(longText.c_str(), &output), failing == 0 ? E_OUTOFMEMORY : S_OK) << failing;
        sim::ClearFaults();
    }
}

TEST_F(ScriptPreprocessor, GrowthKeepsEveryCharacter)
{
    WideText text;
    for (int i = 0; i < 300; ++i)
        text.Append("%module%");
    std::string output;
    ASSERT_EQ(Expand(text.c_str(), &output), S_OK);
    EXPECT_EQ(output.size(), 300u * 16u);
    sim::Fail(sim::Op::Allocation, sim::When{1});  // the first growth fails
    EXPECT_EQ(Expand(text.c_str(), &output), E_OUTOFMEMORY);
}

TEST(ScriptBuffer, StartsAtLeastAt1000AndDoublesBeyondWhatIsNeeded)
{
    {
        ScriptBuffer small(10);
        EXPECT_EQ(small.m_capacity, 1000);
        ASSERT_NE(small.m_text, nullptr);
        EXPECT_EQ(small.m_text[0], 0);
    }
    ScriptBuffer buffer(100);
    EXPECT_EQ(buffer.m_capacity, 100);
    WideText chunk;
    chunk.Repeat(u'x', 150);
    ASSERT_TRUE(buffer.AppendText(chunk.c_str()));
    EXPECT_EQ(buffer.m_capacity, 200);
    EXPECT_EQ(buffer.m_length, 150);
    EXPECT_EQ(buffer.m_text[150], 0);
    EXPECT_FALSE(buffer.AppendText(nullptr));
    EXPECT_FALSE(buffer.Append(chunk.c_str(), 0x7FFFFFFF)) << "a length that overflows is refused";
    EXPECT_EQ(buffer.m_length, 150);
}

TEST(ScriptParserHelpers, FindCharacterAndClosingQuote)
{
    LPCWSTR text = L"ab%cd";
    EXPECT_EQ(CRegScriptParser::FindCharacter(text, L'%'), text + 2);
    EXPECT_EQ(CRegScriptParser::FindCharacter(text, L'z'), nullptr);
    EXPECT_EQ(CRegScriptParser::FindCharacter(nullptr, L'a'), nullptr);
    CRegScriptParser parser(nullptr);
    struct Case { LPCWSTR at; bool closing; };
    const Case cases[] = {{L"'x", true}, {L"''", false}, {L"'", true}, {L"x'", false}};
    for (const Case& c : cases) {
        parser.Start(c.at);
        EXPECT_EQ(parser.AtClosingQuote(), c.closing) << Utf8(c.at);
    }
}

}  // namespace
