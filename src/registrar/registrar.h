// The registrar: the replacement variables of one registration or unregistration run, which the
// script pre-processor substitutes for the %name% references of a registry script. It lives on its
// owner's stack and is never handed out, so its IUnknown part is inert.
#pragma once

#include "platform/win32.h"
#include "registrar/variable_map.h"

struct IRegistrarVariables : public IUnknown {
    virtual HRESULT STDMETHODCALLTYPE AddVariable(LPCOLESTR name, LPCOLESTR value) = 0;
    virtual HRESULT STDMETHODCALLTYPE ClearVariables() = 0;
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
    LPCOLESTR FindVariable(LPCOLESTR name) const { return m_variables.Find(name); }
    int VariableCount() const { return m_variables.Count(); }
    // What a script run looks its %name% references up in.
    const VariableMap& Variables() const { return m_variables; }

private:
    VariableMap m_variables;
};
