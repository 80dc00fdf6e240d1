#include "registrar/registrar.h"

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
    if (!nameCopy || !valueCopy) {
        CoTaskMemFree(nameCopy);
        CoTaskMemFree(valueCopy);
        return E_OUTOFMEMORY;
    }
    LPOLESTR* names = GrowByOne(m_names, m_count);
    if (!names) {
        CoTaskMemFree(nameCopy);
        CoTaskMemFree(valueCopy);
        return E_OUTOFMEMORY;
    }
    m_names = names;
    LPOLESTR* values = GrowByOne(m_values, m_count);
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

HRESULT STDMETHODCALLTYPE CRegistrar::QueryInterface(REFIID, void**) { return E_NOTIMPL; }

ULONG STDMETHODCALLTYPE CRegistrar::AddRef() { return 1; }

ULONG STDMETHODCALLTYPE CRegistrar::Release() { return 0; }

HRESULT STDMETHODCALLTYPE CRegistrar::AddVariable(LPCOLESTR name, LPCOLESTR value)
{
    return m_variables.Add(name, value);
}

HRESULT STDMETHODCALLTYPE CRegistrar::ClearVariables()
{
    m_variables.Clear();
    return S_OK;
}

CRegistrar::~CRegistrar() { m_variables.Clear(); }

LPCOLESTR CRegistrar::FindVariable(LPCOLESTR name) const { return m_variables.Find(name); }
