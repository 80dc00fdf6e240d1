// The server's critical sections: created with failure as a value, owned together with the one
// flag that says they exist, and held for a scope by a lock.
#pragma once

#include "platform/win32.h"

// S_OK, or E_OUTOFMEMORY when the system cannot create the section; nothing is left to delete then.
HRESULT CreateCriticalSectionChecked(CRITICAL_SECTION* section);

// A critical section and whether it exists. Trivial, so that a record in static storage holds one,
// not yet created, before any code runs; an object member is value-initialised (`= {}`).
struct OwnedCriticalSection {
    CRITICAL_SECTION m_section;
    bool m_bCreated;

    // Creates the section unless it exists already; the failure of CreateCriticalSectionChecked.
    HRESULT Create();
    // Deletes the section if it exists; safe to call again.
    void Delete();
};

// Holds a section from construction to the end of the scope.
class CriticalSectionLock {
public:
    explicit CriticalSectionLock(OwnedCriticalSection& section) : m_section(&section.m_section)
    {
        EnterCriticalSection(m_section);
    }
    ~CriticalSectionLock() { LeaveCriticalSection(m_section); }
    CriticalSectionLock(const CriticalSectionLock&) = delete;
    CriticalSectionLock& operator=(const CriticalSectionLock&) = delete;

private:
    CRITICAL_SECTION* m_section;
};
