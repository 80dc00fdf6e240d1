#include "registrar/reg_script_parser.h"

#include "base/scoped_owner.h"

namespace {

struct RootKeyName {
    LPCOLESTR name;
    HKEY key;
};

const RootKeyName RootKeyNames[] = {
    {L"HKCR", HKEY_CLASSES_ROOT},
    {L"HKCU", HKEY_CURRENT_USER},
    {L"HKLM", HKEY_LOCAL_MACHINE},
    {L"HKU", HKEY_USERS},
    {L"HKPD", HKEY_PERFORMANCE_DATA},
    {L"HKDD", HKEY_DYN_DATA},
    {L"HKCC", HKEY_CURRENT_CONFIG},
    {L"HKEY_CLASSES_ROOT", HKEY_CLASSES_ROOT},
    {L"HKEY_CURRENT_USER", HKEY_CURRENT_USER},
    {L"HKEY_LOCAL_MACHINE", HKEY_LOCAL_MACHINE},
    {L"HKEY_USERS", HKEY_USERS},
    {L"HKEY_PERFORMANCE_DATA", HKEY_PERFORMANCE_DATA},
    {L"HKEY_DYN_DATA", HKEY_DYN_DATA},
    {L"HKEY_CURRENT_CONFIG", HKEY_CURRENT_CONFIG},
};

HKEY LookUpRootKey(LPCWSTR name)
{
    for (const RootKeyName& entry : RootKeyNames)
        if (lstrcmpiW(name, entry.name) == 0)
            return entry.key;
    return nullptr;
}

// Owns the pre-processed text for the length of the run.
struct TaskMemFreer {
    void operator()(OLECHAR* text) const { CoTaskMemFree(text); }
};
using TaskMemText = CFreeingOwner<OLECHAR, TaskMemFreer>;

}  // namespace

HRESULT CRegScriptParser::RunScript(LPCOLESTR text, BOOL registering)
{
    LPOLESTR expanded = nullptr;
    HRESULT hr = ExpandScript(text, &expanded);
    if (FAILED(hr))
        return hr;
    TaskMemText owner(expanded);
    m_position = expanded;
    if (!*m_position) {
        m_position = nullptr;
        return hr;
    }
    WCHAR token[kTokenCapacity];
    for (;;) {
        hr = ReadToken(token);
        if (FAILED(hr))
            break;
        HKEY root = LookUpRootKey(token);
        if (!root) {
            hr = DISP_E_EXCEPTION;
            break;
        }
        hr = ReadToken(token);
        if (FAILED(hr))
            break;
        if (token[0] != L'{') {
            hr = DISP_E_EXCEPTION;
            break;
        }
        // A syntax error anywhere in the block is found before the block changes anything; the
        // undo below is left for failures of the registry itself.
        LPCOLESTR blockStart = m_position;
        hr = CheckKeyBlock(token);
        if (FAILED(hr))
            break;
        RestartBlock(blockStart);
        if (registering) {
            hr = WalkKeyBlock(token, root, TRUE, FALSE);
            if (FAILED(hr)) {
                // Undo the failed block by the unregistration rules; its own result is not ours.
                RestartBlock(blockStart);
                WalkKeyBlock(token, root, FALSE, FALSE);
                break;
            }
        } else {
            hr = WalkKeyBlock(token, root, FALSE, FALSE);
            if (FAILED(hr))
                break;
        }
        SkipBlanks();
        if (!*m_position) {
            hr = S_OK;
            break;
        }
    }
    m_position = nullptr;  // it pointed into the text freed on return
    return hr;
}
