// The library's one module object: server locks, the module critical section, the clean-up list
// and the global interface table, with the registry scripts run from the library's own file. Built
// when the library is attached and destroyed when it is detached (dll_main.cpp); reached
// everywhere through g_pModule.
#pragma once

#include "com/module_base.h"
#include "registrar/registrar.h"
#include "server/module_records.h"
#include "server/object_map.h"
#include "server/registry_script_resources.h"

template <class T>
class CModuleT : public CModuleBase {
protected:
    // `self` is the module object being built, handed down so that no base needs to cast to it.
    explicit CModuleT(T* self)
    {
        g_pModule = self;
        if (FAILED(StartModule()))
            g_bInitFailed = true;
    }
    ~CModuleT() override
    {
        ShutDownModule();
        g_pModule = nullptr;
    }
};

template <class T>
class CDllModuleT : public CModuleT<T> {
public:
    // The module object's shutdown steps, once: the lifetime hooks, the clean-ups, the interface
    // table and m_csModule. The object stays reachable through g_pModule until it is destroyed.
    void ShutDown()
    {
        if (m_bShutDown)
            return;
        m_bShutDown = true;
        RunLifetimeHooks(false);
        this->ShutDownModule();
    }

protected:
    explicit CDllModuleT(T* self) : CModuleT<T>(self) { RunLifetimeHooks(true); }
    ~CDllModuleT() override { ShutDown(); }

private:
    bool m_bShutDown = false;
};

class CVeskModule final : public CDllModuleT<CVeskModule> {
public:
    CVeskModule() : CDllModuleT<CVeskModule>(this) {}

    // Defines the variables every registry script of the server may use: "APPID", empty, since
    // the server has no application id of its own.
    HRESULT AddCommonVariables(IRegistrarVariables* registrar);

    // Runs the registry script `resourceId` of the library's own file, registering or
    // unregistering, with the variables of `extra` (null or ended by a null name) ahead of the
    // module's own: "APPID", "Module" and "Module_Raw".
    HRESULT ApplyRegistryScript(UINT resourceId, BOOL bRegister, const VariableEntry* extra);
};

// The module object as the server built it: g_pModule points at the one CVeskModule, or is null.
inline CVeskModule* VeskModule() { return static_cast<CVeskModule*>(g_pModule); }
