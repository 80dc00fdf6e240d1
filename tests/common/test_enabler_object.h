// A minimal COM object around CVeskEnabler for tests of the enabler's own logic: counts references
// through the object root and answers QueryInterface from the enabler's map; the dispatch slots are
// the enabler's own.
#pragma once

#include "enabler/vesk_enabler.h"

class TestEnablerObject : public CVeskEnabler {
public:
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override
    {
        return LookupInterface(this, InterfaceMap(), iid, out);
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return static_cast<ULONG>(InternalAddRef()); }
    ULONG STDMETHODCALLTYPE Release() override { return ReleaseSelfOwned(this); }
    virtual ~TestEnablerObject() = default;
};
