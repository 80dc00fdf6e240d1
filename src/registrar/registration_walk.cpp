#include <cstring>

#include "base/scratch_buffer.h"
#include "base/string_copy.h"
#include "registrar/reg_script_parser.h"
#include "registrar/registry_key.h"

namespace {

// The script's value types, as automation type codes.
struct ValueTypeLetter {
    LPCOLESTR letter;
    VARTYPE type;
};
const ValueTypeLetter ValueTypeLetters[] = {
    {L"S", VT_BSTR},
    {L"M", VT_ARRAY | VT_BSTR},
    {L"D", VT_UI4},
    {L"B", VT_UI1},
};

// Shared keys that ForceRemove and Delete never take away with everything under them.
LPCOLESTR const ProtectedKeyNames[] = {
    L"AppID", L"CLSID",    L"Component Categories", L"FileType", L"Interface", L"Hardware",
    L"Mime",  L"SAM",      L"SECURITY",             L"SYSTEM",   L"Software",  L"TypeLib",
};

constexpr int kKeyNameCopyCapacity = 260;

bool Is(LPCWSTR token, LPCOLESTR keyword) { return lstrcmpiW(token, keyword) == 0; }

bool HasBackslash(LPCWSTR name) { return CRegScriptParser::FindCharacter(name, L'\\') != nullptr; }

bool IsOpeningBrace(LPCWSTR token) { return token[0] == L'{' && token[1] == 0; }

// Counts the levels of nested WalkKeyBlock calls for as long as one is running.
class DepthScope {
public:
    explicit DepthScope(int& depth) : m_depth(depth) { ++m_depth; }
    DepthScope(const DepthScope&) = delete;
    DepthScope& operator=(const DepthScope&) = delete;
    ~DepthScope() { --m_depth; }

private:
    int& m_depth;
};

}  // namespace

bool CRegScriptParser::ParseValueType(LPCWSTR token, VARTYPE* type)
{
    for (const ValueTypeLetter& entry : ValueTypeLetters) {
        if (lstrcmpiW(token, entry.letter) == 0) {
            *type = entry.type;
            return true;
        }
    }
    return false;
}

BYTE CRegScriptParser::HexDigitValue(WCHAR c)
{
    if (c >= L'0' && c <= L'9')
        return static_cast<BYTE>(c - L'0');
    if (c >= L'A' && c <= L'F')
        return static_cast<BYTE>(c - L'A' + 10);
    if (c >= L'a' && c <= L'f')
        return static_cast<BYTE>(c - L'a' + 10);
    return 0;
}

bool CRegScriptParser::MayForceRemove(LPCWSTR name)
{
    for (LPCOLESTR protectedName : ProtectedKeyNames)
        if (lstrcmpiW(name, protectedName) == 0)
            return false;
    return true;
}

HRESULT CRegScriptParser::StoreValue(RegistryKey& key, LPCWSTR valueName, LPWSTR token)
{
    WCHAR text[kTokenCapacity];
    HRESULT hr = ReadToken(text);
    if (FAILED(hr))
        return hr;
    VARTYPE type = 0;
    if (!ParseValueType(text, &type))
        return DISP_E_EXCEPTION;
    SkipBlanks();
    hr = ReadToken(text);
    if (FAILED(hr))
        return hr;

    LONG error = ERROR_SUCCESS;
    if (m_bChecking) {
        // What the writes below would reject, without writing.
        ULONG number = 0;
        if (type == VT_UI4 && FAILED(VarUI4FromStr(text, 0, 0, &number)))
            return DISP_E_EXCEPTION;
        if (type == VT_UI1 && lstrlenW(text) % 2 != 0)
            return E_FAIL;
    } else if (type == VT_BSTR) {
        error = key.WriteString(valueName, text, REG_SZ);
    } else if (type == VT_UI4) {
        ULONG number = 0;
        // A number the conversion rejects is an error of the script, never an undefined value.
        if (FAILED(VarUI4FromStr(text, 0, 0, &number)))
            return DISP_E_EXCEPTION;
        error = key.WriteDword(valueName, number);
    } else if (type == VT_UI1) {
        const int digits = lstrlenW(text);
        if (digits % 2 != 0)
            return E_FAIL;
        ScratchBuffer<BYTE, 256> storage;
        BYTE* bytes = storage.TryAllocate(static_cast<size_t>(digits / 2));
        if (!bytes)
            return E_FAIL;
        std::memset(bytes, 0, static_cast<size_t>(digits / 2));
        for (int i = 0; i < digits; ++i)
            bytes[i / 2] = static_cast<BYTE>(bytes[i / 2] | (HexDigitValue(text[i]) << (i % 2 == 0 ? 4 : 0)));
        error = key.WriteBinary(valueName, bytes, static_cast<DWORD>(digits / 2));
    } else {
        const int length = lstrlenW(text);
        ScratchBuffer<WCHAR, 256> storage;
        WCHAR* list = storage.TryAllocate(static_cast<size_t>(length) + 2);
        if (!list)
            return HRESULT_FROM_WIN32(ERROR_OUTOFMEMORY);
        int used = 0;
        for (int i = 0; i < length; ++i) {
            if (text[i] == L'\\' && text[i + 1] == L'0') {
                list[used++] = 0;
                ++i;
            } else {
                list[used++] = text[i];
            }
        }
        list[used++] = 0;
        list[used] = 0;
        error = key.WriteMultiString(valueName, list);
    }
    if (error != ERROR_SUCCESS)
        return HRESULT_FROM_WIN32(error);
    return ReadToken(token);
}

