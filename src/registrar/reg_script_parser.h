// The parser of one registry script run: the tokenizer, the pre-processor, the registration and
// unregistration walk of a block, and the driver over the root blocks. It owns nothing: the text
// belongs to whoever started the parser on it, the variables to the caller.
#pragma once

#include "platform/win32.h"
#include "registrar/variable_map.h"

class RegistryKey;

class CRegScriptParser {
public:
    // Every token buffer holds this many characters; a token is at most kTokenCapacity - 2 long.
    static constexpr int kTokenCapacity = 4096;
    // Blocks nested deeper than this fail, so that no script can exhaust the stack.
    static constexpr int kMaxBlockDepth = 32;

    // `variables` (may be null: then every %name% reference fails) must outlive the run.
    explicit CRegScriptParser(const VariableMap* variables) : m_variables(variables) {}

    // Places the cursor at the start of `text`, for the tokenizer and the block walk.
    void Start(LPCOLESTR text) { m_position = text; }
    // Where the cursor stands: the rest of the text not read yet.
    LPCOLESTR Position() const { return m_position; }

    // Tokenizer.
    void SkipBlanks();
    HRESULT ReadToken(LPWSTR token);
    HRESULT SkipValueClause(LPWSTR token);

    // Pre-processor: a new CoTaskMemAlloc'ed copy of `text` with the %name% references replaced and,
    // for per-user registration, each top-level HKCR block wrapped into HKCU\Software\Classes.
    HRESULT ExpandScript(LPCOLESTR text, LPOLESTR* out);
    bool AtClosingQuote() const;
    static LPCOLESTR FindCharacter(LPCOLESTR text, OLECHAR c);

    // One brace block under `parent`: registration when `registering`, otherwise unregistration,
    // which in `recovery` only reads the block.
    HRESULT WalkKeyBlock(LPWSTR token, HKEY parent, BOOL registering, BOOL recovery);
    // Reads one brace block as the registration pass does, with every check of its syntax and
    // values, but touches no key: the first error the pass would meet, or S_OK.
    HRESULT CheckKeyBlock(LPWSTR token);
    HRESULT StoreValue(RegistryKey& key, LPCWSTR valueName, LPWSTR token);
    static bool ParseValueType(LPCWSTR token, VARTYPE* type);
    static BYTE HexDigitValue(WCHAR c);
    static bool MayForceRemove(LPCWSTR name);

    // The whole script, registering (nonzero) or unregistering.
    HRESULT RunScript(LPCOLESTR text, BOOL registering);

private:
    bool AppendTokenCharacter(LPWSTR token, int* length);
    // Places the cursor at the start of a block, with its nesting count afresh.
    void RestartBlock(LPCOLESTR blockStart)
    {
        m_position = blockStart;
        m_depth = 0;
        m_depthExceeded = false;
    }
    // Reads a Val entry's name into `valueName` and the token after it, which must be '='.
    HRESULT ReadValueName(LPWSTR valueName, LPWSTR token);
    HRESULT RegisterKeyBlock(LPWSTR token, HKEY parent);
    HRESULT UnregisterKeyBlock(LPWSTR token, HKEY parent, BOOL recovery);

    LPCOLESTR m_position = nullptr;
    const VariableMap* m_variables;
    int m_depth = 0;
    // Once the nesting bound is hit the whole walk fails, recovery mode included.
    bool m_depthExceeded = false;
    // Set while CheckKeyBlock runs: the registration walk reads and checks but writes nothing.
    bool m_bChecking = false;
};
