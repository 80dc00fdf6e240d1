#include <gtest/gtest.h>

#include "registrar/reg_script_parser.h"
#include "utf16.h"

namespace {

// The result of the first failing read, or S_OK, and the tokens read before it.
struct Tokens { HRESULT result; std::vector<std::string> tokens; };

// Reads tokens until the text is used up or a read fails.
Tokens ReadAll(LPCWSTR text)
{
    CRegScriptParser parser(nullptr);
    parser.Start(text);
    Tokens out{S_OK, {}};
    WCHAR token[CRegScriptParser::kTokenCapacity];
    for (;;) {
        parser.SkipBlanks();
        if (!*parser.Position())
            return out;
        out.result = parser.ReadToken(token);
        if (FAILED(out.result))
            return out;
        out.tokens.push_back(Utf8(token));
    }
}

TEST(ScriptTokenizer, CutsTextIntoBareAndQuotedTokens)
{
    struct Case { const char* name; LPCWSTR text; HRESULT result; std::vector<std::string> tokens; };
    const Case cases[] = {
        {"empty quoted token", L"''", S_OK, {""}},
        {"doubled quote inside", L"'it''s'", S_OK, {"it's"}},
        {"doubled quote at the end", L"'a'''", S_OK, {"a'"}},
        {"unterminated quote", L"'abc", DISP_E_EXCEPTION, {}},
        {"doubled quote never closed", L"'a''", DISP_E_EXCEPTION, {}},
        {"token right after a closing quote", L"'x'y", S_OK, {"x", "y"}},
        {"a quote inside a bare token", L"ab'c", S_OK, {"ab'c"}},
        {"braces and = are ordinary in bare tokens", L"name=s {a} =", S_OK, {"name=s", "{a}", "="}},
        {"white space inside quotes", L"' a {=} '", S_OK, {" a {=} "}},
        {"the four blanks separate", L"a\tb\nc\rd e", S_OK, {"a", "b", "c", "d", "e"}},
        {"vertical tab and form feed do not", L"a\vb\fc", S_OK, {"a\vb\fc"}},
        {"case is kept", L"ForceRemove 'VAL'", S_OK, {"ForceRemove", "VAL"}},
    };
    for (const Case& c : cases) {
        const Tokens got = ReadAll(c.text);
        EXPECT_EQ(got.result, c.result) << c.name;
        EXPECT_EQ(got.tokens, c.tokens) << c.name;
    }
}

TEST(ScriptTokenizer, WhiteSpaceOnlyFailsTheRead)
{
    CRegScriptParser parser(nullptr);
    WCHAR token[CRegScriptParser::kTokenCapacity];
    parser.Start(L" \t\r\n ");
    EXPECT_EQ(parser.ReadToken(token), DISP_E_EXCEPTION);
    parser.Start(L"");
    EXPECT_EQ(parser.ReadToken(token), DISP_E_EXCEPTION);
}

TEST(ScriptTokenizer, ATokenHoldsAtMost4094CodeUnits)
{
    struct Case { const char* name; bool quoted; size_t length; HRESULT result; };
    const Case cases[] = {
        {"bare, longest", false, 4094, S_OK},
        {"bare, one too many", false, 4095, DISP_E_EXCEPTION},
        {"quoted, longest", true, 4094, S_OK},
        {"quoted, one too many", true, 4095, DISP_E_EXCEPTION},
        {"far too long", false, 10000, DISP_E_EXCEPTION},
    };
    for (const Case& c : cases) {
        const std::string quote = c.quoted ? "'" : "";
        WideText text(quote);
        text.Repeat(u'x', c.length).Append(quote + " next");
        CRegScriptParser parser(nullptr);
        parser.Start(text.c_str());
        WCHAR token[CRegScriptParser::kTokenCapacity];
        EXPECT_EQ(parser.ReadToken(token), c.result) << c.name;
        if (c.result == S_OK) {
            EXPECT_EQ(lstrlenW(token), static_cast<int>(c.length)) << c.name;
            ASSERT_EQ(parser.ReadToken(token), S_OK) << c.name;
            EXPECT_EQ(Utf8(token), "next") << c.name;
        }
    }
}

TEST(ScriptTokenizer, SkipValueClauseStepsOverEqualsTypeAndValue)
{
    // `first` already read; `after`: the token in the buffer afterwards.
    struct Case { const char* name; LPCWSTR first; LPCWSTR rest; HRESULT result; const char* after; };
    const Case cases[] = {
        {"no clause: nothing is read", L"{", L"x", S_OK, "{"},
        {"a clause: the token after it", L"=", L"s 'a b' }", S_OK, "}"},
        {"the type letter is not checked", L"=", L"q 'v' {", S_OK, "{"},
        {"a token that merely begins with = starts a clause", L"=s", L"t 'value' next", S_OK, "next"},
        {"text ends inside the clause", L"=", L"s 'v'", DISP_E_EXCEPTION, nullptr},
        {"text ends before the value", L"=", L"s", DISP_E_EXCEPTION, nullptr},
    };
    for (const Case& c : cases) {
        CRegScriptParser parser(nullptr);
        WCHAR token[CRegScriptParser::kTokenCapacity] = {};
        for (int i = 0; c.first[i]; ++i)
            token[i] = c.first[i];
        parser.Start(c.rest);
        EXPECT_EQ(parser.SkipValueClause(token), c.result) << c.name;
        if (c.after) {
            EXPECT_EQ(Utf8(token), c.after) << c.name;
        }
    }
}

}  // namespace
