// UTF-16 text for test messages: gtest never sees wide strings.
#pragma once

#include <string>

#include "platform/win32.h"

inline std::string Utf8(const WCHAR* text)
{
    std::string out;
    if (!text)
        return "(null)";
    for (; *text; ++text) {
        const unsigned c = static_cast<unsigned>(*text);
        if (c < 0x80) {
            out.push_back(static_cast<char>(c));
        } else if (c < 0x800) {
            out.push_back(static_cast<char>(0xC0 | (c >> 6)));
            out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
        } else {
            out.push_back(static_cast<char>(0xE0 | (c >> 12)));
            out.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
            out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
        }
    }
    return out;
}

inline std::string Utf8(const std::u16string& text) { return Utf8(reinterpret_cast<const WCHAR*>(text.c_str())); }
