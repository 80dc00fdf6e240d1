// The replacement variables of one script run, as the script pre-processor looks them up.
#pragma once

#include "platform/win32.h"

// Names with their values in order of addition; names may repeat, and the first one wins.
class VariableMap {
public:
    // S_OK, E_INVALIDARG for a null name or value, E_OUTOFMEMORY with the map unchanged.
    HRESULT Add(LPCOLESTR name, LPCOLESTR value);
    void Clear();
    LPCOLESTR Find(LPCOLESTR name) const;
    int Count() const { return m_count; }

    VariableMap() = default;
    ~VariableMap() { Clear(); }
    VariableMap(const VariableMap&) = delete;
    VariableMap& operator=(const VariableMap&) = delete;

private:
    LPOLESTR* m_names = nullptr;
    LPOLESTR* m_values = nullptr;
    int m_count = 0;
};
