// What the registrar's native tests share: the one fixture without the library, and builders for
// the expected lines of a registry dump.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "sim/sim_control.h"
#include "sim_fixture.h"
#include "registrar/per_user_registration.h"
#include "utf16.h"

// The registrar works without the library.
class RegistryTest : public SimulatedPlatformTest {
protected:
    RegistryTest() : SimulatedPlatformTest(false) {}
};

namespace entries {

inline std::vector<BYTE> WideBytes(const std::u16string& text, bool terminated = true)
{
    std::vector<BYTE> bytes;
    for (char16_t c : text) {
        bytes.push_back(static_cast<BYTE>(c & 0xFF));
        bytes.push_back(static_cast<BYTE>(c >> 8));
    }
    if (terminated) {
        bytes.push_back(0);
        bytes.push_back(0);
    }
    return bytes;
}

inline std::u16string Widen(const std::string& ascii)
{
    std::u16string text;
    for (char c : ascii)
        text.push_back(static_cast<char16_t>(static_cast<unsigned char>(c)));
    return text;
}

inline sim::RegistryEntry Key(const std::string& path) { return sim::RegistryEntry{path, false, "", 0, {}}; }

inline sim::RegistryEntry Sz(const std::string& path, const std::string& name, const std::string& text)
{
    return sim::RegistryEntry{path, true, name, REG_SZ, WideBytes(Widen(text))};
}

inline sim::RegistryEntry Dword(const std::string& path, const std::string& name, DWORD value)
{
    return sim::RegistryEntry{path, true, name, REG_DWORD,
                              {static_cast<BYTE>(value), static_cast<BYTE>(value >> 8),
                               static_cast<BYTE>(value >> 16), static_cast<BYTE>(value >> 24)}};
}

inline sim::RegistryEntry Binary(const std::string& path, const std::string& name, std::vector<BYTE> bytes)
{
    return sim::RegistryEntry{path, true, name, REG_BINARY, std::move(bytes)};
}

// `strings` joined by NULs as written, the final empty string's terminator included by the caller.
inline sim::RegistryEntry Multi(const std::string& path, const std::string& name, const std::u16string& list)
{
    return sim::RegistryEntry{path, true, name, REG_MULTI_SZ, WideBytes(list, false)};
}

}  // namespace entries

// Compares two dumps entry by entry, naming the first difference.
inline ::testing::AssertionResult SameEntries(const std::vector<sim::RegistryEntry>& actual,
                                              const std::vector<sim::RegistryEntry>& expected)
{
    const size_t n = std::min(actual.size(), expected.size());
    for (size_t i = 0; i < n; ++i) {
        if (!(actual[i] == expected[i]))
            return ::testing::AssertionFailure()
                   << "entry " << i << " differs: got " << sim::DescribeEntries({actual[i]}) << "expected "
                   << sim::DescribeEntries({expected[i]}) << "whole dump:\n" << sim::DescribeEntries(actual);
        }
    if (actual.size() != expected.size())
        return ::testing::AssertionFailure() << "got " << actual.size() << " entries, expected " << expected.size()
                                             << "; whole dump:\n" << sim::DescribeEntries(actual);
    return ::testing::AssertionSuccess();
}

// The entries the server's script writes, below the classes root the registration went to, with
// `inprocServer` as the in-process server path; keys in enumeration order, values in name order.
inline std::vector<sim::RegistryEntry> ServerScriptEntries(const std::string& inprocServer)
{
    using namespace entries;
    const std::string guid = "{4D2A7C19-0B6E-4F83-9A51-C7E2D8B3F046}";
    const std::string libid = "{A1C5E3F7-6B28-4D9A-8E40-2F7B9C1D5E63}";
    const std::string clsid = "CLSID\\" + guid;
    return {
        Key(""),
        Key("CLSID"),
        Key(clsid),
        Sz(clsid, "", "VeskEnabler Class"),
        Key(clsid + "\\InprocServer32"),
        Sz(clsid + "\\InprocServer32", "", inprocServer),
        Sz(clsid + "\\InprocServer32", "ThreadingModel", "Apartment"),
        Key(clsid + "\\ProgID"),
        Sz(clsid + "\\ProgID", "", "Vesk.VeskEnabler.1"),
        Key(clsid + "\\Programmable"),
        Key(clsid + "\\TypeLib"),
        Sz(clsid + "\\TypeLib", "", libid),
        Key(clsid + "\\VersionIndependentProgID"),
        Sz(clsid + "\\VersionIndependentProgID", "", "Vesk.VeskEnabler"),
        Key("Vesk.VeskEnabler"),
        Sz("Vesk.VeskEnabler", "", "VeskEnabler Class"),
        Key("Vesk.VeskEnabler\\CLSID"),
        Sz("Vesk.VeskEnabler\\CLSID", "", guid),
        Key("Vesk.VeskEnabler\\CurVer"),
        Sz("Vesk.VeskEnabler\\CurVer", "", "Vesk.VeskEnabler.1"),
        Key("Vesk.VeskEnabler.1"),
        Sz("Vesk.VeskEnabler.1", "", "VeskEnabler Class"),
        Key("Vesk.VeskEnabler.1\\CLSID"),
        Sz("Vesk.VeskEnabler.1\\CLSID", "", guid),
    };
}
