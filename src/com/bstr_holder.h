// Owns one BSTR and frees it when it goes out of scope.
#pragma once

#include "platform/win32.h"

class CBstrHolder {
public:
    CBstrHolder() = default;
    explicit CBstrHolder(BSTR text) : m_text(text) {}
    ~CBstrHolder() { Free(); }
    CBstrHolder(const CBstrHolder&) = delete;
    CBstrHolder& operator=(const CBstrHolder&) = delete;

    BSTR Get() const { return m_text; }
    // For an out parameter: whatever was held is freed first.
    BSTR* Out()
    {
        Free();
        return &m_text;
    }
    void Free()
    {
        SysFreeString(m_text);
        m_text = nullptr;
    }

private:
    BSTR m_text = nullptr;
};
