#include "registrar/registrar.h"

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
