// What the system tests read of the real registry: whether a key is there, and a string value.
#pragma once

#include "platform/win32.h"

#include <string>

#include "child_process.h"

namespace vesk_test {

inline bool KeyExists(HKEY root, const std::wstring& path)
{
    HKEY key = nullptr;
    if (RegOpenKeyExW(root, path.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS)
        return false;
    RegCloseKey(key);
    return true;
}

// A string value (without a name, the key's default one), or "(missing)".
inline std::string StringValue(HKEY root, const std::wstring& path, const wchar_t* name = nullptr)
{
    wchar_t buffer[1024] = {};
    DWORD bytes = sizeof(buffer) - sizeof(wchar_t);
    if (RegGetValueW(root, path.c_str(), name, RRF_RT_REG_SZ, nullptr, buffer, &bytes) != ERROR_SUCCESS)
        return "(missing)";
    return NarrowText(buffer);
}

}  // namespace vesk_test
