// What RegistryKey does against the registry, stated through the platform's registry API alone so
// that the same cases can run against the simulation and against the real registry. The including
// file defines RegistryKeyBehaviour::PlatformSetUp and PlatformTearDown (fresh registry, checks).
#pragma once

#include <gtest/gtest.h>

#include <vector>

#include "platform/win32.h"
#include "registrar/registry_key.h"
#include "utf16.h"

class RegistryKeyBehaviour : public ::testing::Test {
protected:
    // One scratch key per process, so that cases running at once in one registry keep apart.
    static LPCWSTR ScratchPath()
    {
        static WCHAR path[64] = {};
        if (!path[0]) {
            const char* prefix = "Software\\VeskRegistryKeyBehaviour";
            int n = 0;
            for (; prefix[n]; ++n)
                path[n] = static_cast<WCHAR>(prefix[n]);
            char digits[16];
            int d = 0;
            for (DWORD id = GetCurrentProcessId(); id || d == 0; id /= 10)
                digits[d++] = static_cast<char>('0' + id % 10);
            while (d)
                path[n++] = static_cast<WCHAR>(digits[--d]);
        }
        return path;
    }
    static LPCWSTR ScratchName() { return ScratchPath() + 9; }  // after "Software\"

    void SetUp() override
    {
        PlatformSetUp();
        ASSERT_EQ(m_software.OpenKey(HKEY_CURRENT_USER, L"Software", KEY_READ | KEY_WRITE), ERROR_SUCCESS);
        m_software.DeleteTree(ScratchName());
        ASSERT_EQ(m_scratch.CreateKey(m_software.Handle(), ScratchName()), ERROR_SUCCESS);
    }
    void TearDown() override
    {
        m_scratch.CloseKey();
        EXPECT_EQ(m_software.DeleteTree(ScratchName()), ERROR_SUCCESS);
        m_software.CloseKey();
        PlatformTearDown();
    }
    void PlatformSetUp();
    void PlatformTearDown();

    HKEY Scratch() const { return m_scratch.Handle(); }

    // Creates `path` ('\' separated) below the scratch key with the platform API.
    void MakeKey(LPCWSTR path)
    {
        HKEY key = nullptr;
        ASSERT_EQ(RegCreateKeyExW(Scratch(), path, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr),
                  ERROR_SUCCESS);
        RegCloseKey(key);
    }
    static bool KeyExists(HKEY parent, LPCWSTR path)
    {
        HKEY key = nullptr;
        if (RegOpenKeyExW(parent, path, 0, KEY_READ, &key) != ERROR_SUCCESS)
            return false;
        RegCloseKey(key);
        return true;
    }
    // The value's type and bytes; false when it cannot be read.
    static bool ReadValue(HKEY key, LPCWSTR name, DWORD* type, std::vector<BYTE>* data)
    {
        DWORD size = 0;
        if (RegQueryValueExW(key, name, nullptr, type, nullptr, &size) != ERROR_SUCCESS)
            return false;
        data->assign(size, 0);
        return RegQueryValueExW(key, name, nullptr, type, data->empty() ? nullptr : data->data(), &size) ==
               ERROR_SUCCESS;
    }

    RegistryKey m_software;
    RegistryKey m_scratch;
};

TEST_F(RegistryKeyBehaviour, CloseKeyOnAnEmptyWrapperAnswersZeroAndStaysEmpty)
{
    RegistryKey key;
    EXPECT_EQ(key.CloseKey(), ERROR_SUCCESS);
    EXPECT_EQ(key.Handle(), nullptr);
    EXPECT_EQ(key.ViewFlags(), 0u);
}

