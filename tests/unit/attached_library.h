// Loads the library for one test the way the system loader does: the entry point with the attach
// notification, and the detach notification at the end unless the test detached already.
#pragma once

#include "platform/sim/sim_control.h"
#include "server/dll_main.h"

class AttachedLibrary {
public:
    AttachedLibrary() : m_bAttached(DllMain(sim::LibraryModule(), DLL_PROCESS_ATTACH, nullptr) != FALSE) {}
    ~AttachedLibrary() { Detach(); }
    AttachedLibrary(const AttachedLibrary&) = delete;
    AttachedLibrary& operator=(const AttachedLibrary&) = delete;

    bool Attached() const { return m_bAttached; }
    void Detach()
    {
        if (m_bAttached)
            DllMain(sim::LibraryModule(), DLL_PROCESS_DETACH, nullptr);
        m_bAttached = false;
    }

private:
    bool m_bAttached;
};
