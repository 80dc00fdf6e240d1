// An object with the enabler's dispatch slots whose two methods only record what reached them:
// the slot and the converted argument. Lives on the stack; counts references without deleting.
#pragma once

#include "automation/dispatch_impl.h"
#include "automation/type_info_holder.h"
#include "enabler/ivesk_enabler.h"

class RecordingEnabler
    : public CDispatchImpl<IVeskEnabler, &IID_IVeskEnabler, &LIBID_VeskLib, 1, 0, CTypeInfoHolder> {
public:
    int m_nCalls = 0;
    DISPID m_slot = 0;  // 2: EnableVesk, 3: MakeSure
    LONG m_value = 0;
    LONG m_nReferences = 1;

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override
    {
        if (!out)
            return E_POINTER;
        *out = nullptr;
        if (iid != IID_IUnknown && iid != IID_IDispatch && iid != IID_IVeskEnabler)
            return E_NOINTERFACE;
        *out = static_cast<IVeskEnabler*>(this);
        AddRef();
        return S_OK;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return static_cast<ULONG>(++m_nReferences); }
    ULONG STDMETHODCALLTYPE Release() override { return static_cast<ULONG>(--m_nReferences); }
    HRESULT STDMETHODCALLTYPE EnableVesk(LONG hWnd) override { return Record(2, hWnd); }
    HRESULT STDMETHODCALLTYPE MakeSure(LONG hWnd) override { return Record(3, hWnd); }

private:
    HRESULT Record(DISPID slot, LONG value)
    {
        ++m_nCalls;
        m_slot = slot;
        m_value = value;
        return S_OK;
    }
};