TEST_F(RegistryKeyBehaviour, WritesStoreTheTypeAndByteCountOfEachKind)
{
    static const WCHAR kPair[] = {L'a', 0, L'b', L'c', 0, 0};
    static const WCHAR kEmptyList[] = {0};
    static const BYTE kBytes[] = {0xAB, 0x00, 0x0F};
    struct Case {
        const char* name;
        LPCWSTR valueName;
        LONG (*write)(RegistryKey&, LPCWSTR);
        DWORD type;
        std::vector<BYTE> bytes;
    };
    const Case cases[] = {
        {"a three-character string counts its terminator: 8 bytes", L"Str",
         [](RegistryKey& k, LPCWSTR n) { return k.WriteString(n, L"abc", REG_SZ); }, REG_SZ,
         {'a', 0, 'b', 0, 'c', 0, 0, 0}},
        {"the default value is the one without a name", nullptr,
         [](RegistryKey& k, LPCWSTR n) { return k.WriteString(n, L"d", REG_SZ); }, REG_SZ, {'d', 0, 0, 0}},
        {"a number is four little-endian bytes", L"Num",
         [](RegistryKey& k, LPCWSTR n) { return k.WriteDword(n, 0x12345678u); }, REG_DWORD,
         {0x78, 0x56, 0x34, 0x12}},
        {"binary data is written as given", L"Bin",
         [](RegistryKey& k, LPCWSTR n) { return k.WriteBinary(n, kBytes, 3); }, REG_BINARY, {0xAB, 0x00, 0x0F}},
        {"a one- and a two-character string and the end: 12 bytes", L"Multi",
         [](RegistryKey& k, LPCWSTR n) { return k.WriteMultiString(n, kPair); }, REG_MULTI_SZ,
         {'a', 0, 0, 0, 'b', 0, 'c', 0, 0, 0, 0, 0}},
        {"a list of only the empty string: 2 bytes", L"Empty",
         [](RegistryKey& k, LPCWSTR n) { return k.WriteMultiString(n, kEmptyList); }, REG_MULTI_SZ, {0, 0}},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(c.write(m_scratch, c.valueName), ERROR_SUCCESS) << c.name;
        DWORD type = 0;
        std::vector<BYTE> data;
        ASSERT_TRUE(ReadValue(Scratch(), c.valueName, &type, &data)) << c.name;
        EXPECT_EQ(type, c.type) << c.name;
        EXPECT_EQ(data, c.bytes) << c.name;
    }
}

TEST_F(RegistryKeyBehaviour, NullTextIsInvalidDataAndWritesNothing)
{
    EXPECT_EQ(m_scratch.WriteString(L"S", nullptr, REG_SZ), ERROR_INVALID_DATA);
    EXPECT_EQ(m_scratch.WriteMultiString(L"M", nullptr), ERROR_INVALID_DATA);
    DWORD type = 0;
    std::vector<BYTE> data;
    EXPECT_FALSE(ReadValue(Scratch(), L"S", &type, &data));
    EXPECT_FALSE(ReadValue(Scratch(), L"M", &type, &data));
}

TEST_F(RegistryKeyBehaviour, FailedOpenKeepsTheKeyAlreadyHeld)
{
    RegistryKey key;
    ASSERT_EQ(key.OpenKey(HKEY_CURRENT_USER, L"Software", KEY_READ), ERROR_SUCCESS);
    ASSERT_EQ(key.OpenKey(Scratch(), L"Missing", KEY_READ), ERROR_FILE_NOT_FOUND);
    ASSERT_NE(key.Handle(), nullptr);
    EXPECT_TRUE(KeyExists(key.Handle(), ScratchName())) << "the old handle still works";
}

TEST_F(RegistryKeyBehaviour, ReadOnlyHandleRefusesWrites)
{
    RegistryKey key;
    ASSERT_EQ(key.OpenKey(HKEY_CURRENT_USER, ScratchPath(), KEY_READ), ERROR_SUCCESS);
    EXPECT_EQ(key.WriteString(L"x", L"y", REG_SZ), ERROR_ACCESS_DENIED);
    EXPECT_EQ(key.WriteDword(L"x", 1), ERROR_ACCESS_DENIED);
}

