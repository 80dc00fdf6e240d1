// A minimal COM object around CVeskEnabler for tests of the enabler's own logic: counts references
// through the object root, answers QueryInterface from the enabler's map, and leaves the dispatch
// slots unanswered.
#pragma once

#include "enabler/vesk_enabler.h"

class TestEnablerObject : public CVeskEnabler {
public:
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override
    {
        return LookupInterface(this, InterfaceMap(), iid, out);
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return static_cast<ULONG>(InternalAddRef()); }
    ULONG STDMETHODCALLTYPE Release() override
    {
        const LONG count = InternalRelease();
        if (count == 0)
            delete this;
        return static_cast<ULONG>(count);
    }
    HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE Invoke(DISPID, REFIID, LCID, WORD, DISPPARAMS*, VARIANT*, EXCEPINFO*, UINT*) override
    {
        return E_NOTIMPL;
    }
    virtual ~TestEnablerObject() = default;
};
