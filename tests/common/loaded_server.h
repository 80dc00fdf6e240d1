// The real Vesk.dll loaded as a host loads it: LoadLibrary, its exports found by name, its class
// object and new enablers from it; freed when the object goes (or earlier, by Free).
#pragma once

#include "enabler/ivesk_enabler.h"
#include "platform/win32.h"

namespace vesk_test {

class LoadedServer {
public:
    typedef HRESULT(STDAPICALLTYPE* GetClassObjectFunction)(REFCLSID, REFIID, LPVOID*);
    typedef HRESULT(STDAPICALLTYPE* ExportFunction)();

    explicit LoadedServer(const wchar_t* path) : m_module(LoadLibraryW(path))
    {
        getClassObject = Export<GetClassObjectFunction>("DllGetClassObject");
        canUnloadNow = Export<ExportFunction>("DllCanUnloadNow");
    }
    ~LoadedServer() { Free(); }
    LoadedServer(const LoadedServer&) = delete;
    LoadedServer& operator=(const LoadedServer&) = delete;

    // The library and its two run-time exports.
    bool Loaded() const { return m_module && getClassObject && canUnloadNow; }
    HMODULE Module() const { return m_module; }
    void Free()
    {
        if (m_module)
            FreeLibrary(m_module);
        m_module = nullptr;
    }

    // An export by name, or null.
    template <class Function>
    Function Export(const char* name) const
    {
        if (!m_module)
            return nullptr;
        return reinterpret_cast<Function>(reinterpret_cast<void*>(GetProcAddress(m_module, name)));
    }

    // The enabler's class factory with one reference, or null.
    IClassFactory* ClassFactory() const
    {
        void* out = nullptr;
        if (!getClassObject || FAILED(getClassObject(CLSID_VeskEnabler, IID_IClassFactory, &out)))
            return nullptr;
        return static_cast<IClassFactory*>(out);
    }

    // A new enabler from the class factory, as a host creates one, with one reference; or null.
    IVeskEnabler* CreateEnabler() const
    {
        IClassFactory* factory = ClassFactory();
        if (!factory)
            return nullptr;
        void* enabler = nullptr;
        if (FAILED(factory->CreateInstance(nullptr, IID_IVeskEnabler, &enabler)))
            enabler = nullptr;
        factory->Release();
        return static_cast<IVeskEnabler*>(enabler);
    }

    GetClassObjectFunction getClassObject = nullptr;
    ExportFunction canUnloadNow = nullptr;

private:
    HMODULE m_module;
};

}  // namespace vesk_test
