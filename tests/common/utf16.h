// UTF-16 text for tests: conversion to UTF-8 for GoogleTest messages and comparisons, and wide text
// built at run time (never std::wstring: WCHAR is 16 bits in the native build).
#pragma once

#include <string>

#include "platform/win32.h"

inline std::string Utf8(LPCWSTR text)
{
    std::string out;
    if (!text)
        return "(null)";
    for (; *text; ++text) {
        uint32_t c = static_cast<uint16_t>(*text);
        if (c >= 0xD800 && c < 0xDC00 && text[1] >= 0xDC00 && text[1] < 0xE000) {
            c = 0x10000 + ((c - 0xD800) << 10) + (static_cast<uint16_t>(text[1]) - 0xDC00);
            ++text;
        }
        if (c < 0x80) {
            out.push_back(static_cast<char>(c));
        } else if (c < 0x800) {
            out.push_back(static_cast<char>(0xC0 | (c >> 6)));
            out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
        } else if (c < 0x10000) {
            out.push_back(static_cast<char>(0xE0 | (c >> 12)));
            out.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
            out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
        } else {
            out.push_back(static_cast<char>(0xF0 | (c >> 18)));
            out.push_back(static_cast<char>(0x80 | ((c >> 12) & 0x3F)));
            out.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
            out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
        }
    }
    return out;
}

inline std::string Utf8(const std::u16string& text) { return Utf8(reinterpret_cast<LPCWSTR>(text.c_str())); }

// Wide text assembled at run time; ASCII input only.
class WideText {
public:
    WideText() = default;
    explicit WideText(const std::string& ascii) { Append(ascii); }
    WideText& Append(const std::string& ascii)
    {
        for (char c : ascii)
            m_text.push_back(static_cast<char16_t>(static_cast<unsigned char>(c)));
        return *this;
    }
    WideText& Append(LPCWSTR text)
    {
        for (; text && *text; ++text)
            m_text.push_back(static_cast<char16_t>(*text));
        return *this;
    }
    WideText& Repeat(char16_t c, size_t count)
    {
        m_text.append(count, c);
        return *this;
    }
    LPCWSTR c_str() const { return reinterpret_cast<LPCWSTR>(m_text.c_str()); }
    size_t size() const { return m_text.size(); }

private:
    std::u16string m_text;
};