HRESULT CRegScriptParser::ReadValueName(LPWSTR valueName, LPWSTR token)
{
    HRESULT hr = ReadToken(valueName);
    if (SUCCEEDED(hr))
        hr = ReadToken(token);
    if (FAILED(hr))
        return hr;
    return token[0] == L'=' ? S_OK : DISP_E_EXCEPTION;
}

HRESULT CRegScriptParser::WalkKeyBlock(LPWSTR token, HKEY parent, BOOL registering, BOOL recovery)
{
    DepthScope scope(m_depth);
    if (m_depth > kMaxBlockDepth) {
        m_depthExceeded = true;
        return DISP_E_EXCEPTION;
    }
    return registering ? RegisterKeyBlock(token, parent) : UnregisterKeyBlock(token, parent, recovery);
}

HRESULT CRegScriptParser::CheckKeyBlock(LPWSTR token)
{
    m_bChecking = true;
    RestartBlock(m_position);
    const HRESULT hr = WalkKeyBlock(token, nullptr, TRUE, FALSE);
    m_bChecking = false;
    return hr;
}

HRESULT CRegScriptParser::RegisterKeyBlock(LPWSTR token, HKEY parent)
{
    HRESULT hr = ReadToken(token);
    if (FAILED(hr))
        return hr;
    if (token[0] == L'}')
        return S_OK;
    RegistryKey current;
    for (;;) {
        bool nestedOnly = false;  // a Delete or Val entry: only a nested block may follow
        if (Is(token, L"ForceRemove") || Is(token, L"Delete")) {
            const bool deleteOnly = Is(token, L"Delete");
            hr = ReadToken(token);
            if (FAILED(hr))
                return hr;
            if (HasBackslash(token))
                return DISP_E_EXCEPTION;
            if (!m_bChecking && MayForceRemove(token)) {
                BorrowedKey owner(parent);
                owner.Key().DeleteTree(token);  // a key that is not there is no error
            }
            if (deleteOnly) {
                hr = ReadToken(token);
                if (SUCCEEDED(hr))
                    hr = SkipValueClause(token);
                if (FAILED(hr))
                    return hr;
                nestedOnly = true;
            }
        }
        if (!nestedOnly && Is(token, L"NoRemove")) {
            hr = ReadToken(token);
            if (FAILED(hr))
                return hr;
        }
        if (!nestedOnly && Is(token, L"Val")) {
            WCHAR valueName[kTokenCapacity];
            hr = ReadValueName(valueName, token);
            if (FAILED(hr))
                return hr;
            BorrowedKey owner(parent);
            hr = StoreValue(owner.Key(), valueName, token);
            if (FAILED(hr))
                return hr;
            nestedOnly = true;
        }
        if (!nestedOnly) {
            if (HasBackslash(token))
                return DISP_E_EXCEPTION;
            if (!m_bChecking) {
                LONG error = current.OpenKey(parent, token, KEY_READ | KEY_WRITE);
                if (error != ERROR_SUCCESS)
                    error = current.OpenKey(parent, token, KEY_READ);
                if (error != ERROR_SUCCESS)
                    error = current.CreateKey(parent, token);
                if (error != ERROR_SUCCESS)
                    return HRESULT_FROM_WIN32(error);
            }
            hr = ReadToken(token);
            if (FAILED(hr))
                return hr;
            if (token[0] == L'=') {
                hr = StoreValue(current, nullptr, token);
                if (FAILED(hr))
                    return hr;
            }
        }
        if (IsOpeningBrace(token)) {
            hr = WalkKeyBlock(token, current.Handle(), TRUE, FALSE);
            if (SUCCEEDED(hr))
                hr = ReadToken(token);
            if (FAILED(hr))
                return hr;
        }
        if (token[0] == L'}')
            return S_OK;
    }
}

