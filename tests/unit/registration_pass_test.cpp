#include "script_pass_support.h"

namespace {

using namespace entries;

class RegistrationPass : public RegistryTest {};

TEST_F(RegistrationPass, WritesKeysAndValuesOfEachType)
{
    const std::vector<PassCase> cases = {
        {"a key with a default string", nullptr, L"A = s 'x' }", S_OK, {Key(""), Key("A"), Sz("A", "", "x")}},
        {"a named value goes on the block's parent", nullptr, L"Val Name = s 'x' }", S_OK,
         {Key(""), Sz("", "Name", "x")}},
        {"a value in a nested block goes on its key", nullptr, L"A { val N = s 'v' } }", S_OK,
         {Key(""), Key("A"), Sz("A", "N", "v")}},
        {"the largest number", nullptr, L"A = d '4294967295' }", S_OK,
         {Key(""), Key("A"), Dword("A", "", 0xFFFFFFFFu)}},
        {"a number with blanks around it", nullptr, L"A = d ' 42 ' }", S_OK, {Key(""), Key("A"), Dword("A", "", 42)}},
        {"hex digits in either case", nullptr, L"A = b 'aB0f' }", S_OK,
         {Key(""), Key("A"), Binary("A", "", {0xAB, 0x0F})}},
        {"a non-digit counts as 0", nullptr, L"A = b 'zz' }", S_OK, {Key(""), Key("A"), Binary("A", "", {0x00})}},
        {"empty binary data", nullptr, L"A = b '' }", S_OK, {Key(""), Key("A"), Binary("A", "", {})}},
        {"a multi-string splits at \\0", nullptr, L"A = m 'a\\0b' }", S_OK,
         {Key(""), Key("A"), Multi("A", "", std::u16string(u"a\0b\0\0", 5))}},
        {"a multi-string ends at its first empty string", nullptr, L"A = m 'a\\0\\0b' }", S_OK,
         {Key(""), Key("A"), Multi("A", "", std::u16string(u"a\0\0", 3))}},
        {"an empty multi-string is one empty string", nullptr, L"A = m '' }", S_OK,
         {Key(""), Key("A"), Multi("A", "", std::u16string(u"\0", 1))}},
        {"a lone backslash is copied", nullptr, L"A = m 'a\\b' }", S_OK,
         {Key(""), Key("A"), Multi("A", "", std::u16string(u"a\\b\0\0", 5))}},
        {"keywords and type letters in any case", nullptr, L"VAL n = S 'y' nOrEmOvE B = D '7' }", S_OK,
         {Key(""), Sz("", "n", "y"), Key("B"), Dword("B", "", 7)}},
        {"a quoted name holds blanks and quotes", nullptr, L"'a b''c' = s 'v' }", S_OK,
         {Key(""), Key("a b'c"), Sz("a b'c", "", "v")}},
        {"NoRemove registers like a plain entry", nullptr, L"NoRemove A { B } }", S_OK,
         {Key(""), Key("A"), Key("A\\B")}},
        {"a token beginning with } ends the block", nullptr, L"A }x", S_OK, {Key(""), Key("A")}},
        {"an empty block", nullptr, L"}", S_OK, {Key("")}},
        {"an existing key without value or block is left as it was",
         [] { Make(L"Scratch\\A", L"old"); }, L"A }", S_OK, {Key(""), Key("A"), Sz("A", "", "old")}},
        {"a later value replaces an earlier one", nullptr, L"A = s 'one' A = s 'two' }", S_OK,
         {Key(""), Key("A"), Sz("A", "", "two")}},
    };
    RunCases(cases, TRUE);
}

TEST_F(RegistrationPass, ForceRemoveAndDeleteClearKeysBeforehand)
{
    auto oldTree = [] {
        Make(L"Scratch\\Foo", L"old");
        Make(L"Scratch\\Foo\\Old\\Deeper", L"old");
    };
    const std::vector<PassCase> cases = {
        {"ForceRemove re-creates the key from scratch", oldTree, L"ForceRemove Foo = s 'new' { Bar } }", S_OK,
         {Key(""), Key("Foo"), Sz("Foo", "", "new"), Key("Foo\\Bar")}},
        {"ForceRemove of a missing key just creates it", nullptr, L"ForceRemove Foo }", S_OK,
         {Key(""), Key("Foo")}},
        {"a protected name is never removed", [] { Make(L"Scratch\\CLSID\\Other", L"theirs"); },
         L"ForceRemove clsid { Mine } }", S_OK,
         {Key(""), Key("CLSID"), Key("CLSID\\Mine"), Key("CLSID\\Other"), Sz("CLSID\\Other", "", "theirs")}},
        {"Delete removes the key and creates nothing", oldTree, L"Delete Foo }", S_OK, {Key("")}},
        {"Delete reads and ignores a value clause", oldTree, L"Delete Foo = s 'x' Next }", S_OK,
         {Key(""), Key("Next")}},
        {"Delete of a missing key is no error", nullptr, L"Delete Foo }", S_OK, {Key("")}},
        {"Delete of a protected name deletes nothing", [] { Make(L"Scratch\\TypeLib\\X"); }, L"Delete TypeLib }",
         S_OK, {Key(""), Key("TypeLib"), Key("TypeLib\\X")}},
        {"a failed removal is ignored", [oldTree] {
             oldTree();
             sim::RestrictKey(HKEY_LOCAL_MACHINE, L"Scratch\\Foo", true, false);
         },
         L"ForceRemove Foo = s 'new' }", HRESULT_FROM_WIN32(ERROR_ACCESS_DENIED),
         {Key(""), Key("Foo"), Sz("Foo", "", "old"), Key("Foo\\Old"), Key("Foo\\Old\\Deeper"),
          Sz("Foo\\Old\\Deeper", "", "old")}},
    };
    RunCases(cases, TRUE);
}

std::vector<PassCase> FailureCases()
{
    const HRESULT kAccessDenied = HRESULT_FROM_WIN32(ERROR_ACCESS_DENIED);
    return {
        {"a backslash in a key name, before anything is opened", nullptr, L"A\\B = s 'x' }", DISP_E_EXCEPTION,
         {Key("")}},
        {"a backslash after ForceRemove", nullptr, L"ForceRemove A\\B }", DISP_E_EXCEPTION, {Key("")}},
        {"a backslash after Delete", nullptr, L"Delete A\\B }", DISP_E_EXCEPTION, {Key("")}},
        {"Val without =", nullptr, L"Val N s 'x' }", DISP_E_EXCEPTION, {Key("")}},
        {"an unknown type letter, after the key is made", nullptr, L"A = q 'x' }", DISP_E_EXCEPTION,
         {Key(""), Key("A")}},
        {"an expandable-string letter is unknown too", nullptr, L"A = e 'x' }", DISP_E_EXCEPTION,
         {Key(""), Key("A")}},
        {"an odd number of hex digits", nullptr, L"A = b 'abc' }", E_FAIL, {Key(""), Key("A")}},
        {"a number that is not one writes nothing", nullptr, L"A = d 'twelve' }", DISP_E_EXCEPTION,
         {Key(""), Key("A")}},
        {"a number beyond 32 bits writes nothing", nullptr, L"A = d '4294967296' }", DISP_E_EXCEPTION,
         {Key(""), Key("A")}},
        {"a negative number writes nothing", nullptr, L"A = d '-1' }", DISP_E_EXCEPTION, {Key(""), Key("A")}},
        {"text ends after a value", nullptr, L"A = s 'x'", DISP_E_EXCEPTION, {Key(""), Key("A"), Sz("A", "", "x")}},
        {"text ends inside a nested block", nullptr, L"A { B }", DISP_E_EXCEPTION,
         {Key(""), Key("A"), Key("A\\B")}},
        {"an unterminated quote", nullptr, L"A = s 'x }", DISP_E_EXCEPTION, {Key(""), Key("A")}},
        {"a key that grants reading only is used read-only",
         [] {
             Make(L"Scratch\\A", L"old");
             sim::RestrictKey(HKEY_LOCAL_MACHINE, L"Scratch\\A", true, false);
         },
         L"A = s 'new' }", kAccessDenied, {Key(""), Key("A"), Sz("A", "", "old")}},
        {"no sub-key under a read-only key", [] { Make(L"Scratch\\A"); sim::RestrictKey(HKEY_LOCAL_MACHINE, L"Scratch\\A", true, false); },
         L"A { B } }", kAccessDenied, {Key(""), Key("A")}},
        {"a key that cannot be opened at all nor created",
         [] {
             Make(L"Scratch\\A");
             sim::RestrictKey(HKEY_LOCAL_MACHINE, L"Scratch\\A", false, false);
         },
         L"A }", kAccessDenied, {Key(""), Key("A")}},
        {"a failed creation", [] { sim::Fail(sim::Op::RegCreateKeyEx, sim::When{}, ERROR_OUTOFMEMORY); },
         L"A }", E_OUTOFMEMORY, {Key("")}},
        {"a failed write", [] { sim::Fail(sim::Op::RegSetValueEx, sim::When{1}, ERROR_NOT_ENOUGH_MEMORY); },
         L"A = s 'x' B = s 'y' }", HRESULT_FROM_WIN32(ERROR_NOT_ENOUGH_MEMORY),
         {Key(""), Key("A"), Sz("A", "", "x"), Key("B")}},
        {"a block after Delete has no key", nullptr, L"Delete X { Y } }", HRESULT_FROM_WIN32(ERROR_INVALID_HANDLE),
         {Key("")}},
        {"a block after Val has no key when none came before", nullptr, L"Val N = s 'v' { Y } }",
         HRESULT_FROM_WIN32(ERROR_INVALID_HANDLE), {Key(""), Sz("", "N", "v")}},
        {"a block after Val belongs to the key before it", nullptr, L"A Val N = s 'v' { Y } }", S_OK,
         {Key(""), Sz("", "N", "v"), Key("A"), Key("A\\Y")}},
    };
}

TEST_F(RegistrationPass, FailuresEndTheWalkWithTheirResult) { RunCases(FailureCases(), TRUE); }

// Run as a root block of a script, a block with a syntax error (or a value the pass would refuse)
// fails before it writes anything, where the walk alone leaves what it made before the error.
TEST_F(RegistrationPass, ASyntaxErrorFailsItsRootBlockBeforeAnyWrite)
{
    for (const PassCase& c : FailureCases()) {
        if (c.before || (c.result != DISP_E_EXCEPTION && c.result != E_FAIL))
            continue;  // a failure of the registry itself, which the undo answers
        sim::ResetRegistry();
        Make(L"Scratch");
        const std::vector<sim::RegistryEntry> before = sim::DumpRegistry(HKEY_LOCAL_MACHINE);
        WideText script("HKLM { Scratch { ");
        script.Append(c.block).Append(" }");
        CRegScriptParser parser(nullptr);
        EXPECT_EQ(parser.RunScript(script.c_str(), TRUE), c.result) << c.name;
        EXPECT_TRUE(SameEntries(sim::DumpRegistry(HKEY_LOCAL_MACHINE), before)) << c.name;
        EXPECT_EQ(sim::OpenRegistryHandles(), 0) << c.name;
    }
}

TEST(RegistrationHelpers, HexDigitsTypeLettersAndProtectedNames)
{
    struct Digit { WCHAR c; BYTE value; };
    const Digit digits[] = {{L'0', 0}, {L'9', 9}, {L'A', 10}, {L'f', 15}, {L'g', 0}, {L' ', 0}};
    for (const Digit& d : digits)
        EXPECT_EQ(CRegScriptParser::HexDigitValue(d.c), d.value) << static_cast<char>(d.c);

    struct Letter { LPCWSTR token; bool known; VARTYPE type; };
    const Letter letters[] = {{L"s", true, 8}, {L"M", true, 0x2008}, {L"d", true, 19}, {L"B", true, 17},
                              {L"e", false, 0}, {L"ss", false, 0}, {L"", false, 0}};
    for (const Letter& l : letters) {
        VARTYPE type = 0;
        EXPECT_EQ(CRegScriptParser::ParseValueType(l.token, &type), l.known) << Utf8(l.token);
        if (l.known) {
            EXPECT_EQ(type, l.type) << Utf8(l.token);
        }
    }

    const LPCWSTR protectedNames[] = {L"AppID", L"clsid", L"Component Categories", L"FILETYPE", L"Interface",
                                      L"Hardware", L"Mime", L"SAM", L"security", L"SYSTEM", L"Software",
                                      L"TypeLib"};
    for (LPCWSTR name : protectedNames)
        EXPECT_FALSE(CRegScriptParser::MayForceRemove(name)) << Utf8(name);
    for (LPCWSTR name : {L"Foo", L"CLSID\\X", L"TypeLibs", L""})
        EXPECT_TRUE(CRegScriptParser::MayForceRemove(name)) << Utf8(name);
}

}  // namespace
