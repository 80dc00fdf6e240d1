// The template of the tests' small COM objects: an object that lives on the test's stack (or in a
// fixture), counts its references without ever deleting itself, and answers QueryInterface for
// IUnknown and the interfaces listed, handing out its `Base`. A test object derives from it and
// writes only the methods of its own interface; a plain StackObject<IUnknown> is an object to hand
// to the system and count.
#pragma once

#include <functional>

#include "platform/win32.h"

template <class Base, const IID*... kInterfaces>
class StackObject : public Base {
public:
    explicit StackObject(LONG references = 1) : m_nReferences(references) {}
    virtual ~StackObject() = default;
    StackObject(const StackObject&) = delete;
    StackObject& operator=(const StackObject&) = delete;

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override
    {
        if (!out)
            return E_POINTER;
        *out = nullptr;
        if (!IsEqualIID(iid, IID_IUnknown) && !(IsEqualIID(iid, *kInterfaces) || ...))
            return E_NOINTERFACE;
        *out = static_cast<Base*>(this);
        AddRef();
        return S_OK;
    }
    // Atomic: the system may hold and give back references from its own threads.
    ULONG STDMETHODCALLTYPE AddRef() override { return static_cast<ULONG>(InterlockedIncrement(&m_nReferences)); }
    ULONG STDMETHODCALLTYPE Release() override
    {
        const LONG count = InterlockedDecrement(&m_nReferences);
        if (count == 0 && m_onFinalRelease)
            m_onFinalRelease();
        return static_cast<ULONG>(count);
    }

    LONG m_nReferences;
    // Called when the last reference goes; the object itself stays.
    std::function<void()> m_onFinalRelease;
};
