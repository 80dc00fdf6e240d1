// The platform's JScript engine run in this process: a minimal script site that exposes named
// objects to the script and records the errors the engine reports, and one call that runs a script
// text to its end.
#pragma once

#include "platform/win32.h"

#include <activscp.h>

#include "stack_object.h"

#include <string>
#include <utility>
#include <vector>

namespace vesk_test {

struct ScriptError {
    HRESULT code;     // the error's scode
    std::string text; // its description, narrowed
};

// Lives on the stack of RunJScript: the engine holds it only between SetScriptSite and Close.
class MinimalScriptSite : public StackObject<IActiveScriptSite, &IID_IActiveScriptSite> {
public:
    void AddItem(const wchar_t* name, IDispatch* object) { m_items.emplace_back(name, object); }
    const std::vector<ScriptError>& Errors() const { return m_errors; }

    HRESULT STDMETHODCALLTYPE GetLCID(LCID* plcid) override
    {
        if (!plcid)
            return E_POINTER;
        *plcid = LOCALE_USER_DEFAULT;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetItemInfo(LPCOLESTR pstrName, DWORD dwReturnMask, IUnknown** ppiunkItem,
                                          ITypeInfo** ppti) override
    {
        if (ppti)
            *ppti = nullptr;
        if (ppiunkItem)
            *ppiunkItem = nullptr;
        for (const auto& item : m_items) {
            if (lstrcmpiW(item.first.c_str(), pstrName) != 0)
                continue;
            if ((dwReturnMask & SCRIPTINFO_ITYPEINFO) && ppti)
                item.second->GetTypeInfo(0, LOCALE_USER_DEFAULT, ppti);
            if ((dwReturnMask & SCRIPTINFO_IUNKNOWN) && ppiunkItem) {
                item.second->AddRef();
                *ppiunkItem = item.second;
            }
            return S_OK;
        }
        return TYPE_E_ELEMENTNOTFOUND;
    }
    HRESULT STDMETHODCALLTYPE GetDocVersionString(BSTR* pbstrVersion) override
    {
        if (pbstrVersion)
            *pbstrVersion = nullptr;
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE OnScriptTerminate(const VARIANT*, const EXCEPINFO*) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE OnStateChange(SCRIPTSTATE) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE OnScriptError(IActiveScriptError* error) override
    {
        EXCEPINFO info = {};
        ScriptError recorded{E_FAIL, ""};
        if (error && SUCCEEDED(error->GetExceptionInfo(&info))) {
            if (info.pfnDeferredFillIn)
                info.pfnDeferredFillIn(&info);
            recorded.code = info.scode ? info.scode : static_cast<HRESULT>(info.wCode);
            if (info.bstrDescription)
                for (const wchar_t* c = info.bstrDescription; *c; ++c)
                    recorded.text.push_back(*c < 0x80 ? static_cast<char>(*c) : '?');
            SysFreeString(info.bstrSource);
            SysFreeString(info.bstrDescription);
            SysFreeString(info.bstrHelpFile);
        }
        m_errors.push_back(recorded);
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE OnEnterScript() override { return S_OK; }
    HRESULT STDMETHODCALLTYPE OnLeaveScript() override { return S_OK; }

private:
    std::vector<std::pair<std::wstring, IDispatch*>> m_items;
    std::vector<ScriptError> m_errors;
};

struct ScriptRun {
    HRESULT hr = E_FAIL;              // of the first step that failed, or of ParseScriptText
    std::vector<ScriptError> errors;  // what the engine reported to the site
};

// Runs `code` in a new JScript engine of this thread with the site's named items visible to it,
// then closes the engine. The thread must be in a single-threaded apartment.
inline ScriptRun RunJScript(MinimalScriptSite& site, const std::wstring& code,
                            const std::vector<std::wstring>& itemNames)
{
    ScriptRun run;
    CLSID engineClass = {};
    run.hr = CLSIDFromProgID(L"JScript", &engineClass);
    if (FAILED(run.hr))
        return run;
    IActiveScript* engine = nullptr;
    run.hr = CoCreateInstance(engineClass, nullptr, CLSCTX_INPROC_SERVER, __uuidof(IActiveScript),
                              reinterpret_cast<void**>(&engine));
    if (FAILED(run.hr))
        return run;
    IActiveScriptParse* parse = nullptr;
    run.hr = engine->QueryInterface(__uuidof(IActiveScriptParse), reinterpret_cast<void**>(&parse));
    if (SUCCEEDED(run.hr))
        run.hr = engine->SetScriptSite(&site);
    if (SUCCEEDED(run.hr))
        run.hr = parse->InitNew();
    for (const std::wstring& name : itemNames)
        if (SUCCEEDED(run.hr))
            run.hr = engine->AddNamedItem(name.c_str(), SCRIPTITEM_ISVISIBLE);
    if (SUCCEEDED(run.hr))
        run.hr = engine->SetScriptState(SCRIPTSTATE_CONNECTED);
    if (SUCCEEDED(run.hr)) {
        EXCEPINFO exception = {};
        run.hr = parse->ParseScriptText(code.c_str(), nullptr, nullptr, nullptr, 0, 0, 0, nullptr, &exception);
        SysFreeString(exception.bstrSource);
        SysFreeString(exception.bstrDescription);
        SysFreeString(exception.bstrHelpFile);
    }
    engine->Close();
    if (parse)
        parse->Release();
    engine->Release();
    run.errors = site.Errors();
    return run;
}

}  // namespace vesk_test
