// The class object through which hosts create enablers.
#pragma once

#include "com/creator.h"
#include "com/interface_map.h"
#include "com/object_root.h"

class CClassFactory : public IClassFactory, public CObjectRootEx<CMultiThreadModel> {
public:
    CreatorFunction m_pfnInstanceCreator = nullptr;

    static const InterfaceMapEntry* InterfaceMap();

    // Aggregation is granted only to a caller that asks for the inner object's own IUnknown.
    HRESULT STDMETHODCALLTYPE CreateInstance(IUnknown* pUnkOuter, REFIID riid, void** ppvObject) override;
    // Not counted per caller: keeping locks and unlocks balanced is the caller's duty.
    HRESULT STDMETHODCALLTYPE LockServer(BOOL fLock) override;
};
