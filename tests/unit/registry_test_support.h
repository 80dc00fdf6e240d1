// What the registrar's native tests share: the one fixture without the library, builders for the
// expected lines of a registry dump, the classes roots' dumps and the check of a type library's
// registration.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "enabler/ivesk_enabler.h"
#include "sim/sim_control.h"
#include "sim_fixture.h"
#include "registrar/per_user_registration.h"
#include "utf16.h"

// The registrar works without the library.
using RegistryTest = DetachedPlatformTest;

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

// The classes below the machine's and the user's roots, as a registration writes them.
inline std::vector<sim::RegistryEntry> MachineClasses()
{
    return sim::DumpRegistry(HKEY_LOCAL_MACHINE, L"Software\\Classes");
}
inline std::vector<sim::RegistryEntry> UserClasses()
{
    return sim::DumpRegistry(HKEY_CURRENT_USER, L"Software\\Classes");
}

// Creates `path` below `root` through the platform's own functions, with a default string value
// when one is given: the state a test starts from, made without the code under test.
inline void MakeKey(HKEY root, LPCWSTR path, LPCWSTR defaultValue = nullptr)
{
    HKEY key = nullptr;
    ASSERT_EQ(RegCreateKeyExW(root, path, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr),
              ERROR_SUCCESS)
        << Utf8(path);
    LONG written = ERROR_SUCCESS;
    if (defaultValue) {
        const DWORD bytes = static_cast<DWORD>((lstrlenW(defaultValue) + 1) * sizeof(WCHAR));
        written = RegSetValueExW(key, nullptr, 0, REG_SZ, reinterpret_cast<const BYTE*>(defaultValue),
                                 bytes);
    }
    RegCloseKey(key);
    ASSERT_EQ(written, ERROR_SUCCESS) << Utf8(path);
}

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

// That the platform holds exactly one registration of the server's type library, version 1.0, with
// `path` and for the current user or machine-wide as `perUser` says; the first difference named.
inline ::testing::AssertionResult OneVeskLibraryRegistration(const std::string& path, bool perUser)
{
    const std::vector<sim::TypeLibraryRegistration> records = sim::TypeLibraryRegistrations();
    if (records.size() != 1)
        return ::testing::AssertionFailure() << records.size() << " registrations, expected one";
    const sim::TypeLibraryRegistration& r = records[0];
    if (!(r.libid == LIBID_VeskLib))
        return ::testing::AssertionFailure() << "another library registered";
    if (r.wMajorVerNum != 1 || r.wMinorVerNum != 0)
        return ::testing::AssertionFailure() << "version " << r.wMajorVerNum << "." << r.wMinorVerNum;
    if (r.perUser != perUser)
        return ::testing::AssertionFailure() << (r.perUser ? "per user" : "machine-wide");
    if (Utf8(r.path) != path)
        return ::testing::AssertionFailure() << "registered with path " << Utf8(r.path);
    return ::testing::AssertionSuccess();
}
