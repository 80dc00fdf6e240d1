// An object a script passes where a number is expected: its default value (DISPID_VALUE, read as a
// property) is a number, the same number as text, or nothing when the read fails. Lives on the
// caller's stack; counts its references and the reads.
#pragma once

#include "platform/win32.h"
#include "stack_object.h"

class ValueObject : public StackObject<IDispatch, &IID_IDispatch> {
public:
    enum class Answer { Number, Text, Refuse };

    int m_nReads = 0;
    Answer m_answer = Answer::Number;
    LONG m_value = 0;

    HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* pctinfo) override
    {
        if (!pctinfo)
            return E_POINTER;
        *pctinfo = 0;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT, LCID, ITypeInfo** ppTInfo) override
    {
        if (ppTInfo)
            *ppTInfo = nullptr;
        return DISP_E_BADINDEX;
    }
    HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override
    {
        return DISP_E_UNKNOWNNAME;
    }
    HRESULT STDMETHODCALLTYPE Invoke(DISPID dispIdMember, REFIID, LCID, WORD wFlags, DISPPARAMS* pDispParams,
                                     VARIANT* pVarResult, EXCEPINFO*, UINT*) override
    {
        if (dispIdMember != DISPID_VALUE || !(wFlags & DISPATCH_PROPERTYGET) || m_answer == Answer::Refuse)
            return DISP_E_MEMBERNOTFOUND;
        if (!pDispParams || pDispParams->cArgs != 0)
            return DISP_E_BADPARAMCOUNT;
        ++m_nReads;
        if (!pVarResult)
            return S_OK;
        VariantInit(pVarResult);
        if (m_answer == Answer::Number) {
            pVarResult->vt = VT_I4;
            pVarResult->lVal = m_value;
            return S_OK;
        }
        // Decimal digits, written without the C library's wide functions (UTF-16 in both builds).
        OLECHAR text[16];
        OLECHAR* end = text + 15;
        *end = 0;
        const bool negative = m_value < 0;
        unsigned long magnitude = negative ? 0ul - static_cast<unsigned long>(m_value) : static_cast<unsigned long>(m_value);
        do {
            *--end = static_cast<OLECHAR>(L'0' + magnitude % 10);
            magnitude /= 10;
        } while (magnitude != 0);
        if (negative)
            *--end = L'-';
        pVarResult->bstrVal = SysAllocString(end);
        if (!pVarResult->bstrVal)
            return E_OUTOFMEMORY;
        pVarResult->vt = VT_BSTR;
        return S_OK;
    }
};
