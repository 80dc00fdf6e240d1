// Loads the library the way the system loader does: the entry point with the attach notification,
// and the detach notification at the end unless the library was detached already. The one way the
// unit tests and benchmarks attach the module.
#pragma once

#include "sim/sim_control.h"
#include "server/dll_main.h"

class AttachedLibrary {
public:
    // Attached at once, unless `attachNow` is false: then by Attach, for instance after a fixture
    // has reset the simulated platform.
    explicit AttachedLibrary(bool attachNow = true)
    {
        if (attachNow)
            Attach();
    }
    ~AttachedLibrary() { Detach(); }
    AttachedLibrary(const AttachedLibrary&) = delete;
    AttachedLibrary& operator=(const AttachedLibrary&) = delete;

    // True when the library is attached, also when it was already.
    bool Attach()
    {
        if (!m_bAttached)
            m_bAttached = DllMain(sim::LibraryModule(), DLL_PROCESS_ATTACH, nullptr) != FALSE;
        return m_bAttached;
    }
    bool Attached() const { return m_bAttached; }
    void Detach()
    {
        if (m_bAttached)
            DllMain(sim::LibraryModule(), DLL_PROCESS_DETACH, nullptr);
        m_bAttached = false;
    }

private:
    bool m_bAttached = false;
};

// The server's type library placed in its file at `path` and registered machine-wide, as
// registration leaves it; the first failure.
inline HRESULT RegisterTypeLibraryAt(LPCWSTR path)
{
    sim::PlaceTypeLibraryFile(path);
    ITypeLib* library = nullptr;
    HRESULT hr = LoadTypeLib(path, &library);
    if (FAILED(hr))
        return hr;
    hr = RegisterTypeLib(library, const_cast<OLECHAR*>(path), nullptr);
    library->Release();
    return hr;
}

// What a host meets after installation, on a fresh simulated platform: the library attached and its
// type library registered. For the benchmarks and the replay, which have no test fixture.
class AttachedServer {
public:
    AttachedServer()
    {
        sim::ResetAll();
        m_bReady = m_library.Attach() && SUCCEEDED(RegisterTypeLibraryAt(L"C:\\Vesk\\Vesk.dll"));
    }
    ~AttachedServer()
    {
        // Longer than any notification's delay: every pending timer fires before the library goes.
        sim::AdvanceClock(60000);
        m_library.Detach();
        sim::ResetAll();
    }
    AttachedServer(const AttachedServer&) = delete;
    AttachedServer& operator=(const AttachedServer&) = delete;

    bool Ready() const { return m_bReady; }

private:
    AttachedLibrary m_library{false};
    bool m_bReady = false;
};
