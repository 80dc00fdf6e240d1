#include "com/class_factory.h"

#include "com/module_base.h"

namespace {

const InterfaceMapEntry kClassFactoryInterfaceMap[] = {
    {&IID_IClassFactory, 0, &OffsetEntry},
    {nullptr, 0, nullptr},
};

}  // namespace

const InterfaceMapEntry* CClassFactory::InterfaceMap() { return kClassFactoryInterfaceMap; }

HRESULT STDMETHODCALLTYPE CClassFactory::CreateInstance(IUnknown* pUnkOuter, REFIID riid, void** ppvObject)
{
    if (!ppvObject)
        return E_POINTER;
    *ppvObject = nullptr;
    if (pUnkOuter && !IsIUnknownIid(riid))
        return CLASS_E_NOAGGREGATION;
    return m_pfnInstanceCreator(pUnkOuter, riid, ppvObject);
}

HRESULT STDMETHODCALLTYPE CClassFactory::LockServer(BOOL fLock)
{
    if (fLock)
        g_pModule->AddServerLock();
    else
        g_pModule->ReleaseServerLock();
    return S_OK;
}
