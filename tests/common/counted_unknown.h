// A plain IUnknown for tests that hand objects to the system: counts its references and tells the
// test when the last one goes, without destroying itself (it lives on the test's stack).
#pragma once

#include <functional>

#include "platform/win32.h"

class CountedUnknown : public IUnknown {
public:
    explicit CountedUnknown(LONG references = 1) : m_nReferences(references) {}

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override
    {
        if (!out)
            return E_POINTER;
        *out = nullptr;
        if (!IsEqualIID(iid, IID_IUnknown))
            return E_NOINTERFACE;
        AddRef();
        *out = static_cast<IUnknown*>(this);
        return S_OK;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return static_cast<ULONG>(InterlockedIncrement(&m_nReferences)); }
    ULONG STDMETHODCALLTYPE Release() override
    {
        const LONG count = InterlockedDecrement(&m_nReferences);
        if (count == 0 && m_onFinalRelease)
            m_onFinalRelease();
        return static_cast<ULONG>(count);
    }

    LONG References() const { return m_nReferences; }
    void OnFinalRelease(std::function<void()> callback) { m_onFinalRelease = std::move(callback); }

private:
    LONG m_nReferences;
    std::function<void()> m_onFinalRelease;
};
