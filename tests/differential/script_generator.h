// Registry scripts made from a seed, the same on every platform: every construct the script engine
// knows, valid and invalid, and syntax errors at random places. Each root block is rooted below a
// scratch key of the current user, so a script may run against a real registry and touch nothing
// else: HKCU\Software\<scratch>, or, in a script registered per user, mostly an HKCR block, which
// the per-user rewrite moves to HKCU\Software\Classes\<scratch>.
#pragma once

#include <cstdint>
#include <string>

#include "platform/win32.h"

namespace differential {

// UTF-16 text (never std::wstring: the native build's WCHAR is 16 bits, its wchar_t functions are not).
typedef std::u16string Text;
inline LPCWSTR Wide(const Text& text) { return reinterpret_cast<LPCWSTR>(text.c_str()); }

// The scratch keys' names, and the value names a script may write: the trace looks for exactly
// these (and the default value) and counts the values of each key, so a value of any other name
// shows as a difference in count. HKCU blocks share the first scratch key; each HKCR block has one
// of its own.
extern const char16_t* const kScratchNames[];
extern const int kScratchNameCount;
extern const char16_t* const kValueNames[];
extern const int kValueNameCount;

// The replacement variables every generated script may reference (a name between percent signs).
struct Variable {
    const char16_t* name;
    const char16_t* value;
};
extern const Variable kVariables[];
extern const int kVariableCount;

struct GeneratedScript {
    Text text;
    bool perUser = false;
};

// Deterministic: the same seed gives the same script in every build.
GeneratedScript GenerateScript(uint32_t seed);

}  // namespace differential
