#include "script_pass_support.h"

namespace {

using namespace entries;

class UnregistrationPass : public RegistryTest {};

void MakeValue(LPCWSTR path, LPCWSTR name, LPCWSTR text)
{
    RegistryKey key;
    ASSERT_EQ(key.CreateKey(HKEY_LOCAL_MACHINE, path), ERROR_SUCCESS);
    ASSERT_EQ(key.WriteString(name, text, REG_SZ), ERROR_SUCCESS);
}

TEST_F(UnregistrationPass, RemovesWhatTheBlockNamesBottomUp)
{
    auto guidTree = [] {
        Make(L"Scratch\\CLSID\\G", L"x");
        Make(L"Scratch\\CLSID\\G\\ProgID", L"y");
    };
    const std::vector<PassCase> cases = {
        {"a key goes once its named children are gone", [] { Make(L"Scratch\\A", L"x"); Make(L"Scratch\\A\\B"); },
         L"A = s 'x' { B } }", S_OK, {Key("")}},
        {"a key with a sub-key of others stays with its values",
         [] {
             Make(L"Scratch\\A", L"x");
             Make(L"Scratch\\A\\B");
             Make(L"Scratch\\A\\Foreign");
         },
         L"A { B } }", S_OK, {Key(""), Key("A"), Sz("A", "", "x"), Key("A\\Foreign")}},
        {"NoRemove keeps a shared key even when emptied", guidTree,
         L"NoRemove CLSID { ForceRemove G = s 'x' { ProgID = s 'y' } } }", S_OK, {Key(""), Key("CLSID")}},
        {"protected names play no part: an empty CLSID goes", [] { Make(L"Scratch\\CLSID"); }, L"CLSID }", S_OK,
         {Key("")}},
        {"Val removes the value from the block's parent",
         [] {
             MakeValue(L"Scratch\\A", L"N", L"n");
             MakeValue(L"Scratch\\A", L"M", L"m");
         },
         L"NoRemove A { val N = s 'x' } }", S_OK, {Key(""), Key("A"), Sz("A", "M", "m")}},
        {"NoRemove Val leaves the value", [] { MakeValue(L"Scratch", L"N", L"n"); }, L"NoRemove Val N = s 'x' }",
         S_OK, {Key(""), Sz("", "N", "n")}},
        {"a missing value is no error", nullptr, L"Val Missing = s 'x' }", S_OK, {Key("")}},
        {"a missing key is passed over with its block", [] { Make(L"Scratch\\Other"); },
         L"Missing { Inner { val X = s 'y' } Other } }", S_OK, {Key(""), Key("Other")}},
        {"Delete removes only a key without sub-keys", [] { Make(L"Scratch\\Foo\\Child"); }, L"Delete Foo }", S_OK,
         {Key(""), Key("Foo"), Key("Foo\\Child")}},
        {"ForceRemove removes only a key without sub-keys", [] { Make(L"Scratch\\Foo\\Child"); },
         L"ForceRemove Foo }", S_OK, {Key(""), Key("Foo"), Key("Foo\\Child")}},
        {"Delete of an empty key removes it", [] { Make(L"Scratch\\Foo"); }, L"Delete Foo }", S_OK, {Key("")}},
        {"the type letter is not checked", [] { Make(L"Scratch\\Foo"); }, L"Foo = q 'x' }", S_OK, {Key("")}},
        {"keys that existed before are removed when empty", [] { Make(L"Scratch\\Old", L"theirs"); }, L"Old }",
         S_OK, {Key("")}},
        {"a failure inside a skipped block is ignored", nullptr, L"Missing { A\\B } }", S_OK, {Key("")}},
    };
    RunCases(cases, FALSE);
}

TEST_F(UnregistrationPass, FailuresStopTheWalk)
{
    const HRESULT kAccessDenied = HRESULT_FROM_WIN32(ERROR_ACCESS_DENIED);
    const std::vector<PassCase> cases = {
        {"Val without =", nullptr, L"Val N s 'x' }", DISP_E_EXCEPTION, {Key("")}},
        {"a backslash in a key name", nullptr, L"A\\B }", DISP_E_EXCEPTION, {Key("")}},
        {"text ends inside a block", [] { Make(L"Scratch\\A"); }, L"A {", DISP_E_EXCEPTION,
         {Key(""), Key("A")}},
        {"a key that exists but cannot be read: nothing below it is touched",
         [] {
             Make(L"Scratch\\Before");
             Make(L"Scratch\\Locked\\Inner");
             Make(L"Scratch\\After");
             sim::RestrictKey(HKEY_LOCAL_MACHINE, L"Scratch\\Locked", false, true);
         },
         L"Before Locked { Inner } After }", kAccessDenied,
         {Key(""), Key("After"), Key("Locked"), Key("Locked\\Inner")}},
        {"the parent cannot be reopened for writing",
         [] {
             MakeValue(L"Scratch", L"N", L"n");
             sim::RestrictKey(HKEY_LOCAL_MACHINE, L"Scratch", true, false);
         },
         L"Val N = s 'x' }", kAccessDenied, {Key(""), Sz("", "N", "n")}},
        {"a value that cannot be deleted",
         [] {
             MakeValue(L"Scratch", L"N", L"n");
             sim::Fail(sim::Op::RegDeleteValue, sim::When{}, ERROR_NOT_ENOUGH_MEMORY);
         },
         L"Val N = s 'x' }", HRESULT_FROM_WIN32(ERROR_NOT_ENOUGH_MEMORY), {Key(""), Sz("", "N", "n")}},
        {"a key that cannot be deleted",
         [] {
             Make(L"Scratch\\A");
             Make(L"Scratch\\B");
             sim::Fail(sim::Op::RegDeleteKeyEx, sim::When{}, ERROR_ACCESS_DENIED);
         },
         L"A B }", kAccessDenied, {Key(""), Key("A"), Key("B")}},
    };
    RunCases(cases, FALSE);
}

TEST_F(UnregistrationPass, ASecondRunFindsNothingAndSucceeds)
{
    RegistryKey scratch;
    ASSERT_EQ(scratch.CreateKey(HKEY_LOCAL_MACHINE, L"Scratch"), ERROR_SUCCESS);
    Make(L"Scratch\\A\\B", L"x");
    MakeValue(L"Scratch\\A", L"V", L"v");
    LPCWSTR block = L"A { val V = s 'v' B = s 'x' { C } } }";
    EXPECT_EQ(WalkBlock(block, scratch.Handle(), FALSE), S_OK);
    EXPECT_TRUE(SameEntries(sim::DumpRegistry(HKEY_LOCAL_MACHINE, L"Scratch"), {Key("")}));
    EXPECT_EQ(WalkBlock(block, scratch.Handle(), FALSE), S_OK);
    EXPECT_TRUE(SameEntries(sim::DumpRegistry(HKEY_LOCAL_MACHINE, L"Scratch"), {Key("")}));
}

TEST_F(UnregistrationPass, DeletionsGoBottomUpWithoutViewBits)
{
    // The final deletion runs on a wrapper lent the parent handle, so no view bits go with it.
    RegistryKey scratch;
    ASSERT_EQ(scratch.CreateKey(HKEY_LOCAL_MACHINE, L"Scratch"), ERROR_SUCCESS);
    Make(L"Scratch\\A\\B");
    EXPECT_EQ(WalkBlock(L"A { B } }", scratch.Handle(), FALSE), S_OK);
    const std::vector<sim::DeletedKey> deleted = sim::DeletedKeys();
    ASSERT_EQ(deleted.size(), 2u);
    EXPECT_EQ(deleted[0].path, "HKLM\\Scratch\\A\\B");
    EXPECT_EQ(deleted[1].path, "HKLM\\Scratch\\A");
    EXPECT_EQ(deleted[0].view, 0u);
}

}  // namespace
