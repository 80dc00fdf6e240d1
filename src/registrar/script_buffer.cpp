#include "registrar/script_buffer.h"

#include <cstdint>

#include "base/server_exception.h"
#include "base/string_copy.h"

ScriptBuffer::ScriptBuffer(int initialCapacity)
{
    m_capacity = initialCapacity < 100 ? 1000 : initialCapacity;
    const uint64_t bytes = static_cast<uint64_t>(m_capacity) * sizeof(OLECHAR);
    if (bytes <= UINT32_MAX)
        m_text = static_cast<LPOLESTR>(CoTaskMemAlloc(static_cast<SIZE_T>(bytes)));
    if (m_text)
        m_text[0] = 0;
}

bool ScriptBuffer::Append(LPCOLESTR characters, int n)
{
    if (!m_text || n < 0)
        return false;
    const int64_t needed = static_cast<int64_t>(m_length) + n + 1;
    if (needed > INT32_MAX)
        return false;
    if (needed >= m_capacity) {
        int64_t capacity = m_capacity;
        while (capacity <= needed) {
            if (capacity > 0x3FFFFFFF)
                return false;
            capacity *= 2;
        }
        auto* grown = static_cast<LPOLESTR>(
            CoTaskMemRealloc(m_text, static_cast<SIZE_T>(capacity) * sizeof(OLECHAR)));
        if (!grown)
            return false;
        m_text = grown;
        m_capacity = static_cast<int>(capacity);
    }
    const size_t room = static_cast<size_t>(m_capacity - m_length) * sizeof(OLECHAR);
    if (BoundedMemoryCopy(m_text + m_length, room, characters, static_cast<size_t>(n) * sizeof(OLECHAR)) !=
        kStringOk)
        return false;
    m_length += n;
    m_text[m_length] = 0;
    return true;
}

bool ScriptBuffer::AppendText(LPCOLESTR text)
{
    if (!text)
        return false;
    return Append(text, lstrlenW(text));
}
