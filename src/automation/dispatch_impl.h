// The four IDispatch slots of a dual interface, answered through a process-wide type-information
// holder for the interface's library.
#pragma once

#include "platform/win32.h"

template <class T, const IID* piid, const GUID* plibid, WORD wMajor, WORD wMinor, class THolder>
class CDispatchImpl : public T {
public:
    HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* pctinfo) override
    {
        if (!pctinfo)
            return E_POINTER;
        *pctinfo = 1;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT iTInfo, LCID lcid, ITypeInfo** ppTInfo) override
    {
        return s_typeInfoHolder.GetTypeInfo(iTInfo, lcid, ppTInfo);
    }
    HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID riid, LPOLESTR* rgszNames, UINT cNames, LCID lcid,
                                            DISPID* rgDispId) override
    {
        return s_typeInfoHolder.GetIDsOfNames(riid, rgszNames, cNames, lcid, rgDispId);
    }
    HRESULT STDMETHODCALLTYPE Invoke(DISPID dispIdMember, REFIID riid, LCID lcid, WORD wFlags, DISPPARAMS* pDispParams,
                                     VARIANT* pVarResult, EXCEPINFO* pExcepInfo, UINT* puArgErr) override
    {
        return s_typeInfoHolder.Invoke(static_cast<T*>(this), dispIdMember, riid, lcid, wFlags, pDispParams,
                                       pVarResult, pExcepInfo, puArgErr);
    }

    // One holder per interface, shared by every object of every apartment.
    static THolder s_typeInfoHolder;
};

template <class T, const IID* piid, const GUID* plibid, WORD wMajor, WORD wMinor, class THolder>
THolder CDispatchImpl<T, piid, plibid, wMajor, wMinor, THolder>::s_typeInfoHolder = {
    piid, plibid, wMajor, wMinor, {nullptr}, {nullptr}, 0};
