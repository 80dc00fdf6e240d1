// The component-category manager's registration interface (comcat.h) and GUID text (OLE32).
#pragma once

#include "sim/com_types.h"

extern const CLSID CLSID_StdComponentCategoriesMgr;  // {0002E005-0000-0000-C000-000000000046}
extern const IID IID_ICatRegister;                   // {0002E012-0000-0000-C000-000000000046}

struct CATEGORYINFO;

struct ICatRegister : public IUnknown {
    virtual HRESULT STDMETHODCALLTYPE RegisterCategories(ULONG cCategories, CATEGORYINFO* rgCategoryInfo) = 0;
    virtual HRESULT STDMETHODCALLTYPE UnRegisterCategories(ULONG cCategories, CATID* rgcatid) = 0;
    virtual HRESULT STDMETHODCALLTYPE RegisterClassImplCategories(REFCLSID rclsid, ULONG cCategories,
                                                                  CATID* rgcatid) = 0;
    virtual HRESULT STDMETHODCALLTYPE UnRegisterClassImplCategories(REFCLSID rclsid, ULONG cCategories,
                                                                    CATID* rgcatid) = 0;
    virtual HRESULT STDMETHODCALLTYPE RegisterClassReqCategories(REFCLSID rclsid, ULONG cCategories,
                                                                 CATID* rgcatid) = 0;
    virtual HRESULT STDMETHODCALLTYPE UnRegisterClassReqCategories(REFCLSID rclsid, ULONG cCategories,
                                                                   CATID* rgcatid) = 0;
};

// The braced upper-case form, 39 characters with the terminator; 0 when cchMax is smaller.
int WINAPI StringFromGUID2(REFGUID rguid, LPOLESTR lpsz, int cchMax);
