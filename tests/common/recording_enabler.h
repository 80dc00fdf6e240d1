// An object with the enabler's dispatch slots whose two methods only record what reached them:
// the slot and the converted argument. Lives on the stack.
#pragma once

#include "automation/dispatch_impl.h"
#include "automation/type_info_holder.h"
#include "enabler/ivesk_enabler.h"
#include "stack_object.h"

class RecordingEnabler
    : public StackObject<CDispatchImpl<IVeskEnabler, &IID_IVeskEnabler, &LIBID_VeskLib, 1, 0, CTypeInfoHolder>,
                         &IID_IDispatch, &IID_IVeskEnabler> {
public:
    int m_nCalls = 0;
    DISPID m_slot = 0;  // 2: EnableVesk, 3: MakeSure
    LONG m_value = 0;

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
