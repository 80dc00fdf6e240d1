// The library's one module object: server locks, the module critical section, the clean-up list
// and the global interface table. Built when the library is attached and destroyed when it is
// detached (dll_main.cpp); reached everywhere through g_pModule.
#pragma once

#include "module/module_base.h"
#include "module/registry_script_resources.h"

class CVeskModule;
// The module object while the library is attached; null before and after.
extern CVeskModule* g_pModule;

template <class T>
class CModuleT : public CModuleBase {
protected:
    // `self` is the module object being built, handed down so that no base needs to cast to it.
    explicit CModuleT(T* self)
    {
        g_pModule = self;
        StartModule();
    }
    ~CModuleT() override
    {
        ShutDownModule();
        g_pModule = nullptr;
    }
};

template <class T>
class CDllModuleT : public CModuleT<T> {
protected:
    explicit CDllModuleT(T* self) : CModuleT<T>(self) { RunLifetimeHooks(true); }
    ~CDllModuleT() override { RunLifetimeHooks(false); }
};

class CVeskModule final : public CDllModuleT<CVeskModule> {
public:
    CVeskModule() : CDllModuleT<CVeskModule>(this) {}

    // Runs the registry script `resourceId` of the library's own file, registering or
    // unregistering, with the variables of `extra` (null or ended by a null name) ahead of the
    // module's own: "APPID", "Module" and "Module_Raw".
    HRESULT ApplyRegistryScript(UINT resourceId, BOOL bRegister, const VariableEntry* extra);
};
