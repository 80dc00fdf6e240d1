// Registry scripts made from a seed, the same on every platform: every construct the script engine
// knows, valid and invalid, and syntax errors at random places. Each root block is rooted below one
// scratch key of the current user, so a script may run against a real registry and touch nothing
// else.
#pragma once

#include <cstdint>
#include <string>

#include "platform/win32.h"

namespace differential {

// UTF-16 text (never std::wstring: the native build's WCHAR is 16 bits, its wchar_t functions are not).
typedef std::u16string Text;
inline LPCWSTR Wide(const Text& text) { return reinterpret_cast<LPCWSTR>(text.c_str()); }

// The scratch key below HKEY_CURRENT_USER, and the value names a script may write: the trace looks
// for exactly these (and the default value) and counts the values of each key, so a value of any
// other name shows as a difference in count.
extern const char16_t kScratchPath[];
extern const char16_t kScratchName[];
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
