// The growing output text of the pre-processor, in task memory so that it can be handed out.
#pragma once

#include "platform/win32.h"

class ScriptBuffer {
public:
    // Capacity `initialCapacity` characters, at least 1000; m_text is null when it cannot be had.
    explicit ScriptBuffer(int initialCapacity);
    ScriptBuffer(const ScriptBuffer&) = delete;
    ScriptBuffer& operator=(const ScriptBuffer&) = delete;
    ~ScriptBuffer() { CoTaskMemFree(m_text); }

    bool Append(LPCOLESTR characters, int n);
    bool AppendText(LPCOLESTR text);
    // Hands the text to the caller, who frees it with CoTaskMemFree.
    LPOLESTR Detach()
    {
        LPOLESTR text = m_text;
        m_text = nullptr;
        return text;
    }

    int m_length = 0;
    int m_capacity = 0;
    LPOLESTR m_text = nullptr;
};
