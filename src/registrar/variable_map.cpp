#include "registrar/variable_map.h"

namespace {

LPOLESTR CopyText(LPCOLESTR text)
{
    const size_t count = static_cast<size_t>(lstrlenW(text)) + 1;
    auto* copy = static_cast<LPOLESTR>(CoTaskMemAlloc(count * sizeof(OLECHAR)));
    if (copy) {
        for (size_t i = 0; i < count; ++i)
            copy[i] = text[i];
    }
    return copy;
}

// Grows an array of text pointers by exactly one slot; null when the block cannot be had.
LPOLESTR* GrowByOne(LPOLESTR* array, int count)
{
    return static_cast<LPOLESTR*>(CoTaskMemRealloc(array, (static_cast<size_t>(count) + 1) * sizeof(LPOLESTR)));
}

}  // namespace

HRESULT VariableMap::Add(LPCOLESTR name, LPCOLESTR value)
{
    if (!name || !value)
        return E_INVALIDARG;
    LPOLESTR nameCopy = CopyText(name);
    LPOLESTR valueCopy = CopyText(value);
    // Each array grows on its own: one that grew before the other failed keeps its spare slot.
    LPOLESTR* names = nameCopy && valueCopy ? GrowByOne(m_names, m_count) : nullptr;
    if (names)
        m_names = names;
    LPOLESTR* values = names ? GrowByOne(m_values, m_count) : nullptr;
    if (!values) {
        CoTaskMemFree(nameCopy);
        CoTaskMemFree(valueCopy);
        return E_OUTOFMEMORY;
    }
    m_values = values;
    m_names[m_count] = nameCopy;
    m_values[m_count] = valueCopy;
    ++m_count;
    return S_OK;
}

void VariableMap::Clear()
{
    for (int i = 0; i < m_count; ++i) {
        CoTaskMemFree(m_names[i]);
        CoTaskMemFree(m_values[i]);
    }
    CoTaskMemFree(m_names);
    CoTaskMemFree(m_values);
    m_names = nullptr;
    m_values = nullptr;
    m_count = 0;
}

LPCOLESTR VariableMap::Find(LPCOLESTR name) const
{
    if (!name)
        return nullptr;
    for (int i = 0; i < m_count; ++i)
        if (lstrcmpiW(m_names[i], name) == 0)
            return m_values[i];
    return nullptr;
}
