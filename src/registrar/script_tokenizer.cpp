#include "registrar/reg_script_parser.h"

namespace {

bool IsBlank(OLECHAR c) { return c == L'\t' || c == L'\n' || c == L'\r' || c == L' '; }

}  // namespace

void CRegScriptParser::SkipBlanks()
{
    while (IsBlank(*m_position))
        m_position = CharNextW(m_position);
}

// Appends the character at the position and steps past it; false, already past it, when the token
// would not leave room for its terminator.
bool CRegScriptParser::AppendTokenCharacter(LPWSTR token, int* length)
{
    LPCOLESTR next = CharNextW(m_position);
    const int units = static_cast<int>(next - m_position);
    if (*length + units + 1 >= kTokenCapacity) {
        m_position = next;
        return false;
    }
    for (int i = 0; i < units; ++i)
        token[(*length)++] = m_position[i];
    m_position = next;
    return true;
}

HRESULT CRegScriptParser::ReadToken(LPWSTR token)
{
    SkipBlanks();
    if (!*m_position)
        return DISP_E_EXCEPTION;
    int length = 0;
    if (*m_position == L'\'') {
        m_position = CharNextW(m_position);
        while (*m_position) {
            if (*m_position == L'\'') {
                LPCOLESTR next = CharNextW(m_position);
                if (*next != L'\'')
                    break;
                m_position = next;  // a doubled quote stands for one
            }
            if (!AppendTokenCharacter(token, &length))
                return DISP_E_EXCEPTION;
        }
        if (!*m_position)
            return DISP_E_EXCEPTION;
        token[length] = 0;
        m_position = CharNextW(m_position);
        return S_OK;
    }
    while (*m_position && !IsBlank(*m_position)) {
        if (!AppendTokenCharacter(token, &length))
            return DISP_E_EXCEPTION;
    }
    token[length] = 0;
    return S_OK;
}

HRESULT CRegScriptParser::SkipValueClause(LPWSTR token)
{
    if (token[0] != L'=')
        return S_OK;
    HRESULT hr = ReadToken(token);
    if (FAILED(hr))
        return hr;
    SkipBlanks();
    WCHAR value[kTokenCapacity];
    hr = ReadToken(value);
    if (FAILED(hr))
        return hr;
    return ReadToken(token);
}
