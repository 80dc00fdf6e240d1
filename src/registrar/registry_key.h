// The owner of one open registry key: opens, creates and closes it, writes the four kinds of value
// that registry scripts produce, removes values and deletes child keys singly or as whole trees.
// Every operation answers the registry's Win32 code unchanged (0 = success).
#pragma once

#include "platform/win32.h"

class RegistryKey {
public:
    RegistryKey() = default;
    RegistryKey(const RegistryKey&) = delete;
    RegistryKey& operator=(const RegistryKey&) = delete;
    ~RegistryKey() { CloseKey(); }

    LONG OpenKey(HKEY parent, LPCWSTR name, REGSAM access);
    LONG CreateKey(HKEY parent, LPCWSTR name);
    LONG CloseKey();

    LONG WriteString(LPCWSTR valueName, LPCWSTR text, DWORD type);
    LONG WriteDword(LPCWSTR valueName, DWORD value);
    LONG WriteBinary(LPCWSTR valueName, const BYTE* bytes, DWORD byteCount);
    // `list`: zero-terminated strings ended by an empty one.
    LONG WriteMultiString(LPCWSTR valueName, LPCWSTR list);
    LONG RemoveValue(LPCWSTR valueName);

    // Deletes a child that has no children of its own, in this key's registry view.
    LONG DeleteChildKey(LPCWSTR name);
    // Deletes a child with everything below it, deepest keys first.
    LONG DeleteTree(LPCWSTR name);

    // True when `handle` answers its query with at least one sub-key; a failed query counts as none.
    static bool HasChildKeys(HKEY handle);

    // Lends the wrapper a handle it does not own (view bits 0); Disown gives it back unclosed.
    void Borrow(HKEY handle)
    {
        m_handle = handle;
        m_viewFlags = 0;
    }
    // Gives up the handle without closing it.
    void Disown()
    {
        m_handle = nullptr;
        m_viewFlags = 0;
    }

    HKEY Handle() const { return m_handle; }
    DWORD ViewFlags() const { return m_viewFlags; }

private:
    LONG Adopt(HKEY newHandle, REGSAM access);

    HKEY m_handle = nullptr;
    DWORD m_viewFlags = 0;
};

// A RegistryKey lent a handle for the length of a scope, given back without being closed.
class BorrowedKey {
public:
    explicit BorrowedKey(HKEY handle) { m_key.Borrow(handle); }
    BorrowedKey(const BorrowedKey&) = delete;
    BorrowedKey& operator=(const BorrowedKey&) = delete;
    ~BorrowedKey() { m_key.Disown(); }
    RegistryKey& Key() { return m_key; }

private:
    RegistryKey m_key;
};
