// Tables of blocks walked by one pass under HKLM\\Scratch, each on a fresh simulated registry,
// with the tree the block must leave behind.
#pragma once

#include <functional>
#include <vector>

#include "registrar/reg_script_parser.h"
#include "registrar/registry_key.h"
#include "registry_test_support.h"

// Walks one block (the text after its opening brace) under HKLM\Scratch on a fresh registry.
inline HRESULT WalkBlock(LPCWSTR block, HKEY parent, BOOL registering)
{
    CRegScriptParser parser(nullptr);
    parser.Start(block);
    WCHAR token[CRegScriptParser::kTokenCapacity];
    return parser.WalkKeyBlock(token, parent, registering, FALSE);
}

// A key below HKLM that a row starts from.
inline void Make(LPCWSTR path, LPCWSTR defaultValue = nullptr) { MakeKey(HKEY_LOCAL_MACHINE, path, defaultValue); }

struct PassCase {
    const char* name;
    std::function<void()> before;
    LPCWSTR block;
    HRESULT result;
    std::vector<sim::RegistryEntry> after;  // HKLM\Scratch
};

inline void RunCases(const std::vector<PassCase>& cases, BOOL registering)
{
    for (const PassCase& c : cases) {
        sim::ResetRegistry();
        RegistryKey scratch;
        ASSERT_EQ(scratch.CreateKey(HKEY_LOCAL_MACHINE, L"Scratch"), ERROR_SUCCESS);
        if (c.before)
            c.before();
        EXPECT_EQ(WalkBlock(c.block, scratch.Handle(), registering), c.result) << c.name;
        EXPECT_TRUE(SameEntries(sim::DumpRegistry(HKEY_LOCAL_MACHINE, L"Scratch"), c.after)) << c.name;
        EXPECT_EQ(sim::OpenRegistryHandles(), 1) << c.name << ": only the scratch key stays open";
    }
}