TEST_F(RegistryKeyBehaviour, ViewBitsComeFromTheAccessOfTheOpen)
{
    RegistryKey key;
    ASSERT_EQ(key.OpenKey(HKEY_CURRENT_USER, L"Software", KEY_READ | KEY_WOW64_64KEY), ERROR_SUCCESS);
    EXPECT_EQ(key.ViewFlags(), static_cast<DWORD>(KEY_WOW64_64KEY));
    ASSERT_EQ(key.CreateKey(Scratch(), L"Created"), ERROR_SUCCESS);
    EXPECT_EQ(key.ViewFlags(), 0u) << "CreateKey asks for no view";
    EXPECT_EQ(key.CloseKey(), ERROR_SUCCESS);
    EXPECT_EQ(key.ViewFlags(), 0u);
}

TEST_F(RegistryKeyBehaviour, DeleteTreeOfAMissingKeyIsFileNotFound)
{
    EXPECT_EQ(m_scratch.DeleteTree(L"Missing"), ERROR_FILE_NOT_FOUND);
}

TEST_F(RegistryKeyBehaviour, DeleteTreeRemovesTheKeyWithEverythingBelowIt)
{
    MakeKey(L"Tree\\A\\A1\\A11");
    MakeKey(L"Tree\\A\\A2");
    MakeKey(L"Tree\\B");
    MakeKey(L"Sibling");
    {
        RegistryKey leaf;
        ASSERT_EQ(leaf.OpenKey(Scratch(), L"Tree\\A\\A1\\A11", KEY_WRITE), ERROR_SUCCESS);
        ASSERT_EQ(leaf.WriteString(nullptr, L"deep", REG_SZ), ERROR_SUCCESS);
    }
    EXPECT_EQ(m_scratch.DeleteTree(L"Tree"), ERROR_SUCCESS);
    EXPECT_FALSE(KeyExists(Scratch(), L"Tree"));
    EXPECT_TRUE(KeyExists(Scratch(), L"Sibling"));
}

TEST_F(RegistryKeyBehaviour, DeleteChildKeyRemovesOnlyAKeyWithoutSubKeys)
{
    MakeKey(L"Parent\\Child");
    {
        RegistryKey child;
        ASSERT_EQ(child.OpenKey(Scratch(), L"Parent\\Child", KEY_WRITE), ERROR_SUCCESS);
        ASSERT_EQ(child.WriteString(L"kept", L"with the key", REG_SZ), ERROR_SUCCESS);
    }
    EXPECT_NE(m_scratch.DeleteChildKey(L"Parent"), ERROR_SUCCESS);
    EXPECT_TRUE(KeyExists(Scratch(), L"Parent\\Child"));
    RegistryKey parent;
    ASSERT_EQ(parent.OpenKey(Scratch(), L"Parent", KEY_READ), ERROR_SUCCESS);
    EXPECT_EQ(parent.DeleteChildKey(L"Child"), ERROR_SUCCESS) << "values do not keep a key";
    EXPECT_FALSE(KeyExists(Scratch(), L"Parent\\Child"));
    EXPECT_EQ(parent.DeleteChildKey(L"Child"), ERROR_FILE_NOT_FOUND);
}

TEST_F(RegistryKeyBehaviour, HasChildKeysCountsSubKeysAndTreatsFailureAsNone)
{
    MakeKey(L"Full\\Inner");
    MakeKey(L"Empty");
    RegistryKey full;
    RegistryKey empty;
    ASSERT_EQ(full.OpenKey(Scratch(), L"Full", KEY_READ), ERROR_SUCCESS);
    ASSERT_EQ(empty.OpenKey(Scratch(), L"Empty", KEY_READ), ERROR_SUCCESS);
    EXPECT_TRUE(RegistryKey::HasChildKeys(full.Handle()));
    EXPECT_FALSE(RegistryKey::HasChildKeys(empty.Handle()));
    EXPECT_FALSE(RegistryKey::HasChildKeys(nullptr));
}

