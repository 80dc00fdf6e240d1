#include <cstdint>

#include "base/server_exception.h"
#include "base/string_copy.h"
#include "registrar/per_user_registration.h"
#include "registrar/reg_script_parser.h"
#include "registrar/script_buffer.h"

namespace {

// Per-user registration wraps a top-level HKCR block into these, so that its entries land in
// HKCU\Software\Classes instead of the machine's classes.
const OLECHAR kUserClassesOpening[] = L"HKCU\r\n{\tSoftware\r\n\t{\r\n\t\tClasses";
const OLECHAR kUserClassesClosing[] = L"\r\n\t}\r\n}\r\n";
constexpr int kVariableNameCapacity = 32;

bool StartsWithClassesRoot(LPCOLESTR p)
{
    return p[0] == L'H' && p[1] == L'K' && p[2] == L'C' && p[3] == L'R';
}

}  // namespace

bool CRegScriptParser::AtClosingQuote() const
{
    return *m_position == L'\'' && *CharNextW(m_position) != L'\'';
}

LPCOLESTR CRegScriptParser::FindCharacter(LPCOLESTR text, OLECHAR c)
{
    if (!text)
        return nullptr;
    for (; *text; text = CharNextW(text))
        if (*text == c)
            return text;
    return nullptr;
}

HRESULT CRegScriptParser::ExpandScript(LPCOLESTR text, LPOLESTR* out)
{
    if (!text || !out)
        return E_POINTER;
    *out = nullptr;
    const int64_t initial = 2 * static_cast<int64_t>(lstrlenW(text));
    ScriptBuffer output(initial > INT32_MAX ? INT32_MAX : static_cast<int>(initial));
    if (!output.m_text)
        return E_OUTOFMEMORY;
    m_position = text;
    const bool perUser = g_bPerUserRegistration;
    int depth = 0;
    bool inQuotes = false;
    bool wrapOpen = false;
    WCHAR name[kVariableNameCapacity];
    const OLECHAR quote = L'\'';
    const OLECHAR percent = L'%';

    while (*m_position) {
        if (perUser) {
            if (depth == 0 && StartsWithClassesRoot(m_position)) {
                m_position += 4;
                if (!output.AppendText(kUserClassesOpening))
                    return E_OUTOFMEMORY;
                wrapOpen = true;
                if (!*m_position)
                    break;  // nothing follows the root name; the driver reports the missing block
            }
            bool openedQuote = false;
            if (*m_position == quote) {
                if (!inQuotes) {
                    inQuotes = true;
                    openedQuote = true;
                } else if (AtClosingQuote()) {
                    inQuotes = false;
                } else {
                    m_position = CharNextW(m_position);
                    if (!output.Append(&quote, 1))
                        return E_OUTOFMEMORY;
                }
            }
            if (!inQuotes && !openedQuote) {
                if (*m_position == L'{') {
                    ++depth;
                } else if (*m_position == L'}') {
                    --depth;
                    if (depth == 0 && wrapOpen) {
                        if (!output.AppendText(kUserClassesClosing))
                            return E_OUTOFMEMORY;
                        wrapOpen = false;
                    }
                }
            }
        }
        if (*m_position == percent) {
            m_position = CharNextW(m_position);
            if (*m_position == percent) {
                if (!output.Append(&percent, 1))
                    return E_OUTOFMEMORY;
            } else {
                LPCOLESTR end = FindCharacter(m_position, percent);
                if (!end)
                    return DISP_E_EXCEPTION;
                const ptrdiff_t length = end - m_position;
                if (length >= kVariableNameCapacity)
                    return E_FAIL;
                if (BoundedCountedCopy(name, kVariableNameCapacity, m_position, static_cast<size_t>(length)) !=
                    kStringOk)
                    return E_FAIL;
                LPCOLESTR value = m_variables ? m_variables->Find(name) : nullptr;
                if (!value)
                    return DISP_E_EXCEPTION;
                if (!output.AppendText(value))
                    return E_OUTOFMEMORY;
                m_position = end;
            }
        } else if (!output.Append(m_position, 1)) {
            return E_OUTOFMEMORY;
        }
        m_position = CharNextW(m_position);
    }
    *out = output.Detach();
    return S_OK;
}