HRESULT CRegScriptParser::UnregisterKeyBlock(LPWSTR token, HKEY parent, BOOL recovery)
{
    HRESULT hr = ReadToken(token);
    if (FAILED(hr))
        return hr;
    if (token[0] == L'}')
        return S_OK;
    for (;;) {
        bool remove = true;
        if (Is(token, L"ForceRemove") || Is(token, L"Delete")) {
            hr = ReadToken(token);
            if (FAILED(hr))
                return hr;
        }
        if (Is(token, L"NoRemove")) {
            remove = false;
            hr = ReadToken(token);
            if (FAILED(hr))
                return hr;
        }
        if (Is(token, L"Val")) {
            WCHAR valueName[kTokenCapacity];
            hr = ReadValueName(valueName, token);
            if (FAILED(hr))
                return hr;
            if (!recovery && remove) {
                RegistryKey owner;
                LONG error = owner.OpenKey(parent, nullptr, KEY_WRITE);
                if (error != ERROR_SUCCESS)
                    return HRESULT_FROM_WIN32(error);
                error = owner.RemoveValue(valueName);
                if (error != ERROR_SUCCESS && error != ERROR_FILE_NOT_FOUND)
                    return HRESULT_FROM_WIN32(error);
                owner.CloseKey();
            }
            hr = SkipValueClause(token);
            if (FAILED(hr))
                return hr;
        } else {
            if (HasBackslash(token))
                return DISP_E_EXCEPTION;
            BOOL entryRecovery = recovery;
            LONG openResult = ERROR_FILE_NOT_FOUND;
            RegistryKey key;
            if (!recovery) {
                openResult = key.OpenKey(parent, token, KEY_READ);
                if (openResult != ERROR_SUCCESS)
                    entryRecovery = TRUE;
            }
            WCHAR nameCopy[kKeyNameCopyCapacity];
            BoundedCountedCopy(nameCopy, kKeyNameCopyCapacity, token, kKeyNameCopyCapacity - 1);
            hr = ReadToken(token);
            if (SUCCEEDED(hr))
                hr = SkipValueClause(token);
            if (FAILED(hr))
                return hr;
            if (IsOpeningBrace(token)) {
                hr = WalkKeyBlock(token, key.Handle(), FALSE, entryRecovery);
                if (FAILED(hr) && (!entryRecovery || m_depthExceeded))
                    return hr;
                hr = ReadToken(token);
                if (FAILED(hr))
                    return hr;
            }
            if (openResult == ERROR_FILE_NOT_FOUND) {
                // The key is not there; nothing more for this entry.
            } else if (openResult != ERROR_SUCCESS) {
                return HRESULT_FROM_WIN32(openResult);
            } else {
                const bool hasChildren = RegistryKey::HasChildKeys(key.Handle());
                const LONG closed = key.CloseKey();
                if (closed != ERROR_SUCCESS)
                    return HRESULT_FROM_WIN32(closed);
                if (remove && !hasChildren) {
                    BorrowedKey owner(parent);
                    const LONG error = owner.Key().DeleteChildKey(nameCopy);
                    if (error != ERROR_SUCCESS)
                        return HRESULT_FROM_WIN32(error);
                }
            }
        }
        if (token[0] == L'}')
            return S_OK;
    }
}
