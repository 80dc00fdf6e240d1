// The server's registry scripts, run from its own module file with the module's variables.
#pragma once

#include <cstddef>

#include "platform/win32.h"

// One extra replacement variable for ApplyRegistryScript; a null name ends a list.
struct VariableEntry {
    LPCOLESTR name;
    LPCOLESTR value;
};

// Copies `source` with every single quote doubled, cut to capacity - 1 characters and terminated
// (a quote that has no room left for its double stays single and ends the copy). Writes nothing
// when capacity is 0.
void EscapeQuotes(LPOLESTR destination, size_t capacity, LPCOLESTR source);

// The enabler's registry function in the object map: script 102 of the library's file.
HRESULT UpdateEnablerRegistry(BOOL bRegister);