TEST_F(RegistryKeyBehaviour, RemoveValueAnswersFileNotFoundOnceItIsGone)
{
    ASSERT_EQ(m_scratch.WriteString(L"Doomed", L"x", REG_SZ), ERROR_SUCCESS);
    EXPECT_EQ(m_scratch.RemoveValue(L"Doomed"), ERROR_SUCCESS);
    EXPECT_EQ(m_scratch.RemoveValue(L"Doomed"), ERROR_FILE_NOT_FOUND);
}

// The registry answers that the script passes rely on.
TEST_F(RegistryKeyBehaviour, TheRegistryAnswersThePassesRelyOn)
{
    MakeKey(L"Parent\\Child");
    HKEY parent = nullptr;
    ASSERT_EQ(RegOpenKeyExW(Scratch(), L"Parent", 0, KEY_READ, &parent), ERROR_SUCCESS);
    HKEY missing = reinterpret_cast<HKEY>(1);
    EXPECT_EQ(RegOpenKeyExW(Scratch(), L"Missing", 0, KEY_READ, &missing), ERROR_FILE_NOT_FOUND)
        << "opening a missing key";
    EXPECT_EQ(missing, nullptr) << "a failed open hands out no handle";
    EXPECT_EQ(RegDeleteValueW(Scratch(), L"Missing"), ERROR_FILE_NOT_FOUND) << "deleting a missing value";
    EXPECT_EQ(RegDeleteKeyW(Scratch(), L"Parent"), ERROR_ACCESS_DENIED) << "deleting a key with sub-keys";
    EXPECT_EQ(RegDeleteKeyW(Scratch(), L"Missing"), ERROR_FILE_NOT_FOUND) << "deleting a missing key";
    HKEY folded = nullptr;
    EXPECT_EQ(RegOpenKeyExW(Scratch(), L"PARENT\\cHILD", 0, KEY_READ, &folded), ERROR_SUCCESS)
        << "names compare without letter case";
    RegCloseKey(folded);
    MakeKey(L"\u00C4rger");
    folded = nullptr;
    EXPECT_EQ(RegOpenKeyExW(Scratch(), L"\u00E4rger", 0, KEY_READ, &folded), ERROR_SUCCESS)
        << "beyond ASCII too";
    RegCloseKey(folded);

    WCHAR name[8];
    DWORD size = 3;
    EXPECT_EQ(RegEnumKeyExW(parent, 0, name, &size, nullptr, nullptr, nullptr, nullptr), ERROR_MORE_DATA)
        << "a name buffer without room for the terminator";
    size = 8;
    ASSERT_EQ(RegEnumKeyExW(parent, 0, name, &size, nullptr, nullptr, nullptr, nullptr), ERROR_SUCCESS);
    EXPECT_EQ(Utf8(name), "Child");
    EXPECT_EQ(size, 5u) << "the length comes back without the terminator";
    size = 8;
    EXPECT_EQ(RegEnumKeyExW(parent, 1, name, &size, nullptr, nullptr, nullptr, nullptr), ERROR_NO_MORE_ITEMS);

    HKEY child = nullptr;
    ASSERT_EQ(RegOpenKeyExW(parent, L"Child", 0, KEY_ALL_ACCESS, &child), ERROR_SUCCESS);
    const BYTE data[] = {1, 0, 0, 0};
    ASSERT_EQ(RegSetValueExW(child, L"Kept", 0, REG_DWORD, data, 4), ERROR_SUCCESS);
    EXPECT_EQ(RegDeleteKeyW(parent, L"Child"), ERROR_SUCCESS) << "values do not keep a key";
    EXPECT_EQ(RegSetValueExW(child, L"After", 0, REG_DWORD, data, 4), ERROR_KEY_DELETED)
        << "a handle outlives its deleted key";
    EXPECT_EQ(RegCloseKey(child), ERROR_SUCCESS);
    EXPECT_EQ(RegCloseKey(parent), ERROR_SUCCESS);
}
