// The registrar: the replacement variables of one registration or unregistration run, which the
// script pre-processor substitutes for the %name% references of a registry script. It lives on its
// owner's stack and is never handed out, so its IUnknown part is inert.
#pragma once

#include "platform/win32.h"

struct IRegistrarVariables : public IUnknown {
    virtual HRESULT STDMETHODCALLTYPE AddVariable(LPCOLESTR name, LPCOLESTR value) = 0;
    virtual HRESULT STDMETHODCALLTYPE ClearVariables() = 0;
};

// Names with their values in order of addition; names may repeat, and the first one wins.
class VariableMap {
public:
    VariableMap() = default;
    VariableMap(const VariableMap&) = delete;
    VariableMap& operator=(const VariableMap&) = delete;
    ~VariableMap() { Clear(); }

    HRESULT Add(LPCOLESTR name, LPCOLESTR value);
    void Clear();
    LPCOLESTR Find(LPCOLESTR name) const;
    int Count() const { return m_count; }

private:
    LPOLESTR* m_names = nullptr;
    LPOLESTR* m_values = nullptr;
    int m_count = 0;
};

class CRegistrar : public IRegistrarVariables {
public:
    CRegistrar() = default;
    CRegistrar(const CRegistrar&) = delete;
    CRegistrar& operator=(const CRegistrar&) = delete;

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppvObject) override;
    ULONG STDMETHODCALLTYPE AddRef() override;
    ULONG STDMETHODCALLTYPE Release() override;
    HRESULT STDMETHODCALLTYPE AddVariable(LPCOLESTR name, LPCOLESTR value) override;
    HRESULT STDMETHODCALLTYPE ClearVariables() override;
    virtual ~CRegistrar();

    // The value of the first variable of that name (any letter case), or null. Valid until the
    // variables are cleared.
    LPCOLESTR FindVariable(LPCOLESTR name) const;
    int VariableCount() const { return m_variables.Count(); }

    // Runs the script held as resource `resourceId` (its low 16 bits, an integer identifier) of
    // type `resourceType` in the module file `moduleFile`, registering or unregistering.
    HRESULT RegisterResourceScript(LPCOLESTR moduleFile, UINT resourceId, LPCOLESTR resourceType);
    HRESULT UnregisterResourceScript(LPCOLESTR moduleFile, UINT resourceId, LPCOLESTR resourceType);

private:
    HRESULT RunResourceScript(LPCOLESTR moduleFile, LPCOLESTR resourceName, LPCOLESTR resourceType, BOOL bRegister);

    VariableMap m_variables;
};
